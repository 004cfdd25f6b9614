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

// Where the files of the pair named `name` (its file number, or its
// photograph's name) go below `output_dir`.
struct PairFiles {
    QString aligned, part, table, mask;
    QString temperatures; // every pixel's temperature (an option)
    QString thermal;      // the false-colour map (with the report)
};
PairFiles pair_files(const QString &output_dir, const QString &name);

} // namespace ardentis
