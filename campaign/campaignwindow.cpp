#include "campaign/campaignwindow.h"

#include "batch/options.h"
#include "campaign/campaignplot.h"
#include "campaign/optionspanel.h"
#include "outputs/resultfiles.h"
#include "report/report.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <functional>

namespace ardentis
{

namespace
{

const QString title = QStringLiteral("Ardentis Campaign");
// The setting of the folder images were last added from.
constexpr char inputs_folder_key[] = "inputs folder";
// In a result row's first cell: whether the run processed the pair.
constexpr int processed_role = Qt::UserRole + 1;

// Tells the window of each finished pair, from the run's thread.
class Forwarder : public RunObserver
{
public:
    explicit Forwarder(std::function<void(const PairOutcome &, int, int)> tell)
        : tell_(std::move(tell))
    {
    }
    void pair_finished(const PairOutcome &outcome, int done, int pairs) override
    {
        tell_(outcome, done, pairs);
    }

private:
    std::function<void(const PairOutcome &, int, int)> tell_;
};

// Every column but the last as wide as its heading and values, with room
// for the sort arrow: the last, with the longest texts, gets the room left.
void fit_columns(QTableWidget *table)
{
    const QStyle *style = table->horizontalHeader()->style();
    const int arrow =
        style->pixelMetric(QStyle::PM_HeaderMarkSize) + style->pixelMetric(QStyle::PM_HeaderMargin);
    for (int c = 0; c + 1 < table->columnCount(); ++c) {
        table->resizeColumnToContents(c);
        table->setColumnWidth(c, table->columnWidth(c) + arrow);
    }
}

QTableWidget *table(const QStringList &headings)
{
    auto *t = new QTableWidget(0, int(headings.size()));
    t->setHorizontalHeaderLabels(headings);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->verticalHeader()->hide();
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 8);
    t->horizontalHeader()->setStretchLastSection(true);
    fit_columns(t);
    return t;
}

// A cell that sorts by its value: a number rounded to `decimals`, empty for
// NaN, or a text.
QTableWidgetItem *cell(const QVariant &value, const QString &tip = {})
{
    auto *item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, value);
    item->setToolTip(tip);
    return item;
}

QVariant rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::isnan(value) ? QVariant() : QVariant(std::round(value * scale) / scale);
}

QString state_text(PairState state)
{
    switch (state) {
    case PairState::Processed:
        return QObject::tr("processed");
    case PairState::TableEntry:
        return QObject::tr("table entry");
    case PairState::Skipped:
        break;
    }
    return QObject::tr("skipped");
}

QString file_name(const QString &path)
{
    return QFileInfo(path).fileName();
}

// The remembered options the batch takes, in their order. The options are
// kept as they were set, a refused value too, or one of another version:
// each such option is left out, not every setting with it, and `problems`
// says why.
QStringList usable_options(const QStringList &saved, QStringList &problems)
{
    QStringList kept;
    for (int i = 0, end; i < saved.size(); i = end) {
        for (end = i + 1; end < saved.size() && !saved[end].startsWith(QLatin1String("--"));)
            ++end; // its values
        const QStringList tried = kept + saved.mid(i, end - i);
        const CommandLine line = parse_command_line(tried);
        if (line.action == CommandLine::Run)
            kept = tried;
        else
            problems << line.problem;
    }
    return kept;
}

} // namespace

