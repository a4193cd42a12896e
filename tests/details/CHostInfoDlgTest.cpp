#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QScreen>

#include "details/CHostInfoDlg.h"
#include "details/GatedResolver.h"
#include "view/CAppHarness.h"

namespace sondrel {
namespace {

uint32_t Host(int last) { return AddressFromOctets(198, 51, 100, static_cast<uint8_t>(last)); }

class HostInfoDlgTest : public testing::Test {
protected:
    HostInfoDlgTest() : files_(dir_.path()) {
        dlg_.SetSources(&hosts_, &files_, &infoAddress_);
        dlg_.SetResolver(gated_);
    }
    ~HostInfoDlgTest() override { gated_->Release(0); }

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
    // Runs the event loop until the condition holds, checked at each lookup answer; the
    // deadline only guards against a hang.
    bool AnsweredUntil(const std::function<bool()>& done) {
        QEventLoop loop;
        QObject::connect(&dlg_, &CHostInfoDlg::reverseLookupDone, &loop, [&] {
            if (done()) loop.quit();
        });
        QTimer::singleShot(15000, &loop, &QEventLoop::quit);
        return done() || (loop.exec(), done());
    }

    test::TempDir dir_;
    HistoryFiles files_;
    HostTable hosts_;
    std::optional<uint32_t> infoAddress_;
    std::shared_ptr<test::GatedResolver> gated_ = std::make_shared<test::GatedResolver>(
        std::map<uint32_t, std::string>{{Host(2), "second.example"}});
    CHostInfoDlg dlg_;
};

TEST_F(HostInfoDlgTest, StatisticsOnOpenKeptCurrentByRoundsRepliesAndTimeouts) {
    struct Case {
        int sent, received, min, max, avg;
        QStringList fields;
    };
    const Case cases[] = {
        {0, 0, -1, -1, 0, {"0", "0", "", "-1 ms", "-1 ms", "0 ms", "0"}},
        {10, 7, 0, 3, 0, {"10", "7", "3 (30% loss)", "0 ms", "3 ms", "0 ms", "960"}},
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
    HostRecord& r = hosts_.HostAt(Host(3));
    dlg_.AddOneSent();
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kSent), "11");
    r.m_nSent = 11, r.m_nReceived = 8, r.m_nMinTime = 0, r.m_nMaxTime = r.m_nAvgTime = 7;
    dlg_.OnHostReply(r, "Sun Dec 06 12:00:00 2026", "ttl=64,time=7,bytes=32");
    EXPECT_EQ(Statistics(),
              (QStringList{"11", "8", "3 (27% loss)", "0 ms", "7 ms", "7 ms", "137"}));
    r.m_nSent = 12;
    dlg_.OnHostTimeout(r, "Sun Dec 06 12:00:03 2026", "request timeout.");
    EXPECT_EQ(Statistics(),
              (QStringList{"12", "8", "4 (33% loss)", "0 ms", "7 ms", "7 ms", "137"}));
    EXPECT_EQ(Rows(), (QStringList{"Sun Dec 06 12:00:00 2026|ttl=64,time=7,bytes=32",
                                   "Sun Dec 06 12:00:03 2026|request timeout."}));
    dlg_.close();
    r.m_nSent = 2147483647;
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.3"));
    dlg_.AddOneSent();
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kSent), "2147483647") << "stops at the maximum";
}

TEST_F(HostInfoDlgTest, SameHostOnlyShownAgainOtherHostRefilled) {
    // 0.0.0.0 is a host like any other, not "none shown".
    for (const char* dotted : {"198.51.100.1", "0.0.0.0"}) {
        SCOPED_TRACE(dotted);
        dlg_.close();
        hosts_.HostAt(InetAddr(dotted));
        ASSERT_TRUE(dlg_.OpenHostDetails(dotted));
        EXPECT_EQ(infoAddress_, InetAddr(dotted));
        dlg_.AppendLogRow("t", "marker");
        dlg_.hide();  // hidden without closing (as a window manager may): still on show
        ASSERT_TRUE(dlg_.OpenHostDetails(dotted));
        EXPECT_TRUE(dlg_.isVisible());
        EXPECT_EQ(Rows(), QStringList{"t|marker"}) << "the same host must not be refilled";
    }
    // A typed name is shown as typed, markup included.
    hosts_.HostAt(Host(2)).m_strName = "<b>x</b>";
    hosts_.HostAt(Host(2)).m_bNamed = 1;
    ASSERT_TRUE(dlg_.OpenHostDetails("<b>x</b>"));
    EXPECT_EQ(Rows(), QStringList{});
    EXPECT_EQ(infoAddress_, Host(2));
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "<b>x</b>");
    for (const QLabel* label : dlg_.findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    dlg_.close();
    EXPECT_EQ(infoAddress_, std::nullopt) << "closing forgets the host";
}

TEST_F(HostInfoDlgTest, OpensAtTheTopOfTheScreenKeptInsideIt) {
    hosts_.HostAt(Host(1));
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.1"));
    EXPECT_EQ(dlg_.frameGeometry().topLeft(),
              dlg_.screen()->availableGeometry().topLeft() + QPoint(100, 0));
    const std::pair<QRect, QPoint> cases[] = {
        {{1920, 24, 1280, 1000}, {2020, 24}},
        {{0, 0, 350, 150}, {50, 0}},   // would stick out on the right
        {{10, 0, 200, 150}, {10, 0}},  // narrower than the window: its left edge shows
    };
    for (const auto& [area, at] : cases)
        EXPECT_EQ(CHostInfoDlg::InitialPosition(area, {300, 200}), at) << area.x();
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
    // Save log: one line per row, time TAB event, in a file whose name ends in ".log"; a place
    // that cannot be written is told in a box and leaves the old log as it was.
    const QString path = QString::fromStdString((dir_ / "host.log").string());
    const QString missing = QString::fromStdString((dir_ / "missing" / "x.log").string());
    QStringList boxes;
    SetMessageBoxRecorder([&boxes](const QString& text) { boxes << text; });
    for (const QString& chosen : {path.chopped(4), missing}) {
        dlg_.chooseLogFile = [&chosen](const QString& proposed) {
            EXPECT_EQ(proposed, "198.51.100.3.log");
            return chosen;
        };
        dlg_.OnSaveLog();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(),
                  "Sun Dec 06 10:00:00 2026\tadded to list.\nSun Dec 06 10:00:03 2026\trequest "
                  "timeout.\nSun Dec 06 11:00:00 2026\tttl=64,time=4,bytes=32\n");
    }
    SetMessageBoxRecorder(nullptr);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains(missing) && boxes[0].contains("No such file"))
        << boxes[0].toStdString();

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
    gated_->Release(Host(1));
    ASSERT_TRUE(AnsweredUntil([&] { return answers.size() == 1; }));
    EXPECT_EQ(answers[0], std::make_pair(Host(1), false));
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "");
    gated_->Release(Host(2));
    ASSERT_TRUE(AnsweredUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers[1], std::make_pair(Host(2), true));
    EXPECT_EQ(dlg_.FieldText(CHostInfoDlg::kDomainName), "second.example");
    // No name: the field says so.
    gated_->Release(Host(9));
    ASSERT_TRUE(dlg_.OpenHostDetails("198.51.100.9"));
    EXPECT_TRUE(AnsweredUntil(
        [&] { return dlg_.FieldText(CHostInfoDlg::kDomainName) == "no domain name"; }));
}

}  // namespace
}  // namespace sondrel
