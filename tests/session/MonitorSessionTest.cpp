// The monitor without a front-end: default.ipl in and out, rounds over loopback, timeouts,
// list changes racing a round, error texts, history files, and the task queue that drives it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/IcmpSocket.h"
#include "model/ListFile.h"
#include "platform/Clock.h"
#include "session/MonitorSession.h"
#include "session/TaskQueue.h"
#include "store/Export.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

constexpr int kGuardMs = 30000;  // failure guard only: every wait ends on its event

uint32_t Ip(const char* dotted) { return inet_addr(dotted); }
uint32_t Loopback(uint32_t low24) { return htonl((127u << 24) | low24); }

HostEntry Entry(uint32_t address, const std::string& name = {}) {
    HostEntry entry{address, {}};
    entry.m_record.m_strName = name;
    entry.m_record.m_bNamed = name.empty() ? 0 : 1;
    return entry;
}

// Loopback hosts listed in row order, so that a rebuild appends every row.
std::vector<HostEntry> LoopbackEntries(uint32_t first, uint32_t count) {
    std::vector<HostEntry> entries;
    for (uint32_t i = 0; i < count; ++i) entries.push_back(Entry(Loopback(first + i)));
    std::sort(entries.begin(), entries.end(), [](const HostEntry& a, const HostEntry& b) {
        return CompareRowText(DisplayText(a.m_dwAddress, a.m_record),
                              DisplayText(b.m_dwAddress, b.m_record)) < 0;
    });
    return entries;
}

// Records what a front-end hears, and checks that each row change is announced on the rows as
// they were and confirmed on the rows as they are: a view relies on both to keep its indexes.
struct Recorder : SessionObserver {
    const MonitorSession* session = nullptr;
    size_t rowsBefore = 0;
    int announced = -1;
    int rounds = 0, judged = 0;
    std::vector<std::pair<int, int>> changed;
    std::vector<std::tuple<HostEventKind, uint32_t, std::string>> events;
    std::vector<uint32_t> replaced;
    std::vector<std::string> errors;
    std::vector<std::pair<bool, std::string>> history;

    void Before(int row) {
        rowsBefore = session->Rows().Size();
        announced = row;
    }
    void After(int row, int delta) {
        EXPECT_EQ(row, announced);
        EXPECT_EQ(session->Rows().Size(), rowsBefore + delta);
    }
    void RowAboutToBeInserted(int row) override { Before(row); }
    void RowInserted(int row) override { After(row, 1); }
    void RowAboutToBeRemoved(int row) override { Before(row); }
    void RowRemoved(int row) override { After(row, -1); }
    void RowsChanged(int first, int last) override {
        EXPECT_LE(first, last);
        EXPECT_LT(static_cast<size_t>(last), session->Rows().Size());
        changed.emplace_back(first, last);
    }
    void HostEvent(HostEventKind kind, uint32_t address, const HostRecord&, std::string_view,
                   std::string_view event) override {
        events.emplace_back(kind, address, std::string(event));
    }
    void RoundStarted() override { ++rounds; }
    void RoundJudged() override { ++judged; }
    void ListReplaced(uint32_t interval) override { replaced.push_back(interval); }
    void ErrorText(const std::string& text) override { errors.push_back(text); }
    void HistoryStateChanged(bool failing, const std::string& why) override {
        history.emplace_back(failing, why);
    }
    std::vector<uint32_t> Of(HostEventKind kind) const {
        std::vector<uint32_t> hosts;
        for (const auto& [k, address, text] : events)
            if (k == kind) hosts.push_back(address);
        return hosts;
    }
};

