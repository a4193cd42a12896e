#pragma once
// The address array the sender walks: addresses in the order they were added.
// Callers hold the gate that guards it.
#include <cstdint>
#include <vector>

namespace sondrel {

using AddressArray = std::vector<uint32_t>;

void AppendAddress(AddressArray& addresses, uint32_t address);
// Removes the first occurrence, closing the gap; false when absent.
bool RemoveAddress(AddressArray& addresses, uint32_t address);

}  // namespace sondrel
