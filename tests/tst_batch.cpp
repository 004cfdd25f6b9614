// ardentis-batch: the same files as the window, its workers, its command line,
// what it does with hostile input, tools and disks, and its options: the
// field search, the ExGR mask, statistics, the full radiometric model, the
// report and field trials.

#include "analysis/alignment.h"
#include "analysis/stats.h"
#include "app/dialog.h"
#include "batch/options.h"
#include "measurement/temperature.h"
#include "outputs/outputlock.h"
#include "tests/guitest.h"
#include "tests/testutil.h"

#include <QPushButton>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <csignal>
#include <filesystem>
#include <unistd.h>

using guitest::child;

Q_DECLARE_METATYPE(fixtures::HardPair)

namespace
{

Finished batch(const QStringList &arguments)
{
    return run_program(QStringLiteral(ARDENTIS_BATCH), arguments);
}

// Whether the process is there and not a zombie waiting to be reaped.
bool process_alive(const QByteArray &pid)
{
    const QByteArray stat = read_file("/proc/" + pid + "/stat");
    return stat.contains(" S ") || stat.contains(" R ");
}

// The non-empty lines of a file.
QList<QByteArray> lines_of(const QString &path)
{
    QList<QByteArray> lines = read_file(path).split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

// The line of stats.csv as fields, by column name.
QMap<QString, QString> stats_of(const QString &dir, int line = 0)
{
    const QList<QByteArray> lines = read_file(dir + "/stats.csv").split('\n');
    const QList<QByteArray> names = lines.value(0).split(','),
                            values = lines.value(line + 1).split(',');
    QMap<QString, QString> fields;
    for (int i = 0; i < names.size(); ++i)
        fields[names[i]] = values.value(i);
    return fields;
}

// A per-pixel table as written: one line per row, each value followed by a comma.
cv::Mat table_of(const QString &path)
{
    std::vector<double> values;
    int rows = 0;
    for (const QByteArray &line : lines_of(path)) {
        ++rows;
        for (const QByteArray &v : line.split(','))
            if (!v.isEmpty())
                values.push_back(v.toDouble());
    }
    return cv::Mat(values, true).reshape(1, rows);
}

fixtures::Plot write_plot(const QString &dir, int n, const fixtures::PlotScene &scene,
                          const fixtures::PlotScene *photo_scene = nullptr)
{
    return fixtures::write_plot_pair(dir.toStdString(), n, scene, photo_scene);
}

// The field of a line of stats.csv.
cv::Rect field_of(const QMap<QString, QString> &stats)
{
    return {stats["field x"].toInt(), stats["field y"].toInt(), stats["field width"].toInt(),
            stats["field height"].toInt()};
}

// The field of a line of stats.csv against `expected`: within `px` pixels
// of its corner and `share` of its width.
bool near_field(const QMap<QString, QString> &stats, const cv::Rect &expected, double px,
                double share)
{
    const cv::Rect f = field_of(stats);
    qInfo("%s: field %+d, %+d px, width %+.1f %% from the expected",
          qPrintable(QFileInfo(stats["radiometric image"]).fileName()), f.x - expected.x,
          f.y - expected.y, 100.0 * (f.width - expected.width) / expected.width);
    return std::abs(f.x - expected.x) <= px && std::abs(f.y - expected.y) <= px &&
           std::abs(f.width - expected.width) <= share * expected.width;
}

// The ExGR plant mean of the temperatures of a per-pixel table under `field`
// of `photo`.
double exgr_mean(const cv::Mat &photo, const QString &table, const cv::Rect &field)
{
    const cv::Mat temps = table_of(table);
    return ardentis::compute_pair(cv::Mat(temps.size(), CV_8UC3, cv::Scalar::all(0)), photo, temps,
                                  {field.x, field.y, field.width, field.height},
                                  {ardentis::MaskMethod::ExGR, 0.5})
        .mean;
}

// The hard pair of that name.
fixtures::PlotScene hard_scene(const std::string &name)
{
    for (const fixtures::HardPair &p : fixtures::hard_pairs())
        if (p.name == name)
            return p.scene;
    qFatal("no hard pair %s", name.c_str());
}

// A radiometric image that keeps its photograph: the plot of `scene` in the
// raw form `form`, with the alignment values `pip`; `photo`, when given,
// stored instead of the drawn photograph ("-": none).
struct Embedded {
    fixtures::PlotScene scene;
    fixtures::RawForm form = fixtures::RawForm::LittleEndian;
    std::optional<fixtures::PiP> pip;
    QByteArray photo;
};

// A photograph too dark for any colour, but with green above blue here and
// there, as a covered lens gives: what green-over-blue alone takes for plant.
QByteArray black_photograph(cv::Size size)
{
    cv::Mat dark(size, CV_8UC3);
    cv::randu(dark, cv::Scalar::all(0), cv::Scalar::all(14));
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", dark, jpeg);
    return QByteArray(reinterpret_cast<const char *>(jpeg.data()), int(jpeg.size()));
}

} // namespace

Q_DECLARE_METATYPE(Embedded)

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAsWindow_data();
    void sameAsWindow();
    void parallelAsSequential();
    void commandLine_data();
    void commandLine();
    void inputErrors_data();
    void inputErrors();
    void badPairs();
    void hungTools();
    void killedBatch_data();
    void killedBatch();
    void stoppedBatch_data();
    void stoppedBatch();
    void fullDisk();
    void folders();
    void oddNames();
    void gatheredFolder();
    void fieldSearch_data();
    void fieldSearch();
    void embeddedPhotos_data();
    void embeddedPhotos();
    void maskAndStats();
    void fullRadiometry();
    void report();
    void fieldTrial();
    void cameraFolder();
    void closeRange();

private:
    QTemporaryDir tmp;
    QString pairs;             // five pairs, the third unusable
    fixtures::FlirFile second; // the second's radiometric image, its photograph stored turned
};

void TestBatch::initTestCase()
{
    QVERIFY(tmp.isValid());
    pairs = tmp.filePath("pairs");
    QDir().mkpath(pairs);
    for (int n = 11; n <= 15; ++n)
        write_pair(pairs, n, unsigned(n), {32, 24}, n == 13 ? 1400 : 1467);
    // As a camera held on its side stores it: 1144 x 1467, to be turned a
    // quarter clockwise.
    second = write_pair(pairs, 12, 12, {29, 20});
    QVERIFY(fixtures::write_bytes((pairs + "/FLIR12_RGB12.jpg").toStdString(),
                                  fixtures::photo_jpeg(fixtures::field_photograph(1467, 1144, 450),
                                                       6, "2014:03:12 10:15:22", 100)));
    QDir::setCurrent(tmp.path());
}

void TestBatch::sameAsWindow_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::newRow("no table") << QByteArray();
    QTest::newRow("table hit on pair 2") << QByteArray("12,0.88,17.5\n");
    QTest::newRow("table without hit") << QByteArray("99,0.88,17.5\n");
}

void TestBatch::sameAsWindow()
{
    QFETCH(QByteArray, table);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
    // A "%1" in a folder's name is its own, not a place for a number.
    const QString window_out = tmp.filePath("window%1-" + tag),
                  batch_out = tmp.filePath("batch-" + tag);
    QDir().mkpath(window_out);
    write_file(tmp.filePath(tag + ".csv"), table);
    Dialog window;
    window.show();
    guitest::answer_question("Directories");
    guitest::answer_file_dialog(pairs, {});
    QTest::mouseClick(child<QPushButton>(&window, "pb_addimage"), Qt::LeftButton);
    guitest::answer_file_dialog(window_out, {});
    QTest::mouseClick(child<QPushButton>(&window, "pb_saveresults"), Qt::LeftButton);
    if (!table.isEmpty()) {
        guitest::answer_file_dialog(tmp.path(), {tag + ".csv"});
        QTest::mouseClick(child<QPushButton>(&window, "pb_addimage_2"), Qt::LeftButton);
    }
    guitest::MessageBoxRecorder boxes;
    QTest::mouseClick(child<QPushButton>(&window, "pb_generate"), Qt::LeftButton);
    QCOMPARE(boxes.boxes.size(), 1); // the skipped pair

    QStringList arguments{"--output", batch_out, pairs};
    if (!table.isEmpty())
        arguments << "--table" << tmp.filePath(tag + ".csv");
    const Finished b = batch(arguments);
    QCOMPARE(b.status, 1);
    const QString reason = "    The photograph is 1400 x 1144 pixels, smaller than 1467 x 1144.";
    QVERIFY(boxes.boxes[0].text.endsWith(reason));
    QVERIFY2(
        b.err.contains(
            QStringLiteral("pair 3 skipped (%1/FLIR13.jpg, %1/FLIR13_RGB13.jpg):\n").arg(pairs) +
            reason),
        qPrintable(b.err));
    auto files = tree(batch_out);
    QVERIFY(files.remove("stats.csv"));
    QCOMPARE(files, tree(window_out));
    const QList<QByteArray> lines = lines_of(batch_out + "/result.csv");
    QCOMPARE(lines.size(), table.startsWith("12,") ? 4 : 5);
    QCOMPARE(b.err.contains("\nNo image of the run is in the table " + tmp.filePath(tag + ".csv") +
                            ", so it set no emissivity or reflected temperature. An image number "
                            "is read from the digits before each full stop of the path of the "
                            "pair's photograph (with --photo embedded, its radiometric image), its "
                            "folders' names too (2024.06.01/IMG_0012.jpg gives 2024060012).\n"),
             table.startsWith("99,"));
    // The turned photograph read upright: its first 15 raw columns are plant.
    const double upright =
        plant_mean(second, double(second.emissivity), fixtures::reported_t_refl(second));
    QVERIFY(table.startsWith("12,") ||
            std::abs(lines[2].split(',')[2].toDouble() - upright) < 1e-3);
}

void TestBatch::parallelAsSequential()
{
    // A "%1" in a folder's name is its own, not a place for a number.
    const Finished one = batch({"-j", "1", "-o", tmp.filePath("seq%1"), pairs});
    const Finished three = batch({"-j", "3", "-o", tmp.filePath("par"), pairs});
    QCOMPARE(three.status, one.status);
    QCOMPARE(tree(tmp.filePath("par")), tree(tmp.filePath("seq%1")));
}

