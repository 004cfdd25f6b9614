// ardentis-batch: the generation run of the window, without a window and on
// several workers, each keeping one ExifTool running.

#include "batch/options.h"
#include "common/textinput.h"

#include <QCoreApplication>

#include <cstdio>
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

ardentis::OutsideStop outside_stop;

} // namespace

int main(int argc, char *argv[])
{
    ardentis::end_cleanly_on_signals(&outside_stop);
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
    const int status =
        ardentis::run_batch(line.options, stderr, isatty(STDERR_FILENO), &outside_stop);
    return outside_stop.asked ? 128 + outside_stop.signal : status;
}
