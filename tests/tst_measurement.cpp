// Temperatures from radiometric JPEGs: the ExifTool queries (real exiftool on
// files the fixture writer makes, and a fake one for the failure modes), the
// raw image decoding and the conversion.

#include "dialog.h"
#include "exiftool.h"
#include "flirfixture.h"
#include "rawimage.h"
#include "temperature.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <cmath>

using namespace ardentis;
using fixtures::RawForm;

Q_DECLARE_METATYPE(fixtures::RawForm)

namespace
{

// Puts a fake "exiftool" first on PATH for as long as it lives; the script
// prints `output` (printf format) whatever it is asked.
class FakeExifTool
{
public:
    explicit FakeExifTool(const QByteArray &printf_output, bool install = true)
        : old_path_(qgetenv("PATH"))
    {
        if (install) {
            QFile script(dir_.filePath(exiftool_program()));
            script.open(QIODevice::WriteOnly);
            script.write("#!/bin/sh\n"
                         "printf '" +
                         printf_output +
                         "'\n"
                         "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                         dir_.filePath("args").toUtf8() + "'; done\n");
            script.close();
            script.setPermissions(QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
        }
        qputenv("PATH", dir_.path().toUtf8() + (install ? ":" + old_path_ : QByteArray()));
    }
    ~FakeExifTool() { qputenv("PATH", old_path_); }
    QStringList arguments() const
    {
        QFile f(dir_.filePath("args"));
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir dir_;
    QByteArray old_path_;
};

} // namespace

class TestMeasurement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void workedNumbers_data();
    void workedNumbers();
    void inversion_data();
    void inversion();
    void rowMajor();
    void notCounts_data();
    void notCounts();

    void pngByteOrder_data();
    void pngByteOrder();

    void realFiles_data();
    void realFiles();
    void givenEmissivityAndReflection();
    void twoImagesOfDifferentSizes();
    void noRawData();
    void captureTime();
    void pathWithSpaces();
    void windowSlots();

    void valueOutputs_data();
    void valueOutputs();
    void captureOutputs_data();
    void captureOutputs();
    void missingTool();
    void decimalCommaLocale();

private:
    QTemporaryDir tmp;
};

void TestMeasurement::initTestCase()
{
    QVERIFY(tmp.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(exiftool_program()).isEmpty(), "exiftool is needed");
}

void TestMeasurement::workedNumbers_data()
{
    QTest::addColumn<double>("emissivity");
    QTest::addColumn<double>("temperature");
    QTest::newRow("E = 1") << 1.0 << 21.42;
    QTest::newRow("E = 0.5") << 0.5 << 22.83;
}

void TestMeasurement::workedNumbers()
{
    QFETCH(double, emissivity);
    QFETCH(double, temperature);
    const PlanckConstants k{10, 0.01, 600, 0, 1};
    QVERIFY(qAbs(reflected_signal(k, 20) - 148.31) < 0.005);
    const cv::Mat raw(1, 1, CV_16UC1, cv::Scalar(150));
    const cv::Mat t = temperatures_from_raw(raw, k, emissivity, 20);
    QCOMPARE(t.type(), CV_64FC1);
    QVERIFY2(qAbs(t.at<double>(0, 0) - temperature) < 0.005,
             qPrintable(QString::number(t.at<double>(0, 0))));
}

void TestMeasurement::inversion_data()
{
    QTest::addColumn<double>("emissivity");
    QTest::addColumn<double>("t_refl");
    QTest::newRow("E 1, 20 C") << 1.0 << 20.0;
    QTest::newRow("E 0.5, 20 C") << 0.5 << 20.0;
    QTest::newRow("E 0.95, -5 C") << 0.95 << -5.0;
    QTest::newRow("E 0.3, 35 C") << 0.3 << 35.0;
}

void TestMeasurement::inversion()
{
    // A count equal to the reflected signal converts back to the reflected
    // temperature whatever the emissivity.
    QFETCH(double, emissivity);
    QFETCH(double, t_refl);
    const PlanckConstants k{14906.216, 0.010956882, 1396.5, -7261, 1};
    const double refl = reflected_signal(k, t_refl);
    QVERIFY(refl > 0 && refl < 65535);
    // Choose a reflected temperature whose signal is a whole count.
    const double whole = std::round(refl);
    const double tr = k.b / std::log(k.r1 / (k.r2 * (whole + k.o)) + k.f) - 273.15;
    const cv::Mat raw(1, 1, CV_16UC1, cv::Scalar(whole));
    QVERIFY(qAbs(temperatures_from_raw(raw, k, emissivity, tr).at<double>(0, 0) - tr) < 1e-9);
}

void TestMeasurement::rowMajor()
{
    const PlanckConstants k{14906.216, 0.010956882, 1396.5, -7261, 1};
    cv::Mat raw(2, 3, CV_16UC1);
    for (int i = 0; i < 6; ++i)
        raw.at<std::uint16_t>(i / 3, i % 3) = std::uint16_t(16000 + 100 * i);
    // A view into a wider image: rows are reached through the stride.
    cv::Mat wide(2, 5, CV_16UC1, cv::Scalar(0));
    raw.copyTo(wide(cv::Rect(1, 0, 3, 2)));
    const cv::Mat t = temperatures_from_raw(wide(cv::Rect(1, 0, 3, 2)), k, 0.95, 20);
    QCOMPARE(t.rows, 2);
    QCOMPARE(t.cols, 3);
    QVERIFY(t.isContinuous());
    const double *flat = t.ptr<double>(0);
    for (int i = 0; i < 6; ++i)
        QVERIFY(qAbs(flat[i] - expected_temperature(16000 + 100 * i, k.r1, k.r2, k.b, k.o, k.f,
                                                    0.95, 20)) < 1e-9);
    QVERIFY(flat[4] == t.at<double>(1, 1));
}

void TestMeasurement::notCounts_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("rows");
    QTest::newRow("empty") << int(CV_16UC1) << 0;
    QTest::newRow("8-bit") << int(CV_8UC1) << 4;
    QTest::newRow("16-bit, three channels") << int(CV_16UC3) << 4;
    QTest::newRow("float") << int(CV_32FC1) << 4;
}

void TestMeasurement::notCounts()
{
    QFETCH(int, type);
    QFETCH(int, rows);
    const cv::Mat raw = rows ? cv::Mat(rows, 5, type, cv::Scalar::all(100)) : cv::Mat();
    QVERIFY(temperatures_from_raw(raw, {10, 0.01, 600, 0, 1}, 1, 20).empty());
}

void TestMeasurement::pngByteOrder_data()
{
    QTest::addColumn<RawForm>("form");
    QTest::newRow("camera order (little-endian)") << RawForm::PngCamera;
    QTest::newRow("standard order (big-endian)") << RawForm::PngStandard;
    QTest::newRow("JPEG-LS") << RawForm::JpegLs;
}

void TestMeasurement::pngByteOrder()
{
    QFETCH(RawForm, form);
    // Counts like those of a real forest scene: 17993 to 18341.
    const cv::Mat counts = fixtures::plot_counts(64, 48, 18170, 3);
    fixtures::FlirFile file;
    file.counts = counts;
    file.form = form;
    const auto jpeg = fixtures::flir_jpeg(file);
    const QString path = tmp.filePath("order.jpg");
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char *>(jpeg.data()), qint64(jpeg.size()));
    out.close();

