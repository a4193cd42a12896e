#include "details/CHostInfoDlg.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QHeaderView>

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <map>
#include <set>
#include <string>

#include "model/History.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

uint32_t Ip(const char* dotted) {
    in_addr address{};
    ::inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

// Keeps the event loop turning until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A name service whose reverse answers wait until the test lets them go (all of them once
// the test ends, so that no lookup outlives it).
class GatedResolver final : public Resolver {
public:
    std::optional<uint32_t> LookupName(const std::string&) override { return std::nullopt; }
    std::optional<std::string> LookupAddress(uint32_t address) override {
        std::unique_lock lock(mutex_);
        ++asked_;
        cv_.wait(lock, [&] { return all_ || released_.count(address) > 0; });
        if (auto it = names_.find(address); it != names_.end()) {
            return it->second;
        }
        return std::nullopt;
    }
    void Release(uint32_t address, bool all = false) {
        std::lock_guard lock(mutex_);
        released_.insert(address);
        all_ = all_ || all;
        cv_.notify_all();
    }
    int Asked() {
        std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::set<uint32_t> released_;
    bool all_ = false;
    int asked_ = 0;
    const std::map<uint32_t, std::string> names_{{Ip("198.51.100.1"), "first.example"},
                                                 {Ip("198.51.100.2"), "second.example"}};
};

class HostInfoDlgTest : public testing::Test {
protected:
    HostInfoDlgTest() : files_(dir_.path()) {
        dlg_.SetSources(&hosts_, &files_, &infoAddress_);
        dlg_.SetResolver(&gated_);
    }
    // Whatever a test left waiting is let go before the window (and its lookups) go.
    ~HostInfoDlgTest() override { gated_.Release(0, true); }

    HostRecord& Add(const char* ip) { return hosts_.HostAt(Ip(ip)); }
    HostRecord& AddNamed(const char* ip, const std::string& name) {
        HostRecord& record = hosts_.HostAt(Ip(ip));
        record.m_bNamed = 1;
        record.m_strName = name;
        return record;
    }
    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < dlg_.LogRowCount(); ++i) {
            rows << dlg_.LogText(i, 0) + "|" + dlg_.LogText(i, 1);
        }
        return rows;
    }

    test::TempDir dir_;
    HistoryFiles files_;
    HostTable hosts_;
    uint32_t infoAddress_ = 0;
    GatedResolver gated_;
    CHostInfoDlg dlg_;
};

TEST_F(HostInfoDlgTest, LayoutTexts) {
    QStringList labels;
    for (const QLabel* label : dlg_.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) {
            labels << label->text();
        }
    }
    for (const char* text : {"Domain name:", "IP address:", "Location:", "Approximate speed:", "kbps",
                             "Packet Size: 32 bytes", "Sent:", "Received:", "Lost:", "Minum:",
                             "Maxum:", "Average:"}) {
        EXPECT_TRUE(labels.contains(text)) << text;
    }
    QStringList groups;
    for (const QGroupBox* box : dlg_.findChildren<QGroupBox*>()) {
        groups << box->title();
    }
    EXPECT_EQ(groups, (QStringList{"General Information", "Ping Statistics"}));
    QStringList buttons;
    for (const QPushButton* button : dlg_.findChildren<QPushButton*>()) {
        buttons << button->objectName() + "=" + button->text();
    }
    EXPECT_EQ(buttons, (QStringList{"1018=Clear", "1014=Save log ...", "1017=Close"}));
    QTreeWidget* list = dlg_.m_historyList;
    EXPECT_EQ(list->headerItem()->text(0), "time");
    EXPECT_EQ(list->headerItem()->text(1), "info");
    EXPECT_EQ(list->columnWidth(0), 170);
    EXPECT_EQ(list->columnWidth(1), 195);
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(list->palette().color(QPalette::Text), QColor(0, 255, 0));
    EXPECT_FALSE(dlg_.isModal());
}

TEST_F(HostInfoDlgTest, StatisticsFieldsOnOpen) {
    struct Case {
        const char* name;
        int sent, received, min, max, avg;
        const char *fSent, *fReceived, *fLost, *fMin, *fMax, *fAvg, *fSpeed;
    };
    const Case cases[] = {
        {"no reply yet", 0, 0, -1, -1, 0, "0", "0", "", "-1 ms", "-1 ms", "0 ms", "0"},
        {"ten sent, seven back", 10, 7, 0, 3, 0, "10", "7", "3 (30% loss)", "0 ms", "3 ms", "0 ms", "960"},
        {"loss rate truncated", 3, 2, 5, 9, 7, "3", "2", "1 (33% loss)", "5 ms", "9 ms", "7 ms", "137"},
        {"slow host", 1, 1, 1000, 1000, 1000, "1", "1", "0 (0% loss)", "1000 ms", "1000 ms", "1000 ms", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg_.close();
        hosts_.RemoveAllHosts();
        HostRecord& r = Add("198.51.100.3");
        r.m_nSent = c.sent;
        r.m_nReceived = c.received;
        r.m_nMinTime = c.min;
        r.m_nMaxTime = c.max;
        r.m_nAvgTime = c.avg;
        ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
        EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kSent), c.fSent);
        EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kReceived), c.fReceived);
        EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kLost), c.fLost);
        EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kMinTime), c.fMin);
        EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kMaxTime), c.fMax);
        EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kAvgTime), c.fAvg);
        EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kSpeed), c.fSpeed);
        EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kIpAddress), "198.51.100.3");
        EXPECT_EQ(dlg_.windowTitle(), "198.51.100.3");
        EXPECT_EQ(infoAddress_, Ip("198.51.100.3"));
    }
}

