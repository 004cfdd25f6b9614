#include "outputs/wholefile.h"

#include "outputs/scratch.h"
#include "pictures/pictures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ardentis
{

namespace
{

// The image library's quality of JPEG pictures when none is given.
constexpr int library_jpeg_quality = 95;

// The longest name, in bytes, that file systems commonly allow.
constexpr int longest_name = 255;

// Hidden, so that no listing of results takes it for one; a name too long to
// take the marks is shortened to a digest of itself, so that every name that
// fits its place can be written.
QString temporary_name(const QString &path)
{
    const QFileInfo info(path);
    const QString name = QStringLiteral(".") + info.fileName() + QStringLiteral(".part");
    if (QFile::encodeName(name).size() <= longest_name)
        return info.path() + QLatin1Char('/') + name;
    const QByteArray digest =
        QCryptographicHash::hash(QFile::encodeName(info.fileName()), QCryptographicHash::Sha1);
    return info.path() + QStringLiteral("/.") + QString::fromLatin1(digest.toHex()) +
           QStringLiteral(".part");
}

// Why no file may take the name `path`: something stands there that the
// user could not write to. Nothing is opened under the name.
QString not_replaceable(const QString &path)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.isDir())
        return system_error(EISDIR);
    return !info.exists() || info.isWritable() ? QString() : system_error(EACCES);
#else
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return system_error(EISDIR);
    return ::access(name.constData(), W_OK) == 0 || errno == ENOENT ? QString()
                                                                    : system_error(errno);
#endif
}

// Renames `from` to `to`, replacing what is there in one step; returns why
// it could not.
QString replace_file(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    const bool moved =
        MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                    MOVEFILE_REPLACE_EXISTING) != 0;
    return moved ? QString() : system_error(EACCES);
#else
    errno = 0;
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0
               ? QString()
               : system_error(errno);
#endif
}

// Hands what is written to the system; returns why it could not.
QString flushed(std::FILE *file)
{
    errno = 0;
    return std::fflush(file) == 0 && !std::ferror(file) ? QString() : system_error(errno);
}

// Flushes and closes a file; returns why anything of it failed.
QString closed(std::FILE *file)
{
    QString problem = flushed(file);
    errno = 0;
    if (std::fclose(file) != 0 && problem.isEmpty())
        problem = system_error(errno);
    return problem;
}

} // namespace

QString cannot_write(const QString &path, const QString &why)
{
    return QStringLiteral("%1 cannot be written (%2).").arg(path, why);
}

QString write_together(const std::vector<OutputFile> &files)
{
    QStringList temporaries, placed;
    QString problem;
    for (const OutputFile &f : files) {
        // Each file waits under its temporary name until every one is complete.
        const QString temporary = temporary_name(f.path);
        if (f.same_as_previous && !temporaries.isEmpty() &&
            link_scratch_file(temporaries.last(), temporary).isEmpty()) {
            temporaries << temporary;
            continue;
        }
        const ScratchFile out = create_scratch_file(temporary);
        if (!out.file) {
            problem = cannot_write(f.path, out.problem);
            break;
        }
        temporaries << temporary;
        errno = 0;
        const bool written =
            std::fwrite(f.bytes.data(), 1, f.bytes.size(), out.file) == f.bytes.size();
        const QString why = written ? closed(out.file) : system_error(errno);
        if (!written)
            std::fclose(out.file);
        if (!why.isEmpty()) {
            problem = cannot_write(f.path, why);
            break;
        }
    }
    for (int i = 0; problem.isEmpty() && i < temporaries.size(); ++i) {
        const QString why = replace_file(temporaries[i], files[size_t(i)].path);
        if (why.isEmpty())
            placed << files[size_t(i)].path;
        else
            problem = cannot_write(files[size_t(i)].path, why);
    }
    if (!problem.isEmpty()) {
        remove_files(temporaries);
        remove_files(placed);
    }
    for (const QString &temporary : temporaries)
        release_scratch(temporary);
    return problem;
}

void remove_files(const QStringList &paths)
{
    for (const QString &path : paths)
        QFile::remove(path);
}

EncodedPicture encode_picture(const cv::Mat &picture, const char *extension,
                              const std::vector<int> &params, const RowDrawing &draw)
{
    const QString problem = QStringLiteral("A result picture cannot be encoded.");
    // The only parameter given, if any, is the quality.
    const bool quality_only =
        params.empty() || (params.size() == 2 && params[0] == cv::IMWRITE_JPEG_QUALITY);
    // Other kinds of picture the image library converts first.
    const auto encoded = [&problem](std::string bytes) -> EncodedPicture {
        const bool failed = bytes.empty();
        return {std::move(bytes), failed ? problem : QString()};
    };
    if (qstrcmp(extension, ".jpg") == 0 && quality_only && picture.type() == CV_8UC3)
        return encoded(
            encode_jpeg(picture, params.empty() ? library_jpeg_quality : params[1], draw));
    if (draw)
        return encode_picture(drawn_picture(picture, draw), extension, params);
    if (qstrcmp(extension, ".png") == 0 && params.empty() && picture.type() == CV_8UC3)
        return encoded(encode_png(picture));
    std::vector<uchar> bytes;
    if (picture.empty() || !cv::imencode(extension, picture, bytes, params))
        return {{}, problem};
    return {std::string(bytes.begin(), bytes.end()), {}};
}

TextFile::~TextFile()
{
    discard();
}

QString TextFile::open(const QString &path)
{
    discard();
    path_ = path;
    // The final name is only ever replaced by renaming the complete file onto
    // it: a link standing there is replaced, never written through.
    problem_ = not_replaceable(path);
    if (problem_.isEmpty()) {
        temporary_ = temporary_name(path);
        const ScratchFile created = create_scratch_file(temporary_);
        file_ = created.file;
        problem_ = created.problem;
    }
    if (!problem_.isEmpty())
        problem_ = cannot_write(path, problem_);
    return problem_;
}

QString TextFile::write(const std::string &text)
{
    if (problem_.isEmpty() && !file_)
        problem_ = cannot_write(path_, system_error(EBADF));
    if (!problem_.isEmpty())
        return problem_;
    errno = 0;
    const QString why = std::fwrite(text.data(), 1, text.size(), file_) == text.size()
                            ? flushed(file_)
                            : system_error(errno);
    if (!why.isEmpty())
        problem_ = cannot_write(path_, why);
    return problem_;
}

QString TextFile::commit()
{
    if (!file_)
        return problem_.isEmpty() ? cannot_write(path_, system_error(EBADF)) : problem_;
    QString why = closed(file_);
    file_ = nullptr;
    if (why.isEmpty() && problem_.isEmpty())
        why = replace_file(temporary_, path_);
    if (!why.isEmpty() && problem_.isEmpty())
        problem_ = cannot_write(path_, why);
    if (!problem_.isEmpty())
        QFile::remove(temporary_);
    release_scratch(temporary_);
    return problem_;
}

void TextFile::discard()
{
    if (!file_)
        return;
    std::fclose(file_);
    file_ = nullptr;
    QFile::remove(temporary_);
    release_scratch(temporary_);
}

} // namespace ardentis
