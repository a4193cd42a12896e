// The rows' order and search against the plain rules: one insert after another, and a
// linear search for the first row whose text matches ignoring case.
#include <gtest/gtest.h>

#include <random>

#include "model/HostRecord.h"
#include "session/RowStore.h"

namespace sondrel {
namespace {

std::vector<std::pair<std::string, uint32_t>> Contents(const RowStore& rows) {
    std::vector<std::pair<std::string, uint32_t>> out;
    for (size_t i = 0; i < rows.Size(); ++i) out.emplace_back(rows.At(i).text, rows.At(i).address);
    return out;
}

int FirstMatch(const RowStore& rows, std::string_view text) {
    for (size_t i = 0; i < rows.Size(); ++i)
        if (RowTextMatches(rows.At(i).text, text)) return static_cast<int>(i);
    return RowStore::kNoRow;
}

TEST(RowStore, BulkInsertOrdersAsSingleInsertsAndFindGivesTheFirstMatch) {
    // Few distinct texts, in several letter cases, so that equal and case-equal texts meet.
    const std::vector<std::string> texts = {"10.0.0.1", "10.0.0.10", "10.0.0.2", "alpha",
                                            "Alpha",    "ALPHA",     "beta",     "b",
                                            "",         "10.0.0.1"};
    std::mt19937 random(7);
    for (int trial = 0; trial < 50; ++trial) {
        RowStore one, bulk;
        std::vector<ListRow> batch;
        uint32_t address = 0;
        for (int step = 0; step < 200; ++step) {
            ListRow row{texts[random() % texts.size()], {}, ++address};
            one.Insert(row);
            batch.push_back(std::move(row));
            if (random() % 40 == 0 || step == 199) {
                bulk.InsertMany(std::move(batch));
                batch.clear();
            }
            if (random() % 10 == 0 && one.Size() > 0) {
                // Erasing in both keeps them comparable only once the batch is in.
                bulk.InsertMany(std::move(batch));
                batch.clear();
                const size_t at = random() % one.Size();
                one.Erase(at);
                bulk.Erase(at);
            }
        }
        ASSERT_EQ(Contents(bulk), Contents(one)) << "trial " << trial;
        for (const std::string& t : texts) EXPECT_EQ(one.Find(t), FirstMatch(one, t)) << t;
        EXPECT_EQ(one.Find("gamma"), RowStore::kNoRow);
    }
}

TEST(RowStore, ColumnsShowTheResultsAsText) {
    RowStore rows;
    rows.Insert({"a", {}, 1});
    rows.Insert({"b", {RowResults::Kind::Echo, 64, 12, 32}, 2});
    rows.Insert({"c", RowResults::TimedOut(), 3});
    rows.Insert({"d", {RowResults::Kind::Blank, 0, 0, 0}, 4});
    const char* expected[][4] = {
        {"a", "", "*", ""}, {"b", "64", "12", "32"}, {"c", "", "timeout", ""}, {"d", "", "", ""}};
    for (size_t r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(rows.Column(r, c), expected[r][c]) << r << "," << c;
}

}  // namespace
}  // namespace sondrel
