// Times the generation of synthetic pairs of realistic size (2048 × 1536
// photographs, raw thermal images of 160 × 120 to 640 × 480) on this machine:
// the window's path (one ExifTool start per query, pair after pair), the
// batch command with one job and with two, its peak memory for 20 and for 200
// pairs, plain and with every option, and the cost per file of radiometric
// images that keep the same photographs inside (--photo embedded, whose
// default refines the camera's field by a search, and with --field camera,
// without one) against that per pair. On the sample pairs copied to as many
// pairs, with two jobs, each option's time per pair and every option's
// together against the plain batch's. Each batch figure is the fastest of
// three runs (of seven for the options'), in time and in processor time (the batch's and its
// tools', which another program's load leaves nearly alone). Also the field search alone, in this
// process on one thread, on the pairs as hard as real ones that its tests use, and the pairing of
// the same files by capture time (--pair time), before any run, per file on one and two tools.
//   ardentis-benchmark [PAIRS] [WINDOW_PAIRS]     (defaults 120 and 8)

#include "analysis/registration.h"
#include "engine/pairing.h"
#include "engine/run.h"
#include "fixtures/flirfixture.h"
#include "measurement/temperature.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace
{

// Hard links: the listing of a folder passes over symbolic links.
void link_file(const QString &from, const QString &to)
{
    ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData());
}

// Writes `distinct` different pairs and links them under new numbers until
// there are `pairs`; returns the input list. With `embedded` each pair is one
// radiometric image keeping the same photograph inside, with alignment
// values for the fixed field. Every photograph carries the capture time of
// its radiometric image.
QStringList make_pairs(const QString &dir, int pairs, int distinct, bool embedded = false)
{
    const cv::Size raw_sizes[] = {{320, 240}, {160, 120}, {640, 480}, {320, 240}, {464, 348}};
    const cv::Size photo(2048, 1536);
    QStringList list;
    for (int i = 0; i < pairs; ++i) {
        const auto ir = [&dir](int k) {
            return dir + "/FLIR" + QString::number(1000 + k) + ".jpg";
        };
        const auto vis = [&dir](int k) {
            const QString n = QString::number(1000 + k);
            return dir + "/FLIR" + n + "_RGB" + n + ".jpg";
        };
        if (i < distinct) {
            const cv::Size raw = raw_sizes[i % 5];
            fixtures::FlirFile file;
            file.counts = fixtures::plot_counts(raw.width, raw.height, 19500, unsigned(i + 1));
            file.date_time_original = "2014:03:12 10:15:" + std::to_string(10 + i);
            const cv::Mat picture = fixtures::plot_photograph(photo.width, photo.height, raw.width,
                                                              raw.height, unsigned(i + 1));
            if (embedded) {
                file.embed(picture, 85);
                file.pip = fixtures::pip_for(photo, {597, 504, 870, 640}, raw);
            } else {
                fixtures::write_bytes(
                    vis(i).toStdString(),
                    fixtures::photo_jpeg(picture, 0, file.date_time_original, 85));
            }
            fixtures::write_flir_jpeg(ir(i).toStdString(), file);
        } else {
            link_file(ir(i % distinct), ir(i));
            if (!embedded)
                link_file(vis(i % distinct), vis(i));
        }
        list << ir(i);
        if (!embedded)
            list << vis(i);
    }
    return list;
}

// The sample pairs copied to `pairs` pairs of distinct numbers, as a
// campaign of them.
void copy_samples(const QString &dir, int pairs)
{
    for (int i = 0; i < pairs; ++i) {
        const QString n = QString::number(1000 + i);
        const QString ir = dir + "/FLIR" + n + ".jpg",
                      vis = dir + "/FLIR" + n + "_RGB" + n + ".jpg";
        if (i < 3) {
            const QString k = QString::number(101 + i);
            QFile::copy(ARDENTIS_SAMPLES "/FLIR0" + k + ".jpg", ir);
            QFile::copy(ARDENTIS_SAMPLES "/FLIR0" + k + "_RGB0" + k + ".jpg", vis);
        } else {
            const QString k = QString::number(1000 + i % 3);
            link_file(dir + "/FLIR" + k + ".jpg", ir);
            link_file(dir + "/FLIR" + k + "_RGB" + k + ".jpg", vis);
        }
    }
}

struct Run {
    double seconds = 0, cpu = 0; // elapsed, and on the processors
    long peak_kib = 0;
};

