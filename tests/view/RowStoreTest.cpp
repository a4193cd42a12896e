#include "view/RowStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sondrel {
namespace {

std::vector<std::string> Texts(const RowStore& rows) {
    std::vector<std::string> texts;
    for (size_t i = 0; i < rows.Size(); ++i) texts.push_back(rows.At(i).text);
    return texts;
}

RowStore Make(const std::vector<std::string>& texts) {
    RowStore rows;
    uint32_t address = 1;
    for (const std::string& t : texts) rows.Insert(ListRow{t, {}, address++});
    return rows;
}

TEST(RowStore, RowsFollowTextOrderIgnoringCaseWithTiesByBytes) {
    struct Case {
        std::vector<std::string> inserted;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {{"10.0.0.2", "10.0.0.12", "10.0.0.1"}, {"10.0.0.1", "10.0.0.12", "10.0.0.2"}},
        {{"beta.example", "Alpha.example", "alpha.example"}, {"Alpha.example", "alpha.example", "beta.example"}},
        {{"b", "A", "a", "B"}, {"A", "a", "B", "b"}},
        // '_' (0x5F) lies between the upper- and lower-case letters: case folding decides.
        {{"a_", "AB", "ab"}, {"a_", "AB", "ab"}},
        {{"www.x.org/", "www.x.org"}, {"www.x.org", "www.x.org/"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        RowStore rows = Make(c.inserted);
        EXPECT_EQ(Texts(rows), c.order);
    }
}

TEST(RowStore, FindGivesTheFirstRowThatMatchesTheWholeTextIgnoringCase) {
    RowStore rows = Make({"10.0.0.12", "10.0.0.1", "Host.Example", "host.example", "zeta"});
    struct Case {
        std::string sought;
        int row;
    };
    const Case cases[] = {
        {"10.0.0.1", 0},       // not the longer row that begins with it
        {"10.0.0.12", 1},
        {"HOST.EXAMPLE", 2},   // the first of two rows equal ignoring case
        {"host.example", 2},
        {"Zeta", 4},
        {"10.0.0", RowStore::kNoRow},
        {"10.0.0.123", RowStore::kNoRow},
        {"", RowStore::kNoRow},
        {"zz", RowStore::kNoRow},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rows.Find(c.sought), c.row) << c.sought;
    }
}

TEST(RowStore, InsertReturnsTheRowIndexAndEraseClosesTheGap) {
    RowStore rows;
    EXPECT_EQ(rows.Insert({"m", {}, 1}), 0u);
    EXPECT_EQ(rows.InsertionPoint("a"), 0u);
    EXPECT_EQ(rows.Insert({"a", {}, 2}), 0u);
    EXPECT_EQ(rows.Insert({"z", {}, 3}), 2u);
    EXPECT_EQ(rows.Insert({"M", {}, 4}), 1u);  // before "m": ties go by bytes
    EXPECT_EQ(rows.Insert({"m", {}, 5}), 3u);  // after the equal row already there
    rows.Erase(1);
    EXPECT_EQ(Texts(rows), (std::vector<std::string>{"a", "m", "m", "z"}));
    EXPECT_EQ(rows.At(1).address, 1u);
    rows.Erase(99);  // out of range: nothing happens
    EXPECT_EQ(rows.Size(), 4u);
    rows.At(0).results = ResultColumns{"64", "5", "32"};
    EXPECT_EQ(rows.Column(0, 0), "a");
    EXPECT_EQ(rows.Column(0, 1), "64");
    EXPECT_EQ(rows.Column(0, 2), "5");
    EXPECT_EQ(rows.Column(0, 3), "32");
    EXPECT_EQ(rows.Column(0, 4), "");
}

}  // namespace
}  // namespace sondrel
