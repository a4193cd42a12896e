#include <gtest/gtest.h>

#include "model/HostTable.h"
#include "model/ReplyRules.h"
#include "platform/AddressText.h"

// Records are written with designated initializers: the fields left out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace sondrel {
namespace {

const std::string kStamp = "Mon Jan 05 09:08:07 2026\n";
using Lines = std::vector<std::string>;

std::string Echo(int ttl, int time) {
    return "ttl=" + std::to_string(ttl) + ",time=" + std::to_string(time) + ",bytes=32";
}

TEST(ReplyRules, ShownTimeIsSmoothedAboveTwentyMsOnly) {
    const struct {
        std::string column;
        int time;
        std::string shown;
    } cases[] = {{"100", 200, "110"},
                 {"*", 200, "200"},
                 {"timeout", 200, "200"},
                 {"", 200, "200"},
                 {"500", 20, "20"},
                 {"500", 21, "452"},
                 {"33", 27, "32"},  // 29.7 + 2.7, truncated
                 {"  +50ms", 100, "55"},
                 {"abc", 100, "10"},
                 {"-100", 100, "-80"},
                 {"timeouts", 100, "10"},
                 {"0000000000000000001"
                  "9",
                  30, "3"},  // only 19 characters are read
                 {"99999999999", 30, "1932735285"}};
    for (const auto& c : cases) {
        HostRecord r{.m_nSent = 1};
        const ReplyOutcome out = ApplyReply(r, Echo(64, c.time), c.column, kStamp);
        EXPECT_EQ(out.results.Texts().time, c.shown) << '"' << c.column << "\" " << c.time;
        EXPECT_EQ(r.m_nAvgTime, c.time) << "the statistics use the raw time";
    }
}

TEST(ReplyRules, FirstReplyThenMeanMinMaxAcrossReplies) {
    HostRecord r{.m_bReplied = 0, .m_nSent = 1};
    EXPECT_FALSE(ApplyReply(r, Echo(57, 10), std::nullopt, kStamp).rowChanged);
    EXPECT_EQ(r, HostRecord{.m_nSent = 1}) << "without a row only m_bReplied changes";
    r.m_bReplied = 0;
    const std::string echo = Echo(57, 10);  // the outcome's texts are views into it
    const ReplyOutcome out = ApplyReply(r, echo, std::string_view("*"), kStamp);
    EXPECT_TRUE(out.echo && r.m_bReplied == 1);
    EXPECT_EQ(out.results.Texts(), (ResultColumns{"57", "10", "32"}));
    EXPECT_EQ(r.m_history, (Lines{kStamp, Echo(57, 10) + "\n"}));
    EXPECT_EQ(std::string(out.stamp) + "|" + std::string(out.event),
              "Mon Jan 05 09:08:07 2026|" + Echo(57, 10));
    // Replies beyond the requests sent (duplicates) show in the row and the history but
    // leave the counts and times alone.
    const struct {
        int sent, time, mean, min, max, received;
    } steps[] = {{1, 99, 10, 10, 10, 1},
                 {2, 20, 15, 10, 20, 2},
                 {3, 31, 20, 10, 31, 3},
                 {3, 0, 20, 10, 31, 3},
                 {4, 0, 15, 0, 31, 4}};
    for (const auto& s : steps) {
        r.m_nSent = s.sent, r.m_bReplied = 0;
        const std::string echo = Echo(64, s.time);
        const ReplyOutcome dup = ApplyReply(r, echo, std::string_view("*"), kStamp);
        EXPECT_EQ((std::vector<int>{r.m_nAvgTime, r.m_nMinTime, r.m_nMaxTime, r.m_nReceived}),
                  (std::vector<int>{s.mean, s.min, s.max, s.received}))
            << "after " << s.time;
        EXPECT_TRUE(dup.rowChanged && r.m_bReplied == 1 &&
                    r.m_history.back() == std::string(dup.event) + "\n");
        EXPECT_EQ(dup.results.Texts().time, std::to_string(s.time));
    }
    // A long-running mean must not overflow.
    r.m_nSent = 2000000, r.m_nReceived = 1000000, r.m_nAvgTime = 5000;
    ApplyReply(r, Echo(64, 5000), std::string_view("5000"), kStamp);
    EXPECT_EQ(r.m_nAvgTime, 5000);
}

TEST(ReplyRules, ErrorTextsEmptyTheColumnsAndKeepTheCounters) {
    const struct {
        std::string text;
        ResultColumns columns;
    } cases[] = {// all three words make an echo reply
                 {"10.0.0.1:host unreachable", {"", "", ""}},
                 {"ttl exceeded: timeout in transit", {"", "timeout", ""}},
                 {"ttl=1,time=2", {"", "", ""}}};
    for (const auto& c : cases) {
        HostRecord r{.m_bReplied = 0,
                     .m_nSent = 4,
                     .m_nReceived = 2,
                     .m_nMinTime = 5,
                     .m_nMaxTime = 9,
                     .m_nAvgTime = 7};
        HostRecord expected = r;
        expected.m_bReplied = 1, expected.m_history = {kStamp, c.text + "\n"};
        const ReplyOutcome out = ApplyReply(r, c.text, std::string_view("100"), kStamp);
        EXPECT_TRUE(out.rowChanged && !out.echo && out.results.Texts() == c.columns &&
                    r == expected)
            << c.text;
    }
    const EchoValues partial = ParseEchoReply("ttl=64,time=x,bytes=32");
    EXPECT_EQ((std::vector<int>{partial.ttl, partial.time, partial.bytes}),
              (std::vector<int>{64, 0, 0}));
}

TEST(ReplyRules, RepliedStateThroughATimeoutPass) {
    const struct {
        int8_t replied;
        bool hasRow;
        bool reported;
    } cases[] = {
        {1, true, false}, {1, false, false}, {7, true, false}, {0, true, true}, {0, false, false}};
    for (const auto& c : cases) {
        HostRecord r{.m_bReplied = c.replied, .m_nSent = 3};
        EXPECT_EQ(ApplyTimeout(r, c.hasRow, kStamp), c.reported) << c.replied << " " << c.hasRow;
        const Lines history = c.reported ? Lines{kStamp, "request timeout.\n"} : Lines{};
        EXPECT_EQ(r, (HostRecord{.m_history = history, .m_bReplied = 0, .m_nSent = 3}));
    }
}

TEST(ReplyRules, DetailsFieldTextsForOddCounts) {
    // lost (or "-": none), speed after a reply, speed on opening
    const struct {
        int32_t sent, received, avg;
        std::string texts;
    } cases[] = {{0, 0, 0, "-|960|0"},
                 {2, 3, 1, "-1 (-50% loss)|960|960"},
                 {2000000000, 0, 0, "2000000000 (100% loss)|960|0"}};
    for (const auto& c : cases) {
        const HostRecord r{.m_nSent = c.sent, .m_nReceived = c.received, .m_nAvgTime = c.avg};
        const DetailsFields after = DetailsFieldsAfterReply(r);
        EXPECT_EQ(after.lost.value_or("-") + "|" + after.speed + "|" + DetailsFieldsOnOpen(r).speed,
                  c.texts)
            << c.sent;
    }
    for (const auto& [us, text] : {std::pair{52, "0.052 ms"}, std::pair{0, "0.000 ms"},
                                   std::pair{12345678, "12345.678 ms"}, std::pair{-1, ""}})
        EXPECT_EQ(PreciseMillisecondsText(us), text);
}

}  // namespace
}  // namespace sondrel
