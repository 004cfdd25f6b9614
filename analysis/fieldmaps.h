#pragma once
// The field search's maps and criterion: the photograph's vegetation index
// and the thermal picture's temperatures, compared on their edges (the
// outlines of plants, pots and weeds, whether those are warmer or cooler than
// what lies around them).

#include "analysis/correlation.h"
#include "analysis/photoscales.h"

#include <opencv2/core.hpp>

#include <vector>

namespace ardentis
{

// The photograph's vegetation index (ExGR), high on green plants, at
// resolutions halving from at most `finest_index_width` pixels wide: each
// level the index of one of the photograph's halvings, made when first
// asked for.
constexpr int finest_index_width = 1024;
class PhotoIndex
{
public:
    explicit PhotoIndex(const PhotoScales &photo);
    cv::Size photo() const { return photo_.photo().size(); }
    int levels() const { return levels_; }
    // Level `l`'s pixels per photograph pixel.
    double scale(int l) const;
    const cv::Mat &level(int l) const; // CV_32FC1
private:
    const PhotoScales &photo_;
    int first_ = 0, levels_ = 1; // the halvings of the finest level; the levels
    mutable std::vector<cv::Mat> made_;
};

// `temps` (CV_64FC1, NaN where none) as CV_32FC1, a missing temperature
// replaced by the mean of its neighbours that have one (of all the others
// where none has) so that it makes no edge.
cv::Mat filled_temperatures(const cv::Mat &temps);

// The thermal picture as a template at most `width` pixels wide, smoothed
// as the photograph's index is, from its filled temperatures.
struct Template {
    cv::Mat edges;     // the gradient magnitude of the temperatures, saturating
    double aspect = 1; // of the raw grid: rows per column
    // The edges of `part` (template pixels) ready to be correlated, made when
    // first asked for.
    const CorrelationTemplate &part(const cv::Rect &part) const;

private:
    mutable std::vector<std::pair<cv::Rect, CorrelationTemplate>> parts_;
};
Template thermal_template(const cv::Mat &filled, int width);

// A field: its top left corner and width in photograph pixels, and the
// criterion's value there.
struct Placement {
    double x = 0, y = 0, width = 0;
    double score = -2;
    double height(double aspect) const { return width * aspect; }
};

// The photograph's edges under a template of a field `width` wide at every
// corner position in `corners` (photograph pixels): the positions lie `step`
// photograph pixels apart from the corner of `corners`, and the edges are
// sampled as far apart, far enough for the whole template at each.
struct EdgeView {
    cv::Mat edges; // CV_32FC1
    cv::Point2d origin, step;
    cv::Size places;
};
EdgeView edge_view(const PhotoIndex &index, const Template &templ, double width,
                   const cv::Rect2d &corners);
// The part of `view` for its positions `places`, a view too.
EdgeView view_part(const EdgeView &view, const Template &templ, const cv::Rect &places);

// The criterion, the correlation of the edges, for the template's `part`
// (template pixels; empty: all of it) at every position of an edge view.
struct ScoreMap {
    cv::Mat score; // CV_32FC1
    cv::Point2d origin, step;
};
ScoreMap score_map(const EdgeView &view, const Template &templ, const cv::Rect &part = {});
// The same for the whole template from the index.
ScoreMap score_map(const PhotoIndex &index, const Template &templ, double width,
                   const cv::Rect2d &corners);

// Where the top of the parabola through three evenly spaced values lies
// from the middle one, in steps; 0 when the middle one is no peak.
double parabola_top(double left, double middle, double right);

// The best position of a score map, between its positions.
Placement best_of(const ScoreMap &map, double width);

// The edge criterion of the whole template in the field `at`.
double score_at(const PhotoIndex &index, const Template &templ, const Placement &at);

} // namespace ardentis
