#pragma once
// A name service whose reverse answers wait until the test lets them go (address 0: all of
// them). It knows the names it is given and remembers what it was asked.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "platform/Resolver.h"

namespace sondrel::test {

class GatedResolver final : public Resolver {
public:
    explicit GatedResolver(std::map<std::uint32_t, std::string> names = {})
        : names_(std::move(names)) {}
    std::optional<std::uint32_t> LookupName(const std::string&) override { return std::nullopt; }
    std::optional<std::string> LookupAddress(std::uint32_t address) override {
        std::unique_lock lock(mutex_);
        asked_.insert(address);
        cv_.notify_all();
        cv_.wait(lock, [&] { return released_.count(address) + released_.count(0) > 0; });
        const auto it = names_.find(address);
        return it == names_.end() ? std::nullopt : std::optional(it->second);
    }
    void Release(std::uint32_t address) {
        std::lock_guard lock(mutex_);
        released_.insert(address);
        cv_.notify_all();
    }
    // Whether the address was asked for, waiting for it up to the guard time.
    bool Asked(std::uint32_t address, std::chrono::seconds guard = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, guard, [&] { return asked_.count(address) > 0; });
    }

private:
    const std::map<std::uint32_t, std::string> names_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::set<std::uint32_t> released_, asked_;
};

}  // namespace sondrel::test
