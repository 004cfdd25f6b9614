#pragma once
// Edges of a gradient by non-maximum suppression and hysteresis, as the image
// library's Canny finds them with L2 magnitudes, for a gradient that is zero
// but in known spans of each row: the work goes to those spans alone, and the
// edges come as a list, not as a picture mostly empty.

#include <opencv2/core.hpp>

#include <functional>
#include <utility>
#include <vector>

namespace ardentis
{

// The columns [first, second) of a row where its gradient may be non-zero,
// in order and apart.
using RowSpans = std::vector<std::pair<int, int>>;

// One row of a gradient: its values across and down.
struct GradientRow {
    const short *dx, *dy;
};
// Row `r` of a gradient, right at least in the columns of `spans`; it stays
// valid until the row after next is asked for. The rows are asked for in
// order: a gradient can be made a row at a time.
using GradientRows = std::function<GradientRow(int r, const RowSpans &spans)>;

// The edge pixels of the gradient given by `rows` (of `size`), taken as zero
// outside `spans` (one per row), with thresholds `low` and `high` on its
// magnitude: the pixels that the image library's Canny marks, with its L2
// magnitude, in no particular order.
std::vector<cv::Point> canny_edges(cv::Size size, const GradientRows &rows,
                                   const std::vector<const RowSpans *> &spans, double low,
                                   double high);
// The same of the gradient `dx`, `dy` (CV_16SC1 of one size), zero outside
// `spans`.
std::vector<cv::Point> canny_edges(const cv::Mat &dx, const cv::Mat &dy,
                                   const std::vector<const RowSpans *> &spans, double low,
                                   double high);

} // namespace ardentis
