#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <fstream>
#include <string>
#include <vector>

#include "model/AddressText.h"
#include "model/History.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return AddressFromOctets(a, b, c, d); }

std::vector<std::string> Lines(size_t n) {
    std::vector<std::string> out;
    for (size_t i = 0; i < n; ++i) out.push_back(std::to_string(i) + "\n");
    return out;
}

std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// --- Time stamps ---------------------------------------------------------------------

struct StampCase {
    int year, mon, mday, wday, hour, min, sec;
    const char* text;
};

class TimeStamp : public ::testing::TestWithParam<StampCase> {};

TEST_P(TimeStamp, AsctimeLayoutWithZeroPaddedDay) {
    const auto& c = GetParam();
    std::tm t{};
    t.tm_year = c.year - 1900;
    t.tm_mon = c.mon;
    t.tm_mday = c.mday;
    t.tm_wday = c.wday;
    t.tm_hour = c.hour;
    t.tm_min = c.min;
    t.tm_sec = c.sec;
    const std::string stamp = FormatTimeStamp(t);
    EXPECT_EQ(stamp, c.text);
    EXPECT_EQ(stamp.size(), 25u);
}

INSTANTIATE_TEST_SUITE_P(Dates, TimeStamp,
                         ::testing::Values(StampCase{2026, 0, 5, 1, 9, 8, 7, "Mon Jan 05 09:08:07 2026\n"},
                                           StampCase{1999, 11, 31, 5, 23, 59, 59, "Fri Dec 31 23:59:59 1999\n"},
                                           StampCase{2024, 1, 29, 4, 0, 0, 0, "Thu Feb 29 00:00:00 2024\n"},
                                           StampCase{2025, 6, 1, 2, 12, 30, 0, "Tue Jul 01 12:30:00 2025\n"}));

TEST(TimeStamp, EnglishWhateverTheLocale) {
    const char* previous = std::setlocale(LC_TIME, nullptr);
    const std::string saved = previous ? previous : "C";
    // Any installed non-English locale would do; without one the check still holds.
    std::setlocale(LC_TIME, "de_DE.UTF-8");
    const std::string now = TimeStampNow();
    std::setlocale(LC_TIME, saved.c_str());
    ASSERT_EQ(now.size(), 25u);
    EXPECT_NE(std::string("SunMonTueWedThuFriSat").find(now.substr(0, 3)), std::string::npos) << now;
    EXPECT_EQ(now[7], ' ');
    EXPECT_NE(now[8], ' ') << "the day has a leading zero, not a blank";
    EXPECT_EQ(now.back(), '\n');
}

// --- Events and pairs -------------------------------------------------------------------

TEST(HistoryLines, EventsComeInPairs) {
    std::vector<std::string> h;
    AppendHistoryEvent(h, "Mon Jan 05 09:08:07 2026\n", kEventAdded);
    AppendHistoryEvent(h, "Mon Jan 05 09:08:10 2026\n", kEventTimeout);
    EXPECT_EQ(h, (std::vector<std::string>{"Mon Jan 05 09:08:07 2026\n", "added to list.\n",
                                           "Mon Jan 05 09:08:10 2026\n", "request timeout.\n"}));
    const auto rows = PairHistoryLines(h);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (HistoryRow{"Mon Jan 05 09:08:10 2026", "request timeout."}));
    h.push_back("odd\n");
    EXPECT_EQ(PairHistoryLines(h).size(), 2u);
    EXPECT_EQ(WithoutLineEnd("abc\r\n"), "abc");
}

// --- The idle flush pass ------------------------------------------------------------

// Hosts in table order: bucket 49 (10.0.0.1) before bucket 659 (192.168.1.1) before 708.
const uint32_t kFirst = Ip(10, 0, 0, 1);
const uint32_t kSecond = Ip(192, 168, 1, 1);
const uint32_t kThird = Ip(192, 168, 1, 2);

struct FlushCase {
    const char* name;
    std::vector<size_t> lines;           // history sizes of kFirst, kSecond, kThird
    std::vector<bool> results;           // results of successive steps
    std::vector<uint32_t> flushedOrder;  // hosts written, in order
    bool passAfter;
};

class FlushPass : public ::testing::TestWithParam<FlushCase> {};

