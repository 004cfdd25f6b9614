#include "outputs/lines.h"

#include "common/cnumber.h"

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

std::string stats_header(const std::string &more)
{
    return "image number,radiometric image,photograph,time,field x,field y,field width,field "
           "height,correlation,registered,"
           "field fit,field shift,mask,plant pixels,plant fraction,plant mean,plant median,plant "
           "sd,plant p5,"
           "plant p25,plant p75,plant p95,plant min,plant max,other mean,emissivity,"
           "reflected temperature,radiometry" +
           more + "\n";
}

std::string stats_line(const StatsRow &row)
{
    const PlantStats &s = row.plant;
    std::string line = format_fixed6(row.number) + "," + csv_field(row.radiometric) + "," +
                       csv_field(row.photograph) + "," + row.time;
    for (int v : {row.field_x, row.field_y, row.field_width, row.field_height})
        line += "," + std::to_string(v);
    line += "," + (row.searched ? format_fixed6(row.correlation) : std::string());
    line += "," + std::string(row.searched ? (row.registered ? "yes" : "no") : "");
    for (double v : {row.fit, row.shift})
        line += "," + (row.searched ? format_fixed(v, 1) : std::string());
    line += "," + row.mask + "," + std::to_string(s.plant_pixels);
    for (double v : {s.plant_fraction, s.mean, s.median, s.sd, s.p5, s.p25, s.p75, s.p95, s.min,
                     s.max, s.other_mean, row.emissivity, row.t_refl})
        line += "," + format_fixed6(v);
    return line + "," + row.radiometry + row.more + "\n";
}

std::string temperature_table(const cv::Mat &temps, const cv::Mat &plant)
{
    std::string table;
    table.reserve(temps.total() * 11);
    for (int r = 0; r < temps.rows; ++r) {
        const double *t = temps.ptr<double>(r);
        const uchar *p = plant.empty() ? nullptr : plant.ptr<uchar>(r);
        for (int c = 0; c < temps.cols; ++c) {
            // Other pixels are written as 0 times their temperature, which
            // keeps the sign of the temperature and a missing one as nan.
            append_fixed(table, (!p || p[c] ? 1.0 : 0.0) * t[c], 6);
            table += ',';
        }
        table += '\n';
    }
    return table;
}

} // namespace ardentis
