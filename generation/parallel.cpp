#include "parallel.h"

#include <atomic>
#include <climits>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace ardentis
{

RunResult run_generation_parallel(const RunInput &input, RunFrontEnd &front, int jobs,
                                  const MeasurerFactory &make_measurer, const PairsDone &pairs_done)
{
    RunResult result;
    std::FILE *csv = start_run(input, front, nullptr, result);
    if (!csv)
        return result;
    const QString out_dir = input.output_dirs.first();

    // The plan depends only on the paths and the table.
    std::vector<PairPlan> plans;
    plans.reserve(size_t(result.pairs));
    PairPlanner planner(input);
    for (int k = 0; k < result.pairs; ++k) {
        const QString &visible = input.image_files.at(2 * k + 1);
        plans.push_back(
            planner.next(k, input.image_files.at(2 * k), visible, parse_image_number(visible)));
    }

    // Pairs writing the same files form one chain, processed in order by one
    // worker, so that the later pair's files are the ones left.
    std::vector<std::vector<int>> chains;
    std::map<int, size_t> chain_of_number;
    for (const PairPlan &plan : plans) {
        if (plan.table_hit)
            continue;
        const bool named = plan.number <= double(INT_MAX);
        if (named) {
            const auto found = chain_of_number.find(int(plan.number));
            if (found != chain_of_number.end()) {
                chains[found->second].push_back(plan.pair);
                continue;
            }
            chain_of_number[int(plan.number)] = chains.size();
        }
        chains.push_back({plan.pair});
    }

    std::vector<std::optional<PairOutcome>> outcomes(plans.size());
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<size_t> next_chain{0};
    auto work = [&] {
        const std::unique_ptr<PairMeasurer> measurer = make_measurer();
        for (size_t c = next_chain++; c < chains.size(); c = next_chain++) {
            for (int k : chains[c]) {
                PairOutcome outcome =
                    execute_pair(plans[size_t(k)], *measurer, out_dir, input.refl_loaded, nullptr);
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    outcomes[size_t(k)] = std::move(outcome);
                }
                finished.notify_one();
            }
        }
    };
    const int workers = std::max(1, std::min<int>(jobs, int(chains.size())));
    std::vector<std::thread> threads;
    if (!chains.empty())
        for (int i = 0; i < workers; ++i)
            threads.emplace_back(work);

    // Write the summary lines in pair order as the pairs come in.
    for (int k = 0; k < result.pairs; ++k) {
        const PairPlan &plan = plans[size_t(k)];
        if (!plan.table_hit) {
            PairOutcome outcome;
            {
                std::unique_lock<std::mutex> lock(mutex);
                finished.wait(lock, [&] { return outcomes[size_t(k)].has_value(); });
                outcome = std::move(*outcomes[size_t(k)]);
                outcomes[size_t(k)].reset();
            }
            record_outcome(csv, result, plan, outcome);
        }
        if (pairs_done)
            pairs_done(k + 1, result.pairs);
    }
    for (std::thread &t : threads)
        t.join();
    finish_run(csv, input, result, front);
    return result;
}

} // namespace ardentis
