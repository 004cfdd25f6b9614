#include "analysis/canny.h"

#include "common/vectors.h"

#include <algorithm>
#include <cstdint>

#ifdef ARDENTIS_X86_64
#include <immintrin.h>
#endif

namespace ardentis
{

namespace
{

// The directions are told apart in fixed point: tan(22.5°) in units of
// 2^-15, as the library has it.
constexpr int tan_shift = 15, tan22 = 13573;

// What a pixel is to the edges: not part of one, part of one if it joins an
// edge pixel, an edge pixel.
enum : uchar { none = 0, weak = 1, edge = 2 };

// The squared magnitude of a threshold, as the library takes it.
int squared_threshold(double t)
{
    t = std::min(32767.0, t);
    return cvFloor(t > 0 ? t * t : t);
}

// dx² + dy² in 32 bits, wrapping as the library's sums do at the extremes.
int magnitude(short dx, short dy)
{
    return int(std::uint32_t(dx * dx) + std::uint32_t(dy * dy));
}

// A row of magnitudes (its columns shifted by one, a zero border each
// side), zero outside the spans it was last given.
struct MagnitudeRow {
    int *m;
    const RowSpans *spans;
};

// The magnitudes of a row of pixels, `g`, into `row`, zero outside `spans`:
// only what its last spans left needs clearing.
void magnitude_row(const GradientRow &g, const RowSpans &spans, MagnitudeRow &row)
{
    int *const m = row.m;
    for (const auto &[from, to] : *row.spans)
        std::fill(m + from + 1, m + to + 1, 0);
    row.spans = &spans;
    const short *x = g.dx, *y = g.dy;
    for (const auto &span : spans) {
        const int to = span.second; // a copy: the stores cannot move it, and the loop vectorises
        for (int c = span.first; c < to; ++c)
            m[c + 1] = magnitude(x[c], y[c]);
    }
}

// Whether magnitude `m` at column `c` (shifted by one) of `row`, between
// rows `above` and `below`, is the largest across the edge, with the
// library's choice of direction and of ties.
bool is_ridge(int m, short gx, short gy, const int *above, const int *row, const int *below, int c)
{
    const int x = std::abs(gx), y = std::abs(gy) << tan_shift;
    const int tg22x = x * tan22;
    if (y < tg22x)
        return m > row[c - 1] && m >= row[c + 1];
    // The library's sum wraps for the steepest gradients.
    const int tg67x = int(std::uint32_t(tg22x) + (std::uint32_t(x) << (tan_shift + 1)));
    if (y > tg67x)
        return m > above[c] && m >= below[c];
    const int s = (gx ^ gy) < 0 ? -1 : 1;
    return m > above[c - s] && m > below[c + s];
}

// A row being looked at: its magnitudes and those of the rows either side
// (columns shifted by one), its gradient, and where its pixels' parts go.
struct RowLook {
    const int *above, *row, *below;
    GradientRow g;
    uchar *part;
};

// Where the marks go: the thresholds, the parts' start, the edge pixels
// whose neighbours are yet to be seen.
struct Marks {
    int lo, hi;
    const uchar *start;
    std::vector<int> &grown;