    ProcessExifTool tool;
    query_raw_thermal_image(tool, path, tmp.filePath("raw.bin"));
    const cv::Mat decoded = read_raw_thermal(tmp.filePath("raw.bin"));
    QCOMPARE(decoded.type(), CV_16UC1);
    QCOMPARE(cv::norm(decoded, counts, cv::NORM_INF), 0.0);
}

void TestMeasurement::realFiles_data()
{
    QTest::addColumn<RawForm>("form");
    QTest::newRow("16-bit little-endian (TIFF)") << RawForm::LittleEndian;
    QTest::newRow("PNG") << RawForm::PngCamera;
    QTest::newRow("JPEG-LS") << RawForm::JpegLs;
}

void TestMeasurement::realFiles()
{
    QFETCH(RawForm, form);
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(40, 30);
    file.form = form;
    file.emissivity = 0.96f;
    file.t_refl_celsius = 18.5f;
    const QString path = tmp.filePath("real.jpg");
    QVERIFY(fixtures::write_flir_jpeg(path.toStdString(), file));

    ProcessExifTool tool;
    double e = -1, tr = -1;
    const cv::Mat t = measure_temperatures(tool, false, path, &e, &tr, tmp.filePath("work.tiff"));
    QVERIFY(qAbs(e - double(file.emissivity)) < 1e-12);
    QVERIFY(qAbs(tr - fixtures::reported_t_refl(file)) < 1e-9);
    QCOMPARE(t.rows, 30);
    QCOMPARE(t.cols, 40);
    double lo = 1e9, hi = -1e9;
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.cols; ++c) {
            const double want = expected_temperature(file.counts.at<std::uint16_t>(r, c), file.r1,
                                                     file.r2, file.b, file.o, file.f, e, tr);
            QVERIFY(qAbs(t.at<double>(r, c) - want) < 1e-6);
            lo = std::min(lo, t.at<double>(r, c));
            hi = std::max(hi, t.at<double>(r, c));
        }
    // Plausible field temperatures, not byte-swapped nonsense.
    QVERIFY2(lo > 0 && hi < 60, qPrintable(QStringLiteral("%1 .. %2").arg(lo).arg(hi)));
}

