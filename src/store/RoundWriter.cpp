#include "store/RoundWriter.h"

#include <algorithm>

#include "store/Rollup.h"

namespace sondrel {

namespace {

std::span<const uint8_t> BlobColumn(sqlite3_stmt* s, int i) {
    const void* data = sqlite3_column_blob(s, i);
    const int size = sqlite3_column_bytes(s, i);
    if (!data || size <= 0) return {};
    return {static_cast<const uint8_t*>(data), static_cast<size_t>(size)};
}

void BindBlob(sqlite3_stmt* s, int i, const std::string& blob) {
    sqlite3_bind_blob(s, i, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
}

}  // namespace

RoundWriter::RoundWriter(sql::Db db) : db_(std::move(db)) {
    sqlite3* d = db_.get();
    insertRound_ = sql::Prepare(
        d, "INSERT INTO rounds(time_ms, samples) VALUES(?1, ?2) ON CONFLICT DO NOTHING");
    selectRound_ = sql::Prepare(d, "SELECT samples FROM rounds WHERE time_ms = ?");
    updateRound_ = sql::Prepare(d, "UPDATE rounds SET samples = ?2 WHERE time_ms = ?1");
    insertHost_ = sql::Prepare(d, "INSERT INTO hosts(address) VALUES(?)");
    selectRounds_ = sql::Prepare(d, "SELECT time_ms, samples FROM rounds WHERE time_ms < ?");
    deleteRounds_ = sql::Prepare(d, "DELETE FROM rounds WHERE time_ms < ?");
    insertRaw_ = sql::Prepare(
        d, "INSERT INTO raw(host, minute, samples) VALUES(?1, ?2, ?3) ON CONFLICT DO NOTHING");
    selectRaw_ = sql::Prepare(d, "SELECT samples FROM raw WHERE host = ?1 AND minute = ?2");
    updateRaw_ = sql::Prepare(d, "UPDATE raw SET samples = ?3 WHERE host = ?1 AND minute = ?2");
    insertMinute_ =
        sql::Prepare(d, "INSERT OR REPLACE INTO minutes VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    pruneRaw_ = sql::Prepare(d, "DELETE FROM raw WHERE host = ? AND minute < ?");
    pruneMinutes_ = sql::Prepare(d, "DELETE FROM minutes WHERE host = ? AND minute < ?");
    LoadPending();
}

bool RoundWriter::Prepared() const {
    return insertRound_ && selectRound_ && updateRound_ && insertHost_ && selectRounds_ &&
           deleteRounds_ && insertRaw_ && selectRaw_ && updateRaw_ && insertMinute_ && pruneRaw_ &&
           pruneMinutes_;
}

// A round's key is its earliest time, so the oldest key bounds the oldest pending minute.
void RoundWriter::LoadPending() {
    pendingFrom_.reset();
    sql::Statement s = sql::Prepare(db_.get(), "SELECT min(time_ms) FROM rounds");
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

// Two rounds that start in the same millisecond share a row: the samples of both follow
// each other in its blob.
bool RoundWriter::InsertRound(int64_t timeMs, const std::string& blob) {
    sqlite3_bind_int64(insertRound_.get(), 1, timeMs);
    BindBlob(insertRound_.get(), 2, blob);
    if (sql::StepOnce(insertRound_.get()) != SQLITE_OK) return false;
    if (sqlite3_changes(db_.get()) > 0) return true;
    sqlite3_stmt* s = selectRound_.get();
    sqlite3_bind_int64(s, 1, timeMs);
    std::string joined;
    if (sqlite3_step(s) == SQLITE_ROW) {
        const std::span<const uint8_t> old = BlobColumn(s, 0);
        joined.assign(old.begin(), old.end());
    }
    sqlite3_reset(s);
    joined += blob;
    sqlite3_bind_int64(updateRound_.get(), 1, timeMs);
    BindBlob(updateRound_.get(), 2, joined);
    return sql::StepOnce(updateRound_.get()) == SQLITE_OK;
}

bool RoundWriter::Write(std::span<const HostSample> round, std::string& error) {
    if (!Prepared()) return Fail(error);
    if (round.empty()) return true;
    if (sql::Exec(db_.get(), "BEGIN IMMEDIATE") != SQLITE_OK) return Fail(error);
    if (!hostsLoaded_ && !LoadHosts()) return Fail(error);
    int64_t earliest = round.front().sample.timeMs;
    for (const HostSample& hs : round) earliest = std::min(earliest, hs.sample.timeMs);
    blob_.clear();
    for (const HostSample& hs : round) {
        const int64_t host = HostId(hs.host);
        if (host < 0) return Fail(error);
        AppendRoundSample(blob_, earliest, host, hs.sample);
    }
    if (!InsertRound(earliest, blob_)) return Fail(error);
    // Rounds come in order: once a round starts in a later minute, earlier ones are complete.
    if (!RollUp(MinuteOf(earliest))) return Fail(error);
    pendingFrom_ = std::min(pendingFrom_.value_or(MinuteOf(earliest)), MinuteOf(earliest));
    if (sql::Exec(db_.get(), "COMMIT") != SQLITE_OK) return Fail(error);
    return true;
}

// Moves the samples of the complete minutes from rounds into raw, one row per host and
// minute, summarising each on the way. A round that runs on past the last complete minute
// keeps its later samples in its row.
bool RoundWriter::RollUp(int64_t untilMinute) {
    if (!pendingFrom_ || *pendingFrom_ >= untilMinute) return true;
    const int64_t untilMs = untilMinute * kMinuteMs;
    std::vector<RoundEntry> moving;
    std::vector<std::pair<int64_t, std::string>> kept;
    std::vector<RoundEntry> row;
    sqlite3_stmt* s = selectRounds_.get();
    sqlite3_bind_int64(s, 1, untilMs);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const int64_t base = sqlite3_column_int64(s, 0);
        row.clear();
        // A damaged blob gives up the samples before the fault.
        DecodeRound(BlobColumn(s, 1), base, row);
        std::string rest;
        for (const RoundEntry& e : row) {
            if (e.sample.timeMs < untilMs)
                moving.push_back(e);
            else
                AppendRoundSample(rest, base, e.host, e.sample);
        }
        if (!rest.empty()) kept.emplace_back(base, std::move(rest));
    }
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) return false;
    std::sort(moving.begin(), moving.end(), [](const RoundEntry& a, const RoundEntry& b) {
        return a.host != b.host ? a.host < b.host : a.sample.timeMs < b.sample.timeMs;
    });
    std::vector<Sample> minute;
    for (size_t i = 0; i < moving.size();) {
        const int64_t host = moving[i].host, m = MinuteOf(moving[i].sample.timeMs);
        minute.clear();
        for (;
             i < moving.size() && moving[i].host == host && MinuteOf(moving[i].sample.timeMs) == m;
             ++i)
            if (minute.empty() || minute.back().timeMs != moving[i].sample.timeMs)
                minute.push_back(moving[i].sample);
        if (!StoreMinute(host, m, minute)) return false;
    }
    sqlite3_bind_int64(deleteRounds_.get(), 1, untilMs);
    if (sql::StepOnce(deleteRounds_.get()) != SQLITE_OK) return false;
    pendingFrom_.reset();
    for (const auto& [base, rest] : kept) {
        if (!InsertRound(base, rest)) return false;
        pendingFrom_ = std::min(pendingFrom_.value_or(untilMinute), untilMinute);
    }
    return true;
}

// samples: sorted by time. A minute already stored (a round that came late) is merged with
// what it holds, the earlier copy of a time winning as when it was first stored.
bool RoundWriter::StoreMinute(int64_t host, int64_t minute, std::vector<Sample>& samples) {
    sqlite3_bind_int64(insertRaw_.get(), 1, host);
    sqlite3_bind_int64(insertRaw_.get(), 2, minute);
    std::string blob = EncodeMinute(minute, samples);
    BindBlob(insertRaw_.get(), 3, blob);
    if (sql::StepOnce(insertRaw_.get()) != SQLITE_OK) return false;
    if (sqlite3_changes(db_.get()) == 0) {
        std::vector<Sample> merged;
        sqlite3_stmt* s = selectRaw_.get();
        sqlite3_bind_int64(s, 1, host);
        sqlite3_bind_int64(s, 2, minute);
        if (sqlite3_step(s) == SQLITE_ROW) DecodeMinute(BlobColumn(s, 0), minute, merged);
        sqlite3_reset(s);
        merged.insert(merged.end(), samples.begin(), samples.end());
        std::stable_sort(merged.begin(), merged.end(),
                         [](const Sample& a, const Sample& b) { return a.timeMs < b.timeMs; });
        merged.erase(
            std::unique(merged.begin(), merged.end(),
                        [](const Sample& a, const Sample& b) { return a.timeMs == b.timeMs; }),
            merged.end());
        samples = std::move(merged);
        blob = EncodeMinute(minute, samples);
        sqlite3_stmt* u = updateRaw_.get();
        sqlite3_bind_int64(u, 1, host);
        sqlite3_bind_int64(u, 2, minute);
        BindBlob(u, 3, blob);
        if (sql::StepOnce(u) != SQLITE_OK) return false;
    }
    std::vector<int32_t> rtts;
    for (const Sample& x : samples)
        if (x.Answered()) rtts.push_back(x.rttUs);
    const MinuteSummary m = Summarise(rtts, static_cast<int64_t>(samples.size()));
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
    // A raw minute goes once all of it is older than the limit.
    const int64_t rawBefore = MinuteOf(rawBeforeMs);
    for (const auto& [address, host] : hostIds_) {
        for (const auto& [s, before] : {std::pair{pruneRaw_.get(), rawBefore},
                                        std::pair{pruneMinutes_.get(), minuteBefore}}) {
            sqlite3_bind_int64(s, 1, host);
            sqlite3_bind_int64(s, 2, before);
            if (sql::StepOnce(s) != SQLITE_OK) return Fail(error);
        }
    }
    return sql::Exec(db_.get(), "COMMIT") == SQLITE_OK || Fail(error);
}

}  // namespace sondrel
