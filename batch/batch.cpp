// The run of ardentis-batch: the window's generation on several workers, each
// keeping one ExifTool running, with messages as a command-line tool gives them.

#include "batch/options.h"
#include "engine/pairing.h"
#include "outputs/outputlock.h"
#include "outputs/resultfiles.h"
#include "pictures/imagesize.h"
#include "refltable/refltable.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <opencv2/core.hpp>

#include <csignal>
#include <filesystem>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace ardentis
{

namespace
{

void print(std::FILE *err, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), err);
    std::fflush(err);
}

// Progress on a terminal, and each pair that was skipped or had pixels
// without a temperature, as the pairs finish.
class Console : public RunObserver
{
public:
    Console(std::FILE *err, bool terminal) : err_(err), terminal_(terminal) { clock_.start(); }
    void pair_finished(const PairOutcome &o, int done, int pairs) override
    {
        if (outside)
            outside->pair_done = true;
        const QString files = input_files_text(o.plan);
        if (o.state == PairState::Processed && !o.trial.notes.isEmpty())
            say(QStringLiteral("pair %1 (%2): %3.\n")
                    .arg(o.plan.pair + 1)
                    .arg(files, o.trial.notes.join(QStringLiteral("; "))));
        if (o.state == PairState::Skipped)
            say(QStringLiteral("pair %1 skipped (%2):\n    %3\n")
                    .arg(o.plan.pair + 1)
                    .arg(files, o.problem));
        else if (o.without_temperature > 0)
            say(QStringLiteral("pair %1 (%2): %3 of %4 pixels have no temperature (raw data "
                               "outside the calibration or beyond what the camera measures).\n")
                    .arg(QString::number(o.plan.pair + 1), files,
                         QString::number(o.without_temperature), QString::number(o.pixels)));
        if (o.state == PairState::Processed && !o.note.isEmpty())
            say(QStringLiteral("pair %1 (%2): %3\n")
                    .arg(QString::number(o.plan.pair + 1), files, o.note));
        if (!terminal_)
            return;
        print(err_,
              QStringLiteral("\r%1   ").arg(progress_text(done, pairs, clock_.elapsed() / 1000.0)));
        progress_shown_ = true;
    }
    // A message on a line of its own, after any progress line.
    void say(const QString &text)
    {
        print(err_, (progress_shown_ ? QStringLiteral("\n") : QString()) + text);
        progress_shown_ = false;
    }
    OutsideStop *outside = nullptr; // told once a pair is done

private:
    std::FILE *err_;
    bool terminal_;
    bool progress_shown_ = false;
    QElapsedTimer clock_;
};

QString pairs_text(const QString &count_of)
{
    return count_of + QStringLiteral("; images come in pairs: radiometric image, photograph.");
}

// What a folder given should be replaced with or added to.
enum class GiveInside {
    Instead,      // given alone: one of the folders inside it
    InsteadOfOne, // among other inputs: the folders inside it
    Too,          // its own files may be the photographs
};

// The sentence naming the folders inside `dir` that have JPEG files, as on a
// camera's card, and saying how to give them; or nothing.
QString folders_inside(const QString &dir, GiveInside give)
{
    const QStringList inside = folders_with_jpeg_files(dir);
    if (inside.isEmpty())
        return {};
    const bool one = inside.size() == 1;
    const QString found = one ? QStringLiteral(" The folder %1 inside it has JPEG files: ")
                              : QStringLiteral(" The folders %1 inside it have JPEG files: ");
    const QString advice = give == GiveInside::Too       ? (one ? "give it too." : "give them too.")
                           : one                         ? "give it instead."
                           : give == GiveInside::Instead ? "give one of them."
                                                         : "give them instead.";
    return found.arg(inside.join(QStringLiteral(", "))) + advice;
}

// For a folder given without any JPEG file (or, with `any`, without the
// files asked for), the folders inside it that have some, as on a camera's
// card: a sentence naming them, or nothing.
QString folders_inside(const BatchOptions &o, bool any = false)
{
    if (o.images_from.isEmpty() || (!any && !o.input.image_files.isEmpty()))
        return {};
    return folders_inside(o.images_from,
                          o.input.image_files.isEmpty() ? GiveInside::Instead : GiveInside::Too);
}

