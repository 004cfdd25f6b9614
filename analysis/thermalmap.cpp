#include "analysis/thermalmap.h"

#include "common/cnumber.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ardentis
{

namespace
{

// The traditional "iron" palette of thermal cameras, as red, green, blue stops.
cv::Mat iron_colours()
{
    const struct {
        double at;
        int r, g, b;
    } stops[] = {{0.00, 0, 0, 10},     {0.15, 50, 0, 110},  {0.35, 150, 0, 140},
                 {0.55, 220, 60, 40},  {0.75, 250, 150, 0}, {0.90, 255, 220, 60},
                 {1.00, 255, 255, 230}};
    cv::Mat lut(256, 1, CV_8UC3);
    for (int i = 0; i < 256; ++i) {
        const double x = i / 255.0;
        size_t s = 0;
        while (s + 2 < std::size(stops) && x > stops[s + 1].at)
            ++s;
        const auto &a = stops[s], &b = stops[s + 1];
        const double f = (x - a.at) / (b.at - a.at);
        lut.at<cv::Vec3b>(i) = cv::Vec3b(cv::saturate_cast<uchar>(a.b + f * (b.b - a.b)),
                                         cv::saturate_cast<uchar>(a.g + f * (b.g - a.g)),
                                         cv::saturate_cast<uchar>(a.r + f * (b.r - a.r)));
    }
    return lut;
}

cv::Mat made_colours(Palette palette)
{
    if (palette == Palette::Iron)
        return iron_colours();
    cv::Mat ramp(256, 1, CV_8UC1);
    for (int i = 0; i < 256; ++i)
        ramp.at<uchar>(i) = uchar(i);
    cv::Mat lut;
    if (palette == Palette::Grey)
        cv::cvtColor(ramp, lut, cv::COLOR_GRAY2BGR);
    else
        cv::applyColorMap(ramp, lut, cv::COLORMAP_INFERNO);
    return lut;
}

} // namespace

const cv::Mat &palette_colours(Palette palette)
{
    // Made once: every map and colour bar asks for them.
    static const cv::Mat colours[] = {made_colours(Palette::Inferno), made_colours(Palette::Iron),
                                      made_colours(Palette::Grey)};
    return colours[int(palette)];
}

namespace
{

// The colours of a row of temperatures: their entries first, in a loop of
// plain arithmetic the compiler does several at a time, then the lookups.
template <typename T>
void colour_row(const T *t, int n, double lo, double hi, const cv::Vec3b *colours, int *entry,
                cv::Vec3b *out)
{
    constexpr int none = 256; // the entry of a pixel without temperature
    for (int c = 0; c < n; ++c) {
        const bool known = t[c] == t[c];
        // Every entry computed, of a value that converts where there is none.
        const int e = colour_index(known ? t[c] : lo, lo, hi);
        entry[c] = known ? e : none;
    }
    for (int c = 0; c < n; ++c)
        out[c] = entry[c] == none ? no_temperature_colour : colours[entry[c]];
}

template <typename T> cv::Mat coloured(const cv::Mat &temps, Palette palette, double lo, double hi)
{
    const auto *colours = palette_colours(palette).ptr<cv::Vec3b>();
    cv::Mat map(temps.size(), CV_8UC3);
    std::vector<int> entry(size_t(temps.cols));
    for (int r = 0; r < temps.rows; ++r)
        colour_row(temps.ptr<T>(r), temps.cols, lo, hi, colours, entry.data(),
                   map.ptr<cv::Vec3b>(r));
    return map;
}

} // namespace

cv::Mat thermal_map(const cv::Mat &temps, Palette palette, double lo, double hi)
{
    return temps.depth() == CV_32F ? coloured<float>(temps, palette, lo, hi)
                                   : coloured<double>(temps, palette, lo, hi);
}

double tick_step(const std::vector<double> &ticks)
{
    return ticks.size() > 1 ? ticks[1] - ticks[0] : 1;
}

std::string tick_label(double v, double step)
{
    int decimals = 0;
    while (decimals < 4 && std::abs(step * std::pow(10.0, decimals) -
                                    std::round(step * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    return format_fixed(v, decimals);
}

std::vector<double> nice_ticks(double lo, double hi)
{
    const double span = hi - lo;
    double step = std::pow(10.0, std::floor(std::log10(span / 4)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (span / (step * m) <= 7) {
            step *= m;
            break;
        }
    std::vector<double> ticks;
    for (double v = std::ceil(lo / step) * step; v <= hi + 1e-9 * span; v += step)
        ticks.push_back(std::abs(v) < 1e-12 ? 0.0 : v);
    return ticks;
}

cv::Mat with_colour_bar(const cv::Mat &map, const cv::Mat &canvas)
{
    cv::Mat out = canvas.clone();
    map.copyTo(out(cv::Rect(0, 0, map.cols, map.rows)));
    return out;
}

// Nothing of the bar comes within 9 pixels of the map: the map is put on it
// after.
cv::Mat colour_bar_canvas(cv::Size map, Palette palette, double lo, double hi)
{
    const int bar_left = map.width + 10, bar_width = 14, top = 14;
    const int height = std::max(map.height, 120), bar_height = height - 2 * top;
    cv::Mat out(height, map.width + 70, CV_8UC3, cv::Scalar::all(255));
    const cv::Mat lut = palette_colours(palette);
    for (int y = 0; y < bar_height; ++y) {
        const double t = hi - (hi - lo) * y / (bar_height - 1);
        out(cv::Rect(bar_left, top + y, bar_width, 1))
            .setTo(lut.at<cv::Vec3b>(colour_index(t, lo, hi)));
    }
    const cv::Scalar ink(40, 40, 40);
    const std::vector<double> ticks = nice_ticks(lo, hi);
    const double step = tick_step(ticks);
    for (double v : ticks) {
        const int y = top + int(std::lround((hi - v) / (hi - lo) * (bar_height - 1)));
        cv::line(out, {bar_left + bar_width, y}, {bar_left + bar_width + 3, y}, ink);
        cv::putText(out, tick_label(v, step), {bar_left + bar_width + 6, y + 4},
                    cv::FONT_HERSHEY_SIMPLEX, 0.35, ink, 1, cv::LINE_AA);
    }
    // "°C" above the bar: Hershey fonts have no degree sign.
    cv::circle(out, {bar_left + 2, 5}, 2, ink, 1, cv::LINE_AA);
    cv::putText(out, "C", {bar_left + 6, 10}, cv::FONT_HERSHEY_SIMPLEX, 0.35, ink, 1, cv::LINE_AA);
    return out;
}

} // namespace ardentis
