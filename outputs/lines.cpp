#include "outputs/lines.h"

#include "common/cnumber.h"

#include <cmath>
#include <functional>
#include <vector>

namespace ardentis
{

const char *const summary_header = "Image number, Time, Average Temp\n";

std::string summary_line(double number, const std::string &time, double mean)
{
    return format_fixed6(number) + "," + time + "," + format_fixed6(mean) + "\n";
}

std::string csv_field(const std::string &value)
{
    const bool quoted = value.find_first_of(",\"\r\n") != std::string::npos ||
                        (!value.empty() && (value.front() == ' ' || value.back() == ' ' ||
                                            value.front() == '\t' || value.back() == '\t'));
    if (!quoted)
        return value;
    std::string out = "\"";
    for (const char c : value) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

namespace
{

std::string fixed6(double v)
{
    return format_figure(v, 6);
}

// stats.csv's columns in their order: each name with its cell of a record.
struct StatsColumn {
    const char *name;
    std::function<std::string(const PairRecord &)> cell;
};

const std::vector<StatsColumn> &stats_columns()
{
    using R = const PairRecord &;
    // The search's columns are empty when the field was not searched.
    const auto searched = [](R r, const std::string &text) {
        return r.searched ? text : std::string();
    };
    static const std::vector<StatsColumn> columns{
        {"image number", [](R r) { return fixed6(r.number); }},
        {"radiometric image", [](R r) { return csv_field(r.radiometric); }},
        {"photograph", [](R r) { return csv_field(r.photograph); }},
        {"time", [](R r) { return r.time; }},
        {"field x", [](R r) { return std::to_string(r.field.x); }},
        {"field y", [](R r) { return std::to_string(r.field.y); }},
        {"field width", [](R r) { return std::to_string(r.field.width); }},
        {"field height", [](R r) { return std::to_string(r.field.height); }},
        {"correlation", [=](R r) { return searched(r, fixed6(r.correlation)); }},
        {"registered", [=](R r) { return searched(r, r.registered ? "yes" : "no"); }},
        {"field fit", [=](R r) { return searched(r, format_fixed(r.fit, 1)); }},
        {"field shift", [=](R r) { return searched(r, format_fixed(r.shift, 1)); }},
        {"mask", [](R r) { return r.mask; }},
        {"plant pixels", [](R r) { return std::to_string(r.plant.plant_pixels); }},
        {"plant fraction", [](R r) { return fixed6(r.plant.plant_fraction); }},
        {"plant mean", [](R r) { return fixed6(r.plant.mean); }},
        {"plant median", [](R r) { return fixed6(r.plant.median); }},
        {"plant sd", [](R r) { return fixed6(r.plant.sd); }},
        {"plant p5", [](R r) { return fixed6(r.plant.p5); }},
        {"plant p25", [](R r) { return fixed6(r.plant.p25); }},
        {"plant p75", [](R r) { return fixed6(r.plant.p75); }},
        {"plant p95", [](R r) { return fixed6(r.plant.p95); }},
        {"plant min", [](R r) { return fixed6(r.plant.min); }},
        {"plant max", [](R r) { return fixed6(r.plant.max); }},
        {"other mean", [](R r) { return fixed6(r.plant.other_mean); }},
        {"emissivity", [](R r) { return fixed6(r.emissivity); }},
        {"reflected temperature", [](R r) { return fixed6(r.t_refl); }},
        {"radiometry", [](R r) { return r.radiometry; }},
        // Last of the run's own, for whoever reads the columns in their order.
        {"capture date", [](R r) { return r.date; }},
    };
    return columns;
}

// The columns' texts, `text` giving each one's, joined by commas.
std::string joined(const std::function<std::string(const StatsColumn &)> &text)
{
    std::string line;
    for (const StatsColumn &c : stats_columns())
        line += (&c == &stats_columns().front() ? "" : ",") + text(c);
    return line;
}

} // namespace

std::string stats_header(const std::string &more)
{
    return joined([](const StatsColumn &c) { return std::string(c.name); }) + more + "\n";
}

std::string stats_line(const PairRecord &record, const std::string &more)
{
    return joined([&](const StatsColumn &c) { return c.cell(record); }) + more + "\n";
}

std::string temperature_table(const cv::Mat &temps, const cv::Mat &plant)
{
    std::string table;
    table.reserve(temps.total() * 11);
    for (int r = 0; r < temps.rows; ++r) {
        const double *t = temps.ptr<double>(r);
        const uchar *p = plant.ptr<uchar>(r);
        for (int c = 0; c < temps.cols; ++c) {
            // Other pixels are written as 0 times their temperature, which
            // keeps the sign of the temperature and a missing one as nan.
            append_fixed(table, (p[c] ? 1.0 : 0.0) * t[c], 6);
            table += ',';
        }
        table += '\n';
    }
    return table;
}

void temperature_tables(const cv::Mat &temps, const cv::Mat &plant, std::string &plant_table,
                        std::string &every_table)
{
    plant_table.clear();
    every_table.clear();
    plant_table.reserve(temps.total() * 11);
    every_table.reserve(temps.total() * 11);
    for (int r = 0; r < temps.rows; ++r) {
        const double *t = temps.ptr<double>(r);
        const uchar *p = plant.ptr<uchar>(r);
        for (int c = 0; c < temps.cols; ++c) {
            const size_t start = every_table.size();
            append_fixed(every_table, t[c], 6);
            every_table += ',';
            if (p[c]) {
                plant_table.append(every_table, start, std::string::npos);
                continue;
            }
            // 0 times the temperature, as temperature_table writes it.
            const double zero = 0.0 * t[c];
            plant_table += std::isnan(zero)     ? "nan,"
                           : std::signbit(zero) ? "-0.000000,"
                                                : "0.000000,";
        }
        every_table += '\n';
        plant_table += '\n';
    }
}

} // namespace ardentis
