#include "outputs/outputlock.h"

#include <QFile>
#include <QLockFile>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace ardentis
{

#ifdef Q_OS_WIN
struct OutputLock::Handle {
    explicit Handle(const QString &path) : file(path) { file.setStaleLockTime(0); }
    QLockFile file;
};
#else
struct OutputLock::Handle {
    int fd = -1;
    ~Handle()
    {
        if (fd >= 0)
            ::close(fd); // releases the lock
    }
};
#endif

OutputLock::OutputLock() = default;
OutputLock::~OutputLock() = default;

bool OutputLock::lock(const QString &dir)
{
    const QString path = dir + QStringLiteral("/.ardentis.lock");
#ifdef Q_OS_WIN
    handle_ = std::make_unique<Handle>(path);
    return handle_->file.tryLock(0) || handle_->file.error() != QLockFile::LockFailedError;
#else
    handle_ = std::make_unique<Handle>();
    handle_->fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    return handle_->fd < 0 || ::flock(handle_->fd, LOCK_EX | LOCK_NB) == 0;
#endif
}

} // namespace ardentis
