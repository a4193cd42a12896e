#include "details/AddressDatWriter.h"

#include <gtest/gtest.h>

#include <set>

#include "details/LocationDb.h"

namespace sondrel {
namespace {

constexpr const char* kNbsp = "\xC2\xA0";

uint32_t A(const char* dotted) { return DottedToNumber(dotted); }

// What a lookup must say for addr: the narrowest special range holding it, else the
// country range holding it, else nothing.
std::optional<std::string> Expected(uint32_t addr, const std::vector<CountryRange>& countries,
                                    std::span<const NamedRange> specials) {
    const NamedRange* best = nullptr;
    for (const NamedRange& s : specials) {
        if (addr < s.from || addr > s.to) continue;
        if (!best || uint64_t{s.to} - s.from < uint64_t{best->to} - best->from) best = &s;
    }
    if (best) return FitColumn(best->location, kLocationColumn.width);
    for (const CountryRange& c : countries)
        if (addr >= c.from && addr <= c.to) return ShortCountryName(c.code, c.name);
    return std::nullopt;
}

// Every range end, and the addresses beside it, resolves as the reference says.
void ExpectLookupsMatch(const std::vector<CountryRange>& countries,
                        std::span<const NamedRange> specials) {
    LocationTable table = ParseLocationTable(BuildAddressDat(countries, specials, "test"));
    std::set<uint32_t> probes;
    auto around = [&probes](uint32_t a) {
        probes.insert(a);
        if (a > 0) probes.insert(a - 1);
        if (a < 0xFFFFFFFF) probes.insert(a + 1);
    };
    for (const CountryRange& c : countries) around(c.from), around(c.to);
    for (const NamedRange& s : specials) around(s.from), around(s.to);
    for (uint32_t addr : probes) {
        std::string location, detail;
        bool found = FindLocation(table, addr, location, detail);
        std::optional<std::string> want = Expected(addr, countries, specials);
        ASSERT_EQ(found, want.has_value()) << addr;
        if (found) {
            EXPECT_EQ(location, *want) << addr;
        }
    }
}

TEST(AddressDatWriterTest, FitColumn) {
    struct Case {
        const char* text;
        size_t width;
        std::string expected;
    };
    const Case cases[] = {
        {"USA", 12, "USA"},
        {"New Zealand", 12, std::string("New") + kNbsp + "Zealand"},  // exactly 12 bytes
        {"Saudi Arabia", 12, "Saudi Arabia"},  // no room for a no-break space: blank kept
        {"Liechtenstein", 12, "Liechtenstei"},
        {"\xC3\x85land Islands", 6, "\xC3\x85land"},     // 6 bytes, whole characters
        {"ab\xC3\x85land", 3, "ab"},                     // never half a character
    };
    for (const Case& c : cases) EXPECT_EQ(FitColumn(c.text, c.width), c.expected) << c.text;
}

TEST(AddressDatWriterTest, CountryNames) {
    struct Case {
        const char* code;
        const char* name;
        std::string location;
        std::string detail;
    };
    const Case cases[] = {
        {"US", "United States", "USA", std::string("United") + kNbsp + "States"},
        {"GB", "United Kingdom", "UK", std::string("United") + kNbsp + "Kingdom"},
        {"DE", "Germany", "Germany", "Germany"},
        {"KR", "Korea, Republic of", std::string("South") + kNbsp + "Korea", ""},
        {"ZZ", "Foo, Republic of", "Foo", ""},
        {"ZY", "Bar (Baz) Islands", "Bar", ""},
        {"ZX", "Extremely Long Name", "Extremely Lo", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShortCountryName(c.code, c.name), c.location) << c.code;
        if (!c.detail.empty()) {
            EXPECT_EQ(CountryDetail(c.code, c.name), c.detail) << c.code;
        }
    }
    EXPECT_LE(CountryDetail("GS", "South Georgia and the South Sandwich Islands").size(), 46u);
}

TEST(AddressDatWriterTest, RecordAndHeaderLayout) {
    std::string r = FormatAddressDatRecord({A("1.2.3.4"), A("255.255.255.255"), "Loopback",
                                            "Local host"});
    ASSERT_EQ(r.size(), kAddressDatRecordSize);
    EXPECT_EQ(r.substr(0, 16), "1.2.3.4         ");
    EXPECT_EQ(r.substr(16, 21), "255.255.255.255      ");
    EXPECT_EQ(r.substr(37, 13), "Loopback     ");
    EXPECT_EQ(r.substr(50, 11), std::string("Local") + kNbsp + "host");
    EXPECT_EQ(r.back(), '\n');
    std::optional<LocationRecord> back = ParseLocationRecord(r);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->location, "Loopback");
    EXPECT_EQ(back->startAddr, A("1.2.3.4"));
    EXPECT_EQ(back->endAddr, 0xFFFFFFFFu);

