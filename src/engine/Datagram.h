#pragma once
// Reading what arrives on the engine's ICMP socket. Every reader is a pure function over the
// received bytes: it checks the length before each field it reads and ignores (nullopt)
// anything it cannot read whole, since these bytes come from the network.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sondrel {

// A kept answer, as read: who it answers and what it says. Its text is made only where it is
// shown, so that a million answers a round cross between threads without a string each.
struct EngineReply {
    uint32_t host = 0;        // the host the request went to, network order
    uint32_t source = 0;      // who sent the ICMP message (a router for errors), network order
    uint32_t echoedTick = 0;  // echo replies: the tick the request carried back
    uint32_t nowTick = 0;     // the tick when it was read
    int64_t receivedNs = 0;   // when the kernel took it in (CLOCK_REALTIME); 0: not known
    uint8_t type = 0, code = 0;
    uint8_t ttl = 0;

    bool IsEcho() const;
    // "ttl=…,time=…,bytes=32" or the error's text, the round-trip time from the ticks.
    std::string Text() const;
};

// A raw socket delivers the IPv4 header and then the ICMP message. Kept: echo replies that
// carry `identifier`, and errors (types 3, 11, 12) that quote an echo request of ours.
// The quoted request's identifier is found behind the quoted header's own length.
std::optional<EngineReply> ReadRawDatagram(std::span<const uint8_t> datagram, uint16_t identifier,
                                           uint32_t nowTick);

// A datagram ("ping") socket delivers the ICMP message alone; the kernel has already matched
// the identifier it chose, and the time-to-live comes in a control message.
std::optional<EngineReply> ReadPingDatagram(std::span<const uint8_t> icmp, int ttl,
                                            uint32_t nowTick);

// One entry of a datagram socket's error queue, taken apart from its control message.
struct QueuedError {
    bool fromIcmp = false;  // the error's origin is an ICMP message (not a local failure)
    uint8_t type = 0;
    uint8_t code = 0;
    std::optional<uint32_t> offender;     // who sent the ICMP message, network order
    std::optional<uint32_t> destination;  // where the failed request went (the host)
    std::span<const uint8_t> payload;     // the request that failed, from its ICMP header on
};

// Errors that answer one of our echo requests give the same texts as on a raw socket.
std::optional<EngineReply> ReadQueuedError(const QueuedError& error);

}  // namespace sondrel
