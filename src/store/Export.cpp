#include "store/Export.h"

#include <cinttypes>
#include <cstdio>

#include "store/RawCodec.h"
#include "store/Sqlite.h"

namespace sondrel {

namespace {

constexpr int64_t kMinuteMs = 60'000;
constexpr int64_t kDayMs = 86'400'000;

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

std::string MsText(int64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64 ".%03" PRId64, us / 1000, us % 1000);
    return text;
}

}  // namespace

std::optional<int64_t> ParseExportTime(std::string_view text, int64_t nowMs) {
    if (!text.empty() && text[0] == '-') return ParseRelative(text, nowMs);
    return ParseIso(text);
}

std::string FormatUtcMs(int64_t ms) {
    const int64_t days = FloorDiv(ms, kDayMs);
    const int64_t inDay = ms - days * kDayMs;
    const int64_t z = days + 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2);
    char text[160];
    std::snprintf(text, sizeof text,
                  "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64 ":%02" PRId64 ":%02" PRId64
                  ".%03" PRId64 "Z",
                  y, m, d, inDay / 3'600'000, inDay / kMinuteMs % 60, inDay / 1000 % 60,
                  inDay % 1000);
    return text;
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

// One output row: the text fields and the numeric ones, absent values as null / empty.
struct Field {
    const char* name;
    std::optional<std::string> value;
    bool quoted = false;
};

class RowWriter {
public:
    RowWriter(ExportFormat format, const std::function<void(std::string_view)>& out)
        : format_(format), out_(out) {}
    ~RowWriter() {
        buffer_ += format_ == ExportFormat::kJson ? (rows_ ? "\n]\n" : "[]\n") : "";
        out_(buffer_);
    }
    void Header(std::span<const char* const> names) {
        if (format_ == ExportFormat::kJson) return;
        for (const char* n : names) (buffer_ += n) += ',';
        buffer_.back() = '\n';
    }
    void Row(std::span<const Field> fields) {
        if (format_ == ExportFormat::kCsv) {
            for (const Field& f : fields) (buffer_ += f.value.value_or("")) += ',';
            buffer_.back() = '\n';
        } else {
            buffer_ += rows_ ? ",\n{" : "[\n{";
            for (const Field& f : fields) {
                ((buffer_ += '"') += f.name) += "\":";
                if (!f.value)
                    buffer_ += "null";
                else if (f.quoted)
                    JsonString(*f.value);
                else
                    buffer_ += *f.value;
                buffer_ += ',';
            }
            buffer_.back() = '}';
        }
        ++rows_;
        if (buffer_.size() > 65536) {
            out_(buffer_);
            buffer_.clear();
        }
    }

private:
    void JsonString(std::string_view s) {
        buffer_ += '"';
        for (const char c : s) {
            if (c == '"' || c == '\\') {
                (buffer_ += '\\') += c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                buffer_ += esc;
            } else {
                buffer_ += c;
            }
        }
        buffer_ += '"';
    }

    ExportFormat format_;
    const std::function<void(std::string_view)>& out_;
    std::string buffer_;
    uint64_t rows_ = 0;
};

std::optional<std::string> Column(sqlite3_stmt* s, int i) {
    if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
    return std::to_string(sqlite3_column_int64(s, i));
}

std::optional<std::string> MsColumn(sqlite3_stmt* s, int i) {
    if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
    return MsText(sqlite3_column_int64(s, i));
}

std::string Text(sqlite3_stmt* s, int i) {
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? reinterpret_cast<const char*>(t) : "";
}

void RawRow(sqlite3_stmt* s, RowWriter& w) {
    std::optional<int64_t> reply;
    if (sqlite3_column_type(s, 2) != SQLITE_NULL) reply = sqlite3_column_int64(s, 2);
    const Sample x = DecodeReply(sqlite3_column_int64(s, 0), reply);
    std::optional<std::string> rtt;
    if (x.rttUs != Sample::kLost) rtt = MsText(x.rttUs);
    const Field fields[] = {{"time", FormatUtcMs(x.timeMs), true},
                            {"host", Text(s, 1), true},
                            {"rtt_ms", rtt},
                            {"lost", x.Answered() ? "0" : "1"},
                            {"icmp_type", std::to_string(x.icmpType)},
                            {"icmp_code", std::to_string(x.icmpCode)},
                            {"ttl", std::to_string(x.ttl)}};
    w.Row(fields);
}

