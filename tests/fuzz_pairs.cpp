// Hostile pairs: seeded mutations of the fixture writer's radiometric JPEGs
// (every raw form, one giving its size twice over), calibration values at the
// edges of plausibility, and photographs (JPEG, WebP, PNM, JPEG stored
// turned), some sharing an image number, paired in order and a third of them
// by capture time, and radiometric JPEGs that keep a mutated photograph or
// alignment values at the edges, run through the batch's engine with the real
// exiftool and a table of extreme values, into a folder whose result names
// are links to a file elsewhere. Every pair must be skipped with a reason, or
// give finite temperatures at or above absolute zero and a well-formed
// summary line; the linked file keeps its bytes; a run whose result folder is
// a link writes nothing; no crash, no hang, no sanitizer report. Beside
// them, garbage tables and option values at the limits of their types must be
// refused with a reason or give sane values, folders of links, hidden files,
// FIFOs and odd names must list every entry once, and ExifTool answers whose
// values are not numbers must never give a made-up air. With "options" every
// option of the batch is on: field search, ExGR mask, full model,
// temperatures, report, field book, weather log and stress index.
//   fuzz_pairs [INPUTS] [SEED] [options]      (defaults 300, 1, none)

#include "batch/options.h"
#include "engine/pairing.h"
#include "engine/run.h"
#include "measurement/tagquery.h"
#include "outputs/resultfiles.h"
#include "pictures/pictures.h"
#include "refltable/refltable.h"
#include "report/report.h"
#include "tests/testutil.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <opencv2/imgcodecs.hpp>

#include <cfloat>
#include <clocale>
#include <cstdio>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

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

template <typename T, size_t n> const T &pick(const T (&values)[n], std::mt19937 &rng)
{
    return values[rng() % n];
}

// Calibration values of `file` set to the edges of plausibility and beyond.
fixtures::FlirFile edge_calibration(fixtures::FlirFile file, std::mt19937 &rng)
{
    static const float edges[] = {0,        -0.f, 1e-45f, 1e-38f, 1e-6f,    0.5f,
                                  1,        2,    1e6f,   1e38f,  FLT_MAX,  -1,
                                  INFINITY, NAN,  -60.f,  208,    -273.15f, 1500};
    fixtures::Limits &l = file.limits;
    float *fields[] = {&file.r1,         &file.r2,         &file.b,
                       &file.f,          &file.emissivity, &l.saturated_min,
                       &l.saturated_max, &l.clip_min,      &l.range_max};
    for (int i = 0, n = 1 + int(rng() % 3); i < n; ++i)
        *pick(fields, rng) = pick(edges, rng);
    if (rng() % 4 == 0)
        file.o = rng() % 2 ? INT32_MAX : INT32_MIN;
    return file;
}

// Radiometric images of every raw form that keep a photograph, written to
// `dir`: intact, the photograph mutated, its alignment values at the edges
// of plausibility or missing, the photograph missing, or the whole file
// mutated.
QStringList embedded_inputs(const QString &dir, int count,
                            const std::vector<fixtures::FlirFile> &radiometric, std::mt19937 &rng)
{
    static const float ratios[] = {0,     -0.f, 1e-45f,  1e-6f, 0.5f,     1,
                                   1.25f, 10,   10.001f, 1e38f, INFINITY, NAN};
    static const std::int16_t offsets[] = {0, 1, -1, 64, -300, INT16_MAX, INT16_MIN};
    const cv::Size photo(640, 480);
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", fixtures::plot_photograph(photo.width, photo.height, 40, 30), jpeg);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        fixtures::FlirFile file = radiometric[size_t(i) % radiometric.size()];
        file.photo_size = photo;
        file.pip = fixtures::pip_for(photo, {60, 50, 512, 384}, {40, 30});
        const unsigned how = rng() % 6; // 5: intact
        file.photo = how == 0 ? std::vector<std::uint8_t>() : jpeg;
        if (how == 1) {
            const QByteArray mutated = mutate(bytes(jpeg), rng);
            file.photo.assign(mutated.begin(), mutated.end());
        } else if (how == 2) {
            file.pip->real2ir = pick(ratios, rng);
            file.pip->offset_x = pick(offsets, rng);
            file.pip->offset_y = pick(offsets, rng);
        } else if (how == 3) {
            file.pip.reset();
        }
        QByteArray ir = bytes(fixtures::flir_jpeg(file));
        if (how == 4)
            ir = mutate(ir, rng);
        files << QStringLiteral("%1/FLIR%2.jpg").arg(dir).arg(i);
        write_file(files.last(), ir);
    }
    return files;
}