class MonitorSessionTest : public ::testing::Test {
protected:
    void Make(const std::function<void(SessionSetup&)>& adjust = {}) {
        session.reset();
        SessionSetup setup;
        if (adjust) adjust(setup);
        setup.socket = socket;
        setup.post = [this](std::function<void()> task) { queue.Post(std::move(task)); };
        setup.armTimer = [this](uint32_t seconds) { armed.push_back(seconds); };
        session = std::make_unique<MonitorSession>(std::move(setup), rec);
        rec.session = session.get();
    }
    bool OpenSocket() {
        socket = IcmpSocket::Open(&why);
        return socket != nullptr;
    }
    void Drain() {
        while (queue.RunPending() > 0) continue;
    }
    bool RunUntil(const std::function<bool()>& done) { return queue.RunUntil(done, kGuardMs); }
    bool AllReceived(int32_t count) {
        for (auto [address, record] : session->Hosts())
            if (record.m_nReceived < count) return false;
        return true;
    }
    std::vector<std::string> RowTexts() const {
        std::vector<std::string> texts;
        for (size_t i = 0; i < session->Rows().Size(); ++i)
            texts.push_back(session->Rows().At(i).text);
        return texts;
    }
    // The array, the rows and the table hold these hosts, each once.
    void ExpectListIs(const std::vector<uint32_t>& hosts) {
        const std::multiset<uint32_t> want(hosts.begin(), hosts.end());
        std::multiset<uint32_t> rows;
        for (size_t i = 0; i < session->Rows().Size(); ++i)
            rows.insert(session->Rows().At(i).address);
        const auto& array = session->Addresses();
        const auto table = session->Hosts().Addresses();
        EXPECT_EQ(std::multiset<uint32_t>(array.begin(), array.end()), want);
        EXPECT_EQ(rows, want);
        EXPECT_EQ(std::multiset<uint32_t>(table.begin(), table.end()), want);
    }

    test::TempDir dir;
    TaskQueue queue;
    Recorder rec;
    std::vector<uint32_t> armed;
    std::shared_ptr<const IcmpSocket> socket;
    std::string why;
    std::unique_ptr<MonitorSession> session;  // last: goes first, while the rest still lives
};

