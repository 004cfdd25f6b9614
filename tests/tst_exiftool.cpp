// Temperatures from radiometric JPEGs through the real exiftool: the window's
// per-query runs against the batch's single exchange on every fixture form,
// the full radiometric model from the file's values, the long-running tool,
// and fake tools for every way a tool can fail.

#include "measurement/exiftool.h"
#include "measurement/stayopen.h"
#include "measurement/tagquery.h"
#include "tests/testutil.h"

using namespace ardentis;
using fixtures::RawForm;

Q_DECLARE_METATYPE(fixtures::Air)

namespace
{

// A long-running tool that answers each query with `answer`, its shell
// variable $n being the query's number, and then with its end marker.
QByteArray stay_open_script(const QByteArray &answer)
{
    return "while read -r line; do case \"$line\" in -execute*) n=${line#-execute}; " + answer +
           ";; esac; done";
}

} // namespace

class TestExifTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void oneExchangeAsPerQuery_data();
    void oneExchangeAsPerQuery();
    void fullModelFromFile_data();
    void fullModelFromFile();
    void cameraLimits_data();
    void cameraLimits();
    void stayOpenAsFreshStarts();
    void valueOutputs();
    void toolFailures_data();
    void toolFailures();
    void hungTool();
    void missingTool();

private:
    QTemporaryDir tmp;
};

void TestExifTool::initTestCase()
{
    QVERIFY(tmp.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(exiftool_program()).isEmpty(), "exiftool is needed");
}

void TestExifTool::oneExchangeAsPerQuery_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<QByteArray>("date"); // DateTimeOriginal as written; empty: none
    QTest::addColumn<QByteArray>("time"); // the time of day the window takes from it
    QTest::addColumn<bool>("given");
    QTest::addColumn<int>("photo"); // 0: none, 1: without alignment values, 2: with them
    QTest::addColumn<QString>("problem");
    const QByteArray date = "2014:03:12 10:15:32", time = "10:15:32";
    QTest::newRow("TIFF") << int(RawForm::LittleEndian) << date << time << false << 2 << "";
    QTest::newRow("PNG, camera byte order")
        << int(RawForm::PngCamera) << date << time << false << 2 << "";
    QTest::newRow("PNG, standard byte order")
        << int(RawForm::PngStandard) << date << time << false << 2 << "";
    QTest::newRow("JPEG-LS") << int(RawForm::JpegLs) << date << time << false << 2 << "";
    QTest::newRow("no capture time")
        << int(RawForm::JpegLs) << QByteArray() << QByteArray() << false << 1 << "";
    // The window takes 8 bytes at offset 45 of the tool's line, up to its line end.
    for (const char *shorter : {"2014:03:12 10:15", "2014:03:12 1"})
        QTest::newRow(shorter) << int(RawForm::LittleEndian) << QByteArray(shorter)
                               << QByteArray(shorter).mid(11) << false << 0 << "";
    QTest::newRow("table values") << int(RawForm::PngCamera) << date << time << true << 0 << "";
    QTest::newRow("no raw data") << int(RawForm::None) << date << time << false << 2
                                 << "No temperatures could be read from the radiometric image "
                                    "(no raw thermal data in it, or ExifTool missing).";
    QTest::newRow("8-bit raw data") << int(RawForm::Png8Bit) << date << time << false << 0
                                    << "The raw thermal data of the radiometric image is not one "
                                       "channel of 16-bit counts.";
}

