// The generation run through the real window: real exiftool on radiometric
// fixtures, synthetic photographs, the real dialogs and message boxes.

#include "dialog.h"
#include "flirfixture.h"
#include "guitest.h"
#include "run.h"
#include "testutil.h"

#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

using guitest::child;
using guitest::MessageBoxRecorder;

namespace
{

// Raw 29 × 20 so that the field (870 × 640) scales by whole factors: the
// photograph's first 450 field columns are plant, which makes the first 15
// raw columns plant and the rest soil.
constexpr int raw_width = 29, raw_height = 20, plant_columns = 15;

double temperature(double count, const fixtures::FlirFile &f, double e, double tr)
{
    return expected_temperature(count, f.r1, f.r2, f.b, f.o, f.f, e, tr);
}

struct Pair {
    QString ir, vis;
    fixtures::FlirFile file;
    // The mean plant temperature with the given emissivity and reflected temperature.
    double mean(double e, double tr) const
    {
        double sum = 0;
        int n = 0;
        for (int r = 0; r < raw_height; ++r)
            for (int c = 0; c < plant_columns; ++c, ++n)
                sum += temperature(file.counts.at<std::uint16_t>(r, c), file, e, tr);
        return sum / n;
    }
    double own_mean() const
    {
        return mean(double(file.emissivity), fixtures::reported_t_refl(file));
    }
};

QList<QByteArray> result_lines(const QString &dir)
{
    QList<QByteArray> lines = read_file(dir + "/result.csv").split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

double mean_of(const QByteArray &line)
{
    return line.split(',').value(2).toDouble();
}

} // namespace

class TestGeneration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void inputChecks_data();
    void inputChecks();
    void resultFileCannotBeCreated();
    void onePair();
    void fivePairsProgress();
    void noDigitGivesZero();
    void sameNumberTwice();
    void tableHitSetsFollowingPairs();
    void firstPairNotInTable();
    void pressingTwice();
    void skippedPairs();

    void imageNumber_data();
    void imageNumber();
    void progressValues_data();
    void progressValues();

private:
    Pair make_pair(const QString &ir, const QString &vis, unsigned seed,
                   fixtures::RawForm form = fixtures::RawForm::LittleEndian);
    void add_files(const QStringList &paths);
    void choose_output(const QString &dir);
    void load_table(const QString &path);
    // Runs three pairs numbered from `first_number` with a table.
    QList<Pair> run_three_with_table(const char *prefix, int first_number,
                                     const QByteArray &table_text);
    QList<MessageBoxRecorder::Box> generate();
    QStringList outputs() const;

    QTemporaryDir tmp;
    QString in, out;
    std::unique_ptr<Dialog> window;
    QString old_cwd;
};

void TestGeneration::initTestCase()
{
    QVERIFY(tmp.isValid());
    in = tmp.filePath("in");
    QDir().mkpath(in);
    old_cwd = QDir::currentPath();
    QDir::setCurrent(tmp.path()); // the window's working file goes here
}

void TestGeneration::init()
{
    static int n = 0;
    out = tmp.filePath(QStringLiteral("out%1").arg(++n));
    QDir().mkpath(out);
    window = std::make_unique<Dialog>();
    window->show();
}

void TestGeneration::cleanup()
{
    window.reset();
}

Pair TestGeneration::make_pair(const QString &ir, const QString &vis, unsigned seed,
                               fixtures::RawForm form)
{
    Pair p{in + "/" + ir, in + "/" + vis, {}};
    p.file.counts = fixtures::plot_counts(raw_width, raw_height, 16500 + 40 * int(seed), seed);
    p.file.form = form;
    p.file.emissivity = 0.9f + 0.01f * float(seed % 5);
    p.file.t_refl_celsius = 15.0f + float(seed);
    p.file.date_time_original =
        "2014:03:12 10:15:" + QByteArray::number(10 + seed % 50).toStdString();
    if (!fixtures::write_flir_jpeg(p.ir.toStdString(), p.file) ||
        !fixtures::write_jpeg(p.vis.toStdString(), fixtures::field_photograph(1467, 1144, 450)))
        qFatal("cannot write the fixtures");
    return p;
}

void TestGeneration::add_files(const QStringList &paths)
{
    for (const QString &path : paths) {
        guitest::answer_question("Files");
        guitest::answer_file_dialog(QFileInfo(path).path(), {QFileInfo(path).fileName()});
        QTest::mouseClick(child<QPushButton>(window.get(), "pb_addimage"), Qt::LeftButton);
    }
}

void TestGeneration::choose_output(const QString &dir)
{
    guitest::answer_file_dialog(dir, {});
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_saveresults"), Qt::LeftButton);
}