TEST_F(MonitorSessionTest, DefaultListIsLoadedAtStartAndSavedBack) {
    const std::vector<HostEntry> three{Entry(Ip("10.0.0.2")), Entry(Ip("10.0.0.9"), "beta"),
                                       Entry(Ip("10.0.0.8"), "Alpha")};
    const std::string good = SerializeEntries(7, three);
    const std::string refused =
        ": not a regular file\nIt is left alone: the list is not saved "
        "there at exit.";
    const std::string cut = good.substr(0, good.size() - 3);
    struct Case {
        const char* name;
        const std::string* bytes;  // null: no file, or a folder when the list is refused
        std::vector<std::string> rows;
        uint32_t interval;
        std::string errorEnd;  // empty: no error text
    } cases[] = {
        {"missing", nullptr, {}, kDefaultInterval, ""},
        {"good", &good, {"10.0.0.2", "Alpha", "beta"}, 7, ""},
        {"truncated", &cut, {"10.0.0.2", "beta"}, 7, "\n2 host(s) were kept."},
        {"folder", nullptr, {}, kDefaultInterval, refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / (std::string(c.name) + ".ipl");
        if (c.bytes) std::ofstream(path, std::ios::binary) << *c.bytes;
        if (c.errorEnd == refused) std::filesystem::create_directory(path);
        rec = {};
        armed.clear();
        Make([&](SessionSetup& s) { s.defaultList = path; });
        session->Start();
        Drain();
        EXPECT_EQ(RowTexts(), c.rows);
        EXPECT_EQ(armed, std::vector<uint32_t>{c.interval});
        if (c.errorEnd.empty()) {
            EXPECT_EQ(rec.errors, std::vector<std::string>{});
        } else {
            ASSERT_EQ(rec.errors.size(), 1u);
            EXPECT_TRUE(rec.errors[0].ends_with(c.errorEnd)) << rec.errors[0];
        }
        EXPECT_TRUE(session->AddHost(Ip("10.0.0.1"), "zed", true));
        EXPECT_FALSE(session->AddHost(Ip("10.0.0.1"), "again", true));
        Drain();
        std::string message;
        EXPECT_TRUE(session->SaveDefaultList(message)) << message;
        if (c.errorEnd == refused) {
            EXPECT_EQ(rec.errors[0], path.string() + refused);
            EXPECT_TRUE(std::filesystem::is_empty(path)) << "the folder was left alone";
            continue;
        }
        const ListReadResult saved = ReadListFile(path);
        ASSERT_TRUE(saved.ok());
        EXPECT_EQ(saved.interval, c.interval);
        std::vector<std::string> texts;
        for (const HostEntry& e : saved.entries)
            texts.push_back(DisplayText(e.m_dwAddress, e.m_record));
        std::sort(texts.begin(), texts.end(),
                  [](auto& a, auto& b) { return CompareRowText(a, b) < 0; });
        EXPECT_EQ(texts, RowTexts());
        EXPECT_EQ(texts.back(), "zed");
    }
}

// Without a socket rounds are counted and judged all the same: nothing answers, so the second
// pass reports every host that got no reply in between.
TEST_F(MonitorSessionTest, RoundsHoldWhileStoppedAndSilentHostsTimeOut) {
    const uint32_t a = Ip("10.0.0.1"), b = Ip("10.0.0.2"), c = Ip("10.0.0.3");
    Make();
    session->Start();
    for (uint32_t host : {a, b, c}) session->AddHost(host, "", false);
    Drain();
    session->Stop();
    session->OnTimer();
    EXPECT_EQ(queue.RunPending(), 0u) << "a stopped session posts no timeout pass";
    EXPECT_EQ(rec.rounds, 0);
    EXPECT_EQ(session->Hosts().FindHost(a)->m_nSent, 0);
    session->Resume();
    session->OnTimer();
    Drain();
    EXPECT_EQ(rec.rounds, 1);
    EXPECT_EQ(rec.judged, 1);
    EXPECT_TRUE(rec.Of(HostEventKind::Timeout).empty()) << "new hosts count as answered";

    session->OnPingReply(b, "ttl=64,time=5,bytes=32");
    session->OnPingReply(Ip("10.0.0.99"), "ttl=64,time=5,bytes=32");  // not listed: ignored
    session->OnTimer();
    Drain();
    EXPECT_EQ(rec.judged, 2);
    EXPECT_EQ(session->RepliesApplied(), 1u);
    EXPECT_EQ(rec.Of(HostEventKind::Timeout), (std::vector<uint32_t>{a, c}));
    EXPECT_EQ(std::get<2>(rec.events.back()), "request timeout.");
    EXPECT_EQ(session->Rows().At(0).results.Texts(), TimeoutColumns());
    EXPECT_EQ(session->Rows().At(1).results.Texts(), (ResultColumns{"64", "5", "32"}));
    EXPECT_EQ(session->Rows().At(2).results.Texts(), TimeoutColumns());
    EXPECT_EQ(rec.changed.back(), std::make_pair(0, 2));
    EXPECT_EQ(session->Hosts().FindHost(b)->m_nReceived, 1);
}

// Rounds over loopback: every row filled, each answer timed to the microsecond (the row shows
// its whole milliseconds), kept in the host's ring and stored, to be read back by an export.
TEST_F(MonitorSessionTest, LoopbackRoundsFillEveryRow) {
    if (!OpenSocket()) GTEST_SKIP() << why;
    const auto db = dir / "samples.sqlite";
    Make([&](SessionSetup& s) {
        s.discardPrimingReply = true;
        s.store.emplace();
        s.store->file = db;
        s.ringBudget = 1 << 20;
    });
    session->Start();
    ASSERT_TRUE(session->WaitForPrimingReply(kGuardMs));
    // More than a sender sends one by one: it then reads the replies itself between batches,
    // and each must still be applied exactly once.
    constexpr uint32_t kHosts = 300;
    for (uint32_t i = 1; i <= kHosts; ++i) session->AddHost(Loopback(i), "", false);
    Drain();
    for (int32_t round = 1; round <= 2; ++round) {
        session->OnTimer();
        ASSERT_TRUE(RunUntil([&] { return AllReceived(round); })) << "round " << round;
    }
    EXPECT_EQ(session->RepliesApplied(), 2 * kHosts) << "the priming reply was thrown away";
    for (size_t i = 0; i < session->Rows().Size(); ++i) {
        const ListRow& row = session->Rows().At(i);
        const ResultColumns shown = row.results.Texts();
        EXPECT_EQ(shown.ttl + " " + shown.bytes, "64 32");
        const int32_t us = session->Hosts().FindHost(row.address)->m_nLastRttUs;
        ASSERT_GE(us, 0) << row.text.View();
        EXPECT_EQ(shown.time, std::to_string(us / 1000));
        const auto ring = session->Rings().Of(row.address);
        ASSERT_EQ(ring.size(), 2u);
        EXPECT_EQ(ring.back().rttUs, us);
    }
    EXPECT_TRUE(rec.Of(HostEventKind::Timeout).empty());
    EXPECT_EQ(rec.Of(HostEventKind::Reply).size(), 2 * kHosts);
    EXPECT_EQ(rec.errors, std::vector<std::string>{});

    session->Shutdown();  // stores what the last round answered
    std::string csv, error;
    ExportRequest request;
    request.db = db;
    request.untilMs = WallClockNs() / 1'000'000 + 60'000;
    request.sinceMs = request.untilMs - 3'600'000;
    ASSERT_TRUE(WriteExport(
        request, [&](std::string_view part) { csv += part; }, error))
        << error;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 2 * kHosts) << csv;
    EXPECT_TRUE(csv.starts_with("time,host,rtt_ms,lost,icmp_type,icmp_code,ttl\n")) << csv;
    EXPECT_EQ(csv.find(",1,"), std::string::npos) << "nothing lost: " << csv;
}

