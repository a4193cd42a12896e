#include <gtest/gtest.h>

#include <fstream>

#include "details/LocationDb.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

// A record with each column's text placed as given (blanks and NULs included), cut to width.
std::string Rec(std::string_view start, std::string_view end, std::string_view location,
                std::string_view detail = "") {
    std::string r(kAddressDatRecordSize, ' ');
    for (auto [c, text] : {std::pair{kStartColumn, start},
                           {kEndColumn, end},
                           {kLocationColumn, location},
                           {kDetailColumn, detail}})
        r.replace(c.offset, std::min(text.size(), c.width), text.substr(0, c.width));
    return r;
}

std::string File(std::initializer_list<std::string> records) {
    std::string f(kAddressDatHeaderSize, 'H');
    for (const std::string& r : records) f += r;
    return f;
}

// The location found for the address, or "-" when none; a miss must leave the outputs alone.
std::string Look(const LocationTable& t, std::string_view dotted) {
    std::string location = "-", detail = "-";
    EXPECT_TRUE(FindLocation(t, DottedToNumber(dotted), location, detail) ||
                location + detail == "--")
        << dotted;
    return location;
}

TEST(LocationDbTest, DottedAddresses) {
    // The reading of octets is shared with the strict parser below.
    const std::pair<const char*, uint32_t> loose[] = {
        {"255.255.255.255", 0xFFFFFFFF},
        {"1.2.3", 0x01020300},
        {"", 0},
        {"0.256.0.0", 0x01000000}};  // octets are OR-ed into place without masking
    for (auto [text, value] : loose) EXPECT_EQ(DottedToNumber(text), value) << text;
    const std::pair<const char*, std::optional<uint32_t>> strict[] = {{"192.168.1.10", 0xC0A8010A},
                                                                      {"   0.0.0.0", 0},
                                                                      {"1.2.3.4 ", 0x01020304},
                                                                      {"1.2.3", {}},
                                                                      {"1.2.3.", {}},
                                                                      {"a.b.c.d", {}},
                                                                      {"", {}},
                                                                      {"256.1.1.1", {}},
                                                                      {"1.1.1.-1", {}},
                                                                      {"99999999999.1.1.1", {}}};
    for (auto [text, value] : strict) EXPECT_EQ(ParseDottedAddress(text), value) << text;
}

TEST(LocationDbTest, RecordColumns) {
    std::string full = Rec("1.0.0.0", "1.0.0.9", "ABCDEFGHIJKL", std::string(46, 'd'));
    full[kLocationColumn.offset + kLocationColumn.width] = 'Z';  // the unread byte after it
    const struct {
        std::string record;
        std::optional<std::string> location;
        std::string detail;
    } cases[] = {
        {Rec("  1.0.0.0", "1.0.0.9", " New York  ", "Big  Apple"), "NewYork", "BigApple"},
        {Rec("1.0.0.0", "1.0.0.9", std::string("Ab\0cd", 5), "x"), "Ab", "x"},  // a NUL ends it
        {full, "ABCDEFGHIJKL", std::string(46, 'd')},
        {Rec("1.0.0", "1.0.0.9", "L", "D"), std::nullopt, ""},
        {Rec("1.0.0.0", "1.0.0.300", "L", "D"), std::nullopt, ""},
        {Rec("1.0.0.0", "1.0.0.9", "L", "D").substr(0, 109), std::nullopt, ""}};
    for (const auto& c : cases) {
        const std::optional<LocationRecord> r = ParseLocationRecord(c.record);
        ASSERT_EQ(r.has_value(), c.location.has_value()) << c.record;
        if (!r) continue;
        EXPECT_EQ(r->location + "|" + r->detail, *c.location + "|" + c.detail);
        EXPECT_EQ(std::pair(r->startAddr, r->endAddr), std::pair(0x01000000u, 0x01000009u));
    }
}

TEST(LocationDbTest, TableShapeFollowsFileOrder) {
    const struct {
        std::string file;
        std::vector<size_t> children;
        const char *probe, *location;
    } cases[] = {// A record starting at the parent's end and ending beyond it is top-level.
                 {File({Rec("20.0.0.0", "20.0.0.255", "B"), Rec("20.0.0.16", "20.0.0.31", "C"),
                        Rec("20.0.0.255", "20.0.1.255", "X")}),
                  {1, 0},
                  "20.0.1.0",
                  "X"},
                 // One inside the parent, though at its end, is a child.
                 {File({Rec("10.0.0.0", "10.0.0.255", "P"), Rec("10.0.0.0", "10.0.0.15", "Low"),
                        Rec("10.0.0.255", "10.0.0.255", "Last")}),
                  {2},
                  "10.0.0.255",
                  "Last"},
                 {File({Rec("10.0.0.0", "10.0.0.255", "P"), Rec("10.0.0.0", "10.0.0.127", "C"),
                        Rec("10.0.0.8", "10.0.0.15", "G")}),
                  {2},
                  "10.0.0.100",
                  "C"},
                 {File({Rec("10.0.0.0", "10.0.0.255", "P"), Rec("10.0.1.0", "10.0.1.255", "Q"),
                        Rec("10.0.1.4", "10.0.1.7", "C")}),
                  {0, 1},
                  "10.0.1.5",
                  "C"},
                 {File({Rec("10.0.0.0", "10.0.0.255", "P"), Rec("bad", "10.0.0.5", "?"),
                        Rec("10.0.0.4", "10.0.0.7", "C")}),
                  {1},
                  "10.0.0.5",
                  "C"}};
    for (const auto& c : cases) {
        const LocationTable t = ParseLocationTable(c.file);
        std::vector<size_t> children;
        for (const LocationRecord& r : t) {  // 99: the flag disagrees with the list
            children.push_back(r.hasChildren == !r.children.empty() ? r.children.size() : 99);
        }
        EXPECT_EQ(children, c.children) << c.probe;
        EXPECT_EQ(Look(t, c.probe), c.location);
    }
}

TEST(LocationDbTest, FilesThatHoldNothingWhole) {
    const std::string one = Rec("1.0.0.0", "1.0.0.255", "A");
    const std::pair<std::string, size_t> cases[] = {{"", 0},
                                                    {std::string(100, ' ') + one.substr(0, 50), 0},
                                                    {File({}), 0},
                                                    {File({one}) + one.substr(0, 109), 1},
                                                    {File({one, one.substr(0, 60)}), 1}};
    test::TempDir dir;
    for (const auto& [bytes, records] : cases) {
        EXPECT_EQ(ParseLocationTable(bytes).size(), records) << bytes.size();
        std::ofstream(dir / "address.dat", std::ios::binary) << bytes;
        EXPECT_EQ(LoadLocationTable(dir / "address.dat").size(), records) << bytes.size();
    }
    EXPECT_TRUE(LoadLocationTable(dir / "missing.dat").empty());
}

}  // namespace
}  // namespace sondrel
