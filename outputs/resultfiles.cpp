#include "outputs/resultfiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

namespace ardentis
{

const char *const result_folders[4] = {"0Aligned", "1PartRGB", "2Mascara", "3tempmask"};
const char *const temperature_folder = "4Temperature";
const char *const thermal_folder = "4Thermal";
const char *const pair_folders[6] = {result_folders[0], result_folders[1],  result_folders[2],
                                     result_folders[3], temperature_folder, thermal_folder};

const char *const result_file = "result.csv";
const char *const stats_file = "stats.csv";
const char *const groups_file = "groups.csv";
const char *const report_page = "report.html";

QString in_folder(const QString &dir, const char *name)
{
    return dir + QLatin1Char('/') + QLatin1String(name);
}

bool holds_results(const QString &dir)
{
    for (const char *file : {result_file, stats_file, groups_file, report_page})
        if (QFileInfo::exists(in_folder(dir, file)))
            return true;
    // An earlier run stopped at once leaves its pictures without result.csv.
    return std::any_of(std::begin(pair_folders), std::end(pair_folders),
                       [&dir](const char *f) { return !QDir(in_folder(dir, f)).isEmpty(); });
}

PairFiles pair_files(const QString &output_dir, const QString &name)
{
    // Each file is named after its folder, the mask pictures with a 1 added.
    // Joined, never put into a pattern: the folder's name may hold a "%1".
    const auto path = [&](const char *folder, const char *extra, const char *extension) {
        const QString folder_name = QLatin1String(folder);
        return output_dir + QLatin1Char('/') + folder_name + QLatin1Char('/') + folder_name +
               QLatin1String(extra) + QLatin1Char('_') + name + QLatin1Char('.') +
               QLatin1String(extension);
    };
    return {path(result_folders[0], "", "jpg"),  path(result_folders[1], "", "jpg"),
            path(result_folders[3], "", "csv"),  path(result_folders[2], "1", "jpg"),
            path(temperature_folder, "", "csv"), path(thermal_folder, "", "png")};
}

} // namespace ardentis
