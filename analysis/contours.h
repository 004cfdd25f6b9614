#pragma once
// Thermal contours over the photograph: the edges of the thermal picture
// drawn where its field puts them, so that a person can judge a field by eye.
// On a true field they follow the outlines of plants, pots and weeds; a field
// a few pixels off shows them beside those outlines.

#include "analysis/photoscales.h"

#include <opencv2/core.hpp>

#include <vector>

namespace ardentis
{

// The contours' colour (blue, green, red): magenta, unlike plant and soil.
const cv::Vec3b contour_colour(255, 0, 255);
// The field's outline over a photograph: yellow.
const cv::Vec3b field_outline_colour(0, 230, 255);

// A contour picture before it is drawn: the part of the photograph shown,
// as it is (not a copy), and what goes over it.
struct ContourPicture {
    cv::Mat view;
    std::vector<std::vector<int>> edges; // for each row of the view, its edge pixels' columns
    cv::Rect field;                      // on the view, outlined one pixel wide

    // Draws over `row` (a copy of row `y` of the view): a picture can be
    // encoded row by row without a copy of it.
    void draw_row(int y, uchar *row) const;
};

// `area` of the photograph halved `halvings` times (its corner is taken to
// the nearest halved pixel), with the edges of `temps` (CV_64FC1, NaN where
// none), placed over `field`, to be drawn one pixel wide, and the field to
// be outlined.
ContourPicture thermal_contours(const PhotoScales &photo, const cv::Mat &temps,
                                const cv::Rect &field, const cv::Rect &area, int halvings);

} // namespace ardentis
