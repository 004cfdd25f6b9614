#pragma once
// An exclusive lock on an output folder for the whole of a run, so that two
// runs cannot mix their files.

#include <QString>

#include <memory>

namespace ardentis
{

enum class LockOutcome {
    Taken,
    Held,   // another run holds the folder
    Failed, // the lock file cannot be made, opened or locked
};

// Released, and its file removed, when destroyed.
class OutputLock
{
public:
    OutputLock();
    ~OutputLock();
    OutputLock(const OutputLock &) = delete;
    OutputLock &operator=(const OutputLock &) = delete;
    // A folder where nothing can be made (missing, read-only) needs no lock:
    // the run's own writing fails there.
    LockOutcome lock(const QString &dir);
    // Why the lock failed, naming its file.
    QString problem() const { return problem_; }

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    QString problem_;
};

} // namespace ardentis
