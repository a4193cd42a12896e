#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "details/GatedResolver.h"
#include "details/ReverseLookups.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;

// What reached the owner, "address=name" ("-": none), in order of arrival.
struct Answers {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> got;

    ReverseLookups::Deliver Sink() {
        return [this](const ReverseLookups::Request& r, std::optional<std::string> name) {
            std::lock_guard lock(mutex);
            got.push_back(std::to_string(r.address) + "=" + name.value_or("-"));
            cv.notify_all();
        };
    }
    bool Await(size_t count) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 10s, [&] { return got.size() >= count; });
    }
};

TEST(ReverseLookups, BehindBusyLookupsOnlyTheNewestWaits) {
    auto gated = std::make_shared<test::GatedResolver>(std::map<uint32_t, std::string>{{2, "two"}});
    Answers answers;
    ReverseLookups lookups(answers.Sink());
    for (uint32_t address : {10, 11, 12, 13, 14, 2}) lookups.Start({0, address, gated});
    ASSERT_TRUE(gated->Asked(13));
    gated->Release(10);
    gated->Release(2);
    ASSERT_TRUE(answers.Await(2));
    EXPECT_EQ(answers.got, (std::vector<std::string>{"10=-", "2=two"}));
    EXPECT_FALSE(gated->Asked(14, 0s));
    gated->Release(0);
}

TEST(ReverseLookups, OwnerGoesWithoutWaitingAndTheLateAnswerIsDropped) {
    std::promise<void> resolverGone, tornDown;
    std::shared_ptr<test::GatedResolver> gated(new test::GatedResolver,
                                               [&](test::GatedResolver* r) {
                                                   delete r;
                                                   resolverGone.set_value();
                                               });
    Answers answers;
    auto lookups = std::make_unique<ReverseLookups>(answers.Sink());
    lookups->Start({0, 1, gated});
    ASSERT_TRUE(gated->Asked(1));
    // Should the owner wait for its lookup, only this guard would let it go.
    std::atomic<bool> guardFired{false};
    std::thread guard([&, torn = tornDown.get_future()] {
        if (torn.wait_for(10s) == std::future_status::timeout) guardFired = true, gated->Release(0);
    });
    lookups.reset();
    tornDown.set_value();
    guard.join();
    EXPECT_FALSE(guardFired) << "the owner waited for its lookup";
    gated->Release(0);
    gated.reset();  // the lookup's thread lets go of it last
    EXPECT_EQ(resolverGone.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(answers.got.empty());
}

}  // namespace
}  // namespace sondrel
