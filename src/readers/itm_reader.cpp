#include "readers/itm_reader.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ascii_text.h"
#include "platform/utf.h"
#include "readers/sqlite_query.h"
#include "readers/text_scan.h"

namespace trakvio {
namespace {

// Waypoint ids index a table of point indices; a database claiming more ids
// than this is not a logger's.
constexpr int64_t kMaxWaypointId = 1 << 26;

uint64_t FileTime(const SqliteQuery& query, int high, int low) {
    return (static_cast<uint64_t>(query.Int64(high)) << 32) | (static_cast<uint64_t>(query.Int64(low)) & 0xFFFFFFFFu);
}

// A Windows BGR colour as 0xRRGGBB.
uint32_t RgbFromBgr(int64_t bgr) {
    auto c = static_cast<uint32_t>(bgr);
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

struct ItmCounts {
    int64_t highestWaypointId = -1;
    int64_t waypoints = 0;
    int64_t gpsLogs = 0;
    int64_t lines = 0;
};

uint32_t ReadTypeTable(SqliteDatabase& db, ItmCounts& counts) {
    SqliteQuery query(db, "select fObjNo, fObjFreeNo, fTypeName from IT_TGVLib;", kItmTypeQuery);
    while (query.Next()) {
        const int64_t number = query.Int64(0);
        const int64_t count = number - query.Int64(1);
        std::string_view type = query.Text(2);
        if (EqualsIgnoreCase(type, "WP")) {
            counts.highestWaypointId = number;
            counts.waypoints = count;
        } else if (EqualsIgnoreCase(type, "GPSLog")) {
            counts.gpsLogs = count;
        } else if (EqualsIgnoreCase(type, "Line")) {
            counts.lines = count;
        }
    }
    return query.Finish();
}

// What the table steps of one read share.
struct ItmRead {
    SqliteDatabase& db;
    TrackStore& store;
    ItmCounts counts;
    int32_t firstPoint = 0;
    int32_t firstTrack = 0;
    // (id, point index) of each stored GPS-log row. Only the rows read take
    // room: the claimed highest id may be any size up to kMaxWaypointId.
    std::vector<std::pair<int64_t, int32_t>> pointOfId;
    bool cut = false;  // the store filled up: the counts cannot agree
    int64_t gpsRows = 0;
    int64_t waypointRows = 0;
    int32_t pointsEnd = 0;         // behind the last point given a position
    std::vector<int64_t> lineIds;  // of the tracks read, in order
    size_t styled = 0;             // line styles read

    ItmRead(SqliteDatabase& database, TrackStore& target) : db(database), store(target) {}

    // The point index of a GPS-log id (the latest row of that id), -1 when
    // none has it. pointOfId must be sorted.
    int32_t PointOf(int64_t id) const {
        auto after = std::upper_bound(pointOfId.begin(), pointOfId.end(), id,
                                      [](int64_t value, const auto& entry) { return value < entry.first; });
        return after == pointOfId.begin() || (after - 1)->first != id ? -1 : (after - 1)->second;
    }
};

// GPS-log rows: the time and logged speed of one point each.
uint32_t ReadGpsLogTable(ItmRead& r) {
    TrackStore& store = r.store;
    SqliteQuery query(r.db, "select fID, fZero, fGPSTime1, fGPSTime2, fGPSSpeed from GPSLog where fZero==0;",
                      kItmGpsQuery);
    int32_t index = r.firstPoint;
    while (query.Next()) {
        if (index >= store.maxlogpoints) {
            r.cut = true;
            break;
        }
        ++r.gpsRows;
        const int64_t id = query.Int64(0);
        if (id < 0 || id > r.counts.highestWaypointId) return kItmGpsId;
        r.pointOfId.emplace_back(id, index);
        LogPoint& p = store.points[index];
        p = LogPoint{};
        p.time = UnixTimeFromFileTime(FileTime(query, 2, 3));
        p.loggedSpeed = static_cast<float>(query.Double(4));
        ++index;
    }
    if (uint32_t result = query.Finish(); result != 0) return result;
    if (!r.cut && r.gpsRows != r.counts.gpsLogs) return kItmGpsCount;
    // Sorted by id, a later row of the same id after an earlier one.
    std::stable_sort(r.pointOfId.begin(), r.pointOfId.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return 0;
}

// Waypoint rows: the position of the point of the same rank.
uint32_t ReadWaypointTable(ItmRead& r) {
    TrackStore& store = r.store;
    r.pointsEnd = r.firstPoint;
    SqliteQuery query(r.db, "select fID, fZero, fLongitude, fLatitude, fAltitude from WP where fZero==0;", kItmWpQuery);
    while (query.Next()) {
        const int64_t index = r.firstPoint + r.waypointRows;
        if (index >= store.maxlogpoints) {
            r.cut = true;
            break;
        }
        ++r.waypointRows;
        LogPoint& p = store.points[index];
        if (index >= r.firstPoint + r.gpsRows) p = LogPoint{};  // no GPS-log row of its own
        p.longitude = query.Double(2);
        p.latitude = query.Double(3);
        p.altitude = static_cast<float>(query.Double(4));
        p.geoidAltitude = p.altitude;
        p.enabled = 1;
        r.pointsEnd = static_cast<int32_t>(index) + 1;
    }
    if (uint32_t result = query.Finish(); result != 0) return result;
    if (!r.cut && r.waypointRows != r.counts.waypoints) return kItmWpCount;
    return 0;
}

// Lines: each closes a track at the point of its last waypoint and names it.
uint32_t ReadLineTable(ItmRead& r, int32_t namePosition) {
    TrackStore& store = r.store;
    int32_t position = namePosition;
    SqliteQuery query(r.db,
                      "select fID, fZero, fName, f1stWPID, fLstWPID from Line where fZero==0 order by fLstWPID asc;",
                      kItmLineQuery);
    while (query.Next()) {
        const int32_t track = r.firstTrack + static_cast<int32_t>(r.lineIds.size());
        if (track >= store.maxtracks) break;
        const int64_t lastId = query.Int64(4);
        const int32_t end = r.PointOf(lastId);
        if (end < 0 || end >= r.pointsEnd) {
            if (r.cut) break;  // a line beyond the points the store took
            return kItmLineEnd;
        }
        if (track > r.firstTrack && end < store.trackEnd[track - 1]) return kItmLineOrder;
        const int32_t next = WriteTrackName(store, position, Utf8ToUtf16(query.Text(2)));
        if (next < 0) break;  // the names buffer is full: no further track
        position = next;
        store.trackEnd[track] = end;
        store.tracks[track] = TrackRecord{};
        r.lineIds.push_back(query.Int64(0));
    }
    return query.Finish();
}

// The line id a style name "Line_<id>" belongs to; false for other names.
bool StyledLineId(std::string_view name, int64_t& id) {
    if (name.substr(0, 5) != "Line_") return false;
    id = 0;
    bool digits = false;
    bool negative = name.size() > 5 && name[5] == '-';
    for (size_t i = negative ? 6 : 5; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        if (id < (int64_t{1} << 40)) id = id * 10 + (name[i] - '0');
        digits = true;
    }
    if (negative) id = -id;
    return digits;
}

// Line styles: the width and colour of the track whose line they name.
uint32_t ReadStyleTable(ItmRead& r) {
    TrackStore& store = r.store;
    const size_t styleLimit = static_cast<size_t>(store.maxtracks - r.firstTrack);
    SqliteQuery query(r.db,
                      "select fID, fZero, fName, fVSWidth, fVSFColor, fVSBColor, fVSOColor from VStyle "
                      "where fZero==0;",
                      kItmStyleQuery);
    while (r.styled < styleLimit && query.Next()) {
        int64_t id;
        if (!StyledLineId(query.Text(2), id)) continue;
        for (size_t k = 0; k < r.lineIds.size(); ++k) {
            if (r.lineIds[k] != id) continue;
            TrackRecord& track = store.tracks[r.firstTrack + static_cast<int32_t>(k)];
            track.lineWidth = static_cast<int32_t>(query.Int64(3));
            track.color = RgbFromBgr(query.Int64(4));
            track.fileIndex = store.fileCount;
            break;
        }
        ++r.styled;
    }
    return query.Finish();
}

// The body of ReadItm, one table after the other; the store's counts are
// only advanced by the caller.
uint32_t ReadItmTables(SqliteDatabase& db, TrackStore& store, int32_t namePosition, int32_t& pointCount,
                       int32_t& trackCount, bool* storeFilled) {
    ItmRead r(db, store);
    if (uint32_t result = ReadTypeTable(db, r.counts); result != 0) return result;
    if (r.counts.highestWaypointId < 0 || r.counts.highestWaypointId >= kMaxWaypointId) return kItmTypeRange;
    r.firstPoint = store.pointCount;
    r.firstTrack = store.trackCount;
    if (uint32_t result = ReadGpsLogTable(r); result != 0) return result;
    if (uint32_t result = ReadWaypointTable(r); result != 0) return result;
    if (uint32_t result = ReadLineTable(r, namePosition); result != 0) return result;
    if (uint32_t result = ReadStyleTable(r); result != 0) return result;

    if (uint32_t result = db.Close(); result != 0) return result;
    if (!r.cut && r.gpsRows != r.waypointRows) return kItmRowsDiffer;
    if (!r.cut && r.lineIds.size() != r.styled) return kItmLinesDiffer;
    if (r.cut && storeFilled) *storeFilled = true;

    trackCount = r.firstTrack + static_cast<int32_t>(r.lineIds.size());
    // Points after the last line's end belong to no track.
    pointCount = trackCount > r.firstTrack ? store.trackEnd[trackCount - 1] + 1 : r.firstPoint;
    return 0;
}

// Drops the points of [first, pointCount) whose position is off the globe,
// moving the ends of tracks [firstTrack, trackCount) with them (a track of
// such points alone is left empty). Altitudes and speeds that are no finite
// number become 0.
void DropUnplaceablePoints(TrackStore& store, int32_t first, int32_t& pointCount, int32_t firstTrack,
                           int32_t trackCount) {
    int32_t kept = first;
    int32_t t = firstTrack;
    for (int32_t i = first; i < pointCount; ++i) {
        LogPoint p = store.points[i];
        if (IsPlaceablePosition(p.latitude, p.longitude)) {
            if (!std::isfinite(p.altitude)) p.altitude = p.geoidAltitude = 0;
            if (!std::isfinite(p.loggedSpeed)) p.loggedSpeed = 0;
            store.points[kept++] = p;
        }
        while (t < trackCount && store.trackEnd[t] <= i) store.trackEnd[t++] = kept - 1;
    }
    pointCount = kept;
}

}  // namespace

uint32_t ReadItm(const SqliteLibrary& sqlite, TrackStore& store, const std::filesystem::path& path,
                 int32_t namePosition, bool* cut) {
    if (cut) *cut = false;
    SqliteDatabase db(sqlite);
    if (uint32_t result = db.Open(path); result != 0) return result;
    int32_t pointCount = store.pointCount;
    int32_t trackCount = store.trackCount;
    uint32_t result = ReadItmTables(db, store, namePosition, pointCount, trackCount, cut);
    if (result != 0) {
        // Names written for the lines go with the rest of the read.
        if (namePosition >= 0 && namePosition < kTrackNamesCapacity) store.trackNames[namePosition] = kNamesEndMarker;
        return result;
    }
    DropUnplaceablePoints(store, store.pointCount, pointCount, store.trackCount, trackCount);
    store.pointCount = pointCount;
    store.trackCount = trackCount;
    return 0;
}

uint32_t ReadGoGoHike(const SqliteLibrary& sqlite, TrackStore& store, const std::filesystem::path& path, bool* cut) {
    if (cut) *cut = false;
    SqliteDatabase db(sqlite);
    if (uint32_t result = db.Open(path); result != 0) return result;
    {
        SqliteQuery query(db, "select locale from android_metadata;", kItmTypeQuery);
        while (query.Next()) {
        }
        if (uint32_t result = query.Finish(); result != 0) return result;
    }
    int64_t expected = 0;
    {
        SqliteQuery query(db, "select name, seq from sqlite_sequence;", kItmTypeQuery);
        while (query.Next()) {
            if (EqualsIgnoreCase(query.Text(0), "location")) expected = query.Int64(1);
        }
        if (uint32_t result = query.Finish(); result != 0) return result;
    }
    int64_t rows = 0;
    {
        SqliteQuery query(db, "select _id, longitude, latitude, altitude, accuracy, time from location;", kItmWpQuery);
        while (store.pointCount < store.maxlogpoints && query.Next()) {
            ++rows;
            // Micro-degrees, whole metres and milliseconds since 1970 UTC.
            const double latitude = static_cast<double>(query.Int64(2)) / 1000000.0;
            const double longitude = static_cast<double>(query.Int64(1)) / 1000000.0;
            if (!IsPlaceablePosition(latitude, longitude)) continue;
            AppendPoint(store, latitude, longitude, static_cast<float>(query.Int64(3)), 0, query.Int64(5) / 1000, 1);
        }
        if (uint32_t result = query.Finish(); result != 0) return result;
    }
    // A full store stops the read early: the rows cannot reach the count.
    const bool filled = store.pointCount >= store.maxlogpoints && rows < expected;
    if (filled && cut) *cut = true;
    if (!filled && rows != expected) return kItmWpCount;
    return db.Close();
}

int ItmFirstFixTime(const SqliteLibrary& sqlite, const std::filesystem::path& path, int64_t& fileTime) {
    SqliteDatabase db(sqlite);
    switch (db.Open(path) & 0xFFFF0000u) {
        case 0:
            break;
        case kDbNotLoaded:
            return 1;
        case kDbNoFile:
            return 2;
        default:
            return 3;
    }
    SqliteQuery query(db, "select fZero, fGPSTime1, fGPSTime2 from GPSLog where fZero==0;", 0x10000);
    if (query.result() != 0) return 4;
    if (query.Next()) {
        fileTime = static_cast<int64_t>(FileTime(query, 1, 2));
        return 0;
    }
    return query.result() != 0 ? 5 : 6;
}

std::string DatabaseResultText(uint32_t result, bool itm) {
    const uint32_t stage = result & 0xFFFF0000u;
    const uint32_t code = result & 0xFFFFu;
    // The query stages: the table, then what went wrong with it.
    const char* table = nullptr;
    switch (stage & 0xFF0000u & ~0x0F0000u) {
        case kItmTypeQuery & ~0x0F0000u:
            table = itm ? "the type table (IT_TGVLib)" : "the metadata or sequence table";
            break;
        case kItmGpsQuery & ~0x0F0000u:
            table = "the GPS log table";
            break;
        case kItmWpQuery & ~0x0F0000u:
            table = itm ? "the waypoint table" : "the location table";
            break;
        case kItmLineQuery & ~0x0F0000u:
            table = "the line table";
            break;
        case kItmStyleQuery & ~0x0F0000u:
            table = "the style table";
            break;
        default:
            break;
    }
    std::string text;
    if (stage == kDbNotLoaded) {
        text = "the SQLite library is not loaded";
    } else if (stage == kDbNoFile) {
        text = "the file does not exist";
    } else if (stage == kDbOpenFailed) {
        text = "SQLite cannot open the file";
    } else if (stage == kDbCloseFailed) {
        text = "the database could not be closed";
    } else if (stage == kItmTypeRange) {
        text = "the highest waypoint id is negative or too large";
    } else if (stage == kItmGpsCount) {
        text = "the GPS log rows differ in number from the type table";
    } else if (stage == kItmGpsId) {
        text = "a GPS log id lies beyond the highest waypoint id";
    } else if (stage == kItmWpCount) {
        text = itm ? "the waypoint rows differ in number from the type table"
                   : "the location rows differ in number from the sequence table";
    } else if (stage == kItmLineEnd) {
        text = "a line ends at a waypoint that has no GPS log row";
    } else if (stage == kItmLineOrder) {
        text = "a line ends before the line it follows";
    } else if (stage == kItmRowsDiffer) {
        text = "the GPS log and waypoint rows differ in number";
    } else if (stage == kItmLinesDiffer) {
        text = "the lines and the line styles differ in number";
    } else if (table) {
        // The query bases end in 1 (0x110000): prepare, step, finalize follow.
        const uint32_t step = (stage & 0x0F0000u) - 0x010000u;
        text = std::string(table) + (step == kDbStep       ? " could not be read to its end"
                                     : step == kDbFinalize ? " could not be closed"
                                                           : " cannot be queried");
        text += itm ? " (is it an ITM database?)" : " (is it a GoGoHike database?)";
    } else {
        text = "the database could not be read";
    }
    if (code != 0) text += ", SQLite result " + std::to_string(code);
    return text;
}

}  // namespace trakvio
