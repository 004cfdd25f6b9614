#include "analysis/alignment.h"

#include "analysis/vegetation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace ardentis
{

namespace
{

cv::Mat resized(const cv::Mat &picture, int width, int height)
{
    cv::Mat out;
    cv::resize(picture, out, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    return out;
}

// round(0.5 * a + 0.5 * b) with halves away from zero, for bytes.
void average_up(const uchar *a, const uchar *b, uchar *out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = uchar((a[i] + b[i] + 1) >> 1);
}

// round(0.5 * a), halves away from zero: the photograph over the black canvas.
void half_up(const uchar *a, uchar *out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = uchar((a[i] + 1) >> 1);
}

} // namespace

const char *mask_name(MaskMethod method)
{
    return method == MaskMethod::ExGR ? "exgr" : "gb";
}

Field whole_field_inside(const cv::Rect2d &r, cv::Size photo)
{
    Field f;
    f.width = std::clamp(int(std::lround(r.width)), 1, photo.width);
    f.height = std::clamp(int(std::lround(r.height)), 1, photo.height);
    f.x = std::clamp(int(std::lround(r.x)), 0, photo.width - f.width);
    f.y = std::clamp(int(std::lround(r.y)), 0, photo.height - f.height);
    return f;
}

double field_shift(const Field &from, const Field &to)
{
    double most = 0;
    for (const int right : {0, 1})
        for (const int down : {0, 1})
            most =
                std::max(most, std::hypot(to.x + right * to.width - from.x - right * from.width,
                                          to.y + down * to.height - from.y - down * from.height));
    return most;
}

QString pictures_problem(const cv::Mat &ir, const cv::Mat &rgb, const Field &field)
{
    if (ir.empty())
        return QStringLiteral("The radiometric image cannot be decoded.");
    if (ir.type() != CV_8UC3)
        return QStringLiteral("The radiometric image is not a picture of three 8-bit channels.");
    if (rgb.empty())
        return QStringLiteral("The photograph cannot be decoded.");
    if (rgb.type() != CV_8UC3)
        return QStringLiteral("The photograph is not a picture of three 8-bit channels.");
    if (!field_fits(field, rgb.size()))
        return QStringLiteral("The photograph is %1 x %2 pixels, smaller than %3 x %4.")
            .arg(rgb.cols)
            .arg(rgb.rows)
            .arg(field.x + field.width)
            .arg(field.y + field.height);
    return {};
}

cv::Mat aligned_blend(const cv::Mat &ir, const cv::Mat &rgb, const Field &field)
{
    const cv::Mat ir_scaled = resized(ir, field.width, field.height);
    cv::Mat blend(rgb.size(), CV_8UC3);
    const size_t left = size_t(field.x) * 3, span = size_t(field.width) * 3;
    const size_t row_bytes = size_t(rgb.cols) * 3;
    for (int r = 0; r < rgb.rows; ++r) {
        const uchar *photo = rgb.ptr<uchar>(r);
        uchar *out = blend.ptr<uchar>(r);
        const int fr = r - field.y;
        if (fr < 0 || fr >= field.height) {
            half_up(photo, out, row_bytes);
            continue;
        }
        half_up(photo, out, left);
        average_up(ir_scaled.ptr<uchar>(fr), photo + left, out + left, span);
        half_up(photo + left + span, out + left + span, row_bytes - left - span);
    }
    return blend;
}

cv::Mat plant_mask(const cv::Mat &part, int width, int height, const MaskOptions &mask)
{
    cv::Mat plant(height, width, CV_8UC1);
    if (mask.method == MaskMethod::GreenOverBlue) {
        const cv::Mat part_scaled = resized(part, width, height);
        for (int r = 0; r < height; ++r) {
            const auto *bgr = part_scaled.ptr<cv::Vec3b>(r);
            auto *out = plant.ptr<uchar>(r);
            for (int c = 0; c < width; ++c)
                out[c] = bgr[c][1] > bgr[c][0] ? 255 : 0;
        }
        return plant;
    }
    // The share of plant among the photograph pixels each thermal pixel covers.
    const cv::Mat share = exgr_plant_shares(part, cv::Size(width, height));
    const float least = float(mask.purity) - 1e-6f; // area sums carry rounding
    for (int r = 0; r < height; ++r) {
        const float *s = share.ptr<float>(r);
        auto *out = plant.ptr<uchar>(r);
        for (int c = 0; c < width; ++c)
            out[c] = s[c] >= least ? 255 : 0;
    }
    return plant;
}

bool black_picture(const cv::Mat &picture)
{
    const double most_readable = 0.01 * double(picture.total());
    double readable = 0;
    for (int r = 0; r < picture.rows; ++r) {
        const auto *bgr = picture.ptr<cv::Vec3b>(r);
        for (int c = 0; c < picture.cols; ++c)
            readable += bgr[c][0] + bgr[c][1] + bgr[c][2] >= darkest_readable_sum;
        if (readable > most_readable)
            return false;
    }
    return true;
}

PairPictures compute_pair(const cv::Mat &ir, const cv::Mat &rgb, const cv::Mat &temps,
                          const Field &field, const MaskOptions &mask)
{
    const int width = temps.cols, height = temps.rows;
    PairPictures out;
    out.blend = aligned_blend(ir, rgb, field);
    out.part = rgb(field.rect());
    out.plant = plant_mask(out.part, width, height, mask);

    // The radiometric picture on the raw thermal grid.
    const cv::Mat ir_grid = ir.cols == width && ir.rows == height ? ir : resized(ir, width, height);
    out.masked = cv::Mat(height, width, CV_8UC3, cv::Scalar::all(0));
    ir_grid.copyTo(out.masked, out.plant);

    double sum = 0.0;
    int count = 0;
    for (int r = 0; r < height; ++r) {
        const double *t = temps.ptr<double>(r);
        const uchar *p = out.plant.ptr<uchar>(r);
        for (int c = 0; c < width; ++c) {
            if (p[c] && !std::isnan(t[c])) {
                sum += t[c];
                ++count;
            }
        }
    }
    out.mean = sum / count;
    return out;
}

} // namespace ardentis
