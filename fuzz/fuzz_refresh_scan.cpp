// Pages from web servers are outside bytes: the refresh scan must cope with any of them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "input/RefreshScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const auto target = sondrel::ScanRefresh(page);
    if (target) {
        // A followed target is a lower-case piece of the page between "url=" and a quote.
        if (target->find("http://") == std::string::npos ||
            target->find('"') != std::string::npos || target->size() + 4 > size) {
            std::abort();
        }
        for (char c : *target) {
            if (c >= 'A' && c <= 'Z') std::abort();
        }
    }
    return 0;
}
