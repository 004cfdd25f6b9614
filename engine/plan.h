#pragma once
// What a run is asked to do, and each pair as it will be treated: its files,
// its image number and the emissivity and reflected temperature in force.

#include "analysis/alignment.h"
#include "measurement/temperature.h"
#include "trials/trial.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace ardentis
{

class PairExtras;

// Where a pair's photograph comes from.
enum class PhotoSource {
    Separate, // a file of its own, after its radiometric image in the list
    Embedded, // inside the radiometric image: every image is a pair by itself
};

// How the input's images form pairs.
enum class Pairing {
    Order, // in the list's order: radiometric image, photograph, radiometric image, ...
    Time,  // each radiometric image with the photograph taken nearest to it
};

// The longest a photograph may be taken from its radiometric image: a day.
constexpr double max_pairing_seconds = 86400;

struct PairingRule {
    Pairing by = Pairing::Order;
    double tolerance = 2; // seconds apart at most, by capture time
};

// What a pair's result files are named after.
enum class Naming {
    Number, // its image number: 1PartRGB_123.jpg
    File,   // its photograph's file name: 1PartRGB_plot7_dry.jpg
};

// Capabilities beyond the window's, all off by default.
struct RunOptions {
    Field field;               // the field, or the prior of a search
    bool search_field = false; // find each pair's field from its two images
    MaskOptions mask;
    Radiometry radiometry = Radiometry::Simple;
    bool temperatures = false; // every pixel's temperature in 4Temperature
    bool stats = false;        // stats.csv
    PairExtras *extras = nullptr;
    const TrialSetup *trial = nullptr; // stats.csv's field-trial columns and groups.csv
    PhotoSource photo = PhotoSource::Separate;
    PairingRule pairing;
    Naming naming = Naming::Number;
    // The field from the camera's alignment values is used (see
    // uses_camera_field); `field`, when given, stands in for it where the
    // values are missing or impossible.
    bool camera_field = false;
    bool field_given = false; // `field` was given, not the fixed one
};

// A pair's files as formed before the run: the photograph empty when it is
// the one inside the radiometric image. `problem`: why the pair cannot be
// processed, as found when it was formed.
struct PairSource {
    QString radiometric, visible;
    QString problem;
};

struct RunInput {
    QStringList image_files;
    QString output_dir; // empty: none chosen
    // A reflected temperature table was chosen; `refl_table` holds its rows
    // (empty when the file could not be read).
    bool refl_loaded = false;
    std::vector<double> refl_table;
    RunOptions options;
    // The pairs as formed beforehand (plan_pairing); empty: formed from
    // `image_files` in their order, as `options.photo` says.
    std::vector<PairSource> pairs;
};

// One pair as the run will treat it.
struct PairPlan {
    int pair = 0;                 // 0-based
    QString radiometric, visible; // `visible` empty: the photograph is embedded
    PhotoSource photo = PhotoSource::Separate;
    double number = 0;
    // What its result files are named after (1PartRGB_<name>.jpg); empty when
    // nothing can name them.
    QString name;
    QString problem; // why it cannot be processed, found before the run
    // The pair's number is in the table: it only sets the values in force.
    bool table_hit = false;
    // The emissivity and reflected temperature are given (from the table),
    // not the image's own.
    bool flag_er = false;
    double emissivity = 0, t_refl = 0;
    int table_line = 0; // the table line they come from
};

// Takes the diagnostic lines a run on one job gives as it goes (the window
// prints them).
class Trace
{
public:
    virtual ~Trace() = default;
    virtual void trace(const std::string & /*text*/) {}
};

// The image number read from the digits before the full stops of `path`
// (UTF-8 bytes, right to left); every full stop and counted digit is told to
// `trace` when it is not null.
double parse_image_number(const QString &path, Trace *trace = nullptr);

// The number in the names of a pair's files: the image number without its
// fraction; -1 when it does not fit a file name.
int file_number(double image_number);

// The number of pairs of the input: those formed beforehand (by capture
// time, only those), or one per image with embedded photographs, else one
// per two images.
int pair_count(const RunInput &input);

// The pair's file whose name gives its number and names its results: the
// photograph, or the radiometric image that keeps it.
QString naming_file(const PairPlan &plan);
// What that file is, in words: "photograph" or "radiometric image".
QString naming_file_kind(const PairPlan &plan);

// What names the pair's image in a field book: its number, the file that
// names it, then the radiometric image.
ImageId image_id(const PairPlan &plan);

// The pair's files as messages name them: "radiometric, photograph", or the
// radiometric image alone when it holds the photograph.
QString input_files_text(const PairPlan &plan);

// An entry of a folder with a JPEG name that its list of images leaves out.
struct LeftOutEntry {
    QString path;          // absolute; bytes of a name that are not UTF-8 as %XX
    QString reason;        // why, as in "left out: it is hidden"
    bool not_utf8 = false; // its name is not UTF-8: no tool can be handed it
};

// What a folder gives as images: its JPEG files and the entries left out.
struct FolderImages {
    QStringList files; // absolute paths, by name ignoring case
    std::vector<LeftOutEntry> left_out;
    QStringList others; // the names of the files not named as JPEG files, in that order
};

enum class FolderLinks {
    Skip,   // only plain files, as the window takes a folder
    Follow, // a link to a regular file is taken too: folders of links gather files
};

// The entries directly in `dir` whose names end in ".jpg" or ".jpeg" in any
// case: the regular files among them (and with Follow the links to regular
// files) are its images; every other one (hidden, a link, a folder, a FIFO
// or device, a name that is not UTF-8) is left out with the reason, so that
// no pair is formed across it unsaid.
FolderImages list_jpeg_files(const QString &dir, FolderLinks links);

// The folders inside `dir`, at most `depth` levels down, that hold JPEG files
// directly, as a camera's card keeps them (DCIM/100FLIR), in name order; at
// most `most` of them.
QStringList folders_with_jpeg_files(const QString &dir, int depth = 2, int most = 3);

// The pairs of `plans` that write files, by the files they write: pairs of
// one name form one chain, in pair order; chains in the order of their first
// pair.
std::vector<std::vector<int>> file_chains(const std::vector<PairPlan> &plans);

// The chains of file_chains without the pairs skipped before they start (no
// photograph for them): those write nothing.
std::vector<std::vector<int>> writing_chains(const std::vector<PairPlan> &plans);

// Two pairs, neither a table entry nor skipped before it starts, that would
// write the files of one name.
struct SharedName {
    QString name; // empty: every pair writes files of its own
    PairPlan first, second;
};

// The first two such pairs of `plans`, in pair order.
SharedName first_shared_name(const std::vector<PairPlan> &plans);

// Follows the reflected temperature table from pair to pair. The values in
// force depend only on the order of the image numbers. Until a table row has
// been found, a pair is converted with its own emissivity and reflected
// temperature, as without a table.
class PairPlanner
{
public:
    explicit PairPlanner(const RunInput &input) : input_(input) {}
    PairPlan next(int k, Trace *trace = nullptr);

private:
    const RunInput &input_;
    PairPlan in_force_;
};

// Every pair of the input as the run will treat it, in pair order.
std::vector<PairPlan> plan_pairs(const RunInput &input);

} // namespace ardentis