    for (std::string text : {std::string("short"), std::string(500, 'x')}) {
        std::string h = FormatAddressDatHeader(text);
        ASSERT_EQ(h.size(), kAddressDatHeaderSize);
        EXPECT_EQ(h.back(), '\n');
        EXPECT_EQ(h.substr(0, 5), text.substr(0, 5));
    }
}

TEST(AddressDatWriterTest, SpecialRangesNestOneLevelWithoutOverlap) {
    const std::vector<NamedRange>& s = SpecialRanges();
    for (size_t i = 0; i < s.size(); ++i) {
        EXPECT_LE(s[i].from, s[i].to) << s[i].location;
        EXPECT_LE(FitColumn(s[i].location, 12).size(), 12u);
        if (i > 0) {
            EXPECT_LE(s[i - 1].from, s[i].from) << "sorted by start";
        }
        for (size_t j = 0; j < s.size(); ++j) {
            if (i == j || s[i].to < s[j].from || s[j].to < s[i].from) continue;
            bool nested = (s[i].from >= s[j].from && s[i].to <= s[j].to) ||
                          (s[j].from >= s[i].from && s[j].to <= s[i].to);
            EXPECT_TRUE(nested) << s[i].location << " overlaps " << s[j].location;
        }
    }
}

TEST(AddressDatWriterTest, PlanMergesNeighboursAndCutsAroundSpecials) {
    std::vector<CountryRange> countries = {
        {A("1.0.1.0"), A("1.0.1.255"), "AU", "Australia"},  // out of order on purpose
        {A("1.0.0.0"), A("1.0.0.255"), "AU", "Australia"},
        {A("1.0.2.0"), A("1.0.2.255"), "CN", "China"},
        {A("9.0.0.0"), A("11.255.255.255"), "US", "United States"},
    };
    std::vector<NamedRange> specials = {{A("10.0.0.0"), A("10.255.255.255"), "Private", "p"}};
    std::vector<NamedRange> plan = PlanAddressDat(countries, specials);
    ASSERT_EQ(plan.size(), 5u);
    EXPECT_EQ(plan[0].from, A("1.0.0.0"));
    EXPECT_EQ(plan[0].to, A("1.0.1.255"));
    EXPECT_EQ(plan[1].location, "China");
    EXPECT_EQ(plan[2].to, A("9.255.255.255"));
    EXPECT_EQ(plan[3].location, "Private");
    EXPECT_EQ(plan[4].from, A("11.0.0.0"));
    EXPECT_EQ(plan[4].location, "USA");
}

TEST(AddressDatWriterTest, LookupsOfTheBuiltFileMatchTheRanges) {
    struct Case {
        const char* what;
        std::vector<CountryRange> countries;
    };
    const Case cases[] = {
        {"no country data", {}},
        {"countries around and across the special ranges",
         {{A("1.0.0.0"), A("1.0.0.255"), "AU", "Australia"},
          {A("9.0.0.0"), A("11.255.255.255"), "US", "United States"},
          {A("126.0.0.0"), A("128.0.0.255"), "JP", "Japan"},
          {A("192.0.0.0"), A("192.0.2.255"), "US", "United States"},
          {A("192.0.3.0"), A("192.0.3.255"), "DE", "Germany"},
          {A("198.51.100.128"), A("198.51.101.0"), "NL", "Netherlands"},
          {A("223.255.255.0"), A("239.0.0.0"), "ZZ", "Oddland"},
          {A("255.255.255.255"), A("255.255.255.255"), "ZZ", "Oddland"}}},
        {"the whole space in one country",
         {{0, 0xFFFFFFFF, "DE", "Germany"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectLookupsMatch(c.countries, SpecialRanges());
    }
}

TEST(AddressDatWriterTest, HandmadeNestedSpecials) {
    // A parent whose children touch both its ends, one a single address at its very end.
    std::vector<NamedRange> specials = {
        {A("50.0.0.0"), A("50.0.0.255"), "Parent", "p"},
        {A("50.0.0.0"), A("50.0.0.0"), "First", "f"},
        {A("50.0.0.16"), A("50.0.0.31"), "Mid", "m"},
        {A("50.0.0.255"), A("50.0.0.255"), "Last", "l"},
    };
    std::vector<CountryRange> countries = {{A("49.0.0.0"), A("51.0.0.0"), "FR", "France"}};
    ExpectLookupsMatch(countries, specials);
}

}  // namespace
}  // namespace sondrel
