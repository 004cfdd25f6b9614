// The campaign window: its controls and the batch's command line round trip,
// a refused value marked at its control, the plan before a run, and runs
// that write what ardentis-batch writes, cancelled or not, while the event
// loop keeps running.

#include "batch/options.h"
#include "campaign/campaignwindow.h"
#include "campaign/optionspanel.h"
#include "engine/ending.h"
#include "outputs/outputlock.h"
#include "tests/guitest.h"
#include "tests/testutil.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>

using ardentis::CampaignWindow;
using guitest::child;

namespace
{

// A window filled from the batch's arguments.
std::unique_ptr<CampaignWindow> window_of(const QStringList &arguments)
{
    auto window = std::make_unique<CampaignWindow>();
    const ardentis::CommandLine line = ardentis::parse_command_line(arguments);
    if (line.action != ardentis::CommandLine::Run)
        qFatal("refused: %s", qPrintable(line.problem));
    window->fill(line.options);
    return window;
}

// The texts of a table's row.
QStringList row_of(QTableWidget *table, int row)
{
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << (table->item(row, c) ? table->item(row, c)->text() : QString());
    return texts;
}

// Drags `path` onto `target` and drops it there, as a file manager does.
void drop(QWidget *target, const QString &path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    data.setText(QUrl::fromLocalFile(path).toString()); // as file managers give it too
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
}

// Every file below `dir` whose name marks it as unfinished or as the lock.
QStringList leftovers(const QString &dir)
{
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = QFileInfo(it.next()).fileName();
        if (name.startsWith(QLatin1Char('.')) || name.contains(QLatin1String("tmp")))
            found << name;
    }
    return found;
}

} // namespace

class TestCampaign : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void commandQuoted();
    void strayInput_data();
    void strayInput();
    void refusedValue_data();
    void refusedValue();
    void refusedStart();
    void remembered();
    void quitWhileReading();
    void signalUnderQuitQuestion();
    void inWords_data();
    void inWords();
    void plan_data();
    void plan();
    void sameAsBatch();
    void cancelled();

private:
    QTemporaryDir tmp;
    QString pairs, many; // 6 and 30 pairs
};

void TestCampaign::initTestCase()
{
    QVERIFY(tmp.isValid());
    qputenv("XDG_CONFIG_HOME", tmp.filePath("config").toUtf8());
    pairs = tmp.filePath("pairs");
    many = tmp.filePath("many");
    QDir().mkpath(pairs);
    QDir().mkpath(many);
    for (int n = 11; n <= 40; ++n)
        write_pair(n <= 16 ? pairs : many, n, unsigned(n), {32, 24});
    for (int n = 11; n <= 16; ++n)
        write_pair(many, n, unsigned(n), {32, 24});
    QDir::setCurrent(tmp.path());
}

void TestCampaign::roundTrip_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("shown"); // %1: the folder the window started from
    QTest::newRow("acceptance") << "-o out --field auto --mask exgr --report pairs"
                                << "--output %1/out --field auto --mask exgr --report %1/pairs";
    QTest::newRow("everything of a run")
        << "--photo embedded --field camera --field 1,2,30,40 --purity 0.7 --mask exgr "
           "--radiometry full --temperatures -t t.csv -j 3 --tool-timeout 2.5 --report "
           "--palette grey --range 10,30.5 a.jpg"
        << "--photo embedded --field camera --field 1,2,30,40 --mask exgr --purity 0.7 "
           "--radiometry full --temperatures --table %1/t.csv --report --palette grey --range "
           "10,30.5 --jobs 3 --tool-timeout 2.5 %1/a.jpg";
    QTest::newRow("pairs by time, field trial, a dash")
        << "--names file --plots book.csv --group genotype --air camera --cwsi 3.38,-3.25 "
           "--pair time:0.5 -- -a.jpg b.jpg"
        << "--pair time:0.5 --names file --plots %1/book.csv --group genotype --air camera --cwsi "
           "3.38,-3.25 %1/-a.jpg %1/b.jpg";
    QTest::newRow("the camera's field") << "--photo embedded --field camera"
                                        << "--photo embedded --field camera";
    // A file joined to the folder the window started from, as the batch started there opens
    // it: through a link before "..".
    QTest::newRow("given field, weather log") << "--field 5,6,70,80 --air w/../weather.csv"
                                              << "--field 5,6,70,80 --air %1/w/../weather.csv";
}

