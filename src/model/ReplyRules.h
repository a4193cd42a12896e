#pragma once
// What a reply text or a timeout pass does to a host record, to the three result columns of
// its row and to its history. The view only writes the returned texts into its widgets.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/HostRecord.h"
#include "model/HostTable.h"

namespace sondrel {

// Columns 1 ("ttl"), 2 ("time(ms)") and 3 ("bytes") of a host's row.
struct ResultColumns {
    std::string ttl;
    std::string time;
    std::string bytes;
    bool operator==(const ResultColumns&) const = default;
};

// Texts of a freshly made row: empty, "*", empty.
ResultColumns NewRowColumns();

// The same three columns as a row keeps them: numbers, their texts made when shown. A row
// of a million-host list keeps sixteen bytes of results instead of three strings.
struct RowResults {
    enum class Kind : uint8_t {
        Waiting,  // "*": no answer yet
        Echo,     // ttl, time and bytes
        Timeout,  // "timeout"
        Blank,    // an error text: all three columns empty
    };
    Kind kind = Kind::Waiting;
    int32_t ttl = 0;
    int32_t time = 0;
    int32_t bytes = 0;

    static RowResults TimedOut() { return {Kind::Timeout, 0, 0, 0}; }
    ResultColumns Texts() const;
    // Column 2 alone, as the smoothing of the next reply reads it.
    std::string TimeText() const;
    bool operator==(const RowResults&) const = default;
};

// Values of an echo reply text "ttl=%d,time=%d,bytes=%d"; values the text does not reach
// stay 0.
struct EchoValues {
    int32_t ttl = 0;
    int32_t time = 0;
    int32_t bytes = 0;
};
// True when the text holds each of "ttl", "bytes" and "time".
bool IsEchoReplyText(std::string_view text);
EchoValues ParseEchoReply(std::string_view text);
// Reads a number the way the C library's atoi does (leading blanks, optional sign, digits up
// to the first other character, 0 without digits), saturating at the 32-bit range instead of
// overflowing.
int32_t ReadLikeAtoi(std::string_view text);
// The runtime's atoi on at most the first 19 characters, clamped to 32 bits.
int32_t LeadingInteger(std::string_view text);

// Outcome of a reply for the view.
struct ReplyOutcome {
    bool rowChanged = false;  // false: no row, nothing but m_bReplied changed
    bool echo = false;        // an echo reply (true) or an error text
    RowResults results;       // new columns 1..3 when rowChanged (their texts: Texts())
    // Views into the stamp line and reply text given, which must outlive them.
    std::string_view stamp;  // the event's time stamp without its newline (log row, column 0)
    std::string_view event;  // the event text (log row, column 1)
};

// A reply or error text for a host in the table. rowTime is the current text of column 2 of
// the host's row, or nullopt when the host has no row. stampLine is the time stamp line
// (with its newline). Sets m_bReplied; when there is a row, appends the two history lines
// and returns the new columns. An echo reply counts in the statistics only while the host
// has received fewer replies than requests were sent to it. Without keepHistory the history
// lines are not written (nothing would read them).
ReplyOutcome ApplyReply(HostRecord& record, std::string_view replyText,
                        std::optional<std::string_view> rowTime, std::string_view stampLine,
                        bool keepHistory = true);

// One host in a timeout pass: a host that answered becomes waiting (returns false); a
// waiting host with a row gets "request timeout." in its history (returns true, the row
// then shows TimeoutColumns()).
bool ApplyTimeout(HostRecord& record, bool hasRow, std::string_view stampLine);
ResultColumns TimeoutColumns();

// The whole pass over the table. hasRow tells whether a host has a row. Returns the reported
// hosts, in table order.
std::vector<uint32_t> TimeoutPass(HostTable& hosts,
                                  const std::function<bool(uint32_t, HostRecord&)>& hasRow,
                                  std::string_view stampLine);

// Round start: every host's sent count goes up by one, stopping at the 32-bit maximum.
void CountRoundSent(HostTable& hosts);

// Texts of the details window's statistics fields.
std::string CountText(int32_t value);         // "%d"
std::string MillisecondsText(int32_t value);  // "%d ms"
// Microseconds as milliseconds with three decimals ("0.052 ms"); empty for a negative value.
std::string PreciseMillisecondsText(int32_t microseconds);
// "%d (%d%% loss)", or nullopt while nothing was sent (the field keeps its text).
std::optional<std::string> LostText(int32_t sent, int32_t received);
// 960 / mean, a mean of 0 counting as 1.
std::string SpeedText(int32_t mean);

struct DetailsFields {
    std::string sent;                 // 1030
    std::string received;             // 1031
    std::optional<std::string> lost;  // 1032, written only while sent > 0
    std::string minTime;              // 1033
    std::string maxTime;              // 1034
    std::string avgTime;              // 1035
    std::string speed;                // 1036
};
// Fields when the window is filled for a host: speed 0 until the first reply.
DetailsFields DetailsFieldsOnOpen(const HostRecord& record);
// Fields rewritten after a reply or error text: the speed always from the mean.
DetailsFields DetailsFieldsAfterReply(const HostRecord& record);

}  // namespace sondrel
