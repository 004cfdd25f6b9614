// The computations without tools or windows: numbers, the table, the
// conversion and its checks, the picture limits, masks, statistics, maps and
// the writing of result files.

#include "analysis/alignment.h"
#include "analysis/camerafield.h"
#include "analysis/canny.h"
#include "analysis/contours.h"
#include "analysis/correlation.h"
#include "analysis/fieldmaps.h"
#include "analysis/registration.h"
#include "analysis/stats.h"
#include "analysis/thermalmap.h"
#include "analysis/vegetation.h"
#include "common/cnumber.h"
#include "common/vectors.h"
#include "engine/pairing.h"
#include "engine/run.h"
#include "measurement/exiftool.h"
#include "measurement/rawimage.h"
#include "measurement/tagquery.h"
#include "measurement/temperature.h"
#include "outputs/lines.h"
#include "outputs/wholefile.h"
#include "pictures/imagesize.h"
#include "pictures/pictures.h"
#include "refltable/refltable.h"
#include "report/spill.h"
#include "tests/testutil.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <clocale>
#include <csignal>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ardentis;

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(cv::Scalar)
Q_DECLARE_METATYPE(cv::Vec3b)
Q_DECLARE_METATYPE(ardentis::Calibration)

namespace
{
const double inf = std::numeric_limits<double>::infinity(), nan_ = std::nan("");
const PlanckConstants camera{14906.216, 0.010956882, 1396.5, -7261, 1};

QByteArray bytes_of(const std::vector<uchar> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), int(v.size()));
}

// A photograph of exactly the smallest size, the field filled with `inside`.
cv::Mat photograph(cv::Scalar inside, cv::Scalar outside = cv::Scalar::all(255))
{
    cv::Mat rgb(1144, 1467, CV_8UC3, outside);
    rgb(Field().rect()).setTo(inside);
    return rgb;
}
} // namespace

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void leadingNumber_data();
    void leadingNumber();
    void fixedMatchesPrintf();
    void decimalCommaLocale();
    void table_data();
    void table();
    void tableFiles();
    void imageNumber_data();
    void imageNumber();
    void conversion_data();
    void conversion();
    void texts_data();
    void texts();
    void orientation_data();
    void orientation();
    void statistics();
    void masks_data();
    void masks();
    void plantShares();
    void halvingsAsDecoded();
    void cannyEdges_data();
    void cannyEdges();
    void pairPictures();
    void thermalMap_data();
    void thermalMap();
    void filledTemperatures();
    void correlation_data();
    void correlation();
    void edgeMap_data();
    void edgeMap();
    void fallbackField_data();
    void fallbackField();
    void writeTogether();
    void failureInsideAPair();
    void temperatureSpill();
    void pairing_data();
    void pairing();
};

void TestCore::leadingNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("atof");
    QTest::addColumn<double>("decimal");
    QTest::newRow("value and line end") << QByteArray("0.95\n") << 0.95 << 0.95;
    QTest::newRow("spaces, sign, unit") << QByteArray("  -12.5 C") << -12.5 << -12.5;
    QTest::newRow("empty") << QByteArray("") << 0.0 << 0.0;
    QTest::newRow("exponent") << QByteArray("1.5e3x") << 1500.0 << 1500.0;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 16.0 << 0.0;
    QTest::newRow("infinity word") << QByteArray("inf") << inf << 0.0;
    QTest::newRow("overflow") << QByteArray("1e999") << inf << inf;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                   "5")
                                     << 0.0 << 0.0;
}

void TestCore::leadingNumber()
{
    QFETCH(QByteArray, text);
    QFETCH(double, atof);
    QFETCH(double, decimal);
    const std::string_view sv(text.constData(), size_t(text.size()));
    QCOMPARE(leading_number(sv, NumberSyntax::Atof), atof);
    QCOMPARE(leading_number(sv, NumberSyntax::Decimal), decimal);
    QCOMPARE(leading_number(sv), std::atof(text.constData()));
}

void TestCore::fixedMatchesPrintf()
{
    QRandomGenerator rng(42);
    char buffer[512];
    for (int i = 0; i < 20000; ++i) {
        const double v = (rng.generateDouble() - 0.5) * std::pow(10.0, rng.bounded(-8, 12));
        std::snprintf(buffer, sizeof buffer, "%f", v);
        QCOMPARE(format_fixed6(v), std::string(buffer));
    }
    QCOMPARE(format_fixed6(-0.0), std::string("-0.000000"));
    QCOMPARE(format_fixed6(-nan_), std::string("nan"));
    QCOMPARE(format_fixed(0.0078125, 6), std::string("0.007812")); // ties to even, as printf
    // This system's own figures drop the sign of a zero, however it came.
    for (const auto &[v, text] : std::vector<std::pair<double, std::string>>{
             {-0.0, "0.00"}, {-0.004, "0.00"}, {-0.005, "-0.01"}, {-nan_, "nan"}, {-1.5, "-1.50"}})
        QCOMPARE(format_figure(v, 2), text);
}

void TestCore::decimalCommaLocale()
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        QSKIP("the de_DE.UTF-8 locale is not installed");
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", 0.95);
    const std::vector<double> table = parse_refl_table("101,0.95,21.5\n").rows;
    const double value = leading_number("0.95");
    const std::string text = format_fixed6(-12.25);
    std::setlocale(LC_ALL, "C");
    QCOMPARE(QByteArray(buffer), QByteArray("0,95")); // the locale really writes commas
    QCOMPARE(value, 0.95);
    QCOMPARE(text, std::string("-12.250000"));
    QCOMPARE(table, (std::vector<double>{101, 0.95, 21.5}));
}

void TestCore::table_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::vector<double>>("rows");
    QTest::addColumn<double>("code");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("problem");
    const std::vector<double> two{101, 0.95, 21.5, 102, 0.96, 22}, none;
    QTest::newRow("final line feed")
        << QByteArray("101,0.95,21.5\n102,0.96,22\n") << two << 102.0 << 2 << "";
    QTest::newRow("no final line feed, absent")
        << QByteArray("101,0.95,21.5\n102,0.96,22") << two << 103.0 << 0 << "";
    QTest::newRow("spaces, units, fourth item")
        << QByteArray("101,  0.95, 21.5 C,note\n") << std::vector<double>{101, 0.95, 21.5} << 101.0
        << 1 << "";
    QTest::newRow("blank line matches nothing")
        << QByteArray("0,0.9,1\n \r\n") << std::vector<double>{0, 0.9, 1, nan_, nan_, nan_} << 0.0
        << 1 << "";
    QTest::newRow("0101 matches, 101.5 does not")
        << QByteArray("101.5,0.9,1\n0101,0.8,2\n")
        << std::vector<double>{101.5, 0.9, 1, 101, 0.8, 2} << 101.0 << 2 << "";
    QTest::newRow("nan matches nothing")
        << QByteArray("0,0.9,1\n") << std::vector<double>{0, 0.9, 1} << nan_ << 0 << "";
    // Fields that are not numbers refuse the table, naming the line as written.
    const struct {
        const char *line, *problem;
    } refused[] = {
        {"Code,E,T", "line 2 ('Code,E,T') has the image number 'Code', which is not a number"},
        {"101,0.95,\r", "line 2 ('101,0.95,') has an empty reflected temperature"},
        {"7", "line 2 ('7') has no emissivity"},
        {"101,1,0,20", "line 2 ('101,1,0,20') has a number after its reflected temperature, as "
                       "numbers written with a decimal comma give; write them with a decimal "
                       "point"},
        {"1,0.9,99999999999999999999999999999999999999999999999999e999",
         "line 2 ('1,0.9,99999999999999999999999999... (60 bytes)') has the reflected temperature "
         "'99999999999999999999999999999999... (54 bytes)', which is too large"}};
    for (const auto &r : refused)
        QTest::newRow(r.line) << "1,0.9,2\n" + QByteArray(r.line) + "\n3,0.9,2\n"
                              << none << 1.0 << 0 << r.problem;
}

