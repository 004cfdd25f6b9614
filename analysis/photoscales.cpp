#include "analysis/photoscales.h"

#include "common/vectors.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

#ifdef ARDENTIS_X86_64
#include <immintrin.h>
#endif

namespace ardentis
{

namespace
{

#ifdef ARDENTIS_X86_64
// Eight output pixels of three channels (24 bytes) come from 48 bytes of each
// row, read as three 16-byte loads. For output bytes 0 to 7, 8 to 15 and 16
// to 23, where each value and the one to its right lie in each load, side by
// side; -1: in another load.
constexpr signed char pairs[3][3][16] = {
    {{0, 3, 1, 4, 2, 5, 6, 9, 7, 10, 8, 11, 12, 15, 13, -1},
     {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0},
     {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
    {{14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
     {-1, 1, 2, 5, 3, 6, 4, 7, 8, 11, 9, 12, 10, 13, 14, -1},
     {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1}},
    {{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
     {15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
     {-1, 2, 0, 3, 4, 7, 5, 8, 6, 9, 10, 13, 11, 14, 12, 15}}};

ARDENTIS_AVX2 inline __m128i pair_mask(int out, int load)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(pairs[out][load]));
}

// Rows `a` and `b` of three 8-bit channels halved into `out`, eight output
// pixels at a time, as far as whole eights go: byte shuffles put each value
// beside the one to its right, which a multiply-add sums. Returns the output
// pixels made.
ARDENTIS_AVX2 int halved_eights(const uchar *a, const uchar *b, uchar *out, int n)
{
    const __m128i m00 = pair_mask(0, 0), m01 = pair_mask(0, 1), m10 = pair_mask(1, 0),
                  m11 = pair_mask(1, 1), m12 = pair_mask(1, 2), m21 = pair_mask(2, 1),
                  m22 = pair_mask(2, 2), ones = _mm_set1_epi8(1);
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        __m128i s0 = _mm_set1_epi16(2), s1 = s0, s2 = s0; // the rounding's 2 first
        for (const uchar *row : {a + 6 * x, b + 6 * x}) {
            const __m128i *in = reinterpret_cast<const __m128i *>(row);
            const __m128i r0 = _mm_loadu_si128(in), r1 = _mm_loadu_si128(in + 1),
                          r2 = _mm_loadu_si128(in + 2);
            const __m128i p0 = _mm_shuffle_epi8(r0, m00) | _mm_shuffle_epi8(r1, m01),
                          p1 = _mm_shuffle_epi8(r0, m10) | _mm_shuffle_epi8(r1, m11) |
                               _mm_shuffle_epi8(r2, m12),
                          p2 = _mm_shuffle_epi8(r1, m21) | _mm_shuffle_epi8(r2, m22);
            s0 = _mm_add_epi16(s0, _mm_maddubs_epi16(p0, ones));
            s1 = _mm_add_epi16(s1, _mm_maddubs_epi16(p1, ones));
            s2 = _mm_add_epi16(s2, _mm_maddubs_epi16(p2, ones));
        }
        s0 = _mm_srli_epi16(s0, 2);
        s2 = _mm_srli_epi16(s2, 2);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * x),
                         _mm_packus_epi16(s0, _mm_srli_epi16(s1, 2)));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 3 * x + 16), _mm_packus_epi16(s2, s2));
    }
    return x;
}

// The masks of `pairs` in both 128-bit halves of a register.
struct WidePairs {
    __m256i m00, m01, m10, m11, m12, m21, m22;
};

ARDENTIS_AVX2 inline __m256i wide_pair_mask(int out, int load)
{
    return _mm256_broadcastsi128_si256(pair_mask(out, load));
}

// For sixteen output pixels, each value of `row` (from 96 bytes) and the one
// to its right summed and added to `s`: two eights side by side, one in each
// 128-bit half, as byte shuffles do not cross the halves.
ARDENTIS_AVX2 inline void add_pairs(const WidePairs &m, const uchar *row, __m256i s[3])
{
    const __m128i *in = reinterpret_cast<const __m128i *>(row);
    const __m256i r0 = _mm256_loadu2_m128i(in + 3, in), r1 = _mm256_loadu2_m128i(in + 4, in + 1),
                  r2 = _mm256_loadu2_m128i(in + 5, in + 2), ones = _mm256_set1_epi8(1);
    const __m256i p0 = _mm256_shuffle_epi8(r0, m.m00) | _mm256_shuffle_epi8(r1, m.m01),
                  p1 = _mm256_shuffle_epi8(r0, m.m10) | _mm256_shuffle_epi8(r1, m.m11) |
                       _mm256_shuffle_epi8(r2, m.m12),
                  p2 = _mm256_shuffle_epi8(r1, m.m21) | _mm256_shuffle_epi8(r2, m.m22);
    s[0] = _mm256_add_epi16(s[0], _mm256_maddubs_epi16(p0, ones));
    s[1] = _mm256_add_epi16(s[1], _mm256_maddubs_epi16(p1, ones));
    s[2] = _mm256_add_epi16(s[2], _mm256_maddubs_epi16(p2, ones));
}

