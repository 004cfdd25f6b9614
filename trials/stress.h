#pragma once
// How a canopy compares with the air around it: the vapour pressure deficit,
// the canopy temperature depression and the crop water stress index.

namespace ardentis
{

// Saturation vapour pressure over water in kPa at `celsius` (Tetens, as FAO 56).
double saturation_vapour_pressure(double celsius);

// Vapour pressure deficit in kPa of air at `air_celsius` and relative
// humidity `humidity_percent`.
double vapour_pressure_deficit(double air_celsius, double humidity_percent);

// The canopy temperature depression: air less canopy, in °C.
double canopy_temperature_depression(double air_celsius, double canopy_celsius);

// The non-water-stressed baseline of a crop (Idso 1982): the canopy less air
// temperature of a well-watered crop is a + b · VPD.
struct CwsiBaseline {
    double a = 0, b = 0; // °C, °C/kPa
};

// The index's upper limit less its lower, in °C, at this air and VPD.
double cwsi_span(double air_celsius, double vpd_kpa, const CwsiBaseline &baseline);

// The least span that gives an index: below it the limits are closer than a
// thermal camera tells temperatures apart, and the index would magnify its
// noise past meaning; below 0 they are crossed and its sense reversed.
constexpr double cwsi_least_span = 0.05;

// The crop water stress index, unclipped: 0 on the baseline, 1 at the upper
// limit of a crop that does not transpire. NaN when the span is below the least.
double crop_water_stress_index(double canopy_celsius, double air_celsius, double vpd_kpa,
                               const CwsiBaseline &baseline);

} // namespace ardentis
