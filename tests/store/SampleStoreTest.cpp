#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <tuple>
#include <variant>

#include "store/Export.h"
#include "store/SampleStore.h"
#include "store/Sqlite.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr int64_t kT0 = 1'796'655'840'000;  // 2026-12-07T15:04:00Z
constexpr int64_t kDay = 86'400'000;

// A writer on a file in a fresh folder, on a clock the test moves, keeping its messages.
struct Store {
    explicit Store(fs::path f, int64_t now = kT0) : file(std::move(f)), clock(now) {}
    fs::path file;
    std::atomic<int64_t> clock;
    std::mutex lock;
    std::vector<std::string> messages;

    StoreOptions Options() {
        StoreOptions o;
        o.file = file;
        o.nowMs = [this] { return clock.load(); };
        o.onMessage = [this](std::string_view line) {
            std::lock_guard guard(lock);
            messages.emplace_back(line);
        };
        return o;
    }
    std::string Messages() {
        std::lock_guard guard(lock);
        std::string all;
        for (const std::string& m : messages) all += m + "\n";
        return all;
    }
    // Over the widest range there is: the export's cost follows the rows, not the range.
    std::string Export(std::vector<std::string_view> args) {
        auto request = std::get<ExportRequest>(ParseExportArgs(args, kT0));
        request.db = file;
        std::tie(request.sinceMs, request.untilMs) = std::pair(INT64_MIN, INT64_MAX);
        std::string text, error;
        if (!WriteExport(
                request, [&](std::string_view s) { text += s; }, error))
            return error;
        return text;
    }
};

HostSample Reply(const char* host, int64_t t, int32_t rtt, uint8_t ttl = 64) {
    return {host, {t, rtt, 0, 0, ttl}};
}
HostSample Lost(const char* host, int64_t t) { return {host, {t}}; }

std::vector<HostSample> Round(const char* host, int64_t t, int hosts = 1) {
    std::vector<HostSample> round;
    for (int i = 0; i < hosts; ++i)
        round.push_back(Reply(hosts == 1 ? host : ("10.0." + std::to_string(i)).c_str(), t, 300));
    return round;
}

size_t Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST(SampleStoreTest, RoundsExportedRawAndByMinute) {
    TempDir dir;
    Store store(dir / "samples.sqlite");
    SampleWriter writer(store.Options());
    const std::vector<std::vector<HostSample>> rounds = {
        // Two rounds that start in the same millisecond share a row.
        {Lost("127.0.0.2", kT0 + 5123)},
        {Reply("127.0.0.1", kT0 + 5123, 52)},
        {Reply("127.0.0.1", kT0 + 15000, 100), Lost("127.0.0.2", kT0 + 15001)},
        {Reply("127.0.0.1", kT0 + 25000, 1500), {"127.0.0.2", {kT0 + 25000, 2000, 3, 1, 63}}},
        {Reply("127.0.0.1", kT0 + 35000, 201, 1), Lost("127.0.0.2", kT0 + 35000)},
        // Starts the next minute, so the first one is complete.
        {Reply("127.0.0.1", kT0 + 65000, 40'000'000, 255)},
        // Late for a minute already written: merged into it once the next round rolls up.
        {Lost("127.0.0.1", kT0 + 45000)},
        {Lost("127.0.0.1", kT0 + 66000)},
    };
    for (const auto& r : rounds) EXPECT_TRUE(writer.Submit(r));
    writer.Flush();

    EXPECT_EQ(store.Export({}),
              "time,host,rtt_ms,lost,icmp_type,icmp_code,ttl\n"
              "2026-12-07T15:04:05.123Z,127.0.0.1,0.052,0,0,0,64\n"
              "2026-12-07T15:04:05.123Z,127.0.0.2,,1,0,0,0\n"
              "2026-12-07T15:04:15.000Z,127.0.0.1,0.100,0,0,0,64\n"
              "2026-12-07T15:04:15.001Z,127.0.0.2,,1,0,0,0\n"
              "2026-12-07T15:04:25.000Z,127.0.0.1,1.500,0,0,0,64\n"
              "2026-12-07T15:04:25.000Z,127.0.0.2,2.000,1,3,1,63\n"
              "2026-12-07T15:04:35.000Z,127.0.0.1,0.201,0,0,0,1\n"
              "2026-12-07T15:04:35.000Z,127.0.0.2,,1,0,0,0\n"
              "2026-12-07T15:04:45.000Z,127.0.0.1,,1,0,0,0\n"
              "2026-12-07T15:05:05.000Z,127.0.0.1,40000.000,0,0,0,255\n"
              "2026-12-07T15:05:06.000Z,127.0.0.1,,1,0,0,0\n");
    // Median of 52, 100, 201, 1500: (100 + 201) / 2 rounded down; the error reply counts lost.
    EXPECT_EQ(store.Export({"--resolution", "minute"}),
              "time,host,sent,lost,min_ms,median_ms,max_ms,mean_ms\n"
              "2026-12-07T15:04:00.000Z,127.0.0.1,5,1,0.052,0.150,1.500,0.463\n"
              "2026-12-07T15:04:00.000Z,127.0.0.2,4,4,,,,\n");
    EXPECT_EQ(
        store.Export({"--resolution", "minute", "--format", "json", "--host", "127.0.0.2"}),
        "[\n{\"time\":\"2026-12-07T15:04:00.000Z\",\"host\":\"127.0.0.2\",\"sent\":4,"
        "\"lost\":4,\"min_ms\":null,\"median_ms\":null,\"max_ms\":null,\"mean_ms\":null}\n]\n");
    EXPECT_EQ(store.Export({"--format", "json", "--host", "nowhere"}), "[]\n");
}

