#pragma once

// Helpers for the dialog tests: typing as a person types, leaving a control,
// and running code inside a modal dialog's event loop.

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <functional>

#include <gtest/gtest.h>

namespace vellrun::testing {

// Sends one key press and release per character, as typing does.
inline void TypeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        // Qt's key codes of printable ASCII characters are their upper-case codes.
        const int key = c.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

// The control loses the keyboard focus, as when the person tabs away.
inline void LeaveControl(QWidget* widget) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &out);
}

// Runs steps once a modal dialog is up (a dialog's exec), not earlier: the
// program pumps events on its own before that. A dialog the steps left open
// is closed, so that a failing test cannot hang.
inline void WhenModal(std::function<void()> steps) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, steps = std::move(steps)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        timer->stop();
        timer->deleteLater();
        steps();
        if (QApplication::activeModalWidget() == modal && modal->isVisible()) {
            ADD_FAILURE() << "the steps left a modal dialog open";
            modal->close();
        }
    });
    timer->start(5);
}

}  // namespace vellrun::testing
