#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/NamedEvent.h"

namespace sondrel {
namespace {

using Mode = NamedEvent::ResetMode;

// What a thread blocked in poll() on the event's descriptor would see.
bool Readable(const NamedEvent& e) {
    pollfd p{e.fd(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

TEST(NamedEventTest, CreateOpenAndLifetimeFollowTheHandles) {
    EXPECT_FALSE(NamedEvent::Open("ne-life"));
    bool first = true, second = false;
    NamedEvent a = NamedEvent::Create("ne-life", Mode::Manual, false, &first);
    NamedEvent b =
        NamedEvent::Create("ne-life", Mode::Automatic, true, &second);  // finds the first one
    NamedEvent c = NamedEvent::Open("ne-life");
    EXPECT_TRUE(!first && second && !b.IsSet() && c);
    a.Set();
    a.Close();
    b.Close();
    EXPECT_TRUE(NamedEvent::Exists("ne-life") && c.IsSet());
    c.Close();
    EXPECT_FALSE(NamedEvent::Exists("ne-life"));
}

TEST(NamedEventTest, ResetModesAndTheirDescriptor) {
    for (auto [mode, setAfterWait] :
         {std::pair{Mode::Manual, true}, std::pair{Mode::Automatic, false}}) {
        NamedEvent e = NamedEvent::Create("ne-modes", mode, false);
        EXPECT_FALSE(e.Wait(20) || Readable(e));
        e.Set();
        e.Set();  // setting twice is still one signal
        EXPECT_TRUE(Readable(e) && e.Wait(0));
        EXPECT_EQ(Readable(e), setAfterWait);
        EXPECT_EQ(e.Wait(0), setAfterWait);
        e.Reset();
        EXPECT_FALSE(Readable(e) || e.Wait(0));
    }
}

TEST(NamedEventTest, WaitAnyPrefersTheLowestIndexAndTakesOnlyIt) {
    NamedEvent stop = NamedEvent::Create("ne-any-stop", Mode::Manual, false);
    NamedEvent gate = NamedEvent::Create("ne-any-gate", Mode::Automatic, true);
    const NamedEvent* both[] = {&stop, &gate};
    EXPECT_EQ(NamedEvent::WaitAny(both, 0), 1);  // gate taken
    EXPECT_EQ(NamedEvent::WaitAny(both, 0), NamedEvent::kTimedOut);
    gate.Set();
    stop.Set();
    EXPECT_EQ(NamedEvent::WaitAny(both, 0), 0);  // stop wins, the gate stays set
    EXPECT_TRUE(gate.IsSet());
}

TEST(NamedEventTest, AutomaticEventAdmitsOneWaiterPerSet) {
    NamedEvent gate = NamedEvent::Create("ne-gate", Mode::Automatic, false);
    std::atomic<int> inside{0}, overlaps{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            NamedEvent mine = NamedEvent::Open("ne-gate");
            for (int round = 0; round < 200 && mine.Wait(); ++round) {
                overlaps += ++inside > 1;
                --inside;
                mine.Set();
            }
        });
    gate.Set();
    for (auto& t : threads) t.join();
    EXPECT_EQ(overlaps.load(), 0);
}

}  // namespace
}  // namespace sondrel