Run run_batch_once(const QString &folder, const QString &out, int jobs, const QStringList &extra)
{
    QList<QByteArray> args{ARDENTIS_BATCH, "--jobs", QByteArray::number(jobs), "--output",
                           out.toLocal8Bit()};
    for (const QString &e : extra)
        args << e.toLocal8Bit();
    args << folder.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // Its lines (a line per pair not registered, say) would bury the figures.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        return {};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return {clock.elapsed() / 1000.0, seconds(usage.ru_utime) + seconds(usage.ru_stime),
            usage.ru_maxrss};
}

// The faster of two runs in time and on the processors, the larger peak memory.
Run best_of(const Run &a, const Run &b)
{
    return {std::min(a.seconds, b.seconds), std::min(a.cpu, b.cpu),
            std::max(a.peak_kib, b.peak_kib)};
}

// The fastest of three runs: this machine's other work only ever slows a run down.
Run run_batch(const QString &folder, const QString &out, int jobs, const QStringList &extra = {})
{
    Run best = run_batch_once(folder, out, jobs, extra);
    for (int i = 0; i < 2; ++i)
        best = best_of(best, run_batch_once(folder, out, jobs, extra));
    return best;
}

double window_rate(const QString &dir, const QStringList &list)
{
    QDir::setCurrent(dir);
    QDir().mkpath("out-window");
    QElapsedTimer clock;
    clock.start();
    ardentis::run_generation({list, QDir(dir).filePath("out-window"), false, {}, {}, {}}, [] {
        return std::make_unique<ardentis::PerQueryMeasurer>(QStringLiteral("test.tiff"));
    });
    return list.size() / 2 / (clock.elapsed() / 1000.0);
}

// The field search's time per pair, in milliseconds, the fastest of three
// searches of each hard pair: their mean and the slowest pair's.
std::pair<double, double> search_times()
{
    cv::setNumThreads(1); // as the batch's workers
    double sum = 0, slowest = 0;
    const std::vector<fixtures::HardPair> hard = fixtures::hard_pairs();
    for (const fixtures::HardPair &pair : hard) {
        fixtures::FlirFile f;
        const fixtures::Plot plot = fixtures::draw_plot(pair.scene, f);
        const cv::Mat photo =
            pair.photo ? fixtures::draw_plot(*pair.photo, f).photograph : plot.photograph;
        const cv::Mat temps =
            ardentis::temperatures_from_raw(plot.counts, {f.r1, f.r2, f.b, double(f.o), f.f},
                                            f.emissivity, fixtures::reported_t_refl(f));
        const double view = pair.scene.field_of_view > 0 ? pair.scene.field_of_view : std::nan("");
        double fastest = 1e9;
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer clock;
            clock.start();
            ardentis::register_field(photo, temps, {}, view);
            fastest = std::min(fastest, clock.nsecsElapsed() / 1e6);
        }
        sum += fastest;
        slowest = std::max(slowest, fastest);
    }
    return {sum / double(hard.size()), slowest};
}

// The pairing of `files` by capture time, ms per file, on `jobs` tools: the
// fastest of three.
double pairing_time(const QStringList &files, int jobs)
{
    ardentis::RunInput input;
    input.image_files = files;
    input.options.pairing.by = ardentis::Pairing::Time;
    double fastest = 1e9;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer clock;
        clock.start();
        const ardentis::PairingPlan plan = ardentis::plan_pairing(
            input, [] { return std::make_unique<ardentis::StayOpenExifTool>(); }, jobs);
        fastest = std::min(fastest, clock.nsecsElapsed() / 1e6 / files.size());
        if (int(plan.pairs.size()) * 2 != files.size())
            std::printf("pairing by capture time formed %zu pairs of %lld files\n",
                        plan.pairs.size(), static_cast<long long>(files.size()));
    }
    return fastest;
}

void verdict(const char *what, double value, const char *target, bool met)
{
    std::printf("%-46s %8.2f  (target %s)  %s\n", what, value, target, met ? "met" : "NOT MET");
}

// The options timed on the sample pairs, each alone and all together, and
// the most each may cost against the plain batch (0: none set).
const struct {
    const char *name;
    QStringList options;
    double most;
} option_runs[] = {
    {"--field auto", {"--field", "auto"}, 1.2},
    {"--mask exgr", {"--mask", "exgr"}, 0},
    {"--report", {"--report"}, 1.2},
    {"--radiometry full", {"--radiometry", "full"}, 1.1},
    {"--temperatures", {"--temperatures"}, 0},
    {"every option",
     {"--field", "auto", "--mask", "exgr", "--report", "--radiometry", "full", "--temperatures"},
     1.5},
};
constexpr size_t option_count = std::size(option_runs);