void TestBatch::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("text");
    const int error = ardentis::CommandLine::Error;
    QTest::newRow("field") << QStringList{"--field", "1,2,3"} << error
                           << "--field takes auto, camera or X,Y,W,H in whole pixels, not '1,2,3'.";
    QTest::newRow("pair") << QStringList{"--pair", "time:86400.5"} << error
                          << "--pair takes order, time or time:SECONDS with SECONDS from 0 to "
                             "86400, not 'time:86400.5'.";
    QTest::newRow("pair, empty") << QStringList{"--pair", ""} << error
                                 << "--pair takes order, time or time:SECONDS with SECONDS from 0 "
                                    "to 86400, not ''.";
    QTest::newRow("pair time, embedded photographs")
        << QStringList{"--photo", "embedded", "--pair", "time"} << error
        << "--pair time pairs separate photographs; with --photo embedded every image is a pair "
           "by itself.";
    QTest::newRow("names") << QStringList{"--names", "files"} << error
                           << "--names takes number or file, not 'files'.";
    QTest::newRow("photo") << QStringList{"--photo", "inside"} << error
                           << "--photo takes separate or embedded, not 'inside'.";
    QTest::newRow("purity") << QStringList{"--purity", "0"} << error
                            << "--purity takes a number over 0 and at most 1, not '0'.";
    QTest::newRow("range") << QStringList{"--range", "nan,1"} << error
                           << "--range takes MIN,MAX in °C from -273.15 to 10000, MAX at least 0.1 "
                              "above MIN, not 'nan,1'.";
    QTest::newRow("range below absolute zero")
        << QStringList{"--range", "-273.16,0"} << error
        << "--range takes MIN,MAX in °C from -273.15 to 10000, MAX at least 0.1 above MIN, not "
           "'-273.16,0'.";
    QTest::newRow("tool timeout under a millisecond")
        << QStringList{"--tool-timeout", "0.0009"} << error
        << "--tool-timeout takes a number of seconds from 0.001 to 86400, not '0.0009'.";
    // Values at the limits of their types: here the one that crashed, the rest in fuzz_pairs.
    QTest::newRow("field beyond int")
        << QStringList{"--field", "2147483647,0,1,1"} << error
        << "--field 2147483647,0,1,1 does not fit in any photograph: none of more than 250 "
           "megapixels is read.";
    QTest::newRow("empty table") << QStringList{"--table", ""} << error
                                 << "--table takes a file, not an empty name.";
    QTest::newRow("cwsi without air")
        << QStringList{"--cwsi", "3.38,-3.25"} << error
        << "--cwsi needs --air: the index compares the canopy with the air.";
    for (const char *baseline : {"3.38", "2,0", "2,0.5", "100.01,-1", "1e308,-1"})
        QTest::newRow(baseline) << QStringList{"--air", "camera", "--cwsi", baseline} << error
                                << QStringLiteral("--cwsi takes A,B, the crop's baseline: numbers "
                                                  "from -100 to 100, B below 0; not '%1'.")
                                       .arg(baseline);
    QTest::newRow("everything")
        << QStringLiteral(
               "-o x -j 2 --photo embedded --names file --field auto --field 1,2,30,40 --mask exgr "
               "--purity 0.7 "
               "--radiometry full --temperatures --report --range 10,30.5 -- -a.jpg it's.jpg")
               .split(' ')
        << int(ardentis::CommandLine::Run) << "";
}

void TestBatch::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, text);
    const ardentis::CommandLine line = ardentis::parse_command_line(arguments);
    QCOMPARE(int(line.action), action);
    QCOMPARE(action == ardentis::CommandLine::Error ? line.problem : line.text, text);
    if (action != ardentis::CommandLine::Run)
        return;
    const ardentis::RunOptions &o = line.options.input.options;
    QVERIFY(o.search_field && o.field == (ardentis::Field{1, 2, 30, 40}) && o.temperatures);
    QVERIFY(o.photo == ardentis::PhotoSource::Embedded && o.naming == ardentis::Naming::File);
    QVERIFY(o.mask.method == ardentis::MaskMethod::ExGR && o.mask.purity == 0.7);
    QVERIFY(o.radiometry == ardentis::Radiometry::Full && line.options.report &&
            line.options.jobs == 2);
    QVERIFY(line.options.style.range_given && line.options.style.range_max == 30.5);
    QCOMPARE(line.options.input.image_files, (QStringList{QDir::current().filePath("-a.jpg"),
                                                          QDir::current().filePath("it's.jpg")}));
    // As the report shows it: to be run again as it stands.
    QVERIFY2(line.options.command.endsWith(" --range 10,30.5 -- -a.jpg 'it'\\''s.jpg'"),
             qPrintable(line.options.command));
}

void TestBatch::inputErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("err");
    const QString out = tmp.filePath("not-made"), a = pairs + "/FLIR11.jpg",
                  b = pairs + "/FLIR11_RGB11.jpg";
    QDir().mkpath(tmp.filePath("empty"));
    QTest::newRow("no output") << QStringList{a, b} << "no output folder given: add --output DIR.";
    QTest::newRow("one image")
        << QStringList{"-o", out, a}
        << "only one image given; images come in pairs: radiometric image, photograph.";
    QTest::newRow("odd")
        << QStringList{"-o", out, a, b, a}
        << "3 images given, an odd number; images come in pairs: radiometric image, photograph.";
    QTest::newRow("empty folder") << QStringList{"-o", out, tmp.filePath("empty")}
                                  << QStringLiteral("the folder %1 holds 0 JPEG files; images come "
                                                    "in pairs: radiometric image, photograph.")
                                         .arg(tmp.filePath("empty"));
    QTest::newRow("a folder that does not exist")
        << QStringList{"-o", out, tmp.filePath("no-such-day")}
        << QStringLiteral("%1 does not exist.").arg(tmp.filePath("no-such-day"));
    QTest::newRow("output under a file")
        << QStringList{"-o", b + "/out", a, b}
        << QStringLiteral("cannot create the output folder %1/out (Not a directory).").arg(b);
    QDir().mkpath(tmp.filePath("card/DCIM/100FLIR")); // as the camera's card holds them
    QFile::copy(b, tmp.filePath("card/DCIM/100FLIR/FLIR11_RGB11.jpg"));
    QTest::newRow("a camera's card") << QStringList{"-o", out, tmp.filePath("card")}
                                     << QStringLiteral("the folder %1 holds no JPEG files. The "
                                                       "folder %1/DCIM/100FLIR inside it has JPEG "
                                                       "files: give it instead.")
                                            .arg(tmp.filePath("card"));
    QTest::newRow("a camera's card among other inputs")
        << QStringList{"-o", out, a, b, tmp.filePath("card/DCIM")}
        << QStringLiteral("the folder %1 holds no JPEG files. The folder %1/100FLIR inside it has "
                          "JPEG files: give it instead.")
               .arg(tmp.filePath("card/DCIM"));
    QDir().mkpath(tmp.filePath("day/100FLIR")); // and a photograph beside the camera's folder
    QFile::copy(a, tmp.filePath("day/100FLIR/FLIR11.jpg"));
    QFile::copy(b, tmp.filePath("day/FLIR12_RGB12.jpg"));
    QTest::newRow("a photograph beside the camera's folder, by time")
        << QStringList{"-o", out, "--pair", "time", tmp.filePath("day")}
        << QStringLiteral("the folder %1 holds no radiometric image (a JPEG with raw thermal "
                          "data). The folder %1/100FLIR inside it has JPEG files: give it too.")
               .arg(tmp.filePath("day"));
    QFile::copy(b, tmp.filePath("plotA.jpg"));
    QFile::copy(b, tmp.filePath("plotB.jpg"));
    QTest::newRow("one photograph's name in two folders")
        << QStringList{"-o", out, "--names", "file", a, b, a, pairs + "/../pairs2/FLIR11_RGB11.jpg"}
        << QStringLiteral("pair 1 (%1, %2) and pair 2 (%1, %3) would both write the files of the "
                          "name FLIR11_RGB11, so the second's files would replace the first's; "
                          "give each photograph a name of its own.")
               .arg(a, b, tmp.filePath("pairs2/FLIR11_RGB11.jpg"));
    QTest::newRow("one image number for two pairs")
        << QStringList{"-o", out, a, tmp.filePath("plotA.jpg"), a, tmp.filePath("plotB.jpg")}
        << QStringLiteral("pair 1 (%1, %2) and pair 2 (%1, %3) both have the image number 0, so "
                          "the second's files would replace the first's; give each photograph a "
                          "number of its own, or name the results after the files with --names "
                          "file.")
               .arg(a, tmp.filePath("plotA.jpg"), tmp.filePath("plotB.jpg"));
    QTest::newRow("one file given twice")
        << QStringList{"-o", out, a, tmp.filePath("plotA.jpg"), a, tmp.filePath("plotA.jpg")}
        << QStringLiteral("pair 1 (%1, %2) and pair 2 (%1, %2) both have the photograph %2, given "
                          "twice, so the second's files would replace the first's.")
               .arg(a, tmp.filePath("plotA.jpg"));
    std::filesystem::create_hard_link(a.toStdString(),
                                      tmp.filePath("FLIR11-link.jpg").toStdString());
    QTest::newRow("one file given twice, by time")
        << QStringList{"-o", out, "--pair", "time", a, b, tmp.filePath("FLIR11-link.jpg")}
        << a + " and " + tmp.filePath("FLIR11-link.jpg") +
               " are one file; by capture time each file is given once.";
    write_file(tmp.filePath("book0.csv"), "image,plot\n0,x\n");
    QTest::newRow("a book row for two pairs")
        << QStringList{"-o",      out,
                       "--names", "file",
                       "--plots", "book0.csv",
                       a,         tmp.filePath("plotA.jpg"),
                       a,         tmp.filePath("plotB.jpg")}
        << QStringLiteral("cannot use the field book 'book0.csv': line 2 names the images of pair "
                          "1 (%1, %2) and of pair 2 (%1, %3); key the book by the column 'file' "
                          "where image numbers repeat.")
               .arg(a, tmp.filePath("plotA.jpg"), tmp.filePath("plotB.jpg"));
    write_file(tmp.filePath("book2.csv"), "file,plot\nFLIR11_RGB11.jpg,P1\nFLIR11.jpg,P3\n");
    QTest::newRow("two book rows for a pair")
        << QStringList{"-o", out, "--plots", "book2.csv", a, b}
        << QStringLiteral("cannot use the field book 'book2.csv': lines 2 and 3 both name pair 1 "
                          "(%1, %2); keep one of them.")
               .arg(a, b);
    QTest::newRow("field outside")
        << QStringList{"-o", out, "--field", "600,500,900,700", a, b}
        << QStringLiteral("the field 600,500,900,700 does not fit inside the photograph %1 (1467 x "
                          "1144 pixels).")
               .arg(b);
    write_file(tmp.filePath("book.csv"), "image,plot\n11,a\n12,b\n11,c\n");
    QTest::newRow("field book") << QStringList{"-o", out, "--plots", "book.csv", a, b}
                                << "cannot use the field book 'book.csv': line 4: the image 11 is "
                                   "also on line 2.";
    write_file(tmp.filePath("clash.csv"), "\nimage, CTD\n11,a\n");
    QTest::newRow("a book column stats.csv has")
        << QStringList{"-o", out, "--plots", "clash.csv", "--air", "camera", a, b}
        << "cannot use the field book 'clash.csv': line 2: the column 'ctd' is also a column of "
           "stats.csv; rename it.";
    QTest::newRow("locked") << QStringList{"-o", tmp.filePath("locked"), a, b}
                            << QStringLiteral("another run is writing into %1; wait until it has "
                                              "finished, or choose another output folder.")
                                   .arg(tmp.filePath("locked"));
    QTest::newRow("a folder stands for the lock")
        << QStringList{"-o", tmp.filePath("lock-folder"), a, b}
        << QStringLiteral("cannot lock the output folder against other runs: %1/.ardentis.lock "
                          "cannot be opened (Is a directory).")
               .arg(tmp.filePath("lock-folder"));
    QTest::newRow("a folder stands for stats.csv")
        << QStringList{"-o", tmp.filePath("stats-folder"), a, b}
        << tmp.filePath("stats-folder/stats.csv") + " cannot be written (Is a directory).";
    // Nothing is written, or removed, outside the output folder.
    const QString result_folder = "cannot use the result folder: " + tmp.path() +
                                  "/%1; remove it, or choose another output folder.";
    QTest::newRow("a linked report folder")
        << QStringList{"-o", tmp.filePath("linked"), "--report", a, b}
        << result_folder.arg("linked/report is a symbolic link, and results are written only "
                             "inside the output folder");
    QTest::newRow("a file for 0Aligned") << QStringList{"-o", tmp.filePath("file-folder"), a, b}
                                         << result_folder.arg("file-folder/0Aligned is not a "
                                                              "folder");
}

