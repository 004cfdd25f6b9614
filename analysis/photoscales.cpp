#include "analysis/photoscales.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace ardentis
{

const cv::Mat &PhotoScales::halved(int times) const
{
    while (int(levels_.size()) <= times) {
        const cv::Mat &last = levels_.back();
        cv::Mat half;
        if (last.cols >= 2 && last.rows >= 2)
            cv::resize(last(cv::Rect(0, 0, last.cols - last.cols % 2, last.rows - last.rows % 2)),
                       half, cv::Size(last.cols / 2, last.rows / 2), 0, 0, cv::INTER_AREA);
        else
            half = last;
        levels_.push_back(half);
    }
    return levels_[size_t(times)];
}

int PhotoScales::halvings_for(int width, int wanted)
{
    return std::max(0, int(std::lround(std::log2(double(width) / std::max(wanted, 1)))));
}

} // namespace ardentis
