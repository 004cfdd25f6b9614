#include "engine/run.h"

#include "engine/pair.h"
#include "outputs/lines.h"
#include "outputs/outputlock.h"
#include "outputs/resultfiles.h"
#include "outputs/wholefile.h"
#include "trials/groups.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace ardentis
{

int RunResult::count(PairState state) const
{
    int n = 0;
    for (const PairOutcome &o : outcomes)
        n += o.state == state;
    return n;
}

QString book_rows_note(const TrialSetup &trial, const RunResult &result)
{
    if (result.stopped)
        return rows_not_in_run_note(trial, result.stopped_images);
    std::vector<ImageId> images;
    for (const PairOutcome &o : result.outcomes)
        images.push_back(image_id(o.plan));
    return rows_not_in_run_note(trial, images);
}

QString table_unused_note(const QString &table, const RunResult &result)
{
    if (result.stopped || result.outcomes.empty() || result.count(PairState::TableEntry) > 0)
        return {};
    return QStringLiteral("No image of the run is in the table %1, so it set no emissivity or "
                          "reflected temperature. An image number is read from the digits before "
                          "each full stop of the path of the pair's photograph (with --photo "
                          "embedded, its radiometric image), its folders' names too "
                          "(2024.06.01/IMG_0012.jpg gives 2024060012).")
        .arg(table);
}

QString all_plant_note(const RunResult &result)
{
    int processed = 0, all_plant = 0;
    for (const PairOutcome &o : result.outcomes) {
        if (o.state != PairState::Processed)
            continue;
        ++processed;
        // No more than one pixel in a thousand left out.
        all_plant += o.record.mask == "gb" && o.record.plant.plant_fraction >= 0.999;
    }
    if (all_plant == 0 || 2 * all_plant < processed)
        return {};
    return QStringLiteral("The default mask (gb) counts the whole field as plant in %1 of the %2 "
                          "pairs processed: where the field shows soil, straw or stubble, it is "
                          "counted as plant too; --mask exgr leaves it out.")
        .arg(all_plant)
        .arg(processed);
}

std::vector<TrialValues> processed_trials(const RunResult &result)
{
    std::vector<TrialValues> trials;
    for (const PairOutcome &o : result.outcomes)
        if (o.state == PairState::Processed)
            trials.push_back(o.trial);
    return trials;
}

namespace
{

// The files written in pair order: result.csv, stats.csv.
class OrderedFiles
{
public:
    OrderedFiles(const RunInput &input, RunResult &result, RunObserver *observer)
        : input_(input), result_(result), observer_(observer)
    {
    }
    // Returns why a file cannot be started, naming it.
    QString open()
    {
        const QString dir = input_.output_dir;
        QString problem = result_csv_.open(in_folder(dir, result_file));
        if (problem.isEmpty())
            problem = result_csv_.write(summary_header);
        if (problem.isEmpty() && input_.options.stats)
            problem = stats_csv_.open(in_folder(dir, stats_file));
        if (problem.isEmpty() && input_.options.stats)
            problem = stats_csv_.write(
                stats_header(input_.options.trial ? trial_header(*input_.options.trial) : ""));
        return problem;
    }
    void record(PairOutcome outcome)
    {
        // A pair counts as processed once its lines are written; without
        // them its files would pass for results of a pair the summary lacks.
        if (outcome.state == PairState::Processed) {
            QString problem =
                input_.options.stats ? stats_csv_.write(outcome.stats_line) : QString();
            if (problem.isEmpty())
                problem = result_csv_.write(outcome.summary_line);
            if (!problem.isEmpty()) {
                outcome.state = PairState::Skipped;
                outcome.problem =
                    QStringLiteral("Its line of the summary could not be written: ") + problem;
                remove_files(outcome.files);
                outcome.files.clear();
            }
        }
        if (input_.options.extras)
            input_.options.extras->add(outcome);
        outcome.drop_lines();
        result_.outcomes.push_back(std::move(outcome));
        if (observer_)
            observer_->pair_finished(result_.outcomes.back(), int(result_.outcomes.size()),
                                     result_.pairs);
    }
    // `extras_problem`: why the extras could not start.
    void finish(const QString &extras_problem)
    {
        QStringList problems{result_csv_.commit()};
        if (input_.options.stats)
            problems << stats_csv_.commit();
        if (input_.options.trial && input_.options.trial->group_column >= 0)
            problems << write_groups(*input_.options.trial);
        if (input_.options.extras)
            problems << extras_problem << input_.options.extras->finish(result_);
        problems.removeAll(QString());
        result_.result_problem = problems.value(0);
    }

private:
    QString write_groups(const TrialSetup &trial) const
    {
        return write_together(
            {{in_folder(input_.output_dir, groups_file),
              groups_csv(trial, summarise_groups(processed_trials(result_), trial.group_column))}});
    }

    const RunInput &input_;
    RunResult &result_;
    RunObserver *observer_;
    TextFile result_csv_, stats_csv_;
};

bool stopping(const std::atomic<bool> *stop)
{
    return stop && stop->load();
}

void run_in_order(const RunInput &input, const MeasurerFactory &measurers, OrderedFiles &files,
                  int pairs, RunObserver *observer, const std::atomic<bool> *stop)
{
    Worker worker{measurers(), {}};
    PairPlanner planner(input);
    for (int k = 0; k < pairs && !stopping(stop); ++k) {
        const PairPlan plan = planner.next(k, observer);
        if (observer)
            observer->pair_starting(k, pairs);
        files.record(plan.table_hit ? table_entry(plan)
                                    : execute_pair(plan, input, worker, observer));
    }
}

// The pairs the workers finished, until the recorder takes them.
struct Finished {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<PairOutcome>> outcomes;
    int working = 0;    // workers not yet ended
    int last_done = -1; // the last pair finished, in pair order
};

void run_on_workers(const RunInput &input, const MeasurerFactory &measurers, int jobs,
                    OrderedFiles &files, const std::atomic<bool> *stop)
{
    const std::vector<PairPlan> plans = plan_pairs(input);
    const std::vector<std::vector<int>> chains = file_chains(plans);
    Finished done;
    done.outcomes.resize(plans.size());
    std::atomic<size_t> next_chain{0};
    auto work = [&] {
        Worker worker{measurers(), {}};
        for (size_t c = next_chain++; c < chains.size(); c = next_chain++)
            for (int k : chains[c]) {
                if (stopping(stop))
                    break;
                PairOutcome outcome = execute_pair(plans[size_t(k)], input, worker, nullptr);
                const std::lock_guard<std::mutex> lock(done.mutex);
                done.outcomes[size_t(k)] = std::move(outcome);
                done.last_done = std::max(done.last_done, k);
                done.changed.notify_all();
            }
        const std::lock_guard<std::mutex> lock(done.mutex);
        --done.working;
        done.changed.notify_all();
    };
    done.working = std::min<int>(jobs, int(chains.size()));
    std::vector<std::thread> threads;
    for (int i = 0; i < done.working; ++i)
        threads.emplace_back(work);

    // Record the pairs in pair order as they come in; once stopped, those
    // done, and the table entries before the last of them.
    for (int k = 0; k < int(plans.size()); ++k) {
        std::unique_lock<std::mutex> lock(done.mutex);
        if (plans[size_t(k)].table_hit) {
            if (stopping(stop)) {
                done.changed.wait(lock, [&] { return done.working == 0; });
                if (done.last_done < k)
                    continue;
            }
            lock.unlock();
            files.record(table_entry(plans[size_t(k)]));
            continue;
        }
        done.changed.wait(
            lock, [&] { return done.outcomes[size_t(k)].has_value() || done.working == 0; });
        if (!done.outcomes[size_t(k)]) // not started: the run was stopped
            continue;
        PairOutcome outcome = std::move(*done.outcomes[size_t(k)]);
        done.outcomes[size_t(k)].reset();
        lock.unlock();
        files.record(std::move(outcome));
    }
    for (std::thread &t : threads)
        t.join();
}

// Marks each processed pair whose files a later processed pair of the same
// file number replaced. The outcomes are in pair order, one per pair done.
void mark_replaced(std::vector<PairOutcome> &outcomes)
{
    std::vector<PairPlan> plans;
    std::map<int, size_t> index; // of each pair's outcome
    for (const PairOutcome &o : outcomes) {
        index[o.plan.pair] = plans.size();
        plans.push_back(o.plan);
    }
    for (const std::vector<int> &chain : file_chains(plans)) {
        PairOutcome *last = nullptr;
        for (const int pair : chain) {
            PairOutcome &o = outcomes[index.at(pair)];
            if (o.state != PairState::Processed)
                continue;
            if (last)
                last->replaced_by = pair;
            last = &o;
        }
    }
}

// Why a folder the run writes or removes files in cannot be used: through a
// link, results would be written, and stale ones removed, outside the
// output folder.
QString foreign_folder_problem(const RunInput &input)
{
    QStringList names;
    for (const char *name : pair_folders)
        names << QLatin1String(name);
    if (input.options.extras)
        names << input.options.extras->folders();
    for (const QString &name : names) {
        const QFileInfo folder(input.output_dir + QLatin1Char('/') + name);
        if (folder.isSymLink())
            return QStringLiteral("%1 is a symbolic link, and results are written only inside "
                                  "the output folder")
                .arg(folder.filePath());
        if (folder.exists() && !folder.isDir())
            return QStringLiteral("%1 is not a folder").arg(folder.filePath());
    }
    return {};
}

void make_result_folders(const RunInput &input)
{
    const QDir out(input.output_dir);
    for (const char *sub : result_folders)
        out.mkdir(QString::fromLatin1(sub));
    if (input.options.temperatures)
        out.mkdir(QString::fromLatin1(temperature_folder));
}

} // namespace

RunStart check_input(const RunInput &input)
{
    if (input.output_dir.isEmpty())
        return RunStart::NoOutputDir;
    if (!input.pairs.empty())
        return RunStart::Started;
    if (input.options.pairing.by == Pairing::Time) // formed beforehand: none were
        return RunStart::TooFewImages;
    if (input.options.photo == PhotoSource::Embedded)
        return input.image_files.isEmpty() ? RunStart::TooFewImages : RunStart::Started;
    if (input.image_files.size() < 2)
        return RunStart::TooFewImages;
    if (input.image_files.size() % 2 != 0)
        return RunStart::OddImages;
    return RunStart::Started;
}

RunResult run_generation(const RunInput &input, const MeasurerFactory &measurers, int jobs,
                         RunObserver *observer, const std::atomic<bool> *stop)
{
    RunResult result;
    OutputLock lock;
    const LockOutcome locked = lock.lock(input.output_dir);
    if (locked != LockOutcome::Taken) {
        result.start = locked == LockOutcome::Held ? RunStart::OutputLocked : RunStart::LockFailed;
        result.start_problem = lock.problem();
        return result;
    }
    result.start_problem = foreign_folder_problem(input);
    if (!result.start_problem.isEmpty()) {
        result.start = RunStart::ForeignFolder;
        return result;
    }
    OrderedFiles files(input, result, observer);
    result.start_problem = files.open();
    if (!result.start_problem.isEmpty()) {
        result.start = RunStart::NoResultFile;
        return result;
    }
    result.pairs = pair_count(input);
    if (observer)
        observer->trace(input.refl_loaded ? "yes\n" : "no\n");
    make_result_folders(input);
    const QString extras_problem = input.options.extras ? input.options.extras->start() : QString();
    if (jobs <= 1)
        run_in_order(input, measurers, files, result.pairs, observer, stop);
    else
        run_on_workers(input, measurers, jobs, files, stop);
    result.stopped = int(result.outcomes.size()) < result.pairs;
    if (result.stopped)
        for (const PairPlan &plan : plan_pairs(input))
            result.stopped_images.push_back(image_id(plan));
    files.finish(extras_problem);
    mark_replaced(result.outcomes);
    return result;
}

} // namespace ardentis
