#pragma once
// Excess green minus excess red (ExGR = 3G − 2.4R − B on chromatic
// coordinates): high on green plants, low on soil, straw and shadow of any
// colour. One rule for telling plant pixels and for the map the field search
// matches.

#include <opencv2/core.hpp>

namespace ardentis
{

// Darker pixels (R + G + B below this) carry too little colour to tell.
constexpr int darkest_readable_sum = 45;
// A channel at this value or above is clipped: its colour is not known.
constexpr int clipped_level = 250;

// 5 × (3G − 2.4R − B): ExGR scaled to stay in integers, which 16 bits hold.
template <typename Int> constexpr Int exgr_fifths(Int b, Int g, Int r)
{
    return Int(15 * g - 12 * r - 5 * b);
}

// A photograph pixel is plant when its ExGR is positive and it is readable:
// neither too dark nor clipped.
// The tests are combined bit by bit, without branches, so that the compiler
// computes many pixels at once, in 16-bit lanes where `Int` is short.
template <typename Int> constexpr bool exgr_plant(Int b, Int g, Int r)
{
    return (Int(b + g + r) >= darkest_readable_sum) & (b < clipped_level) & (g < clipped_level) &
           (r < clipped_level) & (exgr_fifths(b, g, r) > 0);
}

// ExGR on chromatic coordinates, the index the field search matches; 0 where
// a pixel is too dark to tell.
inline float exgr_index(int b, int g, int r)
{
    const int sum = b + g + r, dark = sum < darkest_readable_sum;
    // A dark pixel gives 0 / (5 × 45), without a branch.
    return float(exgr_fifths(b, g, r) * (1 - dark)) /
           (5.0f * float(sum + dark * (darkest_readable_sum - sum)));
}

// Every pixel of a blue-green-red picture (CV_8UC3) as CV_32FC1: 1 where
// ExGR takes it for plant, 0 elsewhere.
cv::Mat exgr_plant_map(const cv::Mat &bgr);

// The share of plant, as ExGR tells it, among the pixels of a blue-green-red
// picture (CV_8UC3) that each pixel of a picture of `size` covers, as
// CV_32FC1: to the bit what the image library's area resizing of
// exgr_plant_map gives, without a map of the whole picture in floats.
cv::Mat exgr_plant_shares(const cv::Mat &bgr, cv::Size size);
// The ExGR index of every pixel of a blue-green-red picture, as CV_32FC1.
cv::Mat exgr_index_map(const cv::Mat &bgr);

} // namespace ardentis
