#include "platform/AddressText.h"

#include <cstdio>
#include <cstring>

namespace sondrel {

namespace {
void Octets(uint32_t address, uint8_t out[4]) { std::memcpy(out, &address, 4); }
}  // namespace

std::string DottedQuad(uint32_t address) {
    uint8_t o[4];
    Octets(address, o);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
    return buf;
}

uint32_t AddressFromOctets(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t o[4] = {a, b, c, d};
    uint32_t address;
    std::memcpy(&address, o, 4);
    return address;
}

uint32_t AddressKey(uint32_t address) {
    uint8_t o[4];
    Octets(address, o);
    return uint32_t{o[0]} | uint32_t{o[1]} << 8 | uint32_t{o[2]} << 16 | uint32_t{o[3]} << 24;
}

}  // namespace sondrel
