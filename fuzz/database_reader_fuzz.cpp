// Builds a small ITM or GoGoHike database from the input bytes (type-table
// counts, row ids, line ends, style names, row values: the places where a
// damaged database can send a reader astray) and reads it into a small store
// that already holds a track. On an error the store must be as it was; on
// success the new tracks must be well formed, within the capacities, with
// one name each.
#include <dlfcn.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "readers/itm_reader.h"

using namespace trakvio;

using fuzz::Check;

namespace {

class Bytes {
  public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int Next() { return position_ < size_ ? data_[position_++] : 0; }
    bool More() const { return position_ < size_; }
    // Small numbers mostly, now and then one from the edges.
    int64_t Id() {
        int b = Next();
        if (b == 0xFF) return 9000000000LL;
        if (b == 0xFE) return -1;
        return b % 48;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

struct Sqlite {
    using OpenFunction = int (*)(const char*, void**);
    using ExecFunction = int (*)(void*, const char*, void*, void*, char**);
    using CloseFunction = int (*)(void*);
    OpenFunction open = nullptr;
    ExecFunction exec = nullptr;
    CloseFunction close = nullptr;
    Sqlite() {
        void* library = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
        Check(library != nullptr);
        open = reinterpret_cast<OpenFunction>(dlsym(library, "sqlite3_open"));
        exec = reinterpret_cast<ExecFunction>(dlsym(library, "sqlite3_exec"));
        close = reinterpret_cast<CloseFunction>(dlsym(library, "sqlite3_close"));
    }
    void Run(const std::string& path, const std::string& sql) const {
        void* db = nullptr;
        open(path.c_str(), &db);
        exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        close(db);
    }
};

std::string ItmSql(Bytes& in) {
    std::string sql =
        "create table IT_TGVLib (fObjNo, fObjFreeNo, fTypeName);"
        "create table GPSLog (fID, fZero, fGPSTime1, fGPSTime2, fGPSSpeed);"
        "create table WP (fID, fZero, fLongitude, fLatitude, fAltitude);"
        "create table Line (fID, fZero, fName, f1stWPID, fLstWPID);"
        "create table VStyle (fID, fZero, fName, fVSWidth, fVSFColor, fVSBColor, fVSOColor);begin;";
    const char* types[] = {"WP", "GPSLog", "Line", "VStyle"};
    for (const char* type : types) {
        sql += "insert into IT_TGVLib values (" + std::to_string(in.Id()) + "," + std::to_string(in.Id() % 8) +
               ",'" + type + "');";
    }
    const int gps = in.Next() % 40, waypoints = in.Next() % 40, lines = in.Next() % 8, styles = in.Next() % 8;
    for (int i = 0; i < gps; ++i) {
        sql += "insert into GPSLog values (" + std::to_string(in.Id()) + "," + std::to_string(in.Next() % 2) + "," +
               std::to_string(in.Next() * 1000) + "," + std::to_string(in.Next() * 70000000LL) + "," +
               std::to_string(in.Next()) + ");";
    }
    for (int i = 0; i < waypoints; ++i) {
        sql += "insert into WP values (" + std::to_string(in.Id()) + ",0," + std::to_string(in.Next() - 128) +
               "," + std::to_string((in.Next() - 128) / 2) + "," + std::to_string(in.Next()) + ");";
    }
    for (int i = 0; i < lines; ++i) {
        // Names of every length, some longer than the names buffer.
        sql += "insert into Line values (" + std::to_string(in.Id()) + ",0,'" +
               std::string(static_cast<size_t>(in.Next()) * 40, 'n') + "'," + std::to_string(in.Id()) + "," +
               std::to_string(in.Id()) + ");";
    }
    for (int i = 0; i < styles; ++i) {
        sql += "insert into VStyle values (1,0,'Line_" + std::to_string(in.Id()) + "'," +
               std::to_string(in.Next()) + "," + std::to_string(in.Next() * 65793) + ",0,0);";
    }
    return sql + "commit;";
}

std::string GoGoHikeSql(Bytes& in) {
    std::string sql =
        "create table android_metadata (locale);create table location (_id integer primary key autoincrement,"
        " longitude, latitude, altitude, accuracy, time);begin;";
    const int rows = in.Next() % 40;
    for (int i = 0; i < rows; ++i) {
        sql += "insert into location (longitude, latitude, altitude, accuracy, time) values (" +
               std::to_string((in.Next() - 128) * 1000000LL) + "," + std::to_string((in.Next() - 128) * 700000LL) +
               "," + std::to_string(in.Next()) + ",0," + std::to_string(in.Next() * 1000003LL) + ");";
    }
    sql += "commit;update sqlite_sequence set seq = " + std::to_string(in.Id()) + ";";
    return sql;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Sqlite sqlite;
    static SqliteLibrary binding;
    LoadSqliteLibrary(binding);
    Check(binding.loaded);
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("trakvio-db-fuzz-" + std::to_string(getpid()) + ".db")).string();

    Bytes in(data, size);
    const bool itm = in.Next() % 2 == 0;
    std::remove(path.c_str());
    sqlite.Run(path, itm ? ItmSql(in) : GoGoHikeSql(in));

    TrackStore& store = fuzz::SmallStore(24, 4);
    const int32_t names = fuzz::StartWithOneTrack(store);
    if (itm) {
        const uint32_t result = ReadItm(binding, store, path, names);
        if (result != 0) {
            Check(store.pointCount == 2 && store.trackCount == 1);
        } else {
            Check(store.trackCount >= 1 && store.trackCount <= store.maxtracks);
            for (int t = 1; t < store.trackCount; ++t) {
                Check(store.trackEnd[t] >= store.trackEnd[t - 1] && store.trackEnd[t] < store.pointCount);
            }
            Check(store.trackEnd[store.trackCount - 1] == store.pointCount - 1);
        }
        Check(StoredNameCount(store) == store.trackCount);
    } else {
        ReadGoGoHike(binding, store, path);
    }
    Check(store.pointCount <= store.maxlogpoints);
    Check(store.points[0].latitude == 35 && store.trackEnd[0] == 1);
    std::remove(path.c_str());
    return 0;
}
