#pragma once
// One pair's pictures: the thermal picture placed over its field in the
// photograph, the cut photograph, the plant mask, the masked thermal picture
// and the per-pixel plant temperatures.

#include <QString>
#include <opencv2/core.hpp>

#include <string>

namespace ardentis
{

// Where the thermal camera's picture lies in the photograph, in photograph
// pixels. The default is the field of the camera and distance the program was
// made for.
struct Field {
    int x = 597, y = 504, width = 870, height = 640;
    cv::Rect rect() const { return {x, y, width, height}; }
    bool operator==(const Field &o) const
    {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

// Whether a photograph of `photo` holds `field`, whose corner is not
// negative.
inline bool field_fits(const Field &field, cv::Size photo)
{
    return field.x + field.width <= photo.width && field.y + field.height <= photo.height;
}

// The field of whole pixels nearest to the rectangle `r` (photograph pixels,
// height as given), at least a pixel and at most the photograph in size,
// moved just inside the photograph where it reaches beyond.
Field whole_field_inside(const cv::Rect2d &r, cv::Size photo);

// How far `to` lies from `from`, in photograph pixels: the farthest any of
// its corners lies from the same corner of `from`, so the most any point of
// the thermal picture moved. For a field only moved, the distance it moved;
// a field also scaled moves the corners on one side more than the others.
double field_shift(const Field &from, const Field &to);

// How plant is told from the rest.
enum class MaskMethod {
    GreenOverBlue, // green stronger than blue, on the cut photograph scaled to the raw grid
    ExGR, // excess green minus excess red on the photograph, carried to the raw grid by area
};

struct MaskOptions {
    MaskMethod method = MaskMethod::GreenOverBlue;
    // ExGR: the least share of a thermal pixel's photograph pixels that must be plant.
    double purity = 0.5;
};

// The method's name in option values and stats.csv ("gb", "exgr").
const char *mask_name(MaskMethod method);

// Why a pair's pictures cannot be processed with `field`, or an empty text
// when they can: both decoded to three 8-bit channels and the photograph
// holds the field.
QString pictures_problem(const cv::Mat &ir, const cv::Mat &rgb, const Field &field = {});

// The photograph with the thermal picture scaled into the field, both at half
// weight, rounded half away from zero.
cv::Mat aligned_blend(const cv::Mat &ir, const cv::Mat &rgb, const Field &field = {});

// Plant pixels (255) on the raw grid of `width` × `height`, from the part of
// the photograph under the field.
cv::Mat plant_mask(const cv::Mat &part, int width, int height, const MaskOptions &mask);

// Whether hardly any pixel of `picture` (CV_8UC3; at most 1 %, noise and
// compression artefacts) is bright enough to tell its colour: a black
// photograph, in which nothing can be told for plant.
bool black_picture(const cv::Mat &picture);

// The pair's pictures and plant mask, computed before any file is written.
struct PairPictures {
    cv::Mat blend, part, masked; // the 0Aligned, 1PartRGB (a view of the photograph) and
                                 // 2Mascara pictures
    cv::Mat plant;               // CV_8UC1 on the raw grid, 255 where plant
    double mean = 0;             // of plant pixels that have a temperature; NaN when none
};

// `temps` holds one temperature per raw thermal pixel (CV_64FC1, NaN where a
// pixel has none); the mask and the table have one value per raw pixel, the
// radiometric picture being scaled to the raw size when the two differ. The
// caller checks pictures_problem first.
PairPictures compute_pair(const cv::Mat &ir, const cv::Mat &rgb, const cv::Mat &temps,
                          const Field &field = {}, const MaskOptions &mask = {});

} // namespace ardentis
