#pragma once
// Reverse lookups of the details window, each on a thread of its own, so that neither the
// window nor the program's exit waits for a slow name service. A few run at once; behind them
// waits only the newest request, since older ones are for hosts no longer on show. Once the
// owner is gone, lookups still running finish on their own and their answers are dropped.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Resolver.h"

namespace sondrel {

class ReverseLookups {
public:
    struct Request {
        unsigned serial = 0;  // the owner's mark, handed back with the answer
        std::uint32_t address = 0;
        // Shared with the lookup's thread, which may outlive everybody else.
        std::shared_ptr<Resolver> resolver;
    };
    // Called on the lookup's thread, never after the destructor has returned.
    using Deliver = std::function<void(const Request& request, std::optional<std::string> name)>;

    static constexpr int kMaxRunning = 4;

    explicit ReverseLookups(Deliver deliver);
    ~ReverseLookups();
    ReverseLookups(const ReverseLookups&) = delete;
    ReverseLookups& operator=(const ReverseLookups&) = delete;

    // Runs the lookup now when fewer than kMaxRunning run; else it replaces the one waiting.
    void Start(Request request);

private:
    struct Shared;
    static void Run(std::shared_ptr<Shared> shared, Request request);

    std::shared_ptr<Shared> m_shared;
};

}  // namespace sondrel
