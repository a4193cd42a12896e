#include "model/AddressArray.h"

#include <algorithm>

namespace sondrel {

void AppendAddress(AddressArray& addresses, uint32_t address) { addresses.push_back(address); }

bool RemoveAddress(AddressArray& addresses, uint32_t address) {
    auto it = std::find(addresses.begin(), addresses.end(), address);
    if (it == addresses.end()) return false;
    addresses.erase(it);
    return true;
}

}  // namespace sondrel
