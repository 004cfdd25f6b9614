#pragma once
// Finding where the thermal picture lies in the photograph: the outlines of
// plants, pots and weeds in a vegetation index of the photograph line up with
// the edges of the temperatures, and where plants are cooler than the ground
// the values line up too. Translation and scale only.

#include "analysis/alignment.h"
#include "analysis/photoscales.h"

#include <QString>
#include <opencv2/core.hpp>

#include <cmath>

namespace ardentis
{

// Below this criterion a found field is not trusted.
constexpr double min_registration_score = 0.4;
// Nor when its quadrants, each searched on its own, disagree by more than
// this share of its width.
constexpr double max_fit_share = 0.02;
// A field narrower than this many photograph pixels cannot show what the
// thermal pixels see.
constexpr int least_field_width = 64;

struct Registration {
    Field field;
    bool searched = false;   // a search was made (not where none can be)
    bool registered = false; // and its field is used
    double correlation = 0;  // the criterion at the best field found
    // How far, in photograph pixels, the best shifts of the field's four
    // quadrants, each searched on its own, lie apart at most: small for a
    // true fit. NaN when not measured.
    double fit = std::nan("");
    QString note; // why the field found is not used
    // How far the field used lies from where the search started (see
    // field_shift): the prior, or the field it falls back to when the
    // photograph does not hold the prior; NaN without a search.
    double shift = std::nan("");
    bool near = false; // searched only near the prior, the camera's own field
};

// The thermal lens's share of the photograph's width, from its horizontal
// field of view in degrees; NaN when the view is not a usable angle.
double width_share(double field_of_view);

// Why no field fits in a photograph of `photo` for a raw grid of `raw`, or
// an empty text when one does.
QString field_room_problem(cv::Size photo, cv::Size raw);

// The field used when the search finds none it trusts: the prior when the
// photograph holds it, or else a centred field of the expected width (the
// lens's share of the photograph, or the prior's width when the lens is not
// known), within the photograph.
Field fallback_field(cv::Size photo, cv::Size raw, const Field &prior, double field_of_view);

// Searches the field of `temps` (CV_64FC1, NaN where none) in `rgb` over
// widths from a quarter to the whole of the photograph, the height following
// the raw grid's aspect, preferring widths near the lens's share when its
// field of view (degrees) is known. The field found is used when both its
// criterion and its fit say it is trustworthy and it beats the prior; one
// found where the prior lies, within max_fit_share of its width, that does
// not clearly beat it confirms the prior, which is kept, registered. Else
// the fallback field is kept, marked not registered, with the reason in
// `note`. The caller checks field_room_problem first.
Registration register_field(const cv::Mat &rgb, const cv::Mat &temps, const Field &prior,
                            double field_of_view = std::nan(""));
// The same with the photograph's halvings shared.
Registration register_field(const PhotoScales &photo, const cv::Mat &temps, const Field &prior,
                            double field_of_view = std::nan(""));

// The same search kept near `prior`, a field the camera itself gives: widths
// within a tenth of its width, corners within a tenth of its width of its
// corner, widths near its own preferred. The prior is kept unless a field
// found there is trustworthy and clearly better; registered when one found
// confirms it.
Registration register_near(const cv::Mat &rgb, const cv::Mat &temps, const Field &prior);
Registration register_near(const PhotoScales &photo, const cv::Mat &temps, const Field &prior);

} // namespace ardentis
