#include "model/ReplyRules.h"

#include <charconv>
#include <climits>
#include <cstdio>

#include "model/History.h"

namespace sondrel {

namespace {

constexpr int32_t kSmoothAbove = 20;     // ms; faster replies are shown as they are
constexpr size_t kColumnReadLimit = 19;  // characters of column 2 that are looked at

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v));
}

// One %d conversion: blanks, an optional sign, at least one digit.
bool ScanInt(std::string_view& text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !IsDigit(text[i])) return false;
    int64_t v = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (v <= INT64_C(1) << 33) v = v * 10 + (text[i] - '0');
    }
    value = Clamp32(negative ? -v : v);
    text.remove_prefix(i);
    return true;
}

bool ScanLiteral(std::string_view& text, std::string_view literal) {
    if (text.substr(0, literal.size()) != literal) return false;
    text.remove_prefix(literal.size());
    return true;
}

std::string Decimal(int32_t value) {
    char buf[16];
    const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    return std::string(buf, end);
}

int32_t ShownTime(int32_t time, std::string_view column) {
    if (time <= kSmoothAbove) return time;
    column = column.substr(0, kColumnReadLimit);
    if (column.empty() || column == "*" || column == "timeout") return time;
    const double shown = 0.9 * LeadingInteger(column) + 0.1 * time;
    return static_cast<int32_t>(shown);
}

// Only while answers are fewer than requests: a duplicated reply, or the answer to a request
// that went out before the host's first round was counted, would otherwise make the loss
// negative.
void CountEcho(HostRecord& r, int32_t time) {
    if (r.m_nReceived >= r.m_nSent) return;
    ++r.m_nReceived;
    if (r.m_nMinTime < 0 || r.m_nMinTime > time) r.m_nMinTime = time;
    if (r.m_nMaxTime < 0 || r.m_nMaxTime < time) r.m_nMaxTime = time;
    // 64-bit sum: the 32-bit product overflows after some ten thousand slow replies.
    const int64_t sum = int64_t{r.m_nReceived - 1} * r.m_nAvgTime + time;
    r.m_nAvgTime = static_cast<int32_t>(sum / r.m_nReceived);
}

}  // namespace

ResultColumns NewRowColumns() { return ResultColumns{"", "*", ""}; }

ResultColumns RowResults::Texts() const {
    switch (kind) {
        case Kind::Waiting:
            return NewRowColumns();
        case Kind::Echo:
            return {Decimal(ttl), Decimal(time), Decimal(bytes)};
        case Kind::Timeout:
            return TimeoutColumns();
        case Kind::Blank:
            break;
    }
    return {};
}

std::string RowResults::TimeText() const {
    switch (kind) {
        case Kind::Waiting:
            return "*";
        case Kind::Echo:
            return Decimal(time);
        case Kind::Timeout:
            return "timeout";
        case Kind::Blank:
            break;
    }
    return {};
}
ResultColumns TimeoutColumns() { return ResultColumns{"", "timeout", ""}; }

bool IsEchoReplyText(std::string_view text) {
    return text.find("ttl") != std::string_view::npos &&
           text.find("bytes") != std::string_view::npos &&
           text.find("time") != std::string_view::npos;
}

EchoValues ParseEchoReply(std::string_view text) {
    EchoValues v;
    (void)(ScanLiteral(text, "ttl=") && ScanInt(text, v.ttl) && ScanLiteral(text, ",time=") &&
           ScanInt(text, v.time) && ScanLiteral(text, ",bytes=") && ScanInt(text, v.bytes));
    return v;
}

int32_t ReadLikeAtoi(std::string_view text) {
    int32_t value = 0;
    return ScanInt(text, value) ? value : 0;
}

int32_t LeadingInteger(std::string_view text) {
    return ReadLikeAtoi(text.substr(0, kColumnReadLimit));
}

