#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "model/HostRecord.h"
#include "model/HostTable.h"
#include "platform/AddressText.h"

namespace sondrel {
namespace {

using Addresses = std::vector<uint32_t>;
uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return AddressFromOctets(a, b, c, d); }

// The table order through every way of walking it; they must agree.
Addresses Walk(HostTable& table) {
    Addresses it, pos, each;
    for (auto item : table) it.push_back(item.address);
    uint32_t address = 0;
    HostRecord* record = nullptr;
    for (auto p = table.FirstHostPosition(); !HostTable::IsEnd(p); pos.push_back(address)) {
        table.NextHost(p, address, record);
        EXPECT_EQ(record, table.FindHost(address));
    }
    table.ForEachHost([&](uint32_t a, const HostRecord&) { each.push_back(a); });
    EXPECT_EQ((std::vector<Addresses>{pos, each, table.Addresses()}),
              std::vector<Addresses>(3, it));
    return it;
}

TEST(HostTable, BucketsAndOrder) {
    const uint32_t a = Ip(10, 0, 0, 1), b = Ip(192, 168, 1, 1), c = Ip(192, 168, 1, 2),
                   d = Ip(193, 168, 1, 1);
    const struct {
        uint32_t address, bucket;
    } buckets[] = {{a, 49},
                   {b, 659},
                   {c, 708},
                   {d, 659},
                   {Ip(15, 0, 0, 0), 0},
                   {Ip(16, 0, 0, 0), 1},
                   {Ip(255, 255, 255, 255), 0x0FFFFFFFu % 1031}};
    for (const auto& [address, bucket] : buckets) {
        EXPECT_EQ(HostTable::BucketOf(address), bucket) << DottedQuad(address);
    }

    // Buckets upwards, each chain newest first.
    const struct {
        Addresses added, walked;
    } orders[] = {
        {{b, c, a}, {a, b, c}},
        {{b, d}, {d, b}},
        {{a, a}, {a}},
        {{Ip(0, 0, 0, 0), Ip(1, 0, 0, 0), Ip(16, 0, 0, 0), Ip(2, 0, 0, 0)},
         {Ip(2, 0, 0, 0), Ip(1, 0, 0, 0), Ip(0, 0, 0, 0), Ip(16, 0, 0, 0)}},
    };
    for (const auto& [added, walked] : orders) {
        HostTable table;
        for (uint32_t address : added) table.HostAt(address);
        EXPECT_EQ(Walk(table), walked);
    }
}

TEST(HostTable, RecordLifecycle) {
    HostTable table;
    HostRecord& r = table.HostAt(Ip(192, 168, 1, 1));
    EXPECT_EQ(table.FindHost(Ip(193, 168, 1, 1)), nullptr) << "same bucket, other address";
    r.m_nSent = 5;
    EXPECT_EQ(&table.HostAt(Ip(192, 168, 1, 1)), &r);
    for (int i = 0; i < 5000; ++i) table.HostAt(Ip(11, 0, i >> 8, i & 255));
    EXPECT_EQ(table.FindHost(Ip(192, 168, 1, 1)), &r) << "records stay put while the table grows";
    EXPECT_TRUE(table.RemoveHost(Ip(192, 168, 1, 1)));
    EXPECT_EQ(table.HostAt(Ip(192, 168, 1, 1)), HostRecord{}) << "added again: a fresh record";
    table.RemoveAllHosts();
    EXPECT_TRUE(Walk(table).empty());
}

// The plain chained table the index sits beside: buckets upwards, each newest first.
class ReferenceTable {
public:
    void Add(uint32_t a) {
        auto& chain = buckets_[HostTable::BucketOf(a)];
        if (std::find(chain.begin(), chain.end(), a) == chain.end()) chain.insert(chain.begin(), a);
    }
    bool Remove(uint32_t a) { return std::erase(buckets_[HostTable::BucketOf(a)], a) > 0; }
    Addresses Walk() const {
        Addresses out;
        for (const auto& chain : buckets_) out.insert(out.end(), chain.begin(), chain.end());
        return out;
    }

private:
    std::vector<Addresses> buckets_ = std::vector<Addresses>(HostTable::kBucketCount);
};

TEST(HostTable, RandomChurnKeepsThePlainTablesOrderAndFindsEveryHost) {
    std::mt19937 random(7);
    for (const int size : {40, 3000, 100000}) {
        HostTable table;
        ReferenceTable reference;
        // Addresses from a small pool, so adds hit listed hosts and removes find them.
        std::uniform_int_distribution<uint32_t> pick(0, static_cast<uint32_t>(2 * size));
        for (int step = 0; step < 4 * size; ++step) {
            const uint32_t i = pick(random);
            const uint32_t a = Ip(10, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i));
            if (random() % 3 == 0) {
                ASSERT_EQ(table.RemoveHost(a), reference.Remove(a)) << DottedQuad(a);
            } else {
                table.HostAt(a).m_nSent = static_cast<int32_t>(a);
                reference.Add(a);
            }
        }
        const Addresses walked = reference.Walk();
        ASSERT_EQ(Walk(table), walked) << size << " hosts";
        Addresses shuffled = walked;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        table.SortInTableOrder(shuffled);
        ASSERT_EQ(shuffled, walked) << size << " hosts, sorted";
        size_t visited = 0;
        table.ForEachUnordered([&](uint32_t, HostRecord&) { ++visited; });
        ASSERT_EQ(visited, walked.size());
        for (const uint32_t a : walked) ASSERT_EQ(table.FindHost(a)->m_nSent, int32_t(a));
        for (const uint32_t a : walked) ASSERT_TRUE(table.RemoveHost(a));
        EXPECT_TRUE(table.IsEmpty());
    }
}