void TestCore::table()
{
    QFETCH(QByteArray, text);
    QFETCH(std::vector<double>, rows);
    QFETCH(double, code);
    QFETCH(int, row);
    QFETCH(QString, problem);
    const ReflTableFile parsed = parse_refl_table(text.toStdString());
    QCOMPARE(parsed.problem, problem);
    QCOMPARE(parsed.rows.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        QVERIFY2(std::abs(parsed.rows[i] - rows[i]) < 1e-12 ||
                     (std::isnan(rows[i]) && std::isnan(parsed.rows[i])),
                 qPrintable(QString::number(parsed.rows[i])));
    QCOMPARE(match_refl_code(parsed.rows, code), row);
}

void TestCore::tableFiles()
{
    QTemporaryDir dir;
    QByteArray text;
    for (int i = 1; i <= 250; ++i)
        text += QByteArray::number(i) + ",0.9," + QByteArray::number(i % 30) + "\n";
    write_file(dir.filePath("long.csv"), text);
    const ReflTableFile long_table = read_refl_table(dir.filePath("long.csv"));
    QCOMPARE(match_refl_code(long_table.rows, 250), 250); // more than 100 rows are all kept
    QCOMPARE(long_table.rows[249 * 3 + 2], 10.0);

    write_file(dir.filePath("utf16.csv"), QByteArray("1\0,\0"
                                                     "0\0.\0"
                                                     "9\0",
                                                     10));
    QFile big(dir.filePath("big.csv"));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(65LL << 20)); // sparse
    const struct {
        const char *file, *problem;
    } refused[] = {{"utf16.csv", "it is not a text file (UTF-16 or binary)"},
                   {"big.csv", "it is larger than 64 MB"},
                   {"none.csv", "it is not a readable file"}};
    for (const auto &r : refused) {
        const ReflTableFile t = read_refl_table(dir.filePath(r.file));
        QCOMPARE(t.problem, QString(r.problem));
        QVERIFY(t.rows.empty() && t.unreadable == (QByteArray(r.file) == "none.csv"));
    }
}

void TestCore::imageNumber_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<double>("number");
    QTest::addColumn<int>("file");
    QTest::addColumn<QByteArray>("trace"); // checked when given
    QTest::newRow("IMG0123") << "D:/img/IMG0123.jpg" << 123.0 << 123 << QByteArray();
    QTest::newRow("a12b34") << "D:/run/a12b34.jpg" << 34.0 << 34 << QByteArray();
    // 7, then the 2 before the full stop of set2.5, worth ten times more.
    QTest::newRow("set2.5/img7") << "D:/set2.5/img7.jpg" << 27.0 << 27
                                 << QByteArray("Foundnumnum, index13, val=7\n"
                                               "Foundnumnum, index6, val=2\n");
    QTest::newRow("no digit") << "D:/img/IMG.jpg" << 0.0 << 0 << QByteArray("Found");
    QTest::newRow("empty") << "" << 0.0 << 0 << QByteArray();
    QTest::newRow("digits of a folder") << "D:/v1.2/x" << 1.0 << 1 << QByteArray();
    QTest::newRow("digit after a letter é") << QString::fromUtf8("\xC3\xA9"
                                                                 "5.jpg")
                                            << 5.0 << 5 << QByteArray();
    QTest::newRow("Arabic-Indic three")
        << QString::fromUtf8("p\xD9\xA3.jpg") << 0.0 << 0 << QByteArray();
    QTest::newRow("beyond a file name") << "99999999999.jpg" << 99999999999.0 << -1 << QByteArray();
}

void TestCore::imageNumber()
{
    QFETCH(QString, path);
    QFETCH(double, number);
    QFETCH(int, file);
    QFETCH(QByteArray, trace);
    struct Recorder : Trace {
        QByteArray text;
        void trace(const std::string &t) override { text += QByteArray::fromStdString(t); }
    } recorder;
    QCOMPARE(parse_image_number(path, &recorder), number);
    QCOMPARE(file_number(number), file);
    if (!trace.isEmpty())
        QCOMPARE(recorder.text, trace);
}

void TestCore::conversion_data()
{
    QTest::addColumn<Calibration>("calibration");
    QTest::addColumn<double>("count");
    QTest::addColumn<double>("expected");
    // Worked by hand: R1 10, R2 0.01, B 600, O 0, F 1, 20 °C reflected, a
    // count of 150 (R1 and the count a hundred times larger: counts are whole).
    const PlanckConstants worked{1000, 0.01, 600, 0, 1};
    QTest::newRow("E = 1") << Calibration{worked, 1, 20, {}, {}, {}} << 15000.0 << 21.42;
    QTest::newRow("E = 0.5") << Calibration{worked, 0.5, 20, {}, {}, {}} << 15000.0 << 22.83;
    // The reflected signal (14831.14) converts back to 20 °C whatever E is.
    QTest::newRow("reflected, E = 0.3")
        << Calibration{worked, 0.3, 20, {}, {}, {}} << 14831.0 << 19.9961;
    // The full model, worked once with a calculator from the FLIR equations:
    // E 0.95, 18 °C reflected, a count of 18000.
    const Atmosphere humid{25, 32, 0.8, 20, 1, 0.006569, 0.01262, -0.002276, -0.00667, 1.9};
    Atmosphere window = humid;
    window.distance = 3;
    window.window_transmission = 0.8;
    window.t_window = 35;
    QTest::newRow("simple") << Calibration{camera, 0.95, 18, Radiometry::Simple, humid, {}}
                            << 18000.0 << 14.644572;
    QTest::newRow("full, no air, no window")
        << Calibration{camera, 0.95, 18, Radiometry::Full, {}, {}} << 18000.0 << 14.644572;
    QTest::newRow("full, 25 m of hot humid air")
        << Calibration{camera, 0.95, 18, Radiometry::Full, humid, {}} << 18000.0 << 13.509044;
    QTest::newRow("full, a window at 35 C")
        << Calibration{camera, 0.95, 18, Radiometry::Full, window, {}} << 18000.0 << 8.098012;
    // No temperature for a count the calibration cannot explain, nor beyond
    // what the camera measures: -60 to 1500 °C without its limits. -66 °C is
    // a count of 8869, worked from the constants.
    QTest::newRow("count 0") << Calibration{camera, 0.95, 20, {}, {}, {}} << 0.0 << nan_;
    QTest::newRow("-66 C, no limits") << Calibration{camera, 1, 20, {}, {}, {}} << 8869.0 << nan_;
    // The record's highest count is clipped, not 164.3 °C like the one below.
    QTest::newRow("65535") << Calibration{camera, 1, 20, {}, {}, {}} << 65535.0 << nan_;
    QTest::newRow("65534") << Calibration{camera, 1, 20, {}, {}, {}} << 65534.0 << 164.2995;
    QTest::newRow("-66 C, camera to -70 C")
        << Calibration{camera, 1, 20, {}, {}, {-70, 218}} << 8869.0 << -66.008;
    // Nor when the corrections take it there: an emissivity of 0.01 makes
    // 272 °C of a count of 25 °C, 1649 °C with nothing reflected.
    QTest::newRow("E 0.01, camera to 218 C")
        << Calibration{camera, 0.01, 20, {}, {}, {-70, 218}} << 20000.0 << nan_;
    QTest::newRow("E 0.01, 0 K reflected")
        << Calibration{camera, 0.01, -273.14, {}, {}, {}} << 20000.0 << nan_;
}

void TestCore::conversion()
{
    QFETCH(Calibration, calibration);
    QFETCH(double, count);
    QFETCH(double, expected);
    int without = -1;
    const cv::Mat t =
        convert_counts(cv::Mat(2, 3, CV_16UC1, cv::Scalar(count)), calibration, &without);
    QCOMPARE(t.type(), CV_64FC1);
    QCOMPARE(without, std::isnan(expected) ? 6 : 0);
    QVERIFY2(std::isnan(expected) ? std::isnan(t.at<double>(1, 2))
                                  : std::abs(t.at<double>(1, 2) - expected) < 0.005,
             qPrintable(QString::number(t.at<double>(1, 2), 'f', 6)));
}

