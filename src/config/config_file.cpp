// The configuration file on disk: locating it, creating it from the template,
// reading it with the folder rules, and writing the remembered lines back.
#include "config/config_file.h"

#include <cstdio>
#include <system_error>

#include "config/config_values.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/regular_file.h"
#include "platform/utf.h"

namespace trakvio {

namespace {

// Files are copied in pieces of at most this many bytes, line feed included.
constexpr size_t kPieceRoom = 1023;

constexpr std::string_view kTileCachePrompt =
    "タイルキャッシュフォルダを指定してください\n（既定のフォルダでよい場合は［キャンセル］を選択）";
constexpr std::string_view kWorkFolderPrompt =
    "作業フォルダを指定してください\n（既定のフォルダでよい場合は［キャンセル］を選択）";

// Reads a whole regular file (a configuration is small: more than 16 MiB is
// refused). Returns false when it cannot be opened or read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
    return ReadRegularFile(path, bytes, uint64_t{16} << 20) == kFileRead;
}

// Splits bytes into the pieces a line-by-line copy sees: at most kPieceRoom
// bytes, ending after a line feed when one comes within them.
class PieceReader {
  public:
    explicit PieceReader(std::string_view bytes) : bytes_(bytes) {}
    bool Next(std::string_view& piece) {
        if (pos_ >= bytes_.size()) return false;
        piece = bytes_.substr(pos_, kPieceRoom);
        size_t lineFeed = piece.find('\n');
        if (lineFeed != std::string_view::npos) piece = piece.substr(0, lineFeed + 1);
        pos_ += piece.size();
        return true;
    }
    // Skips what is left of a line whose first piece had no line feed.
    void SkipRestOfLine(std::string_view piece) {
        if (!piece.empty() && piece.back() == '\n') return;
        size_t lineFeed = bytes_.find('\n', pos_);
        pos_ = lineFeed == std::string_view::npos ? bytes_.size() : lineFeed + 1;
    }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// A folder for the template: the per-user default (created), unless the user
// browses to another whose path fits.
std::filesystem::path ChooseFolder(const std::filesystem::path& defaultFolder, std::string_view prompt) {
    std::error_code ec;
    std::filesystem::create_directories(defaultFolder, ec);
    std::filesystem::path chosen = BrowseForFolder(prompt, defaultFolder);
    if (!chosen.empty() && Utf8ToUtf16(chosen.string()).size() < kMaxPathUnits + 1) return chosen;
    return defaultFolder;
}

// Writes bytes to path in one go. Returns 0, 2 when the file cannot be
// created, 3 when writing failed (the partial file is removed).
int WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 2;
    bool failed = std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size();
    failed = std::fclose(file) != 0 || failed;
    if (failed) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return 3;
    }
    return 0;
}

std::string QuotedLine(std::string_view prefix, std::string_view value) {
    std::string line(prefix);
    line += '"';
    line += value;
    line += "\"\n";
    return line;
}

// A remembered path as written back: quoted, or nothing when empty.
std::string PathLine(std::string_view prefix, const std::filesystem::path& path) {
    if (path.empty()) return std::string(prefix) + "\n";
    return QuotedLine(prefix, path.string());
}

void ApplyFolderRule(std::filesystem::path& folder, const std::filesystem::path& baseFolder,
                     const std::filesystem::path& userFolder, std::string_view name) {
    std::error_code ec;
    // Relative to the configured current folder; without one, to the
    // directory the program was started in.
    if (folder.is_relative() && !folder.empty() && !baseFolder.empty()) folder = baseFolder / folder;
    if (!folder.empty() && std::filesystem::is_directory(folder, ec)) {
        if (folder.is_relative()) {
            std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
            if (!ec) folder = absolute;
        }
        // A trailing '/' or "." names the same folder; compare its real last part.
        folder = folder.lexically_normal();
        if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
        if (!EqualsIgnoreCase(folder.filename().string(), name)) folder /= std::string(name);
    } else {
        folder = userFolder / std::string(name);
    }
    // The per-user folder itself may not exist yet (a configuration named on
    // the command line on a fresh account).
    if (!std::filesystem::exists(folder, ec)) std::filesystem::create_directories(folder, ec);
}

}  // namespace

int LocateConfiguration(const std::filesystem::path& userFolder, const std::filesystem::path& templatePath,
                        std::filesystem::path& configPath) {
    std::error_code ec;
    std::filesystem::create_directories(userFolder, ec);
    configPath = userFolder / "Trakvio.ini";
    if (!std::filesystem::exists(configPath, ec)) {
        CreateConfigurationFromTemplate(templatePath, configPath, userFolder);
    }
    return std::filesystem::exists(configPath, ec) ? 0 : 1;
}

