#include "devices/mtk_logger.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <system_error>

#include "devices/port_list.h"
#include "platform/local_time.h"
#include "platform/messages.h"
#include "platform/status_text.h"
#include "platform/utf.h"
#include "readers/mtk_reader.h"
#include "readers/reader_results.h"

namespace trakvio {
namespace {

DumpSaveChooser gChooser = nullptr;  // installed once by the window at start
void* gChooserContext = nullptr;

bool WriteImage(const std::filesystem::path& path, const std::vector<uint8_t>& image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

}  // namespace

std::string FindLogger(const Settings& settings) {
    if (const char* forced = std::getenv(kMtkPortVariable); forced != nullptr && *forced != '\0') return forced;
    std::vector<PortInfo> ports = ListSystemPorts();
    int index = FindLoggerPort(ports, Utf16ToUtf8(settings.mtkloggerdevidstr));
    return index < 0 ? std::string() : ports[static_cast<size_t>(index)].path;
}

std::string LocateLogger(const Settings& settings) {
    for (;;) {
        std::string port = FindLogger(settings);
        if (!port.empty()) return port;
        int answer = ShowMessage("USBポートに MTK Logger を接続し電源を入れて下さい", "MTK Logger",
                                 MessageButtons::kOkCancel, kAnswerCancel, MessageIcon::kWarning);
        if (answer != kAnswerOk) return {};
    }
}

std::string MtkDumpName(int64_t t) { return CompactLocalTime(t) + ".bin"; }

int DownloadMtkLogger(TrackStore& store, Settings& settings, const std::string& port,
                      const std::filesystem::path& saveFolder, std::filesystem::path& dumpPath,
                      const MtkDownloadOptions& options) {
    dumpPath.clear();
    ShowStatusText("Connecting " + port);
    std::vector<uint8_t> image;
    int code = DownloadMtkImage(port, settings.serial, options, image);
    ShowStatusText("");
    if (code != kMtkDone) {
        char text[64];
        std::snprintf(text, sizeof text, "読み取りに失敗しました %d\n", code);
        ShowMessage(text, "MTK Logger Error", MessageButtons::kOk, kAnswerOk, MessageIcon::kError);
        return kReaderCannotOpen;
    }
    std::vector<MtkRecord> records;
    DecodeMtkBuffer(image.data(), image.size(), records);
    if (records.empty()) {
        ShowMessage("MTK Logger にデータが記録されていません", "No Log Data", MessageButtons::kOk, kAnswerOk,
                    MessageIcon::kWarning);
        return kReaderCannotOpen;
    }
    if (!saveFolder.empty()) {
        std::filesystem::path path = saveFolder / MtkDumpName(records.front().time);
        if (WriteImage(path, image)) {
            dumpPath = path;
        } else {
            ShowMessage("Cannot write the logger's dump.\n" + path.string(), "MTK Logger Error", MessageButtons::kOk,
                        kAnswerOk, MessageIcon::kError);
        }
    }
    int result = kReaderDone;
    for (const MtkRecord& r : records) {
        if (!AppendPoint(store, r.latitude, r.longitude, r.height, r.speed, r.time, 1)) {
            result = kReaderCut;
            break;
        }
    }
    settings.gpsLogDataFile = "MTK_Logger_data";
    return result;
}

void SetDumpSaveChooser(DumpSaveChooser chooser, void* context) {
    gChooser = chooser;
    gChooserContext = context;
}

bool OfferDumpCopy(Settings& settings, const std::filesystem::path& dump) {
    if (gChooser == nullptr || dump.empty()) return false;
    std::filesystem::path seed = settings.mtkBinFile.empty() ? dump : settings.mtkBinFile;
    std::filesystem::path chosen = gChooser(gChooserContext, seed);
    if (chosen.empty()) return false;
    if (chosen.native().find('.') == std::string::npos) chosen += ".bin";
    std::error_code error;
    if (!std::filesystem::equivalent(dump, chosen, error)) {
        std::filesystem::copy_file(dump, chosen, std::filesystem::copy_options::overwrite_existing, error);
    }
    if (error) {
        ShowMessage("Cannot copy the logger's dump.\n" + chosen.string(), "Save MTK-bin file", MessageButtons::kOk,
                    kAnswerOk, MessageIcon::kError);
        return false;
    }
    settings.mtkBinFile = chosen;
    return true;
}

}  // namespace trakvio