void TestExifTool::oneExchangeAsPerQuery()
{
    QFETCH(int, form);
    QFETCH(QByteArray, date);
    QFETCH(QByteArray, time);
    QFETCH(bool, given);
    QFETCH(int, photo);
    QFETCH(QString, problem);
    const QString path = tmp.filePath(QStringLiteral("form %1.jpg").arg(QTest::currentDataTag()));
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(40, 30, 18170, 3);
    file.form = RawForm(form);
    file.emissivity = 0.96f;
    file.field_of_view = 45;
    file.date_time_original = date.toStdString();
    if (photo > 0) // larger than one segment: split over many, as cameras write it
        file.embed(fixtures::plot_photograph(640, 480, 40, 30), 100);
    if (photo > 1)
        file.pip = fixtures::PiP{1.4456f, -197, 230, 0, 39, 0, 29};
    QVERIFY(fixtures::write_flir_jpeg(path.toStdString(), file));

    ProcessExifTool per_query;
    double e = 0.8, tr = 30;
    const Measurement a =
        measure_temperatures(per_query, given, path, &e, &tr, tmp.filePath("work.tiff"));
    StayOpenExifTool open;
    const Measurement b =
        measure_in_one_exchange(open, path, given, 0.8, 30, Radiometry::Simple, KeptPhoto::Whole);
    // The photograph as stored, its values as written (Real2IR a float).
    QVERIFY(file.photo.size() > 65536 || photo == 0);
    QCOMPARE(b.photo.bytes,
             QByteArray(reinterpret_cast<const char *>(file.photo.data()), int(file.photo.size())));
    QCOMPARE(b.photo.alignment_problem,
             photo > 1 ? QString() : QString("Real2IR is missing from the radiometric image."));
    if (photo > 1)
        QVERIFY2(std::abs(b.photo.real2ir - 1.4456) < 1e-6 && b.photo.offset_x == -197 &&
                     b.photo.offset_y == 230,
                 qPrintable(QString::number(b.photo.real2ir, 'g', 17)));
    // What pairing by capture time learns of it, in a light exchange.
    const FileFacts facts = read_file_facts(open, path);
    QCOMPARE(facts.raw, form != int(RawForm::None));
    QCOMPARE(facts.date_time, date);
    QCOMPARE(facts.mime, QByteArray("image/jpeg"));
    QCOMPARE(facts.embedded, photo > 0 ? cv::Size(640, 480) : cv::Size());
    QCOMPARE(a.problem, problem);
    QCOMPARE(b.problem, problem);
    QCOMPARE(time_of_day(query_capture_time(per_query, path)), time);
    QCOMPARE(b.time, time);
    QCOMPARE(b.calibration.emissivity, a.calibration.emissivity);
    QCOMPARE(b.calibration.t_refl, a.calibration.t_refl);
    QCOMPARE(e, given ? 0.8 : double(file.emissivity));
    if (!problem.isEmpty())
        return;
    QCOMPARE(cv::norm(a.temps, b.temps, cv::NORM_INF), 0.0);
    QCOMPARE(b.field_of_view, 45.0); // for the field search, which the window does not make
    QVERIFY(std::isnan(a.field_of_view));
    const double tr_used = given ? 30 : fixtures::reported_t_refl(file);
    double worst = 0; // against the formula, from the counts written
    for (int r = 0; r < 30; ++r)
        for (int c = 0; c < 40; ++c)
            worst =
                std::max(worst, std::abs(a.temps.at<double>(r, c) -
                                         expected_temperature(file.counts.at<std::uint16_t>(r, c),
                                                              file, e, tr_used)));
    QVERIFY2(worst < 1e-6, qPrintable(QString::number(worst)));
}

void TestExifTool::fullModelFromFile_data()
{
    QTest::addColumn<fixtures::Air>("air");
    QTest::addColumn<QString>("problem");
    fixtures::Air air;
    air.distance = 12;
    air.humidity = 0.8f;
    air.t_atm_celsius = 31;
    air.window_transmission = 0.8f;
    air.t_window_celsius = 26;
    QTest::newRow("12 m, humid, behind a window") << air << "";
    air.humidity = 1.5f;
    QTest::newRow("humidity above 1")
        << air << "RelativeHumidity of the radiometric image is 1.5; it must be between 0 and 1.";
}

void TestExifTool::fullModelFromFile()
{
    QFETCH(fixtures::Air, air);
    QFETCH(QString, problem);
    const QString path = tmp.filePath("full.jpg");
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(8, 6);
    file.air = air;
    QVERIFY(fixtures::write_flir_jpeg(path.toStdString(), file));
    StayOpenExifTool tool;
    const Measurement m = measure_in_one_exchange(tool, path, false, 0, 0, Radiometry::Full);
    QCOMPARE(m.problem, problem);
    if (!problem.isEmpty())
        return;
    // The values as the file stores them (single precision, kelvin for temperatures).
    const Atmosphere &a = m.calibration.air;
    for (const auto &[read, written] : {std::pair{a.distance, air.distance},
                                        {a.humidity, air.humidity},
                                        {a.window_transmission, air.window_transmission},
                                        {a.x, air.x}})
        QVERIFY(std::abs(read - double(written)) < 1e-9);
    QVERIFY(std::abs(a.t_atm - (double(air.t_atm_celsius + 273.15f) - 273.15)) < 1e-9);
    QVERIFY(std::abs(a.t_window - (double(air.t_window_celsius + 273.15f) - 273.15)) < 1e-9);
    const double simple = own_temperature(file.counts.at<std::uint16_t>(2, 3), file);
    QVERIFY(std::abs(m.temps.at<double>(2, 3) - simple) > 0.1); // the air and the window count
}

