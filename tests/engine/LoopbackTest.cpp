// Rounds of the real engine over loopback: every 127.x.y.z answers, with TTL 64.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine/EchoRequest.h"
#include "engine/IcmpSocket.h"
#include "engine/PingThreads.h"
#include "engine/ReplyText.h"
#include "platform/NamedEvent.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;
using Mode = NamedEvent::ResetMode;

uint32_t Loopback(uint32_t n) { return htonl((127u << 24) | n); }

std::vector<uint32_t> LoopbackHosts(uint32_t first, uint32_t count) {
    std::vector<uint32_t> hosts;
    for (uint32_t i = 0; i < count; ++i) hosts.push_back(Loopback(first + i));
    return hosts;
}

// Everything the receiver hands over, for the test thread to wait on.
class Collected {
public:
    void Add(uint32_t host, std::string text) {
        std::lock_guard guard(lock_);
        replies_[host].push_back(std::move(text));
        ++total_;
        changed_.notify_all();
    }
    void AddError(std::string text) {
        std::lock_guard guard(lock_);
        errors_.push_back(std::move(text));
        changed_.notify_all();
    }
    bool WaitForTotal(size_t n, std::chrono::milliseconds limit = 10s) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, limit, [&] { return total_ >= n; });
    }
    bool WaitForHost(uint32_t host, std::chrono::milliseconds limit = 10s) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, limit, [&] { return replies_.count(host) > 0; });
    }
    std::map<uint32_t, std::vector<std::string>> Replies() {
        std::lock_guard guard(lock_);
        return replies_;
    }
    std::vector<std::string> Errors() {
        std::lock_guard guard(lock_);
        return errors_;
    }
    size_t Total() {
        std::lock_guard guard(lock_);
        return total_;
    }
    void Clear() {
        std::lock_guard guard(lock_);
        replies_.clear();
        total_ = 0;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::map<uint32_t, std::vector<std::string>> replies_;
    std::vector<std::string> errors_;
    size_t total_ = 0;
};

// A second raw socket without a filter: it sees every request leaving on loopback, so the
// test can count what the sender really sent.
class RequestSpy {
public:
    RequestSpy() : fd_(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP)) {
        int size = 8 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
    }
    ~RequestSpy() { ::close(fd_); }
    // Requests carrying `id`, per target, read until the socket stays quiet for 200 ms.
    std::map<uint32_t, int> Count(uint16_t id) {
        std::map<uint32_t, int> seen;
        uint8_t buf[1024];
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, 200) == 1) {
            ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
            if (n < 20) continue;
            size_t h = (buf[0] & 0x0F) * 4u;
            if (static_cast<size_t>(n) < h + kEchoRequestSize) continue;
            const uint8_t* icmp = buf + h;
            if (icmp[0] == kIcmpEchoRequest && LoadLe16(icmp + 4) == id) ++seen[LoadRaw32(icmp + 12)];
        }
        return seen;
    }

private:
    int fd_;
};

class LoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::CanOpenRawIcmp()) GTEST_SKIP() << "no raw ICMP socket here (needs root or cap_net_raw)";
        socket_ = IcmpSocket::OpenRaw();
        ASSERT_TRUE(socket_);
        stop_ = NamedEvent::Create(kStopPingEvent, Mode::Manual, false);
        gate_ = NamedEvent::Create(kModifyListEvent, Mode::Automatic, true);
        quit_ = NamedEvent::Create(kQuitProgramEvent, Mode::Manual, false);
    }
    void TearDown() override {
        StopReceiver();
        stop_.Close();
        gate_.Close();
        quit_.Close();
    }
    void StartReceiver() {
        receiver_ = std::thread([this] {
            receiverResult_ = PingReceiverThread(
                socket_, [this](uint32_t host, std::string text) { got_.Add(host, std::move(text)); },
                [this](std::string text) { got_.AddError(std::move(text)); });
        });
        // The priming reply tells that the receiver is up.
        ASSERT_TRUE(got_.WaitForHost(Loopback(1)));
        got_.Clear();
    }
    void StopReceiver() {
        if (!receiver_.joinable()) return;
        quit_.Set();
        receiver_.join();
    }
    int RunSender(const std::vector<uint32_t>& hosts) {
        return PingSenderThread(socket_, &hosts, [this](std::string text) { got_.AddError(std::move(text)); });
    }

    std::shared_ptr<IcmpSocket> socket_;
    NamedEvent stop_, gate_, quit_;
    std::thread receiver_;
    int receiverResult_ = -1;
    Collected got_;
};

TEST_F(LoopbackTest, RoundGetsOneReplyPerHostWithTtl64) {
    StartReceiver();
    RequestSpy spy;
    const auto hosts = LoopbackHosts(1, 50);
    EXPECT_EQ(RunSender(hosts), 0);
    EXPECT_TRUE(gate_.Wait(0)) << "the gate is free after the round";
    ASSERT_TRUE(got_.WaitForTotal(hosts.size()));
    const auto sent = spy.Count(socket_->identifier());
    const std::regex reply("ttl=64,time=[0-9]+,bytes=32");
    auto replies = got_.Replies();
    for (uint32_t host : hosts) {
        ASSERT_EQ(replies[host].size(), 1u) << AddressToText(host);
        EXPECT_TRUE(std::regex_match(replies[host][0], reply)) << replies[host][0];
        EXPECT_EQ(sent.count(host) ? sent.at(host) : 0, 1) << "exactly one request per host";
    }
    EXPECT_EQ(replies.size(), hosts.size());
    EXPECT_EQ(sent.size(), hosts.size());
    StopReceiver();
    EXPECT_EQ(receiverResult_, 0);
    EXPECT_TRUE(got_.Errors().empty());
}

