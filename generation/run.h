#pragma once
// The generation run: checks the input, writes result.csv and the result
// folders, and walks the input images two by two (radiometric image, then
// photograph). One engine serves every front end: the window runs it with one
// job on its own thread, the batch command with several workers; the result
// is the same.

#include "alignment.h"
#include "registration.h"
#include "stats.h"
#include "stayopen.h"
#include "temperature.h"

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ardentis
{

class PairExtras;

// Capabilities beyond the window's, all off by default.
struct RunOptions {
    Field field;               // the field, or the prior of a search
    bool search_field = false; // find each pair's field from its two images
    MaskOptions mask;
    Radiometry radiometry = Radiometry::Simple;
    bool temperatures = false; // every pixel's temperature in 4Temperature
    bool stats = false;        // stats.csv
    PairExtras *extras = nullptr;
};

struct RunInput {
    QStringList image_files;
    QString output_dir; // empty: none chosen
    // A reflected temperature table was chosen; `refl_table` holds its rows
    // (empty when the file could not be read).
    bool refl_loaded = false;
    std::vector<double> refl_table;
    RunOptions options;
};

// One pair as the run will treat it.
struct PairPlan {
    int pair = 0; // 0-based
    QString radiometric, visible;
    double number = 0;
    // The pair's number is in the table: it only sets the values in force.
    bool table_hit = false;
    // The emissivity and reflected temperature are given (from the table),
    // not the image's own.
    bool flag_er = false;
    double emissivity = 0, t_refl = 0;
    int table_line = 0; // the table line they come from
};

// Measures radiometric images for the run; one per worker.
class PairMeasurer
{
public:
    virtual ~PairMeasurer() = default;
    // The temperatures and capture time of the plan's radiometric image.
    virtual Measurement measure(const PairPlan &plan, Radiometry model) = 0;
};
using MeasurerFactory = std::function<std::unique_ptr<PairMeasurer>()>;

// Measures as the window does: one ExifTool start per query, the raw thermal
// image passing through `work_file`.
class PerQueryMeasurer : public PairMeasurer
{
public:
    explicit PerQueryMeasurer(QString work_file) : work_file_(std::move(work_file)) {}
    Measurement measure(const PairPlan &plan, Radiometry model) override;

private:
    QString work_file_;
};

// Measures as the batch does: one long-running ExifTool, asked everything an
// image's pair needs in one exchange, each answer within `timeout_ms`.
class OneExchangeMeasurer : public PairMeasurer
{
public:
    explicit OneExchangeMeasurer(int timeout_ms) : tool_(exiftool_program(), timeout_ms) {}
    Measurement measure(const PairPlan &plan, Radiometry model) override;

private:
    StayOpenExifTool tool_;
};

enum class PairState { Processed, TableEntry, Skipped };

// What became of one pair.
struct PairOutcome {
    PairPlan plan;
    PairState state = PairState::Skipped;
    QString reason; // why it was skipped
    int pixels = 0, without_temperature = 0;
    QStringList files;                            // written for the pair
    std::string summary_line, stats_line, extras; // for the files written in pair order
};

enum class RunStart {
    Started,
    NoOutputDir,
    TooFewImages,
    OddImages,
    OutputLocked, // another run is writing into the output folder
    NoResultFile, // result.csv cannot be created
};

struct RunResult {
    RunStart start = RunStart::Started;
    int pairs = 0;
    std::vector<PairOutcome> outcomes; // in pair order, without their file lines
    QString result_problem;            // why result.csv (or stats.csv) is not complete
    int count(PairState state) const;
};

// Told about the run as it goes, on the thread that started it.
class RunObserver
{
public:
    virtual ~RunObserver() = default;
    virtual void pair_starting(int /*pair*/, int /*pairs*/) {}
    virtual void pair_finished(const PairOutcome & /*outcome*/, int /*done*/, int /*pairs*/) {}
};

// A processed pair while its pictures are still in memory.
struct ProcessedPair {
    const PairPlan &plan;
    const cv::Mat &photograph;
    const Measurement &measurement;
    const Registration &registration;
    const PairPictures &pictures;
    const PlantStats &stats;
    int file_number;
};

// Outputs beyond result.csv built from the processed pairs (the report).
class PairExtras
{
public:
    virtual ~PairExtras() = default;
    // Once the run holds its output folder, before the first pair.
    virtual void start() {}
    // On the worker that processed the pair: its piece of the outputs.
    virtual std::string piece(const ProcessedPair &pair) = 0;
    // On the starting thread, in pair order, for every pair.
    virtual void add(const PairOutcome &outcome) = 0;
    // After the last pair; returns why the outputs are not complete.
    virtual QString finish(const RunResult &result) = 0;
};

// The image number read from the digits before the full stops of `path`
// (UTF-8 bytes, right to left); every counted digit is reported on
// `diagnostics` when it is not null.
double parse_image_number(const QString &path, std::FILE *diagnostics = nullptr);

// The number in the names of a pair's files: the image number without its
// fraction; -1 when it does not fit a file name.
int file_number(double image_number);

// The progress value shown while pair `k` of `pairs` is processed.
int progress_value(int k, int pairs);

// The JPEG files directly in `dir` ("*.jpg" and "*.JPEG" in any case, plain
// files only), by name ignoring case, as absolute paths.
QStringList list_jpeg_files(const QString &dir);

// Follows the reflected temperature table from pair to pair. The values in
// force depend only on the order of the image numbers. Until a table row has
// been found, a pair is converted with its own emissivity and reflected
// temperature, as without a table.
class PairPlanner
{
public:
    explicit PairPlanner(const RunInput &input) : input_(input) {}
    PairPlan next(int k, std::FILE *diagnostics = nullptr);

private:
    const RunInput &input_;
    PairPlan in_force_;
};

// The checks of the input made before anything is created.
RunStart check_input(const RunInput &input);

// Runs the whole generation. With one job everything happens on the calling
// thread, pair after pair; with more, pairs are processed on `jobs` workers,
// each with its own measurer, and the files written in pair order are as
// with one. Diagnostic lines go to `diagnostics` unless null.
RunResult run_generation(const RunInput &input, const MeasurerFactory &measurers, int jobs = 1,
                         RunObserver *observer = nullptr, std::FILE *diagnostics = nullptr);

} // namespace ardentis
