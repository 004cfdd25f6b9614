#pragma once
// Writing result files so that each is complete under its name or not there
// at all.

#include <QString>
#include <QStringList>

#include <cstdio>
#include <string>
#include <vector>

namespace ardentis
{

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

    // Fails when no file can take the name (a folder stands there, or a file
    // the user cannot write) or none can be made beside it. Otherwise what
    // stood under the name is gone: a link loses its name only, what it
    // links to is untouched.
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

} // namespace ardentis
