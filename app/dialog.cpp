#include "dialog.h"
#include "ui_dialog.h"

#include "about.h"
#include "exiftool.h"
#include "refltable.h"
#include "run.h"
#include "temperature.h"

#include <QFileDialog>
#include <QGraphicsScene>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QStringListModel>

Dialog::Dialog(QWidget *parent) : QDialog(parent), ui(new Ui::Dialog)
{
    ui->setupUi(this);

    QFont title_font = ui->l_title->font();
    title_font.setPointSize(16);
    title_font.setWeight(QFont::Bold);
    ui->l_title->setFont(title_font);

    scene = new QGraphicsScene(this);

    ui->lst_imagefile->setModel(new QStringListModel(image_files));
    ui->lst_outdir->setModel(new QStringListModel(output_dirs));
    ui->lst_outfiles->setModel(new QStringListModel(output_files));

    refl_loaded = false;
    refl_count = 0;

    about_dlg = new about(this);
}

Dialog::~Dialog()
{
    // The list models were created without a parent.
    delete ui->lst_imagefile->model();
    delete ui->lst_outdir->model();
    delete ui->lst_outfiles->model();
    delete ui;
}

namespace
{

QStringListModel *list_model(QAbstractItemView *view)
{
    return static_cast<QStringListModel *>(view->model());
}

// Empties `list` from its last entry to its first and, if it held any, shows
// the empty list in `view`.
void empty_list(QStringList &list, QAbstractItemView *view)
{
    if (list.isEmpty())
        return;
    while (!list.isEmpty())
        list.removeLast();
    list_model(view)->setStringList(list);
}

} // namespace

void Dialog::on_pb_addimage_clicked()
{
    QMessageBox box(this);
    box.setIcon(QMessageBox::Question);
    box.setText(QStringLiteral("Please select if you want to work with files or directories (it "
                               "should contain only images): "));
    QPushButton *files = box.addButton(tr("Files"), QMessageBox::ActionRole);
    QPushButton *directories = box.addButton(tr("Directories"), QMessageBox::ActionRole);
    box.addButton(QMessageBox::Cancel);
    box.exec();

    if (box.clickedButton() == files) {
        const QStringList chosen = QFileDialog::getOpenFileNames(
            this, tr("Open files"), QString(),
            tr("JPEG(*.jpg *.jpeg);;BMP(*.bmp);;TIFF(*.tif);; All files (*.*)"));
        for (const QString &path : chosen) {
            image_files.append(path);
            list_model(ui->lst_imagefile)->setStringList(image_files);
        }
    } else if (box.clickedButton() == directories) {
        const QString dir = QFileDialog::getExistingDirectory(this, tr("Open directory"), QString(),
                                                              QFileDialog::ShowDirsOnly |
                                                                  QFileDialog::DontResolveSymlinks);
        if (dir.isEmpty())
            return;
        for (const QString &path : ardentis::list_jpeg_files(dir)) {
            image_files.append(path);
            list_model(ui->lst_imagefile)->setStringList(image_files);
        }
    }
}

void Dialog::show_image(const QStringList &list, const QModelIndex &index)
{
    if (list.isEmpty() || index.row() < 0 || index.row() >= list.size())
        return;
    const QPixmap pixmap(list.at(index.row()));
    scene->clear();
    scene->addPixmap(pixmap);
    scene->setSceneRect(0.0, 0.0, pixmap.width(), pixmap.height());
    ui->graphicsView->setScene(scene);
    ui->graphicsView->fitInView(scene->sceneRect(), Qt::IgnoreAspectRatio);
}

void Dialog::on_lst_imagefile_clicked(const QModelIndex &index)
{
    show_image(image_files, index);
}

void Dialog::on_lst_outfiles_clicked(const QModelIndex &index)
{
    show_image(output_files, index);
}

void Dialog::on_pb_deleteitem_clicked()
{
    const QModelIndexList selected = ui->lst_imagefile->selectionModel()->selectedIndexes();
    if (!selected.isEmpty()) {
        const int row = selected.first().row();
        ui->lst_imagefile->model()->removeRows(row, 1, QModelIndex());
        if (row >= 0 && row < image_files.size())
            image_files.removeAt(row);
    }
    scene->clear();
}

void Dialog::on_pb_deleteall_clicked()
{
    empty_list(image_files, ui->lst_imagefile);
    scene->clear();
}

void Dialog::on_pb_saveresults_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Open directory"), QString(),
                                                          QFileDialog::ShowDirsOnly |
                                                              QFileDialog::DontResolveSymlinks);
    if (dir.isEmpty())
        return;
    empty_list(output_dirs, ui->lst_outdir);
    output_dirs.append(dir);
    list_model(ui->lst_outdir)->setStringList(output_dirs);
}

void Dialog::on_pb_clean_clicked()
{
    empty_list(output_files, ui->lst_outfiles);
    empty_list(output_dirs, ui->lst_outdir);
    scene->clear();
}

void Dialog::on_pb_addimage_2_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open files"), QString(),
                                                      tr("CSV(*.csv);;All files (*.*)"));
    if (path.isEmpty())
        return;
    refl_path = path;
    refl_loaded = true;
    refl_table = ardentis::load_refl_table(refl_path.toUtf8().toStdString());
    refl_count = static_cast<int>(refl_table.size() / ardentis::ReflColumns);
}

int Dialog::matchCodeCsv(double code)
{
    if (refl_count <= 0)
        return 0;
    return ardentis::match_refl_code(refl_table, code);
}

void Dialog::get_temperature(bool flag_er, QString filename, double *emi_in, double *t_refl_in)
{
    ardentis::ProcessExifTool tool;
    temp_matrix = ardentis::measure_temperatures(tool, flag_er, filename, emi_in, t_refl_in,
                                                 QStringLiteral("test.tiff"));
}

QString Dialog::get_datetimeoriginal(QString filename)
{
    ardentis::ProcessExifTool tool;
    return ardentis::query_capture_time(tool, filename);
}

void Dialog::on_pb_generate_clicked()
{
    // The window's side of the run: message boxes, the progress bar, the
    // output list, and its own measurement slots.
    class WindowFrontEnd : public ardentis::RunFrontEnd, public ardentis::PairMeasurer
    {
    public:
        explicit WindowFrontEnd(Dialog *window) : w(window) {}
        void warning(const QString &text) override
        {
            QMessageBox::warning(w, QStringLiteral("Warning"), text, QMessageBox::Ok,
                                 QMessageBox::NoButton);
        }
        void critical(const QString &text) override
        {
            QMessageBox::critical(w, QStringLiteral("Warning"), text, QMessageBox::Ok,
                                  QMessageBox::NoButton);
        }
        void progress(int value) override { w->ui->pbar_status->setValue(value); }
        void output_file(const QString &path) override
        {
            w->output_files.append(path);
            list_model(w->ui->lst_outfiles)->setStringList(w->output_files);
        }
        cv::Mat temperatures(bool flag_er, const QString &file, double *emi_in,
                             double *t_refl_in) override
        {
            w->get_temperature(flag_er, file, emi_in, t_refl_in);
            return w->temp_matrix;
        }
        QString capture_time(const QString &file) override { return w->get_datetimeoriginal(file); }

    private:
        Dialog *w;
    };

    WindowFrontEnd front(this);
    ardentis::run_generation({image_files, output_dirs, refl_loaded, refl_table}, front, front,
                             stdout);
    std::fflush(stdout);
}

void Dialog::on_pb_about_clicked()
{
    about_dlg->exec();
}
