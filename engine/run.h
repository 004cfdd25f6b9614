#pragma once
// The generation run: checks the input, writes result.csv and the result
// folders, and walks the input images two by two (radiometric image, then
// photograph), or one by one when each keeps its photograph inside. One
// engine serves every front end: the window runs it with one job on its own
// thread, the batch command with several workers; the result is the same.

#include "analysis/alignment.h"
#include "analysis/photoscales.h"
#include "analysis/registration.h"
#include "analysis/stats.h"
#include "engine/measurers.h"
#include "engine/plan.h"
#include "outputs/lines.h"

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <atomic>
#include <string>
#include <vector>

namespace ardentis
{

enum class PairState { Processed, TableEntry, Skipped };

// What became of one pair.
struct PairOutcome {
    PairPlan plan;
    PairState state = PairState::Skipped;
    QString problem; // why it was skipped
    QString note;    // what a processed pair's user should know: a field not registered
    int pixels = 0, without_temperature = 0;
    QStringList files;    // written for the pair, when it was processed
    int replaced_by = -1; // the later pair whose files, of the same number, replaced these
    std::string summary_line, stats_line, extras; // for the files written in pair order
    TrialValues trial;                            // with a field trial, of a processed pair
    // Of a processed pair: what was found (the plant statistics with
    // stats.csv or the report), and its capture as the file has it.
    PairRecord record;
    QByteArray date_time;

    // Lets go of the lines once they are written: a campaign keeps every
    // pair's outcome, and a string cleared keeps its memory.
    void drop_lines()
    {
        for (std::string *line : {&summary_line, &stats_line, &extras})
            std::string().swap(*line);
    }
};

enum class RunStart {
    Started,
    NoOutputDir,
    TooFewImages,
    OddImages,
    OutputLocked,  // another run is writing into the output folder
    LockFailed,    // the output folder's lock cannot be taken
    NoResultFile,  // result.csv (or stats.csv) cannot be created
    ForeignFolder, // a result folder is a link or no folder: results would go elsewhere
};

struct RunResult {
    RunStart start = RunStart::Started;
    int pairs = 0;
    std::vector<PairOutcome> outcomes; // in pair order, without their file lines
    bool stopped = false; // told to stop: `outcomes` holds the pairs done, fewer than `pairs`
    std::vector<ImageId> stopped_images; // when stopped: the images of every pair of the run
    QString result_problem;              // why result.csv (or stats.csv) is not complete
    // Why the lock, a result folder or a result file failed at the start,
    // naming it.
    QString start_problem;
    int count(PairState state) const;
};

// The rows of a field book that name none of the run's images, its pairs
// done or not, in a sentence.
QString book_rows_note(const TrialSetup &trial, const RunResult &result);

// What to say when the table `table` names no image of a run that went to
// its end: it changed nothing. Empty otherwise.
QString table_unused_note(const QString &table, const RunResult &result);

// What to say when the default mask takes nearly every pixel of the field
// for plant in most pairs, as it does on beige or brown soil. Empty otherwise.
QString all_plant_note(const RunResult &result);

// What a field trial added to each processed pair, in pair order.
std::vector<TrialValues> processed_trials(const RunResult &result);

// Told about the run as it goes, on the thread that started it.
class RunObserver : public Trace
{
public:
    virtual void pair_starting(int /*pair*/, int /*pairs*/) {}
    virtual void pair_finished(const PairOutcome & /*outcome*/, int /*done*/, int /*pairs*/) {}
};

// A processed pair while its pictures are still in memory; its outcome is
// complete but for its state and files.
struct ProcessedPair {
    const PairOutcome &outcome;
    const PhotoScales &photograph; // with its halvings, shared with the field search
    const Measurement &measurement;
    const PairPictures &pictures;
};

// Outputs beyond result.csv built from the processed pairs (the report).
class PairExtras
{
public:
    virtual ~PairExtras() = default;
    // The folders inside the output folder it writes into, beside the pairs'.
    virtual QStringList folders() const { return {}; }
    // Once the run holds its output folder, before the first pair; returns
    // why the outputs cannot be made.
    virtual QString start() { return {}; }
    // On the worker that processed the pair: its piece of the outputs.
    virtual std::string piece(const ProcessedPair &pair) = 0;
    // On the starting thread, in pair order, for every pair.
    virtual void add(const PairOutcome &outcome) = 0;
    // After the last pair; returns why the outputs are not complete.
    virtual QString finish(const RunResult &result) = 0;
};

// The checks of the input made before anything is created: Started when
// the input may be run.
RunStart check_input(const RunInput &input);

// Runs the whole generation of an input that passed check_input. With one
// job everything happens on the calling thread, pair after pair, and the
// observer is told the diagnostic lines too; with more, pairs are processed
// on `jobs` workers, each with its own measurer, and the files written in
// pair order are as with one. Once `*stop` is set no pair starts: the pairs
// under way finish, and the files are completed for the pairs done.
RunResult run_generation(const RunInput &input, const MeasurerFactory &measurers, int jobs = 1,
                         RunObserver *observer = nullptr, const std::atomic<bool> *stop = nullptr);

} // namespace ardentis
