#include "campaign/optionspanel.h"

#include "batch/options.h"
#include "trials/fieldbook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

namespace ardentis
{

namespace
{

QString number(double value)
{
    return QString::number(value, 'g', 15);
}

void set_value(QComboBox *box, const QString &value)
{
    box->setCurrentIndex(std::max(0, box->findData(value)));
}

QString value(const QComboBox *box)
{
    return box->currentData().toString();
}

// A file given or typed, named whole: a name relative to the folder the
// window started from would name another file once the window is started
// from elsewhere. Joined only, as the batch started here opens it.
QString from_here(const QString &path)
{
    return path.isEmpty() ? path : QDir::current().absoluteFilePath(path);
}

// A path typed into a field: a leading ~ is the home folder, as a terminal's
// shell reads it. (One given on the command line is taken as the batch takes
// it: the shell has expanded what it would.)
QString typed(const QString &path)
{
    const bool home = path == QLatin1String("~") || path.startsWith(QLatin1String("~/"));
    return home ? QDir::homePath() + path.mid(1) : path;
}

// A form row of a control and a button beside it.
QWidget *with_button(QWidget *control, QPushButton *button)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(control, 1);
    layout->addWidget(button);
    return row;
}

// Keeps a control from taking what is meant for the panel or the window
// around it: a list not in use turned by the wheel that scrolls the panel
// (the wheel goes on to the panel), and a file dropped on a text field
// (a field for a path takes the one dropped as its value; the others leave
// the drop to the window, which adds it to the inputs).
class StrayInput : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *target, QEvent *event) override
    {
        auto *control = static_cast<QWidget *>(target);
        if (event->type() == QEvent::Wheel && !control->hasFocus()) {
            event->ignore();
            return true;
        }
        if (event->type() != QEvent::DragEnter && event->type() != QEvent::Drop)
            return false;
        auto *drop = static_cast<QDropEvent *>(event);
        const QList<QUrl> urls = drop->mimeData()->urls();
        auto *edit = qobject_cast<QLineEdit *>(control);
        if (!edit || !edit->property("path").toBool() || urls.size() != 1 ||
            !urls.first().isLocalFile()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop)
            edit->setText(urls.first().toLocalFile());
        return true;
    }
};

// A group heading in the form.
QLabel *heading(const QString &text)
{
    auto *label = new QLabel(QStringLiteral("<b>%1</b>").arg(text));
    label->setContentsMargins(0, 8, 0, 0);
    return label;
}

} // namespace

OptionsPanel::OptionsPanel(QWidget *parent) : QWidget(parent)
{
    stray_ = new StrayInput(this);
    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    add_output_and_inputs(form);
    add_field_and_mask(form);
    add_trial(form);
    add_report_and_run(form);
    connect(this, &OptionsPanel::changed, this, &OptionsPanel::enable);
    enable();
    // A hint shows how to fill a field, never a value: while a run disables
    // the form it stays paler than the values set.
    QPalette pale = palette();
    QColor hint = pale.color(QPalette::Disabled, QPalette::Text);
    hint.setAlpha(110);
    pale.setColor(QPalette::Disabled, QPalette::PlaceholderText, hint);
    setPalette(pale);
}

void OptionsPanel::guard(QWidget *control, const QString &tip)
{
    control->setToolTip(tip);
    control->setProperty("tip", tip);
    control->installEventFilter(stray_);
}

QLineEdit *OptionsPanel::text(const QString &option, const QString &placeholder, const QString &tip)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(option);
    edit->setPlaceholderText(placeholder);
    guard(edit, tip);
    controls_[option] = edit;
    connect(edit, &QLineEdit::textChanged, this, &OptionsPanel::changed);
    return edit;
}

QCheckBox *OptionsPanel::check(const QString &option, const QString &label, const QString &tip)
{
    auto *box = new QCheckBox(label);
    box->setObjectName(option);
    guard(box, tip);
    controls_[option] = box;
    connect(box, &QCheckBox::toggled, this, &OptionsPanel::changed);
    return box;
}

