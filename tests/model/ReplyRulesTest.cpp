#include <gtest/gtest.h>

#include "model/AddressText.h"
#include "model/HostTable.h"
#include "model/ReplyRules.h"

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
    const struct { std::string column; int time; std::string shown; } cases[] = {
        {"100", 200, "110"}, {"*", 200, "200"}, {"timeout", 200, "200"}, {"", 200, "200"},
        {"500", 20, "20"}, {"500", 21, "452"}, {"33", 27, "32"},  // 29.7 + 2.7, truncated
        {"  +50ms", 100, "55"}, {"abc", 100, "10"}, {"-100", 100, "-80"}, {"timeouts", 100, "10"},
        {"0000000000000000001" "9", 30, "3"},  // only 19 characters are read
        {"99999999999", 30, "1932735285"}};
    for (const auto& c : cases) {
        HostRecord r;
        const ReplyOutcome out = ApplyReply(r, Echo(64, c.time), c.column, kStamp);
        EXPECT_EQ(out.columns.time, c.shown) << '"' << c.column << "\" " << c.time;
        EXPECT_EQ(r.m_nAvgTime, c.time) << "the statistics use the raw time";
    }
}

TEST(ReplyRules, FirstReplyThenMeanMinMaxAcrossReplies) {
    HostRecord r{.m_bReplied = 0};
    EXPECT_FALSE(ApplyReply(r, Echo(57, 10), std::nullopt, kStamp).rowChanged);
    EXPECT_EQ(r, HostRecord{}) << "without a row only m_bReplied changes";
    r.m_bReplied = 0;
    const ReplyOutcome out = ApplyReply(r, Echo(57, 10), std::string_view("*"), kStamp);
    EXPECT_TRUE(out.echo);
    EXPECT_EQ(out.columns, (ResultColumns{"57", "10", "32"}));
    EXPECT_EQ(r.m_bReplied, 1);
    EXPECT_EQ(r.m_history, (Lines{kStamp, Echo(57, 10) + "\n"}));
    EXPECT_EQ(out.stamp + "|" + out.event, "Mon Jan 05 09:08:07 2026|" + Echo(57, 10));
    const struct { int time, mean, min, max; } steps[] = {{20, 15, 10, 20}, {31, 20, 10, 31}, {0, 15, 0, 31}};
    for (const auto& s : steps) {
        ApplyReply(r, Echo(64, s.time), std::string_view("*"), kStamp);
        EXPECT_EQ((std::vector<int>{r.m_nAvgTime, r.m_nMinTime, r.m_nMaxTime}),
                  (std::vector<int>{s.mean, s.min, s.max})) << "after " << s.time;
    }
    EXPECT_EQ(r.m_nReceived, 4);
    // A long-running mean must not overflow.
    r.m_nReceived = 1000000, r.m_nAvgTime = 5000;
    ApplyReply(r, Echo(64, 5000), std::string_view("5000"), kStamp);
    EXPECT_EQ(r.m_nAvgTime, 5000);
}

TEST(ReplyRules, ErrorTextsEmptyTheColumnsAndKeepTheCounters) {
    const struct { std::string text; ResultColumns columns; } cases[] = {
        {"10.0.0.1:host unreachable", {"", "", ""}},
        {"ttl exceeded: timeout in transit", {"", "timeout", ""}},
        {"ttl=1,time=2", {"", "", ""}}};  // all three words make an echo reply
    for (const auto& c : cases) {
        HostRecord r{.m_bReplied = 0, .m_nSent = 4, .m_nReceived = 2,
                     .m_nMinTime = 5, .m_nMaxTime = 9, .m_nAvgTime = 7};
        HostRecord expected = r;
        const ReplyOutcome out = ApplyReply(r, c.text, std::string_view("100"), kStamp);
        EXPECT_TRUE(out.rowChanged && !out.echo) << c.text;
        EXPECT_EQ(out.columns, c.columns) << c.text;
        expected.m_bReplied = 1;
        expected.m_history = {kStamp, c.text + "\n"};
        EXPECT_EQ(r, expected) << c.text;
    }
    const EchoValues partial = ParseEchoReply("ttl=64,time=x,bytes=32");
    EXPECT_EQ((std::vector<int>{partial.ttl, partial.time, partial.bytes}), (std::vector<int>{64, 0, 0}));
}

TEST(ReplyRules, RepliedStateThroughATimeoutPass) {
    const struct { int32_t replied; bool hasRow; bool reported; } cases[] = {
        {1, true, false}, {1, false, false}, {7, true, false}, {0, true, true}, {0, false, false}};
    for (const auto& c : cases) {
        HostRecord r{.m_bReplied = c.replied, .m_nSent = 3};
        EXPECT_EQ(ApplyTimeout(r, c.hasRow, kStamp), c.reported) << c.replied << " " << c.hasRow;
        const Lines history = c.reported ? Lines{kStamp, "request timeout.\n"} : Lines{};
        EXPECT_EQ(r, (HostRecord{.m_history = history, .m_bReplied = 0, .m_nSent = 3}));
    }
}

TEST(ReplyRules, TimeoutPassJudgesThePreviousRound) {
    HostTable table;
    const uint32_t a = AddressFromOctets(10, 0, 0, 1), b = AddressFromOctets(192, 168, 1, 1),
                   noRow = AddressFromOctets(192, 168, 1, 2);
    for (uint32_t h : {b, a, noRow}) table.HostAt(h);
    auto hasRow = [&](uint32_t address, const HostRecord&) { return address != noRow; };
    EXPECT_TRUE(TimeoutPass(table, hasRow, kStamp).empty()) << "new hosts are not reported";
    ApplyReply(*table.FindHost(b), Echo(64, 5), std::string_view("*"), kStamp);
    EXPECT_EQ(TimeoutPass(table, hasRow, kStamp), (std::vector<uint32_t>{a}));
    EXPECT_EQ(TimeoutPass(table, hasRow, kStamp), (std::vector<uint32_t>{a, b}));
    EXPECT_EQ(table.FindHost(a)->m_history.size(), 4u);
    EXPECT_TRUE(table.FindHost(noRow)->m_history.empty());
}

TEST(ReplyRules, DetailsFieldTexts) {
    const struct {
        int32_t sent, received, avg;
        std::optional<std::string> lost;
        std::string afterReply, onOpen;
    } cases[] = {
        {0, 0, 0, std::nullopt, "960", "0"}, {4, 3, 7, "1 (25% loss)", "137", "137"},
        {10, 7, 1000, "3 (30% loss)", "0", "0"}, {3, 2, 0, "1 (33% loss)", "960", "960"},
        {2, 3, 1, "-1 (-50% loss)", "960", "960"},
        {2000000000, 0, 0, "2000000000 (100% loss)", "960", "0"}};
    for (const auto& c : cases) {
        const HostRecord r{.m_nSent = c.sent, .m_nReceived = c.received, .m_nAvgTime = c.avg};
        const DetailsFields after = DetailsFieldsAfterReply(r);
        EXPECT_EQ(after.lost, c.lost) << c.sent << "/" << c.received;
        EXPECT_EQ(after.speed, c.afterReply) << c.sent << "/" << c.received;
        EXPECT_EQ(DetailsFieldsOnOpen(r).speed, c.onOpen) << c.sent << "/" << c.received;
    }
}

}  // namespace
}  // namespace sondrel
