// One pair's alignment, plant mask, temperature table and mean, on small
// pictures built in code.

#include "alignment.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <limits>

using namespace ardentis;

namespace
{

const cv::Vec3b grey(100, 100, 100);

// A photograph of exactly the smallest size, the field filled with `inside`.
cv::Mat photograph(cv::Vec3b inside, cv::Vec3b outside = cv::Vec3b(255, 255, 255))
{
    cv::Mat rgb(1144, 1467, CV_8UC3, cv::Scalar(outside[0], outside[1], outside[2]));
    rgb(cv::Rect(field_left, field_top, field_width, field_height))
        .setTo(cv::Scalar(inside[0], inside[1], inside[2]));
    return rgb;
}

} // namespace

class TestAlignment : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void plantTest_data();
    void plantTest();
    void table();
    void soilNanDoesNotSpoilTheMean();
    void noPlantGivesNan();
    void tableShape_data();
    void tableShape();
    void blendRounding();
    void smallestPhotographReachesTheFieldCorner();
    void problems_data();
    void problems();
    void unwritableFolderWritesNothing();

private:
    std::unique_ptr<QTemporaryDir> tmp;
};

void TestAlignment::init()
{
    tmp = std::make_unique<QTemporaryDir>();
    for (const char *sub : {"0Aligned", "1PartRGB", "2Mascara", "3tempmask"})
        QDir(tmp->path()).mkdir(sub);
}

void TestAlignment::plantTest_data()
{
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::addColumn<bool>("plant");
    QTest::newRow("green 10, blue 10") << 10 << 10 << false;
    QTest::newRow("green 11, blue 10") << 11 << 10 << true;
    QTest::newRow("black") << 0 << 0 << false;
    QTest::newRow("green 1, blue 0") << 1 << 0 << true;
    QTest::newRow("blue stronger") << 100 << 140 << false;
}

void TestAlignment::plantTest()
{
    QFETCH(int, green);
    QFETCH(int, blue);
    QFETCH(bool, plant);
    const cv::Mat ir(6, 8, CV_8UC3, cv::Scalar(1, 2, 3));
    const cv::Mat temps(6, 8, CV_64FC1, cv::Scalar(24.5));
    const double mean = process_pair(ir, photograph(cv::Vec3b(uchar(blue), uchar(green), 200)),
                                     temps, tmp->path(), 7);
    if (plant)
        QCOMPARE(mean, 24.5);
    else
        QVERIFY(std::isnan(mean));
    const cv::Mat mask = cv::imread((tmp->path() + "/2Mascara/2Mascara1_7.jpg").toStdString());
    QCOMPARE(mask.size(), cv::Size(8, 6));
    QVERIFY(cv::norm(mask, cv::NORM_INF) <= (plant ? 6 : 0)); // a JPEG of (1,2,3) or black
    if (plant)
        QVERIFY(cv::norm(mask, cv::NORM_INF) > 0);
}

void TestAlignment::table()
{
    // Left half plant at 24.5 C, right half soil at -3 C.
    const cv::Mat ir(2, 4, CV_8UC3, cv::Scalar(9, 9, 9));
    cv::Mat temps(2, 4, CV_64FC1, cv::Scalar(-3));
    temps(cv::Rect(0, 0, 2, 2)).setTo(24.5);
    temps.at<double>(1, 1) = 26.5;
    cv::Mat rgb = photograph(grey);
    rgb(cv::Rect(field_left, field_top, field_width / 2, field_height))
        .setTo(cv::Scalar(40, 140, 50));
    const double mean = process_pair(ir, rgb, temps, tmp->path(), 12);
    QCOMPARE(mean, 25.0);
    QCOMPARE(read_file(tmp->path() + "/3tempmask/3tempmask_12.csv"),
             QByteArray("24.500000,24.500000,-0.000000,-0.000000,\n"
                        "24.500000,26.500000,-0.000000,-0.000000,\n"));
    for (const char *file :
         {"/0Aligned/0Aligned_12.jpg", "/1PartRGB/1PartRGB_12.jpg", "/2Mascara/2Mascara1_12.jpg"})
        QVERIFY2(!read_file(tmp->path() + file).isEmpty(), file);
    const cv::Mat part = cv::imread((tmp->path() + "/1PartRGB/1PartRGB_12.jpg").toStdString());
    QCOMPARE(part.size(), cv::Size(870, 640));
    QCOMPARE(cv::imread((tmp->path() + "/0Aligned/0Aligned_12.jpg").toStdString()).size(),
             cv::Size(1467, 1144));
}

