#pragma once
// The weather log of a trial: air temperature and relative humidity over
// time, read from a station's CSV export and interpolated at each capture.

#include "trials/csvfile.h"

#include <QString>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace ardentis
{

// A moment of local time in seconds, counted without any time zone: the
// station's clock and the camera's are both local.
using LocalTime = std::int64_t;

// "YYYY-MM-DD HH:MM[:SS]", the date also written "YYYY:MM:DD" as cameras
// write it; a fraction of a second and a time-zone suffix are ignored.
std::optional<LocalTime> local_time(const QString &text);

// "YYYY-MM-DD HH:MM:SS".
QString local_time_text(LocalTime time);

// The plausible range of a logged air temperature (°C).
constexpr double lowest_air_celsius = -60, highest_air_celsius = 70;

// Readings further apart than this leave the time between them unknown.
constexpr LocalTime longest_gap = 30 * 60;

struct AirReading {
    LocalTime time = 0;
    double temperature = 0, humidity = 0; // °C, %
};

struct WeatherLog {
    std::vector<AirReading> readings; // in time order
};

struct WeatherLogFile {
    WeatherLog log;
    QString problem; // why it cannot be used, naming the line
};

// A log from its CSV records: the header names the columns `time`, `air
// temperature` and `relative humidity`, in any order among others.
WeatherLogFile weather_log(const CsvFile &csv);

WeatherLogFile read_weather_log(const QString &path);

// The air at `time`, interpolated linearly between the readings around it.
struct AirAt {
    double temperature = std::numeric_limits<double>::quiet_NaN(); // °C
    double humidity = std::numeric_limits<double>::quiet_NaN();    // %
    QString problem;                                               // why there is none
};
AirAt air_at(const WeatherLog &log, LocalTime time);

} // namespace ardentis