// Why the run did not start; `problem` says why its lock or a result file
// failed.
QString start_problem(RunStart start, const BatchOptions &o, const QString &problem = {})
{
    const int images = int(o.input.image_files.size());
    switch (start) {
    case RunStart::NoOutputDir:
        return QStringLiteral("no output folder given: add --output DIR.");
    case RunStart::TooFewImages:
        if (const QString inside = folders_inside(o); !inside.isEmpty())
            return QStringLiteral("the folder %1 holds no JPEG files.").arg(o.images_from) + inside;
        if (o.input.options.pairing.by == Pairing::Time)
            return o.images_from.isEmpty()
                       ? QStringLiteral("no radiometric image (a file with raw thermal data) among "
                                        "the images given.")
                       : QStringLiteral("the folder %1 holds no radiometric image (a JPEG with "
                                        "raw thermal data).")
                                 .arg(o.images_from) +
                             folders_inside(o, true);
        if (o.input.options.photo == PhotoSource::Embedded) // none at all
            return o.images_from.isEmpty()
                       ? QStringLiteral("no images given.")
                       : QStringLiteral("the folder %1 holds no JPEG files.").arg(o.images_from);
        if (!o.images_from.isEmpty())
            return pairs_text(QStringLiteral("the folder %1 holds %2 JPEG files")
                                  .arg(o.images_from, QString::number(images)));
        return images == 0 ? QStringLiteral("no images given.")
                           : pairs_text(QStringLiteral("only one image given"));
    case RunStart::OddImages:
        return pairs_text(QStringLiteral("%1 images given, an odd number").arg(images));
    case RunStart::OutputLocked:
        return QStringLiteral("another run is writing into %1; wait until it has finished, or "
                              "choose another output folder.")
            .arg(o.input.output_dir);
    case RunStart::LockFailed:
        return QStringLiteral("cannot lock the output folder against other runs: %1.").arg(problem);
    case RunStart::NoResultFile:
        return problem;
    case RunStart::ForeignFolder:
        return QStringLiteral("cannot use the result folder: %1; remove it, or choose another "
                              "output folder.")
            .arg(problem);
    case RunStart::Started:
        break;
    }
    return {};
}

// The photograph's size from its header, when it can be read.
std::optional<cv::Size> photograph_size(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(4 << 20);
    return upright_size(reinterpret_cast<const std::uint8_t *>(head.constData()),
                        size_t(head.size()));
}

QString field_problem(const BatchOptions &o, const PairingPlan &plan)
{
    // A search falls back to a field that fits where the given one does not;
    // the camera's field and an embedded photograph are checked with their pair.
    const RunOptions &run = o.input.options;
    if (!run.field_given || run.search_field || run.camera_field)
        return {};
    const Field &f = run.field;
    for (const PlannedPair &p : plan.planned) {
        if (p.plan.photo != PhotoSource::Separate)
            continue;
        const std::optional<cv::Size> size = photograph_size(p.plan.visible);
        if (size && !field_fits(f, *size))
            return QStringLiteral("the field %1 does not fit inside the photograph %2 (%3 pixels).")
                .arg(QStringLiteral("%1,%2,%3,%4").arg(f.x).arg(f.y).arg(f.width).arg(f.height),
                     p.plan.visible, QStringLiteral("%1 x %2").arg(size->width).arg(size->height));
    }
    return {};
}

// "pair 3 (radiometric, photograph)", as the refusals name a pair.
QString pair(const PairPlan &p)
{
    return QStringLiteral("pair %1 (%2)").arg(p.pair + 1).arg(input_files_text(p));
}

