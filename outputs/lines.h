#pragma once
// The text of the tables a run writes: result.csv's lines, stats.csv's lines
// and the per-pixel temperature tables.

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

// Everything a stats.csv line says of a pair.
struct StatsRow {
    double number = 0;
    std::string radiometric, photograph; // the files as the run names them (UTF-8)
    std::string time;
    int field_x = 0, field_y = 0, field_width = 0, field_height = 0;
    bool searched = false, registered = false;
    double correlation = 0, fit = 0;
    double shift = 0; // how far the field searched moved from where the search started
    std::string mask, radiometry;
    PlantStats plant;
    double emissivity = 0, t_refl = 0;
    std::string more; // further columns, each after a comma
};

// The header, `more` columns (each after a comma) after the usual ones.
std::string stats_header(const std::string &more = {});
std::string stats_line(const StatsRow &row);

// The per-pixel table of `temps`: one line per row, each value with six
// decimals and a comma; `plant` (CV_8UC1, or empty for every pixel) keeps a
// pixel's temperature, others are written as 0 times it.
std::string temperature_table(const cv::Mat &temps, const cv::Mat &plant = {});

} // namespace ardentis
