#pragma once
// The size a picture file declares in its header, read before anything is
// decoded, so that a hostile header cannot make the decoder allocate without
// bound.

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ardentis
{

enum class PictureFormat { Unknown, Jpeg, Png, Tiff, Bmp };

PictureFormat picture_format(const std::uint8_t *data, size_t size);

// Width and height from the header of a JPEG (any frame type, JPEG-LS
// included), PNG, TIFF or BMP file; nothing when the header cannot be read.
std::optional<cv::Size> declared_size(const std::uint8_t *data, size_t size);

} // namespace ardentis
