// The console's rules and texts over a session without a receiver: the test plays the engine
// with replies and ticks. The whole monitor over loopback is exercised by
// tests/net/console_loopback_test.sh.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "console/ConsoleFront.h"
#include "console/ConsoleOptions.h"
#include "engine/IcmpSocket.h"
#include "input/FakeResolver.h"
#include "session/TaskQueue.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

using test::Ip;

// A FILE* whose new text the test can take.
struct Capture {
    char* buffer = nullptr;
    size_t size = 0, taken = 0;
    std::FILE* file = ::open_memstream(&buffer, &size);
    ~Capture() {
        std::fclose(file);
        std::free(buffer);
    }
    std::string Take() {
        std::fflush(file);
        std::string fresh(buffer + taken, size - taken);
        taken = size;
        return fresh;
    }
};

class ConsoleFrontTest : public ::testing::Test {
protected:
    void Make(bool events, bool tables = true, std::shared_ptr<const IcmpSocket> socket = {}) {
        SessionSetup setup;
        setup.socket = std::move(socket);
        setup.post = [this](std::function<void()> task) { tasks.Post(std::move(task)); };
        front.emplace(std::move(setup), ConsolePrinting{events, tables, out.file, err.file});
    }
    void Add(std::initializer_list<std::string> arguments) {
        for (const std::string& a : arguments) front->AddArgument(a, resolver, urls.Function());
    }
    // A tick of the timer, or with last the one after the last round, and what it posted.
    void Tick(bool last = false) {
        last ? front->Session().PostTimeoutPass() : front->Session().OnTimer();
        tasks.RunPending();
    }
    void Reply(const char* address, const char* text) {
        front->Session().OnPingReply(Ip(address), text);
    }
    Capture out, err;
    TaskQueue tasks;
    test::FakeResolver resolver{{"one.example", Ip("10.0.0.1")}};
    test::FakeUrls urls;
    std::optional<ConsoleFront> front;  // last: its session posts to the members above
};

TEST_F(ConsoleFrontTest, EventsComeAsRecordedAndEachRoundsTableAfterItsJudgement) {
    Make(true);
    Add({"10.0.0.1", "10.0.0.2"});
    Tick();  // both are new: nobody is reported
    Reply("10.0.0.1", "ttl=64,time=15,bytes=32");
    Tick();
    EXPECT_FALSE(front->LastRoundJudged());
    Tick(true);  // the last round is judged without a table
    EXPECT_TRUE(front->LastRoundJudged());
    const std::regex stamp(
        "[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}");
    EXPECT_EQ(std::regex_replace(out.Take(), stamp, "STAMP"),
              "10.0.0.1\tSTAMP\tadded to list.\n10.0.0.2\tSTAMP\tadded to list.\n"
              "10.0.0.1\t\t*\t\n10.0.0.2\t\t*\t\n\n"
              "10.0.0.1\tSTAMP\tttl=64,time=15,bytes=32\n10.0.0.2\tSTAMP\trequest timeout.\n"
              "10.0.0.1\t64\t15\t32\n10.0.0.2\t\ttimeout\t\n\n"
              "10.0.0.1\tSTAMP\trequest timeout.\n10.0.0.2\tSTAMP\trequest timeout.\n");
}

TEST_F(ConsoleFrontTest, StatisticsUseTheDetailsWindowTexts) {
    Make(false, false);
    Add({"10.0.0.1", "10.0.0.3"});
    for (const char* reply :
         {"ttl=64,time=10,bytes=32", "ttl=64,time=20,bytes=32", "ttl=64,time=31,bytes=32", ""}) {
        Tick();
        if (*reply) Reply("10.0.0.1", reply);
    }
    front->PrintStatistics();
    EXPECT_EQ(out.Take(),
              "10.0.0.1\t4\t3\t1 (25% loss)\t10 ms\t31 ms\t20 ms\t48\n"
              "10.0.0.3\t4\t0\t4 (100% loss)\t-1 ms\t-1 ms\t0 ms\t0\n");
}

// Nobody reads the socket: the test sends a round itself into a buffer far too small.
TEST_F(ConsoleFrontTest, RepliesOurBufferDroppedAreToldOnceAndApart) {
    auto socket = IcmpSocket::OpenRaw();
    if (!socket) GTEST_SKIP() << "no raw ICMP socket here (needs root or cap_net_raw)";
    Make(false, false, socket);
    std::vector<uint32_t> hosts(200);
    std::vector<EchoRequest> requests(hosts.size());
    for (uint32_t i = 0; i < hosts.size(); ++i) {
        hosts[i] = htonl(0x7F040001 + i);
        front->Session().AddHost(hosts[i], "", false);
        requests[i].Build(socket->identifier(), 0, hosts[i]);
    }
    const int tiny = 2048;
    ::setsockopt(socket->fd(), SOL_SOCKET, SO_RCVBUF, &tiny, sizeof tiny);
    int error = 0;
    ASSERT_EQ(socket->SendBatch(requests, hosts, &error), hosts.size());
    Tick(true);
    const uint64_t lost = front->Session().RepliesLostTotal();
    EXPECT_GT(lost, 0u);
    EXPECT_EQ(err.Take(), std::to_string(lost) + " replies lost: receive buffer full\n");
    Tick();  // the session's own round, into the buffer it grows for the list
    EXPECT_GE(socket->EnsureReceiveBuffer(0), hosts.size() * 1024);
    Tick(true);
    EXPECT_EQ(err.Take(), "");
}

