#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <vector>

class QGraphicsScene;
class about;
namespace ardentis
{
struct RunResult;
struct LeftOutEntry;
} // namespace ardentis

QT_BEGIN_NAMESPACE
namespace Ui
{
class Dialog;
}
QT_END_NAMESPACE

// The main window: holds the input and output lists, the viewer's scene, the
// reflected temperature table and the temperatures of the last converted
// thermal image.
class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

private slots:
    void on_pb_addimage_clicked();
    void on_lst_imagefile_clicked(const QModelIndex &index);
    void on_pb_deleteitem_clicked();
    void on_pb_deleteall_clicked();
    void on_pb_generate_clicked();
    void on_pb_saveresults_clicked();
    void on_pb_addimage_2_clicked();
    void get_temperature(bool flag_er, QString filename, double *emi_in, double *t_refl_in);
    QString get_datetimeoriginal(QString filename);
    int matchCodeCsv(double code);
    void on_lst_outfiles_clicked(const QModelIndex &index);
    void on_pb_clean_clicked();
    void on_pb_about_clicked();

private:
    void show_image(const QStringList &list, const QModelIndex &index);
    // Names the entries of a folder its list left out, and why.
    void warn_left_out(const std::vector<ardentis::LeftOutEntry> &left_out);
    // Words a generation run's outcome: its warnings and the output list.
    void show_outcome(const ardentis::RunResult &result, const QString &out_dir);

    Ui::Dialog *ui;
    QStringList image_files;
    QGraphicsScene *scene;
    QStringList output_files;
    QStringList output_dirs;
    QString refl_path;
    bool refl_loaded;
    // Rows of three values: code, emissivity, reflected temperature.
    std::vector<double> refl_table;
    int refl_count;
    // Temperature of every pixel of the last converted raw thermal image, in
    // degrees Celsius (CV_64FC1, row-major).
    cv::Mat temp_matrix;
    about *about_dlg;
};
