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

// What the exchange also brings of the photograph a radiometric image keeps
// inside it (Measurement::photo).
enum class KeptPhoto {
    None,
    // The camera's alignment values and the photograph's size, for a separate
    // photograph of the same view.
    Alignment,
    Whole, // the photograph itself and the alignment values
};

// The arguments of the single exchange on `file`.
QStringList one_exchange_arguments(const QString &file, Radiometry model,
                                   KeptPhoto photo = KeptPhoto::None);

// Measures one radiometric image in one exchange. With `flag_er` true the
// emissivity and reflected temperature are `emissivity` and `t_refl`;
// otherwise the image's own. The full model also reads the air and window
// values, each of which must be in the file.
Measurement measure_in_one_exchange(ExifTool &tool, const QString &file, bool flag_er,
                                    double emissivity, double t_refl, Radiometry model,
                                    KeptPhoto photo = KeptPhoto::None);

// What one file of a folder is, as pairing by capture time needs to know it.
struct FileFacts {
    QString problem;      // why the tool could not read the file; nothing else is known
    bool raw = false;     // it holds raw thermal data: a radiometric image
    QByteArray date_time; // DateTimeOriginal as written; empty when it has none
    cv::Size embedded;    // the photograph it keeps inside; empty when none
    QByteArray mime;      // its kind as the tool tells it (image/jpeg); empty when not told
};

// The facts of `file` in one light exchange (no picture data are read).
FileFacts read_file_facts(ExifTool &tool, const QString &file);

} // namespace ardentis
