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
    // Written by hand: every reply of a round looks its row up by this text, and a million
    // calls to a formatting function a round showed in the profile.
    char buf[16];
    char* p = buf;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) *p++ = '.';
        const unsigned v = o[i];
        if (v >= 100) *p++ = static_cast<char>('0' + v / 100);
        if (v >= 10) *p++ = static_cast<char>('0' + v / 10 % 10);
        *p++ = static_cast<char>('0' + v % 10);
    }
    return std::string(buf, static_cast<size_t>(p - buf));
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
