// Running one query through the SQLite binding, as the database readers do:
// prepare, step over the rows (waiting out SQLITE_BUSY), finalize. Each
// failure is reported as a reader result: the stage's base code plus
// SQLite's own result code.
#pragma once

#include <cstdint>
#include <filesystem>

#include "platform/sqlite_library.h"

namespace trakvio {

// Result bases of the database readers; the SQLite code is added.
inline constexpr uint32_t kDbNotLoaded = 0x10000;
inline constexpr uint32_t kDbNoFile = 0x20000;
inline constexpr uint32_t kDbOpenFailed = 0x30000;
inline constexpr uint32_t kDbCloseFailed = 0x600000;
// Offsets of the three stages of a query from its block base
// (0x110000, 0x210000 ...).
inline constexpr uint32_t kDbPrepare = 0;
inline constexpr uint32_t kDbStep = 0x10000;
inline constexpr uint32_t kDbFinalize = 0x20000;

// An open database; closed by Close or at the end of the object's life.
class SqliteDatabase {
  public:
    explicit SqliteDatabase(const SqliteLibrary& sqlite) : sqlite_(sqlite) {}
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // 0, kDbNotLoaded, kDbNoFile or kDbOpenFailed + rc.
    uint32_t Open(const std::filesystem::path& path);
    // 0 or kDbCloseFailed + rc.
    uint32_t Close();

    const SqliteLibrary& library() const { return sqlite_; }
    sqlite3* handle() const { return db_; }

  private:
    const SqliteLibrary& sqlite_;
    sqlite3* db_ = nullptr;
};

// One prepared statement. Next() gives true for each row; afterwards
// result() is 0 or the failing stage's code (base + stage + rc).
class SqliteQuery {
  public:
    SqliteQuery(SqliteDatabase& db, const char* sql, uint32_t base);
    ~SqliteQuery();
    SqliteQuery(const SqliteQuery&) = delete;
    SqliteQuery& operator=(const SqliteQuery&) = delete;

    bool Next();
    // Finalizes; returns result() afterwards.
    uint32_t Finish();
    uint32_t result() const { return result_; }

    int64_t Int64(int column) const { return sqlite_.column_int64(statement_, column); }
    double Double(int column) const { return sqlite_.column_double(statement_, column); }
    // NUL-terminated UTF-8; never null.
    const char* Text(int column) const;

  private:
    const SqliteLibrary& sqlite_;
    sqlite3_stmt* statement_ = nullptr;
    uint32_t base_;
    uint32_t result_ = 0;
};

}  // namespace trakvio
