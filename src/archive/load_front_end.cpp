#include "archive/load_front_end.h"

#include "platform/ascii_text.h"
#include "platform/regular_file.h"

namespace trakvio {

namespace {

bool IsArchiveName(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string_view extension = std::string_view(name).substr(dot + 1);
    return EqualsIgnoreCase(extension, "q9z") || EqualsIgnoreCase(extension, "itm") ||
           EqualsIgnoreCase(extension, "kmz");
}

// Opens the archive; its members report their own problems.
ArchiveResult OpenReportedArchive(TrackStore& store, Settings& settings, const std::filesystem::path& path) {
    const ArchiveResult result = OpenArchive(store, settings, path);
    if (result == kArchiveCannotOpen) ReportCannotOpen(path);
    return result;
}

}  // namespace

LoadResult LoadResultOfArchive(ArchiveResult result) {
    switch (result) {
        case kArchiveOpened:
            return kLoadDone;
        case kArchiveNoFolder:
        case kArchiveCannotOpen:
        case kArchiveIncomplete:
            return kLoadReaderError;
    }
    return kLoadReaderError;
}

LoadResult LoadLogFile(TrackStore& store, Settings& settings, const std::filesystem::path& path) {
    if (IsNonRegularFile(path)) {
        ReportNotRegular(path);
        return kLoadReaderError;
    }
    if (IsArchiveName(path)) return LoadResultOfArchive(OpenReportedArchive(store, settings, path));

    const LoadStart start = LoadStartOf(store);
    const LoadResult result = ReadLogFile(store, settings, path, {}, 1);
    if (result != kLoadIsArchive) return result;
    // A zip under another name: its members load one by one and complete
    // themselves; the archive then takes its place in the list.
    const ArchiveResult opened = OpenReportedArchive(store, settings, path);
    EnterOpenedArchive(store, settings, path, start);
    return LoadResultOfArchive(opened);
}

}  // namespace trakvio
