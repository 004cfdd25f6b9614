#include "analysis/registration.h"

#include "analysis/vegetation.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <cmath>

namespace ardentis
{

namespace
{

// The searches work on shrunken maps: the photograph's index map this many
// pixels wide (and a quarter of it for the coarse search), and thermal
// templates this wide, coarse then fine.
constexpr int map_width = 512, coarse_map_width = 256, refine_map_width = 1024;
constexpr int coarse_template = 40, fine_template = 80, refine_template = 160;
// Widths searched, as shares of the photograph's width, and their steps.
constexpr double least_width = 0.25, coarse_step = 1.03, fine_step = 0.005;
constexpr int fine_steps = 10;
// How much better than the prior a found field must correlate to replace it.
constexpr double clear_margin = 0.02;

// The photograph's vegetation index, shrunk: high on plants.
cv::Mat vegetation_index(const cv::Mat &rgb)
{
    cv::Mat small;
    const double f = double(refine_map_width) / rgb.cols;
    cv::resize(rgb, small, cv::Size(refine_map_width, std::max(1, int(std::lround(rgb.rows * f)))),
               0, 0, cv::INTER_AREA);
    cv::Mat index(small.size(), CV_32FC1);
    for (int r = 0; r < small.rows; ++r) {
        const auto *bgr = small.ptr<cv::Vec3b>(r);
        auto *out = index.ptr<float>(r);
        for (int c = 0; c < small.cols; ++c)
            out[c] = exgr_index(bgr[c][0], bgr[c][1], bgr[c][2]);
    }
    cv::GaussianBlur(index, index, cv::Size(3, 3), 0);
    return index;
}

// The raw grid's negated temperatures shrunk to `width` pixels: high where cool.
cv::Mat thermal_template(const cv::Mat &temps, int width)
{
    cv::Mat t;
    temps.convertTo(t, CV_32F);
    const cv::Scalar mean = cv::mean(t, t == t); // NaN is unequal to itself
    t.setTo(mean, t != t);
    t = -t;
    const int w = std::min(width, temps.cols);
    cv::resize(t, t,
               cv::Size(w, std::max(1, int(std::lround(double(w) * temps.rows / temps.cols)))), 0,
               0, cv::INTER_AREA);
    // Both maps are smoothed alike, so that the correlation changes smoothly
    // with a shift of less than a pixel.
    cv::GaussianBlur(t, t, cv::Size(3, 3), 0);
    return t;
}

struct Candidate {
    double correlation = -2, width = 0, x = 0, y = 0; // in photograph pixels
};

// Where the maximum at `at` of `result` lies between pixels, along x or y,
// from a parabola through it and its two neighbours.
double peak(const cv::Mat &result, cv::Point at, bool along_x)
{
    const int i = along_x ? at.x : at.y, n = along_x ? result.cols : result.rows;
    if (i <= 0 || i >= n - 1)
        return i;
    const cv::Point step = along_x ? cv::Point(1, 0) : cv::Point(0, 1);
    const double l = result.at<float>(at - step), m = result.at<float>(at),
                 r = result.at<float>(at + step);
    const double curve = l - 2 * m + r;
    return curve < 0 ? i + 0.5 * (l - r) / curve : i;
}

// The best position of `templ` in the index map scaled so that a field
// `width` photograph pixels wide covers the template, with the field's
// corner within `corners` (in photograph pixels; empty: anywhere).
Candidate best_at_width(const cv::Mat &index, double photo_width, const cv::Mat &templ,
                        double width, cv::Rect2d corners = {})
{
    const double to_map = index.cols / photo_width;
    const double height = width * templ.rows / templ.cols;
    cv::Rect2d area(0, 0, index.cols, index.rows);
    if (!corners.empty())
        area &= cv::Rect2d(corners.x * to_map, corners.y * to_map, (corners.width + width) * to_map,
                           (corners.height + height) * to_map);
    const cv::Rect crop(int(area.x), int(area.y), int(area.width), int(area.height));
    const double s = templ.cols / (width * to_map); // template pixels per map pixel
    const cv::Size size(int(std::lround(crop.width * s)), int(std::lround(crop.height * s)));
    if (size.width < templ.cols || size.height < templ.rows)
        return {};
    cv::Mat scaled, result;
    cv::resize(index(crop), scaled, size, 0, 0, cv::INTER_AREA);
    cv::GaussianBlur(scaled, scaled, cv::Size(3, 3), 0);
    cv::matchTemplate(scaled, templ, result, cv::TM_CCOEFF_NORMED);
    double best = 0;
    cv::Point at;
    cv::minMaxLoc(result, nullptr, &best, nullptr, &at);
    // The scales the rounded size really gives.
    const double sx = double(size.width) / crop.width, sy = double(size.height) / crop.height;
    return {best, templ.cols / (sx * to_map), (crop.x + peak(result, at, true) / sx) / to_map,
            (crop.y + peak(result, at, false) / sy) / to_map};
}

// The correlation of the template with the index map under `field`.
double correlation_at(const cv::Mat &index, double photo_width, const cv::Mat &templ,
                      const Field &field)
{
    const double to_map = index.cols / photo_width;
    const cv::Rect area =
        cv::Rect(int(field.x * to_map), int(field.y * to_map),
                 std::max(1, int(field.width * to_map)), std::max(1, int(field.height * to_map))) &
        cv::Rect(0, 0, index.cols, index.rows);
    if (area.empty())
        return -1;
    cv::Mat patch, result;
    cv::resize(index(area), patch, templ.size(), 0, 0, cv::INTER_AREA);
    cv::matchTemplate(patch, templ, result, cv::TM_CCOEFF_NORMED);
    return result.at<float>(0, 0);
}

Candidate coarse_search(const cv::Mat &fine_index, const cv::Mat &temps, double pw, double ph)
{
    cv::Mat index;
    cv::resize(fine_index, index,
               cv::Size(coarse_map_width, fine_index.rows * coarse_map_width / fine_index.cols), 0,
               0, cv::INTER_AREA);
    const cv::Mat templ = thermal_template(temps, coarse_template);
    const double aspect = double(temps.rows) / temps.cols;
    const double widest = std::min(pw, ph / aspect);
    Candidate best;
    for (double w = least_width * pw; w <= widest; w *= coarse_step) {
        const Candidate c = best_at_width(index, pw, templ, w);
        if (c.correlation > best.correlation)
            best = c;
    }
    return best;
}

double k_of(size_t i)
{
    return double(i) - fine_steps;
}

Candidate fine_search(const cv::Mat &index, const cv::Mat &templ, double aspect, double pw,
                      double ph, const Candidate &coarse)
{
    const double margin = 2.0 * coarse.width / coarse_template; // two coarse pixels
    const cv::Rect2d corners(coarse.x - margin, coarse.y - margin, 2 * margin, 2 * margin);
    std::vector<Candidate> tried;
    for (int k = -fine_steps; k <= fine_steps; ++k) {
        const double w = coarse.width * (1 + k * fine_step);
        tried.push_back(w > pw || w * aspect > ph ? Candidate{}
                                                  : best_at_width(index, pw, templ, w, corners));
    }
    const auto best = std::max_element(
        tried.begin(), tried.end(), [](auto &a, auto &b) { return a.correlation < b.correlation; });
    const size_t i = size_t(best - tried.begin());
    if (i == 0 || i + 1 == tried.size() || tried[i - 1].width == 0 || tried[i + 1].width == 0)
        return *best;
    // Between the width steps: the top of a parabola through the best and its neighbours.
    const double l = tried[i - 1].correlation, m = best->correlation, r = tried[i + 1].correlation;
    const double curve = l - 2 * m + r;
    const double shift = curve < 0 ? 0.5 * (l - r) / curve : 0;
    const Candidate between = best_at_width(
        index, pw, templ, coarse.width * (1 + (k_of(i) + shift) * fine_step), corners);
    return between.correlation >= best->correlation - 0.01 ? between : *best;
}

// Refines a field below a pixel of the maps: the translation and scale that
// best align the template with the index map (enhanced correlation).
Candidate refine(const cv::Mat &index, double photo_width, const cv::Mat &templ, const Candidate &c)
{
    const double to_map = index.cols / photo_width;
    const double s = templ.cols / (c.width * to_map); // template pixels per map pixel
    cv::Mat scaled;
    cv::resize(index, scaled, cv::Size(), s, s, cv::INTER_AREA);
    const double sx = double(scaled.cols) / index.cols, sy = double(scaled.rows) / index.rows;
    cv::Mat warp =
        (cv::Mat_<float>(2, 3) << 1, 0, float(c.x * to_map * sx), 0, 1, float(c.y * to_map * sy));
    try {
        cv::findTransformECC(
            templ, scaled, warp, cv::MOTION_AFFINE,
            cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 50, 1e-4),
            cv::noArray(), 1);
    } catch (const cv::Exception &) {
        return c;
    }
    const double scale = 0.5 * (warp.at<float>(0, 0) + warp.at<float>(1, 1));
    if (!(std::abs(scale - 1) < 0.05))
        return c; // wandered off: keep the search's answer
    return {c.correlation, c.width * scale, warp.at<float>(0, 2) / sx / to_map,
            warp.at<float>(1, 2) / sy / to_map};
}

Field to_field(const Candidate &c, const cv::Mat &temps, const cv::Size &photo)
{
    Field f;
    f.width = std::min(photo.width, int(std::lround(c.width)));
    f.height = std::min(photo.height, int(std::lround(c.width * temps.rows / temps.cols)));
    f.x = std::clamp(int(std::lround(c.x)), 0, photo.width - f.width);
    f.y = std::clamp(int(std::lround(c.y)), 0, photo.height - f.height);
    return f;
}

} // namespace

