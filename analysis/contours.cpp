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
// values lie, from every seventh.
float quantile(const cv::Mat &m, double share)
{
    std::vector<float> v;
    v.reserve(m.total() / 7 + 1);
    for (size_t i = 0; i < m.total(); i += 7)
        v.push_back(m.ptr<float>()[i]);
    const auto k = v.begin() + long(share * double(v.size() - 1));
    std::nth_element(v.begin(), k, v.end());
    return *k;
}

// The edges (255) of temperatures `t` (CV_32FC1) shown `scale` times their
// raw size: the ridges of their gradient, as Canny finds them.
cv::Mat edges_of(const cv::Mat &t, double scale)
{
    cv::Mat smooth, dx, dy, magnitude;
    cv::GaussianBlur(t, smooth, cv::Size(), std::max(1.0, 0.5 * scale));
    cv::Sobel(smooth, dx, CV_32F, 1, 0);
    cv::Sobel(smooth, dy, CV_32F, 0, 1);
    cv::magnitude(dx, dy, magnitude);
    double most = 0;
    cv::minMaxLoc(magnitude, nullptr, &most);
    cv::Mat edges(t.size(), CV_8UC1, cv::Scalar(0));
    if (!(most > 0))
        return edges;
    const double high = std::max<double>(quantile(magnitude, edge_share), least_edge * most);
    // Canny on gradients scaled to whole numbers.
    const double to_int = 16000 / most;
    cv::Mat ix, iy;
    dx.convertTo(ix, CV_16S, to_int);
    dy.convertTo(iy, CV_16S, to_int);
    cv::Canny(ix, iy, edges, 0.5 * high * to_int, high * to_int, true);
    return edges;
}

} // namespace

cv::Mat thermal_contours(const cv::Mat &photo, const cv::Mat &temps, const cv::Rect &field,
                         const cv::Rect &area, int factor)
{
    cv::Mat view;
    if (factor > 1)
        cv::resize(photo(area), view, cv::Size(area.width / factor, area.height / factor), 0, 0,
                   cv::INTER_AREA);
    else
        view = photo(area).clone();
    // The field on the view, and its pixels' temperatures between the
    // thermal pixels' centres.
    const cv::Rect on(int(std::lround(double(field.x - area.x) / factor)),
                      int(std::lround(double(field.y - area.y) / factor)),
                      std::max(1, int(std::lround(double(field.width) / factor))),
                      std::max(1, int(std::lround(double(field.height) / factor))));
    cv::Mat t = filled_temperatures(temps);
    cv::resize(t, t, on.size(), 0, 0, cv::INTER_LINEAR);
    const cv::Mat edges = edges_of(t, double(on.width) / temps.cols);
    const cv::Rect seen = on & cv::Rect(0, 0, view.cols, view.rows);
    cv::Mat part = view(seen);
    part.setTo(cv::Scalar(contour_colour), edges(seen - on.tl()));
    cv::rectangle(view, on, cv::Scalar(field_outline_colour), 1);
    return view;
}

} // namespace ardentis
