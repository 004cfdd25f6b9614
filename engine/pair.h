#pragma once
// One pair's processing: its pictures read and checked, its radiometric image
// measured, its field found, its files written together.

#include "engine/measurers.h"
#include "engine/run.h"

#include <memory>
#include <set>

namespace ardentis
{

// What one worker keeps from pair to pair.
struct Worker {
    std::unique_ptr<PairMeasurer> measurer;
    // Names whose files this run has written: a later pair of the same name
    // that fails leaves them.
    std::set<QString> written;
};

// Processes one planned pair that is not a table entry, telling its
// diagnostic lines to `trace` unless it is null. Whatever goes wrong inside
// skips this pair only, with the problem.
PairOutcome execute_pair(const PairPlan &plan, const RunInput &input, Worker &worker, Trace *trace);

// The outcome of a pair whose number is in the table.
PairOutcome table_entry(const PairPlan &plan);

} // namespace ardentis
