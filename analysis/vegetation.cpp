#include "analysis/vegetation.h"

namespace ardentis
{

namespace
{

template <typename PerPixel> cv::Mat map_of(const cv::Mat &bgr, PerPixel value)
{
    cv::Mat out(bgr.size(), CV_32FC1);
    for (int r = 0; r < bgr.rows; ++r) {
        const auto *in = bgr.ptr<cv::Vec3b>(r);
        auto *o = out.ptr<float>(r);
        for (int c = 0; c < bgr.cols; ++c)
            o[c] = value(in[c][0], in[c][1], in[c][2]);
    }
    return out;
}

} // namespace

cv::Mat exgr_plant_map(const cv::Mat &bgr)
{
    return map_of(bgr, [](int b, int g, int r) { return exgr_plant(b, g, r) ? 1.0f : 0.0f; });
}

cv::Mat exgr_index_map(const cv::Mat &bgr)
{
    return map_of(bgr, exgr_index);
}

} // namespace ardentis
