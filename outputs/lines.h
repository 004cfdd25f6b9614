#pragma once
// The text of the tables a run writes: result.csv's lines, stats.csv's lines
// and the per-pixel temperature tables.

#include "analysis/alignment.h"
#include "analysis/stats.h"

#include <opencv2/core.hpp>

#include <string>

namespace ardentis
{

// result.csv's first line.
extern const char *const summary_header;

// A pair's line of result.csv.
std::string summary_line(double number, const std::string &time, double mean);

// `value` as a CSV field: in quotes, its quotes doubled, when it holds a
// comma, a quote, a line break or spaces at either end.
std::string csv_field(const std::string &value);

// What a run found for a processed pair: the one record its line of
// stats.csv, the report and the windows read.
struct PairRecord {
    double number = 0;
    std::string radiometric, photograph; // the files as the run names them (UTF-8)
    std::string time;                    // of day, of the capture; empty when unknown
    std::string date;                    // of the capture, YYYY-MM-DD; empty when unknown
    Field field;
    bool searched = false, registered = false; // the field was searched, and the one found used
    double correlation = 0, fit = 0;
    // How far the field searched moved from where the search started, the
    // camera's field when `near`.
    double shift = 0;
    bool near = false;
    std::string mask, radiometry; // their names
    PlantStats plant;
    double emissivity = 0, t_refl = 0;
};

// stats.csv's header and a pair's line, `more` columns (each after a comma)
// after the usual ones.
std::string stats_header(const std::string &more = {});
std::string stats_line(const PairRecord &record, const std::string &more = {});

// The per-pixel table of `temps`: one line per row, each value with six
// decimals and a comma; `plant` (CV_8UC1) keeps a pixel's temperature,
// others are written as 0 times it.
std::string temperature_table(const cv::Mat &temps, const cv::Mat &plant);

// Both tables at once, each value written once: the plant pixels' and
// every pixel's.
void temperature_tables(const cv::Mat &temps, const cv::Mat &plant, std::string &plant_table,
                        std::string &every_table);

} // namespace ardentis
