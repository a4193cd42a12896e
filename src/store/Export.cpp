#include "store/Export.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "store/ExportRows.h"
#include "store/SampleBlob.h"
#include "store/Schema.h"
#include "store/Sqlite.h"

namespace sondrel {

namespace {

constexpr int64_t kDayMs = 86'400'000;
// Beyond any clock's time, yet far from where the minute arithmetic would overflow.
constexpr int64_t kFarMs = INT64_MAX / 4;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int DaysInMonth(int64_t y, int64_t m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// Reads exactly n digits at pos.
bool Digits(std::string_view s, size_t& pos, size_t n, int64_t& out) {
    if (s.size() - pos < n) return false;
    out = 0;
    for (size_t i = 0; i < n; ++i) {
        const char c = s[pos + i];
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    pos += n;
    return true;
}

bool Take(std::string_view s, size_t& pos, std::string_view one_of) {
    if (pos >= s.size() || one_of.find(s[pos]) == std::string_view::npos) return false;
    ++pos;
    return true;
}

std::optional<int64_t> ParseRelative(std::string_view s, int64_t nowMs) {
    if (s.size() < 3 || s.size() > 11 || s[0] != '-') return std::nullopt;
    size_t pos = 1;
    int64_t n = 0;
    if (!Digits(s, pos, s.size() - 2, n)) return std::nullopt;
    int64_t unit = 0;
    switch (s.back()) {
        case 's':
            unit = 1000;
            break;
        case 'm':
            unit = kMinuteMs;
            break;
        case 'h':
            unit = 60 * kMinuteMs;
            break;
        case 'd':
            unit = kDayMs;
            break;
        default:
            return std::nullopt;
    }
    int64_t out = 0;
    if (__builtin_sub_overflow(nowMs, n * unit, &out)) return std::nullopt;
    return out;
}

// Z, +hh, +hhmm, +hh:mm or nothing: the zone's offset from UTC in ms.
std::optional<int64_t> ParseZone(std::string_view s, size_t& pos) {
    if (pos == s.size()) return 0;
    if (Take(s, pos, "Zz")) return 0;
    if (pos >= s.size() || (s[pos] != '+' && s[pos] != '-')) return std::nullopt;
    const int64_t sign = s[pos++] == '-' ? -1 : 1;
    int64_t hh = 0, mm = 0;
    if (!Digits(s, pos, 2, hh) || hh > 23) return std::nullopt;
    if (pos < s.size()) {
        Take(s, pos, ":");
        if (!Digits(s, pos, 2, mm) || mm > 59) return std::nullopt;
    }
    return sign * (hh * 60 + mm) * kMinuteMs;
}

std::optional<int64_t> ParseIso(std::string_view s) {
    size_t pos = 0;
    int64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
    if (!Digits(s, pos, 4, y) || !Take(s, pos, "-") || !Digits(s, pos, 2, mo) ||
        !Take(s, pos, "-") || !Digits(s, pos, 2, d))
        return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return std::nullopt;
    if (pos < s.size()) {
        if (!Take(s, pos, "Tt") || !Digits(s, pos, 2, h) || !Take(s, pos, ":") ||
            !Digits(s, pos, 2, mi) || h > 23 || mi > 59)
            return std::nullopt;
        if (Take(s, pos, ":") && (!Digits(s, pos, 2, sec) || sec > 59)) return std::nullopt;
        if (Take(s, pos, ".")) {
            // Digits past the millisecond are accepted and dropped.
            size_t n = 0;
            for (int64_t digit = 0; n < 9 && Digits(s, pos, 1, digit); ++n)
                if (n < 3) ms = ms * 10 + digit;
            if (n == 0) return std::nullopt;
            for (; n < 3; ++n) ms *= 10;
        }
    }
    const std::optional<int64_t> zone = ParseZone(s, pos);
    if (!zone || pos != s.size()) return std::nullopt;
    return DaysFromCivil(y, mo, d) * kDayMs + ((h * 60 + mi) * 60 + sec) * 1000 + ms - *zone;
}

}  // namespace

std::optional<int64_t> ParseExportTime(std::string_view text, int64_t nowMs) {
    if (!text.empty() && text[0] == '-') return ParseRelative(text, nowMs);
    return ParseIso(text);
}

std::variant<ExportRequest, std::string> ParseExportArgs(std::span<const std::string_view> args,
                                                         int64_t nowMs) {
    ExportRequest r;
    r.sinceMs = nowMs - kDayMs;
    r.untilMs = nowMs;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view option = args[i];
        if (option != "--db" && option != "--host" && option != "--since" && option != "--until" &&
            option != "--resolution" && option != "--format")
            return "unknown argument " + std::string(option);
        if (i + 1 >= args.size()) return std::string(option) + " needs a value";
        const std::string_view value = args[++i];
        if (option == "--db") {
            r.db = std::string(value);
        } else if (option == "--host") {
            r.hosts.emplace_back(value);
        } else if (option == "--since" || option == "--until") {
            const std::optional<int64_t> t = ParseExportTime(value, nowMs);
            if (!t) return std::string(option) + ": not a time: " + std::string(value);
            (option == "--since" ? r.sinceMs : r.untilMs) = *t;
        } else if (option == "--resolution") {
            if (value != "raw" && value != "minute") return "--resolution takes raw or minute";
            r.resolution = value == "raw" ? Resolution::kRaw : Resolution::kMinute;
        } else {
            if (value != "csv" && value != "json") return "--format takes csv or json";
            r.format = value == "csv" ? ExportFormat::kCsv : ExportFormat::kJson;
        }
    }
    if (r.sinceMs > r.untilMs) return std::string("--since is later than --until");
    return r;
}

namespace {

struct Host {
    std::string address;
    int64_t id = 0;
};

// One sample on its way out; host is the index of its host in address order.
struct Item {
    Sample sample;
    uint32_t host = 0;
    bool operator<(const Item& o) const {
        return sample.timeMs != o.sample.timeMs ? sample.timeMs < o.sample.timeMs : host < o.host;
    }
};

std::span<const uint8_t> BlobColumn(sqlite3_stmt* s, int i) {
    const void* data = sqlite3_column_blob(s, i);
    const int size = sqlite3_column_bytes(s, i);
    if (!data || size <= 0) return {};
    return {static_cast<const uint8_t*>(data), static_cast<size_t>(size)};
}

std::string TextColumn(sqlite3_stmt* s, int i) {
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? reinterpret_cast<const char*>(t) : "";
}

std::optional<int64_t> IntColumn(sqlite3_stmt* s, int i) {
    if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int64(s, i);
}

// The hosts asked for that the file knows, or all of them, in the order rows list them.
bool SelectHosts(sqlite3* db, const ExportRequest& r, std::vector<Host>& hosts) {
    const bool all = r.hosts.empty();
    sql::Statement s = sql::Prepare(db, all ? "SELECT id, address FROM hosts"
                                            : "SELECT id, address FROM hosts WHERE address = ?");
    if (!s) return false;
    std::vector<std::string> wanted = r.hosts;
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    for (size_t i = 0; all ? i < 1 : i < wanted.size(); ++i) {
        if (!all)
            sqlite3_bind_text(s.get(), 1, wanted[i].data(), static_cast<int>(wanted[i].size()),
                              SQLITE_STATIC);
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
            hosts.push_back({TextColumn(s.get(), 1), sqlite3_column_int64(s.get(), 0)});
        sqlite3_reset(s.get());
        if (rc != SQLITE_DONE) return false;
    }
    std::sort(hosts.begin(), hosts.end(),
              [](const Host& a, const Host& b) { return a.address < b.address; });
    return true;
}

class RawExport {
public:
    RawExport(sqlite3* db, const ExportRequest& r, std::vector<Host> hosts, ExportRows& rows)
        : db_(db), r_(r), hosts_(std::move(hosts)), rows_(rows) {
        for (uint32_t i = 0; i < hosts_.size(); ++i) order_.emplace(hosts_[i].id, i);
    }
    bool Run();
    uint64_t damaged = 0;

private:
    bool LoadPending();
    bool NextMinute(int64_t from, sqlite3_stmt* s, std::optional<int64_t>& next);
    bool Chunk(int64_t firstMinute, int64_t lastMinute, sqlite3_stmt* s);
    bool Wanted(const Sample& x) const { return x.timeMs >= r_.sinceMs && x.timeMs < r_.untilMs; }

