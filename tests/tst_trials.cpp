// Field trials: the stress indices against worked numbers, the weather log's
// interpolation, and field books and logs as spreadsheets and people write
// them, hostile ones included.

#include "outputs/lines.h"
#include "tests/testutil.h"
#include "trials/trial.h"

using namespace ardentis;

namespace
{

ImageId id(double number, const QStringList &files = {})
{
    return {number, files};
}

QString write_temp(const QTemporaryDir &dir, const QByteArray &bytes)
{
    static int n = 0;
    const QString path = dir.filePath(QStringLiteral("f%1.csv").arg(++n));
    write_file(path, bytes);
    return path;
}

} // namespace

class TestTrials : public QObject
{
    Q_OBJECT

private slots:
    void formulas_data();
    void formulas();
    void interpolation_data();
    void interpolation();
    void spreadsheetBook();
    void hostileFiles_data();
    void hostileFiles();
    void cameraAir();

private:
    QTemporaryDir tmp;
};

void TestTrials::formulas_data()
{
    for (const char *c : {"ta", "rh", "tc", "a", "b", "es", "vpd", "ctd", "cwsi"})
        QTest::addColumn<double>(c);
    // Worked out by hand from the formulas with a calculator; es at 20 and
    // 35 °C as FAO 56's table gives them (2.338 and 5.623 kPa).
    QTest::newRow("wheat, mild") << 25.0 << 55.0 << 27.5 << 3.38 << -3.25 << 3.167778 << 1.4255
                                 << -2.5 << 0.544146;
    QTest::newRow("wheat, hot and dry")
        << 35.0 << 20.0 << 31.2 << 3.38 << -3.25 << 5.623 << 4.498145 << 3.8 << 0.406011;
    QTest::newRow("below freezing")
        << -5.0 << 90.0 << -6.0 << 1.0 << -2.0 << 0.421176 << 0.042118 << 1.0 << -12.73757;
    QTest::newRow("saturated air, unclipped")
        << 20.0 << 100.0 << 19.0 << 0.51 << -1.92 << 2.338 << 0.0 << 1.0 << -10.507476;
    // No index where the limits are under 0.05 °C apart: 0.044 °C here.
    QTest::newRow("saturated air at 0 C")
        << 0.0 << 100.0 << -1.0 << 0.51 << -1.92 << 0.6108 << 0.0 << 1.0 << std::nan("");
    // Nor where they cross (UL 0.50 °C below LL): the index would read -2.88.
    QTest::newRow("limits crossed")
        << 30.0 << 95.0 << 29.0 << -2.0 << -2.0 << 4.243065 << 0.212153 << 1.0 << std::nan("");
}

void TestTrials::formulas()
{
    QFETCH(double, ta);
    QFETCH(double, rh);
    QFETCH(double, tc);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(double, es);
    QFETCH(double, vpd);
    QFETCH(double, ctd);
    QFETCH(double, cwsi);
    QVERIFY(std::abs(saturation_vapour_pressure(ta) - es) < 6e-4);
    QVERIFY(std::abs(vapour_pressure_deficit(ta, rh) - vpd) < 1e-6);
    QVERIFY(std::abs(canopy_temperature_depression(ta, tc) - ctd) < 1e-9);
    const double got = crop_water_stress_index(tc, ta, vapour_pressure_deficit(ta, rh), {a, b});
    QVERIFY2(std::isnan(cwsi) ? std::isnan(got) : std::abs(got - cwsi) < 1e-5,
             qPrintable(QString::number(got, 'f', 6)));
}

void TestTrials::interpolation_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<double>("air");
    QTest::addColumn<double>("humidity");
    QTest::addColumn<QString>("problem");
    const double none = std::nan("");
    QTest::newRow("first reading") << "2024:06:01 10:00:00" << 20.0 << 80.0 << "";
    QTest::newRow("between") << "2024:06:01 10:05:00" << 21.0 << 75.0 << "";
    QTest::newRow("fraction and zone ignored")
        << "2024:06:01 10:15:00.75+02:00" << 23.0 << 65.0 << "";
    QTest::newRow("second reading") << "2024-06-01 10:20" << 24.0 << 60.0 << "";
    QTest::newRow("in a gap of 70 min")
        << "2024:06:01 10:50:00" << none << none
        << "2024-06-01 10:50:00 falls in a gap of the weather log (2024-06-01 10:20:00 to "
           "2024-06-01 11:30:00)";
    QTest::newRow("across a gap of 30 min") << "2024:06:01 11:45:00" << 30.5 << 39.0 << "";
    QTest::newRow("after the log")
        << "2024:06:01 12:00:01" << none << none
        << "2024-06-01 12:00:01 is outside the weather log (2024-06-01 10:00:00 to 2024-06-01 "
           "12:00:00)";
}

