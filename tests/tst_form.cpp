// The main window as it opens: its widgets, pictures, start-up state and the
// information box.

#include "dialog.h"
#include "guitest.h"

#include <QAbstractItemView>
#include <QGraphicsView>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>

using guitest::child;

namespace
{
QStringList captured_messages;
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured_messages << message;
}
} // namespace

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        captured_messages.clear();
        QtMessageHandler previous = qInstallMessageHandler(capture);
        window = std::make_unique<Dialog>();
        qInstallMessageHandler(previous);
    }
    void cleanup() { window.reset(); }

    void slotsAllConnect();
    void windowItself();
    void widgets_data();
    void widgets();
    void listViewSettings();
    void viewer();
    void titleFont();
    void raiseOrder();
    void startUpState();
    void resources_data();
    void resources();
    void aboutBox();
    void closingEndsTheLoop();

private:
    std::unique_ptr<Dialog> window;
};

void TestForm::slotsAllConnect()
{
    // connectSlotsByName warns when a slot's name matches no widget signal.
    for (const QString &m : captured_messages)
        QVERIFY2(!m.contains(QLatin1String("No matching signal")), qPrintable(m));
    const QMetaObject *mo = window->metaObject();
    QCOMPARE(QString::fromLatin1(mo->className()), QStringLiteral("Dialog"));
    const QStringList expected{
        "on_pb_addimage_clicked()",
        "on_lst_imagefile_clicked(QModelIndex)",
        "on_pb_deleteitem_clicked()",
        "on_pb_deleteall_clicked()",
        "on_pb_generate_clicked()",
        "on_pb_saveresults_clicked()",
        "on_pb_addimage_2_clicked()",
        "get_temperature(bool,QString,double*,double*)",
        "get_datetimeoriginal(QString)",
        "matchCodeCsv(double)",
        "on_lst_outfiles_clicked(QModelIndex)",
        "on_pb_clean_clicked()",
        "on_pb_about_clicked()",
    };
    QStringList actual;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        QCOMPARE(mo->method(i).access(), QMetaMethod::Private);
        actual << QString::fromLatin1(mo->method(i).methodSignature());
    }
    QCOMPARE(actual, expected);
    QCOMPARE(mo->method(mo->indexOfMethod("get_temperature(bool,QString,double*,double*)"))
                 .parameterNames(),
             (QList<QByteArray>{"flag_er", "filename", "emi_in", "t_refl_in"}));
}

void TestForm::windowItself()
{
    QCOMPARE(window->objectName(), QStringLiteral("Dialog"));
    QCOMPARE(window->size(), QSize(943, 593));
    QCOMPARE(window->windowTitle(), QStringLiteral("Ardentis VLM V1.3"));
    QCOMPARE(window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).size() -
                 window->findChildren<QDialog *>(QString(), Qt::FindDirectChildrenOnly).size(),
             10);
}

void TestForm::widgets_data()
{
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hasIcon");

    auto row = [](const char *name, const char *cls, const char *parent, QRect g, const char *text,
                  bool icon = false) {
        QTest::newRow(name) << cls << parent << g << QString::fromUtf8(text) << icon;
    };
    row("l_title", "QLabel", "Dialog", {10, 20, 181, 41}, "ARD VLM V1.3");
    row("line", "QFrame", "Dialog", {10, 60, 181, 16}, "");
    row("gb_controles", "QGroupBox", "Dialog", {10, 100, 191, 481}, "Controls");
    row("pb_addimage", "QPushButton", "gb_controles", {20, 30, 51, 61}, "", true);
    row("pb_deleteitem", "QPushButton", "gb_controles", {120, 30, 51, 61}, "", true);
    row("l_addimage", "QLabel", "gb_controles", {10, 90, 71, 41}, "Add \n image(s)");
    row("l_deleteimage", "QLabel", "gb_controles", {120, 90, 51, 41}, "Delete\nimage");
    row("pb_deleteall", "QPushButton", "gb_controles", {20, 150, 51, 61}, "", true);
    row("l_deleteall", "QLabel", "gb_controles", {10, 210, 71, 41}, "Delete\n all images");
    row("pb_generate", "QPushButton", "gb_controles", {70, 380, 51, 61}, "", true);
    row("l_generate", "QLabel", "gb_controles", {60, 440, 71, 41}, "Generate\n results");
    row("pb_saveresults", "QPushButton", "gb_controles", {20, 270, 51, 61}, "", true);
    row("l_generate_2", "QLabel", "gb_controles", {10, 330, 71, 41}, "Select output\n directory");
    row("l_excel", "QLabel", "gb_controles", {100, 210, 91, 41}, "Add reflected\ntemperature");
    row("pb_addimage_2", "QPushButton", "gb_controles", {120, 150, 51, 61}, "", true);
    row("pb_clean", "QPushButton", "gb_controles", {120, 270, 51, 61}, "", true);
    row("l_generate_3", "QLabel", "gb_controles", {110, 330, 71, 41}, "Clean output \n windows");
    row("gb_selectedimg", "QGroupBox", "Dialog", {210, 100, 351, 141},
        "Input images selected by user");
    row("lst_imagefile", "QListView", "gb_selectedimg", {10, 20, 331, 111}, "");
    row("gb_visualizer", "QGroupBox", "Dialog", {570, 100, 361, 301},
        "Input and output image display");
    row("graphicsView", "QGraphicsView", "gb_visualizer", {10, 20, 341, 271}, "");
    row("gb_output", "QGroupBox", "Dialog", {210, 340, 351, 131}, "Output images");
    row("lst_outfiles", "QListView", "gb_output", {10, 20, 331, 101}, "");
    row("gb_outputdir", "QGroupBox", "Dialog", {210, 250, 351, 81}, "Output directory for results");
    row("lst_outdir", "QListView", "gb_outputdir", {10, 20, 331, 51}, "");
    row("gb_status", "QGroupBox", "Dialog", {570, 410, 361, 61}, "Processing status");
    row("pbar_status", "QProgressBar", "gb_status", {10, 20, 351, 31}, "");
    row("pb_about", "QPushButton", "Dialog", {880, 30, 51, 61}, "", true);
    row("gb_sponsors", "QGroupBox", "Dialog", {210, 470, 721, 111}, "Sponsored by");
    row("vlm_logo", "QLabel", "gb_sponsors", {10, 20, 701, 81}, "");
}

