#include "analysis/stats.h"

#include <algorithm>
#include <cmath>

namespace ardentis
{

namespace
{

// Where the `p`th percentile of `n` sorted values lies: between the values
// at `below` and `above`, at `at`.
struct PercentilePlace {
    double at;
    size_t below, above;
};

PercentilePlace percentile_place(size_t n, double p)
{
    const double at = p / 100.0 * double(n - 1);
    const size_t below = size_t(std::floor(at));
    return {at, below, std::min(below + 1, n - 1)};
}

} // namespace

double percentile(const std::vector<double> &sorted, double p)
{
    if (sorted.empty())
        return std::nan("");
    const PercentilePlace place = percentile_place(sorted.size(), p);
    const double low = sorted[place.below], high = sorted[place.above];
    return low + (place.at - double(place.below)) * (high - low);
}

namespace
{

// Puts at each place the percentiles read the value a sort would put there.
void partly_sort(std::vector<double> &values)
{
    std::vector<size_t> places;
    for (double p : {0.0, 5.0, 25.0, 50.0, 75.0, 95.0, 100.0}) {
        const PercentilePlace place = percentile_place(values.size(), p);
        places.push_back(place.below);
        places.push_back(place.above);
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
