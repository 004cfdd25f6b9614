#pragma once
// From raw sensor counts to degrees Celsius with the camera's Planck-curve
// calibration, corrected for emissivity and reflected radiation.

#include "exiftool.h"

#include <QString>
#include <opencv2/core.hpp>

namespace ardentis
{

struct PlanckConstants {
    double r1 = 0, r2 = 0, b = 0, o = 0, f = 0;
};

// The raw signal a black body at `t_refl` degrees Celsius gives.
double reflected_signal(const PlanckConstants &k, double t_refl);

// Temperatures in degrees Celsius, one double per pixel (CV_64FC1, same rows
// and columns) of `raw`, which must be one channel of unsigned 16-bit counts;
// any other raw image gives an empty matrix.
cv::Mat temperatures_from_raw(const cv::Mat &raw, const PlanckConstants &k, double emissivity,
                              double t_refl);

// Measures one radiometric JPEG: extracts its raw thermal image to
// `work_file`, reads its Planck constants and, unless `flag_er` is true, its
// emissivity and reflected temperature, which are then stored through
// `emi_in` and `t_refl_in`. With `flag_er` true those two are read from the
// pointers instead.
cv::Mat measure_temperatures(ExifTool &tool, bool flag_er, const QString &file, double *emi_in,
                             double *t_refl_in, const QString &work_file);

} // namespace ardentis
