#pragma once
// False-colour maps of temperatures with a colour bar in degrees Celsius,
// one range and one palette for a whole campaign.

#include <opencv2/core.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace ardentis
{

enum class Palette { Inferno, Iron, Grey };

// The palette's 256 colours (CV_8UC3, 256 × 1, blue, green, red), coldest first.
const cv::Mat &palette_colours(Palette palette);

// The palette entry of `t` in the range [lo, hi], ends included.
inline int colour_index(double t, double lo, double hi)
{
    // Clamped to [0, 1] by plain minimum and maximum, which vectorise.
    const double f = std::min(std::max((t - lo) / (hi - lo), 0.0), 1.0);
    return int(f * 255 + 0.5); // the nearest entry: f is not negative
}

// Pixels without a temperature are shown in this colour.
const cv::Vec3b no_temperature_colour(96, 96, 96);
// The narrowest range a map spans, in degrees Celsius: its colour bar's ticks
// need room.
constexpr double min_map_span = 0.1;

// `temps` (CV_64FC1 or CV_32FC1) coloured: CV_8UC3 of the same size.
cv::Mat thermal_map(const cv::Mat &temps, Palette palette, double lo, double hi);

// Round values between lo and hi, four to eight of them.
std::vector<double> nice_ticks(double lo, double hi);

// The step between the ticks (1 when there is only one).
double tick_step(const std::vector<double> &ticks);

// A tick's value written with as many decimals as the ticks' step needs.
std::string tick_label(double v, double step);

// The colour bar alone, with its values in °C, on a white picture made for
// maps of size `map`: the maps of a campaign share one.
cv::Mat colour_bar_canvas(cv::Size map, Palette palette, double lo, double hi);
// The map with the colour bar to its right: on a copy of `canvas`.
cv::Mat with_colour_bar(const cv::Mat &map, const cv::Mat &canvas);

} // namespace ardentis
