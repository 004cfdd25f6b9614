// The window as a user drives it: its start, the information box, the input
// and output lists, the table, and generation runs with the real exiftool,
// checked against independently computed temperatures and pictures.

#include "app/dialog.h"
#include "outputs/outputlock.h"
#include "tests/guitest.h"
#include "tests/testutil.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsView>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringListModel>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <sys/stat.h>
#include <unistd.h>

using guitest::child;
using guitest::MessageBoxRecorder;

namespace
{
QStringList messages;
void capture(QtMsgType, const QMessageLogContext &, const QString &m)
{
    messages << m;
}

void write_image(const QString &path, QSize size, QColor colour = Qt::green)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "JPG"));
}

// The mean absolute difference of two pictures of the same size.
double difference(const cv::Mat &a, const cv::Mat &b)
{
    return a.size() == b.size() ? cv::norm(a, b, cv::NORM_L1) / double(a.total() * 3) : 1e9;
}
} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { window.reset(); }

    void startAndAbout();
    void addingImages();
    void viewerAndLists();
    void tables();
    void inputChecks_data();
    void inputChecks();
    void onePair();
    void progress_data();
    void progress();
    void tableValues();
    void skippedPairs();
    void exiftoolRuns_data();
    void exiftoolRuns();

private:
    QStringList listed(const char *view) const
    {
        return static_cast<QStringListModel *>(child<QListView>(window.get(), view)->model())
            ->stringList();
    }
    void click(const char *button)
    {
        QTest::mouseClick(child<QPushButton>(window.get(), button), Qt::LeftButton);
    }
    void click_row(const char *view, int row)
    {
        auto *list = child<QListView>(window.get(), view);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
    }
    QSize shown_size() const
    {
        const auto *view = child<QGraphicsView>(window.get(), "graphicsView");
        return qgraphicsitem_cast<QGraphicsPixmapItem *>(view->scene()->items().first())
            ->pixmap()
            .size();
    }
    void add_files(const QStringList &paths)
    {
        for (const QString &path : paths) {
            guitest::answer_question("Files");
            guitest::answer_file_dialog(QFileInfo(path).path(), {QFileInfo(path).fileName()});
            click("pb_addimage");
        }
    }
    void add_folder(const QString &dir)
    {
        guitest::answer_question("Directories");
        guitest::answer_file_dialog(dir, {});
        click("pb_addimage");
    }
    void choose(const char *button, const QString &path, const QString &name = {})
    {
        guitest::answer_file_dialog(path, name.isEmpty() ? QStringList() : QStringList{name});
        click(button);
    }
    int match(double code)
    {
        int row = -1;
        QMetaObject::invokeMethod(window.get(), "matchCodeCsv", Q_RETURN_ARG(int, row),
                                  Q_ARG(double, code));
        return row;
    }
    QList<MessageBoxRecorder::Box> generate()
    {
        MessageBoxRecorder recorder; // modal boxes are answered before the click returns
        click("pb_generate");
        return recorder.boxes;
    }
    // A run's message boxes, and what the window printed on standard output.
    QList<MessageBoxRecorder::Box> generate(QByteArray &printed)
    {
        QTemporaryFile file;
        if (!file.open())
            return {};
        std::fflush(stdout);
        const int saved = ::dup(1);
        ::dup2(file.handle(), 1);
        const auto boxes = generate();
        std::fflush(stdout);
        ::dup2(saved, 1);
        ::close(saved);
        printed = read_file(file.fileName());
        return boxes;
    }
    QList<QByteArray> result_lines() const { return read_file(out + "/result.csv").split('\n'); }

    QTemporaryDir tmp;
    QString in, out;
    std::unique_ptr<Dialog> window;
};

