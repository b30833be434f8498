#include "app/system_info.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "app/qt_text.h"
#include "platform/messages.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

constexpr double kMillimetresPerInch = 25.4;
constexpr int kDesktopQueryMilliseconds = 1000;
// cpuinfo of a machine with hundreds of cores is large; the processor's name
// is in its first lines.
constexpr size_t kLongestFileRead = 1 << 20;

__attribute__((format(printf, 2, 3))) void AppendFormat(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data() + at, static_cast<size_t>(n) + 1, format, again);
        out.resize(at + static_cast<size_t>(n));
    }
    va_end(again);
}

std::string Trim(std::string_view text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

// The lines of a text file (at most kLongestFileRead bytes); empty when it
// cannot be read.
std::vector<std::string> ReadLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    size_t read = 0;
    std::string line;
    while (read < kLongestFileRead && std::getline(in, line)) {
        read += line.size() + 1;
        lines.push_back(line);
    }
    return lines;
}

// First line of a file, trimmed; kNotAvailable when missing or blank.
std::string FirstLine(const fs::path& path) {
    std::vector<std::string> lines = ReadLines(path);
    std::string value = lines.empty() ? std::string() : Trim(lines.front());
    return value.empty() ? kNotAvailable : value;
}

// A value of os-release: plain, or in double or single quotes with the
// shell's backslash escapes.
std::string Unquote(std::string_view value) {
    if (value.empty() || (value.front() != '"' && value.front() != '\'')) return Trim(value);
    const char quote = value.front();
    std::string out;
    for (size_t i = 1; i < value.size() && value[i] != quote; ++i) {
        if (quote == '"' && value[i] == '\\' && i + 1 < value.size()) ++i;
        out += value[i];
    }
    return out;
}

// The value of `key` in an os-release file, or "".
std::string OsReleaseValue(const std::vector<std::string>& lines, std::string_view key) {
    for (const std::string& line : lines) {
        std::string_view view(line);
        if (view.size() > key.size() && view.substr(0, key.size()) == key && view[key.size()] == '=') {
            return Unquote(view.substr(key.size() + 1));
        }
    }
    return {};
}

std::string ProcessorName(const fs::path& cpuinfo) {
    const std::vector<std::string> lines = ReadLines(cpuinfo);
    // x86 names the model; ARM, MIPS and PowerPC kernels use other fields.
    for (std::string_view key : {"model name", "Processor", "cpu model", "Hardware", "cpu"}) {
        for (const std::string& line : lines) {
            const size_t colon = line.find(':');
            if (colon == std::string::npos || Trim(std::string_view(line).substr(0, colon)) != key) continue;
            std::string value = Trim(std::string_view(line).substr(colon + 1));
            if (!value.empty()) return value;
        }
    }
    return kNotAvailable;
}

// Over the modes of every connected display output, the last mode at least as
// wide and as high as the one kept so far.
void LargestMode(const fs::path& drm, int& width, int& height) {
    std::error_code error;
    std::vector<fs::path> outputs;
    for (fs::directory_iterator it(drm, error), end; !error && it != end; it.increment(error)) {
        outputs.push_back(it->path());
    }
    std::sort(outputs.begin(), outputs.end());
    int keptWidth = 0, keptHeight = 0;
    for (const fs::path& output : outputs) {
        if (FirstLine(output / "status") != "connected") continue;
        for (const std::string& mode : ReadLines(output / "modes")) {
            int w = 0, h = 0;
            if (std::sscanf(mode.c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) continue;
            if (w >= keptWidth && h >= keptHeight) {
                keptWidth = w;
                keptHeight = h;
            }
        }
    }
    if (keptWidth > 0) {
        width = keptWidth;
        height = keptHeight;
    }
}

// The default application of `mime` in a mimeapps.list file, or "".
std::string MimeAppsDefault(const fs::path& path, std::string_view mime) {
    bool inDefaults = false;
    for (const std::string& raw : ReadLines(path)) {
        const std::string line = Trim(raw);
        if (!line.empty() && line.front() == '[') {
            inDefaults = line == "[Default Applications]";
            continue;
        }
        if (!inDefaults || line.size() <= mime.size() || line.compare(0, mime.size(), mime) != 0) continue;
        std::string_view rest = std::string_view(line).substr(mime.size());
        rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
        if (rest.empty() || rest.front() != '=') continue;
        rest.remove_prefix(1);
        return Trim(rest.substr(0, rest.find(';')));  // the first of the list
    }
    return {};
}

std::string FirstMimeAppsDefault(const std::vector<fs::path>& files, std::string_view mime) {
    for (const fs::path& file : files) {
        std::string value = MimeAppsDefault(file, mime);
        if (!value.empty()) return value;
    }
    return kNotAvailable;
}

// What `xdg-mime query default <mime>` answers; kNotAvailable when the tool
// is missing, fails, takes too long or knows no application.
std::string DesktopDefault(const QString& mime) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mime});
    if (!process.waitForStarted(kDesktopQueryMilliseconds)) return kNotAvailable;
    if (!process.waitForFinished(kDesktopQueryMilliseconds)) {
        process.kill();
        process.waitForFinished(kDesktopQueryMilliseconds);
        return kNotAvailable;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return kNotAvailable;
    std::string answer = Trim(process.readAllStandardOutput().left(4096).toStdString());
    answer = answer.substr(0, answer.find('\n'));
    return answer.empty() ? kNotAvailable : answer;
}