// Fields of table lines, and values of options, at the limits of numbers.
const QList<QByteArray> hostile_fields =
    QByteArray("| |nan|inf|-inf|abc|1e999|0x10|-0|0.95|1|0|21.5 C|1e-999|+5|.5|5.|\r|-300|1e300|"
               "99999999999999999999999999999999999999")
        .split('|');
const QStringList hostile_numbers =
    QStringLiteral("0 -1 1 2147483647 2147483648 -2147483648 9223372036854775807 1e308 1e-9 nan "
                   "inf -inf -0 0.001 86400 86400.5 1e-320 0.0004 20.05 -273.15 10000")
        .split(' ');

// A table of hostile lines.
std::string hostile_table(std::mt19937 &rng)
{
    std::string text = rng() % 8 ? "" : "\xEF\xBB\xBF";
    for (int line = 0, lines = int(rng() % 6); line < lines; ++line) {
        for (int f = 0, fields = 1 + int(rng() % 4); f < fields; ++f)
            text +=
                (f ? "," : "") + hostile_fields[int(rng() % hostile_fields.size())].toStdString();
        text += rng() % 4 ? "\n" : "\r\n";
    }
    return text;
}

// Whether every line of a table text that is not blank is three fields (the
// third the rest of the line) each beginning with a finite decimal number.
bool every_line_numbers(std::string text)
{
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    for (QByteArray line : QByteArray::fromStdString(text).split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() < 3)
            return false;
        for (int f = 0; f < 3; ++f) {
            const auto m = number.match(QString::fromLatin1(fields[f]));
            if (!m.hasMatch() || !std::isfinite(std::strtod(m.captured(0).toLatin1(), nullptr)))
                return false;
        }
    }
    return true;
}

// Checks one parsed table; returns the number of faults found.
int check_table(const std::string &text, const ReflTableFile &table)
{
    bool sane =
        table.rows.size() % ReflColumns == 0 && every_line_numbers(text) == table.problem.isEmpty();
    if (!table.problem.isEmpty())
        sane = table.rows.empty() && QRegularExpression(QStringLiteral("^line [1-9]\\d* \\('"))
                                         .match(table.problem)
                                         .hasMatch();
    for (const double v : table.rows) // NaN: a blank line's
        sane = sane && !std::isinf(v);
    if (!sane)
        std::fprintf(stderr, "FAULT: the table '%s' gave '%s'\n", text.c_str(),
                     qPrintable(table.problem));
    return sane ? 0 : 1;
}

// Checks the options parsed from one command line; returns the number of faults found.
int check_options(const QStringList &arguments, const CommandLine &line)
{
    const BatchOptions &b = line.options;
    const Field &f = b.input.options.field;
    const double purity = b.input.options.mask.purity;
    bool sane = line.action == CommandLine::Error && !line.problem.isEmpty();
    if (line.action == CommandLine::Run)
        sane = f.x >= 0 && f.y >= 0 && f.width >= 1 && f.height >= 1 &&
               (double(f.x) + f.width) * (double(f.y) + f.height) <= max_picture_pixels &&
               purity > 0 && purity <= 1 && b.jobs >= 1 && b.tool_timeout_ms >= 1 &&
               b.input.options.pairing.tolerance >= 0 &&
               b.input.options.pairing.tolerance <= max_pairing_seconds &&
               (!b.style.range_given ||
                (std::isfinite(b.style.range_min) && b.style.range_max - b.style.range_min >= 0.1 &&
                 b.style.range_max <= max_celsius));
    if (!sane)
        std::fprintf(stderr, "FAULT: the options %s were taken\n", qPrintable(arguments.join(' ')));
    return sane ? 0 : 1;
}

// Option values at the limits of their types; returns the number of faults found.
int hostile_options(std::mt19937 &rng, int lines, int *refused)
{
    static const char *const names[] = {"--field", "--range",        "--purity",
                                        "--jobs",  "--tool-timeout", "--pair"};
    int faults = 0;
    for (int i = 0; i < lines; ++i) {
        QStringList arguments;
        for (int o = 0, n = 1 + int(rng() % 3); o < n; ++o) {
            const QString name = QLatin1String(pick(names, rng));
            const int count = name == "--field" ? 4 : name == "--range" ? 2 : 1;
            QStringList parts;
            for (int k = 0; k < count; ++k)
                parts << hostile_numbers[int(rng() % hostile_numbers.size())];
            arguments << name << (name == "--pair" ? "time:" : "") + parts.join(',');
        }
        const CommandLine line = parse_command_line(arguments);
        *refused += line.action == CommandLine::Error;
        faults += check_options(arguments, line);
    }
    return faults;
}

