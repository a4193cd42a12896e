#include "store/ExportRows.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace sondrel {

namespace {

constexpr int64_t kDayMs = 86'400'000;
constexpr size_t kHandOut = 65'536;
constexpr size_t kRowRoom = 512;  // a row without its host text

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// YYYY-MM-DDT of a day counted from 1970-01-01.
std::string DateText(int64_t days) {
    const int64_t z = days + 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T", y, m, d);
    return text;
}

char* Two(char* p, int64_t v) {
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
    return p + 2;
}

char* Put(char* p, std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
}

// hh:mm:ss.mmmZ
char* TimeOfDay(char* p, int64_t inDay) {
    p = Two(p, inDay / 3'600'000);
    *p++ = ':';
    p = Two(p, inDay / 60'000 % 60);
    *p++ = ':';
    p = Two(p, inDay / 1000 % 60);
    *p++ = '.';
    *p++ = static_cast<char>('0' + inDay % 1000 / 100);
    p = Two(p, inDay % 100);
    *p++ = 'Z';
    return p;
}

}  // namespace

std::string FormatUtcMs(int64_t ms) {
    const int64_t days = FloorDiv(ms, kDayMs);
    std::string text = DateText(days);
    char time[16];
    text.append(time, TimeOfDay(time, ms - days * kDayMs));
    return text;
}

ExportRows::ExportRows(ExportFormat format, const std::function<void(std::string_view)>& out)
    : format_(format), out_(out), buffer_(kHandOut + 4 * kRowRoom, '\0') {}

char* ExportRows::Room(size_t n) {
    if (used_ + n > buffer_.size()) buffer_.resize(used_ + n);
    return buffer_.data() + used_;
}

void ExportRows::Done(char* end) {
    used_ = static_cast<size_t>(end - buffer_.data());
    if (used_ >= kHandOut) {
        out_(std::string_view(buffer_.data(), used_));
        used_ = 0;
    }
}

void ExportRows::Header(std::span<const char* const> names) {
    if (format_ == ExportFormat::kJson) return;
    std::string line;
    for (const char* n : names) (line += n) += ',';
    line.back() = '\n';
    Done(Put(Room(line.size()), line));
}

char* ExportRows::Begin(char* p) {
    if (format_ == ExportFormat::kJson) p = Put(p, rows_ ? ",\n{" : "[\n{");
    ++rows_;
    return p;
}

char* ExportRows::Key(char* p, std::string_view name, bool first) const {
    if (!first) *p++ = ',';
    if (format_ == ExportFormat::kCsv) return p;
    *p++ = '"';
    p = Put(p, name);
    return Put(p, "\":");
}

char* ExportRows::Time(char* p, int64_t ms) {
    const int64_t days = FloorDiv(ms, kDayMs);
    if (days != day_) {
        day_ = days;
        date_ = DateText(days);
    }
    const bool json = format_ == ExportFormat::kJson;
    if (json) *p++ = '"';
    p = TimeOfDay(Put(p, date_), ms - days * kDayMs);
    if (json) *p++ = '"';
    return p;
}

char* ExportRows::Host(char* p, std::string_view host) const {
    if (format_ == ExportFormat::kCsv) return Put(p, host);
    *p++ = '"';
    for (const char c : host) {
        if (c == '"' || c == '\\') {
            *p++ = '\\';
            *p++ = c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            p = Put(p, "\\u00");
            *p++ = "0123456789abcdef"[c >> 4];
            *p++ = "0123456789abcdef"[c & 15];
        } else {
            *p++ = c;
        }
    }
    *p++ = '"';
    return p;
}

char* ExportRows::Ms(char* p, std::optional<int64_t> us) const {
    if (!us) return format_ == ExportFormat::kJson ? Put(p, "null") : p;
    if (*us < 0) {
        char text[48];
        const int n =
            std::snprintf(text, sizeof text, "%" PRId64 ".%03" PRId64, *us / 1000, *us % 1000);
        return Put(p, std::string_view(text, static_cast<size_t>(n)));
    }
    p = std::to_chars(p, p + 24, *us / 1000).ptr;
    *p++ = '.';
    *p++ = static_cast<char>('0' + *us % 1000 / 100);
    return Two(p, *us % 100);
}

char* ExportRows::Int(char* p, std::optional<int64_t> v) const {
    if (!v) return format_ == ExportFormat::kJson ? Put(p, "null") : p;
    return std::to_chars(p, p + 24, *v).ptr;
}

char* ExportRows::End(char* p) const {
    *p++ = format_ == ExportFormat::kJson ? '}' : '\n';
    return p;
}

void ExportRows::Raw(std::string_view host, const Sample& s) {
    char* p = Begin(Room(kRowRoom + 6 * host.size()));
    p = Time(Key(p, "time", true), s.timeMs);
    p = Host(Key(p, "host", false), host);
    p = Ms(Key(p, "rtt_ms", false),
           s.rttUs != Sample::kLost ? std::optional<int64_t>(s.rttUs) : std::nullopt);
    p = Put(Key(p, "lost", false), s.Answered() ? "0" : "1");
    p = Int(Key(p, "icmp_type", false), s.icmpType);
    p = Int(Key(p, "icmp_code", false), s.icmpCode);
    p = Int(Key(p, "ttl", false), s.ttl);
    Done(End(p));
}

void ExportRows::Minute(std::string_view host, const MinuteValues& m) {
    char* p = Begin(Room(kRowRoom + 6 * host.size()));
    p = Time(Key(p, "time", true), m.minute * 60'000);
    p = Host(Key(p, "host", false), host);
    p = Int(Key(p, "sent", false), m.sent);
    p = Int(Key(p, "lost", false), m.lost);
    p = Ms(Key(p, "min_ms", false), m.min);
    p = Ms(Key(p, "median_ms", false), m.median);
    p = Ms(Key(p, "max_ms", false), m.max);
    p = Ms(Key(p, "mean_ms", false), m.mean);
    Done(End(p));
}

void ExportRows::Finish() {
    if (format_ == ExportFormat::kJson) {
        const std::string_view close = rows_ ? "\n]\n" : "[]\n";
        used_ = static_cast<size_t>(Put(Room(close.size()), close) - buffer_.data());
    }
    if (used_ > 0) out_(std::string_view(buffer_.data(), used_));
    used_ = 0;
}

}  // namespace sondrel
