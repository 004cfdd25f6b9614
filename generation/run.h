#pragma once
// The generation run: checks the input, writes result.csv and the result
// folders, and walks the input images two by two (radiometric image, then
// photograph). The window and the batch command both run it through a
// RunFrontEnd.

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <cstdio>
#include <vector>

namespace ardentis
{

// What the run needs from whoever starts it: a place for its messages, its
// progress and its result list, and the measurement of one radiometric image.
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

    // Temperatures of the radiometric image `file` (CV_64FC1; empty when none
    // can be had). With `flag_er` true the emissivity and reflected
    // temperature are taken from `emi_in` and `t_refl_in`; otherwise the
    // image's own values are stored there.
    virtual cv::Mat temperatures(bool flag_er, const QString &file, double *emi_in,
                                 double *t_refl_in) = 0;
    // The capture time text of `file`.
    virtual QString capture_time(const QString &file) = 0;
    // The 1-based row of the reflected temperature table holding `code`, 0 if none.
    virtual int match_code(double code) = 0;
    // Columns 2 and 3 (emissivity, reflected temperature) of table row `row`.
    virtual void table_row(int row, double *emissivity, double *t_refl) = 0;
};

struct RunInput {
    QStringList image_files;
    QStringList output_dirs;
    bool refl_loaded = false;
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

// Runs the whole generation. Diagnostic lines go to `diagnostics` unless null.
RunResult run_generation(const RunInput &input, RunFrontEnd &front, std::FILE *diagnostics);

} // namespace ardentis