// Pairs the first `files` images of `input` by capture time, named after
// their files, and runs them with `run`: every image is in a pair or named as
// in none, and every pair has its outcome. Returns the number of faults found.
template <typename Run>
int check_time_pairs(RunInput input, const QString &out, int files, const Run &run)
{
    input.image_files = input.image_files.mid(0, files);
    input.options.pairing.by = Pairing::Time;
    input.options.naming = Naming::File;
    const PairingPlan plan = plan_pairing(
        input, [] { return std::make_unique<StayOpenExifTool>(exiftool_program(), 60000); }, 2);
    input.pairs = plan.pairs;
    int paired = plan.left_over.size();
    for (const PairSource &p : plan.pairs)
        paired += 1 + !p.visible.isEmpty();
    const RunResult result = input.pairs.empty() ? RunResult() : run(input, out);
    std::printf("%d images by capture time: %d pairs, %d processed, %d photographs in none\n",
                files, int(plan.pairs.size()), result.count(PairState::Processed),
                int(plan.left_over.size()));
    int faults = paired != files || result.outcomes.size() != plan.pairs.size();
    for (const PairOutcome &o : result.outcomes)
        faults += o.state == PairState::Skipped && o.problem.isEmpty();
    if (faults)
        std::fprintf(stderr, "FAULT: images lost or pairs without a reason by capture time\n");
    return faults;
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
        if (o.state == PairState::Skipped && o.problem.isEmpty())
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

// Folders as people fill them: plain files, links to files, to folders and
// to nothing, hidden files, folders, FIFOs and names that are not UTF-8,
// all with JPEG names. Every entry must be an image or left out, once; the
// images are regular files in name order, links only when followed.
int hostile_folders(const QString &root, int folders, std::mt19937 &rng)
{
    static const char *const stems[] = {"a", ".b", "C", "c\xff", "IMG_10", "img_2", "._d"};
    static const char *const ends[] = {".jpg", ".JPEG", ".Jpg", ".jpeg"};
    static const char *const targets[] = {"/target", "/sub", "/none"};
    int faults = 0;
    for (int n = 0; n < folders; ++n) {
        const QString dir = QStringLiteral("%1/%2").arg(root).arg(n);
        QDir().mkpath(dir + "/sub");
        write_file(dir + "/target", "");
        std::vector<QByteArray> entries;
        for (int i = 0, count = int(rng() % 12); i < count; ++i) {
            const QByteArray name = QFile::encodeName(dir) + "/" + pick(stems, rng) +
                                    QByteArray::number(i) + pick(ends, rng);
            const int kind = int(rng() % 4);
            if (kind == 0)
                ::symlink(QFile::encodeName(dir) + pick(targets, rng), name.constData());
            else if (kind == 1)
                ::mkdir(name.constData(), 0700);
            else if (kind == 2)
                ::mkfifo(name.constData(), 0600);
            else
                std::fclose(std::fopen(name.constData(), "w"));
            entries.push_back(name);
        }
        for (const FolderLinks links : {FolderLinks::Skip, FolderLinks::Follow}) {
            const FolderImages listed = list_jpeg_files(dir, links);
            bool sane = size_t(listed.files.size()) + listed.left_out.size() == entries.size();
            for (int i = 0; i < listed.files.size(); ++i) {
                const QFileInfo file(listed.files[i]);
                sane = sane && file.isFile() && !file.fileName().startsWith('.') &&
                       (links == FolderLinks::Follow || !file.isSymLink()) &&
                       (i == 0 || listed.files[i - 1].toLower() <= listed.files[i].toLower());
            }
            if (!sane)
                std::fprintf(stderr, "FAULT: the folder %s was listed wrongly\n", qPrintable(dir));
            faults += !sane;
        }
        for (const QByteArray &name : entries) // names the temporary folder cannot remove
            std::remove(name.constData());
    }
    return faults;
}

// Answers every query with one text, as a tool that writes odd values would.
class CannedTool : public ExifTool
{
public:
    QByteArray answer;
    ToolAnswer output(const QStringList &) override { return {answer, {}}; }
    QString output_to_file(const QStringList &, const QString &) override { return {}; }
};

// A real answer with one value that is not a number, or at an edge: the
// camera's air (the first two tags) must be a number in range or missing.
int hostile_answers(const QString &file, int answers, std::mt19937 &rng)
{
    static const char *const tags[] = {"AtmosphericTemperature", "RelativeHumidity", "FieldOfView",
                                       "PlanckR1", "CameraTemperatureMinSaturated"};
    static const char *const values[] = {"\"abc\"", "\"\"", "null", "true", "[]", "\"nan\"",
                                         "\"1e999\"", "\"\\u0000\"", "\"\\q\"",
                                         // numbers
                                         "-60.0000061", "70.01", "-1e-320", "\"0x10\"", "\"20 C\""};
    CannedTool tool;
    const QString real = QString::fromUtf8(
        ProcessExifTool().output(one_exchange_arguments(file, Radiometry::Simple)).output);
    TrialSetup camera;
    camera.request.air = AirSource::Camera;
    int faults = 0;
    for (int i = 0; i < answers; ++i) {
        const size_t t = rng() % std::size(tags), v = rng() % std::size(values);
        tool.answer =
            QString(real)
                .replace(QRegularExpression(QStringLiteral("\"%1\": [^,\n]*").arg(tags[t])),
                         QStringLiteral("\"%1\": %2").arg(tags[t], values[v]))
                .toUtf8();
        const Measurement m = measure_in_one_exchange(tool, file, false, 0, 0, Radiometry::Simple);
        const TrialValues air =
            trial_values(camera, {{1, {}}, m.date_time, m.camera_air, m.camera_humidity, 20});
        const bool sane =
            (std::isnan(air.air) ? std::isnan(air.vpd)
                                 : air.air >= -60.001 && air.air <= 70.001 && (t > 1 || v > 8)) &&
            (!m.problem.isEmpty() || !m.temps.empty());
        if (!sane)
            std::fprintf(stderr, "FAULT: the answer %s gave the air %f\n", tool.answer.constData(),
                         air.air);
        faults += !sane;
    }
    return faults;
}

} // namespace

