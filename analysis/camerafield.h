#pragma once
// The thermal field a camera that keeps its photograph inside the radiometric
// image gives itself: its alignment values say where its thermal picture lies
// in that photograph.

#include "analysis/alignment.h"

#include <QString>
#include <opencv2/core.hpp>

namespace ardentis
{

// Real2IR beyond this is no camera's: the thermal picture would cover less
// than a tenth of the photograph's width.
constexpr double max_real2ir = 10;
// A field reaching beyond the photograph by at most this share of its width
// (or a pixel), as a camera's rounding may leave it, is moved inside; one
// reaching further lies outside.
constexpr double max_overhang = 0.01;

// The camera's field, or why its values give none.
struct CameraField {
    Field field;
    QString problem;
};

// The field of a raw grid of `raw` in a photograph of `photo` from the
// camera's Real2IR and OffsetX, OffsetY:
//
//   width  = photo width / Real2IR
//   height = width * raw height / raw width
//   centre = photograph's centre + (OffsetX, OffsetY)
//
// Real2IR is how many times wider the photograph's view is than the thermal
// lens's, a ratio of the two views, so the width follows the photograph's own
// size whatever resolution the camera stored it at. OffsetX and OffsetY move
// the thermal field's centre from the photograph's centre in the stored
// photograph's pixels, right and down: the photograph and these values are
// all a file gives to overlay the two, so no other frame of reference can be
// meant. The height keeps the raw grid's shape (square thermal pixels).
//
// A real camera: a 640 × 480 raw image, a 2,592 × 1,944 photograph, Real2IR
// 1.4456, OffsetX −197, OffsetY +230: a field 1,793 × 1,345 px whose centre
// lies 197 px left of and 230 px below the photograph's centre, as measured
// on the file.
//
// The picture-in-picture values (PiPX1, PiPX2, PiPY1, PiPY2) are not needed:
// they give, in thermal pixels, the part of the thermal picture the camera
// shows over the photograph on its screen, a display setting that leaves
// where the whole thermal picture lies unchanged.
//
// The values are impossible when Real2IR is not in (0, max_real2ir] or an
// offset is not finite, and of no use when the field does not lie within the
// photograph (see max_overhang).
CameraField camera_field(cv::Size photo, cv::Size raw, double real2ir, double offset_x,
                         double offset_y);

// Another photograph of the same view may differ in size from the one the
// values refer to by at most this share of its aspect ratio.
constexpr double max_aspect_difference = 0.01;

// The camera's field in a photograph of `photo` that shows the view of the
// photograph of `kept` the values refer to, at another size: the offsets,
// counted in the kept photograph's pixels, scaled to its own. A photograph of
// another aspect shows another view: none. `kept` is the size stored; with
// `turned`, the photograph was stored a quarter turn from upright, and a
// kept one of its shape only so turned is taken as stored alike: the values
// refer to it upright.
CameraField camera_field_in_copy(cv::Size photo, cv::Size kept, bool turned, cv::Size raw,
                                 double real2ir, double offset_x, double offset_y);

} // namespace ardentis
