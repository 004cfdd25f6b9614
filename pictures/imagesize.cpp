#include "pictures/imagesize.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <vector>

namespace ardentis
{

namespace
{

bool starts_with(const std::uint8_t *data, size_t size, std::initializer_list<std::uint8_t> magic)
{
    return size >= magic.size() && std::equal(magic.begin(), magic.end(), data);
}

std::uint32_t read_uint(const std::uint8_t *p, int bytes, bool big_endian)
{
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint32_t(p[big_endian ? i : bytes - 1 - i]) << (8 * (bytes - 1 - i));
    return v;
}

std::optional<cv::Size> size_of(std::uint32_t width, std::uint32_t height)
{
    if (width == 0 || height == 0 || width > 0x7fffffffu || height > 0x7fffffffu)
        return std::nullopt;
    return cv::Size(int(width), int(height));
}

// Calls `visit` with each marker segment of a JPEG before its first scan:
// its marker, where it starts (at its 0xFF) and its length field, until
// `visit` returns true. `visit` checks that what it reads lies within `size`.
template <typename Visit> void for_each_segment(const std::uint8_t *data, size_t size, Visit visit)
{
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF)
            return;
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const size_t length = read_uint(data + at + 2, 2, true);
        if (visit(marker, at, length) || marker == 0xDA || length < 2)
            return; // found, or scan data next
        at += 2 + length;
    }
}

std::optional<cv::Size> jpeg_size(const std::uint8_t *data, size_t size)
{
    std::optional<cv::Size> found;
    for_each_segment(data, size, [&](std::uint8_t marker, size_t at, size_t) {
        const bool frame = (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                            marker != 0xCC) ||
                           marker == 0xF7; // JPEG-LS
        if (frame && at + 9 <= size)
            found = size_of(read_uint(data + at + 7, 2, true), read_uint(data + at + 5, 2, true));
        return frame;
    });
    return found;
}

// Where the entries of `tag` in the first directory of the TIFF structure at
// `data` (a TIFF file, or the body of an EXIF segment) begin; nothing when the
// directory lies beyond the data or is cut short.
std::optional<std::vector<size_t>> first_ifd_entries(const std::uint8_t *data, size_t size,
                                                     std::uint32_t tag)
{
    if (size < 8)
        return std::nullopt;
    const bool big = data[0] == 'M';
    const std::uint32_t ifd = read_uint(data + 4, 4, big);
    if (ifd > size - 2)
        return std::nullopt;
    const std::uint32_t entries = read_uint(data + ifd, 2, big);
    std::vector<size_t> found;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const size_t e = ifd + 2 + size_t(i) * 12;
        if (e + 12 > size)
            return std::nullopt;
        if (read_uint(data + e, 2, big) == tag)
            found.push_back(e);
    }
    return found;
}

// The value of the entry at `e`: a short or a long.
std::uint32_t entry_value(const std::uint8_t *data, size_t e)
{
    const bool big = data[0] == 'M';
    return read_uint(data + e + 2, 2, big) == 3 ? read_uint(data + e + 8, 2, big)
                                                : read_uint(data + e + 8, 4, big);
}

// The value of `tag` in the first directory of the TIFF structure at `data`.
std::optional<std::uint32_t> first_ifd_value(const std::uint8_t *data, size_t size,
                                             std::uint32_t tag)
{
    const std::optional<std::vector<size_t>> entries = first_ifd_entries(data, size, tag);
    if (!entries)
        return std::nullopt;
    std::optional<std::uint32_t> found;
    for (const size_t e : *entries) {
        // A value given twice over is one a decoder may read otherwise: the
        // size checked would not be the size decoded.
        if (found && *found != entry_value(data, e))
            return std::nullopt;
        found = entry_value(data, e);
    }
    return found;
}

std::optional<cv::Size> tiff_size(const std::uint8_t *data, size_t size)
{
    const auto width = first_ifd_value(data, size, 256), height = first_ifd_value(data, size, 257);
    return width && height ? size_of(*width, *height) : std::nullopt;
}

constexpr std::uint32_t orientation_tag = 274;

// The orientation in a JPEG's EXIF segment.
std::optional<std::uint32_t> jpeg_orientation(const std::uint8_t *data, size_t size)
{
    std::optional<std::uint32_t> found;
    for_each_segment(data, size, [&](std::uint8_t marker, size_t at, size_t length) {
        const std::uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0};
        if (marker != 0xE1 || length < 8 || at + 2 + length > size ||
            !std::equal(std::begin(exif), std::end(exif), data + at + 4))
            return false;
        found = first_ifd_value(data + at + 10, length - 8, orientation_tag);
        return true;
    });
    return found;
}