void TestCore::texts_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("expected");
    const QString file = QStringLiteral("of the radiometric image");
    QTest::newRow("F negative")
        << planck_problem({1, 1, 1, 0, -2})
        << "PlanckF of the radiometric image is -2; it must be a number of 0 or more.";
    QTest::newRow("below absolute zero")
        << t_refl_problem(-300, file)
        << "The reflected temperature -300 °C of the radiometric image is not above absolute zero.";
    QTest::newRow("emissivity just above 1")
        << emissivity_problem(1.00000000001, file)
        << "The emissivity 1.00000000001 of the radiometric image is outside (0, 1].";
    QTest::newRow("emissivity 1.01 as a camera keeps it")
        << emissivity_problem(double(1.01f), file)
        << "The emissivity 1.01 of the radiometric image is outside (0, 1].";
    // The camera's model of the air beyond its reach: 1 km of hot humid air.
    const Atmosphere far{1000, 40, 0.95, 20, 1, 0.006569, 0.01262, -0.002276, -0.00667, 1.9};
    QTest::newRow("transmission below 0")
        << atmosphere_problem(far)
        << "The air's transmission that the radiometric image's values give (ObjectDistance 1000 "
           "m, AtmosphericTemperature 40 °C, RelativeHumidity 0.95) is -0.076; it must be above "
           "0.";
    QTest::newRow("a field smaller than a pixel")
        << camera_field({1, 1}, {320, 240}, 1, 0, 0).problem
        << "The camera's alignment values (Real2IR 1, OffsetX 0, OffsetY 0) put the thermal field "
           "at 0,0,1,1, less than a pixel across in the photograph (1 x 1 pixels).";
    // The tool's texts quoted as written (the air's values: tst_exiftool).
    QTest::newRow("NaN") << value_text_problem("Emissivity", "NaN")
                         << "Emissivity of the radiometric image is 'NaN', which is not a finite "
                            "number.";
    QTest::newRow("10 MB of digits")
        << value_text_problem("ReflectedApparentTemperature", QString(10000000, '9'))
        << "ReflectedApparentTemperature of the radiometric image is "
           "'99999999999999999999999999999999... (10000000 bytes)', which is not a finite number.";
    QTest::newRow("missing") << value_text_problem("PlanckB", " \n")
                             << "PlanckB is missing from the radiometric image.";
    // Headers that claim sizes no real picture has, on tiny files.
    std::vector<uchar> png;
    cv::imencode(".png", cv::Mat(4, 4, CV_16UC1, cv::Scalar(1)), png);
    QByteArray big_png = bytes_of(png);
    big_png.replace(16, 8, QByteArray::fromHex("00004e2000003a98")); // 20000 x 15000
    QTest::newRow("raw PNG of 20000 x 15000")
        << decode_raw_thermal(reinterpret_cast<const uchar *>(big_png.constData()),
                              size_t(big_png.size()))
               .problem
        << "The raw thermal image is 20000 x 15000 pixels, more than the limit of 4096 x 4096.";
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", cv::Mat(8, 8, CV_8UC3, cv::Scalar(1, 2, 3)), jpeg);
    QByteArray big_jpeg = bytes_of(jpeg);
    const int sof = big_jpeg.indexOf("\xFF\xC0");
    big_jpeg.replace(sof + 5, 4, QByteArray::fromHex("75307530")); // 30000 x 30000
    QTest::newRow("photograph of 30000 x 30000")
        << decode_picture(big_jpeg, "photograph").problem
        << "The photograph is 30000 x 30000 pixels, more than the limit of 250 megapixels.";
    cv::Mat noise(64, 64, CV_8UC3);
    cv::randu(noise, 0, 255);
    cv::imencode(".jpg", noise, jpeg);
    QTest::newRow("photograph too small for a field")
        << field_room_problem({50, 40}, {160, 120})
        << "The photograph is 50 x 40 pixels; a thermal field needs at least 64 x 48.";
    QTest::newRow("photograph cut short")
        << decode_picture(bytes_of(jpeg).left(int(jpeg.size()) / 2), "photograph").problem
        << "The photograph is damaged or cut short (Premature end of JPEG file).";
    const std::vector<uchar> cmyk =
        fixtures::cmyk_jpeg(cv::Mat(8, 8, CV_8UC3, cv::Scalar(1, 2, 3)));
    QTest::newRow("CMYK photograph")
        << decode_picture(bytes_of(cmyk), "photograph").problem
        << "The photograph is a CMYK JPEG; only RGB pictures can be used.";
    // A format whose header is not read here is held to the limit before it is allocated.
    QTest::newRow("PNM of 20000 x 20000")
        << decode_picture("P6\n20000 20000\n255\n" + QByteArray(300, 'x'), "photograph").problem
        << "The photograph is 20000 x 20000 pixels, more than the limit of 250 megapixels.";
    QTest::newRow("no file") << read_picture(QString(), "photograph").problem
                             << "The photograph does not exist.";
    static QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("fifo"));
    ::mkfifo(fifo.constData(), 0600);
    QTest::newRow("FIFO") << read_picture(dir.filePath("fifo"), "photograph").problem
                          << "The photograph is not a regular file.";
    QFile::link("loop.jpg", dir.filePath("loop.jpg"));
    QTest::newRow("a link to itself")
        << read_picture(dir.filePath("loop.jpg"), "photograph").problem
        << "The photograph is a link to nothing (its target is missing, or links lead back to it).";
    // ExifTool's JSON answer, its strings unescaped.
    const auto fields = json_fields(
        "[{\n  \"SourceFile\": \"a \\\"b\\\".jpg\",\n  \"PlanckR1\": 14906.2158203125,\n"
        "  \"Text\": \"\\u00e9t\\u00e9 \\ud83c\\udf3f\\n\"\n}]\n");
    const auto field = [&fields](const char *key) {
        return QString::fromUtf8(fields.count(key) ? fields.at(key) : "(absent)");
    };
    QTest::newRow("JSON number as written") << field("PlanckR1") << "14906.2158203125";
    QTest::newRow("JSON escaped quotes") << field("SourceFile") << "a \"b\".jpg";
    QTest::newRow("JSON unicode escapes")
        << field("Text") << QString::fromUtf8("\xC3\xA9t\xC3\xA9 \xF0\x9F\x8C\xBF\n");
    QTest::newRow("JSON absent") << field("PlanckB") << "(absent)";
    QTest::newRow("not JSON") << QString::number(json_fields("Error: File not found").size())
                              << "0";
    bool broken = false;
    json_fields("[{\"PlanckR1\": 1, \"Make\": \"FL\\qIR\"}]", &broken);
    QTest::newRow("JSON with a bad escape") << QString::number(broken) << "1";
    // A decoder that reads a size otherwise allocates no more than the limit.
    const auto refused = [] {
        const DecodeLimit limit(100);
        try {
            cv::Mat(20, 20, CV_8UC1).setTo(0);
        } catch (const cv::Exception &) {
        }
        return QStringLiteral("%1 x %2").arg(limit.refused().width).arg(limit.refused().height);
    };
    QTest::newRow("decode limit") << refused() << "20 x 20";
    // The time of day: 8 bytes at offset 45 of the tool's line, or of the value in it.
    const QString label = QStringLiteral("Date/Time Original              : 2014:03:12 ");
    const auto time = [](const QByteArray &t) { return QString::fromUtf8(t); };
    QTest::newRow("full line") << time(time_of_day(label + "10:15:32\n")) << "10:15:32";
    QTest::newRow("the value") << time(time_of_day_from_value("2014:03:12 10:15:32")) << "10:15:32";
    QTest::newRow("45 bytes") << time(time_of_day(label)) << "";
    QTest::newRow("52 bytes") << time(time_of_day(label + "10:15:3")) << "10:15:3";
    QTest::newRow("a comma would add a column") << time(time_of_day(label + "10,15:32\n")) << "";
    QTest::newRow("the value with a comma")
        << time(time_of_day_from_value("2014:03:12 10,15:32")) << "";
    QTest::newRow("cut UTF-8") << time(time_of_day(label + QString::fromUtf8("10:15:3\xC3\xA9")))
                               << "";
}

void TestCore::texts()
{
    QFETCH(QString, problem);
    QFETCH(QString, expected);
    QCOMPARE(problem, expected);
}

void TestCore::orientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QByteArray>("damage"); // bytes written over the EXIF segment: none honoured
    QTest::addColumn<bool>("tiff");
    for (int o = 0; o <= 8; ++o)
        QTest::newRow(qPrintable(QStringLiteral("orientation %1").arg(o)))
            << o << QByteArray() << false;
    // The image library's TIFF reader turns a TIFF on its own: not twice.
    for (int o : {3, 6, 7})
        QTest::newRow(qPrintable(QStringLiteral("TIFF, orientation %1").arg(o)))
            << o << QByteArray() << true;
    // The first byte: where in the JPEG. The segment's length is at 4, the
    // first directory's place at 16, its entries' count at 20, the value at 30.
    QTest::newRow("directory beyond the segment")
        << 6 << QByteArray("\x10\xF0\xFF\xFF\xFF", 5) << false;
    QTest::newRow("segment beyond the file") << 6 << QByteArray("\x04\xFF\xF0", 3) << false;
    QTest::newRow("65535 entries, none the orientation")
        << 6 << QByteArray("\x14\xFF\xFF\x13\x01", 5) << false;
    QTest::newRow("orientation 9") << 6 << QByteArray("\x1E\x09", 2) << false;
}

