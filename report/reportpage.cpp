#include "report/reportpage.h"

#include "analysis/thermalmap.h"
#include "common/cnumber.h"
#include "report/trialhtml.h"
#include "trials/weatherlog.h"

#include <QFile>
#include <QFileInfo>
#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numeric>

namespace ardentis
{

std::string esc(const QString &text)
{
    return text.toHtmlEscaped().toStdString();
}

std::string fx(double v, int decimals)
{
    return std::isnan(v) ? std::string("–") : format_figure(v, decimals);
}

namespace
{

// The file name of the pair's photograph, or of the image that keeps it.
QString photograph_name(const PairOutcome &o)
{
    return QFileInfo(naming_file(o.plan)).fileName();
}

// The capture's local time in seconds, NaN when unknown.
double capture_of(const PairOutcome &o)
{
    const auto capture = local_time(QString::fromUtf8(o.date_time));
    return capture ? double(*capture) : std::nan("");
}

// When the pair was captured, its date with it when known: a campaign may
// span days.
std::string capture_text(const PairOutcome &o)
{
    const double capture = capture_of(o);
    return std::isnan(capture) ? o.record.time : local_time_text(LocalTime(capture)).toStdString();
}

std::string hex(const cv::Vec3b &bgr)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", bgr[2], bgr[1], bgr[0]);
    return text;
}

// Seconds since midnight of a time of day, for sorting a capture without a
// date; NaN without one.
double seconds_of(const std::string &time)
{
    int h = 0, m = 0, s = 0;
    return std::sscanf(time.c_str(), "%d:%d:%d", &h, &m, &s) == 3 ? h * 3600 + m * 60 + s
                                                                  : std::nan("");
}

const char *const style = R"(<style>
body{font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;color:#1d2327;background:#f4f5f2;margin:0}
main{max-width:1120px;margin:0 auto;padding:24px 28px 60px}
h1{font-size:28px;margin:0 0 4px}h2{font-size:20px;margin:34px 0 10px;border-bottom:2px solid #d7dbd2;padding-bottom:4px}
.meta{color:#5b6368;margin:0 0 16px;font-size:13px}.meta code{background:#e8eae4;padding:1px 5px;border-radius:4px}
.tiles{display:flex;gap:12px;flex-wrap:wrap;margin:14px 0}
.tile{background:#fff;border-radius:10px;padding:10px 16px;box-shadow:0 1px 3px #0001;min-width:120px}
.tile b{display:block;font-size:24px}.tile span{color:#5b6368;font-size:13px}.scale+span{display:block;max-width:340px}
.skipped li{margin-bottom:6px}.skipped .why{color:#9a3412}
figure.chart{background:#fff;border-radius:10px;padding:10px;margin:0;box-shadow:0 1px 3px #0001}
.wide{overflow-x:auto;border-radius:10px}.chart+.wide{margin-top:14px}
table{border-collapse:collapse;width:100%;background:#fff;border-radius:10px;overflow:hidden;box-shadow:0 1px 3px #0001;font-variant-numeric:tabular-nums}
th,td{padding:6px 10px;text-align:right;border-bottom:1px solid #eceee9}
th{background:#e8eae4;cursor:pointer;user-select:none;white-space:nowrap}th:hover{background:#dde0d8}
td:first-child,th:first-child{text-align:left}tbody tr:hover{background:#f7f8f4}
.card{background:#fff;border-radius:12px;padding:14px 18px;margin:16px 0;box-shadow:0 1px 3px #0001}
.card h3{margin:0;font-size:17px}.card h3 .time{color:#5b6368;font-weight:normal;margin-left:8px}
.card .facts{margin:4px 0 10px;color:#39414a}.card .facts b{font-size:18px;color:#1d2327}
.pics{display:grid;grid-template-columns:repeat(4,minmax(0,1fr));gap:14px;align-items:start}
.pics figure{margin:0}.pics img,.pics svg{display:block;width:100%;height:auto;border-radius:4px}
figcaption{font-size:12px;color:#5b6368;margin-top:3px}
.badge{font-size:12px;border-radius:9px;padding:1px 8px;margin-left:6px}
.yes{background:#dcfce7;color:#166534}.no{background:#fee2e2;color:#991b1b}
.note{color:#9a3412;margin:-4px 0 10px;font-size:13px}
.contours{margin:14px 0 0}.contours img{display:block;max-width:100%;height:auto;border-radius:4px}
svg text{font:11px system-ui,sans-serif;fill:#39414a}
.nowrap{white-space:nowrap}
th[aria-sort=ascending]::after{content:" \25B2"}th[aria-sort=descending]::after{content:" \25BC"}
th:focus-visible{outline:2px solid #2563eb;outline-offset:-2px}
@media (max-width:640px){main{padding:14px 10px 40px}.pics{grid-template-columns:repeat(2,minmax(0,1fr))}
figure.chart{overflow-x:auto}figure.chart svg{min-width:640px}.pics>figure:nth-child(n+3){grid-column:1/-1}}
</style>)";

const char *const script = R"(<script>
document.querySelectorAll('th[data-sort]').forEach(function (th) {
  th.tabIndex = 0;
  var sort = function () {
    var column = th.cellIndex, body = th.closest('table').tBodies[0];
    var up = th.getAttribute('aria-sort') !== 'ascending';
    th.parentNode.querySelectorAll('th').forEach(function (h) { h.removeAttribute('aria-sort'); });
    th.setAttribute('aria-sort', up ? 'ascending' : 'descending');
    Array.from(body.rows).sort(function (a, b) {
      var x = a.cells[column].dataset.v, y = b.cells[column].dataset.v;
      if (x === '' || y === '') // what is missing comes last, either way
        return (x === '') - (y === '');
      var d = isFinite(x) && isFinite(y) ? x - y : x.localeCompare(y, undefined, {numeric: true});
      return up ? d : -d;
    }).forEach(function (row) { body.appendChild(row); });
  };
  th.addEventListener('click', sort);
  th.addEventListener('keydown', function (e) {
    if (e.key === 'Enter' || e.key === ' ') {
      e.preventDefault();
      sort();
    }
  });
});
</script>)";

// The lowest and highest of the temperatures that are numbers: a NaN
// compares false.
std::pair<double, double> range_of(const cv::Mat &temps)
{
    double lo = 1e300, hi = -1e300;
    for (int r = 0; r < temps.rows; ++r) {
        const double *t = temps.ptr<double>(r);
        int c = 0;
#if CV_SIMD128_64F
        cv::v_float64x2 lows = cv::v_setall_f64(lo), highs = cv::v_setall_f64(hi);
        for (; c + 2 <= temps.cols; c += 2) {
            const cv::v_float64x2 v = cv::v_load(t + c);
            lows = cv::v_select(v < lows, v, lows);
            highs = cv::v_select(v > highs, v, highs);
        }
        double two[2];
        cv::v_store(two, lows);
        lo = std::min({lo, two[0], two[1]});
        cv::v_store(two, highs);
        hi = std::max({hi, two[0], two[1]});
#endif
        for (; c < temps.cols; ++c) {
            lo = t[c] < lo ? t[c] : lo;
            hi = t[c] > hi ? t[c] : hi;
        }
    }
    return {lo, hi};
}

std::string histogram_svg(const cv::Mat &temps, const cv::Mat &plant)
{
    const auto [lo, hi] = range_of(temps);
    if (!(hi > lo))
        return {};
    const int bins = 30, w = 300, h = 130, base = 104;
    // Neighbours fall in one bin: counted apart by column, then added up.
    std::array<std::array<std::array<int, bins>, 2>, 4> apart{};
    const double span = hi - lo;
    for (int r = 0; r < temps.rows; ++r) {
        const double *t = temps.ptr<double>(r);
        const uchar *is_plant = plant.ptr<uchar>(r);
        for (int c = 0; c < temps.cols; ++c)
            if (!std::isnan(t[c]))
                ++apart[size_t(c % 4)][is_plant[c] ? 1 : 0]
                       [size_t(std::min(bins - 1, int((t[c] - lo) / span * bins)))];
    }
    std::vector<int> counts[2] = {std::vector<int>(bins), std::vector<int>(bins)};
    for (const auto &part : apart)
        for (size_t kind : {0, 1})
            for (size_t b = 0; b < size_t(bins); ++b)
                counts[kind][b] += part[kind][b];
    const int most = std::max(*std::max_element(counts[0].begin(), counts[0].end()),
                              *std::max_element(counts[1].begin(), counts[1].end()));
    const int totals[2] = {std::accumulate(counts[0].begin(), counts[0].end(), 0),
                           std::accumulate(counts[1].begin(), counts[1].end(), 0)};
    std::string svg =
        "<svg viewBox=\"0 0 " + std::to_string(w) + " " + std::to_string(h) +
        "\" role=\"img\" aria-label=\"Histogram of temperatures: " + std::to_string(totals[1]) +
        " plant pixels, " + std::to_string(totals[0]) + " other pixels\">";
    const char *fills[2] = {"#9ca3af", "#2f9e44"};
    for (int kind : {0, 1})
        for (int b = 0; b < bins; ++b) {
            const double bh = 90.0 * counts[kind][size_t(b)] / most;
            svg += "<rect x=\"" + fx(10 + b * 9.4, 1) + "\" y=\"" + fx(base - bh, 1) +
                   "\" width=\"8.4\" height=\"" + fx(bh, 1) + "\" fill=\"" + fills[kind] +
                   "\" fill-opacity=\"0.75\"/>";
        }
    const std::vector<double> ticks = nice_ticks(lo, hi);
    const double step = tick_step(ticks);
    for (double t : ticks)
        svg += "<text x=\"" + fx(10 + (t - lo) / (hi - lo) * 282, 1) + "\" y=\"" +
               std::to_string(base + 14) + "\" text-anchor=\"middle\">" + tick_label(t, step) +
               "</text>";
    // The legend names the kinds of pixel the pair has.
    std::string legend;
    if (totals[1] > 0)
        legend += "<tspan fill=\"#2f9e44\">■ plant</tspan>";
    if (totals[0] > 0)
        legend +=
            std::string(legend.empty() ? "" : " ") + "<tspan fill=\"#6b7280\">■ other</tspan>";
    return svg + "<text x=\"296\" y=\"128\" text-anchor=\"end\">°C</text><text x=\"12\" y=\"10\">" +
           legend + "</text></svg>";
}

// How far the field searched moved, in words: "moved 31 px from the camera's
// alignment".
std::string shift_words(const PairRecord &r)
{
    const std::string start =
        r.near ? "the camera's alignment" : "the field the search started from";
    const long px = std::lround(r.shift);
    return px == 0 ? "kept " + start : "moved " + std::to_string(px) + " px from " + start;
}

} // namespace

QString pair_notes(const PairOutcome &o, bool labelled)
{
    if (o.trial.notes.isEmpty())
        return o.note;
    // A trial's note may start with a file name: it keeps its case.
    const QString trial = o.trial.notes.join(QStringLiteral("; ")) + QLatin1Char('.');
    if (o.note.isEmpty() && !labelled)
        return trial;
    return o.note + (o.note.isEmpty() ? "" : " ") + QStringLiteral("Field trial: ") + trial;
}

std::string card_html(const PairOutcome &o, const cv::Mat &temps, const cv::Mat &plant,
                      bool range_given, cv::Size contours_shown)
{
    const std::string k = std::to_string(o.plan.pair + 1), picture = "report/p" + k + "_";
    const PairRecord &r = o.record;
    const Field &f = r.field;
    std::string registration;
    if (r.searched)
        registration = std::string("<span class=\"badge ") +
                       (r.registered ? "yes\">registered" : "no\">not registered") +
                       ", r = " + fx(r.correlation, 2) + ", fit " + fx(r.fit, 1) + " px</span> · " +
                       shift_words(r);
    // The pair's notes, sentences of their own here.
    QString sentence = pair_notes(o, true);
    if (!o.note.isEmpty())
        sentence[0] = sentence[0].toUpper();
    const std::string note =
        sentence.isEmpty() ? std::string() : "<p class=\"note\">" + esc(sentence) + "</p>";
    const auto figure = [&](const char *what, const char *caption) {
        return "<figure><img src=\"" + picture + what + "." + report_picture_type(what) +
               "\" alt=\"Pair " + k + ": " + caption + "\" loading=\"lazy\"><figcaption>" +
               caption + "</figcaption></figure>";
    };
    return "<article class=\"card\" id=\"pair-" + k + "\"><h3>Pair " + k + " · image " +
           fx(r.number, 0) + " · " + esc(photograph_name(o)) + "<span class=\"time\">" +
           capture_text(o) + "</span></h3>" + "<p class=\"facts\"><b>" + fx(r.plant.mean, 2) +
           " °C</b> plant mean · median " + fx(r.plant.median, 2) + " · SD " + fx(r.plant.sd, 2) +
           " · plant " + fx(100 * r.plant.plant_fraction, 0) + " % · field " + std::to_string(f.x) +
           ", " + std::to_string(f.y) + ", " + std::to_string(f.width) + " × " +
           std::to_string(f.height) + registration + "</p>" + note + "<div class=\"pics\">" +
           figure("photo", "Photograph, thermal field outlined") +
           figure("map", range_given ? "Temperature (on the range given)"
                                     : "Temperature (campaign scale)") +
           figure("mask", "Plant mask: plant tinted, the rest dimmed") + "<figure>" +
           histogram_svg(temps, plant) +
           "<figcaption>Temperatures of plant and other "
           "pixels</figcaption></figure></div><figure class=\"contours\"><img src=\"" +
           picture + "contours.jpg\" alt=\"Pair " + k +
           ": Thermal contours over the photograph, around the field\" width=\"" +
           std::to_string(contours_shown.width) + "\" height=\"" +
           std::to_string(contours_shown.height) +
           "\" loading=\"lazy\"><figcaption>Edges of the thermal picture (magenta) over the "
           "photograph where the field places them, at full or half resolution: on a true field "
           "they follow the outlines of plants; a field a few pixels off shows them beside "
           "those.</figcaption></figure></article>\n";
}

namespace
{

std::string scale_svg(Palette palette, double lo, double hi)
{
    const cv::Mat lut = palette_colours(palette);
    std::string svg = "<svg class=\"scale\" width=\"340\" height=\"46\" overflow=\"visible\">"
                      "<defs><linearGradient id=\"g\">";
    for (int i = 0; i <= 16; ++i)
        svg += "<stop offset=\"" + fx(i / 16.0, 4) + "\" stop-color=\"" +
               hex(lut.at<cv::Vec3b>(std::min(255, i * 16))) + "\"/>";
    svg += "</linearGradient></defs><rect x=\"10\" y=\"4\" width=\"300\" height=\"16\" "
           "fill=\"url(#g)\"/>";
    const std::vector<double> ticks = nice_ticks(lo, hi);
    const double step = tick_step(ticks);
    for (double t : ticks) {
        const std::string x = fx(10 + (t - lo) / (hi - lo) * 300, 1);
        svg += "<line x1=\"" + x + "\" x2=\"" + x +
               "\" y1=\"20\" y2=\"25\" stroke=\"#39414a\"/>"
               "<text class=\"tick\" data-value=\"" +
               tick_label(t, step) + "\" x=\"" + x + "\" y=\"37\" text-anchor=\"middle\">" +
               tick_label(t, step) + "</text>";
    }
    return svg + "<text x=\"320\" y=\"17\">°C</text></svg>";
}

std::string head_html(const PageFacts &f)
{
    const ReportContext &c = f.context;
    const int processed = int(f.rows.size()), skipped = int(f.skipped.size());
    const bool full = !f.rows.empty() && f.rows.front().record.radiometry == "full";
    std::string html =
        std::string("<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                    "<meta name=\"viewport\" content=\"width=device-width\">"
                    "<title>Ardentis report</title>") +
        style + "</head><body><main><h1>Plant temperatures</h1><p class=\"meta\">" + "Ardentis " +
        esc(c.version) + " · run " + esc(c.started) + " · <code>ardentis-batch " + esc(c.options) +
        "</code> · table: " + (c.table.isEmpty() ? std::string("none") : esc(c.table)) +
        " · radiometry: " + (full ? "full model (air and window)" : "simple") + "</p>";
    html += "<div class=\"tiles\"><div class=\"tile\"><b>" + std::to_string(f.pairs) +
            "</b><span>pairs</span></div><div class=\"tile\"><b>" + std::to_string(processed) +
            "</b><span>processed</span></div><div class=\"tile\"><b>" + std::to_string(skipped) +
            "</b><span>skipped</span></div><div class=\"tile\">" +
            scale_svg(f.palette, f.lo, f.hi) +
            "<span>map scale, the same for every pair; beyond it, the colour of its nearer "
            "end</span></div></div>";
    if (!f.skipped.empty()) {
        html += "<h2>Skipped pairs</h2><ul class=\"skipped\">";
        for (const ReportSkip &s : f.skipped)
            html += "<li>Pair " + std::to_string(s.pair + 1) + ": " + esc(s.radiometric) +
                    (s.visible.isEmpty() ? "" : ", " + esc(s.visible)) +
                    "<br><span class=\"why\">" + esc(s.problem) + "</span></li>";
        html += "</ul>";
    }
    return html + notes_html(f.notes);
}

// Where the campaign plot puts each row across, from 0 to 1: by capture time
// when every pair with a plant mean has one and they span some time, else by
// pair order. A row without a place (no capture time) is at -1.
struct Across {
    std::vector<double> at;
    std::vector<std::pair<double, std::string>> labels;
    const char *title = "Pair, in input order";
};

Across by_time(const std::vector<PairOutcome> &rows, double first, double last)
{
    Across a;
    const double pad = 0.04 * (last - first), lo = first - pad, span = last - first + 2 * pad;
    for (const PairOutcome &r : rows)
        a.at.push_back(std::isnan(capture_of(r)) ? -1 : (capture_of(r) - lo) / span);
    double step = std::ceil((last - first) / 8 / 86400) * 86400;
    for (double s : {60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400})
        if ((last - first) / s <= 8) {
            step = s;
            break;
        }
    const QString from = local_time_text(LocalTime(first)), to = local_time_text(LocalTime(last));
    const bool one_day = from.left(10) == to.left(10);
    for (double t = std::ceil(lo / step) * step; t <= lo + span; t += step) {
        const QString text = local_time_text(LocalTime(t));
        a.labels.push_back(
            {(t - lo) / span, (one_day ? text.mid(11, 5) : text.mid(5, 11)).toStdString()});
    }
    a.title = one_day ? "Capture time" : "Capture date and time";
    return a;
}

Across across(const std::vector<PairOutcome> &rows)
{
    double first = 1e300, last = -1e300;
    bool timed = true;
    for (const PairOutcome &r : rows) {
        timed = timed && (!std::isnan(capture_of(r)) || std::isnan(r.record.plant.mean));
        if (!std::isnan(capture_of(r))) {
            first = std::min(first, capture_of(r));
            last = std::max(last, capture_of(r));
        }
    }
    if (timed && last > first)
        return by_time(rows, first, last);
    Across a;
    const size_t n = rows.size(), label_every = (n + 11) / 12;
    for (size_t i = 0; i < n; ++i) {
        a.at.push_back((double(i) + 0.5) / double(n));
        if (i % label_every == 0)
            a.labels.push_back({a.at.back(), std::to_string(rows[i].plan.pair + 1)});
    }
    return a;
}

// The air temperature of the pairs that have one, joined where their
// captures are no further apart than the weather log's longest gap.
std::string air_line(const std::vector<PairOutcome> &rows, const Across &a,
                     const std::function<double(double)> &x, const std::function<double(double)> &y)
{
    struct Point {
        double at, air, capture;
        bool operator<(const Point &o) const { return at < o.at; }
    };
    std::vector<Point> points; // every pair placed, with its air or NaN
    for (size_t i = 0; i < rows.size(); ++i)
        if (a.at[i] >= 0)
            points.push_back({a.at[i], rows[i].trial.air, capture_of(rows[i])});
    std::sort(points.begin(), points.end());
    std::string svg, line;
    int joined = 0; // the points in `line`
    const auto draw = [&] {
        if (joined > 1)
            svg += "<polyline fill=\"none\" stroke=\"#2563eb\" stroke-width=\"1.5\" "
                   "stroke-dasharray=\"5 3\" points=\"" +
                   line + "\"/>";
        line.clear();
        joined = 0;
    };
    for (size_t i = 0; i < points.size(); ++i) {
        // Not across a pair without air, nor captures not known to be near.
        if (i > 0 && !(std::abs(points[i].capture - points[i - 1].capture) <= longest_gap))
            draw();
        if (std::isnan(points[i].air)) {
            draw();
            continue;
        }
        line += fx(x(points[i].at), 1) + "," + fx(y(points[i].air), 1) + " ";
        ++joined;
    }
    draw();
    for (const Point &p : points)
        if (!std::isnan(p.air))
            svg += "<rect x=\"" + fx(x(p.at) - 3, 1) + "\" y=\"" + fx(y(p.air) - 3, 1) +
                   "\" width=\"6\" height=\"6\" fill=\"#2563eb\"><title>Air " + fx(p.air, 2) +
                   " °C</title></rect>";
    return svg;
}

std::string pair_mark(const PairOutcome &r, double x, const std::function<double(double)> &y)
{
    const std::string ctd =
        std::isnan(r.trial.ctd) ? std::string() : ", CTD " + fx(r.trial.ctd, 2) + " °C";
    return "<g><title>Image " + fx(r.record.number, 0) + " (pair " +
           std::to_string(r.plan.pair + 1) + ")" +
           (capture_text(r).empty() ? "" : " " + capture_text(r)) + ": " +
           fx(r.record.plant.mean, 2) + " °C, P25–P75 " + fx(r.record.plant.p25, 2) + "–" +
           fx(r.record.plant.p75, 2) + " °C" + ctd + "</title><line x1=\"" + fx(x, 1) + "\" x2=\"" +
           fx(x, 1) + "\" y1=\"" + fx(y(r.record.plant.p25), 1) + "\" y2=\"" +
           fx(y(r.record.plant.p75), 1) +
           "\" stroke=\"#6b7280\" stroke-width=\"2\"/><circle cx=\"" + fx(x, 1) + "\" cy=\"" +
           fx(y(r.record.plant.mean), 1) + "\" r=\"4.5\" fill=\"#c2410c\"/></g>";
}

std::string plot_svg(const std::vector<PairOutcome> &rows)
{
    if (rows.empty())
        return "<p>No pair was processed.</p>";
    double lo = 1e300, hi = -1e300;
    bool air = false;
    for (const PairOutcome &r : rows)
        for (double v : {r.record.plant.p25, r.record.plant.p75, r.record.plant.mean, r.trial.air})
            if (!std::isnan(v)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
    for (const PairOutcome &r : rows)
        air = air || !std::isnan(r.trial.air);
    if (!(hi >= lo))
        return "<p>No pair had plant pixels.</p>";
    const double pad = std::max(0.2, 0.08 * (hi - lo));
    lo -= pad;
    hi += pad;
    const double left = 56, top = 12, width = 1040, height = 230;
    const Across a = across(rows);
    const std::function<double(double)> x = [&](double at) { return left + at * width; };
    const std::function<double(double)> y = [&](double v) {
        return top + (hi - v) / (hi - lo) * height;
    };
    std::string svg = "<figure class=\"chart\"><svg viewBox=\"0 0 1110 290\" width=\"100%\" "
                      "role=\"img\" aria-label=\"Plant temperature of every pair\">";
    const std::vector<double> ticks = nice_ticks(lo, hi);
    const double step = tick_step(ticks);
    for (double t : ticks)
        svg += "<line x1=\"" + fx(left, 0) + "\" x2=\"" + fx(left + width, 0) + "\" y1=\"" +
               fx(y(t), 1) + "\" y2=\"" + fx(y(t), 1) + "\" stroke=\"#e5e7e2\"/><text x=\"" +
               fx(left - 6, 0) + "\" y=\"" + fx(y(t) + 4, 1) + "\" text-anchor=\"end\">" +
               tick_label(t, step) + "</text>";
    for (const auto &label : a.labels)
        svg += "<text x=\"" + fx(x(label.first), 1) + "\" y=\"" + fx(top + height + 16, 0) +
               "\" text-anchor=\"middle\">" + label.second + "</text>";
    svg += air_line(rows, a, x, y);
    for (size_t i = 0; i < rows.size(); ++i)
        if (a.at[i] >= 0 && !std::isnan(rows[i].record.plant.mean))
            svg += pair_mark(rows[i], x(a.at[i]), y);
    return svg + "<text x=\"" + fx(left + width / 2, 0) + "\" y=\"284\" text-anchor=\"middle\">" +
           a.title + "</text><text transform=\"translate(14 " + fx(top + height / 2, 0) +
           ") rotate(-90)\" text-anchor=\"middle\">" +
           (air ? "Temperature (°C)" : "Plant temperature (°C)") +
           "</text></svg><figcaption>Plant mean of every pair (dot) with its 25th to 75th "
           "percentile "
           "(line)" +
           (air ? ", and the air temperature (blue squares, dashed)" : "") +
           "; hover a dot for its image number.</figcaption></figure>";
}

std::string cell(double sort, const std::string &text)
{
    return "<td data-v=\"" + (std::isnan(sort) ? std::string() : format_fixed(sort, 6)) + "\">" +
           text + "</td>";
}

// A cell of text, sorted as text.
std::string text_cell(const std::string &text)
{
    const std::string v = esc(QString::fromStdString(text));
    return "<td data-v=\"" + v + "\">" + v + "</td>";
}

// The trial's headings, or its cells of a row: the book's columns, the air's
// and the stress index.
std::string trial_columns(const TrialSetup *trial, const PairOutcome *r)
{
    std::string html;
    if (!trial)
        return html;
    for (size_t i = 0; i < trial->book.columns.size(); ++i) {
        html += r ? text_cell(i < r->trial.book.size() ? r->trial.book[i] : "")
                  : "<th scope=\"col\" data-sort>" +
                        esc(QString::fromStdString(trial->book.columns[i])) + "</th>";
    }
    std::vector<std::pair<const char *, double>> air;
    if (trial->request.air != AirSource::None)
        air = {{"Air °C", r ? r->trial.air : 0},
               {"RH %", r ? r->trial.humidity : 0},
               {"VPD kPa", r ? r->trial.vpd : 0},
               {"CTD °C", r ? r->trial.ctd : 0}};
    if (trial->request.cwsi)
        air.push_back({"CWSI", r ? r->trial.cwsi : 0});
    for (const auto &[heading, value] : air)
        html += r ? cell(value, fx(value, 2))
                  : std::string("<th scope=\"col\" data-sort>") + heading + "</th>";
    return html;
}

std::string table_html(const std::vector<PairOutcome> &rows, const TrialSetup *trial)
{
    std::string html = "<div class=\"wide\"><table><thead><tr>";
    for (const char *h : {"Pair", "Image", "Photograph", "Time", "Plant °C", "Median", "SD",
                          "Plant share", "Correlation", "Emissivity", "Reflected °C"})
        html += std::string("<th scope=\"col\" data-sort>") + h + "</th>";
    html += trial_columns(trial, nullptr) + "</tr></thead><tbody>";
    for (const PairOutcome &r : rows) {
        const std::string k = std::to_string(r.plan.pair + 1);
        html +=
            "<tr>" + cell(r.plan.pair + 1, "<a href=\"#pair-" + k + "\">" + k + "</a>") +
            cell(r.record.number, fx(r.record.number, 0)) +
            text_cell(photograph_name(r).toStdString()) +
            cell(std::isnan(capture_of(r)) ? seconds_of(r.record.time) : capture_of(r),
                 "<span class=\"nowrap\">" + capture_text(r) + "</span>") +
            cell(r.record.plant.mean, fx(r.record.plant.mean, 2)) +
            cell(r.record.plant.median, fx(r.record.plant.median, 2)) +
            cell(r.record.plant.sd, fx(r.record.plant.sd, 2)) +
            cell(r.record.plant.plant_fraction, fx(100 * r.record.plant.plant_fraction, 1) + " %") +
            cell(r.record.searched ? r.record.correlation : std::nan(""),
                 r.record.searched ? fx(r.record.correlation, 2) : "") +
            cell(r.record.emissivity, fx(r.record.emissivity, 3)) +
            cell(r.record.t_refl, fx(r.record.t_refl, 2)) + trial_columns(trial, &r) + "</tr>";
    }
    return html + "</tbody></table></div>";
}

} // namespace

QString write_page(TextFile &page, const PageFacts &facts, const QString &cards_path)
{
    // A failed write fails every later one with the same problem.
    for (const std::string &part :
         {head_html(facts), std::string("<h2>Campaign</h2>"), plot_svg(facts.rows),
          groups_html(facts), std::string("<h2>Pairs</h2>"), table_html(facts.rows, facts.trial),
          std::string("<h2>Every pair</h2>")})
        page.write(part);
    if (!cards_path.isEmpty()) {
        QFile cards(cards_path);
        if (!cards.open(QIODevice::ReadOnly))
            return QStringLiteral("%1 cannot be read (%2).").arg(cards_path, cards.errorString());
        while (!cards.atEnd()) {
            const QByteArray chunk = cards.read(1 << 20);
            if (chunk.isEmpty() && cards.error() != QFileDevice::NoError)
                return QStringLiteral("%1 cannot be read (%2).")
                    .arg(cards_path, cards.errorString());
            page.write(std::string(chunk.constData(), size_t(chunk.size())));
        }
    }
    return page.write(std::string("</main>") + script + "</body></html>\n");
}

} // namespace ardentis
