// The batch command against the window on the same inputs, its workers, its
// exit statuses and messages, and the persistent ExifTool it uses.

#include "dialog.h"
#include "exiftool.h"
#include "flirfixture.h"
#include "guitest.h"
#include "run.h"
#include "stayopen.h"
#include "testutil.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

using guitest::child;

namespace
{

struct Outcome {
    int status = -1;
    QString err;
};

Outcome batch(const QStringList &arguments,
              const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ARDENTIS_BATCH), arguments);
    p.waitForFinished(-1);
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError())};
}

// Every file below `dir` with a digest of its content.
QMap<QString, QByteArray> tree(const QString &dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        files[QDir(dir).relativeFilePath(path)] =
            QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }
    return files;
}

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void sameAsWindow_data();
    void sameAsWindow();
    void parallelSameAsSequential();
    void sameFileNumber();
    void inputChecks_data();
    void inputChecks();
    void commandLine_data();
    void commandLine();
    void missingFile();
    void brokenExifTool();

    void stayOpenAnswersAsFreshStarts();
    void streamable_data();
    void streamable();

private:
    void write_pair(const QString &dir, int n, unsigned seed, int photo_width = 1467);
    QTemporaryDir tmp;
    QString pairs; // a folder of pairs, one of them unusable
    QString old_cwd;
};

void TestBatch::write_pair(const QString &dir, int n, unsigned seed, int photo_width)
{
    const QString number = QString::number(n);
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(32, 24, 19000 + 50 * int(seed), seed);
    file.emissivity = 0.93f + 0.01f * float(seed % 3);
    QVERIFY(fixtures::write_flir_jpeg((dir + "/FLIR" + number + ".jpg").toStdString(), file));
    QVERIFY(fixtures::write_jpeg((dir + "/FLIR" + number + "_RGB" + number + ".jpg").toStdString(),
                                 fixtures::plot_photograph(photo_width, 1144, 32, 24, seed)));
}

void TestBatch::initTestCase()
{
    QVERIFY(tmp.isValid());
    pairs = tmp.filePath("pairs");
    QDir().mkpath(pairs);
    write_pair(pairs, 11, 1);
    write_pair(pairs, 12, 2);
    write_pair(pairs, 13, 3, 1400); // photograph too small: skipped
    write_pair(pairs, 14, 4);
    write_pair(pairs, 15, 5);
    old_cwd = QDir::currentPath();
    QDir::setCurrent(tmp.path());
}

