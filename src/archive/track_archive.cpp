#include "archive/track_archive.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <ctime>
#include <string>
#include <system_error>
#include <vector>

#include "archive/property_file.h"
#include "archive/zip_files.h"
#include "platform/ascii_text.h"
#include "platform/folders.h"
#include "platform/local_time.h"
#include "platform/messages.h"
#include "readers/itm_reader.h"
#include "readers/log_loader.h"
#include "readers/mtk_reader.h"
#include "readers/text_scan.h"

namespace trakvio {

namespace fs = std::filesystem;

namespace {

// The text after the last '.' of a name ("" when there is none).
std::string_view Extension(std::string_view name) {
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

bool HasExtension(std::string_view name, std::string_view extension) {
    return EqualsIgnoreCase(Extension(name), extension);
}

// The time extraction gave a file: the entry's time, kept as the file's
// modification time (a file's birth time cannot be set here).
int64_t ExtractedFileTime(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return static_cast<int64_t>(info.st_mtim.tv_sec);
}

// Time of the first fix in an ITM database (seconds since 1970 UTC); 0 when
// found.
int PoiFirstFixTime(SqliteLibrary& sqlite, const fs::path& poi, int64_t& time) {
    LoadSqliteLibrary(sqlite);
    int64_t fileTime = 0;
    if (ItmFirstFixTime(sqlite, poi, fileTime) != 0 || fileTime < 0) return 1;
    time = UnixTimeFromFileTime(static_cast<uint64_t>(fileTime));
    return 0;
}

// Deletes the files of folder (not its subfolders), except keep.
void EmptyFolder(const fs::path& folder, const fs::path& keep) {
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statusError;
        if (it->symlink_status(statusError).type() == fs::file_type::directory) continue;
        std::error_code same;
        if (fs::equivalent(it->path(), keep, same)) continue;
        doomed.push_back(it->path());
    }
    for (const fs::path& path : doomed) fs::remove(path, ec);
}

bool IsZipFile(const fs::path& path) { return DetectKindByContent(path) == kKindArchive; }

void ReportSkipped(Settings& settings, const fs::path& archive, const std::vector<SkippedEntry>& skipped) {
    if (skipped.empty()) return;
    std::string log, list;
    for (const SkippedEntry& entry : skipped) {
        log += "read_q9z skipped entry " + entry.name + " (" + entry.reason + ") in " + archive.string() + "\n";
        list += entry.name + ": " + entry.reason + "\n";
    }
    AppendArchiveErrorLog(settings, log);
    if (settings.showArchiveErrors != 1) return;
    const std::string text = "アーカイブ \"" + archive.string() + "\" の次のファイルは展開しませんでした\n" + list;
    if (ShowMessage(text, "read_q9z Error", MessageButtons::kOkCancel, kAnswerOk, MessageIcon::kWarning) ==
        kAnswerCancel) {
        settings.showArchiveErrors = 0;
    }
}

// Of several MTK logs, the one whose first record is the latest; the last
// stays chosen when none has a time after 1970.
size_t LatestBin(const fs::path& folder, const std::vector<std::string>& bins) {
    size_t chosen = bins.size() - 1;
    int64_t latest = 0;
    for (size_t i = 0; i < bins.size(); ++i) {
        int64_t first = 0;
        if (MtkFirstTime(folder / bins[i], first) && first > latest) {
            latest = first;
            chosen = i;
        }
    }
    return chosen;
}

// Whether a member's load result is a failure (rather than a file of no
// known kind, which a zip of logs may well carry beside them).
bool MemberFailed(int result) { return result == kLoadReaderError || result == kLoadSqliteMissing; }

// An ITM package: a .poi database and .bin logs. Returns the files loaded;
// failed counts the ones that did not load.
int OpenItmPackage(TrackStore& store, Settings& settings, const fs::path& archive, const fs::path& folder,
                   const std::vector<std::string>& names, int& failed) {
    const std::string* poi = nullptr;
    std::vector<std::string> bins;
    for (const std::string& name : names) {
        if (HasExtension(name, "poi")) poi = &name;
        if (HasExtension(name, "bin")) bins.push_back(name);
    }
    const bool keepBoth = settings.itmKeepBoth == 1;
    const bool readPoi = settings.itmReadPoi != 0;
    int found = 0;
    size_t chosen = bins.empty() ? 0 : bins.size() - 1;
    if ((keepBoth || !readPoi) && bins.size() >= 2) {
        chosen = LatestBin(folder, bins);
        AppendArchiveErrorLog(settings,
                              "ITM multi-bin error " + archive.string() + " (" + std::to_string(bins.size()) + ")\n");
    }
    if ((keepBoth || readPoi) && poi) {
        fs::path poiPath = folder / *poi;
        if (EqualsIgnoreCase(*poi, "ituser.poi")) {
            int64_t firstFix = 0;
            if (PoiFirstFixTime(settings.sqlite, poiPath, firstFix) != 0) firstFix = ExtractedFileTime(poiPath);
            const fs::path renamed = folder / (CompactLocalTime(firstFix) + "_ituser.poi");
            std::error_code ec;
            fs::rename(poiPath, renamed, ec);
            if (!ec) poiPath = renamed;
        }
        if (MemberFailed(ReadLogFile(store, settings, poiPath, {}, readPoi ? 1 : 0))) ++failed;
        ++found;
    }
    if ((keepBoth || !readPoi) && !bins.empty()) {
        if (MemberFailed(ReadLogFile(store, settings, folder / bins[chosen], {}, readPoi ? 0 : 1))) ++failed;
        ++found;
    }
    return found;
}

bool BeginsWithEightDigits(std::string_view name) {
    if (name.size() < 8) return false;
    for (size_t i = 0; i < 8; ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
}

// A KMZ: each .kml, named after its time unless its name begins with a date.
int OpenKmz(TrackStore& store, Settings& settings, const fs::path& folder, const std::vector<std::string>& names,
            int& failed) {
    int found = 0;
    for (const std::string& name : names) {
        if (!HasExtension(name, "kml")) continue;
        fs::path path = folder / name;
        if (!BeginsWithEightDigits(name)) {
            const std::string renamed = CompactLocalTime(ExtractedFileTime(path)) + "_" + name;
            std::error_code ec;
            if (IsSafeEntryName(renamed)) fs::rename(path, folder / renamed, ec);
            if (IsSafeEntryName(renamed) && !ec) path = folder / renamed;
        }
        const int result = ReadLogFile(store, settings, path, {}, 1);
        if (MemberFailed(result)) ++failed;
        if (result != kLoadUnknownKind) ++found;
    }
    return found;
}

// Any other zip: every top-level file that is not an archive itself.
int OpenPlainZip(TrackStore& store, Settings& settings, const fs::path& folder, const std::vector<std::string>& names,
                 int& failed) {
    int found = 0;
    for (const std::string& name : names) {
        if (HasExtension(name, "itm") || HasExtension(name, "q9z") || HasExtension(name, "zip") ||
            HasExtension(name, "kmz")) {
            continue;
        }
        const fs::path path = folder / name;
        if (IsZipFile(path)) continue;
        const int result = ReadLogFile(store, settings, path, {}, 1);
        if (MemberFailed(result)) ++failed;
        if (result != kLoadUnknownKind) ++found;
    }
    return found;
}

}  // namespace

fs::path ArchiveErrorLogPath(const Settings& settings) {
    const fs::path folder = settings.userFolder.empty() ? UserDataFolder() : settings.userFolder;
    return folder / "q9_error_log.txt";
}

void AppendArchiveErrorLog(const Settings& settings, std::string_view text) {
    const fs::path path = ArchiveErrorLogPath(settings);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) return;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

ArchiveResult OpenArchive(TrackStore& store, Settings& settings, const fs::path& path) {
    // A path that is no file cannot be opened, whatever the folder.
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return kArchiveCannotOpen;
    if (settings.workFolder.empty()) return kArchiveNoFolder;
    const fs::path folder = settings.workFolder / "q9zdir";
    if (!fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) return kArchiveNoFolder;
    } else if (store.fileCount == 0) {
        EmptyFolder(folder, path);
    }

