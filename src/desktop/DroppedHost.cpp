#include "desktop/DroppedHost.h"

#include <utility>

namespace sondrel {

namespace {

TypedAddress Found(std::uint32_t address, bool named, const std::string& text) {
    TypedAddress result;
    result.ok = true;
    result.address = address;
    result.named = named;
    if (named) {
        result.name = text;
    }
    return result;
}

TypedAddress NotFound() {
    TypedAddress result;
    result.messages.emplace_back(kInvalidAddressIgnored);
    return result;
}

}  // namespace

DropPlan PlanDrop(const std::string& text) {
    DropPlan plan;
    plan.text = text;
    plan.parts = SplitUrl(text);
    if (!plan.parts.accepted) {
        plan.typed = true;
        return plan;
    }
    plan.notices = DownloadRuleNotices(plan.parts);
    return plan;
}

TypedAddress LookUpDrop(const DropPlan& plan, Resolver& resolver,
                        const UrlHostResolver& resolveUrlHost) {
    if (plan.typed) {
        return ParseTypedAddress(plan.text, resolver, resolveUrlHost);
    }
    const std::string& server = plan.parts.host;
    const std::uint32_t dotted = InetAddr(server);
    if (dotted != kInaddrNone) {
        return Found(dotted, false, plan.text);
    }
    std::string name = server;
    if (plan.parts.serviceKind == kServiceHttp && resolveUrlHost) {
        name = resolveUrlHost("http://" + server);
        const std::uint32_t resolvedDotted = InetAddr(name);
        if (resolvedDotted != kInaddrNone) {
            return Found(resolvedDotted, true, plan.text);
        }
    }
    if (name.empty()) {
        return NotFound();
    }
    if (auto found = resolver.LookupName(name)) {
        return Found(*found, true, plan.text);
    }
    return NotFound();
}

}  // namespace sondrel
