// Configuration file: locates the per-user Trakvio.ini (creating it from the
// _Trakvio.ini template beside the program), reads every key into Settings,
// applies the folder rules, and writes the folder, file-name and API-key
// lines back. Reading never fails loudly: unknown keys and malformed lines
// are skipped and the defaults stand.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "config/settings.h"

namespace trakvio {

// Finds the per-user folder (creating it) and the configuration path in it;
// when the file does not exist it is created from templatePath. Returns 0
// when the configuration file exists afterwards, 1 otherwise.
int LocateConfiguration(const std::filesystem::path& userFolder, const std::filesystem::path& templatePath,
                        std::filesystem::path& configPath);

// Copies the template to configPath, replacing the TileCacheFolder= and
// WorkFolder= lines with the chosen folders (the per-user "cache" and
// "q9work" folders, created here, unless the user browses to another).
// Returns 0 when done, 1 when the template cannot be opened, 2 when the
// configuration cannot be created, 3 when writing it failed (nothing is left
// behind then).
int CreateConfigurationFromTemplate(const std::filesystem::path& templatePath, const std::filesystem::path& configPath,
                                    const std::filesystem::path& userFolder);

// Reads the configuration file into settings and applies the folder rules
// (settings.userFolder should be set; UserDataFolder() stands in when it is
// empty). Returns 0 when the file was read, 1 when it could not be opened
// (the defaults and the per-user folders then stand). What the reader found
// wrong (capacities cut to their largest values) is shown in one message
// naming the file.
int ReadConfiguration(const std::filesystem::path& configPath, Settings& settings);

// Reads configuration text (as if it were the file) into settings, without
// the folder rules. Used by ReadConfiguration and by tests and fuzzing.
// A currentfolder line sets settings.currentFolder, the folder relative
// names resolve against from then on (the process's current directory is
// never changed; before any currentfolder line relative names resolve
// against the directory the program was started in).
void ReadConfigurationText(std::string_view text, Settings& settings);

// Shows settings.configProblems, if any, in one message naming configPath,
// and clears them.
void ReportConfigurationProblems(const std::filesystem::path& configPath, Settings& settings);

// The folder rules, first for the work folder (name "q9work"), then for the
// tile cache folder (name "cache"): an existing configured folder is made
// absolute (a relative one against settings.currentFolder, or the directory
// the program was started in when that is empty) and gets the name appended
// unless its last component already is the name (ignoring case); an empty or
// missing one becomes the per-user folder followed by the name; the result is
// created (one level) when missing. Creation failures are not reported.
void ApplyFolderRules(Configuration& settings);

// Rewrites the folder, remembered-file and API-key lines (matched with exact
// case at the start of a line; missing lines are not added). The new file is
// written beside the old one as "<name>_new.ini" and renamed over it, so the
// old file survives any failure. Returns 0 when done, 1 when the file cannot
// be opened, 2 when the new file cannot be created, 3 when writing it failed,
// 4 when the rename failed. Only Configuration values are written: run-time
// state (a key a script set, ...) never reaches the file.
int WriteBackConfiguration(const std::filesystem::path& configPath, const Configuration& settings);

// "2023-01-01 09:00:00", "2023/01/01T09:00:00" or "20230101_090000", taken
// as local standard time; 0 for a shorter text.
int64_t ParseDateTime(std::string_view text);

// Sets the KML start time and step from a kmltimedefault value.
void SetKmlTimeDefault(std::string_view value, Configuration& settings);

}  // namespace trakvio
