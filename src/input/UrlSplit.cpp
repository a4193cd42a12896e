#include "input/UrlSplit.h"

#include <cstdlib>
#include <memory>
#include <string_view>

#include "input/CurlLibrary.h"

namespace sondrel {
namespace {

struct CurlUrlFree {
    void operator()(CURLU* handle) const { Curl()->urlCleanup(handle); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlFree>;

struct CurlStringFree {
    void operator()(char* text) const { Curl()->free(text); }
};
using CurlString = std::unique_ptr<char, CurlStringFree>;

// One part of a parsed address; empty when the address lacks it.
std::string GetPart(CURLU* handle, CURLUPart what, unsigned flags = 0) {
    char* raw = nullptr;
    if (Curl()->urlGet(handle, what, &raw, flags) != CURLUE_OK || raw == nullptr) {
        return {};
    }
    CurlString text(raw);
    return std::string(text.get());
}

int KindOfScheme(std::string_view scheme) {
    if (scheme == "http") {
        return kServiceHttp;
    }
    if (scheme == "ftp") {
        return kServiceFtp;
    }
    return kServiceOther;
}

}  // namespace

UrlParts SplitUrl(const std::string& url) {
    UrlParts parts;
    const CurlLibrary* curl = url.find('\0') == std::string::npos ? Curl() : nullptr;
    if (curl == nullptr) {
        return parts;
    }
    CurlUrl handle(curl->url());
    if (!handle) {
        return parts;
    }
    // Keep the path exactly as typed ("/a/../b" stays), and split addresses of any scheme.
    const unsigned setFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS;
    if (curl->urlSet(handle.get(), CURLUPART_URL, url.c_str(), setFlags) != CURLUE_OK) {
        return parts;
    }
    parts.accepted = true;
    parts.serviceKind = KindOfScheme(GetPart(handle.get(), CURLUPART_SCHEME));
    parts.host = GetPart(handle.get(), CURLUPART_HOST);
    parts.object = GetPart(handle.get(), CURLUPART_PATH);
    if (parts.object.empty()) {
        // push_back, not = "/": GCC 12 misreads that assignment at -O2 as an overlapping copy.
        parts.object.push_back('/');
    }
    char* rawQuery = nullptr;
    // An empty query ("/p?") is kept: the object carries the query text as typed.
    if (curl->urlGet(handle.get(), CURLUPART_QUERY, &rawQuery, 0) == CURLUE_OK && rawQuery) {
        CurlString query(rawQuery);
        parts.object += '?';
        parts.object += query.get();
    }
    const std::string port = GetPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!port.empty()) {
        const long value = std::strtol(port.c_str(), nullptr, 10);
        if (value > 0 && value <= 65535) {
            parts.port = static_cast<std::uint16_t>(value);
        }
    }
    return parts;
}

std::string JoinHttpUrl(const UrlParts& parts) {
    // The host comes back from the parser percent-decoded, and the parser also takes a '%'
    // that starts no escape as itself ("%%33" is "%3"). Written back bare, such a '%' would
    // start an escape and name another host, so it goes out as "%25".
    std::string url = "http://";
    for (const char c : parts.host) {
        url += c == '%' ? std::string_view("%25") : std::string_view(&c, 1);
    }
    // Always explicit: an address that named port 0 must not quietly become port 80.
    url += ':' + std::to_string(parts.port);
    url += parts.object.empty() ? std::string("/") : parts.object;
    return url;
}

}  // namespace sondrel