void TestWindow::initTestCase()
{
    QVERIFY(tmp.isValid());
    in = tmp.filePath("in");
    for (const char *folder : {"in", "folder/sub", "sorted", "empty", "out1", "out2"})
        QDir(tmp.path()).mkpath(folder);
    for (const char *name :
         {"folder/c.Jpeg", "folder/a.JPG", "folder/b.jpeg", "folder/sub/e.jpg", "sorted/IMG_2.jpg",
          "sorted/IMG_10.jpg", "sorted/b.jpg", "sorted/C.jpg"})
        write_image(tmp.filePath(name), QSize(40, 30));
    write_file(tmp.filePath("folder/d.png"), "");
    write_image(tmp.filePath("portrait.jpg"), QSize(30, 90), Qt::red);
    write_file(tmp.filePath("broken.jpg"), "not an image");
    QDir::setCurrent(tmp.path()); // the window's working file goes here
}

void TestWindow::init()
{
    static int n = 0;
    out = tmp.filePath(QStringLiteral("out-%1").arg(++n));
    QDir().mkpath(out);
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    window = std::make_unique<Dialog>();
    qInstallMessageHandler(previous);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestWindow::startAndAbout()
{
    // Every slot named for a widget's signal found it.
    QVERIFY2(!messages.join('\n').contains("No matching signal"), qPrintable(messages.join('\n')));
    QVERIFY(listed("lst_imagefile").isEmpty() && listed("lst_outfiles").isEmpty() &&
            listed("lst_outdir").isEmpty());
    QVERIFY(!child<QGraphicsView>(window.get(), "graphicsView")->scene());
    QCOMPARE(child<QProgressBar>(window.get(), "pbar_status")->value(), 0);

    QList<QDialog *> shown;
    for (int press = 0; press < 2; ++press) {
        guitest::answer_next_modal([&shown](QWidget *modal) {
            shown << qobject_cast<QDialog *>(modal);
            static_cast<QDialog *>(modal)->reject();
        });
        click("pb_about");
    }
    QVERIFY(shown.size() == 2 && shown[0] && shown[0] == shown[1]); // the same box both times
    QTimer::singleShot(0, window.get(), [this] { window->close(); });
    QCOMPARE(QApplication::exec(), 0); // closing the window ends the program
}

void TestWindow::addingImages()
{
    QString question;
    guitest::answer_question("Files", &question);
    guitest::answer_file_dialog(tmp.path(), {"portrait.jpg", "broken.jpg"});
    click("pb_addimage");
    QCOMPARE(question,
             QStringLiteral("Please select if you want to work with files or directories (it "
                            "should contain only images): ||%1")
                 .arg(int(QMessageBox::Question)));
    for (const char *dir : {"folder", "sorted", "empty", "folder"})
        add_folder(tmp.filePath(dir));
    for (const char *choice : {"Cancel", "Files", "Directories"}) { // cancelled at each step
        guitest::answer_question(choice);
        if (QByteArray(choice) != "Cancel")
            guitest::answer_file_dialog(QString(), {});
        click("pb_addimage");
    }
    const QStringList f{tmp.filePath("folder/a.JPG"), tmp.filePath("folder/b.jpeg"),
                        tmp.filePath("folder/c.Jpeg")};
    const QStringList sorted{tmp.filePath("sorted/b.jpg"), tmp.filePath("sorted/C.jpg"),
                             tmp.filePath("sorted/IMG_10.jpg"), tmp.filePath("sorted/IMG_2.jpg")};
    QCOMPARE(listed("lst_imagefile"),
             QStringList({tmp.filePath("portrait.jpg"), tmp.filePath("broken.jpg")}) + f + sorted +
                 f);

    // Plain files only, as before; the entries left out are named, so that
    // no pair is formed across them unsaid.
    const QString odd = tmp.filePath("left-out");
    QDir().mkpath(odd);
    for (const char *name : {"/a.jpg", "/.b.jpg", "/e\xff.jpg"})
        std::fclose(std::fopen(QFile::encodeName(odd) + name, "w"));
    QFile::link(odd + "/a.jpg", odd + "/c.jpg");
    QString warning;
    guitest::answer_question("Directories");
    guitest::answer_file_dialog(odd, {});
    guitest::answer_next_modal([&warning](QWidget *box) {
        warning = static_cast<QMessageBox *>(box)->text();
        box->close();
    });
    click("pb_addimage");
    ::unlink(QFile::encodeName(odd) + "/e\xff.jpg");
    QCOMPARE(listed("lst_imagefile").last(), odd + "/a.jpg");
    QCOMPARE(warning, QStringLiteral("These JPEG entries of the folder were not added, so the "
                                     "images after them may pair with other partners than you "
                                     "expect:\n\n%1/.b.jpg\n    it is hidden (its name begins "
                                     "with a full stop)\n\n%1/c.jpg\n    it is a symbolic link; "
                                     "only plain files are taken\n\n%1/e%FF.jpg\n    its name is "
                                     "not UTF-8 text; rename the file")
                          .arg(odd));
}

void TestWindow::viewerAndLists()
{
    add_files(
        {tmp.filePath("portrait.jpg"), tmp.filePath("broken.jpg"), tmp.filePath("folder/a.JPG")});
    auto *view = child<QGraphicsView>(window.get(), "graphicsView");
    auto *list = child<QListView>(window.get(), "lst_imagefile");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down); // the keyboard only selects
    QVERIFY(!view->scene());
    click_row("lst_imagefile", 0);
    QCOMPARE(view->scene()->items().size(), 1);
    QCOMPARE(shown_size(), QSize(30, 90));
    const QRectF shown = view->mapFromScene(view->sceneRect()).boundingRect();
    QVERIFY(std::abs(shown.width() - view->viewport()->width()) <= 6); // stretched both ways
    QVERIFY(std::abs(shown.height() - view->viewport()->height()) <= 6);
    click_row("lst_imagefile", 1); // unreadable: an empty picture
    QCOMPARE(shown_size(), QSize(0, 0));

    click("pb_deleteitem"); // the selected row 1
    QCOMPARE(listed("lst_imagefile"),
             (QStringList{tmp.filePath("portrait.jpg"), tmp.filePath("folder/a.JPG")}));
    QVERIFY(view->scene()->items().isEmpty());
    click_row("lst_imagefile", 1);
    QCOMPARE(shown_size(), QSize(40, 30));
    click("pb_deleteall");
    QVERIFY(listed("lst_imagefile").isEmpty() && view->scene()->items().isEmpty());

    choose("pb_saveresults", tmp.filePath("out1"));
    choose("pb_saveresults", tmp.filePath("out2"));
    choose("pb_saveresults", QString()); // cancelled: the choice stays
    QCOMPARE(listed("lst_outdir"), QStringList{tmp.filePath("out2")});
    click("pb_clean");
    QVERIFY(listed("lst_outdir").isEmpty());
}

