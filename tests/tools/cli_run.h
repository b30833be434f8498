// Runs the built trakvio-cli for the end-to-end tests: from a chosen folder,
// with its own per-user data folder and TZ=UTC.
#pragma once

#include <filesystem>
#include <string>

#include "test_support.h"

namespace trakvio::test {

// The exit status of `trakvio-cli args` (args already quoted) run in folder.
inline int RunCli(const std::filesystem::path& folder, const std::filesystem::path& data, const std::string& args,
                  std::string* out, std::string* err) {
    return RunCommand("cd " + ShellQuote(folder.string()) + " && env XDG_DATA_HOME=" + ShellQuote(data.string()) +
                          " TZ=UTC " + ShellQuote(TRAKVIO_CLI_PATH) + " " + args,
                      out, err);
}

}  // namespace trakvio::test
