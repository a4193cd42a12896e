#include "platform/NamedEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace sondrel {

// The event's state and its descriptor change together under one lock, so the descriptor
// is readable exactly while `set` is true and a waiter that loses a race blocks again.
struct NamedEvent::State {
    std::string name;
    ResetMode mode = ResetMode::Manual;
    int fd = -1;
    mutable std::mutex lock;
    bool set = false;

    ~State();
    void MarkSet();
    void MarkClear();
    bool TryTake();  // true when set; resets an automatic-reset event
};

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<NamedEvent::State>, std::less<>> events;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // outlives every static handle
    return *registry;
}

std::shared_ptr<NamedEvent::State> Lookup(Registry& r, std::string_view name) {
    auto it = r.events.find(name);
    return it == r.events.end() ? nullptr : it->second.lock();
}

}  // namespace

NamedEvent::State::~State() {
    Registry& r = TheRegistry();
    {
        std::lock_guard guard(r.lock);
        auto it = r.events.find(name);
        // A new event of the same name may already have replaced this one's entry.
        if (it != r.events.end() && it->second.expired()) r.events.erase(it);
    }
    if (fd >= 0) ::close(fd);
}

void NamedEvent::State::MarkSet() {
    if (set) return;
    set = true;
    uint64_t one = 1;
    (void)!::write(fd, &one, sizeof one);
}

void NamedEvent::State::MarkClear() {
    if (!set) return;
    set = false;
    uint64_t value = 0;
    (void)!::read(fd, &value, sizeof value);
}

bool NamedEvent::State::TryTake() {
    std::lock_guard guard(lock);
    if (!set) return false;
    if (mode == ResetMode::Automatic) MarkClear();
    return true;
}

NamedEvent NamedEvent::Create(std::string_view name, ResetMode mode, bool initiallySet,
                              bool* alreadyExisted) {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    if (auto existing = Lookup(r, name)) {
        if (alreadyExisted) *alreadyExisted = true;
        return NamedEvent(std::move(existing));
    }
    if (alreadyExisted) *alreadyExisted = false;
    int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) return {};
    auto state = std::make_shared<State>();
    state->name = std::string(name);
    state->mode = mode;
    state->fd = fd;
    if (initiallySet) state->MarkSet();
    r.events[state->name] = state;
    return NamedEvent(std::move(state));
}

NamedEvent NamedEvent::Open(std::string_view name) {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    return NamedEvent(Lookup(r, name));
}

bool NamedEvent::Exists(std::string_view name) {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    // No handle is taken here: a temporary one could turn out to be the last and destroy
    // the event while the registry lock is held, and the destructor takes that lock too.
    auto it = r.events.find(name);
    return it != r.events.end() && !it->second.expired();
}

void NamedEvent::Set() const {
    std::lock_guard guard(state_->lock);
    state_->MarkSet();
}

void NamedEvent::Reset() const {
    std::lock_guard guard(state_->lock);
    state_->MarkClear();
}

bool NamedEvent::IsSet() const {
    std::lock_guard guard(state_->lock);
    return state_->set;
}

int NamedEvent::fd() const { return state_->fd; }

bool NamedEvent::Wait(int timeoutMs) const {
    const NamedEvent* self = this;
    return WaitAny(std::span<const NamedEvent* const>(&self, 1), timeoutMs) == 0;
}

int NamedEvent::WaitAny(std::span<const NamedEvent* const> events, int timeoutMs) {
    auto takeFirstSet = [&]() -> int {
        for (size_t i = 0; i < events.size(); ++i)
            if (events[i]->state_->TryTake()) return static_cast<int>(i);
        return kTimedOut;
    };
    // A test without waiting is the common case (a sender checks stop_ping before every
    // request): it costs one lock per event and no system call.
    if (int taken = takeFirstSet(); taken != kTimedOut || timeoutMs == 0) return taken;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::vector<pollfd> fds(events.size());
    for (size_t i = 0; i < events.size(); ++i) fds[i] = pollfd{events[i]->fd(), POLLIN, 0};
    for (;;) {
        int wait = kInfinite;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return kTimedOut;
            wait = static_cast<int>(left);
        }
        // Another waiter may take an automatic event between poll() and TryTake(); the
        // descriptor is then drained again and the next poll() blocks.
        int n = ::poll(fds.data(), fds.size(), wait);
        if (n < 0 && errno != EINTR) return kTimedOut;
        if (int taken = takeFirstSet(); taken != kTimedOut) return taken;
    }
}

}  // namespace sondrel
