// Helpers shared by the window tests.
#pragma once

#include <QApplication>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace trakvio::test {

// Parent of the watch timers of one test, dropped by its tear-down: a watch
// whose dialog never showed goes with it, so it can neither leak nor act on a
// later test's dialog.
inline QObject*& PendingWatches() {
    static QObject* owner = nullptr;
    if (owner == nullptr) owner = new QObject;
    return owner;
}

inline void DropPendingWatches() {
    delete PendingWatches();
    PendingWatches() = nullptr;
}

// Runs action on the modal dialog of type T once it is shown.
template <typename T>
void WhenShown(std::function<void(T&)> action) {
    auto* timer = new QTimer(PendingWatches());
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(*dialog);
        }
    });
    timer->start();
}

}  // namespace trakvio::test