    sqlite3* db_;
    const ExportRequest& r_;
    std::vector<Host> hosts_;
    ExportRows& rows_;
    std::unordered_map<int64_t, uint32_t> order_;
    std::vector<Item> pending_;  // from rounds not yet moved, in time order
    size_t nextPending_ = 0;
    std::vector<Item> items_;
    std::vector<Sample> decoded_;
};

bool RawExport::LoadPending() {
    sql::Statement s = sql::Prepare(db_, "SELECT time_ms, samples FROM rounds WHERE time_ms < ?");
    if (!s) return false;
    sqlite3_bind_int64(s.get(), 1, r_.untilMs);
    std::vector<RoundEntry> entries;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        entries.clear();
        damaged += !DecodeRound(BlobColumn(s.get(), 1), sqlite3_column_int64(s.get(), 0), entries);
        for (const RoundEntry& e : entries)
            if (auto it = order_.find(e.host); it != order_.end() && Wanted(e.sample))
                pending_.push_back({e.sample, it->second});
    }
    std::stable_sort(pending_.begin(), pending_.end());
    return rc == SQLITE_DONE;
}

// The samples of minutes [first, last] of every host, with the pending ones among them.
bool RawExport::Chunk(int64_t firstMinute, int64_t lastMinute, sqlite3_stmt* s) {
    items_.clear();
    for (uint32_t i = 0; i < hosts_.size(); ++i) {
        sqlite3_bind_int64(s, 1, hosts_[i].id);
        sqlite3_bind_int64(s, 2, firstMinute);
        sqlite3_bind_int64(s, 3, lastMinute);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            decoded_.clear();
            damaged += !DecodeMinute(BlobColumn(s, 1), sqlite3_column_int64(s, 0), decoded_);
            for (const Sample& x : decoded_)
                if (Wanted(x)) items_.push_back({x, i});
        }
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) return false;
    }
    const int64_t endMs = (lastMinute + 1) * kMinuteMs;
    for (; nextPending_ < pending_.size() && pending_[nextPending_].sample.timeMs < endMs;
         ++nextPending_)
        items_.push_back(pending_[nextPending_]);
    // One host's samples come in order already.
    if (!std::is_sorted(items_.begin(), items_.end()))
        std::stable_sort(items_.begin(), items_.end());
    for (const Item& item : items_) rows_.Raw(hosts_[item.host].address, item.sample);
    return true;
}

