// Filling and emptying the window's lists through its buttons and the real
// question box and file dialogs, showing images, and loading the table.

#include "dialog.h"
#include "guitest.h"

#include <QFileDialog>
#include <QGraphicsPixmapItem>
#include <QGraphicsView>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStringListModel>
#include <QTemporaryDir>

using guitest::answer_file_dialog;
using guitest::answer_next_modal;
using guitest::answer_question;
using guitest::child;

namespace
{

void write_image(const QString &path, QSize size, QColor colour = Qt::green)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "JPG"));
}

} // namespace

class TestInputs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void filesMode();
    void folderMode();
    void cancelAtEachStep_data();
    void cancelAtEachStep();
    void duplicatesListedTwice();
    void clickShowsImage();
    void unreadableImageLeavesEmptyViewer();
    void keyboardOnlySelects();
    void deleteSelected();
    void deleteWithoutSelection();
    void deleteAll();
    void outputFolder();
    void cleanWithEmptyLists();
    void tableLoading();

private:
    QStringList listed(const char *view) const;
    void add_files(const QStringList &names);
    void add_folder(const QString &dir);
    void click_row(const char *view, int row);

    QTemporaryDir tmp;
    std::unique_ptr<Dialog> window;
};

void TestInputs::initTestCase()
{
    QVERIFY(tmp.isValid());
    QDir(tmp.path()).mkpath("folder/sub");
    QDir(tmp.path()).mkpath("out1");
    QDir(tmp.path()).mkpath("out2");
    QDir(tmp.path()).mkpath("empty");
    for (const char *name : {"folder/c.Jpeg", "folder/a.JPG", "folder/b.jpeg", "folder/sub/e.jpg"})
        write_image(tmp.filePath(name), QSize(40, 30));
    QFile png(tmp.filePath("folder/d.png"));
    QVERIFY(png.open(QIODevice::WriteOnly));
    png.close();
    write_image(tmp.filePath("wide.jpg"), QSize(64, 48));
    write_image(tmp.filePath("portrait.jpg"), QSize(30, 90), Qt::red);
    QFile bad(tmp.filePath("broken.jpg"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not an image");
}

void TestInputs::init()
{
    window = std::make_unique<Dialog>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestInputs::cleanup()
{
    window.reset();
}

QStringList TestInputs::listed(const char *view) const
{
    return static_cast<QStringListModel *>(child<QListView>(window.get(), view)->model())
        ->stringList();
}

void TestInputs::add_files(const QStringList &names)
{
    answer_question("Files");
    answer_file_dialog(tmp.path(), names);
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_addimage"), Qt::LeftButton);
}

void TestInputs::add_folder(const QString &dir)
{
    answer_question("Directories");
    answer_file_dialog(dir, {});
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_addimage"), Qt::LeftButton);
}

void TestInputs::click_row(const char *view, int row)
{
    auto *list = child<QListView>(window.get(), view);
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

void TestInputs::filesMode()
{
    QString question, caption;
    QStringList filters;
    answer_question("Files", &question);
    answer_file_dialog(tmp.path(), {"wide.jpg", "portrait.jpg"}, &caption, &filters);
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_addimage"), Qt::LeftButton);

    QCOMPARE(question, QStringLiteral("Please select if you want to work with files or directories "
                                      "(it should contain only images): ||%1")
                           .arg(int(QMessageBox::Question)));
    QCOMPARE(caption, QStringLiteral("Open files"));
    QCOMPARE(filters,
             (QStringList{"JPEG(*.jpg *.jpeg)", "BMP(*.bmp)", "TIFF(*.tif)", "All files (*.*)"}));
    QCOMPARE(listed("lst_imagefile"),
             (QStringList{tmp.filePath("wide.jpg"), tmp.filePath("portrait.jpg")}));
}

void TestInputs::folderMode()
{
    QDir(tmp.path()).mkpath("sorted");
    for (const char *name :
         {"sorted/IMG_2.jpg", "sorted/IMG_10.jpg", "sorted/C.jpg", "sorted/b.jpg"})
        write_image(tmp.filePath(name), QSize(8, 8));
    add_folder(tmp.filePath("folder"));
    add_folder(tmp.filePath("sorted"));
    QCOMPARE(listed("lst_imagefile"),
             (QStringList{tmp.filePath("folder/a.JPG"), tmp.filePath("folder/b.jpeg"),
                          tmp.filePath("folder/c.Jpeg"), tmp.filePath("sorted/b.jpg"),
                          tmp.filePath("sorted/C.jpg"), tmp.filePath("sorted/IMG_10.jpg"),
                          tmp.filePath("sorted/IMG_2.jpg")}));
    add_folder(tmp.filePath("empty"));
    QCOMPARE(listed("lst_imagefile").size(), 7);
}

void TestInputs::cancelAtEachStep_data()
{
    QTest::addColumn<QString>("choice");
    QTest::newRow("question box") << "Cancel";
    QTest::newRow("file dialog") << "Files";
    QTest::newRow("folder dialog") << "Directories";
}

void TestInputs::cancelAtEachStep()
{
    QFETCH(QString, choice);
    add_files({"wide.jpg"});
    answer_question(choice);
    if (choice != "Cancel")
        answer_file_dialog(QString(), {});
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_addimage"), Qt::LeftButton);
    QCOMPARE(listed("lst_imagefile"), QStringList{tmp.filePath("wide.jpg")});
}

void TestInputs::duplicatesListedTwice()
{
    add_files({"wide.jpg"});
    add_files({"wide.jpg"});
    add_folder(tmp.filePath("folder"));
    add_folder(tmp.filePath("folder"));
    const QStringList l = listed("lst_imagefile");
    QCOMPARE(l.size(), 8);
    QCOMPARE(l.count(tmp.filePath("wide.jpg")), 2);
    QCOMPARE(l.count(tmp.filePath("folder/a.JPG")), 2);
}

void TestInputs::clickShowsImage()
{
    add_files({"wide.jpg", "portrait.jpg"});
    auto *view = child<QGraphicsView>(window.get(), "graphicsView");
    QVERIFY(!view->scene());
    click_row("lst_imagefile", 1);
    QVERIFY(view->scene());
    const QList<QGraphicsItem *> items = view->scene()->items();
    QCOMPARE(items.size(), 1);
    auto *item = qgraphicsitem_cast<QGraphicsPixmapItem *>(items.first());
    QVERIFY(item);
    QCOMPARE(item->pixmap().size(), QSize(30, 90));
    QCOMPARE(view->sceneRect(), QRectF(0, 0, 30, 90));
    // Stretched to the whole viewer, proportions not kept.
    const QRectF shown = view->mapFromScene(view->sceneRect()).boundingRect();
    // (fitInView keeps a margin of a few pixels)
    QVERIFY2(qAbs(shown.width() - view->viewport()->width()) <= 6,
             qPrintable(QString::number(shown.width())));
    QVERIFY2(qAbs(shown.height() - view->viewport()->height()) <= 6,
             qPrintable(QString::number(shown.height())));
}

void TestInputs::unreadableImageLeavesEmptyViewer()
{
    add_files({"wide.jpg", "broken.jpg"});
    click_row("lst_imagefile", 0);
    click_row("lst_imagefile", 1);
    auto *view = child<QGraphicsView>(window.get(), "graphicsView");
    const QList<QGraphicsItem *> items = view->scene()->items();
    QCOMPARE(items.size(), 1);
    QVERIFY(qgraphicsitem_cast<QGraphicsPixmapItem *>(items.first())->pixmap().isNull());
}

void TestInputs::keyboardOnlySelects()
{
    add_files({"wide.jpg", "portrait.jpg"});
    auto *list = child<QListView>(window.get(), "lst_imagefile");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QVERIFY(!list->selectionModel()->selectedIndexes().isEmpty());
    QVERIFY(!child<QGraphicsView>(window.get(), "graphicsView")->scene());
}

void TestInputs::deleteSelected()
{
    add_files({"wide.jpg", "portrait.jpg"});
    add_files({"wide.jpg"});
    click_row("lst_imagefile", 1);
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_deleteitem"), Qt::LeftButton);
    QCOMPARE(listed("lst_imagefile"),
             (QStringList{tmp.filePath("wide.jpg"), tmp.filePath("wide.jpg")}));
    QVERIFY(child<QGraphicsView>(window.get(), "graphicsView")->scene()->items().isEmpty());
    // The window's own list followed the model: the remaining rows show their images.
    click_row("lst_imagefile", 1);
    auto *item = qgraphicsitem_cast<QGraphicsPixmapItem *>(
        child<QGraphicsView>(window.get(), "graphicsView")->scene()->items().first());
    QCOMPARE(item->pixmap().size(), QSize(64, 48));
}

void TestInputs::deleteWithoutSelection()
{
    add_files({"wide.jpg"});
    click_row("lst_imagefile", 0);
    child<QListView>(window.get(), "lst_imagefile")->clearSelection();
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_deleteitem"), Qt::LeftButton);
    QCOMPARE(listed("lst_imagefile").size(), 1);
    QVERIFY(child<QGraphicsView>(window.get(), "graphicsView")->scene()->items().isEmpty());
}

void TestInputs::deleteAll()
{
    add_files({"wide.jpg", "portrait.jpg"});
    click_row("lst_imagefile", 0);
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_deleteall"), Qt::LeftButton);
    QVERIFY(listed("lst_imagefile").isEmpty());
    auto *scene = child<QGraphicsView>(window.get(), "graphicsView")->scene();
    QVERIFY(scene->items().isEmpty());
    click_row("lst_imagefile", 0); // nothing there: nothing happens
    QVERIFY(scene->items().isEmpty());
}

void TestInputs::outputFolder()
{
    auto *button = child<QPushButton>(window.get(), "pb_saveresults");
    QString caption;
    answer_file_dialog(tmp.filePath("out1"), {}, &caption);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("Open directory"));
    answer_file_dialog(tmp.filePath("out2"), {});
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(listed("lst_outdir"), QStringList{tmp.filePath("out2")});
    answer_file_dialog(QString(), {});
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(listed("lst_outdir"), QStringList{tmp.filePath("out2")});

    QTest::mouseClick(child<QPushButton>(window.get(), "pb_clean"), Qt::LeftButton);
    QVERIFY(listed("lst_outdir").isEmpty());
}

void TestInputs::cleanWithEmptyLists()
{
    add_files({"wide.jpg"});
    click_row("lst_imagefile", 0);
    QTest::mouseClick(child<QPushButton>(window.get(), "pb_clean"), Qt::LeftButton);
    QVERIFY(listed("lst_outfiles").isEmpty());
    QVERIFY(listed("lst_outdir").isEmpty());
    QCOMPARE(listed("lst_imagefile").size(), 1);
    QVERIFY(child<QGraphicsView>(window.get(), "graphicsView")->scene()->items().isEmpty());
}

void TestInputs::tableLoading()
{
    auto write = [this](const char *name, const QByteArray &text) {
        QFile f(tmp.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write("first.csv", "101,0.95,21.5\n102,0.96,22\n");
    write("second.csv", "\xEF\xBB\xBF"
                        "7,0.9,20\n");
    auto match = [this](double code) {
        int row = -1;
        QMetaObject::invokeMethod(window.get(), "matchCodeCsv", Q_RETURN_ARG(int, row),
                                  Q_ARG(double, code));
        return row;
    };
    auto *button = child<QPushButton>(window.get(), "pb_addimage_2");

    QString caption;
    QStringList filters;
    answer_file_dialog(tmp.path(), {"first.csv"}, &caption, &filters);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("Open files"));
    QCOMPARE(filters, (QStringList{"CSV(*.csv)", "All files (*.*)"}));
    QCOMPARE(match(102), 2);
    QCOMPARE(match(103), 0);

    answer_file_dialog(QString(), {}); // cancelled: the first table stays
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(match(102), 2);

    answer_file_dialog(tmp.path(), {"second.csv"});
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(match(102), 0);
    QCOMPARE(match(7), 1);
}

int main(int argc, char **argv)
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    TestInputs test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_inputs.moc"