CampaignWindow::CampaignWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(title);
    setAcceptDrops(true);
    auto *left = new QWidget;
    auto *left_layout = new QVBoxLayout(left);
    left_layout->addWidget(inputs_box());
    options_ = new OptionsPanel;
    left_layout->addWidget(options_);
    left_layout->addStretch();
    auto *scroll = new QScrollArea;
    scroll->setWidget(left);
    scroll->setWidgetResizable(true);
    scroll->setMinimumWidth(440);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto *right = new QWidget;
    auto *right_layout = new QVBoxLayout(right);
    auto *tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("tabs"));
    plan_ = table({tr("pair"), tr("radiometric image"), tr("photograph"), tr("number or name"),
                   tr("capture time"), tr("problems and notes")});
    plan_->setObjectName(QStringLiteral("plan"));
    tabs->addTab(plan_, tr("Plan"));
    tabs->addTab(results_box(), tr("Results"));
    plot_ = new CampaignPlot;
    plot_->setObjectName(QStringLiteral("plot"));
    tabs->addTab(plot_, tr("Campaign plot"));
    right_layout->addWidget(tabs, 1);
    right_layout->addWidget(run_box());

    auto *split = new QSplitter;
    split->addWidget(scroll);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    setCentralWidget(split);
    add_actions();
    plan_timer_ = new QTimer(this);
    plan_timer_->setSingleShot(true);
    plan_timer_->setInterval(150);
    connect(plan_timer_, &QTimer::timeout, this, &CampaignWindow::update_plan);
    connect(options_, &OptionsPanel::changed, this, &CampaignWindow::options_changed);
    // Room for everything, on a laptop's screen too.
    const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
    resize(QSize(1280, 800).boundedTo(room - QSize(20, 60)));
    show_pictures();
    options_changed();
}

CampaignWindow::~CampaignWindow()
{
    if (thread_) {
        stop_ = true;
        thread_->wait();
    }
    if (planner_)
        planner_->wait();
}

QWidget *CampaignWindow::inputs_box()
{
    auto *box = new QGroupBox(tr("Inputs: drop files or folders here"));
    auto *layout = new QVBoxLayout(box);
    inputs_ = new QListWidget;
    inputs_->setObjectName(QStringLiteral("inputs"));
    inputs_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    inputs_->setFixedHeight(6 * inputs_->fontMetrics().height() + 8);
    inputs_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    inputs_->setToolTip(tr("The radiometric images and photographs in pairs (radiometric image, "
                           "then photograph), or one folder, whose JPEG files are taken in name "
                           "order."));
    layout->addWidget(inputs_);
    auto *buttons = new QHBoxLayout;
    const auto button = [&](const QString &text, const char *name, auto slot) {
        auto *b = new QPushButton(text);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    button(tr("Add files…"), "addFiles", [this] {
        // Radiometric images are JPEGs; a photograph may be any picture the
        // image library reads.
        add_inputs(QFileDialog::getOpenFileNames(
            this, tr("Add images"), last_folder_,
            tr("JPEG images (*.jpg *.jpeg *.JPG *.JPEG);;All pictures (*.jpg *.jpeg *.png *.tif "
               "*.tiff *.bmp *.webp *.jp2 *.ppm *.pgm *.pbm *.JPG *.JPEG *.PNG *.TIF *.TIFF "
               "*.BMP);;All files (*)")));
    });
    button(tr("Add folder…"), "addFolder", [this] {
        const QString dir =
            QFileDialog::getExistingDirectory(this, tr("Add a folder"), last_folder_);
        if (!dir.isEmpty())
            add_inputs({dir});
    });
    button(tr("Remove"), "removeInputs", [this] {
        qDeleteAll(inputs_->selectedItems());
        options_changed();
    });
    button(tr("Clear"), "clearInputs", [this] {
        inputs_->clear();
        options_changed();
    });
    layout->addLayout(buttons);
    return box;
}

QWidget *CampaignWindow::results_box()
{
    results_ = table({tr("pair"), tr("state"), tr("image"), tr("plant mean °C"), tr("median °C"),
                      tr("plant share"), tr("registered"), tr("field fit px"), tr("CTD °C"),
                      tr("CWSI"), tr("note or reason")});
    results_->setObjectName(QStringLiteral("results"));
    results_->setSortingEnabled(true);
    results_->sortByColumn(0, Qt::AscendingOrder);
    connect(results_, &QTableWidget::itemSelectionChanged, this, &CampaignWindow::show_pictures);
    auto *pictures = new QWidget;
    auto *row = new QHBoxLayout(pictures);
    for (int i = 0; i < 3; ++i) {
        auto *column = new QVBoxLayout;
        headings_[i] = new QLabel;
        headings_[i]->setObjectName(QStringLiteral("heading%1").arg(i));
        column->addWidget(headings_[i]);
        pictures_[i] = new QLabel;
        pictures_[i]->setObjectName(QStringLiteral("picture%1").arg(i));
        pictures_[i]->setMinimumSize(160, 120);
        pictures_[i]->setAlignment(Qt::AlignCenter);
        pictures_[i]->setWordWrap(true);
        captions_[i] = new QLabel;
        captions_[i]->setObjectName(QStringLiteral("caption%1").arg(i));
        captions_[i]->setWordWrap(true);
        column->addWidget(pictures_[i], 1);
        column->addWidget(captions_[i]);
        row->addLayout(column);
    }
    auto *split = new QSplitter(Qt::Vertical);
    split->addWidget(results_);
    split->addWidget(pictures);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    return split;
}

QWidget *CampaignWindow::run_box()
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *line = new QHBoxLayout;
    command_ = new QLineEdit;
    command_->setObjectName(QStringLiteral("command"));
    command_->setReadOnly(true);
    command_->setToolTip(tr("The same run from a terminal."));
    auto *copy = new QPushButton(tr("Copy"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(command_->text()); });
    line->addWidget(new QLabel(tr("Command line:")));
    line->addWidget(command_, 1);
    line->addWidget(copy);
    layout->addLayout(line);
    auto *progress = new QHBoxLayout;
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setFormat(QStringLiteral("%v/%m"));
    progress_->setTextVisible(false);
    rate_ = new QLabel;
    rate_->setObjectName(QStringLiteral("rate"));
    progress->addWidget(progress_, 1);
    progress->addWidget(rate_);
    layout->addLayout(progress);
    problem_ = new QLabel;
    problem_->setObjectName(QStringLiteral("optionProblem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00020"));
    problem_->hide();
    layout->addWidget(problem_);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path is cut rather than widening the window past the screen.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(status_);
    layout->addLayout(run_buttons());
    return box;
}