QLineEdit *OptionsPanel::path_edit(const QString &option, const QString &tip, bool folder)
{
    QLineEdit *edit = text(option, folder ? tr("a folder") : tr("none"), tip);
    edit->setProperty("path", true);
    connect(edit, &QLineEdit::editingFinished, this, [edit, folder] {
        const QString text = typed(edit->text());
        const QString whole = folder ? whole_path(text) : from_here(text);
        if (!edit->text().isEmpty() && edit->text() != whole)
            edit->setText(whole);
    });
    auto *browse = new QPushButton(tr("Choose…"));
    browse->setObjectName(option + QStringLiteral("Browse"));
    connect(browse, &QPushButton::clicked, this, [this, edit, folder] {
        const QString path =
            folder ? QFileDialog::getExistingDirectory(this, tr("Choose a folder"), edit->text())
                   : QFileDialog::getOpenFileName(this, tr("Choose a file"), edit->text(),
                                                  tr("CSV files (*.csv *.txt);;All files (*)"));
        if (!path.isEmpty())
            edit->setText(path);
    });
    edit->setProperty("row", QVariant::fromValue<QWidget *>(with_button(edit, browse)));
    return edit;
}

QComboBox *OptionsPanel::choices(const QString &option, const QStringList &labels,
                                 const QStringList &values, const QString &tip)
{
    auto *box = new QComboBox;
    box->setObjectName(option);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(16);
    box->setFocusPolicy(Qt::StrongFocus); // not by the wheel
    guard(box, tip);
    for (int i = 0; i < labels.size(); ++i)
        box->addItem(labels[i], values[i]);
    controls_[option] = box;
    connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &OptionsPanel::changed);
    return box;
}

void OptionsPanel::add_output_and_inputs(QFormLayout *form)
{
    output_ = path_edit(QStringLiteral("output"),
                        tr("The folder for all results, made if missing."), true);
    add_row(form, "output", tr("Output folder"), output_->property("row").value<QWidget *>());
    photo_ =
        choices(QStringLiteral("photo"),
                {tr("a file after each radiometric image"), tr("inside each radiometric image")},
                {QString(), QStringLiteral("embedded")},
                tr("Where each pair's photograph is: a file of its own after its radiometric "
                   "image (the default), or inside each radiometric image, for cameras that "
                   "write no separate photograph."));
    add_row(form, "photo", tr("Photographs"), photo_);
    pairing_ = choices(QStringLiteral("pairing"), {tr("in list order"), tr("by capture time")},
                       {QString(), QStringLiteral("time")},
                       tr("How the images form pairs: in the list's order, radiometric image "
                          "first; or each radiometric image with the photograph taken nearest to "
                          "it, for a folder as the camera wrote it."));
    controls_.remove(QStringLiteral("pairing"));
    add_row(form, "pair", tr("Pairing"), pairing_);
    tolerance_ = text(QStringLiteral("pair"), tr("2 s apart at most"),
                      tr("By capture time: how far apart in seconds a photograph may be taken "
                         "from its radiometric image (0 to 86,400)."));
    add_row(form, nullptr, tr("Within (s)"), tolerance_);
    names_ = choices(QStringLiteral("names"), {tr("by image number"), tr("after the file names")},
                     {QString(), QStringLiteral("file")},
                     tr("What each pair's result files are named after: its image number, or its "
                        "photograph's file name, when file names give the same number, as names "
                        "after a trial's treatments do."));
    add_row(form, "names", tr("Result names"), names_);
    table_ = path_edit(QStringLiteral("table"),
                       tr("Emissivity and reflected temperature by image number, lines of "
                          "number,emissivity,temperature in °C; a pair whose number is listed only "
                          "sets the values for the pairs after it. Use it when you measured them "
                          "on site."),
                       false);
    add_row(form, "table", tr("Emissivity table"), table_->property("row").value<QWidget *>());
}

