#include "archive/zip_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <system_error>

#include "archive/charset_detect.h"
#include "platform/utf.h"

namespace trakvio {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxNameBytes = 255;
constexpr size_t kCopyBufferSize = 65536;

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A name with '/' that only places a file inside a folder of the archive,
// as opposed to one that climbs out of it or starts at the root.
bool IsFolderMemberName(std::string_view name) {
    if (name.empty() || name.front() == '/') return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t slash = std::min(name.find('/', start), name.size());
        std::string_view part = name.substr(start, slash - start);
        if (part == "." || part == "..") return false;
        start = slash + 1;
    }
    return true;
}

void Skip(std::vector<SkippedEntry>* skipped, const std::string& name, const char* reason) {
    if (skipped) skipped->push_back({name, reason});
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

constexpr const char* kPastTotalLimit = "would take the archive past its extraction limit; extraction stopped";

// What one extraction may still write: the entry limit, and the bytes left of
// the archive's total.
struct ExtractBudget {
    uint64_t maxEntrySize;
    uint64_t remaining;
};

// Copies entry index into a temporary file of destination and renames it to
// name. Returns nullptr when done, else the reason it was not extracted
// (kPastTotalLimit when the archive's total would be exceeded).
const char* ExtractEntry(zip_t* archive, zip_uint64_t index, const fs::path& destination, const std::string& name,
                         ExtractBudget& budget, std::vector<char>& buffer) {
    const uint64_t maxEntrySize = budget.maxEntrySize;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0) return "cannot be read";
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > maxEntrySize) return "too large";
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > budget.remaining) return kPastTotalLimit;

    std::string temporary = (destination / ".q9z-extract-XXXXXX").string();
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) return "cannot be written";
    const char* problem = nullptr;
    uint64_t total = 0;
    zip_file_t* entry = zip_fopen_index(archive, index, 0);
    if (!entry) {
        problem = "cannot be read";
    } else {
        for (;;) {
            zip_int64_t n = zip_fread(entry, buffer.data(), buffer.size());
            if (n < 0) {
                problem = "does not inflate";
                break;
            }
            if (n == 0) break;
            total += static_cast<uint64_t>(n);
            if (total > maxEntrySize) {
                problem = "too large";
                break;
            }
            if (total > budget.remaining) {
                problem = kPastTotalLimit;
                break;
            }
            if (!WriteAll(fd, buffer.data(), static_cast<size_t>(n))) {
                problem = "cannot be written";
                break;
            }
        }
        // Closing checks the CRC of an entry read to its end.
        if (zip_fclose(entry) != 0 && !problem) problem = "does not inflate";
    }
    if (!problem) {
        ::fchmod(fd, 0644);
        if (stat.valid & ZIP_STAT_MTIME) {
            struct timespec times[2];
            times[0].tv_sec = times[1].tv_sec = stat.mtime;
            times[0].tv_nsec = times[1].tv_nsec = 0;
            ::futimens(fd, times);
        }
    }
    if (::close(fd) != 0 && !problem) problem = "cannot be written";
    if (!problem) budget.remaining -= total;
    if (!problem && ::rename(temporary.c_str(), (destination / name).c_str()) != 0) problem = "cannot be written";
    if (problem) ::unlink(temporary.c_str());
    return problem;
}

// The most one open may write for an archive of compressedSize bytes.
uint64_t TotalExtractionLimit(uint64_t compressedSize) {
    const uint64_t byRatio = compressedSize > kMaxArchiveTotalSize / kMaxArchiveExpansion
                                 ? kMaxArchiveTotalSize
                                 : compressedSize * kMaxArchiveExpansion;
    return std::min(kMaxArchiveTotalSize, std::max(byRatio, kArchiveExpansionAllowance));
}

