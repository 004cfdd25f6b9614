#pragma once
// Decoding the raw thermal image that ExifTool extracts from a FLIR file: 16-bit
// little-endian samples behind a TIFF header, a PNG, or lossless JPEG-LS.

#include <QString>
#include <opencv2/core.hpp>

#include <cstdint>

namespace ardentis
{

// Decodes the `size` bytes at `data` of a raw thermal image, keeping its stored depth and
// channels. One channel of 16-bit counts comes back as CV_16UC1, a PNG in the
// byte order the camera wrote it. Undecodable or empty data gives an empty matrix.
cv::Mat decode_raw_thermal(const std::uint8_t *data, size_t size);

// Reads and decodes a raw thermal image file.
cv::Mat read_raw_thermal(const QString &path);

// A 16-bit image whose samples were stored in the other byte order than the
// decoder assumed comes back with every sample's bytes swapped, which turns a
// smooth thermal scene into noise. Returns true when swapping the bytes of
// `counts` (CV_16UC1) gives the smoother image.
bool swapped_bytes_are_smoother(const cv::Mat &counts);

// Swaps the two bytes of every sample of a CV_16UC1 matrix in place.
void swap_sample_bytes(cv::Mat &counts);

} // namespace ardentis
