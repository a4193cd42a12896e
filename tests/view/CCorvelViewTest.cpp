#include <QAbstractEventDispatcher>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include "view/CAppHarness.h"
#include "view/Commands.h"
#include "view/IntervalInput.h"

namespace sondrel::test {
namespace {

std::shared_ptr<const IcmpSocket> RawSocketOrNull(std::string* why) {
    int error = 0;
    auto socket = IcmpSocket::OpenRaw(&error);
    if (!socket) *why = std::string("no raw ICMP socket here: ") + std::strerror(error);
    return socket;
}

bool IsNumber(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The three copies of the list hold the same hosts, each once, and the rows are in order.
void ExpectInStep(CCorvelView* view) {
    std::multiset<uint32_t> array(view->Addresses().begin(), view->Addresses().end());
    std::vector<uint32_t> keys = view->Hosts().Addresses();
    std::multiset<uint32_t> table(keys.begin(), keys.end());
    std::multiset<uint32_t> rows;
    for (int r = 0; r < view->Rows()->Count(); ++r) {
        rows.insert(view->Rows()->Address(r));
        if (r > 0) {
            EXPECT_LE(CompareRowText(view->Rows()->Text(r - 1, 0), view->Rows()->Text(r, 0)), 0);
        }
        const HostRecord* record = view->Hosts().FindHost(view->Rows()->Address(r));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(view->Rows()->Text(r, 0), DisplayText(view->Rows()->Address(r), *record));
    }
    EXPECT_EQ(array, table);
    EXPECT_EQ(rows, table);
    EXPECT_EQ(std::set<uint32_t>(keys.begin(), keys.end()).size(), keys.size());
}

// --- Rounds on the real engine -----------------------------------------------------------------

TEST(CCorvelViewEngine, LoopbackHostsShowTtlTimeAndBytes) {
    std::string why;
    auto socket = RawSocketOrNull(&why);
    if (!socket) GTEST_SKIP() << why;
    CAppHarness h(socket);
    WriteList(h.DefaultList(), 1, {{Loopback(1), ""}, {Loopback(2), ""}, {Loopback(3), ""}});
    ASSERT_TRUE(h.Start());
    ASSERT_EQ(h.RowCount(), 3);
    // Not yet pinged: the answer to the receiver's own first request to 127.0.0.1 is not
    // this host's.
    Pump(50);
    for (int last : {1, 2, 3}) EXPECT_EQ(h.Cell("127.0.0." + std::to_string(last), 2), "*");
    EXPECT_EQ(h.view()->IntervalInForce(), 1u);
    auto allAnswered = [&] {
        for (int last : {1, 2, 3}) {
            if (h.Cell("127.0.0." + std::to_string(last), 1) != "64") return false;
        }
        return true;
    };
    ASSERT_TRUE(WaitFor(allAnswered, 10000)) << h.Cell("127.0.0.1", 2);
    for (int last : {1, 2, 3}) {
        const std::string text = "127.0.0." + std::to_string(last);
        EXPECT_TRUE(IsNumber(h.Cell(text, 2))) << h.Cell(text, 2);
        EXPECT_EQ(h.Cell(text, 3), "32");
        const HostRecord* record = h.view()->Hosts().FindHost(Loopback(static_cast<uint8_t>(last)));
        ASSERT_NE(record, nullptr);
        EXPECT_GE(record->m_nSent, 1);
        EXPECT_GE(record->m_nReceived, 1);
        EXPECT_LE(record->m_nReceived, record->m_nSent);
        EXPECT_GE(record->m_nMinTime, 0);
        // added, then at least one reply: time stamp and event line each
        ASSERT_GE(record->m_history.size(), 4u);
        EXPECT_EQ(record->m_history[1], "added to list.\n");
        EXPECT_EQ(record->m_history[3].rfind("ttl=64,time=", 0), 0u) << record->m_history[3];
    }
    EXPECT_TRUE(h.messages.empty()) << h.messages.front().toStdString();
}

// Runs the rest of a test in a network namespace of its own (loopback only), so that
// firewall rules stay inside it.
class ScopedNetNamespace {
public:
    ScopedNetNamespace() {
        original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (original_ < 0 || ::unshare(CLONE_NEWNET) != 0) {
            error_ = std::string("cannot make a network namespace: ") + std::strerror(errno);
            return;
        }
        entered_ = true;
        if (std::system("ip link set lo up") != 0) error_ = "cannot bring up loopback in the namespace";
    }
    ~ScopedNetNamespace() {
        if (entered_) ::setns(original_, CLONE_NEWNET);
        if (original_ >= 0) ::close(original_);
    }
    const std::string& Error() const { return error_; }
    bool Run(const std::string& command) const { return std::system(command.c_str()) == 0; }

private:
    int original_ = -1;
    bool entered_ = false;
    std::string error_;
};

TEST(CCorvelViewEngine, HostThatNeverAnswersShowsTimeoutAfterTheNextPass) {
    ScopedNetNamespace ns;
    if (!ns.Error().empty()) GTEST_SKIP() << ns.Error();
    if (!ns.Run("iptables -A INPUT -d 127.0.0.99 -p icmp --icmp-type echo-request -j DROP 2>/dev/null")) {
        GTEST_SKIP() << "iptables cannot drop packets in a namespace here";
    }
    std::string why;
    auto socket = RawSocketOrNull(&why);
    if (!socket) GTEST_SKIP() << why;
    {
        CAppHarness h(socket);
        socket.reset();
        WriteList(h.DefaultList(), 1, {{Loopback(1), ""}, {Loopback(99), ""}});
        ASSERT_TRUE(h.Start());
        ASSERT_TRUE(WaitFor([&] { return h.Cell("127.0.0.99", 2) == "timeout"; }, 10000)) << h.Cell("127.0.0.99", 2);
        EXPECT_EQ(h.Cell("127.0.0.99", 1), "");
        EXPECT_EQ(h.Cell("127.0.0.99", 3), "");
        EXPECT_EQ(h.Cell("127.0.0.1", 1), "64");
        const HostRecord* silent = h.view()->Hosts().FindHost(Loopback(99));
        ASSERT_NE(silent, nullptr);
        EXPECT_EQ(silent->m_nReceived, 0);
        EXPECT_NE(std::find(silent->m_history.begin(), silent->m_history.end(), "request timeout.\n"),
                  silent->m_history.end());
    }
}

// --- Run state ---------------------------------------------------------------------------------

struct RunState {
    bool stopped;
    bool startEnabled;
    bool stopEnabled;
    bool stopPingSet;
    QString picture;
};

RunState StateOf(CAppHarness& h) {
    h.frame()->UpdateCommandUI();
    return RunState{h.view()->IsStopped(), h.frame()->Command(ID_START)->isEnabled(),
                    h.frame()->Command(ID_STOP)->isEnabled(), NamedEvent::Open(kStopPingEvent).IsSet(),
                    h.view()->StateIndicator() ? h.view()->StateIndicator()->toolTip() : QString()};
}

TEST(CCorvelView, StopAndStartSwitchStateMenusAndRounds) {
    CAppHarness h;
    WriteList(h.DefaultList(), 3, {{Loopback(1), ""}, {Loopback(2), ""}});
    ASSERT_TRUE(h.Start());
    HostRecord* record = h.view()->Hosts().FindHost(Loopback(1));
    ASSERT_NE(record, nullptr);

    struct Step {
        const char* what;
        std::function<void()> act;
        bool stopped;
        int sentAfterTick;  // sent count after one more tick of the timer
    };
    const Step steps[] = {
        {"start state", [] {}, false, 1},
        {"menu Stop", [&] { h.frame()->Command(ID_STOP)->trigger(); }, true, 1},
        {"Stop again", [&] { h.view()->OnStop(); }, true, 1},
        {"menu Start", [&] { h.frame()->Command(ID_START)->trigger(); }, false, 2},
        {"Start again", [&] { h.view()->OnStart(); }, false, 3},
        {"Stop button", [&] { h.view()->StopButton()->click(); }, true, 3},
        {"Ping button", [&] { h.view()->PingButton()->click(); }, false, 4},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const int sentBefore = record->m_nSent;
        s.act();
        // Start starts no round of its own: the count moves only with the next tick.
        Pump(20);
        EXPECT_EQ(record->m_nSent, sentBefore);
        RunState state = StateOf(h);
        EXPECT_EQ(state.stopped, s.stopped);
        EXPECT_EQ(state.startEnabled, s.stopped);
        EXPECT_EQ(state.stopEnabled, !s.stopped);
        EXPECT_EQ(state.stopPingSet, s.stopped);
        EXPECT_EQ(state.picture, s.stopped ? QStringLiteral("Stopped") : QStringLiteral("Pinging"));
        h.view()->OnTimer();
        Pump(20);
        EXPECT_EQ(record->m_nSent, s.sentAfterTick);
    }
}

TEST(CCorvelView, TrayMenuReadsExitAboutStopStartAndFollowsTheRunState) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    QMenu* menu = h.view()->TrayMenu();
    ASSERT_NE(menu, nullptr);
    std::vector<QString> texts;
    std::map<QString, QAction*> byText;
    for (QAction* a : menu->actions()) {
        texts.push_back(a->isSeparator() ? QStringLiteral("-") : a->text());
        byText[a->text()] = a;
    }
    EXPECT_EQ(texts, (std::vector<QString>{"Exit", "-", "About", "-", "Stop", "Start"}));
    h.view()->UpdateCommandStates();
    EXPECT_FALSE(byText["Start"]->isEnabled());
    EXPECT_TRUE(byText["Stop"]->isEnabled());
    byText["Stop"]->trigger();
    EXPECT_TRUE(h.view()->IsStopped());
    EXPECT_TRUE(byText["Start"]->isEnabled());
    EXPECT_FALSE(byText["Stop"]->isEnabled());
    // A double click on the tray icon brings a hidden window back.
    h.frame()->hide();
    h.view()->OnTrayNotify(kTrayIconId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(h.frame()->isVisible());
}

int TimerPeriodMs(CCorvelView* view) {
    for (const auto& info : QAbstractEventDispatcher::instance()->registeredTimers(view)) {
        if (info.timerId == view->TimerId()) return static_cast<int>(info.interval);
    }
    return -1;
}

TEST(CCorvelView, IntervalBoxRearmsOnlyForNewValuesInRange) {
    CAppHarness h;
    WriteList(h.DefaultList(), 3, {{Loopback(1), ""}});
    ASSERT_TRUE(h.Start());
    HostRecord* record = h.view()->Hosts().FindHost(Loopback(1));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(TimerPeriodMs(h.view()), 3000);
    struct Case {
        const char* typed;
        uint32_t inForce;
        const char* prompt;  // nullptr: none
        bool roundAtOnce;
    };
    const Case cases[] = {
        {"10", 10, nullptr, true},
        {"10", 10, nullptr, false},  // the same number again does nothing
        {"0", 10, nullptr, false},
        {"20000", 10, kIntervalRangePrompt, false},
        {"abc", 10, kIntervalNumberPrompt, false},
        {"", 10, nullptr, false},  // retyping: left alone
        {" 7 ", 7, nullptr, true},
        {"1", 1, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        h.messages.clear();
        const int sentBefore = record->m_nSent;
        h.view()->IntervalEdit()->setText(QString::fromLatin1(c.typed));
        h.view()->OnIntervalChanged();
        Pump(30);
        EXPECT_EQ(h.view()->IntervalInForce(), c.inForce);
        EXPECT_EQ(h.view()->Interval(), c.inForce);
        EXPECT_EQ(TimerPeriodMs(h.view()), static_cast<int>(c.inForce) * 1000);
        EXPECT_EQ(record->m_nSent - sentBefore, c.roundAtOnce ? 1 : 0);
        if (c.prompt) {
            ASSERT_EQ(h.messages.size(), 1u);
            EXPECT_EQ(h.messages[0], QString::fromLatin1(c.prompt));
        } else {
            EXPECT_TRUE(h.messages.empty());
        }
    }
}

// --- List changes ------------------------------------------------------------------------------

TEST(CCorvelView, ListChangeHandlersKeepArrayRowsAndTableInStep) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    CCorvelView* v = h.view();
    const uint32_t a = AddressFromOctets(10, 0, 0, 1);
    const uint32_t b = AddressFromOctets(10, 0, 0, 12);
    const uint32_t c = AddressFromOctets(192, 0, 2, 7);
    const std::filesystem::path opened = h.Path("opened.ipl");
    // The opened file lists one address twice.
    WriteList(opened, 5, {{c, "Beta.example"}, {a, ""}, {c, "Beta.example"}});
    struct Step {
        const char* what;
        std::function<bool()> act;
        bool accepted;
        std::vector<std::string> rows;
        const char* firstEvent;  // history event of the newest host, or nullptr
        uint32_t newest;
    };
    const Step steps[] = {
        {"add 10.0.0.12", [&] { return v->AddHost(b, "", false); }, true, {"10.0.0.12"}, "added to list.\n", b},
        {"add named", [&] { return v->AddHost(c, "alpha.example", true); }, true, {"10.0.0.12", "alpha.example"},
         "added to list.\n", c},
        {"add 10.0.0.1", [&] { return v->AddHost(a, "", false); }, true, {"10.0.0.1", "10.0.0.12", "alpha.example"},
         "added to list.\n", a},
        {"add 10.0.0.1 again", [&] { return v->AddHost(a, "x", true); }, false,
         {"10.0.0.1", "10.0.0.12", "alpha.example"}, nullptr, 0},
        {"remove 10.0.0.12", [&] { return v->RemoveHost(b); }, true, {"10.0.0.1", "alpha.example"}, nullptr, 0},
        {"remove unknown", [&] { return v->RemoveHost(b); }, false, {"10.0.0.1", "alpha.example"}, nullptr, 0},
        {"open a file", [&] { return h.doc()->OpenDocumentFile(QString::fromStdString(opened.string())); }, true,
         {"10.0.0.1", "Beta.example"}, "add to list.\n", c},
        {"new list", [&] { return h.doc()->OnNewDocument(); }, true, {}, nullptr, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.act(), s.accepted);
        Pump(20);
        EXPECT_EQ(h.RowTexts(), s.rows);
        ExpectInStep(v);
        for (int r = 0; r < h.RowCount(); ++r) EXPECT_EQ(v->Rows()->Text(r, 2), "*");
        if (s.firstEvent) {
            const HostRecord* record = v->Hosts().FindHost(s.newest);
            ASSERT_NE(record, nullptr);
            ASSERT_EQ(record->m_history.size(), 2u);
            EXPECT_EQ(record->m_history[1], s.firstEvent);
            EXPECT_EQ(record->m_history[0].size(), 25u);
        }
    }
    // The file's interval came in with it; New keeps the one in force.
    EXPECT_EQ(v->IntervalInForce(), 5u);
    EXPECT_TRUE(h.messages.empty());
}

TEST(CCorvelView, RepliesAndTimeoutsReachTheRowOfTheirOwnHost) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    CCorvelView* v = h.view();
    const uint32_t one = AddressFromOctets(10, 0, 0, 1);
    const uint32_t twelve = AddressFromOctets(10, 0, 0, 12);
    const uint32_t named = AddressFromOctets(192, 0, 2, 1);
    v->AddHost(twelve, "", false);
    v->AddHost(one, "", false);
    v->AddHost(named, "Alpha.Example", true);
    Pump(20);
    for (auto item : v->Hosts()) item.record.m_nSent = 10;
    struct Step {
        const char* what;
        std::function<void()> act;
        std::map<std::string, ResultColumns> rows;
    };
    const ResultColumns fresh{"", "*", ""};
    const Step steps[] = {
        {"reply for 10.0.0.1", [&] { v->OnPingReply(one, "ttl=64,time=5,bytes=32"); },
         {{"10.0.0.1", {"64", "5", "32"}}, {"10.0.0.12", fresh}, {"Alpha.Example", fresh}}},
        {"reply for the named host", [&] { v->OnPingReply(named, "ttl=50,time=100,bytes=32"); },
         {{"10.0.0.1", {"64", "5", "32"}}, {"10.0.0.12", fresh}, {"Alpha.Example", {"50", "100", "32"}}}},
        {"reply for a host not listed", [&] { v->OnPingReply(AddressFromOctets(127, 0, 0, 1), "ttl=64,time=1,bytes=32"); },
         {{"10.0.0.1", {"64", "5", "32"}}, {"10.0.0.12", fresh}, {"Alpha.Example", {"50", "100", "32"}}}},
        {"first pass: everyone counts as answered", [&] { v->OnPingTimeout(); },
         {{"10.0.0.1", {"64", "5", "32"}}, {"10.0.0.12", fresh}, {"Alpha.Example", {"50", "100", "32"}}}},
        {"error text for the named host", [&] { v->OnPingReply(named, "10.9.9.9:host unreachable"); },
         {{"10.0.0.1", {"64", "5", "32"}}, {"10.0.0.12", fresh}, {"Alpha.Example", {"", "", ""}}}},
        {"second pass: the silent ones time out", [&] { v->OnPingTimeout(); },
         {{"10.0.0.1", {"", "timeout", ""}}, {"10.0.0.12", {"", "timeout", ""}}, {"Alpha.Example", {"", "", ""}}}},
        {"smoothed time after a timeout starts afresh", [&] { v->OnPingReply(one, "ttl=64,time=200,bytes=32"); },
         {{"10.0.0.1", {"64", "200", "32"}}, {"10.0.0.12", {"", "timeout", ""}}, {"Alpha.Example", {"", "", ""}}}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        for (const auto& [text, columns] : s.rows) {
            EXPECT_EQ(h.Cell(text, 1), columns.ttl) << text;
            EXPECT_EQ(h.Cell(text, 2), columns.time) << text;
            EXPECT_EQ(h.Cell(text, 3), columns.bytes) << text;
        }
    }
    // Rows are found ignoring case.
    EXPECT_EQ(v->FindRow("ALPHA.EXAMPLE"), v->FindRow("Alpha.Example"));
    EXPECT_EQ(v->Hosts().FindHost(AddressFromOctets(127, 0, 0, 1)), nullptr);
}

TEST(CCorvelView, EchoesBeyondTheRequestsSentAreNotCounted) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    CCorvelView* v = h.view();
    const uint32_t host = Loopback(1);
    v->AddHost(host, "", false);
    Pump(10);
    const std::string echo = "ttl=64,time=4,bytes=32";
    struct Step {
        const char* what;
        std::function<void()> act;
        int received;
        const char* time;
    };
    const Step steps[] = {
        {"before any round (the receiver's own first request)", [&] { v->OnPingReply(host, echo); }, 0, "*"},
        {"a round", [&] { v->OnTimer(); }, 0, "*"},
        {"its answer", [&] { v->OnPingReply(host, echo); }, 1, "4"},
        {"a second answer to the same request", [&] { v->OnPingReply(host, "ttl=64,time=9,bytes=32"); }, 1, "4"},
        {"an error text is shown all the same", [&] { v->OnPingReply(host, "10.9.9.9:host unreachable"); }, 1, ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(v->Hosts().FindHost(host)->m_nReceived, s.received);
        EXPECT_EQ(h.Cell("127.0.0.1", 2), s.time);
    }
}

TEST(CCorvelView, ReplyEventsPostedFromAnotherThreadAreHandledInOrder) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    const uint32_t host = AddressFromOctets(10, 1, 2, 3);
    h.view()->AddHost(host, "", false);
    Pump(10);
    h.view()->Hosts().FindHost(host)->m_nSent = 50;
    std::thread poster([&] {
        for (int t = 1; t <= 50; ++t) {
            PostViewMessage(h.view(), WM_PING_REPLY, host, "ttl=60,time=" + std::to_string(t) + ",bytes=32");
        }
    });
    poster.join();
    Pump(50);
    const HostRecord* record = h.view()->Hosts().FindHost(host);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_nReceived, 50);
    EXPECT_EQ(record->m_nMaxTime, 50);
    EXPECT_EQ(record->m_nMinTime, 1);
    EXPECT_EQ(h.Cell("10.1.2.3", 1), "60");
}

// --- Engine messages ---------------------------------------------------------------------------

void ClickOkOnEveryBox() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box != nullptr && box->isVisible()) box->button(QMessageBox::Ok)->click();
    }
}