void TestMeasurement::givenEmissivityAndReflection()
{
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(8, 6);
    const QString path = tmp.filePath("given.jpg");
    QVERIFY(fixtures::write_flir_jpeg(path.toStdString(), file));
    ProcessExifTool tool;
    double e = 0.5, tr = 30;
    const cv::Mat t = measure_temperatures(tool, true, path, &e, &tr, tmp.filePath("work.tiff"));
    QCOMPARE(e, 0.5);
    QCOMPARE(tr, 30.0);
    QVERIFY(qAbs(t.at<double>(2, 3) - expected_temperature(file.counts.at<std::uint16_t>(2, 3),
                                                           file.r1, file.r2, file.b, file.o, file.f,
                                                           0.5, 30)) < 1e-6);
}

void TestMeasurement::twoImagesOfDifferentSizes()
{
    ProcessExifTool tool;
    const QString work = tmp.filePath("work.tiff");
    for (QSize size : {QSize(40, 30), QSize(24, 18)}) {
        fixtures::FlirFile file;
        file.counts = fixtures::plot_counts(size.width(), size.height());
        QVERIFY(fixtures::write_flir_jpeg(tmp.filePath("size.jpg").toStdString(), file));
        double e = 0, tr = 0;
        const cv::Mat t =
            measure_temperatures(tool, false, tmp.filePath("size.jpg"), &e, &tr, work);
        QCOMPARE(t.size(), cv::Size(size.width(), size.height()));
    }
    // Only the second image's raw data is left in the working file.
    QCOMPARE(read_raw_thermal(work).size(), cv::Size(24, 18));
}

void TestMeasurement::noRawData()
{
    for (RawForm form : {RawForm::None, RawForm::Png8Bit}) {
        fixtures::FlirFile file;
        file.counts = fixtures::plot_counts(8, 6);
        file.form = form;
        QVERIFY(fixtures::write_flir_jpeg(tmp.filePath("noraw.jpg").toStdString(), file));
        ProcessExifTool tool;
        double e = 0, tr = 0;
        QVERIFY(measure_temperatures(tool, false, tmp.filePath("noraw.jpg"), &e, &tr,
                                     tmp.filePath("work.tiff"))
                    .empty());
        QVERIFY(qAbs(e - 0.95) < 1e-6); // the values are still read
    }
}

void TestMeasurement::captureTime()
{
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(8, 6);
    QVERIFY(fixtures::write_flir_jpeg(tmp.filePath("time.jpg").toStdString(), file));
    file.date_time_original.clear();
    QVERIFY(fixtures::write_flir_jpeg(tmp.filePath("notime.jpg").toStdString(), file));
    ProcessExifTool tool;
    const QString text = query_capture_time(tool, tmp.filePath("time.jpg"));
    QCOMPARE(text, QStringLiteral("Date/Time Original              : 2014:03:12 10:15:32\n"));
    QCOMPARE(time_of_day(text), QByteArray("10:15:32"));
    const QString none = query_capture_time(tool, tmp.filePath("notime.jpg"));
    QCOMPARE(none, QString());
    QCOMPARE(time_of_day(none), QByteArray());
}

void TestMeasurement::pathWithSpaces()
{
    const QString dir = tmp.filePath(QString::fromUtf8("field day \xC3\xA9t\xC3\xA9 1"));
    QDir().mkpath(dir);
    const QString path = dir + "/IR 0001.jpg";
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(8, 6);
    QVERIFY(fixtures::write_flir_jpeg(path.toStdString(), file));
    ProcessExifTool tool;
    QCOMPARE(time_of_day(query_capture_time(tool, path)), QByteArray("10:15:32"));
    double e = 0, tr = 0;
    QCOMPARE(measure_temperatures(tool, false, path, &e, &tr, dir + "/work.tiff").size(),
             cv::Size(8, 6));
    QVERIFY(qAbs(query_value(tool, "PlanckB", path) - 1396.5) < 1e-9);
}

