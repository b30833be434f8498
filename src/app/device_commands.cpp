#include "app/device_commands.h"

#include <QMetaObject>
#include <QThread>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "app/file_dialog.h"
#include "app/mtk_erase_dialog.h"
#include "app/port_dialog.h"
#include "app/qt_text.h"
#include "compute/statistics.h"
#include "devices/mtk_logger.h"
#include "devices/mtk_protocol.h"
#include "platform/local_time.h"
#include "platform/messages.h"
#include "platform/utf.h"

namespace trakvio {
namespace {

// The logger download runs on the main window's load worker; its dialog is
// shown on the window thread while the worker waits for the answer.
std::filesystem::path ChooseDumpCopy(void* context, const std::filesystem::path& seed) {
    auto* owner = static_cast<QWidget*>(context);
    auto choose = [owner, &seed] {
        FileDialogRequest request;
        request.mode = kFileDialogSave;
        request.title = QStringLiteral("Save MTK-bin file");
        request.filter = QStringLiteral("MTK-bin files {*.bin}");
        request.seed = seed;
        std::vector<std::filesystem::path> chosen = RunFileDialog(owner, request);
        return chosen.empty() ? std::filesystem::path() : chosen.front();
    };
    if (QThread::currentThread() == owner->thread()) return choose();
    std::filesystem::path chosen;
    QMetaObject::invokeMethod(
        owner, [&] { chosen = choose(); }, Qt::BlockingQueuedConnection);
    return chosen;
}

// "YYYYMMDD_hhmmss.nmea" of the local time now.
std::string CaptureFileName() { return CompactLocalTime(std::time(nullptr)) + ".nmea"; }

// Moves from to to, copying when they are on different file systems.
bool MoveFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    if (!error) return true;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
    if (error) return false;
    std::filesystem::remove(from, error);
    return true;
}

}  // namespace

DeviceCommands::DeviceCommands(AppState& state, Shell& shell, QWidget* mainWindow)
    : QObject(mainWindow), state_(state), shell_(shell), mainWindow_(mainWindow) {
    SetDumpSaveChooser(&ChooseDumpCopy, mainWindow_);
}

DeviceCommands::~DeviceCommands() {
    SetDumpSaveChooser(nullptr, nullptr);
    capture_.Stop();
    state_.capturing = false;
    if (eraseCancel_) eraseCancel_->store(true);
    JoinEraser();
}

void DeviceCommands::JoinEraser() {
    if (eraser_.joinable()) eraser_.join();
}

void DeviceCommands::EraseLogger() {
    if (ShowMessage("MTK Logger 本体のログデータを消去してよろしいですか？", "MTK Logger", MessageButtons::kYesNo,
                    kAnswerNo, MessageIcon::kWarning) != kAnswerYes) {
        return;
    }
    const std::string port = LocateLogger(state_.settings);
    if (port.empty()) return;
    // A previous erase that was cancelled ends within a poll of its port.
    if (eraseCancel_) eraseCancel_->store(true);
    JoinEraser();

    shell_.SetStatusPart(kStatusProgress, "Erasing Log");
    eraseCancel_ = std::make_shared<std::atomic<bool>>(false);
    auto* dialog = new MtkEraseDialog(mainWindow_, eraseCancel_);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    eraseDialog_ = dialog;
    QPointer<DeviceCommands> self(this);
    const SerialSettings serial = state_.settings.serial;
    eraser_ = std::thread([self, port, serial, cancel = eraseCancel_, target = this] {
        const int result = EraseMtkLog(port, serial, *cancel);
        QMetaObject::invokeMethod(
            target,
            [self, result] {
                if (self && self->eraseDialog_) self->eraseDialog_->Finish(result);
            },
            Qt::QueuedConnection);
    });
    const int result = dialog->exec();
    eraseDialog_ = nullptr;
    delete dialog;
    if (result == kMtkEraseDone) {
        JoinEraser();
        shell_.SetStatusPart(kStatusProgress, "Erased Log");
        ShowMessage("MTK Logger 本体のログデータを消去しました", "MTK Logger", MessageButtons::kOk, kAnswerOk,
                    MessageIcon::kInformation);
    }
}

void DeviceCommands::ToggleCapture() {
    if (state_.capturing) {
        StopCapture(true);
    } else {
        StartCapture();
    }
}

