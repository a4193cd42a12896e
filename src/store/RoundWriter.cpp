#include "store/RoundWriter.h"

#include <algorithm>

#include "store/RawCodec.h"
#include "store/Rollup.h"

namespace sondrel {

namespace {

constexpr int64_t kMinuteMs = 60'000;

int64_t MinuteOf(int64_t timeMs) {
    return timeMs >= 0 ? timeMs / kMinuteMs : -((-timeMs + kMinuteMs - 1) / kMinuteMs);
}

}  // namespace

RoundWriter::RoundWriter(sql::Db db) : db_(std::move(db)) {
    sqlite3* d = db_.get();
    insertRaw_ = sql::Prepare(d, "INSERT OR IGNORE INTO raw(host, time, reply) VALUES(?, ?, ?)");
    insertHost_ = sql::Prepare(d, "INSERT INTO hosts(address) VALUES(?)");
    selectRaw_ = sql::Prepare(
        d, "SELECT time, reply FROM raw WHERE host = ? AND time >= ? AND time < ? ORDER BY time");
    insertMinute_ =
        sql::Prepare(d, "INSERT OR REPLACE INTO minutes VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    setMeta_ = sql::Prepare(d, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
    pruneRaw_ = sql::Prepare(d, "DELETE FROM raw WHERE host = ? AND time < ?");
    pruneMinutes_ = sql::Prepare(d, "DELETE FROM minutes WHERE host = ? AND minute < ?");
    rolledUntil_ = sql::QueryInt(d, "SELECT value FROM meta WHERE key = 'rolled_until'", 0);
}

bool RoundWriter::Prepared() const {
    return insertRaw_ && insertHost_ && selectRaw_ && insertMinute_ && setMeta_ && pruneRaw_ &&
           pruneMinutes_;
}

bool RoundWriter::LoadHosts() {
    hostIds_.clear();
    sql::Statement s = sql::Prepare(db_.get(), "SELECT id, address FROM hosts");
    if (!s) return false;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        hostIds_.emplace(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1)),
                         sqlite3_column_int64(s.get(), 0));
    hostsLoaded_ = rc == SQLITE_DONE;
    return hostsLoaded_;
}

int64_t RoundWriter::HostId(const std::string& address) {
    if (auto it = hostIds_.find(address); it != hostIds_.end()) return it->second;
    sqlite3_bind_text(insertHost_.get(), 1, address.data(), static_cast<int>(address.size()),
                      SQLITE_STATIC);
    if (sql::StepOnce(insertHost_.get()) != SQLITE_OK) return -1;
    const int64_t id = sqlite3_last_insert_rowid(db_.get());
    hostIds_.emplace(address, id);
    return id;
}

bool RoundWriter::Fail(std::string& error) {
    error = sql::Error(db_.get());
    sql::Exec(db_.get(), "ROLLBACK");
    // Hosts added by the lost transaction are gone from the file too.
    hostsLoaded_ = false;
    rolledUntil_ =
        sql::QueryInt(db_.get(), "SELECT value FROM meta WHERE key = 'rolled_until'", rolledUntil_);
    return false;
}

bool RoundWriter::Write(std::span<const HostSample> round, std::string& error) {
    if (!Prepared()) return Fail(error);
    if (round.empty()) return true;
    if (sql::Exec(db_.get(), "BEGIN IMMEDIATE") != SQLITE_OK) return Fail(error);
    if (!hostsLoaded_ && !LoadHosts()) return Fail(error);
    sqlite3_stmt* s = insertRaw_.get();
    int64_t earliest = round.front().sample.timeMs;
    for (const HostSample& hs : round) {
        const int64_t host = HostId(hs.host);
        if (host < 0) return Fail(error);
        sqlite3_bind_int64(s, 1, host);
        sqlite3_bind_int64(s, 2, hs.sample.timeMs);
        const std::optional<int64_t> reply = EncodeReply(hs.sample);
        sql::BindOptional(s, 3, reply.has_value(), reply.value_or(0));
        if (sql::StepOnce(s) != SQLITE_OK) return Fail(error);
        earliest = std::min(earliest, hs.sample.timeMs);
    }
    // Rounds come in order: once a round starts in a later minute, earlier ones are complete.
    if (!RollUp(MinuteOf(earliest))) return Fail(error);
    if (sql::Exec(db_.get(), "COMMIT") != SQLITE_OK) return Fail(error);
    return true;
}

