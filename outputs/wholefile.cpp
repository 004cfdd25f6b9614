#include "outputs/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
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

std::FILE *open_for_writing(const QString &path)
{
#ifdef Q_OS_WIN
    return _wfopen(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                   L"wb");
#else
    return std::fopen(QFile::encodeName(path).constData(), "wb");
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
        std::FILE *out = open_for_writing(temporary);
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
    // The file will replace whatever stands under its name: make sure it
    // can, and take the old one away, so that an unfinished run leaves none.
    std::FILE *probe = open_for_writing(path);
    if (!probe)
        return false;
    std::fclose(probe);
    QFile::remove(path);
    path_ = path;
    temporary_ = temporary_name(path);
    file_ = open_for_writing(temporary_);
    failed_ = file_ == nullptr;
    error_ = failed_ ? errno : 0;
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
        return problem;
    }
    return {};
}

void TextFile::discard()
{
    if (!file_)
        return;
    std::fclose(file_);
    file_ = nullptr;
    QFile::remove(temporary_);
}

} // namespace ardentis
