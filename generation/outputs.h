#pragma once
// The files of a run: where each result goes, and writing them so that a
// result file is complete under its name or not there at all.

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace ardentis
{

// The result folders every run makes, in the order it makes them.
extern const char *const result_folders[4];
// The folders of the pictures a run lists as its results.
extern const char *const picture_folders[3];
// The folders of the options' results.
extern const char *const temperature_folder;
extern const char *const thermal_folder;

// Where the files of the pair with file number `n` go below `output_dir`.
struct PairFiles {
    QString aligned, part, table, mask;
    QString temperatures; // every pixel's temperature (an option)
    QString thermal;      // the false-colour map (with the report)
};
PairFiles pair_files(const QString &output_dir, int n);

// One file's whole content.
struct OutputFile {
    QString path;
    std::string bytes;
};

// Writes the files under temporary names beside their places and renames
// them into place only when all are complete. Returns why they could not all
// be written, and then none of them is left.
QString write_together(const std::vector<OutputFile> &files);

// Removes whatever stands under these names.
void remove_files(const QStringList &paths);

// A text file that appears under its name complete, when committed, or not
// at all: it is written beside its place under a temporary name.
class TextFile
{
public:
    TextFile() = default;
    ~TextFile();
    TextFile(const TextFile &) = delete;
    TextFile &operator=(const TextFile &) = delete;

    // Fails when the file cannot be written under its name; what stood
    // there before is gone.
    bool open(const QString &path);
    // Appends `text`; once a write failed, every later one fails too.
    bool write(const std::string &text);
    // Completes the file under its name. Returns why it could not, and then
    // the file is not there.
    QString commit();

private:
    void discard();

    QString path_, temporary_;
    std::FILE *file_ = nullptr;
    bool failed_ = false;
    int error_ = 0; // of the first failed write
};

// An exclusive lock on an output folder for the whole of a run, so that two
// runs cannot mix their files. Released when destroyed.
class OutputLock
{
public:
    OutputLock();
    ~OutputLock();
    OutputLock(const OutputLock &) = delete;
    OutputLock &operator=(const OutputLock &) = delete;
    // False when another run holds the folder. A folder where no lock file
    // can be made is not locked; writing there fails on its own.
    bool lock(const QString &dir);

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

} // namespace ardentis