TEST_F(MonitorSessionTest, ListChangesDuringARoundLeaveEachHostListedOnce) {
    if (!OpenSocket()) GTEST_SKIP() << why;
    Make();
    session->Start();
    const auto before = LoopbackEntries(0x020000, 2000);
    session->PostListModified(before, 3);
    Drain();
    session->OnTimer();
    // Half the old hosts stay, a thousand come, one of them also added on its own; then one
    // host of each list leaves.
    std::vector<HostEntry> after(before.begin(), before.begin() + 500);
    const auto fresh = LoopbackEntries(0x030000, 1000);
    after.insert(after.end(), fresh.begin(), fresh.end());
    session->PostListModified(after, 5);
    EXPECT_TRUE(session->AddHost(fresh[0].m_dwAddress, "", false));
    EXPECT_TRUE(session->RemoveHost(after[0].m_dwAddress));
    EXPECT_TRUE(session->RemoveHost(before[1500].m_dwAddress));
    // All of these wait in the inbox behind the round's timeout pass and are handled together.
    ASSERT_TRUE(RunUntil([&] { return rec.replaced.size() == 2; }));

    std::vector<uint32_t> want;
    for (size_t i = 1; i < after.size(); ++i) want.push_back(after[i].m_dwAddress);
    ExpectListIs(want);
    EXPECT_EQ(rec.replaced, (std::vector<uint32_t>{3, 5}));
    session->OnTimer();
    EXPECT_TRUE(RunUntil([&] { return AllReceived(1); })) << "the next round reaches the new list";
    EXPECT_EQ(rec.errors, std::vector<std::string>{});
}

TEST_F(MonitorSessionTest, StopDuringASendEndsAndLateRequestsFindNoSession) {
    if (!OpenSocket()) GTEST_SKIP() << why;
    Make();
    session->Start();
    session->PostListModified(LoopbackEntries(0x010000, 20000), 3);
    Drain();
    session->OnTimer();
    session->Stop();
    session->Shutdown();  // joins the sender and the receiver
    EXPECT_TRUE(session->IsShutDown());
    session.reset();
    queue.RunPending();  // replies posted before the end ask a session that is gone
}

TEST_F(MonitorSessionTest, EngineErrorReachesTheObserverOnceEvenAtShutdown) {
    if (!OpenSocket()) GTEST_SKIP() << why;
    Make();
    session->AddHost(Ip("127.255.255.255"), "", false);  // loopback's broadcast: EACCES
    Drain();
    session->OnTimer();
    ASSERT_TRUE(RunUntil([&] { return rec.judged == 1; }));
    // Usually the text comes after the pass: left in the inbox, it is told at shutdown.
    if (rec.errors.empty()) {
        pollfd p{queue.WakeFd(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, kGuardMs), 1);
    }
    session->Shutdown();
    EXPECT_EQ(rec.errors, std::vector<std::string>{"sendto() WSAError " + std::to_string(EACCES)});
}

