#pragma once
// One pair's pictures: the thermal picture placed over the fixed field of the
// photograph, the cut photograph, the plant mask and the per-pixel plant
// temperatures.

#include <QString>
#include <opencv2/core.hpp>

namespace ardentis
{

// The thermal camera's field inside the photograph.
constexpr int field_width = 870;
constexpr int field_height = 640;
constexpr int field_left = 597;
constexpr int field_top = 504;

// Why a pair's pictures cannot be processed, or an empty text when they can:
// both decoded to three 8-bit channels and the photograph covers the field.
QString pictures_problem(const cv::Mat &ir, const cv::Mat &rgb);

// Why a radiometric image's temperatures cannot be used, or an empty text.
QString temperatures_problem(const cv::Mat &temps);

// The photograph with the thermal picture scaled into the field, both at half
// weight, rounded half away from zero.
cv::Mat aligned_blend(const cv::Mat &ir, const cv::Mat &rgb);

// A pixel is plant when its green value exceeds its blue value.
inline bool is_plant(const cv::Vec3b &bgr)
{
    return bgr[1] > bgr[0];
}

// The file paths of one pair's results.
struct PairFiles {
    QString aligned, part, table, mask;
};
PairFiles pair_files(const QString &output_dir, int file_number);

// Writes the pair's four files into the result folders below `output_dir`
// (which exist) and returns the mean plant temperature, NaN when no pixel is
// plant. `temps` holds one temperature per raw thermal pixel (CV_64FC1); the
// mask and the table have one value per raw pixel, the radiometric picture
// being scaled to the raw size when the two differ. Everything is computed
// before the first file is written. The caller checks pictures_problem and temperatures_problem
// first; on a failed write `error` tells which file.
double process_pair(const cv::Mat &ir, const cv::Mat &rgb, const cv::Mat &temps,
                    const QString &output_dir, int file_number, QString *error = nullptr);

} // namespace ardentis
