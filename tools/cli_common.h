// Pieces every trakvio-cli command shares: reading the configuration the way
// the program does, setting up the track store, loading paths in order and
// reporting problems on stderr.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "store/track_store.h"

namespace trakvio::cli {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;
constexpr const char* kProgram = "trakvio-cli";

// Every path given is made absolute before it is read, so that what is
// printed and remembered names the file wherever it is used later.
std::filesystem::path Absolute(const std::filesystem::path& path);

// Any bytes as valid UTF-8 (bad sequences become U+FFFD).
std::string ValidUtf8(std::string_view bytes);

// "trakvio-cli: PATH: problem" on stderr.
void PrintFileProblem(const std::filesystem::path& path, std::string_view problem);

// Reads the configuration named by --ini (hasIni) or the user's own (created
// from the template beside the program when it is not there yet) and loads
// the geoid model it names. Returns 0, or kExitFailure when the file named by
// --ini could not be read.
int ReadCliSettings(bool hasIni, const std::filesystem::path& ini, Settings& settings);

// Creates the store with the configured capacities and default line style.
// Returns 0, or kExitFailure after saying why on stderr.
int SetUpCliStore(TrackStore& store, const Settings& settings);

// Loads every path in order; results gets one load result per path. Returns
// 0 when all were loaded, else the last non-zero result.
int LoadAll(TrackStore& store, Settings& settings, const std::vector<std::filesystem::path>& paths,
            std::vector<int>& results);

// The commands that live in their own files; argv[1] is the command name.
int RunExportCommand(int argc, char** argv);
int RunGraphCommand(int argc, char** argv);
int RunScriptCommand(int argc, char** argv);

// Prints the track list as "info" does; returns 0 or kExitFailure.
using TrackListPrinter = int (*)(const TrackStore& store);
// "mtk download", "mtk erase", "capture" and "ports".
int RunDeviceCommand(int argc, char** argv, TrackListPrinter print);

}  // namespace trakvio::cli
