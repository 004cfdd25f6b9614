#include "app/dialog.h"
#include "ui_dialog.h"

#include "about/about.h"
#include "engine/run.h"
#include "measurement/exiftool.h"
#include "measurement/temperature.h"
#include "outputs/resultfiles.h"
#include "refltable/refltable.h"

#include <QDir>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>

#include <cstdio>

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

// The window's working file for the raw thermal image, in the current folder.
const QString work_file = QStringLiteral("test.tiff");

// The folders whose pictures a run lists as its results, in this order.
const char *const picture_folders[] = {ardentis::result_folders[0], ardentis::result_folders[1],
                                       ardentis::result_folders[2]};

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
        const ardentis::FolderImages listed =
            ardentis::list_jpeg_files(dir, ardentis::FolderLinks::Skip);
        for (const QString &path : listed.files) {
            image_files.append(path);
            list_model(ui->lst_imagefile)->setStringList(image_files);
        }
        if (!listed.left_out.empty())
            warn_left_out(listed.left_out);
    }
}

void Dialog::warn_left_out(const std::vector<ardentis::LeftOutEntry> &left_out)
{
    // Images are paired by their place in the list: whoever left out a file
    // unsaid would see the wrong pictures paired.
    QString text = QStringLiteral("These JPEG entries of the folder were not added, so the images "
                                  "after them may pair with other partners than you expect:");
    for (const ardentis::LeftOutEntry &entry : left_out)
        text += QStringLiteral("\n\n%1\n    %2").arg(entry.path, entry.reason);
    QMessageBox::warning(this, QStringLiteral("Warning"), text, QMessageBox::Ok,
                         QMessageBox::NoButton);
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
    ardentis::ReflTableFile table = ardentis::read_refl_table(path);
    if (!table.problem.isEmpty() && !table.unreadable) {
        // A line that is not numbers, or a file that is no table at all,
        // would give made-up values: the table in use stays as it was.
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("The reflected temperature table %1 was not loaded: "
                                            "%2.")
                                 .arg(path, table.problem),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    refl_path = path;
    refl_loaded = true;
    refl_table = std::move(table.rows);
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
    temp_matrix =
        ardentis::measure_temperatures(tool, flag_er, filename, emi_in, t_refl_in, work_file).temps;
}

QString Dialog::get_datetimeoriginal(QString filename)
{
    ardentis::ProcessExifTool tool;
    return ardentis::query_capture_time(tool, filename);
}

namespace
{

QString skipped_report(const ardentis::RunResult &result)
{
    QString text = QStringLiteral("%1 of %2 image pairs could not be processed and were skipped:")
                       .arg(result.count(ardentis::PairState::Skipped))
                       .arg(result.pairs);
    for (const ardentis::PairOutcome &o : result.outcomes)
        if (o.state == ardentis::PairState::Skipped)
            text += QStringLiteral("\n\nPair %1: %2, %3\n    %4")
                        .arg(o.plan.pair + 1)
                        .arg(o.plan.radiometric, o.plan.visible, o.problem);
    return text;
}

// The pairs whose files a later pair with the same image number replaced.
QString replaced_report(const ardentis::RunResult &result)
{
    QString text;
    for (const ardentis::PairOutcome &o : result.outcomes) {
        if (o.replaced_by < 0)
            continue;
        const ardentis::PairPlan &later = result.outcomes[size_t(o.replaced_by)].plan;
        text += QStringLiteral("\n\nPair %1: %2, %3\n    Its files (image number %4) were "
                               "replaced by those of pair %5: %6, %7")
                    .arg(QString::number(o.plan.pair + 1), o.plan.radiometric, o.plan.visible,
                         QString::number(ardentis::file_number(o.plan.number)),
                         QString::number(later.pair + 1), later.radiometric, later.visible);
    }
    return text.isEmpty() ? text
                          : QStringLiteral("Image pairs with the same image number write the same "
                                           "files; only the last one's are left:") +
                                text;
}

// Why a run did not start, as the window says it.
QString start_text(const ardentis::RunResult &result, const QString &output_dir)
{
    const ardentis::RunStart start = result.start;
    switch (start) {
    case ardentis::RunStart::NoOutputDir:
        return QStringLiteral("The process needs an Output directory to start.\n Press \"Select "
                              "output directory\" button.");
    case ardentis::RunStart::TooFewImages:
        return QStringLiteral(
            "The process needs more than one image to start.\n Press \"Add image(s)\" button.");
    case ardentis::RunStart::OddImages:
        return QStringLiteral(
            "It doesn't exist a even number of images.\nVerify the input images.");
    case ardentis::RunStart::OutputLocked:
        return QStringLiteral("Another run is writing into %1.\nWait until it has finished, or "
                              "choose another output directory.")
            .arg(output_dir);
    case ardentis::RunStart::LockFailed:
        return QStringLiteral("The output directory cannot be locked against other runs:\n%1.\n"
                              "Choose another output directory.")
            .arg(result.start_problem);
    case ardentis::RunStart::NoResultFile:
        return QStringLiteral("Result file cannot be created. \n Verify your user's privileges.");
    case ardentis::RunStart::ForeignFolder:
        return QStringLiteral("A result folder cannot be used:\n%1.\nRemove it, or choose "
                              "another output directory.")
            .arg(result.start_problem);
    case ardentis::RunStart::Started:
        break;
    }
    return {};
}

// The progress shown while pair `k` of `pairs` is processed: the first pair
// shows 0, the last 100.
int progress_value(int k, int pairs)
{
    return pairs == 1 ? 100 : int(100LL * k / (pairs - 1));
}

// Shows the progress of the pair about to be processed, and prints the
// run's diagnostic lines on standard output.
class WindowRun : public ardentis::RunObserver
{
public:
    explicit WindowRun(QProgressBar *bar) : bar_(bar) {}
    void pair_starting(int pair, int pairs) override
    {
        bar_->setValue(progress_value(pair, pairs));
    }
    void trace(const std::string &text) override { std::fputs(text.c_str(), stdout); }

private:
    QProgressBar *bar_;
};

// The pictures in the picture folders, older ones included, folder after
// folder, each folder's names in name order ignoring case, as its listing
// gives them.
QStringList result_pictures(const QString &out_dir)
{
    QStringList pictures;
    for (const char *name : picture_folders) {
        const QDir folder(out_dir + QLatin1Char('/') + QLatin1String(name));
        for (const QString &file :
             folder.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPEG")},
                              QDir::Files | QDir::NoSymLinks, QDir::NoSort))
            pictures << folder.absoluteFilePath(file);
    }
    return pictures;
}

} // namespace