int CreateConfigurationFromTemplate(const std::filesystem::path& templatePath, const std::filesystem::path& configPath,
                                    const std::filesystem::path& userFolder) {
    std::string bytes;
    if (!ReadWholeFile(templatePath, bytes)) return 1;
    std::string out;
    out.reserve(bytes.size() + 1024);
    PieceReader reader(bytes);
    std::string_view piece;
    while (reader.Next(piece)) {
        if (StartsWith(piece, "TileCacheFolder=")) {
            std::filesystem::path folder = ChooseFolder(userFolder / "cache", kTileCachePrompt);
            out += QuotedLine("TileCacheFolder=", folder.string());
            reader.SkipRestOfLine(piece);
        } else if (StartsWith(piece, "WorkFolder=")) {
            std::filesystem::path folder = ChooseFolder(userFolder / "q9work", kWorkFolderPrompt);
            out += QuotedLine("WorkFolder=", folder.string());
            reader.SkipRestOfLine(piece);
        } else {
            out += piece;
        }
    }
    return WriteWholeFile(configPath, out);
}

void ReportConfigurationProblems(const std::filesystem::path& configPath, Settings& settings) {
    if (settings.configProblems.empty()) return;
    std::string text;
    for (const std::string& problem : settings.configProblems) text += problem + ".\n";
    settings.configProblems.clear();
    ShowMessage(text + configPath.string(), "Trakvio.ini", MessageButtons::kOk, kAnswerOk, MessageIcon::kWarning);
}

int ReadConfiguration(const std::filesystem::path& configPath, Settings& settings) {
    std::string bytes;
    bool opened = ReadWholeFile(configPath, bytes);
    // Without a file this only resets the defaults a read always resets.
    ReadConfigurationText(opened ? std::string_view(bytes) : std::string_view(), settings);
    ReportConfigurationProblems(configPath, settings);
    ApplyFolderRules(settings);
    return opened ? 0 : 1;
}

void ApplyFolderRules(Configuration& settings) {
    std::filesystem::path userFolder = settings.userFolder.empty() ? UserDataFolder() : settings.userFolder;
    ApplyFolderRule(settings.workFolder, settings.currentFolder, userFolder, "q9work");
    ApplyFolderRule(settings.tileCacheFolder, settings.currentFolder, userFolder, "cache");
}

int WriteBackConfiguration(const std::filesystem::path& configPath, const Configuration& settings) {
    std::string bytes;
    if (!ReadWholeFile(configPath, bytes)) return 1;

    struct Remembered {
        std::string_view prefix;
        const std::filesystem::path* path;
    };
    const Remembered remembered[] = {
        {"TileCacheFolder=", &settings.tileCacheFolder},
        {"WorkFolder=", &settings.workFolder},
        {"GpsLogDataFile=", &settings.gpsLogDataFile},
        {"Q9ArchiveFile=", &settings.q9ArchiveFile},
        {"ScriptFile=", &settings.scriptFile},
        {"MtkBinFile=", &settings.mtkBinFile},
        {"HtmlLeafletFile=", &settings.htmlLeafletFile},
        {"HtmlGmapFile=", &settings.htmlGmapFile},
        {"KmlSaveFile=", &settings.kmlSaveFile},
        {"SvgFile=", &settings.svgFile},
        {"EmfFile=", &settings.emfFile},
    };
    constexpr std::string_view kApiKeyPrefix = "GMapAPIkey=";

    std::string out;
    out.reserve(bytes.size() + 1024);
    PieceReader reader(bytes);
    std::string_view piece;
    while (reader.Next(piece)) {
        bool replaced = false;
        for (const auto& entry : remembered) {
            if (StartsWith(piece, entry.prefix)) {
                out += PathLine(entry.prefix, *entry.path);
                replaced = true;
                break;
            }
        }
        if (!replaced && StartsWith(piece, kApiKeyPrefix)) {
            out += QuotedLine(kApiKeyPrefix, settings.gmapapikey);
            replaced = true;
        }
        if (replaced) {
            reader.SkipRestOfLine(piece);
        } else {
            out += piece;
        }
    }

    std::filesystem::path newPath = configPath.parent_path() / (configPath.stem().string() + "_new.ini");
    int result = WriteWholeFile(newPath, out);
    if (result != 0) return result;
    // rename replaces the old file in one step, so there is never a moment
    // without a configuration file.
    std::error_code ec;
    std::filesystem::rename(newPath, configPath, ec);
    if (ec) {
        std::filesystem::remove(newPath, ec);
        return 4;
    }
    return 0;
}

}  // namespace trakvio