// As `halved_eights`, sixteen output pixels at a time (half the instructions
// per pixel), then the rest eight at a time.
ARDENTIS_AVX2 int halved_sixteens(const uchar *a, const uchar *b, uchar *out, int n)
{
    const WidePairs m{wide_pair_mask(0, 0), wide_pair_mask(0, 1), wide_pair_mask(1, 0),
                      wide_pair_mask(1, 1), wide_pair_mask(1, 2), wide_pair_mask(2, 1),
                      wide_pair_mask(2, 2)};
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m256i two = _mm256_set1_epi16(2); // the rounding's 2 first
        __m256i s[3] = {two, two, two};
        add_pairs(m, a + 6 * x, s);
        add_pairs(m, b + 6 * x, s);
        s[2] = _mm256_srli_epi16(s[2], 2);
        const __m256i first = _mm256_packus_epi16(_mm256_srli_epi16(s[0], 2),
                                                  _mm256_srli_epi16(s[1], 2)),
                      last = _mm256_packus_epi16(s[2], s[2]);
        uchar *o = out + 3 * x;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm256_castsi256_si128(first));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(o + 16), _mm256_castsi256_si128(last));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 24), _mm256_extracti128_si256(first, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(o + 40), _mm256_extracti128_si256(last, 1));
    }
    return x + halved_eights(a + 6 * x, b + 6 * x, out + 3 * x, n - x);
}
#endif

// Whether `halve_rows` halves pictures of `type` on this processor.
bool rows_halved(int type)
{
#ifdef ARDENTIS_X86_64
    return type == CV_8UC3 && wide_vectors();
#else
    (void)type;
    return false;
#endif
}

// Rows `a` and `b` of three 8-bit channels halved into the `n` pixels of
// `out`, to the byte as the image library's resizing by area halves them
// (the library takes three channels one value at a time). Only where
// `rows_halved`.
void halve_rows(const uchar *a, const uchar *b, uchar *out, int n)
{
#ifdef ARDENTIS_X86_64
    for (int x = halved_sixteens(a, b, out, n); x < n; ++x)
        for (int c = 3 * x; c < 3 * x + 3; ++c)
            out[c] =
                uchar((a[c + 3 * x] + a[c + 3 * x + 3] + b[c + 3 * x] + b[c + 3 * x + 3] + 2) >> 2);
#else
    (void)a;
    (void)b;
    (void)out;
    (void)n;
#endif
}

// `even` (of even size) halved into `half` where `rows_halved`; false
// elsewhere.
bool halved_by_vectors(const cv::Mat &even, cv::Mat &half)
{
    if (!rows_halved(even.type()))
        return false;
    half.create(even.rows / 2, even.cols / 2, CV_8UC3);
    for (int y = 0; y < half.rows; ++y)
        halve_rows(even.ptr(2 * y), even.ptr(2 * y + 1), half.ptr(y), half.cols);
    return true;
}

} // namespace

void HalvingsAsDecoded::start(const cv::Mat &photo)
{
    source_ = photo.data;
    size_ = photo.size();
    if (!rows_halved(photo.type()))
        return;
    // As PhotoScales::halved sizes them.
    for (cv::Size s = size_; s.width / 2 >= std::max(narrowest_, 1) && s.height >= 2;) {
        s = {s.width / 2, s.height / 2};
        levels_.emplace_back(s, CV_8UC3);
        made_.push_back(0);
    }
}

void HalvingsAsDecoded::rows_done(const cv::Mat &photo, int rows)
{
    if (!source_)
        start(photo);
    if (photo.data != source_)
        return;
    const cv::Mat *from = &photo;
    int ready = rows; // of `from`
    for (size_t k = 0; k < levels_.size(); ++k) {
        cv::Mat &to = levels_[k];
        int &made = made_[k];
        for (; made < to.rows && 2 * made + 2 <= ready; ++made)
            halve_rows(from->ptr(2 * made), from->ptr(2 * made + 1), to.ptr(made), to.cols);
        ready = made;
        from = &to;
    }
}

PhotoScales::PhotoScales(const cv::Mat &photo, const HalvingsAsDecoded *made) : levels_{photo}
{
    if (!made || made->source_ != photo.data || made->size_ != photo.size())
        return;
    for (size_t k = 0; k < made->levels_.size() && made->made_[k] == made->levels_[k].rows; ++k)
        levels_.push_back(made->levels_[k]);
}

const cv::Mat &PhotoScales::halved(int times) const
{
    while (int(levels_.size()) <= times) {
        const cv::Mat &last = levels_.back();
        cv::Mat half;
        if (last.cols >= 2 && last.rows >= 2) {
            const cv::Mat even =
                last(cv::Rect(0, 0, last.cols - last.cols % 2, last.rows - last.rows % 2));
            if (!halved_by_vectors(even, half))
                cv::resize(even, half, cv::Size(last.cols / 2, last.rows / 2), 0, 0,
                           cv::INTER_AREA);
        } else {
            half = last;
        }
        levels_.push_back(half);
    }
    return levels_[size_t(times)];
}

int PhotoScales::halvings_for(int width, int wanted)
{
    return std::max(0, int(std::lround(std::log2(double(width) / std::max(wanted, 1)))));
}

} // namespace ardentis
