#pragma once
// Finding where the thermal picture lies in the photograph: plants are
// cooler than soil, so the negated temperatures of the raw grid correlate
// with a vegetation index of the photograph under the right field.

#include "analysis/alignment.h"

#include <opencv2/core.hpp>

namespace ardentis
{

// Below this correlation a found field is not trusted.
constexpr double min_registration_correlation = 0.5;

struct Registration {
    Field field;
    bool searched = false;   // a search was made
    bool registered = false; // and its field is used
    double correlation = 0;  // of the best field found
};

// Searches the field of `temps` (CV_64FC1, NaN where none) in `rgb` over
// widths from a quarter to the whole of the photograph, the height following
// the raw grid's aspect. The prior is used, and the pair marked not
// registered, when the best field correlates weakly or not clearly better
// than the prior.
Registration register_field(const cv::Mat &rgb, const cv::Mat &temps, const Field &prior);

} // namespace ardentis
