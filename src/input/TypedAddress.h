#pragma once
// Turning the text a user typed (dotted address, domain name or web address) into a host.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "input/UrlSplit.h"
#include "platform/Resolver.h"

namespace sondrel {

inline constexpr char kInvalidAddressIgnored[] = "Invalid address.Ignored.";
inline constexpr char kDownloadUrlInstead[] = "We will add the download url instead.";

// Web address -> host that serves it (ResolveUrlHost, or a stand-in).
using UrlHostResolver = std::function<std::string(const std::string& url)>;

struct TypedAddress {
    bool ok = false;
    std::uint32_t address = 0;  // network byte order
    bool named = false;
    std::string name;  // the whole typed text when named
    // Boxes to show, in order ("We will add the download url instead." once per use of the
    // download rule, then possibly "Invalid address.Ignored.").
    std::vector<std::string> messages;
};

// The download rule: while the object names a download page carrying "url=", the web address
// after "url=" (up to the next "&") replaces the current parts. It ends when the value is
// not a web address the parser accepts; the parts reached so far are then kept. Returns how
// often the rule applied (one message each).
int ApplyDownloadRule(UrlParts& parts);
// The rule applied, as the notices to show: kDownloadUrlInstead once per use.
std::vector<std::string> DownloadRuleNotices(UrlParts& parts);

// ParseTypedAddress in two steps, so that a window can show the download notices before the
// host is resolved. The plan holds the result already when the text is a dotted address or a
// name, or is refused without holding "//"; otherwise the web address's parts after the
// download rule. Planning blocks on the name lookup of the whole text; resolving on the page
// fetches and the host's lookup. Both are safe on any thread when the lookups are.
struct TypedPlan {
    std::string text;
    std::optional<TypedAddress> decided;
    UrlParts parts;
    std::vector<std::string> notices;  // "We will add the download url instead." per use
};
TypedPlan PlanTypedAddress(const std::string& text, Resolver& resolver);
TypedAddress ResolveTypedPlan(const TypedPlan& plan, Resolver& resolver,
                              const UrlHostResolver& resolveUrlHost);

// Dotted address, then name lookup of the whole text, then (only for text holding "//") the
// web address: download rule, refresh resolution of an HTTP host, conversion of the host.
// Blocking: lookups and page fetches happen inside. Safe on any thread when the resolver and
// the URL resolution are.
TypedAddress ParseTypedAddress(const std::string& text, Resolver& resolver,
                               const UrlHostResolver& resolveUrlHost);

}  // namespace sondrel
