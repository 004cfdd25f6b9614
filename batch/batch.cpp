// The run of ardentis-batch: the window's generation on several workers, each
// keeping one ExifTool running, with messages as a command-line tool gives them.

#include "batch/options.h"
#include "engine/pairing.h"
#include "pictures/imagesize.h"
#include "refltable/refltable.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

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
        const double seconds = clock_.elapsed() / 1000.0;
        const double rate = seconds > 0 ? done / seconds : 0;
        print(err_, QStringLiteral("\r%1/%2 pairs, %3 pairs/s, %4 s left   ")
                        .arg(done)
                        .arg(pairs)
                        .arg(rate, 0, 'f', 1)
                        .arg(rate > 0 ? (pairs - done) / rate : 0, 0, 'f', 0));
        progress_shown_ = true;
    }
    // A message on a line of its own, after any progress line.
    void say(const QString &text)
    {
        print(err_, (progress_shown_ ? QStringLiteral("\n") : QString()) + text);
        progress_shown_ = false;
    }
    double seconds() const { return clock_.elapsed() / 1000.0; }

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

// Why the run did not start; `problem` says why its lock or a result file
// failed.
QString start_problem(RunStart start, const BatchOptions &o, const QString &problem = {})
{
    const int images = int(o.input.image_files.size());
    switch (start) {
    case RunStart::NoOutputDir:
        return QStringLiteral("no output folder given: add --output DIR.");
    case RunStart::TooFewImages:
        if (o.input.options.pairing.by == Pairing::Time)
            return o.images_from.isEmpty()
                       ? QStringLiteral("no radiometric image (a file with raw thermal data) among "
                                        "the images given.")
                       : QStringLiteral("the folder %1 holds no radiometric image (a JPEG with "
                                        "raw thermal data).")
                             .arg(o.images_from);
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

// Two pairs writing the files of one name would leave only the later one's
// pictures and tables under it.
QString shared_name_problem(const RunOptions &options, const SharedName &shared)
{
    if (shared.name.isEmpty())
        return {};
    const auto pair = [](const PairPlan &p) {
        return QStringLiteral("pair %1 (%2)").arg(p.pair + 1).arg(input_files_text(p));
    };
    const QString file = shared.first.photo == PhotoSource::Embedded
                             ? QStringLiteral("radiometric image")
                             : QStringLiteral("photograph");
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

// Lists an image folder given alone, naming on `err` the entries its list
// leaves out, and reads the table.
QString read_inputs(BatchOptions &o, std::FILE *err)
{
    const QStringList &images = o.input.image_files;
    if (images.size() == 1 && QFileInfo(images.first()).isDir()) {
        o.images_from = images.first();
        const FolderImages listed = list_jpeg_files(o.images_from, FolderLinks::Follow);
        for (const LeftOutEntry &entry : listed.left_out) {
            // Its pair cannot be measured, and leaving it out would pair the wrong pictures.
            if (entry.not_utf8)
                return QStringLiteral("the name of %1 is not UTF-8 text; rename the file.")
                    .arg(entry.path);
            print(err, QStringLiteral("ardentis-batch: %1 is left out of the folder's images: "
                                      "%2.\n")
                           .arg(entry.path, entry.reason));
        }
        o.input.image_files = listed.files;
    }
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

// Everything checked before anything is made; the input read and its pairs
// formed as it goes.
QString input_problem(BatchOptions &o, TrialSetup &trial, PairingPlan &plan, std::FILE *err)
{
    QString problem = read_inputs(o, err);
    if (problem.isEmpty()) {
        const int timeout = o.tool_timeout_ms;
        plan = plan_pairing(
            o.input,
            [timeout] { return std::make_unique<StayOpenExifTool>(exiftool_program(), timeout); },
            o.jobs);
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
    if (problem.isEmpty() && !QDir().mkpath(o.input.output_dir))
        problem = QStringLiteral("cannot create the output folder %1.").arg(o.input.output_dir);
    return problem;
}

QString summary(const RunResult &result, double seconds, const QString &dir)
{
    const int entries = result.count(PairState::TableEntry);
    QString text = QStringLiteral("%1 of %2 pairs processed")
                       .arg(result.count(PairState::Processed))
                       .arg(result.pairs);
    if (entries > 0)
        text += entries == 1 ? QStringLiteral(", 1 used as a table entry")
                             : QStringLiteral(", %1 used as table entries").arg(entries);
    return text + QStringLiteral(", %1 skipped, in %2 s. Results in %3\n")
                      .arg(result.count(PairState::Skipped))
                      .arg(seconds, 0, 'f', 1)
                      .arg(dir);
}

} // namespace

int run_batch(const BatchOptions &given, std::FILE *err, bool terminal)
{
    BatchOptions options = given;
    TrialSetup trial;
    PairingPlan plan;
    const QString problem = input_problem(options, trial, plan, err);
    if (!problem.isEmpty()) {
        print(err, QStringLiteral("ardentis-batch: %1\n").arg(problem));
        return 2;
    }
    say_pairing(err, plan);
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
    Console console(err, terminal);
    const int timeout = options.tool_timeout_ms;
    const RunResult result = run_generation(
        input, [timeout] { return std::make_unique<OneExchangeMeasurer>(timeout); }, options.jobs,
        &console);
    if (result.start != RunStart::Started) {
        print(err, QStringLiteral("ardentis-batch: %1\n")
                       .arg(start_problem(result.start, options, result.start_problem)));
        return 2;
    }
    if (input.options.trial) {
        const QString note = rows_not_in_run_note(trial, run_images(result));
        if (!note.isEmpty())
            console.say(note + QStringLiteral("\n"));
    }
    if (!result.result_problem.isEmpty())
        console.say(QStringLiteral("ardentis-batch: %1\n").arg(result.result_problem));
    console.say(summary(result, console.seconds(), input.output_dir));
    return result.count(PairState::Skipped) > 0 || !result.result_problem.isEmpty() ? 1 : 0;
}

} // namespace ardentis
