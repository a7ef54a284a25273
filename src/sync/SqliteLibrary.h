#pragma once

#include <sqlite3.h>

#include <memory>

/// SQLite's functions as the offline queue uses them, from libsqlite3 loaded at run time.
///
/// The queue's database is open only while reports wait, which most runs never see. Linked, the
/// library would stay mapped and partly resident for the program's life all the same (its code,
/// symbol tables and relocated function tables); loaded here, it comes with the first database
/// opened and goes when the last one is closed.
class SqliteLibrary {
public:
    /// The library, shared with whoever holds it already; null when it cannot be loaded or is
    /// older than 3.20 (prepare_v3). Thread-safe.
    static std::shared_ptr<const SqliteLibrary> load();

    ~SqliteLibrary();
    SqliteLibrary(const SqliteLibrary&) = delete;
    SqliteLibrary& operator=(const SqliteLibrary&) = delete;

    decltype(&sqlite3_open_v2) open_v2 = nullptr;
    decltype(&sqlite3_close_v2) close_v2 = nullptr;
    decltype(&sqlite3_busy_timeout) busy_timeout = nullptr;
    decltype(&sqlite3_exec) exec = nullptr;
    decltype(&sqlite3_prepare_v2) prepare_v2 = nullptr;
    decltype(&sqlite3_prepare_v3) prepare_v3 = nullptr;
    decltype(&sqlite3_step) step = nullptr;
    decltype(&sqlite3_reset) reset = nullptr;
    decltype(&sqlite3_clear_bindings) clear_bindings = nullptr;
    decltype(&sqlite3_finalize) finalize = nullptr;
    decltype(&sqlite3_bind_text) bind_text = nullptr;
    decltype(&sqlite3_bind_int64) bind_int64 = nullptr;
    decltype(&sqlite3_bind_blob) bind_blob = nullptr;
    decltype(&sqlite3_column_text) column_text = nullptr;
    decltype(&sqlite3_column_bytes) column_bytes = nullptr;
    decltype(&sqlite3_column_int64) column_int64 = nullptr;
    decltype(&sqlite3_last_insert_rowid) last_insert_rowid = nullptr;

private:
    SqliteLibrary(void* handle, bool owned);
    bool resolveAll();

    void* handle;
    /// Loaded by us, not already in the process: only then may it be shut down before unloading.
    bool owned;
    decltype(&sqlite3_shutdown) shutdown = nullptr;
};