bool RoundWriter::RollUp(int64_t untilMinute) {
    if (untilMinute <= rolledUntil_) return true;
    for (const auto& [address, host] : hostIds_)
        if (!RollUpHost(host, rolledUntil_, untilMinute)) return false;
    sqlite3_bind_text(setMeta_.get(), 1, "rolled_until", -1, SQLITE_STATIC);
    sqlite3_bind_int64(setMeta_.get(), 2, untilMinute);
    if (sql::StepOnce(setMeta_.get()) != SQLITE_OK) return false;
    rolledUntil_ = untilMinute;
    return true;
}

bool RoundWriter::RollUpHost(int64_t host, int64_t fromMinute, int64_t untilMinute) {
    sqlite3_stmt* s = selectRaw_.get();
    sqlite3_bind_int64(s, 1, host);
    sqlite3_bind_int64(s, 2, fromMinute * kMinuteMs);
    sqlite3_bind_int64(s, 3, untilMinute * kMinuteMs);
    std::vector<int32_t> rtts;
    int64_t minute = 0, sent = 0;
    auto store = [&] {
        const MinuteSummary m = Summarise(rtts, sent);
        sqlite3_stmt* w = insertMinute_.get();
        sqlite3_bind_int64(w, 1, host);
        sqlite3_bind_int64(w, 2, minute);
        sqlite3_bind_int64(w, 3, m.sent);
        sqlite3_bind_int64(w, 4, m.lost);
        int column = 5;
        for (const std::optional<int64_t>& v : {m.min, m.median, m.max, m.mean})
            sql::BindOptional(w, column++, v.has_value(), v.value_or(0));
        rtts.clear();
        sent = 0;
        return sql::StepOnce(w) == SQLITE_OK;
    };
    int rc = SQLITE_DONE;
    bool good = true;
    while (good && (rc = sqlite3_step(s)) == SQLITE_ROW) {
        const int64_t time = sqlite3_column_int64(s, 0);
        std::optional<int64_t> reply;
        if (sqlite3_column_type(s, 1) != SQLITE_NULL) reply = sqlite3_column_int64(s, 1);
        if (sent > 0 && MinuteOf(time) != minute) good = store();
        minute = MinuteOf(time);
        ++sent;
        if (const Sample sample = DecodeReply(time, reply); sample.Answered())
            rtts.push_back(sample.rttUs);
    }
    good = good && rc == SQLITE_DONE && (sent == 0 || store());
    sqlite3_reset(s);
    return good;
}

bool RoundWriter::Prune(int64_t rawBeforeMs, int64_t minuteBefore) {
    std::string error;
    if (!Prepared() || sql::Exec(db_.get(), "BEGIN IMMEDIATE") != SQLITE_OK) return Fail(error);
    if (!hostsLoaded_ && !LoadHosts()) return Fail(error);
    for (const auto& [address, host] : hostIds_) {
        for (const auto& [s, before] : {std::pair{pruneRaw_.get(), rawBeforeMs},
                                        std::pair{pruneMinutes_.get(), minuteBefore}}) {
            sqlite3_bind_int64(s, 1, host);
            sqlite3_bind_int64(s, 2, before);
            if (sql::StepOnce(s) != SQLITE_OK) return Fail(error);
        }
    }
    return sql::Exec(db_.get(), "COMMIT") == SQLITE_OK || Fail(error);
}

}  // namespace sondrel
