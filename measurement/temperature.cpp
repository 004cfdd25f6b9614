#include "measurement/temperature.h"

#include "measurement/exiftool.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

namespace ardentis
{

MeasurableRange measurable_range(const CameraLimits &l)
{
    const double ordered[] = {l.saturated_min, l.clip_min, l.range_min,
                              l.range_max,     l.clip_max, l.saturated_max};
    bool in_order = l.saturated_min > -kelvin_offset && l.saturated_max <= max_celsius &&
                    l.range_min < l.range_max;
    for (size_t i = 0; i + 1 < std::size(ordered); ++i)
        in_order = in_order && ordered[i] <= ordered[i + 1]; // false for NaN
    // Limits out of order come from a damaged record: none of them is trusted.
    if (!in_order)
        return {};
    // At saturation the detector's signal ends: a count beyond it is noise on
    // a saturated pixel, a fraction of a degree at the hot end and a few
    // degrees at the cold end, where one count spans more. This margin covers
    // that and is far below the hundreds of degrees by which damaged
    // constants miss.
    constexpr double saturation_margin = 10;
    return {l.saturated_min - saturation_margin, l.saturated_max + saturation_margin};
}

double black_body_signal(const PlanckConstants &k, double t)
{
    return k.r1 / (k.r2 * (std::exp(k.b / (t + kelvin_offset)) - k.f)) - k.o;
}

double air_transmission(const Atmosphere &air)
{
    // Water vapour content of the air from its temperature and humidity.
    const double t = air.t_atm;
    const double h2o = air.humidity * std::exp(1.5587 + 0.06939 * t - 0.00027816 * t * t +
                                               0.00000068455 * t * t * t);
    const double root_d = std::sqrt(air.distance), root_h = std::sqrt(h2o);
    return air.x * std::exp(-root_d * (air.alpha1 + air.beta1 * root_h)) +
           (1 - air.x) * std::exp(-root_d * (air.alpha2 + air.beta2 * root_h));
}

namespace
{

// The object's signal is (count - offset) / gain.
struct SignalModel {
    double offset, gain;
};

SignalModel signal_model(const Calibration &c)
{
    const double e = c.emissivity;
    if (c.model == Radiometry::Simple)
        return {(1 - e) * black_body_signal(c.k, c.t_refl), e};
    // The camera sees, through the window, the object and its reflection
    // attenuated by the air, the air itself, and the window's own radiation.
    const double tau = air_transmission(c.air), w = c.air.window_transmission;
    return {(1 - w) * black_body_signal(c.k, c.air.t_window) +
                w * tau * (1 - e) * black_body_signal(c.k, c.t_refl) +
                w * (1 - tau) * black_body_signal(c.k, c.air.t_atm),
            w * tau * e};
}

// The shortest text that reads back as `v`, or for a value of single
// precision, as a camera keeps its values, the shortest that reads back as
// that float: 1.01 is read as 1.00999999046326 and named 1.01.
QString number(double v)
{
    const float single = float(v);
    if (std::isfinite(v) && double(single) == v) {
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, single).ptr;
        return QString::fromLatin1(text, int(end - text));
    }
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

} // namespace

cv::Mat convert_counts(const cv::Mat &raw, const Calibration &c, int *without_temperature)
{
    if (raw.type() != CV_16UC1 || raw.empty())
        return {};
    const SignalModel m = signal_model(c);
    const PlanckConstants &k = c.k;
    int missing = 0;
    // Whether the camera measures what a count shows: the count as a black
    // body's temperature within its range. Decided once per count value. The
    // record's highest count is a clipped signal, whatever the constants make
    // of it: the pixel saw that much or more.
    constexpr std::uint16_t clipped = 65535;
    std::vector<std::int8_t> known(clipped + 1, -1);
    const auto measurable = [&](std::uint16_t count) {
        std::int8_t &is = known[count];
        if (is < 0) {
            const double seen = k.b / std::log(k.r1 / (k.r2 * (count + k.o)) + k.f) - kelvin_offset;
            is = count != clipped && seen >= c.range.min && seen <= c.range.max; // false for NaN
        }
        return is == 1;
    };
    cv::Mat temps(raw.rows, raw.cols, CV_64FC1);
    for (int r = 0; r < raw.rows; ++r) {
        const auto *counts = raw.ptr<std::uint16_t>(r);
        auto *out = temps.ptr<double>(r);
        for (int col = 0; col < raw.cols; ++col) {
            const double raw_count = counts[col];
            const double raw_obj = (raw_count - m.offset) / m.gain;
            const double t = k.b / std::log(k.r1 / (k.r2 * (raw_obj + k.o)) + k.f) - kelvin_offset;
            // The object's temperature, after the corrections, is held to
            // the camera's range too: a low emissivity must not make up
            // heat the camera never saw.
            if (measurable(counts[col]) && t >= c.range.min && t <= c.range.max &&
                t >= -kelvin_offset && t <= max_celsius) {
                out[col] = t;
            } else {
                out[col] = std::nan("");
                ++missing;
            }
        }
    }
    if (without_temperature)
        *without_temperature = missing;
    return temps;
}

cv::Mat temperatures_from_raw(const cv::Mat &raw, const PlanckConstants &k, double emissivity,
                              double t_refl)
{
    return convert_counts(raw, {k, emissivity, t_refl, Radiometry::Simple, {}, {}});
}

QString planck_problem(const PlanckConstants &k)
{
    const struct {
        const char *name;
        double value;
        bool positive;
    } constants[] = {{"PlanckR1", k.r1, true},
                     {"PlanckR2", k.r2, true},
                     {"PlanckB", k.b, true},
                     {"PlanckF", k.f, false}};
    for (const auto &c : constants) {
        if (!(c.positive ? c.value > 0 : c.value >= 0) || !std::isfinite(c.value))
            return QStringLiteral("%1 of the radiometric image is %2; it must be %3.")
                .arg(QLatin1String(c.name), number(c.value),
                     c.positive ? QStringLiteral("a positive number")
                                : QStringLiteral("a number of 0 or more"));
    }
    if (!std::isfinite(k.o))
        return QStringLiteral("PlanckO of the radiometric image is %1; it must be a number.")
            .arg(number(k.o));
    return {};
}

QString emissivity_problem(double emissivity, const QString &source)
{
    if (emissivity > 0 && emissivity <= 1)
        return {};
    return QStringLiteral("The emissivity %1 %2 is outside (0, 1].")
        .arg(number(emissivity), source);
}

QString t_refl_problem(double t_refl, const QString &source)
{
    if (t_refl > -kelvin_offset && std::isfinite(t_refl))
        return {};
    return QStringLiteral("The reflected temperature %1 °C %2 is not above absolute zero.")
        .arg(number(t_refl), source);
}

QString atmosphere_problem(const Atmosphere &air)
{
    const auto out_of_range = [](const char *name, double v, const char *range) {
        return QStringLiteral("%1 of the radiometric image is %2; it must be %3.")
            .arg(QLatin1String(name), number(v), QLatin1String(range));
    };
    if (!(air.distance >= 0 && std::isfinite(air.distance)))
        return out_of_range("ObjectDistance", air.distance, "0 m or more");
    if (!(air.humidity >= 0 && air.humidity <= 1))
        return out_of_range("RelativeHumidity", air.humidity, "between 0 and 1");
    if (!(air.window_transmission > 0 && air.window_transmission <= 1))
        return out_of_range("IRWindowTransmission", air.window_transmission, "in (0, 1]");
    if (!(air.t_atm > -kelvin_offset && std::isfinite(air.t_atm)))
        return out_of_range("AtmosphericTemperature", air.t_atm, "above absolute zero");
    if (!(air.t_window > -kelvin_offset && std::isfinite(air.t_window)))
        return out_of_range("IRWindowTemperature", air.t_window, "above absolute zero");
    for (double v : {air.alpha1, air.alpha2, air.beta1, air.beta2, air.x})
        if (!std::isfinite(v))
            return out_of_range("AtmosphericTrans", v, "a number");
    // The camera's model of the air holds over the distances it was fitted
    // for; beyond, it gives a transmission of 0 or less, which would turn
    // warmer counts into colder temperatures.
    const double tau = air_transmission(air);
    if (!(tau > 0))
        return QStringLiteral("The air's transmission that the radiometric image's values give "
                              "(ObjectDistance %1 m, AtmosphericTemperature %2 °C, "
                              "RelativeHumidity %3) is %4; it must be above 0.")
            .arg(number(air.distance), number(air.t_atm), number(air.humidity),
                 QString::number(tau, 'f', 3));
    return {};
}

Measurement convert_checked(const RawImage &raw, const Calibration &c, bool file_values)
{
    Measurement m;
    m.calibration = c;
    const QString from_file = QStringLiteral("of the radiometric image");
    m.problem = raw.problem;
    if (m.problem.isEmpty())
        m.problem = planck_problem(c.k);
    if (m.problem.isEmpty() && file_values)
        m.problem = emissivity_problem(c.emissivity, from_file);
    if (m.problem.isEmpty() && file_values)
        m.problem = t_refl_problem(c.t_refl, from_file);
    if (m.problem.isEmpty() && c.model == Radiometry::Full)
        m.problem = atmosphere_problem(c.air);
    if (m.problem.isEmpty())
        m.temps = convert_counts(raw.counts, c, &m.without_temperature);
    return m;
}

Measurement measure_temperatures(ExifTool &tool, bool flag_er, const QString &file, double *emi_in,
                                 double *t_refl_in, const QString &work_file)
{
    // Why the tool gave no answer: one that hangs is not asked again.
    QString failed = query_raw_thermal_image(tool, file, work_file);
    RawImage raw = failed.isEmpty() ? read_raw_thermal(work_file) : RawImage{{}, failed};

    QString problem; // of the first value that is not a number
    const auto value = [&](const char *tag) {
        const ToolAnswer answer = failed.isEmpty() ? query_tag(tool, tag, file) : ToolAnswer{};
        if (failed.isEmpty())
            failed = answer.problem;
        const QString text = output_text(answer.output);
        if (problem.isEmpty())
            problem = failed.isEmpty() ? value_text_problem(tag, text) : failed;
        return text_number(text);
    };
    Calibration c;
    c.k.r1 = value("PlanckR1");
    c.k.r2 = value("PlanckR2");
    c.k.b = value("PlanckB");
    c.k.o = value("PlanckO");
    c.k.f = value("PlanckF");
    if (!flag_er) {
        *emi_in = value("Emissivity");
        *t_refl_in = value("ReflectedApparentTemperature");
    }
    c.emissivity = *emi_in;
    c.t_refl = *t_refl_in;
    if (raw.problem.isEmpty())
        raw.problem = problem;
    return convert_checked(raw, c, !flag_er);
}

} // namespace ardentis
