#include "analysis/registration.h"

#include "analysis/fieldmaps.h"
#include "common/cnumber.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace ardentis
{

namespace
{

// Template widths of the three stages: coarse over every width, fine around
// the best few places, then refined. Coarser than 56 pixels, pots and small
// plants blur into the soil and the true place may not be among the few.
constexpr int coarse_width = 56, fine_width = 96, refine_width = 192;
// Widths searched, as shares of the photograph's width, and their steps.
constexpr double least_share = 0.25, coarse_step = 1.05, fine_step = 0.015;
// Rounds of refinement by the quadrants' shifts.
constexpr int refine_rounds = 3;
// Places kept from the coarse stage: at most this many, and none it ranks
// more than this below its best. The finer templates raise a true place's
// criterion by up to about 0.2 against the coarse one's, a false place's by
// less, so one ranked lower still cannot win.
constexpr size_t coarse_kept = 3;
constexpr double coarse_margin = 0.2;
// The coarse stage looks only where a smaller template, screening every
// third width, puts the best few places: at the widths a step either side,
// and outwards up to this many steps while the best lies at their end;
// within this many positions; and where the best lies at the
// border of those, at most this many times again around it. The quadrants
// are looked for so too, from where the field puts them.
constexpr int screen_width = 42;
constexpr size_t screened_kept = 3;
constexpr int look_widths = 2, look_reach = 3, max_looks = 2;
// The quadrants' looks are smaller, and move as often as they must to reach
// across the quadrants' reach.
constexpr int quadrant_look = 2, quadrant_looks = 5;
// The photograph's horizontal view in degrees: a thermal lens of view v
// covers tan(v / 2) / tan(photo_view / 2) of its width.
constexpr double photo_view_degrees = 51;
// The criterion a width loses for each squared natural log of its ratio to
// the lens's expected width.
constexpr double width_prior_weight = 0.25;
// How much better than the prior a found field must score to replace it.
constexpr double clear_margin = 0.02;
// How much better a found field must score than any other of its width whose
// corner lies more than `rival_apart` and at most `rival_reach` of its width
// from its own: rows repeat, and a photograph of other rows matches as well
// at many places, a true pair at one.
constexpr double least_distinctness = 0.05, rival_apart = 0.05, rival_reach = 0.25;
// The field's quadrants reach this share of its width and height from their
// corners, overlapping in the middle, so that a plant there shows in each;
// they are searched this share of the field's width around it; one whose
// edges are weaker than this share of the whole's is left out.
constexpr double quadrant_size = 0.6, quadrant_reach = 0.05, blank_quadrant = 0.5;
// A search near a prior tries widths within this share of its width and
// corners within this share of its width of its corner.
constexpr double near_reach = 0.1;

// The corners within `reach` photograph pixels of (x, y) either way.
cv::Rect2d around_corner(double x, double y, double reach)
{
    return {x - reach, y - reach, 2 * reach, 2 * reach};
}

// Whether corners as Search::corners gives them hold none.
bool no_corners(const cv::Rect2d &corners)
{
    return corners.width < 0 || corners.height < 0;
}

// What every stage of one search needs.
struct Search {
    const PhotoIndex &index;
    double aspect;   // rows per column of the raw grid
    double expected; // the lens's width in photograph pixels; NaN when unknown
    double least, widest;
    cv::Rect2d area; // where corners may lie
    double photo_width() const { return index.photo().width; }
    double photo_height() const { return index.photo().height; }
    // The corners a field `width` wide may have within `area` and the
    // photograph; of negative size where there are none.
    cv::Rect2d corners(double width, const cv::Rect2d &area) const
    {
        const double x = std::max(area.x, 0.0), y = std::max(area.y, 0.0);
        return {x, y, std::min(area.x + area.width, photo_width() - width) - x,
                std::min(area.y + area.height, photo_height() - width * aspect) - y};
    }
    // Whether the photograph holds the field.
    bool holds(const Placement &p) const
    {
        const cv::Rect2d c = corners(p.width, {p.x, p.y, 0, 0});
        return p.width >= least && p.width <= widest && !no_corners(c);
    }
    // The criterion less the penalty of a width far from the lens's.
    double ranked(const Placement &p) const
    {
        if (std::isnan(expected))
            return p.score;
        const double l = std::log(p.width / expected);
        return p.score - width_prior_weight * l * l;
    }
};

// Takes the positions of `map` within `radius` photograph pixels of the
// corner of `p` out of the running.
void rule_out_around(ScoreMap &map, const Placement &p, double radius)
{
    const cv::Point at(int(std::lround((p.x - map.origin.x) / map.step.x)),
                       int(std::lround((p.y - map.origin.y) / map.step.y)));
    cv::circle(map.score, at, int(std::ceil(radius / map.step.x)), cv::Scalar(-2), cv::FILLED);
}

// The best places of one score map: its best, then the best at least
// `apart` of the field's width away from it.
constexpr double apart = 0.15;
void add_peaks(const ScoreMap &map, double width, std::vector<Placement> &peaks)
{
    ScoreMap rest = map;
    rest.score = map.score.clone();
    for (int i = 0; i < 2; ++i) {
        const Placement p = best_of(rest, width);
        peaks.push_back(p);
        rule_out_around(rest, p, apart * width);
    }
}

// Two places are one when their centres and widths differ by less than a tenth.
bool near(const Placement &a, const Placement &b, double aspect)
{
    const double w = std::max(a.width, b.width);
    return std::abs(a.x + a.width / 2 - b.x - b.width / 2) < 0.1 * w &&
           std::abs(a.y + a.height(aspect) / 2 - b.y - b.height(aspect) / 2) < 0.1 * w &&
           std::abs(std::log(a.width / b.width)) < 0.1;
}

// The coarse stage's widths: from the least, each `coarse_step` times the
// one before, up to the widest.
std::vector<double> coarse_widths(const Search &s)
{
    std::vector<double> widths;
    for (double w = s.least; w <= s.widest * 1.0001; w = std::min(w * coarse_step, s.widest)) {
        widths.push_back(w);
        if (w >= s.widest)
            break;
    }
    return widths;
}

// The best `count` of `peaks` by rank, apart from each other.
std::vector<Placement> best_apart(const Search &s, std::vector<Placement> peaks, size_t count)
{
    std::stable_sort(peaks.begin(), peaks.end(), [&s](const Placement &a, const Placement &b) {
        return s.ranked(a) > s.ranked(b);
    });
    std::vector<Placement> kept;
    for (const Placement &p : peaks)
        if (kept.size() < count && std::none_of(kept.begin(), kept.end(), [&](const Placement &k) {
                return near(p, k, s.aspect);
            }))
            kept.push_back(p);
    return kept;
}

// The coarse widths screened, by their place among `count`: every third
// from the second, and the last, so that every width lies at most a step
// from one screened.
std::vector<size_t> screened_widths(size_t count)
{
    std::vector<size_t> out;
    for (size_t k = std::min<size_t>(1, count); k < count; k += 3)
        out.push_back(k);
    if (count > 0 && (out.empty() || out.back() + 1 < count - 1))
        out.push_back(count - 1);
    return out;
}

// The places worth the coarse template's look: the best apart of a
// smaller template's maps at the widths screened.
std::vector<Placement> screened_places(const Search &s, const cv::Mat &filled,
                                       const std::vector<double> &widths)
{
    const Template t = thermal_template(filled, screen_width);
    std::vector<Placement> peaks;
    for (const size_t k : screened_widths(widths.size())) {
        const cv::Rect2d corners = s.corners(widths[k], s.area);
        if (!no_corners(corners))
            add_peaks(score_map(s.index, t, widths[k], corners), widths[k], peaks);
    }
    return best_apart(s, peaks, screened_kept);
}

// The best place of a score map whose positions run from 0 to `last`, from
// maps of its positions within `reach` of `at` that `map_of(from, to)`
// gives: a best place on the border of those looked at moves the look there,
// at most `looks` times. Where the map has a single peak, its best.
template <typename MapOf>
Placement climbed(cv::Point at, cv::Point last, double width, int reach, int looks,
                  const MapOf &map_of)
{
    for (int look = 0;; ++look) {
        const cv::Point from(std::clamp(at.x - reach, 0, last.x),
                             std::clamp(at.y - reach, 0, last.y));
        const cv::Point to(std::clamp(at.x + reach, 0, last.x),
                           std::clamp(at.y + reach, 0, last.y));
        const ScoreMap m = map_of(from, to);
        cv::Point best;
        cv::minMaxLoc(m.score, nullptr, nullptr, nullptr, &best);
        const cv::Point found = from + best;
        const bool on_border =
            (found.x == from.x && from.x > 0) || (found.x == to.x && to.x < last.x) ||
            (found.y == from.y && from.y > 0) || (found.y == to.y && to.y < last.y);
        if (!on_border || look == looks)
            return best_of(m, width);
        at = found;
    }
}

// The best place of template `t` at width `w` near `corner`, on the
// positions of its map over the whole search area.
Placement best_near(const Search &s, const Template &t, double w, cv::Point2d corner)
{
    const cv::Rect2d all = s.corners(w, s.area);
    if (no_corners(all))
        return {};
    const cv::Point2d step(w / t.edges.cols, w * t.aspect / t.edges.rows);
    const cv::Point last(int(std::floor(all.width / step.x)), int(std::floor(all.height / step.y)));
    const cv::Point at(int(std::lround((corner.x - all.x) / step.x)),
                       int(std::lround((corner.y - all.y) / step.y)));
    return climbed(at, last, w, look_reach, max_looks, [&](cv::Point from, cv::Point to) {
        // Half a position more, so that rounding loses none.
        return score_map(s.index, t, w,
                         {all.x + from.x * step.x, all.y + from.y * step.y,
                          (to.x - from.x + 0.5) * step.x, (to.y - from.y + 0.5) * step.y});
    });
}

// The places `place(k)` for k from one below `mid` to one above, within
// `least` and `most`, and further outwards while the best of them by `rank`
// lies at the end of those tried: where the criterion has a single peak over
// k, that best is among them. Indexed from `least`; of width 0 where not tried.
template <typename Place, typename Rank>
std::vector<Placement> outwards(int mid, int least, int most, const Place &place, const Rank &rank)
{
    std::vector<Placement> tried(size_t(most - least + 1));
    const auto at = [&](int k) -> Placement & { return tried[size_t(k - least)]; };
    int lo = std::max(mid - 1, least), hi = std::min(mid + 1, most), i = lo;
    for (int k = lo; k <= hi; ++k)
        at(k) = place(k);
    for (;;) {
        for (int k = lo; k <= hi; ++k)
            i = rank(at(k)) > rank(at(i)) ? k : i;
        const int k = i == lo && lo > least ? --lo : i == hi && hi < most ? ++hi : i;
        if (k == i)
            return tried;
        at(k) = place(k);
    }
}

// The best few places over every width, apart from each other and near the
// best in rank: each place screening finds looked at with the coarse template
// at the widths around its own.
std::vector<Placement> coarse_places(const Search &s, const cv::Mat &filled)
{
    const std::vector<double> widths = coarse_widths(s);
    const Template t = thermal_template(filled, coarse_width);
    std::vector<Placement> peaks;
    for (const Placement &c : screened_places(s, filled, widths)) {
        const int k = int(std::lower_bound(widths.begin(), widths.end(), c.width) - widths.begin());
        const auto place = [&](int j) {
            const double w = widths[size_t(j)], grown = c.width - w;
            return best_near(s, t, w, {c.x + grown / 2, c.y + grown * s.aspect / 2});
        };
        for (const Placement &p : outwards(k, std::max(0, k - look_widths),
                                           std::min(int(widths.size()) - 1, k + look_widths), place,
                                           [&s](const Placement &p) { return s.ranked(p); }))
            if (p.width > 0)
                peaks.push_back(p);
    }
    std::vector<Placement> kept = best_apart(s, peaks, coarse_kept);
    const double least = kept.empty() ? 0 : s.ranked(kept.front()) - coarse_margin;
    kept.erase(std::remove_if(kept.begin(), kept.end(),
                              [&](const Placement &p) { return s.ranked(p) < least; }),
               kept.end());
    return kept;
}

// The best place of template `t` at width `w`, corners within `reach`
// photograph pixels of `from`'s.
Placement at_width(const Search &s, const Template &t, const Placement &from, double w,
                   double reach)
{
    const cv::Rect2d corners = s.corners(w, around_corner(from.x, from.y, reach));
    return no_corners(corners) ? Placement{} : best_of(score_map(s.index, t, w, corners), w);
}

// The best place of template `t` with widths `spread` apart, up to `steps`
// either side of `from`'s, corners within `reach` photograph pixels of its:
// the middle three widths tried, and more outwards while the best lies at
// the end of those tried.
Placement around(const Search &s, const Template &t, const Placement &from, double spread,
                 int steps, double reach)
{
    const auto width = [&](int k) { return from.width * (1 + k * spread); };
    const std::vector<Placement> tried = outwards(
        0, -steps, steps, [&](int k) { return at_width(s, t, from, width(k), reach); },
        [](const Placement &p) { return p.score; });
    const auto best = std::max_element(tried.begin(), tried.end(),
                                       [](auto &a, auto &b) { return a.score < b.score; });
    const size_t i = size_t(best - tried.begin());
    if (i == 0 || i + 1 == tried.size() || tried[i - 1].width == 0 || tried[i + 1].width == 0)
        return *best;
    // Between the width steps: the top of a parabola through the best and its neighbours.
    const double top = parabola_top(tried[i - 1].score, best->score, tried[i + 1].score);
    if (top == 0)
        return *best;
    const Placement between = at_width(s, t, from, best->width * (1 + top * spread), reach);
    return between.score > best->score ? between : *best;
}

} // namespace

double width_share(double field_of_view)
{
    if (!(field_of_view > 0 && field_of_view < 180))
        return std::nan("");
    const double to_rad = CV_PI / 360; // half the angle, in radians
    return std::min(1.0, std::tan(field_of_view * to_rad) / std::tan(photo_view_degrees * to_rad));
}

QString field_room_problem(cv::Size photo, cv::Size raw)
{
    const int least_height =
        int(std::ceil(double(least_field_width) * raw.height / std::max(1, raw.width)));
    if (photo.width >= least_field_width && photo.height >= least_height)
        return {};
    return QStringLiteral("The photograph is %1 x %2 pixels; a thermal field needs at least %3 x "
                          "%4.")
        .arg(photo.width)
        .arg(photo.height)
        .arg(least_field_width)
        .arg(least_height);
}

Field fallback_field(cv::Size photo, cv::Size raw, const Field &prior, double field_of_view)
{
    if (field_fits(prior, photo))
        return prior;
    const double aspect = double(raw.height) / std::max(1, raw.width);
    const double share = width_share(field_of_view);
    double w = std::isnan(share) ? prior.width : share * photo.width;
    w = std::min({w, double(photo.width), photo.height / aspect});
    Field f;
    f.width = std::max(1, int(std::lround(w)));
    f.height = std::clamp(int(std::lround(w * aspect)), 1, photo.height);
    f.x = (photo.width - f.width) / 2;
    f.y = (photo.height - f.height) / 2;
    return f;
}

namespace
{

// A quadrant's best shift from where the field puts it, and its centre
// from the field's centre, in photograph pixels.
struct Quadrant {
    cv::Point2d centre, shift;
};

// The field's four quadrants, each searched on its own around it, but those
// without edges.
std::vector<Quadrant> quadrants(const Search &s, const Template &t, const Placement &f)
{
    const int w = t.edges.cols, h = t.edges.rows;
    const int qw = std::max(1, int(std::lround(quadrant_size * w))),
              qh = std::max(1, int(std::lround(quadrant_size * h)));
    const double whole = cv::mean(t.edges)[0], reach = quadrant_reach * f.width;
    const cv::Point2d step(f.width / w, f.height(s.aspect) / h);
    // One view of the photograph's edges serves the four, each looked for
    // from where the field puts it.
    const EdgeView view = edge_view(s.index, t, f.width, around_corner(f.x, f.y, reach));
    const cv::Point last(view.places.width - 1, view.places.height - 1),
        at(int(std::lround(reach / step.x)), int(std::lround(reach / step.y)));
    std::vector<Quadrant> out;
    for (const cv::Rect q : {cv::Rect(0, 0, qw, qh), cv::Rect(w - qw, 0, qw, qh),
                             cv::Rect(0, h - qh, qw, qh), cv::Rect(w - qw, h - qh, qw, qh)}) {
        if (q.empty() || cv::mean(t.edges(q))[0] < blank_quadrant * whole)
            continue;
        const Placement b = climbed(
            at, last, f.width, quadrant_look, quadrant_looks, [&](cv::Point from, cv::Point to) {
                return score_map(view_part(view, t, {from, to + cv::Point(1, 1)}), t, q);
            });
        out.push_back(
            {{(q.x + 0.5 * q.width - 0.5 * w) * step.x, (q.y + 0.5 * q.height - 0.5 * h) * step.y},
             {b.x - f.x, b.y - f.y}});
    }
    return out;
}

// How far apart the quadrants' shifts lie at most; NaN with fewer than two.
double spread(const std::vector<Quadrant> &qs)
{
    if (qs.size() < 2)
        return std::nan("");
    double apart = 0;
    for (size_t i = 0; i < qs.size(); ++i)
        for (size_t j = i + 1; j < qs.size(); ++j)
            apart = std::max(apart, cv::norm(qs[i].shift - qs[j].shift));
    return apart;
}

// The field moved and scaled as the quadrants' shifts say, by least squares.
Placement corrected(const Placement &f, const std::vector<Quadrant> &qs, double aspect)
{
    if (qs.size() < 2)
        return f;
    cv::Mat a(int(2 * qs.size()), 3, CV_64F, cv::Scalar(0)), b(a.rows, 1, CV_64F);
    for (size_t i = 0; i < qs.size(); ++i) {
        const int r = int(2 * i);
        a.at<double>(r, 0) = 1;
        a.at<double>(r, 2) = qs[i].centre.x;
        b.at<double>(r) = qs[i].shift.x;
        a.at<double>(r + 1, 1) = 1;
        a.at<double>(r + 1, 2) = qs[i].centre.y;
        b.at<double>(r + 1) = qs[i].shift.y;
    }
    cv::Mat m;
    if (!cv::solve(a, b, m, cv::DECOMP_SVD))
        return f;
    const double grow = m.at<double>(2);
    return {f.x + m.at<double>(0) - grow * f.width / 2,
            f.y + m.at<double>(1) - grow * f.height(aspect) / 2, f.width * (1 + grow)};
}

Field to_field(const Placement &p, double aspect, const cv::Size &photo)
{
    return whole_field_inside({p.x, p.y, p.width, p.width * aspect}, photo);
}

Placement placement_of(const Field &f)
{
    return {double(f.x), double(f.y), double(f.width)};
}

// The best field: the coarse stage's places, each searched finer; the best
// of those refined.
Placement best_field(const Search &s, const cv::Mat &filled, const Template &fine)
{
    Placement best;
    double best_rank = -1e9;
    for (const Placement &c : coarse_places(s, filled)) {
        const Placement p = around(s, fine, c, fine_step, 2, 2 * c.width / coarse_width);
        if (s.ranked(p) > best_rank) {
            best = p;
            best_rank = s.ranked(p);
        }
    }
    return best;
}

// Refines a field by its quadrants' shifts while that raises the criterion;
// leaves the quadrants of the field returned in `qs`.
Placement refined(const Search &s, const Template &t, Placement best, std::vector<Quadrant> &qs)
{
    best.score = score_at(s.index, t, best);
    qs = quadrants(s, t, best);
    for (int round = 0; round < refine_rounds; ++round) {
        Placement next = corrected(best, qs, s.aspect);
        if (!s.holds(next))
            break;
        next.score = score_at(s.index, t, next);
        if (!(next.score > best.score))
            break;
        best = next;
        qs = quadrants(s, t, best);
    }
    return best;
}

// How far the criterion of `f` stands above the best of its rivals, on the
// fine template; NaN when the photograph leaves no room for a rival.
double distinctness(const Search &s, const Template &t, const Placement &f)
{
    const double reach = rival_reach * f.width;
    const cv::Rect2d corners = s.corners(f.width, around_corner(f.x, f.y, reach));
    if (no_corners(corners))
        return std::nan("");
    ScoreMap m = score_map(s.index, t, f.width, corners);
    double own = 0, rival = 0;
    cv::minMaxLoc(m.score, nullptr, &own);
    rule_out_around(m, f, rival_apart * f.width);
    cv::minMaxLoc(m.score, nullptr, &rival);
    return rival > -2 ? own - rival : std::nan("");
}

QString fixed(double v, int decimals)
{
    return QString::fromStdString(format_fixed(v, decimals));
}

// Why the field found is not to be used, or an empty text when it is.
QString distrust(const Registration &r, const Field &found, double at_prior, double distinct)
{
    const double most = max_fit_share * found.width;
    if (r.correlation < min_registration_score)
        return QStringLiteral("the best field found scores %1, below %2")
            .arg(fixed(r.correlation, 2), fixed(min_registration_score, 2));
    if (std::isnan(r.fit))
        return QStringLiteral("the fit of the best field found cannot be measured: fewer than two "
                              "of its quadrants show edges");
    if (r.fit > most)
        return QStringLiteral("the quadrants of the best field found disagree by %1 px, more than "
                              "%2 px (%3 % of its width)")
            .arg(fixed(r.fit, 1), fixed(most, 1), fixed(100 * max_fit_share, 0));
    if (distinct < least_distinctness)
        return QStringLiteral("the best field found scores only %1 more than another field of its "
                              "width nearby, less than %2")
            .arg(fixed(distinct, 2), fixed(least_distinctness, 2));
    if (r.correlation < at_prior + clear_margin)
        return QStringLiteral("the best field found scores %1, not clearly more than the prior "
                              "field's %2")
            .arg(fixed(r.correlation, 2), fixed(at_prior, 2));
    return {};
}

// The search over the whole photograph, or with `near` only near the prior.
Search search_of(const PhotoIndex &index, double aspect, const Field &prior, double field_of_view,
                 bool near)
{
    const cv::Size photo = index.photo();
    const double widest = std::min(double(photo.width), photo.height / aspect);
    if (!near)
        return {index,
                aspect,
                width_share(field_of_view) * photo.width,
                std::min(widest, std::max(least_share * photo.width, double(least_field_width))),
                widest,
                {0, 0, double(photo.width), double(photo.height)}};
    const double reach = near_reach * prior.width;
    return {index,
            aspect,
            double(prior.width),
            std::min(widest, std::max(prior.width / (1 + near_reach), double(least_field_width))),
            std::min(widest, prior.width * (1 + near_reach)),
            around_corner(prior.x, prior.y, reach)};
}

// Why the field found is not used, and the field used instead.
QString not_used(const QString &why, const Field &f)
{
    return why + QStringLiteral("; the field %1,%2,%3,%4 is used instead")
                     .arg(f.x)
                     .arg(f.y)
                     .arg(f.width)
                     .arg(f.height);
}

Registration search_field(const PhotoScales &photo, const cv::Mat &temps, const Field &prior,
                          double field_of_view, bool near)
{
    const cv::Mat &rgb = photo.photo();
    Registration r; // searched once a search can be made
    r.field = fallback_field(rgb.size(), temps.size(), prior, field_of_view);
    // Where the search starts: the prior, or where it falls back to when the
    // photograph does not hold the prior.
    const Field start = r.field;
    r.shift = 0;
    if (rgb.empty() || temps.empty() || !field_room_problem(rgb.size(), temps.size()).isEmpty())
        return r;
    const PhotoIndex index(photo);
    const double aspect = double(temps.rows) / temps.cols;
    const Search s = search_of(index, aspect, prior, field_of_view, near);
    // The thermal picture's templates, from its temperatures filled once.
    const cv::Mat filled = filled_temperatures(temps);
    const Template fine = thermal_template(filled, fine_width);
    double least = 0, most = 0;
    cv::minMaxLoc(fine.edges, &least, &most);
    if (!(most > least)) { // every place would score alike
        r.note =
            not_used(QStringLiteral("the thermal picture shows no edges to search by"), r.field);
        return r;
    }
    const Placement coarse = best_field(s, filled, fine);
    if (coarse.width <= 0) {
        const QString why =
            s.least > s.widest
                ? QStringLiteral("no field can be searched near one %1 px wide: a field searched "
                                 "is at least %2 px wide")
                      .arg(prior.width)
                      .arg(least_field_width)
                : QStringLiteral("no field of the widths searched fits in the photograph");
        r.note = not_used(why, r.field);
        return r;
    }
    r.searched = true;
    const Template last = thermal_template(filled, refine_width);
    std::vector<Quadrant> qs;
    const Placement best = refined(s, last, coarse, qs);
    const Field found = to_field(best, aspect, rgb.size());
    r.correlation = score_at(index, last, placement_of(found));
    r.fit = spread(qs);
    const bool prior_fits = r.field == prior;
    const double distinct = distinctness(s, fine, best);
    const double at_prior = prior_fits ? score_at(index, last, placement_of(prior)) : -2;
    // A field found where the prior lies, as far as its quadrants may
    // disagree, confirms the prior unless it scores clearly more.
    const bool confirms = prior_fits && field_shift(prior, found) <= max_fit_share * found.width;
    r.note = distrust(r, found, confirms ? -2 : at_prior, distinct);
    if (r.note.isEmpty()) {
        r.field = confirms && r.correlation < at_prior + clear_margin ? prior : found;
        r.registered = true;
    } else {
        r.note = not_used(r.note, r.field);
    }
    r.shift = field_shift(start, r.field);
    return r;
}

} // namespace

Registration register_field(const PhotoScales &photo, const cv::Mat &temps, const Field &prior,
                            double field_of_view)
{
    return search_field(photo, temps, prior, field_of_view, false);
}

Registration register_field(const cv::Mat &rgb, const cv::Mat &temps, const Field &prior,
                            double field_of_view)
{
    return register_field(PhotoScales(rgb), temps, prior, field_of_view);
}

Registration register_near(const PhotoScales &photo, const cv::Mat &temps, const Field &prior)
{
    Registration r = search_field(photo, temps, prior, std::nan(""), true);
    r.near = true;
    return r;
}

Registration register_near(const cv::Mat &rgb, const cv::Mat &temps, const Field &prior)
{
    return register_near(PhotoScales(rgb), temps, prior);
}

} // namespace ardentis
