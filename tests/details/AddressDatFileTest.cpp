// The address.dat that the build makes from the country database, read back.
#include <gtest/gtest.h>

#include "details/AddressDatWriter.h"
#include "details/LocationDb.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

class AddressDatFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = test::BinDir() / "address.dat";
        if (!std::filesystem::exists(file_))
            GTEST_SKIP() << file_ << " was not built (no libGeoIP or no geoip-database)";
        static const LocationTable loaded = LoadLocationTable(file_);  // 20 MB: read once
        ASSERT_GT(loaded.size(), 1000u);
        table_ = &loaded;
    }

    std::string Location(uint32_t addr) {
        std::string location, detail;
        return FindLocation(*table_, addr, location, detail) ? location : "(none)";
    }

    std::filesystem::path file_;
    const LocationTable* table_ = nullptr;
};

TEST_F(AddressDatFileTest, KnownAddresses) {
    const std::string nbsp = "\xC2\xA0";
    struct Case {
        const char* address;
        std::string location;
    };
    const Case cases[] = {
        {"127.0.0.1", "Loopback"},  {"8.8.8.8", "USA"},           {"81.2.69.160", "UK"},
        {"1.0.1.0", "China"},       {"1.0.0.1", "Australia"},     {"10.1.2.3", "Private"},
        {"192.168.1.1", "Private"}, {"198.51.100.7", "TEST-NET-2"}, {"169.254.0.1", "Link-local"},
    };
    for (const Case& c : cases) EXPECT_EQ(Location(DottedToNumber(c.address)), c.location) << c.address;
    std::string location, detail;
    ASSERT_TRUE(FindLocation(*table_, DottedToNumber("8.8.8.8"), location, detail));
    EXPECT_EQ(detail, "United" + nbsp + "States");
}

TEST_F(AddressDatFileTest, EverySpecialRangeFromEndToEnd) {
    const std::vector<NamedRange>& specials = SpecialRanges();
    for (const NamedRange& s : specials) {
        // The narrowest special range holding each probe wins.
        for (uint32_t addr : {s.from, s.to, s.from + (s.to - s.from) / 2}) {
            const NamedRange* best = nullptr;
            for (const NamedRange& o : specials)
                if (addr >= o.from && addr <= o.to && (!best || o.to - o.from < best->to - best->from))
                    best = &o;
            EXPECT_EQ(Location(addr), best->location) << s.location << " at " << addr;
        }
    }
}

TEST_F(AddressDatFileTest, EveryRecordIsReachableAtBothEnds) {
    for (const LocationRecord& top : *table_) {
        for (const LocationRecord& child : top.children) {
            EXPECT_EQ(Location(child.startAddr), child.location) << child.startAddr;
            EXPECT_EQ(Location(child.endAddr), child.location) << child.endAddr;
        }
        if (!top.children.empty()) continue;
        ASSERT_EQ(Location(top.startAddr), top.location) << top.startAddr;
        ASSERT_EQ(Location(top.endAddr), top.location) << top.endAddr;
    }
}

TEST_F(AddressDatFileTest, ProcessWideTableIsTheBuiltFile) {
    const LocationTable& shared = GetLocationTable();
    EXPECT_EQ(&shared, &GetLocationTable());
    EXPECT_EQ(shared.size(), table_->size());
}

}  // namespace
}  // namespace sondrel