void TestBatch::inputErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, err);
    QDir().mkpath(tmp.filePath("locked"));
    ardentis::OutputLock other;
    QVERIFY(other.lock(tmp.filePath("locked")) == ardentis::LockOutcome::Taken);
    QDir().mkpath(tmp.filePath("lock-folder/.ardentis.lock"));
    QDir().mkpath(tmp.filePath("stats-folder/stats.csv"));
    write_file(tmp.filePath("stats-folder/result.csv"), "earlier\n");
    for (const char *folder : {"linked", "file-folder", "elsewhere"})
        QDir().mkpath(tmp.filePath(folder));
    write_file(tmp.filePath("file-folder/0Aligned"), "");
    write_file(tmp.filePath("elsewhere/p1_map.png"), "kept");
    QFile::link(tmp.filePath("elsewhere"), tmp.filePath("linked/report"));
    const Finished f = batch(arguments);
    QCOMPARE(f.status, 2);
    QCOMPARE(f.err, "ardentis-batch: " + err + "\n");
    QVERIFY(!QFileInfo::exists(tmp.filePath("not-made"))); // nothing made before the checks pass
    QVERIFY(!QFileInfo::exists(tmp.filePath("locked/result.csv")));
    QVERIFY(!QFileInfo::exists(tmp.filePath("lock-folder/result.csv")));
    QCOMPARE(read_file(tmp.filePath("stats-folder/result.csv")), QByteArray("earlier\n"));
    QCOMPARE(read_file(tmp.filePath("elsewhere/p1_map.png")), QByteArray("kept"));
    QVERIFY(!QFileInfo::exists(tmp.filePath("linked/result.csv")));
}

void TestBatch::badPairs()
{
    const QString dir = tmp.filePath("bad"), out = tmp.filePath("bad-out");
    QDir().mkpath(dir);
    const fixtures::FlirFile good = write_pair(dir, 1, 1);
    fixtures::FlirFile file = good;
    const QString v = dir + "/FLIR1_RGB1.jpg";
    const auto flir = [&](const char *name, const fixtures::FlirFile &f) {
        if (!fixtures::write_flir_jpeg((dir + "/" + name).toStdString(), f))
            qFatal("cannot write %s", name);
        return dir + "/" + name;
    };
    file.r1 = -1;
    const QString r1 = flir("r1.jpg", file);
    file.r1 = good.r1;
    file.counts =
        cv::Mat(good.counts.size(), CV_16UC1, cv::Scalar(0)); // no count the calibration explains
    const QString zero = flir("zero.jpg", file);
    file.counts = good.counts.clone();
    file.form = fixtures::RawForm::TiffSizedTwice; // a size for the check, another for the decoder
    const QString two = flir("two.jpg", file);
    file.form = good.form;
    file.counts(cv::Rect(0, 0, 3, 2)).setTo(0);
    file.date_time_original = "2014:03:12 10,15:32";
    const QString some = flir("some.jpg", file);
    // Each pair its own image number: photographs named for it.
    const auto photo_of = [&](const char *name) {
        QFile::copy(v, dir + "/" + name);
        return dir + "/" + name;
    };
    const QByteArray photo = read_file(v);
    write_file(dir + "/cut_2.jpg", photo.left(photo.size() * 2 / 3));
    const QString huge = dir + "/huge_17.jpg"; // sparse: no disk is filled
    QFile sparse(huge);
    QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1100) << 20));
    sparse.close();
    write_file(dir + "/table.csv", "7,0,20\n");
    QDir(out).mkpath("1PartRGB");
    write_file(out + "/1PartRGB/1PartRGB_2.jpg", "from an earlier run");
    QDir(out).mkpath("3tempmask/3tempmask_5.csv"); // a folder where the pair's table goes
    const QString g = dir + "/FLIR1.jpg";
    const Finished f = batch({"-j",
                              "2",
                              "-o",
                              out,
                              "--report",
                              "-t",
                              dir + "/table.csv",
                              g,
                              v,
                              r1,
                              dir + "/cut_2.jpg",
                              zero,
                              photo_of("zero_11.jpg"),
                              some,
                              photo_of("some_12.jpg"),
                              two,
                              photo_of("two_16.jpg"),
                              r1,
                              photo_of("r1_13.jpg"),
                              g,
                              photo_of("p_5.jpg"),
                              r1,
                              dir + "/x_7.jpg",
                              g,
                              photo_of("late_15.jpg"),
                              g,
                              photo_of("big_2147483648.jpg"),
                              g,
                              huge});
    QCOMPARE(f.status, 1);
    const QStringList problems{
        "The photograph is damaged or cut short (Premature end of JPEG file).",
        "The raw data, or the temperatures they give, lie outside the calibration or beyond what "
        "the camera measures (-70.0 to 218.0 °C): 580 of 580 pixels have no temperature.",
        "PlanckR1 of the radiometric image is -1; it must be a positive number.",
        out + "/3tempmask/3tempmask_5.csv cannot be written (Is a directory).",
        "The emissivity 0 on line 1 of the table is outside (0, 1].",
        "The raw thermal data of the radiometric image cannot be decoded.",
        "The image number 2147483648 is beyond 2147483647, the largest that names result files; "
        "--names file names them after the photograph instead.",
        "The photograph is larger than 1024 MB."};
    for (const QString &problem : problems)
        QVERIFY2(f.err.contains("\n    " + problem + "\n"), qPrintable(problem + "\n" + f.err));
    QVERIFY2(f.err.contains(QStringLiteral("pair 4 (%1, %2/some_12.jpg): 6 of 580 pixels have no "
                                           "temperature")
                                .arg(some, dir)),
             qPrintable(f.err));
    QVERIFY2(f.err.contains("2 of 11 pairs processed, 1 used as a table entry, 8 skipped"),
             qPrintable(f.err));
    QVERIFY(read_file(out + "/report.html")
                .contains("Pair 8 (image 7) is a table entry: it sets the emissivity and "
                          "reflected temperature of the pairs after it."));
    const QList<QByteArray> lines = lines_of(out + "/result.csv");
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[2].startsWith("12.000000,,")); // no time rather than a broken line
    QVERIFY(read_file(out + "/3tempmask/3tempmask_12.csv").startsWith("nan,nan,nan,"));
    // Files of an earlier run under a failing pair's names go; a failing pair leaves none.
    QVERIFY(!QFile::exists(out + "/1PartRGB/1PartRGB_2.jpg"));
    for (const char *folder : {"0Aligned", "1PartRGB", "2Mascara"})
        QCOMPARE(QDir(out + "/" + folder).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("%1%2_1.jpg"), QStringLiteral("%1%2_12.jpg")}
                      .replaceInStrings("%1", folder)
                      .replaceInStrings("%2", QByteArray(folder) == "2Mascara" ? "1" : "")));
}

void TestBatch::hungTools()
{
    // A tool that never answers, waiting for a child that hangs: each pair
    // is skipped in time, and the child ends with its tool.
    FakeExifTool fake("sleep 600 & echo $! >> '" + tmp.filePath("children").toUtf8() + "'; wait");
    const Finished f =
        batch({"-j", "2", "--tool-timeout", "1", "-o", tmp.filePath("hung"), pairs + "/FLIR11.jpg",
               pairs + "/FLIR11_RGB11.jpg", pairs + "/FLIR12.jpg", pairs + "/FLIR12_RGB12.jpg"});
    QCOMPARE(f.status, 1);
    QCOMPARE(f.err.count("\n    ExifTool did not answer within 1 s.\n"), 2);
    QCOMPARE(lines_of(tmp.filePath("hung/result.csv")).size(), 1); // the header
    QCOMPARE(lines_of(tmp.filePath("children")).size(), 2);
    for (const QByteArray &pid : lines_of(tmp.filePath("children")))
        QVERIFY2(!process_alive(pid), pid);
}

void TestBatch::killedBatch_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("script");
    const QByteArray pids = "echo $$ >> '" + tmp.filePath("pids").toUtf8() + "'\n";
    QTest::newRow("SIGKILL") << int(SIGKILL) << pids + "exec sleep 600";
    // The tools' own children end with them; the run's temporary files go.
    const QByteArray child =
        pids + "sleep 600 &\necho $! >> '" + tmp.filePath("pids").toUtf8() + "'\nwait";
    QTest::newRow("SIGTERM") << int(SIGTERM) << child;
}