void TestCampaign::roundTrip()
{
    QFETCH(QString, given);
    QFETCH(QString, shown);
    const QStringList expected = shown.replace("%1", tmp.path()).split(' ');
    const auto window = window_of(given.split(' '));
    QCOMPARE(window->arguments(), expected);
    // And back: the controls filled from what they produced produce it again.
    QCOMPARE(window_of(window->arguments())->arguments(), expected);
    QCOMPARE(child<QLineEdit>(window.get(), "command")->text(),
             "ardentis-batch " + expected.join(' '));
}

void TestCampaign::commandQuoted()
{
    const auto window = window_of({"-o", "my results", "it's.jpg"});
    QCOMPARE(child<QLineEdit>(window.get(), "command")->text(),
             QStringLiteral("ardentis-batch --output '%1/my results' '%1/it'\\''s.jpg'")
                 .arg(tmp.path()));
}

void TestCampaign::strayInput_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("input"); // the inputs after the drop
    QTest::addColumn<QString>("output");
    QTest::newRow("onto the window") << ""
                                     << "%1"
                                     << "";
    QTest::newRow("onto a field for a path") << "output"
                                             << ""
                                             << "%1";
    QTest::newRow("onto a field for a number") << "purity"
                                               << "%1"
                                               << "";
}

void TestCampaign::strayInput()
{
    QFETCH(QString, target);
    QFETCH(QString, input);
    QFETCH(QString, output);
    const auto window = window_of({"--mask", "exgr"});
    drop(target.isEmpty() ? window.get() : child<QWidget>(window.get(), qPrintable(target)), pairs);
    auto *inputs = child<QListWidget>(window.get(), "inputs");
    QCOMPARE(inputs->count() ? inputs->item(0)->text() : QString(), input.replace("%1", pairs));
    QCOMPARE(child<QLineEdit>(window.get(), "output")->text(), output.replace("%1", pairs));
    QCOMPARE(child<QLineEdit>(window.get(), "purity")->text(), QString());
    // The wheel over a list not in use scrolls the panel, and leaves the list alone.
    auto *mask = child<QComboBox>(window.get(), "mask");
    QWheelEvent wheel(QPointF(5, 5), QPointF(mask->mapToGlobal(QPoint(5, 5))), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(mask, &wheel);
    QCOMPARE(mask->currentText(), "ExGR");
}

void TestCampaign::refusedValue_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("problem");
    QTest::newRow("purity") << "--mask exgr"
                            << "purity"
                            << "2"
                            << "“Purity” takes a number over 0 and at most 1, not '2'.";
    QTest::newRow("range") << "--report"
                           << "range"
                           << "5,5"
                           << "“Range °C” takes MIN,MAX in °C from -273.15 to 10000, MAX at least "
                              "0.1 above MIN, not '5,5'.";
    QTest::newRow("field") << "--field 1,1,9,9"
                           << "field"
                           << "1,2,3"
                           << "“Field” takes auto, camera or X,Y,W,H in whole pixels, not "
                              "'1,2,3'.";
    QTest::newRow("jobs") << "--jobs 2"
                          << "jobs"
                          << "0"
                          << "“Jobs” takes a whole number of 1 or more, not '0'.";
}

void TestCampaign::refusedValue()
{
    QFETCH(QString, given);
    QFETCH(QString, control);
    QFETCH(QString, value);
    QFETCH(QString, problem);
    const auto window = window_of(given.split(' ') + QStringList{"-o", "out", pairs});
    auto *run = child<QPushButton>(window.get(), "run");
    auto *edit = child<QLineEdit>(window.get(), qPrintable(control));
    QVERIFY(run->isEnabled());
    const QString kept = edit->text();
    edit->setText(value);
    QCOMPARE(edit->property("problem").toString(), problem);
    QCOMPARE(child<QLabel>(window.get(), "optionProblem")->text(), problem);
    QVERIFY(!run->isEnabled());
    window->run();
    QVERIFY(!window->running());
    edit->setText(kept);
    QVERIFY(edit->property("problem").toString().isEmpty());
    QVERIFY(run->isEnabled());
}

