#include <gtest/gtest.h>

#include <QFile>
#include <condition_variable>
#include <mutex>
#include <set>

#include "details/CHostInfoDlg.h"
#include "view/CAppHarness.h"

namespace sondrel {
namespace {

uint32_t Host(int last) { return AddressFromOctets(198, 51, 100, static_cast<uint8_t>(last)); }

// A name service whose reverse answers wait until the test lets them go (address 0: all of
// them, as the test ends, so that no lookup outlives it). It knows only 198.51.100.2.
class GatedResolver final : public Resolver {
public:
    std::optional<uint32_t> LookupName(const std::string&) override { return std::nullopt; }
    std::optional<std::string> LookupAddress(uint32_t address) override {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return released_.count(address) + released_.count(0) > 0; });
        return address == Host(2) ? std::optional<std::string>("second.example") : std::nullopt;
    }
    void Release(uint32_t address) {
        std::lock_guard lock(mutex_);
        released_.insert(address);
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::set<uint32_t> released_;
};

class HostInfoDlgTest : public testing::Test {
protected:
    HostInfoDlgTest() : files_(dir_.path()) {
        dlg_.SetSources(&hosts_, &files_, &infoAddress_);
        dlg_.SetResolver(&gated_);
    }
    ~HostInfoDlgTest() override { gated_.Release(0); }

    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < dlg_.LogRowCount(); ++i)
            rows << dlg_.LogText(i, 0) + "|" + dlg_.LogText(i, 1);
        return rows;
    }
    // Sent, received, lost, minimum, maximum, average, speed.
    QStringList Statistics() const {
        QStringList fields;
        for (int id : {CHostInfoDlg::kSent, CHostInfoDlg::kReceived, CHostInfoDlg::kLost,
                       CHostInfoDlg::kMinTime, CHostInfoDlg::kMaxTime, CHostInfoDlg::kAvgTime,
                       CHostInfoDlg::kSpeed})
            fields << dlg_.FieldText(id);
        return fields;
    }

    test::TempDir dir_;
    HistoryFiles files_;
    HostTable hosts_;
    uint32_t infoAddress_ = 0;
    GatedResolver gated_;
    CHostInfoDlg dlg_;
};

TEST_F(HostInfoDlgTest, StatisticsFieldsOnOpen) {
    struct Case {
        int sent, received, min, max, avg;
        QStringList fields;
    };
    const Case cases[] = {
        {0, 0, -1, -1, 0, {"0", "0", "", "-1 ms", "-1 ms", "0 ms", "0"}},
        {10, 7, 0, 3, 0, {"10", "7", "3 (30% loss)", "0 ms", "3 ms", "0 ms", "960"}},
        {3, 2, 5, 9, 7, {"3", "2", "1 (33% loss)", "5 ms", "9 ms", "7 ms", "137"}},
        {1, 1, 1000, 1000, 1000, {"1", "1", "0 (0% loss)", "1000 ms", "1000 ms", "1000 ms", "0"}},
    };
    for (const Case& c : cases) {
        dlg_.close();
        HostRecord& r = hosts_.HostAt(Host(3));
        r.m_nSent = c.sent, r.m_nReceived = c.received;
        r.m_nMinTime = c.min, r.m_nMaxTime = c.max, r.m_nAvgTime = c.avg;
        ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
        EXPECT_EQ(Statistics(), c.fields);
        EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kIpAddress), "198.51.100.3");
    }
}

TEST_F(HostInfoDlgTest, SameHostOnlyShownAgainOtherHostRefilled) {
    hosts_.HostAt(Host(1));
    hosts_.HostAt(Host(2)).m_strName = "http://www.example.test/page";
    hosts_.HostAt(Host(2)).m_bNamed = 1;
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.1"));
    dlg_.AppendLogRow("t", "marker");
    dlg_.hide();  // hidden without closing (as a window manager may): still on show
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.1"));
    EXPECT_TRUE(dlg_.isVisible());
    EXPECT_EQ(Rows(), QStringList{"t|marker"}) << "the same host must not be refilled";

    ASSERT_TRUE(dlg_.OpenHostDetails("http://www.example.test/page"));
    EXPECT_EQ(Rows(), QStringList{});
    EXPECT_EQ(infoAddress_, Host(2));
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "http://www.example.test/page");
    dlg_.close();
    EXPECT_EQ(infoAddress_, 0u) << "closing forgets the host";
}

TEST_F(HostInfoDlgTest, KeptCurrentByRepliesTimeoutsRoundsAndRemoval) {
    HostRecord& r = hosts_.HostAt(Host(3));
    r.m_nSent = 1;
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
    dlg_.AddOneSent();
    EXPECT_EQ(Statistics(),
              (QStringList{"2", "0", "1 (100% loss)", "-1 ms", "-1 ms", "0 ms", "0"}));
    r.m_nSent = 2, r.m_nReceived = 1, r.m_nMinTime = r.m_nMaxTime = r.m_nAvgTime = 7;
    dlg_.OnHostReply(r, "Sun Dec 06 12:00:00 2026", "ttl=64,time=7,bytes=32");
    EXPECT_EQ(Statistics(), (QStringList{"2", "1", "1 (50% loss)", "7 ms", "7 ms", "7 ms", "137"}));
    r.m_nSent = 4;
    dlg_.OnHostTimeout(r, "Sun Dec 06 12:00:03 2026", "request timeout.");
    EXPECT_EQ(Statistics(), (QStringList{"4", "1", "3 (75% loss)", "7 ms", "7 ms", "7 ms", "137"}));
    dlg_.OnHostRemoved();
    EXPECT_EQ(Rows().mid(0, 2), (QStringList{"Sun Dec 06 12:00:00 2026|ttl=64,time=7,bytes=32",
                                             "Sun Dec 06 12:00:03 2026|request timeout."}));
    EXPECT_TRUE(Rows().value(2).endsWith("|removed from list."));
    EXPECT_EQ(dlg_.LogText(2, 0).size(), 24) << "a time stamp without its line end";
}

