// Times the generation of synthetic pairs of realistic size (320 × 240 raw
// thermal image, 2048 × 1536 photograph) three ways on this machine: the
// window's path (one ExifTool start per query, pair after pair), the batch
// command with one job, and with the default number of jobs. Then compares
// the batch command's peak memory for 20 and for 200 pairs.
//   ardentis-benchmark [PAIRS] [WINDOW_PAIRS]     (defaults 40 and 8)

#include "exiftool.h"
#include "flirfixture.h"
#include "run.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace
{

// Writes `distinct` different pairs and links them under new numbers
// until there are `pairs`; returns the input list.
QStringList make_pairs(const QString &dir, int pairs, int distinct)
{
    QStringList list;
    for (int i = 0; i < pairs; ++i) {
        const QString n = QString::number(1000 + i);
        const QString ir = dir + "/FLIR" + n + ".jpg",
                      vis = dir + "/FLIR" + n + "_RGB" + n + ".jpg";
        if (i < distinct) {
            fixtures::FlirFile file;
            file.counts = fixtures::plot_counts(320, 240, 19500, unsigned(i + 1));
            fixtures::write_flir_jpeg(ir.toStdString(), file);
            cv::imwrite(vis.toStdString(),
                        fixtures::plot_photograph(2048, 1536, 320, 240, unsigned(i + 1)),
                        {cv::IMWRITE_JPEG_QUALITY, 85});
        } else {
            const QString from = QString::number(1000 + i % distinct);
            // Hard links: the listing of a folder passes over symbolic links.
            ::link(QFile::encodeName(dir + "/FLIR" + from + ".jpg").constData(),
                   QFile::encodeName(ir).constData());
            ::link(QFile::encodeName(dir + "/FLIR" + from + "_RGB" + from + ".jpg").constData(),
                   QFile::encodeName(vis).constData());
        }
        list << ir << vis;
    }
    return list;
}

class QuietFrontEnd : public ardentis::RunFrontEnd
{
public:
    void warning(const QString &text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void critical(const QString &text) override { warning(text); }
    void progress(int) override {}
    void output_file(const QString &) override {}
};

struct Run {
    double seconds = 0;
    long peak_kib = 0;
};

Run run_batch(const QString &folder, const QString &out, int jobs)
{
    QByteArray jobs_arg = QByteArray::number(jobs);
    QByteArray out_arg = out.toLocal8Bit(), folder_arg = folder.toLocal8Bit();
    QByteArray program = ARDENTIS_BATCH;
    char *argv[] = {program.data(),  const_cast<char *>("--jobs"),
                    jobs_arg.data(), const_cast<char *>("--output"),
                    out_arg.data(),  folder_arg.data(),
                    nullptr};
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), nullptr, nullptr, argv, environ) != 0)
        return {};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {clock.elapsed() / 1000.0, usage.ru_maxrss};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int pairs = argc > 1 ? std::atoi(argv[1]) : 40;
    const int window_pairs = argc > 2 ? std::atoi(argv[2]) : 8;
    const int jobs = QThread::idealThreadCount();
    QTemporaryDir tmp;
    const QString data = tmp.filePath("pairs"), small = tmp.filePath("window");
    QDir().mkpath(data);
    QDir().mkpath(small);
    std::printf("writing %d pairs (320 x 240 raw, 2048 x 1536 photograph)...\n", pairs);
    make_pairs(data, pairs, std::min(pairs, 10));
    const QStringList window_list = make_pairs(small, window_pairs, std::min(window_pairs, 10));

    std::printf("window path (one ExifTool start per query) on %d pairs...\n", window_pairs);
    QDir::setCurrent(tmp.path());
    QDir().mkpath(tmp.filePath("out-window"));
    QuietFrontEnd front;
    // The window's measurement: a fresh ExifTool per query, the working file
    // in the current folder.
    ardentis::ProcessExifTool per_query;
    ardentis::ExifToolMeasurer measurer(per_query, QStringLiteral("test.tiff"));
    QElapsedTimer clock;
    clock.start();
    ardentis::run_generation({window_list, {tmp.filePath("out-window")}, false, {}}, front,
                             measurer, nullptr);
    const double window_rate = window_pairs / (clock.elapsed() / 1000.0);

    std::printf("batch, 1 job, on %d pairs...\n", pairs);
    const Run one = run_batch(data, tmp.filePath("out-1"), 1);
    std::printf("batch, %d jobs, on %d pairs...\n", jobs, pairs);
    const Run many = run_batch(data, tmp.filePath("out-n"), jobs);

    std::printf("peak memory: batch on 20 and on 200 pairs...\n");
    const QString m20 = tmp.filePath("m20"), m200 = tmp.filePath("m200");
    QDir().mkpath(m20);
    QDir().mkpath(m200);
    make_pairs(m20, 20, 10);
    make_pairs(m200, 200, 10);
    const Run r20 = run_batch(m20, tmp.filePath("out-m20"), jobs);
    const Run r200 = run_batch(m200, tmp.filePath("out-m200"), jobs);

    const double one_rate = pairs / one.seconds, many_rate = pairs / many.seconds;
    std::printf("\n%-28s %10s %12s\n", "", "pairs/s", "peak MiB");
    std::printf("%-28s %10.2f %12s\n", "window path (per query)", window_rate, "-");
    std::printf("%-28s %10.2f %12.1f\n", "batch --jobs 1", one_rate, one.peak_kib / 1024.0);
    std::printf("batch --jobs %-15d %10.2f %12.1f\n", jobs, many_rate, many.peak_kib / 1024.0);
    std::printf("batch, 20 pairs %13s %10.2f %12.1f\n", "", 20 / r20.seconds,
                r20.peak_kib / 1024.0);
    std::printf("batch, 200 pairs %12s %10.2f %12.1f\n", "", 200 / r200.seconds,
                r200.peak_kib / 1024.0);
    const double speedup = one_rate / window_rate, scaling = many_rate / one_rate;
    const double memory = double(r200.peak_kib) / double(r20.peak_kib);
    std::printf("\nbatch --jobs 1 vs window path: %5.1fx  (target at least 10x)  %s\n", speedup,
                speedup >= 10 ? "met" : "NOT MET");
    std::printf("batch --jobs %d vs --jobs 1:    %5.2fx  (target at least 1.7x) %s\n", jobs,
                scaling, scaling >= 1.7 ? "met" : "NOT MET");
    std::printf("peak memory 200 vs 20 pairs:  %5.3f  (target at most 1.10)  %s\n", memory,
                memory <= 1.10 ? "met" : "NOT MET");
    return 0;
}
