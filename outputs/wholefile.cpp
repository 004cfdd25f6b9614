#include "outputs/wholefile.h"

#include "outputs/scratch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

// Hidden, so that no listing of results takes it for one.
QString temporary_name(const QString &path)
{
    const QFileInfo info(path);
    return info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part");
}

// Whether a file may take the name `path`: nothing stands there, or
// something the user could write to. Nothing is opened under the name.
bool replaceable(const QString &path)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.isDir()) {
        errno = EISDIR;
        return false;
    }
    return !info.exists() || info.isWritable();
#else
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    return ::access(name.constData(), W_OK) == 0 || errno == ENOENT;
#endif
}

// Renames `from` to `to`, replacing what is there in one step.
bool replace_file(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

// Flushes and closes a file; false when anything of it failed.
bool close_written(std::FILE *file, bool written)
{
    const bool flushed = written && std::fflush(file) == 0 && !std::ferror(file);
    return std::fclose(file) == 0 && flushed;
}

QString cannot_write(const QString &path)
{
    return QStringLiteral("%1 cannot be written (%2).")
        .arg(path, errno ? QString::fromLocal8Bit(std::strerror(errno))
                         : QStringLiteral("unknown error"));
}

} // namespace

QString write_together(const std::vector<OutputFile> &files)
{
    QStringList temporaries, placed;
    QString problem;
    for (const OutputFile &f : files) {
        // Each file waits under its temporary name until every one is complete.
        const QString temporary = temporary_name(f.path);
        temporaries << temporary;
        errno = 0;
        std::FILE *out = create_scratch_file(temporary);
        const bool written =
            out && std::fwrite(f.bytes.data(), 1, f.bytes.size(), out) == f.bytes.size();
        if (!(out && close_written(out, written))) {
            problem = cannot_write(f.path);
            break;
        }
    }
    for (int i = 0; problem.isEmpty() && i < temporaries.size(); ++i) {
        if (replace_file(temporaries[i], files[size_t(i)].path))
            placed << files[size_t(i)].path;
        else
            problem = cannot_write(files[size_t(i)].path);
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

TextFile::~TextFile()
{
    discard();
}

bool TextFile::open(const QString &path)
{
    discard();
    // The final name is only ever replaced by renaming the complete file onto
    // it: a link standing there is replaced, never written through.
    errno = 0;
    if (!replaceable(path))
        return false;
    path_ = path;
    temporary_ = temporary_name(path);
    file_ = create_scratch_file(temporary_);
    failed_ = file_ == nullptr;
    error_ = failed_ ? errno : 0;
    if (!failed_)
        QFile::remove(path); // an unfinished run leaves none
    return !failed_;
}

bool TextFile::write(const std::string &text)
{
    if (!failed_ && file_) {
        failed_ = std::fwrite(text.data(), 1, text.size(), file_) != text.size();
        error_ = failed_ ? errno : 0;
    }
    return !failed_ && file_;
}

QString TextFile::commit()
{
    if (!file_)
        return cannot_write(path_);
    errno = 0;
    const bool written = close_written(file_, !failed_);
    file_ = nullptr;
    if (!written || !replace_file(temporary_, path_)) {
        if (failed_)
            errno = error_;
        const QString problem = cannot_write(path_);
        QFile::remove(temporary_);
        release_scratch(temporary_);
        return problem;
    }
    release_scratch(temporary_);
    return {};
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