namespace
{
// A TIFF of `stored` declaring the EXIF orientation `orientation`, as
// ExifTool writes it.
QByteArray tiff_with_orientation(const cv::Mat &stored, int orientation)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath("turned.tif");
    cv::imwrite(path.toStdString(), stored);
    run_program("exiftool", {"-q", "-overwrite_original",
                             QStringLiteral("-Orientation#=%1").arg(orientation), path});
    return read_file(path);
}
} // namespace

void TestCore::orientation()
{
    QFETCH(int, orientation);
    QFETCH(QByteArray, damage);
    QFETCH(bool, tiff);
    // A portrait scene unlike itself under any turn or mirror: smooth, so
    // that compression changes it little whichever way it is stored.
    cv::Mat upright(48, 32, CV_8UC3);
    for (int r = 0; r < upright.rows; ++r)
        for (int c = 0; c < upright.cols; ++c)
            upright.at<cv::Vec3b>(r, c) = cv::Vec3b(uchar(5 * r), uchar(7 * c), uchar(2 * r + c));
    const cv::Mat stored = fixtures::stored_turned(upright, orientation);
    QByteArray jpeg = tiff ? tiff_with_orientation(stored, orientation)
                           : bytes_of(fixtures::photo_jpeg(upright, orientation, "", 100));
    if (!damage.isEmpty())
        jpeg.replace(damage[0], damage.size() - 1, damage.mid(1));
    const auto *data = reinterpret_cast<const std::uint8_t *>(jpeg.constData());
    if (!damage.isEmpty()) {
        QCOMPARE(declared_orientation(data, size_t(jpeg.size())), 1);
        return;
    }
    const Picture turned = decode_picture(jpeg, "photograph", Turning::Upright);
    QCOMPARE(*upright_size(data, size_t(jpeg.size())), upright.size());
    QCOMPARE(decode_picture(jpeg, "radiometric image").image.size(), stored.size());
    QCOMPARE(turned.image.size(), upright.size());
    QVERIFY(cv::norm(turned.image, upright, cv::NORM_L1) / double(upright.total() * 3) < 1.5);
    if (tiff) { // raw counts in a TIFF are as stored too
        cv::Mat counts;
        stored.reshape(1).convertTo(counts, CV_16UC1, 100);
        const QByteArray raw = tiff_with_orientation(counts, orientation);
        QCOMPARE(cv::norm(decode_raw_thermal(reinterpret_cast<const uchar *>(raw.constData()),
                                             size_t(raw.size()))
                              .counts,
                          counts, cv::NORM_INF),
                 0.0);
        return;
    }
    // As the image library turns it on its own (upright already: unchanged).
    QCOMPARE(cv::norm(turned.image,
                      cv::imdecode(fixtures::photo_jpeg(upright, orientation, "", 100),
                                   cv::IMREAD_COLOR),
                      cv::NORM_INF),
             0.0);
}

void TestCore::statistics()
{
    cv::Mat temps = (cv::Mat_<double>(2, 4) << 20, 21, 23, 26, 30, nan_, 31, 22);
    const cv::Mat plant = (cv::Mat_<uchar>(2, 4) << 255, 255, 255, 255, 0, 255, 0, 255);
    const PlantStats s = plant_statistics(temps, plant);
    // Plant values 20, 21, 22, 23, 26; others 30, 31; one pixel without temperature.
    QCOMPARE(s.plant_pixels, 5);
    QVERIFY(std::abs(s.plant_fraction - 5.0 / 7) < 1e-12);
    QVERIFY(std::abs(s.mean - 22.4) < 1e-12);
    QVERIFY(std::abs(s.sd - std::sqrt((2.4 * 2.4 + 1.4 * 1.4 + 0.4 * 0.4 + 0.6 * 0.6 + 3.6 * 3.6) /
                                      5)) < 1e-12);
    QCOMPARE(s.median, 22.0);
    QVERIFY(std::abs(s.p25 - 21.0) < 1e-12 && std::abs(s.p75 - 23.0) < 1e-12);
    QVERIFY(std::abs(s.p5 - 20.2) < 1e-12 && std::abs(s.p95 - 25.4) < 1e-12);
    QCOMPARE(s.min, 20.0);
    QCOMPARE(s.max, 26.0);
    QCOMPARE(s.other_mean, 30.5);
    QVERIFY(std::isnan(plant_statistics(temps, cv::Mat::zeros(2, 4, CV_8UC1)).mean));
}

void TestCore::masks_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<cv::Scalar>("colour");
    QTest::addColumn<bool>("plant");
    const int gb = int(MaskMethod::GreenOverBlue), exgr = int(MaskMethod::ExGR);
    QTest::newRow("gb: green 10, blue 10") << gb << cv::Scalar(10, 10, 200) << false;
    QTest::newRow("gb: green 11, blue 10") << gb << cv::Scalar(10, 11, 200) << true;
    for (const auto &[name, soil] : {std::pair{"beige", fixtures::beige},
                                     {"brown", fixtures::brown},
                                     {"straw", fixtures::straw}}) {
        QTest::newRow(qPrintable(QStringLiteral("gb takes %1 soil").arg(name)))
            << gb << cv::Scalar(soil[0], soil[1], soil[2]) << true;
        QTest::newRow(qPrintable(QStringLiteral("exgr rejects %1 soil").arg(name)))
            << exgr << cv::Scalar(soil[0], soil[1], soil[2]) << false;
    }
    QTest::newRow("exgr: leaf") << exgr << cv::Scalar(50, 140, 60) << true;
    QTest::newRow("exgr: 3G - 2.4R - B = 0") << exgr << cv::Scalar(30, 50, 50) << false;
    QTest::newRow("exgr: too dark to tell") << exgr << cv::Scalar(5, 30, 9) << false;
    QTest::newRow("exgr: just bright enough") << exgr << cv::Scalar(5, 35, 5) << true; // 45
    QTest::newRow("exgr: clipped") << exgr << cv::Scalar(50, 250, 60) << false;
    QTest::newRow("exgr: just not clipped") << exgr << cv::Scalar(50, 249, 60) << true;
}

void TestCore::masks()
{
    QFETCH(int, method);
    QFETCH(cv::Scalar, colour);
    QFETCH(bool, plant);
    // A field whose left column of thermal pixels is `colour` and the rest white.
    cv::Mat part(640, 870, CV_8UC3, cv::Scalar::all(255));
    part(cv::Rect(0, 0, 87, 640)).setTo(colour);
    const cv::Mat mask = plant_mask(part, 10, 8, {MaskMethod(method), 0.5});
    QCOMPARE(mask.at<uchar>(3, 0), uchar(plant ? 255 : 0));
    QCOMPARE(cv::countNonZero(mask.colRange(1, 10)), 0);
}

void TestCore::plantShares()
{
    // The shares of plant by area, made from the photograph's rows as they
    // come, are to the bit those of the library's area resizing of the whole
    // plant map: scales whole, not whole, mixed, one; and enlarged.
    cv::Mat noise(97, 131, CV_8UC3), photo;
    cv::randu(noise, 0, 256);
    cv::resize(noise, photo, {1741, 1306}, 0, 0, cv::INTER_NEAREST);
    const cv::Mat part = photo(cv::Rect(3, 5, 1737, 1290)); // not continuous
    for (const cv::Size size : {cv::Size(320, 240), cv::Size(579, 645), cv::Size(1737, 258),
                                cv::Size(579, 240), cv::Size(160, 1290), cv::Size(1800, 1300)}) {
        cv::Mat library;
        cv::resize(exgr_plant_map(part), library, size, 0, 0, cv::INTER_AREA);
        QCOMPARE(cv::norm(exgr_plant_shares(part, size), library, cv::NORM_INF), 0.0);
    }
}