void OptionsPanel::add_field_and_mask(QFormLayout *form)
{
    form->addRow(heading(tr("Field and plants")));
    field_mode_ = choices(
        QStringLiteral("fieldMode"),
        {tr("default: fixed, or the camera's refined"), tr("given X,Y,W,H"), tr("the camera's"),
         tr("found in each pair")},
        {QString(), QStringLiteral("given"), QStringLiteral("camera"), QStringLiteral("auto")},
        tr("Where the thermal picture lies in the photograph. Found in each pair: when the camera "
           "was handheld, lens or distance vary, or the photographs are smaller than the fixed "
           "field. The camera's: exactly as the alignment values of a photograph kept inside "
           "the radiometric image give it, which by default is refined by a search near it."));
    controls_.remove(QStringLiteral("fieldMode"));
    add_row(form, "field", tr("Field"), field_mode_);
    field_ = text(QStringLiteral("field"), tr("X,Y,W,H in photograph pixels"),
                  tr("The thermal field in photograph pixels; with the camera's or a search, it "
                     "stands in where the camera's values are missing or no field is trusted."));
    add_row(form, nullptr, tr("X,Y,W,H"), field_);
    mask_ = choices(QStringLiteral("mask"), {tr("green over blue"), tr("ExGR")},
                    {QString(), QStringLiteral("exgr")},
                    tr("Green over blue: green plants on grey or bluish ground. ExGR: excess green "
                       "minus excess red, for bare soil: beige, brown and straw-coloured soil all "
                       "count as plant for green over blue."));
    add_row(form, "mask", tr("Mask"), mask_);
    purity_ = text(QStringLiteral("purity"), tr("0.5"),
                   tr("With ExGR: a thermal pixel is plant when at least this share of the "
                      "photograph pixels it covers are. Raise it (0.75–0.9) to keep mixed "
                      "plant-soil pixels at the edges out of the plant mean."));
    add_row(form, "purity", tr("Purity"), purity_);
    radiometry_ = choices(QStringLiteral("radiometry"), {tr("simple"), tr("full")},
                          {QString(), QStringLiteral("full")},
                          tr("Full also corrects for the air's transmission and radiation and a "
                             "window, from the values in each file: beyond a metre, in humid or "
                             "hot air, behind a protective window."));
    add_row(form, "radiometry", tr("Radiometry"), radiometry_);
    temperatures_ = check(QStringLiteral("temperatures"), tr("every pixel's temperature too"),
                          tr("Also writes every pixel's temperature, not only the plants', for "
                             "your own analysis."));
    add_row(form, "temperatures", tr("Tables"), temperatures_);
}

void OptionsPanel::add_trial(QFormLayout *form)
{
    form->addRow(heading(tr("Field trial")));
    plots_ =
        path_edit(QStringLiteral("plots"),
                  tr("A field book: its columns are added to stats.csv and the report's table; "
                     "in a field trial, to tie each image to its plot, genotype, treatment, "
                     "replicate."),
                  false);
    add_row(form, "plots", tr("Field book"), plots_->property("row").value<QWidget *>());
    group_ = choices(QStringLiteral("group"), {tr("none")}, {QString()},
                     tr("Writes groups.csv, the plant means summarised per value of this column "
                        "of the book, and a group section in the report."));
    add_row(form, "group", tr("Group by"), group_);
    connect(plots_, &QLineEdit::textChanged, this, &OptionsPanel::fill_groups);
    air_ = choices(QStringLiteral("air"), {tr("none"), tr("weather log"), tr("the camera's")},
                   {QString(), QStringLiteral("log"), QStringLiteral("camera")},
                   tr("A weather log interpolated at each capture time, or the air temperature and "
                      "humidity set on the camera: adds air temperature, relative humidity, VPD "
                      "and CTD to stats.csv."));
    add_row(form, "air", tr("Air"), air_);
    log_ = path_edit(QStringLiteral("log"),
                     tr("The weather log: time, air temperature, relative "
                        "humidity."),
                     false);
    add_row(form, nullptr, tr("Weather log"), log_->property("row").value<QWidget *>());
    cwsi_ = text(QStringLiteral("cwsi"), tr("A,B (none)"),
                 tr("Adds the crop water stress index from the crop's non-water-stressed "
                    "baseline, canopy minus air temperature = A + B · VPD (°C, °C/kPa)."));
    add_row(form, "cwsi", tr("CWSI baseline"), cwsi_);
}

void OptionsPanel::add_report_and_run(QFormLayout *form)
{
    form->addRow(heading(tr("Report and run")));
    report_ = check(QStringLiteral("report"), tr("write report.html"),
                    tr("Writes report.html and report/, to look over a campaign."));
    add_row(form, "report", tr("Report"), report_);
    palette_ = choices(QStringLiteral("palette"), {tr("inferno"), tr("iron"), tr("grey")},
                       {QString(), QStringLiteral("iron"), QStringLiteral("grey")},
                       tr("Colours of the report's maps: inferno reads evenly, iron for the "
                          "camera's look, grey for print."));
    add_row(form, "palette", tr("Palette"), palette_);
    range_ = text(QStringLiteral("range"), tr("MIN,MAX (the campaign's)"),
                  tr("The maps' range in °C (default: the 1st to 99th percentile of all plant "
                     "pixels of the campaign), to compare campaigns on one scale."));
    add_row(form, "range", tr("Range °C"), range_);
    jobs_ = text(QStringLiteral("jobs"), tr("%1 (one per core)").arg(QThread::idealThreadCount()),
                 tr("Pairs processed at once, each with its own ExifTool; lower it to leave cores "
                    "free."));
    add_row(form, "jobs", tr("Jobs"), jobs_);
    timeout_ = text(QStringLiteral("tool-timeout"), tr("60 s"),
                    tr("The longest wait for ExifTool's answer on one image, from 0.001 to "
                       "86400 s; the pair is then skipped. On slow network drives, raise it."));
    add_row(form, "tool-timeout", tr("Tool time limit"), timeout_);
}

