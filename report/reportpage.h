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

struct ReportSkip {
    int pair;
    QString radiometric, visible, problem;
};

// A pair's notes as the run words them, the field trial's after its own,
// each a sentence; empty without any. The trial's are said to be its after
// the run's, or `labelled`.
QString pair_notes(const PairOutcome &outcome, bool labelled);

// A pair's card: its numbers, pictures and a histogram of its plant and
// other temperatures; its map on the range given, or else the campaign's;
// its contour picture shown at `contours_shown`.
std::string card_html(const PairOutcome &outcome, const cv::Mat &temps, const cv::Mat &plant,
                      bool range_given, cv::Size contours_shown);

struct PageFacts {
    const ReportContext &context;
    int pairs;
    const std::vector<PairOutcome> &rows; // the processed pairs
    const std::vector<ReportSkip> &skipped;
    Palette palette;
    double lo, hi;            // the maps' range
    const TrialSetup *trial;  // null without a field trial
    const QStringList &notes; // the pairs' notes, and what the trial lacks
    const std::vector<GroupSummary> &groups;
};

// Writes the page, the cards taken from the file `cards_path` (none when it
// is empty). Returns why the page is not written.
QString write_page(TextFile &page, const PageFacts &facts, const QString &cards_path);

} // namespace ardentis
