#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/ConsoleOptions.h"
#include "app/ConsoleSession.h"
#include "model/ListFile.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

// Names the real name service could not be made to answer on demand.
class FakeResolver : public Resolver {
public:
    std::map<std::string, uint32_t> names;
    std::optional<uint32_t> LookupName(const std::string& name) override {
        auto it = names.find(name);
        if (it == names.end()) return std::nullopt;
        return it->second;
    }
    std::optional<std::string> LookupAddress(uint32_t) override { return std::nullopt; }
};

// A FILE* whose text the test can read back.
class Capture {
public:
    Capture() : file_(::open_memstream(&buffer_, &size_)) {}
    ~Capture() {
        std::fclose(file_);
        std::free(buffer_);
    }
    std::FILE* file() { return file_; }
    std::string Take() {
        std::fflush(file_);
        std::string text(buffer_, size_);
        std::string fresh = text.substr(taken_);
        taken_ = text.size();
        return fresh;
    }

private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    size_t taken_ = 0;
    std::FILE* file_;
};

class ConsoleSessionTest : public ::testing::Test {
protected:
    ConsoleSession Make(bool events) {
        return ConsoleSession(events, out.file(), err.file(), resolver, [](const std::string& url) {
            return url.substr(7);  // http://host -> host: no web server involved
        });
    }
    Capture out, err;
    FakeResolver resolver;
};

uint32_t Ip(const char* text) { return inet_addr(text); }

// Replaces every time stamp with "STAMP" so event lines can be compared whole.
std::string Unstamped(const std::string& text) {
    static const std::regex stamp("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}");
    return std::regex_replace(text, stamp, "STAMP");
}

TEST_F(ConsoleSessionTest, RowsComeInRowOrderWithTheirColumnTexts) {
    resolver.names = {{"beta.example", Ip("10.0.0.9")}, {"Alpha.example", Ip("10.0.0.8")},
                      {"alpha.example", Ip("10.0.0.7")}};
    ConsoleSession s = Make(false);
    for (const char* arg : {"beta.example", "10.0.0.2", "alpha.example", "Alpha.example", "10.0.0.10"})
        s.AddArgument(arg);
    s.BeginRound(true);
    // Letter case is ignored, ties are broken by the bytes ("A" before "a").
    EXPECT_EQ(out.Take(),
              "10.0.0.10\t\t*\t\n"
              "10.0.0.2\t\t*\t\n"
              "Alpha.example\t\t*\t\n"
              "alpha.example\t\t*\t\n"
              "beta.example\t\t*\t\n\n");
    s.ApplyReply(Ip("10.0.0.2"), "ttl=64,time=15,bytes=32");
    s.ApplyReply(Ip("10.0.0.9"), "198.51.100.1:host unreachable");
    s.ApplyReply(Ip("127.0.0.1"), "ttl=64,time=0,bytes=32");  // the priming reply of an unlisted host
    s.BeginRound(true);
    EXPECT_EQ(out.Take(),
              "10.0.0.10\t\ttimeout\t\n"
              "10.0.0.2\t64\t15\t32\n"
              "Alpha.example\t\ttimeout\t\n"
              "alpha.example\t\ttimeout\t\n"
              "beta.example\t\t\t\n\n");
    EXPECT_EQ(s.RepliesApplied(), 2u);
    EXPECT_EQ(err.Take(), "");
}

TEST_F(ConsoleSessionTest, EventsArePrintedAsTheyAreRecorded) {
    ConsoleSession s = Make(true);
    s.AddArgument("10.0.0.1");
    s.AddArgument("10.0.0.2");
    s.BeginRound(false);  // both are new: nobody is reported
    s.ApplyReply(Ip("10.0.0.1"), "ttl=64,time=15,bytes=32");
    s.BeginRound(false);
    s.TimeoutPassOnly();
    EXPECT_EQ(Unstamped(out.Take()),
              "10.0.0.1\tSTAMP\tadded to list.\n"
              "10.0.0.2\tSTAMP\tadded to list.\n"
              "10.0.0.1\tSTAMP\tttl=64,time=15,bytes=32\n"
              "10.0.0.2\tSTAMP\trequest timeout.\n"
              "10.0.0.1\tSTAMP\trequest timeout.\n"
              "10.0.0.2\tSTAMP\trequest timeout.\n");
}

TEST_F(ConsoleSessionTest, StatisticsUseTheDetailsWindowTexts) {
    ConsoleSession s = Make(false);
    for (const char* arg : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) s.AddArgument(arg);
    s.PrintStatistics();
    EXPECT_EQ(out.Take(),
              "10.0.0.1\t0\t0\t\t-1 ms\t-1 ms\t0 ms\t0\n"
              "10.0.0.2\t0\t0\t\t-1 ms\t-1 ms\t0 ms\t0\n"
              "10.0.0.3\t0\t0\t\t-1 ms\t-1 ms\t0 ms\t0\n");
    const int times[] = {10, 20, 31};
    for (int round = 0; round < 4; ++round) {
        s.BeginRound(false);
        if (round < 3) s.ApplyReply(Ip("10.0.0.1"), "ttl=64,time=" + std::to_string(times[round]) + ",bytes=32");
        s.ApplyReply(Ip("10.0.0.2"), "ttl=64,time=0,bytes=32");
    }
    s.PrintStatistics();
    EXPECT_EQ(out.Take(),
              "10.0.0.1\t4\t3\t1 (25% loss)\t10 ms\t31 ms\t20 ms\t48\n"
              "10.0.0.2\t4\t4\t0 (0% loss)\t0 ms\t0 ms\t0 ms\t960\n"
              "10.0.0.3\t4\t0\t4 (100% loss)\t-1 ms\t-1 ms\t0 ms\t0\n");
}