void TestWindow::tables()
{
    write_file(tmp.filePath("first.csv"), "101,0.95,21.5\n102,0.96,22\n");
    write_file(tmp.filePath("second.csv"), "\xEF\xBB\xBF"
                                           "7,0.9,20\n");
    write_file(tmp.filePath("garbage.csv"), "8,0.9,20\n101,0.95,nan\n");
    QFile big(tmp.filePath("big.csv"));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(65LL << 20));
    big.close();
    choose("pb_addimage_2", tmp.path(), "first.csv");
    choose("pb_addimage_2", QString()); // cancelled: the table stays
    QVERIFY(match(102) == 2 && match(103) == 0);
    choose("pb_addimage_2", tmp.path(), "second.csv");
    QVERIFY(match(102) == 0 && match(7) == 1); // after the byte-order mark
    // A line that is not numbers, a file too large: warned, not loaded.
    MessageBoxRecorder boxes;
    choose("pb_addimage_2", tmp.path(), "garbage.csv");
    choose("pb_addimage_2", tmp.path(), "big.csv");
    QCOMPARE(boxes.boxes.size(), 2);
    const QString not_loaded = "The reflected temperature table " + tmp.path() +
                               "/%1 was not "
                               "loaded: %2.";
    QCOMPARE(boxes.boxes[0].text, not_loaded.arg("garbage.csv", "line 2 ('101,0.95,nan') has the "
                                                                "reflected temperature 'nan', "
                                                                "which is not a number"));
    QCOMPARE(boxes.boxes[1].text, not_loaded.arg("big.csv", "it is larger than 64 MB"));
    QVERIFY(match(7) == 1 && match(8) == 0);
    ::mkfifo(QFile::encodeName(tmp.filePath("pipe.csv")).constData(), 0600);
    choose("pb_addimage_2", tmp.path(), "pipe.csv"); // unreadable: an empty table
    QCOMPARE(match(7), 0);
}