// Extracts the top-level entries. reading, when given, is the archive file
// itself: an entry that would land on it is left out, so that an archive
// opened from the extraction folder is never replaced by its own member.
int ExtractOpened(zip_t* archive, const fs::path& destination, std::vector<std::string>& names,
                  std::vector<SkippedEntry>* skipped, uint64_t maxEntrySize, uint64_t compressedSize,
                  const fs::path* reading) {
    ExtractBudget budget{maxEntrySize, TotalExtractionLimit(compressedSize)};
    std::vector<char> buffer(kCopyBufferSize);
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
        if (!raw) {
            Skip(skipped, "#" + std::to_string(i), "has no readable name");
            continue;
        }
        std::string name(TrimBlanks(DecodeEntryName(raw)));
        if (name.find('/') != std::string::npos && IsFolderMemberName(name)) continue;  // inside a folder
        if (!IsSafeEntryName(name)) {
            Skip(skipped, name, "has a name that is not a plain file name");
            continue;
        }
        std::error_code same;
        if (reading && fs::equivalent(destination / name, *reading, same)) {
            Skip(skipped, name, "has the name of the archive being read");
            continue;
        }
        if (const char* problem = ExtractEntry(archive, index, destination, name, budget, buffer)) {
            Skip(skipped, name, problem);
            if (problem == kPastTotalLimit) break;
            continue;
        }
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return 0;
}

bool MakeFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    return fs::is_directory(folder, ec);
}

// Whether path is a regular file this process can open for reading.
bool IsReadableFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

constexpr zip_uint32_t kDeflateLevel = 1;

// Adds one file under name; returns 0, kZipSourceFailed or kZipAddFailed.
int AddFile(zip_t* archive, const fs::path& path, const std::string& name) {
    if (!IsReadableFile(path)) return kZipSourceFailed;
    zip_source_t* source = zip_source_file(archive, path.c_str(), 0, -1);
    if (!source) return kZipSourceFailed;
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        return kZipAddFailed;
    }
    // Plain deflate at its fastest level: logs are repetitive text, so the
    // archives stay small, and a batch spends its time on the conversions
    // rather than on squeezing out the last fifth of the size.
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, kDeflateLevel);
    return 0;
}

// Writes the archive; returns 0 or the libzip error code.
int CloseArchive(zip_t* archive) {
    if (zip_close(archive) == 0) return 0;
    int code = zip_error_code_zip(zip_get_error(archive));
    zip_discard(archive);
    return code != 0 ? code : ZIP_ER_CLOSE;
}

zip_t* OpenForWriting(const fs::path& archivePath, bool deleteFirst, int& error) {
    std::error_code ec;
    if (deleteFirst) fs::remove(archivePath, ec);
    error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_CREATE, &error);
    if (!archive && error == 0) error = ZIP_ER_OPEN;
    return archive;
}

}  // namespace

std::string ArchiveEntryName(const fs::path& path) {
    std::string valid = Utf16ToUtf8(Utf8ToUtf16(path.filename().string()));
    std::string name;
    name.reserve(valid.size());
    for (char c : valid) {
        if (c == '"') {
            name += "\xEF\xBC\x82";  // FULLWIDTH QUOTATION MARK
        } else if (c == '\\') {
            name += "\xEF\xBC\xBC";  // FULLWIDTH REVERSE SOLIDUS
        } else if (IsControl(static_cast<unsigned char>(c))) {
            name += '_';
        } else {
            name += c;
        }
    }
    name = std::string(TrimBlanks(name));
    name = CutUtf8(name, kMaxNameBytes);
    name = std::string(TrimBlanks(name));
    if (name.empty() || name == "." || name == "..") name = "_";
    return name;
}