TEST(HostTable, RowTextsAndTheirOrder) {
    HostRecord r;
    r.m_strName = "shown when named";
    EXPECT_EQ(DisplayText(Ip(10, 0, 0, 12), r), "10.0.0.12");
    EXPECT_EQ(DisplayText(Ip(10, 0, 0, 12), (r.m_bNamed = 1, r)), "shown when named");
    for (const auto& [address, text] : {std::pair{Ip(0, 0, 0, 0), "0.0.0.0"},
                                        std::pair{Ip(255, 255, 255, 255), "255.255.255.255"},
                                        std::pair{Ip(9, 10, 99, 100), "9.10.99.100"},
                                        std::pair{Ip(127, 4, 0, 250), "127.4.0.250"}})
        EXPECT_EQ(DottedQuad(address), text);
    const struct {
        const char *a, *b;
        int order;
        bool matches;
    } cases[] = {{"10.0.0.1", "10.0.0.1", 0, true},
                 {"10.0.0.1", "10.0.0.12", -1, false},
                 {"10.0.0.12", "10.0.0.2", -1, false},
                 {"abc", "ABD", -1, false},
                 {"Host.example", "host.EXAMPLE", -1, true},  // a case tie is broken by the bytes
                 {"_x", "ax", -1, false},
                 {"Zeta", "alpha", 1, false},
                 {"\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9", -1, false},  // only ASCII folds
                 {"", "a", -1, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(CompareRowText(c.a, c.b), c.order) << c.a << " " << c.b;
        EXPECT_EQ(CompareRowText(c.b, c.a), -c.order) << c.a << " " << c.b;
        EXPECT_EQ(RowTextMatches(c.a, c.b), c.matches) << c.a << " " << c.b;
    }
}

// Texts are kept in 16 bytes up to 15 characters and on the heap beyond: both sides of that
// line, and texts assigned from a view into themselves, must come back whole and terminated.
TEST(HostTable, ShortTextsKeepEveryLength) {
    for (const size_t length : {0, 1, 14, 15, 16, 40, 300}) {
        std::string text(length, 'x');
        for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
        ShortText kept(text);
        ShortText copy = kept;
        ShortText moved = std::move(copy);
        EXPECT_EQ(moved.View(), text);
        EXPECT_EQ(std::string(moved.c_str()), text);
        moved = moved.View().substr(std::min<size_t>(1, length));  // a view into itself
        EXPECT_EQ(moved.View(), std::string_view(text).substr(std::min<size_t>(1, length)));
        kept = ShortText("short");
        EXPECT_EQ(kept, "short");
    }
}

}  // namespace
}  // namespace sondrel
