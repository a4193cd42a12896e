#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <tuple>

#include "model/Archive.h"
#include "model/ListFile.h"
#include "platform/AddressText.h"
#include "support/TestSupport.h"

// Records are written with designated initializers: the fields left out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace sondrel {
namespace {

using Bytes = std::vector<uint8_t>;
using Kind = ListLoadStatus::Kind;

Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    for (unsigned v; in >> std::hex >> v;) out.push_back(static_cast<uint8_t>(v));
    return out;
}
Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes operator+(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }
uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return AddressFromOctets(a, b, c, d); }
HostRecord Named(std::string name) { return {.m_strName = std::move(name), .m_bNamed = 1}; }

void WriteBytes(const std::filesystem::path& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary) << std::string(b.begin(), b.end());
}
Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return B(std::string(std::istreambuf_iterator<char>(in), {}));
}

const Bytes kHead2 = Hex("05 00 00 00 02 00 00 00");
const Bytes kRec1 = Hex("0A 00 00 01 00 00 00 00");
const Bytes kNamedHead = Hex("0A 00 00 02 01 00 00 00");

TEST(ArchiveText, PrefixBoundariesRoundTrip) {
    const std::pair<size_t, Bytes> cases[] = {{0, Hex("00")},
                                              {254, Hex("FE")},
                                              {255, Hex("FF FF 00")},
                                              {65533, Hex("FF FD FF")},
                                              {65534, Hex("FF FF FF FE FF 00 00")}};
    for (const auto& [length, prefix] : cases) {
        const std::string text(length, 'x');
        ArchiveWriter out;
        out.WriteText(text);
        const Bytes written = B(out.Bytes());
        EXPECT_EQ(written, prefix + B(text)) << length;
        ArchiveReader in(written);
        std::string back;
        EXPECT_TRUE(in.ReadText(back) && back == text && in.Remaining() == 0) << length;
    }
}

TEST(ArchiveText, ReadsEveryFormAndRewindsOnFaults) {
    using F = ArchiveFault;
    const std::tuple<Bytes, F, std::string> cases[] = {
        {Hex("FF FE FF 02 E9 00 AC 20"), F::None, "\xC3\xA9\xE2\x82\xAC"},
        {Hex("FF FE FF 02 3D D8 00 DE"), F::None, "\xF0\x9F\x98\x80"},
        {Hex("FF FE FF 01 00 D8"), F::None, "\xEF\xBF\xBD"},  // a lone surrogate
        {Hex("FF 2C"), F::EndsEarly, ""},
        {Hex("FF FE FF"), F::EndsEarly, ""},
        {Hex("05") + B("abc"), F::TextTooLong, ""},
        {Hex("FF FF FF FF FF FF FF 41"), F::TextTooLong, ""},
        {Hex("FF FE FF 02 61 00 62"), F::TextTooLong, ""},
        {Hex("FF FE FF FF FE FF 00"), F::BadTextPrefix, ""}};
    for (const auto& [bytes, fault, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        ArchiveReader in(bytes);
        std::string text;
        EXPECT_EQ(in.ReadText(text), fault == F::None);
        EXPECT_EQ(in.Fault(), fault);
        EXPECT_EQ(fault == F::None ? text : "", expected);
        EXPECT_EQ(fault == F::None ? 0 : in.Offset(), 0u) << "a failed read rewinds";
    }
}

TEST(ListFileWrite, ByteExamples) {
    HostTable table;
    EXPECT_EQ(B(SerializeHostTable(3, table)), Hex("03 00 00 00 00 00 00 00"));
    // A reverse-lookup text on an unnamed host is not part of the list.
    table.HostAt(Ip(10, 0, 0, 1)).m_strName = "no domain name";
    EXPECT_EQ(B(SerializeHostTable(3, table)),
              Hex("03 00 00 00 01 00 00 00 0A 00 00 01 00 00 00 00"));
}

TEST(ListFileWrite, RoundTripKeepsTableOrderAndNamesAndResetsStatistics) {
    HostTable table;
    table.HostAt(Ip(192, 168, 1, 1)) = {.m_history = {"t\n", "e\n"}, .m_bReplied = 0, .m_nSent = 9};
    table.HostAt(Ip(192, 168, 1, 2));
    table.HostAt(Ip(10, 0, 0, 1)) = Named("host.example");
    const ListReadResult back = ParseListFile(B(SerializeHostTable(42, table)));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back.interval, 42u);
    EXPECT_EQ(back.entries, (std::vector<HostEntry>{{Ip(10, 0, 0, 1), Named("host.example")},
                                                    {Ip(192, 168, 1, 1), {}},
                                                    {Ip(192, 168, 1, 2), {}}}));
}

