#pragma once
// Stand-ins for the name service and the page fetches: they know only what a test gives
// them; the page fetches remember what they were asked.
#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "input/TypedAddress.h"
#include "platform/Resolver.h"

namespace sondrel::test {

inline std::uint32_t Ip(const char* dotted) {
    in_addr address{};
    ::inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

class FakeResolver final : public Resolver {
public:
    FakeResolver(std::initializer_list<std::pair<const std::string, std::uint32_t>> names = {})
        : names_(names) {}
    std::optional<std::uint32_t> LookupName(const std::string& name) override {
        const auto it = names_.find(name);
        return it == names_.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<std::string> LookupAddress(std::uint32_t) override { return std::nullopt; }

private:
    std::map<std::string, std::uint32_t> names_;
};

// Maps "http://" + host to the host its pages lead to (by default the host itself).
struct FakeUrls {
    std::map<std::string, std::string> moves = {};
    std::vector<std::string> asked = {};
    UrlHostResolver Function() {
        return [this](const std::string& url) {
            asked.push_back(url);
            const auto it = moves.find(url);
            return it == moves.end() ? url.substr(7) : it->second;
        };
    }
};

// Holds every caller of Pass until Open (or until a generous guard, so that a failing test ends).
class Gate {
public:
    void Pass() {
        std::unique_lock lock(mutex_);
        ++entered_;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(30), [this] { return open_; });
    }
    void Open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    int Entered() {
        const std::lock_guard lock(mutex_);
        return entered_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int entered_ = 0;
    bool open_ = false;
};

}  // namespace sondrel::test
