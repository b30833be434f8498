#include "archive/property_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

#include "archive/zip_files.h"
#include "compute/statistics.h"
#include "platform/ascii_text.h"
#include "platform/messages.h"
#include "platform/utf.h"
#include "readers/log_loader.h"

namespace trakvio {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxFileNameUnits = 260;
constexpr size_t kMaxTrackNameUnits = 1024;
constexpr size_t kMaxKindNameLength = 15;
constexpr int64_t kNumberLimit = int64_t{1} << 40;
constexpr int32_t kMaxLineWidth = 255;
constexpr uintmax_t kMaxPropertyFileSize = uintmax_t{16} << 20;

void AppendNumber(std::string& out, long long value) {
    char buffer[24];
    int n = std::snprintf(buffer, sizeof buffer, "%lld", value);
    out.append(buffer, static_cast<size_t>(n));
}

// A file name as the tokenizer gives it back: quoted when it holds one of the
// token delimiters (ArchiveEntryName has already replaced double quotes).
void AppendFileName(std::string& out, const std::string& name) {
    if (name.find_first_of(",<>") == std::string::npos) {
        out += name;
    } else {
        out += '"' + name + '"';
    }
}

// Decimal number at the front of text as atoi reads it (blanks, a sign,
// digits; anything else ends it; no digits read as 0), held within
// +-kNumberLimit. used receives the characters read.
int64_t ReadDecimal(std::string_view text, size_t* used = nullptr) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(value * 10 + (text[i] - '0'), kNumberLimit);
    }
    if (used) *used = i;
    return negative ? -value : value;
}

uint32_t ReadHex(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X") i += 2;
    uint32_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) break;
        value = (value << 4 | static_cast<uint32_t>(digit)) & 0xFFFFFFu;
    }
    return value;
}

// Names position of the count-th name's follower (where the end marker of a
// buffer holding count names stands).
int32_t NamesPositionAfter(const TrackStore& store, int32_t count) {
    int32_t pos = 0;
    for (int32_t i = 0; i < count && pos < kTrackNamesCapacity; ++i) {
        while (pos < kTrackNamesCapacity && store.trackNames[pos] != 0) ++pos;
        ++pos;
    }
    return std::min(pos, kTrackNamesCapacity - 1);
}

// State of one replay.
struct Replay {
    Replay(TrackStore& s, Settings& settingsIn, const fs::path& folderIn, int32_t point, int32_t track,
           std::string_view textIn)
        : store(s), settings(settingsIn), folder(folderIn), firstPoint(point), firstTrack(track), text(textIn) {}

    TrackStore& store;
    Settings& settings;
    const fs::path& folder;
    int32_t firstPoint;
    int32_t firstTrack;
    std::string_view text;
    size_t pos = 0;
    std::string token;
    char delimiter = 0;

    int failedFiles = 0;  // files named for reading that did not load
    bool boundariesChanged = false;
    bool pointsChanged = false;
    int32_t recordedTracks = 0;  // highest track number of an applied "tp"
    // The tracks the files produced, before any "tp" moved them.
    bool snapshotTaken = false;
    std::vector<int32_t> loadedEnds;
    std::vector<int32_t> loadedFileIndex;

    bool Next() { return NextPropertyToken(text, pos, token, delimiter); }
    // The next field of the record: the first one follows the tag, later ones
    // only a token that ended with ','.
    bool Field(bool first) { return (first || delimiter == ',') && Next(); }

    // Track index of a record's track number, or -1 when it is no track
    // (limit: trackCount, or maxtracks for "tp").
    int32_t TrackIndex(int64_t number, int32_t limit) const {
        if (number < 1) return -1;
        int64_t t = firstTrack + number - 1;
        return t < limit ? static_cast<int32_t>(t) : -1;
    }
};

bool IsArchiveFileName(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = name.substr(dot + 1);
    return EqualsIgnoreCase(extension, "q9z") || EqualsIgnoreCase(extension, "zip") ||
           EqualsIgnoreCase(extension, "itm") || EqualsIgnoreCase(extension, "kmz");
}

