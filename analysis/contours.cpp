#include "analysis/contours.h"

#include "analysis/canny.h"
#include "analysis/fieldmaps.h"
#include "common/vectors.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

#ifdef ARDENTIS_X86_64
#include <immintrin.h>
#endif

namespace ardentis
{

namespace
{

// An edge is where the temperature changes faster than on this share of the
// field, and at least this share of its fastest change.
constexpr double edge_share = 0.85, least_edge = 0.2;

// The `k`th smallest of `v`, values not negative and not NaN, by their bits:
// those of such floats are in the order of their values. The values are
// counted by their top 11 bits, those with the bits of the `k`th kept, and
// so on for the next 11 and the last 10.
float kth_smallest(std::vector<std::uint32_t> &v, size_t k)
{
    for (const int shift : {21, 10, 0}) {
        const std::uint32_t digits = shift == 0 ? 1023 : 2047;
        std::array<size_t, 2048> counts{};
        for (const std::uint32_t x : v)
            ++counts[(x >> shift) & digits];
        std::uint32_t d = 0;
        for (; k >= counts[d]; ++d)
            k -= counts[d];
        v.erase(std::remove_if(v.begin(), v.end(),
                               [&](std::uint32_t x) { return ((x >> shift) & digits) != d; }),
                v.end());
    }
    float value;
    std::memcpy(&value, &v[0], sizeof value);
    return value;
}

// The value of `m` (CV_32FC1, continuous, not negative) below which about
// `share` of its values lie, from every third.
float quantile(const cv::Mat &m, double share)
{
    const size_t n = m.total();
    const float *values = m.ptr<float>();
    std::vector<std::uint32_t> v;
    v.reserve(n / 3 + 1);
    bool nan = false;
    for (size_t i = 0; i < n; i += 3) {
        std::uint32_t bits;
        std::memcpy(&bits, values + i, sizeof bits);
        nan = nan || bits > 0x7f800000;
        v.push_back(bits);
    }
    const size_t k = size_t(share * double(v.size() - 1));
    if (!nan)
        return kth_smallest(v, k);
    std::vector<float> f(v.size()); // NaN, unordered: as sorting would leave it
    std::memcpy(f.data(), v.data(), v.size() * sizeof(float));
    std::nth_element(f.begin(), f.begin() + long(k), f.end());
    return f[k];
}

// The cubic kernel's parameter, the image library's: its ridges are as sharp
// as those of the library's cubic resizing.
constexpr float cubic_a = -0.75f;
// The most that rounding the gradients to whole numbers adds to an
// interpolated magnitude: half a unit's diagonal before interpolation, at most
// doubled by the kernel's overshoot, and half a unit's diagonal after.
constexpr double rounding_reach = 3;

// The four pixels of a row or column that one interpolated pixel is made of
// (the edge pixel repeated beyond the edge), and their weights.
struct Taps {
    std::array<int, 4> at;
    std::array<float, 4> weight;
};

// The taps of `to` pixels interpolated from `from`, placed and weighted as
// the image library's cubic resizing places and weighs them.
std::vector<Taps> cubic_taps(int from, int to)
{
    const float a = cubic_a;
    const double step = 1. / (double(to) / from);
    std::vector<Taps> taps(static_cast<size_t>(to));
    for (size_t d = 0; d < taps.size(); ++d) {
        float f = float((double(d) + 0.5) * step - 0.5);
        const int s = cvFloor(f);
        f -= float(s);
        std::array<float, 4> &w = taps[d].weight;
        w[0] = ((a * (f + 1) - 5 * a) * (f + 1) + 8 * a) * (f + 1) - 4 * a;
        w[1] = ((a + 2) * f - (a + 3)) * f * f + 1;
        w[2] = ((a + 2) * (1 - f) - (a + 3)) * (1 - f) * (1 - f) + 1;
        w[3] = 1.f - w[0] - w[1] - w[2];
        for (int k = 0; k < 4; ++k)
            taps[d].at[size_t(k)] = std::clamp(s - 1 + k, 0, from - 1);
    }
    return taps;
}

// The most an interpolated value can exceed the largest of its pixels, as
// a factor: the largest sum of the weights' sizes.
double overshoot(const std::vector<Taps> &taps)
{
    double most = 0;
    for (const Taps &t : taps) {
        double sum = 0;
        for (const float w : t.weight)
            sum += std::abs(w);
        most = std::max(most, sum);
    }
    return most;
}

// Columns [from, to) of the rows of `src` (CV_32FC1) that `t` takes,
// weighted, summed and rounded into `out`.
void combine(const cv::Mat &src, const Taps &t, int from, int to, short *out)
{
    const float *r0 = src.ptr<float>(t.at[0]), *r1 = src.ptr<float>(t.at[1]),
                *r2 = src.ptr<float>(t.at[2]), *r3 = src.ptr<float>(t.at[3]);
    const std::array<float, 4> &w = t.weight;
    int c = from;
#if CV_SIMD128
    const cv::v_float32x4 w0 = cv::v_setall_f32(w[0]), w1 = cv::v_setall_f32(w[1]),
                          w2 = cv::v_setall_f32(w[2]), w3 = cv::v_setall_f32(w[3]);
    const auto at = [&](int i) {
        return cv::v_load(r0 + i) * w0 + cv::v_load(r1 + i) * w1 + cv::v_load(r2 + i) * w2 +
               cv::v_load(r3 + i) * w3;
    };
    for (; c + 8 <= to; c += 8)
        cv::v_store(out + c, cv::v_pack(cv::v_round(at(c)), cv::v_round(at(c + 4))));
#endif
    for (; c < to; ++c)
        out[c] =
            cv::saturate_cast<short>(w[0] * r0[c] + w[1] * r1[c] + w[2] * r2[c] + w[3] * r3[c]);
}

// Cubic interpolation from the raw grid to the picture: its taps across and
// down.
struct Scaling {
    std::vector<Taps> across, down;
    // For each raw column, and one past the last, the first of the picture's
    // columns whose second tap is that column or a later one.
    std::vector<int> first;
};

Scaling scaling(cv::Size from, cv::Size to)
{
    Scaling s{cubic_taps(from.width, to.width), cubic_taps(from.height, to.height), {}};
    for (int c = 0; c <= from.width; ++c)
        s.first.push_back(int(std::partition_point(s.across.begin(), s.across.end(),
                                                   [c](const Taps &t) { return t.at[1] < c; }) -
                              s.across.begin()));
    return s;
}

// The raw pixels near which an interpolated gradient can exceed `low`: those
// whose taps (the pixel before to two after it, across and down) include a
// gradient of `magnitude` that the kernel's overshoot could carry above it.
cv::Mat may_exceed(const cv::Mat &magnitude, const Scaling &s, double low)
{
    const cv::Mat strong =
        magnitude * (overshoot(s.across) * overshoot(s.down)) > low - rounding_reach;
    cv::Mat near;
    cv::dilate(strong, near, cv::Mat::ones(4, 4, CV_8U), cv::Point(1, 1));
    return near;
}

// For each raw row, the spans [first, second) of the picture's columns
// whose second taps are pixels of `near` (CV_8UC1, non-zero where near).
using Spans = std::vector<RowSpans>;

Spans spans_of(const cv::Mat &near, const Scaling &s)
{
    Spans spans(size_t(near.rows));
    for (int r = 0; r < near.rows; ++r) {
        const uchar *live = near.ptr<uchar>(r);
        for (int c = 0; c < near.cols;) {
            const int start = c;
            while (c < near.cols && live[c] == live[start])
                ++c;
            if (live[start])
                spans[size_t(r)].emplace_back(s.first[size_t(start)], s.first[size_t(c)]);
        }
    }
    return spans;
}

// The taps of eight neighbouring picture columns that lie within eight raw
// columns: the first of those, each tap's column from it, and its weight.
struct EightTaps {
    int from;
    std::array<std::array<int, 8>, 4> at;
    std::array<std::array<float, 8>, 4> weight;
};

// Rows interpolated across together: the taps are loaded once for them.
constexpr size_t rows_together = 4;

#ifdef ARDENTIS_X86_64
// The columns of tap `k` of the eight.
ARDENTIS_AVX2 inline __m256i tap_columns(const EightTaps &e, size_t k)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(e.at[k].data()));
}