// The first minute from `from` on that holds a sample of a wanted host, stored or pending:
// the export steps from one to the next, so gaps in the history cost nothing to cross.
bool RawExport::NextMinute(int64_t from, sqlite3_stmt* s, std::optional<int64_t>& next) {
    next.reset();
    if (nextPending_ < pending_.size()) next = MinuteOf(pending_[nextPending_].sample.timeMs);
    for (const Host& host : hosts_) {
        sqlite3_bind_int64(s, 1, host.id);
        sqlite3_bind_int64(s, 2, from);
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            next = std::min<int64_t>(next.value_or(INT64_MAX), sqlite3_column_int64(s, 0));
        sqlite3_reset(s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return false;
    }
    return true;
}

bool RawExport::Run() {
    if (hosts_.empty() || r_.sinceMs >= r_.untilMs) return true;
    if (!LoadPending()) return false;
    sql::Statement s = sql::Prepare(db_,
                                    "SELECT minute, samples FROM raw"
                                    " WHERE host = ?1 AND minute BETWEEN ?2 AND ?3");
    sql::Statement next = sql::Prepare(db_,
                                       "SELECT minute FROM raw WHERE host = ?1 AND minute >= ?2"
                                       " ORDER BY minute LIMIT 1");
    if (!s || !next) return false;
    // A few thousand host-minutes at a time keep the memory small whatever the range.
    const int64_t span = std::max<int64_t>(1, 4096 / static_cast<int64_t>(hosts_.size()));
    const int64_t last = MinuteOf(r_.untilMs - 1);
    for (int64_t from = MinuteOf(r_.sinceMs);;) {
        std::optional<int64_t> first;
        if (!NextMinute(from, next.get(), first)) return false;
        const int64_t at = first.value_or(INT64_MAX);
        if (at > last) return true;
        if (!Chunk(at, std::min(last, at + span - 1), s.get())) return false;
        from = at + span;
    }
}

std::string HostFilter(const ExportRequest& r) {
    if (r.hosts.empty()) return "";
    std::string q = " AND h.address IN (";
    for (size_t i = 0; i < r.hosts.size(); ++i) q += (i ? ",?" : "?") + std::to_string(i + 3);
    return q + ")";
}

bool MinuteExport(sqlite3* db, const ExportRequest& r, ExportRows& rows) {
    sql::Statement s =
        sql::Prepare(db,
                     "SELECT d.minute, h.address, d.sent, d.lost, d.min, d.median, d.max, d.mean"
                     " FROM hosts h JOIN minutes d ON d.host = h.id"
                     " WHERE d.minute >= ?1 AND d.minute < ?2" +
                         HostFilter(r) + " ORDER BY d.minute, h.address");
    if (!s) return false;
    // A minute counts when it starts within [since, until).
    sqlite3_bind_int64(s.get(), 1, CeilDiv(r.sinceMs, kMinuteMs));
    sqlite3_bind_int64(s.get(), 2, CeilDiv(r.untilMs, kMinuteMs));
    for (size_t i = 0; i < r.hosts.size(); ++i)
        sqlite3_bind_text(s.get(), static_cast<int>(i) + 3, r.hosts[i].data(),
                          static_cast<int>(r.hosts[i].size()), SQLITE_STATIC);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        const MinuteValues m{sqlite3_column_int64(s.get(), 0),
                             IntColumn(s.get(), 2),
                             IntColumn(s.get(), 3),
                             IntColumn(s.get(), 4),
                             IntColumn(s.get(), 5),
                             IntColumn(s.get(), 6),
                             IntColumn(s.get(), 7)};
        const auto* host = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
        rows.Minute(host ? host : "", m);
    }
    return rc == SQLITE_DONE;
}

}  // namespace

