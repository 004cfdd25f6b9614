#include "analysis/vegetation.h"

#include "common/vectors.h"

#include <opencv2/imgproc.hpp>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace ardentis
{

namespace
{

// A row's `n` pixels of three channels laid apart into `b`, `g` and `r`.
// Not with the image library's split: a loop reading its rows right after it
// wrote them ran eight times slower (its stores are not forwarded to the
// loads that follow).
ARDENTIS_WIDE_VECTORS void channels_apart(const uchar *__restrict bgr, int n, uchar *__restrict b,
                                          uchar *__restrict g, uchar *__restrict r)
{
    for (int c = 0; c < n; ++c) {
        b[c] = bgr[3 * c];
        g[c] = bgr[3 * c + 1];
        r[c] = bgr[3 * c + 2];
    }
}

// A picture's rows with their three channels laid out apart, one row at a
// time: so the compiler computes many pixels at once.
class RowChannels
{
public:
    explicit RowChannels(const cv::Mat &bgr) : bgr_(bgr), channels_(3, bgr.cols, CV_8UC1) {}
    // Row `r`: blue, green and red, each `cols` bytes.
    std::array<const uchar *, 3> apart(int r)
    {
        uchar *apart[] = {channels_.ptr(0), channels_.ptr(1), channels_.ptr(2)};
        channels_apart(bgr_.ptr(r), bgr_.cols, apart[0], apart[1], apart[2]);
        return {apart[0], apart[1], apart[2]};
    }

private:
    const cv::Mat &bgr_;
    cv::Mat channels_;
};

// `value` of every pixel, from each row's channels laid out apart.
template <typename PerPixel> ARDENTIS_INLINED cv::Mat map_of(const cv::Mat &bgr, PerPixel value)
{
    cv::Mat out(bgr.size(), CV_32FC1);
    RowChannels channels(bgr);
    for (int r = 0; r < bgr.rows; ++r) {
        const auto [b, g, red] = channels.apart(r);
        auto *o = out.ptr<float>(r);
        for (int c = 0; c < bgr.cols; ++c)
            o[c] = value(b[c], g[c], red[c]);
    }
    return out;
}

// 1 where ExGR takes a pixel for plant, 0 elsewhere, for `n` pixels whose
// channels lie apart.
ARDENTIS_WIDE_VECTORS void plant_bits(const uchar *__restrict b, const uchar *__restrict g,
                                      const uchar *__restrict r, int n, uchar *__restrict out)
{
    for (int c = 0; c < n; ++c)
        out[c] = uchar(exgr_plant<short>(b[c], g[c], r[c]));
}

// How many of the `n` bytes from `at`, each 0 or 1, are 1; up to 7 bytes
// past them are read.
int ones(const uchar *at, int n)
{
    int total = 0;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Eight bytes at a time, summed into the top byte by one multiplication.
    for (; n > 0; n -= 8, at += 8) {
        std::uint64_t v;
        std::memcpy(&v, at, sizeof v);
        if (n < 8)
            v &= (std::uint64_t(1) << (8 * n)) - 1;
        total += int((v * 0x0101010101010101u) >> 56);
    }
#else
    for (int k = 0; k < n; ++k)
        total += at[k];
#endif
    return total;
}

// How one value of a line shrunk by area is made, as the image library's
// area resizing makes it: the pixel before its whole pixels weighed by the
// share of it inside the span, the whole pixels, the pixel after. Each weight
// is a share of the span, 0 for a part the library leaves out.
struct AreaSpan {
    int first = 0, whole = 0;
    float before = 0, each = 0, after = 0;
};

std::vector<AreaSpan> area_spans(int from, int to)
{
    const double scale = 1. / (double(to) / from);
    std::vector<AreaSpan> spans(static_cast<size_t>(to));
    for (int d = 0; d < to; ++d) {
        const double lo = d * scale, hi = lo + scale, cell = std::min(scale, from - lo);
        const int last = std::min(cvFloor(hi), from - 1), first = std::min(cvCeil(lo), last);
        AreaSpan &s = spans[size_t(d)];
        s.first = first;
        s.whole = last - first;
        s.each = float(1.0 / cell);
        s.before = first - lo > 1e-3 ? float((first - lo) / cell) : 0.f;
        s.after = hi - last > 1e-3 ? float(std::min(std::min(hi - last, 1.), cell) / cell) : 0.f;
    }
    return spans;
}

// A row of plant bits shrunk along its length: each value the weights of its
// plant pixels summed in the library's order. As the whole pixels weigh the
// same, that sum depends only on whether the pixels before and after them are
// plant and on how many of them are: it is looked up.
class RowShares
{
public:
    explicit RowShares(int from, int to)
    {
        for (const AreaSpan &s : area_spans(from, to)) {
            first_.push_back(s.first);
            whole_.push_back(s.whole);
            starts_.push_back(sums_.size());
            // Four blocks of a sum for each count: neither pixel plant, the
            // one before, the one after, both.
            for (const bool after : {false, true})
                for (const float start : {0.f, s.before}) {
                    float sum = start;
                    for (int k = 0; k <= s.whole; ++k, sum += s.each)
                        sums_.push_back(after ? sum + s.after : sum);
                }
        }
    }
    // `bits` is read from the byte before it to 7 bytes past its end.
    void shrink(const uchar *bits, float *out) const
    {
        for (size_t d = 0; d < first_.size(); ++d) {
            const uchar *before = bits + first_[d] - 1;
            const int whole = whole_[d], count = ones(before + 1, whole);
            out[d] = sums_[starts_[d] +
                           size_t((before[0] + 2 * before[whole + 1]) * (whole + 1) + count)];
        }
    }

private:
    std::vector<int> first_, whole_;
    std::vector<size_t> starts_;
    std::vector<float> sums_;
};

// The plant bits of a picture's rows, made as they are asked for, with a
// byte before them and 8 after to read past.
class PlantRows
{
public:
    explicit PlantRows(const cv::Mat &bgr)
        : bgr_(bgr), channels_(bgr), room_(size_t(bgr.cols) + 9, 0)
    {
    }
    int cols() const { return bgr_.cols; }
    int rows() const { return bgr_.rows; }
    const uchar *bits(int row)
    {
        const auto [b, g, r] = channels_.apart(row);
        plant_bits(b, g, r, bgr_.cols, room_.data() + 1);
        return room_.data() + 1;
    }

private:
    const cv::Mat &bgr_;
    RowChannels channels_;
    std::vector<uchar> room_;
};

// The shares by area where the scales are whole, as the library computes
// them: the plant pixels of each block counted, times one over its area.
void block_shares(PlantRows &rows, int scale_x, int scale_y, cv::Mat &out)
{
    const float per_pixel = 1.f / float(scale_x * scale_y);
    std::vector<int> counts(size_t(rows.cols()));
    for (int r = 0; r < out.rows; ++r) {
        std::fill(counts.begin(), counts.end(), 0);
        for (int k = 0; k < scale_y; ++k) {
            const uchar *bits = rows.bits(r * scale_y + k);
            for (size_t c = 0; c < counts.size(); ++c)
                counts[c] += bits[c];
        }
        float *o = out.ptr<float>(r);
        for (int c = 0; c < out.cols; ++c) {
            int count = 0;
            for (int k = 0; k < scale_x; ++k)
                count += counts[size_t(c * scale_x + k)];
            o[c] = float(count) * per_pixel;
        }
    }
}

// The shares by area where a scale is not whole, as the library computes
// them: each row shrunk along its length, then the rows of each output row
// weighed and summed in turn.
void span_shares(PlantRows &rows, cv::Mat &out)
{
    const RowShares along(rows.cols(), out.cols);
    std::vector<float> shrunk(size_t(out.cols));
    int held = -1; // the row `shrunk` holds
    const auto add = [&](int row, float weight, float *sum, bool first) {
        if (row != held)
            along.shrink(rows.bits(held = row), shrunk.data());
        for (int c = 0; c < out.cols; ++c)
            sum[c] = first ? weight * shrunk[size_t(c)] : sum[c] + weight * shrunk[size_t(c)];
    };
    const std::vector<AreaSpan> down = area_spans(rows.rows(), out.rows);
    for (int r = 0; r < out.rows; ++r) {
        const AreaSpan &s = down[size_t(r)];
        float *sum = out.ptr<float>(r);
        bool first = true;
        if (s.before > 0)
            add(s.first - 1, s.before, sum, std::exchange(first, false));
        for (int k = 0; k < s.whole; ++k)
            add(s.first + k, s.each, sum, std::exchange(first, false));
        if (s.after > 0)
            add(s.first + s.whole, s.after, sum, std::exchange(first, false));
        if (first)
            std::fill(sum, sum + out.cols, 0.f);
    }
}

} // namespace

ARDENTIS_WIDE_VECTORS cv::Mat exgr_plant_map(const cv::Mat &bgr)
{
    return map_of(bgr, [](int b, int g, int r) { return float(int(exgr_plant(b, g, r))); });
}

ARDENTIS_WIDE_VECTORS cv::Mat exgr_index_map(const cv::Mat &bgr)
{
    return map_of(bgr, [](int b, int g, int r) { return exgr_index(b, g, r); });
}

cv::Mat exgr_plant_shares(const cv::Mat &bgr, cv::Size size)
{
    const double scale_x = 1. / (double(size.width) / bgr.cols),
                 scale_y = 1. / (double(size.height) / bgr.rows);
    cv::Mat out;
    if (scale_x < 1 || scale_y < 1 || size == bgr.size()) { // the library enlarges or copies
        cv::resize(exgr_plant_map(bgr), out, size, 0, 0, cv::INTER_AREA);
        return out;
    }
    PlantRows rows(bgr);
    out.create(size, CV_32FC1);
    // Whole scales, as near as the library counts them, take its shortcut,
    // which sums a block in floats: exact while a block holds at most 2^24
    // pixels.
    const long whole_x = std::lround(scale_x), whole_y = std::lround(scale_y);
    if (std::abs(scale_x - double(whole_x)) >= DBL_EPSILON ||
        std::abs(scale_y - double(whole_y)) >= DBL_EPSILON)
        span_shares(rows, out);
    else if (double(whole_x) * double(whole_y) <= double(1 << 24))
        block_shares(rows, int(whole_x), int(whole_y), out);
    else
        cv::resize(exgr_plant_map(bgr), out, size, 0, 0, cv::INTER_AREA);
    return out;
}

} // namespace ardentis
