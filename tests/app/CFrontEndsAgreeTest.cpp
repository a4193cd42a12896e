// The console and the window play the same script over their sessions (no socket: the test
// plays the engine) and must show the same rows and statistics after every step.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <sstream>

#include "console/ConsoleFront.h"
#include "input/FakeResolver.h"
#include "input/HostEditing.h"
#include "model/ReplyRules.h"
#include "session/TaskQueue.h"
#include "view/CAppHarness.h"

namespace sondrel::test {
namespace {

// What a front-end shows of a host: its row's four columns, then the statistics fields.
using Shown = std::vector<std::string>;

std::string Line(std::initializer_list<std::string_view> fields) {
    std::string line;
    for (std::string_view f : fields) (line += f) += '\t';
    return line;
}

class Front {
public:
    virtual ~Front() = default;
    virtual MonitorSession& Session() = 0;
    // A host typed as the front-end takes it: on the command line, in the add dialog.
    virtual void Add(const std::string& typed) = 0;
    // Runs what the step posted.
    virtual void Settle() = 0;
    virtual Shown Show() = 0;

protected:
    FakeResolver resolver{{"gw.example", Ip("127.0.0.3")}};
    FakeUrls urls;
};

class ConsoleRun final : public Front {
public:
    ConsoleRun() {
        SessionSetup setup;
        setup.post = [this](std::function<void()> task) { tasks_.Post(std::move(task)); };
        front_.emplace(std::move(setup), ConsolePrinting{false, false, out_, stderr});
    }
    ~ConsoleRun() override {
        front_.reset();
        std::fclose(out_);
        std::free(buffer_);
    }
    MonitorSession& Session() override { return front_->Session(); }
    void Add(const std::string& typed) override {
        front_->AddArgument(typed, resolver, urls.Function());
    }
    void Settle() override {
        while (tasks_.RunPending() > 0) {
        }
    }
    // Parses PrintTable's rows, then joins PrintStatistics' lines to them by display text.
    Shown Show() override {
        front_->PrintTable();
        front_->PrintStatistics();
        std::fflush(out_);
        std::istringstream printed(std::string(buffer_ + taken_, size_ - taken_));
        taken_ = size_;
        Shown rows;
        std::string line;
        while (std::getline(printed, line) && !line.empty()) rows.push_back(line + '\t');
        for (size_t i = 0; i < rows.size() && std::getline(printed, line); ++i) {
            const size_t tab = line.find('\t');
            EXPECT_TRUE(rows[i].starts_with(line.substr(0, tab + 1))) << line;
            rows[i] += line.substr(tab + 1) + '\t';
        }
        return rows;
    }

private:
    char* buffer_ = nullptr;
    size_t size_ = 0, taken_ = 0;
    std::FILE* out_ = ::open_memstream(&buffer_, &size_);
    TaskQueue tasks_;
    std::optional<ConsoleFront> front_;  // last: its session posts to the queue above
};

class WindowRun final : public Front {
public:
    bool Start() {
        // Every round is the script's: the window's own timer must not tick in between.
        WriteList(h_.DefaultList(), 10000, {});
        return h_.Start();
    }
    MonitorSession& Session() override { return h_.view()->Session(); }
    // What the add command does once the dialog's text is parsed.
    void Add(const std::string& typed) override {
        const TypedAddress parsed = ParseTypedAddress(typed, resolver, urls.Function());
        for (uint32_t address : AddTypedHost(Session().Hosts(), parsed).addresses)
            Session().PostListAdded(address);
    }
    void Settle() override { test::Settle(); }
    Shown Show() override {
        Shown rows;
        const CHostListModel* model = h_.view()->Rows();
        for (int r = 0; r < model->Count(); ++r) {
            const DetailsFields f =
                DetailsFieldsOnOpen(*Session().Hosts().FindHost(model->Address(r)));
            rows.push_back(Line({model->Text(r, 0), model->Text(r, 1), model->Text(r, 2),
                                 model->Text(r, 3), f.sent, f.received, f.lost.value_or(""),
                                 f.minTime, f.maxTime, f.avgTime, f.speed}));
        }
        return rows;
    }

private:
    CAppHarness h_;
};

// Hosts are typed texts; the test plays the engine's replies and error texts.
const struct Step {
    enum Op { Add, Round, Reply, Pass, Remove } op;
    const char* host = "";
    const char* text = "";
} kScript[] = {
    {Step::Add, "127.0.0.2"},
    {Step::Add, "gw.example"},
    {Step::Add, "127.0.0.4"},
    {Step::Round},
    {Step::Reply, "127.0.0.2", "ttl=64,time=5,bytes=32"},
    {Step::Reply, "127.0.0.3", "ttl=128,time=12,bytes=32"},
    {Step::Reply, "127.0.0.4", "198.51.100.1:host unreachable"},
    {Step::Round},
    {Step::Reply, "127.0.0.2", "ttl=64,time=9,bytes=32"},
    {Step::Reply, "127.0.0.2", "ttl=64,time=1,bytes=32"},  // a second answer to one request
    {Step::Pass},
    {Step::Remove, "127.0.0.3"},
    {Step::Add, "127.0.0.1"},
    {Step::Round},
    {Step::Reply, "127.0.0.1", "ttl=64,time=2,bytes=32"},
    {Step::Round},
};

void Do(Front& front, const Step& step) {
    MonitorSession& session = front.Session();
    if (step.op == Step::Add) front.Add(step.host);
    if (step.op == Step::Round) session.OnTimer();
    if (step.op == Step::Reply) session.OnPingReply(Ip(step.host), step.text);
    if (step.op == Step::Pass) session.PostTimeoutPass();
    if (step.op == Step::Remove) session.RemoveHost(Ip(step.host));
}

std::vector<Shown> Play(Front& front) {
    std::vector<Shown> shown;
    for (const Step& step : kScript) {
        Do(front, step);
        front.Settle();
        shown.push_back(front.Show());
    }
    return shown;
}

TEST(CFrontEnds, ConsoleAndWindowShowTheSameRowsAndStatistics) {
    std::vector<Shown> console, window;
    {  // one session per process at a time: the console's is gone before the window starts
        ConsoleRun run;
        console = Play(run);
    }
    {
        WindowRun run;
        ASSERT_TRUE(run.Start());
        window = Play(run);
    }
    ASSERT_EQ(console.size(), window.size());
    for (size_t i = 0; i < console.size(); ++i)
        EXPECT_EQ(console[i], window[i]) << "after step " << i;
    // Both could agree on nothing at all: the end of the script, as reckoned by hand.
    EXPECT_EQ(window.back(), (Shown{Line({"127.0.0.1", "64", "2", "32", "2", "1", "1 (50% loss)",
                                          "2 ms", "2 ms", "2 ms", "480"}),
                                    Line({"127.0.0.2", "", "timeout", "", "4", "2", "2 (50% loss)",
                                          "5 ms", "9 ms", "7 ms", "137"}),
                                    Line({"127.0.0.4", "", "timeout", "", "4", "0", "4 (100% loss)",
                                          "-1 ms", "-1 ms", "0 ms", "0"})}));
}

}  // namespace
}  // namespace sondrel::test
