// Typed and fetched web addresses go through the URL split and the download rule.
#include "input/TypedAddress.h"
#include "input/UrlSplit.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size);
    sondrel::UrlParts parts = sondrel::SplitUrl(url);
    if (!parts.accepted) {
        if (!parts.host.empty() || !parts.object.empty() || parts.port != 0) std::abort();
        return 0;
    }
    if (parts.object.empty() || parts.object[0] != '/') std::abort();
    if (parts.serviceKind == sondrel::kServiceHttp && !parts.host.empty()) {
        // What is fetched must split to the same place.
        const sondrel::UrlParts again = sondrel::SplitUrl(sondrel::JoinHttpUrl(parts));
        if (!again.accepted || again.host != parts.host || again.port != parts.port) std::abort();
    }
    // The rule must end whatever the object holds; each round shortens the object.
    const std::size_t before = parts.object.size();
    const int applied = sondrel::ApplyDownloadRule(parts);
    if (applied < 0 || static_cast<std::size_t>(applied) > before) std::abort();
    return 0;
}