void OptionsPanel::add_row(QFormLayout *form, const char *option, const QString &label,
                           QWidget *field)
{
    form->addRow(label, field);
    if (option)
        words_[QLatin1String(option)] = {label, qobject_cast<QComboBox *>(field)};
}

QString OptionsPanel::in_words(const QString &text) const
{
    // An option, and the word after it: one of its choices, a placeholder
    // (DIR, FILE, X,Y,W,H) or the sentence's own.
    static const QRegularExpression option(QStringLiteral("--([a-z][a-z-]*)( [A-Za-z,]+)?"));
    QString out;
    int from = 0;
    for (auto it = option.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const auto named = words_.constFind(m.captured(1));
        if (named == words_.cend())
            continue;
        const QString after = m.captured(2).mid(1);
        const int choice =
            named->choices && !after.isEmpty() ? named->choices->findData(after) : -1;
        const bool placeholder = !after.isEmpty() && after == after.toUpper();
        out += text.mid(from, m.capturedStart() - from) + QStringLiteral("“") + named->label +
               (choice >= 0 ? QStringLiteral(": ") + named->choices->itemText(choice) : QString()) +
               QStringLiteral("”") + (choice >= 0 || placeholder ? QString() : m.captured(2));
        from = m.capturedEnd();
    }
    return out + text.mid(from);
}

void OptionsPanel::fill_groups()
{
    const QString kept = value(group_);
    const QSignalBlocker block(group_);
    group_->clear();
    group_->addItem(tr("none"), QString());
    for (const std::string &column : read_field_book(plots_->text()).book.columns)
        group_->addItem(QString::fromStdString(column), QString::fromStdString(column));
    if (!kept.isEmpty() && group_->findData(kept) < 0)
        group_->addItem(kept, kept);
    set_value(group_, kept);
}

void OptionsPanel::enable()
{
    field_->setEnabled(!value(field_mode_).isEmpty());
    tolerance_->setEnabled(!value(pairing_).isEmpty());
    purity_->setEnabled(!value(mask_).isEmpty());
    cwsi_->setEnabled(!value(air_).isEmpty());
    log_->property("row").value<QWidget *>()->setEnabled(value(air_) == QLatin1String("log"));
    for (QWidget *w : {static_cast<QWidget *>(palette_), static_cast<QWidget *>(range_)})
        w->setEnabled(report_->isChecked());
}

QString OptionsPanel::output() const
{
    return output_->text().isEmpty() ? QString() : whole_path(typed(output_->text()));
}

QStringList OptionsPanel::arguments() const
{
    QStringList a;
    // A value that begins as an option does (a column named "--geno") is
    // joined to its option, so that it is never taken for one.
    const auto add = [&a](const char *option, const QString &text) {
        const QString name = QStringLiteral("--") + QLatin1String(option);
        if (text.startsWith(QLatin1String("--")))
            a << name + QLatin1Char('=') + text;
        else if (!text.isEmpty())
            a << name << text;
    };
    add("output", output());
    add("photo", value(photo_));
    if (!value(pairing_).isEmpty())
        a << QStringLiteral("--pair")
          << (tolerance_->text().isEmpty()
                  ? value(pairing_)
                  : value(pairing_) + QLatin1Char(':') + tolerance_->text());
    add("names", value(names_));
    add("field", value(field_mode_) == QLatin1String("given") ? QString() : value(field_mode_));
    if (!value(field_mode_).isEmpty() &&
        (value(field_mode_) == QLatin1String("given") || !field_->text().isEmpty()))
        a << QStringLiteral("--field") << field_->text();
    add("mask", value(mask_));
    if (!value(mask_).isEmpty())
        add("purity", purity_->text());
    add("radiometry", value(radiometry_));
    if (temperatures_->isChecked())
        a << QStringLiteral("--temperatures");
    add("table", from_here(typed(table_->text())));
    add("plots", from_here(typed(plots_->text())));
    add("group", value(group_));
    add("air", value(air_) == QLatin1String("log") ? from_here(typed(log_->text())) : value(air_));
    if (value(air_) == QLatin1String("log") && log_->text().isEmpty())
        a << QStringLiteral("--air") << QString();
    if (!value(air_).isEmpty()) // the index compares the canopy with the air
        add("cwsi", cwsi_->text());
    if (report_->isChecked()) {
        a << QStringLiteral("--report");
        add("palette", value(palette_));
        add("range", range_->text());
    }
    add("jobs", jobs_->text());
    add("tool-timeout", timeout_->text());
    return a;
}

