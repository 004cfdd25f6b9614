#pragma once
// Writing result files so that each is complete under its name or not there
// at all.

#include "pictures/pictures.h"

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace ardentis
{

// One file's whole content.
struct OutputFile {
    QString path;
    std::string bytes;
    // The bytes are those of the file before it in the list: it is made a
    // second name of that file where the file system allows.
    bool same_as_previous = false;
};

// Why the file at `path` cannot be written, with the system's words `why`.
QString cannot_write(const QString &path, const QString &why);

// Writes the files under temporary names beside their places and renames
// them into place only when all are complete. Returns why they could not all
// be written, and then none of them is left.
QString write_together(const std::vector<OutputFile> &files);

// Removes whatever stands under these names.
void remove_files(const QStringList &paths);

// A picture encoded for a file, or why it cannot be.
struct EncodedPicture {
    std::string bytes;
    QString problem;
};

// `picture` encoded in the format of `extension` (".jpg", ".png"), with the
// image library's encoding parameters: a JPEG as the image library writes
// it, a PNG of blue, green, red without parameters quickly compressed.
// `draw`, when given, draws over a copy of each row (`y`, its pixels) before
// it is encoded: the picture as drawn, without a copy of it all.
EncodedPicture encode_picture(const cv::Mat &picture, const char *extension,
                              const std::vector<int> &params = {}, const RowDrawing &draw = {});

// A text file that appears under its name complete, when committed, or not
// at all: it is written beside its place under a temporary name.
class TextFile
{
public:
    TextFile() = default;
    ~TextFile();
    TextFile(const TextFile &) = delete;
    TextFile &operator=(const TextFile &) = delete;

    // Starts the file. Returns why it cannot be written (a folder stands
    // under the name, a file the user cannot write, or none can be made
    // beside it), naming it. What stands under the name stays until the
    // complete file replaces it: a link loses its name only, what it links
    // to is untouched.
    QString open(const QString &path);
    // Appends `text` and hands it to the system. Returns why it is not
    // written; once a write failed, every later one fails with that problem.
    QString write(const std::string &text);
    // Completes the file under its name. Returns why it could not, and then
    // nothing of it is left.
    QString commit();

private:
    void discard();

    QString path_, temporary_;
    std::FILE *file_ = nullptr;
    QString problem_; // of the first failed write
};

} // namespace ardentis
