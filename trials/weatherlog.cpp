#include "trials/weatherlog.h"

#include "common/cnumber.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>

namespace ardentis
{

std::optional<LocalTime> local_time(const QString &text)
{
    // One per thread: workers read their pairs' capture times side by side.
    thread_local const QRegularExpression form(QStringLiteral(
        R"(^\s*(\d{4})([-:])(\d{2})\2(\d{2})[ T](\d{2}):(\d{2})(?::(\d{2})(?:[.,]\d+)?)?)"
        R"((?:\s*(?:Z|[+-]\d{2}:?\d{2}))?\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const auto part = [&m](int i) { return m.captured(i).toInt(); };
    const QDate date(part(1), part(3), part(4));
    const int h = part(5), min = part(6), s = m.captured(7).isEmpty() ? 0 : part(7);
    if (!date.isValid() || h > 23 || min > 59 || s > 59)
        return std::nullopt;
    return (date.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400 + h * 3600 + min * 60 + s;
}

QString local_time_text(LocalTime time)
{
    const LocalTime day = time >= 0 ? time / 86400 : (time - 86399) / 86400;
    const LocalTime second = time - day * 86400;
    return QDate(1970, 1, 1).addDays(day).toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(" %1:%2:%3")
               .arg(second / 3600, 2, 10, QLatin1Char('0'))
               .arg(second / 60 % 60, 2, 10, QLatin1Char('0'))
               .arg(second % 60, 2, 10, QLatin1Char('0'));
}

namespace
{

struct Columns {
    int time, temperature, humidity;
};

QString reading(const CsvRecord &record, const Columns &c, AirReading &r)
{
    const auto field = [&record](int i) { return record.field(size_t(i)); };
    // A field as written, cut short for a message.
    const auto shown = [&field](int i) { return QString::fromStdString(written_form(field(i))); };
    const std::optional<LocalTime> t = local_time(QString::fromStdString(field(c.time)));
    if (!t)
        return QStringLiteral("line %1: the time '%2' is not a date and time written "
                              "YYYY-MM-DD HH:MM[:SS]")
            .arg(record.line)
            .arg(shown(c.time));
    const std::optional<double> air = decimal_number(field(c.temperature));
    if (!air || *air < lowest_air_celsius || *air > highest_air_celsius)
        return QStringLiteral("line %1: the air temperature '%2' is not a temperature from %3 to "
                              "%4 °C")
            .arg(QString::number(record.line), shown(c.temperature),
                 QString::number(lowest_air_celsius), QString::number(highest_air_celsius));
    const std::optional<double> humidity = decimal_number(field(c.humidity));
    if (!humidity || *humidity < 0 || *humidity > 100)
        return QStringLiteral("line %1: the relative humidity '%2' is not a percentage from 0 "
                              "to 100")
            .arg(record.line)
            .arg(shown(c.humidity));
    r = {*t, *air, *humidity};
    return {};
}

} // namespace

WeatherLogFile weather_log(const CsvFile &csv)
{
    WeatherLogFile out;
    out.problem = header_problem(csv);
    if (!out.problem.isEmpty())
        return out;
    const CsvRecord &header = csv.records.front();
    const Columns c{column_index(header, QStringLiteral("time")),
                    column_index(header, QStringLiteral("air temperature")),
                    column_index(header, QStringLiteral("relative humidity"))};
    if (c.time < 0 || c.temperature < 0 || c.humidity < 0) {
        out.problem = QStringLiteral("line %1: the header is not "
                                     "'time,air temperature,relative humidity'")
                          .arg(header.line) +
                      separator_hint(header);
        return out;
    }
    std::vector<AirReading> &readings = out.log.readings;
    for (size_t i = 1; i < csv.records.size() && out.problem.isEmpty(); ++i) {
        AirReading r;
        out.problem = reading(csv.records[i], c, r);
        if (out.problem.isEmpty() && !readings.empty() && r.time <= readings.back().time)
            out.problem = QStringLiteral("line %1: the time %2 is not after the time of line %3")
                              .arg(csv.records[i].line)
                              .arg(local_time_text(r.time))
                              .arg(csv.records[i - 1].line);
        readings.push_back(r);
    }
    if (out.problem.isEmpty() && readings.empty())
        out.problem = QStringLiteral("it has no readings after the header");
    return out;
}

WeatherLogFile read_weather_log(const QString &path)
{
    return weather_log(read_csv_file(path));
}

AirAt air_at(const WeatherLog &log, LocalTime time)
{
    const std::vector<AirReading> &r = log.readings;
    AirAt air;
    if (r.empty() || time < r.front().time || time > r.back().time) {
        air.problem = r.empty() ? QStringLiteral("%1 is outside the weather log (no readings)")
                                      .arg(local_time_text(time))
                                : QStringLiteral("%1 is outside the weather log (%2 to %3)")
                                      .arg(local_time_text(time), local_time_text(r.front().time),
                                           local_time_text(r.back().time));
        return air;
    }
    const auto after = std::lower_bound(
        r.begin(), r.end(), time, [](const AirReading &a, LocalTime t) { return a.time < t; });
    if (after->time == time)
        return {after->temperature, after->humidity, {}};
    const AirReading &a = *(after - 1), &b = *after;
    if (b.time - a.time > longest_gap) {
        air.problem =
            QStringLiteral("%1 falls in a gap of the weather log (%2 to %3)")
                .arg(local_time_text(time), local_time_text(a.time), local_time_text(b.time));
        return air;
    }
    const double f = double(time - a.time) / double(b.time - a.time);
    return {a.temperature + f * (b.temperature - a.temperature),
            a.humidity + f * (b.humidity - a.humidity),
            {}};
}

} // namespace ardentis
