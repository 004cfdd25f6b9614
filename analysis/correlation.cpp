#include "analysis/correlation.h"

#include "common/vectors.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>

#ifdef ARDENTIS_X86_64
#include <immintrin.h>
#endif

namespace ardentis
{

namespace
{

// The sum of a[j] * b[j], in eight partial sums that the compiler keeps in
// vector registers (one of 256 bits where the processor has them).
ARDENTIS_INLINED float dot(const float *a, const float *b, int n)
{
    float part[8] = {};
    int j = 0;
    for (; j + 8 <= n; j += 8)
        for (int k = 0; k < 8; ++k)
            part[k] += a[j + k] * b[j + k];
    float sum =
        ((part[0] + part[1]) + (part[2] + part[3])) + ((part[4] + part[5]) + (part[6] + part[7]));
    for (; j < n; ++j)
        sum += a[j] * b[j];
    return sum;
}

// The sum of the template times the image at place (x, y).
ARDENTIS_WIDE_VECTORS double place_sum(const cv::Mat &image, const cv::Mat &templ, int x, int y)
{
    double sum = 0;
    for (int i = 0; i < templ.rows; ++i)
        sum += dot(templ.ptr<float>(i), image.ptr<float>(y + i) + x, templ.cols);
    return sum;
}

#ifdef ARDENTIS_X86_64
// The sums of the four places from (x, y) rightwards, each in the order
// `place_sum` adds it, so to the bit the same: side by side, they do not
// wait on each other's additions.
ARDENTIS_AVX2 void four_place_sums(const cv::Mat &image, const cv::Mat &templ, int x, int y,
                                   double *out)
{
    __m256d total = _mm256_setzero_pd();
    for (int i = 0; i < templ.rows; ++i) {
        const float *t = templ.ptr<float>(i), *m = image.ptr<float>(y + i) + x;
        __m256 part[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(),
                          _mm256_setzero_ps()};
        int j = 0;
        for (; j + 8 <= templ.cols; j += 8) {
            const __m256 tv = _mm256_loadu_ps(t + j);
            for (int k = 0; k < 4; ++k)
                part[k] = _mm256_add_ps(part[k], _mm256_mul_ps(tv, _mm256_loadu_ps(m + j + k)));
        }
        // Pairs, pairs of pairs, then the halves: `dot`'s order, four at once.
        const __m256 h =
            _mm256_hadd_ps(_mm256_hadd_ps(part[0], part[1]), _mm256_hadd_ps(part[2], part[3]));
        __m128 sum = _mm_add_ps(_mm256_castps256_ps128(h), _mm256_extractf128_ps(h, 1));
        for (; j < templ.cols; ++j)
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(t[j]), _mm_loadu_ps(m + j)));
        total = _mm256_add_pd(total, _mm256_cvtps_pd(sum));
    }
    _mm256_storeu_pd(out, total);
}
#endif

// The sum of the template times the image at each place, directly.
cv::Mat direct_sums(const cv::Mat &image, const cv::Mat &templ, cv::Size places)
{
    cv::Mat sums(places, CV_64FC1);
    for (int y = 0; y < places.height; ++y) {
        double *row = sums.ptr<double>(y);
        int x = 0;
#ifdef ARDENTIS_X86_64
        // Four at a time, the last four ending at the row's end.
        if (wide_vectors())
            for (; places.width >= 4 && x < places.width; x += 4) {
                x = std::min(x, places.width - 4);
                four_place_sums(image, templ, x, y, row + x);
            }
#endif
        for (; x < places.width; ++x)
            row[x] = place_sum(image, templ, x, y);
    }
    return sums;
}

// The least length of at least `n` whose only factors are 2 and 3: the image
// library transforms those fastest.
int transform_length(int n)
{
    int best = 1;
    while (best < n)
        best *= 2;
    for (int threes = 3; threes < 2 * n; threes *= 3)
        for (int length = threes; length < best; length *= 2)
            if (length >= n)
                best = length;
    return best;
}

cv::Size transform_size(cv::Size image)
{
    return {transform_length(image.width), transform_length(image.height)};
}

// Whether the transform costs less than the direct sums, by their counts of
// multiplications, the transform's weighed by what its passes cost more.
bool by_transform(cv::Size image, cv::Size templ, cv::Size places)
{
    const double direct = double(places.area()) * templ.area();
    const double n = double(transform_size(image).area());
    constexpr double transform_weight = 10;
    return direct > transform_weight * n * std::log2(n);
}