void TestExifTool::cameraLimits_data()
{
    QTest::addColumn<double>("cold");           // °C of half the pixels; the others are at 20 °C
    QTest::addColumn<float>("saturated");       // CameraTemperatureMinSaturated
    QTest::addColumn<QVector<float>>("damage"); // PlanckR2, PlanckB, PlanckF; 0: as made
    QTest::addColumn<int>("kept");              // pixels with a temperature, of 12
    const QVector<float> none{0, 0, 0};
    // A camera of -20 to 120 °C, clipped from -40, saturated from -60 °C.
    QTest::newRow("winter scene at -44 C") << -44.0 << -60.f << none << 12;
    QTest::newRow("-75 C, beyond it") << -75.0 << -60.f << none << 6;
    QTest::newRow("limits out of order: the default") << -66.0 << -30.f << none << 6;
    QTest::newRow("PlanckR2 2") << -44.0 << -60.f << QVector<float>{2, 0, 0} << 0;
    QTest::newRow("PlanckF 1e38") << -44.0 << -60.f << QVector<float>{0, 0, 1e38f} << 0;
    QTest::newRow("PlanckB 1e-45, PlanckF 1e6")
        << -44.0 << -60.f << QVector<float>{0, 1e-45f, 1e6f} << 0;
}

void TestExifTool::cameraLimits()
{
    QFETCH(double, cold);
    QFETCH(float, saturated);
    QFETCH(QVector<float>, damage);
    QFETCH(int, kept);
    fixtures::FlirFile file;
    file.emissivity = 1; // the counts' own temperatures
    file.limits.saturated_min = saturated;
    file.counts = cv::Mat(3, 4, CV_16UC1);
    for (int i = 0; i < 12; ++i)
        file.counts.at<std::uint16_t>(i) =
            std::uint16_t(std::lround(fixtures::count_for(file, i % 2 ? 20 : cold)));
    const fixtures::FlirFile made = file;
    file.r2 = damage[0] ? damage[0] : file.r2;
    file.b = damage[1] ? damage[1] : file.b;
    file.f = damage[2] ? damage[2] : file.f;
    const QString path = tmp.filePath("limits.jpg");
    QVERIFY(fixtures::write_flir_jpeg(path.toStdString(), file));
    StayOpenExifTool open;
    const Measurement one = measure_in_one_exchange(open, path, false, 0, 0, Radiometry::Simple);
    QCOMPARE(12 - one.without_temperature, kept);
    for (int i = 0; i < 12; ++i) // a temperature kept is the one computed
        if (!std::isnan(one.temps.at<double>(i)))
            QVERIFY(std::abs(one.temps.at<double>(i) -
                             own_temperature(made.counts.at<std::uint16_t>(i), made)) < 1e-6);
}

void TestExifTool::stayOpenAsFreshStarts()
{
    // Paths the argument stream would alter go to a fresh tool: the answers are alike.
    QDir(tmp.path()).mkpath(" lead space");
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(40, 30, 18170);
    file.form = RawForm::PngCamera;
    QVERIFY(fixtures::write_flir_jpeg(tmp.filePath(" lead space/a b.jpg").toStdString(), file));
    QFile::copy(tmp.filePath(" lead space/a b.jpg"), tmp.filePath(" leading.jpg"));
    QDir::setCurrent(tmp.path());
    StayOpenExifTool open;
    ProcessExifTool fresh;
    for (const QString &file : {tmp.filePath(" lead space/a b.jpg"), QStringLiteral(" leading.jpg"),
                                tmp.filePath("nothere.jpg")})
        for (const QStringList &args :
             {QStringList{"-b", "-FlirImage", "-RawThermalImage", "--warning", file},
              one_exchange_arguments(file, Radiometry::Full)})
            QVERIFY2(open.output(args).output == fresh.output(args).output, qPrintable(file));
}

