#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "model/AddressText.h"
#include "model/HostRecord.h"
#include "model/HostTable.h"

namespace sondrel {
namespace {

uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return AddressFromOctets(a, b, c, d); }

std::vector<uint32_t> Walk(HostTable& table) {
    std::vector<uint32_t> out;
    for (auto item : table) out.push_back(item.address);
    return out;
}

std::vector<uint32_t> WalkByPosition(HostTable& table) {
    std::vector<uint32_t> out;
    for (auto pos = table.FirstHostPosition(); !HostTable::IsEnd(pos);) {
        uint32_t address = 0;
        HostRecord* record = nullptr;
        table.NextHost(pos, address, record);
        EXPECT_EQ(record, table.FindHost(address));
        out.push_back(address);
    }
    return out;
}

struct BucketCase {
    uint32_t address;
    uint32_t bucket;
};

class Bucket : public ::testing::TestWithParam<BucketCase> {};

TEST_P(Bucket, FollowsTheKeyShiftedByFour) {
    EXPECT_EQ(HostTable::BucketOf(GetParam().address), GetParam().bucket);
}

INSTANTIATE_TEST_SUITE_P(Examples, Bucket,
                         ::testing::Values(BucketCase{Ip(10, 0, 0, 1), 49}, BucketCase{Ip(192, 168, 1, 1), 659},
                                           BucketCase{Ip(192, 168, 1, 2), 708},
                                           BucketCase{Ip(193, 168, 1, 1), 659}, BucketCase{Ip(0, 0, 0, 0), 0},
                                           BucketCase{Ip(15, 0, 0, 0), 0}, BucketCase{Ip(16, 0, 0, 0), 1},
                                           // K = 0xFFFFFFFF: (0x0FFFFFFF) % 1031
                                           BucketCase{Ip(255, 255, 255, 255), 0x0FFFFFFFu % 1031}));

struct OrderCase {
    const char* name;
    std::vector<uint32_t> added;
    std::vector<uint32_t> walked;
};

class TableOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(TableOrder, WalksBucketsUpAndChainsNewestFirst) {
    HostTable table;
    for (uint32_t a : GetParam().added) table.HostAt(a);
    EXPECT_EQ(Walk(table), GetParam().walked);
    EXPECT_EQ(WalkByPosition(table), GetParam().walked);
    EXPECT_EQ(table.Addresses(), GetParam().walked);
    std::vector<uint32_t> visited;
    table.ForEachHost([&](uint32_t a, const HostRecord&) { visited.push_back(a); });
    EXPECT_EQ(visited, GetParam().walked);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TableOrder,
    ::testing::Values(
        OrderCase{"Empty", {}, {}},
        OrderCase{"BucketsAscending",
                  {Ip(192, 168, 1, 1), Ip(192, 168, 1, 2), Ip(10, 0, 0, 1)},
                  {Ip(10, 0, 0, 1), Ip(192, 168, 1, 1), Ip(192, 168, 1, 2)}},
        OrderCase{"SameBucketNewestFirst",
                  {Ip(192, 168, 1, 1), Ip(193, 168, 1, 1)},
                  {Ip(193, 168, 1, 1), Ip(192, 168, 1, 1)}},
        OrderCase{"ThreeInOneBucket",
                  {Ip(0, 0, 0, 0), Ip(1, 0, 0, 0), Ip(2, 0, 0, 0), Ip(16, 0, 0, 0)},
                  {Ip(2, 0, 0, 0), Ip(1, 0, 0, 0), Ip(0, 0, 0, 0), Ip(16, 0, 0, 0)}},
        OrderCase{"DuplicateAddsOnce", {Ip(10, 0, 0, 1), Ip(10, 0, 0, 1)}, {Ip(10, 0, 0, 1)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HostTable, FindHostNeverCreates) {
    HostTable table;
    EXPECT_EQ(table.FindHost(Ip(10, 0, 0, 1)), nullptr);
    EXPECT_EQ(table.GetHostCount(), 0);
    EXPECT_EQ(table.FirstHost(), nullptr);
    EXPECT_TRUE(HostTable::IsEnd(table.FirstHostPosition()));
    table.HostAt(Ip(192, 168, 1, 1));
    EXPECT_EQ(table.FindHost(Ip(193, 168, 1, 1)), nullptr) << "same bucket, other address";
    EXPECT_EQ(table.GetHostCount(), 1);
}

TEST(HostTable, HostAtLeavesAnExistingRecordAlone) {
    HostTable table;
    HostRecord& r = table.HostAt(Ip(10, 0, 0, 1));
    r.m_nSent = 5;
    r.m_strName = "kept";
    EXPECT_EQ(&table.HostAt(Ip(10, 0, 0, 1)), &r);
    EXPECT_EQ(r.m_nSent, 5);
    EXPECT_EQ(r.m_strName, "kept");
}

TEST(HostTable, FreshRecordHasInitialValues) {
    HostTable table;
    const HostRecord& r = table.HostAt(Ip(10, 0, 0, 1));
    EXPECT_EQ(r.m_bReplied, 1);
    EXPECT_EQ(r.m_bNamed, 0);
    EXPECT_EQ(r.m_nSent, 0);
    EXPECT_EQ(r.m_nReceived, 0);
    EXPECT_EQ(r.m_nMinTime, -1);
    EXPECT_EQ(r.m_nMaxTime, -1);
    EXPECT_EQ(r.m_nAvgTime, 0);
    EXPECT_TRUE(r.m_history.empty());
    EXPECT_TRUE(r.m_strName.empty());
}

TEST(HostTable, RemovingAndAddingAgainStartsFresh) {
    HostTable table;
    HostRecord& r = table.HostAt(Ip(10, 0, 0, 1));
    r.m_nSent = 10;
    r.m_history = {"a\n", "b\n"};
    EXPECT_TRUE(table.RemoveHost(Ip(10, 0, 0, 1)));
    EXPECT_FALSE(table.RemoveHost(Ip(10, 0, 0, 1)));
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_EQ(table.HostAt(Ip(10, 0, 0, 1)), HostRecord{});
}

TEST(HostTable, RemovingFromTheMiddleOfAChainKeepsTheRest) {
    HostTable table;
    for (uint32_t a : {Ip(0, 0, 0, 0), Ip(1, 0, 0, 0), Ip(2, 0, 0, 0), Ip(16, 0, 0, 0)}) table.HostAt(a);
    EXPECT_TRUE(table.RemoveHost(Ip(1, 0, 0, 0)));
    EXPECT_EQ(Walk(table), (std::vector<uint32_t>{Ip(2, 0, 0, 0), Ip(0, 0, 0, 0), Ip(16, 0, 0, 0)}));
    EXPECT_TRUE(table.RemoveHost(Ip(2, 0, 0, 0)));  // head
    EXPECT_TRUE(table.RemoveHost(Ip(16, 0, 0, 0)));
    EXPECT_EQ(Walk(table), (std::vector<uint32_t>{Ip(0, 0, 0, 0)}));
    // A reused slot still goes to the head of its chain.
    table.HostAt(Ip(3, 0, 0, 0));
    EXPECT_EQ(Walk(table), (std::vector<uint32_t>{Ip(3, 0, 0, 0), Ip(0, 0, 0, 0)}));
    EXPECT_EQ(table.GetHostCount(), 2);
}

TEST(HostTable, ReferencesStayValidWhileTheTableGrows) {
    HostTable table;
    HostRecord& first = table.HostAt(Ip(10, 0, 0, 1));
    first.m_strName = "first";
    for (int i = 0; i < 5000; ++i) table.HostAt(Ip(11, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)));
    EXPECT_EQ(first.m_strName, "first");
    EXPECT_EQ(table.FindHost(Ip(10, 0, 0, 1)), &first);
}

TEST(HostTable, RemoveAllHostsEmptiesAndTheTableIsUsableAgain) {
    HostTable table;
    for (int i = 0; i < 50; ++i) table.HostAt(Ip(10, 0, 0, static_cast<uint8_t>(i)));
    table.RemoveAllHosts();
    EXPECT_EQ(table.GetHostCount(), 0);
    EXPECT_TRUE(Walk(table).empty());
    EXPECT_EQ(table.FindHost(Ip(10, 0, 0, 1)), nullptr);
    table.HostAt(Ip(10, 0, 0, 1));
    EXPECT_EQ(Walk(table), (std::vector<uint32_t>{Ip(10, 0, 0, 1)}));
}

// The walk matches a straightforward model of buckets and head-inserted chains through a
// random mix of additions and removals.
TEST(HostTable, MatchesAReferenceModelUnderRandomEdits) {
    std::mt19937 rng(7);
    HostTable table;
    std::vector<std::vector<uint32_t>> model(HostTable::kBucketCount);
    for (int step = 0; step < 20000; ++step) {
        const uint32_t a = Ip(10, static_cast<uint8_t>(rng() % 4), static_cast<uint8_t>(rng() % 8),
                              static_cast<uint8_t>(rng() % 256));
        auto& chain = model[HostTable::BucketOf(a)];
        const auto it = std::find(chain.begin(), chain.end(), a);
        if (rng() % 3 == 0) {
            EXPECT_EQ(table.RemoveHost(a), it != chain.end());
            if (it != chain.end()) chain.erase(it);
        } else {
            table.HostAt(a);
            if (it == chain.end()) chain.insert(chain.begin(), a);
        }
    }
    std::vector<uint32_t> expected;
    for (const auto& chain : model) expected.insert(expected.end(), chain.begin(), chain.end());
    EXPECT_EQ(Walk(table), expected);
    EXPECT_EQ(table.GetHostCount(), static_cast<int>(expected.size()));
}

// --- Display text and the row order --------------------------------------------------

TEST(DisplayText, NameForNamedHostsElseDottedQuad) {
    HostRecord r;
    r.m_strName = "ignored";
    EXPECT_EQ(DisplayText(Ip(10, 0, 0, 12), r), "10.0.0.12");
    r.m_bNamed = 1;
    r.m_strName = "Example.COM";
    EXPECT_EQ(DisplayText(Ip(10, 0, 0, 12), r), "Example.COM");
    EXPECT_EQ(DottedQuad(Ip(255, 0, 128, 7)), "255.0.128.7");
    EXPECT_EQ(AddressKey(Ip(1, 2, 3, 4)), 0x04030201u);
}

struct CompareCase {
    const char* a;
    const char* b;
    int order;
    bool matches;
};

class RowText : public ::testing::TestWithParam<CompareCase> {};

TEST_P(RowText, OrdersAndMatches) {
    const auto& c = GetParam();
    EXPECT_EQ(CompareRowText(c.a, c.b), c.order);
    EXPECT_EQ(CompareRowText(c.b, c.a), -c.order);
    EXPECT_EQ(RowTextMatches(c.a, c.b), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RowText,
    ::testing::Values(CompareCase{"10.0.0.1", "10.0.0.1", 0, true},
                      CompareCase{"10.0.0.1", "10.0.0.12", -1, false},  // a prefix is not a match
                      CompareCase{"10.0.0.12", "10.0.0.2", -1, false},  // text order, not numeric
                      CompareCase{"abc", "ABD", -1, false},
                      CompareCase{"Host.example", "host.EXAMPLE", -1, true},  // case tie: by bytes
                      CompareCase{"_x", "ax", -1, false},  // '_' < 'a' once case is folded
                      CompareCase{"Zeta", "alpha", 1, false},
                      CompareCase{"\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9", -1, false},  // only ASCII folds
                      CompareCase{"", "a", -1, false}));

}  // namespace
}  // namespace sondrel
