#pragma once
// The generation run on several workers, each with its own measurer. The
// result is that of the run pair after pair: result.csv in pair order, the
// table's values in force as the window follows them, and of two pairs with
// the same file number the later one's files last.

#include "run.h"

#include <functional>
#include <memory>

namespace ardentis
{

using MeasurerFactory = std::function<std::unique_ptr<PairMeasurer>()>;

// Called on the starting thread after each pair (table hits included) with
// the number of pairs done.
using PairsDone = std::function<void(int done, int pairs)>;

RunResult run_generation_parallel(const RunInput &input, RunFrontEnd &front, int jobs,
                                  const MeasurerFactory &make_measurer,
                                  const PairsDone &pairs_done = {});

} // namespace ardentis
