// Reads arbitrary bytes as address.dat and looks up addresses around every range read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "details/LocationDb.h"

namespace {

// A match must come from a range that holds the address.
void CheckLookup(const sondrel::LocationTable& table, uint32_t addr) {
    std::string location = "\x01";
    std::string detail = "\x01";
    if (!sondrel::FindLocation(table, addr, location, detail)) {
        if (location != "\x01" || detail != "\x01") std::abort();
        return;
    }
    bool held = false;
    for (const sondrel::LocationRecord& r : table) {
        if (addr >= r.startAddr && addr <= r.endAddr && r.location == location) held = true;
        for (const sondrel::LocationRecord& c : r.children)
            if (addr >= c.startAddr && addr <= c.endAddr && c.location == location) held = true;
    }
    if (!held) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string_view head = bytes.substr(0, 64);
    uint32_t loose = sondrel::DottedToNumber(head);
    if (auto strict = sondrel::ParseDottedAddress(head); strict && *strict != loose) std::abort();

    sondrel::LocationTable table = sondrel::ParseLocationTable(bytes);
    if (table.size() > size / sondrel::kAddressDatRecordSize) std::abort();
    for (const sondrel::LocationRecord& r : table) {
        if (r.location.size() > 12 || r.detail.size() > 46) std::abort();
        for (uint32_t a : {r.startAddr, r.endAddr, r.startAddr - 1, r.endAddr + 1})
            CheckLookup(table, a);
        for (const sondrel::LocationRecord& c : r.children)
            for (uint32_t a : {c.startAddr, c.endAddr}) CheckLookup(table, a);
    }
    return 0;
}
