// Helpers shared by the tests: scratch folders, files, the sample logs, the
// time zone, and a message catcher that records what the user would be told.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/messages.h"

namespace trakvio::test {

// A fresh, empty folder under the system's temporary folder, removed at exit
// of the object.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / std::string(name); }

private:
    std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& path);

// The folder of real sample logs, or an empty path when it is not there.
std::filesystem::path SamplesDir();
// Skips the current test when the sample logs are not there.
#define TRAKVIO_REQUIRE_SAMPLES()                                         \
    do {                                                                  \
        if (::trakvio::test::SamplesDir().empty()) GTEST_SKIP() << "no sample logs"; \
    } while (0)

std::filesystem::path SourceDir();

// Sets TZ for the life of the object and restores it afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();

private:
    std::string old_;
    bool had_ = false;
};

// Records every message shown while it lives and answers with answer.
class MessageCatcher {
public:
    struct Message {
        std::string text;
        std::string title;
        MessageButtons buttons;
    };
    explicit MessageCatcher(int answer = -1);  // -1: the caller's default
    ~MessageCatcher();
    const std::vector<Message>& messages() const { return messages_; }
    bool Saw(std::string_view fragment) const;

private:
    static int Handle(void* context, std::string_view text, std::string_view title, MessageButtons buttons,
                      int defaultAnswer, MessageIcon icon);
    std::vector<Message> messages_;
    int answer_;
};

// Runs a command through the shell; returns its exit status and fills out
// with what it wrote to stdout (and err with stderr when given).
int RunCommand(const std::string& command, std::string* out, std::string* err = nullptr);

// text as one word of a POSIX shell command line (single-quoted).
std::string ShellQuote(const std::string& text);

// The headless Chromium to run: TRAKVIO_CHROMIUM, else "chromium" on the
// PATH; empty when there is none.
std::string ChromiumPath();

// Runs SQL statements on a database file (created when missing) through the
// system's SQLite library. Returns an empty string when done, else SQLite's
// error message.
std::string ExecuteSql(const std::filesystem::path& database, const std::string& sql);

}  // namespace trakvio::test
