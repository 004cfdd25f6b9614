#pragma once
// Where a pair's field starts: the options' field, or the one the camera's
// own alignment values give in the photograph the radiometric image keeps
// inside it, or in a separate photograph of the same view.

#include "engine/plan.h"
#include "measurement/tagquery.h"
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

// Whether the pair's field comes from the camera's alignment values: for a
// photograph kept inside the radiometric image unless only a field is given;
// for a separate one when the camera's field or a search is asked for.
bool uses_camera_field(const PairPlan &plan, const RunOptions &options);

// Whether the pair's field is searched: when the options ask for it, and
// without any field asked for, for a photograph kept inside the radiometric
// image, whose camera's field misses at close range, where the two lenses
// see the scene from places apart (parallax).
bool searches_field(const PairPlan &plan, const RunOptions &options);

// What the measurement of the pair's radiometric image brings of the
// photograph it keeps.
KeptPhoto kept_photo(const PairPlan &plan, const RunOptions &options);

// Why the pair's pictures cannot be processed with the field chosen: see
// pictures_problem; a search needs only a photograph that holds some field.
QString pictures_problem_for(const cv::Mat &ir, const cv::Mat &rgb, const FieldChoice &choice);

// The pair's photograph, when the radiometric image `ir` measured as `m`
// keeps it, decoded into `rgb` with every picture's checks (its size from
// its header within the limits before decoding), and the field chosen for
// the pair: the camera's where uses_camera_field says so, searched near it
// where searches_field says so. Where the camera's values are missing or
// impossible, a field given stands in; without one, a pair with a photograph
// kept inside or with --field camera cannot be processed, while a search in a
// separate photograph starts from the options' field. `turned` tells that a
// separate photograph `rgb` was stored a quarter turn from upright. Returns
// why the pair cannot be processed.
QString photograph_and_field(const PairPlan &plan, const Measurement &m, const cv::Mat &ir,
                             const RunOptions &options, bool turned, cv::Mat &rgb,
                             FieldChoice &choice);

} // namespace ardentis
