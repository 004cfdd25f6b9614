#pragma once
// Where a pair's field starts, and the photograph a radiometric image keeps
// inside it with the field the camera's own alignment values give.

#include "engine/plan.h"
#include "measurement/temperature.h"
#include "pictures/pictures.h"

#include <QString>
#include <opencv2/core.hpp>

namespace ardentis
{

// How a pair's field is found.
struct FieldChoice {
    Field field;         // the field, or the prior of a search
    bool search = false; // searched from `field`
    bool near = false;   // and only near it: it is the camera's own
};

// The field the options give, before any camera values.
FieldChoice options_field(const RunOptions &options);

// Why the pair's pictures cannot be processed with the field chosen: see
// pictures_problem; a search needs only a photograph that holds some field.
QString pictures_problem_for(const cv::Mat &ir, const cv::Mat &rgb, const FieldChoice &choice);

// The photograph kept in the radiometric image `ir` measured as `m`, decoded
// into `rgb` with every picture's checks (its size from its header within the
// limits before decoding), and the field chosen for it: the camera's field,
// searched near when the options ask for a search, unless the options give a
// field instead; where the camera's values are missing or impossible a field
// given stands in. Returns why the pair cannot be processed.
QString embedded_photograph_and_field(const Measurement &m, const cv::Mat &ir,
                                      const RunOptions &options, cv::Mat &rgb, FieldChoice &choice);

} // namespace ardentis
