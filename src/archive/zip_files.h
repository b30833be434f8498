// Zip helpers over libzip: extracting an archive's top-level files into one
// folder, making an archive from a list of files, and archiving a folder.
// Extraction never writes outside its folder: entries inside folders are left
// out, and names that are absolute, "." or "..", hold a backslash or control
// characters, or are too long for a file name are skipped and reported. An
// entry that is too large or does not inflate is reported and leaves no file
// behind: every entry is written to a temporary file that is renamed into
// place only when the whole entry has been read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace trakvio {

// Entries larger than this are not extracted.
inline constexpr uint64_t kMaxArchiveEntrySize = uint64_t{1} << 30;
// One extraction writes at most kMaxArchiveExpansion times the archive's own
// size (but always up to kArchiveExpansionAllowance) and never more than
// kMaxArchiveTotalSize in all; the entry that would pass the limit is left
// out and extraction stops there.
inline constexpr uint64_t kMaxArchiveTotalSize = uint64_t{2} << 30;
inline constexpr uint64_t kMaxArchiveExpansion = 100;
inline constexpr uint64_t kArchiveExpansionAllowance = uint64_t{64} << 20;

// Bits of MakeArchiveFromFiles' result (besides a libzip error code).
inline constexpr int kZipSourceFailed = 64;  // a file could not be opened as a source
inline constexpr int kZipAddFailed = 128;    // a file could not be added

// An entry that extraction left out, with the reason in English.
struct SkippedEntry {
    std::string name;  // the name as decoded (UTF-8)
    std::string reason;
};

// The name a file is stored under in an archive: the name part of the path,
// at most 255 bytes of UTF-8, with the characters that extraction or the
// track property file could not carry replaced: '"' by U+FF02, '\' by U+FF3C,
// control characters by '_'; blanks at either end are removed.
std::string ArchiveEntryName(const std::filesystem::path& path);

// Whether a decoded entry name may be written as a file of the extraction
// folder (a bare, non-empty name without separators or control characters,
// not "." or "..", at most 255 bytes).
bool IsSafeEntryName(std::string_view name);

// Extracts the top-level files of the archive into destination (created when
// missing); a file of the same name is replaced. Each file's access and
// modification times are set to the entry's time. names receives the names
// (UTF-8) of the files written, in entry order, each once; skipped, when
// given, the entries left out for a reason worth reporting (entries inside
// folders are left out silently; so is nothing else: an entry that would
// replace the archive itself, or pass the total limit, is reported too). Returns 0, or the libzip error code when
// the archive cannot be opened (ZIP_ER_OPEN when the folder cannot be made).
int ExtractArchive(const std::filesystem::path& archivePath, const std::filesystem::path& destination,
                   std::vector<std::string>& names, std::vector<SkippedEntry>* skipped = nullptr,
                   uint64_t maxEntrySize = kMaxArchiveEntrySize);

// The same over an archive held in memory.
int ExtractArchiveFromMemory(const void* data, size_t size, const std::filesystem::path& destination,
                             std::vector<std::string>& names, std::vector<SkippedEntry>* skipped = nullptr,
                             uint64_t maxEntrySize = kMaxArchiveEntrySize);

// Makes an archive of files, each stored under ArchiveEntryName, a later
// file of the same name replacing an earlier one. With folder empty, list
// holds full paths; otherwise list holds names in folder. With list empty,
// folder is a single file to store. Unless append is set, an existing file
// at archivePath is deleted first. Returns 0, the libzip error code when the
// archive cannot be opened or written, or the OR of kZipSourceFailed and
// kZipAddFailed over all files.
int MakeArchiveFromFiles(const std::filesystem::path& archivePath, const std::filesystem::path& folder,
                         const std::vector<std::filesystem::path>& list, int append);

// The same for the answer of a multiple-selection open dialog: UTF-8 parts
// separated by NUL, ending with an empty part; a single part is one file,
// more are a folder followed by names in it.
int MakeArchiveFromSelection(const std::filesystem::path& archivePath, std::string_view selection, int append);

// Archives the files of folder that match one of the ';'-separated patterns
// ('*' and '?', case-insensitive), under their paths relative to folder (with
// keepFolderName, relative to its parent, so they begin with the folder's own
// name), with '/' between parts. Each folder below the root of the names gets
// a folder entry. With recurse, subfolders are walked too (symbolic links to
// folders are not followed). With fresh, an existing archive is deleted
// first. Returns 0, the libzip error code, or kZipAddFailed when a file could
// not be added (nothing is written then).
int ArchiveFolder(const std::filesystem::path& archivePath, const std::filesystem::path& folder,
                  std::string_view patterns, int fresh, int recurse, int keepFolderName);

// Whether name matches pattern ('*' any run, '?' one character; ASCII letters
// compare without regard to case; "*.*" matches every name).
bool MatchesFilePattern(std::string_view pattern, std::string_view name);

}  // namespace trakvio