TEST_F(LoopbackTest, PrimingReplyArrivesForAnUnlistedLoopback) {
    receiver_ = std::thread([this] {
        receiverResult_ = PingReceiverThread(socket_, [this](uint32_t h, std::string t) { got_.Add(h, std::move(t)); },
                                             nullptr);
    });
    ASSERT_TRUE(got_.WaitForHost(Loopback(1)));
    auto replies = got_.Replies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(std::regex_match(replies[Loopback(1)].at(0), std::regex("ttl=64,time=[0-9]+,bytes=32")));
}

TEST_F(LoopbackTest, EmptyArraySendsNothingAndFreesTheGate) {
    RequestSpy spy;
    const std::vector<uint32_t> none;
    EXPECT_EQ(RunSender(none), 0);
    EXPECT_TRUE(gate_.Wait(0));
    EXPECT_TRUE(spy.Count(socket_->identifier()).empty());
}

TEST_F(LoopbackTest, StopBeforeTheRoundLeavesTheGateAlone) {
    RequestSpy spy;
    const auto hosts = LoopbackHosts(1, 10);
    ASSERT_TRUE(gate_.Wait(0));  // the list is being edited
    std::thread sender([&] { EXPECT_EQ(RunSender(hosts), 0); });
    std::this_thread::sleep_for(50ms);  // let it block at the gate
    stop_.Set();
    sender.join();
    EXPECT_FALSE(gate_.IsSet()) << "a stopped sender never touches a gate it did not take";
    EXPECT_TRUE(spy.Count(socket_->identifier()).empty());
    gate_.Set();
}

TEST_F(LoopbackTest, StopInMidRoundSkipsTheRestAndFreesTheGate) {
    // The first reply stops the round: far fewer than all hosts get a request.
    receiver_ = std::thread([this] {
        receiverResult_ = PingReceiverThread(
            socket_,
            [this](uint32_t h, std::string t) {
                if (h != Loopback(1)) stop_.Set();
                got_.Add(h, std::move(t));
            },
            nullptr);
    });
    ASSERT_TRUE(got_.WaitForHost(Loopback(1)));
    RequestSpy spy;
    const auto hosts = LoopbackHosts(2, 20000);
    EXPECT_EQ(RunSender(hosts), 0);
    EXPECT_TRUE(gate_.Wait(0)) << "the gate came back";
    const auto sent = spy.Count(socket_->identifier());
    EXPECT_GT(sent.size(), 0u);
    EXPECT_LT(sent.size(), hosts.size());
    for (const auto& [host, n] : sent) EXPECT_EQ(n, 1);
}

TEST_F(LoopbackTest, SendersTakeTurnsAtTheGate) {
    StartReceiver();
    const auto hosts = LoopbackHosts(100, 200);
    std::thread a([&] { EXPECT_EQ(RunSender(hosts), 0); });
    std::thread b([&] { EXPECT_EQ(RunSender(hosts), 0); });
    a.join();
    b.join();
    ASSERT_TRUE(got_.WaitForTotal(2 * hosts.size()));
    for (const auto& [host, texts] : got_.Replies()) EXPECT_EQ(texts.size(), 2u);
    EXPECT_TRUE(gate_.Wait(0));
}

TEST_F(LoopbackTest, FailedSendEndsTheRoundWithSendtoAndFreesTheGate) {
    // The broadcast address of loopback is refused by the kernel (EACCES).
    auto hosts = LoopbackHosts(1, 5);
    hosts.push_back(inet_addr("127.255.255.255"));
    RequestSpy spy;
    EXPECT_EQ(RunSender(hosts), 1);
    EXPECT_TRUE(gate_.Wait(0));
    // The round runs from a random start to the refused address and no further: the hosts
    // that got a request are exactly the ones between that start and the end of the array.
    const auto sent = spy.Count(socket_->identifier());
    size_t first = hosts.size() - 1;
    while (first > 0 && sent.count(hosts[first - 1])) --first;
    EXPECT_EQ(sent.size(), hosts.size() - 1 - first) << "a host after the failure was sent";
    for (const auto& [host, n] : sent) EXPECT_EQ(n, 1);
    auto errors = got_.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "sendto() WSAError " + std::to_string(EACCES));
}

TEST_F(LoopbackTest, ReceiverEndsWhenToldAndFailsWithoutItsEvent) {
    StartReceiver();
    auto start = std::chrono::steady_clock::now();
    StopReceiver();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(receiverResult_, 0);

    quit_.Close();
    std::vector<std::string> errors;
    EXPECT_EQ(PingReceiverThread(socket_, [](uint32_t, std::string) {}, [&](std::string t) { errors.push_back(t); }),
              1);
    EXPECT_EQ(errors, std::vector<std::string>{"open handle error."});
}

TEST_F(LoopbackTest, StartOffsetsCoverEveryHost) {
    // One generator for every sender: with one seed the sequence repeats, and over many
    // draws every start position turns up.
    SeedStartOffsets(1234);
    std::vector<size_t> first;
    for (int i = 0; i < 50; ++i) first.push_back(DrawStartOffset(7));
    SeedStartOffsets(1234);
    std::vector<size_t> again;
    for (int i = 0; i < 50; ++i) again.push_back(DrawStartOffset(7));
    EXPECT_EQ(first, again);
    std::vector<int> hits(7, 0);
    for (size_t s : first) ++hits.at(s);
    for (int h : hits) EXPECT_GT(h, 0);
    EXPECT_EQ(DrawStartOffset(1), 0u);
}

}  // namespace
}  // namespace sondrel
