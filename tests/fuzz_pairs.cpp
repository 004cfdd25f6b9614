// Hostile pairs: seeded mutations of the fixture writer's radiometric JPEGs
// (every raw form) and photographs, run through the batch's engine with the
// real exiftool. Every pair must be skipped with a reason, or give finite
// temperatures at or above absolute zero and a well-formed summary line; no
// crash, no hang, no sanitizer report. With "options" every option of the
// batch is on: field search, ExGR mask, full model, temperatures, report,
// field book, weather log and stress index.
//   fuzz_pairs [INPUTS] [SEED] [options]      (defaults 300, 1, none)

#include "engine/run.h"
#include "report/report.h"
#include "tests/testutil.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <random>

using namespace ardentis;

namespace
{

QByteArray bytes(const std::vector<std::uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), int(v.size()));
}

// One mutation of `data`: flipped bytes, a cut, a repeated or removed piece,
// or a 16- or 32-bit field set to an extreme.
QByteArray mutate(QByteArray data, std::mt19937 &rng)
{
    const auto at = [&](int size) { return int(rng() % std::uint32_t(std::max(1, size))); };
    switch (rng() % 6) {
    case 0:
        for (int i = 0, n = 1 + at(16); i < n; ++i)
            data[at(data.size())] = char(rng());
        break;
    case 1:
        data.truncate(at(data.size()));
        break;
    case 2: {
        const int from = at(data.size());
        data.insert(at(data.size()), data.mid(from, 1 + at(4096)));
        break;
    }
    case 3:
        data.remove(at(data.size()), 1 + at(512));
        break;
    default: {
        static const char extremes[][4] = {{0, 0, 0, 0},
                                           {'\xFF', '\xFF', '\xFF', '\xFF'},
                                           {'\x7F', '\xFF', '\xFF', '\xFF'},
                                           {0, 1, 0, 0}};
        const int width = rng() % 2 ? 2 : 4, where = at(data.size() - width);
        for (int i = 0; i < width && where + i < data.size(); ++i)
            data[where + i] = extremes[rng() % 4][i];
    }
    }
    return data;
}

// Checks the outputs; returns the number of faults found.
int check(const QString &out, const RunResult &result, int inputs)
{
    int faults = 0;
    const auto fault = [&faults](const QString &what) {
        std::fprintf(stderr, "FAULT: %s\n", qPrintable(what));
        ++faults;
    };
    if (result.start != RunStart::Started || int(result.outcomes.size()) != inputs)
        fault(QStringLiteral("the run did not go through every pair"));
    for (const PairOutcome &o : result.outcomes)
        if (o.state == PairState::Skipped && o.reason.isEmpty())
            fault(QStringLiteral("pair %1 skipped without a reason").arg(o.plan.pair + 1));
    const QRegularExpression line(
        QStringLiteral("^\\d+\\.000000,[0-9:]{0,8},(nan|-?\\d+\\.\\d{6})$"));
    const QList<QByteArray> lines = read_file(out + "/result.csv").split('\n');
    if (lines.value(0) != "Image number, Time, Average Temp" || !lines.last().isEmpty() ||
        lines.size() != result.count(PairState::Processed) + 2)
        fault(QStringLiteral("result.csv is not complete"));
    for (int i = 1; i + 1 < lines.size(); ++i) {
        const double mean = lines[i].split(',').value(2).toDouble();
        if (!line.match(QString::fromLatin1(lines[i])).hasMatch() || mean < -273.15 ||
            std::isinf(mean))
            fault(QStringLiteral("a broken summary line: %1").arg(QString::fromLatin1(lines[i])));
    }
    for (const QString &file : tree(out + "/3tempmask").keys())
        for (const QByteArray &v : read_file(out + "/3tempmask/" + file).split(','))
            if (!v.trimmed().isEmpty() && v.trimmed() != "nan" &&
                !(v.toDouble() >= -273.15 && std::isfinite(v.toDouble())))
                fault(QStringLiteral("%1 holds %2").arg(file, QString::fromLatin1(v)));
    return faults;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int inputs = argc > 1 ? std::atoi(argv[1]) : 300;
    std::mt19937 rng(argc > 2 ? unsigned(std::atoi(argv[2])) : 1u);
    QTemporaryDir dir;
    const QString in = dir.filePath("in"), out = dir.filePath("out");
    QDir().mkpath(in);

    std::vector<QByteArray> radiometric;
    for (fixtures::RawForm form : {fixtures::RawForm::LittleEndian, fixtures::RawForm::PngCamera,
                                   fixtures::RawForm::PngStandard, fixtures::RawForm::JpegLs}) {
        fixtures::FlirFile file;
        file.counts = fixtures::plot_counts(40, 30, 18000, unsigned(form) + 1);
        file.form = form;
        radiometric.push_back(bytes(fixtures::flir_jpeg(file)));
    }
    std::vector<uchar> photo;
    cv::imencode(".jpg", fixtures::plot_photograph(1467, 1144, 40, 30), photo);
    QElapsedTimer clock;
    clock.start();
    RunInput input;
    for (int i = 0; i < inputs; ++i) {
        QByteArray ir = radiometric[size_t(i) % radiometric.size()], vis = bytes(photo);
        if (rng() % 5 == 0)
            vis = mutate(vis, rng);
        else
            ir = mutate(ir, rng);
        const QString stem = QStringLiteral("%1/FLIR%2").arg(in).arg(i);
        write_file(stem + ".jpg", ir);
        write_file(stem + QStringLiteral("_RGB%1.jpg").arg(i), vis);
        input.image_files << stem + ".jpg" << stem + QStringLiteral("_RGB%1.jpg").arg(i);
    }
    TrialSetup trial;
    if (argc > 3 && QByteArray(argv[3]) == "options") {
        input.options = {{}, true, {MaskMethod::ExGR, 0.5}, Radiometry::Full, true, true, nullptr};
        // A field trial around the capture times, whatever the mutations made of them.
        write_file(in + "/book.csv", "image,group\n0,a\n1,b\n2,a\n");
        write_file(in + "/air.csv", "time,air temperature,relative humidity\n"
                                    "2014-03-12 10:00,20,60\n2014-03-12 10:30,24,40\n");
        if (!load_trial(
                 {in + "/book.csv", "group", AirSource::Log, in + "/air.csv", CwsiBaseline{3, -3}},
                 trial)
                 .isEmpty())
            return 1;
        input.options.trial = &trial;
    }
    const bool report = input.options.search_field;
    const auto run = [&input, report](const QString &folder) {
        QDir().mkpath(folder);
        input.output_dir = folder;
        const std::unique_ptr<PairExtras> extras =
            report ? make_report(folder, {}, {{}, {}, {}, {}, input.options.trial}) : nullptr;
        input.options.extras = extras.get();
        return run_generation(
            input, [] { return std::make_unique<OneExchangeMeasurer>(60000); }, 2);
    };
    const RunResult result = run(out);
    int faults = check(out, result, inputs);
    // The same inputs give the same outputs: nothing comes from memory the
    // decoders did not fill.
    run(out + "-again");
    if (tree(out) != tree(out + "-again")) {
        std::fprintf(stderr, "FAULT: a second run gave other outputs\n");
        ++faults;
    }
    std::printf("%d hostile pairs in %.1f s: %d processed, %d skipped, %d faults\n", inputs,
                clock.elapsed() / 1000.0, result.count(PairState::Processed),
                result.count(PairState::Skipped), faults);
    return faults == 0 ? 0 : 1;
}
