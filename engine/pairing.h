#pragma once
// The pairs of a run, formed before it starts: in the list's order, or each
// radiometric image with the photograph taken with it, from what one light
// ExifTool exchange per file tells. Every front end shows and checks the
// pairs as the run will treat them.

#include "engine/plan.h"
#include "measurement/exiftool.h"
#include "measurement/tagquery.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace ardentis
{

// One pair as the run will treat it, and what is known of it beforehand.
struct PlannedPair {
    // Its files (the photograph empty when the radiometric image keeps it),
    // number, result name, and `problem`: why the run will skip it.
    PairPlan plan;
    QByteArray capture; // the radiometric image's DateTimeOriginal as written, when read
    QStringList notes;  // what the user should know of how it was formed, in words
};

struct PairingPlan {
    std::vector<PairSource> pairs;    // for RunInput::pairs; empty: in the list's order
    std::vector<PlannedPair> planned; // every pair, in pair order
    QStringList left_over;            // photographs in no pair, each with why
    SharedName shared;                // two pairs that would write the files of one name
};

using ToolFactory = std::function<std::unique_ptr<ExifTool>()>;

// Why `file` cannot be read for its facts before any tool looks at it: it is
// missing, no regular file, or cut short; nothing when it can.
QString unreadable_file(const QString &file);

// The facts of every file, on up to `jobs` tools at once, in the files' order.
std::vector<FileFacts> read_all_facts(const QStringList &files, const ToolFactory &tools, int jobs);

// The pairs by capture time of `files`, whose facts are `facts`: every
// radiometric image (raw thermal data) with the photograph whose capture
// time (DateTimeOriginal, its fraction of a second and time zone ignored) is
// nearest, within `tolerance` seconds, each photograph in one pair at most;
// of two as near, the nearer by the numbers in the names, then the
// photograph numbered after its radiometric image, then the nearer in the
// list; a pair that would cross one chosen in time is not formed. A
// radiometric image without such a photograph keeps its own, or, with none,
// is skipped; so is a file the tool cannot read. Pairs come in the order of
// their radiometric images in the list.
PairingPlan pair_by_time(const QStringList &files, const std::vector<FileFacts> &facts,
                         double tolerance);

// The pairs of `input` as its options form them. By capture time every file
// is read first; in the list's order none is, unless `inspect` asks for the
// capture times and a note on each pair the order pairs wrongly.
PairingPlan plan_pairing(const RunInput &input, const ToolFactory &tools, int jobs,
                         bool inspect = false);

// What is wrong when the list's order pairs a first file with raw thermal
// data or without (`first_raw`) with a second one: empty when it is a
// radiometric image and a photograph.
QString order_problem(bool first_raw, bool second_raw);

} // namespace ardentis