TEST(CCorvelView, EngineMessagesOpenOneBoxPerTextWithoutBlocking) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    SetMessageBoxRecorder(nullptr);  // real boxes, offscreen
    const int before = OpenNonModalBoxCount();
    PostViewMessage(h.view(), WM_ENGINE_MESSAGE, 0, "sendto() WSAError 101");
    PostViewMessage(h.view(), WM_ENGINE_MESSAGE, 0, "sendto() WSAError 101");
    PostViewMessage(h.view(), WM_ENGINE_MESSAGE, 0, "select WSAError 9\r\nsecond line");
    Pump(50);
    EXPECT_EQ(OpenNonModalBoxCount() - before, 2);
    bool brokenAtLf = false;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) brokenAtLf |= box->text() == "select WSAError 9\nsecond line";
    }
    EXPECT_TRUE(brokenAtLf);
    // The list stays editable while the boxes are open.
    EXPECT_TRUE(h.view()->AddHost(AddressFromOctets(10, 0, 0, 1), "", false));
    Pump(20);
    EXPECT_EQ(h.RowCount(), 1);
    ClickOkOnEveryBox();
    ASSERT_TRUE(WaitFor([&] { return OpenNonModalBoxCount() == before; }, 2000));
    PostViewMessage(h.view(), WM_ENGINE_MESSAGE, 0, "sendto() WSAError 101");
    Pump(20);
    EXPECT_EQ(OpenNonModalBoxCount(), before + 1);
    ClickOkOnEveryBox();
    WaitFor([&] { return OpenNonModalBoxCount() == before; }, 2000);
}