TEST_P(FlushPass, Steps) {
    const auto& c = GetParam();
    HostTable table;
    const uint32_t hosts[] = {kFirst, kSecond, kThird};
    for (size_t i = 0; i < c.lines.size(); ++i) table.HostAt(hosts[i]).m_history = Lines(c.lines[i]);
    std::vector<uint32_t> written;
    auto writer = [&](uint32_t a, const std::vector<std::string>& lines) {
        EXPECT_EQ(lines.size(), table.FindHost(a)->m_history.size());
        written.push_back(a);
        return true;
    };
    bool pass = false;
    for (size_t step = 0; step < c.results.size(); ++step) {
        EXPECT_EQ(FlushStep(table, pass, writer), c.results[step]) << "step " << step;
    }
    EXPECT_EQ(written, c.flushedOrder);
    EXPECT_EQ(pass, c.passAfter);
    for (uint32_t a : written) EXPECT_TRUE(table.FindHost(a)->m_history.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, FlushPass,
    ::testing::Values(
        FlushCase{"FirstAtHundredStartsNothing", {100, 200}, {false, false}, {}, false},
        FlushCase{"FirstAt102ThenSecondAt100", {102, 100}, {true, true, false}, {kFirst, kSecond}, false},
        FlushCase{"PassSkipsShortHosts", {102, 98, 300}, {true, true, false}, {kFirst, kThird}, false},
        FlushCase{"FirstOnlyWhenOthersShort", {150, 10, 99}, {true, false, false}, {kFirst}, false},
        FlushCase{"OddLineCountsUseTheSameBounds", {101, 100}, {true, true, false}, {kFirst, kSecond}, false},
        FlushCase{"EmptyTable", {}, {false}, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlushPass, EmptyTableClearsAPassUnderWay) {
    HostTable table;
    bool pass = true;
    EXPECT_FALSE(FlushStep(table, pass, [](uint32_t, const std::vector<std::string>&) { return true; }));
    EXPECT_FALSE(pass);
}

TEST(FlushPass, FailedWriteKeepsTheLinesAndStopsThePass) {
    HostTable table;
    table.HostAt(kFirst).m_history = Lines(102);
    table.HostAt(kSecond).m_history = Lines(100);
    bool pass = false;
    int calls = 0;
    auto failing = [&](uint32_t, const std::vector<std::string>&) { return ++calls, false; };
    EXPECT_FALSE(FlushStep(table, pass, failing));
    EXPECT_FALSE(pass);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(table.FindHost(kFirst)->m_history.size(), 102u);
    // Once writing works again, the next idle call starts over.
    HistoryWriter ok = [](uint32_t, const std::vector<std::string>&) { return true; };
    EXPECT_TRUE(FlushStep(table, pass, ok));
    EXPECT_TRUE(FlushStep(table, pass, ok));
    EXPECT_FALSE(FlushStep(table, pass, ok));
}

// --- History files ----------------------------------------------------------------------

TEST(HistoryFiles, AppendReadAndDelete) {
    test::TempDir dir;
    HistoryFiles files(dir.path());
    EXPECT_EQ(files.PathOf(kFirst), dir / "10.0.0.1");
    EXPECT_TRUE(files.Read(kFirst).empty()) << "no file: no older entries";

    ASSERT_TRUE(files.Append(kFirst, {"Mon Jan 05 09:08:07 2026\n", "added to list.\n"}));
    ASSERT_TRUE(files.Append(kFirst, {"Mon Jan 05 09:08:10 2026\n", "request timeout.\n"}));
    EXPECT_EQ(FileText(dir / "10.0.0.1"),
              "Mon Jan 05 09:08:07 2026\nadded to list.\nMon Jan 05 09:08:10 2026\nrequest timeout.\n");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "10.0.0.1").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const auto rows = files.Read(kFirst);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (HistoryRow{"Mon Jan 05 09:08:07 2026", "added to list."}));

    files.Delete(kFirst);
    EXPECT_FALSE(std::filesystem::exists(dir / "10.0.0.1"));
    files.Delete(kFirst);  // missing: no error
}

struct ReadCase {
    const char* name;
    std::string content;
    std::vector<HistoryRow> rows;
};

class ReadHistory : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadHistory, Pairs) {
    test::TempDir dir;
    std::ofstream(dir / "h", std::ios::binary) << GetParam().content;
    EXPECT_EQ(ReadHistoryRows(dir / "h"), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ReadHistory,
    ::testing::Values(ReadCase{"Empty", "", {}},
                      ReadCase{"OneOddLine", "t1\n", {}},
                      ReadCase{"OddTrailingLineLeftOut", "t1\ne1\nt2\n", {{"t1", "e1"}}},
                      ReadCase{"CrLf", "t1\r\ne1\r\nt2\r\ne2\r\n", {{"t1", "e1"}, {"t2", "e2"}}},
                      ReadCase{"NoFinalNewline", "t1\ne1", {{"t1", "e1"}}},
                      ReadCase{"EmptyLinesCount", "\n\nt\ne\n", {{"", ""}, {"t", "e"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HistoryFiles, LinksAreNeitherFollowedForWritingNorForReading) {
    test::TempDir dir;
    const auto target = dir / "target";
    std::ofstream(target) << "secret\nline\n";
    std::filesystem::create_directory(dir / "private");
    std::filesystem::create_symlink(target, dir / "private" / "10.0.0.1");
    HistoryFiles files(dir / "private");
    EXPECT_FALSE(files.Append(kFirst, {"t\n", "e\n"}));
    EXPECT_TRUE(files.Read(kFirst).empty());
    EXPECT_EQ(FileText(target), "secret\nline\n");
}

TEST(HistoryFiles, FlushThroughTheWriterKeepsLinesWhenTheFolderIsGone) {
    test::TempDir dir;
    HostTable table;
    table.HostAt(kFirst).m_history = Lines(102);
    bool pass = false;
    HistoryFiles missing(dir / "no-such-folder");
    EXPECT_FALSE(FlushStep(table, pass, missing.Writer()));
    EXPECT_EQ(table.FindHost(kFirst)->m_history.size(), 102u);

    HistoryFiles files(dir.path());
    EXPECT_TRUE(FlushStep(table, pass, files.Writer()));
    EXPECT_TRUE(table.FindHost(kFirst)->m_history.empty());
    EXPECT_EQ(files.Read(kFirst).size(), 51u);
}

}  // namespace
}  // namespace sondrel
