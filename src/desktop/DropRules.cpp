#include "desktop/DropRules.h"

#include <cctype>

namespace sondrel {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view UpToNul(std::string_view text) {
    const std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           StartsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// %XX decoding; a '%' not followed by two hex digits stands for itself.
std::string PercentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

DropEffect DragEnterEffect(bool offersText, bool ctrlDown) {
    if (!offersText) {
        return DropEffect::None;
    }
    return ctrlDown ? DropEffect::Copy : DropEffect::Move;
}

DropEffect DragOverEffect(bool offersText, bool ctrlDown) {
    if (!offersText || ctrlDown) {
        return DropEffect::None;
    }
    return DropEffect::Move;
}

std::optional<std::string> FirstUriListLink(std::string_view uriList) {
    while (!uriList.empty()) {
        const std::size_t end = uriList.find('\n');
        std::string_view line = uriList.substr(0, end);
        uriList = end == std::string_view::npos ? std::string_view() : uriList.substr(end + 1);
        line = Trimmed(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        return std::string(line);
    }
    return std::nullopt;
}

std::optional<std::string> DroppedText(std::optional<std::string_view> uriList,
                                       std::optional<std::string_view> plainText) {
    if (uriList) {
        if (auto link = FirstUriListLink(UpToNul(*uriList))) {
            return link;
        }
    }
    if (plainText) {
        const std::string_view text = Trimmed(UpToNul(*plainText));
        if (!text.empty()) {
            return std::string(text);
        }
    }
    return std::nullopt;
}

std::optional<std::string> ListFileOfLink(std::string_view link) {
    constexpr std::string_view kScheme = "file://";
    if (!StartsWithNoCase(link, kScheme)) {
        return std::nullopt;
    }
    std::string_view rest = link.substr(kScheme.size());
    // file:///path or file://localhost/path; any other host is another machine's file.
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost"))) {
        return std::nullopt;
    }
    std::string_view path = rest.substr(slash);
    // A query or fragment is not part of a file's name.
    path = path.substr(0, path.find_first_of("?#"));
    std::string decoded = PercentDecoded(path);
    if (decoded.find('\0') != std::string::npos || !EndsWithNoCase(decoded, ".ipl")) {
        return std::nullopt;
    }
    return decoded;
}

}  // namespace sondrel
