#include "engine/EchoRequest.h"

#include <cstring>

namespace sondrel {
namespace {

void StoreLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void StoreLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

uint32_t LoadRaw32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint16_t InternetChecksum(std::span<const uint8_t> data) {
    uint64_t sum = 0;  // wide enough for any span, not only the 41-byte request
    size_t i = 0;
    for (; i + 1 < data.size(); i += 2) sum += LoadLe16(&data[i]);
    if (i < data.size()) sum += data[i];
    while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
    return static_cast<uint16_t>(~sum);
}

void EchoRequest::Build(uint16_t identifier, uint32_t tick, uint32_t target) {
    bytes.fill(0);
    bytes[0] = kIcmpEchoRequest;
    StoreLe16(&bytes[4], identifier);
    StoreLe32(&bytes[8], tick);
    std::memcpy(&bytes[12], &target, sizeof target);
    StoreLe16(&bytes[2], InternetChecksum(bytes));
}

}  // namespace sondrel
