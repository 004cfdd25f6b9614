#pragma once
// The text of report.html: the campaign's head, plot and table, and one card
// per pair.

#include "engine/run.h"
#include "outputs/wholefile.h"
#include "report/report.h"
#include "trials/groups.h"

#include <cmath>
#include <string>
#include <vector>

namespace ardentis
{

// Text made safe for HTML.
std::string esc(const QString &text);
// A number with `decimals` decimals, a dash for NaN.
std::string fx(double v, int decimals);

// What the report keeps of a processed pair: its row of numbers.
struct ReportRow {
    int pair = 0;
    QString name;           // what its result files are named after
    std::string photograph; // the file name of its photograph, or of the image that keeps it
    double number = 0;
    std::string time;
    Field field;
    bool searched = false, registered = false, full_model = false;
    double correlation = 0, fit = 0, emissivity = 0, t_refl = 0;
    double shift = 0;  // how far the field searched moved from where the search started
    bool near = false; // the search started from the camera's field
    std::string note;  // why a field found is not used
    PlantStats stats;
    double capture = std::nan(""); // the capture's local time in seconds, when known
    TrialValues trial;             // with a field trial
};
ReportRow report_row(const ProcessedPair &p);

struct ReportSkip {
    int pair;
    QString radiometric, visible, problem;
};

// A pair's card: its numbers, pictures and a histogram of its plant and
// other temperatures.
std::string card_html(const ReportRow &row, const cv::Mat &temps, const cv::Mat &plant);

struct PageFacts {
    const ReportContext &context;
    int pairs;
    const std::vector<ReportRow> &rows;
    const std::vector<ReportSkip> &skipped;
    Palette palette;
    double lo, hi;            // the maps' range
    const TrialSetup *trial;  // null without a field trial
    const QStringList &notes; // what the trial lacks
    const std::vector<GroupSummary> &groups;
};

// Writes the page, the cards taken from the file `cards_path` (none when it
// is empty). Returns why the page is not written.
QString write_page(TextFile &page, const PageFacts &facts, const QString &cards_path);

} // namespace ardentis