void TestCore::halvingsAsDecoded()
{
    // Made as the photograph is decoded, the halvings are to the byte the
    // library's area resizing, level after level (odd sizes, vector and
    // single pixels), and are taken only for the picture they were made of:
    // not for one turned after decoding.
    cv::Mat noise(13, 17, CV_8UC3), upright;
    cv::randu(noise, 0, 256);
    cv::resize(noise, upright, {301, 203}, 0, 0, cv::INTER_LINEAR);
    for (const int orientation : {1, 6}) {
        const QByteArray jpeg = bytes_of(fixtures::photo_jpeg(upright, orientation, "", 90));
        HalvingsAsDecoded made(8);
        const Picture photo =
            decode_picture(jpeg, "photograph", Turning::Upright,
                           [&made](const cv::Mat &p, int rows) { made.rows_done(p, rows); });
        QCOMPARE(cv::norm(photo.image, decode_picture(jpeg, "photograph", Turning::Upright).image,
                          cv::NORM_INF),
                 0.0);
        const PhotoScales scales(photo.image, &made), again(photo.image, &made);
        cv::Mat level = photo.image;
        for (int k = 1; k <= 5; ++k) { // to 9 x 6
            const cv::Mat even = level(cv::Rect(0, 0, level.cols / 2 * 2, level.rows / 2 * 2));
            cv::resize(even, level, {even.cols / 2, even.rows / 2}, 0, 0, cv::INTER_AREA);
            QCOMPARE(cv::norm(scales.halved(k), level, cv::NORM_INF), 0.0);
        }
#ifdef ARDENTIS_X86_64
        const bool shared = orientation == 1 && wide_vectors();
#else
        const bool shared = false;
#endif
        QCOMPARE(scales.halved(5).data == again.halved(5).data, shared);
    }
}

void TestCore::cannyEdges_data()
{
    QTest::addColumn<int>("range"); // of the gradient's values, each way
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("ties") << 3 << 1.0 << 2.5;
    QTest::newRow("smooth ridges") << 2000 << 300.0 << 900.0;
    QTest::newRow("extremes, thresholds swapped") << 32768 << 30000.0 << 8000.0;
}

void TestCore::cannyEdges()
{
    // Gradients non-zero in random spans of each row: the edges found in the
    // spans alone are the library's Canny's with L2 magnitudes.
    QFETCH(int, range);
    QFETCH(double, low);
    QFETCH(double, high);
    cv::RNG rng(7);
    for (int k = 0; k < 40; ++k) {
        const int rows = rng.uniform(1, 90), cols = rng.uniform(1, 120);
        cv::Mat dx(rows, cols, CV_16S, cv::Scalar(0)), dy = dx.clone();
        std::vector<RowSpans> spans(static_cast<size_t>(rows));
        std::vector<const RowSpans *> row_spans;
        for (int r = 0; r < rows; ++r) {
            for (int c = rng.uniform(0, cols); c < cols;) {
                const int to = std::min(cols, c + rng.uniform(1, 40));
                spans[size_t(r)].emplace_back(c, to);
                c = to + rng.uniform(1, cols + 1);
            }
            for (const auto &[from, to] : spans[size_t(r)])
                for (int c = from; c < to; ++c) {
                    const bool smooth = range == 2000;
                    dx.at<short>(r, c) =
                        cv::saturate_cast<short>(smooth ? range * std::sin(0.3 * c + 0.2 * r)
                                                        : rng.uniform(-range, range + 1));
                    dy.at<short>(r, c) =
                        cv::saturate_cast<short>(smooth ? range * std::cos(0.25 * c - 0.35 * r)
                                                        : rng.uniform(-range, range + 1));
                }
            row_spans.push_back(&spans[size_t(r)]);
        }
        cv::Mat library, ours(rows, cols, CV_8U, cv::Scalar(0));
        cv::Canny(dx, dy, library, low, high, true);
        for (const cv::Point &p : canny_edges(dx, dy, row_spans, low, high))
            ours.at<uchar>(p) += 255;
        QCOMPARE(cv::countNonZero(library != ours), 0);
    }
    // Below zero, a low threshold makes a pixel without gradient an edge
    // between two whose squared magnitudes wrap: the library's too.
    cv::Mat dx(3, 3, CV_16S, cv::Scalar(0));
    dx.at<short>(0, 0) = dx.at<short>(2, 2) = -32768;
    const RowSpans first{{0, 1}}, none, last{{2, 3}};
    cv::Mat library, ours(3, 3, CV_8U, cv::Scalar(0));
    cv::Canny(dx, dx, library, -1, -1, true);
    for (const cv::Point &p : canny_edges(dx, dx, {&first, &none, &last}, -1, -1))
        ours.at<uchar>(p) = 255;
    QCOMPARE(library.at<uchar>(1, 1), uchar(255));
    QCOMPARE(cv::countNonZero(library != ours), 0);
}

void TestCore::pairPictures()
{
    // The ExGR mask carried by area: a thermal pixel is plant when at least
    // --purity of it is plant. Here 40 of 87 columns of the first one are.
    cv::Mat part(640, 870, CV_8UC3, cv::Scalar(140, 180, 200));
    part(cv::Rect(0, 0, 40, 640)).setTo(cv::Scalar(50, 140, 60));
    QCOMPARE(plant_mask(part, 10, 8, {MaskMethod::ExGR, 0.45}).at<uchar>(0, 0), uchar(255));
    QCOMPARE(plant_mask(part, 10, 8, {MaskMethod::ExGR, 0.5}).at<uchar>(0, 0), uchar(0));

    // Left half of the field plant; the soil's temperatures -3 and nan.
    cv::Mat rgb = photograph(cv::Scalar(100, 100, 100));
    rgb(cv::Rect(597, 504, 435, 640)).setTo(cv::Scalar(40, 140, 50));
    cv::Mat temps = (cv::Mat_<double>(2, 4) << 24.5, nan_, -3, nan_, 24.5, 26.5, -3, -3);
    // A plant pixel without a temperature counts nowhere.
    const PairPictures p = compute_pair(cv::Mat(2, 4, CV_8UC3, cv::Scalar(9, 9, 9)), rgb, temps);
    QCOMPARE(p.mean, (24.5 + 24.5 + 26.5) / 3);
    const QByteArray plant_table(
        "24.500000,nan,-0.000000,nan,\n24.500000,26.500000,-0.000000,-0.000000,\n");
    QCOMPARE(QByteArray::fromStdString(temperature_table(temps, p.plant)), plant_table);
    std::string plants, every; // both at once, as with --temperatures
    temperature_tables(temps, p.plant, plants, every);
    QCOMPARE(QByteArray::fromStdString(plants), plant_table);
    QCOMPARE(
        QByteArray::fromStdString(every),
        QByteArray("24.500000,nan,-3.000000,nan,\n24.500000,26.500000,-3.000000,-3.000000,\n"));
    QVERIFY(std::isnan(
        compute_pair(cv::Mat::zeros(2, 4, CV_8UC3), photograph(cv::Scalar::all(100)), temps).mean));

    // Blend: 1 over 0 rounds up to 1, 255 over 255 stays; outside the field 255 gives 128.
    cv::Mat blend_rgb(1144, 1467, CV_8UC3, cv::Scalar(255, 1, 0));
    blend_rgb(Field().rect()).setTo(cv::Scalar(0, 255, 3));
    const cv::Mat blend = aligned_blend(cv::Mat(6, 8, CV_8UC3, cv::Scalar(1, 255, 0)), blend_rgb);
    QCOMPARE(blend.at<cv::Vec3b>(504, 597), cv::Vec3b(1, 255, 2));
    QCOMPARE(blend.at<cv::Vec3b>(1143, 1466), cv::Vec3b(1, 255, 2));
    QCOMPARE(blend.at<cv::Vec3b>(503, 597), cv::Vec3b(128, 1, 0));
    QCOMPARE(pictures_problem(cv::Mat(2, 2, CV_8UC3), cv::Mat(1144, 1466, CV_8UC3)),
             QStringLiteral("The photograph is 1466 x 1144 pixels, smaller than 1467 x 1144."));
}

void TestCore::thermalMap_data()
{
    QTest::addColumn<int>("palette");
    QTest::addColumn<cv::Vec3b>("cold"); // blue, green, red at the range's ends and middle
    QTest::addColumn<cv::Vec3b>("middle");
    QTest::addColumn<cv::Vec3b>("hot");
    // Inferno as published with matplotlib (entries 0, 128, 255); iron from
    // its stops, the middle (128/255) between 0.35 and 0.55 worked by hand.
    QTest::newRow("inferno") << int(Palette::Inferno) << cv::Vec3b(4, 0, 0)
                             << cv::Vec3b(84, 55, 188) << cv::Vec3b(164, 255, 252);
    QTest::newRow("iron") << int(Palette::Iron) << cv::Vec3b(10, 0, 0) << cv::Vec3b(64, 46, 203)
                          << cv::Vec3b(230, 255, 255);
    QTest::newRow("grey") << int(Palette::Grey) << cv::Vec3b(0, 0, 0) << cv::Vec3b(128, 128, 128)
                          << cv::Vec3b(255, 255, 255);
}