void TestForm::widgets()
{
    QFETCH(QString, cls);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, hasIcon);

    QWidget *w = child<QWidget>(window.get(), QTest::currentDataTag());
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), cls);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(w->geometry(), geometry);
    if (auto *label = qobject_cast<QLabel *>(w))
        QCOMPARE(label->text(), text);
    if (auto *box = qobject_cast<QGroupBox *>(w))
        QCOMPARE(box->title(), text);
    if (auto *button = qobject_cast<QPushButton *>(w)) {
        QCOMPARE(button->text(), QString());
        QCOMPARE(button->toolTip(), QString());
        QCOMPARE(!button->icon().isNull(), hasIcon);
        QCOMPARE(button->iconSize(), QSize(32, 32));
        QVERIFY(!button->isDefault());
        // Four buttons are made auto-default; a dialog makes every button so.
        QVERIFY(button->autoDefault());
        QVERIFY(!button->icon().pixmap(32, 32).isNull());
    }
    if (auto *label = qobject_cast<QLabel *>(w);
        label && label->objectName().startsWith("l_") && label->objectName() != "l_title")
        QCOMPARE(label->alignment(), Qt::AlignCenter);
}

void TestForm::listViewSettings()
{
    auto *images = child<QListView>(window.get(), "lst_imagefile");
    auto *outfiles = child<QListView>(window.get(), "lst_outfiles");
    auto *outdir = child<QListView>(window.get(), "lst_outdir");
    QCOMPARE(images->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(images->wordWrap());
    QVERIFY(!images->isSelectionRectVisible());
    const QListView defaults;
    for (QListView *v : {outfiles, outdir}) {
        QCOMPARE(v->editTriggers(), defaults.editTriggers());
        QVERIFY(v->editTriggers() != QAbstractItemView::NoEditTriggers);
        QCOMPARE(v->wordWrap(), defaults.wordWrap());
    }
    for (QListView *v : {images, outfiles, outdir})
        QCOMPARE(v->selectionMode(), QAbstractItemView::SingleSelection);
}

void TestForm::viewer()
{
    auto *view = child<QGraphicsView>(window.get(), "graphicsView");
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(view->backgroundBrush().style(), Qt::NoBrush);
    QCOMPARE(view->backgroundBrush().color(), QColor(0, 0, 0, 255));
    QCOMPARE(view->sceneRect(), QRectF(0, 0, 0, 0));
    auto *line = child<QFrame>(window.get(), "line");
    QCOMPARE(line->frameShape(), QFrame::HLine);
    QCOMPARE(line->frameShadow(), QFrame::Plain);
    QCOMPARE(line->lineWidth(), 4);
    auto *logo = child<QLabel>(window.get(), "vlm_logo");
    QVERIFY(logo->hasScaledContents());
    QVERIFY(logo->pixmap(Qt::ReturnByValue).size() == QSize(6584, 765));
}

void TestForm::titleFont()
{
    const QFont f = child<QLabel>(window.get(), "l_title")->font();
    QCOMPARE(f.pointSize(), 16);
    QCOMPARE(f.weight(), int(QFont::Bold));
}

void TestForm::raiseOrder()
{
    QStringList order;
    for (QObject *o : window->children()) {
        if (o->isWidgetType() && !qobject_cast<QDialog *>(o))
            order << o->objectName();
    }
    QCOMPARE(order,
             (QStringList{"gb_controles", "l_title", "line", "gb_selectedimg", "gb_visualizer",
                          "gb_output", "gb_outputdir", "gb_status", "pb_about", "gb_sponsors"}));
}

void TestForm::startUpState()
{
    for (const char *name : {"lst_imagefile", "lst_outfiles", "lst_outdir"}) {
        auto *model =
            qobject_cast<QStringListModel *>(child<QListView>(window.get(), name)->model());
        QVERIFY2(model, name);
        QCOMPARE(model->rowCount(), 0);
    }
    QVERIFY(child<QListView>(window.get(), "lst_imagefile")->model() !=
            child<QListView>(window.get(), "lst_outfiles")->model());
    QCOMPARE(child<QGraphicsView>(window.get(), "graphicsView")->scene(), nullptr);
    QCOMPARE(child<QProgressBar>(window.get(), "pbar_status")->value(), 0);
    int row = -1;
    QVERIFY(QMetaObject::invokeMethod(window.get(), "matchCodeCsv", Q_RETURN_ARG(int, row),
                                      Q_ARG(double, 0.0)));
    QCOMPARE(row, 0);
}

void TestForm::resources_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    for (const char *icon :
         {"picture_add.png", "picture_delete.png", "pictures.png", "gear_in.png",
          "folder_picture.png", "table_excel.png", "draw_eraser.png", "information.png"})
        QTest::newRow(icon) << QByteArray("png") << QSize(32, 32);
    QTest::newRow("logos.jpg") << QByteArray("jpeg") << QSize(6584, 765);
    QTest::newRow("draw_about.png") << QByteArray("png") << QSize(2378, 835);
}