// Two pairs writing the files of one name would leave only the later one's
// pictures and tables under it.
QString shared_name_problem(const RunOptions &options, const SharedName &shared)
{
    if (shared.name.isEmpty())
        return {};
    const QString file = naming_file_kind(shared.first);
    const auto named = [](const PairPlan &p) {
        return QFileInfo(naming_file(p)).absoluteFilePath();
    };
    if (named(shared.first) == named(shared.second))
        return QStringLiteral("%1 and %2 both have the %3 %4, given twice, so the second's files "
                              "would replace the first's.")
            .arg(pair(shared.first), pair(shared.second), file, naming_file(shared.first));
    if (options.naming == Naming::File)
        return QStringLiteral("%1 and %2 would both write the files of the name %3, so the "
                              "second's files would replace the first's; give each %4 a name of "
                              "its own.")
            .arg(pair(shared.first), pair(shared.second), shared.name, file);
    return QStringLiteral("%1 and %2 both have the image number %3, so the second's files would "
                          "replace the first's; give each %4 a number of its own, or name the "
                          "results after the files with --names file.")
        .arg(pair(shared.first), pair(shared.second), shared.name, file);
}

// A row of the field book that would give two pairs its values: a bare file
// name in two folders, or an image number two pairs share under --names file;
// or two rows that would each give one pair theirs.
QString shared_row_problem(const BatchOptions &o, const TrialSetup &trial, const PairingPlan &plan)
{
    std::vector<PairPlan> pairs;
    std::vector<ImageId> images;
    for (const PlannedPair &p : plan.planned)
        if (!p.plan.table_hit) {
            pairs.push_back(p.plan);
            images.push_back(image_id(p.plan));
        }
    const TwoRows twice = first_named_twice(trial.book, images);
    if (twice.first)
        return QStringLiteral("cannot use the field book '%1': lines %2 and %3 both name %4; "
                              "keep one of them.")
            .arg(o.trial.book_path, QString::number(twice.first->line),
                 QString::number(twice.second->line), pair(pairs[twice.image]));
    const SharedRow shared = first_shared_row(trial.book, images);
    if (!shared.row)
        return {};
    return QStringLiteral("cannot use the field book '%1': line %2 names the images of %3 and of "
                          "%4; %5")
        .arg(o.trial.book_path, QString::number(shared.row->line), pair(pairs[shared.first]),
             pair(pairs[shared.second]),
             trial.book.by_file ? QStringLiteral("give the file with its folder.")
                                : QStringLiteral("key the book by the column 'file' where image "
                                                 "numbers repeat."));
}

// What the user should know of the pairs before the run: how some were
// formed, and the photographs in none.
void say_pairing(std::FILE *err, const PairingPlan &plan)
{
    for (const PlannedPair &p : plan.planned)
        for (const QString &note : p.notes)
            print(err, QStringLiteral("pair %1 (%2): %3\n")
                           .arg(QString::number(p.plan.pair + 1), input_files_text(p.plan), note));
    for (const QString &photograph : plan.left_over)
        print(err, QStringLiteral("photograph in no pair: %1\n").arg(photograph));
}

// Names in `left_out` the entries the list of `folder` leaves out; a name that
// is not UTF-8 stops the run.
QString left_out_of(const FolderImages &listed, QStringList &left_out)
{
    for (const LeftOutEntry &entry : listed.left_out) {
        // Its pair cannot be measured, and leaving it out would pair the wrong pictures.
        if (entry.not_utf8)
            return QStringLiteral("the name of %1 is not UTF-8 text; rename the file.")
                .arg(entry.path);
        left_out << QStringLiteral("%1 is left out of the folder's images: %2.")
                        .arg(entry.path, entry.reason);
    }
    return {};
}

// The sentence naming the files of `folder` that are not named as JPEG files
// (a photograph saved as .png, a video), which its images leave out.
QString others_text(const QString &folder, QStringList others, bool left_out = true)
{
    // An earlier run's summaries, when results go to the images' folder.
    for (const char *summary : {result_file, stats_file, groups_file, report_page})
        others.removeOne(QLatin1String(summary));
    if (others.isEmpty())
        return {};
    const int shown = 5;
    QString names = others.mid(0, shown).join(QStringLiteral(", "));
    if (others.size() > shown)
        names += QStringLiteral(" and %1 more").arg(others.size() - shown);
    return QStringLiteral("%1 holds %2 %3 not named .jpg or .jpeg%4: %5.")
        .arg(folder, QString::number(others.size()),
             others.size() == 1 ? QStringLiteral("file") : QStringLiteral("files"),
             left_out ? QStringLiteral(", left out of its images") : QString(), names);
}