void TestExifTool::valueOutputs()
{
    // The output is taken up to a NUL byte; the path reaches the tool as one argument.
    FakeExifTool fake("printf '  -12.5 C\\000junk'\nfor a in \"$@\"; do echo \"$a\" >> '" +
                      tmp.filePath("args").toUtf8() + "'; done");
    ProcessExifTool tool;
    QCOMPARE(output_text(query_tag(tool, "Emissivity", "/some dir/a b.jpg").output),
             QString("  -12.5 C"));
    QCOMPARE(text_number(output_text(query_tag(tool, "Emissivity", "x.jpg").output)), -12.5);
    QCOMPARE(read_file(tmp.filePath("args")),
             QByteArray("-b\n-Emissivity\n--warning\n/some dir/a b.jpg\n-b\n-Emissivity\n"
                        "--warning\nx.jpg\n"));
}

void TestExifTool::toolFailures_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    const QString late = QStringLiteral("ExifTool did not answer within 1 s.");
    const QByteArray good = "printf 'answer\\n{ready%s}\\n' \"$n\"";
    QTest::newRow("never answers") << QByteArray("exec sleep 600") << late << late;
    QTest::newRow("stops after one answer")
        << stay_open_script(good + "; exec sleep 600") << "" << late;
    QTest::newRow("no end marker") << stay_open_script("printf 'answer\\n'") << late << late;
    QTest::newRow("dies in mid-answer") << stay_open_script("printf '[{\"PlanckR1\": 14'; exit 1")
                                        << "ExifTool stopped before its answer was complete."
                                        << "ExifTool stopped before its answer was complete.";
    QTest::newRow("endless answer")
        << QByteArray("exec yes") << "ExifTool answered more than 256 MB."
        << "";
}

void TestExifTool::toolFailures()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, first);
    QFETCH(QString, second);
    FakeExifTool fake(script);
    // A second is enough to see silence; reading 256 MB may take longer.
    StayOpenExifTool tool(exiftool_program(), script.contains("yes") ? 120000 : 1000);
    const ToolAnswer a = tool.output({"-PlanckR1", "x.jpg"});
    QCOMPARE(a.problem, first);
    if (first.isEmpty())
        QCOMPARE(a.output, QByteArray("answer\n"));
    if (second.isEmpty())
        return;
    QCOMPARE(tool.output({"-PlanckR2", "x.jpg"}).problem, second); // from a fresh tool
    // Never a value from a failed answer.
    const Measurement m = measure_in_one_exchange(tool, "x.jpg", false, 0, 0, Radiometry::Simple);
    QVERIFY(m.temps.empty() && !m.problem.isEmpty());
}

void TestExifTool::hungTool()
{
    // The window's way, a start per query: a tool that hangs is waited for
    // once, not once per value.
    FakeExifTool fake("echo >> '" + tmp.filePath("starts").toUtf8() + "'; exec sleep 600");
    ProcessExifTool tool(exiftool_program(), 1000);
    double e = 0, tr = 0;
    QCOMPARE(measure_temperatures(tool, false, "x.jpg", &e, &tr, tmp.filePath("hung.tiff")).problem,
             QString("ExifTool did not answer within 1 s."));
    QCOMPARE(read_file(tmp.filePath("starts")), QByteArray("\n"));
}

void TestExifTool::missingTool()
{
    // The working file is replaced, never written through a link.
    const QString work = tmp.filePath("stale.tiff"), kept = tmp.filePath("kept.tiff");
    write_file(kept, "old raw data");
    QFile::link(kept, work);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", tmp.filePath("empty").toUtf8());
    ProcessExifTool tool;
    double e = 7, tr = 7;
    const Measurement m = measure_temperatures(tool, false, tmp.filePath("x.jpg"), &e, &tr, work);
    const QString time = query_capture_time(tool, "x.jpg");
    qputenv("PATH", path);
    QVERIFY(m.temps.empty());
    QCOMPARE(e, 0.0);
    QCOMPARE(QFileInfo(work).size(), 0); // emptied: no earlier data taken for this image
    QVERIFY(!QFileInfo(work).isSymLink() && read_file(kept) == "old raw data");
    QCOMPARE(time, QString());
}

QTEST_MAIN(TestExifTool)
#include "tst_exiftool.moc"