void TestCampaign::refusedStart()
{
    const auto window = window_of({pairs});
    // Everything is in view on a small laptop's screen.
    QVERIFY(window->minimumSizeHint().width() <= 1024 && window->minimumSizeHint().height() <= 640);
    auto *output = child<QLineEdit>(window.get(), "output");
    window->run();
    QTRY_VERIFY(!window->running());
    QCOMPARE(child<QLabel>(window.get(), "status")->text(),
             "no output folder given: add “Output folder”.");
    QCOMPARE(output->property("problem").toString(),
             "no output folder given: add “Output folder”.");
    QVERIFY(child<QProgressBar>(window.get(), "progress")->maximum() > 0); // not busy
    output->setText("out");
    QVERIFY(output->property("problem").toString().isEmpty());
    QVERIFY(child<QLabel>(window.get(), "status")->text().isEmpty()); // said of no folder
    // Typed relative to the folder the window started from, named whole: the
    // next session, started elsewhere, writes to the same place.
    QCOMPARE(window->arguments().mid(0, 2), (QStringList{"--output", tmp.filePath("out")}));
    emit output->editingFinished();
    QCOMPARE(output->text(), tmp.filePath("out"));
    output->setText("~/typed"); // as a shell reads it; one given on the command line is not
    QCOMPARE(window->arguments().mid(0, 2), (QStringList{"--output", QDir::homePath() + "/typed"}));
    // A baseline without the air is no option to refuse: it waits for the air.
    auto *air = child<QComboBox>(window.get(), "air");
    auto *cwsi = child<QLineEdit>(window.get(), "cwsi");
    QVERIFY(!cwsi->isEnabled());
    air->setCurrentIndex(2); // the camera's
    cwsi->setText("3,-1");
    QVERIFY(cwsi->isEnabled() && window->arguments().contains("--cwsi"));
    air->setCurrentIndex(0);
    QVERIFY(!window->arguments().contains("--cwsi"));
}

void TestCampaign::remembered()
{
    // A value refused when the window closed, or an option it does not know,
    // is left out, not every setting; so is an empty file after a good one.
    // A column named as an option is kept joined to its option.
    const QString out = tmp.filePath("kept"), book = tmp.filePath("book.csv");
    QSettings().setValue("options", QStringList{"--output", out, "--mask", "exgr", "--purity",
                                                "1.5", "--plots", book, "--group=--geno", "--air",
                                                "", "--bogus", "--temperatures"});
    CampaignWindow window;
    window.open({}, {});
    QCOMPARE(window.arguments(), (QStringList{"--output", out, "--mask", "exgr", "--temperatures",
                                              "--plots", book, "--group=--geno"}));
    QCOMPARE(child<QLabel>(&window, "status")->text(),
             "Left out of the remembered settings: “Purity” takes a number over 0 and at most 1, "
             "not '1.5'. “Air” takes a file, not an empty name. Unknown option "
             "'bogus'.");
    // The session ending with no run under way closes the window as Ctrl+Q
    // does, keeping what was set; Run clicked meanwhile starts nothing.
    ardentis::OutsideStop outside;
    window.stop_on_signals(&outside);
    window.show();
    QVERIFY(outside.idle); // what lets a signal ask rather than end the process
    child<QComboBox>(&window, "mask")->setCurrentIndex(0);
    outside.asked = true;
    child<QListWidget>(&window, "inputs")->addItem(pairs);
    window.run();
    QVERIFY(!window.running());
    QTRY_VERIFY(!window.isVisible());
    QVERIFY(!QFileInfo::exists(out));
    QCOMPARE(QSettings().value("options").toStringList(),
             (QStringList{"--output", out, "--temperatures", "--plots", book, "--group=--geno"}));
}

