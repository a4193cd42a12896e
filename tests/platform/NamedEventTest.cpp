#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/NamedEvent.h"

namespace sondrel {
namespace {

using Mode = NamedEvent::ResetMode;

bool Readable(const NamedEvent& e) {
    pollfd p{e.fd(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

TEST(NamedEventTest, CreateOpenAndLifetimeFollowTheHandles) {
    EXPECT_FALSE(NamedEvent::Open("ne-life"));
    bool existed = true;
    NamedEvent a = NamedEvent::Create("ne-life", Mode::Manual, false, &existed);
    ASSERT_TRUE(a);
    EXPECT_FALSE(existed);
    // A second create finds the first; its own mode and state are ignored.
    NamedEvent b = NamedEvent::Create("ne-life", Mode::Automatic, true, &existed);
    EXPECT_TRUE(existed);
    EXPECT_FALSE(b.IsSet());
    NamedEvent c = NamedEvent::Open("ne-life");
    ASSERT_TRUE(c);
    a.Set();
    EXPECT_TRUE(c.IsSet());
    EXPECT_EQ(a.fd(), c.fd());
    a.Close();
    b.Close();
    EXPECT_TRUE(NamedEvent::Exists("ne-life"));
    c.Close();
    EXPECT_FALSE(NamedEvent::Exists("ne-life"));
    // A new event of the same name starts afresh.
    NamedEvent d = NamedEvent::Create("ne-life", Mode::Manual, false, &existed);
    EXPECT_FALSE(existed);
    EXPECT_FALSE(d.IsSet());
}

TEST(NamedEventTest, ResetModesAndTheirDescriptor) {
    struct Case {
        Mode mode;
        bool setAfterWait;
    };
    for (Case c : {Case{Mode::Manual, true}, Case{Mode::Automatic, false}}) {
        NamedEvent e = NamedEvent::Create("ne-modes", c.mode, false);
        EXPECT_FALSE(e.Wait(0));
        EXPECT_FALSE(Readable(e));
        e.Set();
        e.Set();  // setting twice is still one signal
        EXPECT_TRUE(Readable(e));
        EXPECT_TRUE(e.Wait(0));
        EXPECT_EQ(e.IsSet(), c.setAfterWait);
        EXPECT_EQ(Readable(e), c.setAfterWait);
        EXPECT_EQ(e.Wait(0), c.setAfterWait);
        e.Reset();
        EXPECT_FALSE(Readable(e));
        EXPECT_FALSE(e.Wait(0));
    }
}

TEST(NamedEventTest, WaitTimesOutAndWakesOnSet) {
    NamedEvent e = NamedEvent::Create("ne-wake", Mode::Manual, false);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(e.Wait(50));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    std::thread setter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        NamedEvent::Open("ne-wake").Set();
    });
    EXPECT_TRUE(e.Wait());
    setter.join();
}

TEST(NamedEventTest, WaitAnyPrefersTheLowestIndexAndTakesOnlyIt) {
    NamedEvent stop = NamedEvent::Create("ne-any-stop", Mode::Manual, false);
    NamedEvent gate = NamedEvent::Create("ne-any-gate", Mode::Automatic, true);
    const NamedEvent* both[] = {&stop, &gate};
    EXPECT_EQ(NamedEvent::WaitAny(both, 0), 1);  // gate taken
    EXPECT_FALSE(gate.IsSet());
    EXPECT_EQ(NamedEvent::WaitAny(both, 0), NamedEvent::kTimedOut);
    gate.Set();
    stop.Set();
    EXPECT_EQ(NamedEvent::WaitAny(both, 0), 0);  // stop wins, the gate stays set
    EXPECT_TRUE(gate.IsSet());
}

TEST(NamedEventTest, AutomaticEventAdmitsOneWaiterPerSet) {
    NamedEvent gate = NamedEvent::Create("ne-gate", Mode::Automatic, false);
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            NamedEvent mine = NamedEvent::Open("ne-gate");
            for (int round = 0; round < 200; ++round) {
                mine.Wait();
                int now = ++inside;
                int seen = maxInside.load();
                while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
                }
                --inside;
                mine.Set();
            }
            ++done;
        });
    }
    gate.Set();
    for (auto& t : threads) t.join();
    EXPECT_EQ(done.load(), 4);
    EXPECT_EQ(maxInside.load(), 1);
    EXPECT_TRUE(gate.IsSet());
}

}  // namespace
}  // namespace sondrel
