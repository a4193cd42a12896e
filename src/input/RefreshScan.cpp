#include "input/RefreshScan.h"

namespace sondrel {

std::string LowerPage(std::string_view page) {
    std::string lowered(page);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

std::optional<std::string> ScanRefresh(std::string_view page) {
    const std::string lowered = LowerPage(page);
    const std::string_view text(lowered);
    if (text.find("http-equiv") == std::string_view::npos ||
        text.find("refresh") == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t marker = text.find("url=");
    if (marker == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t start = marker + 4;
    const std::size_t quote = text.find('"', start);
    // Without a closing quote the target is empty, and an empty target is never followed.
    const std::string_view target =
        quote == std::string_view::npos ? std::string_view() : text.substr(start, quote - start);
    if (target.find("http://") == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(target);
}

}  // namespace sondrel