void TestWindow::inputChecks_data()
{
    QTest::addColumn<int>("images");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    const int warning = QMessageBox::Warning;
    QTest::newRow("no folder, odd images") << 3 << ""
                                           << "The process needs an Output directory to start.\n "
                                              "Press \"Select output directory\" button."
                                           << warning;
    QTest::newRow("one image")
        << 1 << "out"
        << "The process needs more than one image to start.\n Press \"Add image(s)\" button."
        << warning;
    QTest::newRow("three images")
        << 3 << "out"
        << "It doesn't exist a even number of images.\nVerify the input images." << warning;
    QTest::newRow("result.csv is a folder")
        << 2 << "csv-folder"
        << "Result file cannot be created. \n Verify your user's privileges."
        << int(QMessageBox::Critical);
    QTest::newRow("another run holds the folder")
        << 2 << "locked"
        << "Another run is writing into %1.\nWait until it has finished, or choose another output "
           "directory."
        << warning;
    QTest::newRow("a linked result folder")
        << 2 << "linked"
        << "A result folder cannot be used:\n%1/2Mascara is a symbolic link, and results are "
           "written only inside the output folder.\nRemove it, or choose another output directory."
        << warning;
}

void TestWindow::inputChecks()
{
    QFETCH(int, images);
    QFETCH(QString, output);
    QFETCH(QString, text);
    QFETCH(int, icon);
    write_pair(in, 1, 1);
    ardentis::OutputLock other_run;
    if (output == "csv-folder")
        QDir(out).mkdir("result.csv");
    if (output == "locked")
        QVERIFY(other_run.lock(out) == ardentis::LockOutcome::Taken);
    const QString elsewhere = tmp.filePath("elsewhere");
    QDir().mkpath(elsewhere);
    write_file(elsewhere + "/2Mascara1_1.jpg", "kept");
    if (output == "linked")
        QFile::link(elsewhere, out + "/2Mascara");
    if (!output.isEmpty())
        choose("pb_saveresults", out);
    QStringList files;
    for (int i = 0; i < images; ++i)
        files << in + (i % 2 ? "/FLIR1_RGB1.jpg" : "/FLIR1.jpg");
    add_files(files);
    const auto boxes = generate();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Warning"));
    QCOMPARE(boxes[0].text, text.contains("%1") ? text.arg(out) : text);
    QVERIFY(boxes[0].icon == icon && boxes[0].buttons == 1);
    QVERIFY(!QFile::exists(out + "/result.csv") || output == "csv-folder");
    QVERIFY(!QDir(out + "/0Aligned").exists());
    QCOMPARE(QDir(elsewhere).entryList(QDir::Files), QStringList{"2Mascara1_1.jpg"});
}