void ReportNestedArchive(Settings& settings, const fs::path& path) {
    if (settings.showArchiveErrors != 1) return;
    const std::string text =
        "An archive inside an archive is not opened; it stays in the file list unread.\n" + path.string();
    if (ShowMessage(text, "read_q9z Error", MessageButtons::kOkCancel, kAnswerOk, MessageIcon::kWarning) ==
        kAnswerCancel) {
        settings.showArchiveErrors = 0;
    }
}

// No room for one more point, track or track name.
bool StoreIsFull(const TrackStore& store) {
    return store.pointCount >= store.maxlogpoints || store.trackCount >= store.maxtracks ||
           TrackNameRoom(NamesEndPosition(store)) < 2;
}

void ReplayFile(Replay& r, int readFlag) {
    if (!r.Field(true)) return;
    std::string name = r.token;
    std::string kindName;
    if (r.delimiter == ',') {
        if (!r.Next()) return;
        kindName = r.token;
    }
    // Only files of the folder itself; a name that climbs out of it is not
    // a file this archive brought.
    if (kindName.size() > kMaxKindNameLength || !IsSafeEntryName(name)) return;
    if (Utf8ToUtf16(name).size() > kMaxFileNameUnits) return;
    const fs::path path = r.folder / name;
    // An archive inside the archive is kept in the list but not opened:
    // opening it would extract into the folder this replay still reads from.
    if (IsArchiveFileName(name) || DetectKindByContent(path) == kKindArchive) {
        if (readFlag) ReportNestedArchive(r.settings, path);
        readFlag = 0;
    }
    // A store that can take nothing more only enters the file: reading it
    // would find no room (and say so again) at the cost of the whole store's
    // figures, for every further line.
    if (readFlag && StoreIsFull(r.store)) readFlag = 0;
    const int result = ReadLogFile(r.store, r.settings, path, kindName, readFlag);
    if (readFlag && (result == kLoadReaderError || result == kLoadSqliteMissing)) ++r.failedFiles;
}

void TakeSnapshot(Replay& r) {
    if (r.snapshotTaken) return;
    r.snapshotTaken = true;
    for (int32_t t = r.firstTrack; t < r.store.trackCount; ++t) {
        r.loadedEnds.push_back(r.store.trackEnd[t]);
        r.loadedFileIndex.push_back(r.store.tracks[t].fileIndex);
    }
}

// Adds empty tracks up to and including t, each with an empty name, the
// default width and the colour and file of the track before it. Returns false
// when the names buffer has no room for one more name.
bool AddTracksUpTo(TrackStore& store, int32_t t) {
    while (store.trackCount <= t) {
        const int32_t k = store.trackCount;
        if (WriteTrackName(store, NamesEndPosition(store), u"") < 0) return false;
        TrackRecord record;
        record.lineWidth = store.tracklinewidthdefault;
        record.color = k > 0 ? store.tracks[k - 1].color : store.tracklinecolordefault;
        record.fileIndex = k > 0 ? store.tracks[k - 1].fileIndex : 0;
        store.tracks[k] = record;
        store.trackEnd[k] = k > 0 ? store.trackEnd[k - 1] : -1;
        ++store.trackCount;
    }
    return true;
}

void ReplayTrackEnd(Replay& r) {
    if (!r.Field(true)) return;
    const int64_t number = ReadDecimal(r.token);
    if (!r.Field(false) || !r.Field(false)) return;  // the "." and the last point
    const int64_t last = ReadDecimal(r.token);
    const int32_t t = r.TrackIndex(number, r.store.maxtracks);
    if (t < 0 || last < 0) return;
    TakeSnapshot(r);
    if (!AddTracksUpTo(r.store, t)) return;
    const int64_t end = std::min<int64_t>(r.firstPoint + last - 1, r.store.pointCount - 1);
    r.store.trackEnd[t] = static_cast<int32_t>(end);
    r.boundariesChanged = true;
    r.recordedTracks = std::max(r.recordedTracks, static_cast<int32_t>(number));
}

void ReplayTrackValue(Replay& r, char what) {
    if (!r.Field(true)) return;
    const int32_t t = r.TrackIndex(ReadDecimal(r.token), r.store.trackCount);
    if (!r.Field(false) || t < 0) return;
    TrackRecord& record = r.store.tracks[t];
    if (what == 'w') {
        record.lineWidth = static_cast<int32_t>(std::clamp<int64_t>(ReadDecimal(r.token), 0, kMaxLineWidth));
    } else if (what == 'c') {
        record.color = ReadHex(r.token);
    } else {
        std::u16string name = Utf8ToUtf16(r.token);
        if (name.size() > kMaxTrackNameUnits) {
            name.resize(kMaxTrackNameUnits);
            if (name.back() >= 0xD800 && name.back() <= 0xDBFF) name.pop_back();
        }
        RenameTrack(r.store, t, name);
    }
}