TEST_F(ConsoleSessionTest, ArgumentsFollowTheAddRules) {
    test::TempDir dir;
    HostEntry named;
    named.m_dwAddress = Ip("10.0.0.5");
    named.m_record.m_bNamed = 1;
    named.m_record.m_strName = "five.example";
    HostEntry plain;
    plain.m_dwAddress = Ip("10.0.0.1");
    const std::vector<HostEntry> entries = {named, plain};
    const auto list = dir / "hosts.ipl";
    std::ofstream(list, std::ios::binary) << SerializeEntries(42, entries);
    resolver.names = {{"one.example", Ip("10.0.0.1")}};

    ConsoleSession s = Make(false);
    struct Step {
        std::string argument;
        std::optional<uint32_t> interval;
        std::string stderrText;
    };
    const Step steps[] = {
        {"10.0.0.1", std::nullopt, ""},
        {list.string(), 42, ""},  // 10.0.0.1 is skipped without a word, as an import does
        {"one.example", std::nullopt, "This address has been added as below:\n10.0.0.1\nIgnored.\n"},
        {"no-such-host", std::nullopt, "Invalid address.Ignored.\n"},
        {(dir / "missing.ipl").string(), std::nullopt, "Invalid address.Ignored.\n"},  // not a file: a name
        {"http://10.0.0.7/index.html", std::nullopt, ""},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(s.AddArgument(step.argument), step.interval) << step.argument;
        EXPECT_EQ(err.Take(), step.stderrText) << step.argument;
    }
    EXPECT_EQ(s.Addresses(), (std::vector<uint32_t>{Ip("10.0.0.1"), Ip("10.0.0.5"), Ip("10.0.0.7")}));
    s.PrintTable();
    EXPECT_EQ(out.Take(), "10.0.0.1\t\t*\t\n10.0.0.7\t\t*\t\nfive.example\t\t*\t\n\n");
}

TEST(ConsoleOptionsTest, ParsesEveryOptionAndRefusesBadValues) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        std::optional<uint32_t> rounds = std::nullopt;
        std::optional<uint32_t> interval = std::nullopt;
        bool quiet = false;
        bool events = false;
        std::vector<std::string> arguments = {};
    };
    const Case cases[] = {
        {{"127.0.0.1"}, true, std::nullopt, std::nullopt, false, false, {"127.0.0.1"}},
        {{"--rounds", "3", "--interval", "1", "--quiet", "--events", "a", "b.ipl"}, true, 3, 1, true, true,
         {"a", "b.ipl"}},
        {{"a", "--interval", "10000", "b"}, true, std::nullopt, 10000, false, false, {"a", "b"}},
        {{"--", "--quiet"}, true, std::nullopt, std::nullopt, false, false, {"--quiet"}},
        {{"-"}, true, std::nullopt, std::nullopt, false, false, {"-"}},
        {{}, false},
        {{"--quiet"}, false},
        {{"--interval", "0", "a"}, false},
        {{"--interval", "10001", "a"}, false},
        {{"--interval", "1.5", "a"}, false},
        {{"--interval", "-3", "a"}, false},
        {{"--rounds", "0", "a"}, false},
        {{"--rounds", "99999999999", "a"}, false},
        {{"--rounds"}, false},
        {{"--verbose", "a"}, false},
    };
    for (const Case& c : cases) {
        ConsoleArgsResult r = ParseConsoleArgs(c.args);
        ASSERT_EQ(r.options.has_value(), c.ok) << ::testing::PrintToString(c.args);
        if (!c.ok) {
            EXPECT_FALSE(r.error.empty());
            continue;
        }
        EXPECT_EQ(r.options->rounds, c.rounds);
        EXPECT_EQ(r.options->interval, c.interval);
        EXPECT_EQ(r.options->quiet, c.quiet);
        EXPECT_EQ(r.options->events, c.events);
        EXPECT_EQ(r.options->arguments, c.arguments);
    }
}

TEST(ConsoleOptionsTest, BoxTextsBecomeTerminalLines) {
    EXPECT_EQ(MessageForTerminal("a\r\nb\r\nIgnored."), "a\nb\nIgnored.");
    EXPECT_EQ(MessageForTerminal("one\rtwo\n"), "one\ntwo\n");
    EXPECT_EQ(MessageForTerminal(""), "");
}

}  // namespace
}  // namespace sondrel
