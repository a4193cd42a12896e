#include "input/AddressGroups.h"

#include <climits>
#include <cstdio>
#include <utility>

#include "model/ReplyRules.h"
#include "platform/Resolver.h"

namespace sondrel {
namespace {

std::string NumberText(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", value);
    return buffer;
}

}  // namespace

GroupPlan PlanGroup(const std::string& startText, const std::string& endText) {
    GroupPlan plan;
    if (startText.empty() || endText.empty()) {
        return plan;
    }
    const std::size_t startDot = startText.rfind('.');
    const std::size_t endDot = endText.rfind('.');
    if (startDot == std::string::npos || endDot == std::string::npos) {
        plan.refusal = kGroupInputErrorIgnored;
        return plan;
    }
    const std::string prefix = startText.substr(0, startDot + 1);
    if (prefix != endText.substr(0, endDot + 1)) {
        plan.refusal = kGroupOneNetOnly;
        return plan;
    }
    int low = ReadLikeAtoi(std::string_view(startText).substr(startDot + 1));
    int high = ReadLikeAtoi(std::string_view(endText).substr(endDot + 1));
    if (low > high) {
        std::swap(low, high);
    }
    if (high > 255) {
        high = 255;
    }
    if (low < 0) {
        low = 0;
    }
    for (int i = low; i <= high; ++i) {
        const std::uint32_t address = InetAddr(prefix + NumberText(i));
        if (address == kInaddrNone) {
            plan.stoppedByInputError = true;
            break;
        }
        plan.addresses.push_back(address);
    }
    return plan;
}

std::string EndFieldPrefill(std::string_view startText) {
    const std::size_t dot = startText.rfind('.');
    if (startText.empty() || dot == std::string_view::npos) {
        return {};
    }
    return std::string(startText.substr(0, dot + 1));
}

}  // namespace sondrel
