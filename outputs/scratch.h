#pragma once
// What a run keeps on disk only while it runs: files under their temporary
// names, work folders and the output folder's lock. They are recorded here so
// that a run ended by a signal can take them away before the process exits.

#include <QString>

#include <cstdio>

namespace ardentis
{

// A new empty file open for writing, or why there is none (the system's words).
struct ScratchFile {
    std::FILE *file = nullptr;
    QString problem;
};

// Makes a new empty file at `path` and opens it for writing, recorded as
// scratch. Whatever stood under the name is removed first, so that a link
// planted there is never written through.
ScratchFile create_scratch_file(const QString &path);

// Makes `path` a second name of the file `existing`, recorded as scratch:
// nothing new on disk. Returns why it could not be made (the system's words),
// as where the file system has no such names.
QString link_scratch_file(const QString &existing, const QString &path);

// The system's words for the error number `error`.
QString system_error(int error);

// Records a file or folder the run will remove itself.
void add_scratch(const QString &path);

// `path` is scratch no more: renamed into place, or removed.
void release_scratch(const QString &path);

// Removes every recorded file and folder, and from then on makes no new
// scratch file: for a process about to end. Safe to call from any thread.
void remove_all_scratch();

} // namespace ardentis