    void mark(uchar *p, int m)
    {
        *p = m > hi ? edge : weak;
        if (m > hi)
            grown.push_back(int(p - start));
    }
};

// Columns [from, to) of a row, a pixel at a time.
void look_at(const RowLook &l, int from, int to, Marks &marks)
{
    for (int c = from; c < to; ++c) {
        const int m = l.row[c + 1];
        if (m > marks.lo && is_ridge(m, l.g.dx[c], l.g.dy[c], l.above, l.row, l.below, c + 1))
            marks.mark(l.part + c, m);
    }
}

#ifdef ARDENTIS_X86_64
ARDENTIS_AVX2 inline __m256i ints_at(const int *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

ARDENTIS_AVX2 inline __m256i shorts_at(const short *p)
{
    return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
}

// Where `m` exceeds `before` and is not exceeded by `after`.
ARDENTIS_AVX2 inline __m256i exceeds(__m256i m, __m256i before, __m256i after)
{
    return _mm256_andnot_si256(_mm256_cmpgt_epi32(after, m), _mm256_cmpgt_epi32(m, before));
}

// Which of the eight pixels from column `c` `is_ridge` takes for ridges,
// each test made for all eight and the one of its direction kept.
ARDENTIS_AVX2 inline __m256i ridges_of_eight(const RowLook &l, int c, __m256i m)
{
    const __m256i gx = shorts_at(l.g.dx + c), gy = shorts_at(l.g.dy + c);
    const __m256i x = _mm256_abs_epi32(gx), y = _mm256_slli_epi32(_mm256_abs_epi32(gy), tan_shift);
    const __m256i tg22x = _mm256_mullo_epi32(x, _mm256_set1_epi32(tan22)),
                  tg67x = _mm256_add_epi32(tg22x, _mm256_slli_epi32(x, tan_shift + 1));
    const __m256i across = _mm256_cmpgt_epi32(tg22x, y), down = _mm256_cmpgt_epi32(y, tg67x);
    const __m256i falling = _mm256_srai_epi32(_mm256_xor_si256(gx, gy), 31);
    const __m256i a = _mm256_blendv_epi8(ints_at(l.above + c), ints_at(l.above + c + 2), falling),
                  b = _mm256_blendv_epi8(ints_at(l.below + c + 2), ints_at(l.below + c), falling);
    const __m256i diagonal = _mm256_and_si256(_mm256_cmpgt_epi32(m, a), _mm256_cmpgt_epi32(m, b));
    const __m256i steep = exceeds(m, ints_at(l.above + c + 1), ints_at(l.below + c + 1)),
                  flat = exceeds(m, ints_at(l.row + c), ints_at(l.row + c + 2));
    return _mm256_blendv_epi8(_mm256_blendv_epi8(diagonal, steep, down), flat, across);
}

// As `look_at`, eight pixels at a time as far as whole eights go; returns
// the first column not looked at.
ARDENTIS_AVX2 int look_at_eights(const RowLook &l, int from, int to, Marks &marks)
{
    const __m256i lo = _mm256_set1_epi32(marks.lo);
    int c = from;
    for (; c + 8 <= to; c += 8) {
        const __m256i m = ints_at(l.row + c + 1);
        const int live = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(m, lo)));
        if (!live)
            continue;
        int ridges = live & _mm256_movemask_ps(_mm256_castsi256_ps(ridges_of_eight(l, c, m)));
        for (; ridges; ridges &= ridges - 1) {
            const int i = __builtin_ctz(unsigned(ridges));
            marks.mark(l.part + c + i, l.row[c + i + 1]);
        }
    }
    return c;
}
#endif

// Columns [from, to) of a row: their ridges above the low threshold marked.
void look_at_span(const RowLook &l, int from, int to, Marks &marks, bool wide)
{
#ifdef ARDENTIS_X86_64
    if (wide)
        from = look_at_eights(l, from, to, marks);
#else
    (void)wide;
#endif
    look_at(l, from, to, marks);
}

// The edge pixels: those of `grown` and the weak ones joined to them,
// each taking its weak neighbours in turn.
std::vector<cv::Point> grown_edges(std::vector<uchar> &part, int step, std::vector<int> &grown)
{
    std::vector<cv::Point> edges;
    const int around[] = {-step - 1, -step, -step + 1, -1, 1, step - 1, step, step + 1};
    while (!grown.empty()) {
        const int at = grown.back();
        grown.pop_back();
        edges.emplace_back(at % step - 1, at / step - 1);
        for (const int d : around)
            if (part[size_t(at + d)] == weak) {
                part[size_t(at + d)] = edge;
                grown.push_back(at + d);
            }
    }
    return edges;
}

bool vectors_for_ridges()
{
#ifdef ARDENTIS_X86_64
    return wide_vectors();
#else
    return false;
#endif
}

} // namespace

std::vector<cv::Point> canny_edges(cv::Size size, const GradientRows &rows,
                                   const std::vector<const RowSpans *> &spans, double low,
                                   double high)
{
    if (low > high)
        std::swap(low, high);
    const int cols = size.width, step = cols + 2;
    if (size.empty())
        return {};
    // Below zero, a low threshold makes pixels without gradient part of an
    // edge: every pixel is looked at.
    const RowSpans whole{{0, cols}}, nothing;
    const std::vector<const RowSpans *> all(size_t(size.height), &whole);
    // Each pixel's part, with a border of one that is never part of an edge.
    std::vector<uchar> part(size_t(step) * size_t(size.height + 2), none);
    std::vector<int> grown; // edge pixels whose neighbours are yet to be seen
    Marks marks{squared_threshold(low), squared_threshold(high), part.data(), grown};
    const std::vector<const RowSpans *> &looked = marks.lo < 0 ? all : spans;
    std::vector<int> magnitudes(3 * size_t(step), 0);
    MagnitudeRow above{magnitudes.data(), &nothing}, row{above.m + step, &nothing},
        below{row.m + step, &nothing};
    GradientRow g = rows(0, *looked[0]);
    magnitude_row(g, *looked[0], row);
    const bool wide = vectors_for_ridges();
    for (int r = 0; r < size.height; ++r) {
        const GradientRow here = g;
        if (r + 1 < size.height) {
            g = rows(r + 1, *looked[size_t(r + 1)]);
            magnitude_row(g, *looked[size_t(r + 1)], below);
        } else {
            magnitude_row({}, nothing, below);
        }
        const RowLook look{above.m, row.m, below.m, here,
                           part.data() + size_t(r + 1) * size_t(step) + 1};
        for (const auto &[from, to] : *looked[size_t(r)])
            look_at_span(look, from, to, marks, wide);
        std::swap(above, row); // the rows move up by one: pointers, not values
        std::swap(row, below);
    }
    return grown_edges(part, step, grown);
}

std::vector<cv::Point> canny_edges(const cv::Mat &dx, const cv::Mat &dy,
                                   const std::vector<const RowSpans *> &spans, double low,
                                   double high)
{
    const auto rows = [&](int r, const RowSpans &) {
        return GradientRow{dx.ptr<short>(r), dy.ptr<short>(r)};
    };
    return canny_edges(dx.size(), rows, spans, low, high);
}

} // namespace ardentis