// The coefficients from the sums of the centred template times the image,
// and the image's sums and sums of squares under the template, at each place
// of a row; `norm` is the centred template's, `area` its pixel count.
void coefficients(const double *num, const double *s0, const double *s1, const double *q0,
                  const double *q1, int width, int cols, double norm, double area, float *out)
{
    for (int x = 0; x < width; ++x) {
        const double s = s1[x + cols] - s1[x] - s0[x + cols] + s0[x];
        const double s2 = q1[x + cols] - q1[x] - q0[x + cols] + q0[x];
        const double spread = std::max(s2 - s * s / area, 0.0);
        // A flat part of the image correlates with nothing; beyond rounding
        // the coefficient cannot exceed 1.
        const bool flat = spread <= std::min(0.5, 10 * FLT_EPSILON * s2);
        const double r = num[x] / (std::sqrt(spread) * norm);
        const double a = std::abs(r);
        out[x] = float(flat ? 0.0 : a < 1 ? r : a < 1.125 ? std::copysign(1.0, r) : 0.0);
    }
}

// The image's sums and sums of squares as integral images for the places of
// a template of `size`, and how far apart the corners of a place lie in them:
// for a single place, only its four corners.
cv::Size window_sums(const cv::Mat &image, cv::Size size, cv::Size places, cv::Mat &sum,
                     cv::Mat &square_sum)
{
    if (places.area() > 1) {
        cv::integral(image, sum, square_sum, CV_64F, CV_64F);
        return size;
    }
    const cv::Mat under = image(cv::Rect(cv::Point(), size));
    sum = cv::Mat(2, 2, CV_64FC1, cv::Scalar(0));
    square_sum = sum.clone();
    sum.at<double>(1, 1) = cv::sum(under)[0];
    square_sum.at<double>(1, 1) = under.dot(under);
    return {1, 1};
}

} // namespace

CorrelationTemplate::CorrelationTemplate(const cv::Mat &templ)
{
    cv::subtract(templ, cv::mean(templ), centred_);
    norm_ = std::sqrt(centred_.dot(centred_));
}

const cv::Mat &CorrelationTemplate::spectrum(cv::Size size) const
{
    for (const auto &s : spectra_)
        if (s.first == size)
            return s.second;
    cv::Mat padded(size, CV_32FC1, cv::Scalar(0));
    centred_.copyTo(padded(cv::Rect(cv::Point(), centred_.size())));
    cv::dft(padded, padded, 0, centred_.rows);
    spectra_.emplace_back(size, padded);
    return spectra_.back().second;
}

cv::Mat CorrelationTemplate::correlate(const cv::Mat &image) const
{
    const cv::Size places(image.cols - centred_.cols + 1, image.rows - centred_.rows + 1);
    const double area = double(centred_.total());
    cv::Mat out(places, CV_32FC1);
    if (norm_ * norm_ / area < DBL_EPSILON) {
        out.setTo(1);
        return out;
    }
    cv::Mat sums;
    if (by_transform(image.size(), centred_.size(), places)) {
        // The product of the image's spectrum with the conjugate of the
        // template's is their correlation. Without its mean the image gives
        // the same sums (the centred template's add up to 0), rounded less.
        const cv::Size size = transform_size(image.size());
        cv::Mat a(size, CV_32FC1, cv::Scalar(0));
        cv::subtract(image, cv::mean(image), a(cv::Rect(cv::Point(), image.size())));
        cv::dft(a, a, 0, image.rows);
        cv::mulSpectrums(a, spectrum(size), a, 0, true);
        cv::dft(a, a, cv::DFT_INVERSE | cv::DFT_SCALE | cv::DFT_REAL_OUTPUT, places.height);
        a(cv::Rect(cv::Point(), places)).convertTo(sums, CV_64F);
    } else {
        sums = direct_sums(image, centred_, places);
    }
    cv::Mat sum, square_sum;
    const cv::Size span = window_sums(image, centred_.size(), places, sum, square_sum);
    for (int y = 0; y < places.height; ++y)
        coefficients(sums.ptr<double>(y), sum.ptr<double>(y), sum.ptr<double>(y + span.height),
                     square_sum.ptr<double>(y), square_sum.ptr<double>(y + span.height),
                     places.width, span.width, norm_, area, out.ptr<float>(y));
    return out;
}

} // namespace ardentis
