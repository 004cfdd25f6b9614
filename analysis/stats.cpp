#include "analysis/stats.h"

#include <algorithm>
#include <cmath>

namespace ardentis
{

double percentile(const std::vector<double> &sorted, double p)
{
    if (sorted.empty())
        return std::nan("");
    const double at = p / 100.0 * double(sorted.size() - 1);
    const size_t below = size_t(std::floor(at));
    const size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (at - double(below)) * (sorted[above] - sorted[below]);
}

namespace
{

// Puts at each place the percentiles read the value a sort would put there.
void partly_sort(std::vector<double> &values)
{
    std::vector<size_t> places;
    for (double p : {0.0, 5.0, 25.0, 50.0, 75.0, 95.0, 100.0}) {
        const double at = p / 100.0 * double(values.size() - 1);
        places.push_back(size_t(std::floor(at)));
        places.push_back(std::min(places.back() + 1, values.size() - 1));
    }
    std::sort(places.begin(), places.end());
    auto from = values.begin();
    for (size_t place : places) {
        if (values.begin() + long(place) >= from) {
            std::nth_element(from, values.begin() + long(place), values.end());
            from = values.begin() + long(place) + 1;
        }
    }
}

} // namespace

PlantStats plant_statistics(const cv::Mat &temps, const cv::Mat &plant)
{
    std::vector<double> values;
    values.reserve(temps.total());
    double other_sum = 0;
    int others = 0;
    for (int r = 0; r < temps.rows; ++r) {
        const double *t = temps.ptr<double>(r);
        const uchar *p = plant.ptr<uchar>(r);
        for (int c = 0; c < temps.cols; ++c) {
            if (std::isnan(t[c]))
                continue;
            if (p[c]) {
                values.push_back(t[c]);
            } else {
                other_sum += t[c];
                ++others;
            }
        }
    }
    PlantStats s;
    s.plant_pixels = int(values.size());
    s.plant_fraction = double(values.size()) / double(values.size() + size_t(others));
    s.other_mean = other_sum / others;
    double sum = 0;
    for (double v : values)
        sum += v;
    s.mean = sum / double(values.size());
    double squares = 0;
    for (double v : values)
        squares += (v - s.mean) * (v - s.mean);
    s.sd = std::sqrt(squares / double(values.size()));
    if (!values.empty())
        partly_sort(values);
    s.median = percentile(values, 50);
    s.p5 = percentile(values, 5);
    s.p25 = percentile(values, 25);
    s.p75 = percentile(values, 75);
    s.p95 = percentile(values, 95);
    s.min = percentile(values, 0);
    s.max = percentile(values, 100);
    return s;
}

} // namespace ardentis