TEST_F(MonitorSessionTest, HistoryFilesFollowTheHostsOrTellWhyNot) {
    const uint32_t a = Ip("10.0.0.1"), b = Ip("10.0.0.2");
    Make([&](SessionSetup& s) {
        s.keepHistory = true;
        s.historyDir = dir.path();
    });
    session->Start();
    session->AddHost(a, "", false);
    session->AddHost(b, "", false);
    Drain();
    for (int i = 0; i < 60; ++i) {  // enough lines for a flush pass
        session->OnPingReply(a, "10.0.0.254:host unreachable");
        session->OnPingReply(b, "10.0.0.254:host unreachable");
    }
    while (session->IdleFlushStep()) continue;
    const auto& files = session->History();
    EXPECT_TRUE(std::filesystem::exists(files.PathOf(a)));
    session->RemoveHost(a);
    Drain();
    EXPECT_FALSE(std::filesystem::exists(files.PathOf(a)));
    EXPECT_TRUE(std::filesystem::exists(files.PathOf(b)));
    session->Shutdown();
    EXPECT_FALSE(std::filesystem::exists(files.PathOf(b)));
    EXPECT_EQ(rec.history, (std::vector<std::pair<bool, std::string>>{}));

    rec = {};
    Make([&](SessionSetup& s) {
        s.keepHistory = true;
        s.historyDir = dir / "none";
        s.historyDirError = "no such folder";
    });
    session->Start();
    session->AddHost(a, "", false);
    Drain();
    while (session->IdleFlushStep()) continue;
    EXPECT_EQ(rec.history, (std::vector<std::pair<bool, std::string>>{{true, "no such folder"}}));
    ASSERT_EQ(rec.errors.size(), 1u) << "told once";
    EXPECT_TRUE(rec.errors[0].starts_with("History files cannot be written: no such folder\n"));
}

// A window that never goes idle still writes its hosts' events out: each round flushes what
// a round adds, so the lines held per host stay bounded however many rounds pass.
TEST_F(MonitorSessionTest, RoundsAloneKeepTheHeldHistoryBounded) {
    Make([&](SessionSetup& s) {
        s.keepHistory = true;
        s.historyDir = dir.path();
    });
    session->Start();
    std::vector<uint32_t> hosts;
    for (uint32_t i = 1; i <= 400; ++i) hosts.push_back(Ip("10.1.0.0") + htonl(i));
    session->OnListAddedMany(hosts);
    size_t held = 0;
    for (int round = 0; round < 200; ++round) {  // silent hosts: one timeout event a round
        session->OnTimer();
        Drain();
        for (auto [address, record] : session->Hosts())
            held = std::max(held, record.m_history.size());
    }
    EXPECT_LE(held, 240u) << "two lines a round for 200 rounds would be 400";
    EXPECT_TRUE(std::filesystem::exists(session->History().PathOf(hosts.back())));
}

TEST(TaskQueueTest, WakesForOtherThreadsAndRunsTasksPostedByTasksLater) {
    TaskQueue queue;
    bool ran = false;
    std::thread poster([&] { queue.Post([&] { ran = true; }); });
    EXPECT_TRUE(queue.RunUntil([&] { return ran; }, kGuardMs));
    poster.join();

    std::vector<int> order;
    queue.Post([&] {
        order.push_back(1);
        queue.Post([&] { order.push_back(2); });
    });
    EXPECT_EQ(queue.RunPending(), 1u);
    EXPECT_EQ(order, std::vector<int>{1});
    pollfd p{queue.WakeFd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 1) << "the later task keeps the queue readable";
    EXPECT_EQ(queue.RunPending(), 1u);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(::poll(&p, 1, 0), 0);
    EXPECT_FALSE(queue.RunUntil([] { return false; }, 10));
}

}  // namespace
}  // namespace sondrel