void TestGeneration::load_table(const QString &path)
{
    guitest::answer_file_dialog(QFileInfo(path).path(), {QFileInfo(path).fileName()});
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_addimage_2"), Qt::LeftButton);
}

QList<MessageBoxRecorder::Box> TestGeneration::generate()
{
    MessageBoxRecorder recorder;
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_generate"), Qt::LeftButton);
    QTest::qWait(30); // let the recorder see a box opened at the very end
    return recorder.boxes;
}

QStringList TestGeneration::outputs() const
{
    return static_cast<QStringListModel *>(child<QListView>(window.get(), "lst_outfiles")->model())
        ->stringList();
}

void TestGeneration::inputChecks_data()
{
    QTest::addColumn<bool>("withOutput");
    QTest::addColumn<int>("images");
    QTest::addColumn<QString>("text");
    const QString no_dir = ardentis::no_output_dir_text;
    QTest::newRow("no folder, odd images") << false << 3 << no_dir;
    QTest::newRow("no folder, no image") << false << 0 << no_dir;
    QTest::newRow("no image") << true << 0 << QString(ardentis::too_few_images_text);
    QTest::newRow("one image") << true << 1 << QString(ardentis::too_few_images_text);
    QTest::newRow("three images") << true << 3 << QString(ardentis::odd_images_text);
}

void TestGeneration::inputChecks()
{
    QFETCH(bool, withOutput);
    QFETCH(int, images);
    QFETCH(QString, text);
    const Pair p = make_pair("chk_ir.jpg", "chk_vis1.jpg", 1);
    if (withOutput)
        choose_output(out);
    QStringList files;
    for (int i = 0; i < images; ++i)
        files << (i % 2 ? p.vis : p.ir);
    add_files(files);
    const auto boxes = generate();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Warning"));
    QCOMPARE(boxes[0].text, text);
    QCOMPARE(boxes[0].icon, int(QMessageBox::Warning));
    QCOMPARE(boxes[0].buttons, 1);
    QVERIFY(!QFile::exists(out + "/result.csv"));
    QVERIFY(!QDir(out + "/0Aligned").exists());
}

void TestGeneration::resultFileCannotBeCreated()
{
    const Pair p = make_pair("rf_ir.jpg", "rf_vis1.jpg", 1);
    QDir(out).mkdir("result.csv"); // a folder where the file should go
    choose_output(out);
    add_files({p.ir, p.vis});
    const auto boxes = generate();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QString(ardentis::result_file_text));
    QCOMPARE(boxes[0].title, QStringLiteral("Warning"));
    QCOMPARE(boxes[0].icon, int(QMessageBox::Critical));
    QVERIFY(!QDir(out + "/0Aligned").exists());
}

void TestGeneration::onePair()
{
    const Pair p = make_pair("one_ir.jpg", "IMG0123.jpg", 3);
    choose_output(out);
    add_files({p.ir, p.vis});
    QSignalSpy progress(child<QProgressBar>(window.get(), "pbar_status"),
                        &QProgressBar::valueChanged);
    QVERIFY(generate().isEmpty());
    QCOMPARE(progress.size(), 1);
    QCOMPARE(progress[0][0].toInt(), 100);

    const auto lines = result_lines(out);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QByteArray("Image number, Time, Average Temp"));
    QVERIFY2(lines[1].startsWith("123.000000,10:15:13,"), lines[1]);
    QVERIFY2(qAbs(mean_of(lines[1]) - p.own_mean()) < 2e-6, lines[1]);

    // The per-pixel table: plant columns carry their temperature, soil 0.
    const QList<QByteArray> rows = read_file(out + "/3tempmask/3tempmask_123.csv").split('\n');
    QCOMPARE(rows.size(), raw_height + 1);
    const QList<QByteArray> values = rows[4].split(',');
    QCOMPARE(values.size(), raw_width + 1);
    const double e = double(p.file.emissivity), tr = fixtures::reported_t_refl(p.file);
    QVERIFY(qAbs(values[3].toDouble() -
                 temperature(p.file.counts.at<std::uint16_t>(4, 3), p.file, e, tr)) < 1e-6);
    QCOMPARE(values[20], QByteArray("0.000000"));

    QCOMPARE(outputs(),
             (QStringList{out + "/0Aligned/0Aligned_123.jpg", out + "/1PartRGB/1PartRGB_123.jpg",
                          out + "/2Mascara/2Mascara1_123.jpg"}));
    QVERIFY(QFile::exists(tmp.filePath("test.tiff")));
}