bool WriteExport(const ExportRequest& request, const std::function<void(std::string_view)>& out,
                 std::string& error) {
    // Limits further out hold nothing more, and clamped they keep the minute arithmetic
    // from overflowing.
    ExportRequest r = request;
    r.sinceMs = std::clamp(r.sinceMs, -kFarMs, kFarMs);
    r.untilMs = std::clamp(r.untilMs, -kFarMs, kFarMs);
    int rc = SQLITE_OK;
    sql::Db db = sql::Open(r.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, rc);
    const auto fail = [&] {
        error = "cannot read " + r.db.string() + ": " +
                (db ? sql::Error(db.get()) : sqlite3_errstr(rc));
        return false;
    };
    if (rc != SQLITE_OK) return fail();
    sqlite3_busy_timeout(db.get(), 5000);
    // Everything is read in one transaction, so the writer's commits in between do not show.
    if (sql::Exec(db.get(), "BEGIN") != SQLITE_OK) return fail();
    const int64_t version = sql::QueryInt(db.get(), "PRAGMA user_version", 0, &rc);
    if (rc != SQLITE_OK) return fail();
    if (version > KnownSchemaVersion()) {
        error = "cannot read " + r.db.string() + ": made by a newer sondrel (layout " +
                std::to_string(version) + ")";
        return false;
    }
    // Layout 0: a file no round was ever written to.
    const bool empty = version == 0;
    std::vector<Host> hosts;
    const bool raw = r.resolution == Resolution::kRaw;
    if (raw && !empty && !SelectHosts(db.get(), r, hosts)) return fail();
    static constexpr const char* kRawHeader[] = {"time",      "host",      "rtt_ms", "lost",
                                                 "icmp_type", "icmp_code", "ttl"};
    static constexpr const char* kMinuteHeader[] = {"time",   "host",      "sent",   "lost",
                                                    "min_ms", "median_ms", "max_ms", "mean_ms"};
    ExportRows rows(r.format, out);
    if (raw) {
        rows.Header(kRawHeader);
        RawExport e(db.get(), r, std::move(hosts), rows);
        if (!e.Run()) return fail();
        if (e.damaged) {
            rows.Finish();
            error = "cannot read " + r.db.string() + ": skipped the damaged part of " +
                    std::to_string(e.damaged) + " sample rows";
            return false;
        }
    } else {
        rows.Header(kMinuteHeader);
        if (!empty && !MinuteExport(db.get(), r, rows)) return fail();
    }
    rows.Finish();
    return true;
}

}  // namespace sondrel
