#include "measurement/tagquery.h"

#include <cmath>
#include <cstring>

namespace ardentis
{

namespace
{

class JsonScanner
{
public:
    explicit JsonScanner(const QByteArray &text) : s_(text) {}

    bool expect(char c)
    {
        skip_space();
        if (at_ >= s_.size() || s_[at_] != c)
            return false;
        ++at_;
        return true;
    }
    bool peek(char c)
    {
        skip_space();
        return at_ < s_.size() && s_[at_] == c;
    }
    // A string (unescaped) or any other value as written.
    bool value(QByteArray &out)
    {
        skip_space();
        if (peek('"'))
            return string(out);
        const int start = at_;
        while (at_ < s_.size() && !std::strchr(",}] \t\r\n", s_[at_]))
            ++at_;
        out = s_.mid(start, at_ - start);
        return at_ > start;
    }

private:
    void skip_space()
    {
        while (at_ < s_.size() && std::strchr(" \t\r\n", s_[at_]) && s_[at_])
            ++at_;
    }
    bool string(QByteArray &out)
    {
        ++at_; // the opening quote
        out.clear();
        int quote = -1;
        while (at_ < s_.size() && s_[at_] != '"') {
            // Plain characters in one piece: a raw image or a photograph is
            // a long string.
            const int plain = plain_end(at_, quote);
            out.append(s_.constData() + at_, plain - at_);
            at_ = plain;
            if (at_ >= s_.size() || s_[at_] == '"')
                break;
            ++at_; // the backslash
            if (at_ >= s_.size())
                return false;
            const char e = s_[at_++];
            if (e == 'u') {
                if (!unicode_escape(out))
                    return false;
                continue;
            }
            const int known = QByteArray("\"\\/bfnrt").indexOf(e);
            if (known < 0)
                return false;
            out += "\"\\/\b\f\n\r\t"[known];
        }
        return at_++ < s_.size();
    }
    // The first quote or backslash from `from`, or the end. `quote` keeps
    // the first quote found (at first below `from`): a string of many
    // escapes is read through once, not once for each escape.
    int plain_end(int from, int &quote) const
    {
        if (quote < from) {
            const void *q = std::memchr(s_.constData() + from, '"', size_t(s_.size() - from));
            quote = q ? int(static_cast<const char *>(q) - s_.constData()) : s_.size();
        }
        const void *backslash = std::memchr(s_.constData() + from, '\\', size_t(quote - from));
        return backslash ? int(static_cast<const char *>(backslash) - s_.constData()) : quote;
    }
    bool hex4(uint &code)
    {
        if (at_ + 4 > s_.size())
            return false;
        bool ok = false;
        code = s_.mid(at_, 4).toUInt(&ok, 16);
        at_ += 4;
        return ok;
    }
    bool unicode_escape(QByteArray &out)
    {
        uint code = 0;
        if (!hex4(code))
            return false;
        if (code >= 0xD800 && code < 0xDC00 && s_.mid(at_, 2) == "\\u") {
            at_ += 2;
            uint low = 0;
            if (!hex4(low))
                return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        out += QString::fromUcs4(&code, 1).toUtf8();
        return true;
    }

    const QByteArray &s_;
    int at_ = 0;
};

// The tags of the full model, in the order of the Atmosphere fields.
const char *const air_tags[] = {"ObjectDistance",         "AtmosphericTemperature",
                                "RelativeHumidity",       "IRWindowTemperature",
                                "IRWindowTransmission",   "AtmosphericTransAlpha1",
                                "AtmosphericTransAlpha2", "AtmosphericTransBeta1",
                                "AtmosphericTransBeta2",  "AtmosphericTransX"};

// The camera's limits, in the order of the CameraLimits fields.
const char *const limit_tags[] = {"CameraTemperatureRangeMin",     "CameraTemperatureRangeMax",
                                  "CameraTemperatureMinClip",      "CameraTemperatureMaxClip",
                                  "CameraTemperatureMinSaturated", "CameraTemperatureMaxSaturated"};

double *limit_field(CameraLimits &limits, int i)
{
    double *fields[] = {&limits.range_min, &limits.range_max,     &limits.clip_min,
                        &limits.clip_max,  &limits.saturated_min, &limits.saturated_max};
    return fields[i];
}

double *air_field(Atmosphere &air, int i)
{
    double *fields[] = {
        &air.distance, &air.t_atm,  &air.humidity, &air.t_window, &air.window_transmission,
        &air.alpha1,   &air.alpha2, &air.beta1,    &air.beta2,    &air.x};
    return fields[i];
}

} // namespace

QStringList one_exchange_arguments(const QString &file, Radiometry model, KeptPhoto photo)
{
    // "#" asks for a value without conversion to its printed form: the same
    // text the bare ("-b") per-tag query gives.
    // -fast2: the values all come before the picture, in the FLIR and EXIF
    // segments; nothing after them is read.
    QStringList arguments{QStringLiteral("-fast2"), QStringLiteral("-json"), QStringLiteral("-b"),
                          QStringLiteral("-RawThermalImage"), QStringLiteral("-DateTimeOriginal")};
    for (const char *tag : {"PlanckR1", "PlanckR2", "PlanckB", "PlanckO", "PlanckF", "Emissivity",
                            "ReflectedApparentTemperature"})
        arguments << QStringLiteral("-%1#").arg(QLatin1String(tag));
    for (const char *tag : limit_tags)
        arguments << QStringLiteral("-%1#").arg(QLatin1String(tag));
    if (model == Radiometry::Full)
        for (const char *tag : air_tags)
            arguments << QStringLiteral("-%1#").arg(QLatin1String(tag));
    else // the air as set on the camera, for the stress indices
        arguments << QStringLiteral("-AtmosphericTemperature#")
                  << QStringLiteral("-RelativeHumidity#");
    arguments << QStringLiteral("-FieldOfView#"); // the lens's, for the field search
    // In the FLIR segments too, before the picture: base64 like the raw image.
    if (photo == KeptPhoto::Whole)
        arguments << QStringLiteral("-EmbeddedImage");
    else if (photo == KeptPhoto::Alignment)
        arguments << QStringLiteral("-EmbeddedImageWidth#")
                  << QStringLiteral("-EmbeddedImageHeight#");
    if (photo != KeptPhoto::None)
        for (const char *tag : {"Real2IR#", "OffsetX#", "OffsetY#"})
            arguments << QLatin1Char('-') + QLatin1String(tag);
    arguments << QStringLiteral("--warning") << file;
    return arguments;
}

std::map<QByteArray, QByteArray> json_fields(const QByteArray &answer, bool *broken)
{
    std::map<QByteArray, QByteArray> fields;
    JsonScanner scan(answer);
    if (broken)
        *broken = false;
    if (!scan.expect('[') || !scan.expect('{'))
        return fields;
    QByteArray key, value;
    while (!scan.peek('}') && scan.value(key) && scan.expect(':') && scan.value(value)) {
        fields[key] = value;
        if (!scan.expect(','))
            break;
    }
    if (broken)
        *broken = !scan.expect('}');
    return fields;
}

namespace
{

using Fields = std::map<QByteArray, QByteArray>;

// The value of `tag` as the answer gives it; empty when it gives none.
QByteArray field_text(const Fields &fields, const char *tag)
{
    const auto found = fields.find(tag);
    return found == fields.end() ? QByteArray() : found->second;
}

// A binary value of the answer as its bytes.
QByteArray binary_value(const QByteArray &text)
{
    // Decoded where it lies, after its prefix: the value may be a photograph.
    return text.startsWith("base64:") ? QByteArray::fromBase64(QByteArray::fromRawData(
                                            text.constData() + 7, text.size() - 7))
                                      : text;
}

// The photograph and alignment values of the answer's fields.
EmbeddedPhoto embedded_photo(const Fields &fields)
{
    const auto text = [&fields](const char *tag) { return field_text(fields, tag); };
    EmbeddedPhoto photo;
    photo.bytes = binary_value(text("EmbeddedImage"));
    photo.size = cv::Size(text("EmbeddedImageWidth").toInt(), text("EmbeddedImageHeight").toInt());
    double *values[] = {&photo.real2ir, &photo.offset_x, &photo.offset_y};
    const char *tags[] = {"Real2IR", "OffsetX", "OffsetY"};
    for (int i = 0; i < 3; ++i) {
        const QString written = output_text(text(tags[i]));
        const QString problem = value_text_problem(tags[i], written);
        if (problem.isEmpty())
            *values[i] = text_number(written);
        else if (photo.alignment_problem.isEmpty())
            photo.alignment_problem = problem;
    }
    return photo;
}

// The measurement an answer to one_exchange_arguments gives.
Measurement measurement_from_answer(const ToolAnswer &answer, bool flag_er, double emissivity,
                                    double t_refl, Radiometry model, KeptPhoto photo)
{
    if (!answer.complete()) {
        Measurement failed;
        failed.problem = answer.problem;
        return failed;
    }
    bool broken = false;
    const Fields fields = json_fields(answer.output, &broken);
    if (broken) { // its values would pass for missing ones
        Measurement failed;
        failed.problem = QStringLiteral("ExifTool's answer cannot be read: it is not the JSON "
                                        "it writes.");
        return failed;
    }
    const auto text = [&fields](const char *tag) { return field_text(fields, tag); };
    QString problem; // of the first value that is not a number
    const auto number = [&](const char *tag) {
        const QString written = output_text(text(tag));
        if (problem.isEmpty())
            problem = value_text_problem(tag, written);
        return text_number(written);
    };

    const QByteArray raw_bytes = binary_value(text("RawThermalImage"));
    RawImage raw = decode_raw_thermal(reinterpret_cast<const std::uint8_t *>(raw_bytes.constData()),
                                      size_t(raw_bytes.size()));

    Calibration c;
    c.k = {number("PlanckR1"), number("PlanckR2"), number("PlanckB"), number("PlanckO"),
           number("PlanckF")};
    c.emissivity = flag_er ? emissivity : number("Emissivity");
    c.t_refl = flag_er ? t_refl : number("ReflectedApparentTemperature");
    c.model = model;
    if (model == Radiometry::Full)
        for (int i = 0; i < int(std::size(air_tags)); ++i)
            *air_field(c.air, i) = number(air_tags[i]);
    if (raw.problem.isEmpty())
        raw.problem = problem;
    // A value the run can do without: missing (NaN) when it is not a number.
    const auto known = [&text](const char *tag) {
        const QString written = output_text(text(tag));
        return value_text_problem(tag, written).isEmpty() ? text_number(written) : std::nan("");
    };
    CameraLimits limits;
    for (int i = 0; i < int(std::size(limit_tags)); ++i)
        *limit_field(limits, i) = known(limit_tags[i]);
    c.range = measurable_range(limits);
    Measurement m = convert_checked(raw, c, !flag_er);
    m.time = time_of_day_from_value(text("DateTimeOriginal"));
    m.date_time = text("DateTimeOriginal");
    m.camera_air = known("AtmosphericTemperature");
    m.camera_humidity = known("RelativeHumidity");
    m.field_of_view = known("FieldOfView");
    if (photo != KeptPhoto::None)
        m.photo = embedded_photo(fields);
    return m;
}

} // namespace

Measurement measure_in_one_exchange(ExifTool &tool, const QString &file, bool flag_er,
                                    double emissivity, double t_refl, Radiometry model,
                                    KeptPhoto photo)
{
    return measurement_from_answer(tool.output(one_exchange_arguments(file, model, photo)), flag_er,
                                   emissivity, t_refl, model, photo);
}

FileFacts read_file_facts(ExifTool &tool, const QString &file)
{
    const ToolAnswer answer = tool.output(
        {QStringLiteral("-fast2"), QStringLiteral("-json"), QStringLiteral("-MIMEType"),
         QStringLiteral("-DateTimeOriginal"), QStringLiteral("-RawThermalImageType"),
         QStringLiteral("-EmbeddedImageWidth#"), QStringLiteral("-EmbeddedImageHeight#"),
         QStringLiteral("-Error"), QStringLiteral("--warning"), file});
    FileFacts facts;
    const Fields fields = json_fields(answer.output);
    if (!answer.complete() || fields.empty() || fields.count("Error")) {
        const QString error = QString::fromUtf8(field_text(fields, "Error"));
        facts.problem = !answer.complete() ? answer.problem
                        : error.isEmpty()
                            ? QStringLiteral("ExifTool cannot read it.")
                            : QStringLiteral("ExifTool cannot read it: %1.").arg(error);
        return facts;
    }
    facts.raw = fields.count("RawThermalImageType") > 0;
    facts.date_time = field_text(fields, "DateTimeOriginal");
    facts.mime = field_text(fields, "MIMEType");
    facts.embedded = cv::Size(field_text(fields, "EmbeddedImageWidth").toInt(),
                              field_text(fields, "EmbeddedImageHeight").toInt());
    if (facts.embedded.width <= 0 || facts.embedded.height <= 0)
        facts.embedded = cv::Size();
    return facts;
}

} // namespace ardentis