void TestGeneration::fivePairsProgress()
{
    QStringList files;
    QList<Pair> pairs;
    for (int i = 0; i < 5; ++i) {
        pairs << make_pair(QStringLiteral("five_ir%1.jpg").arg(i),
                           QStringLiteral("five_%1.jpg").arg(i + 8), i);
        files << pairs.last().ir << pairs.last().vis;
    }
    choose_output(out);
    add_files(files);
    QSignalSpy progress(child<QProgressBar>(window.get(), "pbar_status"),
                        &QProgressBar::valueChanged);
    QVERIFY(generate().isEmpty());
    QList<int> values;
    for (const auto &args : progress)
        values << args[0].toInt();
    QCOMPARE(values, (QList<int>{25, 50, 75, 100})); // the first pair shows 0, as at start
    const auto lines = result_lines(out);
    QCOMPARE(lines.size(), 6);
    for (int i = 0; i < 5; ++i) {
        QVERIFY(lines[i + 1].startsWith(QByteArray::number(i + 8) + ".000000,"));
        QVERIFY(qAbs(mean_of(lines[i + 1]) - pairs[i].own_mean()) < 2e-6);
    }
    // Name order ignoring case: 10, 11, 12 before 8 and 9.
    QCOMPARE(outputs().first(), out + "/0Aligned/0Aligned_10.jpg");
    QCOMPARE(outputs().size(), 15);
}

void TestGeneration::noDigitGivesZero()
{
    const Pair p = make_pair("nd_ir.jpg", "visible.jpg", 2);
    choose_output(out);
    add_files({p.ir, p.vis});
    QVERIFY(generate().isEmpty());
    QVERIFY(result_lines(out).value(1).startsWith("0.000000,"));
    QVERIFY(QFile::exists(out + "/0Aligned/0Aligned_0.jpg"));
    QVERIFY(QFile::exists(out + "/3tempmask/3tempmask_0.csv"));
}

void TestGeneration::sameNumberTwice()
{
    const Pair a = make_pair("same_ir_a.jpg", "a_5.jpg", 1);
    const Pair b = make_pair("same_ir_b.jpg", "b_5.jpg", 4);
    choose_output(out);
    add_files({a.ir, a.vis, b.ir, b.vis});
    QVERIFY(generate().isEmpty());
    const auto lines = result_lines(out);
    QCOMPARE(lines.size(), 3);
    QVERIFY(qAbs(mean_of(lines[1]) - a.own_mean()) < 2e-6);
    QVERIFY(qAbs(mean_of(lines[2]) - b.own_mean()) < 2e-6);
    // The later pair's table replaced the earlier one.
    const double first =
        read_file(out + "/3tempmask/3tempmask_5.csv").split(',').first().toDouble();
    QVERIFY(qAbs(first - temperature(b.file.counts.at<std::uint16_t>(0, 0), b.file,
                                     double(b.file.emissivity),
                                     fixtures::reported_t_refl(b.file))) < 1e-6);
}

QList<Pair> TestGeneration::run_three_with_table(const char *prefix, int first_number,
                                                 const QByteArray &table_text)
{
    QList<Pair> pairs;
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        pairs << make_pair(QStringLiteral("%1_ir%2.jpg").arg(prefix).arg(i),
                           QStringLiteral("%1_%2.jpg").arg(prefix).arg(first_number + i),
                           unsigned(i + 1));
        files << pairs.last().ir << pairs.last().vis;
    }
    QFile table(tmp.filePath(QStringLiteral("%1.csv").arg(prefix)));
    if (!table.open(QIODevice::WriteOnly))
        qFatal("cannot write the table");
    table.write(table_text);
    table.close();
    choose_output(out);
    load_table(table.fileName());
    add_files(files);
    if (!generate().isEmpty())
        qWarning("unexpected message box");
    return pairs;
}

void TestGeneration::tableHitSetsFollowingPairs()
{
    const QList<Pair> p = run_three_with_table("t", 101, "101,0.8,12.5\n");
    const Pair &p2 = p[1], &p3 = p[2];
    const auto lines = result_lines(out);
    QCOMPARE(lines.size(), 3); // pair 1 only set the values
    QVERIFY(lines[1].startsWith("102.000000,"));
    QVERIFY(qAbs(mean_of(lines[1]) - p2.mean(0.8, 12.5)) < 2e-6);
    QVERIFY(qAbs(mean_of(lines[2]) - p3.mean(0.8, 12.5)) < 2e-6);
    QVERIFY(!QFile::exists(out + "/0Aligned/0Aligned_101.jpg"));
}

void TestGeneration::firstPairNotInTable()
{
    const QList<Pair> p = run_three_with_table("f", 7, "8,0.85,10\n");
    const Pair &p1 = p[0], &p3 = p[2];
    const auto lines = result_lines(out);
    QCOMPARE(lines.size(), 3);
    // Before any row is found a pair keeps its own values (finite temperatures).
    QVERIFY(std::isfinite(mean_of(lines[1])));
    QVERIFY(qAbs(mean_of(lines[1]) - p1.own_mean()) < 2e-6);
    QVERIFY(qAbs(mean_of(lines[2]) - p3.mean(0.85, 10)) < 2e-6);
}