TEST_F(ConsoleFrontTest, ListFileNamesAreNeverTypedHosts) {
    test::TempDir dir;
    // 10.0.0.5 every 7 s, by a name long enough that reading the file twice would show.
    const std::string head("\x07\0\0\0\x01\0\0\0\x0a\0\0\x05\x01\0\0\0\xff\xff\xff\xe0\x93\x04\0",
                           23);
    std::ofstream(dir / "list.ipl", std::ios::binary) << head << std::string(300000, 'n');
    ASSERT_EQ(::mkfifo((dir / "fifo.ipl").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero.Ipl");
    Make(false);
    // argument (a name in dir when it ends in .ipl), interval or refusal, message
    const std::tuple<std::string, std::string, std::string> steps[] = {
        {"10.0.0.1", "", ""},
        {"one.example", "", "This address has been added as below:\n10.0.0.1\nIgnored.\n"},
        {"http://dl.example/download?url=http://10.0.0.4/", "",
         "We will add the download url instead.\n"},
        {"list.ipl", "7", ""},
        {"missing.ipl", ": no such file", ""},
        {"fifo.ipl", ": not a regular file", ""},
        {"zero.Ipl", ": not a regular file", ""},
    };
    for (const auto& [name, result, message] : steps) {
        const bool file = name.ends_with("pl") || name.ends_with("PL");
        const std::string argument = file ? (dir / name).string() : name;
        const std::optional<uint64_t> before = test::BytesReadSoFar();
        const ConsoleFront::ArgumentResult r =
            front->AddArgument(argument, resolver, urls.Function());
        EXPECT_LT(before ? *test::BytesReadSoFar() - *before : 0, 450000u) << "read once";
        const std::string got = r.interval ? std::to_string(*r.interval) : r.error;
        EXPECT_EQ(got, result.starts_with(":") ? argument + result : result);
        EXPECT_EQ(err.Take(), message) << argument;
    }
    EXPECT_EQ(front->Session().Addresses(),
              (std::vector<uint32_t>{Ip("10.0.0.1"), Ip("10.0.0.4"), Ip("10.0.0.5")}));
}

// The parsed options in one line: rounds, interval, q(uiet), e(vents), store/raw days/minute
// days, then the arguments; or the refusal.
std::string Parsed(std::vector<std::string> args) {
    ConsoleArgsResult r = ParseConsoleArgs(args);
    if (!r.options) return r.error;
    const ConsoleOptions& o = *r.options;
    std::string text = (o.rounds ? std::to_string(*o.rounds) : "-") + " " +
                       (o.interval ? std::to_string(*o.interval) : "-") + (o.quiet ? " q" : "") +
                       (o.events ? " e " : " ") + o.store + "/" + std::to_string(o.keepRawDays) +
                       "/" + std::to_string(o.keepMinuteDays);
    for (const std::string& a : o.arguments) text += " [" + a + "]";
    return text;
}

TEST(ConsoleOptionsTest, ParsesEveryOptionAndRefusesBadValues) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--rounds", "3", "--interval", "1", "--quiet", "--events", "a", "--store", "db",
          "--keep-raw", "1", "b.ipl"},
         "3 1 q e db/1/400 [a] [b.ipl]"},
        {{"a", "--interval", "10000", "--keep-minutes", "2147483647", "--store", "x", "b"},
         "- 10000 x/7/2147483647 [a] [b]"},
        {{"--", "--quiet"}, "- - /7/400 [--quiet]"},
        {{"--quiet"}, "no hosts given"},
        {{"--interval", "1.5", "a"}, "--interval takes a whole number from 1 to 10000: 1.5"},
        {{"--keep-minutes", "0", "a"}, "--keep-minutes takes a whole number from 1: 0"},
        {{"--keep-raw", "2147483648", "a"}, "--keep-raw takes a whole number from 1: 2147483648"},
        {{"a", "--keep-raw"}, "--keep-raw needs a number"},
        {{"a", "--store"}, "--store needs a file name"},
        {{"--verbose", "a"}, "unknown option --verbose"},
    };
    for (const auto& [args, parsed] : cases)
        EXPECT_EQ(Parsed(args), parsed) << ::testing::PrintToString(args);
    EXPECT_EQ(MessageForTerminal("a\r\nb\r\nIgnored."), "a\nb\nIgnored.");
    EXPECT_EQ(MessageForTerminal("one\rtwo\n"), "one\ntwo\n");
}

}  // namespace
}  // namespace sondrel
