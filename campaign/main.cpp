// ardentis-campaign: the campaign window, opened with the batch's options
// and inputs of its command line filled in.

#include "batch/options.h"
#include "campaign/campaignwindow.h"
#include "engine/ending.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

// Whether the command line asks only for a text (help, version): that needs
// no display.
bool text_only(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        for (const char *option : {"-h", "--help", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // Ended by a signal (the session closing), a run that has done a pair
    // stops as Cancel stops it; before that, it ends at once and takes its
    // lock, temporary files and tools with it.
    static ardentis::OutsideStop outside;
    ardentis::end_cleanly_on_signals(&outside);
    const std::unique_ptr<QCoreApplication> app(
        text_only(argc, argv) ? new QCoreApplication(argc, argv) : new QApplication(argc, argv));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("ardentis-campaign"));
    if (qobject_cast<QApplication *>(app.get())) {
        QApplication::setApplicationDisplayName(QStringLiteral("Ardentis Campaign"));
        QApplication::setDesktopFileName(QStringLiteral("com.velmora.ardentis.campaign"));
        QApplication::setWindowIcon(QIcon::fromTheme(
            QStringLiteral("ardentis-campaign"), QIcon(QStringLiteral(":/campaign/icon-64.png"))));
    }
    const QStringList arguments = QApplication::arguments().mid(1);
    const ardentis::CommandLine line = ardentis::parse_command_line(arguments);
    switch (line.action) {
    case ardentis::CommandLine::Error:
        std::fputs(QStringLiteral("ardentis-campaign: %1\nTry 'ardentis-campaign --help'.\n")
                       .arg(line.problem)
                       .toLocal8Bit()
                       .constData(),
                   stderr);
        return 2;
    case ardentis::CommandLine::Help:
        std::fputs(QStringLiteral("Opens the Ardentis Campaign window with the options and images "
                                  "given filled in;\nthey are those of ardentis-batch:\n\n%1")
                       .arg(line.text)
                       .toLocal8Bit()
                       .constData(),
                   stdout);
        return 0;
    case ardentis::CommandLine::Version:
        std::printf("ardentis-campaign %s\n", ARDENTIS_VERSION);
        return 0;
    case ardentis::CommandLine::Run:
        break;
    }
    ardentis::tune_for_pairs();
    ardentis::CampaignWindow window;
    window.open(arguments, line.options);
    window.stop_on_signals(&outside);
    window.show();
    const int status = app->exec();
    return outside.asked ? 128 + outside.signal : status;
}
