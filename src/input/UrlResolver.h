#pragma once
// Following page-level refresh orders from a web address to the host that really serves it.
#include <string>

namespace sondrel {

// The most pages fetched in one resolution, the given address included.
inline constexpr int MAX_URL_HOPS = 3;
inline constexpr char kHttpUserAgent[] = "Orvane--Sondrel";
inline constexpr char kHttpAcceptHeader[] = "Accept: text/*";

// Time limits of one page fetch. A resolution makes at most MAX_URL_HOPS fetches, so it ends
// within MAX_URL_HOPS * pageMs however the servers behave.
struct HttpTimeLimits {
    long connectMs = 5000;
    long pageMs = 10000;
};

// Fetches the page of an "http://" address and, while the page orders a refresh to another
// "http://" address, follows it. Returns the host of the last address that was worked on.
// Nothing is reported: any failure (status other than 200, no connection, time limit, a
// target the URL parser refuses) ends the walk at the host reached so far. Blocks; safe to
// call from any thread (each call has its own session).
std::string ResolveUrlHost(const std::string& url, const HttpTimeLimits& limits = {});

}  // namespace sondrel
