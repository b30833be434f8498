#include "test_support.h"

#include <dlfcn.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace trakvio::test {

ScratchFolder::ScratchFolder() {
    static std::atomic<int> counter{0};
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("trakvio-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (std::filesystem::create_directory(path_, ec)) break;
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::filesystem::path SamplesDir() {
    std::filesystem::path dir = TRAKVIO_SAMPLES_DIR;
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_directory(dir / "gpx", ec)) return {};
    return dir;
}

std::filesystem::path SourceDir() { return TRAKVIO_SOURCE_DIR; }

ScopedTimeZone::ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) {
        had_ = true;
        old_ = old;
    }
    setenv("TZ", tz, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (had_) {
        setenv("TZ", old_.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

MessageCatcher::MessageCatcher(int answer) : answer_(answer) { SetMessageHandler(&MessageCatcher::Handle, this); }

MessageCatcher::~MessageCatcher() { SetMessageHandler(nullptr, nullptr); }

bool MessageCatcher::Saw(std::string_view fragment) const {
    for (const auto& m : messages_) {
        if (m.text.find(fragment) != std::string::npos || m.title.find(fragment) != std::string::npos) return true;
    }
    return false;
}

int MessageCatcher::Handle(void* context, std::string_view text, std::string_view title, MessageButtons buttons,
                           int defaultAnswer, MessageIcon) {
    auto* self = static_cast<MessageCatcher*>(context);
    self->messages_.push_back({std::string(text), std::string(title), buttons});
    return self->answer_ >= 0 ? self->answer_ : defaultAnswer;
}

int RunCommand(const std::string& command, std::string* out, std::string* err) {
    std::string full = command;
    ScratchFolder scratch;
    auto errPath = scratch / "stderr";
    full += " 2>'" + errPath.string() + "'";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe) return -1;
    std::string data;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) data.append(buffer, n);
    int status = pclose(pipe);
    if (out) *out = std::move(data);
    if (err) *err = ReadFile(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ExecuteSql(const std::filesystem::path& database, const std::string& sql) {
    using OpenFunction = int (*)(const char*, void**);
    using ExecFunction = int (*)(void*, const char*, void*, void*, char**);
    using CloseFunction = int (*)(void*);
    using FreeFunction = void (*)(void*);
    static void* library = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return "libsqlite3.so.0 is not installed";
    auto open = reinterpret_cast<OpenFunction>(dlsym(library, "sqlite3_open"));
    auto exec = reinterpret_cast<ExecFunction>(dlsym(library, "sqlite3_exec"));
    auto close = reinterpret_cast<CloseFunction>(dlsym(library, "sqlite3_close"));
    auto release = reinterpret_cast<FreeFunction>(dlsym(library, "sqlite3_free"));
    void* db = nullptr;
    if (open(database.string().c_str(), &db) != 0) {
        close(db);
        return "cannot open " + database.string();
    }
    char* error = nullptr;
    std::string message;
    // Fixtures need no durability; without syncs they are made in no time.
    exec(db, "pragma synchronous = off; pragma journal_mode = memory;", nullptr, nullptr, nullptr);
    if (exec(db, sql.c_str(), nullptr, nullptr, &error) != 0) {
        message = error != nullptr ? error : "failed";
        release(error);
    }
    close(db);
    return message;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ChromiumPath() {
    if (const char* program = std::getenv("TRAKVIO_CHROMIUM"); program && *program) {
        return std::filesystem::exists(program) ? program : "";
    }
    std::string found;
    if (RunCommand("command -v chromium", &found) != 0) return "";
    while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
    return found;
}

}  // namespace trakvio::test
