// One round of the real engine and the core rules over N loopback hosts (127.0.x.y from
// 127.0.1.1 on): the time from the round start to the last reply applied, and how many
// replies were applied. Prints "X a S" (milliseconds, replies, milliseconds the sender took)
// for bench/round_vs_fping.sh.
//   bench_engine_round N
#include <arpa/inet.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/IcmpSocket.h"
#include "engine/PingThreads.h"
#include "model/ReplyRules.h"
#include "session/MonitorSession.h"
#include "session/TaskQueue.h"

int main(int argc, char** argv) {
    using namespace sondrel;
    using Clock = std::chrono::steady_clock;
    const long n = argc > 1 ? std::atol(argv[1]) : 10000;
    if (n < 1 || n > 65000) {
        std::fprintf(stderr, "usage: %s N (1 to 65000)\n", argv[0]);
        return 2;
    }
    std::string message;
    auto socket = IcmpSocket::Open(&message);
    if (!socket) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 2;
    }
    TaskQueue tasks;
    SessionObserver silent;
    SessionSetup setup;
    setup.socket = socket;
    setup.post = [&tasks](std::function<void()> task) { tasks.Post(std::move(task)); };
    setup.discardPrimingReply = true;
    MonitorSession session(std::move(setup), silent);
    for (long i = 0; i < n; ++i) {
        // 127.0.1.1 onwards, skipping .0 and .255 in the last octet.
        const long k = 256 + 1 + i + 2 * (i / 254);
        const uint32_t address = htonl(static_cast<uint32_t>((127L << 24) | k));
        session.Hosts().HostAt(address);
        session.OnListAdded(address);
    }
    session.Start();
    session.WaitForPrimingReply(1000);

    const auto start = Clock::now();
    auto last = start;
    // The round's sender, run here rather than by the session so its own time shows.
    CountRoundSent(session.Hosts());
    std::atomic<int64_t> sentUs{-1};
    std::thread sender([&] {
        PingSenderThread(socket, &session.Addresses(), nullptr, nullptr);
        sentUs =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    });
    const auto deadline = start + std::chrono::seconds(2);
    while (session.RepliesApplied() < static_cast<size_t>(n)) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{tasks.WakeFd(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        tasks.RunPending();
        last = Clock::now();
    }
    sender.join();
    session.Shutdown();
    const double ms = std::chrono::duration<double, std::milli>(last - start).count();
    std::printf("%.0f %zu %.0f\n", ms, session.RepliesApplied(), sentUs.load() / 1000.0);
    return 0;
}
