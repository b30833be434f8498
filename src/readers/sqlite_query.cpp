#include "readers/sqlite_query.h"

#include <system_error>

namespace trakvio {

namespace {
// SQLite result codes are small; the low 16 bits of a reader result hold them.
uint32_t Code(int rc) { return static_cast<uint32_t>(rc) & 0xFFFF; }
}  // namespace

SqliteDatabase::~SqliteDatabase() { Close(); }

uint32_t SqliteDatabase::Open(const std::filesystem::path& path) {
    if (!sqlite_.loaded) return kDbNotLoaded;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return kDbNoFile;
    const std::string utf8 = path.string();
    if (utf8.size() > 1023) return kDbOpenFailed + 14;  // SQLITE_CANTOPEN
    int rc = sqlite_.open(utf8.c_str(), &db_);
    if (rc != 0) {
        // A failed open may still hand back a handle to release.
        if (db_ != nullptr) sqlite_.close(db_);
        db_ = nullptr;
        return kDbOpenFailed + Code(rc);
    }
    return 0;
}

uint32_t SqliteDatabase::Close() {
    if (db_ == nullptr) return 0;
    int rc = sqlite_.close(db_);
    db_ = nullptr;
    return rc == 0 ? 0 : kDbCloseFailed + Code(rc);
}

SqliteQuery::SqliteQuery(SqliteDatabase& db, const char* sql, uint32_t base) : sqlite_(db.library()), base_(base) {
    int rc = sqlite_.prepare_v2(db.handle(), sql, -1, &statement_, nullptr);
    if (rc != 0 || statement_ == nullptr) {
        if (statement_ != nullptr) sqlite_.finalize(statement_);
        statement_ = nullptr;
        result_ = base_ + kDbPrepare + Code(rc);
    }
}

SqliteQuery::~SqliteQuery() { Finish(); }

bool SqliteQuery::Next() {
    if (statement_ == nullptr || result_ != 0) return false;
    int rc;
    do {
        rc = sqlite_.step(statement_);
    } while (rc == kSqliteBusy);
    if (rc == kSqliteRow) return true;
    if (rc != kSqliteDone) result_ = base_ + kDbStep + Code(rc);
    return false;
}

uint32_t SqliteQuery::Finish() {
    if (statement_ != nullptr) {
        int rc = sqlite_.finalize(statement_);
        statement_ = nullptr;
        // A step error comes back from finalize too; the step's code stays.
        if (rc != 0 && result_ == 0) result_ = base_ + kDbFinalize + Code(rc);
    }
    return result_;
}

const char* SqliteQuery::Text(int column) const {
    const unsigned char* text = sqlite_.column_text(statement_, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace trakvio
