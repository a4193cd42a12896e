#pragma once
// The engine as the console monitor drives it: the shared events, the receiver thread, one
// sender per round, and a queue that carries reply texts to the monitor's own thread, which
// blocks in poll() on WakeFd() until some are waiting.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/IcmpSocket.h"
#include "engine/PingThreads.h"
#include "platform/NamedEvent.h"

namespace sondrel {

class ConsoleEngine {
public:
    // Creates the events and starts the receiver on the open socket. onError gets the
    // engine's error texts on the failing thread.
    ConsoleEngine(std::shared_ptr<IcmpSocket> socket, ErrorSink onError);
    // Stops every sender, ends the receiver and waits for all of them.
    ~ConsoleEngine();
    ConsoleEngine(const ConsoleEngine&) = delete;
    ConsoleEngine& operator=(const ConsoleEngine&) = delete;

    // Starts the sender of one round over *addresses, which must stay alive and may change
    // only while the modify_list gate is held.
    void StartRound(const std::vector<uint32_t>* addresses);

    // Waits (at most `limitMs`) for the receiver's priming reply and throws it away: it
    // answers no round, and counted for a listed 127.0.0.1 it would make more replies than
    // requests. Call before the first round. False when it did not come in time.
    bool DiscardPrimingReply(int limitMs);

    // Readable while replies wait in the queue.
    int WakeFd() const { return wake_; }
    // Everything queued so far, in arrival order.
    std::vector<std::pair<uint32_t, std::string>> TakeReplies();

private:
    struct Sender {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void Enqueue(uint32_t address, std::string text);
    void JoinFinishedSenders();

    std::shared_ptr<IcmpSocket> socket_;
    ErrorSink onError_;
    NamedEvent stop_, gate_, quit_;
    int wake_ = -1;
    std::mutex lock_;
    std::vector<std::pair<uint32_t, std::string>> queue_;
    std::thread receiver_;
    std::vector<Sender> senders_;
};

}  // namespace sondrel
