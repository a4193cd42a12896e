#include "details/LocationDb.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/TestSupport.h"

namespace sondrel {
namespace {

// A record with each column's text placed as given (blanks and NULs included).
std::string Rec(std::string_view start, std::string_view end, std::string_view location,
                std::string_view detail) {
    std::string r(kAddressDatRecordSize, ' ');
    auto put = [&r](AddressDatColumn c, std::string_view text) {
        r.replace(c.offset, text.size(), text.substr(0, c.width));
    };
    put(kStartColumn, start.substr(0, kStartColumn.width));
    put(kEndColumn, end.substr(0, kEndColumn.width));
    put(kLocationColumn, location.substr(0, kLocationColumn.width));
    put(kDetailColumn, detail.substr(0, kDetailColumn.width));
    return r;
}

std::string File(std::initializer_list<std::string> records) {
    std::string f(kAddressDatHeaderSize, 'H');
    for (const std::string& r : records) f += r;
    return f;
}

struct Found {
    bool found;
    std::string location;
};

Found Look(const LocationTable& t, std::string_view dotted) {
    std::string location = "preset";
    std::string detail = "preset";
    bool found = FindLocation(t, DottedToNumber(dotted), location, detail);
    if (!found) {
        EXPECT_EQ(location + detail, "presetpreset") << "outputs touched for " << dotted;
    }
    return {found, found ? location : ""};
}

TEST(LocationDbTest, DottedToNumber) {
    struct Case {
        const char* text;
        uint32_t expected;
    };
    const Case cases[] = {
        {"1.2.3.4", 0x01020304},
        {"255.255.255.255", 0xFFFFFFFF},
        {"  \t10.0.0.1", 0x0A000001},
        {"1. 2.3.4", 0x01020304},   // white space may follow a dot
        {"1.2.3.4junk", 0x01020304},
        {"1.2.3", 0x01020300},      // missing octets count as 0
        {"", 0},
        {"0.256.0.0", 0x01000000},  // octets are OR-ed into place without masking
    };
    for (const Case& c : cases) EXPECT_EQ(DottedToNumber(c.text), c.expected) << c.text;
}

TEST(LocationDbTest, ParseDottedAddressNeedsFourOctets) {
    struct Case {
        const char* text;
        std::optional<uint32_t> expected;
    };
    const Case cases[] = {
        {"192.168.1.10", 0xC0A8010A},
        {"   0.0.0.0", 0},
        {"1.2.3.4 ", 0x01020304},
        {"1.2.3", std::nullopt},
        {"1.2.3.", std::nullopt},
        {"a.b.c.d", std::nullopt},
        {"", std::nullopt},
        {"256.1.1.1", std::nullopt},
        {"1.1.1.-1", std::nullopt},
        {"99999999999.1.1.1", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDottedAddress(c.text), c.expected) << c.text;
}

TEST(LocationDbTest, RecordColumns) {
    struct Case {
        const char* what;
        std::string record;
        std::optional<std::string> location;  // nothing: the record is skipped
        std::string detail;
    };
    std::string nul = Rec("1.0.0.0", "1.0.0.9", std::string("Ab\0cd", 5), "x");
    std::string full = Rec("1.0.0.0", "1.0.0.9", "ABCDEFGHIJKL", std::string(46, 'd'));
    full[kLocationColumn.offset + kLocationColumn.width] = 'Z';  // the unread byte after it
    const Case cases[] = {
        {"padding and inner blanks vanish", Rec("  1.0.0.0", "1.0.0.9", " New York  ", "Big  Apple"),
         "NewYork", "BigApple"},
        {"a NUL ends the column", nul, "Ab", "x"},
        {"a full column, nothing beyond", full, "ABCDEFGHIJKL", std::string(46, 'd')},
        {"start does not parse", Rec("1.0.0", "1.0.0.9", "L", "D"), std::nullopt, ""},
        {"end does not parse", Rec("1.0.0.0", "x", "L", "D"), std::nullopt, ""},
        {"octet too large", Rec("1.0.0.0", "1.0.0.300", "L", "D"), std::nullopt, ""},
    };
    for (const Case& c : cases) {
        std::optional<LocationRecord> r = ParseLocationRecord(c.record);
        ASSERT_EQ(r.has_value(), c.location.has_value()) << c.what;
        if (!r) continue;
        EXPECT_EQ(r->location, *c.location) << c.what;
        EXPECT_EQ(r->detail, c.detail) << c.what;
        EXPECT_EQ(r->startAddr, 0x01000000u) << c.what;
        EXPECT_EQ(r->endAddr, 0x01000009u) << c.what;
    }
    EXPECT_FALSE(ParseLocationRecord(Rec("1.0.0.0", "1.0.0.9", "L", "D").substr(0, 109)));
}

// Two top-level ranges, one with two children, a gap between them.
LocationTable Sample() {
    return ParseLocationTable(File({
        Rec("1.0.0.0", "1.255.255.255", "A", "a"),
        Rec("10.0.0.0", "10.255.255.255", "Parent", "p"),
        Rec("10.1.0.0", "10.1.255.255", "Child1", "c1"),
        Rec("10.2.0.0", "10.2.0.255", "Child2", "c2"),
        Rec("20.0.0.0", "20.0.0.255", "B", "b"),
        Rec("30.0.0.0", "30.0.0.0", "Single", "s"),
    }));
}

TEST(LocationDbTest, LookupPicksTheNarrowestRange) {
    LocationTable t = Sample();
    ASSERT_EQ(t.size(), 4u);
    ASSERT_TRUE(t[1].hasChildren);
    EXPECT_EQ(t[1].children.size(), 2u);
    struct Case {
        const char* address;
        const char* expected;  // nullptr: no range holds it
    };
    const Case cases[] = {
        {"0.255.255.255", nullptr},  // below the first range
        {"1.0.0.0", "A"},            // both ends inclusive
        {"1.255.255.255", "A"},
        {"2.0.0.0", nullptr},  // gap
        {"10.0.0.0", "Parent"},
        {"10.0.255.255", "Parent"},  // in the parent, before any child
        {"10.1.0.0", "Child1"},
        {"10.1.255.255", "Child1"},
        {"10.2.0.0", "Child2"},
        {"10.2.0.255", "Child2"},
        {"10.2.1.0", "Parent"},  // between children and past the last
        {"10.255.255.255", "Parent"},
        {"20.0.0.128", "B"},
        {"30.0.0.0", "Single"},
        {"30.0.0.1", nullptr},  // above the last range
        {"255.255.255.255", nullptr},
    };
    for (const Case& c : cases) {
        Found f = Look(t, c.address);
        EXPECT_EQ(f.found, c.expected != nullptr) << c.address;
        if (c.expected) {
            EXPECT_EQ(f.location, c.expected) << c.address;
        }
    }
}

TEST(LocationDbTest, TableShapeFollowsFileOrder) {
    struct Case {
        const char* what;
        std::string file;
        std::vector<size_t> childCounts;  // per top-level record
    };
    const Case cases[] = {
        {"a record starting at the parent's end and ending beyond is top-level",
         File({Rec("20.0.0.0", "20.0.0.255", "B", ""), Rec("20.0.0.16", "20.0.0.31", "C", ""),
               Rec("20.0.0.255", "20.0.1.255", "X", "")}),
         {1, 0}},
        {"a record nested in a child joins the same child table",
         File({Rec("10.0.0.0", "10.0.0.255", "P", ""), Rec("10.0.0.0", "10.0.0.127", "C", ""),
               Rec("10.0.0.8", "10.0.0.15", "G", "")}),
         {2}},
        {"after the parent closes, a contained record opens the next one",
         File({Rec("10.0.0.0", "10.0.0.255", "P", ""), Rec("10.0.1.0", "10.0.1.255", "Q", ""),
               Rec("10.0.1.4", "10.0.1.7", "C", "")}),
         {0, 1}},
        {"a skipped record changes nothing",
         File({Rec("10.0.0.0", "10.0.0.255", "P", ""), Rec("bad", "10.0.0.5", "?", ""),
               Rec("10.0.0.4", "10.0.0.7", "C", "")}),
         {1}},
    };
    for (const Case& c : cases) {
        LocationTable t = ParseLocationTable(c.file);
        ASSERT_EQ(t.size(), c.childCounts.size()) << c.what;
        for (size_t i = 0; i < t.size(); ++i) {
            EXPECT_EQ(t[i].children.size(), c.childCounts[i]) << c.what << " #" << i;
            EXPECT_EQ(t[i].hasChildren, c.childCounts[i] > 0) << c.what << " #" << i;
        }
    }
    LocationTable t = ParseLocationTable(cases[0].file);
    EXPECT_EQ(Look(t, "20.0.1.0").location, "X");
    EXPECT_EQ(Look(t, "20.0.0.20").location, "C");
}

TEST(LocationDbTest, ParentReopenedAtItsEndKeepsItsChildren) {
    LocationTable t = ParseLocationTable(File({
        Rec("10.0.0.0", "10.0.0.255", "P", ""),
        Rec("10.0.0.0", "10.0.0.15", "Low", ""),
        Rec("10.0.0.255", "10.0.0.255", "Last", ""),
    }));
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(Look(t, "10.0.0.3").location, "Low");
    EXPECT_EQ(Look(t, "10.0.0.255").location, "Last");
    EXPECT_EQ(Look(t, "10.0.0.100").location, "P");
}

TEST(LocationDbTest, FilesThatHoldNothing) {
    std::string one = Rec("1.0.0.0", "1.0.0.255", "A", "a");
    struct Case {
        const char* what;
        std::string bytes;
        size_t records;
    };
    const Case cases[] = {
        {"empty", "", 0},
        {"shorter than the header", std::string(100, ' ') + one.substr(0, 50), 0},
        {"header only", File({}), 0},
        {"trailing piece ignored", File({one}) + one.substr(0, 109), 1},
        {"piece after a piece", File({one, one.substr(0, 60)}), 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseLocationTable(c.bytes).size(), c.records) << c.what;
        test::TempDir dir;
        std::ofstream(dir / "address.dat", std::ios::binary) << c.bytes;
        LocationTable fromFile = LoadLocationTable(dir / "address.dat");
        EXPECT_EQ(fromFile.size(), c.records) << c.what;
        EXPECT_EQ(Look(fromFile, "2.0.0.0").found, false) << c.what;
    }
    test::TempDir dir;
    EXPECT_TRUE(LoadLocationTable(dir / "missing.dat").empty());
}

}  // namespace
}  // namespace sondrel
