#pragma once
// Where a run's results go: the result folders and the names of a pair's files.

#include <QString>

namespace ardentis
{

// The result folders every run makes, in the order it makes them.
extern const char *const result_folders[4];
// The folders of the options' results.
extern const char *const temperature_folder;
extern const char *const thermal_folder;
// Every folder a pair's files go to, whatever the options: a skipped pair
// removes files of earlier runs from each.
extern const char *const pair_folders[6];

// The run's summary files and the report's page, in the output folder.
extern const char *const result_file;
extern const char *const stats_file;
extern const char *const groups_file;
extern const char *const report_page;
// `name` in the folder `dir`.
QString in_folder(const QString &dir, const char *name);
// Whether the output folder `dir` holds what an earlier run wrote there: a
// summary file, a report, or a pair's file in any result folder.
bool holds_results(const QString &dir);

// Where the files of the pair named `name` (its file number, or its
// photograph's name) go below `output_dir`.
struct PairFiles {
    QString aligned, part, table, mask;
    QString temperatures; // every pixel's temperature (an option)
    QString thermal;      // the false-colour map (with the report)
};
PairFiles pair_files(const QString &output_dir, const QString &name);

} // namespace ardentis
