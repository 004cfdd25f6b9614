// ardentis-batch: the generation run of the window, without a window and on
// several workers, each keeping one ExifTool running.

#include "parallel.h"
#include "refltable.h"
#include "stayopen.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <opencv2/core.hpp>

#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

namespace
{

void print_err(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QString absolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Messages go to standard error.
class BatchFrontEnd : public ardentis::RunFrontEnd
{
public:
    void warning(const QString &text) override { print_err(end_line() + text + "\n"); }
    void critical(const QString &text) override { print_err(end_line() + text + "\n"); }
    void progress(int) override {}
    void output_file(const QString &) override {}
    // Ends a progress line before a message.
    QString end_line()
    {
        const bool open = progress_shown;
        progress_shown = false;
        return open ? QStringLiteral("\n") : QString();
    }

    bool progress_shown = false;
};

// What one worker keeps: a private folder for its working file and one
// running ExifTool.
struct WorkerTools {
    QTemporaryDir dir;
    ardentis::StayOpenExifTool tool;
};

class BatchMeasurer : private WorkerTools, public ardentis::ExifToolMeasurer
{
public:
    BatchMeasurer() : ExifToolMeasurer(tool, dir.filePath(QStringLiteral("raw.tiff"))) {}
};

int usage_error(const QString &message)
{
    print_err(QStringLiteral("ardentis-batch: %1\nTry 'ardentis-batch --help'.\n").arg(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ardentis-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.3"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures plant temperatures in pairs of FLIR radiometric JPEGs and visible-light\n"
        "photographs, as the Ardentis window's \"Generate results\" does.\n\n"
        "IMAGE... is the input list: radiometric image, photograph, radiometric image,\n"
        "photograph, ... or a single folder, whose JPEG files are taken in name order.\n\n"
        "Exit status: 0 every pair processed, 1 some pairs skipped, 2 the input or the\n"
        "command line is wrong."));
    const QCommandLineOption help_option({QStringLiteral("h"), QStringLiteral("help")},
                                         QStringLiteral("Shows this help."));
    const QCommandLineOption version_option({QStringLiteral("v"), QStringLiteral("version")},
                                            QStringLiteral("Shows the version."));
    const QCommandLineOption output_option(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Folder for result.csv and the result folders (created if missing)."),
        QStringLiteral("DIR"));
    const QCommandLineOption table_option(
        {QStringLiteral("t"), QStringLiteral("table")},
        QStringLiteral("Table of emissivity and reflected temperature by image number (CSV)."),
        QStringLiteral("FILE"));
    const QCommandLineOption jobs_option(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Pairs processed at once (default: the number of cores, %1).")
            .arg(QThread::idealThreadCount()),
        QStringLiteral("N"));
    parser.addOptions({help_option, version_option, output_option, table_option, jobs_option});
    parser.addPositionalArgument(QStringLiteral("IMAGE"),
                                 QStringLiteral("Input images, or one folder."),
                                 QStringLiteral("IMAGE..."));

    if (!parser.parse(QCoreApplication::arguments()))
        return usage_error(parser.errorText());
    if (parser.isSet(help_option)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version_option)) {
        std::puts("ardentis-batch 1.3");
        return 0;
    }

    int jobs = QThread::idealThreadCount();
    if (parser.isSet(jobs_option)) {
        bool ok = false;
        jobs = parser.value(jobs_option).toInt(&ok);
        if (!ok || jobs < 1)
            return usage_error(QStringLiteral("--jobs takes a whole number of 1 or more, not '%1'.")
                                   .arg(parser.value(jobs_option)));
    }

    ardentis::RunInput input;
    if (parser.isSet(output_option)) {
        const QString out = absolute(parser.value(output_option));
        QDir().mkpath(out);
        input.output_dirs << out;
    }
    if (parser.isSet(table_option)) {
        const QString path = parser.value(table_option);
        if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable())
            return usage_error(QStringLiteral("cannot read the table '%1'.").arg(path));
        input.refl_table = ardentis::load_refl_table(path.toUtf8().toStdString());
        input.refl_loaded = true;
    }
    const QStringList images = parser.positionalArguments();
    if (images.size() == 1 && QFileInfo(images.first()).isDir()) {
        input.image_files = ardentis::list_jpeg_files(absolute(images.first()));
    } else {
        for (const QString &image : images)
            input.image_files << absolute(image);
    }

    // Workers run side by side; each keeps to one core.
    cv::setNumThreads(1);
    // Every pair needs the same few large pictures: keep their memory for the
    // next pair instead of handing it back to the system and faulting it in
    // again.
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif

    BatchFrontEnd front;
    const bool terminal = isatty(STDERR_FILENO);
    QElapsedTimer clock;
    clock.start();
    auto pairs_done = [&](int done, int pairs) {
        if (!terminal)
            return;
        const double seconds = clock.elapsed() / 1000.0;
        const double rate = seconds > 0 ? done / seconds : 0;
        const double left = rate > 0 ? (pairs - done) / rate : 0;
        print_err(QStringLiteral("\r%1/%2 pairs, %3 pairs/s, %4 s left   ")
                      .arg(done)
                      .arg(pairs)
                      .arg(rate, 0, 'f', 1)
                      .arg(left, 0, 'f', 0));
        front.progress_shown = true;
    };
    const ardentis::RunResult result = ardentis::run_generation_parallel(
        input, front, jobs, [] { return std::make_unique<BatchMeasurer>(); }, pairs_done);
    if (!result.started)
        return 2;
    print_err(front.end_line() +
              QStringLiteral("%1 of %2 pairs processed, %3 skipped, in %4 s. Results in %5\n")
                  .arg(result.processed)
                  .arg(result.pairs)
                  .arg(result.skipped.size())
                  .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                  .arg(input.output_dirs.first()));
    return result.skipped.empty() ? 0 : 1;
}
