#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include "session/IntervalInput.h"
#include "view/CAppHarness.h"
#include "widgets/Commands.h"

namespace sondrel::test {
namespace {

// The array, the rows and the table hold the same hosts, each once (the rows' order and texts
// are checked by their callers).
void ExpectInStep(CCorvelView* view) {
    const auto bag = [](auto&& range) {
        return std::multiset<uint32_t>(range.begin(), range.end());
    };
    std::vector<uint32_t> rows;
    for (int r = 0; r < view->Rows()->Count(); ++r) rows.push_back(view->Rows()->Address(r));
    const std::multiset<uint32_t> table = bag(view->Session().Hosts().Addresses());
    EXPECT_EQ(bag(view->Session().Addresses()), table);
    EXPECT_EQ(bag(rows), table);
    EXPECT_EQ(std::set<uint32_t>(table.begin(), table.end()).size(), table.size());
}

TEST(CCorvelViewEngine, LoopbackHostsShowTtlTimeAndBytes) {
    int error = 0;
    auto socket = IcmpSocket::OpenRaw(&error);
    if (!socket) GTEST_SKIP() << "no raw ICMP socket here: " << std::strerror(error);
    CAppHarness h(socket);
    WriteList(h.DefaultList(), 1, {{Loopback(1), ""}, {Loopback(2), ""}, {Loopback(3), ""}});
    // The answer to the receiver's own first request is 127.0.0.1's alone (shown as any answer
    // is, when its row is there already): once the view has had it, before any round, the
    // other rows still wait.
    ASSERT_TRUE(h.Start());
    ASSERT_TRUE(WaitFor([&] { return h.view()->Session().RepliesApplied() > 0; }, 10000));
    if (h.view()->Session().Hosts().FindHost(Loopback(1))->m_nSent == 0) {
        for (const auto& t : {"127.0.0.2", "127.0.0.3"}) EXPECT_EQ(h.Cell(t, 2), "*");
    }
    const auto text = [](uint8_t host) { return "127.0.0." + std::to_string(host); };
    ASSERT_TRUE(WaitFor(
        [&] { return h.Cell(text(1), 1) + h.Cell(text(2), 1) + h.Cell(text(3), 1) == "646464"; },
        10000));
    for (uint8_t host = 1; host <= 3; ++host) {
        const std::string time = h.Cell(text(host), 2);
        EXPECT_TRUE(!time.empty() && time.find_first_not_of("0123456789") == std::string::npos)
            << time;
        EXPECT_EQ(h.Cell(text(host), 3), "32");
        const HostRecord* record = h.view()->Session().Hosts().FindHost(Loopback(host));
        EXPECT_TRUE(record->m_nReceived >= 1 && record->m_nReceived <= record->m_nSent);
        EXPECT_EQ(record->m_history.at(3).rfind("ttl=64,time=", 0), 0u) << record->m_history[3];
    }
    EXPECT_TRUE(h.messages.empty());
}

TEST(CCorvelView, StopAndStartSwitchStateMenusAndRounds) {
    CAppHarness h;
    // The steps start every round themselves; the view's own timer must not tick in between.
    WriteList(h.DefaultList(), 10000, {{Loopback(1), ""}, {Loopback(2), ""}});
    ASSERT_TRUE(h.Start());
    HostRecord* record = h.view()->Session().Hosts().FindHost(Loopback(1));
    std::map<QString, QAction*> tray;
    QStringList trayTexts;
    for (QAction* a : h.view()->TrayMenu()->actions())
        trayTexts << (a->isSeparator() ? "-" : a->text()), tray[a->text()] = a;
    EXPECT_EQ(trayTexts.join("|"), "Exit|-|About|-|Stop|Start");
    const struct {
        const char* what;
        std::function<void()> act;
        bool stopped;
        int sentAfterTick;
    } steps[] = {
        {"start state", [] {}, false, 1},
        {"menu Stop", [&] { h.frame()->Command(ID_STOP)->trigger(); }, true, 1},
        {"Stop again", [&] { h.view()->OnStop(); }, true, 1},
        {"menu Start", [&] { h.frame()->Command(ID_START)->trigger(); }, false, 2},
        {"Start again", [&] { h.view()->OnStart(); }, false, 3},
        {"Stop button", [&] { h.view()->StopButton()->click(); }, true, 3},
        {"Ping button", [&] { h.view()->PingButton()->click(); }, false, 4},
        {"tray Stop", [&] { tray["Stop"]->trigger(); }, true, 4},
        {"tray Start", [&] { tray["Start"]->trigger(); }, false, 5},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        const int sentBefore = record->m_nSent;
        s.act();
        Settle();
        EXPECT_EQ(record->m_nSent, sentBefore) << "Start starts no round of its own";
        h.frame()->UpdateCommandUI();
        h.view()->UpdateCommandStates();
        EXPECT_EQ(h.view()->Session().IsStopped(), s.stopped);
        EXPECT_EQ((std::vector<bool>{h.frame()->Command(ID_START)->isEnabled(),
                                     !h.frame()->Command(ID_STOP)->isEnabled(),
                                     tray["Start"]->isEnabled(), !tray["Stop"]->isEnabled(),
                                     NamedEvent::Open(kStopPingEvent).IsSet()}),
                  std::vector<bool>(5, s.stopped));
        EXPECT_EQ(h.view()->StateIndicator()->toolTip(), s.stopped ? "Stopped" : "Pinging");
        h.view()->OnTimer();
        Settle();
        EXPECT_EQ(record->m_nSent, s.sentAfterTick);
    }
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
    HostRecord* record = h.view()->Session().Hosts().FindHost(Loopback(1));
    EXPECT_EQ(TimerPeriodMs(h.view()), 3000);
    const char* const range = kIntervalRangePrompt;
    const char* const number = kIntervalNumberPrompt;
    const struct {
        const char* typed;
        uint32_t inForce;
        const char* prompt;
        bool roundAtOnce;
    } cases[] = {
        {"10", 10, nullptr, true},
        {"10", 10, nullptr, false},
        {"0", 10, nullptr, false},
        {"10001", 10, range, false},
        {"99999999999999999999999", 10, range, false},  // no overflow back into range
        {"abc", 10, number, false},
        {"-5", 10, number, false},
        {"1.5", 10, number, false},
        {"   ", 10, number, false},
        {"", 10, nullptr, false},  // retyping: left alone
        {" 7 ", 7, nullptr, true},
        {"007", 7, nullptr, false},
        {"10000", 10000, nullptr, true},
        {"1", 1, nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        h.messages.clear();
        const int sentBefore = record->m_nSent;
        h.view()->IntervalEdit()->setText(QString::fromLatin1(c.typed));
        h.view()->OnIntervalChanged();
        Settle();
        EXPECT_EQ(h.view()->Session().IntervalInForce(), c.inForce);
        EXPECT_EQ(TimerPeriodMs(h.view()), static_cast<int>(c.inForce) * 1000);
        EXPECT_EQ(record->m_nSent - sentBefore, c.roundAtOnce ? 1 : 0);
        EXPECT_EQ(h.messages, c.prompt ? std::vector<QString>{c.prompt} : std::vector<QString>{});
    }
    // Left empty when the edit ends (focus gone, Enter): the number prompt, the box refilled.
    // A list file's interval goes into the box and is taken as if typed: 1 is in force here.
    const std::pair<uint32_t, const char*> files[] = {{~0u, number}, {20000, range}, {0, nullptr}};
    for (const auto& [file, prompt] : files) {
        h.messages.clear();
        if (file == ~0u) {
            h.view()->IntervalEdit()->setText("");
            emit h.view()->IntervalEdit()->editingFinished();
        } else {
            WriteList(h.Path("f.ipl"), file, {});
            h.doc()->OpenDocumentFile(QString::fromStdString(h.Path("f.ipl").string()));
        }
        Settle();
        EXPECT_EQ(h.view()->IntervalEdit()->text(), QString::number(file == ~0u ? 1 : file));
        EXPECT_EQ(h.view()->Session().IntervalInForce(), 1u);
        EXPECT_EQ(h.messages, prompt ? std::vector<QString>{prompt} : std::vector<QString>{});
    }
}

TEST(CCorvelView, ListChangeHandlersKeepArrayRowsAndTableInStep) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    CCorvelView* v = h.view();
    const uint32_t a = AddressFromOctets(10, 0, 0, 1), b = AddressFromOctets(10, 0, 0, 12),
                   c = AddressFromOctets(192, 0, 2, 7);
    const std::string opened = h.Path("opened.ipl").string();
    WriteList(opened, 5, {{c, "Beta.example"}, {a, ""}, {c, "Beta.example"}});  // one address twice
    const auto add = [&](uint32_t host, const char* name) {
        return [=] { return v->Session().AddHost(host, name, *name != '\0'); };
    };
    const auto open = [&] { return h.doc()->OpenDocumentFile(QString::fromStdString(opened)); };
    const char* const added = "added to list.\n";
    const char* const listed = "add to list.\n";
    // Rows joined by "|"; the event logged for the newest host.
    const struct {
        const char* what;
        std::function<bool()> act;
        bool accepted;
        const char* rows;
        const char* event;
        uint32_t newest;
    } steps[] = {
        {"add", add(b, ""), true, "10.0.0.12", added, b},
        {"add named", add(c, "alpha.example"), true, "10.0.0.12|alpha.example", added, c},
        {"add 10.0.0.1", add(a, ""), true, "10.0.0.1|10.0.0.12|alpha.example", added, a},
        {"add again", add(a, "x"), false, "10.0.0.1|10.0.0.12|alpha.example", nullptr, 0},
        {"remove", [&] { return v->Session().RemoveHost(b); }, true, "10.0.0.1|alpha.example",
         nullptr, 0},
        {"remove unknown", [&] { return v->Session().RemoveHost(b); }, false,
         "10.0.0.1|alpha.example", nullptr, 0},
        {"open a file", open, true, "10.0.0.1|Beta.example", listed, c},
        {"new list", [&] { return h.doc()->OnNewDocument(); }, true, "", nullptr, 0},
        {"an add overtaken by a file that lists it", [&] { return open() && add(a, "")(); }, true,
         "10.0.0.1|Beta.example", listed, a},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.act(), s.accepted);
        Settle();
        std::string rows;
        for (const std::string& text : h.RowTexts())
            rows.append(rows.empty() ? "" : "|").append(text);
        EXPECT_EQ(rows, s.rows);
        ExpectInStep(v);
        for (int r = 0; r < h.RowCount(); ++r) EXPECT_EQ(v->Rows()->Text(r, 2), "*");
        if (!s.event) continue;
        const auto& history = v->Session().Hosts().FindHost(s.newest)->m_history;
        ASSERT_EQ(history.size(), 2u);
        EXPECT_EQ(history[0].size(), 25u);
        EXPECT_EQ(history[1], s.event);
    }
    EXPECT_EQ(v->Session().IntervalInForce(), 5u)
        << "the file's interval came in with it; New keeps it";
    EXPECT_TRUE(h.messages.empty());
}

TEST(CCorvelView, RepliesReachTheRowOfTheirOwnHostOncePerRequest) {
    CAppHarness h;
    // The steps start every round themselves; the view's own timer must not tick in between.
    WriteList(h.DefaultList(), 10000, {});
    ASSERT_TRUE(h.Start());
    CCorvelView* v = h.view();
    const uint32_t one = AddressFromOctets(10, 0, 0, 1), named = AddressFromOctets(192, 0, 2, 1);
    v->Session().AddHost(AddressFromOctets(10, 0, 0, 12), "", false);
    v->Session().AddHost(one, "", false);
    v->Session().AddHost(named, "Alpha.Example", true);
    Settle();
    const auto reply = [&](uint32_t host, const char* text) {
        return [=] { v->Session().OnPingReply(host, text); };
    };
    // Columns "ttl time bytes" of 10.0.0.1 | 10.0.0.12 | Alpha.Example; sent/received of
    // 10.0.0.1. Every answer shows and is logged; only answers to requests sent count.
    const struct {
        const char* what;
        std::function<void()> act;
        const char* rows;
        const char* counts;
    } steps[] = {
        {"reply before any round", reply(one, "ttl=64,time=4,bytes=32"), "64 4 32| * | * ", "0/0"},
        {"a round", [&] { v->OnTimer(); }, "64 4 32| * | * ", "1/0"},
        {"its reply", reply(one, "ttl=64,time=5,bytes=32"), "64 5 32| * | * ", "1/1"},
        {"a second reply to the same request", reply(one, "ttl=64,time=9,bytes=32"),
         "64 9 32| * | * ", "1/1"},
        {"reply for the named host", reply(named, "ttl=50,time=100,bytes=32"),
         "64 9 32| * |50 100 32", "1/1"},
        {"reply for a host not listed", reply(Loopback(1), "ttl=64,time=1,bytes=32"),
         "64 9 32| * |50 100 32", "1/1"},
        {"timeout pass", [&] { v->Session().OnPingTimeout(); }, "64 9 32| timeout |50 100 32",
         "1/1"},
        {"error text", reply(named, "10.9.9.9:host unreachable"), "64 9 32| timeout |  ", "1/1"},
        {"next pass: only the silent time out", [&] { v->Session().OnPingTimeout(); },
         " timeout | timeout |  ", "1/1"},
        {"a round at the sent limit",
         [&] {
             v->Session().Hosts().FindHost(one)->m_nSent = INT32_MAX;
             v->OnTimer();
         },
         " timeout | timeout | timeout ", "2147483647/1"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        Settle();
        std::string shown;
        for (const char* text : {"10.0.0.1", "10.0.0.12", "ALPHA.EXAMPLE"}) {
            if (!shown.empty()) shown += '|';
            shown += h.Cell(text, 1) + " " + h.Cell(text, 2) + " " + h.Cell(text, 3);
        }
        EXPECT_EQ(shown, s.rows);
        const HostRecord* r = v->Session().Hosts().FindHost(one);
        EXPECT_EQ(std::to_string(r->m_nSent) + "/" + std::to_string(r->m_nReceived), s.counts);
    }
    EXPECT_EQ(v->Session().Hosts().FindHost(one)->m_history.size(), 2u * 6)
        << "added, 3 replies, 2 timeouts";
    EXPECT_EQ(v->Session().Hosts().FindHost(Loopback(1)), nullptr);
}

TEST(CCorvelView, EngineMessagesOpenOneBoxPerTextWithoutBlocking) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    SetMessageBoxRecorder(nullptr);  // real boxes, offscreen
    const int before = OpenNonModalBoxCount();
    for (const char* text : {"WSAError 1", "WSAError 1", "select WSAError 9\r\nsecond line"})
        static_cast<SessionObserver*>(h.view())->ErrorText(text);
    Settle();  // returns: the boxes do not block
    EXPECT_EQ(OpenNonModalBoxCount() - before, 2);
    QStringList texts;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            texts << box->text();
            EXPECT_GE(box->width(), 200) << "a title bar shows \"Sondrel\" whole";
            box->button(QMessageBox::Ok)->click();
        }
    }
    texts.sort();
    EXPECT_EQ(texts.join("|"), "WSAError 1|select WSAError 9\nsecond line");
    EXPECT_TRUE(WaitFor([&] { return OpenNonModalBoxCount() == before; }, 2000));
}

