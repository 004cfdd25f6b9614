#pragma once
// A photograph and its halvings, each made once, when first asked for: the
// field search, the contour picture and the report's pictures share them.

#include <opencv2/core.hpp>

#include <deque>
#include <vector>

namespace ardentis
{

// A photograph's halvings made as its rows are decoded, while they are still
// in the processor's cache (on processors with 256-bit vectors; none
// elsewhere): a PhotoScales of that photograph takes them instead of making
// them. Each is to the byte what the PhotoScales would make.
class HalvingsAsDecoded
{
public:
    // The halvings that leave the photograph at least `narrowest` pixels wide.
    explicit HalvingsAsDecoded(int narrowest = 32) : narrowest_(narrowest) {}
    // Told that the first `rows` rows of `photo` (8-bit, three channels) are
    // decoded: it halves the rows it can.
    void rows_done(const cv::Mat &photo, int rows);

private:
    friend class PhotoScales;
    void start(const cv::Mat &photo);

    int narrowest_;
    const uchar *source_ = nullptr; // the photograph's pixels, once told of them
    cv::Size size_;
    std::vector<cv::Mat> levels_;
    std::vector<int> made_; // each level's rows made
};

class PhotoScales
{
public:
    // With `made`, the halvings made as `photo` was decoded, as far as they
    // are whole.
    explicit PhotoScales(const cv::Mat &photo, const HalvingsAsDecoded *made = nullptr);
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