void TestBatch::cleanupTestCase()
{
    QDir::setCurrent(old_cwd);
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
    static int run = 0;
    ++run;
    const QString window_out = tmp.filePath(QStringLiteral("window%1").arg(run));
    const QString batch_out = tmp.filePath(QStringLiteral("batch%1").arg(run));
    QDir().mkpath(window_out);
    const QString table_path = tmp.filePath(QStringLiteral("table%1.csv").arg(run));
    if (!table.isEmpty()) {
        QFile f(table_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(table);
    }

    Dialog window;
    window.show();
    guitest::answer_question("Directories");
    guitest::answer_file_dialog(pairs, {});
    QTest::mouseClick(child<QPushButton>(&window, "pb_addimage"), Qt::LeftButton);
    guitest::answer_file_dialog(window_out, {});
    QTest::mouseClick(child<QPushButton>(&window, "pb_saveresults"), Qt::LeftButton);
    if (!table.isEmpty()) {
        guitest::answer_file_dialog(tmp.path(), {QFileInfo(table_path).fileName()});
        QTest::mouseClick(child<QPushButton>(&window, "pb_addimage_2"), Qt::LeftButton);
    }
    guitest::MessageBoxRecorder boxes;
    QTest::mouseClick(child<QPushButton>(&window, "pb_generate"), Qt::LeftButton);
    QTest::qWait(30);
    QCOMPARE(boxes.boxes.size(), 1); // the skipped pair

    QStringList arguments{"--output", batch_out, pairs};
    if (!table.isEmpty())
        arguments << "--table" << table_path;
    const Outcome b = batch(arguments);
    QCOMPARE(b.status, 1);
    QVERIFY2(b.err.contains(boxes.boxes[0].text), qPrintable(b.err));

    const auto w = tree(window_out), c = tree(batch_out);
    QCOMPARE(c.keys(), w.keys());
    QCOMPARE(c, w);
    QVERIFY(w.contains("result.csv"));
    QVERIFY(w.contains("3tempmask/3tempmask_15.csv"));
    QCOMPARE(read_file(batch_out + "/result.csv").count('\n'), table.startsWith("12,") ? 4 : 5);
}

void TestBatch::parallelSameAsSequential()
{
    const Outcome one = batch({"--jobs", "1", "--output", tmp.filePath("seq"), pairs});
    const Outcome three = batch({"-j", "3", "-o", tmp.filePath("par"), pairs});
    QCOMPARE(one.status, 1);
    QCOMPARE(three.status, 1);
    QCOMPARE(tree(tmp.filePath("par")), tree(tmp.filePath("seq")));
}

void TestBatch::sameFileNumber()
{
    // Pairs 1 and 3 both write the files of number 21; the later wins.
    const QString dir = tmp.filePath("same");
    QDir().mkpath(dir);
    write_pair(dir, 21, 6);
    write_pair(dir, 22, 7);
    write_pair(dir, 31, 8);
    const QStringList list{dir + "/FLIR21.jpg", dir + "/FLIR21_RGB21.jpg",
                           dir + "/FLIR22.jpg", dir + "/FLIR22_RGB22.jpg",
                           dir + "/FLIR31.jpg", dir + "/FLIR31_RGB21.jpg"};
    QFile::copy(dir + "/FLIR31_RGB31.jpg", dir + "/FLIR31_RGB21.jpg");
    const Outcome par = batch(QStringList{"-j", "2", "-o", tmp.filePath("same-par")} + list);
    const Outcome seq = batch(QStringList{"-j", "1", "-o", tmp.filePath("same-seq")} + list);
    QCOMPARE(par.status, 0);
    QCOMPARE(tree(tmp.filePath("same-par")), tree(tmp.filePath("same-seq")));
    const Outcome last =
        batch({"-o", tmp.filePath("same-last"), dir + "/FLIR31.jpg", dir + "/FLIR31_RGB21.jpg"});
    QCOMPARE(last.status, 0);
    QCOMPARE(read_file(tmp.filePath("same-par/3tempmask/3tempmask_21.csv")),
             read_file(tmp.filePath("same-last/3tempmask/3tempmask_21.csv")));
    QCOMPARE(read_file(tmp.filePath("same-par/result.csv")).count("21.000000,"), 2);
}

void TestBatch::inputChecks_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("text");
    const QString one = tmp.filePath("pairs/FLIR11.jpg");
    QTest::newRow("no output folder")
        << QStringList{one, one, one} << QString(ardentis::no_output_dir_text);
    QTest::newRow("no image") << QStringList{"-o", tmp.filePath("chk")}
                              << QString(ardentis::too_few_images_text);
    QTest::newRow("one image") << QStringList{"-o", tmp.filePath("chk"), one}
                               << QString(ardentis::too_few_images_text);
    QTest::newRow("three images") << QStringList{"-o", tmp.filePath("chk"), one, one, one}
                                  << QString(ardentis::odd_images_text);
    QTest::newRow("empty folder") << QStringList{"-o", tmp.filePath("chk"), tmp.filePath("chk")}
                                  << QString(ardentis::too_few_images_text);
}

void TestBatch::inputChecks()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, text);
    const Outcome o = batch(arguments);
    QCOMPARE(o.status, 2);
    QCOMPARE(o.err, text + "\n");
    QVERIFY(!QFile::exists(tmp.filePath("chk/result.csv")));
}

void TestBatch::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");
    QTest::newRow("bad option") << QStringList{"--frobnicate"} << 2
                                << "Unknown option 'frobnicate'";
    QTest::newRow("jobs zero") << QStringList{"-j", "0", "-o", "x", "a", "b"} << 2
                               << "--jobs takes a whole number";
    QTest::newRow("jobs word") << QStringList{"--jobs", "many"} << 2
                               << "--jobs takes a whole number";
    QTest::newRow("missing option value")
        << QStringList{"--output"} << 2 << "Missing value after '--output'";
    QTest::newRow("unreadable table")
        << QStringList{"-o", "x", "--table", "/nonexistent.csv", "a", "b"} << 2
        << "cannot read the table '/nonexistent.csv'";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "";
}

void TestBatch::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, err);
    QProcess p;
    p.start(QStringLiteral(ARDENTIS_BATCH), arguments);
    p.waitForFinished(-1);
    QCOMPARE(p.exitCode(), status);
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString error = QString::fromLocal8Bit(p.readAllStandardError());
    if (status == 2)
        QVERIFY2(error.contains(err) && error.contains("--help"), qPrintable(error));
    if (arguments.first() == "--help")
        QVERIFY(out.contains("--output <DIR>") && out.contains("--jobs <N>") &&
                out.contains("Exit status"));
    if (arguments.first() == "--version")
        QCOMPARE(out, QStringLiteral("ardentis-batch 1.3\n"));
}