void TestBatch::killedBatch()
{
    QFETCH(int, signal);
    QFETCH(QByteArray, script);
    FakeExifTool fake(script);
    QFile::remove(tmp.filePath("pids"));
    const QString out = tmp.filePath(QStringLiteral("killed-%1").arg(signal));
    QDir().mkpath(out);
    write_file(out + "/report.html", "an earlier report, whose pictures go as the run starts");
    QProcess p;
    p.start(QStringLiteral(ARDENTIS_BATCH), {"-j", "2", "--report", "-o", out, pairs});
    const int tools = signal == SIGKILL ? 2 : 4; // each tool, and its child
    QTRY_COMPARE_WITH_TIMEOUT(lines_of(tmp.filePath("pids")).size(), tools, 20000);
    ::kill(pid_t(p.processId()), signal); // before any pair is done: at once
    p.waitForFinished(-1);
    for (const QByteArray &pid : lines_of(tmp.filePath("pids")))
        QTRY_VERIFY_WITH_TIMEOUT(!process_alive(pid), 5000);
    QVERIFY(!QFile::exists(out + "/result.csv") && !QFile::exists(out + "/report.html"));
    if (signal == SIGKILL)
        return;
    QCOMPARE(p.exitCode(), 128 + signal);
    QDirIterator left(out, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (left.hasNext()) // no temporary file, work folder or lock
        QVERIFY2(!left.next().section('/', -1).startsWith('.'), qPrintable(left.filePath()));
}

void TestBatch::stoppedBatch_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("ignored");
    QTest::newRow("Ctrl-C") << int(SIGINT) << false;
    QTest::newRow("kill") << int(SIGTERM) << false;
    QTest::newRow("terminal closed") << int(SIGHUP) << false;
    QTest::newRow("terminal closed under nohup") << int(SIGHUP) << true;
}

void TestBatch::stoppedBatch()
{
    // Stopped once a pair is done: the pairs done keep their results, whole.
    QFETCH(int, signal);
    QFETCH(bool, ignored);
    const QString dir = tmp.filePath("many"), out = tmp.filePath("many-out");
    QDir(out).removeRecursively();
    QDir().mkpath(dir);
    QByteArray book = "image,plot\n"; // the pairs not reached are not said to be missing
    for (int k = 0; k < 60; ++k) {    // made by the first row
        for (const char *name : {"/FLIR%1.jpg", "/FLIR%1_RGB%1.jpg"})
            QFile::copy(pairs + QString(name).arg(11 + k % 2), dir + QString(name).arg(100 + k));
        book += QByteArray::number(100 + k) + ",P\n";
    }
    write_file(tmp.filePath("many.csv"), book + "7,typo\n");
    QProcess p;
    const QStringList arguments{ARDENTIS_BATCH,           "-j", "1", "--report", "--plots",
                                tmp.filePath("many.csv"), "-o", out, dir};
    p.start(ignored ? "nohup" : arguments[0], arguments.mid(ignored ? 0 : 1));
    // With one job, pair 2's files come once pair 1 is done.
    QTRY_VERIFY_WITH_TIMEOUT(QDir(out + "/1PartRGB").entryList(QDir::Files).size() >= 2, 20000);
    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), ignored ? 0 : 128 + signal);
    const int done = QDir(out + "/1PartRGB").entryList(QDir::Files).size();
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(
        (done < 60) != ignored &&
            err.contains(
                QStringLiteral("%1%2 of 60 pairs").arg(ignored ? "" : "Stopped: ").arg(done)) &&
            err.contains("names no image of the run: line 62 (image 7)."),
        qPrintable(err));
    QCOMPARE(lines_of(out + "/result.csv").size(), done + 1);
    if (!ignored)
        QVERIFY(read_file(out + "/report.html")
                    .contains(QStringLiteral("The run was stopped: %1 of its 60 pairs were done.")
                                  .arg(done)
                                  .toUtf8()));
}

void TestBatch::fullDisk()
{
    if (QStandardPaths::findExecutable("prlimit").isEmpty())
        QSKIP("prlimit is needed");
    // A file size limit makes every larger write fail, as a full disk does.
    const Finished f = run_program(
        "prlimit", {"--fsize=20000", ARDENTIS_BATCH, "-o", tmp.filePath("full"), pairs});
    QCOMPARE(f.status, 1);
    QVERIFY2(f.err.contains("cannot be written (File too large)"), qPrintable(f.err));
    QVERIFY2(f.err.contains("0 of 5 pairs processed, 5 skipped"), qPrintable(f.err));
    for (const QString &file : tree(tmp.filePath("full")).keys()) // nothing but whole files
        QVERIFY2(file == "result.csv" || file == "stats.csv", qPrintable(file));
    // Even result.csv cannot be written: no run, and no partial file.
    const Finished none =
        run_program("prlimit", {"--fsize=10", ARDENTIS_BATCH, "-o", tmp.filePath("none"), pairs});
    QCOMPARE(none.status, 2);
    QVERIFY2(none.err.contains("ardentis-batch: " + tmp.filePath("none/result.csv") +
                               " cannot be written (File too large).\n"),
             qPrintable(none.err));
    QVERIFY(!QFile::exists(tmp.filePath("none/result.csv")));
}

void TestBatch::folders()
{
    // Folders among other inputs, as the window gives them: each as its JPEG
    // files in name order, its entries left out named.
    const QString day1 = tmp.filePath("day1"), day2 = tmp.filePath("day2");
    for (const QString &day : {day1, day2})
        QDir().mkpath(day);
    for (const char *name : {"/FLIR11.jpg", "/FLIR11_RGB11.jpg"})
        QFile::copy(pairs + name, day1 + name);
    QFile::copy(pairs + "/FLIR12_RGB12.jpg", day2 + "/FLIR12_RGB12.jpg");
    QFile::copy(pairs + "/FLIR12.jpg", day2 + "/.FLIR12.jpg");
    // Files not named as JPEG files are named too, but not an earlier run's summary.
    for (const char *name : {"/FLIR13_RGB13.png", "/notes.txt", "/result.csv"})
        write_file(day2 + name, "");
    const Finished f = batch({"-o", tmp.filePath("days"), day1, pairs + "/FLIR12.jpg", day2});
    QCOMPARE(f.status, 0);
    QVERIFY2(f.err.contains(day2 + "/.FLIR12.jpg is left out of the folder's images") &&
                 f.err.contains(day2 + " holds 2 files not named .jpg or .jpeg, left out of its "
                                       "images: FLIR13_RGB13.png, notes.txt.\n") &&
                 f.err.contains("2 of 2 pairs processed"),
             qPrintable(f.err));
    // Given twice, its pairs are refused and its entries named once.
    const Finished twice = batch({"-o", tmp.filePath("days"), day1, day2, day1, day2});
    QCOMPARE(twice.err.count("left out of the folder's images"), 1);
    QCOMPARE(twice.err.count("not named .jpg or .jpeg"), 1);
}

void TestBatch::oddNames()
{
    // A name that is not UTF-8 cannot reach the tools, or name a folder,
    // unchanged: it is named, not dropped or altered.
    const QString dir = tmp.filePath("odd");
    QDir().mkpath(dir);
    const QByteArray odd = QFile::encodeName(dir) + "/a\xff.jpg";
    std::fclose(std::fopen(odd.constData(), "w"));
    write_file(dir + "/b.jpg", "");
    const struct {
        const char *arguments, *name;
    } given[] = {{"-o \"$1\" \"$2/a$(printf '\\377').jpg\" \"$2/b.jpg\"", "odd/a%FF.jpg"},
                 {"-o \"$1$(printf '\\303')\" \"$2/b.jpg\" \"$2/b.jpg\"", "odd-out%C3"}};
    for (const auto &g : given) {
        const Finished f =
            run_program("sh", {"-c", QStringLiteral("exec \"$0\" %1").arg(g.arguments),
                               ARDENTIS_BATCH, tmp.filePath("odd-out"), dir});
        QCOMPARE(f.status, 2);
        QCOMPARE(f.err, QStringLiteral("ardentis-batch: the name %1/%2 is not UTF-8 text; rename "
                                       "the file or folder.\n")
                            .arg(tmp.path(), g.name));
    }
    QVERIFY(QDir(tmp.path()).entryList({"odd-out*"}).isEmpty());
    const Finished folder = batch({"-o", tmp.filePath("odd-out"), dir});
    ::unlink(odd.constData());
    QCOMPARE(folder.status, 2);
    QCOMPARE(folder.err, "ardentis-batch: the name of " + dir +
                             "/a%FF.jpg is not UTF-8 text; rename the file.\n");
}

void TestBatch::gatheredFolder()
{
    // A folder of links pairs as its names say (A's thermal image no longer
    // pairs with B's photograph); what its list leaves out is named.
    const QString src = tmp.filePath("gathered-src"), dir = tmp.filePath("gathered");
    QDir().mkpath(src);
    QDir().mkpath(dir);
    write_pair(src, 101, 1);
    write_pair(src, 102, 2);
    QFile::copy(src + "/FLIR101.jpg", dir + "/A.jpg");
    QFile::link(src + "/FLIR101_RGB101.jpg", dir + "/A_RGB0101.jpg");
    QFile::link(src + "/FLIR102.jpg", dir + "/B.jpg");
    QFile::copy(src + "/FLIR102_RGB102.jpg", dir + "/B_RGB0102.jpg");
    write_file(dir + "/._A.jpg", ""); // a copy's resource fork
    QFile::link(src + "/gone.jpg", dir + "/C.jpg");
    const Finished f = batch({"-o", tmp.filePath("gathered-out"), dir});
    QCOMPARE(f.status, 0);
    QVERIFY2(f.err.startsWith(QStringLiteral("ardentis-batch: %1/._A.jpg is left out of the "
                                             "folder's images: it is hidden (its name begins with "
                                             "a full stop).\nardentis-batch: %1/C.jpg is left out "
                                             "of the folder's images: it is a link to nothing.\n")
                                  .arg(dir)),
             qPrintable(f.err));
    QCOMPARE(read_file(tmp.filePath("gathered-out/stats.csv")).count("\n10"), 2);
}

void TestBatch::fieldSearch_data()
{
    QTest::addColumn<fixtures::HardPair>("pair");
    for (const fixtures::HardPair &p : fixtures::hard_pairs())
        QTest::newRow(p.name.c_str()) << p;
}

