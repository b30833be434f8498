// The main window's GPS device commands: erasing the MTK logger's memory and
// the live receiver capture with its notifications (new fixes, failure).
// Device I/O runs on worker threads; their results come back to the window
// thread as queued calls.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/shell.h"
#include "devices/port_list.h"
#include "devices/receiver_capture.h"

namespace trakvio {

class MtkEraseDialog;

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

    // The serial ports the port dialog offers; tests put their own here.
    std::function<std::vector<PortInfo>()> portLister = ListSystemPorts;
    // The capture file of the running (or last) capture.
    const std::filesystem::path& captureFile() const { return captureFile_; }

  signals:
    // Capture started or stopped: the main window relabels its menu item and
    // greys or enables the commands that load or replace data.
    void captureChanged(bool capturing);

  private:
    void StartCapture();
    void StopCapture(bool offerSave);
    void JoinEraser();

    AppState& state_;
    Shell& shell_;
    QWidget* mainWindow_;
    ReceiverCapture capture_;
    std::filesystem::path captureFile_;
    std::thread eraser_;
    std::shared_ptr<std::atomic<bool>> eraseCancel_;
    QPointer<MtkEraseDialog> eraseDialog_;
};

}  // namespace trakvio
