#include "temperature.h"

#include "rawimage.h"

#include <cmath>
#include <cstdint>

namespace ardentis
{

namespace
{
constexpr double kelvin_offset = 273.15;
}

double reflected_signal(const PlanckConstants &k, double t_refl)
{
    return k.r1 / (k.r2 * (std::exp(k.b / (t_refl + kelvin_offset)) - k.f)) - k.o;
}

cv::Mat temperatures_from_raw(const cv::Mat &raw, const PlanckConstants &k, double emissivity,
                              double t_refl)
{
    if (raw.type() != CV_16UC1 || raw.empty())
        return {};
    const double raw_refl = reflected_signal(k, t_refl);
    cv::Mat temps(raw.rows, raw.cols, CV_64FC1);
    for (int r = 0; r < raw.rows; ++r) {
        const auto *counts = raw.ptr<std::uint16_t>(r);
        auto *out = temps.ptr<double>(r);
        for (int c = 0; c < raw.cols; ++c) {
            const double raw_count = counts[c];
            const double raw_obj = (raw_count - (1 - emissivity) * raw_refl) / emissivity;
            out[c] = k.b / std::log(k.r1 / (k.r2 * (raw_obj + k.o)) + k.f) - kelvin_offset;
        }
    }
    return temps;
}

cv::Mat measure_temperatures(ExifTool &tool, bool flag_er, const QString &file, double *emi_in,
                             double *t_refl_in, const QString &work_file)
{
    query_raw_thermal_image(tool, file, work_file);
    const cv::Mat raw = read_raw_thermal(work_file);

    PlanckConstants k;
    k.r1 = query_value(tool, "PlanckR1", file);
    k.r2 = query_value(tool, "PlanckR2", file);
    k.b = query_value(tool, "PlanckB", file);
    k.o = query_value(tool, "PlanckO", file);
    k.f = query_value(tool, "PlanckF", file);

    if (!flag_er) {
        *emi_in = query_value(tool, "Emissivity", file);
        *t_refl_in = query_value(tool, "ReflectedApparentTemperature", file);
    }
    return temperatures_from_raw(raw, k, *emi_in, *t_refl_in);
}

} // namespace ardentis
