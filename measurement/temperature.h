#pragma once
// From raw sensor counts to degrees Celsius with the camera's Planck-curve
// calibration, corrected for emissivity and reflected radiation, and in the
// full model also for the air and a protective window between camera and
// object.

#include "measurement/rawimage.h"

#include <QString>
#include <opencv2/core.hpp>

#include <cmath>
#include <limits>

namespace ardentis
{

class ExifTool;

constexpr double kelvin_offset = 273.15;
// No thermal camera is calibrated anywhere near this: a hotter result is
// damaged data, not a temperature.
constexpr double max_celsius = 10000;

// The apparent (black-body) temperatures, in degrees Celsius, that a camera's
// counts can stand for: a count beyond them is not a measurement.
struct MeasurableRange {
    double min = -60, max = 1500; // when the file says nothing: no camera measures beyond
};

// The limits a FLIR camera records for its measurement range, in degrees
// Celsius; NaN where the file has none.
struct CameraLimits {
    double range_min = std::nan(""), range_max = std::nan("");         // the nominal range
    double clip_min = std::nan(""), clip_max = std::nan("");           // the maker shows clipped
    double saturated_min = std::nan(""), saturated_max = std::nan(""); // the detector's ends
};

// What a camera with these limits can measure: its saturation limits with a
// margin, when the limits are in order; otherwise the default range.
MeasurableRange measurable_range(const CameraLimits &limits);

struct PlanckConstants {
    double r1 = 0, r2 = 0, b = 0, o = 0, f = 0;
};

// What lies between the camera and the object, as the camera records it.
struct Atmosphere {
    double distance = 0;            // m
    double t_atm = 20;              // air temperature, degrees Celsius
    double humidity = 0;            // relative humidity, a fraction of 1
    double t_window = 20;           // window temperature, degrees Celsius
    double window_transmission = 1; // 1: no window
    double alpha1 = 0, alpha2 = 0, beta1 = 0, beta2 = 0, x = 1;
};

enum class Radiometry {
    Simple, // emissivity and reflected temperature only
    Full,   // also the air's transmission and radiation, and a window
};

// Everything the conversion of one image needs.
struct Calibration {
    PlanckConstants k;
    double emissivity = 0, t_refl = 0;
    Radiometry model = Radiometry::Simple;
    Atmosphere air;
    MeasurableRange range;
};

// The raw signal a black body at `t` degrees Celsius gives.
double black_body_signal(const PlanckConstants &k, double t);

// The transmission of the air over the whole object distance.
double air_transmission(const Atmosphere &air);

// Temperatures in degrees Celsius, one double per pixel (CV_64FC1, same rows
// and columns) of `raw`, which must be one channel of unsigned 16-bit counts;
// any other raw image gives an empty matrix. A pixel has no temperature (NaN,
// counted in `without_temperature` when that is given) when its count's
// apparent temperature or its temperature lies outside the calibration's
// measurable range, or its temperature is not a number from absolute zero
// to max_celsius. Counts within the range keep their temperature also
// beyond the nominal range, where the camera's own software shows them
// clipped.
cv::Mat convert_counts(const cv::Mat &raw, const Calibration &c,
                       int *without_temperature = nullptr);

// The same with emissivity and reflected temperature only.
cv::Mat temperatures_from_raw(const cv::Mat &raw, const PlanckConstants &k, double emissivity,
                              double t_refl);

// Why values cannot turn counts into temperatures, naming the value and where
// it came from (`source`, e.g. "of the radiometric image"); empty when they can.
QString planck_problem(const PlanckConstants &k);
QString emissivity_problem(double emissivity, const QString &source);
QString t_refl_problem(double t_refl, const QString &source);
QString atmosphere_problem(const Atmosphere &air);

// The photograph a radiometric image keeps inside it (ExifTool's
// EmbeddedImage) and the camera's values that align it with the thermal
// picture (the picture-in-picture record's Real2IR, OffsetX and OffsetY).
struct EmbeddedPhoto {
    QByteArray bytes; // the encoded photograph as stored; empty when there is none
    cv::Size size;    // its size as its record gives it, when only that was asked for
    double real2ir = std::nan(""), offset_x = std::nan(""), offset_y = std::nan("");
    QString alignment_problem; // why the values cannot be read: missing or not numbers
};

// One radiometric image's temperatures, or why there are none.
struct Measurement {
    cv::Mat temps; // CV_64FC1
    int without_temperature = 0;
    Calibration calibration; // the values used
    QByteArray time;         // the capture time of day
    QByteArray date_time;    // the capture date and time as the file writes it
    // The air as set on the camera: °C and a fraction of 1; NaN when not read.
    double camera_air = std::numeric_limits<double>::quiet_NaN();
    double camera_humidity = std::numeric_limits<double>::quiet_NaN();
    // The lens's horizontal field of view in degrees, NaN when not read.
    double field_of_view = std::nan("");
    EmbeddedPhoto photo; // read only when asked for
    QString problem;
};

// Checks the values and converts the counts. The emissivity and reflected
// temperature are checked only when they come from the file (`file_values`).
Measurement convert_checked(const RawImage &raw, const Calibration &c, bool file_values);

// Measures one radiometric JPEG: extracts its raw thermal image to
// `work_file`, reads its Planck constants and, unless `flag_er` is true, its
// emissivity and reflected temperature, which are then stored through
// `emi_in` and `t_refl_in`. With `flag_er` true those two are read from the
// pointers instead. Once the tool fails to answer (in time, whole), nothing
// more is asked of it.
Measurement measure_temperatures(ExifTool &tool, bool flag_er, const QString &file, double *emi_in,
                                 double *t_refl_in, const QString &work_file);

} // namespace ardentis