void TestForm::resources()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QImageReader reader(QStringLiteral(":/Images/") + QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    if (format == "png")
        QVERIFY(image.hasAlphaChannel());
    else
        QVERIFY(!image.hasAlphaChannel() && !image.isGrayscale());
}

void TestForm::aboutBox()
{
    auto *button = child<QPushButton>(window.get(), "pb_about");
    QList<QDialog *> shown;
    for (int press = 0; press < 2; ++press) {
        guitest::answer_next_modal([&shown](QWidget *modal) {
            shown << qobject_cast<QDialog *>(modal);
            static_cast<QDialog *>(modal)->reject();
        });
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QCOMPARE(shown.size(), 2);
    QVERIFY(shown[0] && shown[0] == shown[1]);
    QDialog *box = shown[0];
    QCOMPARE(QString::fromLatin1(box->metaObject()->className()), QStringLiteral("about"));
    QCOMPARE(box->parentWidget(), window.get());
    QCOMPARE(box->windowTitle(), QStringLiteral("Information"));
    QCOMPARE(box->size(), QSize(780, 329));

    auto *info = child<QLabel>(box, "label_2");
    const QStringList lines = info->text().split('\n');
    QCOMPARE(lines.size(), 17);
    QCOMPARE(lines.mid(0, 10),
             (QStringList{"Velmora", "2018", "", "ARDVLM V1.3", "Ardentis VLM V1.3", "",
                          "It was developed using:", "QT Creator", "", "Developed by:"}));
    QCOMPARE(lines.mid(14, 2), (QStringList{"", "Contact email:"}));
    QVERIFY(lines[16].endsWith("@example.org"));
    QVERIFY(info->font().bold() && info->wordWrap());
    QCOMPARE(info->geometry(), QRect(630, 10, 141, 271));

    auto *picture = child<QLabel>(box, "label_img");
    QCOMPARE(picture->geometry(), QRect(10, 10, 601, 211));
    QVERIFY(picture->hasScaledContents());
    QVERIFY(picture->pixmap(Qt::ReturnByValue).size() == QSize(2378, 835));

    auto *text = child<QLabel>(box, "label");
    QCOMPARE(text->geometry(), QRect(20, 230, 541, 81));
    QCOMPARE(
        text->text(),
        QStringLiteral("Thermal Image acquisition:\n\n Data is acquired by using the sensor "
                       "FLIR E60 and with the following steps: \n (1 and 2) Data is acquired "
                       "from both RGB and IR bands. \n (3) IR image is filtered to avoid false "
                       "detection of plants. \n (4) RGB and IR images are aligned to process "
                       "plant temperature in one specific region of the agricultural crop."));
    QVERIFY(!text->wordWrap());
}

void TestForm::closingEndsTheLoop()
{
    window->show();
    QTimer::singleShot(50, window.get(), [this] { window->close(); });
    QCOMPARE(QApplication::exec(), 0);
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