// Lists an image folder given alone, or each folder among other inputs as its
// JPEG files in name order (as the window takes it), naming in `left_out`
// the entries their lists leave out; and reads the table.
QString read_inputs(BatchOptions &o, QStringList &left_out)
{
    const QStringList images = o.input.image_files;
    if (images.size() == 1 && QFileInfo(images.first()).isDir())
        o.images_from = images.first();
    // One name alone is meant as a folder, or a file keeping its photograph.
    if (images.size() == 1 && !QFileInfo::exists(images.first()))
        return QFileInfo(images.first()).isSymLink()
                   ? QStringLiteral("%1 is a link to nothing.").arg(images.first())
                   : QStringLiteral("%1 does not exist.").arg(images.first());
    QStringList files;
    for (const QString &image : images) {
        if (!QFileInfo(image).isDir()) {
            files << image;
            continue;
        }
        const FolderImages listed = list_jpeg_files(image, FolderLinks::Follow);
        if (const QString problem = left_out_of(listed, left_out); !problem.isEmpty())
            return problem;
        // Alone, it is said once its images are counted.
        if (listed.files.isEmpty() && images.size() > 1) {
            const QString others = others_text(QStringLiteral("It"), listed.others, false);
            return QStringLiteral("the folder %1 holds no JPEG files.").arg(image) +
                   (others.isEmpty() ? QString() : QLatin1Char(' ') + others) +
                   folders_inside(image, GiveInside::InsteadOfOne);
        }
        const QString others = others_text(image, listed.others);
        if (!others.isEmpty())
            left_out << others;
        files << listed.files;
    }
    left_out.removeDuplicates(); // a folder given twice is named once
    o.input.image_files = files;
    if (!o.table_path.isEmpty()) {
        const ReflTableFile table = read_refl_table(o.table_path);
        if (!table.problem.isEmpty())
            return QStringLiteral("cannot use the table '%1': %2.")
                .arg(o.table_path, table.problem);
        o.input.refl_table = table.rows;
        o.input.refl_loaded = true;
    }
    return {};
}

// Why the output folder, with the folders above it, cannot be made, with the
// system's reason.
QString output_folder_problem(const QString &dir)
{
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(dir).toStdString(), error);
    if (!error)
        return {};
    return QStringLiteral("cannot create the output folder %1 (%2).")
        .arg(dir, QString::fromLocal8Bit(error.message().c_str()));
}

// The tools that read the files' facts before the run, each answer within
// the options' time limit.
ToolFactory planning_tools(const BatchOptions &o)
{
    const int timeout = o.tool_timeout_ms;
    return [timeout] { return std::make_unique<StayOpenExifTool>(exiftool_program(), timeout); };
}

// By capture time each file is one image: one given twice would be measured
// twice, with two photographs.
QString given_twice_problem(const BatchOptions &o)
{
    if (o.input.options.pairing.by != Pairing::Time)
        return {};
    // A file is its device and inode, whatever links of either kind name it.
    const auto identity = [](const QString &file) {
#ifndef Q_OS_WIN
        struct stat st;
        if (::stat(QFile::encodeName(file).constData(), &st) == 0)
            return QStringLiteral("%1:%2").arg(st.st_dev).arg(st.st_ino);
#endif
        return QFileInfo(file).absoluteFilePath();
    };
    QHash<QString, QString> seen; // the first file of each identity
    for (const QString &file : o.input.image_files) {
        const QString id = identity(file), first = seen.value(id);
        if (first == file)
            return QStringLiteral("%1 is given twice; by capture time each file is given once.")
                .arg(file);
        if (!first.isEmpty())
            return QStringLiteral("%1 and %2 are one file; by capture time each file is given "
                                  "once.")
                .arg(first, file);
        seen.insert(id, file);
    }
    return {};
}

