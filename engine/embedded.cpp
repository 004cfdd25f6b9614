#include "engine/embedded.h"

#include "analysis/camerafield.h"
#include "pictures/imagesize.h"

namespace ardentis
{

FieldChoice options_field(const RunOptions &options)
{
    return {options.field, options.search_field, false};
}

QString pictures_problem_for(const cv::Mat &ir, const cv::Mat &rgb, const FieldChoice &choice)
{
    // A search places its field wherever the photograph holds one.
    return pictures_problem(ir, rgb, choice.search ? Field{0, 0, 1, 1} : choice.field);
}

namespace
{

// The photograph kept in a radiometric image, or why there is none to use.
Picture embedded_photograph(const EmbeddedPhoto &photo)
{
    if (photo.bytes.isEmpty())
        return {{},
                QStringLiteral("The radiometric image holds no photograph (no EmbeddedImage).")};
    const auto *data = reinterpret_cast<const std::uint8_t *>(photo.bytes.constData());
    if (picture_format(data, size_t(photo.bytes.size())) == PictureFormat::Unknown)
        return {{},
                QStringLiteral("The photograph in the radiometric image is of an unknown format "
                               "(neither JPEG, PNG, TIFF nor BMP).")};
    return decode_picture(photo.bytes, QStringLiteral("photograph in the radiometric image"),
                          Turning::Upright);
}

QString camera_choice(const Measurement &m, const cv::Mat &ir, const cv::Mat &rgb,
                      const RunOptions &options, FieldChoice &choice)
{
    choice = options_field(options);
    if (options.camera_field) {
        QString problem = m.photo.alignment_problem;
        if (problem.isEmpty()) {
            const CameraField camera = camera_field(rgb.size(), m.temps.size(), m.photo.real2ir,
                                                    m.photo.offset_x, m.photo.offset_y);
            problem = camera.problem;
            choice.field = camera.field;
        }
        if (!problem.isEmpty() && !options.field_given)
            return problem;
        if (problem.isEmpty())
            choice.near = true; // a search stays near the camera's field
        else
            choice.field = options.field;
    }
    return pictures_problem_for(ir, rgb, choice);
}

} // namespace

QString embedded_photograph_and_field(const Measurement &m, const cv::Mat &ir,
                                      const RunOptions &options, cv::Mat &rgb, FieldChoice &choice)
{
    const Picture photo = embedded_photograph(m.photo);
    if (!photo.problem.isEmpty())
        return photo.problem;
    rgb = photo.image;
    return camera_choice(m, ir, rgb, options, choice);
}

} // namespace ardentis
