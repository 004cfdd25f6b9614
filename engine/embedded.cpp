#include "engine/embedded.h"

#include "analysis/camerafield.h"
#include "pictures/imagesize.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace ardentis
{

FieldChoice options_field(const RunOptions &options)
{
    return {options.field, options.search_field, false};
}

bool uses_camera_field(const PairPlan &plan, const RunOptions &options)
{
    if (plan.photo == PhotoSource::Embedded)
        return options.camera_field || options.search_field || !options.field_given;
    return options.camera_field || options.search_field;
}

bool searches_field(const PairPlan &plan, const RunOptions &options)
{
    const bool field_asked = options.camera_field || options.search_field || options.field_given;
    return options.search_field || (plan.photo == PhotoSource::Embedded && !field_asked);
}

KeptPhoto kept_photo(const PairPlan &plan, const RunOptions &options)
{
    if (plan.photo == PhotoSource::Embedded)
        return KeptPhoto::Whole;
    return uses_camera_field(plan, options) ? KeptPhoto::Alignment : KeptPhoto::None;
}

QString pictures_problem_for(const cv::Mat &ir, const cv::Mat &rgb, const FieldChoice &choice)
{
    // A search places its field wherever the photograph holds one.
    return pictures_problem(ir, rgb, choice.search ? Field{0, 0, 1, 1} : choice.field);
}

namespace
{

// The camera keeps a PNG photograph in luma and chroma, as a JPEG holds
// them: its red, green and blue channels hold Y, Cb and Cr (full range).
cv::Mat from_luma_and_chroma(const cv::Mat &stored)
{
    // Decoded as blue, green, red: Cr, Cb, Y; the converter takes Y, Cr, Cb.
    cv::Mat ycrcb(stored.size(), CV_8UC3), bgr;
    const int from_to[] = {2, 0, 0, 1, 1, 2};
    cv::mixChannels(&stored, 1, &ycrcb, 1, from_to, 3);
    cv::cvtColor(ycrcb, bgr, cv::COLOR_YCrCb2BGR);
    return bgr;
}

// The photograph kept in a radiometric image, or why there is none to use.
Picture embedded_photograph(const EmbeddedPhoto &photo)
{
    if (photo.bytes.isEmpty())
        return {{},
                QStringLiteral("The radiometric image holds no photograph (no EmbeddedImage).")};
    const auto *data = reinterpret_cast<const std::uint8_t *>(photo.bytes.constData());
    const PictureFormat format = picture_format(data, size_t(photo.bytes.size()));
    if (format == PictureFormat::Unknown)
        return {{},
                QStringLiteral("The photograph in the radiometric image is of an unknown format "
                               "(neither JPEG, PNG, TIFF nor BMP).")};
    Picture decoded = decode_picture(
        photo.bytes, QStringLiteral("photograph in the radiometric image"), Turning::Upright);
    if (format == PictureFormat::Png && decoded.image.type() == CV_8UC3)
        decoded.image = from_luma_and_chroma(decoded.image);
    return decoded;
}

// The camera's field in the pair's photograph, or why its values give none.
CameraField pair_camera_field(const PairPlan &plan, const Measurement &m, cv::Size photo,
                              bool turned)
{
    const EmbeddedPhoto &kept = m.photo;
    if (!kept.alignment_problem.isEmpty())
        return {{}, kept.alignment_problem};
    if (plan.photo == PhotoSource::Embedded)
        return camera_field(photo, m.temps.size(), kept.real2ir, kept.offset_x, kept.offset_y);
    return camera_field_in_copy(photo, kept.size, turned, m.temps.size(), kept.real2ir,
                                kept.offset_x, kept.offset_y);
}

} // namespace

QString photograph_and_field(const PairPlan &plan, const Measurement &m, const cv::Mat &ir,
                             const RunOptions &options, bool turned, cv::Mat &rgb,
                             FieldChoice &choice)
{
    choice = options_field(options);
    choice.search = searches_field(plan, options);
    if (plan.photo == PhotoSource::Embedded) {
        const Picture photo = embedded_photograph(m.photo);
        if (!photo.problem.isEmpty())
            return photo.problem;
        rgb = photo.image;
    } else if (!uses_camera_field(plan, options)) {
        return {}; // checked with its field before the radiometric image was measured
    }
    if (uses_camera_field(plan, options)) {
        const CameraField camera = pair_camera_field(plan, m, rgb.size(), turned);
        const bool prior_search = plan.photo == PhotoSource::Separate && !options.camera_field;
        if (camera.problem.isEmpty()) {
            choice.field = camera.field;
            choice.near = true; // a search stays near the camera's field
        } else if (!prior_search && !options.field_given) {
            return camera.problem;
        }
    }
    return pictures_problem_for(ir, rgb, choice);
}

} // namespace ardentis
