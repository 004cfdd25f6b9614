#pragma once
// Helpers for tests that drive the real window and its modal dialogs.

#include <QApplication>
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
        if (modal) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        } else if (*elapsed > timeout_ms) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

template <typename T> T *child(QWidget *window, const char *name)
{
    T *w = window->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

} // namespace guitest
