#include "run.h"

#include "cnumber.h"
#include "outputs.h"
#include "pictures.h"
#include "refltable.h"
#include "tagquery.h"

#include <QDir>
#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace ardentis
{

namespace
{

void say(std::FILE *out, const std::string &text)
{
    if (out)
        std::fputs(text.c_str(), out);
}

} // namespace

int RunResult::count(PairState state) const
{
    int n = 0;
    for (const PairOutcome &o : outcomes)
        n += o.state == state;
    return n;
}

double parse_image_number(const QString &path, std::FILE *diagnostics)
{
    const QByteArray bytes = path.toUtf8();
    double number = 0;
    int k = 0;
    bool armed = false;
    for (int i = bytes.size() - 1; i >= 0; --i) {
        const char b = bytes[i];
        if (b == '.') {
            armed = true;
            say(diagnostics, "Found");
        } else if (armed && b >= '0' && b <= '9') {
            say(diagnostics, "numnum, index" + std::to_string(i) + ", val=" + b + "\n");
            number += (b - '0') * std::pow(10.0, k);
            ++k;
        } else {
            armed = false;
        }
    }
    return number;
}

int file_number(double image_number)
{
    return image_number <= double(INT_MAX) ? int(image_number) : -1;
}

int progress_value(int k, int pairs)
{
    return pairs == 1 ? 100 : int(100LL * k / (pairs - 1));
}

QStringList list_jpeg_files(const QString &dir)
{
    const QDir folder(dir);
    QStringList paths;
    for (const QString &entry :
         folder.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPEG")},
                          QDir::Files | QDir::NoSymLinks, QDir::NoSort))
        paths << folder.absoluteFilePath(entry);
    return paths;
}

PairPlan PairPlanner::next(int k, std::FILE *diagnostics)
{
    PairPlan plan = in_force_;
    plan.pair = k;
    plan.radiometric = input_.image_files.at(2 * k);
    plan.visible = input_.image_files.at(2 * k + 1);
    plan.number = parse_image_number(plan.visible, diagnostics);
    plan.table_hit = false;
    if (input_.refl_loaded) {
        const int row = match_refl_code(input_.refl_table, plan.number);
        if (row > 0) {
            refl_row_values(input_.refl_table, row, &in_force_.emissivity, &in_force_.t_refl);
            in_force_.flag_er = true;
            in_force_.table_line = row; // every line of the table is a row
            plan.table_hit = true;
        }
    }
    return plan;
}

Measurement PerQueryMeasurer::measure(const PairPlan &plan, Radiometry)
{
    ProcessExifTool tool;
    double e = plan.emissivity, tr = plan.t_refl;
    Measurement m = measure_temperatures(tool, plan.flag_er, plan.radiometric, &e, &tr, work_file_);
    if (m.problem.isEmpty())
        m.time = time_of_day(query_capture_time(tool, plan.radiometric));
    return m;
}

Measurement OneExchangeMeasurer::measure(const PairPlan &plan, Radiometry model)
{
    return measure_in_one_exchange(tool_, plan.radiometric, plan.flag_er, plan.emissivity,
                                   plan.t_refl, model);
}

