#include "store/Schema.h"

#include <iterator>
#include <string>

#include "store/Sqlite.h"

namespace sondrel {

namespace {

int CreateVersion1(sqlite3* db) {
    return sql::Exec(db,
                     "CREATE TABLE hosts(id INTEGER PRIMARY KEY, address TEXT UNIQUE NOT NULL);"
                     "CREATE TABLE rounds(time_ms INTEGER PRIMARY KEY, samples BLOB NOT NULL);"
                     "CREATE TABLE raw(host INTEGER NOT NULL, minute INTEGER NOT NULL,"
                     " samples BLOB NOT NULL, PRIMARY KEY(host, minute)) WITHOUT ROWID;"
                     "CREATE TABLE minutes(host INTEGER NOT NULL, minute INTEGER NOT NULL,"
                     " sent INTEGER NOT NULL, lost INTEGER NOT NULL, min INTEGER, median INTEGER,"
                     " max INTEGER, mean INTEGER, PRIMARY KEY(host, minute)) WITHOUT ROWID;");
}
// Step i turns version i into version i + 1.
using Step = int (*)(sqlite3*);
constexpr Step kSteps[] = {&CreateVersion1};

}  // namespace

int KnownSchemaVersion() { return static_cast<int>(std::size(kSteps)); }

int MigrateSchema(sqlite3* db) {
    int rc = SQLITE_OK;
    for (int version = static_cast<int>(sql::QueryInt(db, "PRAGMA user_version", 0, &rc));
         rc == SQLITE_OK && version < KnownSchemaVersion(); ++version) {
        rc = sql::Exec(db, "BEGIN IMMEDIATE");
        if (rc == SQLITE_OK) rc = kSteps[version](db);
        if (rc == SQLITE_OK)
            rc = sql::Exec(db, ("PRAGMA user_version=" + std::to_string(version + 1)).c_str());
        if (rc == SQLITE_OK) rc = sql::Exec(db, "COMMIT");
        if (rc != SQLITE_OK) sql::Exec(db, "ROLLBACK");
    }
    return rc;
}

}  // namespace sondrel
