#pragma once
// Statistics of a pair's plant temperatures.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace ardentis
{

// Over the pixels that have a temperature; NaN where there is nothing to
// describe.
struct PlantStats {
    int plant_pixels = 0;
    double plant_fraction = 0; // of the pixels with a temperature
    double mean = 0, median = 0, sd = 0, p5 = 0, p25 = 0, p75 = 0, p95 = 0, min = 0, max = 0;
    double other_mean = 0; // of the pixels that are not plant
};

// `plant` is CV_8UC1 on the grid of `temps` (CV_64FC1, NaN where none).
PlantStats plant_statistics(const cv::Mat &temps, const cv::Mat &plant);

// The value below which `p` percent of the sorted values lie, interpolated
// linearly between neighbouring values (the first value at 0, the last at 100).
double percentile(const std::vector<double> &sorted, double p);

} // namespace ardentis
