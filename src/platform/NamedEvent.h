#pragma once
// Named events shared by the threads of one process: the gate around the address array, the
// stop flag of the senders and the receiver's quit flag. An event is found by its name; it
// lives while at least one handle to it is open. Every event is also a file descriptor
// that is readable exactly while the event is set, so a thread can block in poll() on a
// socket and an event together.
#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace sondrel {

// Names of the events the monitor and its engine threads share.
inline constexpr std::string_view kStopPingEvent = "stop_ping";
inline constexpr std::string_view kModifyListEvent = "modify_list";
inline constexpr std::string_view kQuitProgramEvent = "quit_program";

class NamedEvent {
public:
    enum class ResetMode { Manual, Automatic };
    static constexpr int kInfinite = -1;  // time-out meaning "wait for ever"
    static constexpr int kTimedOut = -1;  // WaitAny result when no event became set

    // Creates the event, or opens it when one of that name exists already (then the mode and
    // initial state given here are ignored and *alreadyExisted becomes true). An invalid
    // handle comes back only when the event's descriptor cannot be created (errno tells).
    static NamedEvent Create(std::string_view name, ResetMode mode, bool initiallySet,
                             bool* alreadyExisted = nullptr);
    // Opens an existing event; an invalid handle when no event of that name exists.
    static NamedEvent Open(std::string_view name);
    // True while an event of that name exists (some handle to it is open).
    static bool Exists(std::string_view name);

    NamedEvent() = default;  // invalid handle
    explicit operator bool() const { return state_ != nullptr; }
    void Close() { state_.reset(); }

    void Set() const;
    void Reset() const;
    // Waits until the event is set. An automatic-reset event is reset by the successful
    // wait, so exactly one waiter gets each Set(). timeoutMs 0 tests without blocking.
    // Returns false on time-out.
    bool Wait(int timeoutMs = kInfinite) const;
    // Same as Wait with a std::chrono duration.
    bool Wait(std::chrono::milliseconds timeout) const {
        return Wait(static_cast<int>(timeout.count()));
    }

    // Waits until one of the events is set and returns its index (the lowest one when
    // several are set; an automatic-reset event is reset by being chosen), or kTimedOut.
    static int WaitAny(std::span<const NamedEvent* const> events, int timeoutMs = kInfinite);

    // Readable (POLLIN) exactly while the event is set. Reading it is the event's business:
    // after poll() reports it, call Wait(0) to take the event.
    int fd() const;
    bool IsSet() const;  // a snapshot; never resets anything

    struct State;  // shared by every handle of one event

private:
    explicit NamedEvent(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

}  // namespace sondrel
