// Runs the built trakvio-cli for the end-to-end tests: from a chosen folder,
// with its own per-user data folder and TZ=UTC.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "test_support.h"

namespace trakvio::test {

// The exit status of `trakvio-cli args` (args already quoted) run in folder.
inline int RunCli(const std::filesystem::path& folder, const std::filesystem::path& data, const std::string& args,
                  std::string* out, std::string* err) {
    return RunCommand("cd " + ShellQuote(folder.string()) + " && env XDG_DATA_HOME=" + ShellQuote(data.string()) +
                          " TZ=UTC " + ShellQuote(TRAKVIO_CLI_PATH) + " " + args,
                      out, err);
}

// A scratch folder holding the program's per-user folder "data", the folder
// "work" it is run from, and "elsewhere" for the folders a configuration names.
class CliTest : public ::testing::Test {
  protected:
    CliTest() {
        for (const char* folder : {"data", "elsewhere", "work"}) std::filesystem::create_directory(scratch_ / folder);
    }
    std::filesystem::path Work(std::string_view name) const { return scratch_ / "work" / std::string(name); }
    int Run(const std::string& args, std::string* out, std::string* err) {
        return RunCli(scratch_ / "work", scratch_ / "data", args, out, err);
    }

    ScratchFolder scratch_;
};

}  // namespace trakvio::test
