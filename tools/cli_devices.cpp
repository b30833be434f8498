// trakvio-cli's GPS device commands: downloading and erasing an MTK logger,
// capturing from a GPS receiver, and listing the serial ports. Status texts
// and messages of the core go to stderr; results go to stdout.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "cli_common.h"
#include "compute/statistics.h"
#include "devices/mtk_logger.h"
#include "devices/mtk_protocol.h"
#include "devices/port_list.h"
#include "devices/receiver_capture.h"
#include "readers/log_loader.h"

namespace trakvio::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDeviceUsage =
    "usage: trakvio-cli mtk download [--port PATH] [--save FOLDER] [--ini FILE]\n"
    "       trakvio-cli mtk erase [--port PATH] [--ini FILE]\n"
    "       trakvio-cli capture --port PATH --out FILE [--seconds N] [--ini FILE]\n"
    "       trakvio-cli ports [--ini FILE]\n";

// Set by Ctrl-C (and SIGTERM); the commands that wait for a device end then.
std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, problem.c_str(), kDeviceUsage);
    return kExitUsage;
}

struct DeviceOptions {
    bool hasIni = false;
    fs::path ini;
    std::string port;
    fs::path save, out;
    int seconds = 0;  // 0: until Ctrl-C or a failure
};

// Reads the options from argv[first] on; allowed names the ones the form
// takes ("port", "save", "out", "seconds"; "ini" always).
int ParseDeviceOptions(int argc, char** argv, int first, std::string_view allowed, DeviceOptions& options) {
    for (int i = first; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view name = arg.substr(0, 2) == "--" ? arg.substr(2) : std::string_view();
        if (name.empty() || (name != "ini" && allowed.find(name) == std::string_view::npos)) {
            return UsageError("unexpected argument '" + std::string(arg) + "'");
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') return UsageError("--" + std::string(name) + " needs a value");
        std::string value = argv[++i];
        if (name == "ini") {
            options.hasIni = true;
            options.ini = Absolute(value);
        } else if (name == "port") {
            options.port = value;
        } else if (name == "save") {
            options.save = Absolute(value);
        } else if (name == "out") {
            options.out = Absolute(value);
        } else if (name == "seconds") {
            char* end = nullptr;
            long seconds = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || seconds < 1 || seconds > 86400 * 7) return UsageError("--seconds needs a count");
            options.seconds = static_cast<int>(seconds);
        }
    }
    return 0;
}

int MtkDownload(const DeviceOptions& options, Settings& settings, TrackListPrinter print) {
    TrackStore store;
    if (int status = SetUpCliStore(store, settings); status != 0) return status;
    // The loader finds the logger itself; a given port is handed to it the
    // way a user names one.
    if (!options.port.empty()) setenv(kMtkPortVariable, options.port.c_str(), 1);
    int status = ReadLogFile(store, settings, ".mtk-logger", {}, 1);
    if (status != kLoadDone) {
        std::fprintf(stderr, "%s: nothing was downloaded from the logger\n", kProgram);
        return status;
    }
    const fs::path dump = store.loadedFiles.empty() ? fs::path() : store.loadedFiles.back();
    if (!options.save.empty() && !dump.empty()) {
        std::error_code error;
        fs::copy_file(dump, options.save / dump.filename(), fs::copy_options::overwrite_existing, error);
        if (error) {
            PrintFileProblem(options.save / dump.filename(), "cannot write the dump: " + error.message());
            return kExitFailure;
        }
        std::fprintf(stderr, "%s: dump saved as %s\n", kProgram, (options.save / dump.filename()).c_str());
    }
    return print(store);
}

int MtkErase(const DeviceOptions& options, const Settings& settings) {
    std::string port = options.port.empty() ? LocateLogger(settings) : options.port;
    if (port.empty()) {
        std::fprintf(stderr, "%s: no logger found\n", kProgram);
        return kExitFailure;
    }
    CatchInterrupts();
    std::fprintf(stderr, "Erasing Log\n");
    int result = EraseMtkLog(port, settings.serial, gInterrupted);
    if (result == kMtkEraseDone) {
        std::printf("Erased Log\n");
        return 0;
    }
    std::fprintf(stderr, "%s: %s\n", kProgram,
                 result == kMtkErasePortError ? "the logger's port cannot be used" : "the erase was not confirmed");
    return kExitFailure;
}