// The eights of `eights` from each of `raw` into `out`, each eight of raw
// values loaded once and its taps picked out, added in the order of the sum
// one at a time: the same to the bit. Returns the picture's columns made.
ARDENTIS_AVX2 size_t eights_across(const std::vector<EightTaps> &eights,
                                   const std::array<const float *, rows_together> &raw,
                                   const std::array<float *, rows_together> &out)
{
    size_t d = 0;
    for (const EightTaps &e : eights) {
        const __m256i a0 = tap_columns(e, 0), a1 = tap_columns(e, 1), a2 = tap_columns(e, 2),
                      a3 = tap_columns(e, 3);
        const __m256 w0 = _mm256_loadu_ps(e.weight[0].data()),
                     w1 = _mm256_loadu_ps(e.weight[1].data()),
                     w2 = _mm256_loadu_ps(e.weight[2].data()),
                     w3 = _mm256_loadu_ps(e.weight[3].data());
        for (size_t r = 0; r < rows_together; ++r) {
            const __m256 v = _mm256_loadu_ps(raw[r] + e.from);
            __m256 sum = _mm256_mul_ps(w0, _mm256_permutevar8x32_ps(v, a0));
            sum = _mm256_add_ps(sum, _mm256_mul_ps(w1, _mm256_permutevar8x32_ps(v, a1)));
            sum = _mm256_add_ps(sum, _mm256_mul_ps(w2, _mm256_permutevar8x32_ps(v, a2)));
            sum = _mm256_add_ps(sum, _mm256_mul_ps(w3, _mm256_permutevar8x32_ps(v, a3)));
            _mm256_storeu_ps(out[r] + d, sum);
        }
        d += 8;
    }
    return d;
}
#endif