void ReplayDeletedPoints(Replay& r) {
    for (bool first = true; r.Field(first); first = false) {
        size_t used = 0;
        const int64_t from = ReadDecimal(r.token, &used);
        int64_t to = from;
        if (used < r.token.size() && r.token[used] == '-') to = ReadDecimal(std::string_view(r.token).substr(used + 1));
        // Both ends must be points of the archive's files.
        const int64_t begin = r.firstPoint + from - 1;
        const int64_t end = r.firstPoint + to - 1;
        if (from < 1 || to < from || end >= r.store.pointCount) continue;
        for (int64_t i = begin; i <= end; ++i) r.store.points[static_cast<size_t>(i)].enabled = 0;
        r.pointsChanged = true;
    }
}

// After the "tp" records: spans that never overlap and cover the archive's
// points, no empty tracks left behind the recorded ones (the files were
// joined before saving), and each track's file taken from the loaded track
// that held its last point.
void SettleBoundaries(Replay& r) {
    TrackStore& store = r.store;
    const int32_t lastPoint = store.pointCount - 1;
    for (int32_t t = r.firstTrack; t < store.trackCount; ++t) {
        const int32_t before = t == 0 ? -1 : store.trackEnd[t - 1];
        store.trackEnd[t] = std::clamp(store.trackEnd[t], before, std::max(before, lastPoint));
    }
    const int32_t recordedEnd = r.firstTrack + r.recordedTracks;
    while (store.trackCount > recordedEnd && store.trackCount > 0) {
        const int32_t t = store.trackCount - 1;
        const int32_t before = t == 0 ? -1 : store.trackEnd[t - 1];
        if (store.trackEnd[t] != before) break;
        --store.trackCount;
        store.trackNames[NamesPositionAfter(store, store.trackCount)] = kNamesEndMarker;
    }
    if (store.trackCount > r.firstTrack && store.trackEnd[store.trackCount - 1] < lastPoint) {
        store.trackEnd[store.trackCount - 1] = lastPoint;
    }
    for (int32_t t = r.firstTrack; t < store.trackCount; ++t) {
        const int32_t p = store.trackEnd[t];
        if (p < r.firstPoint) continue;
        for (size_t k = 0; k < r.loadedEnds.size(); ++k) {
            if (r.loadedEnds[k] >= p) {
                store.tracks[t].fileIndex = r.loadedFileIndex[k];
                break;
            }
        }
    }
}

}  // namespace

std::string_view PropertyKindSuffix(uint16_t kindEntry) {
    switch (kindEntry & ~kKindNotRead) {
        case kKindArchive:
            return ",ZIP";
        case kKindGpx:
            return ",GPX";
        case kKindNmea:
            return ",NMEA";
        case kKindMtkBinary:
            return ",MTK-BIN";
        case kKindItm:
            return ",ITM-POI";
        case kKindKml:
            return ",KML";
        case kKindCsvText:
            return ",BAD-TXT";
        case kKindGoGoHike:
            return ",GoGoHike";
        default:
            return {};
    }
}