void OptionsPanel::fill(const BatchOptions &o)
{
    const RunOptions &run = o.input.options;
    const bool embedded = run.photo == PhotoSource::Embedded;
    output_->setText(o.input.output_dir);
    set_value(photo_, embedded ? QStringLiteral("embedded") : QString());
    const bool by_time = run.pairing.by == Pairing::Time;
    set_value(pairing_, by_time ? QStringLiteral("time") : QString());
    tolerance_->setText(by_time && run.pairing.tolerance != PairingRule().tolerance
                            ? number(run.pairing.tolerance)
                            : QString());
    set_value(names_, run.naming == Naming::File ? QStringLiteral("file") : QString());
    set_value(field_mode_, run.search_field   ? QStringLiteral("auto")
                           : run.camera_field ? QStringLiteral("camera")
                           : run.field_given  ? QStringLiteral("given")
                                              : QString());
    const Field &f = run.field;
    field_->setText(run.field_given
                        ? QStringLiteral("%1,%2,%3,%4").arg(f.x).arg(f.y).arg(f.width).arg(f.height)
                        : QString());
    set_value(mask_, run.mask.method == MaskMethod::ExGR ? QStringLiteral("exgr") : QString());
    purity_->setText(run.mask.purity == MaskOptions().purity ? QString() : number(run.mask.purity));
    set_value(radiometry_, run.radiometry == Radiometry::Full ? QStringLiteral("full") : QString());
    temperatures_->setChecked(run.temperatures);
    table_->setText(from_here(o.table_path));
    plots_->setText(from_here(o.trial.book_path));
    if (!o.trial.group.isEmpty() && group_->findData(o.trial.group) < 0)
        group_->addItem(o.trial.group, o.trial.group);
    set_value(group_, o.trial.group);
    set_value(air_, o.trial.air == AirSource::Log      ? QStringLiteral("log")
                    : o.trial.air == AirSource::Camera ? QStringLiteral("camera")
                                                       : QString());
    log_->setText(from_here(o.trial.log_path));
    cwsi_->setText(o.trial.cwsi
                       ? number(o.trial.cwsi->a) + QLatin1Char(',') + number(o.trial.cwsi->b)
                       : QString());
    report_->setChecked(o.report);
    set_value(palette_, o.style.palette == Palette::Iron   ? QStringLiteral("iron")
                        : o.style.palette == Palette::Grey ? QStringLiteral("grey")
                                                           : QString());
    range_->setText(o.style.range_given
                        ? number(o.style.range_min) + QLatin1Char(',') + number(o.style.range_max)
                        : QString());
    jobs_->setText(o.jobs_given ? QString::number(o.jobs) : QString());
    timeout_->setText(o.tool_timeout_ms == BatchOptions().tool_timeout_ms
                          ? QString()
                          : number(o.tool_timeout_ms / 1000.0));
}

void OptionsPanel::mark(const QString &option, const QString &problem)
{
    for (auto it = controls_.cbegin(); it != controls_.cend(); ++it) {
        QWidget *control = it.value();
        const QString now = it.key() == option ? problem : QString();
        if (control->property("problem").toString() == now)
            continue;
        control->setStyleSheet(now.isEmpty() ? QString()
                                             : QStringLiteral("border: 2px solid #b00020"));
        control->setProperty("problem", now);
        const QString tip = control->property("tip").toString();
        control->setToolTip(now.isEmpty() ? tip : now + QStringLiteral("\n\n") + tip);
    }
}

} // namespace ardentis
