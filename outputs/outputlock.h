#pragma once
// An exclusive lock on an output folder for the whole of a run, so that two
// runs cannot mix their files.

#include <QString>

#include <memory>

namespace ardentis
{

// Released when destroyed.
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