std::string UserName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name &&
        *found->pw_name) {
        return found->pw_name;
    }
    const char* user = std::getenv("USER");
    return user && *user ? user : kNotAvailable;
}

std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !*name) return kNotAvailable;
    return name;
}

int Scaled(double logical, double ratio) { return static_cast<int>(std::lround(logical * ratio)); }

// Sizes of the primary screen in device pixels, as a user reads them in the
// display settings.
void ReadScreen(SystemInfoValues& values) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const double ratio = screen->devicePixelRatio();
    const QRect geometry = screen->geometry();
    const QRect work = screen->availableGeometry();
    values.screenWidth = values.pixelWidth = Scaled(geometry.width(), ratio);
    values.screenHeight = values.pixelHeight = Scaled(geometry.height(), ratio);
    values.workWidth = Scaled(work.width(), ratio);
    values.workHeight = Scaled(work.height(), ratio);
    values.mmWidth = static_cast<int>(std::lround(screen->physicalSize().width()));
    values.mmHeight = static_cast<int>(std::lround(screen->physicalSize().height()));
    values.logicalDpiX = Scaled(screen->logicalDotsPerInchX(), ratio);
    values.logicalDpiY = Scaled(screen->logicalDotsPerInchY(), ratio);
}

double PerInch(int pixels, int millimetres) {
    return millimetres > 0 ? pixels / static_cast<double>(millimetres) * kMillimetresPerInch : 0.0;
}

}  // namespace

void ReadSystemFiles(const fs::path& root, SystemInfoValues& values) {
    std::vector<std::string> osRelease = ReadLines(root / "etc/os-release");
    if (osRelease.empty()) osRelease = ReadLines(root / "usr/lib/os-release");
    const std::string versionId = OsReleaseValue(osRelease, "VERSION_ID");
    if (!versionId.empty()) values.osVersion = versionId.find('.') == std::string::npos ? versionId + ".0" : versionId;
    std::string edition = OsReleaseValue(osRelease, "PRETTY_NAME");
    if (edition.empty()) edition = OsReleaseValue(osRelease, "NAME");
    if (!edition.empty()) values.edition = edition;
    const std::string release = OsReleaseValue(osRelease, "VERSION");
    if (!release.empty()) values.release = release;

    values.maker = FirstLine(root / "sys/class/dmi/id/sys_vendor");
    values.model = FirstLine(root / "sys/class/dmi/id/product_name");
    values.processor = ProcessorName(root / "proc/cpuinfo");
    LargestMode(root / "sys/class/drm", values.largestWidth, values.largestHeight);
    values.mailSystem = FirstMimeAppsDefault(
        {root / "etc/xdg/mimeapps.list", root / "usr/share/applications/mimeapps.list"}, "x-scheme-handler/mailto");
}