TEST(SampleStoreTest, OldRowsPrunedOnceAMinute) {
    TempDir dir;
    Store store(dir / "samples.sqlite", kT0 - 401 * kDay + 120'000);
    SampleWriter writer(store.Options());
    // Pairs of rounds a minute apart, so each first round's minute gets rolled up.
    for (int64_t start : {kT0 - 401 * kDay, kT0 - 8 * kDay, kT0 - kDay})
        for (int64_t t : {start, start + 61'000}) writer.Submit(Round("127.0.0.1", t));
    writer.Flush();
    EXPECT_EQ(Lines(store.Export({})), 1u + 6);
    EXPECT_EQ(Lines(store.Export({"--resolution", "minute"})), 1u + 5);

    store.clock = kT0;
    writer.Submit(Round("127.0.0.1", kT0));
    writer.Flush();
    // Raw kept 7 days: the day-old pair and the new round; minutes kept 400 days.
    EXPECT_EQ(Lines(store.Export({})), 1u + 3);
    EXPECT_EQ(Lines(store.Export({"--resolution", "minute"})), 1u + 4);
}

void MakeNewerLayout(const fs::path& file) {
    int rc;
    sql::Db db = sql::Open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, rc);
    ASSERT_EQ(sql::Exec(db.get(), "CREATE TABLE future(x); PRAGMA user_version=99"), SQLITE_OK);
}

TEST(SampleStoreTest, DamagedFileMovedAsideAndNewOneStarted) {
    const struct {
        const char* what;
        void (*make)(const fs::path&);
    } cases[] = {
        {"not a sample database",
         [](const fs::path& f) { std::ofstream(f) << std::string(5000, 'x'); }},
        {"made by a newer sondrel (layout 99)", &MakeNewerLayout},
    };
    for (const auto& c : cases) {
        TempDir dir;
        Store store(dir / "samples.sqlite");
        c.make(store.file);
        const uintmax_t size = fs::file_size(store.file);
        {
            SampleWriter writer(store.Options());
            writer.Submit(Round("127.0.0.1", kT0));
        }
        EXPECT_NE(store.Messages().find(std::string("is ") + c.what + "; moved to"),
                  std::string::npos)
            << store.Messages();
        EXPECT_EQ(Lines(store.Messages()), 1u);
        std::vector<fs::path> aside;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().filename().string().starts_with("samples.sqlite.damaged-"))
                aside.push_back(e.path());
        ASSERT_EQ(aside.size(), 1u) << c.what;
        EXPECT_EQ(fs::file_size(aside[0]), size);
        EXPECT_EQ(aside[0].filename().string().size(),
                  std::string("samples.sqlite.damaged-YYYYMMDD-HHMMSS").size());
        EXPECT_EQ(Lines(store.Export({})), 2u) << c.what;
    }
}

// Writes past a small file size limit fail as on a full disk (a folder cannot be made
// read-only for root). Runs in a child: the limit is the whole process's.
// A writer held inside its first round: what waits behind it is bounded by samples as well as
// rounds, and a round is still taken whole when nothing waits.
TEST(SampleStoreTest, QueueBoundedBySamples) {
    TempDir dir;
    Store store(dir / "samples.sqlite");
    StoreOptions options = store.Options();
    options.queueSamples = 3;
    std::mutex lock;
    std::condition_variable changed;
    bool hold = true, held = false;
    options.nowMs = [&] {
        std::unique_lock guard(lock);
        held = true;
        changed.notify_all();
        changed.wait(guard, [&] { return !hold; });
        return kT0;
    };
    {
        SampleWriter writer(options);
        ASSERT_TRUE(writer.Submit(Round("", kT0, 1)));
        {
            std::unique_lock guard(lock);
            ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(30), [&] { return held; }));
        }
        EXPECT_TRUE(writer.Submit(Round("", kT0 + 1000, 5))) << "nothing waits: taken whole";
        EXPECT_FALSE(writer.Submit(Round("", kT0 + 2000, 1))) << "5 + 1 samples would wait";
        EXPECT_EQ(writer.DroppedSamples(), 1u);
        {
            std::lock_guard guard(lock);
            hold = false;
        }
        changed.notify_all();
        writer.Flush();
        EXPECT_TRUE(writer.Submit(Round("", kT0 + 3000, 3))) << "room again once written";
    }
    EXPECT_EQ(Lines(store.Export({"--resolution", "raw"})), 1u + 1 + 5 + 3);
}