    std::vector<std::string> names;
    std::vector<SkippedEntry> skipped;
    if (ExtractArchive(path, folder, names, &skipped) != 0) return kArchiveCannotOpen;
    ReportSkipped(settings, path, skipped);

    const int32_t firstPoint = store.pointCount;
    const int32_t firstTrack = store.trackCount;
    const std::string archiveName = path.filename().string();
    int found = 0;
    int failed = 0;
    const std::string* propertyFile = nullptr;
    for (const std::string& name : names) {
        if (HasExtension(name, "q9t")) {
            propertyFile = &name;
            break;
        }
    }
    if (propertyFile) {
        if (ReadPropertyFile(store, settings, folder / *propertyFile, folder, firstPoint, firstTrack) !=
            kPropertyFileReplayed) {
            ++failed;
        }
        found = 1;
    } else if (HasExtension(archiveName, "itm")) {
        found = OpenItmPackage(store, settings, path, folder, names, failed);
    } else if (!HasExtension(archiveName, "kmz")) {
        found = OpenPlainZip(store, settings, folder, names, failed);
    } else {
        found = OpenKmz(store, settings, folder, names, failed);
    }

    if (found == 0 && settings.showArchiveErrors == 1) {
        const std::string text = "アーカイブ \"" + path.string() + "\" に対象ファイルがありません\n";
        if (ShowMessage(text, "read_q9z Error", MessageButtons::kOkCancel, kAnswerOk, MessageIcon::kError) ==
            kAnswerCancel) {
            settings.showArchiveErrors = 0;
        }
    }
    return found == 0 || failed != 0 || !skipped.empty() ? kArchiveIncomplete : kArchiveOpened;
}

int SaveArchive(const TrackStore& store, const Settings& settings, const fs::path& archivePath) {
    if (store.fileCount == 0 || archivePath.empty()) return 0;
    fs::path propertyName = archivePath.filename();
    propertyName.replace_extension(".q9t");
    const fs::path propertyPath = settings.workFolder / propertyName;
    std::error_code ec;
    fs::create_directories(settings.workFolder, ec);
    const int written = WritePropertyFile(store, propertyPath);

    const size_t files = std::min(static_cast<size_t>(store.fileCount), store.loadedFiles.size());
    std::vector<fs::path> list(store.loadedFiles.begin(), store.loadedFiles.begin() + static_cast<ptrdiff_t>(files));
    if (written == 0) list.push_back(propertyPath);
    const int made = MakeArchiveFromFiles(archivePath, fs::path(), list, 0);
    return written != 0 ? -1 : made;
}

}  // namespace trakvio
