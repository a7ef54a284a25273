#include "SqliteLibrary.h"

#include <QtGlobal>

#include <dlfcn.h>

#include <mutex>

namespace {

// SQLite's soname has not changed since version 3.0.
constexpr const char* libraryName = "libsqlite3.so.0";

template <typename Function>
bool resolve(void* handle, const char* name, Function& into) {
    into = reinterpret_cast<Function>(dlsym(handle, name));
    return into != nullptr;
}

} // namespace

SqliteLibrary::SqliteLibrary(void* handle, bool owned)
    : handle(handle)
    , owned(owned) {}

SqliteLibrary::~SqliteLibrary() {
    // Frees what SQLite allocated for itself, which unloading would otherwise leak; never while
    // another part of the process may still have connections of its own.
    if (owned && shutdown)
        shutdown();
    dlclose(handle);
}

bool SqliteLibrary::resolveAll() {
    return resolve(handle, "sqlite3_open_v2", open_v2) && resolve(handle, "sqlite3_close_v2", close_v2) &&
           resolve(handle, "sqlite3_busy_timeout", busy_timeout) && resolve(handle, "sqlite3_exec", exec) &&
           resolve(handle, "sqlite3_prepare_v2", prepare_v2) &&
           resolve(handle, "sqlite3_prepare_v3", prepare_v3) && resolve(handle, "sqlite3_step", step) &&
           resolve(handle, "sqlite3_reset", reset) &&
           resolve(handle, "sqlite3_clear_bindings", clear_bindings) &&
           resolve(handle, "sqlite3_finalize", finalize) && resolve(handle, "sqlite3_bind_text", bind_text) &&
           resolve(handle, "sqlite3_bind_int64", bind_int64) &&
           resolve(handle, "sqlite3_bind_blob", bind_blob) &&
           resolve(handle, "sqlite3_column_text", column_text) &&
           resolve(handle, "sqlite3_column_bytes", column_bytes) &&
           resolve(handle, "sqlite3_column_int64", column_int64) &&
           resolve(handle, "sqlite3_last_insert_rowid", last_insert_rowid) &&
           resolve(handle, "sqlite3_shutdown", shutdown);
}

std::shared_ptr<const SqliteLibrary> SqliteLibrary::load() {
    static std::mutex mutex;
    static std::weak_ptr<const SqliteLibrary> current;
    const std::lock_guard lock(mutex);
    if (std::shared_ptr<const SqliteLibrary> shared = current.lock())
        return shared;

    void* probe = dlopen(libraryName, RTLD_LAZY | RTLD_NOLOAD);
    const bool alreadyLoaded = probe != nullptr;
    if (probe)
        dlclose(probe); // only the probe's own reference
    void* handle = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        qWarning("Cannot load %s (%s): reports that cannot be sent wait in memory only", libraryName,
                 dlerror());
        return nullptr;
    }
    std::shared_ptr<SqliteLibrary> library(new SqliteLibrary(handle, !alreadyLoaded));
    int (*version)() = nullptr;
    if (!library->resolveAll() || !resolve(handle, "sqlite3_libversion_number", version) ||
        version() < 3020000) {
        qWarning("%s is not a usable SQLite 3.20 or later: reports that cannot be sent wait in memory only",
                 libraryName);
        return nullptr;
    }
    current = library;
    return library;
}
