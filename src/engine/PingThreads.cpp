#include "engine/PingThreads.h"

#include <arpa/inet.h>
#include <poll.h>

#include <array>
#include <cerrno>
#include <mutex>
#include <random>
#include <span>
#include <vector>

#include "engine/Datagram.h"
#include "engine/EchoRequest.h"
#include "engine/IcmpSocket.h"
#include "engine/ReplyHandover.h"
#include "engine/ReplyText.h"
#include "engine/SendTimes.h"
#include "platform/Clock.h"
#include "platform/NamedEvent.h"

namespace sondrel {
namespace {

struct OffsetGenerator {
    std::mutex lock;
    std::mt19937 engine{TickCount()};
};

OffsetGenerator& Generator() {
    static OffsetGenerator generator;
    return generator;
}

// Gives the gate back when the round ends, whichever way it ends.
class GateHold {
public:
    explicit GateHold(const NamedEvent& gate) : gate_(gate) {}
    ~GateHold() { Release(); }
    GateHold(const GateHold&) = delete;
    GateHold& operator=(const GateHold&) = delete;
    void Release() {
        if (held_) gate_.Set();
        held_ = false;
    }

private:
    const NamedEvent& gate_;
    bool held_ = true;
};

// One batch's send times: the batch left between `before` and `after`, one request after
// another, so each is placed at the start of its share of that span rather than all at the
// batch's start. The start, not the middle: over loopback the answer is in before the call
// returns, and a send time after the receive time would be no time at all.
struct Places {
    size_t first;  // of the batch's first request, before wrapping round
    size_t count;  // places in the array
};
void StampBatch(SendTimes& times, Places places, std::span<const uint32_t> ticks, int64_t before,
                int64_t after) {
    if (ticks.empty()) return;
    const int64_t span = after - before;
    const auto filled = static_cast<int64_t>(ticks.size());
    for (size_t k = 0; k < ticks.size(); ++k) {
        const int64_t share = span * static_cast<int64_t>(k) / filled;
        times.Set((places.first + k) % places.count, before + share, ticks[k]);
    }
}

// Gathers what one read of the socket keeps, so that the replies leave in groups: one lock
// and at most one wake-up of the owner per group rather than per reply. A long backlog still
// leaves in groups of a bounded size, so the owner starts on it early.
class ReplyGroup {
public:
    explicit ReplyGroup(const ReplySink& sink) : sink_(sink) { replies_.reserve(kSize); }
    void Add(EngineReply&& reply) {
        replies_.push_back(reply);
        if (replies_.size() == kSize) Flush();
    }
    void Flush() {
        if (replies_.empty()) return;
        sink_(replies_);
        replies_.clear();
    }

private:
    static constexpr size_t kSize = 256;
    const ReplySink& sink_;
    std::vector<EngineReply> replies_;
};

// Reads what waits now into the sink; the errno of a failed read, or 0.
int ReadWaiting(const IcmpSocket& socket, const ReplySink& sink) {
    ReplyGroup group(sink);
    const int error = socket.Drain([&group](EngineReply&& reply) { group.Add(std::move(reply)); });
    group.Flush();
    return error;
}

}  // namespace

void ReportSocketError(std::string_view step, int error, const ErrorSink& sink) {
    if (sink) sink(SocketErrorText(step, error));
}

void SeedStartOffsets(uint32_t seed) {
    OffsetGenerator& g = Generator();
    std::lock_guard guard(g.lock);
    g.engine.seed(seed);
}

size_t DrawStartOffset(size_t count) {
    OffsetGenerator& g = Generator();
    std::lock_guard guard(g.lock);
    return std::uniform_int_distribution<size_t>(0, count - 1)(g.engine);
}

int PingSenderThread(std::shared_ptr<const IcmpSocket> socket,
                     const std::vector<uint32_t>* addresses, SendTimes* times, ErrorSink onError,
                     ReplyHandover* handover) {
    NamedEvent stop = NamedEvent::Open(kStopPingEvent);
    NamedEvent gate = NamedEvent::Open(kModifyListEvent);
    if (!stop || !gate) return 1;  // the program is ending: its events are gone
    const NamedEvent* waitFor[] = {&stop, &gate};
    if (NamedEvent::WaitAny(waitFor) != 1) return 0;  // stopped before the round began

    int failure = 0;
    {
        GateHold hold(gate);
        const size_t count = addresses->size();
        const size_t start = count > 0 ? DrawStartOffset(count) : 0;
        // Beyond a few hundred hosts requests go out in batches, one system call each: at
        // thousands of hosts a round costs far less. Below that each request is sent alone,
        // so that its send time is its own and not a share of a batch's.
        // stop_ping is still looked at before every request joins a batch.
        constexpr size_t kBatch = 256;
        constexpr size_t kAloneUpTo = 256;
        const size_t batch = count <= kAloneUpTo ? 1 : kBatch;
        SenderReading reading(batch > 1 ? handover : nullptr);
        bool reads = reading.Sink() != nullptr;
        std::array<EchoRequest, kBatch> requests;
        std::array<uint32_t, kBatch> targets;
        std::array<uint32_t, kBatch> ticks;
        size_t i = 0;
        bool stopped = false;
        while (i < count && !stopped && failure == 0) {
            size_t filled = 0;
            for (; filled < batch && i + filled < count; ++filled) {
                if (stop.Wait(0)) {
                    stopped = true;
                    break;
                }
                targets[filled] = (*addresses)[(i + filled + start) % count];
                ticks[filled] = TickCount();
                requests[filled].Build(socket->identifier(), ticks[filled], targets[filled]);
            }
            const std::span<const uint32_t> sent(ticks.data(), filled);
            const Places places{i + start, count};
            // Stamped before the call as well: over loopback the answer may be read, and
            // timed, before the call returns.
            const int64_t before = WallClockNs();
            if (times != nullptr) StampBatch(*times, places, sent, before, before);
            socket->SendBatch(std::span(requests.data(), filled), std::span(targets.data(), filled),
                              &failure);
            // A call that paused (the thread was preempted) is not shared out: the requests
            // keep the batch's start, never a time after they really left.
            const int64_t after = WallClockNs();
            if (times != nullptr && filled > 1 && after - before <= kBatchShareSlackNs)
                StampBatch(*times, places, sent, before, after);
            i += filled;
            // A failed read is left to the receiver, which reports it once this round is out.
            if (reads) reads = ReadWaiting(*socket, *reading.Sink()) == 0;
        }
        // The gate goes back before the report: the user may keep editing the list while
        // the message waits to be read.
    }
    if (failure == 0) return 0;
    ReportSocketError("sendto()", failure, onError);
    return 1;
}

int PingReceiverThread(std::shared_ptr<const IcmpSocket> socket, ReplySink onReply,
                       ErrorSink onError, const ReplyHandover* handover) {
    NamedEvent quit = NamedEvent::Open(kQuitProgramEvent);
    if (!quit) {
        if (onError) onError("open handle error.");
        return 1;
    }
    // Primes the path: the first answer reaches the view at once, whatever the list holds.
    EchoRequest priming;
    const uint32_t loopback = htonl(INADDR_LOOPBACK);
    priming.Build(socket->identifier(), TickCount(), loopback);
    (void)socket->Send(priming, loopback);

    const int handoverFd = handover != nullptr ? handover->fd() : -1;
    pollfd fds[3] = {{socket->fd(), POLLIN, 0}, {quit.fd(), POLLIN, 0}, {handoverFd, POLLIN, 0}};
    for (;;) {
        if (quit.Wait(0)) break;
        // A negative descriptor is left out of the poll.
        fds[0].fd = handover != nullptr && handover->SenderReads() ? -1 : socket->fd();
        // Blocks until something arrives or quit_program is set: an idle monitor costs
        // nothing between rounds.
        int n = ::poll(fds, 3, -1);
        if (n < 0) {
            if (errno != EINTR) ReportSocketError("select", errno, onError);
            continue;
        }
        // Taken before the state is looked at again: a change after this wakes the next poll.
        if (fds[2].revents != 0) handover->Acknowledge();
        if (fds[0].revents == 0) continue;
        if (int error = ReadWaiting(*socket, onReply))
            ReportSocketError("recvfrom()", error, onError);
    }
    return 0;
}

}  // namespace sondrel
