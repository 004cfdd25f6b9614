#include "measurement/rawimage.h"

#include "measurement/exiftool.h"
#include "pictures/imagesize.h"
#include "pictures/pictures.h"

#include <QFile>
#include <charls/charls.h>

#include <algorithm>
#include <cstdlib>

namespace ardentis
{

namespace
{

inline std::uint16_t swapped(std::uint16_t v)
{
    return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}

// Sum of the absolute differences between neighbouring samples, right and down.
template <bool Swap> std::uint64_t roughness(const cv::Mat &m)
{
    std::uint64_t sum = 0;
    for (int r = 0; r < m.rows; ++r) {
        const auto *row = m.ptr<std::uint16_t>(r);
        const auto *below = r + 1 < m.rows ? m.ptr<std::uint16_t>(r + 1) : nullptr;
        for (int c = 0; c < m.cols; ++c) {
            const int v = Swap ? swapped(row[c]) : row[c];
            if (c + 1 < m.cols)
                sum += static_cast<std::uint64_t>(
                    std::abs((Swap ? swapped(row[c + 1]) : row[c + 1]) - v));
            if (below)
                sum +=
                    static_cast<std::uint64_t>(std::abs((Swap ? swapped(below[c]) : below[c]) - v));
        }
    }
    return sum;
}

// Lossless JPEG-LS, as the camera maker's desktop software stores raw images.
cv::Mat decode_jpeg_ls(const std::uint8_t *data, size_t size)
{
    try {
        charls::jpegls_decoder decoder;
        decoder.source(data, size);
        decoder.read_header();
        const charls::frame_info info = decoder.frame_info();
        if (info.width == 0 || info.height == 0 || info.component_count < 1 ||
            info.component_count > 4 || info.bits_per_sample < 2 || info.bits_per_sample > 16)
            return {};
        const int depth = info.bits_per_sample > 8 ? CV_16U : CV_8U;
        cv::Mat image(static_cast<int>(info.height), static_cast<int>(info.width),
                      CV_MAKETYPE(depth, info.component_count));
        const size_t stride = image.step[0];
        if (decoder.destination_size(static_cast<std::uint32_t>(stride)) >
            image.total() * image.elemSize())
            return {};
        decoder.decode(image.data, image.total() * image.elemSize(),
                       static_cast<std::uint32_t>(stride));
        return image;
    } catch (const std::exception &) {
        return {};
    }
}

} // namespace

void swap_sample_bytes(cv::Mat &counts)
{
    for (int r = 0; r < counts.rows; ++r) {
        auto *row = counts.ptr<std::uint16_t>(r);
        for (int c = 0; c < counts.cols; ++c)
            row[c] = swapped(row[c]);
    }
}

bool swapped_bytes_are_smoother(const cv::Mat &counts)
{
    if (counts.type() != CV_16UC1 || counts.empty())
        return false;
    // Cameras write their PNG samples little-endian: on a tie (a flat image)
    // follow the camera's habit.
    return roughness<true>(counts) <= roughness<false>(counts);
}

QString no_raw_data_text()
{
    return QStringLiteral("No temperatures could be read from the radiometric image (no raw "
                          "thermal data in it, or ExifTool missing).");
}

namespace
{

QString too_large(cv::Size size)
{
    return QStringLiteral("The raw thermal image is %1 x %2 pixels, more than the limit of %3 x "
                          "%3.")
        .arg(size.width)
        .arg(size.height)
        .arg(max_raw_side);
}

// The raw image as the decoders read it; empty when they cannot.
cv::Mat decoded(const std::uint8_t *data, size_t size)
{
    cv::Mat image;
    if (picture_format(data, size) == PictureFormat::Jpeg)
        image = decode_jpeg_ls(data, size);
    if (image.empty()) {
        try {
            image = decode_stored(data, size); // raw counts are as stored
        } catch (const cv::Exception &) {
            return {};
        }
    }
    return image;
}

} // namespace

RawImage decode_raw_thermal(const std::uint8_t *data, size_t size)
{
    if (size == 0)
        return {{}, no_raw_data_text()};
    const QString undecodable =
        QStringLiteral("The raw thermal data of the radiometric image cannot be decoded.");
    const std::optional<cv::Size> declared = declared_size(data, size);
    if (!declared)
        return {{}, undecodable};
    if (declared->width > max_raw_side || declared->height > max_raw_side)
        return {{}, too_large(*declared)};
    cv::Mat image;
    {
        // The decoders read the header again themselves: whatever they make
        // of it, they allocate no more than the limit.
        const DecodeLimit limit(double(max_raw_side) * max_raw_side);
        image = decoded(data, size);
        if (!limit.refused().empty())
            return {{}, too_large(limit.refused())};
    }
    if (image.empty() || image.size() != *declared)
        return {{}, undecodable};
    if (image.type() != CV_16UC1)
        return {{},
                QStringLiteral("The raw thermal data of the radiometric image is not one "
                               "channel of 16-bit counts.")};
    if (picture_format(data, size) == PictureFormat::Png && swapped_bytes_are_smoother(image))
        swap_sample_bytes(image);
    return {image, {}};
}

RawImage read_raw_thermal(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return {{}, no_raw_data_text()};
    if (file.size() > max_answer_bytes)
        return {{}, too_large_problem()};
    const QByteArray data = file.readAll();
    return decode_raw_thermal(reinterpret_cast<const std::uint8_t *>(data.constData()),
                              size_t(data.size()));
}

} // namespace ardentis
