#include "trials/stress.h"

#include <cmath>
#include <limits>

namespace ardentis
{

double saturation_vapour_pressure(double celsius)
{
    return 0.6108 * std::exp(17.27 * celsius / (celsius + 237.3));
}

double vapour_pressure_deficit(double air_celsius, double humidity_percent)
{
    return saturation_vapour_pressure(air_celsius) * (1 - humidity_percent / 100);
}

double canopy_temperature_depression(double air_celsius, double canopy_celsius)
{
    return air_celsius - canopy_celsius;
}

namespace
{

// The baseline at this VPD: the canopy less air temperature of a crop that
// transpires fully.
double lower_limit(double vpd_kpa, const CwsiBaseline &baseline)
{
    return baseline.a + baseline.b * vpd_kpa;
}

} // namespace

double cwsi_span(double air_celsius, double vpd_kpa, const CwsiBaseline &baseline)
{
    // A crop that does not transpire is a degrees warmer than the air, the
    // baseline taken at the vapour pressure gradient of that difference.
    const double upper =
        baseline.a + baseline.b * (saturation_vapour_pressure(air_celsius) -
                                   saturation_vapour_pressure(air_celsius + baseline.a));
    return upper - lower_limit(vpd_kpa, baseline);
}

double crop_water_stress_index(double canopy_celsius, double air_celsius, double vpd_kpa,
                               const CwsiBaseline &baseline)
{
    const double span = cwsi_span(air_celsius, vpd_kpa, baseline);
    if (!(span >= cwsi_least_span))
        return std::numeric_limits<double>::quiet_NaN();
    return ((canopy_celsius - air_celsius) - lower_limit(vpd_kpa, baseline)) / span;
}

} // namespace ardentis
