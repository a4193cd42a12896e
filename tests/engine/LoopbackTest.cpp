// Rounds of the real engine over loopback, where every 127.x.y.z answers with TTL 64.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <regex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "engine/Datagram.h"
#include "engine/IcmpSocket.h"
#include "engine/PingThreads.h"
#include "engine/SendTimes.h"
#include "platform/Clock.h"
#include "platform/NamedEvent.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;
const std::regex kTtl64("ttl=64,time=[0-9]+,bytes=32");

const uint32_t kLocal = inet_addr("127.0.0.1");

std::vector<uint32_t> Hosts(uint32_t first, uint32_t count) {
    std::vector<uint32_t> hosts(count);
    for (uint32_t i = 0; i < count; ++i) hosts[i] = htonl((127u << 24) | (first + i));
    return hosts;
}

// Counts, per target, the requests carrying `id` that leave on loopback, read by a second raw
// socket without a filter until 200 ms pass without a request or reply carrying `id`.
struct RequestSpy {
    static constexpr int kBuffer = 8 << 20;  // a whole round of requests and replies fits
    int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    RequestSpy() { ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kBuffer, sizeof kBuffer); }
    ~RequestSpy() { ::close(fd); }
    std::map<uint32_t, int> Count(uint16_t id) {
        std::map<uint32_t, int> seen;
        uint8_t buf[1024] = {};
        auto quiet =
            std::chrono::steady_clock::now() + 200ms;  // other programs' pings go on meanwhile
        for (pollfd p{fd, POLLIN, 0};
             std::chrono::steady_clock::now() < quiet && ::poll(&p, 1, 200) == 1;) {
            ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            const uint8_t* icmp = buf + (buf[0] & 0x0F) * 4;
            if (n < icmp - buf + 16 || LoadLe16(icmp + 4) != id) continue;
            quiet = std::chrono::steady_clock::now() + 200ms;
            if (icmp[0] == kIcmpEchoRequest) ++seen[LoadRaw32(icmp + 12)];
        }
        return seen;
    }
};

class LoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::CanOpenRawIcmp())
            GTEST_SKIP() << "no raw ICMP socket here (needs root or cap_net_raw)";
        ASSERT_TRUE(socket_ = IcmpSocket::OpenRaw());
        stop_ = NamedEvent::Create(kStopPingEvent, NamedEvent::ResetMode::Manual, false);
        gate_ = NamedEvent::Create(kModifyListEvent, NamedEvent::ResetMode::Automatic, true);
        quit_ = NamedEvent::Create(kQuitProgramEvent, NamedEvent::ResetMode::Manual, false);
    }
    void TearDown() override { StopReceiver(); }

    // `hook` sees every reply on the receiver thread; replies_ is read once the receiver has
    // ended, after the spy has seen the wire fall quiet.
    void StartReceiver(std::function<void(uint32_t)> hook = [](uint32_t) {}) {
        receiver_ = std::thread([this, hook] {
            receiverResult_ = PingReceiverThread(
                socket_,
                [this, hook](std::span<const EngineReply> replies) {
                    for (const EngineReply& reply : replies) {
                        hook(reply.host);
                        replies_[reply.host].push_back(reply.Text());
                        timed_[reply.host] = reply;
                    }
                },
                [](std::string text) { ADD_FAILURE() << text; });
        });
    }
    void StopReceiver() {
        if (!receiver_.joinable()) return;
        quit_.Set();
        receiver_.join();
    }
    int RunSender(const std::vector<uint32_t>& hosts) {
        times_.Resize(hosts.size());
        return PingSenderThread(socket_, &hosts, &times_,
                                [this](std::string text) { errors_.push_back(std::move(text)); });
    }

    std::shared_ptr<IcmpSocket> socket_;
    NamedEvent stop_, gate_, quit_;
    std::thread receiver_;
    int receiverResult_ = -1;
    std::map<uint32_t, std::vector<std::string>> replies_;
    std::map<uint32_t, EngineReply> timed_;  // the latest reply of each host
    SendTimes times_;
    std::vector<std::string> errors_;
};

