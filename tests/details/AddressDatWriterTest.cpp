#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "details/AddressDatWriter.h"
#include "details/LocationDb.h"

namespace sondrel {
namespace {

const std::string kNbsp = "\xC2\xA0";

uint32_t A(const char* dotted) { return DottedToNumber(dotted); }

// Builds the file and checks every range end, and the addresses beside it, against a plain
// reference: the narrowest special range holding the address, else its country, else none.
void ExpectLookupsMatch(const std::vector<CountryRange>& countries,
                        std::span<const NamedRange> specials) {
    const LocationTable table = ParseLocationTable(BuildAddressDat(countries, specials, "test"));
    std::set<uint64_t> probes;
    for (const CountryRange& c : countries) probes.insert({c.from, c.to});
    for (const NamedRange& s : specials) probes.insert({s.from, s.to});
    for (uint64_t end : std::set<uint64_t>(probes)) probes.insert({end - 1, end + 1});
    for (uint64_t probe : probes) {
        if (probe > 0xFFFFFFFF) continue;  // beside 0 or beside the top
        const auto addr = static_cast<uint32_t>(probe);
        std::string want = "-", location = "-", detail;
        const NamedRange* best = nullptr;
        for (const NamedRange& s : specials) {
            const bool narrower = !best || s.to - s.from < best->to - best->from;
            if (addr >= s.from && addr <= s.to && narrower) best = &s;
        }
        for (const CountryRange& c : countries)
            if (!best && addr >= c.from && addr <= c.to) want = ShortCountryName(c.code, c.name);
        if (best) want = FitColumn(best->location, kLocationColumn.width);
        FindLocation(table, addr, location, detail);
        EXPECT_EQ(location, want) << std::hex << addr;
    }
}

TEST(AddressDatWriterTest, ColumnTexts) {
    // No-break spaces only where they still fit; never half a character.
    const std::tuple<const char*, size_t, std::string> fits[] = {
        {"New Zealand", 12, "New" + kNbsp + "Zealand"},
        {"Saudi Arabia", 12, "Saudi Arabia"},
        {"Liechtenstein", 12, "Liechtenstei"},
        {"\xC3\x85land Islands", 6, "\xC3\x85land"},
        {"ab\xC3\x85land", 3, "ab"}};
    for (const auto& [text, width, fitted] : fits)
        EXPECT_EQ(FitColumn(text, width), fitted) << text;
    const std::tuple<const char*, const char*, std::string> names[] = {
        {"US", "United States", "USA"},
        {"GB", "United Kingdom", "UK"},
        {"DE", "Germany", "Germany"},
        {"KR", "Korea, Republic of", "South" + kNbsp + "Korea"},
        {"ZZ", "Foo, Republic of", "Foo"},
        {"ZY", "Bar (Baz) Islands", "Bar"},
        {"ZX", "Extremely Long Name", "Extremely Lo"}};
    for (const auto& [code, name, location] : names)
        EXPECT_EQ(ShortCountryName(code, name), location) << code;
    EXPECT_EQ(CountryDetail("US", "United States"), "United" + kNbsp + "States");
    EXPECT_LE(CountryDetail("GS", "South Georgia and the South Sandwich Islands").size(), 46u);
}

TEST(AddressDatWriterTest, RecordAndHeaderLayout) {
    const std::string r =
        FormatAddressDatRecord({A("1.2.3.4"), 0xFFFFFFFF, "Loopback", "Local host"});
    EXPECT_EQ(r, "1.2.3.4         255.255.255.255      Loopback     Local" + kNbsp + "host" +
                     std::string(kAddressDatRecordSize - 62, ' ') + "\n");
    for (const std::string& text : {std::string("short"), std::string(500, 'x')}) {
        EXPECT_EQ(FormatAddressDatHeader(text),
                  (text + std::string(193, ' ')).substr(0, 193) + "\n");
    }
}

TEST(AddressDatWriterTest, PlanMergesNeighboursAndCutsAroundSpecials) {
    const NamedRange specials[] = {{A("10.0.0.0"), A("10.255.255.255"), "Private", "p"}};
    const std::vector<NamedRange> plan = PlanAddressDat(  // out of order on purpose
        {{A("1.0.1.0"), A("1.0.1.255"), "AU", "Australia"},
         {A("1.0.0.0"), A("1.0.0.255"), "AU", "Australia"},
         {A("1.0.2.0"), A("1.0.2.255"), "CN", "China"},
         {A("9.0.0.0"), A("11.255.255.255"), "US", "USA"}},
        specials);
    std::vector<std::tuple<uint32_t, uint32_t, std::string>> got;
    for (const NamedRange& p : plan) got.emplace_back(p.from, p.to, p.location);
    EXPECT_EQ(got, (decltype(got){{A("1.0.0.0"), A("1.0.1.255"), "Australia"},
                                  {A("1.0.2.0"), A("1.0.2.255"), "China"},
                                  {A("9.0.0.0"), A("9.255.255.255"), "USA"},
                                  {A("10.0.0.0"), A("10.255.255.255"), "Private"},
                                  {A("11.0.0.0"), A("11.255.255.255"), "USA"}}));
}

TEST(AddressDatWriterTest, LookupsOfTheBuiltFileMatchTheRanges) {
    const std::vector<CountryRange> cases[] = {
        {},
        {{A("1.0.0.0"), A("1.0.0.255"), "AU", "Australia"},
         {A("9.0.0.0"), A("11.255.255.255"), "US", "USA"},
         {A("126.0.0.0"), A("128.0.0.255"), "JP", "Japan"},
         {A("192.0.0.0"), A("192.0.2.255"), "US", "USA"},
         {A("192.0.3.0"), A("192.0.3.255"), "DE", "Germany"},
         {A("198.51.100.128"), A("198.51.101.0"), "NL", "NL"},
         {A("223.255.255.0"), A("239.0.0.0"), "ZZ", "Oddland"},
         {0xFFFFFFFF, 0xFFFFFFFF, "ZZ", "Oddland"}},
        {{0, 0xFFFFFFFF, "DE", "Germany"}}};
    for (const auto& countries : cases) ExpectLookupsMatch(countries, SpecialRanges());
    // A parent whose children touch both its ends, one a single address at its very end.
    const NamedRange nested[] = {{A("50.0.0.0"), A("50.0.0.255"), "Parent", "p"},
                                 {A("50.0.0.0"), A("50.0.0.0"), "First", "f"},
                                 {A("50.0.0.16"), A("50.0.0.31"), "Mid", "m"},
                                 {A("50.0.0.255"), A("50.0.0.255"), "Last", "l"}};
    ExpectLookupsMatch({{A("49.0.0.0"), A("51.0.0.0"), "FR", "France"}}, nested);
}

}  // namespace
}  // namespace sondrel
