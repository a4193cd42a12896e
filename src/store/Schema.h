#pragma once
// The tables of the sample history and the steps that bring an older file up to date.
//
// raw(host, time, reply): one row per ping, keyed by host then time so that one host's range
// is one seek and its rows share pages. The reply is packed into one integer (RawCodec.h):
// a row then costs under 20 bytes on disk.
// minutes(host, minute, ...): per-minute roll-ups, minute = Unix time / 60 s.
// meta(key, value): the writer's progress ("rolled_until": first minute not yet rolled up).
#include <sqlite3.h>

#include <cstdint>

namespace sondrel {

// The newest layout this program knows (PRAGMA user_version).
int KnownSchemaVersion();

// Applies every step from the file's user_version up to the known version, each step in its
// own transaction. SQLITE_OK, or the failing result code.
int MigrateSchema(sqlite3* db);

}  // namespace sondrel