void TestAlignment::soilNanDoesNotSpoilTheMean()
{
    const cv::Mat ir(1, 2, CV_8UC3, cv::Scalar(9, 9, 9));
    cv::Mat temps(1, 2, CV_64FC1, cv::Scalar(20.5));
    temps.at<double>(0, 1) = std::numeric_limits<double>::quiet_NaN();
    cv::Mat rgb = photograph(grey);
    rgb(cv::Rect(field_left, field_top, field_width / 2, field_height))
        .setTo(cv::Scalar(40, 140, 50));
    QCOMPARE(process_pair(ir, rgb, temps, tmp->path(), 4), 20.5);
    QCOMPARE(read_file(tmp->path() + "/3tempmask/3tempmask_4.csv"), QByteArray("20.500000,nan,\n"));
}

void TestAlignment::noPlantGivesNan()
{
    const cv::Mat ir(3, 3, CV_8UC3, cv::Scalar(50, 60, 70));
    const cv::Mat temps(3, 3, CV_64FC1, cv::Scalar(20));
    QVERIFY(std::isnan(process_pair(ir, photograph(grey), temps, tmp->path(), 0)));
    QCOMPARE(read_file(tmp->path() + "/3tempmask/3tempmask_0.csv"),
             QByteArray("0.000000,0.000000,0.000000,\n").repeated(3));
}

void TestAlignment::tableShape_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("raw");
    QTest::newRow("320 x 240") << QSize(320, 240) << QSize(320, 240);
    QTest::newRow("picture 320 x 240 over raw 240 x 180") << QSize(320, 240) << QSize(240, 180);
    QTest::newRow("picture 640 x 480 over raw 320 x 240") << QSize(640, 480) << QSize(320, 240);
}

void TestAlignment::tableShape()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, raw);
    const cv::Mat ir(picture.height(), picture.width(), CV_8UC3, cv::Scalar(30, 200, 30));
    const cv::Mat temps(raw.height(), raw.width(), CV_64FC1, cv::Scalar(21.25));
    const double mean = process_pair(ir, photograph(cv::Vec3b(40, 140, 50)), temps, tmp->path(), 5);
    QCOMPARE(mean, 21.25);
    const QList<QByteArray> lines =
        read_file(tmp->path() + "/3tempmask/3tempmask_5.csv").split('\n');
    QCOMPARE(lines.size(), raw.height() + 1); // the last line ends in a line feed
    QCOMPARE(lines.last(), QByteArray());
    QCOMPARE(lines.first().count(','), raw.width());
    QCOMPARE(lines.first(), QByteArray("21.250000,").repeated(raw.width()));
    const cv::Mat mask = cv::imread((tmp->path() + "/2Mascara/2Mascara1_5.jpg").toStdString());
    QCOMPARE(mask.size(), cv::Size(raw.width(), raw.height()));
}

void TestAlignment::blendRounding()
{
    // Thermal value 1 over photograph 0 gives 1 (0.5 rounds up); 255 over
    // 255 stays 255; outside the field 255 gives 128 and 1 gives 1.
    cv::Mat rgb(1144, 1467, CV_8UC3, cv::Scalar(255, 1, 0));
    rgb(cv::Rect(field_left, field_top, field_width, field_height)).setTo(cv::Scalar(0, 255, 3));
    const cv::Mat ir(6, 8, CV_8UC3, cv::Scalar(1, 255, 0));
    const cv::Mat blend = aligned_blend(ir, rgb);
    QCOMPARE(blend.at<cv::Vec3b>(field_top, field_left), cv::Vec3b(1, 255, 2));
    QCOMPARE(blend.at<cv::Vec3b>(field_top + field_height - 1, field_left + field_width - 1),
             cv::Vec3b(1, 255, 2));
    QCOMPARE(blend.at<cv::Vec3b>(0, 0), cv::Vec3b(128, 1, 0));
    QCOMPARE(blend.at<cv::Vec3b>(field_top - 1, field_left), cv::Vec3b(128, 1, 0));
    QCOMPARE(blend.at<cv::Vec3b>(field_top, field_left + field_width), cv::Vec3b(128, 1, 0));
}