// Everything checked before anything is made; the input read and its pairs
// formed as it goes, the folder's entries left out named in `left_out`.
QString input_problem(BatchOptions &o, TrialSetup &trial, PairingPlan &plan, QStringList &left_out,
                      const std::atomic<bool> *stop)
{
    QString problem = read_inputs(o, left_out);
    if (problem.isEmpty())
        problem = given_twice_problem(o);
    if (problem.isEmpty()) {
        plan = plan_pairing(o.input, planning_tools(o), o.jobs);
        o.input.pairs = plan.pairs;
    }
    if (problem.isEmpty())
        problem = start_problem(check_input(o.input), o);
    if (problem.isEmpty())
        problem = field_problem(o, plan);
    if (problem.isEmpty())
        problem = shared_name_problem(o.input.options, plan.shared);
    // The field book and weather log are read before anything is made.
    if (problem.isEmpty() && o.trial.any())
        problem = load_trial(o.trial, trial);
    if (problem.isEmpty() && !o.trial.book_path.isEmpty())
        problem = shared_row_problem(o, trial, plan);
    // Stopped while reading: nothing is made.
    if (problem.isEmpty() && stop && *stop)
        problem = QStringLiteral("stopped before it started.");
    if (problem.isEmpty())
        problem = output_folder_problem(o.input.output_dir);
    return problem;
}

} // namespace

QString progress_text(int done, int pairs, double seconds)
{
    const double rate = seconds > 0 ? done / seconds : 0;
    return QStringLiteral("%1/%2 pairs, %3 pairs/s, %4 s left")
        .arg(done)
        .arg(pairs)
        .arg(rate, 0, 'f', 1)
        .arg(rate > 0 ? (pairs - done) / rate : 0, 0, 'f', 0);
}

QString shell_words(const QStringList &words)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
    QStringList quoted;
    for (const QString &a : words)
        quoted << (plain.match(a).hasMatch()
                       ? a
                       : QLatin1Char('\'') +
                             QString(a).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                             QLatin1Char('\''));
    return quoted.join(QLatin1Char(' '));
}

QString shell_command(const QString &command, const QStringList &arguments)
{
    return shell_words(QStringList{command} + arguments);
}

