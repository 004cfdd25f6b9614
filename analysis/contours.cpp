#include "analysis/contours.h"

#include "analysis/fieldmaps.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace ardentis
{

namespace
{

// An edge is where the temperature changes faster than on this share of the
// field, and at least this share of its fastest change.
constexpr double edge_share = 0.85, least_edge = 0.2;

// The value of `m` (CV_32FC1, continuous) below which about `share` of its
// values lie, from every third.
float quantile(const cv::Mat &m, double share)
{
    std::vector<float> v;
    v.reserve(m.total() / 3 + 1);
    for (size_t i = 0; i < m.total(); i += 3)
        v.push_back(m.ptr<float>()[i]);
    const auto k = v.begin() + long(share * double(v.size() - 1));
    std::nth_element(v.begin(), k, v.end());
    return *k;
}

// The edges (255) of temperatures `temps` shown at `size`: the ridges of
// their gradient, as Canny finds them. The temperatures are smoothed and
// their gradient taken on the raw grid, over half a thermal pixel or a
// pixel of the picture, whichever is more; the gradient is then carried to
// the picture's pixels by cubic interpolation, which keeps its ridges sharp.
cv::Mat edges_of(const cv::Mat &temps, cv::Size size)
{
    const cv::Mat t = filled_temperatures(temps);
    cv::Mat smooth, dx, dy, magnitude;
    const double scale = double(size.width) / temps.cols;
    cv::GaussianBlur(t, smooth, cv::Size(), std::max(0.5, 1 / scale));
    cv::Sobel(smooth, dx, CV_32F, 1, 0);
    cv::Sobel(smooth, dy, CV_32F, 0, 1);
    cv::magnitude(dx, dy, magnitude);
    double most = 0;
    cv::minMaxLoc(magnitude, nullptr, &most);
    cv::Mat edges(size, CV_8UC1, cv::Scalar(0));
    if (!(most > 0))
        return edges;
    const double high = std::max<double>(quantile(magnitude, edge_share), least_edge * most);
    // Canny on gradients scaled to whole numbers.
    const double to_int = 16000 / most;
    cv::Mat ix, iy;
    dx.convertTo(ix, CV_16S, to_int);
    dy.convertTo(iy, CV_16S, to_int);
    cv::resize(ix, ix, size, 0, 0, cv::INTER_CUBIC);
    cv::resize(iy, iy, size, 0, 0, cv::INTER_CUBIC);
    cv::Canny(ix, iy, edges, 0.5 * high * to_int, high * to_int, true);
    return edges;
}

} // namespace

cv::Mat thermal_contours(const PhotoScales &photo, const cv::Mat &temps, const cv::Rect &field,
                         const cv::Rect &area, int halvings)
{
    const cv::Mat &level = photo.halved(halvings);
    const cv::Rect part = cv::Rect(area.x >> halvings, area.y >> halvings, area.width >> halvings,
                                   area.height >> halvings) &
                          cv::Rect(0, 0, level.cols, level.rows);
    cv::Mat view = level(part).clone();
    // The field on the view.
    const double factor = double(1 << halvings);
    const cv::Rect on(int(std::lround((field.x - part.x * factor) / factor)),
                      int(std::lround((field.y - part.y * factor) / factor)),
                      std::max(1, int(std::lround(field.width / factor))),
                      std::max(1, int(std::lround(field.height / factor))));
    const cv::Mat edges = edges_of(temps, on.size());
    const cv::Rect seen = on & cv::Rect(0, 0, view.cols, view.rows);
    if (!seen.empty())
        view(seen).setTo(cv::Scalar(contour_colour), edges(seen - on.tl()));
    cv::rectangle(view, on, cv::Scalar(field_outline_colour), 1);
    return view;
}

} // namespace ardentis