TEST(SampleStoreTest, FailingWritesDroppedAndRetriedEachMinute) {
    TempDir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        Store store(dir / "samples.sqlite");
        SampleWriter writer(store.Options());
        writer.Submit(Round("", kT0, 100));
        writer.Flush();
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{256 * 1024, limit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
        int64_t t = kT0;
        for (int i = 0; i < 1000 && writer.DroppedSamples() == 0; ++i) {
            writer.Submit(Round("", t += 1000, 1000));
            writer.Flush();
        }
        if (writer.DroppedSamples() == 0) ::_exit(1);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        writer.Submit(Round("", t += 1000, 1000));  // within the minute: dropped untried
        writer.Flush();
        const uint64_t dropped = writer.DroppedSamples();
        store.clock = kT0 + 61'000;
        writer.Submit(Round("", t += 1000, 1000));
        writer.Flush();
        const std::string said = store.Messages();
        if (Lines(said) != 2 || said.find("cannot write") == std::string::npos ||
            said.find("again") == std::string::npos)
            ::_exit(2);
        ::_exit(dropped % 1000 == 0 && writer.DroppedSamples() == dropped ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A child writes rounds until killed; meanwhile this process is refused the file but reads it.
TEST(SampleStoreTest, KilledWriterLeavesAnIntactFileToOthers) {
    TempDir dir;
    const fs::path file = dir / "samples.sqlite";
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipe[0]);
        Store store(file);
        SampleWriter writer(store.Options());
        for (int64_t t = kT0;; t += 1000) {
            writer.Submit(Round("", t, 200));
            writer.Flush();
            if (::write(pipe[1], "r", 1) != 1) ::_exit(1);
        }
    }
    ::close(pipe[1]);
    constexpr int kRounds = 30;
    int rounds = 0;
    char byte;
    pollfd p{pipe[0], POLLIN, 0};
    while (rounds < kRounds && ::poll(&p, 1, 30'000) == 1 && ::read(pipe[0], &byte, 1) == 1)
        ++rounds;
    ASSERT_EQ(rounds, kRounds);
    {
        Store second(file);
        SampleWriter writer(second.Options());
        EXPECT_FALSE(writer.Storing());
        EXPECT_EQ(Lines(second.Export({"--host", "10.0.0"})) >= 1 + kRounds, true);
        ::kill(child, SIGKILL);
        EXPECT_EQ(Lines(second.Messages()), 1u);
        EXPECT_NE(second.Messages().find("is in use by another sondrel"), std::string::npos);
    }
    ::waitpid(child, nullptr, 0);
    ::close(pipe[0]);
    int rc;
    sql::Db db = sql::Open(file, SQLITE_OPEN_READWRITE, rc);
    EXPECT_EQ(sql::QueryText(db.get(), "PRAGMA integrity_check"), "ok");
    EXPECT_GE(Lines(Store(file).Export({"--host", "10.0.0"})), 1u + kRounds);
}

}  // namespace
}  // namespace sondrel
