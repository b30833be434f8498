// System information report: operating system, machine, processor, screen
// and the desktop's default applications, as lines of text that the Help
// menu shows and puts on the clipboard.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

class QObject;

namespace trakvio {

// Text of a value that could not be found.
inline constexpr const char* kNotAvailable = "n/a";

// Everything the report shows, gathered once. Texts that could not be read
// are kNotAvailable; numbers that could not be read are 0.
struct SystemInfoValues {
    std::string osVersion = "0.0";        // VERSION_ID of os-release, "major.minor"
    std::string build = kNotAvailable;    // kernel release (uname)
    std::string edition = kNotAvailable;  // PRETTY_NAME of os-release
    int bitness = 0;                      // of this build of the program
    std::string release = kNotAvailable;  // VERSION of os-release
    std::string maker = kNotAvailable;    // firmware's system vendor
    std::string model = kNotAvailable;    // firmware's product name
    std::string processor = kNotAvailable;
    int screenWidth = 0, screenHeight = 0;    // primary screen, device pixels
    int largestWidth = 0, largestHeight = 0;  // largest display mode
    int workWidth = 0, workHeight = 0;        // primary screen less panels and docks
    int pixelWidth = 0, pixelHeight = 0;      // display size in device pixels
    int mmWidth = 0, mmHeight = 0;            // display size in millimetres
    int logicalDpiX = 0, logicalDpiY = 0;
    std::string mailUser = kNotAvailable;    // the user's own mailto handler
    std::string mailSystem = kNotAvailable;  // the system-wide mailto handler
    std::string mailto = kNotAvailable;      // the handler the desktop uses
    std::string textEditor = kNotAvailable;  // the handler of text/plain
    std::string computerName = kNotAvailable;
    std::string userName = kNotAvailable;
};

// Reads the values kept in files under `root` ("/" except in tests):
// etc/os-release, sys/class/dmi/id/{sys_vendor,product_name}, proc/cpuinfo,
// the display modes of sys/class/drm and the system's mimeapps.list. Leaves
// the other values as they are.
void ReadSystemFiles(const std::filesystem::path& root, SystemInfoValues& values);

// Formats the report: its lines, in their order, with the physical DPI and
// the diagonal worked out from the pixel and millimetre sizes (0 when the
// display reports no millimetres).
std::string FormatSystemInformation(const SystemInfoValues& values);

// Gathers the report. `root` is the file system root the system files are
// read under ("/" except in tests). Asks the primary screen for its sizes and
// the desktop (xdg-mime, at most about a second each) for its default mail
// and text applications, so it runs on the window thread.
std::string GatherSystemInformation(const std::filesystem::path& root = "/");

// The same report without waiting for the desktop's answers: the screen and
// files are read at once, the two xdg-mime queries run in the background and
// `done` gets the report on the window thread once both have answered (or
// been given up after about a second). The queries belong to `context`; when
// it goes first, `done` is never called.
void GatherSystemInformationLater(QObject* context, std::function<void(const std::string&)> done,
                                  const std::filesystem::path& root = "/");

// Shows the report in a message box and puts it on the clipboard.
void ShowSystemInformation(const std::string& report);

}  // namespace trakvio
