#include "trials/groups.h"

#include "common/cnumber.h"
#include "outputs/lines.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace ardentis
{

namespace
{

double mean_of(const std::vector<double> &values)
{
    double sum = 0;
    int n = 0;
    for (double v : values)
        if (!std::isnan(v)) {
            sum += v;
            ++n;
        }
    return n > 0 ? sum / n : std::nan("");
}

GroupSummary summary(const std::string &name, const std::vector<const TrialValues *> &pairs)
{
    GroupSummary g;
    g.group = name;
    std::vector<double> canopy, ctd, cwsi;
    for (const TrialValues *p : pairs) {
        if (!std::isnan(p->canopy))
            canopy.push_back(p->canopy);
        ctd.push_back(p->ctd);
        cwsi.push_back(p->cwsi);
    }
    g.n = int(canopy.size());
    g.mean = mean_of(canopy);
    double squares = 0;
    for (double v : canopy)
        squares += (v - g.mean) * (v - g.mean);
    g.sd = g.n > 1 ? std::sqrt(squares / (g.n - 1)) : std::nan("");
    g.se = g.sd / std::sqrt(double(g.n));
    g.min = g.n > 0 ? *std::min_element(canopy.begin(), canopy.end()) : std::nan("");
    g.max = g.n > 0 ? *std::max_element(canopy.begin(), canopy.end()) : std::nan("");
    g.ctd = mean_of(ctd);
    g.cwsi = mean_of(cwsi);
    return g;
}

} // namespace

std::vector<GroupSummary> summarise_groups(const std::vector<TrialValues> &pairs, int column)
{
    std::vector<std::string> order;
    std::map<std::string, std::vector<const TrialValues *>> members;
    for (const TrialValues &p : pairs) {
        if (column < 0 || size_t(column) >= p.book.size() || p.book[size_t(column)].empty())
            continue;
        const std::string &value = p.book[size_t(column)];
        if (!members.count(value))
            order.push_back(value);
        members[value].push_back(&p);
    }
    std::vector<GroupSummary> groups;
    for (const std::string &value : order)
        groups.push_back(summary(value, members[value]));
    return groups;
}

std::string groups_csv(const TrialSetup &setup, const std::vector<GroupSummary> &groups)
{
    const bool air = setup.request.air != AirSource::None, cwsi = bool(setup.request.cwsi);
    std::string text = std::string("group,n,mean,sd,se,min,max") + (air ? ",mean ctd" : "") +
                       (cwsi ? ",mean cwsi" : "") + "\n";
    for (const GroupSummary &g : groups) {
        text += csv_field(g.group) + "," + std::to_string(g.n);
        std::vector<double> values{g.mean, g.sd, g.se, g.min, g.max};
        if (air)
            values.push_back(g.ctd);
        if (cwsi)
            values.push_back(g.cwsi);
        for (double v : values) {
            text += ',';
            if (!std::isnan(v))
                append_figure(text, v, 6);
        }
        text += '\n';
    }
    return text;
}

} // namespace ardentis