TEST_F(LoopbackTest, RoundGetsOneReplyAndSendsOneRequestPerHost) {
    RequestSpy spy;
    StartReceiver();
    const auto hosts = Hosts(1, 50);
    EXPECT_EQ(RunSender(hosts), 0);
    EXPECT_TRUE(gate_.Wait(0)) << "the gate is free after the round";
    const auto sent = spy.Count(socket_->identifier());
    StopReceiver();
    EXPECT_EQ(receiverResult_, 0);
    for (const uint32_t& host : hosts) {  // 127.0.0.1 has the priming reply too
        ASSERT_EQ(replies_[host].size(), host == kLocal ? 2u : 1u) << inet_ntoa(in_addr{host});
        for (const auto& text : replies_[host]) EXPECT_TRUE(std::regex_match(text, kTtl64)) << text;
        EXPECT_EQ(sent.count(host) ? sent.at(host) : 0, host == kLocal ? 2 : 1)
            << inet_ntoa(in_addr{host});
        // The send time kept for the host's place and the kernel's receive time give the
        // round trip to the microsecond, in step with the ticks the request carried.
        const EngineReply& r = timed_[host];
        const size_t place = static_cast<size_t>(&host - hosts.data());
        if (host == kLocal) continue;  // whose latest answer may be the priming request's
        EXPECT_GE(PreciseRoundTripUs(times_.At(place, r.echoedTick), r.receivedNs,
                                     TickDifference(r.nowTick, r.echoedTick)),
                  0)
            << inet_ntoa(in_addr{host});
    }
    EXPECT_TRUE(errors_.empty());
}

TEST_F(LoopbackTest, EmptyArraySendsNothingAndFreesTheGate) {
    RequestSpy spy;
    EXPECT_EQ(RunSender({}), 0);
    EXPECT_TRUE(gate_.Wait(0));
    EXPECT_TRUE(spy.Count(socket_->identifier()).empty());
}

TEST_F(LoopbackTest, StopWhileWaitingForTheGateLeavesTheGateAlone) {
    RequestSpy spy;
    ASSERT_TRUE(gate_.Wait(0));  // the list is being edited
    std::thread sender([&] { EXPECT_EQ(RunSender(Hosts(1, 10)), 0); });
    std::this_thread::sleep_for(50ms);  // let it block at the gate
    stop_.Set();
    sender.join();
    EXPECT_FALSE(gate_.IsSet()) << "a stopped sender never gives back a gate it did not take";
    EXPECT_TRUE(spy.Count(socket_->identifier()).empty());
}

TEST_F(LoopbackTest, StopInMidRoundSkipsTheRestAndFreesTheGate) {
    std::promise<void> primed;  // the receiver is up
    StartReceiver([&](uint32_t host) { host == kLocal ? primed.set_value() : stop_.Set(); });
    ASSERT_EQ(primed.get_future().wait_for(10s), std::future_status::ready);
    RequestSpy spy;
    const auto hosts = Hosts(2, 20000);
    EXPECT_EQ(RunSender(hosts), 0);
    EXPECT_TRUE(gate_.Wait(0)) << "the gate came back";
    const auto sent = spy.Count(socket_->identifier());
    EXPECT_GT(sent.size(), 0u);
    EXPECT_LT(sent.size(), hosts.size());
    for (const auto& [host, n] : sent) EXPECT_EQ(n, 1);
}

TEST_F(LoopbackTest, FailedSendEndsTheRoundWithSendtoAndFreesTheGate) {
    auto hosts = Hosts(1, 5);
    hosts.push_back(inet_addr("127.255.255.255"));  // loopback's broadcast: the kernel says EACCES
    RequestSpy spy;
    EXPECT_EQ(RunSender(hosts), 1);
    EXPECT_TRUE(gate_.Wait(0));
    // From a random start up to the refused address and no further: the hosts sent to are a
    // run that ends right before it.
    const auto sent = spy.Count(socket_->identifier());
    size_t first = hosts.size() - 1;
    while (first > 0 && sent.count(hosts[first - 1])) --first;
    EXPECT_EQ(sent.size(), hosts.size() - 1 - first) << "a host after the failure was sent";
    EXPECT_EQ(errors_, std::vector<std::string>{"sendto() WSAError " + std::to_string(EACCES)});
}

TEST(StartOffsetTest, EveryStartTurnsUp) {
    std::set<size_t> seen;
    for (int i = 0; i < 300; ++i) seen.insert(DrawStartOffset(7));
    EXPECT_EQ(seen, (std::set<size_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(DrawStartOffset(1), 0u);
}

}  // namespace
}  // namespace sondrel
