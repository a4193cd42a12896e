#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "model/AddressText.h"
#include "model/Archive.h"
#include "model/ListFile.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes AsBytes(const std::string& s) { return Str(s); }

uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return AddressFromOctets(a, b, c, d); }

HostEntry Named(uint32_t address, std::string name) {
    HostEntry e{address, {}};
    e.m_record.m_bNamed = 1;
    e.m_record.m_strName = std::move(name);
    return e;
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// --- The text form: prefix lengths at every boundary ---------------------------------

struct TextFormCase {
    size_t length;
    Bytes prefix;
};

class TextForm : public ::testing::TestWithParam<TextFormCase> {};

TEST_P(TextForm, WritesThePrefixAndReadsItBack) {
    const auto& c = GetParam();
    const std::string text(c.length, 'x');
    ArchiveWriter out;
    out.WriteText(text);
    const Bytes written = AsBytes(out.Bytes());
    ASSERT_EQ(written.size(), c.prefix.size() + c.length);
    EXPECT_EQ(Bytes(written.begin(), written.begin() + static_cast<long>(c.prefix.size())), c.prefix);

    ArchiveReader in(written);
    std::string back;
    ASSERT_TRUE(in.ReadText(back));
    EXPECT_EQ(back, text);
    EXPECT_EQ(in.Remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, TextForm,
                         ::testing::Values(TextFormCase{0, Hex("00")}, TextFormCase{20, Hex("14")},
                                           TextFormCase{254, Hex("FE")},
                                           TextFormCase{255, Hex("FF FF 00")},
                                           TextFormCase{300, Hex("FF 2C 01")},
                                           TextFormCase{65533, Hex("FF FD FF")},
                                           TextFormCase{65534, Hex("FF FF FF FE FF 00 00")},
                                           TextFormCase{70000, Hex("FF FF FF 70 11 01 00")}));

// --- Reading texts: accepted forms and faults -----------------------------------------

struct ReadTextCase {
    const char* name;
    Bytes bytes;
    bool ok;
    std::string text;
    ArchiveFault fault;
};

class ReadText : public ::testing::TestWithParam<ReadTextCase> {};

TEST_P(ReadText, Reads) {
    const auto& c = GetParam();
    ArchiveReader in(c.bytes);
    std::string text = "untouched";
    EXPECT_EQ(in.ReadText(text), c.ok);
    EXPECT_EQ(in.Fault(), c.fault);
    if (c.ok) {
        EXPECT_EQ(text, c.text);
    } else {
        EXPECT_EQ(in.Offset(), 0u) << "a failed text leaves the position at its start";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ReadText,
    ::testing::Values(
        ReadTextCase{"OneByte", Cat({Hex("03"), Str("abc")}), true, "abc", ArchiveFault::None},
        // A longer form than needed is still read.
        ReadTextCase{"TwoByteShort", Cat({Hex("FF 03 00"), Str("abc")}), true, "abc", ArchiveFault::None},
        ReadTextCase{"FourByteShort", Cat({Hex("FF FF FF 03 00 00 00"), Str("abc")}), true, "abc",
                     ArchiveFault::None},
        ReadTextCase{"Utf16Ascii", Hex("FF FE FF 02 61 00 62 00"), true, "ab", ArchiveFault::None},
        ReadTextCase{"Utf16NonAscii", Hex("FF FE FF 02 E9 00 AC 20"), true, "\xC3\xA9\xE2\x82\xAC",
                     ArchiveFault::None},
        ReadTextCase{"Utf16Pair", Hex("FF FE FF 02 3D D8 00 DE"), true, "\xF0\x9F\x98\x80",
                     ArchiveFault::None},
        ReadTextCase{"Utf16LoneSurrogate", Hex("FF FE FF 01 00 D8"), true, "\xEF\xBF\xBD",
                     ArchiveFault::None},
        ReadTextCase{"Utf16TwoByteLength", Hex("FF FE FF FF 01 00 41 00"), true, "A", ArchiveFault::None},
        ReadTextCase{"Utf16Empty", Hex("FF FE FF 00"), true, "", ArchiveFault::None},
        ReadTextCase{"Empty", Hex(""), false, "", ArchiveFault::EndsEarly},
        ReadTextCase{"CutInTwoByteLength", Hex("FF 2C"), false, "", ArchiveFault::EndsEarly},
        ReadTextCase{"CutInFourByteLength", Hex("FF FF FF 10 00"), false, "", ArchiveFault::EndsEarly},
        ReadTextCase{"CutAfterUtf16Mark", Hex("FF FE FF"), false, "", ArchiveFault::EndsEarly},
        ReadTextCase{"BodyShort", Cat({Hex("05"), Str("abc")}), false, "", ArchiveFault::TextTooLong},
        ReadTextCase{"HugeLength", Hex("FF FF FF FF FF FF FF 41"), false, "", ArchiveFault::TextTooLong},
        ReadTextCase{"Utf16OddBody", Hex("FF FE FF 02 61 00 62"), false, "", ArchiveFault::TextTooLong},
        ReadTextCase{"Utf16HugeLength", Hex("FF FE FF FF FF FF FF FF FF 7F"), false, "",
                     ArchiveFault::TextTooLong},
        ReadTextCase{"TwoUtf16Marks", Hex("FF FE FF FF FE FF 00"), false, "", ArchiveFault::BadTextPrefix}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Writing list files ------------------------------------------------------------------

TEST(ListFileWrite, ByteExamples) {
    HostTable empty;
    EXPECT_EQ(AsBytes(SerializeHostTable(3, empty)), Hex("03 00 00 00 00 00 00 00"));

    HostTable one;
    one.HostAt(Ip(10, 0, 0, 1));
    EXPECT_EQ(AsBytes(SerializeHostTable(3, one)), Hex("03 00 00 00 01 00 00 00 0A 00 00 01 00 00 00 00"));

    HostTable named;
    HostRecord& r = named.HostAt(Ip(1, 2, 3, 4));
    r.m_bNamed = 1;
    r.m_strName = "www.example-host.org";  // 20 characters
    ASSERT_EQ(r.m_strName.size(), 20u);
    EXPECT_EQ(AsBytes(SerializeHostTable(10000, named)),
              Cat({Hex("10 27 00 00 01 00 00 00 01 02 03 04 01 00 00 00 14"), Str(r.m_strName)}));

    r.m_strName = std::string(300, 'n');
    EXPECT_EQ(AsBytes(SerializeHostTable(1, named)),
              Cat({Hex("01 00 00 00 01 00 00 00 01 02 03 04 01 00 00 00 FF 2C 01"), Str(r.m_strName)}));
}

TEST(ListFileWrite, UnnamedHostsStoreNoName) {
    HostTable table;
    HostRecord& r = table.HostAt(Ip(10, 0, 0, 1));
    r.m_strName = "no domain name";  // a reverse-lookup text is not part of the list
    EXPECT_EQ(SerializeHostTable(3, table).size(), 16u);
}

TEST(ListFileWrite, WritesInTableOrder) {
    HostTable table;
    for (uint32_t a : {Ip(192, 168, 1, 1), Ip(192, 168, 1, 2), Ip(10, 0, 0, 1)}) table.HostAt(a);
    const ListReadResult back = ParseListFile(AsBytes(SerializeHostTable(3, table)));
    ASSERT_TRUE(back.ok());
    ASSERT_EQ(back.entries.size(), 3u);
    EXPECT_EQ(back.entries[0].m_dwAddress, Ip(10, 0, 0, 1));
    EXPECT_EQ(back.entries[1].m_dwAddress, Ip(192, 168, 1, 1));
    EXPECT_EQ(back.entries[2].m_dwAddress, Ip(192, 168, 1, 2));
    EXPECT_EQ(SerializeEntries(3, back.entries), SerializeHostTable(3, table));
}

TEST(ListFileWrite, RoundTripKeepsListAndResetsStatistics) {
    HostTable table;
    HostRecord& a = table.HostAt(Ip(10, 0, 0, 1));
    a.m_nSent = 9;
    a.m_nReceived = 4;
    a.m_nMinTime = 3;
    a.m_history = {"t\n", "e\n"};
    a.m_bReplied = 0;
    HostRecord& b = table.HostAt(Ip(10, 0, 0, 2));
    b.m_bNamed = 1;
    b.m_strName = "host.example";
    const ListReadResult back = ParseListFile(AsBytes(SerializeHostTable(42, table)));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back.interval, 42u);
    HostTable reread;
    MergeEntries(back.entries, reread);
    ASSERT_NE(reread.FindHost(Ip(10, 0, 0, 1)), nullptr);
    EXPECT_EQ(*reread.FindHost(Ip(10, 0, 0, 1)), HostRecord{});
    HostRecord expectB;
    expectB.m_bNamed = 1;
    expectB.m_strName = "host.example";
    EXPECT_EQ(*reread.FindHost(Ip(10, 0, 0, 2)), expectB);
}

// --- Reading list files: every field cut short, bad counts --------------------------------

struct ParseCase {
    const char* name;
    Bytes bytes;
    ListFault fault;
    std::optional<uint32_t> interval;
    std::optional<int32_t> count;
    size_t entries;
    size_t faultOffset;
};

class ParseList : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseList, Reads) {
    const auto& c = GetParam();
    const ListReadResult r = ParseListFile(c.bytes);
    EXPECT_EQ(r.fault, c.fault) << DescribeListFault(r);
    EXPECT_EQ(r.interval, c.interval);
    EXPECT_EQ(r.count, c.count);
    EXPECT_EQ(r.entries.size(), c.entries);
    if (c.fault != ListFault::None) {
        EXPECT_EQ(r.faultOffset, c.faultOffset);
    }
}

const Bytes kHead2 = Hex("05 00 00 00 02 00 00 00");
const Bytes kRec1 = Hex("0A 00 00 01 00 00 00 00");
const Bytes kNamedHead = Hex("0A 00 00 02 01 00 00 00");

INSTANTIATE_TEST_SUITE_P(
    Fields, ParseList,
    ::testing::Values(
        ParseCase{"Empty", {}, ListFault::EndsEarly, {}, {}, 0, 0},
        ParseCase{"CutInInterval", Hex("03 00"), ListFault::EndsEarly, {}, {}, 0, 0},
        ParseCase{"CutInCount", Hex("03 00 00 00 01"), ListFault::EndsEarly, 3u, {}, 0, 4},
        ParseCase{"NoRecords", Hex("03 00 00 00 00 00 00 00"), ListFault::None, 3u, 0, 0, 0},
        ParseCase{"NegativeCount", Cat({Hex("03 00 00 00 FF FF FF FF"), kRec1}), ListFault::None, 3u, -1, 0, 0},
        ParseCase{"MostNegativeCount", Hex("03 00 00 00 00 00 00 80"), ListFault::None, 3u, INT32_MIN, 0, 0},
        ParseCase{"TrailingBytesIgnored", Cat({Hex("03 00 00 00 01 00 00 00"), kRec1, Hex("99")}),
                  ListFault::None, 3u, 1, 1, 0},
        ParseCase{"CountLargerThanFile", Cat({Hex("03 00 00 00 FF FF FF 7F"), kRec1}),
                  ListFault::TooFewRecords, 3u, INT32_MAX, 1, 16},
        ParseCase{"CutInAddress", Cat({kHead2, kRec1, Hex("0A 00")}), ListFault::EndsEarly, 5u, 2, 1, 16},
        ParseCase{"CutInFlag", Cat({kHead2, kRec1, Hex("0A 00 00 02 01 00")}), ListFault::EndsEarly, 5u, 2, 1, 16},
        ParseCase{"CutBeforeName", Cat({kHead2, kRec1, kNamedHead}), ListFault::EndsEarly, 5u, 2, 1, 16},
        ParseCase{"CutInNameLength", Cat({kHead2, kRec1, kNamedHead, Hex("FF 2C")}), ListFault::EndsEarly,
                  5u, 2, 1, 16},
        ParseCase{"CutInName", Cat({kHead2, kRec1, kNamedHead, Hex("05"), Str("abc")}),
                  ListFault::TextTooLong, 5u, 2, 1, 16},
        ParseCase{"NameLengthHuge", Cat({kHead2, kRec1, kNamedHead, Hex("FF FF FF FF FF FF FF")}),
                  ListFault::TextTooLong, 5u, 2, 1, 16},
        ParseCase{"DoubleUtf16Mark", Cat({kHead2, kRec1, kNamedHead, Hex("FF FE FF FF FE FF 00")}),
                  ListFault::BadTextPrefix, 5u, 2, 1, 16},
        ParseCase{"Complete", Cat({kHead2, kRec1, kNamedHead, Hex("03"), Str("abc")}), ListFault::None, 5u, 2,
                  2, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListFileRead, NamedFlagAndNames) {
    const Bytes bytes = Cat({Hex("03 00 00 00 03 00 00 00"), Hex("01 02 03 04 07 00 00 00 02"), Str("ab"),
                             Hex("05 06 07 08 01 00 00 00 FF FE FF 02 E9 00 41 00"),
                             Hex("09 0A 0B 0C 00 00 00 00")});
    const ListReadResult r = ParseListFile(bytes);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.entries.size(), 3u);
    EXPECT_EQ(r.entries[0].m_record.m_bNamed, 1) << "any non-zero flag means named";
    EXPECT_EQ(r.entries[0].m_record.m_strName, "ab");
    EXPECT_EQ(r.entries[1].m_record.m_strName, "\xC3\xA9" "A");
    EXPECT_EQ(r.entries[2].m_record.m_bNamed, 0);
    EXPECT_EQ(r.entries[2].m_record.m_strName, "");
    EXPECT_EQ(r.entries[2].m_dwAddress, Ip(9, 10, 11, 12));
    EXPECT_EQ(r.entries[0].m_record.m_bReplied, 1);
}

TEST(ListFileRead, DescribesFaults) {
    EXPECT_EQ(DescribeListFault(ParseListFile(Cat({kHead2, kRec1, Hex("0A 00")}))),
              "ends inside record 2 of 2 at byte 16");
    EXPECT_EQ(DescribeListFault(ParseListFile(Cat({kHead2, kRec1}))), "ends after 1 of 2 records at byte 16");
    EXPECT_EQ(DescribeListFault(ParseListFile(Hex("01"))), "ends before the interval");
}

// --- Merging, default.ipl and import --------------------------------------------------

TEST(MergeEntries, SkipsAddressesAlreadyPresentAndDuplicates) {
    HostTable table;
    HostRecord& existing = table.HostAt(Ip(10, 0, 0, 1));
    existing.m_nSent = 7;
    const std::vector<HostEntry> entries = {Named(Ip(10, 0, 0, 1), "other"), HostEntry{Ip(10, 0, 0, 2), {}},
                                            Named(Ip(10, 0, 0, 2), "dup"), Named(Ip(10, 0, 0, 3), "c")};
    const auto added = MergeEntries(entries, table);
    EXPECT_EQ(added, (std::vector<uint32_t>{Ip(10, 0, 0, 2), Ip(10, 0, 0, 3)}));
    EXPECT_EQ(table.FindHost(Ip(10, 0, 0, 1))->m_nSent, 7);
    EXPECT_EQ(table.FindHost(Ip(10, 0, 0, 1))->m_bNamed, 0);
    EXPECT_EQ(table.FindHost(Ip(10, 0, 0, 2))->m_bNamed, 0);
    EXPECT_EQ(table.FindHost(Ip(10, 0, 0, 3))->m_strName, "c");
    EXPECT_EQ(table.GetHostCount(), 3);
}

TEST(DefaultList, MissingFileIsSilent) {
    test::TempDir dir;
    HostTable table;
    const ListLoadStatus s = ReadDefaultList(dir / "default.ipl", table);
    EXPECT_EQ(s.kind, ListLoadStatus::Kind::Missing);
    EXPECT_FALSE(s.interval);
    EXPECT_TRUE(table.IsEmpty());
}

TEST(DefaultList, WriteThenReadKeepsEverythingAndLeavesNoTemporaryFile) {
    test::TempDir dir;
    const auto path = dir / "default.ipl";
    HostTable table;
    table.HostAt(Ip(192, 168, 1, 1));
    HostRecord& named = table.HostAt(Ip(10, 0, 0, 1));
    named.m_bNamed = 1;
    named.m_strName = "http://example.test/page?q=1";
    std::string message;
    ASSERT_TRUE(WriteDefaultList(path, 7, table, message)) << message;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    HostTable reread;
    reread.HostAt(Ip(192, 168, 1, 1)).m_nSent = 3;  // already present: left alone
    const ListLoadStatus s = ReadDefaultList(path, reread);
    EXPECT_EQ(s.kind, ListLoadStatus::Kind::Loaded);
    EXPECT_EQ(s.interval, 7u);
    EXPECT_EQ(s.added, (std::vector<uint32_t>{Ip(10, 0, 0, 1)}));
    EXPECT_EQ(reread.FindHost(Ip(10, 0, 0, 1))->m_strName, "http://example.test/page?q=1");
    EXPECT_EQ(reread.FindHost(Ip(192, 168, 1, 1))->m_nSent, 3);
}

TEST(DefaultList, ReplacesTheOldFile) {
    test::TempDir dir;
    const auto path = dir / "default.ipl";
    WriteBytes(path, Bytes(100, 0xAA));
    HostTable table;
    std::string message;
    ASSERT_TRUE(WriteDefaultList(path, 3, table, message)) << message;
    EXPECT_EQ(AsBytes(ReadBytes(path)), Hex("03 00 00 00 00 00 00 00"));
}

TEST(DefaultList, FailedWriteKeepsTheOldFile) {
    test::TempDir dir;
    const auto folder = dir / "ro";
    std::filesystem::create_directory(folder);
    const auto path = folder / "default.ipl";
    WriteBytes(path, Hex("03 00 00 00 00 00 00 00"));
    // A folder of that name where the new file should go makes creation fail even for root.
    std::filesystem::create_directory(folder / "default.ipl.new");
    HostTable table;
    table.HostAt(Ip(10, 0, 0, 1));
    std::string message;
    EXPECT_FALSE(WriteDefaultList(path, 9, table, message));
    EXPECT_NE(message.find("default.ipl.new"), std::string::npos) << message;
    EXPECT_EQ(AsBytes(ReadBytes(path)), Hex("03 00 00 00 00 00 00 00"));
}

TEST(DefaultList, DamagedFileKeepsHostsReadAndACopy) {
    test::TempDir dir;
    const auto path = dir / "default.ipl";
    const Bytes damaged = Cat({Hex("04 00 00 00 03 00 00 00"), kRec1, kNamedHead, Hex("09"), Str("abc")});
    WriteBytes(path, damaged);
    HostTable table;
    const ListLoadStatus s = ReadDefaultList(path, table);
    EXPECT_EQ(s.kind, ListLoadStatus::Kind::Damaged);
    EXPECT_EQ(s.interval, 4u);
    EXPECT_EQ(s.added, (std::vector<uint32_t>{Ip(10, 0, 0, 1)}));
    EXPECT_EQ(s.damagedCopy, dir / "default.ipl.damaged");
    EXPECT_EQ(AsBytes(ReadBytes(dir / "default.ipl.damaged")), damaged);
    EXPECT_NE(s.message.find("default.ipl"), std::string::npos);

    // Writing the list at exit does not touch the kept copy.
    std::string message;
    ASSERT_TRUE(WriteDefaultList(path, 4, table, message));
    EXPECT_EQ(AsBytes(ReadBytes(dir / "default.ipl.damaged")), damaged);
}

TEST(DefaultList, UnreadableIsReported) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "default.ipl");
    HostTable table;
    const ListLoadStatus s = ReadDefaultList(dir / "default.ipl", table);
    EXPECT_EQ(s.kind, ListLoadStatus::Kind::Unreadable);
    EXPECT_FALSE(s.message.empty());
}

TEST(ImportList, DiscardsTheIntervalAndKeepsNoCopy) {
    test::TempDir dir;
    const auto path = dir / "other.ipl";
    WriteBytes(path, Cat({Hex("63 00 00 00 02 00 00 00"), kRec1}));
    HostTable table;
    const ListLoadStatus s = ImportListFile(path, table);
    EXPECT_EQ(s.kind, ListLoadStatus::Kind::Damaged);
    EXPECT_FALSE(s.interval);
    EXPECT_EQ(s.added.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir / "other.ipl.damaged"));
}

}  // namespace
}  // namespace sondrel
