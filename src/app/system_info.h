// System information report: operating system, machine, processor, screen
// and the desktop's default applications, as lines of text that the Help
// menu shows and puts on the clipboard.
#pragma once

#include <filesystem>
#include <string>

namespace trakvio {

// Gathers the report. `root` is the file system root the system files are
// read under ("/" except in tests).
std::string GatherSystemInformation(const std::filesystem::path& root = "/");

// Shows the report in a message box and puts it on the clipboard.
void ShowSystemInformation(const std::string& report);

}  // namespace trakvio
