#pragma once
// The tables of the sample history and the steps that bring an older file up to date.
//
// recent(time, host, reply): the rounds of minutes not yet rolled up, keyed by time so that a
// round is appended to a few pages whatever the number of hosts.
// raw(host, time, reply): older rows, moved over a minute at a time with the roll-up and keyed
// by host then time, so that one host's range is one seek and its rows share pages. The reply
// is packed into one integer (RawCodec.h).
// minutes(host, minute, ...): per-minute roll-ups, minute = Unix time / 60 s.
#include <sqlite3.h>

#include <cstdint>

namespace sondrel {

// The newest layout this program knows (PRAGMA user_version).
int KnownSchemaVersion();

// Applies every step from the file's user_version up to the known version, each step in its
// own transaction. SQLITE_OK, or the failing result code.
int MigrateSchema(sqlite3* db);

}  // namespace sondrel