std::string PropertyFileText(const TrackStore& store) {
    std::string out;
    const int32_t files = std::min<int32_t>(store.fileCount, static_cast<int32_t>(store.loadedFiles.size()));
    for (int32_t f = 0; f < files; ++f) {
        const uint16_t kind = f < static_cast<int32_t>(store.fileKinds.size()) ? store.fileKinds[f] : 0;
        out += (kind & kKindNotRead) ? "<fi>" : "<fr>";
        AppendFileName(out, ArchiveEntryName(store.loadedFiles[f]));
        out += PropertyKindSuffix(kind);
        out += '\n';
    }
    const int32_t tracks = std::min(store.trackCount, store.maxtracks);
    for (int32_t t = 0; t < tracks; ++t) {
        const TrackRecord& record = store.tracks[t];
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "<tp>%d,.,%d<tw>%d,%d<tc>%d,%06X<tt>%d,\"", t + 1, store.trackEnd[t] + 1,
                      t + 1, record.lineWidth, t + 1, record.color, t + 1);
        out += buffer;
        // A double quote would end the quoted name early.
        for (char c : Utf16ToUtf8(TrackName(store, t))) {
            if (c == '"') {
                out += "\xEF\xBC\x82";
            } else {
                out += c;
            }
        }
        out += "\"\n";
    }
    // Runs of deleted points, numbered from 1: "3,10-12".
    const int32_t points = std::min(store.pointCount, store.maxlogpoints);
    bool any = false;
    int32_t runStart = -1;
    for (int32_t i = 0; i <= points; ++i) {
        const bool deleted = i < points && store.points[i].enabled == 0;
        if (deleted && runStart < 0) {
            out += any ? "," : "<pd>";
            any = true;
            AppendNumber(out, i + 1);
            runStart = i;
        } else if (!deleted && runStart >= 0) {
            if (i - 1 > runStart) {
                out += '-';
                AppendNumber(out, i);
            }
            runStart = -1;
        }
    }
    if (any) out += '\n';
    return out;
}

int WritePropertyFile(const TrackStore& store, const fs::path& path) {
    const std::string text = PropertyFileText(store);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return -1;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? 0 : -1;
}

bool NextPropertyToken(std::string_view text, size_t& pos, std::string& token, char& delimiter) {
    if (pos >= text.size()) return false;
    token.clear();
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == ',' || c == '<' || c == '>') {
            delimiter = c;
            return true;
        }
        if (c == '\r' || c == '\n') continue;
        if (c == '"') {
            const size_t close = text.find('"', pos);
            if (close == std::string_view::npos) {
                pos = text.size();
                return false;
            }
            for (char q : text.substr(pos, close - pos)) {
                if (q != '\r' && q != '\n') token += q;
            }
            pos = close + 1;
            continue;
        }
        token += c;
    }
    delimiter = '\0';
    return true;
}

int ApplyPropertyText(TrackStore& store, Settings& settings, std::string_view text, const fs::path& folder,
                      int32_t firstPoint, int32_t firstTrack) {
    Replay r(store, settings, folder, firstPoint, firstTrack, text);
    for (;;) {
        // Up to a '<'; the token after it is the tag.
        bool more = true;
        while (more && r.delimiter != '<') more = r.Next();
        if (!more || !r.Next()) break;
        if (r.delimiter != '>') continue;
        const std::string tag = r.token;
        if (tag.size() >= 2 && (tag[0] == 'f' || tag[0] == 'F')) {
            const char mode = static_cast<char>(tag[1] | 0x20);
            if (mode == 'r' || mode == 'i') ReplayFile(r, mode == 'r' ? 1 : 0);
        } else if (EqualsIgnoreCase(tag, "tp")) {
            ReplayTrackEnd(r);
        } else if (EqualsIgnoreCase(tag, "tw")) {
            ReplayTrackValue(r, 'w');
        } else if (EqualsIgnoreCase(tag, "tc")) {
            ReplayTrackValue(r, 'c');
        } else if (EqualsIgnoreCase(tag, "tt")) {
            ReplayTrackValue(r, 't');
        } else if (EqualsIgnoreCase(tag, "pd")) {
            ReplayDeletedPoints(r);
        }
    }
    if (r.boundariesChanged) SettleBoundaries(r);
    if (r.boundariesChanged || r.pointsChanged) {
        RecomputeStatistics(store, 0);
        FitZoom(store);
    }
    return r.failedFiles;
}

PropertyFileResult ReadPropertyFile(TrackStore& store, Settings& settings, const fs::path& path, const fs::path& folder,
                                    int32_t firstPoint, int32_t firstTrack) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxPropertyFileSize) return kPropertyFileUnreadable;
    std::ifstream in(path, std::ios::binary);
    if (!in) return kPropertyFileUnreadable;
    std::string text(static_cast<size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    text.resize(static_cast<size_t>(in.gcount()));
    const int failed = ApplyPropertyText(store, settings, text, folder, firstPoint, firstTrack);
    return failed == 0 ? kPropertyFileReplayed : kPropertyFileMemberFailed;
}

}  // namespace trakvio
