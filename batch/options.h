#pragma once
// ardentis-batch's command line and its run, apart from the process's own
// start-up, so that both can be used and tested in-process.

#include "engine/ending.h"
#include "engine/pairing.h"
#include "engine/run.h"
#include "report/report.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace ardentis
{

struct BatchOptions {
    // The images as given, made absolute; the run lists a folder given alone
    // and reads the table.
    RunInput input;
    QString images_from; // the folder the images were listed from, once listed
    QString table_path;  // empty: none
    QString command;     // the arguments as given, quoted as a shell reads them
    int jobs = 1;
    bool jobs_given = false; // otherwise one per core
    int tool_timeout_ms = default_tool_timeout_ms;
    bool report = false;
    ReportStyle style;
    TrialRequest trial; // the field book and air asked for, read when the run starts
};

// What the command line asks for.
struct CommandLine {
    enum Action { Run, Help, Version, Error } action = Error;
    BatchOptions options;
    QString text;    // the help or version text
    QString problem; // why the command line cannot be used (Error)
    QString option;  // the long name of the option the problem concerns, when it names one
};

// An output folder or an image as the command line takes it: absolute,
// cleaned of "." and "..".
QString whole_path(const QString &path);

// Parses the arguments after the program name, without reading any file.
CommandLine parse_command_line(const QStringList &arguments);

// The long name of the option a problem (of the command line, or why a run
// did not start) concerns, when it names one: "output" for "no output
// folder given: add --output DIR.".
QString first_option_named(const QString &problem);

// The pairs a run of the options would make, before it starts, as the
// engine forms them: each with its capture time and, in its notes, what the
// user should know (how it was formed, a table entry, a result name another
// pair shares) and its plan's `problem`. `problem`: why the input cannot be
// planned; `left_over`: the files in no pair; `left_out`: the folder's
// entries left out of its images; each in a sentence.
struct RunPlan {
    QString problem;
    std::vector<PlannedPair> pairs;
    QStringList left_over, left_out;
};
RunPlan plan_options(const BatchOptions &options);

// A run of the batch's options made ready, whichever front end starts it:
// its input read and checked before anything is made.
struct PreparedRun {
    BatchOptions options; // the folder listed, the table read, the pairs formed
    TrialSetup trial;
    PairingPlan pairing;
    QStringList left_out; // the folder's entries left out of its images, each in a sentence
    QString problem;      // why the run cannot start, in the batch's words
};
// Once `*stop` is set, it makes nothing (not the output folder).
void prepare_run(const BatchOptions &options, PreparedRun &prepared,
                 const std::atomic<bool> *stop = nullptr);

// Why a run of the options cannot start, as far as tells before any file is
// read (the run's preparing tells the rest): no output folder, or another run
// writing into it.
QString refusal_before_reading(const BatchOptions &options);

// A run of the batch's options, whichever front end started it.
struct BatchRun {
    QString problem; // why it did not start, in the batch's words
    RunResult result;
    QString rows_note; // what the field book and the table name of images not in the run
    double seconds = 0;
    int status = 2; // the batch's exit status
};

// Runs a prepared run on its `jobs` workers, telling `observer` of every
// pair as it finishes; once `*stop` is set no pair starts.
BatchRun run_prepared(PreparedRun &prepared, RunObserver *observer,
                      const std::atomic<bool> *stop = nullptr);

// The last line of a run that started: the pairs processed, used as table
// entries and skipped, the time taken and where the results are.
QString run_summary(const BatchRun &run, const QString &output_dir);

// "37/200 pairs, 2.1 pairs/s, 77 s left": the progress of a run that has
// done `done` of `pairs` pairs in `seconds`.
QString progress_text(int done, int pairs, double seconds);

// `words` as a POSIX shell reads them, each quoted where it needs to be.
QString shell_words(const QStringList &words);
// `command` and its arguments so.
QString shell_command(const QString &command, const QStringList &arguments);

// Sets the process up for running pairs on workers: each worker on one
// core, the pictures' memory kept from pair to pair, and a file size limit
// failing a write instead of ending the process.
void tune_for_pairs();

// Runs what the options ask for, writing messages (and, when `terminal` is
// true, progress) to `err`; a run stopped through `outside` writes the
// results of its pairs done. Returns the exit status: 0 when every pair was
// processed or used as a table entry, 1 when some were skipped or a result
// file is incomplete, 2 when the input is wrong.
int run_batch(const BatchOptions &options, std::FILE *err, bool terminal,
              OutsideStop *outside = nullptr);

} // namespace ardentis
