#pragma once
// Opening the sample history file for writing: the lock that keeps a second writer out,
// the checks that set a damaged file aside, and the layout update.
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "store/Sqlite.h"

namespace sondrel {

// An flock(2) on FILE.lock beside the database: SQLite's own exclusive locking mode would
// shut out the readers of the write-ahead log (sondrel --export). Empty when another
// process holds it or the lock file cannot be made; error then says which.
FileDescriptor LockStoreFile(const std::filesystem::path& file, std::string& error);

// FILE.damaged-YYYYMMDD-HHMMSS for a file set aside at the given local time.
std::filesystem::path DamagedName(const std::filesystem::path& file, const std::tm& local);

struct OpenedStore {
    sql::Db db;
    std::string error;  // when db is empty: why the file cannot be written now
};

// Opens (creating when missing) and brings the layout up to date. A file that is not a
// database, fails the quick check or has a newer layout is renamed (with its -wal and -shm)
// and a new one started; say() gets one line about it.
OpenedStore OpenStoreForWriting(const std::filesystem::path& file,
                                const std::function<void(std::string_view)>& say);

}  // namespace sondrel
