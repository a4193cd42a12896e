#include "input/TypedAddress.h"

#include <string_view>

namespace sondrel {
namespace {

TypedAddress Refused(TypedAddress result) {
    result.ok = false;
    result.messages.emplace_back(kInvalidAddressIgnored);
    return result;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

int ApplyDownloadRule(UrlParts& parts) {
    int applied = 0;
    while (Contains(parts.object, "url=") && Contains(parts.object, "download")) {
        ++applied;
        const std::size_t p = parts.object.find("url=");
        std::size_t e = parts.object.find('&', p);
        if (e == std::string::npos) {
            e = parts.object.size();
        }
        UrlParts next = SplitUrl(parts.object.substr(p + 4, e - (p + 4)));
        // The new object is cut from the old one, so it is shorter unless the parser added
        // a path of its own; requiring it keeps the loop finite whatever the parser does.
        if (!next.accepted || next.object.size() >= parts.object.size()) {
            break;
        }
        parts = std::move(next);
    }
    return applied;
}

std::vector<std::string> DownloadRuleNotices(UrlParts& parts) {
    return std::vector<std::string>(static_cast<std::size_t>(ApplyDownloadRule(parts)),
                                    kDownloadUrlInstead);
}

TypedPlan PlanTypedAddress(const std::string& text, Resolver& resolver) {
    TypedPlan plan;
    plan.text = text;
    TypedAddress result;
    const std::uint32_t dotted = InetAddr(text);
    if (dotted != kInaddrNone) {
        result.ok = true;
        result.address = dotted;
        plan.decided = std::move(result);
        return plan;
    }
    if (auto found = resolver.LookupName(text)) {
        result.ok = true;
        result.address = *found;
        result.named = true;
        result.name = text;
        plan.decided = std::move(result);
        return plan;
    }
    if (!Contains(text, "//")) {
        plan.decided = Refused(std::move(result));
        return plan;
    }
    plan.parts = SplitUrl(text);
    plan.notices = DownloadRuleNotices(plan.parts);
    return plan;
}

TypedAddress ResolveTypedPlan(const TypedPlan& plan, Resolver& resolver,
                              const UrlHostResolver& resolveUrlHost) {
    if (plan.decided) {
        return *plan.decided;
    }
    TypedAddress result;
    std::string host = plan.parts.host;
    // Only the host travels: resolution starts at its root page on the standard port.
    if (plan.parts.serviceKind == kServiceHttp && resolveUrlHost) {
        host = resolveUrlHost("http://" + host);
    }
    const std::uint32_t hostDotted = InetAddr(host);
    if (hostDotted != kInaddrNone) {
        result.ok = true;
        result.address = hostDotted;
        return result;
    }
    if (auto found = resolver.LookupName(host)) {
        result.ok = true;
        result.address = *found;
        result.named = true;
        result.name = plan.text;
        return result;
    }
    return Refused(std::move(result));
}

TypedAddress ParseTypedAddress(const std::string& text, Resolver& resolver,
                               const UrlHostResolver& resolveUrlHost) {
    const TypedPlan plan = PlanTypedAddress(text, resolver);
    TypedAddress result = ResolveTypedPlan(plan, resolver, resolveUrlHost);
    result.messages.insert(result.messages.begin(), plan.notices.begin(), plan.notices.end());
    return result;
}

}  // namespace sondrel
