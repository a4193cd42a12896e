#include <gtest/gtest.h>

#include <clocale>
#include <fstream>

#include "model/AddressText.h"
#include "model/History.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

using Lines = std::vector<std::string>;
using Addresses = std::vector<uint32_t>;

// Table order: bucket 49 (10.0.0.1), then 659 (192.168.1.1), then 708 (192.168.1.2).
const uint32_t kFirst = AddressFromOctets(10, 0, 0, 1);
const uint32_t kSecond = AddressFromOctets(192, 168, 1, 1);
const uint32_t kThird = AddressFromOctets(192, 168, 1, 2);

Lines Numbered(size_t n) { return Lines(n, "line\n"); }

std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(History, TimeStampsAreEnglishWithAZeroPaddedDay) {
    std::tm t{};
    t.tm_year = 126, t.tm_mon = 0, t.tm_mday = 5, t.tm_wday = 1, t.tm_hour = 9, t.tm_min = 8,
    t.tm_sec = 7;
    EXPECT_EQ(FormatTimeStamp(t), "Mon Jan 05 09:08:07 2026\n");
    const std::string saved = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_TIME, "de_DE.UTF-8");  // any non-English locale; without one this still holds
    const std::string now = TimeStampNow();
    std::setlocale(LC_TIME, saved.c_str());
    ASSERT_EQ(now.size(), 25u);
    EXPECT_NE(std::string("SunMonTueWedThuFriSat").find(now.substr(0, 3)), std::string::npos)
        << now;
    EXPECT_NE(now[8], ' ') << now;
}

TEST(History, FlushPassSequences) {
    // History sizes of the hosts in table order, results of successive steps, hosts written.
    const struct {
        std::vector<size_t> sizes;
        std::vector<bool> steps;
        Addresses written;
    } cases[] = {{{}, {false}, {}},
                 {{100, 200}, {false, false}, {}},  // the first host alone starts a pass
                 {{102, 100}, {true, true, false}, {kFirst, kSecond}},
                 {{101, 100}, {true, true, false}, {kFirst, kSecond}},
                 {{102, 98, 300}, {true, true, false}, {kFirst, kThird}},
                 {{150, 10, 99}, {true, false, false}, {kFirst}}};
    const uint32_t hosts[] = {kFirst, kSecond, kThird};
    for (const auto& c : cases) {
        HostTable table;
        for (size_t i = 0; i < c.sizes.size(); ++i)
            table.HostAt(hosts[i]).m_history = Numbered(c.sizes[i]);
        Addresses written;
        auto writer = [&](uint32_t a, const Lines& lines) {
            EXPECT_EQ(lines, table.FindHost(a)->m_history);
            return written.push_back(a), true;
        };
        bool pass = false;
        for (bool expected : c.steps) EXPECT_EQ(FlushStep(table, pass, writer), expected);
        EXPECT_EQ(written, c.written);
        EXPECT_FALSE(pass);
        for (uint32_t a : written) EXPECT_TRUE(table.FindHost(a)->m_history.empty());
    }
}

TEST(History, FailedWriteKeepsTheLinesAndEndsThePass) {
    test::TempDir dir;
    HostTable table;
    table.HostAt(kFirst).m_history = Numbered(102);
    bool pass = false;
    EXPECT_FALSE(FlushStep(table, pass, HistoryFiles(dir / "no-such-folder").Writer()));
    EXPECT_FALSE(pass);
    EXPECT_EQ(table.FindHost(kFirst)->m_history.size(), 102u);
    EXPECT_TRUE(FlushStep(table, pass, HistoryFiles(dir.path()).Writer()))
        << "the next idle call starts over";
    EXPECT_EQ(HistoryFiles(dir.path()).Read(kFirst).size(), 51u);
}

TEST(History, FilesAppendReadDeleteAndRefuseLinks) {
    test::TempDir dir;
    HistoryFiles files(dir.path());
    EXPECT_TRUE(files.Read(kFirst).empty());
    ASSERT_TRUE(files.Append(kFirst, {"t1\n", "added to list.\n"}));
    ASSERT_TRUE(files.Append(kFirst, {"t2\n", "request timeout.\n"}));
    EXPECT_EQ(FileText(dir / "10.0.0.1"), "t1\nadded to list.\nt2\nrequest timeout.\n");
    EXPECT_EQ(std::filesystem::status(dir / "10.0.0.1").permissions(),
              std::filesystem::perms(0600));
    EXPECT_EQ(files.Read(kFirst),
              (std::vector<HistoryRow>{{"t1", "added to list."}, {"t2", "request timeout."}}));
    files.Delete(kFirst), files.Delete(kFirst);
    EXPECT_FALSE(std::filesystem::exists(dir / "10.0.0.1"));
    // Links are followed neither for writing nor for reading.
    std::ofstream(dir / "target") << "secret\nline\n";
    std::filesystem::create_symlink(dir / "target", dir / "10.0.0.1");
    EXPECT_FALSE(files.Append(kFirst, {"t\n", "e\n"}));
    EXPECT_TRUE(files.Read(kFirst).empty());
    EXPECT_EQ(FileText(dir / "target"), "secret\nline\n");
}

TEST(History, ReadPairsLines) {
    const struct {
        std::string content;
        std::vector<HistoryRow> rows;
    } cases[] = {{"", {}},
                 {"t1\n", {}},
                 {"t1\ne1\nt2\n", {{"t1", "e1"}}},
                 {"t1\r\ne1\r\nt2\r\ne2\r\n", {{"t1", "e1"}, {"t2", "e2"}}},
                 {"t1\ne1", {{"t1", "e1"}}},
                 {"\n\nt\ne\n", {{"", ""}, {"t", "e"}}}};
    for (const auto& c : cases) {
        test::TempDir dir;
        std::ofstream(dir / "h", std::ios::binary) << c.content;
        EXPECT_EQ(ReadHistoryRows(dir / "h"), c.rows) << c.content;
    }
}

}  // namespace
}  // namespace sondrel
