#include "analysis/canny.h"

#include <algorithm>
#include <cstdint>

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

// The magnitudes of a row of `cols` pixels, `g`, into `m` (its columns
// shifted by one, a zero border each side), zero outside `spans`.
void magnitude_row(const GradientRow &g, const RowSpans &spans, int cols, int *m)
{
    std::fill(m, m + cols + 2, 0);
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

} // namespace

std::vector<cv::Point> canny_edges(cv::Size size, const GradientRows &rows,
                                   const std::vector<const RowSpans *> &spans, double low,
                                   double high)
{
    if (low > high)
        std::swap(low, high);
    const int lo = squared_threshold(low), hi = squared_threshold(high);
    const int cols = size.width, step = cols + 2;
    if (size.empty())
        return {};
    // Below zero, a low threshold makes pixels without gradient part of an
    // edge: every pixel is looked at.
    const RowSpans whole{{0, cols}};
    const std::vector<const RowSpans *> all(size_t(size.height), &whole);
    const std::vector<const RowSpans *> &looked = lo < 0 ? all : spans;
    // Each pixel's part, with a border of one that is never part of an edge.
    std::vector<uchar> part(size_t(step) * size_t(size.height + 2), none);
    std::vector<int> magnitudes(3 * size_t(step), 0);
    int *above = magnitudes.data(), *row = above + step, *below = row + step;
    GradientRow g = rows(0, *looked[0]);
    magnitude_row(g, *looked[0], cols, row);
    std::vector<int> grown; // edge pixels whose neighbours are yet to be seen
    for (int r = 0; r < size.height; ++r) {
        const GradientRow here = g;
        if (r + 1 < size.height) {
            g = rows(r + 1, *looked[size_t(r + 1)]);
            magnitude_row(g, *looked[size_t(r + 1)], cols, below);
        } else {
            std::fill(below, below + step, 0);
        }
        const short *gx = here.dx, *gy = here.dy;
        uchar *p = part.data() + size_t(r + 1) * size_t(step) + 1;
        for (const auto &span : *looked[size_t(r)])
            for (int c = span.first, to = span.second; c < to; ++c) {
                const int m = row[c + 1];
                if (m <= lo || !is_ridge(m, gx[c], gy[c], above, row, below, c + 1))
                    continue;
                p[c] = m > hi ? edge : weak;
                if (m > hi)
                    grown.push_back(int(p + c - part.data()));
            }
        int *const done = above; // the rows move up by one: pointers, not values
        above = row;
        row = below;
        below = done;
    }
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