void DeviceCommands::StartCapture() {
    std::vector<ReceiverPortEntry> entries;
    int answer;
    int row;
    do {
        entries = ReceiverPortEntries(portLister ? portLister() : std::vector<PortInfo>{});
        PortDialog dialog(mainWindow_, entries);
        answer = dialog.exec();
        row = dialog.selectedRow();
    } while (answer == kPortDialogRetry);
    if (answer != kPortDialogStart || row < 0 || row >= static_cast<int>(entries.size())) return;
    const ReceiverPortEntry& entry = entries[static_cast<size_t>(row)];

    TrackStore& store = state_.store;
    Settings& settings = state_.settings;
    state_.firstFixPending = true;
    ClearTrackStore(store);
    if (store.maxtracks > 0) {
        store.tracks[0].lineWidth = settings.tracklinewidthdefault;
        store.tracks[0].color = settings.tracklinecolordefault;
        store.tracks[0].fileIndex = 0;
    }
    WriteTrackName(store, 0, Utf8ToUtf16(entry.deviceName));
    captureFile_ = settings.workFolder / CaptureFileName();
    settings.gpsLogDataFile = "GPS_receiver_data";

    QPointer<DeviceCommands> self(this);
    CaptureCallbacks callbacks;
    callbacks.newFixes = [self, target = this] {
        QMetaObject::invokeMethod(
            target,
            [self] {
                if (self) self->OnNewFixes();
            },
            Qt::QueuedConnection);
    };
    callbacks.failed = [self, target = this](int bits) {
        QMetaObject::invokeMethod(
            target,
            [self, bits] {
                if (self) self->OnReceiverFailed(bits);
            },
            Qt::QueuedConnection);
    };
    callbacks.status = [self, target = this](std::string_view text) {
        QMetaObject::invokeMethod(
            target,
            [self, line = std::string(text)] {
                if (self) self->shell_.SetStatusPart(kStatusProgress, line);
            },
            Qt::QueuedConnection);
    };
    if (capture_.Start(store, settings, entry.portName, captureFile_, std::move(callbacks)) != 0) {
        ShowMessage("GPSレシーバーに接続できませんでした", "Failed to connect GPS receiver", MessageButtons::kOk,
                    kAnswerOk, MessageIcon::kWarning);
        return;
    }
    state_.capturing = true;
    emit captureChanged(true);
}

void DeviceCommands::StopCapture(bool offerSave) {
    capture_.Stop();
    state_.capturing = false;
    if (offerSave && state_.store.pointCount > 0) {
        FileDialogRequest request;
        request.mode = kFileDialogSave;
        request.title = QStringLiteral("GPSレシーバーから読込んだ位置情報データ(NMEA形式)の保存");
        request.filter = QStringLiteral("NMEA files {*.nme,*.nmea}");
        request.seed = captureFile_;
        std::vector<std::filesystem::path> chosen = RunFileDialog(mainWindow_, request);
        if (!chosen.empty() && chosen.front() != captureFile_) {
            if (MoveFile(captureFile_, chosen.front())) {
                captureFile_ = chosen.front();
            } else {
                ShowMessage("Cannot move the capture file.\n" + chosen.front().string(),
                            "Failed to connect GPS receiver", MessageButtons::kOk, kAnswerOk, MessageIcon::kError);
            }
        }
    }
    emit captureChanged(false);
}

void DeviceCommands::OnNewFixes() {
    TrackStore& store = state_.store;
    // The receiver thread publishes the count after the points it covers.
    const int32_t count = CapturedPointCount(store);
    if (count < 1 || store.maxtracks < 1) return;
    store.trackCount = 1;
    store.trackEnd[0] = count - 1;
    if (state_.firstFixPending) {
        RecomputeStatistics(store, 0);
        FitZoom(store);
        state_.firstFixPending = false;
        state_.dataLoaded = true;
        shell_.RefreshAfterLoad();
        return;
    }
    RecomputeStatistics(store, 1);
    shell_.RefreshTrackList();
    shell_.RedrawMap();
    if (state_.graphShown) shell_.RedrawGraph();
}

void DeviceCommands::OnReceiverFailed(int statusBits) {
    std::string text;
    if (statusBits & (kCaptureWaitFailed | kCaptureReadFailed)) text += "GPSレシーバーとの接続が切断されました\n";
    if (statusBits & kCaptureSilent) text += "GPSレシーバーは応答していません\n";
    char code[40];
    std::snprintf(code, sizeof code, " return code=%d\n", statusBits);
    text += code;
    ShowMessage(text, "Failed to connect GPS receiver", MessageButtons::kOk, kAnswerOk, MessageIcon::kWarning);
    if (state_.capturing) StopCapture(true);
}

}  // namespace trakvio
