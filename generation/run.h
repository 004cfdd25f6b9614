#pragma once
// The generation run: checks the input, writes result.csv and the result
// folders, and walks the input images two by two (radiometric image, then
// photograph). The window runs it pair after pair through a RunFrontEnd; the
// batch command plans the same pairs and processes them on several workers.

#include "exiftool.h"

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace ardentis
{

// Measures radiometric images for the run.
class PairMeasurer
{
public:
    virtual ~PairMeasurer() = default;
    // Temperatures of the radiometric image `file` (CV_64FC1; empty when none
    // can be had). With `flag_er` true the emissivity and reflected
    // temperature are taken from `emi_in` and `t_refl_in`; otherwise the
    // image's own values are stored there.
    virtual cv::Mat temperatures(bool flag_er, const QString &file, double *emi_in,
                                 double *t_refl_in) = 0;
    // The capture time text of `file`.
    virtual QString capture_time(const QString &file) = 0;
};

// Measures through ExifTool queries, the raw thermal image passing through
// `work_file`.
class ExifToolMeasurer : public PairMeasurer
{
public:
    ExifToolMeasurer(ExifTool &tool, QString work_file)
        : tool_(tool), work_file_(std::move(work_file))
    {
    }
    cv::Mat temperatures(bool flag_er, const QString &file, double *emi_in,
                         double *t_refl_in) override;
    QString capture_time(const QString &file) override;

private:
    ExifTool &tool_;
    QString work_file_;
};

// What the run needs from whoever starts it: a place for its messages, its
// progress and its result list.
class RunFrontEnd
{
public:
    virtual ~RunFrontEnd() = default;
    // A modal warning titled "Warning" with a single OK button.
    virtual void warning(const QString &text) = 0;
    // The same as a critical box.
    virtual void critical(const QString &text) = 0;
    virtual void progress(int value) = 0;
    // A result picture to list, after the last pair.
    virtual void output_file(const QString &path) = 0;
};

struct RunInput {
    QStringList image_files;
    QStringList output_dirs;
    // A reflected temperature table was chosen; `refl_table` holds its rows
    // (empty when the file could not be read).
    bool refl_loaded = false;
    std::vector<double> refl_table;
};

struct SkippedPair {
    int pair = 0; // 0-based
    QString radiometric, visible, reason;
};

struct RunResult {
    bool started = false; // the input checks passed and result.csv was created
    int pairs = 0;
    int processed = 0;
    std::vector<SkippedPair> skipped;
};

// Texts of the input checks, in the order they are made.
extern const char *const no_output_dir_text;
extern const char *const too_few_images_text;
extern const char *const odd_images_text;
extern const char *const result_file_text;

// The image number read from the digits before the full stops of `path`
// (UTF-8 bytes, right to left); every counted digit is reported on
// `diagnostics` when it is not null.
double parse_image_number(const QString &path, std::FILE *diagnostics = nullptr);

// The progress value shown while pair `k` of `pairs` is processed.
int progress_value(int k, int pairs);

// The JPEG files directly in `dir` ("*.jpg" and "*.JPEG" in any case, plain
// files only), by name ignoring case, as absolute paths.
QStringList list_jpeg_files(const QString &dir);

// The text of the warning that lists the skipped pairs.
QString skipped_report(const RunResult &result);

// One pair as the run will treat it.
struct PairPlan {
    int pair = 0;
    QString radiometric, visible;
    double number = 0;
    // The pair's number is in the table: it only sets the values in force.
    bool table_hit = false;
    // How the pair is converted (see PairMeasurer::temperatures).
    bool flag_er = false;
    double emissivity = 0, t_refl = 0;
};

// Follows the reflected temperature table from pair to pair. The values in
// force depend only on the order of the image numbers. Until a table row has
// been found, a pair is converted with its own emissivity and reflected
// temperature, as without a table.
class PairPlanner
{
public:
    explicit PairPlanner(const RunInput &input) : input_(input) {}
    PairPlan next(int k, const QString &radiometric, const QString &visible, double number);

private:
    const RunInput &input_;
    bool row_found_ = false;
    double emissivity_ = 0, t_refl_ = 0;
};

// What became of one pair that was not a table hit.
struct PairOutcome {
    bool processed = false;
    QString reason;           // why it was skipped
    std::string summary_line; // its line of result.csv
};

// Decodes, checks, measures and writes one planned pair. Diagnostic lines
// (only without a table) go to `diagnostics` unless null.
PairOutcome execute_pair(const PairPlan &plan, PairMeasurer &measurer, const QString &output_dir,
                         bool refl_loaded, std::FILE *diagnostics);

// The start of a run: the input checks, result.csv with its header, the
// result folders. Returns the open result file and marks `result` started,
// or returns null when the run ends here (the front end has been told why).
std::FILE *start_run(const RunInput &input, RunFrontEnd &front, std::FILE *diagnostics,
                     RunResult &result);

// Adds a pair's outcome to the run: its summary line, or its skip.
void record_outcome(std::FILE *csv, RunResult &result, const PairPlan &plan,
                    const PairOutcome &outcome);

// The end of a run: closes result.csv, lists the result pictures and reports
// skipped pairs.
void finish_run(std::FILE *csv, const RunInput &input, RunResult &result, RunFrontEnd &front);

// Runs the whole generation, pair after pair. Diagnostic lines go to
// `diagnostics` unless null.
RunResult run_generation(const RunInput &input, RunFrontEnd &front, PairMeasurer &measurer,
                         std::FILE *diagnostics);

} // namespace ardentis