void tune_for_pairs()
{
    // Workers run side by side; each keeps to one core.
    cv::setNumThreads(1);
#ifdef __GLIBC__
    // Every pair needs the same few large pictures: keep their memory for the
    // next pair instead of handing it back to the system and faulting it in
    // again.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
#ifdef SIGXFSZ
    // A file size limit makes writes fail, which the run reports, rather
    // than end the process.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

QString refusal_before_reading(const BatchOptions &o)
{
    if (o.input.output_dir.isEmpty())
        return start_problem(RunStart::NoOutputDir, o);
    OutputLock probe; // let go at once: the run takes its own
    if (probe.lock(o.input.output_dir) == LockOutcome::Held)
        return start_problem(RunStart::OutputLocked, o);
    return {};
}

RunPlan plan_options(const BatchOptions &given)
{
    BatchOptions options = given;
    RunPlan plan;
    plan.problem = read_inputs(options, plan.left_out);
    if (!plan.problem.isEmpty())
        return plan;
    RunInput &input = options.input;
    const PairingPlan pairing = plan_pairing(input, planning_tools(options), options.jobs, true);
    input.pairs = pairing.pairs;
    const std::vector<PairPlan> plans = plan_pairs(input); // with the table's values in force
    for (size_t k = 0; k < plans.size(); ++k) {
        PlannedPair p = k < pairing.planned.size() ? pairing.planned[k] : PlannedPair{};
        const QString found = p.plan.problem;
        p.plan = plans[k];
        if (p.plan.problem.isEmpty())
            p.plan.problem = found;
        if (p.plan.table_hit)
            p.notes << QStringLiteral("a table entry: sets the emissivity and reflected "
                                      "temperature of the pairs after it");
        plan.pairs.push_back(p);
    }
    for (const std::vector<int> &chain : writing_chains(plans))
        for (size_t i = 1; i < chain.size(); ++i)
            plan.pairs[size_t(chain[i])].notes
                << QStringLiteral("the result name %1 of pair %2: its files would replace that "
                                  "pair's")
                       .arg(plans[size_t(chain[i])].name)
                       .arg(chain[i - 1] + 1);
    if (plans.empty())
        plan.problem = start_problem(RunStart::TooFewImages, options);
    plan.left_over = pairing.left_over;
    if (input.pairs.empty() && input.options.photo == PhotoSource::Separate &&
        input.image_files.size() % 2 != 0)
        plan.left_over << QStringLiteral("%1: no photograph after it; images come in pairs")
                              .arg(input.image_files.last());
    return plan;
}

QString run_summary(const BatchRun &run, const QString &output_dir)
{
    const RunResult &result = run.result;
    const int entries = result.count(PairState::TableEntry);
    QString text = QStringLiteral("%1%2 of %3 pairs processed")
                       .arg(result.stopped ? QStringLiteral("Stopped: ") : QString())
                       .arg(result.count(PairState::Processed))
                       .arg(result.pairs);
    if (entries > 0)
        text += entries == 1 ? QStringLiteral(", 1 used as a table entry")
                             : QStringLiteral(", %1 used as table entries").arg(entries);
    return text + QStringLiteral(", %1 skipped, in %2 s. Results in %3")
                      .arg(result.count(PairState::Skipped))
                      .arg(run.seconds, 0, 'f', 1)
                      .arg(output_dir);
}

void prepare_run(const BatchOptions &options, PreparedRun &prepared, const std::atomic<bool> *stop)
{
    prepared.options = options;
    prepared.problem =
        input_problem(prepared.options, prepared.trial, prepared.pairing, prepared.left_out, stop);
}

BatchRun run_prepared(PreparedRun &prepared, RunObserver *observer, const std::atomic<bool> *stop)
{
    BatchRun run;
    run.problem = prepared.problem;
    if (!run.problem.isEmpty())
        return run;
    const BatchOptions &options = prepared.options;
    const TrialSetup &trial = prepared.trial;
    QElapsedTimer clock;
    clock.start();
    RunInput input = options.input;
    input.options.stats = true;
    input.options.trial = options.trial.any() ? &trial : nullptr;
    std::unique_ptr<PairExtras> report;
    if (options.report) {
        report = make_report(input.output_dir, options.style,
                             {QStringLiteral(ARDENTIS_VERSION), options.command, options.table_path,
                              QDateTime::currentDateTime().toString(Qt::ISODate),
                              input.options.trial, options.jobs});
        input.options.extras = report.get();
    }
    const int timeout = options.tool_timeout_ms;
    run.result = run_generation(
        input, [timeout] { return std::make_unique<OneExchangeMeasurer>(timeout); }, options.jobs,
        observer, stop);
    run.seconds = clock.elapsed() / 1000.0;
    if (run.result.start != RunStart::Started) {
        run.problem = start_problem(run.result.start, options, run.result.start_problem);
        return run;
    }
    QStringList notes;
    if (input.options.trial)
        notes << book_rows_note(trial, run.result);
    if (input.refl_loaded)
        notes << table_unused_note(options.table_path, run.result);
    notes << all_plant_note(run.result);
    notes.removeAll(QString());
    run.rows_note = notes.join(QLatin1Char('\n'));
    run.status =
        run.result.count(PairState::Skipped) > 0 || !run.result.result_problem.isEmpty() ? 1 : 0;
    return run;
}

int run_batch(const BatchOptions &options, std::FILE *err, bool terminal, OutsideStop *outside)
{
    PreparedRun prepared;
    prepare_run(options, prepared);
    for (const QString &entry : prepared.left_out)
        print(err, QStringLiteral("ardentis-batch: %1\n").arg(entry));
    if (prepared.problem.isEmpty())
        say_pairing(err, prepared.pairing);
    Console console(err, terminal);
    console.outside = outside;
    const BatchRun run = run_prepared(prepared, &console, outside ? &outside->asked : nullptr);
    if (!run.problem.isEmpty()) {
        print(err, QStringLiteral("ardentis-batch: %1\n").arg(run.problem));
        return run.status;
    }
    if (!run.rows_note.isEmpty())
        console.say(run.rows_note + QStringLiteral("\n"));
    if (!run.result.result_problem.isEmpty())
        console.say(QStringLiteral("ardentis-batch: %1\n").arg(run.result.result_problem));
    console.say(run_summary(run, options.input.output_dir) + QStringLiteral("\n"));
    return run.status;
}

} // namespace ardentis