void TestCampaign::quitWhileReading()
{
    // Nothing is at stake while the files are read: no question, nothing made,
    // and the window closes once they are read.
    const QString out = tmp.filePath("never/made");
    const auto window = window_of({"-o", out, "--pair", "time", pairs}); // ExifTool reads them
    window->show();
    const guitest::MessageBoxRecorder asked;
    window->run();
    QVERIFY(window->running());
    QVERIFY(!window->close());
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(asked.boxes.size(), 0);
    QVERIFY(!QFileInfo::exists(tmp.filePath("never")));
}

void TestCampaign::signalUnderQuitQuestion()
{
    // The session ends while "Stop it and quit?" is asked: nobody answers, and
    // the window stops the run and closes all the same.
    const auto window = window_of({"-j", "1", "-o", tmp.filePath("signalled"), many});
    window->show();
    ardentis::OutsideStop outside;
    window->stop_on_signals(&outside);
    window->run();
    QTRY_VERIFY_WITH_TIMEOUT(child<QProgressBar>(window.get(), "progress")->value() >= 1, 60000);
    guitest::answer_next_modal([&](QWidget *) { outside.asked = true; });
    QVERIFY(window->close());
    QVERIFY(!window->running() && !window->isVisible());
}

void TestCampaign::inWords_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("window");
    QTest::newRow("choice") << "or name the results after the files with --names file."
                            << "or name the results after the files with “Result names: after "
                               "the file names”.";
    QTest::newRow("two options")
        << "--cwsi needs --air: the index compares the canopy with the air."
        << "“CWSI baseline” needs “Air”: the index compares the canopy "
           "with the air.";
    QTest::newRow("placeholder, unknown option")
        << "add --output DIR; --bogus stays; --photo embedded."
        << "add “Output folder”; --bogus stays; “Photographs: inside each radiometric image”.";
}

void TestCampaign::inWords()
{
    QFETCH(QString, batch);
    QFETCH(QString, window);
    QCOMPARE(ardentis::OptionsPanel().in_words(batch), window);
}