TEST_F(HostInfoDlgTest, HistoryFromFileThenMemorySavedThenClearedKeepingStatistics) {
    ASSERT_TRUE(files_.Append(
        Host(3), {"Sun Dec 06 10:00:00 2026\n", "added to list.\n", "Sun Dec 06 10:00:03 2026\n",
                  "request timeout.\n", "Sun Dec 06 10:00:06 2026\n"}));  // an odd line is left out
    HostRecord& r = hosts_.HostAt(Host(3));
    r.m_nSent = 3, r.m_nReceived = 2, r.m_nMinTime = 4, r.m_nMaxTime = 8, r.m_nAvgTime = 6;
    AppendHistoryEvent(r.m_history, "Sun Dec 06 11:00:00 2026\n", "ttl=64,time=4,bytes=32");
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
    EXPECT_EQ(Rows(), (QStringList{"Sun Dec 06 10:00:00 2026|added to list.",
                                   "Sun Dec 06 10:00:03 2026|request timeout.",
                                   "Sun Dec 06 11:00:00 2026|ttl=64,time=4,bytes=32"}));
    // Save log: one line per row, time TAB event; a place that cannot be written is refused
    // and leaves the old log as it was.
    const QString path = QString::fromStdString((dir_ / "host.log").string());
    const auto saved = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    };
    const QByteArray log =
        "Sun Dec 06 10:00:00 2026\tadded to list.\nSun Dec 06 10:00:03 2026\trequest timeout.\n"
        "Sun Dec 06 11:00:00 2026\tttl=64,time=4,bytes=32\n";
    ASSERT_TRUE(dlg_.SaveLogTo(path));
    EXPECT_EQ(saved(), log);
    EXPECT_FALSE(dlg_.SaveLogTo(QString::fromStdString((dir_ / "missing" / "x.log").string())));
    EXPECT_EQ(saved(), log);

    const QStringList statistics = Statistics();
    dlg_.OnClear();
    EXPECT_EQ(dlg_.LogRowCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(files_.PathOf(Host(3))));
    EXPECT_TRUE(r.m_history.empty());
    EXPECT_EQ(Statistics(), statistics);
    // Only later events come back.
    AppendHistoryEvent(r.m_history, "Sun Dec 06 11:00:03 2026\n", "request timeout.");
    dlg_.close();
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
    EXPECT_EQ(Rows(), QStringList{"Sun Dec 06 11:00:03 2026|request timeout."});
}

TEST_F(HostInfoDlgTest, LateReverseLookupForAnotherHostIsDropped) {
    hosts_.HostAt(Host(1)), hosts_.HostAt(Host(2)), hosts_.HostAt(Host(9));
    std::vector<std::pair<uint32_t, bool>> answers;
    QObject::connect(&dlg_, &CHostInfoDlg::reverseLookupDone,
                     [&](uint32_t address, bool shown) { answers.emplace_back(address, shown); });
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.1"));
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.2"));
    gated_.Release(Host(1));
    ASSERT_TRUE(test::WaitFor([&] { return answers.size() == 1; }, 5000));
    EXPECT_EQ(answers[0], std::make_pair(Host(1), false));
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "");
    gated_.Release(Host(2));
    ASSERT_TRUE(test::WaitFor([&] { return answers.size() == 2; }, 5000));
    EXPECT_EQ(answers[1], std::make_pair(Host(2), true));
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "second.example");
    // No name: the field says so.
    gated_.Release(Host(9));
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.9"));
    EXPECT_TRUE(test::WaitFor(
        [&] { return dlg_.FieldText(CHostInfoDlg::kDomainName) == "no domain name"; }, 5000));
    // Four lookups hang; of those queued behind them only the one for the host on show runs.
    for (int last : {10, 11, 12, 13, 14, 2})
        hosts_.HostAt(Host(last)), dlg_.OpenHostDetails(QString("198.51.100.%1").arg(last));
    gated_.Release(Host(10));
    EXPECT_TRUE(test::WaitFor(
        [&] { return dlg_.FieldText(CHostInfoDlg::kDomainName) == "second.example"; }, 5000));
}

TEST_F(HostInfoDlgTest, ReverseLookupThroughTheSystemNameService) {
    dlg_.SetResolver(nullptr);
    hosts_.HostAt(AddressFromOctets(127, 0, 0, 1));
    ASSERT_TRUE(dlg_.OpenHostDetails("127.0.0.1"));
    // Every machine names its loopback address in its own files.
    EXPECT_TRUE(test::WaitFor(
        [&] { return dlg_.FieldText(CHostInfoDlg::kDomainName) == "localhost"; }, 15000));
}

}  // namespace
}  // namespace sondrel