void TestBatch::fieldSearch()
{
    QFETCH(fixtures::HardPair, pair);
    const QString dir = tmp.filePath("search"), out = tmp.filePath("search-out");
    QDir().mkpath(dir);
    if (pair.camera)
        fixtures::write_scene_pair(dir.toStdString(), 1, *pair.camera);
    else
        write_plot(dir, 1, pair.scene, pair.photo ? &*pair.photo : nullptr);
    const QStringList files{dir + "/FLIR1.jpg", dir + "/FLIR1_RGB1.png"};
    QStringList inputs = files;
    if (!pair.related) { // and a photograph too small to hold any field
        cv::imwrite((dir + "/tiny.png").toStdString(), cv::Mat(36, 48, CV_8UC3, cv::Scalar(1)));
        inputs << files[0] << dir + "/tiny.png";
    }
    const Finished f = batch(
        QStringList{"-o", out, "--field", "auto", "--mask", "exgr", "--temperatures"} + inputs);
    QCOMPARE(f.status, pair.related ? 0 : 1);
    const auto s = stats_of(out);
    const cv::Rect found = field_of(s);
    const QString note = "pair 1 (" + files.join(", ") + "): field not registered: ";
    if (!pair.related) {
        qInfo("not registered, fit %s px, r %.2f", qPrintable(s["field fit"]),
              s["correlation"].toDouble());
        QCOMPARE(s["registered"], QString("no"));
        QCOMPARE(found, cv::Rect(597, 504, 870, 640)); // the prior
        QVERIFY2(f.err.contains(note), qPrintable(f.err));
        QVERIFY2(f.err.contains("\n    The photograph is 48 x 36 pixels; a thermal field needs "
                                "at least 64 x 48.\n"),
                 qPrintable(f.err));
        return;
    }
    // Against the plant mean of the same temperatures on the true field.
    const double mean_error =
        s["plant mean"].toDouble() - exgr_mean(cv::imread(files[1].toStdString()),
                                               out + "/4Temperature/4Temperature_1.csv",
                                               pair.true_field());
    qInfo("plant mean %+.3f °C, fit %s px, r %.2f", mean_error, qPrintable(s["field fit"]),
          s["correlation"].toDouble());
    QCOMPARE(s["registered"], QString("yes"));
    QVERIFY(!f.err.contains(note));
    QVERIFY(near_field(s, pair.true_field(), 4, 0.015));
    QVERIFY(std::abs(mean_error) <= 0.4);
}

void TestBatch::embeddedPhotos_data()
{
    QTest::addColumn<Embedded>("file");
    QTest::addColumn<QStringList>("options");
    // The field used; within 3 px after a "~"; empty: skipped.
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("err"); // the reason, or the start of the note
    const auto file = [](const char *hard, cv::Size photo, cv::Size raw, cv::Rect field,
                         fixtures::RawForm form, fixtures::PiP pip) {
        fixtures::PlotScene s = hard_scene(hard);
        s.photo = photo;
        s.raw = raw;
        s.field = field;
        return Embedded{s, form, pip, {}};
    };
    const QStringList exgr{"--mask", "exgr"};
    // A real camera's values: the field 1,793 px wide, its centre 197 px left
    // of and 230 px below the photograph's centre.
    QTest::newRow("2592 x 1944, raw 640 x 480")
        << file("crop rows, 45 degree lens", {2592, 1944}, {640, 480}, {202, 530, 1793, 1345},
                fixtures::RawForm::LittleEndian, {1.4456f, -197, 230, 0, 639, 0, 479})
        << exgr << "202,530,1793,1345"
        << "";
    const Embedded c =
        file("640 x 480, raw 128 x 96, no field of view", {640, 480}, {128, 96}, {73, 34, 512, 384},
             fixtures::RawForm::JpegLs, {1.25f, 9, -14, 0, 127, 0, 95});
    const auto with = [&c](const std::function<void(Embedded &)> &change) {
        Embedded e = c;
        change(e);
        return e;
    };
    QTest::newRow("640 x 480, raw 128 x 96, JPEG-LS") << c << exgr << "73,34,512,384"
                                                      << "";
    QTest::newRow("1280 x 960, raw 320 x 240, PNG")
        << file("640 x 480, cool plants on a hot floor", {1280, 960}, {320, 240},
                {220, 195, 800, 600}, fixtures::RawForm::PngCamera, {1.6f, -20, 15, 0, 319, 0, 239})
        << exgr + QStringList{"--report", "--air", "camera"} << "220,195,800,600"
        << "";
    QTest::newRow("a PNG photograph in luma and chroma")
        << with([](Embedded &e) { e.photo = "ycbcr"; }) << exgr << "73,34,512,384"
        << "";
    QTest::newRow("black photograph") << with([](Embedded &e) {
        e.photo = black_photograph({640, 480});
    }) << QStringList{"--report"} << "73,34,512,384"
                                      << "field not registered: the best field found scores ";
    QTest::newRow("a field given instead of the camera's")
        << c << QStringList{"--field", "10,20,320,240"} << "10,20,320,240"
        << "";
    const Embedded unaligned = with([](Embedded &e) { e.pip.reset(); });
    QTest::newRow("no alignment values, a field given")
        << unaligned << QStringList{"--field", "10,20,320,240"} << "10,20,320,240"
        << "";
    // Moved inside when it reaches beyond by at most 1 % of its width.
    QTest::newRow("field reaching 5 px beyond")
        << with([](Embedded &e) { e.pip->offset_x = 69; }) << QStringList{"--field", "camera"}
        << "128,34,512,384"
        << "";
    QTest::newRow("photograph too small to search")
        << with([](Embedded &e) {
               e.photo = black_photograph({48, 36});
               e.pip = fixtures::pip_for({48, 36}, {8, 6, 32, 24}, {128, 96});
           })
        << QStringList{} << "8,6,32,24"
        << "field not searched: The photograph is 48 x 36 pixels; a thermal field needs at least "
           "64 x 48. The camera's field is used.";
    // The camera's field a twentieth of the field off, sideways and up: the
    // true field is found, unless asked for the camera's; with an unrelated
    // photograph the camera's is kept.
    const fixtures::PlotScene pots = hard_scene("640 x 480, cool plants on a hot floor");
    const Embedded off{pots,
                       fixtures::RawForm::LittleEndian,
                       fixtures::pip_for(pots.photo, pots.field + cv::Point(25, -25), pots.raw),
                       {}};
    QTest::newRow("camera 5 % off") << off << exgr << "~70,52,500,375"
                                    << "";
    QTest::newRow("camera 5 % off, --field camera")
        << off << exgr + QStringList{"--field", "camera"} << "95,26,500,375"
        << "";
    Embedded unrelated = off;
    unrelated.photo = "unrelated";
    QTest::newRow("auto, unrelated photograph")
        << unrelated << exgr + QStringList{"--field", "auto"} << "95,26,500,375"
        << "field not registered: ";

    const QStringList skipped{
        "The radiometric image holds no photograph (no EmbeddedImage).",
        "No temperatures could be read from the radiometric image (no raw thermal data in it, or "
        "ExifTool missing).",
        "Real2IR is missing from the radiometric image.",
        "Real2IR of the radiometric image is 12; it must be in (0, 10].",
        "The camera's alignment values (Real2IR 1.25, OffsetX 70, OffsetY -14) put the thermal "
        "field at 134,34,512,384, outside the photograph (640 x 480 pixels).",
        "The photograph in the radiometric image is 60000 x 60000 pixels, more than the limit of "
        "250 megapixels.",
        "The photograph in the radiometric image is damaged or cut short (Premature end of JPEG "
        "file).",
        "The photograph in the radiometric image is of an unknown format (neither JPEG, PNG, TIFF "
        "nor BMP)."};
    QByteArray huge = black_photograph({64, 48});
    huge.replace(huge.indexOf("\xFF\xC0") + 5, 4, QByteArray("\xEA\x60\xEA\x60", 4));
    const Embedded bad[] = {with([](Embedded &e) { e.photo = "-"; }),
                            with([](Embedded &e) { // a plain photograph, not radiometric
                                e.photo = "-";
                                e.form = fixtures::RawForm::None;
                            }),
                            unaligned,
                            with([](Embedded &e) { e.pip->real2ir = 12; }),
                            with([](Embedded &e) { e.pip->offset_x = 70; }),
                            with([&huge](Embedded &e) { e.photo = huge; }), // 60000 x 60000
                            with([](Embedded &e) {
                                e.photo = black_photograph({640, 480}).left(900);
                            }),
                            with([](Embedded &e) { e.photo = "GIF89a\x80\x02\xe0\x01"; })};
    for (int i = 0; i < skipped.size(); ++i)
        QTest::newRow(qPrintable(skipped[i].left(60)))
            << bad[i] << QStringList{} << "" << skipped[i];
}

void TestBatch::embeddedPhotos()
{
    QFETCH(Embedded, file);
    QFETCH(QStringList, options);
    QFETCH(QString, field);
    QFETCH(QString, err);
    const QString dir = tmp.filePath("embedded"), out = tmp.filePath("embedded-out"),
                  path = dir + "/FLIR0123.jpg"; // image number 123, from its own name
    QDir().mkpath(dir);
    fixtures::FlirFile f;
    f.form = file.form;
    f.pip = file.pip;
    fixtures::embed_plot(f, file.scene);
    const std::vector<std::uint8_t> seen = f.photo; // as the camera saw it
    if (file.photo == "ycbcr") { // kept as cameras keep a PNG: Y, Cb, Cr for red, green, blue
        cv::Mat ycrcb, stored;
        cv::cvtColor(cv::imdecode(seen, cv::IMREAD_COLOR), ycrcb, cv::COLOR_BGR2YCrCb);
        const int to_blue_green_red[] = {0, 2, 1, 0, 2, 1}; // Cr, Cb, Y
        stored.create(ycrcb.size(), CV_8UC3);
        cv::mixChannels(&ycrcb, 1, &stored, 1, to_blue_green_red, 3);
        cv::imencode(".png", stored, f.photo);
    } else if (file.photo == "unrelated") {
        fixtures::PlotScene other = file.scene;
        other.seed = 21;
        f.embed(fixtures::draw_plot(other, f).photograph);
    } else if (!file.photo.isEmpty()) {
        f.photo = file.photo == "-"
                      ? std::vector<std::uint8_t>()
                      : std::vector<std::uint8_t>(file.photo.begin(), file.photo.end());
    }
    QVERIFY(fixtures::write_flir_jpeg(path.toStdString(), f));
    const Finished run =
        batch(QStringList{"--photo", "embedded", "--temperatures", "-o", out, dir} + options);
    if (field.isEmpty()) {
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("pair 1 skipped (" + path + "):\n    " + err + "\n"),
                 qPrintable(run.err));
        QVERIFY(!QFile::exists(out + "/1PartRGB/1PartRGB_123.jpg"));
        return;
    }
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.contains("pair 1 (" + path + "): " + err) != err.isEmpty(),
             qPrintable(run.err));
    const auto s = stats_of(out);
    QCOMPARE(s["image number"], QString("123.000000"));
    const int reach = field.startsWith('~') ? 3 : 0;
    const QStringList v = field.mid(reach ? 1 : 0).split(',');
    const cv::Rect r = field_of(s),
                   expected(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
    QVERIFY(near_field(s, expected, reach, 2.0 * reach / expected.width));
    // The part of the photograph kept in the file that the field gives.
    const cv::Mat part = cv::imread((out + "/1PartRGB/1PartRGB_123.jpg").toStdString());
    const cv::Mat photo = cv::imdecode(file.photo == "ycbcr" ? seen : f.photo, cv::IMREAD_COLOR);
    QCOMPARE(part.size(), r.size());
    QVERIFY(cv::norm(part, photo(r), cv::NORM_L1) / double(part.total() * 3) < 2);
    // The plant mean against that of the same temperatures under the field
    // expected; a photograph turned to luma and chroma and back differs by a
    // level here and there.
    const double on_expected =
        exgr_mean(photo, out + "/4Temperature/4Temperature_123.csv", expected);
    if (options.contains("exgr"))
        QVERIFY2(std::abs(s["plant mean"].toDouble() - on_expected) <= (reach ? 0.3
                                                                        : file.photo == "ycbcr"
                                                                            ? 0.02
                                                                            : 1e-6),
                 qPrintable(s["plant mean"]));
    if (QByteArray(QTest::currentDataTag()) == "black photograph") { // no plant, and said so
        QVERIFY(run.err.contains(" is used instead. The photograph is black: nothing in it can be "
                                 "told for plant, so the plant fraction is 0 and the mean nan.\n"));
        QCOMPARE(s["plant fraction"], QString("0.000000"));
        QCOMPARE(s["plant mean"], QString("nan"));
        const QByteArray html = read_file(out + "/report.html");
        QVERIFY(html.contains(" is used instead. The photograph is black: nothing in it can be "
                              "told for plant, so the plant fraction is 0 and the mean nan.</p>"));
        QVERIFY(html.contains("<li>Pair 1 (image 123): ")); // among the notes too
        // Its histogram has no plant to name: all 128 x 96 thermal pixels are other.
        QVERIFY(html.contains("aria-label=\"Histogram of temperatures: 0 plant pixels, 12288 other "
                              "pixels\">"));
        QVERIFY(!html.contains("■ plant"));
    }
    if (options.contains("--report")) // and the other options as for pairs
        QVERIFY(read_file(out + "/report.html").contains("<h3>Pair 1 · image 123"));
    if (options.contains("--air")) // the camera's air, 20 °C as single-precision kelvin
        QVERIFY(std::abs(s["air temperature"].toDouble() - 20) < 1e-4);
}

