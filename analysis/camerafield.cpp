#include "analysis/camerafield.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace ardentis
{

namespace
{

QString shortest(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

} // namespace

CameraField camera_field(cv::Size photo, cv::Size raw, double real2ir, double offset_x,
                         double offset_y)
{
    CameraField out;
    if (!(real2ir > 0 && real2ir <= max_real2ir))
        out.problem =
            QStringLiteral("Real2IR of the radiometric image is %1; it must be in (0, %2].")
                .arg(shortest(real2ir), shortest(max_real2ir));
    else if (!std::isfinite(offset_x) || !std::isfinite(offset_y))
        out.problem = QStringLiteral("OffsetX and OffsetY of the radiometric image are %1 and %2; "
                                     "they must be numbers.")
                          .arg(shortest(offset_x), shortest(offset_y));
    else if (raw.width < 1 || raw.height < 1)
        out.problem = QStringLiteral("The raw thermal image is empty.");
    if (!out.problem.isEmpty())
        return out;
    const double width = photo.width / real2ir, height = width * raw.height / raw.width;
    const double left = photo.width / 2.0 + offset_x - width / 2,
                 top = photo.height / 2.0 + offset_y - height / 2;
    const double reach = std::max(1.0, max_overhang * width);
    const bool tiny = !(width >= 1 && height >= 1);
    if (tiny || !(left > -reach && top > -reach && left + width < photo.width + reach &&
                  top + height < photo.height + reach)) {
        const auto whole = [](double v) { return QString::number(v, 'f', 0); };
        out.problem =
            QStringLiteral("The camera's alignment values (Real2IR %1, OffsetX %2, OffsetY %3) put "
                           "the thermal field at %4,%5,%6,%7, %8 the photograph (%9 x %10 "
                           "pixels).")
                .arg(shortest(real2ir), shortest(offset_x), shortest(offset_y), whole(left),
                     whole(top), whole(width), whole(height),
                     tiny ? QStringLiteral("less than a pixel across in")
                          : QStringLiteral("outside"))
                .arg(photo.width)
                .arg(photo.height);
        return out;
    }
    // Moved inside where it reaches a little beyond.
    out.field = whole_field_inside({left, top, width, height}, photo);
    return out;
}

CameraField camera_field_in_copy(cv::Size photo, cv::Size kept, bool turned, cv::Size raw,
                                 double real2ir, double offset_x, double offset_y)
{
    if (kept.width < 1 || kept.height < 1)
        return {{},
                QStringLiteral("The radiometric image keeps no photograph of its own, to which the "
                               "camera's alignment values refer.")};
    const auto same_shape = [&photo](cv::Size s) {
        const double aspect = double(photo.width) / photo.height,
                     kept_aspect = double(s.width) / s.height;
        return std::abs(aspect - kept_aspect) <= max_aspect_difference * kept_aspect;
    };
    const cv::Size upright = turned && !same_shape(kept) ? cv::Size(kept.height, kept.width) : kept;
    if (!same_shape(upright))
        return {{},
                QStringLiteral("The photograph (%1 x %2 pixels) is not of the shape of the one "
                               "the radiometric image keeps (%3 x %4), to which the camera's "
                               "alignment values refer.")
                    .arg(photo.width)
                    .arg(photo.height)
                    .arg(kept.width)
                    .arg(kept.height)};
    const double scale = double(photo.width) / upright.width;
    return camera_field(photo, raw, real2ir, offset_x * scale, offset_y * scale);
}

} // namespace ardentis
