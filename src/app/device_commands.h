// The main window's GPS device commands: erasing the MTK logger's memory and
// the live receiver capture with its notifications (new fixes, failure).
// Device I/O runs on worker threads; their results come back to the window
// thread as queued calls.
#pragma once

#include <QObject>
#include <QWidget>

#include "app/app_state.h"
#include "app/shell.h"

namespace trakvio {

class DeviceCommands : public QObject {
    Q_OBJECT
public:
    DeviceCommands(AppState& state, Shell& shell, QWidget* mainWindow);
    ~DeviceCommands() override;

    // Erase the logger's memory after a confirmation.
    void EraseLogger();
    // Starts the capture when idle (port dialog first), stops it otherwise.
    void ToggleCapture();
    // New fixes were appended by the receiver thread.
    void OnNewFixes();
    // The receiver failed; `statusBits` as the capture reports them.
    void OnReceiverFailed(int statusBits);

signals:
    // Capture started or stopped: the main window relabels its menu item and
    // greys or enables the commands that load or replace data.
    void captureChanged(bool capturing);

private:
    AppState& state_;
    Shell& shell_;
    QWidget* mainWindow_;
};

}  // namespace trakvio