std::string FormatSystemInformation(const SystemInfoValues& v) {
    const double dpiX = PerInch(v.pixelWidth, v.mmWidth);
    const double dpiY = PerInch(v.pixelHeight, v.mmHeight);
    const double inches =
        std::hypot(static_cast<double>(v.mmWidth), static_cast<double>(v.mmHeight)) / kMillimetresPerInch;
    std::string out = "[System Information]\n";
    AppendFormat(out, "OS version/build: %s/%s\n", v.osVersion.c_str(), v.build.c_str());
    AppendFormat(out, "Edition: %s %dbit\n", v.edition.c_str(), v.bitness);
    AppendFormat(out, "Version: %s\n", v.release.c_str());
    AppendFormat(out, "PCmake: %s\n", v.maker.c_str());
    AppendFormat(out, "PCmodel: %s\n", v.model.c_str());
    AppendFormat(out, "CPU: %s\n", v.processor.c_str());
    AppendFormat(out, "Screen: %dx%d (%dx%d)\n", v.screenWidth, v.screenHeight, v.largestWidth, v.largestHeight);
    AppendFormat(out, "WorkArea: %dx%d\n", v.workWidth, v.workHeight);
    AppendFormat(out, "Display Size(px): %dx%d\n", v.pixelWidth, v.pixelHeight);
    AppendFormat(out, "Display Size(mm): %dx%d (%5.1finch)\n", v.mmWidth, v.mmHeight, inches);
    AppendFormat(out, "Physical DPI: %5.1f %5.1f\n", dpiX, dpiY);
    AppendFormat(out, "Logical DPI: %d %d\n", v.logicalDpiX, v.logicalDpiY);
    AppendFormat(out, "Mail client\n  HKCU: %s\n  HKLM: %s\n", v.mailUser.c_str(), v.mailSystem.c_str());
    AppendFormat(out, "mailto: %s\n", v.mailto.c_str());
    AppendFormat(out, ".txt: %s\n", v.textEditor.c_str());
    AppendFormat(out, "PCname: %s\n", v.computerName.c_str());
    AppendFormat(out, "User: %s\n", v.userName.c_str());
    return out;
}

namespace {

// Everything but the desktop's default applications, which take a process each.
SystemInfoValues GatherLocalValues(const fs::path& root) {
    SystemInfoValues values;
    values.bitness = static_cast<int>(sizeof(void*) * 8);
    utsname names{};
    if (uname(&names) == 0 && names.release[0]) values.build = names.release;
    ReadScreen(values);
    ReadSystemFiles(root, values);
    if (values.largestWidth == 0) {
        // Without the kernel's mode lists the current mode is the one known.
        values.largestWidth = values.screenWidth;
        values.largestHeight = values.screenHeight;
    }
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    fs::path userConfig;
    if (configHome && *configHome) {
        userConfig = configHome;
    } else if (home && *home) {
        userConfig = fs::path(home) / ".config";
    }
    if (!userConfig.empty()) {
        values.mailUser = FirstMimeAppsDefault({userConfig / "mimeapps.list"}, "x-scheme-handler/mailto");
    }
    values.computerName = ComputerName();
    values.userName = UserName();
    return values;
}

const QString kMailtoMime = QStringLiteral("x-scheme-handler/mailto");
const QString kTextMime = QStringLiteral("text/plain");

}  // namespace

std::string GatherSystemInformation(const fs::path& root) {
    SystemInfoValues values = GatherLocalValues(root);
    values.mailto = DesktopDefault(kMailtoMime);
    values.textEditor = DesktopDefault(kTextMime);
    return FormatSystemInformation(values);
}

void GatherSystemInformationLater(QObject* context, std::function<void(const std::string&)> done,
                                  const fs::path& root) {
    struct Gathering {
        SystemInfoValues values;
        std::function<void(const std::string&)> done;
        int waiting = 2;
    };
    auto gathering = std::make_shared<Gathering>();
    gathering->values = GatherLocalValues(root);
    gathering->done = std::move(done);
    const std::pair<QString, std::string*> queries[] = {{kMailtoMime, &gathering->values.mailto},
                                                        {kTextMime, &gathering->values.textEditor}};
    for (const auto& [mime, answer] : queries) {
        auto* process = new QProcess(context);
        auto settled = std::make_shared<bool>(false);
        auto settle = [gathering, process, settled, answer = answer,
                       alive = QPointer<QObject>(context)](bool answered) {
            // Nothing is reported once the context is being destroyed.
            if (*settled || !alive) return;
            *settled = true;
            if (answered) {
                std::string text = Trim(process->readAllStandardOutput().left(4096).toStdString());
                text = text.substr(0, text.find('\n'));
                if (!text.empty()) *answer = text;
            }
            process->deleteLater();
            if (--gathering->waiting == 0 && gathering->done)
                gathering->done(FormatSystemInformation(gathering->values));
        };
        QObject::connect(process, &QProcess::finished, process, [settle](int code, QProcess::ExitStatus status) {
            settle(status == QProcess::NormalExit && code == 0);
        });
        QObject::connect(process, &QProcess::errorOccurred, process, [settle](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) settle(false);
        });
        // A desktop tool that hangs is given up.
        QTimer::singleShot(kDesktopQueryMilliseconds, process, [process] { process->kill(); });
        process->start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mime});
    }
}

void ShowSystemInformation(const std::string& report) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(QStringFromUtf8(report));
    }
    ShowMessage(report, "System Information", MessageButtons::kOk, kAnswerOk, MessageIcon::kNone);
}

}  // namespace trakvio