ReplyOutcome ApplyReply(HostRecord& record, std::string_view replyText,
                        std::optional<std::string_view> rowTime, std::string_view stampLine,
                        bool keepHistory) {
    ReplyOutcome out;
    record.m_bReplied = 1;
    if (!rowTime) return out;
    out.rowChanged = true;
    out.stamp = WithoutLineEnd(stampLine);
    out.event = replyText;
    if (keepHistory) AppendHistoryEvent(record.m_history, stampLine, replyText);
    out.echo = IsEchoReplyText(replyText);
    if (out.echo) {
        const EchoValues v = ParseEchoReply(replyText);
        CountEcho(record, v.time);
        out.results = {RowResults::Kind::Echo, v.ttl, ShownTime(v.time, *rowTime), v.bytes};
    } else {
        const bool timedOut = replyText.find("timeout") != std::string_view::npos;
        out.results.kind = timedOut ? RowResults::Kind::Timeout : RowResults::Kind::Blank;
    }
    return out;
}

bool ApplyTimeout(HostRecord& record, bool hasRow, std::string_view stampLine) {
    if (record.m_bReplied) {
        record.m_bReplied = 0;
        return false;
    }
    if (!hasRow) return false;
    AppendHistoryEvent(record.m_history, stampLine, kEventTimeout);
    return true;
}

std::vector<uint32_t> TimeoutPass(HostTable& hosts,
                                  const std::function<bool(uint32_t, HostRecord&)>& hasRow,
                                  std::string_view stampLine) {
    // Each host's own part does not depend on the others, so the pass sweeps the records in
    // memory order; only the hosts it reports are put in table order, the order they are told.
    std::vector<uint32_t> reported;
    hosts.ForEachUnordered([&](uint32_t address, HostRecord& record) {
        // The row search is only needed for hosts still waiting.
        const bool row = !record.m_bReplied && hasRow(address, record);
        if (ApplyTimeout(record, row, stampLine)) reported.push_back(address);
    });
    hosts.SortInTableOrder(reported);
    return reported;
}

void CountRoundSent(HostTable& hosts) {
    hosts.ForEachUnordered([](uint32_t, HostRecord& record) {
        if (record.m_nSent < INT32_MAX) ++record.m_nSent;
    });
}

std::string CountText(int32_t value) { return Decimal(value); }

std::string MillisecondsText(int32_t value) { return Decimal(value) + " ms"; }

std::string PreciseMillisecondsText(int32_t microseconds) {
    if (microseconds < 0) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%03d ms", microseconds / 1000, microseconds % 1000);
    return buf;
}

std::optional<std::string> LostText(int32_t sent, int32_t received) {
    if (sent <= 0) return std::nullopt;
    const int64_t lost = int64_t{sent} - received;
    const int64_t rate = lost * 100 / sent;
    char buf[64];
    char* end = std::to_chars(buf, buf + 24, lost).ptr;
    *end++ = ' ', *end++ = '(';
    end = std::to_chars(end, end + 24, rate).ptr;
    const std::string_view tail = "% loss)";
    return std::string(buf, end).append(tail);
}

std::string SpeedText(int32_t mean) { return Decimal(960 / (mean == 0 ? 1 : mean)); }

namespace {
DetailsFields FieldsWithSpeed(const HostRecord& r, std::string speed) {
    DetailsFields f;
    f.sent = CountText(r.m_nSent);
    f.received = CountText(r.m_nReceived);
    f.lost = LostText(r.m_nSent, r.m_nReceived);
    f.minTime = MillisecondsText(r.m_nMinTime);
    f.maxTime = MillisecondsText(r.m_nMaxTime);
    f.avgTime = MillisecondsText(r.m_nAvgTime);
    f.speed = std::move(speed);
    return f;
}
}  // namespace

DetailsFields DetailsFieldsAfterReply(const HostRecord& r) {
    return FieldsWithSpeed(r, SpeedText(r.m_nAvgTime));
}

DetailsFields DetailsFieldsOnOpen(const HostRecord& r) {
    return FieldsWithSpeed(r, r.m_nReceived > 0 ? SpeedText(r.m_nAvgTime) : CountText(0));
}

}  // namespace sondrel