TEST_F(HostInfoDlgTest, SameHostOnlyShownAgainOtherHostRefilled) {
    Add("198.51.100.1").m_nSent = 5;
    AddNamed("198.51.100.2", "http://www.example.test/page");
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.1"));
    dlg_.AppendLogRow("t", "marker");
    dlg_.hide();  // hidden without closing (as a window manager may): still on show

    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.1"));
    EXPECT_TRUE(dlg_.isVisible());
    EXPECT_EQ(Rows(), QStringList{"t|marker"}) << "the same host must not be refilled";

    // Another host fills the window anew from its own sources.
    ASSERT_TRUE(dlg_.OpenHostDetails("http://www.example.test/page"));
    EXPECT_EQ(Rows(), QStringList{});
    EXPECT_EQ(infoAddress_, Ip("198.51.100.2"));
    EXPECT_EQ(dlg_.windowTitle(), "http://www.example.test/page");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "http://www.example.test/page");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kIpAddress), "198.51.100.2");

    // Closing forgets the host; the same row then fills the window again.
    dlg_.AppendLogRow("t", "marker");
    dlg_.close();
    EXPECT_EQ(infoAddress_, 0u);
    EXPECT_FALSE(dlg_.isVisible());
    ASSERT_TRUE(dlg_.OpenHostDetails("http://www.example.test/page"));
    EXPECT_EQ(Rows(), QStringList{});

    // Esc behaves as Close.
    dlg_.reject();
    EXPECT_EQ(infoAddress_, 0u);
}

TEST_F(HostInfoDlgTest, KeptCurrentByRepliesTimeoutsRoundsAndRemoval) {
    HostRecord& r = Add("198.51.100.3");
    r.m_nSent = 1;
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kLost), "1 (100% loss)");

    dlg_.AddOneSent();
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kSent), "2");

    r.m_nSent = 2;
    r.m_nReceived = 1;
    r.m_nMinTime = r.m_nMaxTime = r.m_nAvgTime = 7;
    dlg_.OnHostReply(r, "Sun Dec 06 12:00:00 2026", "ttl=64,time=7,bytes=32");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kReceived), "1");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kMinTime), "7 ms");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kSpeed), "137");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kLost), "1 (50% loss)");

    r.m_nSent = 4;
    dlg_.OnHostTimeout(r, "Sun Dec 06 12:00:03 2026", "request timeout.");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kSent), "4");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kLost), "3 (75% loss)");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kMinTime), "7 ms") << "a timeout leaves the times";

    dlg_.OnHostRemoved();
    const QStringList rows = Rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], "Sun Dec 06 12:00:00 2026|ttl=64,time=7,bytes=32");
    EXPECT_EQ(rows[1], "Sun Dec 06 12:00:03 2026|request timeout.");
    EXPECT_TRUE(rows[2].endsWith("|removed from list."));
    EXPECT_EQ(dlg_.LogText(2, 0).size(), 24) << "a time stamp without its line end";
}

TEST_F(HostInfoDlgTest, HistoryFromFileThenMemoryOddLineLeftOut) {
    const uint32_t address = Ip("198.51.100.3");
    ASSERT_TRUE(files_.Append(address, {"Sun Dec 06 10:00:00 2026\n", "added to list.\n",
                                        "Sun Dec 06 10:00:03 2026\n", "request timeout.\n",
                                        "Sun Dec 06 10:00:06 2026\n"}));
    HostRecord& r = Add("198.51.100.3");
    AppendHistoryEvent(r.m_history, "Sun Dec 06 11:00:00 2026\n", "ttl=64,time=1,bytes=32");
    AppendHistoryEvent(r.m_history, "Sun Dec 06 11:00:03 2026\n", "ttl=64,time=2,bytes=32");
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
    EXPECT_EQ(Rows(), (QStringList{"Sun Dec 06 10:00:00 2026|added to list.",
                                    "Sun Dec 06 10:00:03 2026|request timeout.",
                                    "Sun Dec 06 11:00:00 2026|ttl=64,time=1,bytes=32",
                                    "Sun Dec 06 11:00:03 2026|ttl=64,time=2,bytes=32"}));
}