struct Runs {
    Run one, two, inside, camera, r20, r200, all20, all200;
    Run plain;                     // on the sample pairs, two jobs
    std::vector<Run> with_options; // as option_runs
};

// The batch on the pairs written under `root`, with one and two jobs, and on
// the sample pairs plain and with each option.
Runs run_all(const QString &root, int pairs)
{
    std::printf("batch on %d pairs: 1 job, 2 jobs, options...\n", pairs);
    const QDir dir(root);
    Runs r;
    const Run none{1e9, 1e9, 0}; // slower than any run, before the first
    // One job and two by turns, so that a slow spell of the machine's
    // weighs on both alike.
    r.one = r.two = none;
    for (int round = 0; round < 3; ++round) {
        r.one = best_of(r.one, run_batch_once(dir.filePath("pairs"), dir.filePath("out-1"), 1, {}));
        r.two = best_of(r.two, run_batch_once(dir.filePath("pairs"), dir.filePath("out-2"), 2, {}));
    }
    r.inside =
        run_batch(dir.filePath("embedded"), dir.filePath("out-e"), 1, {"--photo", "embedded"});
    r.camera = run_batch(dir.filePath("embedded"), dir.filePath("out-c"), 1,
                         {"--photo", "embedded", "--field", "camera"});
    r.r20 = run_batch(dir.filePath("m20"), dir.filePath("out-m20"), 2);
    r.r200 = run_batch(dir.filePath("m200"), dir.filePath("out-m200"), 2);
    const QStringList &every = option_runs[option_count - 1].options;
    r.all20 = run_batch(dir.filePath("m20"), dir.filePath("out-a20"), 2, every);
    r.all200 = run_batch(dir.filePath("m200"), dir.filePath("out-a200"), 2, every);
    // The plain batch and each option by turns, seven rounds: the machine's
    // other work then weighs on each alike, and the fastest of seven is more
    // often a run it did not slow (of five, a run's fastest was still up to
    // a tenth slow on a busy host). Each round starts one later in the turn,
    // so that none always follows the same run.
    const QString samples = dir.filePath("samples"), out = dir.filePath("out-s");
    r.with_options.resize(option_count, none);
    r.plain = none;
    const size_t turn = option_count + 1; // the plain batch last in the first round
    for (size_t round = 0; round < 7; ++round)
        for (size_t k = 0; k < turn; ++k) {
            const size_t i = (k + round) % turn;
            const bool plain = i == option_count;
            Run &best = plain ? r.plain : r.with_options[i];
            best = best_of(best, run_batch_once(samples, out, 2,
                                                plain ? QStringList() : option_runs[i].options));
        }
    return r;
}

// Each option's time per pair on the sample pairs against the plain batch's,
// in time (the target's measure) and on the processors (steadier when other
// programs run).
void print_options(const Runs &r, int pairs)
{
    const auto ms = [pairs](double seconds) { return 1000 * seconds / pairs; };
    std::printf("\non the sample pairs copied to %d pairs, 2 jobs:\n", pairs);
    std::printf("%-46s %8.1f ms/pair, CPU %.1f ms/pair\n", "plain", ms(r.plain.seconds),
                ms(r.plain.cpu));
    for (size_t i = 0; i < option_count; ++i) {
        const Run &run = r.with_options[i];
        const double ratio = run.seconds / r.plain.seconds;
        const std::string what = std::string(option_runs[i].name) + " / plain (CPU " +
                                 QString::number(run.cpu / r.plain.cpu, 'f', 2).toStdString() + ")";
        if (option_runs[i].most > 0)
            verdict(what.c_str(), ratio,
                    ("at most " + QString::number(option_runs[i].most).toStdString()).c_str(),
                    ratio <= option_runs[i].most);
        else
            std::printf("%-46s %8.2f  (no target)\n", what.c_str(), ratio);
    }
}