void TestCampaign::plan_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QStringList>("rows"); // each row's cells joined by '|'
    const QString a = pairs + "/FLIR11.jpg", b = pairs + "/FLIR11_RGB11.jpg",
                  c = pairs + "/FLIR12_RGB12.jpg";
    QFile::copy(b, tmp.filePath("plotA.jpg"));
    QFile::copy(b, tmp.filePath("plotB.jpg"));
    write_file(tmp.filePath("plan.csv"), "12,0.9,20\n");
    QTest::newRow("a table entry, a shared number, an image left")
        << QStringList{"-t", "plan.csv",
                       a,    b,
                       a,    c,
                       a,    tmp.filePath("plotA.jpg"),
                       a,    tmp.filePath("plotB.jpg"),
                       a}
        << QStringList{"1|FLIR11.jpg|FLIR11_RGB11.jpg|11|2014:03:12 10:15:21|",
                       "2|FLIR11.jpg|FLIR12_RGB12.jpg|12|2014:03:12 10:15:21|a table entry: sets "
                       "the emissivity and reflected temperature of the pairs after it",
                       "3|FLIR11.jpg|plotA.jpg|0|2014:03:12 10:15:21|",
                       "4|FLIR11.jpg|plotB.jpg|0|2014:03:12 10:15:21|the result name 0 of pair 3: "
                       "its files would replace that pair's",
                       "|||||" + a + ": no photograph after it; images come in pairs"};
    QTest::newRow("photographs alone, by time")
        << QStringList{"--pair", "time", b, c}
        << QStringList{"|||||" + b + ": it has no capture time (DateTimeOriginal).",
                       "|||||" + c + ": it has no capture time (DateTimeOriginal).",
                       "|||||no radiometric image (a file with raw thermal data) among the "
                       "images given."};
    // A camera's folder: IR_n with DC_n+1 a second later, a radiometric
    // image without its photograph, a photograph of its own.
    const QString e = tmp.filePath("e-series");
    QDir().mkpath(e);
    for (int k = 0; k < 3; ++k) {
        fixtures::FlirFile ir;
        ir.counts = fixtures::plot_counts(32, 24, 17000, unsigned(k + 1));
        ir.date_time_original = QStringLiteral("2024:06:01 10:00:0%1.70").arg(3 * k).toStdString();
        QVERIFY(fixtures::write_flir_jpeg(
            QStringLiteral("%1/IR_60%2.jpg").arg(e).arg(7 + 2 * k, 2, 10, QChar('0')).toStdString(),
            ir));
        const std::string time = QStringLiteral("2024:06:01 10:00:%1")
                                     .arg(k < 2 ? 3 * k + 1 : 40, 2, 10, QChar('0'))
                                     .toStdString();
        QVERIFY(fixtures::write_bytes(
            QStringLiteral("%1/DC_60%2.jpg")
                .arg(e)
                .arg(k < 2 ? 8 + 2 * k : 30, 2, 10, QChar('0'))
                .toStdString(),
            fixtures::photo_jpeg(cv::Mat(48, 64, CV_8UC3, cv::Scalar(40, 120, 60)), 1, time)));
    }
    // A memory card's folder: its images only in a folder inside it.
    const QString card = tmp.filePath("card");
    QDir().mkpath(card + "/100_FLIR");
    QVERIFY(QFile::copy(e + "/IR_6007.jpg", card + "/100_FLIR/IR_6007.jpg"));
    QTest::newRow("a card's folder")
        << QStringList{"--pair", "time", card}
        << QStringList{"|||||the folder " + card + " holds no JPEG files. The folder " + card +
                       "/100_FLIR inside it has JPEG files: give it "
                       "instead."};
    const QString by_time =
        "; “Pairing: by capture time” pairs each radiometric image with the photograph "
        "taken with it.";
    QTest::newRow("E-series, in order")
        << QStringList{e}
        << QStringList{"1|DC_6008.jpg|DC_6010.jpg|6010|2024:06:01 10:00:01|In the list's order "
                       "this pair is two photographs (neither holds raw thermal data)" +
                           by_time,
                       "2|DC_6030.jpg|IR_6007.jpg|6007|2024:06:01 10:00:40|In the list's order "
                       "this pair is a photograph, then a radiometric image" +
                           by_time,
                       "3|IR_6009.jpg|IR_6011.jpg|6011|2024:06:01 10:00:03.70|In the list's "
                       "order this pair is two radiometric images" +
                           by_time};
    QTest::newRow("E-series, by time")
        << QStringList{"--pair", "time", e}
        << QStringList{
               "1|IR_6007.jpg|DC_6008.jpg|6008|2024:06:01 10:00:00.70|",
               "2|IR_6009.jpg|DC_6010.jpg|6010|2024:06:01 10:00:03.70|",
               "3|IR_6011.jpg|none|6011|2024:06:01 10:00:06.70|It is in no pair: the "
               "photographs taken within 2 s of its capture at 2024:06:01 10:00:06.70 are paired "
               "with other radiometric images, and it keeps no photograph inside.",
               "|||||" + e +
                   "/DC_6030.jpg: no radiometric image was taken within 2 s of "
                   "it."};
}

void TestCampaign::plan()
{
    QFETCH(QStringList, given);
    QFETCH(QStringList, rows);
    const auto window = window_of(given);
    auto *plan = child<QTableWidget>(window.get(), "plan");
    QTRY_VERIFY(plan->rowCount() > 0);
    QStringList shown;
    for (int r = 0; r < plan->rowCount(); ++r)
        shown << row_of(plan, r).join('|');
    QCOMPARE(shown, rows);
}