TEST_F(HostInfoDlgTest, ClearKeepsStatisticsAndOnlyLaterEventsReturn) {
    const uint32_t address = Ip("198.51.100.3");
    ASSERT_TRUE(files_.Append(address, {"Sun Dec 06 10:00:00 2026\n", "added to list.\n"}));
    HostRecord& r = Add("198.51.100.3");
    r.m_nSent = 3;
    r.m_nReceived = 2;
    r.m_nMinTime = 4;
    r.m_nMaxTime = 8;
    r.m_nAvgTime = 6;
    AppendHistoryEvent(r.m_history, "Sun Dec 06 11:00:00 2026\n", "ttl=64,time=4,bytes=32");
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
    ASSERT_EQ(dlg_.LogRowCount(), 2);

    dlg_.OnClear();
    EXPECT_EQ(dlg_.LogRowCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(files_.PathOf(address)));
    EXPECT_TRUE(r.m_history.empty());
    EXPECT_EQ(r.m_nSent, 3);
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kSent), "3");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kLost), "1 (33% loss)");
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kAvgTime), "6 ms");

    AppendHistoryEvent(r.m_history, "Sun Dec 06 11:00:03 2026\n", "request timeout.");
    dlg_.close();
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
    EXPECT_EQ(Rows(), QStringList{"Sun Dec 06 11:00:03 2026|request timeout."});
}

TEST_F(HostInfoDlgTest, SaveLogWritesOneLinePerRow) {
    Add("198.51.100.3");
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
    const QString path = QString::fromStdString((dir_ / "host.log").string());

    struct Case {
        const char* name;
        std::vector<std::pair<QString, QString>> rows;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"no rows: an empty file", {}, ""},
        {"rows in order, TAB between, LF after",
         {{"Sun Dec 06 10:00:00 2026", "added to list."},
          {"Sun Dec 06 10:00:03 2026", "ttl=64,time=1,bytes=32"}},
         "Sun Dec 06 10:00:00 2026\tadded to list.\nSun Dec 06 10:00:03 2026\tttl=64,time=1,bytes=32\n"},
        {"an existing file is replaced", {{"t", "x"}}, "t\tx\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg_.m_historyList->clear();
        for (const auto& [time, info] : c.rows) {
            dlg_.AppendLogRow(time, info);
        }
        ASSERT_TRUE(dlg_.SaveLogTo(path));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.bytes);
    }
    // A place that cannot be written: refused, and the old log stays as it was.
    EXPECT_FALSE(dlg_.SaveLogTo(QString::fromStdString((dir_ / "missing" / "x.log").string())));
    EXPECT_FALSE(dlg_.SaveLogTo(QString::fromStdString(dir_.path().string())));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("t\tx\n"));
}

TEST_F(HostInfoDlgTest, LateReverseLookupForAnotherHostIsDropped) {
    GatedResolver& gated = gated_;  // nothing released yet
    Add("198.51.100.1");
    Add("198.51.100.2");
    std::vector<std::pair<uint32_t, bool>> answers;
    QObject::connect(&dlg_, &CHostInfoDlg::reverseLookupDone,
                     [&](uint32_t address, bool shown) { answers.emplace_back(address, shown); });

    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.1"));
    ASSERT_TRUE(WaitUntil([&] { return gated.Asked() == 1; }));
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.2"));
    ASSERT_TRUE(WaitUntil([&] { return gated.Asked() == 2; }));

    gated.Release(Ip("198.51.100.1"));
    ASSERT_TRUE(WaitUntil([&] { return answers.size() == 1; }));
    EXPECT_EQ(answers[0], std::make_pair(Ip("198.51.100.1"), false));
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "");

    gated.Release(Ip("198.51.100.2"));
    ASSERT_TRUE(WaitUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers[1], std::make_pair(Ip("198.51.100.2"), true));
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "second.example");

    // No name: the field says so.
    gated.Release(Ip("198.51.100.9"));
    Add("198.51.100.9");
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.9"));
    EXPECT_TRUE(WaitUntil([&] { return dlg_.FieldText(CHostInfoDlg::kDomainName) == "no domain name"; }));

    // An answer for a host closed and opened again counts only for the new opening.
    dlg_.close();
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.2"));
    ASSERT_TRUE(WaitUntil([&] { return answers.size() == 4; }));
    EXPECT_EQ(answers[3], std::make_pair(Ip("198.51.100.2"), true));
}

TEST_F(HostInfoDlgTest, ReverseLookupThroughTheSystemNameService) {
    dlg_.SetResolver(nullptr);
    Add("127.0.0.1");
    ASSERT_TRUE(dlg_.OpenHostDetails("127.0.0.1"));
    ASSERT_TRUE(WaitUntil([&] { return !dlg_.FieldText(CHostInfoDlg::kDomainName).isEmpty(); }, 15000));
    // Every machine names its loopback address in its own files.
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "localhost");
}

}  // namespace
}  // namespace sondrel