// Whether a JPEG's segments hold an APP1 segment of a thermal camera's own.
bool jpeg_thermal_segments(const std::uint8_t *data, size_t size)
{
    bool found = false;
    for_each_segment(data, size, [&](std::uint8_t marker, size_t at, size_t length) {
        found = marker == 0xE1 && length >= 2 + flir_segment_head_size && at + 2 + length <= size &&
                std::memcmp(data + at + 4, flir_segment_head, flir_segment_head_size) == 0;
        return found;
    });
    return found;
}

std::optional<cv::Size> bmp_size(const std::uint8_t *data, size_t size)
{
    if (size < 26)
        return std::nullopt;
    if (read_uint(data + 14, 4, false) == 12) // the old core header: 16-bit sizes
        return size_of(read_uint(data + 18, 2, false), read_uint(data + 20, 2, false));
    const auto height = std::int32_t(read_uint(data + 22, 4, false));
    return size_of(read_uint(data + 18, 4, false),
                   height == INT32_MIN ? 0u : std::uint32_t(std::abs(height)));
}

} // namespace

PictureFormat picture_format(const std::uint8_t *data, size_t size)
{
    if (starts_with(data, size, {0xFF, 0xD8, 0xFF}))
        return PictureFormat::Jpeg;
    if (starts_with(data, size, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        return PictureFormat::Png;
    if (starts_with(data, size, {'I', 'I', 42, 0}) || starts_with(data, size, {'M', 'M', 0, 42}))
        return PictureFormat::Tiff;
    if (starts_with(data, size, {'B', 'M'}))
        return PictureFormat::Bmp;
    return PictureFormat::Unknown;
}

std::optional<cv::Size> declared_size(const std::uint8_t *data, size_t size)
{
    switch (picture_format(data, size)) {
    case PictureFormat::Jpeg:
        return jpeg_size(data, size);
    case PictureFormat::Png:
        if (size < 24)
            return std::nullopt;
        return size_of(read_uint(data + 16, 4, true), read_uint(data + 20, 4, true));
    case PictureFormat::Tiff:
        return tiff_size(data, size);
    case PictureFormat::Bmp:
        return bmp_size(data, size);
    case PictureFormat::Unknown:
        break;
    }
    return std::nullopt;
}

int declared_orientation(const std::uint8_t *data, size_t size)
{
    std::optional<std::uint32_t> orientation;
    const PictureFormat format = picture_format(data, size);
    if (format == PictureFormat::Jpeg)
        orientation = jpeg_orientation(data, size);
    else if (format == PictureFormat::Tiff)
        orientation = first_ifd_value(data, size, orientation_tag);
    return orientation && *orientation >= 1 && *orientation <= 8 ? int(*orientation) : 1;
}

bool holds_thermal_segments(const std::uint8_t *data, size_t size)
{
    return picture_format(data, size) == PictureFormat::Jpeg && jpeg_thermal_segments(data, size);
}

std::optional<cv::Size> upright_size(const std::uint8_t *data, size_t size)
{
    const std::optional<cv::Size> stored = declared_size(data, size);
    if (stored && declared_orientation(data, size) >= 5) // turned a quarter
        return cv::Size(stored->height, stored->width);
    return stored;
}

std::vector<std::uint8_t> tiff_as_stored(const std::uint8_t *data, size_t size)
{
    const std::optional<std::vector<size_t>> entries =
        picture_format(data, size) == PictureFormat::Tiff
            ? first_ifd_entries(data, size, orientation_tag)
            : std::nullopt;
    if (!entries || std::all_of(entries->begin(), entries->end(),
                                [&](size_t e) { return entry_value(data, e) == 1; }))
        return {};
    std::vector<std::uint8_t> copy(data, data + size);
    const bool big = data[0] == 'M';
    for (const size_t e : *entries) {
        const int width = read_uint(data + e + 2, 2, big) == 3 ? 2 : 4;
        for (int i = 0; i < width; ++i) // 1 in the value's width and byte order
            copy[e + 8 + size_t(i)] = (big ? i == width - 1 : i == 0) ? 1 : 0;
    }
    return copy;
}

cv::Mat turned_upright(const cv::Mat &picture, int orientation)
{
    if (orientation < 2 || orientation > 8)
        return picture;
    // Orientations 5 to 8 store the upright picture's columns as rows.
    cv::Mat out = picture;
    if (orientation >= 5)
        cv::transpose(picture, out);
    // Then a flip around the vertical axis (1), the horizontal one (0) or both (-1).
    const int flips[] = {1, -1, 0, 2, 1, -1, 0}; // for 2 to 8; 2: none
    if (flips[orientation - 2] != 2)
        cv::flip(out, out, flips[orientation - 2]);
    return out;
}

} // namespace ardentis