namespace
{

// What one worker keeps from pair to pair.
struct Worker {
    std::unique_ptr<PairMeasurer> measurer;
    // File numbers whose files this run has written: a later pair with the
    // same number that fails leaves them.
    std::set<int> written;
};

std::string encoded_jpeg(const cv::Mat &picture)
{
    std::vector<uchar> bytes;
    if (!cv::imencode(".jpg", picture, bytes))
        throw std::runtime_error("a result picture cannot be encoded");
    return std::string(bytes.begin(), bytes.end());
}

void print_data_lines(std::FILE *diagnostics, const Measurement &m)
{
    const cv::Mat &t = m.temps;
    if (t.total() >= 3 && t.type() == CV_64FC1 && t.isContinuous()) {
        const double *v = t.ptr<double>(0);
        say(diagnostics, "\nDATA: " + format_fixed6(v[0]) + " " + format_fixed6(v[1]) + " " +
                             format_fixed6(v[2]) + "\n");
    }
    say(diagnostics, "\n" + format_fixed6(m.calibration.emissivity) + "," +
                         format_fixed6(m.calibration.t_refl) + "\n");
}

// Why the table's values in force cannot be used for the plan's pair.
QString table_values_problem(const PairPlan &plan)
{
    if (!plan.flag_er)
        return {};
    const QString source = QStringLiteral("on line %1 of the table").arg(plan.table_line);
    const QString problem = emissivity_problem(plan.emissivity, source);
    return problem.isEmpty() ? t_refl_problem(plan.t_refl, source) : problem;
}

// The checks before any tool runs: the files, their pictures, the number.
QString pictures_and_number(const PairPlan &plan, const RunOptions &options, cv::Mat &ir,
                            cv::Mat &rgb)
{
    Picture r = read_picture(plan.radiometric, QStringLiteral("radiometric image"));
    if (!r.problem.isEmpty())
        return r.problem;
    Picture v = read_picture(plan.visible, QStringLiteral("photograph"));
    if (!v.problem.isEmpty())
        return v.problem;
    ir = r.image;
    rgb = v.image;
    // A search may move the field anywhere; its prior must fit all the same.
    const QString problem = pictures_problem(ir, rgb, options.field);
    if (!problem.isEmpty())
        return problem;
    if (file_number(plan.number) < 0)
        return QStringLiteral("The image number %1 is too large for a file name.")
            .arg(QString::fromStdString(format_fixed6(plan.number)));
    return table_values_problem(plan);
}

QString temperatures_problem(const Measurement &m)
{
    if (!m.problem.isEmpty())
        return m.problem;
    if (m.temps.empty())
        return no_raw_data_text();
    if (m.without_temperature * 2 > int(m.temps.total()))
        return QStringLiteral("The raw data lie outside the calibration: %1 of %2 pixels have "
                              "no temperature.")
            .arg(m.without_temperature)
            .arg(m.temps.total());
    return {};
}

std::vector<OutputFile> pair_outputs(const PairPictures &p, const Measurement &m,
                                     const PairFiles &files, const RunOptions &options)
{
    std::vector<OutputFile> out{{files.aligned, encoded_jpeg(p.blend)},
                                {files.part, encoded_jpeg(p.part)},
                                {files.table, p.table},
                                {files.mask, encoded_jpeg(p.masked)}};
    if (options.temperatures)
        out.push_back({files.temperatures, temperature_table(m.temps)});
    return out;
}

StatsRow stats_row(const PairPlan &plan, const Measurement &m, const Registration &reg,
                   const RunOptions &options, const PlantStats &stats)
{
    StatsRow row;
    row.number = plan.number;
    row.time = m.time.toStdString();
    row.field_x = reg.field.x;
    row.field_y = reg.field.y;
    row.field_width = reg.field.width;
    row.field_height = reg.field.height;
    row.searched = reg.searched;
    row.registered = reg.registered;
    row.correlation = reg.correlation;
    row.mask = mask_name(options.mask.method);
    row.radiometry = m.calibration.model == Radiometry::Full ? "full" : "simple";
    row.plant = stats;
    row.emissivity = m.calibration.emissivity;
    row.t_refl = m.calibration.t_refl;
    return row;
}

void process_measured(const PairPlan &plan, const Measurement &m, const cv::Mat &ir,
                      const cv::Mat &rgb, const RunInput &input, Worker &worker,
                      PairOutcome &outcome)
{
    const RunOptions &options = input.options;
    Registration reg;
    reg.field = options.field;
    if (options.search_field)
        reg = register_field(rgb, m.temps, options.field);
    const PairPictures pictures = compute_pair(ir, rgb, m.temps, reg.field, options.mask);
    const int n = file_number(plan.number);
    const PairFiles files = pair_files(input.output_dir, n);
    const std::vector<OutputFile> outputs = pair_outputs(pictures, m, files, options);
    outcome.reason = write_together(outputs);
    if (!outcome.reason.isEmpty())
        return;
    for (const OutputFile &f : outputs)
        outcome.files << f.path;
    worker.written.insert(n);
    outcome.summary_line = format_fixed6(plan.number) + "," + m.time.toStdString() + "," +
                           format_fixed6(pictures.mean) + "\n";
    if (options.stats || options.extras) {
        const PlantStats stats = plant_statistics(m.temps, pictures.plant);
        outcome.stats_line = stats_line(stats_row(plan, m, reg, options, stats));
        if (options.extras)
            outcome.extras = options.extras->piece({plan, rgb, m, reg, pictures, stats, n});
    }
    outcome.state = PairState::Processed;
}

void execute_unguarded(const PairPlan &plan, const RunInput &input, Worker &worker,
                       std::FILE *diagnostics, PairOutcome &outcome)
{
    cv::Mat ir, rgb;
    outcome.reason = pictures_and_number(plan, input.options, ir, rgb);
    if (!outcome.reason.isEmpty())
        return;
    const Measurement m = worker.measurer->measure(plan, input.options.radiometry);
    if (!input.refl_loaded)
        print_data_lines(diagnostics, m);
    outcome.pixels = int(m.temps.total());
    outcome.without_temperature = m.without_temperature;
    outcome.reason = temperatures_problem(m);
    if (outcome.reason.isEmpty())
        process_measured(plan, m, ir, rgb, input, worker, outcome);
}

// Processes one planned pair that is not a table entry. Whatever goes wrong
// inside skips this pair only, with the reason.
PairOutcome execute_pair(const PairPlan &plan, const RunInput &input, Worker &worker,
                         std::FILE *diagnostics)
{
    PairOutcome outcome;
    outcome.plan = plan;
    try {
        execute_unguarded(plan, input, worker, diagnostics, outcome);
    } catch (const std::bad_alloc &) {
        outcome.reason = QStringLiteral("There was not enough memory to process the pair.");
    } catch (const cv::Exception &e) {
        outcome.reason = QStringLiteral("The pair could not be processed: %1")
                             .arg(QString::fromStdString(e.err));
    } catch (const std::exception &e) {
        outcome.reason =
            QStringLiteral("The pair could not be processed: %1").arg(QString::fromUtf8(e.what()));
    }
    if (outcome.state != PairState::Processed) {
        outcome.state = PairState::Skipped;
        // Its files, or earlier ones under its names, would pass for its results.
        remove_files(outcome.files);
        const int n = file_number(plan.number);
        if (n >= 0 && !worker.written.count(n)) {
            const PairFiles f = pair_files(input.output_dir, n);
            remove_files({f.aligned, f.part, f.table, f.mask, f.temperatures, f.thermal});
        }
    }
    return outcome;
}

PairOutcome table_entry(const PairPlan &plan)
{
    PairOutcome outcome;
    outcome.plan = plan;
    outcome.state = PairState::TableEntry;
    return outcome;
}

// The files written in pair order: result.csv, stats.csv.
class OrderedFiles
{
public:
    OrderedFiles(const RunInput &input, RunResult &result, RunObserver *observer)
        : input_(input), result_(result), observer_(observer)
    {
    }
    bool open()
    {
        const QString dir = input_.output_dir;
        if (!result_csv_.open(dir + QStringLiteral("/result.csv")) ||
            !result_csv_.write("Image number, Time, Average Temp\n"))
            return false;
        if (input_.options.stats)
            return stats_csv_.open(dir + QStringLiteral("/stats.csv")) &&
                   stats_csv_.write(stats_header());
        return true;
    }
    void record(PairOutcome outcome)
    {
        if (outcome.state == PairState::Processed &&
            (!result_csv_.write(outcome.summary_line) ||
             (input_.options.stats && !stats_csv_.write(outcome.stats_line)))) {
            outcome.state = PairState::Skipped;
            outcome.reason = QStringLiteral("Its line of the summary could not be written.");
        }
        if (input_.options.extras)
            input_.options.extras->add(outcome);
        outcome.summary_line.clear();
        outcome.stats_line.clear();
        outcome.extras.clear();
        result_.outcomes.push_back(std::move(outcome));
        if (observer_)
            observer_->pair_finished(result_.outcomes.back(), int(result_.outcomes.size()),
                                     result_.pairs);
    }
    void finish()
    {
        QString problem = result_csv_.commit();
        if (input_.options.stats) {
            const QString stats = stats_csv_.commit();
            problem = problem.isEmpty() ? stats : problem;
        }
        if (input_.options.extras) {
            const QString extras = input_.options.extras->finish(result_);
            problem = problem.isEmpty() ? extras : problem;
        }
        result_.result_problem = problem;
    }

private:
    const RunInput &input_;
    RunResult &result_;
    RunObserver *observer_;
    TextFile result_csv_, stats_csv_;
};

void run_in_order(const RunInput &input, const MeasurerFactory &measurers, OrderedFiles &files,
                  int pairs, RunObserver *observer, std::FILE *diagnostics)
{
    Worker worker{measurers(), {}};
    PairPlanner planner(input);
    for (int k = 0; k < pairs; ++k) {
        const PairPlan plan = planner.next(k, diagnostics);
        if (observer)
            observer->pair_starting(k, pairs);
        files.record(plan.table_hit ? table_entry(plan)
                                    : execute_pair(plan, input, worker, diagnostics));
    }
}

// Pairs writing the same files form one chain, processed in order by one
// worker, so that the later pair's files are the ones left.
std::vector<std::vector<int>> chains_of(const std::vector<PairPlan> &plans)
{
    std::vector<std::vector<int>> chains;
    std::map<int, size_t> chain_of_number;
    for (const PairPlan &plan : plans) {
        if (plan.table_hit)
            continue;
        const int n = file_number(plan.number);
        if (n >= 0) {
            const auto found = chain_of_number.find(n);
            if (found != chain_of_number.end()) {
                chains[found->second].push_back(plan.pair);
                continue;
            }
            chain_of_number[n] = chains.size();
        }
        chains.push_back({plan.pair});
    }
    return chains;
}

void run_on_workers(const RunInput &input, const MeasurerFactory &measurers, int jobs,
                    OrderedFiles &files, int pairs)
{
    std::vector<PairPlan> plans;
    PairPlanner planner(input);
    for (int k = 0; k < pairs; ++k)
        plans.push_back(planner.next(k));
    const std::vector<std::vector<int>> chains = chains_of(plans);

    std::vector<std::optional<PairOutcome>> outcomes(plans.size());
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<size_t> next_chain{0};
    auto work = [&] {
        Worker worker{measurers(), {}};
        for (size_t c = next_chain++; c < chains.size(); c = next_chain++) {
            for (int k : chains[c]) {
                PairOutcome outcome = execute_pair(plans[size_t(k)], input, worker, nullptr);
                const std::lock_guard<std::mutex> lock(mutex);
                outcomes[size_t(k)] = std::move(outcome);
                finished.notify_one();
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < std::min<int>(jobs, int(chains.size())); ++i)
        threads.emplace_back(work);

    // Record the pairs in pair order as they come in.
    for (int k = 0; k < pairs; ++k) {
        if (plans[size_t(k)].table_hit) {
            files.record(table_entry(plans[size_t(k)]));
            continue;
        }
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [&] { return outcomes[size_t(k)].has_value(); });
        PairOutcome outcome = std::move(*outcomes[size_t(k)]);
        outcomes[size_t(k)].reset();
        lock.unlock();
        files.record(std::move(outcome));
    }
    for (std::thread &t : threads)
        t.join();
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
    if (input.image_files.size() < 2)
        return RunStart::TooFewImages;
    if (input.image_files.size() % 2 != 0)
        return RunStart::OddImages;
    return RunStart::Started;
}

RunResult run_generation(const RunInput &input, const MeasurerFactory &measurers, int jobs,
                         RunObserver *observer, std::FILE *diagnostics)
{
    RunResult result;
    say(diagnostics, "JAJAJA");
    result.start = check_input(input);
    if (result.start != RunStart::Started)
        return result;
    OutputLock lock;
    if (!lock.lock(input.output_dir)) {
        result.start = RunStart::OutputLocked;
        return result;
    }
    OrderedFiles files(input, result, observer);
    if (!files.open()) {
        result.start = RunStart::NoResultFile;
        return result;
    }
    result.pairs = int(input.image_files.size() / 2);
    say(diagnostics, input.refl_loaded ? "yes\n" : "no\n");
    make_result_folders(input);
    if (input.options.extras)
        input.options.extras->start();
    if (jobs <= 1)
        run_in_order(input, measurers, files, result.pairs, observer, diagnostics);
    else
        run_on_workers(input, measurers, jobs, files, result.pairs);
    files.finish();
    return result;
}

} // namespace ardentis