// Interpolation across rows by `taps`, eight picture columns at a time as
// far as their taps lie within eight raw columns (on processors with 256-bit
// vectors), the rest one at a time.
class AcrossRows
{
public:
    explicit AcrossRows(const std::vector<Taps> &taps) : taps_(taps)
    {
#ifdef ARDENTIS_X86_64
        if (!wide_vectors())
            return;
        for (size_t d = 0; d + 8 <= taps.size() && taps[d + 7].at[3] - taps[d].at[0] < 8; d += 8) {
            EightTaps &e = eights_.emplace_back();
            e.from = taps[d].at[0];
            for (size_t i = 0; i < 8; ++i)
                for (size_t k = 0; k < 4; ++k) {
                    e.at[k][i] = taps[d + i].at[k] - e.from;
                    e.weight[k][i] = taps[d + i].weight[k];
                }
        }
#endif
    }
    // Each of `raw`, with eight values to spare past its end, interpolated
    // into `out`.
    void rows(const std::array<const float *, rows_together> &raw,
              const std::array<float *, rows_together> &out) const
    {
        size_t first = 0;
#ifdef ARDENTIS_X86_64
        if (!eights_.empty())
            first = eights_across(eights_, raw, out);
#endif
        for (size_t r = 0; r < rows_together; ++r)
            for (size_t d = first; d < taps_.size(); ++d) {
                const Taps &t = taps_[d];
                const float *in = raw[r];
                out[r][d] = t.weight[0] * in[t.at[0]] + t.weight[1] * in[t.at[1]] +
                            t.weight[2] * in[t.at[2]] + t.weight[3] * in[t.at[3]];
            }
    }

private:
    const std::vector<Taps> &taps_;
    std::vector<EightTaps> eights_;
};

// `g` (CV_16SC1 on the raw grid) interpolated across to the picture's
// columns, a row for each of its rows.
cv::Mat across(const cv::Mat &g, const Scaling &s)
{
    const AcrossRows interpolation(s.across);
    // Eight values to spare after each row, and rows to spare after the last.
    const int rows = int(rows_together);
    cv::Mat raw(g.rows + rows, g.cols + 8, CV_32F, cv::Scalar(0)),
        out(g.rows + rows, int(s.across.size()), CV_32F);
    g.convertTo(raw(cv::Rect(0, 0, g.cols, g.rows)), CV_32F);
    for (int r = 0; r < g.rows; r += rows) {
        std::array<const float *, rows_together> in;
        std::array<float *, rows_together> to;
        for (int k = 0; k < rows; ++k) {
            in[size_t(k)] = raw.ptr<float>(r + k);
            to[size_t(k)] = out.ptr<float>(r + k);
        }
        interpolation.rows(in, to);
    }
    return out.rowRange(0, g.rows);
}

