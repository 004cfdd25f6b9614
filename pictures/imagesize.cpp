#include "pictures/imagesize.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <utility>

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

std::optional<cv::Size> jpeg_size(const std::uint8_t *data, size_t size)
{
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF)
            return std::nullopt;
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const size_t length = read_uint(data + at + 2, 2, true);
        const bool frame = (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                            marker != 0xCC) ||
                           marker == 0xF7; // JPEG-LS
        if (frame && at + 9 <= size)
            return size_of(read_uint(data + at + 7, 2, true), read_uint(data + at + 5, 2, true));
        if (marker == 0xDA || length < 2)
            return std::nullopt; // scan data before any frame header
        at += 2 + length;
    }
    return std::nullopt;
}

std::optional<cv::Size> tiff_size(const std::uint8_t *data, size_t size)
{
    const bool big = data[0] == 'M';
    const std::uint32_t ifd = read_uint(data + 4, 4, big);
    if (size < 2 || ifd > size - 2)
        return std::nullopt;
    const std::uint32_t entries = read_uint(data + ifd, 2, big);
    std::uint32_t width = 0, height = 0;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const size_t e = ifd + 2 + size_t(i) * 12;
        if (e + 12 > size)
            return std::nullopt;
        const std::uint32_t tag = read_uint(data + e, 2, big);
        const std::uint32_t type = read_uint(data + e + 2, 2, big);
        const std::uint32_t value =
            type == 3 ? read_uint(data + e + 8, 2, big) : read_uint(data + e + 8, 4, big);
        // A size given twice over is one a decoder may read otherwise: the
        // size checked would not be the size decoded.
        for (auto [size_tag, size] : {std::pair{256u, &width}, std::pair{257u, &height}}) {
            if (tag != size_tag)
                continue;
            if (*size != 0 && *size != value)
                return std::nullopt;
            *size = value;
        }
    }
    return size_of(width, height);
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
        return size >= 8 ? tiff_size(data, size) : std::nullopt;
    case PictureFormat::Bmp:
        return bmp_size(data, size);
    case PictureFormat::Unknown:
        break;
    }
    return std::nullopt;
}

} // namespace ardentis
