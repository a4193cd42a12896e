#include <gtest/gtest.h>
#include <sys/mount.h>

#include <clocale>
#include <cstring>
#include <fstream>

#include "model/History.h"
#include "platform/AddressText.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Addresses = std::vector<uint32_t>;

// Table order: bucket 49 (10.0.0.1), then 659 (192.168.1.1), then 708 (192.168.1.2).
const uint32_t kFirst = AddressFromOctets(10, 0, 0, 1);
const uint32_t kSecond = AddressFromOctets(192, 168, 1, 1);
const uint32_t kThird = AddressFromOctets(192, 168, 1, 2);

// Entries "tNNN" / "eNNN" for NNN from first to last - 1: ten bytes each.
Lines Entries(int first, int last) {
    Lines lines;
    for (char buf[16]; first < last; ++first) {
        std::snprintf(buf, sizeof buf, "%03d\n", first);
        lines.push_back(std::string("t") + buf), lines.push_back(std::string("e") + buf);
    }
    return lines;
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The event texts of rows, each followed by a blank.
std::string Events(const std::vector<HistoryRow>& rows) {
    std::string events;
    for (const auto& [stamp, event] : rows) events += event + " ";
    return events;
}
std::string Events(const HistoryFiles& files, uint32_t address) {
    return Events(files.Read(address));
}
std::string Events(int first, int last) { return Events(PairHistoryLines(Entries(first, last))); }
const std::string kDropped = std::string(kEventDropped) + " ";

TEST(History, TimeStampsAreEnglishWithAZeroPaddedDay) {
    std::tm t{};
    t.tm_year = 126, t.tm_mday = 5, t.tm_wday = 1, t.tm_hour = 9, t.tm_min = 8, t.tm_sec = 7;
    EXPECT_EQ(FormatTimeStamp(t), "Mon Jan 05 09:08:07 2026\n");
    const std::string saved = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_TIME, "de_DE.UTF-8");  // any non-English locale; without one this still holds
    const std::string now = TimeStampNow();
    std::setlocale(LC_TIME, saved.c_str());
    EXPECT_TRUE(now.size() == 25 && now[8] != ' ' &&
                std::string("SunMonTueWedThuFriSat").find(now.substr(0, 3)) % 3 == 0)
        << now;
}

TEST(History, FlushPassSequences) {
    // History sizes of the hosts in table order, results of successive steps, hosts written;
    // a host removed after the first step is passed over.
    const struct {
        std::vector<size_t> sizes;
        std::vector<bool> steps;
        Addresses written;
        uint32_t removed = 0;
    } cases[] = {{{}, {false}, {}},
                 {{100, 200}, {false, false}, {}},  // the first host alone starts a pass
                 {{102, 100}, {true, true, false}, {kFirst, kSecond}},
                 {{101, 100, 100}, {true, true, false}, {kFirst, kThird}, kSecond},
                 {{102, 98, 300}, {true, true, false}, {kFirst, kThird}},
                 {{150, 10, 99}, {true, false, false}, {kFirst}}};
    const uint32_t hosts[] = {kFirst, kSecond, kThird};
    for (const auto& c : cases) {
        HostTable table;
        for (size_t i = 0; i < c.sizes.size(); ++i)
            table.HostAt(hosts[i]).m_history = Lines(c.sizes[i], "line\n");
        Addresses written;
        auto writer = [&](uint32_t a, const Lines& lines) {
            EXPECT_EQ(lines, table.FindHost(a)->m_history);
            written.push_back(a);
        };
        FlushPass pass;
        for (bool expected : c.steps) {
            EXPECT_EQ(FlushStep(table, pass, writer), expected);
            if (c.removed != 0) table.RemoveHost(c.removed);
        }
        EXPECT_EQ(written, c.written);
        EXPECT_FALSE(pass.Active());
    }
}

TEST(History, FilesAppendReadDeleteAndRefuseLinks) {
    test::TempDir dir;
    HistoryFiles files(dir.path());
    ASSERT_TRUE(files.Append(kFirst, {"t1\n", "added to list.\n"}));
    ASSERT_TRUE(files.Append(kFirst, {"t2\n", "request timeout.\n"}));
    EXPECT_EQ(FileText(dir / "10.0.0.1"), "t1\nadded to list.\nt2\nrequest timeout.\n");
    EXPECT_EQ(fs::status(dir / "10.0.0.1").permissions(), fs::perms(0600));
    EXPECT_EQ(files.Read(kFirst),
              (std::vector<HistoryRow>{{"t1", "added to list."}, {"t2", "request timeout."}}));
    files.Delete(kFirst), files.Delete(kFirst);
    EXPECT_FALSE(fs::exists(dir / "10.0.0.1"));
    std::ofstream(dir / "192.168.1.1", std::ios::binary) << "t1\r\ne1\r\nt2\r\ne2\r\nt3";
    EXPECT_EQ(Events(files, kSecond), "e1 e2 ") << "CR LF read; an odd last line left out";
    // Links are followed neither for writing nor for reading.
    std::ofstream(dir / "target") << "secret\nline\n";
    fs::create_symlink(dir / "target", dir / "10.0.0.1");
    EXPECT_FALSE(files.Append(kFirst, {"t\n", "e\n"}));
    EXPECT_EQ(Events(files, kFirst), "e ") << "the refused lines wait in memory";
    EXPECT_EQ(FileText(dir / "target"), "secret\nline\n");
}