void TestMeasurement::windowSlots()
{
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(12, 9);
    const QString path = tmp.filePath("slots.jpg");
    QVERIFY(fixtures::write_flir_jpeg(path.toStdString(), file));
    const QString old = QDir::currentPath();
    QDir::setCurrent(tmp.path());
    QFile::remove("test.tiff");
    Dialog window;
    double e = 0, tr = 0;
    QVERIFY(QMetaObject::invokeMethod(&window, "get_temperature", Q_ARG(bool, false),
                                      Q_ARG(QString, path), Q_ARG(double *, &e),
                                      Q_ARG(double *, &tr)));
    QString text;
    QVERIFY(QMetaObject::invokeMethod(&window, "get_datetimeoriginal", Q_RETURN_ARG(QString, text),
                                      Q_ARG(QString, path)));
    QDir::setCurrent(old);
    QVERIFY(qAbs(e - 0.95) < 1e-6);
    QVERIFY(qAbs(tr - 20) < 1e-4);
    QCOMPARE(read_raw_thermal(tmp.filePath("test.tiff")).size(), cv::Size(12, 9));
    QCOMPARE(time_of_day(text), QByteArray("10:15:32"));
}

void TestMeasurement::valueOutputs_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<double>("value");
    QTest::newRow("value and line end") << QByteArray("0.95\\n") << 0.95;
    QTest::newRow("spaces and unit") << QByteArray("  -12.5 C") << -12.5;
    QTest::newRow("empty") << QByteArray("") << 0.0;
    QTest::newRow("NUL byte ends it") << QByteArray("1\\0002") << 1.0;
    QTest::newRow("warning text") << QByteArray("Warning: no tag") << 0.0;
}

void TestMeasurement::valueOutputs()
{
    QFETCH(QByteArray, output);
    QFETCH(double, value);
    FakeExifTool fake(output);
    ProcessExifTool tool;
    QCOMPARE(query_value(tool, "Emissivity", "/some dir/a b.jpg"), value);
    QCOMPARE(fake.arguments(),
             (QStringList{"-b", "-Emissivity", "--warning", "/some dir/a b.jpg"}));
}

void TestMeasurement::captureOutputs_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("time");
    const QByteArray label = "Date/Time Original              : 2014:03:12 ";
    QTest::newRow("full line") << label + "10:15:32\\n" << QByteArray("10:15:32");
    QTest::newRow("45 bytes") << label << QByteArray();
    QTest::newRow("46 bytes") << label + "1" << QByteArray("1");
    QTest::newRow("52 bytes") << label + "10:15:3" << QByteArray("10:15:3");
    QTest::newRow("short") << QByteArray("Date") << QByteArray();
    QTest::newRow("NUL inside") << label + "10:1\\0005:32" << QByteArray("10:1");
}

void TestMeasurement::captureOutputs()
{
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, time);
    FakeExifTool fake(output);
    ProcessExifTool tool;
    QCOMPARE(time_of_day(query_capture_time(tool, "x.jpg")), time);
    QCOMPARE(fake.arguments(), (QStringList{"-DateTimeOriginal", "x.jpg"}));
}

void TestMeasurement::missingTool()
{
    const QString work = tmp.filePath("stale.tiff");
    QFile stale(work);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("old raw data");
    stale.close();
    FakeExifTool nothing("", false);
    ProcessExifTool tool;
    double e = 7, tr = 7;
    QVERIFY(measure_temperatures(tool, false, tmp.filePath("real.jpg"), &e, &tr, work).empty());
    QCOMPARE(e, 0.0);
    QCOMPARE(tr, 0.0);
    QCOMPARE(QFileInfo(work).size(), 0);
    QCOMPARE(query_capture_time(tool, "x.jpg"), QString());
}

void TestMeasurement::decimalCommaLocale()
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        QSKIP("the de_DE.UTF-8 locale is not installed");
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(8, 6);
    QVERIFY(fixtures::write_flir_jpeg(tmp.filePath("locale.jpg").toStdString(), file));
    ProcessExifTool tool;
    double e = 0, tr = 0;
    const cv::Mat t = measure_temperatures(tool, false, tmp.filePath("locale.jpg"), &e, &tr,
                                           tmp.filePath("work.tiff"));
    std::setlocale(LC_ALL, "C");
    QVERIFY(qAbs(e - 0.95) < 1e-6);
    QVERIFY(qAbs(tr - 20) < 1e-4);
    QVERIFY(qAbs(t.at<double>(0, 0) - expected_temperature(file.counts.at<std::uint16_t>(0, 0),
                                                           file.r1, file.r2, file.b, file.o, file.f,
                                                           e, tr)) < 1e-6);
}

QTEST_MAIN(TestMeasurement)
#include "tst_measurement.moc"