int Capture(const DeviceOptions& options, Settings& settings, TrackListPrinter print) {
    if (options.port.empty() || options.out.empty()) return UsageError("capture needs --port and --out");
    TrackStore store;
    if (int status = SetUpCliStore(store, settings); status != 0) return status;
    std::atomic<int> failure{0};
    CaptureCallbacks callbacks;
    callbacks.failed = [&failure](int bits) { failure.store(bits); };
    callbacks.status = [](std::string_view text) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    };
    CatchInterrupts();
    ReceiverCapture capture;
    if (capture.Start(store, settings, options.port, options.out, callbacks) != 0) {
        std::fprintf(stderr, "%s: GPSレシーバーに接続できませんでした (%s)\n", kProgram, options.port.c_str());
        return kExitFailure;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
    while (!gInterrupted.load() && failure.load() == 0 &&
           (options.seconds == 0 || std::chrono::steady_clock::now() < end)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    capture.Stop();
    const int bits = failure.load();
    if (bits != 0) {
        std::string reason;
        if (bits & (kCaptureWaitFailed | kCaptureReadFailed)) reason += "GPSレシーバーとの接続が切断されました\n";
        if (bits & kCaptureSilent) reason += "GPSレシーバーは応答していません\n";
        std::fprintf(stderr, "%s%s return code=%d\n", kProgram, (": " + reason).c_str(), bits);
    }
    // What was captured, as one track.
    if (store.pointCount > 0) {
        store.trackEnd[0] = store.pointCount - 1;
        store.tracks[0].fileIndex = 0;
        store.trackCount = 1;
        EnterLoadedFile(store, options.out, 0);
        RecomputeStatistics(store, 0);
    }
    int status = print(store);
    return status != 0 ? status : (bits != 0 ? kLoadReaderError : 0);
}

const char* TransportName(PortTransport transport) {
    switch (transport) {
        case PortTransport::kUsb:
            return "USB";
        case PortTransport::kBluetooth:
            return "Bluetooth";
        default:
            return "serial";
    }
}

int Ports() {
    std::vector<PortInfo> ports = ListSystemPorts();
    if (ports.empty()) std::printf("no serial ports\n");
    for (const PortInfo& port : ports) {
        std::printf("%s\t%s\t%s", port.path.c_str(), TransportName(port.transport), port.description.c_str());
        if (port.usbVendor >= 0) std::printf("\t%04X:%04X", port.usbVendor, port.usbProduct);
        if (!port.manufacturer.empty() || !port.product.empty()) {
            std::printf("\t%s %s", port.manufacturer.c_str(), port.product.c_str());
        }
        if (!port.bluetoothAddress.empty()) std::printf("\t%s", port.bluetoothAddress.c_str());
        std::printf("\n");
    }
    return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

}  // namespace

int RunDeviceCommand(int argc, char** argv, TrackListPrinter print) {
    std::string_view command = argv[1];
    DeviceOptions options;
    int first = 2;
    std::string_view allowed;
    std::string_view form;
    if (command == "mtk") {
        if (argc < 3) return UsageError("mtk needs download or erase");
        form = argv[2];
        if (form == "download") {
            allowed = "port save";
        } else if (form == "erase") {
            allowed = "port";
        } else {
            return UsageError("unknown mtk command '" + std::string(form) + "'");
        }
        first = 3;
    } else if (command == "capture") {
        allowed = "port out seconds";
    }
    if (int status = ParseDeviceOptions(argc, argv, first, allowed, options); status != 0) return status;
    if (command == "capture" && (options.port.empty() || options.out.empty())) {
        return UsageError("capture needs --port and --out");
    }
    Settings settings;
    if (int status = ReadCliSettings(options.hasIni, options.ini, settings); status != 0) return status;
    if (command == "ports") return Ports();
    if (command == "capture") return Capture(options, settings, print);
    if (form == "download") return MtkDownload(options, settings, print);
    return MtkErase(options, settings);
}

}  // namespace trakvio::cli
