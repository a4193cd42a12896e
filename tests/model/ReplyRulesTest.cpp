#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "model/AddressText.h"
#include "model/HostTable.h"
#include "model/ReplyRules.h"

namespace sondrel {
namespace {

const std::string kStamp = "Mon Jan 05 09:08:07 2026\n";

std::string Echo(int ttl, int time) {
    return "ttl=" + std::to_string(ttl) + ",time=" + std::to_string(time) + ",bytes=32";
}

// --- Shown time: smoothing above 20 ms only ---------------------------------------

struct ShownCase {
    const char* name;
    std::string column;
    int time;
    std::string shown;
};

class ShownTime : public ::testing::TestWithParam<ShownCase> {};

TEST_P(ShownTime, Column2) {
    const auto& c = GetParam();
    HostRecord r;
    const ReplyOutcome out = ApplyReply(r, Echo(64, c.time), c.column, kStamp);
    ASSERT_TRUE(out.rowChanged);
    EXPECT_EQ(out.columns.time, c.shown);
    EXPECT_EQ(r.m_nAvgTime, c.time) << "the statistics use the raw time";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShownTime,
    ::testing::Values(ShownCase{"Smoothed", "100", 200, "110"}, ShownCase{"NewRow", "*", 200, "200"},
                      ShownCase{"AfterTimeout", "timeout", 200, "200"}, ShownCase{"AfterError", "", 200, "200"},
                      ShownCase{"TwentyNeverSmoothed", "500", 20, "20"},
                      ShownCase{"TwentyOneSmoothed", "500", 21, "452"},  // 450 + 2.1
                      ShownCase{"Truncated", "33", 27, "32"},             // 29.7 + 2.7 = 32.4
                      ShownCase{"AtoiLeadingBlanks", "  +50ms", 100, "55"},
                      ShownCase{"AtoiNoDigits", "abc", 100, "10"},
                      ShownCase{"AtoiNegative", "-100", 100, "-80"},
                      ShownCase{"TimeoutPrefixIsANumber", "timeouts", 100, "10"},
                      // Only 19 characters are read: the 20th digit is not seen.
                      ShownCase{"NineteenCharacters", "0000000000000000001" "9", 30, "3"},
                      ShownCase{"HugeColumnClamped", "99999999999", 30, "1932735285"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Statistics over a sequence of replies ------------------------------------------

TEST(ReplyStatistics, MeanMinMaxAcrossReplies) {
    HostRecord r;
    struct Step {
        int time;
        int mean, min, max;
    };
    const std::vector<Step> steps = {{10, 10, 10, 10}, {20, 15, 10, 20}, {31, 20, 10, 31}, {0, 15, 0, 31}};
    for (const Step& s : steps) {
        ApplyReply(r, Echo(64, s.time), std::string_view("*"), kStamp);
        EXPECT_EQ(r.m_nAvgTime, s.mean) << "after " << s.time;
        EXPECT_EQ(r.m_nMinTime, s.min);
        EXPECT_EQ(r.m_nMaxTime, s.max);
    }
    EXPECT_EQ(r.m_nReceived, 4);
    EXPECT_EQ(r.m_history.size(), 8u);
}

TEST(ReplyStatistics, FirstReplySetsEverything) {
    HostRecord r;
    r.m_bReplied = 0;
    const ReplyOutcome out = ApplyReply(r, Echo(57, 15), std::string_view("*"), kStamp);
    EXPECT_TRUE(out.echo);
    EXPECT_EQ(out.columns, (ResultColumns{"57", "15", "32"}));
    EXPECT_EQ(r.m_nMinTime, 15);
    EXPECT_EQ(r.m_nMaxTime, 15);
    EXPECT_EQ(r.m_nAvgTime, 15);
    EXPECT_EQ(r.m_bReplied, 1);
    EXPECT_EQ(r.m_history, (std::vector<std::string>{kStamp, Echo(57, 15) + "\n"}));
    EXPECT_EQ(out.stamp, "Mon Jan 05 09:08:07 2026");
    EXPECT_EQ(out.event, Echo(57, 15));
}

TEST(ReplyStatistics, LongRunningMeanDoesNotOverflow) {
    HostRecord r;
    r.m_nReceived = 1000000;
    r.m_nAvgTime = 5000;
    ApplyReply(r, Echo(64, 5000), std::string_view("5000"), kStamp);
    EXPECT_EQ(r.m_nAvgTime, 5000);
}

// --- Error texts ---------------------------------------------------------------------

struct ErrorCase {
    const char* name;
    std::string text;
    ResultColumns columns;
};

class ErrorText : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorText, EmptiesColumnsAndKeepsCounters) {
    HostRecord r;
    r.m_bReplied = 0;
    r.m_nSent = 4;
    r.m_nReceived = 2;
    r.m_nMinTime = 5;
    r.m_nMaxTime = 9;
    r.m_nAvgTime = 7;
    HostRecord before = r;
    const ReplyOutcome out = ApplyReply(r, GetParam().text, std::string_view("100"), kStamp);
    EXPECT_TRUE(out.rowChanged);
    EXPECT_FALSE(out.echo);
    EXPECT_EQ(out.columns, GetParam().columns);
    EXPECT_EQ(r.m_bReplied, 1);
    EXPECT_EQ(r.m_history, (std::vector<std::string>{kStamp, GetParam().text + "\n"}));
    before.m_bReplied = 1;
    before.m_history = r.m_history;
    EXPECT_EQ(r, before);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ErrorText,
    ::testing::Values(ErrorCase{"Unreachable", "10.0.0.1:host unreachable", {"", "", ""}},
                      ErrorCase{"TimeoutWord", "ttl exceeded: timeout in transit", {"", "timeout", ""}},
                      ErrorCase{"Unknown", "unknown icmp code 9 with type 3", {"", "", ""}},
                      // Needs all three words to count as an echo reply.
                      ErrorCase{"TwoOfThreeWords", "ttl=1,time=2", {"", "", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyParsing, PatternAndUnreadValues) {
    EXPECT_TRUE(IsEchoReplyText("bytes time ttl"));
    const EchoValues full = ParseEchoReply("ttl=64,time=3,bytes=32");
    EXPECT_EQ(full.ttl, 64);
    EXPECT_EQ(full.time, 3);
    EXPECT_EQ(full.bytes, 32);
    const EchoValues partial = ParseEchoReply("ttl=64,time=x,bytes=32");
    EXPECT_EQ(partial.ttl, 64);
    EXPECT_EQ(partial.time, 0);
    EXPECT_EQ(partial.bytes, 0);
    EXPECT_EQ(ParseEchoReply("ttl= -5,time=+7,bytes=1").ttl, -5);
    EXPECT_EQ(ParseEchoReply("ttl=99999999999,time=1,bytes=1").ttl, INT32_MAX);
    EXPECT_EQ(LeadingInteger("\t 42abc"), 42);
    EXPECT_EQ(LeadingInteger(""), 0);
}

TEST(Reply, WithoutARowOnlyMarksTheHostAnswered) {
    HostRecord r;
    r.m_bReplied = 0;
    const ReplyOutcome out = ApplyReply(r, Echo(64, 15), std::nullopt, kStamp);
    EXPECT_FALSE(out.rowChanged);
    HostRecord expected;
    EXPECT_EQ(r, expected);
}

// --- m_bReplied through replies and timeout passes ----------------------------------

struct StateCase {
    const char* name;
    int32_t replied;
    bool hasRow;
    int32_t next;
    bool reported;
};

class TimeoutState : public ::testing::TestWithParam<StateCase> {};

TEST_P(TimeoutState, Transitions) {
    const auto& c = GetParam();
    HostRecord r;
    r.m_bReplied = c.replied;
    r.m_nSent = 3;
    EXPECT_EQ(ApplyTimeout(r, c.hasRow, kStamp), c.reported);
    EXPECT_EQ(r.m_bReplied, c.next);
    EXPECT_EQ(r.m_history.size(), c.reported ? 2u : 0u);
    if (c.reported) {
        EXPECT_EQ(r.m_history[1], "request timeout.\n");
    }
    EXPECT_EQ(r.m_nSent, 3) << "a timeout changes no counter";
}

INSTANTIATE_TEST_SUITE_P(Table, TimeoutState,
                         ::testing::Values(StateCase{"AnsweredBecomesWaiting", 1, true, 0, false},
                                           StateCase{"AnsweredNoRow", 1, false, 0, false},
                                           StateCase{"AnyNonZeroCounts", 7, true, 0, false},
                                           StateCase{"WaitingReported", 0, true, 0, true},
                                           StateCase{"WaitingNoRow", 0, false, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TimeoutPass, JudgesThePreviousRoundOverSeveralPasses) {
    HostTable table;
    const uint32_t a = AddressFromOctets(10, 0, 0, 1);
    const uint32_t b = AddressFromOctets(192, 168, 1, 1);
    const uint32_t noRow = AddressFromOctets(192, 168, 1, 2);
    table.HostAt(b);
    table.HostAt(a);
    table.HostAt(noRow);
    auto hasRow = [&](uint32_t address, const HostRecord&) { return address != noRow; };

    // New hosts are not reported by the first pass.
    EXPECT_TRUE(TimeoutPass(table, hasRow, kStamp).empty());
    for (auto item : table) EXPECT_TRUE(item.record.m_history.empty());
    // b answers; a and noRow do not.
    ApplyReply(*table.FindHost(b), Echo(64, 5), std::string_view("*"), kStamp);
    EXPECT_EQ(TimeoutPass(table, hasRow, kStamp), (std::vector<uint32_t>{a}));
    // Nobody answers: both a and b reported, in table order.
    EXPECT_EQ(TimeoutPass(table, hasRow, kStamp), (std::vector<uint32_t>{a, b}));
    EXPECT_EQ(table.FindHost(a)->m_history.size(), 4u);
    EXPECT_EQ(table.FindHost(noRow)->m_history.size(), 0u);
    EXPECT_EQ(table.FindHost(noRow)->m_bReplied, 0);

    HostTable empty;
    EXPECT_TRUE(TimeoutPass(empty, hasRow, kStamp).empty());
}

// --- Details window fields ------------------------------------------------------------

struct FieldsCase {
    const char* name;
    int32_t sent, received, min, max, avg;
    std::optional<std::string> lost;
    std::string speedAfterReply;
    std::string speedOnOpen;
};

class DetailsFieldTexts : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(DetailsFieldTexts, Format) {
    const auto& c = GetParam();
    HostRecord r;
    r.m_nSent = c.sent;
    r.m_nReceived = c.received;
    r.m_nMinTime = c.min;
    r.m_nMaxTime = c.max;
    r.m_nAvgTime = c.avg;
    const DetailsFields after = DetailsFieldsAfterReply(r);
    EXPECT_EQ(after.sent, std::to_string(c.sent));
    EXPECT_EQ(after.received, std::to_string(c.received));
    EXPECT_EQ(after.lost, c.lost);
    EXPECT_EQ(after.minTime, std::to_string(c.min) + " ms");
    EXPECT_EQ(after.maxTime, std::to_string(c.max) + " ms");
    EXPECT_EQ(after.avgTime, std::to_string(c.avg) + " ms");
    EXPECT_EQ(after.speed, c.speedAfterReply);
    EXPECT_EQ(DetailsFieldsOnOpen(r).speed, c.speedOnOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DetailsFieldTexts,
    ::testing::Values(FieldsCase{"NoReplyYet", 0, 0, -1, -1, 0, std::nullopt, "960", "0"},
                      FieldsCase{"Quarter", 4, 3, 1, 9, 7, "1 (25% loss)", "137", "137"},
                      FieldsCase{"Thirty", 10, 7, 1, 9, 1000, "3 (30% loss)", "0", "0"},
                      FieldsCase{"Truncated", 3, 2, 1, 9, 0, "1 (33% loss)", "960", "960"},
                      FieldsCase{"MoreReceived", 2, 3, 1, 1, 1, "-1 (-50% loss)", "960", "960"},
                      FieldsCase{"HugeCounts", 2000000000, 0, -1, -1, 0, "2000000000 (100% loss)", "960", "0"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sondrel
