#pragma once
// The engine's two kinds of thread. They share with the rest of the program only the named
// events (stop_ping, modify_list, quit_program, which must exist before a thread starts),
// the socket, and the address array behind the modify_list gate.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ReplyHandover.h"

namespace sondrel {

class IcmpSocket;
class SendTimes;
struct EngineReply;

// Receives texts the user must see ("sendto() WSAError 101", "open handle error.").
// Called on the failing engine thread, which waits for it to return, as it would for a
// message box; it may block until the box is closed.
using ErrorSink = std::function<void(std::string text)>;

// Hands "%s WSAError %d" for a failed step to the sink.
void ReportSocketError(std::string_view step, int error, const ErrorSink& sink);

// The one generator every sender draws its start offset from; seeded once at set-up.
void SeedStartOffsets(uint32_t seed);
// A start offset in [0, count); count must be positive.
size_t DrawStartOffset(size_t count);

// One round: waits for stop_ping or the modify_list gate; holding the gate, sends one
// request to every address of *addresses, from a random start wrapping round, checking
// stop_ping before each send; gives the gate back on every path that took it. A failed
// send ends the round and reports "sendto()". Returns 0, or 1 after a failed send.
// *addresses is read only while the gate is held, so it may change between rounds.
// Each request's send time goes to *times (when given) at its place in *addresses.
// With a handover, a round of more than a few hundred hosts reads the replies waiting after
// each batch and hands them to the handover's sink; the receiver meanwhile leaves them.
int PingSenderThread(std::shared_ptr<const IcmpSocket> socket,
                     const std::vector<uint32_t>* addresses, SendTimes* times, ErrorSink onError,
                     ReplyHandover* handover = nullptr);

// Runs until quit_program is set: sends the priming request to 127.0.0.1, then blocks in
// poll() on the socket and quit_program together, reads everything waiting each time it
// wakes, and hands the kept answers to onReply. While the handover (when given) says a sender
// reads, it waits for that to end instead of watching the socket. Returns 0, or 1 when
// quit_program cannot be opened ("open handle error." to onError).
int PingReceiverThread(std::shared_ptr<const IcmpSocket> socket, ReplySink onReply,
                       ErrorSink onError, const ReplyHandover* handover = nullptr);

}  // namespace sondrel