void TestCore::thermalMap()
{
    QFETCH(int, palette);
    QFETCH(cv::Vec3b, cold);
    QFETCH(cv::Vec3b, middle);
    QFETCH(cv::Vec3b, hot);
    // 10, 15, 20, 25, 30 °C and one without temperature, over 15 to 25 °C.
    const cv::Mat temps = (cv::Mat_<double>(1, 6) << 10, 15, 20, 25, 30, nan_);
    const cv::Mat map = thermal_map(temps, Palette(palette), 15, 25);
    const cv::Vec3b expected[] = {cold, cold, middle, hot, hot, cv::Vec3b(96, 96, 96)};
    for (int c = 0; c < 6; ++c)
        QCOMPARE(map.at<cv::Vec3b>(c), expected[c]);
    QCOMPARE(nice_ticks(21.3, 33.9), (std::vector<double>{22, 24, 26, 28, 30, 32}));
    QCOMPARE(tick_label(22.5, 2.5), std::string("22.5"));

    // Thermal contours: 20 °C in the left 20 of 48 thermal columns, 30 °C in
    // the rest, over a grey photograph, the field 10 photograph pixels to a
    // thermal pixel, shown at half resolution: one line where the step lies.
    cv::Mat step(36, 48, CV_64FC1, cv::Scalar(30));
    step.colRange(0, 20).setTo(20);
    step.at<double>(30, 40) = nan_;
    const PhotoScales grey(cv::Mat(600, 800, CV_8UC3, cv::Scalar::all(128)));
    const ContourPicture contours =
        thermal_contours(grey, step, {100, 80, 480, 360}, {40, 30, 700, 500}, 1);
    const auto drawn = [](const ContourPicture &c) {
        return drawn_picture(c.view, [&c](int y, uchar *row) { c.draw_row(y, row); });
    };
    const cv::Mat view = drawn(contours);
    QCOMPARE(view.size(), cv::Size(350, 250));
    // Drawn row by row as it is encoded: the same picture. The outline, also
    // of a field partly beyond the view, where the library's rectangle lies.
    const auto draw = [&contours](int y, uchar *row) { contours.draw_row(y, row); };
    QCOMPARE(encode_picture(contours.view, ".jpg", {}, draw).bytes,
             encode_picture(view, ".jpg").bytes);
    const auto outlined = [](const cv::Mat &picture) {
        cv::Mat on;
        const cv::Scalar colour(field_outline_colour);
        cv::inRange(picture, colour, colour, on);
        return on;
    };
    for (const cv::Rect &field : {cv::Rect(100, 80, 480, 360), cv::Rect(-50, 300, 500, 400)}) {
        const ContourPicture c = thermal_contours(grey, step, field, {40, 30, 700, 500}, 1);
        cv::Mat library(c.view.size(), CV_8UC3, cv::Scalar::all(0));
        cv::rectangle(library, c.field, cv::Scalar(field_outline_colour), 1);
        QCOMPARE(cv::norm(outlined(drawn(c)), outlined(library), cv::NORM_INF), 0.0);
    }
    const int on_step = (100 - 40 + 20 * 10) / 2; // 130
    for (int r = 25 + 3; r < 25 + 180 - 3; ++r) {
        int drawn = 0;
        for (int c = 31; c < 30 + 240 - 1; ++c)
            if (view.at<cv::Vec3b>(r, c) == contour_colour) {
                QVERIFY2(std::abs(c - on_step) <= 1, qPrintable(QString("%1,%2").arg(r).arg(c)));
                ++drawn;
            }
        QVERIFY(drawn > 0);
    }
    QCOMPARE(view.at<cv::Vec3b>(10, 10), cv::Vec3b(128, 128, 128)); // outside the field
}

void TestCore::filledTemperatures()
{
    // Rows long enough for the vector code; a lone missing temperature takes
    // its neighbours' mean, the middle of a 5 x 5 hole the mean of all others.
    cv::Mat temps(30, 64, CV_64FC1);
    for (int r = 0; r < temps.rows; ++r)
        for (int c = 0; c < temps.cols; ++c)
            temps.at<double>(r, c) = 20 + 0.1 * c + 0.01 * r * r;
    const cv::Rect hole(10, 20, 5, 5);
    const double neighbours =
        (cv::sum(temps(cv::Rect(49, 2, 3, 3)))[0] - temps.at<double>(3, 50)) / 8;
    const double others = (cv::sum(temps)[0] - cv::sum(temps(hole))[0] - temps.at<double>(3, 50)) /
                          double(temps.total() - 26);
    temps.at<double>(3, 50) = nan_;
    temps(hole).setTo(nan_);
    const cv::Mat filled = filled_temperatures(temps);
    QVERIFY(cv::checkRange(filled));
    QVERIFY(std::abs(filled.at<float>(3, 50) - neighbours) < 1e-4);
    QVERIFY(std::abs(filled.at<float>(22, 12) - others) < 1e-4);
}

void TestCore::correlation_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("templ");
    QTest::newRow("many places: by transform") << QSize(230, 174) << QSize(56, 42);
    QTest::newRow("few places: directly") << QSize(66, 50) << QSize(59, 42);
    QTest::newRow("one place") << QSize(96, 72) << QSize(96, 72);
}

void TestCore::correlation()
{
    QFETCH(QSize, image);
    QFETCH(QSize, templ);
    // Smooth random edges, and a flat corner as large as the template.
    cv::Mat a(image.height(), image.width(), CV_32F), t(templ.height(), templ.width(), CV_32F);
    cv::randu(a, 0, 1);
    cv::randu(t, 0, 1);
    cv::GaussianBlur(a, a, cv::Size(5, 5), 1);
    cv::GaussianBlur(t, t, cv::Size(5, 5), 1);
    if (image != templ)
        a(cv::Rect(0, 0, t.cols, t.rows)).setTo(0.25);
    cv::Mat expected;
    cv::matchTemplate(a, t, expected, cv::TM_CCOEFF_NORMED);
    QVERIFY(cv::norm(CorrelationTemplate(t).correlate(a), expected, cv::NORM_INF) < 1e-4);
    // A flat template correlates fully everywhere.
    QCOMPARE(cv::countNonZero(
                 CorrelationTemplate(cv::Mat(t.size(), CV_32F, cv::Scalar(3))).correlate(a) != 1),
             0);
}

void TestCore::edgeMap_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("83 x 61") << QSize(83, 61);
    QTest::newRow("one row") << QSize(7, 1);
    QTest::newRow("one column") << QSize(1, 5);
}

