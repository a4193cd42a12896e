#pragma once
// From the text of a drop to the host it names: the URL reduction and the lookups. Two
// steps, so that the shell can show the reduction's messages first and run the lookups off
// the window thread; the host is then added as a typed one is (AddTypedHost).
#include <cstdint>
#include <string>
#include <vector>

#include "input/TypedAddress.h"
#include "input/UrlSplit.h"
#include "platform/Resolver.h"

namespace sondrel {

// What a drop is going to look up.
struct DropPlan {
    std::string text;  // the dropped text; the name of a host found by name
    // Text the URL parser does not take (no scheme: a bare address or name) goes the way of
    // a typed address; a web address goes the way of a dropped link.
    bool typed = false;
    UrlParts parts;  // after the download rule (links only)
    // Boxes to show before anything is looked up: one per use of the download rule.
    std::vector<std::string> notices;
};

// Splits the text as a web address and applies the download rule. No lookups.
DropPlan PlanDrop(const std::string& text);

// The lookups of a planned drop. A link's numeric server part is used as it is, unnamed; an
// HTTP server is first resolved through its page refreshes; any other server is looked up by
// name. Found by name means named, with the whole dropped text as the name. On failure
// messages holds "Invalid address.Ignored.". Blocks; safe on any thread when the resolver and
// the URL resolution are.
TypedAddress LookUpDrop(const DropPlan& plan, Resolver& resolver,
                        const UrlHostResolver& resolveUrlHost);

}  // namespace sondrel
