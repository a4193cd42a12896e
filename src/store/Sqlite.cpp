#include "store/Sqlite.h"

namespace sondrel::sql {

Db Open(const std::filesystem::path& file, int flags, int& rc) {
    sqlite3* raw = nullptr;
    rc = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    Db db(raw);
    if (rc == SQLITE_OK) sqlite3_extended_result_codes(raw, 0);
    return db;
}

Statement Prepare(sqlite3* db, std::string_view text) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v3(db, text.data(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT,
                       &s, nullptr);
    return Statement(s);
}

int Exec(sqlite3* db, const char* text) {
    return sqlite3_exec(db, text, nullptr, nullptr, nullptr);
}

int64_t QueryInt(sqlite3* db, const char* text, int64_t fallback, int* rc) {
    Statement s = Prepare(db, text);
    int result = s ? sqlite3_step(s.get()) : sqlite3_errcode(db);
    int64_t value = fallback;
    if (result == SQLITE_ROW) {
        value = sqlite3_column_int64(s.get(), 0);
        result = SQLITE_OK;
    } else if (result == SQLITE_DONE) {
        result = SQLITE_OK;
    }
    if (rc) *rc = result;
    return value;
}

std::string QueryText(sqlite3* db, const char* text, int* rc) {
    Statement s = Prepare(db, text);
    int result = s ? sqlite3_step(s.get()) : sqlite3_errcode(db);
    std::string value;
    if (result == SQLITE_ROW) {
        if (const unsigned char* t = sqlite3_column_text(s.get(), 0))
            value = reinterpret_cast<const char*>(t);
        result = SQLITE_OK;
    } else if (result == SQLITE_DONE) {
        result = SQLITE_OK;
    }
    if (rc) *rc = result;
    return value;
}

int StepOnce(sqlite3_stmt* s) {
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

std::string Error(sqlite3* db) { return db ? sqlite3_errmsg(db) : "out of memory"; }

}  // namespace sondrel::sql
