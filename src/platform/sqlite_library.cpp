#include "platform/sqlite_library.h"

#include <dlfcn.h>

#include "platform/messages.h"

namespace trakvio {
namespace {

template <typename Function>
bool Bind(void* handle, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
}

}  // namespace

void LoadSqliteLibrary(SqliteLibrary& sqlite) {
    if (sqlite.loaded) return;
    void* handle = dlopen(sqlite.libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    bool complete = Bind(handle, "sqlite3_open", sqlite.open);
    complete &= Bind(handle, "sqlite3_close", sqlite.close);
    complete &= Bind(handle, "sqlite3_prepare_v2", sqlite.prepare_v2);
    complete &= Bind(handle, "sqlite3_step", sqlite.step);
    complete &= Bind(handle, "sqlite3_reset", sqlite.reset);
    complete &= Bind(handle, "sqlite3_finalize", sqlite.finalize);
    complete &= Bind(handle, "sqlite3_column_text", sqlite.column_text);
    complete &= Bind(handle, "sqlite3_column_int", sqlite.column_int);
    complete &= Bind(handle, "sqlite3_column_int64", sqlite.column_int64);
    complete &= Bind(handle, "sqlite3_column_double", sqlite.column_double);
    if (!complete) {
        ShowMessage("DLL error", "dOdaDi", MessageButtons::kOk, kAnswerOk, MessageIcon::kError);
        dlclose(handle);
        const std::string name = sqlite.libraryName;
        sqlite = SqliteLibrary{};
        sqlite.libraryName = name;
        return;
    }
    sqlite.handle = handle;
    sqlite.loaded = true;
}

}  // namespace trakvio
