#include "analysis/fieldmaps.h"

#include "analysis/vegetation.h"
#include "common/vectors.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#ifdef ARDENTIS_X86_64
#include <immintrin.h>
#endif

namespace ardentis
{

namespace
{

// The index's coarsest level is at least this wide.
constexpr int coarsest_index_width = 48;
// Template pixels of photograph around what is compared, so that smoothing
// sees beyond its edges.
constexpr int margin = 3;
// Both maps are smoothed with this sigma, in template pixels: they then change
// smoothly with a shift of less than a pixel, and the thermal optics' blur
// matters less.
constexpr double smoothing = 1.0;

// The Gaussian's five weights from the centre out, as the image library
// makes them for `smoothing`.
const std::array<float, 3> &gaussian_weights()
{
    static const std::array<float, 3> weights = [] {
        const cv::Mat k = cv::getGaussianKernel(5, smoothing, CV_32F);
        return std::array<float, 3>{k.at<float>(2), k.at<float>(1), k.at<float>(0)};
    }();
    return weights;
}

// Row `in` of `n` values (two more repeated before and after it) smoothed.
ARDENTIS_WIDE_VECTORS void smooth_along(const float *__restrict in, int n, float *__restrict out)
{
    const std::array<float, 3> k = gaussian_weights();
    for (int x = 0; x < n; ++x)
        out[x] = k[0] * in[x + 2] + k[1] * (in[x + 1] + in[x + 3]) + k[2] * (in[x] + in[x + 4]);
}

// Rows `r` (five of `n` values each, the middle one the row smoothed)
// smoothed across.
ARDENTIS_WIDE_VECTORS void smooth_across(const std::array<const float *, 5> &r, int n,
                                         float *__restrict out)
{
    const std::array<float, 3> k = gaussian_weights();
    for (int x = 0; x < n; ++x)
        out[x] = k[0] * r[2][x] + k[1] * (r[1][x] + r[3][x]) + k[2] * (r[0][x] + r[4][x]);
}

// The gradient magnitude of row `r[1]` between rows `r[0]` and `r[2]` (each
// with one value repeated before and after its `n`), by the 3 × 3 Sobel
// operator.
ARDENTIS_WIDE_VECTORS void gradient_row(const std::array<const float *, 3> &r, int n,
                                        float *__restrict out)
{
    for (int x = 1; x <= n; ++x) {
        const float dx = (r[0][x + 1] - r[0][x - 1]) + 2 * (r[1][x + 1] - r[1][x - 1]) +
                         (r[2][x + 1] - r[2][x - 1]);
        const float dy =
            (r[2][x - 1] - r[0][x - 1]) + 2 * (r[2][x] - r[0][x]) + (r[2][x + 1] - r[0][x + 1]);
        out[x - 1] = std::sqrt(dx * dx + dy * dy);
    }
}

// The map compared: the gradient magnitude of the values (CV_32FC1) smoothed
// by a 5 × 5 Gaussian, the edge pixels repeated beyond the edges: the image
// library's GaussianBlur, Sobel and magnitude in one pass over each row,
// equal to theirs to a few parts in a million.
cv::Mat edge_map(const cv::Mat &values)
{
    const int w = values.cols, h = values.rows;
    if (values.empty())
        return cv::Mat(values.size(), CV_32F);
    // Each row smoothed along, two values repeated each side before.
    cv::Mat along(h, w, CV_32F);
    std::vector<float> padded(size_t(w) + 4);
    for (int y = 0; y < h; ++y) {
        const float *v = values.ptr<float>(y);
        std::copy(v, v + w, padded.begin() + 2);
        padded[0] = padded[1] = v[0];
        padded[size_t(w) + 2] = padded[size_t(w) + 3] = v[w - 1];
        smooth_along(padded.data(), w, along.ptr<float>(y));
    }
    // Smoothed across, with a border of one repeated for the gradient.
    cv::Mat smooth(h + 2, w + 2, CV_32F);
    const auto row = [&](int y) { return along.ptr<float>(std::clamp(y, 0, h - 1)); };
    for (int y = 0; y < h; ++y) {
        float *s = smooth.ptr<float>(y + 1);
        smooth_across({row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2)}, w, s + 1);
        s[0] = s[1];
        s[w + 1] = s[w];
    }
    smooth.row(1).copyTo(smooth.row(0));
    smooth.row(h).copyTo(smooth.row(h + 1));
    cv::Mat edges(h, w, CV_32F);
    for (int y = 0; y < h; ++y)
        gradient_row({smooth.ptr<float>(y), smooth.ptr<float>(y + 1), smooth.ptr<float>(y + 2)}, w,
                     edges.ptr<float>(y));
    return edges;
}

// A temperature edge counts by its presence more than by its size: leaves
// half a degree from the floor outline a plant as clearly as pots, wet soil
// or weeds several degrees from it, as the vegetation index shows them. The
// edges saturate around this many times their mean.
constexpr double edge_knee = 2;

void saturate(cv::Mat &edges)
{
    const double knee = edge_knee * cv::mean(edges)[0];
    if (knee > 0)
        edges = edges / (edges + knee);
}

// Where each of `count` points `step` pixels apart from `first` falls
// between two pixels of a line of `length`, the line's end pixels repeated
// beyond it: the first pixel, the next one (the first again at the line's
// end) and the next one's weight.
struct Taps {
    std::vector<int> at, next;
    std::vector<float> weight;
};
Taps taps(double first, double step, int count, int length)
{
    Taps t;
    t.at.resize(size_t(count));
    t.next.resize(size_t(count));
    t.weight.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        const double p = first + i * step;
        const int at = int(std::floor(p));
        const bool inside = at >= 0 && at < length - 1;
        t.at[size_t(i)] = inside ? at : std::clamp(at, 0, length - 1);
        t.next[size_t(i)] = std::min(t.at[size_t(i)] + 1, length - 1);
        t.weight[size_t(i)] = inside ? float(p - at) : 0.0f;
    }
    return t;
}

