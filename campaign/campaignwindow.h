#pragma once
// The campaign window: the batch's inputs and options in controls, the plan
// of the pairs before a run, and the run on the batch's workers with its
// results as they come.

#include "engine/ending.h"
#include "report/report.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <memory>

class QAction;
class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QPixmap;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QThread;
class QTimer;

namespace ardentis
{
struct BatchOptions;
struct BatchRun;
struct PreparedRun;
struct RunPlan;
struct PairOutcome;
class CampaignPlot;
class OptionsPanel;

class CampaignWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit CampaignWindow(QWidget *parent = nullptr);
    ~CampaignWindow() override;
    // The batch's arguments of what the window would run.
    QStringList arguments() const;
    // Sets the inputs and every option to what the parsed options ask for.
    void fill(const BatchOptions &options);
    void restore_settings();
    // Opens with the command line's `arguments`, parsed as `options`; with
    // inputs alone (as a file manager gives them) or none, with the options
    // of the last session and those inputs.
    void open(const QStringList &arguments, const BatchOptions &options);
    bool running() const;
    // Told of the pairs done, so that a signal stops its run as Cancel does
    // and then closes the window; a signal before any pair ends it at once.
    void stop_on_signals(OutsideStop *outside);

public slots:
    void add_inputs(const QStringList &paths);
    void run();
    void cancel();

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QWidget *inputs_box();
    QWidget *run_box();
    // Run, Cancel, Open report and Open folder, each disabled until it applies.
    QLayout *run_buttons();
    // Shows why a run did not start, marking the option it names.
    void show_refusal(const QString &problem);
    QWidget *results_box();
    void add_actions();
    void options_changed();
    void update_plan();
    void plan_made(const RunPlan &plan);
    void pair_finished(const PairOutcome &outcome, int done, int pairs);
    // Once the input is read: the run started, or why not.
    void start_prepared(const std::shared_ptr<PreparedRun> &prepared);
    // Whether no run is under way, for a signal to close the window by.
    void be_idle(bool idle);
    // A run read and not started (stopped, refused or not replacing): the
    // window as before it, or closed when asked to quit.
    void not_started();
    // The status as it was before the run.
    void keep_status();
    // Closes the window, a run having ended for it to quit.
    void quit_now();
    // The results' columns the run's options fill, and no results yet.
    void show_run_columns(const BatchOptions &options);
    void run_finished(const BatchRun &run);
    void show_pictures();
    void show_picture(int slot, const QPixmap &picture, const QString &caption);
    void save_settings() const;
    void set_running(bool running);
    // Whether the run may write into `output_dir`: asks first when it holds
    // an earlier run's results.
    bool may_replace(const QString &output_dir);

    QListWidget *inputs_;
    OptionsPanel *options_;
    QTableWidget *plan_, *results_;
    QLabel *headings_[3], *pictures_[3], *captions_[3];
    CampaignPlot *plot_;
    QLineEdit *command_;
    QLabel *status_, *rate_, *problem_;
    QProgressBar *progress_;
    QPushButton *run_, *cancel_, *open_report_, *open_folder_;
    QList<QAction *> input_actions_; // the menu's, as the inputs' buttons
    QTimer *plan_timer_;
    QElapsedTimer clock_;
    QString run_dir_;                     // the output folder of the last run
    ReportStyle style_;                   // the maps' of the last run
    bool report_ = false;                 // the last run makes a report
    bool names_by_file_ = false;          // its pairs are named after their files, not numbered
    QString last_folder_;                 // where the last inputs came from
    bool refused_ = true;                 // the batch's parser refuses the arguments
    bool refusal_shown_ = false;          // the status says why the last run did not start
    QStringList refused_arguments_;       // of that run
    QString kept_status_, kept_style_;    // the status before the run, while it has not started
    QPointer<QMessageBox> quit_question_; // "Stop it and quit?", while it is asked
    bool reading_ = false;                // the run's files are being read: nothing is made yet
    bool quit_after_run_ = false;
    OutsideStop *outside_ = nullptr;
    std::atomic<bool> stop_{false};
    QThread *thread_ = nullptr;  // the run's
    QThread *planner_ = nullptr; // the plan's, reading the files before a run
    bool replan_ = false;        // the input changed while the plan was made
};

} // namespace ardentis
