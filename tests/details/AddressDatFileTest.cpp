// The address.dat that the build makes from the country database, read back.
#include <gtest/gtest.h>

#include "details/LocationDb.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

class AddressDatFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto file = test::BinDir() / "address.dat";
        if (!std::filesystem::exists(file))
            GTEST_SKIP() << file << " was not built (no libGeoIP or no geoip-database)";
        static const LocationTable loaded = LoadLocationTable(file);  // 20 MB: read once
        ASSERT_GT(loaded.size(), 1000u);
        table_ = &loaded;
    }
    std::string Location(uint32_t addr) {
        std::string location, detail;
        return FindLocation(*table_, addr, location, detail) ? location : "(none)";
    }
    const LocationTable* table_ = nullptr;
};

TEST_F(AddressDatFileTest, KnownAndSpecialAddresses) {
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1", "Loopback"},    {"8.8.8.8", "USA"},
        {"81.2.69.160", "UK"},        {"1.0.1.0", "China"},
        {"1.0.0.1", "Australia"},     {"10.1.2.3", "Private"},
        {"192.168.1.1", "Private"},   {"198.51.100.7", "TEST-NET-2"},
        {"169.254.0.1", "Link-local"}};
    for (auto [dotted, place] : cases) EXPECT_EQ(Location(DottedToNumber(dotted)), place) << dotted;
    EXPECT_EQ(GetLocationTable().size(), table_->size()) << "the process-wide table is this file";
}

}  // namespace
}  // namespace sondrel