#ifdef ARDENTIS_X86_64
// Of the 16 values `lo` and `hi` (`lo` first), those at `at` (0 to 15).
ARDENTIS_AVX2 inline __m256 picked(__m256 lo, __m256 hi, __m256i at)
{
    const __m256 high = _mm256_castsi256_ps(_mm256_cmpgt_epi32(at, _mm256_set1_epi32(7)));
    return _mm256_blendv_ps(_mm256_permutevar8x32_ps(lo, at), _mm256_permutevar8x32_ps(hi, at),
                            high);
}

// The values of the row `in`, `length` long, interpolated at the taps eight
// at a time, as far as whole eights go. Taps less than two pixels apart take
// their eight from 16 values in a row, picked in registers; others are
// gathered with AVX2, which costs about three times as much. Returns the
// values made.
ARDENTIS_AVX2 size_t interpolated_eights(const float *in, int length, const Taps &x, float *out)
{
    size_t j = 0;
    for (; j + 8 <= x.at.size(); j += 8) {
        const int first = x.at[j];
        const __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(&x.at[j])),
                      next = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(&x.next[j]));
        __m256 a, b;
        if (first + 16 <= length && x.next[j + 7] - first < 16) {
            const __m256 lo = _mm256_loadu_ps(in + first), hi = _mm256_loadu_ps(in + first + 8);
            const __m256i from = _mm256_set1_epi32(first);
            a = picked(lo, hi, _mm256_sub_epi32(at, from));
            b = picked(lo, hi, _mm256_sub_epi32(next, from));
        } else {
            a = _mm256_i32gather_ps(in, at, 4);
            b = _mm256_i32gather_ps(in, next, 4);
        }
        _mm256_storeu_ps(out + j, _mm256_add_ps(a, _mm256_mul_ps(_mm256_loadu_ps(&x.weight[j]),
                                                                 _mm256_sub_ps(b, a))));
    }
    return j;
}
#endif

// A row of `level` interpolated at the taps.
void interpolate_row(const cv::Mat &level, int row, const Taps &x, float *out)
{
    const float *in = level.ptr<float>(row), *weight = x.weight.data();
    const int *at = x.at.data(), *next = x.next.data();
    const size_t n = x.at.size();
    size_t j = 0;
#ifdef ARDENTIS_X86_64
    if (wide_vectors())
        j = interpolated_eights(in, level.cols, x, out);
#endif
    for (; j < n; ++j) {
        const float a = in[at[j]], b = in[next[j]];
        out[j] = a + weight[j] * (b - a);
    }
}

// The rows `a` and `b` of `n` values interpolated at `w` from `a` to `b`,
// eight at a time where it can be, so that the compiler keeps them in vector
// registers.
ARDENTIS_WIDE_VECTORS void between(const float *__restrict a, const float *__restrict b, float w,
                                   int n, float *__restrict out)
{
    int j = 0;
    for (; j + 8 <= n; j += 8)
        for (int k = 0; k < 8; ++k)
            out[j + k] = a[j + k] + w * (b[j + k] - a[j + k]);
    for (; j < n; ++j)
        out[j] = a[j] + w * (b[j] - a[j]);
}

