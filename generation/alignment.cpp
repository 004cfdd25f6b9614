#include "alignment.h"

#include "cnumber.h"

#include <QFile>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <limits>
#include <string>
#include <vector>

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

bool write_file(const QString &path, const char *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(data, qint64(size)) == qint64(size) && file.flush();
}

} // namespace

QString pictures_problem(const cv::Mat &ir, const cv::Mat &rgb)
{
    if (ir.empty())
        return QStringLiteral("The radiometric image cannot be decoded.");
    if (ir.type() != CV_8UC3)
        return QStringLiteral("The radiometric image is not a picture of three 8-bit channels.");
    if (rgb.empty())
        return QStringLiteral("The photograph cannot be decoded.");
    if (rgb.type() != CV_8UC3)
        return QStringLiteral("The photograph is not a picture of three 8-bit channels.");
    if (rgb.cols < field_left + field_width || rgb.rows < field_top + field_height)
        return QStringLiteral("The photograph is %1 x %2 pixels, smaller than %3 x %4.")
            .arg(rgb.cols)
            .arg(rgb.rows)
            .arg(field_left + field_width)
            .arg(field_top + field_height);
    return {};
}

QString temperatures_problem(const cv::Mat &temps)
{
    if (temps.empty() || temps.type() != CV_64FC1)
        return QStringLiteral("No temperatures could be read from the radiometric image (no raw "
                              "thermal data in it, or ExifTool missing).");
    return {};
}

namespace
{

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

cv::Mat aligned_blend(const cv::Mat &ir, const cv::Mat &rgb)
{
    const cv::Mat ir_scaled = resized(ir, field_width, field_height);
    cv::Mat blend(rgb.size(), CV_8UC3);
    const size_t left = size_t(field_left) * 3, field = size_t(field_width) * 3;
    const size_t row_bytes = size_t(rgb.cols) * 3;
    for (int r = 0; r < rgb.rows; ++r) {
        const uchar *photo = rgb.ptr<uchar>(r);
        uchar *out = blend.ptr<uchar>(r);
        const int fr = r - field_top;
        if (fr < 0 || fr >= field_height) {
            half_up(photo, out, row_bytes);
            continue;
        }
        half_up(photo, out, left);
        average_up(ir_scaled.ptr<uchar>(fr), photo + left, out + left, field);
        half_up(photo + left + field, out + left + field, row_bytes - left - field);
    }
    return blend;
}

PairFiles pair_files(const QString &output_dir, int file_number)
{
    const QString n = QString::number(file_number);
    return {output_dir + QStringLiteral("/0Aligned/0Aligned_") + n + QStringLiteral(".jpg"),
            output_dir + QStringLiteral("/1PartRGB/1PartRGB_") + n + QStringLiteral(".jpg"),
            output_dir + QStringLiteral("/3tempmask/3tempmask_") + n + QStringLiteral(".csv"),
            output_dir + QStringLiteral("/2Mascara/2Mascara1_") + n + QStringLiteral(".jpg")};
}

double process_pair(const cv::Mat &ir, const cv::Mat &rgb, const cv::Mat &temps,
                    const QString &output_dir, int file_number, QString *error)
{
    const int width = temps.cols, height = temps.rows;
    // The radiometric picture on the raw thermal grid.
    const cv::Mat ir_grid = ir.cols == width && ir.rows == height ? ir : resized(ir, width, height);

    const cv::Mat blend = aligned_blend(ir, rgb);
    const cv::Mat part = rgb(cv::Rect(field_left, field_top, field_width, field_height)).clone();
    const cv::Mat part_scaled = resized(part, width, height);

    cv::Mat mask(height, width, CV_8UC3, cv::Scalar::all(0));
    std::string table;
    table.reserve(size_t(width) * size_t(height) * 11);
    double sum = 0.0;
    int count = 0;
    for (int r = 0; r < height; ++r) {
        const auto *cut = part_scaled.ptr<cv::Vec3b>(r);
        const auto *thermal = ir_grid.ptr<cv::Vec3b>(r);
        const double *t = temps.ptr<double>(r);
        auto *masked = mask.ptr<cv::Vec3b>(r);
        for (int c = 0; c < width; ++c) {
            const bool plant = is_plant(cut[c]);
            // The table keeps 0 times the temperature for other pixels; the
            // mean takes plant pixels only, so that a soil pixel whose
            // temperature is not a number cannot spoil it.
            const double v = (plant ? 1.0 : 0.0) * t[c];
            if (plant) {
                masked[c] = thermal[c];
                sum += v;
                ++count;
            }
            table += format_fixed6(v);
            table += ',';
        }
        table += '\n';
    }
    const double mean = sum / count;

    std::vector<uchar> aligned_jpeg, part_jpeg, mask_jpeg;
    const bool encoded = cv::imencode(".jpg", blend, aligned_jpeg) &&
                         cv::imencode(".jpg", part, part_jpeg) &&
                         cv::imencode(".jpg", mask, mask_jpeg);
    if (!encoded) {
        if (error)
            *error = QStringLiteral("The result pictures cannot be encoded.");
        return std::numeric_limits<double>::quiet_NaN();
    }
    const PairFiles files = pair_files(output_dir, file_number);
    const struct {
        const QString &path;
        const char *data;
        size_t size;
    } writes[] = {
        {files.aligned, reinterpret_cast<const char *>(aligned_jpeg.data()), aligned_jpeg.size()},
        {files.part, reinterpret_cast<const char *>(part_jpeg.data()), part_jpeg.size()},
        {files.table, table.data(), table.size()},
        {files.mask, reinterpret_cast<const char *>(mask_jpeg.data()), mask_jpeg.size()},
    };
    for (const auto &w : writes) {
        if (!write_file(w.path, w.data, w.size)) {
            if (error)
                *error = QStringLiteral("%1 cannot be written.").arg(w.path);
            return std::numeric_limits<double>::quiet_NaN();
        }
    }
    return mean;
}

} // namespace ardentis
