#pragma once
// The size a picture file declares in its header, read before anything is
// decoded, so that a hostile header cannot make the decoder allocate without
// bound.

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace ardentis
{

enum class PictureFormat { Unknown, Jpeg, Png, Tiff, Bmp };

PictureFormat picture_format(const std::uint8_t *data, size_t size);

// Width and height from the header of a JPEG (any frame type, JPEG-LS
// included), PNG, TIFF or BMP file; nothing when the header cannot be read.
std::optional<cv::Size> declared_size(const std::uint8_t *data, size_t size);

// The EXIF orientation a JPEG or TIFF declares in its first directory: 1
// (upright as stored) to 8; 1 when it declares none or another value. 2 to 4
// mirror the stored picture or turn it half a turn; 5 to 8 store the upright
// picture's columns as rows (6: turn it a quarter clockwise to see it
// upright, 8: a quarter anticlockwise; 5 and 7 mirrored too).
int declared_orientation(const std::uint8_t *data, size_t size);

// Whether a JPEG holds the segments in which a FLIR camera keeps its raw
// thermal data and calibration: a radiometric image, or a picture made from
// one, but not a photograph as a camera writes it.
bool holds_thermal_segments(const std::uint8_t *data, size_t size);

// The bytes that begin the contents of each APP1 segment of a FLIR camera's
// record; the part's number and the last part's number follow after one more.
constexpr char flir_segment_head[] = "FLIR"; // with its terminating zero
constexpr size_t flir_segment_head_size = sizeof flir_segment_head;

// A copy of a TIFF whose first directory declares an orientation other than
// 1, declaring 1 (upright as stored) instead; empty for any other picture.
std::vector<std::uint8_t> tiff_as_stored(const std::uint8_t *data, size_t size);

// The size of the picture turned upright: the declared size, its width and
// height exchanged for orientations 5 to 8.
std::optional<cv::Size> upright_size(const std::uint8_t *data, size_t size);

// The stored picture turned upright by its orientation.
cv::Mat turned_upright(const cv::Mat &picture, int orientation);

} // namespace ardentis