QLayout *CampaignWindow::run_buttons()
{
    auto *buttons = new QHBoxLayout;
    run_ = new QPushButton(tr("Run"));
    cancel_ = new QPushButton(tr("Cancel"));
    open_report_ = new QPushButton(tr("Open report"));
    open_folder_ = new QPushButton(tr("Open folder"));
    run_->setObjectName(QStringLiteral("run"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    open_report_->setObjectName(QStringLiteral("openReport"));
    open_folder_->setObjectName(QStringLiteral("openFolder"));
    run_->setToolTip(tr("Runs the campaign (Ctrl+R)."));
    cancel_->setToolTip(tr("Starts no new pair; the pairs under way finish and the result files "
                           "are completed for the pairs done (Escape)."));
    connect(run_, &QPushButton::clicked, this, &CampaignWindow::run);
    connect(cancel_, &QPushButton::clicked, this, &CampaignWindow::cancel);
    const auto open = [this](const QString &path) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            QMessageBox::warning(this, title,
                                 tr("%1 cannot be opened: no program to open it is set up on "
                                    "this computer.")
                                     .arg(path));
    };
    connect(open_report_, &QPushButton::clicked, this,
            [this, open] { open(in_folder(run_dir_, report_page)); });
    connect(open_folder_, &QPushButton::clicked, this, [this, open] { open(run_dir_); });
    for (QPushButton *b : {run_, cancel_, open_report_, open_folder_}) {
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    buttons->insertStretch(2);
    return buttons;
}

void CampaignWindow::add_actions()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    QMenu *run = menuBar()->addMenu(tr("&Run"));
    const auto action = [this](QMenu *menu, const QString &text, const QKeySequence &keys,
                               auto slot) {
        QAction *a = menu->addAction(text, this, slot);
        a->setShortcut(keys);
        return a;
    };
    input_actions_ = {action(file, tr("Add &files…"), {},
                             [this] { findChild<QPushButton *>("addFiles")->click(); }),
                      action(file, tr("Add f&older…"), QKeySequence(tr("Ctrl+O")),
                             [this] { findChild<QPushButton *>("addFolder")->click(); })};
    file->addSeparator();
    action(file, tr("&Quit"), QKeySequence(tr("Ctrl+Q")), [this] { close(); });
    action(run, tr("&Run"), QKeySequence(tr("Ctrl+R")), [this] { this->run(); });
    action(run, tr("&Cancel"), QKeySequence(Qt::Key_Escape), [this] { cancel(); });
    action(run, tr("Open &report"), {}, [this] { open_report_->click(); });
    action(run, tr("Open f&older"), {}, [this] { open_folder_->click(); });
}

QStringList CampaignWindow::arguments() const
{
    QStringList inputs;
    for (int i = 0; i < inputs_->count(); ++i)
        inputs << inputs_->item(i)->text();
    // A folder alone is the batch's folder; among other inputs, the batch takes
    // it as its files.
    QStringList a = options_->arguments();
    if (std::any_of(inputs.cbegin(), inputs.cend(),
                    [](const QString &i) { return i.startsWith(QLatin1Char('-')); }))
        a << QStringLiteral("--");
    return a + inputs;
}

void CampaignWindow::fill(const BatchOptions &options)
{
    inputs_->clear();
    options_->fill(options);
    add_inputs(options.input.image_files);
}

void CampaignWindow::open(const QStringList &arguments, const BatchOptions &options)
{
    if (std::any_of(arguments.cbegin(), arguments.cend(),
                    [](const QString &a) { return a.startsWith(QLatin1Char('-')); })) {
        // The options given, and the folder images were last added from.
        last_folder_ = QSettings().value(QLatin1String(inputs_folder_key)).toString();
        fill(options);
        return;
    }
    restore_settings();
    add_inputs(options.input.image_files);
}

void CampaignWindow::add_inputs(const QStringList &paths)
{
    for (const QString &path : paths) {
        const QFileInfo info(path);
        inputs_->addItem(whole_path(path));
        last_folder_ = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    }
    options_changed();
}

void CampaignWindow::options_changed()
{
    const QStringList a = arguments();
    const CommandLine line = parse_command_line(a);
    refused_ = line.action != CommandLine::Run;
    const QString problem = refused_ ? options_->in_words(line.problem) : QString();
    options_->mark(refused_ ? line.option : QString(), problem);
    if (refusal_shown_ && !running() && a != refused_arguments_) { // said of others
        refusal_shown_ = false;
        status_->clear();
    }
    problem_->setText(problem);
    problem_->setVisible(refused_);
    command_->setText(shell_command(QStringLiteral("ardentis-batch"), a));
    command_->setCursorPosition(0); // the program's name and the options first
    run_->setEnabled(!refused_ && !running());
    plan_timer_->start();
}

void CampaignWindow::update_plan()
{
    if (planner_) {
        replan_ = true;
        return;
    }
    const CommandLine line = parse_command_line(arguments());
    auto *tabs = findChild<QTabWidget *>(QStringLiteral("tabs"));
    if (line.action != CommandLine::Run) {
        plan_->setRowCount(0);
        tabs->setTabText(0, tr("Plan"));
        return;
    }
    tabs->setTabText(0, tr("Plan (reading the files…)"));
    // The plan reads every file: off the window's thread.
    const BatchOptions options = line.options;
    planner_ = QThread::create([this, options] {
        const RunPlan plan = plan_options(options);
        QMetaObject::invokeMethod(
            this, [this, plan] { plan_made(plan); }, Qt::QueuedConnection);
    });
    planner_->start();
}

void CampaignWindow::plan_made(const RunPlan &plan)
{
    planner_->wait();
    delete planner_;
    planner_ = nullptr;
    if (replan_) {
        replan_ = false;
        update_plan();
        return;
    }
    const int pairs = int(plan.pairs.size());
    findChild<QTabWidget *>(QStringLiteral("tabs"))
        ->setTabText(0, pairs == 0   ? tr("Plan")
                        : pairs == 1 ? tr("Plan (1 pair)")
                                     : tr("Plan (%1 pairs)").arg(pairs));
    plan_->setRowCount(0);
    const auto add_row = [this](const QList<QTableWidgetItem *> &items) {
        const int r = plan_->rowCount();
        plan_->insertRow(r);
        for (int c = 0; c < items.size(); ++c)
            plan_->setItem(r, c, items[c]);
    };
    for (const PlannedPair &p : plan.pairs) {
        QStringList problems{p.plan.problem};
        problems << p.notes;
        problems.removeAll(QString());
        add_row({cell(p.plan.pair + 1), cell(file_name(p.plan.radiometric), p.plan.radiometric),
                 cell(!p.plan.visible.isEmpty()  ? file_name(p.plan.visible)
                      : p.plan.problem.isEmpty() ? tr("embedded")
                                                 : tr("none"),
                      p.plan.visible),
                 cell(p.plan.name.isEmpty() ? QString::number(p.plan.number) : p.plan.name),
                 cell(QString::fromUtf8(p.capture)),
                 cell(options_->in_words(problems.join(QStringLiteral("; "))),
                      options_->in_words(problems.join(QLatin1Char('\n'))))});
    }
    for (const QString &text : plan.left_over + plan.left_out)
        add_row({cell({}), cell({}), cell({}), cell({}), cell({}),
                 cell(options_->in_words(text), options_->in_words(text))});
    if (!plan.problem.isEmpty())
        add_row({cell({}), cell({}), cell({}), cell({}), cell({}),
                 cell(options_->in_words(plan.problem))});
    fit_columns(plan_);
}

bool CampaignWindow::running() const
{
    return thread_ != nullptr;
}

void CampaignWindow::set_running(bool running)
{
    options_->setEnabled(!running);
    inputs_->parentWidget()->setEnabled(!running);
    run_->setEnabled(!running && !refused_);
    cancel_->setEnabled(running);
    const bool report = report_ && QFileInfo::exists(in_folder(run_dir_, report_page));
    open_report_->setEnabled(!running && report);
    open_folder_->setEnabled(!running && !run_dir_.isEmpty() && QFileInfo(run_dir_).isDir());
    for (QAction *a : input_actions_)
        a->setEnabled(!running);
    if (!running)
        setWindowTitle(title);
}

void CampaignWindow::run()
{
    if (outside_ && outside_->asked) // the session is ending: it closes, and starts nothing
        return quit_now();
    if (running() || refused_)
        return;
    const CommandLine line = parse_command_line(arguments());
    if (line.action != CommandLine::Run)
        return;
    if (const QString refusal = refusal_before_reading(line.options); !refusal.isEmpty())
        return show_refusal(refusal);
    // The input is read and checked first: a run that cannot start says so
    // without asking about earlier results.
    kept_status_ = refusal_shown_ ? QString() : status_->text();
    kept_style_ = refusal_shown_ ? QString() : status_->styleSheet();
    refusal_shown_ = false;
    options_->mark(QString(), QString()); // an earlier run's refusal
    status_->setStyleSheet(QString());
    status_->setText(tr("Reading the files…"));
    stop_ = false;
    reading_ = true;
    be_idle(false); // until this run has done a pair a signal ends it: nothing is at stake
    const BatchOptions options = line.options;
    thread_ = QThread::create([this, options] {
        auto prepared = std::make_shared<PreparedRun>();
        prepare_run(options, *prepared, &stop_);
        QMetaObject::invokeMethod(
            this, [this, prepared] { start_prepared(prepared); }, Qt::QueuedConnection);
    });
    set_running(true);
    thread_->start();
}

void CampaignWindow::be_idle(bool idle)
{
    if (!outside_)
        return;
    if (!idle)
        outside_->pair_done = false; // of this run, and first: a signal between ends at once
    outside_->idle = idle;
}

void CampaignWindow::not_started()
{
    be_idle(true);
    if (!refusal_shown_)
        keep_status();
    if (quit_after_run_)
        quit_now();
}

void CampaignWindow::keep_status()
{
    status_->setStyleSheet(kept_style_);
    status_->setText(kept_status_);
}

void CampaignWindow::quit_now()
{
    // Under the quit question, closing waits for its answer: it is answered.
    if (quit_question_)
        quit_question_->reject();
    else
        close();
}

void CampaignWindow::start_prepared(const std::shared_ptr<PreparedRun> &prepared)
{
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    reading_ = false;
    set_running(false);
    const BatchOptions &options = prepared->options;
    if (stop_) {
        not_started();
        status_->setStyleSheet(QString());
        return status_->setText(tr("Cancelled while the files were read: nothing was written."));
    }
    if (!prepared->problem.isEmpty()) {
        show_refusal(prepared->problem);
        return not_started();
    }
    keep_status(); // while asked
    if (!may_replace(options.input.output_dir))
        return not_started();
    save_settings();
    run_dir_ = options.input.output_dir;
    style_ = options.style;
    report_ = options.report; // not an earlier run's report in the same folder
    names_by_file_ = options.input.options.naming == Naming::File;
    show_run_columns(options);
    progress_->setRange(0, 0); // busy until the first pair is done
    progress_->setTextVisible(true);
    rate_->clear();
    status_->setStyleSheet(QString());
    status_->setText(tr("Running…"));
    findChild<QTabWidget *>(QStringLiteral("tabs"))->setCurrentIndex(1);
    clock_.start();
    thread_ = QThread::create([this, prepared] {
        Forwarder forward([this](const PairOutcome &o, int done, int pairs) {
            QMetaObject::invokeMethod(
                this, [this, o, done, pairs] { pair_finished(o, done, pairs); },
                Qt::QueuedConnection);
        });
        const BatchRun result = run_prepared(*prepared, &forward, &stop_);
        QMetaObject::invokeMethod(
            this, [this, result] { run_finished(result); }, Qt::QueuedConnection);
    });
    set_running(true);
    thread_->start();
}

void CampaignWindow::show_run_columns(const BatchOptions &options)
{
    results_->setRowCount(0);
    const TrialRequest &trial = options.trial;
    const bool search = options.input.options.search_field;
    for (int c : {6, 7})
        results_->setColumnHidden(c, !search);
    results_->setColumnHidden(8, trial.air == AirSource::None);
    results_->setColumnHidden(9, !trial.cwsi);
    plot_->clear();
}

bool CampaignWindow::may_replace(const QString &output_dir)
{
    if (!holds_results(output_dir))
        return true;
    QMessageBox ask(QMessageBox::Question, title,
                    tr("%1 holds the results of an earlier run. This run replaces its "
                       "result.csv and stats.csv, its groups.csv and report when it writes "
                       "them, and the files of pairs of the same names; the earlier run's other "
                       "pair files stay beside them. Replace them?")
                        .arg(output_dir),
                    QMessageBox::Cancel, this);
    QPushButton *replace = ask.addButton(tr("Replace"), QMessageBox::AcceptRole);
    ask.setDefaultButton(replace);
    ask.exec();
    return ask.clickedButton() == replace;
}

void CampaignWindow::cancel()
{
    if (!running() || stop_)
        return;
    stop_ = true;
    cancel_->setEnabled(false);
    status_->setText(reading_ ? tr("Stopping once the files are read: nothing is written.")
                              : tr("Stopping: the pairs under way finish, then the result files "
                                   "are completed for the pairs done."));
}

void CampaignWindow::stop_on_signals(OutsideStop *outside)
{
    outside_ = outside;
    be_idle(true); // with no run under way, a signal closes the window as Ctrl+Q does
    // Looked at from here: the signal's own thread touches no widget.
    auto *look = new QTimer(this);
    connect(look, &QTimer::timeout, this, [this, look] {
        if (!outside_->asked)
            return;
        look->stop();
        quit_after_run_ = true;
        if (running())
            cancel();
        else
            quit_now();
    });
    look->start(100);
}

void CampaignWindow::pair_finished(const PairOutcome &o, int done, int pairs)
{
    if (outside_)
        outside_->pair_done = true;
    progress_->setRange(0, pairs);
    progress_->setValue(done);
    rate_->setText(progress_text(done, pairs, clock_.elapsed() / 1000.0));
    setWindowTitle(QStringLiteral("%1/%2 – ").arg(done).arg(pairs) + title);
    QStringList notes{o.state == PairState::Skipped ? o.problem : o.note};
    notes << o.trial.notes;
    notes.removeAll(QString());
    const PairRecord &reg = o.record;
    const bool processed = o.state == PairState::Processed;
    const QList<QTableWidgetItem *> items{
        cell(o.plan.pair + 1, input_files_text(o.plan)),
        cell(state_text(o.state)),
        names_by_file_ ? cell(o.plan.name) : cell(o.plan.number),
        cell(processed ? rounded(o.record.plant.mean, 2) : QVariant()),
        cell(processed ? rounded(o.record.plant.median, 2) : QVariant()),
        cell(processed ? rounded(o.record.plant.plant_fraction, 3) : QVariant()),
        cell(processed && reg.searched ? (reg.registered ? tr("yes") : tr("no")) : QString()),
        cell(processed && reg.searched ? rounded(reg.fit, 1) : QVariant()),
        cell(processed ? rounded(o.trial.ctd, 2) : QVariant()),
        cell(processed ? rounded(o.trial.cwsi, 3) : QVariant()),
        cell(options_->in_words(notes.join(QStringLiteral(" "))),
             options_->in_words(notes.join(QStringLiteral("\n"))))};
    items[0]->setData(Qt::UserRole, o.plan.name); // what its result files are named after
    items[0]->setData(processed_role, processed); // else files there are an earlier run's
    results_->setSortingEnabled(false);
    const int r = results_->rowCount();
    results_->insertRow(r);
    for (int c = 0; c < items.size(); ++c)
        results_->setItem(r, c, items[c]);
    if (r < 10) // the widths of the first rows' values; all of them once the run ends
        fit_columns(results_);
    results_->setSortingEnabled(true);
    plot_->add(o);
}

void CampaignWindow::run_finished(const BatchRun &run)
{
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    set_running(false);
    be_idle(true);
    if (progress_->maximum() == 0) { // no pair was done: not busy any longer
        progress_->setRange(0, 1);
        progress_->setTextVisible(false);
    }
    rate_->clear(); // the summary says how long it took
    fit_columns(results_);
    if (!run.problem.isEmpty()) {
        show_refusal(run.problem);
    } else {
        QStringList lines{run.rows_note, run.result.result_problem, run_summary(run, run_dir_)};
        const auto noted = std::count_if(run.result.outcomes.cbegin(), run.result.outcomes.cend(),
                                         [](const PairOutcome &o) {
                                             return o.state == PairState::Processed &&
                                                    (!o.note.isEmpty() || !o.trial.notes.isEmpty());
                                         });
        if (noted > 0) // the column is easily out of sight
            lines << tr("Pairs processed with a note: %1. The Results tab's last column says "
                        "which values are missing or uncertain.")
                         .arg(noted);
        lines.removeAll(QString());
        status_->setStyleSheet(run.status == 0 ? QString() : QStringLiteral("color: #8a5a00"));
        status_->setText(options_->in_words(lines.join(QLatin1Char('\n'))));
    }
    show_pictures(); // the report's maps are there now
    if (quit_after_run_)
        quit_now();
    else if (quit_question_) // asked while it ran: there is nothing to stop now
        quit_question_->setText(tr("The run has finished. Quit?"));
}

void CampaignWindow::show_refusal(const QString &problem)
{
    status_->setStyleSheet(QStringLiteral("color: #b00020"));
    status_->setText(options_->in_words(problem));
    options_->mark(first_option_named(problem), options_->in_words(problem));
    refusal_shown_ = true;
    refused_arguments_ = arguments();
}

void CampaignWindow::show_pictures()
{
    const QList<QTableWidgetItem *> selected = results_->selectedItems();
    const int row = selected.isEmpty() ? -1 : selected.first()->row();
    const QTableWidgetItem *first = row < 0 ? nullptr : results_->item(row, 0);
    if (first && !first->data(processed_role).toBool())
        first = nullptr;
    const int pair = first ? first->data(Qt::DisplayRole).toInt() - 1 : -1;
    const PairFiles f = pair_files(run_dir_, first ? first->data(Qt::UserRole).toString() : "");
    // The report's pictures when the run makes one (not an earlier run's in
    // the same folder), else the result pictures, named for what they show.
    const auto of_report = [&](const char *what) {
        return report_ ? report_picture(run_dir_, pair, what) : QString();
    };
    const bool report = first && report_ && QFileInfo::exists(of_report("mask"));
    const QStringList headings =
        report_ || !first
            ? QStringList{tr("Thermal map"), tr("Plant mask"), tr("Thermal contours")}
            : QStringList{tr("Plants of the thermal picture"), tr("Photograph under the field"),
                          tr("Thermal picture on the photograph")};
    // 4Thermal holds the report's maps: without this run's report, an earlier
    // run's, so it is never shown.
    const QStringList choices[3] = {{of_report("map"), report ? QString() : f.mask},
                                    {of_report("mask"), f.part},
                                    {of_report("contours"), f.aligned}};
    for (int i = 0; i < 3; ++i) {
        headings_[i]->setText(QStringLiteral("<b>%1</b>").arg(headings[i]));
        pictures_[i]->clear();
        captions_[i]->clear();
        for (const QString &path : first ? choices[i] : QStringList())
            if (!path.isEmpty() && QFileInfo::exists(path)) {
                show_picture(i, QPixmap(path), QDir(run_dir_).relativeFilePath(path));
                break;
            }
    }
    // Until the run ends, the map on the pair's own scale.
    if (report && pictures_[0]->pixmap(Qt::ReturnByValue).isNull()) {
        QPixmap map;
        if (map.loadFromData(map_during_run(run_dir_, pair, style_)))
            show_picture(0, map,
                         style_.range_given ? tr("on the range given")
                                            : tr("on this pair's own scale until the run ends"));
    }
}

void CampaignWindow::show_picture(int slot, const QPixmap &picture, const QString &caption)
{
    pictures_[slot]->setPixmap(
        picture.scaled(pictures_[slot]->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    captions_[slot]->setText(caption);
}

void CampaignWindow::save_settings() const
{
    QSettings settings;
    settings.setValue(QLatin1String(inputs_folder_key), last_folder_);
    settings.setValue(QStringLiteral("options"), options_->arguments());
}

void CampaignWindow::restore_settings()
{
    const QSettings settings;
    last_folder_ = settings.value(QLatin1String(inputs_folder_key)).toString();
    QStringList left_out;
    const CommandLine line = parse_command_line(
        usable_options(settings.value(QStringLiteral("options")).toStringList(), left_out));
    if (line.action == CommandLine::Run)
        options_->fill(line.options);
    options_changed();
    if (!left_out.isEmpty())
        status_->setText(tr("Left out of the remembered settings: %1")
                             .arg(options_->in_words(left_out.join(QLatin1Char(' ')))));
}

void CampaignWindow::closeEvent(QCloseEvent *event)
{
    if (reading_) { // nothing is at stake yet: closes once the files are read
        event->ignore();
        quit_after_run_ = true;
        cancel();
        return;
    }
    if (running()) {
        event->ignore();
        QMessageBox ask(QMessageBox::Question, title,
                        tr("A run is under way. Stop it and quit? The pairs under way finish "
                           "first, and the results of the pairs done are kept."),
                        QMessageBox::Yes | QMessageBox::No, this);
        quit_question_ = &ask;
        const bool yes = ask.exec() == QMessageBox::Yes;
        quit_question_ = nullptr;
        // A signal meanwhile may have stopped the run to quit: it closes now.
        if (!yes && !(quit_after_run_ && !running()))
            return;
        if (running()) { // it may have ended while the question was asked
            quit_after_run_ = true;
            cancel();
            return;
        }
    }
    save_settings();
    event->accept();
}

void CampaignWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls() && !running())
        event->acceptProposedAction();
}

void CampaignWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    add_inputs(paths);
    event->acceptProposedAction();
}

} // namespace ardentis