// The index at `size` points `step` photograph pixels apart, the first at
// the centre of the step from `origin`, from the coarsest level that is
// still at least as fine as the step, interpolated linearly: along the
// level's rows first, each row once, then between the rows.
cv::Mat sampled(const PhotoIndex &index, cv::Point2d origin, cv::Point2d step, cv::Size size)
{
    int l = 0;
    while (l + 1 < index.levels() && 1.0 / index.scale(l + 1) <= std::min(step.x, step.y))
        ++l;
    const cv::Mat &level = index.level(l);
    const double s = index.scale(l);
    const Taps x = taps((origin.x + 0.5 * step.x) * s - 0.5, step.x * s, size.width, level.cols);
    const Taps y = taps((origin.y + 0.5 * step.y) * s - 0.5, step.y * s, size.height, level.rows);
    cv::Mat out(size, CV_32FC1), rows(2, size.width, CV_32FC1);
    // The level rows interpolated, and where: the upper row's buffer and
    // the lower row's trade places as the rows move down.
    float *a = rows.ptr<float>(0), *b = rows.ptr<float>(1);
    int held[2] = {-1, -1};
    for (int i = 0; i < size.height; ++i) {
        const int r0 = y.at[size_t(i)], r1 = y.next[size_t(i)];
        if (held[0] != r0) {
            if (held[1] == r0)
                std::swap(a, b);
            else
                interpolate_row(level, r0, x, a);
            held[0] = r0;
            held[1] = -1;
        }
        if (held[1] != r1) {
            interpolate_row(level, r1, x, b);
            held[1] = r1;
        }
        between(a, b, y.weight[size_t(i)], size.width, out.ptr<float>(i));
    }
    return out;
}

// How a line of `from` values shrinks to `to` (at most `from`) by area: each
// output value the mean of the span of the line it covers, an input value at
// the span's ends weighed by the share of it inside.
struct Spans {
    std::vector<int> first, end; // of each output value's span
    std::vector<size_t> weights; // where each span's weights start in `weight`
    std::vector<float> weight;   // of the input values of each span in turn
};
Spans spans(int from, int to)
{
    Spans out;
    const double scale = double(from) / to;
    for (int o = 0; o < to; ++o) {
        const double lo = o * scale, hi = std::min((o + 1) * scale, double(from));
        out.first.push_back(int(lo));
        out.end.push_back(std::max(int(std::ceil(hi)), int(lo) + 1));
        out.weights.push_back(out.weight.size());
        for (int i = int(lo); i < out.end.back(); ++i)
            out.weight.push_back(float((std::min(hi, i + 1.0) - std::max(lo, double(i))) / scale));
    }
    return out;
}

// `out` plus `w` times `in`, for `n` values, eight at a time where it can be,
// so that the compiler keeps them in vector registers.
ARDENTIS_WIDE_VECTORS void add_scaled(const float *__restrict in, float w, int n,
                                      float *__restrict out)
{
    int j = 0;
    for (; j + 8 <= n; j += 8)
        for (int k = 0; k < 8; ++k)
            out[j + k] += w * in[j + k];
    for (; j < n; ++j)
        out[j] += w * in[j];
}

// `values` (CV_32FC1) shrunk to `size` by area, along its columns and then
// its rows, each input value weighed once for each output value it falls in.
cv::Mat shrunk(const cv::Mat &values, cv::Size size)
{
    const Spans x = spans(values.cols, size.width), y = spans(values.rows, size.height);
    cv::Mat down(size.height, values.cols, CV_32FC1, cv::Scalar(0)), out(size, CV_32FC1);
    for (size_t r = 0; r < size_t(size.height); ++r)
        for (int i = y.first[r]; i < y.end[r]; ++i)
            add_scaled(values.ptr<float>(i), y.weight[y.weights[r] + size_t(i - y.first[r])],
                       values.cols, down.ptr<float>(int(r)));
    for (int r = 0; r < size.height; ++r)
        for (size_t c = 0; c < size_t(size.width); ++c) {
            const float *in = down.ptr<float>(r) + x.first[c], *w = &x.weight[x.weights[c]];
            float sum = 0;
            for (int i = 0; i < x.end[c] - x.first[c]; ++i)
                sum += w[i] * in[i];
            out.at<float>(r, int(c)) = sum;
        }
    return out;
}

// Where the maximum at `at` of `score` lies between positions, along x or
// y, from a parabola through it and its two neighbours.
double peak(const cv::Mat &score, cv::Point at, bool along_x)
{
    const int i = along_x ? at.x : at.y, n = along_x ? score.cols : score.rows;
    if (i <= 0 || i >= n - 1)
        return i;
    const cv::Point step = along_x ? cv::Point(1, 0) : cv::Point(0, 1);
    return i + parabola_top(score.at<float>(at - step), score.at<float>(at),
                            score.at<float>(at + step));
}

} // namespace

double parabola_top(double left, double middle, double right)
{
    const double curve = left - 2 * middle + right;
    return curve < 0 ? 0.5 * (left - right) / curve : 0;
}

PhotoIndex::PhotoIndex(const PhotoScales &photo) : photo_(photo)
{
    const cv::Size size = photo.photo().size();
    while ((size.width >> first_) > finest_index_width && (size.height >> (first_ + 1)) >= 1)
        ++first_;
    while ((size.width >> (first_ + levels_)) >= coarsest_index_width &&
           (size.height >> (first_ + levels_)) >= 1)
        ++levels_;
    made_.resize(size_t(levels_));
}