void TestCampaign::sameAsBatch()
{
    const QStringList options{"--field", "auto", "--mask", "exgr", "--report", "-j", "2"};
    const QString out = tmp.filePath("window-out"), batch_out = tmp.filePath("batch-out");
    const auto window = window_of(options + QStringList{"-o", out, pairs});
    auto *status = child<QLabel>(window.get(), "status");
    {
        // A folder another run writes into is refused with the batch's words.
        QDir().mkpath(out);
        ardentis::OutputLock lock;
        QVERIFY(lock.lock(out) == ardentis::LockOutcome::Taken);
        write_file(out + "/result.csv", "");
        const guitest::MessageBoxRecorder asked; // nothing to replace in a run that cannot start
        auto *output = child<QLineEdit>(window.get(), "output");
        output->setText("window-out"); // the same folder, named from the one started from
        window->run();
        QTRY_VERIFY(!window->running());
        emit output->editingFinished(); // named whole: the same arguments, the same refusal
        QCOMPARE(output->text(), out);
        QCOMPARE(status->text(), "another run is writing into " + out +
                                     "; wait until it has finished, or choose another output "
                                     "folder.");
        QCOMPARE(asked.boxes.size(), 0);
    }
    {
        // Nor in one whose folder holds no JPEG files.
        const guitest::MessageBoxRecorder asked;
        const QString none = tmp.filePath("no-jpeg");
        QDir().mkpath(none);
        const auto empty = window_of({"-o", out, none});
        empty->run();
        QTRY_VERIFY(!empty->running());
        QCOMPARE(asked.boxes.size(), 0);
        QCOMPARE(child<QLabel>(empty.get(), "status")->text(),
                 "the folder " + none +
                     " holds 0 JPEG files; images come in pairs: radiometric image, photograph.");
        QVERIFY(QFile::remove(out + "/result.csv"));
    }
    // The event loop runs throughout: a timer keeps firing and sees the
    // title count the pairs.
    QStringList titles;
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, [&] {
        if (window->running())
            titles << window->windowTitle();
    });
    ticks.start(5);
    window->run();
    QVERIFY(window->running());
    QTRY_VERIFY_WITH_TIMEOUT(!window->running(), 60000);
    QVERIFY2(titles.size() >= 3, qPrintable(titles.join('|')));
    QVERIFY(titles.filter(QRegularExpression("^[1-6]/6 – Ardentis Campaign$")).size() >= 1);
    QCOMPARE(window->windowTitle(), "Ardentis Campaign");
    QVERIFY2(status->text().startsWith("6 of 6 pairs processed, 0 skipped, in "),
             qPrintable(status->text()));
    // The notes (here of the field search) are said, not only in a column out of sight.
    QCOMPARE(status->text().section('\n', 1), "Pairs processed with a note: 6. The Results tab's "
                                              "last column says which values are missing or "
                                              "uncertain.");
    QCOMPARE(child<QTableWidget>(window.get(), "results")->rowCount(), 6);

    QCOMPARE(
        run_program(QStringLiteral(ARDENTIS_BATCH), options + QStringList{"-o", batch_out, pairs})
            .status,
        0);
    auto files = tree(out), batch_files = tree(batch_out);
    QVERIFY(files.remove("report.html") && batch_files.remove("report.html"));
    QCOMPARE(files, batch_files);
    QVERIFY(child<QPushButton>(window.get(), "openReport")->isEnabled());
    // The next session opened with a folder (as from a file manager) starts
    // with the options of this run.
    CampaignWindow next;
    next.open({many}, ardentis::parse_command_line({many}).options);
    QCOMPARE(next.arguments(), (QStringList{"--output", out, "--field", "auto", "--mask", "exgr",
                                            "--report", "--jobs", "2", many}));

    // A run into the results of an earlier one asks first; quitting while it
    // runs asks too, and a yes given once it has ended closes the window.
    const QByteArray result = read_file(out + "/result.csv");
    const auto answer = [](const QString &button, std::function<void()> first = {}) {
        guitest::answer_next_modal([=](QWidget *box) {
            if (first)
                first();
            for (QAbstractButton *b : static_cast<QMessageBox *>(box)->buttons())
                if (b->text().remove('&') == button)
                    b->click();
        });
    };
    bool asked = false;
    const QString summary = status->text();
    answer("Cancel", [&] { asked = true; });
    window->run();
    QTRY_VERIFY(asked && !window->running());
    QCOMPARE(read_file(out + "/result.csv"), result);
    QCOMPARE(status->text(), summary); // the last run's, as before
    asked = false;
    answer("Replace", [&] { asked = true; });
    window->run();
    QTRY_VERIFY(asked && window->running());
    QString question; // once the run has ended
    guitest::answer_next_modal([&](QWidget *box) {
        QVERIFY(QTest::qWaitFor([&] { return !window->running(); }, 60000));
        question = static_cast<QMessageBox *>(box)->text();
        static_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click();
    });
    QVERIFY(window->close());
    QCOMPARE(question, "The run has finished. Quit?");

    // Any file of an earlier run is asked about, stats.csv alone too; without
    // the report a pair shows this run's pictures, not the earlier report's
    // nor its maps left in 4Thermal.
    for (const char *file : {"result.csv", "report.html"})
        QVERIFY(QFile::remove(out + '/' + file));
    for (const char *folder : {"0Aligned", "1PartRGB", "2Mascara", "3tempmask"})
        QVERIFY(QDir(out + '/' + folder).removeRecursively());
    QVERIFY(QFile::rename(out + "/4Thermal/4Thermal_11.png",
                          out + "/4Thermal/4Thermal_FLIR11_RGB11.png")); // as named below
    const auto plain = window_of({"-o", out, "-j", "2", "--names", "file", pairs});
    asked = false;
    answer("Replace", [&] { asked = true; });
    plain->run();
    QTRY_VERIFY_WITH_TIMEOUT(!plain->running(), 60000);
    QVERIFY(asked);
    auto *results = child<QTableWidget>(plain.get(), "results");
    results->selectRow(0);
    QCOMPARE(results->item(0, 2)->text(), "FLIR11_RGB11"); // what its files are named after
    for (const char *caption : {"caption0", "caption1", "caption2"})
        QVERIFY2(!child<QLabel>(plain.get(), caption)->text().startsWith("report/"),
                 qPrintable(child<QLabel>(plain.get(), caption)->text()));
    QVERIFY2(child<QLabel>(plain.get(), "caption0")->text().startsWith("2Mascara/"),
             qPrintable(child<QLabel>(plain.get(), "caption0")->text()));
    // Opened with options, a session keeps the folder images were last added from.
    QSettings().setValue("inputs folder", many);
    CampaignWindow with_options;
    with_options.open({"-o", out}, ardentis::parse_command_line({"-o", out}).options);
    QVERIFY(with_options.close());
    QCOMPARE(QSettings().value("inputs folder").toString(), many);
}

