// Typed and fetched web addresses go through the URL split and the download rule.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "input/TypedAddress.h"
#include "input/UrlSplit.h"

namespace {

// The same host to a connection: equal texts, or numeric forms naming one address (the URL
// parser writes "3" out as "0.0.0.3" when typed, but not when it arrives percent-encoded).
bool SameHost(const std::string& a, const std::string& b) {
    in_addr x{}, y{};
    return a == b ||
           (::inet_aton(a.c_str(), &x) && ::inet_aton(b.c_str(), &y) && x.s_addr == y.s_addr);
}

}  // namespace

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
        if (!again.accepted || !SameHost(again.host, parts.host) || again.port != parts.port)
            std::abort();
    }
    // The rule must end whatever the object holds; each round shortens the object.
    const std::size_t before = parts.object.size();
    const int applied = sondrel::ApplyDownloadRule(parts);
    if (applied < 0 || static_cast<std::size_t>(applied) > before) std::abort();
    return 0;
}
