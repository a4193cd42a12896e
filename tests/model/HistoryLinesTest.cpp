#include <gtest/gtest.h>

#include "model/History.h"

// std::tm is written with designated initializers: the fields left out are zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace sondrel {
namespace {

using Lines = std::vector<std::string>;

// Splits on '|'; an empty piece is an empty line.
Lines Split(std::string_view text) {
    Lines lines(1);
    for (char c : text) {
        if (c == '|')
            lines.emplace_back();
        else
            lines.back().push_back(c);
    }
    return lines;
}

TEST(HistoryLines, LinesOfEveryKindComeBackExactlyInOrder) {
    // Near misses of the short forms beside what they must not be mistaken for.
    Lines lines = Split(
        "ttl=64,time=0,bytes=32|ttl=-7,time=2147483647,bytes=-2147483648\n|ttl=01,time=0,bytes=3\n"
        "|ttl=-0,time=0,bytes=0\n|ttl=2147483648,time=0,bytes=0\n|ttl=1,time=2,bytes=3,\n"
        "|request timeout.|request timeout.\r\n||\n|\x80\xff\n|Mon Jan 5 09:08:07 2026\n"
        "|Mon Jan 05 09:08:07 02026\n|Mon Jan 05 09:08:07 -1\n|Mon Jan 05 09:08:07 8192\n"
        "|Mon Jan 05 09:08:07 2026|Mon Jan 05 09:08:07 2026\r\n|Sun Jan 05 99:60:07 0\n");
    lines.push_back(std::string(300, '\0') + "\n");
    // Stamps of every weekday, month and day, each beside an event of the program's own.
    const size_t stamps = lines.size();
    const std::string_view events[] = {kEventAdded, kEventRebuilt, kEventTimeout, kEventRemoved,
                                       kEventDropped};
    for (int i = 0; i < 7 * 12 * 2; ++i) {
        const std::tm t{.tm_sec = i % 61,
                        .tm_min = i % 60,
                        .tm_hour = i % 24,
                        .tm_mday = i % 32,
                        .tm_mon = i % 12,
                        .tm_year = i * 97 % 8192 - 1900,
                        .tm_wday = i % 7};
        lines.push_back(FormatTimeStamp(t));
        lines.push_back(std::string(events[i % 5]) + "\n");
    }
    HistoryLines kept;
    for (const std::string& line : lines) kept.push_back(line);
    EXPECT_TRUE(kept.ToVector() == lines && kept.size() == lines.size() &&
                kept.at(11) == lines[11]);
    EXPECT_EQ(HistoryLines(kept), lines);
    // Whole events are the same lines, and a typical one takes a few bytes.
    HistoryLines appended;
    Lines expected;
    for (int i = 0; i < 50; ++i) {
        const std::string echo = "ttl=" + std::to_string(i * 5) + ",time=" + std::to_string(i) +
                                 ",bytes=" + std::to_string(i << 10);
        AppendHistoryEvent(appended, lines[stamps + i * 2], echo);
        AppendHistoryEvent(expected, lines[stamps + i * 2], echo);
    }
    EXPECT_EQ(appended, expected);
    EXPECT_LE(appended.HeapBytes(), 50u * 20);
    appended.clear();
    EXPECT_EQ(appended.HeapBytes(), 0u);
}

}  // namespace
}  // namespace sondrel
