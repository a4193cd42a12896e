#include "store/StoreFile.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "store/Schema.h"

namespace sondrel {

namespace fs = std::filesystem;

namespace {

fs::path Sibling(const fs::path& file, std::string_view suffix) {
    fs::path p = file;
    p += suffix;
    return p;
}

bool IsDamage(int rc) { return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT; }

// Why the open file cannot be used as it is (empty: it can), or a plain failure in rc.
std::string CheckFile(sqlite3* db, int& rc) {
    const std::string mode = sql::QueryText(db, "PRAGMA journal_mode=WAL", &rc);
    if (IsDamage(rc)) return "not a sample database";
    if (rc != SQLITE_OK) return "";
    const int64_t version = sql::QueryInt(db, "PRAGMA user_version", 0, &rc);
    if (IsDamage(rc)) return "not a sample database";
    if (rc == SQLITE_OK && version > KnownSchemaVersion())
        return "made by a newer sondrel (layout " + std::to_string(version) + ")";
    // The quick check reads every page once; the full integrity check also cross-checks
    // indexes, which is slow on a large file and adds little for these few tables.
    const std::string check = sql::QueryText(db, "PRAGMA quick_check(1)", &rc);
    if (IsDamage(rc) || (rc == SQLITE_OK && check != "ok")) return "fails the quick check";
    return "";
}

std::string SetAside(const fs::path& file) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    fs::path target = DamagedName(file, local);
    for (int n = 2; fs::exists(target); ++n)
        target = Sibling(DamagedName(file, local), std::string("-").append(std::to_string(n)));
    std::error_code ec;
    fs::rename(file, target, ec);
    if (ec) return "";
    for (const char* part : {"-wal", "-shm"})
        if (fs::exists(Sibling(file, part)))
            fs::rename(Sibling(file, part), Sibling(target, part), ec);
    return target.string();
}

sql::Db OpenChecked(const fs::path& file, std::string& damage, int& rc) {
    sql::Db db =
        sql::Open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, rc);
    if (rc != SQLITE_OK) return nullptr;
    sqlite3_busy_timeout(db.get(), 2000);
    damage = CheckFile(db.get(), rc);
    return db;
}

}  // namespace

FileDescriptor LockStoreFile(const fs::path& file, std::string& error) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const fs::path lockPath = Sibling(file, ".lock");
    FileDescriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) {
        error = "cannot make " + lockPath.string() + ": " + std::strerror(errno);
        return {};
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        error = file.string() + " is in use by another sondrel; samples are not stored";
        return {};
    }
    return fd;
}

fs::path DamagedName(const fs::path& file, const std::tm& local) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, ".damaged-%Y%m%d-%H%M%S", &local);
    return Sibling(file, stamp);
}

OpenedStore OpenStoreForWriting(const fs::path& file,
                                const std::function<void(std::string_view)>& say) {
    OpenedStore out;
    int rc = SQLITE_OK;
    std::string damage;
    out.db = OpenChecked(file, damage, rc);
    if (out.db && !damage.empty()) {
        out.db.reset();
        const std::string moved = SetAside(file);
        if (moved.empty()) {
            out.error = file.string() + " is " + damage + " and cannot be moved aside";
            return out;
        }
        say("sample history: " + file.string() + " is " + damage + "; moved to " + moved +
            " and a new one started");
        out.db = OpenChecked(file, damage, rc);
    }
    if (rc == SQLITE_OK && damage.empty()) rc = MigrateSchema(out.db.get());
    if (rc == SQLITE_OK)
        rc = sql::Exec(out.db.get(), "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-65536");
    if (rc != SQLITE_OK || !damage.empty()) {
        out.error = file.string() + ": " + (out.db ? sql::Error(out.db.get()) : sqlite3_errstr(rc));
        out.db.reset();
    }
    return out;
}

}  // namespace sondrel