void MinuteRow(sqlite3_stmt* s, RowWriter& w) {
    const Field fields[] = {{"time", FormatUtcMs(sqlite3_column_int64(s, 0) * kMinuteMs), true},
                            {"host", Text(s, 1), true},
                            {"sent", Column(s, 2)},
                            {"lost", Column(s, 3)},
                            {"min_ms", MsColumn(s, 4)},
                            {"median_ms", MsColumn(s, 5)},
                            {"max_ms", MsColumn(s, 6)},
                            {"mean_ms", MsColumn(s, 7)}};
    w.Row(fields);
}

std::string HostFilter(const ExportRequest& r) {
    if (r.hosts.empty()) return "";
    std::string q = " AND h.address IN (";
    for (size_t i = 0; i < r.hosts.size(); ++i) q += (i ? ",?" : "?") + std::to_string(i + 3);
    return q + ")";
}

// Rows not yet rolled up are still in recent; each arm comes sorted and SQLite merges them.
std::string QueryText(const ExportRequest& r) {
    if (r.resolution == Resolution::kMinute)
        return "SELECT d.minute, h.address, d.sent, d.lost, d.min, d.median, d.max, d.mean"
               " FROM hosts h JOIN minutes d ON d.host = h.id"
               " WHERE d.minute >= ?1 AND d.minute < ?2" +
               HostFilter(r) + " ORDER BY d.minute, h.address";
    std::string q;
    for (const char* table : {"raw", "recent"}) {
        if (!q.empty()) q += " UNION ALL ";
        q += std::string("SELECT d.time, h.address, d.reply FROM hosts h JOIN ") + table +
             " d ON d.host = h.id WHERE d.time >= ?1 AND d.time < ?2" + HostFilter(r);
    }
    return q + " ORDER BY 1, 2";
}

}  // namespace

bool WriteExport(const ExportRequest& r, const std::function<void(std::string_view)>& out,
                 std::string& error) {
    int rc = SQLITE_OK;
    sql::Db db = sql::Open(r.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, rc);
    sql::Statement s;
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db.get(), 5000);
        s = sql::Prepare(db.get(), QueryText(r));
    }
    if (!s) {
        error = "cannot read " + r.db.string() + ": " +
                (db ? sql::Error(db.get()) : sqlite3_errstr(rc));
        return false;
    }
    const bool raw = r.resolution == Resolution::kRaw;
    // A minute counts when it starts within [since, until).
    sqlite3_bind_int64(s.get(), 1, raw ? r.sinceMs : CeilDiv(r.sinceMs, kMinuteMs));
    sqlite3_bind_int64(s.get(), 2, raw ? r.untilMs : CeilDiv(r.untilMs, kMinuteMs));
    for (size_t i = 0; i < r.hosts.size(); ++i)
        sqlite3_bind_text(s.get(), static_cast<int>(i) + 3, r.hosts[i].data(),
                          static_cast<int>(r.hosts[i].size()), SQLITE_STATIC);
    static constexpr const char* kRawHeader[] = {"time",      "host",      "rtt_ms", "lost",
                                                 "icmp_type", "icmp_code", "ttl"};
    static constexpr const char* kMinuteHeader[] = {"time",   "host",      "sent",   "lost",
                                                    "min_ms", "median_ms", "max_ms", "mean_ms"};
    RowWriter w(r.format, out);
    if (raw)
        w.Header(kRawHeader);
    else
        w.Header(kMinuteHeader);
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        raw ? RawRow(s.get(), w) : MinuteRow(s.get(), w);
    if (rc != SQLITE_DONE) {
        error = "cannot read " + r.db.string() + ": " + sql::Error(db.get());
        return false;
    }
    return true;
}

}  // namespace sondrel