void TestAlignment::smallestPhotographReachesTheFieldCorner()
{
    cv::Mat rgb = photograph(grey);
    rgb.at<cv::Vec3b>(1143, 1466) = cv::Vec3b(0, 255, 0);
    QVERIFY(pictures_problem(cv::Mat(2, 2, CV_8UC3), rgb).isEmpty());
    const cv::Mat blend = aligned_blend(cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(0)), rgb);
    QCOMPARE(blend.at<cv::Vec3b>(1143, 1466), cv::Vec3b(0, 128, 0));
}

void TestAlignment::problems_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("reason");
    QTest::newRow("radiometric undecodable") << "ir empty"
                                             << "radiometric image cannot be decoded";
    QTest::newRow("radiometric grey") << "ir grey"
                                      << "radiometric image is not a picture of three";
    QTest::newRow("photograph undecodable") << "rgb empty"
                                            << "photograph cannot be decoded";
    QTest::newRow("photograph 16-bit") << "rgb 16"
                                       << "photograph is not a picture of three";
    QTest::newRow("photograph narrow") << "rgb 1466"
                                       << "1466 x 1144 pixels, smaller than 1467 x 1144";
    QTest::newRow("photograph short") << "rgb 1143"
                                      << "1467 x 1143 pixels";
}

void TestAlignment::problems()
{
    QFETCH(QString, which);
    QFETCH(QString, reason);
    cv::Mat ir(4, 4, CV_8UC3), rgb(1144, 1467, CV_8UC3);
    if (which == "ir empty")
        ir = cv::Mat();
    if (which == "ir grey")
        ir = cv::Mat(4, 4, CV_8UC1);
    if (which == "rgb empty")
        rgb = cv::Mat();
    if (which == "rgb 16")
        rgb = cv::Mat(1144, 1467, CV_16UC3);
    if (which == "rgb 1466")
        rgb = cv::Mat(1144, 1466, CV_8UC3);
    if (which == "rgb 1143")
        rgb = cv::Mat(1143, 1467, CV_8UC3);
    QVERIFY2(pictures_problem(ir, rgb).contains(reason), qPrintable(pictures_problem(ir, rgb)));
    QVERIFY(!temperatures_problem(cv::Mat()).isEmpty());
    QVERIFY(temperatures_problem(cv::Mat(2, 2, CV_64FC1)).isEmpty());
}

void TestAlignment::unwritableFolderWritesNothing()
{
    QTemporaryDir bare; // no result folders in it
    QString error;
    const double mean =
        process_pair(cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(0)), photograph(grey),
                     cv::Mat(2, 2, CV_64FC1, cv::Scalar(1)), bare.path(), 3, &error);
    QVERIFY(std::isnan(mean));
    QVERIFY2(error.contains("0Aligned_3.jpg"), qPrintable(error));
    const PairFiles files = pair_files("/out", 3);
    QCOMPARE(files.aligned, QStringLiteral("/out/0Aligned/0Aligned_3.jpg"));
    QCOMPARE(files.part, QStringLiteral("/out/1PartRGB/1PartRGB_3.jpg"));
    QCOMPARE(files.mask, QStringLiteral("/out/2Mascara/2Mascara1_3.jpg"));
    QCOMPARE(files.table, QStringLiteral("/out/3tempmask/3tempmask_3.csv"));
}

QTEST_APPLESS_MAIN(TestAlignment)
#include "tst_alignment.moc"
