// The SQLite library, bound at run time so that a machine without it only
// misses the database log kinds. The binding holds the functions the database
// readers call; it is loaded once and again whenever the user asks to retry.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace trakvio {

inline constexpr int kSqliteBusy = 5;
inline constexpr int kSqliteRow = 100;
inline constexpr int kSqliteDone = 101;

struct SqliteLibrary {
    // The shared library to bind; tests name a missing one.
    std::string libraryName = "libsqlite3.so.0";
    bool loaded = false;
    void* handle = nullptr;

    int (*open)(const char* path, sqlite3** db) = nullptr;
    int (*close)(sqlite3* db) = nullptr;
    int (*prepare_v2)(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** statement,
                      const char** tail) = nullptr;
    int (*step)(sqlite3_stmt* statement) = nullptr;
    int (*reset)(sqlite3_stmt* statement) = nullptr;
    int (*finalize)(sqlite3_stmt* statement) = nullptr;
    const unsigned char* (*column_text)(sqlite3_stmt* statement, int column) = nullptr;
    int (*column_int)(sqlite3_stmt* statement, int column) = nullptr;
    int64_t (*column_int64)(sqlite3_stmt* statement, int column) = nullptr;
    double (*column_double)(sqlite3_stmt* statement, int column) = nullptr;
};

// Binds the library named in sqlite (a no-op when it is already bound).
// Afterwards sqlite.loaded tells whether the readers can use it. A library
// that lacks one of the functions is reported ("DLL error") and left unbound,
// so that no reader ever calls through a missing entry.
void LoadSqliteLibrary(SqliteLibrary& sqlite);

}  // namespace trakvio