void TestWindow::onePair()
{
    // A thermal picture and a photograph that are not uniform, so that a
    // flipped, shifted or mis-scaled picture shows.
    fixtures::FlirFile file;
    file.counts = fixtures::plot_counts(58, 40, 17000, 5);
    QVERIFY(fixtures::write_flir_jpeg((in + "/one.jpg").toStdString(), file));
    const cv::Mat photo = fixtures::plot_photograph(1500, 1200, 58, 40, 5);
    // A lossless WebP: a format whose header the size check does not read.
    QVERIFY(
        cv::imwrite((in + "/IMG0123.webp").toStdString(), photo, {cv::IMWRITE_WEBP_QUALITY, 101}));
    choose("pb_saveresults", out);
    add_files({in + "/one.jpg", in + "/IMG0123.webp"});
    QDir(out).mkpath("1PartRGB"); // an earlier run's picture is listed too
    write_file(out + "/1PartRGB/1PartRGB_7.jpg", "");
    QByteArray printed;
    QVERIFY(generate(printed).isEmpty());
    QCOMPARE(child<QProgressBar>(window.get(), "pbar_status")->value(), 100);

    // Independently: the cut, the plant mask on it at the raw size, the blend.
    const cv::Mat ir = cv::imread((in + "/one.jpg").toStdString());
    const cv::Mat part = photo(cv::Rect(597, 504, 870, 640));
    cv::Mat small, field, blend = photo.clone(), masked(40, 58, CV_8UC3, cv::Scalar::all(0));
    cv::resize(part, small, cv::Size(58, 40));
    cv::resize(ir, field, cv::Size(870, 640));
    cv::Mat canvas(photo.size(), CV_8UC3, cv::Scalar::all(0));
    field.copyTo(canvas(cv::Rect(597, 504, 870, 640)));
    cv::addWeighted(canvas, 0.5, photo, 0.5, 0, blend);
    double sum = 0;
    int plant = 0;
    QByteArray table;
    for (int r = 0; r < 40; ++r) {
        for (int c = 0; c < 58; ++c) {
            const cv::Vec3b px = small.at<cv::Vec3b>(r, c);
            const double t = own_temperature(file.counts.at<std::uint16_t>(r, c), file);
            if (px[1] > px[0]) {
                masked.at<cv::Vec3b>(r, c) = ir.at<cv::Vec3b>(r, c);
                sum += t;
                ++plant;
            }
            table += QByteArray::number(px[1] > px[0] ? t : 0.0, 'f', 6) + ",";
        }
        table += "\n";
    }
    QVERIFY(plant > 500 && plant < 1800);
    const auto picture = [this](const char *path) {
        return cv::imread((out + path).toStdString());
    };
    QVERIFY(difference(picture("/1PartRGB/1PartRGB_123.jpg"), part) < 2.5);
    QVERIFY(difference(picture("/2Mascara/2Mascara1_123.jpg"), masked) < 5); // a small JPEG
    cv::Mat flipped;
    cv::flip(masked, flipped, 0);
    QVERIFY(difference(picture("/2Mascara/2Mascara1_123.jpg"), flipped) > 15);
    QVERIFY(difference(picture("/0Aligned/0Aligned_123.jpg"), blend) < 2.5);
    const QList<QByteArray> got = read_file(out + "/3tempmask/3tempmask_123.csv").split(','),
                            want = table.split(',');
    QCOMPARE(got.size(), want.size());
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(std::abs(got[i].toDouble() - want[i].toDouble()) < 2e-6, got[i]);
    QCOMPARE(result_lines().value(0), QByteArray("Image number, Time, Average Temp"));
    QVERIFY2(result_lines()[1].startsWith("123.000000,10:15:32,"), result_lines()[1]);
    QVERIFY(std::abs(result_lines()[1].split(',')[2].toDouble() - sum / plant) < 2e-6);

    // The diagnostic lines: the run, no table, the image number's full stop
    // and digits (by byte position), the first temperatures and the values.
    const int three = int((in + "/IMG0123").toUtf8().size()) - 1;
    QByteArray digits;
    for (int i = 0; i < 4; ++i)
        digits += "numnum, index" + QByteArray::number(three - i) + ", val=" + "3210"[i] + "\n";
    const auto fixed = [](double v) { return QByteArray::number(v, 'f', 6); };
    const auto t = [&](int c) {
        return fixed(own_temperature(file.counts.at<std::uint16_t>(0, c), file));
    };
    QCOMPARE(printed, "JAJAJAno\nFound" + digits + "\nDATA: " + t(0) + " " + t(1) + " " + t(2) +
                          "\n\n" + fixed(double(file.emissivity)) + "," +
                          fixed(fixtures::reported_t_refl(file)) + "\n");

    const QStringList outputs{out + "/0Aligned/0Aligned_123.jpg",
                              out + "/1PartRGB/1PartRGB_123.jpg", out + "/1PartRGB/1PartRGB_7.jpg",
                              out + "/2Mascara/2Mascara1_123.jpg"};
    QCOMPARE(listed("lst_outfiles"), outputs);
    QVERIFY(QFile::exists(tmp.filePath("test.tiff")));
    click_row("lst_outfiles", 1); // an output picture shows
    QCOMPARE(shown_size(), QSize(870, 640));
    QVERIFY(generate().isEmpty()); // again: the list holds every picture twice
    QCOMPARE(listed("lst_outfiles"), outputs + outputs);
}