TEST(History, AFileOverItsShareKeepsItsNewestHalfBehindOneDropEntry) {
    test::TempDir dir;
    HistoryFiles files(dir.path(), {.budget = 2000, .clock = {}});
    files.SetHostCount(2);  // 1000 bytes each
    for (int k = 0; k < 120; k += 10) ASSERT_TRUE(files.Append(kFirst, Entries(k, k + 10)));
    // At 1100 bytes the newest 500 stayed; 100 more followed.
    EXPECT_EQ(Events(files, kFirst), kDropped + Events(60, 120));
    EXPECT_LE(fs::file_size(dir / "10.0.0.1"), files.Share());
    files.SetHostCount(4);  // the share follows the host count
    ASSERT_TRUE(files.Append(kFirst, Entries(120, 130)));
    EXPECT_EQ(Events(files, kFirst), kDropped + Events(105, 130));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "no replacement left";
}

TEST(History, AFullFolderKeepsCappedLinesInMemoryUntilTheRetryAMinuteLater) {
    test::TempDir dir;
    if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=8k,mode=0700") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    const std::unique_ptr<const char, int (*)(const char*)> mounted(dir.path().c_str(), ::umount);
    std::ofstream(dir / "filler") << std::string(16384, 'x');
    auto now = std::chrono::steady_clock::time_point{};
    HistoryFiles files(dir.path(), {.budget = 300, .clock = [&] { return now; }});
    EXPECT_FALSE(files.Append(kFirst, Entries(0, 10)));
    EXPECT_NE(files.Failure().find(std::strerror(ENOSPC)), std::string::npos) << files.Failure();
    EXPECT_EQ(FileText(dir / "10.0.0.1"), "") << "nothing half-written";
    EXPECT_FALSE(files.Append(kFirst, Entries(10, 40)));
    // Past 300 bytes the newest 150 stayed, as in a file.
    EXPECT_EQ(Events(files, kFirst), kDropped + Events(25, 40));
    fs::remove(dir / "filler");
    now += HistoryFiles::kRetryPeriod - std::chrono::seconds(1);
    EXPECT_FALSE(files.Append(kFirst, Entries(40, 41)));
    EXPECT_TRUE(files.Failing());
    now += std::chrono::seconds(1);
    ASSERT_TRUE(files.Append(kFirst, Entries(41, 42)));
    EXPECT_FALSE(files.Failing());
    EXPECT_EQ(Events(PairHistoryLines(ReadHistoryLines(dir / "10.0.0.1"))),
              kDropped + Events(25, 42));
}

TEST(History, OnlyLeftoverHistoryFilesAndLinksGoNeverAnythingBehindALink) {
    test::TempDir dir, outside;
    std::ofstream(outside / "10.0.0.9") << "x";
    const std::vector<std::string> gone = {"10.0.0.1", "255.255.255.255.new", "10.0.0.9"},
                                   kept = {"010.0.0.1", "256.0.0.1", "1.2.3",   "1.2.3.4.5",
                                           "1.2.3.4.",  "notes",     "10.0.0.3"};
    for (const auto& name : gone) std::ofstream(dir / name) << "t\ne\n";
    for (const auto& name : kept) std::ofstream(dir / name) << "t\ne\n";
    fs::remove(dir / "10.0.0.9"), fs::create_symlink(outside / "10.0.0.9", dir / "10.0.0.9");
    fs::remove(dir / "10.0.0.3"), fs::create_directory(dir / "10.0.0.3");
    fs::create_symlink(outside.path(), dir / "elsewhere");
    HistoryFiles(dir / "elsewhere").RemoveLeftovers();
    HistoryFiles(dir.path()).RemoveLeftovers();
    for (const auto& name : gone) EXPECT_FALSE(fs::exists(fs::symlink_status(dir / name))) << name;
    for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_EQ(FileText(outside / "10.0.0.9"), "x");
}

}  // namespace
}  // namespace sondrel
