#pragma once
// Who reads the socket. Over short paths a round's replies come back while its requests are
// still going out, one for each request; a receiver blocked in poll() would then be woken
// for every few of them, and at a hundred thousand hosts the wake-ups cost more than the
// pings. So a sender with many hosts reads the replies itself between its batches, and the
// receiver leaves the socket alone until the last such sender has finished. Replies always
// leave the engine in groups, one group per read.
#include <atomic>
#include <functional>
#include <span>

#include "platform/FileDescriptor.h"

namespace sondrel {

struct EngineReply;

// Receives the kept answers, a group at a time, in the order they were read. Called on the
// receiver thread or a reading sender; it must hand the data over (post it) rather than
// touch the view.
using ReplySink = std::function<void(std::span<const EngineReply> replies)>;

class ReplyHandover {
public:
    explicit ReplyHandover(ReplySink sink);
    ReplyHandover(const ReplyHandover&) = delete;
    ReplyHandover& operator=(const ReplyHandover&) = delete;

    const ReplySink& Sink() const { return sink_; }

    // False when the wake-up descriptor could not be made: the receiver then reads alone.
    bool Usable() const { return static_cast<bool>(wake_); }
    // A sender starts or stops reading; each change wakes the receiver.
    void SenderBegins();
    void SenderEnds();
    // While true the receiver does not watch the socket.
    bool SenderReads() const { return readers_.load() > 0; }

    // Readable after a change; the receiver calls Acknowledge() before it looks again.
    int fd() const { return wake_.get(); }
    void Acknowledge() const;

private:
    void Wake() const;

    ReplySink sink_;
    std::atomic<int> readers_{0};
    FileDescriptor wake_;
};

// A sender's turn at reading, for the time it holds the list: begun and ended on every path.
class SenderReading {
public:
    explicit SenderReading(ReplyHandover* handover)
        : handover_(handover != nullptr && handover->Usable() ? handover : nullptr) {
        if (handover_ != nullptr) handover_->SenderBegins();
    }
    ~SenderReading() {
        if (handover_ != nullptr) handover_->SenderEnds();
    }
    SenderReading(const SenderReading&) = delete;
    SenderReading& operator=(const SenderReading&) = delete;
    // Where the sender hands what it reads; null when it does not read.
    const ReplySink* Sink() const { return handover_ != nullptr ? &handover_->Sink() : nullptr; }

private:
    ReplyHandover* handover_;
};

}  // namespace sondrel
