#include "outputs/outputlock.h"

#include "outputs/scratch.h"

#include <QFile>
#include <QLockFile>

#include <cerrno>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ardentis
{

#ifdef Q_OS_WIN
struct OutputLock::Handle {
    explicit Handle(const QString &path) : file(path) { file.setStaleLockTime(0); }
    QLockFile file;
};

OutputLock::OutputLock() = default;
OutputLock::~OutputLock() = default;

LockOutcome OutputLock::lock(const QString &dir)
{
    const QString path = dir + QStringLiteral("/.ardentis.lock");
    handle_ = std::make_unique<Handle>(path);
    if (handle_->file.tryLock(0))
        return LockOutcome::Taken;
    if (handle_->file.error() == QLockFile::LockFailedError)
        return LockOutcome::Held;
    problem_ = QStringLiteral("%1 cannot be made").arg(path);
    return LockOutcome::Failed;
}
#else
struct OutputLock::Handle {
    QByteArray name;
    int fd = -1;
    ~Handle()
    {
        if (fd < 0)
            return;
        // Removed while still held: a run that opened the file meanwhile
        // sees that it is gone and makes a new one.
        ::unlink(name.constData());
        release_scratch(QFile::decodeName(name));
        ::close(fd);
    }
};

OutputLock::OutputLock() = default;
OutputLock::~OutputLock() = default;

namespace
{

QString lock_problem(const QString &path, const char *what, int error)
{
    return QStringLiteral("%1 cannot be %2 (%3)")
        .arg(path, QLatin1String(what), system_error(error));
}

// Opens the lock file, or one another user made (locking needs reading
// only). -1 with errno when it cannot; -2 when there is none and none can be
// made: nothing can be written in the folder.
int open_lock_file(const QByteArray &name)
{
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0 || errno == ENOENT || errno == ENOTDIR)
        return fd < 0 ? -2 : fd; // a folder that is not there
    if (errno != EACCES && errno != EROFS)
        return -1;
    const int read_only = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    return read_only < 0 && errno == ENOENT ? -2 : read_only;
}

// Whether `fd` is still the file under `name`: the run that held it may have
// removed it after this one opened it.
bool still_named(int fd, const QByteArray &name)
{
    struct stat open_file, named;
    return ::fstat(fd, &open_file) == 0 && ::stat(name.constData(), &named) == 0 &&
           open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

} // namespace

LockOutcome OutputLock::lock(const QString &dir)
{
    const QString path = dir + QStringLiteral("/.ardentis.lock");
    const QByteArray name = QFile::encodeName(path);
    for (;;) {
        const int fd = open_lock_file(name);
        if (fd == -2) // the run's own writing fails there
            return LockOutcome::Taken;
        if (fd < 0) {
            problem_ = lock_problem(path, "opened", errno);
            return LockOutcome::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return LockOutcome::Held;
            problem_ = lock_problem(path, "locked", error);
            return LockOutcome::Failed;
        }
        if (still_named(fd, name)) {
            handle_ = std::make_unique<Handle>();
            handle_->name = name;
            handle_->fd = fd;
            add_scratch(path);
            return LockOutcome::Taken;
        }
        ::close(fd);
    }
}
#endif

} // namespace ardentis