// The gradient carried to the picture's pixels a row at a time, in the spans
// asked for: only two rows of it are ever kept.
class ScaledGradient
{
public:
    ScaledGradient(const cv::Mat &dx, const cv::Mat &dy, const Scaling &s)
        : dx_(across(dx, s)), dy_(across(dy, s)), down_(s.down), rows_(4 * s.across.size())
    {
    }
    GradientRow operator()(int r, const RowSpans &spans)
    {
        const size_t cols = size_t(dx_.cols);
        short *x = rows_.data() + size_t(r % 2) * 2 * cols, *y = x + cols;
        const Taps &t = down_[size_t(r)];
        for (const auto &[from, to] : spans) {
            combine(dx_, t, from, to, x);
            combine(dy_, t, from, to, y);
        }
        return {x, y};
    }

private:
    cv::Mat dx_, dy_; // as `across` makes them: a row for each raw row
    const std::vector<Taps> &down_;
    std::vector<short> rows_; // two rows of both, by turns
};

// The edge pixels of temperatures `temps` shown at `size`: the ridges of
// their gradient, as Canny finds them. The temperatures are smoothed and
// their gradient taken on the raw grid, over half a thermal pixel or a
// pixel of the picture, whichever is more; the gradient is then carried to
// the picture's pixels by cubic interpolation, which keeps its ridges sharp,
// where it can be strong enough to be part of an edge.
std::vector<cv::Point> edges_of(const cv::Mat &temps, cv::Size size)
{
    const cv::Mat t = filled_temperatures(temps);
    cv::Mat smooth, dx, dy, magnitude;
    const double scale = double(size.width) / temps.cols;
    cv::GaussianBlur(t, smooth, cv::Size(), std::max(0.5, 1 / scale));
    cv::Sobel(smooth, dx, CV_32F, 1, 0);
    cv::Sobel(smooth, dy, CV_32F, 0, 1);
    cv::magnitude(dx, dy, magnitude);
    double most = 0;
    cv::minMaxLoc(magnitude, nullptr, &most);
    if (!(most > 0))
        return {};
    const double high = std::max<double>(quantile(magnitude, edge_share), least_edge * most);
    // Canny on gradients scaled to whole numbers.
    const double to_int = 16000 / most, low = 0.5 * high * to_int;
    cv::Mat ix, iy;
    dx.convertTo(ix, CV_16S, to_int);
    dy.convertTo(iy, CV_16S, to_int);
    const Scaling s = scaling(t.size(), size);
    const Spans spans = spans_of(may_exceed(magnitude * to_int, s, low), s);
    std::vector<const RowSpans *> row_spans;
    for (const Taps &down : s.down)
        row_spans.push_back(&spans[size_t(down.at[1])]);
    ScaledGradient gradient(ix, iy, s);
    return canny_edges(size, std::ref(gradient), row_spans, low, high * to_int);
}

} // namespace

ContourPicture thermal_contours(const PhotoScales &photo, const cv::Mat &temps,
                                const cv::Rect &field, const cv::Rect &area, int halvings)
{
    const cv::Mat &level = photo.halved(halvings);
    const cv::Rect part = cv::Rect(area.x >> halvings, area.y >> halvings, area.width >> halvings,
                                   area.height >> halvings) &
                          cv::Rect(0, 0, level.cols, level.rows);
    ContourPicture out;
    out.view = level(part);
    out.edges.resize(size_t(out.view.rows));
    // The field on the view.
    const double factor = double(1 << halvings);
    out.field = {int(std::lround((field.x - part.x * factor) / factor)),
                 int(std::lround((field.y - part.y * factor) / factor)),
                 std::max(1, int(std::lround(field.width / factor))),
                 std::max(1, int(std::lround(field.height / factor)))};
    const cv::Rect shown(0, 0, out.view.cols, out.view.rows);
    for (const cv::Point &e : edges_of(temps, out.field.size())) {
        const cv::Point p = e + out.field.tl();
        if (shown.contains(p))
            out.edges[size_t(p.y)].push_back(p.x);
    }
    return out;
}

void ContourPicture::draw_row(int y, uchar *row) const
{
    auto *px = reinterpret_cast<cv::Vec3b *>(row);
    for (const int x : edges[size_t(y)])
        px[x] = contour_colour;
    // The outline over the edges, as the image library draws a rectangle
    // one pixel wide: its lines clipped to the view.
    const int right = field.x + field.width - 1, bottom = field.y + field.height - 1;
    if (y < field.y || y > bottom)
        return;
    const int from = std::max(field.x, 0), to = std::min(right, view.cols - 1);
    if (y == field.y || y == bottom) {
        for (int x = from; x <= to; ++x)
            px[x] = field_outline_colour;
        return;
    }
    for (const int x : {field.x, right})
        if (x >= 0 && x < view.cols)
            px[x] = field_outline_colour;
}

} // namespace ardentis