void Dialog::on_pb_generate_clicked()
{
    WindowRun run(ui->pbar_status);
    run.trace("JAJAJA");
    ardentis::RunInput input;
    input.image_files = image_files;
    input.output_dir = output_dirs.isEmpty() ? QString() : output_dirs.first();
    input.refl_loaded = refl_loaded;
    input.refl_table = refl_table;
    ardentis::RunResult result;
    result.start = ardentis::check_input(input);
    if (result.start == ardentis::RunStart::Started)
        result = ardentis::run_generation(
            input,
            [this] {
                return std::make_unique<ardentis::PerQueryMeasurer>(work_file, &temp_matrix);
            },
            1, &run);
    std::fflush(stdout);
    show_outcome(result, input.output_dir);
}

void Dialog::show_outcome(const ardentis::RunResult &result, const QString &out_dir)
{
    const auto warn = [this](const QString &text) {
        QMessageBox::warning(this, QStringLiteral("Warning"), text, QMessageBox::Ok,
                             QMessageBox::NoButton);
    };
    if (result.start == ardentis::RunStart::NoResultFile) {
        QMessageBox::critical(this, QStringLiteral("Warning"), start_text(result, out_dir),
                              QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    if (result.start != ardentis::RunStart::Started)
        return warn(start_text(result, out_dir));
    for (const QString &path : result_pictures(out_dir)) {
        output_files.append(path);
        list_model(ui->lst_outfiles)->setStringList(output_files);
    }
    if (!result.result_problem.isEmpty())
        warn(result.result_problem);
    QString report =
        result.count(ardentis::PairState::Skipped) > 0 ? skipped_report(result) : QString();
    const QString replaced = replaced_report(result);
    if (!replaced.isEmpty())
        report += (report.isEmpty() ? QString() : QStringLiteral("\n\n")) + replaced;
    if (!report.isEmpty())
        warn(report);
}

void Dialog::on_pb_about_clicked()
{
    about_dlg->exec();
}