void TestTrials::interpolation()
{
    QFETCH(QString, time);
    QFETCH(double, air);
    QFETCH(double, humidity);
    QFETCH(QString, problem);
    const WeatherLogFile log = read_weather_log(
        write_temp(tmp, "Time, Air Temperature ,Relative humidity\n2024-06-01 10:00,20,80\n"
                        "2024:06:01 10:20:00,24,60\n2024-06-01 11:30,30,40\n"
                        "2024-06-01 12:00,31,38\n"));
    QCOMPARE(log.problem, QString());
    const std::optional<LocalTime> t = local_time(time);
    QVERIFY(t);
    const AirAt at = air_at(log.log, *t);
    QCOMPARE(at.problem, problem);
    QCOMPARE(std::isnan(at.temperature), std::isnan(air));
    QVERIFY(std::isnan(air) ||
            (std::abs(at.temperature - air) < 1e-9 && std::abs(at.humidity - humidity) < 1e-9));
}

void TestTrials::spreadsheetBook()
{
    // A spreadsheet's export: byte order mark, CRLF, quoted commas, quotes
    // and a line break inside a field, a blank line and an empty row.
    const FieldBookFile f = read_field_book(write_temp(
        tmp, "\xEF\xBB\xBFplot,Image,\"note, free\"\r\nP1,0101,\"wet, \"\"north\"\"\"\r\n"
             "\r\nP2,102,\"two\r\nlines\"\r\n,,\r\nP3,103\r\n"));
    QCOMPARE(f.problem, QString());
    QCOMPARE(f.book.columns, (std::vector<std::string>{"plot", "Image", "note, free"}));
    QCOMPARE(f.book.rows.size(), size_t(3));
    QCOMPARE(f.book.find(id(101))->values,
             (std::vector<std::string>{"P1", "0101", "wet, \"north\""}));
    QCOMPARE(f.book.find(id(102))->values[2], std::string("two\r\nlines"));
    QCOMPARE(f.book.find(id(103))->line, 7);
    QCOMPARE(f.book.find(id(103))->values[2], std::string());
    QCOMPARE(csv_field(f.book.find(id(101))->values[2]), std::string("\"wet, \"\"north\"\"\""));
    QCOMPARE(rows_not_in(f.book, {id(101), id(103)}), QStringList{"line 4 (image 102)"});

    // Keyed by file: a bare name matches a file in any folder, a path (as
    // listed, relative to the current folder) only that file; either file of a pair.
    QDir::setCurrent(tmp.path());
    const FieldBook b =
        read_field_book(write_temp(tmp, "File,plot\nDC_6008.jpg,P1\nday2/DC_6008.jpg,P2\n"
                                        "IR_6011.jpg,P3\nIR_6013.jpg,P4\npl\xc3\xb6t.jpg,P5\n"))
            .book;
    const QString day2 = tmp.filePath("day2/"), day1 = tmp.filePath("day1/");
    // The accent written apart from its letter, as macOS names files.
    const QString apart = day1 + QString::fromUtf8("plo\xcc\x88t.jpg");
    const FieldBook::Row *composed = b.find(id(1, {apart}));
    QVERIFY(composed && composed->values[1] == "P5");
    QCOMPARE(b.find(id(1, {day2 + "DC_6008.jpg", day2 + "IR_6007.jpg"}))->values[1], "P2");
    QCOMPARE(b.find(id(1, {day1 + "DC_6008.jpg", day1 + "IR_6007.jpg"}))->values[1], "P1");
    QCOMPARE(b.find(id(1, {day1 + "DC_6012.jpg", day1 + "IR_6011.jpg"}))->values[1], "P3");
    QVERIFY(!b.find(id(6008, {day1 + "DC_6010.jpg"})));
    QCOMPARE(rows_not_in(
                 b, {id(1, {day2 + "DC_6008.jpg"}), id(1, {day1 + "IR_6011.jpg"}), id(1, {apart})}),
             (QStringList{"line 2 (file DC_6008.jpg)", "line 5 (file IR_6013.jpg)"}));
}

