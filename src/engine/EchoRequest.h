#pragma once
// The 41-byte ICMP echo request the engine sends, and the checksum it carries.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace sondrel {

inline constexpr size_t kEchoRequestSize = 41;
inline constexpr uint8_t kIcmpEchoReply = 0;
inline constexpr uint8_t kIcmpUnreachable = 3;
inline constexpr uint8_t kIcmpEchoRequest = 8;
inline constexpr uint8_t kIcmpTimeExceeded = 11;
inline constexpr uint8_t kIcmpParameterProblem = 12;

// Layout: type, code, checksum, identifier, sequence (0), time stamp, target, 25 zero bytes.
// Identifier and time stamp are little-endian; the target stays in network order, so the
// reply carries back the very value the sender read from the address array.
struct EchoRequest {
    std::array<uint8_t, kEchoRequestSize> bytes{};

    // Rewrites the whole buffer in place; no allocation, so a round can reuse one request.
    void Build(uint16_t identifier, uint32_t tick, uint32_t target);
};

// The Internet checksum (RFC 1071) with the data read as little-endian 16-bit words; an odd
// last byte counts as a word whose high byte is zero. Store the result little-endian.
uint16_t InternetChecksum(std::span<const uint8_t> data);

// Little-endian field access shared by the request writer and the datagram reader.
inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
// Four bytes exactly as they lie in memory (an address in network order stays so).
uint32_t LoadRaw32(const uint8_t* p);

}  // namespace sondrel
