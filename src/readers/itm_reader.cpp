#include "readers/itm_reader.h"

#include <cmath>
#include <string_view>
#include <vector>

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
        if (EqualsIgnoringCase(type, "WP")) {
            counts.highestWaypointId = number;
            counts.waypoints = count;
        } else if (EqualsIgnoringCase(type, "GPSLog")) {
            counts.gpsLogs = count;
        } else if (EqualsIgnoringCase(type, "Line")) {
            counts.lines = count;
        }
    }
    return query.Finish();
}

// The body of ReadItm; the store's counts are only advanced by the caller.
uint32_t ReadItmTables(SqliteDatabase& db, TrackStore& store, int32_t namePosition, int32_t& pointCount,
                       int32_t& trackCount) {
    ItmCounts counts;
    if (uint32_t result = ReadTypeTable(db, counts); result != 0) return result;
    if (counts.highestWaypointId < 0 || counts.highestWaypointId >= kMaxWaypointId) return kItmTypeRange;

    const int32_t firstPoint = store.pointCount;
    const int32_t firstTrack = store.trackCount;
    // Point index of each waypoint id; -1 for ids no stored point carries.
    std::vector<int32_t> pointOfId(static_cast<size_t>(counts.highestWaypointId) + 1, -1);

    int64_t gpsRows = 0;
    {
        SqliteQuery query(db, "select fID, fZero, fGPSTime1, fGPSTime2, fGPSSpeed from GPSLog where fZero==0;",
                          kItmGpsQuery);
        int32_t index = firstPoint;
        while (query.Next()) {
            if (index >= store.maxlogpoints) break;  // the store is full: the counts will disagree
            ++gpsRows;
            const int64_t id = query.Int64(0);
            if (id < 0 || id > counts.highestWaypointId) return kItmGpsId;
            pointOfId[static_cast<size_t>(id)] = index;
            LogPoint& p = store.points[index];
            p = LogPoint{};
            p.time = UnixTimeFromFileTime(FileTime(query, 2, 3));
            p.loggedSpeed = static_cast<float>(query.Double(4));
            ++index;
        }
        if (uint32_t result = query.Finish(); result != 0) return result;
        if (gpsRows != counts.gpsLogs) return kItmGpsCount;
    }

    int64_t waypointRows = 0;
    int32_t pointsEnd = firstPoint;
    {
        SqliteQuery query(db, "select fID, fZero, fLongitude, fLatitude, fAltitude from WP where fZero==0;",
                          kItmWpQuery);
        while (query.Next()) {
            const int64_t index = firstPoint + waypointRows;
            if (index >= store.maxlogpoints) break;
            ++waypointRows;
            LogPoint& p = store.points[index];
            if (index >= firstPoint + gpsRows) p = LogPoint{};  // no GPS-log row of its own
            p.longitude = query.Double(2);
            p.latitude = query.Double(3);
            p.altitude = static_cast<float>(query.Double(4));
            p.geoidAltitude = p.altitude;
            p.enabled = 1;
            pointsEnd = static_cast<int32_t>(index) + 1;
        }
        if (uint32_t result = query.Finish(); result != 0) return result;
        if (waypointRows != counts.waypoints) return kItmWpCount;
    }

    // Lines: each closes a track at the point of its last waypoint.
    std::vector<int64_t> lineIds;
    int32_t position = namePosition;
    {
        SqliteQuery query(db,
                          "select fID, fZero, fName, f1stWPID, fLstWPID from Line where fZero==0 order by fLstWPID asc;",
                          kItmLineQuery);
        while (query.Next()) {
            const int32_t track = firstTrack + static_cast<int32_t>(lineIds.size());
            if (track >= store.maxtracks) break;
            const int64_t lastId = query.Int64(4);
            const int32_t end = lastId >= 0 && lastId <= counts.highestWaypointId ? pointOfId[static_cast<size_t>(lastId)] : -1;
            if (end < 0 || end >= pointsEnd) return kItmLineEnd;
            if (track > firstTrack && end < store.trackEnd[track - 1]) return kItmLineOrder;
            const int32_t next = WriteTrackName(store, position, Utf8ToUtf16(query.Text(2)));
            if (next < 0) break;  // the names buffer is full: no further track
            position = next;
            store.trackEnd[track] = end;
            store.tracks[track] = TrackRecord{};
            lineIds.push_back(query.Int64(0));
        }
        if (uint32_t result = query.Finish(); result != 0) return result;
    }

    size_t styled = 0;
    const size_t styleLimit = static_cast<size_t>(store.maxtracks - firstTrack);
    {
        SqliteQuery query(db,
                          "select fID, fZero, fName, fVSWidth, fVSFColor, fVSBColor, fVSOColor from VStyle "
                          "where fZero==0;",
                          kItmStyleQuery);
        while (styled < styleLimit && query.Next()) {
            std::string_view name = query.Text(2);
            if (name.substr(0, 5) != "Line_") continue;
            int64_t id = 0;
            bool digits = false;
            bool negative = name.size() > 5 && name[5] == '-';
            for (size_t i = negative ? 6 : 5; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
                if (id < (int64_t{1} << 40)) id = id * 10 + (name[i] - '0');
                digits = true;
            }
            if (!digits) continue;
            if (negative) id = -id;
            for (size_t k = 0; k < lineIds.size(); ++k) {
                if (lineIds[k] != id) continue;
                TrackRecord& track = store.tracks[firstTrack + static_cast<int32_t>(k)];
                track.lineWidth = static_cast<int32_t>(query.Int64(3));
                track.color = RgbFromBgr(query.Int64(4));
                track.fileIndex = store.fileCount;
                break;
            }
            ++styled;
        }
        if (uint32_t result = query.Finish(); result != 0) return result;
    }

    if (uint32_t result = db.Close(); result != 0) return result;
    if (gpsRows != waypointRows) return kItmRowsDiffer;
    if (lineIds.size() != styled) return kItmLinesDiffer;

    trackCount = firstTrack + static_cast<int32_t>(lineIds.size());
    // Points after the last line's end belong to no track.
    pointCount = trackCount > firstTrack ? store.trackEnd[trackCount - 1] + 1 : firstPoint;
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
                 int32_t namePosition) {
    SqliteDatabase db(sqlite);
    if (uint32_t result = db.Open(path); result != 0) return result;
    int32_t pointCount = store.pointCount;
    int32_t trackCount = store.trackCount;
    uint32_t result = ReadItmTables(db, store, namePosition, pointCount, trackCount);
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

uint32_t ReadGoGoHike(const SqliteLibrary& sqlite, TrackStore& store, const std::filesystem::path& path) {
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
            if (EqualsIgnoringCase(query.Text(0), "location")) expected = query.Int64(1);
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
    if (rows != expected) return kItmWpCount;
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

}  // namespace trakvio
