#include "details/LogFileName.h"

#include <cctype>

namespace sondrel {

namespace {

bool FitsInFileName(char c) {
    constexpr std::string_view kReserved = "/\\:*?\"<>|";
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte != 0x7F && kReserved.find(c) == std::string_view::npos;
}

bool EndsInLogSuffix(std::string_view name) {
    if (name.size() < kLogSuffix.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - kLogSuffix.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != kLogSuffix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string ProposedLogName(std::string_view hostText) {
    std::string name(hostText);
    for (char& c : name) {
        if (!FitsInFileName(c)) {
            c = '_';
        }
    }
    return WithLogSuffix(name);
}

std::string WithLogSuffix(std::string_view chosen) {
    std::string name(chosen);
    if (!EndsInLogSuffix(name)) {
        name += kLogSuffix;
    }
    return name;
}

}  // namespace sondrel