// The run's table: every line numbers, with extreme values, for pairs of the
// last quarter (the others keep their own values).
std::vector<double> extreme_table(int pairs, std::mt19937 &rng)
{
    static const char *const emissivities[] = {"0", "1", "1e-300", "0.5", "-0", "1.0000001"};
    static const char *const temperatures[] = {"-273.15", "-300", "1e300", "20", "-273.14"};
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += std::to_string(pairs - 1 - int(rng() % std::uint32_t(pairs / 4 + 1))) + "," +
                pick(emissivities, rng) + "," + pick(temperatures, rng) + "\n";
    return parse_refl_table(text).rows;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C"); // for the tables' own reading
    const int inputs = argc > 1 ? std::atoi(argv[1]) : 300;
    std::mt19937 rng(argc > 2 ? unsigned(std::atoi(argv[2])) : 1u);
    QTemporaryDir dir;
    const QString in = dir.filePath("in"), out = dir.filePath("out");
    QDir().mkpath(in);

    std::vector<fixtures::FlirFile> radiometric;
    for (fixtures::RawForm form : {fixtures::RawForm::LittleEndian, fixtures::RawForm::PngCamera,
                                   fixtures::RawForm::PngStandard, fixtures::RawForm::JpegLs,
                                   fixtures::RawForm::TiffSizedTwice}) {
        fixtures::FlirFile file;
        file.counts = fixtures::plot_counts(40, 30, 18000, unsigned(form) + 1);
        file.form = form;
        radiometric.push_back(file);
    }
    // The photograph in formats whose header is read here and in others.
    std::vector<QByteArray> photos;
    const cv::Mat photograph = fixtures::plot_photograph(1467, 1144, 40, 30);
    for (const char *format : {".jpg", ".webp", ".ppm"}) {
        std::vector<uchar> encoded;
        cv::imencode(format, photograph, encoded);
        photos.push_back(bytes(encoded));
    }
    photos.push_back(bytes(fixtures::photo_jpeg(photograph, 6, "2014:03:12 10:15:32")));
    QElapsedTimer clock;
    clock.start();
    RunInput input;
    int shared = 0;
    for (int i = 0; i < inputs; ++i) {
        const fixtures::FlirFile &file = radiometric[size_t(i) % radiometric.size()];
        QByteArray ir = bytes(fixtures::flir_jpeg(file)),
                   vis = photos[size_t(i / 4) % photos.size()];
        if (rng() % 5 == 0)
            vis = mutate(vis, rng);
        else if (rng() % 4 == 0)
            ir = bytes(fixtures::flir_jpeg(edge_calibration(file, rng)));
        else
            ir = mutate(ir, rng);
        // Now and then the number of an earlier pair.
        const int number = i > 0 && rng() % 20 == 0 ? int(rng() % std::uint32_t(i)) : i;
        shared += number != i;
        const QString stem = QStringLiteral("%1/FLIR%2").arg(in).arg(i);
        const QString visible = stem + QStringLiteral("_RGB%1.jpg").arg(number);
        write_file(stem + ".jpg", ir);
        write_file(visible, vis);
        input.image_files << stem + ".jpg" << visible;
    }
    input.refl_loaded = true;
    input.refl_table = extreme_table(inputs, rng);
    TrialSetup trial;
    if (argc > 3 && QByteArray(argv[3]) == "options") {
        input.options.search_field = true;
        input.options.mask.method = MaskMethod::ExGR;
        input.options.radiometry = Radiometry::Full;
        input.options.temperatures = input.options.stats = true;
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
    const auto run_input = [report](RunInput &input, const QString &folder) {
        QDir().mkpath(folder);
        input.output_dir = folder;
        const std::unique_ptr<PairExtras> extras =
            report ? make_report(folder, {}, {{}, {}, {}, {}, input.options.trial, 2}) : nullptr;
        input.options.extras = extras.get();
        return run_generation(
            input, [] { return std::make_unique<OneExchangeMeasurer>(60000); }, 2);
    };
    const auto run = [&input, &run_input](const QString &folder) {
        return run_input(input, folder);
    };
    // Result names that are links to a file elsewhere: it must keep its bytes.
    const QString outside = dir.filePath("outside");
    write_file(outside, "outside");
    QDir().mkpath(out + "/3tempmask");
    QFile::link(outside, out + "/3tempmask/3tempmask_0.csv");
    if (input.options.stats)
        QFile::link(outside, out + "/stats.csv");
    const bool hard =
        ::link(QFile::encodeName(outside), QFile::encodeName(out + "/result.csv")) == 0;
    const RunResult result = run(out);
    int faults = check(out, result, inputs);
    if (read_file(outside) != "outside" || !hard) {
        std::fprintf(stderr, "FAULT: the file linked from the result names was written\n");
        ++faults;
    }
    // The same inputs give the same outputs: nothing comes from memory the
    // decoders did not fill.
    run(out + "-again");
    if (tree(out) != tree(out + "-again")) {
        std::fprintf(stderr, "FAULT: a second run gave other outputs\n");
        ++faults;
    }
    // A result folder linked elsewhere: refused before anything is written.
    const QString linked = out + "-linked", elsewhere = dir.filePath("elsewhere");
    QDir().mkpath(linked);
    QDir().mkpath(elsewhere);
    const QString name = report && rng() % 7 == 0 ? QStringLiteral("report")
                                                  : QLatin1String(pick(pair_folders, rng));
    QFile::link(elsewhere, linked + "/" + name);
    if (run(linked).start != RunStart::ForeignFolder || QFile::exists(linked + "/result.csv") ||
        !QDir(elsewhere).isEmpty())
        faults += std::fprintf(stderr, "FAULT: a run wrote through the linked %s\n",
                               qPrintable(name)) > 0;
    faults += check_time_pairs(input, out + "-time", inputs / 3 * 2, run_input);
    // Radiometric images that keep their photograph, each a pair.
    QDir().mkpath(dir.filePath("embedded"));
    input.image_files = embedded_inputs(dir.filePath("embedded"), inputs / 3, radiometric, rng);
    input.options.photo = PhotoSource::Embedded;
    input.options.camera_field = true;
    const RunResult embedded = run(out + "-embedded");
    faults += check(out + "-embedded", embedded, inputs / 3);
    int tables_refused = 0, options_refused = 0;
    for (int i = 0; i < inputs; ++i) {
        const std::string text = hostile_table(rng);
        const ReflTableFile table = parse_refl_table(text);
        tables_refused += !table.problem.isEmpty();
        faults += check_table(text, table);
    }
    faults += hostile_options(rng, inputs * 10, &options_refused);
    faults += hostile_folders(dir.filePath("folders"), inputs / 10, rng);
    write_file(in + "/intact.jpg", bytes(fixtures::flir_jpeg(radiometric[0])));
    faults += hostile_answers(in + "/intact.jpg", inputs, rng);
    std::printf("%d hostile pairs (%d with the number of an earlier one) in %.1f s: %d processed, "
                "%d table entries, %d skipped; %d with the photograph inside: %d processed, %d "
                "skipped; %d tables, %d refused; %d option lines, %d refused; %d faults\n",
                inputs, shared, clock.elapsed() / 1000.0, result.count(PairState::Processed),
                result.count(PairState::TableEntry), result.count(PairState::Skipped), inputs / 3,
                embedded.count(PairState::Processed), embedded.count(PairState::Skipped), inputs,
                tables_refused, inputs * 10, options_refused, faults);
    return faults == 0 ? 0 : 1;
}