void TestWindow::progress_data()
{
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("3 pairs") << QList<int>{0, 50, 100};
    QTest::newRow("4 pairs") << QList<int>{0, 33, 66, 100};
}

void TestWindow::progress()
{
    // Pairs whose numbers are all in the table: they only show progress.
    QFETCH(QList<int>, values);
    const QString dir = tmp.filePath(QStringLiteral("progress%1").arg(values.size()));
    QDir().mkpath(dir);
    QByteArray table;
    for (int n = 1; n <= values.size(); ++n) {
        table += QByteArray::number(n) + ",0.9,20\n";
        write_file(dir + QStringLiteral("/p%1_0.jpg").arg(n), "");  // radiometric image
        write_file(dir + QStringLiteral("/p%1_%1.jpg").arg(n), ""); // photograph
    }
    write_file(dir + "/all.csv", table);
    choose("pb_saveresults", out);
    choose("pb_addimage_2", dir, "all.csv");
    add_folder(dir);
    auto *bar = child<QProgressBar>(window.get(), "pbar_status");
    bar->reset(); // no progress shown: the first pair's 0 shows too
    QSignalSpy spy(bar, &QProgressBar::valueChanged);
    QVERIFY(generate().isEmpty());
    QList<int> shown;
    for (const auto &args : spy)
        shown << args[0].toInt();
    QCOMPARE(shown, values);
    QCOMPARE(result_lines().size(), 2); // the header and the final line end
}

void TestWindow::tableValues()
{
    // Five pairs, numbers 8 to 12; the table holds 11 and 9. Pair 8 comes
    // before any of them: its own values. 9 and 11 only set the values in
    // force; 10 uses line 2's, 12 line 1's.
    QList<fixtures::FlirFile> files;
    QStringList paths;
    for (int n = 8; n <= 12; ++n) {
        files << write_pair(in, n, unsigned(n));
        paths << in + QStringLiteral("/FLIR%1.jpg").arg(n)
              << in + QStringLiteral("/FLIR%1_RGB%1.jpg").arg(n);
    }
    write_file(tmp.filePath("hits.csv"), "11,0.85,10\n9,0.8,12.5\n");
    choose("pb_saveresults", out);
    choose("pb_addimage_2", tmp.path(), "hits.csv");
    add_files(paths);
    QVERIFY(generate().isEmpty());
    const auto lines = result_lines();
    QCOMPARE(lines.size(), 5); // header, three pairs, the final line end
    const double expected[] = {
        plant_mean(files[0], double(files[0].emissivity), fixtures::reported_t_refl(files[0])),
        plant_mean(files[2], 0.8, 12.5), plant_mean(files[4], 0.85, 10)};
    for (int i = 0; i < 3; ++i) {
        QVERIFY(lines[i + 1].startsWith(QByteArray::number(8 + 2 * i) + ".000000,"));
        QVERIFY2(std::abs(lines[i + 1].split(',')[2].toDouble() - expected[i]) < 2e-6,
                 lines[i + 1]);
    }
    QVERIFY(!QFile::exists(out + "/0Aligned/0Aligned_9.jpg"));
    QCOMPARE(listed("lst_outfiles").mid(0, 3),
             (QStringList{out + "/0Aligned/0Aligned_10.jpg", out + "/0Aligned/0Aligned_12.jpg",
                          out + "/0Aligned/0Aligned_8.jpg"})); // name order, as a listing gives
}

