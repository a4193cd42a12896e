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
    insertRecent_ =
        sql::Prepare(d, "INSERT OR IGNORE INTO recent(time, host, reply) VALUES(?, ?, ?)");
    insertHost_ = sql::Prepare(d, "INSERT INTO hosts(address) VALUES(?)");
    selectRecent_ =
        sql::Prepare(d, "SELECT host, time, reply FROM recent WHERE time < ? ORDER BY host, time");
    moveRaw_ = sql::Prepare(d, "INSERT OR IGNORE INTO raw(host, time, reply) VALUES(?, ?, ?)");
    deleteRecent_ = sql::Prepare(d, "DELETE FROM recent WHERE time < ?");
    insertMinute_ =
        sql::Prepare(d, "INSERT OR REPLACE INTO minutes VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    pruneRaw_ = sql::Prepare(d, "DELETE FROM raw WHERE host = ? AND time < ?");
    pruneMinutes_ = sql::Prepare(d, "DELETE FROM minutes WHERE host = ? AND minute < ?");
    LoadPending();
}

bool RoundWriter::Prepared() const {
    return insertRecent_ && insertHost_ && selectRecent_ && moveRaw_ && deleteRecent_ &&
           insertMinute_ && pruneRaw_ && pruneMinutes_;
}

void RoundWriter::LoadPending() {
    pendingFrom_.reset();
    sql::Statement s = sql::Prepare(db_.get(), "SELECT min(time) FROM recent");
    if (s && sqlite3_step(s.get()) == SQLITE_ROW && sqlite3_column_type(s.get(), 0) != SQLITE_NULL)
        pendingFrom_ = MinuteOf(sqlite3_column_int64(s.get(), 0));
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
    LoadPending();
    return false;
}

bool RoundWriter::Write(std::span<const HostSample> round, std::string& error) {
    if (!Prepared()) return Fail(error);
    if (round.empty()) return true;
    if (sql::Exec(db_.get(), "BEGIN IMMEDIATE") != SQLITE_OK) return Fail(error);
    if (!hostsLoaded_ && !LoadHosts()) return Fail(error);
    sqlite3_stmt* s = insertRecent_.get();
    int64_t earliest = round.front().sample.timeMs;
    for (const HostSample& hs : round) {
        const int64_t host = HostId(hs.host);
        if (host < 0) return Fail(error);
        sqlite3_bind_int64(s, 1, hs.sample.timeMs);
        sqlite3_bind_int64(s, 2, host);
        const std::optional<int64_t> reply = EncodeReply(hs.sample);
        sql::BindOptional(s, 3, reply.has_value(), reply.value_or(0));
        if (sql::StepOnce(s) != SQLITE_OK) return Fail(error);
        earliest = std::min(earliest, hs.sample.timeMs);
    }
    // Rounds come in order: once a round starts in a later minute, earlier ones are complete.
    if (!RollUp(MinuteOf(earliest))) return Fail(error);
    pendingFrom_ = std::min(pendingFrom_.value_or(MinuteOf(earliest)), MinuteOf(earliest));
    if (sql::Exec(db_.get(), "COMMIT") != SQLITE_OK) return Fail(error);
    return true;
}

// Moves the rows of the complete minutes from recent into raw, in host order, summarising
// each host's minute on the way.
bool RoundWriter::RollUp(int64_t untilMinute) {
    if (!pendingFrom_ || *pendingFrom_ >= untilMinute) return true;
    sqlite3_stmt* s = selectRecent_.get();
    sqlite3_bind_int64(s, 1, untilMinute * kMinuteMs);
    std::vector<int32_t> rtts;
    int64_t host = -1, minute = 0, sent = 0;
    int rc = SQLITE_DONE;
    bool good = true;
    while (good && (rc = sqlite3_step(s)) == SQLITE_ROW) {
        const int64_t rowHost = sqlite3_column_int64(s, 0);
        const int64_t time = sqlite3_column_int64(s, 1);
        std::optional<int64_t> reply;
        if (sqlite3_column_type(s, 2) != SQLITE_NULL) reply = sqlite3_column_int64(s, 2);
        if (sent > 0 && (rowHost != host || MinuteOf(time) != minute)) {
            good = StoreMinute(host, minute, rtts, sent);
            sent = 0;
        }
        host = rowHost;
        minute = MinuteOf(time);
        ++sent;
        if (const Sample sample = DecodeReply(time, reply); sample.Answered())
            rtts.push_back(sample.rttUs);
        sqlite3_bind_int64(moveRaw_.get(), 1, host);
        sqlite3_bind_int64(moveRaw_.get(), 2, time);
        sql::BindOptional(moveRaw_.get(), 3, reply.has_value(), reply.value_or(0));
        good = good && sql::StepOnce(moveRaw_.get()) == SQLITE_OK;
    }
    good = good && rc == SQLITE_DONE && (sent == 0 || StoreMinute(host, minute, rtts, sent));
    sqlite3_reset(s);
    sqlite3_bind_int64(deleteRecent_.get(), 1, untilMinute * kMinuteMs);
    if (!good || sql::StepOnce(deleteRecent_.get()) != SQLITE_OK) return false;
    pendingFrom_.reset();
    return true;
}

bool RoundWriter::StoreMinute(int64_t host, int64_t minute, std::vector<int32_t>& rtts,
                              int64_t sent) {
    const MinuteSummary m = Summarise(rtts, sent);
    rtts.clear();
    sqlite3_stmt* w = insertMinute_.get();
    sqlite3_bind_int64(w, 1, host);
    sqlite3_bind_int64(w, 2, minute);
    sqlite3_bind_int64(w, 3, m.sent);
    sqlite3_bind_int64(w, 4, m.lost);
    int column = 5;
    for (const std::optional<int64_t>& v : {m.min, m.median, m.max, m.mean})
        sql::BindOptional(w, column++, v.has_value(), v.value_or(0));
    return sql::StepOnce(w) == SQLITE_OK;
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
