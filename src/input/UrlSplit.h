#pragma once
// Taking a web address apart into the pieces the address commands work with.
#include <cstdint>
#include <string>

namespace sondrel {

// Service kinds in the numbering the list commands were written against; only HTTP is
// ever acted on, everything else is "not HTTP".
enum ServiceKind : int {
    kServiceUnknown = 0,
    kServiceFtp = 1,
    kServiceHttp = 3,
    kServiceOther = 0x1000,
};

struct UrlParts {
    int serviceKind = kServiceUnknown;
    std::string host;
    // Path and query as typed ("/a/b?x=1"); "/" when the address has no path.
    std::string object;
    std::uint16_t port = 0;
    // Whether the parser accepted the text. A refused text leaves the parts above empty.
    bool accepted = false;
};

// Splits a web address with libcurl's URL parser. Schemes curl does not know are split all
// the same; text without a scheme, with blanks or with a NUL is refused.
UrlParts SplitUrl(const std::string& url);

// "http://host:port/object" for parts of an HTTP address, the form that is fetched.
// The port is always written, so what is fetched is exactly what was split.
std::string JoinHttpUrl(const UrlParts& parts);

}  // namespace sondrel
