#pragma once
// Dotted-quad text of an address held in network byte order (the inet_ntoa form).
#include <cstdint>
#include <string>

namespace sondrel {

// "a.b.c.d" from the four bytes of the address as they lie in memory.
std::string DottedQuad(uint32_t address);

// The address whose four bytes in memory are a, b, c, d (network byte order).
uint32_t AddressFromOctets(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

// K: the four bytes of the address read as a little-endian number (hashing key).
uint32_t AddressKey(uint32_t address);

}  // namespace sondrel