void TestWindow::skippedPairs()
{
    const fixtures::FlirFile good = write_pair(in, 21, 1);
    fixtures::FlirFile noraw;
    noraw.counts = fixtures::plot_counts(29, 20);
    noraw.form = fixtures::RawForm::None;
    QVERIFY(fixtures::write_flir_jpeg((in + "/noraw.jpg").toStdString(), noraw));
    QVERIFY(fixtures::write_jpeg((in + "/small_3.jpg").toStdString(),
                                 fixtures::field_photograph(1400, 1144, 400)));
    // Files of an earlier run under the names of a pair that now fails go.
    QDir(out).mkpath("0Aligned");
    write_file(out + "/0Aligned/0Aligned_3.jpg", "stale");
    choose("pb_saveresults", out);
    const QString g = in + "/FLIR21.jpg", v = in + "/FLIR21_RGB21.jpg";
    QFile::copy(v, in + "/again_21.jpg"); // the same number: its files replace pair 4's
    add_files({in + "/noraw.jpg", v, g, in + "/small_3.jpg", tmp.filePath("broken.jpg"), v, g, v, g,
               in + "/again_21.jpg"});
    const auto boxes = generate();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text,
             QStringLiteral(
                 "3 of 5 image pairs could not be processed and were skipped:\n\n"
                 "Pair 1: %1/noraw.jpg, %2\n    No temperatures could be read from the radiometric "
                 "image (no raw thermal data in it, or ExifTool missing).\n\n"
                 "Pair 2: %3, %1/small_3.jpg\n    The photograph is 1400 x 1144 pixels, smaller "
                 "than 1467 x 1144.\n\n"
                 "Pair 3: %4, %2\n    The radiometric image cannot be decoded.\n\n"
                 "Image pairs with the same image number write the same files; only the last "
                 "one's are left:\n\n"
                 "Pair 4: %3, %2\n    Its files (image number 21) were replaced by those of pair "
                 "5: %3, %1/again_21.jpg")
                 .arg(in, v, g, tmp.filePath("broken.jpg")));
    QCOMPARE(result_lines().size(), 4);
    QVERIFY(!QFile::exists(out + "/0Aligned/0Aligned_3.jpg"));
    QCOMPARE(listed("lst_outfiles").size(), 3); // pair 4's files are pair 5's
}

void TestWindow::exiftoolRuns_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QStringList>("runs");
    const QString f = QStringLiteral("%1/FLIR31.jpg");
    QStringList runs{"-b -FlirImage -RawThermalImage --warning " + f};
    for (const char *tag : {"PlanckR1", "PlanckR2", "PlanckB", "PlanckO", "PlanckF"})
        runs << QStringLiteral("-b -%1 --warning ").arg(tag) + f;
    const QString time = "-DateTimeOriginal " + f;
    QTest::newRow("no table") << QByteArray()
                              << runs +
                                     QStringList{"-b -Emissivity --warning " + f,
                                                 "-b -ReflectedApparentTemperature --warning " + f,
                                                 time};
    QTest::newRow("table values in force") << QByteArray("30,0.9,15\n") << runs + QStringList{time};
}

void TestWindow::exiftoolRuns()
{
    QFETCH(QByteArray, table);
    QFETCH(QStringList, runs);
    write_pair(in, 30, 2);
    write_pair(in, 31, 3);
    QStringList files{in + "/FLIR31.jpg", in + "/FLIR31_RGB31.jpg"};
    if (!table.isEmpty()) {
        write_file(tmp.filePath("runs.csv"), table);
        choose("pb_addimage_2", tmp.path(), "runs.csv");
        files.prepend(in + "/FLIR30_RGB30.jpg"); // a table entry first
        files.prepend(in + "/FLIR30.jpg");
    }
    choose("pb_saveresults", out);
    add_files(files);
    // A recording exiftool that hands every run on to the real one.
    FakeExifTool recorder("echo \"$*\" >> '" + tmp.filePath("runs.log").toUtf8() +
                          "'\nexec \"$REAL\" \"$@\"");
    QFile::remove(tmp.filePath("runs.log"));
    QVERIFY(generate().isEmpty());
    QCOMPARE(QString::fromUtf8(read_file(tmp.filePath("runs.log"))).split('\n', Qt::SkipEmptyParts),
             runs.replaceInStrings("%1", in));
    QCOMPARE(result_lines().size(), 3);

    // A working file that cannot be written skips the pair, naming it.
    QFile::remove(tmp.filePath("test.tiff"));
    QDir(tmp.path()).mkdir("test.tiff");
    const auto boxes = generate();
    QDir(tmp.path()).rmdir("test.tiff");
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.contains("\n    The working file test.tiff cannot be written: "),
             qPrintable(boxes[0].text));
}

int main(int argc, char **argv)
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    TestWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window.moc"
