#pragma once
// A trial's pairs summarised by the values of one column of its field book:
// genotype, treatment, plot, ...

#include "trials/trial.h"

#include <string>
#include <vector>

namespace ardentis
{

// The plant means of a group's pairs, and their mean CTD and CWSI. NaN where
// there is nothing to describe (the SD and SE need two pairs).
struct GroupSummary {
    std::string group;
    int n = 0; // pairs with a plant mean
    double mean = 0, sd = 0, se = 0, min = 0, max = 0, ctd = 0, cwsi = 0;
};

// One summary per value of the book's column `column` among `pairs`, in the
// order the values first come; pairs without a value are left out.
std::vector<GroupSummary> summarise_groups(const std::vector<TrialValues> &pairs, int column);

// groups.csv: a header, then a line per group.
std::string groups_csv(const TrialSetup &setup, const std::vector<GroupSummary> &groups);

} // namespace ardentis