Registration register_field(const cv::Mat &rgb, const cv::Mat &temps, const Field &prior)
{
    Registration r;
    r.field = prior;
    r.searched = true;
    if (rgb.empty() || temps.empty())
        return r;
    const cv::Mat sharp = vegetation_index(rgb);
    cv::Mat index;
    cv::resize(sharp, index, cv::Size(map_width, sharp.rows * map_width / sharp.cols), 0, 0,
               cv::INTER_AREA);
    const double pw = rgb.cols, ph = rgb.rows;
    const Candidate coarse = coarse_search(index, temps, pw, ph);
    const cv::Mat fine_templ = thermal_template(temps, fine_template);
    const Candidate fine =
        fine_search(index, fine_templ, double(temps.rows) / temps.cols, pw, ph, coarse);
    const Candidate best =
        refine(sharp, pw, thermal_template(temps, refine_template), fine.width > 0 ? fine : coarse);
    const Field found = to_field(best, temps, rgb.size());
    r.correlation = correlation_at(index, pw, fine_templ, found);
    const double at_prior = correlation_at(index, pw, fine_templ, prior);
    if (r.correlation >= min_registration_correlation && r.correlation >= at_prior + clear_margin) {
        r.field = found;
        r.registered = true;
    }
    return r;
}

} // namespace ardentis