double PhotoIndex::scale(int l) const
{
    const int cols = photo_.photo().cols;
    return double(cols >> (first_ + l)) / cols;
}

const cv::Mat &PhotoIndex::level(int l) const
{
    cv::Mat &made = made_[size_t(l)];
    if (made.empty())
        made = exgr_index_map(photo_.halved(first_ + l));
    return made;
}

cv::Mat filled_temperatures(const cv::Mat &temps)
{
    cv::Mat t;
    temps.convertTo(t, CV_32F);
    // NaN is unequal to itself (the image library's vector code says so only
    // when asked for equality).
    const cv::Mat known = t == t;
    if (cv::countNonZero(known) == int(t.total()))
        return t;
    cv::Mat zeroed = t.clone(), weight, sum, count;
    zeroed.setTo(0, ~known);
    known.convertTo(weight, CV_32F, 1.0 / 255);
    cv::boxFilter(zeroed, sum, CV_32F, cv::Size(3, 3), cv::Point(-1, -1), false);
    cv::boxFilter(weight, count, CV_32F, cv::Size(3, 3), cv::Point(-1, -1), false);
    const float mean = float(cv::mean(t, known)[0]);
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.cols; ++c)
            if (!known.at<uchar>(r, c))
                t.at<float>(r, c) =
                    count.at<float>(r, c) > 0 ? sum.at<float>(r, c) / count.at<float>(r, c) : mean;
    return t;
}

Template thermal_template(const cv::Mat &filled, int width)
{
    const int w = std::min(width, filled.cols);
    const cv::Mat t =
        shrunk(filled, {w, std::max(1, int(std::lround(double(w) * filled.rows / filled.cols)))});
    Template out;
    out.edges = edge_map(t);
    saturate(out.edges);
    out.aspect = double(filled.rows) / filled.cols;
    return out;
}

const CorrelationTemplate &Template::part(const cv::Rect &part) const
{
    for (const auto &p : parts_)
        if (p.first == part)
            return p.second;
    parts_.emplace_back(part, CorrelationTemplate(edges(part)));
    return parts_.back().second;
}

EdgeView edge_view(const PhotoIndex &index, const Template &templ, double width,
                   const cv::Rect2d &corners)
{
    const cv::Size t = templ.edges.size();
    EdgeView out;
    out.step = {width / t.width, width * templ.aspect / t.height};
    out.origin = corners.tl();
    out.places = {int(std::floor(corners.width / out.step.x)) + 1,
                  int(std::floor(corners.height / out.step.y)) + 1};
    const cv::Size seen(out.places.width - 1 + t.width, out.places.height - 1 + t.height);
    const cv::Point2d from(corners.x - margin * out.step.x, corners.y - margin * out.step.y);
    out.edges = edge_map(
        sampled(index, from, out.step, {seen.width + 2 * margin, seen.height + 2 * margin}))(
        cv::Rect(margin, margin, seen.width, seen.height));
    return out;
}

EdgeView view_part(const EdgeView &view, const Template &templ, const cv::Rect &places)
{
    const cv::Size t = templ.edges.size();
    EdgeView out;
    out.step = view.step;
    out.origin = {view.origin.x + places.x * view.step.x, view.origin.y + places.y * view.step.y};
    out.places = places.size();
    out.edges = view.edges(
        cv::Rect(places.x, places.y, places.width - 1 + t.width, places.height - 1 + t.height));
    return out;
}

ScoreMap score_map(const EdgeView &view, const Template &templ, const cv::Rect &part)
{
    const cv::Rect p = part.empty() ? cv::Rect(cv::Point(), templ.edges.size()) : part;
    const cv::Rect under(p.x, p.y, view.places.width - 1 + p.width,
                         view.places.height - 1 + p.height);
    return {templ.part(p).correlate(view.edges(under)), view.origin, view.step};
}

ScoreMap score_map(const PhotoIndex &index, const Template &templ, double width,
                   const cv::Rect2d &corners)
{
    return score_map(edge_view(index, templ, width, corners), templ);
}

Placement best_of(const ScoreMap &map, double width)
{
    double best = 0;
    cv::Point at;
    cv::minMaxLoc(map.score, nullptr, &best, nullptr, &at);
    return {map.origin.x + peak(map.score, at, true) * map.step.x,
            map.origin.y + peak(map.score, at, false) * map.step.y, width, best};
}

double score_at(const PhotoIndex &index, const Template &templ, const Placement &at)
{
    return score_map(index, templ, at.width, cv::Rect2d(at.x, at.y, 0, 0)).score.at<float>(0, 0);
}

} // namespace ardentis
