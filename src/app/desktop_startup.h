// Start-up of the desktop program: the command line, the configuration and
// the track store as the program sets them up, the main window, the first
// path, and the screenshot mode that writes the shown windows as PNG files.
#pragma once

#include <QApplication>
#include <filesystem>
#include <vector>

#include "app/app_state.h"

namespace trakvio {

struct DesktopOptions {
    bool hasIni = false;
    std::filesystem::path ini;
    bool screenshot = false;
    std::filesystem::path screenshotFolder;
    int width = 1000;  // main window client size
    int height = 600;
    bool help = false;
    std::vector<std::filesystem::path> paths;
};

inline constexpr int kDesktopExitFailure = 1;
inline constexpr int kDesktopExitUsage = 64;

// Reads the command line. Returns 0, or kDesktopExitUsage after the usage
// text went to stderr. Paths are made absolute.
int ParseDesktopArguments(int argc, char** argv, DesktopOptions& options);

// Drops the offscreen platform's notes about window features it lacks, so
// that a screenshot run prints only its paths and real problems.
void InstallQuietQtMessages();

// The configuration (the --ini file or the user's own, created from the
// template beside the program when missing) with its geoid model, the error
// log deleted, and the track store with the configured capacities. Returns 0,
// or kDesktopExitFailure when the file named by --ini cannot be read.
// configPath receives the configuration file written back at close.
int SetUpDesktopState(const DesktopOptions& options, AppState& state, std::filesystem::path& configPath);

// The whole program after the application object exists; returns the exit
// status.
int RunDesktop(QApplication& app, const DesktopOptions& options);

}  // namespace trakvio