void TestCampaign::cancelled()
{
    const QString out = tmp.filePath("cancelled");
    const auto window = window_of({"--report", "-j", "2", "-o", out, many});
    auto *results = child<QTableWidget>(window.get(), "results");
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    // Escape as soon as the first pair is shown, once it is selected: its
    // map is shown while the run goes on, on its own scale.
    QString caption;
    bool map = false;
    connect(results->model(), &QAbstractItemModel::rowsInserted, window.get(), [&] {
        const auto shown = [&] { // once the row is filled
            if (caption.isEmpty()) {
                results->selectRow(0);
                caption = child<QLabel>(window.get(), "caption0")->text();
                map = !child<QLabel>(window.get(), "picture0")->pixmap(Qt::ReturnByValue).isNull();
            }
            QTest::keyClick(window.get(), Qt::Key_Escape);
        };
        QMetaObject::invokeMethod(window.get(), shown, Qt::QueuedConnection);
    });
    window->run();
    QTRY_VERIFY_WITH_TIMEOUT(!window->running(), 60000);
    QVERIFY(map);
    QCOMPARE(caption, "on this pair's own scale until the run ends");
    QVERIFY(QRegularExpression("^report/p[0-9]+_map.png$")
                .match(child<QLabel>(window.get(), "caption0")->text())
                .hasMatch());
    const int done = results->rowCount();
    QVERIFY2(done >= 1 && done < 30, qPrintable(QString::number(done)));
    QCOMPARE(child<QLabel>(window.get(), "status")->text().section(',', 0, 0),
             QStringLiteral("Stopped: %1 of 30 pairs processed").arg(done));
    for (const char *name : {"/result.csv", "/stats.csv"}) {
        const QList<QByteArray> lines = read_file(out + name).split('\n');
        QCOMPARE(lines.size(), done + 2); // the header, a line per pair, the final line end
        QVERIFY(lines.last().isEmpty());
    }
    QVERIFY(read_file(out + "/report.html")
                .contains(QStringLiteral("The run was stopped: %1 of its 30 pairs were done.")
                              .arg(done)
                              .toUtf8()));
    QCOMPARE(leftovers(out), QStringList());
}

QTEST_MAIN(TestCampaign)
#include "tst_campaign.moc"