void TestBatch::maskAndStats()
{
    // A plot on straw-coloured soil, plants at 22 °C, soil at 30 °C.
    const QString dir = tmp.filePath("mask"), out = tmp.filePath("mask-out");
    QDir().mkpath(dir);
    fixtures::PlotScene scene;
    scene.soil = fixtures::straw;
    const fixtures::Plot plot = write_plot(dir, 4, scene);
    const QString ir = dir + "/FLIR4.jpg", photo = dir + "/FLIR4_RGB4.png";
    QCOMPARE(batch({"-o", out, "--mask", "exgr", ir, photo}).status, 0);
    auto s = stats_of(out);
    QVERIFY2(std::abs(s["plant mean"].toDouble() - 22) < 0.05, qPrintable(s["plant mean"]));
    // The statistics, computed again from the written temperatures and mask.
    const cv::Mat table = table_of(out + "/3tempmask/3tempmask_4.csv");
    std::vector<double> plant;
    std::copy_if(table.begin<double>(), table.end<double>(), std::back_inserter(plant),
                 [](double v) { return v != 0; });
    std::sort(plant.begin(), plant.end());
    QCOMPARE(s["plant pixels"].toInt(), int(plant.size()));
    QVERIFY(std::abs(int(plant.size()) - cv::countNonZero(plot.plant)) < 30); // the plants drawn
    const double mean = std::accumulate(plant.begin(), plant.end(), 0.0) / double(plant.size());
    QVERIFY(std::abs(s["plant mean"].toDouble() - mean) < 2e-6);
    QVERIFY(std::abs(s["other mean"].toDouble() - 30) < 0.05);
    QCOMPARE(s["mask"], QString("exgr"));
    QCOMPARE(s["field fit"], QString()); // not searched
    // The default mask takes the straw for plant, and the run says so.
    const Finished gb = batch({"-o", out + "-gb", ir, photo});
    QVERIFY2(gb.err.contains("The default mask (gb) counts the whole field as plant in 1 of the 1 "
                             "pairs processed: where the field shows soil, straw or stubble, it "
                             "is counted as plant too; --mask exgr leaves it out.\n"),
             qPrintable(gb.err));
    // Purity: a field a third of a thermal pixel off puts two thirds of each
    // edge pixel on the other side, so a purity of 0.9 drops them.
    QCOMPARE(
        batch({"-o", out + "-shifted", "--mask", "exgr", "--field", "598,505,870,640", ir, photo})
            .status,
        0);
    QCOMPARE(batch({"-o", out + "-pure", "--mask", "exgr", "--purity", "0.9", "--field",
                    "598,505,870,640", ir, photo})
                 .status,
             0);
    QVERIFY(stats_of(out + "-pure")["plant pixels"].toInt() <
            stats_of(out + "-shifted")["plant pixels"].toInt() - 100);
    // A grey photograph holds no plant, and the run says so.
    cv::imwrite(photo.toStdString(),
                cv::Mat(plot.photograph.size(), CV_8UC3, cv::Scalar::all(128)));
    const Finished grey = batch({"-o", out + "-grey", ir, photo});
    QVERIFY2(grey.err.contains("pair 1 (" + ir + ", " + photo +
                               "): the mask finds no plant pixel with a temperature in the "
                               "field, so the plant mean is nan.\n"),
             qPrintable(grey.err));
}

void TestBatch::fullRadiometry()
{
    const QString dir = tmp.filePath("full"), out = tmp.filePath("full-out");
    QDir().mkpath(dir);
    const fixtures::FlirFile file = write_pair(dir, 5, 2);
    QCOMPARE(batch({"-o", out, "--radiometry", "full", "--temperatures", dir}).status, 0);
    QCOMPARE(stats_of(out)["radiometry"], QString("full"));
    const QList<QByteArray> rows = read_file(out + "/4Temperature/4Temperature_5.csv").split('\n');
    QCOMPARE(rows.size(), 21);
    QCOMPARE(rows[3].count(','), 29);
    QVERIFY(rows[3].endsWith(','));
    // The file's own air, 1 m at 20 °C and 50 %, moves a temperature a little.
    const double moved = std::abs(rows[3].split(',')[7].toDouble() -
                                  own_temperature(file.counts.at<std::uint16_t>(3, 7), file));
    QVERIFY2(moved > 0.001 && moved < 0.5, qPrintable(QString::number(moved)));
}

void TestBatch::report()
{
    const QString out = tmp.filePath("report%1");
    const Finished f =
        batch({"-o", out, "--report", "--palette", "grey", "--range", "0,50", pairs});
    QCOMPARE(f.status, 1);
    const QString html = QString::fromUtf8(read_file(out + "/report.html"));
    QVERIFY(html.contains(QStringLiteral("Pair 3: %1/FLIR13.jpg, %1/FLIR13_RGB13.jpg").arg(pairs)));
    for (const char *tick : {"0", "10", "20", "30", "40", "50"})
        QVERIFY(html.contains(QStringLiteral("class=\"tick\" data-value=\"%1\"").arg(tick)));
    QCOMPARE(html.count("<article class=\"card\""), 4);
    QCOMPARE(html.count("<figcaption>Temperature (on the range given)</figcaption>"), 4);
    // The time sorted with its date: 2014-03-12 10:15:21 in seconds from 1970.
    QVERIFY(html.contains(
        "<td data-v=\"1394619321.000000\"><span class=\"nowrap\">2014-03-12 10:15:21</span></td>"));
    // Every picture's text names its pair.
    QCOMPARE(html.count("alt=\"Pair "), 16);
    QVERIFY(
        html.contains("alt=\"Pair 4: Thermal contours over the photograph, around the field\""));
    // Around the field: the field 870 x 640 and its margins of 44 pixels, cut
    // where the photograph ends at the field's right and bottom edges, over
    // 900 pixels wide: at half resolution, shown at the photograph's size.
    QCOMPARE(cv::imread((out + "/report/p1_contours.jpg").toStdString()).size(),
             cv::Size(457, 342));
    QVERIFY(html.contains("p1_contours.jpg\" alt=\"Pair 1: Thermal contours over the photograph, "
                          "around the field\" width=\"914\" height=\"684\""));
    // The grey map: a pixel's grey level is its temperature's share of the range.
    const cv::Mat map = cv::imread((out + "/4Thermal/4Thermal_11.png").toStdString());
    const QList<QByteArray> t =
        read_file(out + "/3tempmask/3tempmask_11.csv").split('\n')[5].split(',');
    QCOMPARE(map.at<cv::Vec3b>(5, 2)[1], uchar(std::lround(t[2].toDouble() / 50 * 255)));
    QCOMPARE(read_file(out + "/report/p1_map.png"), read_file(out + "/4Thermal/4Thermal_11.png"));

    // In a real browser: every picture loads, the table sorts, no script error.
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty())
        QSKIP("Chromium is not installed: the report was not opened in a browser");
    write_file(
        out + "/check.html",
        R"(<iframe id="r" src="report.html" width="1200" height="900"></iframe><pre id="o"></pre><script>
var f = document.getElementById('r'), errors = [], all = function (q) { return Array.from(f.contentDocument.querySelectorAll(q)); };
f.onload = function () { f.contentWindow.onerror = function (m) { errors.push(m); }; all('img').forEach(function (i) { i.loading = 'eager'; });
  var h = all('th')[3], sorted = function (sign) { var m = all('tbody tr').map(function (r) { return sign * parseFloat(r.cells[3].dataset.v); });
    return m.length + ' ' + m.every(function (v, k) { return k == 0 || m[k - 1] <= v; }) + ' ' + h.getAttribute('aria-sort'); };
  setTimeout(function () { h.click(); var up = sorted(1); h.dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter'}));
    document.getElementById('o').textContent = 'images ' + all('img').length + ' loaded ' + all('img').filter(function (i) { return i.complete && i.naturalWidth > 0; }).length +
      ' rows ' + up + ', by key ' + sorted(-1) + ', focus ' + h.tabIndex + ' errors ' + errors.length; }, 1500); };</script>)");
    const QStringList flags =
        QStringLiteral("--headless --no-sandbox --disable-gpu --no-first-run --disable-sync "
                       "--disable-background-networking --disable-component-update "
                       "--allow-file-access-from-files --virtual-time-budget=8000")
            .split(' ') +
        QStringList{"--user-data-dir=" + tmp.filePath("chromium")};
    const Finished dom = run_program(
        chromium,
        flags + QStringList{"--dump-dom", QUrl::fromLocalFile(out + "/check.html").toString()});
    if (!dom.out.contains("<iframe"))
        QSKIP(qPrintable("Chromium could not start here: " + dom.err.left(300)));
    QVERIFY2(
        dom.out.contains("images 16 loaded 16 rows 4 true ascending, by key 4 true descending, "
                         "focus 0 errors 0"),
        qPrintable(dom.out.right(400)));
    run_program(chromium,
                flags + QStringList{"--window-size=1200,1800",
                                    "--screenshot=" + tmp.filePath("report.png"),
                                    QUrl::fromLocalFile(out + "/report.html").toString()});
    QVERIFY(cv::imread(tmp.filePath("report.png").toStdString()).cols == 1200);
}

