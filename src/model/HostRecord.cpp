#include "model/HostRecord.h"

#include <algorithm>
#include <cstring>

#include "platform/AddressText.h"

namespace sondrel {

HistoryLines::HistoryLines(Lines lines) {
    if (!lines.empty()) lines_ = std::make_unique<Lines>(std::move(lines));
}

HistoryLines& HistoryLines::operator=(const HistoryLines& other) {
    if (this != &other) *this = HistoryLines(other.Get());
    return *this;
}

const HistoryLines::Lines& HistoryLines::Get() const {
    static const Lines kNone;
    return lines_ ? *lines_ : kNone;
}

void HistoryLines::push_back(std::string line) {
    if (!lines_) lines_ = std::make_unique<Lines>();
    lines_->push_back(std::move(line));
}

namespace {
unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
}  // namespace

std::string DisplayText(uint32_t address, const HostRecord& record) {
    return record.m_bNamed ? record.m_strName.Str() : DottedQuad(address);
}

int CompareRowTextIgnoringCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = Lower(static_cast<unsigned char>(a[i]));
        const unsigned char y = Lower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareRowText(std::string_view a, std::string_view b) {
    if (const int folded = CompareRowTextIgnoringCase(a, b)) return folded;
    const int bytes = std::memcmp(a.data(), b.data(), a.size());
    return bytes < 0 ? -1 : (bytes > 0 ? 1 : 0);
}

bool RowTextMatches(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(static_cast<unsigned char>(a[i])) != Lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace sondrel
