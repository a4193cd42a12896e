#pragma once
// The tables of the sample history and the steps that bring an older file up to date.
//
// rounds(time_ms, samples): the rounds of minutes not yet moved to raw, one row a round keyed
// by its earliest time, so that storing a round is one short append whatever its size.
// raw(host, minute, samples): one row per host and minute, written when the minute is
// complete; one host's range is one seek. The blobs are packed as SampleBlob.h describes.
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
