#include "report/trialhtml.h"

#include "analysis/thermalmap.h"

#include <algorithm>
#include <cmath>

namespace ardentis
{

std::string notes_html(const QStringList &notes)
{
    if (notes.isEmpty())
        return {};
    std::string html = "<h2>Notes</h2><ul class=\"skipped\">";
    for (const QString &note : notes)
        html += "<li>" + esc(note) + "</li>";
    return html + "</ul>";
}

namespace
{

std::string group_plot(const std::vector<GroupSummary> &sorted)
{
    double lo = 1e300, hi = -1e300;
    for (const GroupSummary &g : sorted) {
        const double se = std::isnan(g.se) ? 0 : g.se;
        lo = std::min(lo, g.mean - se);
        hi = std::max(hi, g.mean + se);
    }
    const double pad = std::max(0.2, 0.08 * (hi - lo));
    lo -= pad;
    hi += pad;
    const double left = 230, width = 800, row = 24, top = 10;
    const double height = row * double(sorted.size());
    const auto x = [&](double v) { return fx(left + (v - lo) / (hi - lo) * width, 1); };
    std::string svg = "<figure class=\"chart\"><svg viewBox=\"0 0 1110 " +
                      fx(height + top + 44, 0) +
                      "\" width=\"100%\" role=\"img\" aria-label=\"Mean plant temperature of "
                      "each group\">";
    const std::vector<double> ticks = nice_ticks(lo, hi);
    const double step = tick_step(ticks);
    for (double t : ticks)
        svg += "<line x1=\"" + x(t) + "\" x2=\"" + x(t) + "\" y1=\"" + fx(top, 0) + "\" y2=\"" +
               fx(top + height, 0) + "\" stroke=\"#e5e7e2\"/><text x=\"" + x(t) + "\" y=\"" +
               fx(top + height + 16, 0) + "\" text-anchor=\"middle\">" + tick_label(t, step) +
               "</text>";
    for (size_t i = 0; i < sorted.size(); ++i) {
        const GroupSummary &g = sorted[i];
        // A long name is cut short on the left; the hover text has it whole.
        const QString whole = QString::fromStdString(g.group);
        const std::string y = fx(top + row * (double(i) + 0.5), 1), name = esc(whole),
                          label = esc(whole.size() > 32 ? whole.left(31) + "…" : whole);
        const double se = std::isnan(g.se) ? 0 : g.se;
        svg += "<g><title>" + name + ": " + fx(g.mean, 2) + " ± " + fx(g.se, 2) +
               " °C, n = " + std::to_string(g.n) + "</title><text x=\"" + fx(left - 10, 0) +
               "\" y=\"" + y + "\" dy=\"4\" text-anchor=\"end\">" + label + "</text><line x1=\"" +
               x(g.mean - se) + "\" x2=\"" + x(g.mean + se) + "\" y1=\"" + y + "\" y2=\"" + y +
               "\" stroke=\"#6b7280\" stroke-width=\"2\"/><circle cx=\"" + x(g.mean) + "\" cy=\"" +
               y + "\" r=\"5\" fill=\"#c2410c\"/><text x=\"" + fx(left + width + 12, 0) +
               "\" y=\"" + y + "\" dy=\"4\">n = " + std::to_string(g.n) + "</text></g>";
    }
    return svg + "<text x=\"" + fx(left + width / 2, 0) + "\" y=\"" + fx(top + height + 38, 0) +
           "\" text-anchor=\"middle\">Mean plant temperature (°C)</text></svg><figcaption>Mean "
           "of the pairs' plant means (dot) ± its standard error (line), coolest group "
           "first.</figcaption></figure>";
}

std::string group_table(const std::vector<GroupSummary> &sorted, const TrialSetup &trial)
{
    std::string html = "<div class=\"wide\"><table><thead><tr>";
    std::vector<const char *> headings{"Group", "n", "Mean °C", "SD", "SE", "Min", "Max"};
    if (trial.request.air != AirSource::None)
        headings.push_back("Mean CTD °C");
    if (trial.request.cwsi)
        headings.push_back("Mean CWSI");
    for (const char *h : headings)
        html += std::string("<th scope=\"col\">") + h + "</th>";
    html += "</tr></thead><tbody>";
    for (const GroupSummary &g : sorted) {
        html += "<tr><td>" + esc(QString::fromStdString(g.group)) + "</td><td>" +
                std::to_string(g.n) + "</td>";
        for (double v : {g.mean, g.sd, g.se, g.min, g.max})
            html += "<td>" + fx(v, 2) + "</td>";
        if (trial.request.air != AirSource::None)
            html += "<td>" + fx(g.ctd, 2) + "</td>";
        if (trial.request.cwsi)
            html += "<td>" + fx(g.cwsi, 2) + "</td>";
        html += "</tr>";
    }
    return html + "</tbody></table></div>";
}

} // namespace

std::string groups_html(const PageFacts &facts)
{
    if (!facts.trial || facts.trial->group_column < 0)
        return {};
    const std::string column =
        esc(QString::fromStdString(facts.trial->book.columns[size_t(facts.trial->group_column)]));
    std::vector<GroupSummary> sorted;
    for (const GroupSummary &g : facts.groups)
        if (g.n > 0)
            sorted.push_back(g);
    if (sorted.empty())
        return "<h2>Groups by " + column + "</h2><p>No group has a pair with a plant mean.</p>";
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const GroupSummary &a, const GroupSummary &b) { return a.mean < b.mean; });
    return "<h2>Groups by " + column + "</h2>" + group_plot(sorted) +
           group_table(sorted, *facts.trial);
}

} // namespace ardentis
