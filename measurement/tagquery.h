#pragma once
// Everything the run needs from one radiometric image in one ExifTool
// exchange: a JSON answer carrying the raw thermal image in base64 and the
// values unconverted, which are exactly the texts the per-tag queries give.

#include "measurement/exiftool.h"
#include "measurement/temperature.h"

#include <QByteArray>
#include <map>

namespace ardentis
{

// The fields of the first object of ExifTool's JSON answer: string values
// unescaped, other values as written. `broken`, when given, tells whether the
// answer begins an object it does not complete (a bad escape, a cut).
std::map<QByteArray, QByteArray> json_fields(const QByteArray &answer, bool *broken = nullptr);

// The arguments of the single exchange on `file`; with `photo` also the
// photograph kept inside it and its alignment values.
QStringList one_exchange_arguments(const QString &file, Radiometry model, bool photo = false);

// Measures one radiometric image in one exchange. With `flag_er` true the
// emissivity and reflected temperature are `emissivity` and `t_refl`;
// otherwise the image's own. The full model also reads the air and window
// values, each of which must be in the file. With `photo` the same exchange
// also brings the photograph kept inside the image (Measurement::photo).
Measurement measure_in_one_exchange(ExifTool &tool, const QString &file, bool flag_er,
                                    double emissivity, double t_refl, Radiometry model,
                                    bool photo = false);

} // namespace ardentis
