#pragma once
// Helpers for tests that drive the real window and its modal dialogs.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace guitest
{

// Answers the next modal dialog that opens: `answer` is called with it once it
// is the active modal widget. Call before the action that opens the dialog.
inline void answer_next_modal(std::function<void(QWidget *)> answer, int timeout_ms = 5000)
{
    auto *timer = new QTimer;
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer, elapsed, timeout_ms] {
        QWidget *modal = QApplication::activeModalWidget();
        *elapsed += 20;
        if (modal || *elapsed > timeout_ms) {
            timer->stop();
            timer->deleteLater();
        }
        if (modal)
            answer(modal);
    });
    timer->start();
}

// Answers every message box that opens while it lives with its OK (or
// first) button, recording title, text and icon.
class MessageBoxRecorder
{
public:
    struct Box {
        QString title, text;
        int icon;
        int buttons;
    };
    MessageBoxRecorder()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            boxes << Box{box->windowTitle(), box->text(), int(box->icon()),
                         int(box->buttons().size())};
            QAbstractButton *ok = box->button(QMessageBox::Ok);
            (ok ? ok : box->buttons().value(0))->click();
        });
        timer_.start(10);
    }
    QList<Box> boxes;

private:
    QTimer timer_;
};

// Answers the question box with the button whose text is `choice` ("Files",
// "Directories" or "Cancel").
inline void answer_question(const QString &choice, QString *question = nullptr)
{
    answer_next_modal([choice, question](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return;
        if (question)
            *question = box->text() + QLatin1Char('|') + box->windowTitle() + QLatin1Char('|') +
                        QString::number(int(box->icon()));
        for (QAbstractButton *b : box->buttons()) {
            if (b->text() == choice ||
                (choice == "Cancel" && box->buttonRole(b) == QMessageBox::RejectRole)) {
                b->click();
                return;
            }
        }
        box->reject();
    });
}

// Answers the file dialog that follows with `names` typed in `dir` (a folder
// dialog with `dir` alone), or cancels it when both are empty.
inline void answer_file_dialog(const QString &dir, const QStringList &names)
{
    answer_next_modal([=](QWidget *modal) {
        auto *fd = qobject_cast<QFileDialog *>(modal);
        if (!fd) {
            modal->close();
            return;
        }
        if (names.isEmpty() && dir.isEmpty()) {
            fd->reject();
            return;
        }
        fd->setDirectory(dir);
        QString typed;
        if (names.size() == 1)
            typed = names.first();
        else
            for (const QString &n : names)
                typed += QLatin1Char('"') + n + QStringLiteral("\" ");
        if (auto *edit = fd->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(names.isEmpty() ? dir : typed);
        static_cast<QDialog *>(fd)->accept();
    });
}

template <typename T> T *child(QWidget *window, const char *name)
{
    T *w = window->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

} // namespace guitest
