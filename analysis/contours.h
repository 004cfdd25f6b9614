#pragma once
// Thermal contours over the photograph: the edges of the thermal picture
// drawn where its field puts them, so that a person can judge a field by eye.
// On a true field they follow the outlines of plants, pots and weeds; a field
// a few pixels off shows them beside those outlines.

#include "analysis/photoscales.h"

#include <opencv2/core.hpp>

namespace ardentis
{

// The contours' colour (blue, green, red): magenta, unlike plant and soil.
const cv::Vec3b contour_colour(255, 0, 255);
// The field's outline over a photograph: yellow.
const cv::Vec3b field_outline_colour(0, 230, 255);

// `area` of the photograph halved `halvings` times (its corner is taken to
// the nearest halved pixel), with the edges of `temps` (CV_64FC1, NaN where
// none), placed over `field`, drawn on it one pixel wide, and the field
// outlined.
cv::Mat thermal_contours(const PhotoScales &photo, const cv::Mat &temps, const cv::Rect &field,
                         const cv::Rect &area, int halvings);

} // namespace ardentis