void TestBatch::fieldTrial()
{
    // Two pairs of one genotype inside the weather log, one of another taken
    // after it, one not in the field book.
    const QString dir = tmp.filePath("trial"), out = tmp.filePath("trial-out");
    QDir().mkpath(dir);
    const char *times[] = {"2024:06:01 10:05:00", "2024:06:01 10:12:30.25+02:00",
                           "2024:06:01 14:00:00", "2024:06:01 10:20:00"};
    std::vector<double> tc;
    for (int k = 0; k < 4; ++k) {
        fixtures::FlirFile f = write_pair(dir, 21 + k, unsigned(k + 1));
        f.date_time_original = times[k];
        f.air.t_atm_celsius = 17.5f;
        f.air.humidity = k == 3 ? 1.5f : 0.35f; // the last: no humidity a log could hold
        QVERIFY(fixtures::write_flir_jpeg(
            dir.toStdString() + "/FLIR" + std::to_string(21 + k) + ".jpg", f));
        tc.push_back(plant_mean(f, double(f.emissivity), fixtures::reported_t_refl(f)));
    }
    write_file(tmp.filePath("trial.csv"),
               "\xEF\xBB\xBFimage,plot,genotype,note\r\n21,P1,Kronos,\"wet, \"\"north\"\"\"\r\n"
               "22,P2,Kronos,\r\n23,P3,Svevo,\r\n99,P9,Svevo,\r\n");
    write_file(tmp.filePath("air.csv"), "time,air temperature,relative humidity\n"
                                        "2024-06-01 10:00,24,60\n2024-06-01 10:20,28,40\n");
    const Finished f = batch({"-o", out, "--plots", "trial.csv", "--group", "genotype", "--air",
                              "air.csv", "--cwsi", "3.38,-3.25", "--report", dir});
    QCOMPARE(f.status, 0);
    const QString files = QStringLiteral("%1/FLIR%2.jpg, %1/FLIR%2_RGB%2.jpg");
    for (const QString &note :
         {"pair 3 (" + files.arg(dir).arg(23) +
              "): the capture time 2024-06-01 14:00:00 is outside the weather log (2024-06-01 "
              "10:00:00 to 2024-06-01 10:20:00).\n",
          "pair 4 (" + files.arg(dir).arg(24) + "): image 24 is not in the field book.\n",
          QString("1 row of the field book names no image of the run: line 5 (image 99).\n")})
        QVERIFY2(f.err.contains(note), qPrintable(f.err));
    const QList<QByteArray> lines = lines_of(out + "/stats.csv");
    QVERIFY(lines[0].endsWith(
        ",radiometry,capture date,image,plot,genotype,note,air temperature,relative "
        "humidity,vpd,ctd,cwsi"));
    QVERIFY(lines[1].contains(
        ",simple,2024-06-01,21,P1,Kronos,\"wet, \"\"north\"\"\",25.000000,55.000000,"));
    QVERIFY(lines[3].endsWith(",simple,2024-06-01,23,P3,Svevo,,,,,,"));
    QVERIFY(lines[4].contains(",simple,2024-06-01,,,,,28.000000,40.000000,"));
    // The first pair's air, humidity, VPD and stress limits worked out by
    // hand (A 3.38, B -3.25): 25 °C, 55 %, 1.4255 kPa, LL -1.252875, UL 5.643939.
    const QList<QByteArray> v = lines[1].split(',');
    const double plant = stats_of(out)["plant mean"].toDouble(), ll = -1.252875, ul = 5.643939;
    QVERIFY2(std::abs(plant - tc[0]) < 0.01, qPrintable(QString::number(plant)));
    const double want[] = {25, 55, 1.4255, 25 - plant, ((plant - 25) - ll) / (ul - ll)};
    for (int i = 0; i < 5; ++i)
        QVERIFY2(std::abs(v[v.size() - 5 + i].toDouble() - want[i]) < 2e-6, lines[1]);
    QVERIFY(lines[2].contains(",26.500000,47.500000,1.817593,"));
    const QList<QByteArray> groups = lines_of(out + "/groups.csv");
    QCOMPARE(groups.size(), 3);
    QVERIFY(groups[1].startsWith("Kronos,2,"));
    QVERIFY(std::abs(groups[1].split(',')[2].toDouble() - (tc[0] + tc[1]) / 2) < 0.01);
    QVERIFY(groups[2].startsWith("Svevo,1,") && groups[2].endsWith(",,"));
    const QString html = QString::fromUtf8(read_file(out + "/report.html"));
    for (const char *part :
         {"<th scope=\"col\" data-sort>genotype</th>", "<h2>Groups by genotype",
          "Pair 4 (image 24): image 24 is not in the field book.",
          "<p class=\"note\">Field trial: image 24 is not in the field book.</p>",
          "<td data-v=\"\">–</td>"}) // on its card too; no CTD: sorted last
        QVERIFY2(html.contains(part), part);
    // The air of the three pairs in the log, joined: 10:05 to 10:20, no gap over 30 minutes.
    const QRegularExpression line("<polyline [^>]*points=\"([^\"]*)\"");
    QCOMPARE(html.count(line), 1);
    QCOMPARE(line.match(html).captured(1).trimmed().split(' ').size(), 3);
    // The coolest group first.
    const int svevo = int(html.indexOf("<tr><td>Svevo</td>")),
              kronos = int(html.indexOf("<tr><td>Kronos</td>"));
    QVERIFY(svevo > 0 && kronos > 0);
    QCOMPARE(svevo < kronos, tc[2] < (tc[0] + tc[1]) / 2);

    // The air set on the camera.
    const Finished c =
        batch({"-o", out + "-camera", "--air", "camera", dir + "/FLIR21.jpg",
               dir + "/FLIR21_RGB21.jpg", dir + "/FLIR24.jpg", dir + "/FLIR24_RGB24.jpg"});
    QCOMPARE(c.status, 0);
    const QList<QByteArray> camera = lines_of(out + "-camera/stats.csv")[1].split(',');
    // Stored as single-precision kelvin and a fraction of 1.
    QVERIFY(std::abs(camera[camera.size() - 4].toDouble() - 17.5) < 1e-4);
    QVERIFY(std::abs(camera[camera.size() - 3].toDouble() - 35) < 1e-4);
    QVERIFY(lines_of(out + "-camera/stats.csv")[2].endsWith(",,,,"));
    QVERIFY2(c.err.contains("): the radiometric image's air, 17.5 °C and 150 %, is not a "
                            "temperature from -60 to 70 °C and a humidity from 0 to 100 %."),
             qPrintable(c.err));
}

// A FLIR C2 in a growth chamber: 60 x 80 thermal pictures, photographs
// stored 640 x 480 with the orientation "turn 90° clockwise", the camera's
// alignment 17 px off at close range.
fixtures::CameraShot c2_shot(int k)
{
    fixtures::CameraShot shot;
    fixtures::FieldScene &s = shot.scene;
    s.kind = fixtures::FieldScene::Pots;
    s.photo = shot.kept = {480, 640};
    s.raw = {60, 80};
    s.field = cv::Rect(62 + 9 * k, 88 - 5 * k, 342, 456);
    s.field_of_view = 41;
    s.plant_celsius = 23.5;
    s.ground_celsius = 25;
    s.leaf_spread = 1.5;
    s.parallax = {10, 4};
    s.rotation = 0.4;
    shot.camera_error = {14, -10};
    shot.orientation = 6;
    return shot;
}

// A FLIR E-series in the field: 2048 x 1536 photographs, 640 x 480 kept
// inside; crop rows with weeds and objects, the lenses apart and turned.
fixtures::CameraShot e60_shot(int k)
{
    fixtures::CameraShot shot;
    fixtures::FieldScene &s = shot.scene;
    s.field = cv::Rect(470 + 60 * k, 360 + 30 * k, 1080, 810);
    s.weeds = s.objects = true;
    s.leaf_spread = 1.5;
    s.parallax = {5, 2};
    s.rotation = 0.6;
    shot.camera_error = {12, -8};
    return shot;
}

// A potted plant at 640 x 480 on a floor within 0.5 °C of its leaves, its
// thermal picture blurred and noisy, on which no field found is trusted.
fixtures::CameraShot floor_shot()
{
    fixtures::CameraShot potted = e60_shot(0);
    fixtures::FieldScene &p = potted.scene;
    p.kind = fixtures::FieldScene::Floor;
    p.photo = {640, 480};
    p.raw = {160, 120};
    p.field = {104, 66, 448, 336};
    p.field_of_view = 0;
    p.seed = 7; // 12 as the sixth shot
    p.plant_celsius = 35;
    p.ground_celsius = 35.5;
    p.hard_shadow = true;
    p.noise = 0.3;
    p.blur = 1.5;
    potted.kept = {320, 240};
    potted.camera_error = {9, 7};
    return potted;
}

