#pragma once
// A field trial around a run: the field book and the air a run is given, and
// what they add to each processed pair.

#include "trials/fieldbook.h"
#include "trials/stress.h"
#include "trials/weatherlog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace ardentis
{

enum class AirSource {
    None,
    Log,    // a weather log
    Camera, // the air temperature and humidity set on the camera
};

// What the command line asks of a trial: names and choices, nothing read.
struct TrialRequest {
    QString book_path; // empty: no field book
    QString group;     // the book's column to summarise by; empty: none
    AirSource air = AirSource::None;
    QString log_path;
    std::optional<CwsiBaseline> cwsi;
    bool any() const { return !book_path.isEmpty() || air != AirSource::None; }
};

// A trial ready for the run, its files read.
struct TrialSetup {
    TrialRequest request;
    FieldBook book;
    int group_column = -1; // of book.columns
    WeatherLog log;
};

// Reads the field book and the weather log. Returns why the run cannot
// start, naming the file and the line.
QString load_trial(const TrialRequest &request, TrialSetup &setup);

// What a processed pair's radiometric image tells the trial.
struct Capture {
    ImageId image;        // the pair's image number and files
    QByteArray date_time; // DateTimeOriginal as the file has it
    double camera_air = std::numeric_limits<double>::quiet_NaN();      // °C
    double camera_humidity = std::numeric_limits<double>::quiet_NaN(); // fraction of 1
    double canopy = std::numeric_limits<double>::quiet_NaN();          // the plant mean, °C
};

// What the trial adds to a processed pair; NaN where unknown.
struct TrialValues {
    bool in_book = false;
    std::vector<std::string> book; // the pair's values of the book's columns
    double canopy = std::numeric_limits<double>::quiet_NaN();
    double air = std::numeric_limits<double>::quiet_NaN();      // °C
    double humidity = std::numeric_limits<double>::quiet_NaN(); // %
    double vpd = std::numeric_limits<double>::quiet_NaN();      // kPa
    double ctd = std::numeric_limits<double>::quiet_NaN();      // °C
    double cwsi = std::numeric_limits<double>::quiet_NaN();
    QStringList notes; // what is missing, and why
};

TrialValues trial_values(const TrialSetup &setup, const Capture &capture);

// The columns a trial adds to stats.csv, each after a comma: the book's,
// then the air's with an air source, then the stress index with a baseline.
std::string trial_header(const TrialSetup &setup);
std::string trial_cells(const TrialSetup &setup, const TrialValues &values);

// A note naming the book's rows whose images are not among `images`; empty
// when there are none.
QString rows_not_in_run_note(const TrialSetup &setup, const std::vector<ImageId> &images);

} // namespace ardentis
