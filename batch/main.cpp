// ardentis-batch: the generation run of the window, without a window and on
// several workers, each keeping one ExifTool running.

#include "batch/options.h"
#include "common/textinput.h"
#include "measurement/exiftool.h"
#include "outputs/scratch.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <thread>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

namespace
{

// An argument that is not UTF-8 cannot be named to the tools, or taken as a
// folder's name, unchanged.
int check_arguments(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (!ardentis::is_utf8(argv[i])) {
            std::fprintf(stderr,
                         "ardentis-batch: the name %s is not UTF-8 text; rename the file or "
                         "folder.\n",
                         ardentis::escaped_bytes(argv[i]).toUtf8().constData());
            return 2;
        }
    }
    return 0;
}

int usage_error(const QString &message)
{
    std::fputs(QStringLiteral("ardentis-batch: %1\nTry 'ardentis-batch --help'.\n")
                   .arg(message)
                   .toLocal8Bit()
                   .constData(),
               stderr);
    return 2;
}

#ifndef Q_OS_WIN
ardentis::OutsideStop outside_stop;

// The first Ctrl-C of a run whose pairs have begun stops it as the window's
// Stop does: the pairs in progress finish and the results of the pairs done
// are written. Any other SIGINT or SIGTERM ends the run at once, taking its
// temporary files, work folders, lock and tools with it. Either way the run
// ends with 128 + the signal. The signals are held back in every thread and
// taken by one thread of their own, where whatever the ending needs may run.
void end_cleanly_on_signals()
{
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGINT);
    pthread_sigmask(SIG_BLOCK, &held, nullptr); // before any other thread starts
    std::thread([held] {
        int signal = 0;
        while (sigwait(&held, &signal) == 0) {
            if (signal == SIGINT && outside_stop.begun && !outside_stop.asked.exchange(true)) {
                std::fputs("\nardentis-batch: stopping once the pairs in progress are done; the "
                           "results of the pairs done are written. Press Ctrl-C again to stop at "
                           "once.\n",
                           stderr);
                continue;
            }
            ardentis::end_all_tools();
            ardentis::remove_all_scratch();
            ::_exit(128 + signal);
        }
    }).detach();
}
#endif

} // namespace

int main(int argc, char *argv[])
{
#ifndef Q_OS_WIN
    end_cleanly_on_signals();
#endif
    QCoreApplication app(argc, argv);
    if (const int status = check_arguments(argc, argv))
        return status;
    const ardentis::CommandLine line =
        ardentis::parse_command_line(QCoreApplication::arguments().mid(1));
    switch (line.action) {
    case ardentis::CommandLine::Error:
        return usage_error(line.problem);
    case ardentis::CommandLine::Help:
    case ardentis::CommandLine::Version:
        std::fputs(line.text.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case ardentis::CommandLine::Run:
        break;
    }
    ardentis::tune_for_pairs();
#ifndef Q_OS_WIN
    const int status =
        ardentis::run_batch(line.options, stderr, isatty(STDERR_FILENO), &outside_stop);
    return outside_stop.stopped ? 128 + SIGINT : status;
#else
    return ardentis::run_batch(line.options, stderr, isatty(STDERR_FILENO));
#endif
}
