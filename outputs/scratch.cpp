#include "outputs/scratch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ardentis
{

namespace
{

struct Registry {
    std::mutex mutex;
    std::set<QString> paths;
    bool ending = false;
    int making = 0; // files being made outside the lock
    std::condition_variable made;
};

Registry &registry()
{
    static Registry r; // never destroyed before the threads that use it
    return r;
}

std::FILE *create_new(const QString &path)
{
#ifdef Q_OS_WIN
    QFile::remove(path);
    return _wfopen(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                   L"wbx");
#else
    const QByteArray name = QFile::encodeName(path);
    ::unlink(name.constData());
    // O_EXCL: a file, or a link, that appears under the name meanwhile is
    // not written through.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    std::FILE *file = ::fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        ::unlink(name.constData());
        errno = error;
    }
    return file;
#endif
}

// Makes the scratch file `path` with `make` (true when made, errno telling
// why not), recorded before it is made and checked again once made: the
// removal at the end of the process finds every file made, while workers
// make their files at once (making a file can take milliseconds). `undo`
// lets go of what `make` opened when that removal ran meanwhile.
QString make_recorded(const QString &path, const std::function<bool()> &make,
                      const std::function<void()> &undo)
{
    Registry &r = registry();
    {
        const std::lock_guard<std::mutex> lock(r.mutex);
        if (r.ending)
            return system_error(EINTR);
        r.paths.insert(path);
        ++r.making;
    }
    errno = 0;
    const bool made = make();
    const int error = errno;
    const std::lock_guard<std::mutex> lock(r.mutex);
    if (--r.making == 0)
        r.made.notify_all();
    if (made && !r.ending)
        return {};
    if (made) { // the removal at the end ran meanwhile
        undo();
        QFile::remove(path);
        return system_error(EINTR);
    }
    r.paths.erase(path);
    return system_error(error);
}

} // namespace

ScratchFile create_scratch_file(const QString &path)
{
    std::FILE *file = nullptr;
    const QString problem = make_recorded(
        path, [&] { return (file = create_new(path)) != nullptr; }, [&] { std::fclose(file); });
    return {problem.isEmpty() ? file : nullptr, problem};
}

QString link_scratch_file(const QString &existing, const QString &path)
{
#ifdef Q_OS_WIN
    (void)existing;
    (void)path;
    return system_error(ENOTSUP);
#else
    const QByteArray from = QFile::encodeName(existing), name = QFile::encodeName(path);
    return make_recorded(
        path,
        [&] {
            ::unlink(name.constData());
            return ::link(from.constData(), name.constData()) == 0;
        },
        [] {});
#endif
}

QString system_error(int error)
{
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("unknown error");
}

void add_scratch(const QString &path)
{
    Registry &r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    r.paths.insert(path);
}

void release_scratch(const QString &path)
{
    Registry &r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    r.paths.erase(path);
}

void remove_all_scratch()
{
    Registry &r = registry();
    std::unique_lock<std::mutex> lock(r.mutex);
    r.ending = true;
    // A file being made now would be made after its removal.
    r.made.wait(lock, [&r] { return r.making == 0; });
    for (const QString &path : r.paths) {
        const QFileInfo info(path);
        if (info.isDir() && !info.isSymLink())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
    r.paths.clear();
}

} // namespace ardentis