TEST(CCorvelView, IdleMovesHistoriesToFilesOfThisRunAloneAndTellsOnceWhenTheyCannotBeWritten) {
    CAppHarness h;
    auto now = std::chrono::steady_clock::time_point{};
    h.historyLimits = {.budget = 1000000, .clock = [&] { return now; }};
    std::ofstream(h.Path("history/10.0.0.1")) << "Sun Dec 06 10:00:00 2026\nan earlier run\n";
    ASSERT_TRUE(h.Start());
    const uint32_t host = AddressFromOctets(10, 0, 0, 1);
    h.view()->Session().AddHost(host, "", false),
        h.view()->Session().AddHost(Loopback(1), "", false);
    ASSERT_TRUE(WaitFor([&] { return h.RowCount() == 2; }, 2000));
    HostRecord* record = h.view()->Session().Hosts().FindHost(host);
    const auto file = h.view()->Session().History().PathOf(host);
    // Nothing asks: the event loop's idle hook does it.
    const auto flushed = [&] {
        while (record->m_history.size() < 102)
            AppendHistoryEvent(record->m_history, TimeStampNow(), "request timeout.");
        return WaitFor([&] { return record->m_history.empty(); }, 2000);
    };
    ASSERT_TRUE(flushed());
    EXPECT_EQ(h.view()->Session().History().Read(host).size(), 51u);
    EXPECT_EQ(h.view()->Session().History().Share(), 500000u) << "the budget shared by two hosts";
    const size_t told = h.messages.size();
    std::filesystem::remove_all(h.Path("history"));
    ASSERT_TRUE(flushed() && flushed());
    ASSERT_EQ(h.messages.size(), told + 1);
    EXPECT_TRUE(h.messages.back().startsWith("History files cannot be written: history folder "));
    EXPECT_TRUE(h.frame()->IdleText()->text().startsWith("History kept in memory: "));
    EXPECT_EQ(h.view()->Session().History().Read(host).size(), 102u);
    now += HistoryFiles::kRetryPeriod;
    ASSERT_TRUE(flushed());
    EXPECT_EQ(PairHistoryLines(ReadHistoryLines(file)).size(), 153u);
    EXPECT_EQ(h.frame()->IdleText()->text(), "Sondrel");
    h.Stop();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(ReadListFile(h.DefaultList()).entries.size(), 2u);
}

}  // namespace
}  // namespace sondrel::test