void TestGeneration::pressingTwice()
{
    const Pair p = make_pair("tw_ir.jpg", "tw_4.jpg", 5);
    choose_output(out);
    add_files({p.ir, p.vis});
    QVERIFY(generate().isEmpty());
    QFile::remove(out + "/1PartRGB/1PartRGB_4.jpg");
    QVERIFY(generate().isEmpty());
    QVERIFY(QFile::exists(out + "/1PartRGB/1PartRGB_4.jpg"));
    QCOMPARE(result_lines(out).size(), 2);
    QCOMPARE(outputs().size(), 6);
    QCOMPARE(outputs().mid(0, 3), outputs().mid(3, 3));
}

void TestGeneration::skippedPairs()
{
    const Pair good = make_pair("s_ir1.jpg", "s_1.jpg", 1);
    const Pair noraw = make_pair("s_ir2.jpg", "s_2.jpg", 2, fixtures::RawForm::None);
    QVERIFY(fixtures::write_jpeg((in + "/s_3.jpg").toStdString(),
                                 fixtures::field_photograph(1400, 1144, 400)));
    QFile broken(in + "/s_ir4.jpg");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    choose_output(out);
    add_files({noraw.ir, noraw.vis, good.ir, in + "/s_3.jpg", broken.fileName(), good.vis, good.ir,
               good.vis});
    const auto boxes = generate();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Warning"));
    QCOMPARE(boxes[0].buttons, 1);
    const QString text = boxes[0].text;
    QVERIFY2(text.startsWith("3 of 4 image pairs could not be processed"), qPrintable(text));
    QVERIFY2(text.contains("Pair 1: " + noraw.ir + ", " + noraw.vis + "\n    No temperatures"),
             qPrintable(text));
    QVERIFY2(text.contains("Pair 2: " + good.ir + ", " + in +
                           "/s_3.jpg\n    The photograph is 1400 x 1144"),
             qPrintable(text));
    QVERIFY2(text.contains("Pair 3: " + broken.fileName() + ", " + good.vis +
                           "\n    The radiometric image cannot be decoded."),
             qPrintable(text));
    const auto lines = result_lines(out);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[1].startsWith("1.000000,"));
    QVERIFY(!QFile::exists(out + "/0Aligned/0Aligned_2.jpg"));
    QVERIFY(!QFile::exists(out + "/3tempmask/3tempmask_3.csv"));
}

void TestGeneration::imageNumber_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<double>("number");
    QTest::addColumn<QByteArray>("diagnostics");
    QTest::newRow("IMG0123") << "D:/img/IMG0123.jpg" << 123.0
                             << QByteArray("Foundnumnum, index13, val=3\nnumnum, index12, val=2\n"
                                           "numnum, index11, val=1\nnumnum, index10, val=0\n");
    QTest::newRow("last run only") << "D:/run/a12b34.jpg" << 34.0 << QByteArray();
    QTest::newRow("runs before each full stop") << "D:/set2.5/img7.jpg" << 27.0 << QByteArray();
    QTest::newRow("no digit") << "D:/img/visible.jpg" << 0.0 << QByteArray();
    QTest::newRow("no full stop") << "D:/img/IMG0123" << 0.0 << QByteArray();
    QTest::newRow("empty") << "" << 0.0 << QByteArray();
    QTest::newRow("non-ASCII name")
        << QString::fromUtf8("/d/\xC3\xA9t\xC3\xA9_42.jpg") << 42.0 << QByteArray();
}

void TestGeneration::imageNumber()
{
    QFETCH(QString, path);
    QFETCH(double, number);
    QFETCH(QByteArray, diagnostics);
    std::FILE *out = std::tmpfile();
    QCOMPARE(ardentis::parse_image_number(path, out), number);
    if (!diagnostics.isEmpty()) {
        std::rewind(out);
        char buffer[512] = {};
        const size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
        QCOMPARE(QByteArray(buffer, int(n)), diagnostics);
    }
    std::fclose(out);
}

void TestGeneration::progressValues_data()
{
    QTest::addColumn<int>("pairs");
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("one") << 1 << QList<int>{100};
    QTest::newRow("three") << 3 << QList<int>{0, 50, 100};
    QTest::newRow("four") << 4 << QList<int>{0, 33, 66, 100};
    QTest::newRow("five") << 5 << QList<int>{0, 25, 50, 75, 100};
}

void TestGeneration::progressValues()
{
    QFETCH(int, pairs);
    QFETCH(QList<int>, values);
    QList<int> actual;
    for (int k = 0; k < pairs; ++k)
        actual << ardentis::progress_value(k, pairs);
    QCOMPARE(actual, values);
}

int main(int argc, char **argv)
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    TestGeneration test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_generation.moc"
