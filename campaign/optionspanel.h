#pragma once
// The campaign window's controls for the batch's options. They hold the
// options as the batch's arguments, with no rules of their own: the batch's
// parser judges them, and a refused value is marked at its control.

#include <QMap>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;

namespace ardentis
{
struct BatchOptions;

class OptionsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit OptionsPanel(QWidget *parent = nullptr);
    // The batch's arguments for the options set, the inputs aside.
    QStringList arguments() const;
    // Sets every control to what the parsed options ask for.
    void fill(const BatchOptions &options);
    // Marks the control of `option` (a long option name) with `problem`, in
    // its frame and tooltip, clearing any other mark; an empty `option`
    // clears them all.
    void mark(const QString &option, const QString &problem);
    QString output() const;
    // `text` of the batch's in the window's words: each option it names, as
    // "--names file", by its control's label and choice, "“Result names: after
    // the file names”".
    QString in_words(const QString &text) const;

signals:
    void changed();

private:
    void add_output_and_inputs(QFormLayout *form);
    void add_field_and_mask(QFormLayout *form);
    void add_trial(QFormLayout *form);
    void add_report_and_run(QFormLayout *form);
    // A form row, whose label names `option` (if any) in the window's words.
    void add_row(QFormLayout *form, const char *option, const QString &label, QWidget *field);
    QLineEdit *path_edit(const QString &option, const QString &tip, bool folder);
    QComboBox *choices(const QString &option, const QStringList &labels, const QStringList &values,
                       const QString &tip);
    QLineEdit *text(const QString &option, const QString &placeholder, const QString &tip);
    QCheckBox *check(const QString &option, const QString &label, const QString &tip);
    // Gives a control its tooltip and keeps stray wheel turns and drops off it.
    void guard(QWidget *control, const QString &tip);
    void fill_groups();
    void enable();

    QLineEdit *output_, *tolerance_, *table_, *field_, *purity_, *plots_, *log_, *cwsi_, *range_,
        *jobs_, *timeout_;
    QComboBox *photo_, *pairing_, *names_, *field_mode_, *mask_, *radiometry_, *group_, *air_,
        *palette_;
    QCheckBox *temperatures_, *report_;
    QMap<QString, QWidget *> controls_; // by the option they set
    struct Named {
        QString label;
        QComboBox *choices; // the option's values, if a list offers them
    };
    QMap<QString, Named> words_; // by the option they name
    QObject *stray_;
};

} // namespace ardentis