void TestBatch::missingFile()
{
    const Outcome o =
        batch({"-o", tmp.filePath("missing"), pairs + "/FLIR11.jpg", pairs + "/FLIR11_RGB11.jpg",
               pairs + "/nothere.jpg", pairs + "/FLIR12_RGB12.jpg"});
    QCOMPARE(o.status, 1);
    QVERIFY2(o.err.contains("Pair 2: " + pairs + "/nothere.jpg, " + pairs +
                            "/FLIR12_RGB12.jpg\n    The radiometric image does not exist."),
             qPrintable(o.err));
    QVERIFY2(o.err.contains("1 of 2 pairs processed, 1 skipped"), qPrintable(o.err));
    QCOMPARE(read_file(tmp.filePath("missing/result.csv")).count('\n'), 2);
}

void TestBatch::brokenExifTool()
{
    QTemporaryDir fake;
    QFile script(fake.filePath("exiftool"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho 'Error: broken installation' >&2\nexit 1\n");
    script.close();
    script.setPermissions(QFile::ExeOwner | QFile::ReadOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", fake.path() + ":" + env.value("PATH"));
    const Outcome o = batch(
        {"-o", tmp.filePath("broken"), pairs + "/FLIR11.jpg", pairs + "/FLIR11_RGB11.jpg"}, env);
    QCOMPARE(o.status, 1);
    QVERIFY2(o.err.contains("No temperatures could be read"), qPrintable(o.err));

    env.insert("PATH", fake.path()); // no exiftool at all
    QFile::remove(fake.filePath("exiftool"));
    const Outcome none = batch(
        {"-o", tmp.filePath("broken"), pairs + "/FLIR11.jpg", pairs + "/FLIR11_RGB11.jpg"}, env);
    QCOMPARE(none.status, 1);
    QVERIFY2(none.err.contains("ExifTool missing"), qPrintable(none.err));
}

void TestBatch::stayOpenAnswersAsFreshStarts()
{
    const QString spaced = tmp.filePath(" lead space");
    QDir().mkpath(spaced);
    QStringList files;
    for (fixtures::RawForm form : {fixtures::RawForm::LittleEndian, fixtures::RawForm::PngCamera,
                                   fixtures::RawForm::JpegLs}) {
        fixtures::FlirFile file;
        file.counts = fixtures::plot_counts(64, 48, 18000, unsigned(form) + 1);
        file.form = form;
        files << tmp.filePath(QStringLiteral("form%1.jpg").arg(int(form)));
        QVERIFY(fixtures::write_flir_jpeg(files.last().toStdString(), file));
    }
    QFile::copy(files.first(), spaced + "/a b.jpg");
    files << spaced + "/a b.jpg" << QStringLiteral(" leading.jpg") << tmp.filePath("nothere.jpg");
    QFile::copy(files.first(), " leading.jpg");

    ardentis::StayOpenExifTool open;
    ardentis::ProcessExifTool fresh;
    for (const QString &file : files) {
        for (const QStringList &args :
             {QStringList{"-b", "-FlirImage", "-RawThermalImage", "--warning", file},
              QStringList{"-DateTimeOriginal", file},
              QStringList{"-b", "-PlanckR2", "--warning", file},
              QStringList{"-b", "-ReflectedApparentTemperature", "--warning", file}}) {
            const QByteArray a = open.output(args), b = fresh.output(args);
            QVERIFY2(a == b, qPrintable(args.join(' ')));
        }
    }
    QVERIFY(
        open.output({"-b", "-FlirImage", "-RawThermalImage", "--warning", files.first()}).size() >
        6000);
}

void TestBatch::streamable_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("ok");
    QTest::newRow("path") << "/data/IR 0001.jpg" << true;
    QTest::newRow("option") << "-DateTimeOriginal" << true;
    QTest::newRow("trailing space") << "/data/a.jpg " << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("comment") << "#1.jpg" << false;
    QTest::newRow("leading space") << " a.jpg" << false;
    QTest::newRow("line feed") << "a\nb.jpg" << false;
    QTest::newRow("carriage return") << "a.jpg\r" << false;
}

void TestBatch::streamable()
{
    QFETCH(QString, argument);
    QFETCH(bool, ok);
    QCOMPARE(ardentis::StayOpenExifTool::streamable(argument), ok);
}

int main(int argc, char **argv)
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    TestBatch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_batch.moc"