void TestTrials::hostileFiles_data()
{
    QTest::addColumn<bool>("book");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("problem");
    const QString number = " is not an image number (the digits of the photograph's name, such as "
                           "101 for IMG_0101.jpg)";
    QTest::newRow("empty") << true << QByteArray() << "it has no header line";
    QTest::newRow("UTF-16") << true << QByteArray("i\0m\0", 4)
                            << "it is not a text file (UTF-16 or binary)";
    QTest::newRow("Latin-1") << true << QByteArray("image,plot\n101,Bl\xe9\n")
                             << "line 2 is not UTF-8 text; save the file as CSV in UTF-8";
    QTest::newRow("UTF-8 cut at the end") << true << QByteArray("image,plot\n101,Bl\xc3")
                                          << "line 2 is not UTF-8 text; save the file as CSV in "
                                             "UTF-8";
    QTest::newRow("no image column")
        << true << QByteArray("img,plot\n1,a\n") << "line 1: there is no column 'image' or 'file'";
    QTest::newRow("a file twice") << true << QByteArray("file,plot\na.jpg,1\n\" a.jpg\",2\n")
                                  << "line 3: the file 'a.jpg' is also on line 2";
    QTest::newRow("duplicate after a multi-line field")
        << true << QByteArray("image,note\n101,\"a\nb\"\n102,c\n101,d\n")
        << "line 5: the image 101 is also on line 2";
    QTest::newRow("not a number") << true << QByteArray("image,plot\n10a,x\n")
                                  << "line 2: the image '10a'" + number;
    QTest::newRow("a huge field, cut short")
        << true << "image,plot\n" + QByteArray(10000, '9') + ",x\n"
        << "line 2: the image '99999999999999999999999999999999... (10000 bytes)'" + number;
    QTest::newRow("quote not closed") << true << QByteArray("image,plot\n101,\"abc\n102,x\n")
                                      << "the quoted field that starts on line 2 is not closed";
    QTest::newRow("no readings") << false << QByteArray("time,air temperature,relative humidity\n")
                                 << "it has no readings after the header";
    const QByteArray head = "time,air temperature,relative humidity\n2024-06-01 10:00,20,50\n";
    QTest::newRow("out of order") << false << head + "2024-06-01 09:59,20,50\n"
                                  << "line 3: the time 2024-06-01 09:59:00 is not after the "
                                     "time of line 2";
    QTest::newRow("hour 25") << false << head + "2024-06-01 25:00,20,50\n"
                             << "line 3: the time '2024-06-01 25:00' is not a date and time "
                                "written YYYY-MM-DD HH:MM[:SS]";
    QTest::newRow("30 February") << false << head + "2024-02-30 10:00,20,50\n"
                                 << "line 3: the time '2024-02-30 10:00' is not a date and time "
                                    "written YYYY-MM-DD HH:MM[:SS]";
    QTest::newRow("humidity") << false << head + "2024-06-01 10:10,20,100.5\n"
                              << "line 3: the relative humidity '100.5' is not a percentage "
                                 "from 0 to 100";
    QTest::newRow("semicolons") << true << QByteArray("image;plot\n101;A\n")
                                << "line 1: there is no column 'image' or 'file', and its fields "
                                   "are separated by semicolons: save it as CSV with commas";
    QTest::newRow("tabs") << false << QByteArray("time\tair temperature\trelative humidity\n")
                          << "line 1: the header is not 'time,air temperature,relative humidity', "
                             "and its fields are separated by tabs: save it as CSV with commas";
    QTest::newRow("decimal comma") << false << head + "2024-06-01 10:10,\"20,5\",50\n"
                                   << "line 3: the air temperature '20,5' is not a temperature "
                                      "from -60 to 70 °C";
}

void TestTrials::hostileFiles()
{
    QFETCH(bool, book);
    QFETCH(QByteArray, text);
    QFETCH(QString, problem);
    const QString path = write_temp(tmp, text);
    QCOMPARE(book ? read_field_book(path).problem : read_weather_log(path).problem, problem);
}

void TestTrials::cameraAir()
{
    // -60 °C set on a camera reads back from its single-precision kelvin as
    // -60.0000061: taken as set, not refused as "-60 °C".
    TrialSetup camera;
    camera.request.air = AirSource::Camera;
    const TrialValues cold = trial_values(camera, {{101, {}}, {}, -60.0000061, 0.5, -61});
    QVERIFY(cold.notes.isEmpty() && std::abs(cold.ctd - 0.9999939) < 1e-9);
    camera.request.cwsi = CwsiBaseline{-2, -2};
    const TrialValues crossed = trial_values(camera, {{101, {}}, {}, 30, 0.95, 29});
    QVERIFY(std::isnan(crossed.cwsi));
    QCOMPARE(crossed.notes, QStringList{"no CWSI: at a VPD of 0.212 kPa the baseline's upper "
                                        "limit is not 0.05 °C above its lower"});
}

QTEST_APPLESS_MAIN(TestTrials)
#include "tst_trials.moc"
