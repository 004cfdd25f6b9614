#include "analysis/vegetation.h"

#include <vector>

namespace ardentis
{

namespace
{

// `value` of every pixel, from each row's three channels laid out apart:
// so the compiler computes many pixels at once.
template <typename PerPixel> cv::Mat map_of(const cv::Mat &bgr, PerPixel value)
{
    cv::Mat out(bgr.size(), CV_32FC1);
    std::vector<uchar> channels(3 * size_t(bgr.cols));
    uchar *b = channels.data(), *g = b + bgr.cols, *red = g + bgr.cols;
    for (int r = 0; r < bgr.rows; ++r) {
        const uchar *in = bgr.ptr<uchar>(r);
        for (int c = 0; c < bgr.cols; ++c) {
            b[c] = in[3 * c];
            g[c] = in[3 * c + 1];
            red[c] = in[3 * c + 2];
        }
        auto *o = out.ptr<float>(r);
        for (int c = 0; c < bgr.cols; ++c)
            o[c] = value(b[c], g[c], red[c]);
    }
    return out;
}

} // namespace

cv::Mat exgr_plant_map(const cv::Mat &bgr)
{
    return map_of(bgr, [](int b, int g, int r) { return float(int(exgr_plant(b, g, r))); });
}

cv::Mat exgr_index_map(const cv::Mat &bgr)
{
    return map_of(bgr, [](int b, int g, int r) { return exgr_index(b, g, r); });
}

} // namespace ardentis
