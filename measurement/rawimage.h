#pragma once
// Decoding the raw thermal image that ExifTool extracts from a FLIR file: 16-bit
// little-endian samples behind a TIFF header, a PNG, or lossless JPEG-LS.

#include <QString>
#include <opencv2/core.hpp>

#include <cstdint>

namespace ardentis
{

// No thermal camera has a larger sensor; a larger header is damage or malice.
constexpr int max_raw_side = 4096;

// The raw sensor counts (CV_16UC1), or why there are none.
struct RawImage {
    cv::Mat counts;
    QString problem;
};

// Why a radiometric image gave no raw data at all.
QString no_raw_data_text();

// Decodes the `size` bytes at `data` of a raw thermal image. A PNG comes back
// in the byte order the camera wrote it. The size the header declares is
// checked before anything is decoded.
RawImage decode_raw_thermal(const std::uint8_t *data, size_t size);

// Reads and decodes a raw thermal image file.
RawImage read_raw_thermal(const QString &path);

// A 16-bit image whose samples were stored in the other byte order than the
// decoder assumed comes back with every sample's bytes swapped, which turns a
// smooth thermal scene into noise. Returns true when swapping the bytes of
// `counts` (CV_16UC1) gives the smoother image.
bool swapped_bytes_are_smoother(const cv::Mat &counts);

// Swaps the two bytes of every sample of a CV_16UC1 matrix in place.
void swap_sample_bytes(cv::Mat &counts);

} // namespace ardentis
