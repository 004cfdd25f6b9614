#pragma once
// ardentis-batch's command line and its run, apart from the process's own
// start-up, so that both can be used and tested in-process.

#include "engine/run.h"
#include "report/report.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace ardentis
{

struct BatchOptions {
    // The images as given, made absolute; the run lists a folder given alone
    // and reads the table.
    RunInput input;
    QString images_from; // the folder the images were listed from, once listed
    QString table_path;  // empty: none
    QString command;     // the arguments as given
    int jobs = 1;
    int tool_timeout_ms = default_tool_timeout_ms;
    bool report = false;
    ReportStyle style;
    TrialRequest trial; // the field book and air asked for, read when the run starts
};

// What the command line asks for.
struct CommandLine {
    enum Action { Run, Help, Version, Error } action = Error;
    BatchOptions options;
    QString text;    // the help or version text
    QString problem; // why the command line cannot be used (Error)
};

// Parses the arguments after the program name, without reading any file.
CommandLine parse_command_line(const QStringList &arguments);

// Runs what the options ask for, writing messages (and, when `terminal` is
// true, progress) to `err`. Returns the exit status: 0 when every pair was
// processed or used as a table entry, 1 when some were skipped or a result
// file is incomplete, 2 when the input is wrong.
int run_batch(const BatchOptions &options, std::FILE *err, bool terminal);

} // namespace ardentis
