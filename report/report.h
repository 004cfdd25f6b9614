#pragma once
// The campaign report: report.html and the folder report/ beside it in the
// output folder, readable offline, built as the pairs finish.

#include "analysis/thermalmap.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace ardentis
{

class PairExtras;
struct TrialSetup;

// How thermal maps are coloured.
struct ReportStyle {
    Palette palette = Palette::Inferno;
    bool range_given = false; // otherwise the 1st to 99th percentile of all plant pixels
    double range_min = 0, range_max = 0;
};

// What the report says of how it ran.
struct ReportContext {
    QString version, options, table, started;
    const TrialSetup *trial = nullptr; // a field trial's book, air and baseline
    int jobs = 1;                      // the run's workers: the maps are drawn as many at once
};

// Where the report in `output_dir` keeps a picture of the pair `pair`
// (0-based): "photo", "mask", "contours" or "map"; the map is written when
// the run ends.
QString report_picture(const QString &output_dir, int pair, const char *what);
// The file type of that picture: "png" for the map, "jpg" for the others.
const char *report_picture_type(const char *what);

// The map of the pair `pair` (0-based) while the run that makes the report
// in `output_dir` goes on, before the campaign's range is known: on the
// style's range when one is given, else on the pair's own (the 1st to 99th
// percentile of its temperatures), as PNG bytes; empty before the pair is
// done and once the run has ended.
QByteArray map_during_run(const QString &output_dir, int pair, const ReportStyle &style);

std::unique_ptr<PairExtras> make_report(const QString &output_dir, const ReportStyle &style,
                                        const ReportContext &context);

} // namespace ardentis