void TestBatch::cameraFolder()
{
    // Files as two cameras wrote them and people named them: C2 pairs named
    // after the trial (their numbers collide), E-series IR_n with DC_n+1 half
    // a second later, one whose photograph is missing, one that keeps none, a
    // photograph of its own; and a potted plant on a floor (floor_shot).
    const fixtures::CameraShot potted = floor_shot();
    const std::vector<std::tuple<QString, QString, fixtures::CameraShot>> shots{
        {"11_27_controle_dia_termica_1", "11_27_controle_dia_visual_1", c2_shot(0)},
        {"13_27_estresse_noite_termica_1", "13_27_estresse_noite_visual_1", c2_shot(1)},
        {"IR_6007", "DC_6008", e60_shot(1)},
        {"IR_6009", "DC_6010", e60_shot(2)},
        {"IR_6011", "", e60_shot(3)},
        {"IR_6015", "DC_6016", potted}};
    const QString dir = tmp.filePath("camera"), out = tmp.filePath("camera-out");
    QDir().mkpath(dir);
    std::vector<fixtures::WrittenShot> written;
    for (int k = 0; k < int(shots.size()); ++k) {
        auto [ir, dc, shot] = shots[size_t(k)];
        shot.scene.seed += unsigned(k);
        shot.radiometric_time = QStringLiteral("2024:06:01 10:00:%1.70+02:00")
                                    .arg(3 * k, 2, 10, QChar('0'))
                                    .toStdString();
        shot.photograph_time = // half a second later, written without its fraction
            QStringLiteral("2024:06:01 10:00:%1").arg(3 * k + 1, 2, 10, QChar('0')).toStdString();
        shot.kept_turned = k == 1; // as the photograph beside it
        written.push_back(fixtures::write_camera_shot(
            (dir + "/" + ir + ".jpg").toStdString(),
            dc.isEmpty() ? "" : (dir + "/" + dc + ".jpg").toStdString(), shot));
    }
    fixtures::FlirFile plain; // keeping no photograph
    plain.counts = fixtures::plot_counts(80, 60);
    plain.date_time_original = "2024:06:01 10:00:30";
    QVERIFY(fixtures::write_flir_jpeg((dir + "/IR_6019.jpg").toStdString(), plain));
    QVERIFY(QFile::copy(dir + "/IR_6019.jpg", dir + "/IR_6041.jpg")); // cut short
    QVERIFY(QFile::resize(dir + "/IR_6041.jpg", QFileInfo(dir + "/IR_6019.jpg").size() / 2));
    // Its record in three segments, cut in the last, after a broken segment
    // that ExifTool warns of first; and whole in length without the last.
    plain.counts = fixtures::plot_counts(320, 240);
    QVERIFY(fixtures::write_flir_jpeg((dir + "/IR_6043.jpg").toStdString(), plain));
    const QByteArray whole = read_file(dir + "/IR_6043.jpg");
    const int last = whole.lastIndexOf(QByteArray("FLIR\0", 5)) - 4; // at its marker
    write_file(dir + "/IR_6043.jpg", QByteArray("\xFF\xD8\xFF\xE1\x00\x12"
                                                "Exif\0\0XXXXXXXXXX",
                                                22) +
                                         whole.mid(2, last + 100));
    write_file(
        dir + "/IR_6045.jpg",
        QByteArray(whole).remove(last, 2 + (uchar(whole[last + 2]) << 8 | uchar(whole[last + 3]))));
    QVERIFY(fixtures::write_bytes(
        (dir + "/DC_6030.jpg").toStdString(),
        fixtures::photo_jpeg(written[2].photograph, 1, "2024:06:01 10:00:40")));
    write_file(tmp.filePath("camera-book.csv"), "file,bench\n11_27_controle_dia_visual_1.jpg,A\n"
                                                "IR_6007.jpg,B\n");
    const QStringList search{"--names", "file", "--field", "auto", "--mask", "exgr"};
    const Finished f = batch(QStringList{"--pair", "time", "-o", out, "--plots",
                                         tmp.filePath("camera-book.csv"), "--report", dir} +
                             search);
    QCOMPARE(f.status, 1);
    for (const char *said :
         {"pair 5 (%1/IR_6011.jpg): the photographs taken within 2 s of its capture at "
          "2024:06:01 10:00:12.70+02:00 are paired with other radiometric images: the photograph "
          "it keeps inside is used.\n",
          "photograph in no pair: %1/DC_6030.jpg: no radiometric image was taken within 2 s of "
          "it.\n",
          "pair 7 skipped (%1/IR_6019.jpg):\n    It is in no pair: no photograph was taken within "
          "2 s of its capture at 2024:06:01 10:00:30, and it keeps no photograph inside.\n",
          " skipped (%1/IR_6041.jpg):\n    It is cut short: it ends inside the segments before "
          "its picture.\n",
          " skipped (%1/IR_6043.jpg):\n    It is cut short: it ends inside the segments before "
          "its picture.\n",
          " skipped (%1/IR_6045.jpg):\n    It is damaged: its FLIR record misses a part.\n"})
        QVERIFY2(f.err.contains(QString::fromUtf8(said).arg(dir)), qPrintable(f.err));
    QVERIFY(QFile::exists(out + "/1PartRGB/1PartRGB_13_27_estresse_noite_visual_1.jpg"));
    const QString html = QString::fromUtf8(read_file(out + "/report.html"));
    // The C2's radiometric images with the photographs they keep.
    QCOMPARE(batch(QStringList{"--photo", "embedded", "-o", out + "-kept"} + search +
                   QStringList{dir + "/11_27_controle_dia_termica_1.jpg",
                               dir + "/13_27_estresse_noite_termica_1.jpg"})
                 .status,
             0);
    for (int k = 0; k < int(shots.size()); ++k) {
        const auto &[ir, dc, shot] = shots[size_t(k)];
        const auto s = stats_of(out, k);
        QCOMPARE(s["radiometric image"], dir + "/" + ir + ".jpg");
        QCOMPARE(s["photograph"], dc.isEmpty() ? dc : dir + "/" + dc + ".jpg");
        QCOMPARE(s["bench"], QString(k == 0 ? "A" : k == 2 ? "B" : ""));
        QVERIFY(html.contains("<td data-v=\"" + (dc.isEmpty() ? ir : dc) + ".jpg\">"));
        const cv::Rect t = written[size_t(k)].field;
        const double in = dc.isEmpty() ? double(shot.kept.width) / shot.scene.photo.width : 1;
        QVERIFY(near_field(s, cv::Rect2d(t.x * in, t.y * in, t.width * in, t.height * in),
                           k == 5 ? 15 : 4, 0.015));
        QCOMPARE(s["registered"], QString(k == 5 ? "no" : "yes"));
        if (k > 1)
            continue;
        const auto e = stats_of(out + "-kept", k);
        QVERIFY(s["field shift"].toDouble() < 25); // searched from the camera's field
        QVERIFY(near_field(s, written[size_t(k)].camera, 20, 0.03));
        QVERIFY(near_field(s, field_of(e), 5, 0.015));
        QVERIFY2(std::abs(s["plant mean"].toDouble() - e["plant mean"].toDouble()) <= 0.1,
                 qPrintable(s["plant mean"] + " " + e["plant mean"]));
    }
    // In name order every DC_ comes before every IR_: each pair is said to be wrong.
    QStringList in_order;
    for (const char *name : {"DC_6008", "DC_6010", "DC_6016", "IR_6007", "IR_6009", "IR_6011"})
        in_order << dir + "/" + name + ".jpg";
    // The search too: no thermal picture is taken for the scene.
    const Finished ordered = batch(QStringList{"-o", out + "-order", "--field", "auto"} + in_order);
    for (const char *wrong : {"two photographs (neither holds raw thermal data)",
                              "a photograph, then a radiometric image", "two radiometric images"})
        QVERIFY2(ordered.err.contains(QStringLiteral("In the list's order this pair is %1; --pair "
                                                     "time pairs each radiometric image with the "
                                                     "photograph taken with it.\n")
                                          .arg(wrong)),
                 qPrintable(ordered.err));
    QVERIFY(
        ordered.err.contains("The photograph holds raw thermal data: it is a radiometric image. "
                             "In the list's order"));
}

void TestBatch::closeRange()
{
    // Radiometric images keeping their photographs, the camera's values a
    // twentieth of the field off, sideways and up, as at close range where
    // the two lenses see from places apart: seedlings in pots on a bench
    // under an E5's 120 x 90 thermal picture, a C2's pots, crop rows; and the
    // plant on a floor, on which no field found is trusted.
    fixtures::CameraShot bench = c2_shot(0);
    bench.scene.photo = bench.kept = {640, 480};
    bench.scene.raw = {120, 90};
    bench.scene.field = {80, 66, 480, 360};
    bench.orientation = 0;
    std::vector<fixtures::CameraShot> shots{bench, c2_shot(1), e60_shot(1), floor_shot()};
    const QString dir = tmp.filePath("close"), out = tmp.filePath("close-out");
    QDir().mkpath(dir);
    std::vector<fixtures::WrittenShot> written;
    for (size_t k = 0; k < shots.size(); ++k) {
        const int w = shots[k].scene.field.width / 20;
        shots[k].camera_error = {k % 2 ? -w : w, -w};
        written.push_back(fixtures::write_camera_shot(
            QStringLiteral("%1/IR_610%2.jpg").arg(dir).arg(k).toStdString(), "", shots[k]));
    }
    const Finished f = batch(
        {"--photo", "embedded", "--mask", "exgr", "--temperatures", "--report", "-o", out, dir});
    QCOMPARE(f.status, 0);
    QCOMPARE(batch({"--photo", "embedded", "--field", "camera", "-o", out + "-c", dir}).status, 0);
    const QString html = QString::fromUtf8(read_file(out + "/report.html"));
    for (size_t k = 0; k < shots.size(); ++k) {
        const auto s = stats_of(out, int(k)), c = stats_of(out + "-c", int(k));
        const cv::Rect a = written[k].kept, b = field_of(s), t = written[k].field;
        QCOMPARE(field_of(c), a); // exactly the camera's field, not searched
        QCOMPARE(c["field shift"], QString());
        const double in = double(shots[k].kept.width) / shots[k].scene.photo.width;
        const cv::Rect2d truth(t.x * in, t.y * in, t.width * in, t.height * in);
        const bool trusted = k < 3;
        QCOMPARE(s["registered"], QString(trusted ? "yes" : "no"));
        QVERIFY(trusted ? near_field(s, truth, 4, 0.015) : b == a);
        double shift = 0; // the most any corner moved
        for (const int right : {0, 1})
            for (const int down : {0, 1})
                shift = std::max(shift, std::hypot(a.x - b.x + right * (a.width - b.width),
                                                   a.y - b.y + down * (a.height - b.height)));
        QVERIFY(std::abs(s["field shift"].toDouble() - shift) < 0.06);
        QVERIFY(html.contains(
            (trusted ? QStringLiteral("moved %1 px from").arg(std::lround(shift)) : "kept") +
            " the camera's alignment"));
        const double on_truth = exgr_mean(
            written[k].inside,
            QStringLiteral("%1/4Temperature/4Temperature_610%2.csv").arg(out).arg(k), truth);
        QVERIFY(!trusted || std::abs(s["plant mean"].toDouble() - on_truth) <= 0.4);
    }
    QVERIFY(f.err.contains("pair 4 (" + dir + "/IR_6103.jpg): field not registered: "));
}

int main(int argc, char **argv)
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    TestBatch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_batch.moc"
