#pragma once
// The short texts the engine hands to the view for every answer: an echo reply's
// "ttl=…,time=…,bytes=32", or the sender's address, a colon and what went wrong.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sondrel {

// Reply texts fit the 256-byte block the view has always been given: at most 255 characters.
inline constexpr size_t kMaxReplyText = 255;

// Dotted-quad text of an address held in network order.
std::string AddressToText(uint32_t address);

// The text for an ICMP error type and code, or nullptr when the pair has none (then the
// reply reads "unknown icmp code %d with type %d").
const char* IcmpCodeText(uint8_t type, uint8_t code);

// What one kept ICMP message says. `source` is the sender of the message (the host for an
// echo reply, the reporting router for an error), network order. For an echo reply the
// round-trip time is nowTick - echoedTick as an unsigned 32-bit difference: the echoed tick
// comes back from the wire and is not trusted to be earlier than now.
struct IcmpOutcome {
    uint8_t type = 0;
    uint8_t code = 0;
    uint32_t source = 0;
    int ttl = 0;
    uint32_t echoedTick = 0;
};
std::string FormatReplyText(const IcmpOutcome& outcome, uint32_t nowTick);

// "%s WSAError %d" for a failed socket step, with the system error number.
std::string SocketErrorText(std::string_view step, int error);

}  // namespace sondrel
