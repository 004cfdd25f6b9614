#pragma once
// A photograph and its halvings, each made once, when first asked for: the
// field search, the contour picture and the report's pictures share them.

#include <opencv2/core.hpp>

#include <deque>

namespace ardentis
{

class PhotoScales
{
public:
    explicit PhotoScales(const cv::Mat &photo) : levels_{photo} {}
    const cv::Mat &photo() const { return levels_[0]; }
    // The photograph halved `times` times: each pixel the mean of a square
    // of two by two pixels of the one before, rounded; an odd last row or
    // column of the one before left out.
    const cv::Mat &halved(int times) const;
    // The halvings that leave `width` pixels nearest to `wanted` pixels wide
    // (none when fewer).
    static int halvings_for(int width, int wanted);

private:
    // A deque: a level added leaves the references to the others valid.
    mutable std::deque<cv::Mat> levels_;
};

} // namespace ardentis
