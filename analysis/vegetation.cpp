#include "analysis/vegetation.h"

#include "common/vectors.h"

namespace ardentis
{

namespace
{

// `value` of every pixel, from each row's three channels laid out apart:
// so the compiler computes many pixels at once.
template <typename PerPixel> ARDENTIS_INLINED cv::Mat map_of(const cv::Mat &bgr, PerPixel value)
{
    cv::Mat out(bgr.size(), CV_32FC1);
    cv::Mat channels(3, bgr.cols, CV_8UC1);
    for (int r = 0; r < bgr.rows; ++r) {
        // The image library lays a row's channels apart with vector instructions.
        cv::Mat apart[] = {channels.row(0), channels.row(1), channels.row(2)};
        cv::split(bgr.row(r), apart);
        const uchar *b = apart[0].ptr(), *g = apart[1].ptr(), *red = apart[2].ptr();
        auto *o = out.ptr<float>(r);
        for (int c = 0; c < bgr.cols; ++c)
            o[c] = value(b[c], g[c], red[c]);
    }
    return out;
}

} // namespace

ARDENTIS_WIDE_VECTORS cv::Mat exgr_plant_map(const cv::Mat &bgr)
{
    return map_of(bgr, [](int b, int g, int r) { return float(int(exgr_plant(b, g, r))); });
}

ARDENTIS_WIDE_VECTORS cv::Mat exgr_index_map(const cv::Mat &bgr)
{
    return map_of(bgr, [](int b, int g, int r) { return exgr_index(b, g, r); });
}

} // namespace ardentis
