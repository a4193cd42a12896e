#pragma once
// Ownership of SQLite handles, and the few calls every user of the store repeats.
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace sondrel::sql {

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Opens with the given SQLITE_OPEN_* flags; rc holds the result. The handle may be set even
// on failure (SQLite hands one back for its error text); it is released either way.
Db Open(const std::filesystem::path& file, int flags, int& rc);
// Null on failure (the text is then in sqlite3_errmsg).
Statement Prepare(sqlite3* db, std::string_view text);
// Runs statements that return no rows; the SQLite result code.
int Exec(sqlite3* db, const char* text);
// The first column of the first row as an integer / text; fallback when there is no row.
int64_t QueryInt(sqlite3* db, const char* text, int64_t fallback, int* rc = nullptr);
std::string QueryText(sqlite3* db, const char* text, int* rc = nullptr);
// Steps a statement that returns no rows and resets it for the next use.
int StepOnce(sqlite3_stmt* s);
std::string Error(sqlite3* db);

// Binds NULL for an absent value.
inline void BindOptional(sqlite3_stmt* s, int column, bool present, int64_t value) {
    if (present)
        sqlite3_bind_int64(s, column, value);
    else
        sqlite3_bind_null(s, column);
}

}  // namespace sondrel::sql