void TestCore::edgeMap()
{
    QFETCH(QSize, size);
    // Random temperatures with a step: a template's edges at their own size
    // are the image library's smoothing, gradient and magnitude, saturating
    // at twice their mean.
    cv::Mat t(size.height(), size.width(), CV_32F), smooth, dx, dy, e;
    cv::randu(t, 0, 1);
    t(cv::Rect(t.cols / 2, 0, t.cols - t.cols / 2, t.rows)) += 1;
    cv::GaussianBlur(t, smooth, cv::Size(5, 5), 1, 1, cv::BORDER_REPLICATE);
    cv::Sobel(smooth, dx, CV_32F, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::Sobel(smooth, dy, CV_32F, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::magnitude(dx, dy, e);
    e = e / (e + 2 * cv::mean(e)[0]);
    QVERIFY(cv::norm(thermal_template(t, t.cols).edges, e, cv::NORM_INF) < 1e-5);
}

void TestCore::fallbackField_data()
{
    QTest::addColumn<QSize>("photo");
    QTest::addColumn<double>("view");
    QTest::addColumn<QRect>("field");
    QTest::newRow("the prior fits") << QSize(2048, 1536) << 25.0 << QRect(597, 504, 870, 640);
    // tan(22.5°) / tan(25.5°) = 0.8684 of the width, centred.
    QTest::newRow("45 degree lens") << QSize(640, 480) << 45.0 << QRect(42, 31, 556, 417);
    QTest::newRow("25 degree lens") << QSize(640, 480) << 25.0 << QRect(171, 128, 297, 223);
    QTest::newRow("no field of view") << QSize(640, 480) << nan_ << QRect(0, 0, 640, 480);
}

void TestCore::fallbackField()
{
    QFETCH(QSize, photo);
    QFETCH(double, view);
    QFETCH(QRect, field);
    const Field f = fallback_field({photo.width(), photo.height()}, {160, 120}, Field(), view);
    QCOMPARE(QRect(f.x, f.y, f.width, f.height), field);
    // A search that trusts no field keeps the one it started from: it moved none.
    cv::Mat rgb(photo.height(), photo.width(), CV_8UC3), temps(120, 160, CV_64FC1);
    cv::randu(rgb, 0, 255);
    cv::randu(temps, 20, 30);
    const Registration r = register_field(rgb, temps, Field(), view);
    QVERIFY2(!r.registered && r.field == f && r.shift == 0, qPrintable(r.note));
    // Nor can one be searched near a field narrower than any searched, nor
    // by a thermal picture without edges: said, and no search is reported.
    const Registration narrow = register_near(rgb(cv::Rect(0, 0, 64, 48)), temps, {6, 5, 51, 38});
    QVERIFY(narrow.note.startsWith("no field can be searched near one 51 px wide") &&
            !narrow.searched);
    const Registration flat = register_field(rgb, cv::Mat(120, 160, CV_64FC1, cv::Scalar(25)), f);
    QCOMPARE(flat.note, QString("the thermal picture shows no edges to search by; the field %1,%2,"
                                "%3,%4 is used instead")
                            .arg(f.x)
                            .arg(f.y)
                            .arg(f.width)
                            .arg(f.height));
    QVERIFY(!flat.searched && !flat.registered && flat.field == f);
}

void TestCore::writeTogether()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("a");
    write_file(dir.filePath("a/old.jpg"), "old");
    const QString problem = write_together({{dir.filePath("a/old.jpg"), "new"},
                                            {dir.filePath("a/x.csv"), "table"},
                                            {dir.filePath("missing/y.jpg"), "picture"}});
    QVERIFY2(problem.startsWith(dir.filePath("missing/y.jpg") + " cannot be written ("),
             qPrintable(problem));
    QCOMPARE(QDir(dir.filePath("a")).entryList(QDir::Files | QDir::Hidden), QStringList{"old.jpg"});
    QCOMPARE(read_file(dir.filePath("a/old.jpg")),
             QByteArray("old")); // untouched until all are done
    QCOMPARE(write_together({{dir.filePath("a/old.jpg"), "new"}, {dir.filePath("a/x.csv"), "t"}}),
             QString());
    QCOMPARE(read_file(dir.filePath("a/old.jpg")), QByteArray("new"));

    TextFile text;
    QCOMPARE(text.open(dir.filePath("a/result.csv")), QString());
    QCOMPARE(text.write("header\n"), QString());
    QVERIFY(!QFile::exists(dir.filePath("a/result.csv"))); // absent until complete
    QCOMPARE(text.commit(), QString());
    QCOMPARE(read_file(dir.filePath("a/result.csv")), QByteArray("header\n"));
    QCOMPARE(text.open(dir.filePath("a")),
             dir.filePath("a") + " cannot be written (Is a directory).");

    // A link planted under a temporary name is replaced, not written through
    // (links under the result names: fuzz_pairs).
    const QString outside = dir.filePath("outside.csv");
    write_file(outside, "keep");
    QVERIFY(QFile::link(outside, dir.filePath("a/.planted.csv.part")));
    QCOMPARE(write_together({{dir.filePath("a/planted.csv"), "new\n"}}), QString());
    QCOMPARE(read_file(outside), QByteArray("keep"));
    QCOMPARE(read_file(dir.filePath("a/planted.csv")), QByteArray("new\n"));

    // A file with the bytes of the one before it is a second name of it, a
    // link planted under its temporary name replaced too.
    QVERIFY(QFile::link(outside, dir.filePath("a/.twin.png.part")));
    QCOMPARE(write_together(
                 {{dir.filePath("a/one.png"), "map"}, {dir.filePath("a/twin.png"), "map", true}}),
             QString());
    struct stat one, twin;
    QVERIFY(::stat(qPrintable(dir.filePath("a/one.png")), &one) == 0 &&
            ::stat(qPrintable(dir.filePath("a/twin.png")), &twin) == 0);
    QCOMPARE(twin.st_ino, one.st_ino);
    QCOMPARE(read_file(dir.filePath("a/twin.png")), QByteArray("map"));
    QCOMPARE(read_file(outside), QByteArray("keep"));
    // A name as long as file systems allow (254 bytes) is written, and no
    // other file stays.
    const QString longest = dir.filePath("b/" + QString(125, QChar(0xe9)) + ".csv");
    QDir(dir.path()).mkdir("b");
    QCOMPARE(write_together({{longest, "table"}}), QString());
    QCOMPARE(QDir(dir.filePath("b")).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(longest).fileName()});
}

void TestCore::failureInsideAPair()
{
    // Whatever goes wrong inside a pair skips that pair with the problem; the
    // run goes on with the next.
    class Failing : public PairMeasurer
    {
    public:
        Measurement measure(const PairPlan &plan, Radiometry, KeptPhoto) override
        {
            if (plan.pair == 0)
                throw std::bad_alloc();
            if (plan.pair == 1)
                CV_Error(cv::Error::StsBadSize, "a picture the library refuses");
            Measurement m;
            m.temps = cv::Mat(20, 29, CV_64FC1, cv::Scalar(21.5));
            return m;
        }
    };
    // The disk fills up once pair 4's files are placed: result.csv can take
    // no more (a file size limit stands for it).
    QTemporaryDir dir;
    struct FillsUp : PairExtras {
        QString part;
        std::string piece(const ProcessedPair &p) override
        {
            const rlimit full{rlim_t(QFileInfo(part).size()), RLIM_INFINITY};
            if (p.outcome.plan.pair == 3)
                setrlimit(RLIMIT_FSIZE, &full);
            return {};
        }
        void add(const PairOutcome &) override {}
        QString finish(const RunResult &) override { return {}; }
    } fills;
    fills.part = dir.filePath(".result.csv.part");
    RunInput input;
    input.output_dir = dir.path();
    for (int n = 1; n <= 4; ++n) {
        write_pair(dir.path(), n, unsigned(n));
        input.image_files << list_jpeg_files(dir.path(), FolderLinks::Skip).files.mid(2 * n - 2, 2);
    }
    std::signal(SIGXFSZ, SIG_IGN);
    for (int jobs : {1, 2}) {
        input.options.extras = jobs == 1 ? &fills : nullptr;
        const RunResult r = run_generation(
            input, [] { return std::make_unique<Failing>(); }, jobs);
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(r.outcomes[0].problem,
                 QStringLiteral("There was not enough memory to process the pair."));
        QCOMPARE(r.outcomes[1].problem,
                 QStringLiteral("The pair could not be processed: a picture the library refuses"));
        QCOMPARE(int(r.outcomes[2].state), int(PairState::Processed));
        if (jobs == 2) {
            QCOMPARE(read_file(dir.filePath("result.csv")),
                     QByteArray("Image number, Time, Average Temp\n3.000000,,21.500000\n"
                                "4.000000,,21.500000\n"));
            continue;
        }
        // Pair 4 is not counted as processed, and its files go with its line.
        const QString lost = dir.filePath("result.csv") + " cannot be written (File too large).";
        QCOMPARE(r.outcomes[3].problem, "Its line of the summary could not be written: " + lost);
        QCOMPARE(r.result_problem, lost);
        QVERIFY(QFile::exists(dir.filePath("0Aligned/0Aligned_3.jpg")));
        QVERIFY(!QFile::exists(dir.filePath("0Aligned/0Aligned_4.jpg")));
        QVERIFY(!QFile::exists(dir.filePath("result.csv")));
    }
}