TEST(ListFileRead, EveryFieldCutShortAndOddCounts) {
    using F = ListFault;
    const struct {
        Bytes bytes;
        F fault;
        std::optional<uint32_t> interval;
        std::optional<int32_t> count;
        size_t entries, faultOffset;
    } cases[] = {{{}, F::EndsEarly, {}, {}, 0, 0},
                 {Hex("03 00"), F::EndsEarly, {}, {}, 0, 0},
                 {Hex("03 00 00 00 01"), F::EndsEarly, 3u, {}, 0, 4},
                 {Hex("03 00 00 00 00 00 00 80"), F::None, 3u, INT32_MIN, 0, 0},
                 {Hex("03 00 00 00 01 00 00 00") + kRec1 + Hex("99"), F::None, 3u, 1, 1, 0},
                 {Hex("03 00 00 00 FF FF FF 7F") + kRec1, F::TooFewRecords, 3u, INT32_MAX, 1, 16},
                 {kHead2 + kRec1 + Hex("0A 00"), F::EndsEarly, 5u, 2, 1, 16},
                 {kHead2 + kRec1 + kNamedHead, F::EndsEarly, 5u, 2, 1, 16},
                 {kHead2 + kRec1 + kNamedHead + Hex("05") + B("abc"), F::TextTooLong, 5u, 2, 1, 16},
                 {kHead2 + kRec1 + kNamedHead + Hex("03") + B("abc"), F::None, 5u, 2, 2, 0}};
    for (const auto& c : cases) {
        const ListReadResult r = ParseListFile(c.bytes);
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(r.fault, c.fault) << DescribeListFault(r);
        EXPECT_EQ(r.interval, c.interval);
        EXPECT_EQ(r.count, c.count);
        EXPECT_EQ(r.entries.size(), c.entries);
        EXPECT_EQ(r.ok() ? 0 : r.faultOffset, c.faultOffset);
    }
    EXPECT_EQ(DescribeListFault(ParseListFile(kHead2 + kRec1)),
              "ends after 1 of 2 records at byte 16");
}

TEST(ListFileRead, AHugeFileIsReadNoFurtherThanItsCountNeeds) {
    test::TempDir dir;
    const auto path = dir / "sparse.ipl";
    WriteBytes(path, kHead2 + kRec1 + kRec1);
    std::filesystem::resize_file(path, uint64_t{2} << 30);
    const std::optional<uint64_t> before = test::BytesReadSoFar();
    if (!before) GTEST_SKIP() << "no read counter in /proc/self/io";
    HostTable table;
    EXPECT_EQ(ReadListFile(path).records + ImportListFile(path, table).added.size(), 3u);
    EXPECT_LT(*test::BytesReadSoFar() - *before, 3 * ArchiveReader::kBufferSize);
}

TEST(DefaultList, WriteIsAtomicAndFailedReadsLeaveTheTableAlone) {
    test::TempDir dir;
    const auto path = dir / "default.ipl";
    WriteBytes(path, Bytes(100, 0xAA));
    HostTable table;
    table.HostAt(Ip(192, 168, 1, 1));
    table.HostAt(Ip(10, 0, 0, 1)) = Named("http://example.test/page?q=1");
    std::string message;
    ASSERT_TRUE(WriteDefaultList(path, 7, table, message)) << message;
    const Bytes written = B(SerializeHostTable(7, table));
    EXPECT_EQ(ReadBytes(path), written);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "no temporary left";
    // A folder where the new file should go makes creation fail even for root.
    std::filesystem::create_directory(dir / "default.ipl.new");
    EXPECT_FALSE(WriteDefaultList(path, 9, table, message));
    EXPECT_NE(message.find("default.ipl.new"), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(path), written) << "the old file stays";
    EXPECT_EQ(ReadDefaultList(dir / "missing.ipl", table).kind, Kind::Missing);
    ASSERT_EQ(::mkfifo((dir / "fifo.ipl").c_str(), 0600), 0);
    EXPECT_EQ(ImportListFile(dir / "fifo.ipl", table).kind, Kind::Unreadable)
        << "refused, not waited on";
    EXPECT_EQ(table.GetHostCount(), 2) << "a failed read leaves the table alone";
}

TEST(DefaultList, DamagedFileKeepsHostsReadAndACopyThatLaterWritesLeaveAlone) {
    test::TempDir dir;
    const auto path = dir / "default.ipl";
    const Bytes damaged =
        Hex("04 00 00 00 03 00 00 00") + kRec1 + kNamedHead + Hex("09") + B("abc");
    WriteBytes(path, damaged);
    HostTable table;
    const ListLoadStatus s = ReadDefaultList(path, table);
    EXPECT_TRUE(s.kind == Kind::Damaged && s.interval == 4u);
    EXPECT_EQ(s.added, (std::vector<uint32_t>{Ip(10, 0, 0, 1)}));
    EXPECT_EQ(s.damagedCopy, dir / "default.ipl.damaged");
    std::string message;
    ASSERT_TRUE(WriteDefaultList(path, 4, table, message));
    EXPECT_EQ(ReadBytes(dir / "default.ipl.damaged"), damaged);

    // An import reads the same way but keeps no copy, and adds only addresses not listed yet.
    HostTable imported;
    imported.HostAt(Ip(10, 0, 0, 1)).m_nSent = 7;
    const HostEntry entries[] = {
        {Ip(10, 0, 0, 1), Named("c")}, {Ip(10, 0, 0, 2), Named("c")}, {Ip(10, 0, 0, 2), {}}};
    Bytes other = B(SerializeEntries(99, entries));
    other[4] = 5;  // one record more than there is
    WriteBytes(dir / "other.ipl", other);
    const ListLoadStatus i = ImportListFile(dir / "other.ipl", imported);
    EXPECT_TRUE(i.kind == Kind::Damaged && i.interval == 99u &&
                i.added == std::vector<uint32_t>{Ip(10, 0, 0, 2)});
    EXPECT_TRUE(*imported.FindHost(Ip(10, 0, 0, 1)) == HostRecord{.m_nSent = 7} &&
                *imported.FindHost(Ip(10, 0, 0, 2)) == Named("c"));
    EXPECT_FALSE(std::filesystem::exists(dir / "other.ipl.damaged"));
}

}  // namespace
}  // namespace sondrel