bool IsSafeEntryName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes || name == "." || name == "..") return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || IsControl(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

int ExtractArchive(const fs::path& archivePath, const fs::path& destination, std::vector<std::string>& names,
                   std::vector<SkippedEntry>* skipped, uint64_t maxEntrySize) {
    if (!MakeFolder(destination)) return ZIP_ER_OPEN;
    int error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
    if (!archive) return error != 0 ? error : ZIP_ER_OPEN;
    std::error_code ec;
    const uintmax_t compressedSize = fs::file_size(archivePath, ec);
    ExtractOpened(archive, destination, names, skipped, maxEntrySize, ec ? 0 : compressedSize, &archivePath);
    zip_discard(archive);  // read-only: nothing to write back
    return 0;
}

int ExtractArchiveFromMemory(const void* data, size_t size, const fs::path& destination,
                             std::vector<std::string>& names, std::vector<SkippedEntry>* skipped,
                             uint64_t maxEntrySize) {
    if (!MakeFolder(destination)) return ZIP_ER_OPEN;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    int code = zip_error_code_zip(&error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return code != 0 ? code : ZIP_ER_OPEN;
    }
    ExtractOpened(archive, destination, names, skipped, maxEntrySize, size, nullptr);
    zip_discard(archive);
    return 0;
}

int MakeArchiveFromFiles(const fs::path& archivePath, const fs::path& folder, const std::vector<fs::path>& list,
                         int append) {
    int error = 0;
    zip_t* archive = OpenForWriting(archivePath, append == 0, error);
    if (!archive) return error;
    int bits = 0;
    if (list.empty()) {
        bits |= AddFile(archive, folder, ArchiveEntryName(folder));
    } else {
        for (const fs::path& item : list) {
            const fs::path path = folder.empty() ? item : folder / item;
            bits |= AddFile(archive, path, ArchiveEntryName(item));
        }
    }
    int closed = CloseArchive(archive);
    return bits != 0 ? bits : closed;
}

int MakeArchiveFromSelection(const fs::path& archivePath, std::string_view selection, int append) {
    std::vector<fs::path> parts;
    size_t start = 0;
    while (start < selection.size()) {
        size_t end = std::min(selection.find('\0', start), selection.size());
        if (end == start) break;  // the empty part ends the list
        parts.emplace_back(std::string(selection.substr(start, end - start)));
        start = end + 1;
    }
    if (parts.empty()) return MakeArchiveFromFiles(archivePath, fs::path(), {}, append);
    if (parts.size() == 1) return MakeArchiveFromFiles(archivePath, parts[0], {}, append);
    fs::path folder = parts[0];
    parts.erase(parts.begin());
    return MakeArchiveFromFiles(archivePath, folder, parts, append);
}

bool MatchesFilePattern(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    size_t p = 0, n = 0;
    size_t starP = std::string_view::npos, starN = 0;
    auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

namespace {

struct FolderWalk {
    zip_t* archive;
    fs::path nameRoot;
    fs::path archivePath;
    std::vector<std::string> patterns;
    bool recurse;
};

// Adds the matching files of folder (and of its subfolders when recursing).
// Returns 0 or kZipAddFailed.
int WalkFolder(FolderWalk& walk, const fs::path& folder) {
    std::error_code ec;
    const std::string prefix =
        folder == walk.nameRoot ? std::string() : folder.lexically_relative(walk.nameRoot).generic_string();
    if (!prefix.empty()) zip_dir_add(walk.archive, prefix.c_str(), ZIP_FL_ENC_UTF_8);  // may already be there

    std::vector<fs::path> files, folders;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if (it->is_symlink(ec) && it->is_directory(ec)) continue;
        if (it->is_directory(ec)) {
            folders.push_back(path);
        } else if (it->is_regular_file(ec) && !fs::equivalent(path, walk.archivePath, ec)) {
            files.push_back(path);
        }
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const std::string& pattern : walk.patterns) {
        for (const fs::path& file : files) {
            const std::string fileName = file.filename().string();
            if (!MatchesFilePattern(pattern, fileName)) continue;
            const std::string name = prefix.empty() ? fileName : prefix + "/" + fileName;
            if (AddFile(walk.archive, file, name) != 0) return kZipAddFailed;
        }
    }
    if (walk.recurse) {
        for (const fs::path& sub : folders) {
            if (int result = WalkFolder(walk, sub); result != 0) return result;
        }
    }
    return 0;
}

}  // namespace

int ArchiveFolder(const fs::path& archivePath, const fs::path& folder, std::string_view patterns, int fresh,
                  int recurse, int keepFolderName) {
    fs::path root = folder.lexically_normal();
    if (!root.has_filename() && root.has_relative_path()) root = root.parent_path();
    FolderWalk walk{nullptr, keepFolderName ? root.parent_path() : root, archivePath, {}, recurse != 0};
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = std::min(patterns.find(';', start), patterns.size());
        std::string_view pattern = TrimBlanks(patterns.substr(start, end - start));
        if (!pattern.empty()) walk.patterns.emplace_back(pattern);
        start = end + 1;
    }
    int error = 0;
    walk.archive = OpenForWriting(archivePath, fresh != 0, error);
    if (!walk.archive) return error;
    if (WalkFolder(walk, root) != 0) {
        zip_discard(walk.archive);
        return kZipAddFailed;
    }
    return CloseArchive(walk.archive);
}

}  // namespace trakvio