void TestCore::temperatureSpill()
{
    // A record cut short by a full disk is cut away: the records before and
    // after it read back whole, by their places and by going through the file.
    QTemporaryDir dir;
    const QString path = dir.filePath("temperatures");
    TemperatureSpill spill;
    QCOMPARE(spill.open(path), QString());
    const auto temps = [](int pair) {
        cv::Mat t(30, 40 + pair, CV_32F);
        cv::randn(t, 20 + pair, 5);
        return t;
    };
    std::vector<cv::Mat> added;
    std::signal(SIGXFSZ, SIG_IGN);
    for (int pair = 0; pair < 4; ++pair) {
        added.push_back(temps(pair));
        const rlimit limit{pair == 2 ? rlim_t(QFileInfo(path).size() + 100) : RLIM_INFINITY,
                           RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        QCOMPARE(spill.add(pair, added.back()),
                 pair == 2 ? path + " cannot be written (File too large)." : QString());
    }
    for (int pair = 0; pair < 4; ++pair)
        for (const cv::Mat &back : {spill.read(pair), read_spilled(path, pair)}) {
            QCOMPARE(back.empty(), pair == 2);
            if (pair != 2)
                QCOMPARE(cv::norm(back, added[size_t(pair)], cv::NORM_INF), 0.0);
        }
}

void TestCore::pairing_data()
{
    // Each file "NAME KIND [HH:MM:SS[.ff+zone]]": r radiometric, e radiometric
    // keeping a photograph, p photograph, s an editor's sidecar file, n a
    // camera's raw file, x unreadable; no time: none. The
    // pairs formed: "radiometric+photograph" (none after + : its own
    // photograph), "name!" skipped; then the photographs in no pair.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<QString>("pairs");
    QTest::addColumn<QString>("left");
    QTest::newRow("E-series: IR_n and DC_n+1, 0.5 s apart, one photograph missing, one extra")
        << QStringList{"DC_6008 p 10:00:01",          "DC_6010 p 10:00:04",
                       "DC_6012 p 10:00:07",          "DC_6020 p 10:00:30",
                       "IR_6007 r 10:00:00.70+02:00", "IR_6009 r 10:00:03.70",
                       "IR_6011 r 10:00:06.70",       "IR_6013 e 10:00:09.70",
                       "IR_6015 r 10:00:12.70"}
        << 2.0 << "IR_6007+DC_6008 IR_6009+DC_6010 IR_6011+DC_6012 IR_6013+ IR_6015!"
        << "DC_6020";
    QTest::newRow("a second apart: ties to the nearer name, the photograph numbered after")
        << QStringList{"IR_1 r 10:00:00", "DC_2 p 10:00:01", "IR_3 r 10:00:02", "DC_4 p 10:00:03"}
        << 2.0 << "IR_1+DC_2 IR_3+DC_4"
        << "";
    // A later shot's photograph taken before another pair's is not taken.
    QTest::newRow("shots a second apart, each photograph a second late: no two pairs cross")
        << QStringList{"IR_6007 r 10:00:00", "DC_6008 p 10:00:01", "IR_6009 r 10:00:01",
                       "DC_6010 p 10:00:02", "IR_6011 r 10:00:02", "DC_6012 p 10:00:03"}
        << 5.0 << "IR_6007! IR_6009+DC_6008 IR_6011+DC_6010"
        << "DC_6012";
    QTest::newRow("an extra photograph beside exact pairs, one missing")
        << QStringList{"X p 10:00:00", "IR_0010 r 10:00:02", "DC_0011 p 10:00:02",
                       "IR_0012 r 10:00:04"}
        << 2.0 << "IR_0010+DC_0011 IR_0012!"
        << "X";
    QTest::newRow("two cameras' numbers: the nearest in time")
        << QStringList{"IR_50 r 10:00:00", "DSC_1234 p 10:00:00", "IR_51 r 10:00:01",
                       "DSC_1235 p 10:00:01"}
        << 2.0 << "IR_50+DSC_1234 IR_51+DSC_1235"
        << "";
    QTest::newRow("numbers wrapping within a second")
        << QStringList{"IR_9999 r 10:00:00", "DC_0000 p 10:00:00", "IR_0001 r 10:00:00",
                       "DC_0002 p 10:00:00"}
        << 2.0 << "IR_9999+DC_0000 IR_0001+DC_0002"
        << "";
    QTest::newRow("nearest in time first, whatever the names")
        << QStringList{"a r 10:00:00", "b p 10:00:02", "c r 10:00:03", "d p 10:00:00.9"} << 2.0
        << "a+d c+b"
        << "";
    QTest::newRow("a sidecar and a raw file as near as the photograph, and nearer in the list")
        << QStringList{"IR_1 r 10:00:00", "DC_2.xmp s 10:00:01", "DC_2.nef n 10:00:01",
                       "DC_2 p 10:00:01"}
        << 2.0 << "IR_1+DC_2"
        << "DC_2.xmp DC_2.nef";
    QTest::newRow("one photograph for two radiometric images")
        << QStringList{"IR_1 r 10:00:00", "IR_3 r 10:00:00", "DC_2 p 10:00:01"} << 2.0
        << "IR_1+DC_2 IR_3!"
        << "";
    QTest::newRow("an image in no pair, numbered as another pair")
        << QStringList{"FLIR1 r 10:00:00", "FLIR2 r 10:05:00", "DSC_1 p 10:05:00"} << 2.0
        << "FLIR1! FLIR2+DSC_1"
        << "";
    QTest::newRow("no capture time, unreadable, tolerance 0")
        << QStringList{"IR_1 r",          "DC_2 p 10:00:00", "IR_3 e", "DC_4 p",
                       "IR_5 r 10:00:05", "DC_6 p 10:00:06", "odd x"}
        << 0.0 << "IR_1! IR_3+ IR_5! odd!"
        << "DC_2 DC_4 DC_6";
}

void TestCore::pairing()
{
    QFETCH(QStringList, files);
    QFETCH(double, tolerance);
    QFETCH(QString, pairs);
    QFETCH(QString, left);
    QStringList paths;
    std::vector<FileFacts> facts;
    for (const QString &file : files) {
        const QStringList f = file.split(' ');
        paths << "/in/" + f[0] + ".jpg";
        FileFacts ff;
        ff.problem = f[1] == "x" ? "ExifTool cannot read it." : "";
        ff.raw = f[1] == "r" || f[1] == "e";
        ff.embedded = f[1] == "e" ? cv::Size(640, 480) : cv::Size();
        ff.mime = f[1] == "s"   ? "application/rdf+xml"
                  : f[1] == "n" ? "image/x-nikon-nef"
                                : "image/jpeg";
        ff.date_time = f.size() > 2 ? "2024:06:01 " + f[2].toUtf8() : QByteArray();
        facts.push_back(ff);
    }
    const PairingPlan plan = pair_by_time(paths, facts, tolerance);
    const auto name = [](const QString &path) { return QFileInfo(path).completeBaseName(); };
    QStringList formed, unpaired;
    for (const PairSource &p : plan.pairs)
        formed << name(p.radiometric) + (p.problem.isEmpty() ? "+" + name(p.visible) : "!");
    for (const QString &l : plan.left_over)
        unpaired << name(l.section(':', 0, 0));
    QCOMPARE(formed.join(' '), pairs);
    QCOMPARE(unpaired.join(' '), left);
    if (QTest::currentDataTag()[0] == 'o')
        QCOMPARE(
            plan.pairs[1].problem,
            QString("It is in no pair: the photographs taken within 2 s of its capture at "
                    "2024:06:01 10:00:00 are paired with other radiometric images, and it keeps no "
                    "photograph inside."));
    if (QByteArray(QTest::currentDataTag()).startsWith("shots a second apart")) {
        const QString across = "is in no pair either, but the two would cross another pair in "
                               "time (one taken before that pair's shot, the other after)";
        QCOMPARE(plan.pairs[0].problem, "It is in no pair: the photograph taken within 5 s of its "
                                        "capture at 2024:06:01 10:00:00 " +
                                            across + ", and it keeps no photograph inside.");
        QCOMPARE(plan.left_over[0],
                 "/in/DC_6012.jpg: the radiometric image taken within 5 s of it " + across + ".");
    }
    RunInput by_time;
    by_time.pairs = plan.pairs;
    // An image in no pair writes no files that another pair's could replace.
    if (QByteArray(QTest::currentDataTag()).startsWith("an image in no pair"))
        QCOMPARE(first_shared_name(plan_pairs(by_time)).name, QString());
    if (QTest::currentDataTag()[0] != 'E')
        return;
    // In the list's order nothing is read; two pairs writing files of one
    // name are found, by number or by the photograph's name, table entries
    // aside.
    RunInput input;
    input.image_files = QStringList{"/in/a.jpg", "/in/plotA.jpg", "/in/b.jpg", "/x/plotA.jpg"};
    const auto shared = [&input] { return plan_pairing(input, nullptr, 1).shared.name; };
    QCOMPARE(shared(), QString("0"));
    input.options.naming = Naming::File;
    QCOMPARE(shared(), QString("plotA"));
    input.options.naming = Naming::Number;
    input.refl_loaded = true;
    input.refl_table = {0, 0.9, 20};
    QCOMPARE(shared(), QString());
}

QTEST_APPLESS_MAIN(TestCore)
#include "tst_core.moc"