// --- Idle flushing and teardown ----------------------------------------------------------------

TEST(CCorvelView, IdleMovesLongHistoriesToFilesAndExitDeletesThem) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    const uint32_t host = AddressFromOctets(10, 0, 0, 1);
    h.view()->AddHost(host, "", false);
    Pump(10);
    HostRecord* record = h.view()->Hosts().FindHost(host);
    ASSERT_NE(record, nullptr);
    while (record->m_history.size() < 102) AppendHistoryEvent(record->m_history, TimeStampNow(), "ttl=64,time=1,bytes=32");
    const auto file = h.view()->HistoryFiles().PathOf(host);
    EXPECT_TRUE(h.app()->OnIdle(0));
    EXPECT_TRUE(record->m_history.empty());
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(h.view()->HistoryFiles().Read(host).size(), 51u);
    EXPECT_FALSE(h.app()->OnIdle(1));
    // The event loop's idle hook does the same without being asked.
    while (record->m_history.size() < 102) AppendHistoryEvent(record->m_history, TimeStampNow(), "request timeout.");
    ASSERT_TRUE(WaitFor([&] { return record->m_history.empty(); }, 2000));
    EXPECT_EQ(h.view()->HistoryFiles().Read(host).size(), 102u);
    h.Stop();
    EXPECT_FALSE(std::filesystem::exists(file));
    ListReadResult saved = ReadListFile(h.DefaultList());
    ASSERT_TRUE(saved.ok());
    ASSERT_EQ(saved.entries.size(), 1u);
    EXPECT_EQ(saved.entries[0].m_dwAddress, host);
}

}  // namespace
}  // namespace sondrel::test
