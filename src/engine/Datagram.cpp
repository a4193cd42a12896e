#include "engine/Datagram.h"

#include <algorithm>

#include "engine/EchoRequest.h"
#include "engine/ReplyText.h"

namespace sondrel {
namespace {

constexpr size_t kMinIpHeader = 20;
constexpr size_t kEchoHeader = 8;   // type, code, checksum, identifier, sequence
constexpr size_t kEchoFields = 16;  // … then the echoed time stamp and target
constexpr uint8_t kProtocolIcmp = 1;

bool IsErrorType(uint8_t type) {
    return type == kIcmpUnreachable || type == kIcmpTimeExceeded || type == kIcmpParameterProblem;
}

// Header length of the IPv4 header at the start of `bytes`, or 0 when it is not one that
// can be read whole.
size_t IpHeaderLength(std::span<const uint8_t> bytes) {
    if (bytes.size() < kMinIpHeader) return 0;
    if ((bytes[0] >> 4) != 4) return 0;
    size_t length = static_cast<size_t>(bytes[0] & 0x0F) * 4;
    if (length < kMinIpHeader || length > bytes.size()) return 0;
    return length;
}

std::optional<EngineReply> EchoReply(std::span<const uint8_t> icmp, int ttl, uint32_t nowTick) {
    if (icmp.size() < kEchoFields) return std::nullopt;
    EngineReply reply;
    reply.host = reply.source = LoadRaw32(&icmp[12]);
    reply.type = kIcmpEchoReply;
    reply.code = icmp[1];
    reply.ttl = static_cast<uint8_t>(std::clamp(ttl, 0, 255));
    reply.echoedTick = LoadLe32(&icmp[8]);
    reply.nowTick = nowTick;
    return reply;
}

}  // namespace

std::optional<EngineReply> ReadRawDatagram(std::span<const uint8_t> datagram, uint16_t identifier,
                                           uint32_t nowTick) {
    size_t outer = IpHeaderLength(datagram);
    if (outer == 0) return std::nullopt;
    const uint32_t source = LoadRaw32(&datagram[12]);
    const int ttl = datagram[8];
    std::span<const uint8_t> icmp = datagram.subspan(outer);
    if (icmp.size() < kEchoHeader) return std::nullopt;
    const uint8_t type = icmp[0];

    if (type == kIcmpEchoReply) {
        if (icmp.size() < kEchoFields || LoadLe16(&icmp[4]) != identifier) return std::nullopt;
        return EchoReply(icmp, ttl, nowTick);
    }
    if (!IsErrorType(type)) return std::nullopt;

    // The quoted datagram: its own header (options included) and the first eight bytes of
    // what it carried, which for our requests is the echo header with our identifier.
    std::span<const uint8_t> quoted = icmp.subspan(kEchoHeader);
    size_t inner = IpHeaderLength(quoted);
    if (inner == 0 || quoted[9] != kProtocolIcmp) return std::nullopt;
    std::span<const uint8_t> request = quoted.subspan(inner);
    if (request.size() < kEchoHeader) return std::nullopt;
    if (request[0] != kIcmpEchoRequest || LoadLe16(&request[4]) != identifier) return std::nullopt;

    EngineReply reply;
    reply.host = LoadRaw32(&quoted[16]);
    reply.source = source;
    reply.type = type;
    reply.code = icmp[1];
    reply.ttl = static_cast<uint8_t>(ttl);
    reply.nowTick = nowTick;
    return reply;
}

std::optional<EngineReply> ReadPingDatagram(std::span<const uint8_t> icmp, int ttl,
                                            uint32_t nowTick) {
    if (icmp.size() < kEchoHeader || icmp[0] != kIcmpEchoReply) return std::nullopt;
    return EchoReply(icmp, ttl, nowTick);
}

std::optional<EngineReply> ReadQueuedError(const QueuedError& error) {
    if (!error.fromIcmp || !IsErrorType(error.type) || !error.destination) return std::nullopt;
    // The queue holds only this socket's own traffic; still make sure it was an echo request.
    if (error.payload.size() < kEchoHeader || error.payload[0] != kIcmpEchoRequest)
        return std::nullopt;
    EngineReply reply;
    reply.host = *error.destination;
    reply.source = error.offender.value_or(*error.destination);
    reply.type = error.type;
    reply.code = error.code;
    return reply;
}

bool EngineReply::IsEcho() const { return type == kIcmpEchoReply; }

std::string EngineReply::Text() const {
    IcmpOutcome outcome;
    outcome.type = type;
    outcome.code = code;
    outcome.source = source;
    outcome.ttl = ttl;
    outcome.echoedTick = echoedTick;
    return FormatReplyText(outcome, nowTick);
}

}  // namespace sondrel
