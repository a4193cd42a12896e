// Whatever a user types, and whatever a range dialog holds, the parse ends with a clear
// outcome. Lookups and page fetches are stand-ins here: no traffic leaves the process.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "input/AddressGroups.h"
#include "input/TypedAddress.h"
#include "platform/Resolver.h"

namespace {

// Knows a name when its length is even, so both branches are reachable from any input.
class ParityResolver final : public sondrel::Resolver {
public:
    std::optional<std::uint32_t> LookupName(const std::string& name) override {
        if (name.empty() || name.size() % 2 != 0) return std::nullopt;
        return static_cast<std::uint32_t>(name.size() * 2654435761u);
    }
    std::optional<std::string> LookupAddress(std::uint32_t) override { return std::nullopt; }
};

void CheckTyped(const std::string& text) {
    ParityResolver resolver;
    const auto result = sondrel::ParseTypedAddress(
        text, resolver, [](const std::string& url) { return url.substr(url.size() > 7 ? 7 : 0); });
    if (result.ok && result.named && result.name != text) std::abort();
    if (result.ok && !result.named && !result.name.empty()) std::abort();
    if (!result.ok &&
        (result.messages.empty() || result.messages.back() != sondrel::kInvalidAddressIgnored)) {
        std::abort();
    }
}

void CheckGroup(const std::string& start, const std::string& end) {
    const sondrel::GroupPlan plan = sondrel::PlanGroup(start, end);
    if (plan.addresses.size() > 256) std::abort();
    if (!plan.refusal.empty() && (!plan.addresses.empty() || plan.stoppedByInputError)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckTyped(text);
    // The same bytes as a start and an end text, split at the first newline.
    const std::size_t cut = text.find('\n');
    if (cut != std::string::npos) {
        CheckGroup(text.substr(0, cut), text.substr(cut + 1));
    }
    return 0;
}
