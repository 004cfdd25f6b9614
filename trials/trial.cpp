#include "trials/trial.h"

#include "common/cnumber.h"
#include "outputs/lines.h"

#include <QFileInfo>

#include <cmath>

namespace ardentis
{

namespace
{

// A column of stats.csv that the book names too: the two would be told apart
// by position only. Empty when there is none.
QString column_clash(const TrialSetup &setup)
{
    TrialSetup without_book;
    without_book.request = setup.request;
    const CsvFile names = parse_csv(stats_header(trial_header(without_book)));
    const CsvRecord book{0, setup.book.columns};
    for (const std::string &name : names.records.front().fields)
        if (column_index(book, QString::fromStdString(name)) >= 0)
            return QString::fromStdString(name);
    return {};
}

} // namespace

QString load_trial(const TrialRequest &request, TrialSetup &setup)
{
    setup.request = request;
    if (!request.book_path.isEmpty()) {
        FieldBookFile book = read_field_book(request.book_path);
        if (!book.problem.isEmpty())
            return QStringLiteral("cannot use the field book '%1': %2.")
                .arg(request.book_path, book.problem);
        setup.book = std::move(book.book);
        const QString clash = column_clash(setup);
        if (!clash.isEmpty())
            return QStringLiteral("cannot use the field book '%1': line %2: the column '%3' is "
                                  "also a column of stats.csv; rename it.")
                .arg(request.book_path, QString::number(setup.book.header_line), clash);
    }
    if (!request.group.isEmpty()) {
        CsvRecord names{0, setup.book.columns};
        setup.group_column = column_index(names, request.group);
        if (setup.group_column < 0)
            return QStringLiteral("the field book '%1' has no column '%2' to group by.")
                .arg(request.book_path, request.group);
    }
    if (request.air == AirSource::Log) {
        WeatherLogFile log = read_weather_log(request.log_path);
        if (!log.problem.isEmpty())
            return QStringLiteral("cannot use the weather log '%1': %2.")
                .arg(request.log_path, log.problem);
        setup.log = std::move(log.log);
    }
    return {};
}

namespace
{

// Whether a camera's value lies from `lo` to `hi`: it stores single-precision
// floats, the air in kelvin, so a limit set on it comes back a little off
// (-60 °C as -60.0000061), less than a value shown with 6 digits tells.
bool within(double value, double lo, double hi)
{
    constexpr double float_rounding = 1e-3;
    return value >= lo - float_rounding && value <= hi + float_rounding;
}

void find_air(const TrialSetup &setup, const Capture &capture, TrialValues &v)
{
    if (setup.request.air == AirSource::Camera) {
        const double air = capture.camera_air, humidity = 100 * capture.camera_humidity;
        if (std::isnan(air) || std::isnan(humidity))
            v.notes << QStringLiteral("the radiometric image has no air temperature or humidity");
        else if (!(within(air, lowest_air_celsius, highest_air_celsius) &&
                   within(humidity, 0, 100))) // as a weather log's readings
            v.notes << QStringLiteral("the radiometric image's air, %1 °C and %2 %, is not a "
                                      "temperature from %3 to %4 °C and a humidity from 0 to 100 %")
                           .arg(QString::number(air, 'g', 6), QString::number(humidity, 'g', 6),
                                QString::number(lowest_air_celsius),
                                QString::number(highest_air_celsius));
        else {
            v.air = air;
            v.humidity = humidity;
        }
        return;
    }
    const std::optional<LocalTime> time = local_time(QString::fromUtf8(capture.date_time));
    if (!time) {
        v.notes << QStringLiteral("the radiometric image has no capture date and time");
        return;
    }
    const AirAt air = air_at(setup.log, *time);
    if (!air.problem.isEmpty())
        v.notes << QStringLiteral("the capture time %1").arg(air.problem);
    v.air = air.temperature;
    v.humidity = air.humidity;
}

} // namespace

TrialValues trial_values(const TrialSetup &setup, const Capture &capture)
{
    TrialValues v;
    v.canopy = capture.canopy;
    if (!setup.request.book_path.isEmpty()) {
        const FieldBook::Row *row = setup.book.find(capture.image);
        v.in_book = row != nullptr;
        v.book = row ? row->values : std::vector<std::string>(setup.book.columns.size());
        if (!row && setup.book.by_file)
            v.notes << QStringLiteral("%1 is not in the field book")
                           .arg(QFileInfo(capture.image.files.value(0)).fileName());
        else if (!row)
            v.notes << QStringLiteral("image %1 is not in the field book")
                           .arg(capture.image.number, 0, 'f', 0);
    }
    if (setup.request.air == AirSource::None)
        return v;
    find_air(setup, capture, v);
    if (std::isnan(v.air) || std::isnan(v.humidity)) {
        v.air = v.humidity = std::nan("");
        return v;
    }
    v.vpd = vapour_pressure_deficit(v.air, v.humidity);
    v.ctd = canopy_temperature_depression(v.air, v.canopy);
    if (setup.request.cwsi) {
        const CwsiBaseline &baseline = *setup.request.cwsi;
        v.cwsi = crop_water_stress_index(v.canopy, v.air, v.vpd, baseline);
        const double span = cwsi_span(v.air, v.vpd, baseline);
        if (!(span >= cwsi_least_span))
            v.notes << QStringLiteral("no CWSI: at a VPD of %1 kPa the baseline's upper limit is "
                                      "not %2 °C above its lower")
                           .arg(QString::fromStdString(format_figure(v.vpd, 3)))
                           .arg(cwsi_least_span);
    }
    return v;
}

std::string trial_header(const TrialSetup &setup)
{
    std::string header;
    for (const std::string &column : setup.book.columns)
        header += "," + csv_field(column);
    if (setup.request.air != AirSource::None)
        header += ",air temperature,relative humidity,vpd,ctd";
    if (setup.request.cwsi)
        header += ",cwsi";
    return header;
}

std::string trial_cells(const TrialSetup &setup, const TrialValues &v)
{
    std::string cells;
    for (const std::string &value : v.book)
        cells += "," + csv_field(value);
    const auto number = [&cells](double x) {
        cells += ',';
        if (std::isfinite(x))
            append_figure(cells, x, 6);
    };
    if (setup.request.air != AirSource::None)
        for (double x : {v.air, v.humidity, v.vpd, v.ctd})
            number(x);
    if (setup.request.cwsi)
        number(v.cwsi);
    return cells;
}

QString rows_not_in_run_note(const TrialSetup &setup, const std::vector<ImageId> &images)
{
    const QStringList rows = rows_not_in(setup.book, images);
    if (rows.isEmpty())
        return {};
    return QStringLiteral("%1 row%2 of the field book name%3 no image of the run: %4.")
        .arg(rows.size())
        .arg(rows.size() == 1 ? "" : "s")
        .arg(rows.size() == 1 ? "s" : "")
        .arg(rows.join(QStringLiteral(", ")));
}

} // namespace ardentis
