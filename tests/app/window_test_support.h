// Helpers shared by the window tests.
#pragma once

#include <QApplication>
#include <QImage>
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

// Share of the pixels of rect (the whole image when empty) that have exactly
// the colour rgb, 0xRRGGBB.
inline double ColorShare(const QImage& image, QRgb rgb, QRect rect = QRect()) {
    if (rect.isEmpty()) rect = image.rect();
    int hits = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) hits += (image.pixel(x, y) & 0xFFFFFFu) == (rgb & 0xFFFFFFu);
    }
    return static_cast<double>(hits) / (rect.width() * rect.height());
}

}  // namespace trakvio::test