// The table of times and memory, and each target met or not.
void print_results(const Runs &r, int pairs, double window, double search_mean,
                   double search_slowest)
{
    const auto ms = [pairs](const Run &run) { return 1000 * run.seconds / pairs; };
    const auto cpu_ms = [pairs](const Run &run) { return 1000 * run.cpu / pairs; };
    std::printf("\n%-40s %8s %8s %10s\n", "", "ms/pair", "CPU ms", "peak MiB");
    std::printf("%-40s %8.1f %10s\n", "window path (per query)", 1000 / window, "-");
    const struct {
        const char *name;
        Run run;
        int pairs;
    } rows[] = {{"batch --jobs 1", r.one, pairs},
                {"batch --jobs 2", r.two, pairs},
                {"batch -j 1 --photo embedded", r.inside, pairs},
                {"batch -j 1 embedded --field camera", r.camera, pairs},
                {"batch -j 2, 20 pairs", r.r20, 20},
                {"batch -j 2, 200 pairs", r.r200, 200},
                {"batch -j 2 every option, 20 pairs", r.all20, 20},
                {"batch -j 2 every option, 200 pairs", r.all200, 200}};
    for (const auto &row : rows)
        std::printf("%-40s %8.1f %8.1f %10.1f\n", row.name, 1000 * row.run.seconds / row.pairs,
                    1000 * row.run.cpu / row.pairs, row.run.peak_kib / 1024.0);
    std::printf("\n");
    const double speedup = (pairs / r.one.seconds) / window;
    verdict("batch --jobs 1 vs window path (x)", speedup, "at least 25", speedup >= 25);
    verdict("batch --jobs 2 vs --jobs 1 (x)", r.one.seconds / r.two.seconds, "at least 1.8",
            r.one.seconds / r.two.seconds >= 1.8);
    const double memory = double(r.r200.peak_kib) / double(r.r20.peak_kib);
    verdict("peak memory 200 vs 20 pairs", memory, "at most 1.10", memory <= 1.10);
    const double memory_all = double(r.all200.peak_kib) / double(r.all20.peak_kib);
    verdict("the same with every option", memory_all, "at most 1.10", memory_all <= 1.10);
    std::printf("%-40s %8.1f  (slowest pair %.1f)\n", "field search alone, ms/pair (hard pairs)",
                search_mean, search_slowest);
    verdict("field search, slowest pair ms", search_slowest, "at most 80", search_slowest <= 80);
    const double per_file = ms(r.camera) / ms(r.one);
    verdict("embedded camera field, file/pair (x)", per_file, "at most 1.2", per_file <= 1.2);
    // The default's search near the camera's field, within the search's budget.
    const double refinement = cpu_ms(r.inside) - cpu_ms(r.camera);
    verdict("embedded, refinement, extra CPU ms/file", refinement, "at most 50", refinement <= 50);
    print_options(r, pairs);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    bool ok = args.size() <= 2;
    const auto count = [&](int i, int otherwise) {
        bool whole = true;
        const int n = i < args.size() ? args[i].toInt(&whole) : otherwise;
        ok = ok && whole && n >= 3;
        return n;
    };
    const int pairs = count(0, 120); // a campaign: start-up costs fade
    const int window_pairs = count(1, 8);
    if (!ok) {
        std::fprintf(stderr, "Usage: ardentis-benchmark [PAIRS] [WINDOW_PAIRS]\n"
                             "PAIRS (default 120) and WINDOW_PAIRS (default 8): whole numbers of "
                             "3 or more.\n");
        return 2;
    }
    QTemporaryDir tmp;
    const QString data = tmp.filePath("pairs"), small = tmp.filePath("window");
    const QString embedded = tmp.filePath("embedded"), samples = tmp.filePath("samples");
    for (const QString &d :
         {data, small, embedded, samples, tmp.filePath("m20"), tmp.filePath("m200")})
        QDir().mkpath(d);
    std::printf("writing pairs...\n");
    const QStringList files = make_pairs(data, pairs, std::min(pairs, 10));
    make_pairs(embedded, pairs, std::min(pairs, 10), true);
    const QStringList window_list = make_pairs(small, window_pairs, std::min(window_pairs, 10));
    make_pairs(tmp.filePath("m20"), 20, 10);
    make_pairs(tmp.filePath("m200"), 200, 10);
    copy_samples(samples, pairs);

    std::printf("field search on %zu hard pairs...\n", fixtures::hard_pairs().size());
    const auto [search_mean, search_slowest] = search_times();
    std::printf("window path (one ExifTool start per query) on %d pairs...\n", window_pairs);
    const double window = window_rate(tmp.path(), window_list);
    const Runs runs = run_all(tmp.path(), pairs);
    print_results(runs, pairs, window, search_mean, search_slowest);
    const double one = pairing_time(files, 1), two = pairing_time(files, 2);
    std::printf("%-40s %8.2f\n", "pairing by capture time, ms/file, 1 tool", one);
    verdict("pairing by capture time, ms/file, 2 tools", two, "at most 10", two <= 10);
    return 0;
}
