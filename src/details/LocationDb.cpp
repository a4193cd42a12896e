#include "details/LocationDb.h"

#include <array>
#include <cstdio>
#include <memory>

#include "platform/Paths.h"

namespace sondrel {

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads up to four decimal numbers separated by dots the way "%d.%d.%d.%d" does: each
// number may follow white space and a sign; reading stops at the first character that does
// not fit. Returns how many numbers were read. Values wrap instead of overflowing.
int ScanOctets(std::string_view text, std::array<int64_t, 4>& octets) {
    size_t i = 0;
    int read = 0;
    for (; read < 4; ++read) {
        if (read > 0) {
            if (i >= text.size() || text[i] != '.') break;
            ++i;
        }
        while (i < text.size() && IsSpace(text[i])) ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        if (i >= text.size() || !IsDigit(text[i])) break;
        uint64_t value = 0;
        bool huge = false;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            value = value * 10 + static_cast<uint64_t>(text[i] - '0');
            if (value > 0xFFFFFFFFu) huge = true, value &= 0xFFFFFFFFu;
        }
        int64_t v = static_cast<int64_t>(value);
        octets[read] = huge ? -1 : (negative ? -v : v);
    }
    return read;
}

uint32_t Combine(const std::array<int64_t, 4>& o) {
    auto u = [](int64_t v) { return static_cast<uint32_t>(v); };
    return (u(o[0]) << 24) | (u(o[1]) << 16) | (u(o[2]) << 8) | u(o[3]);
}

// A column's characters up to its end or its first NUL.
std::string_view Column(std::string_view record, AddressDatColumn column) {
    std::string_view text = record.substr(column.offset, column.width);
    return text.substr(0, text.find('\0'));
}

// Column padding and blanks inside the text alike disappear.
std::string WithoutBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != ' ') out += c;
    return out;
}

bool Contains(const LocationRecord& outer, const LocationRecord& inner) {
    return inner.startAddr >= outer.startAddr && inner.endAddr <= outer.endAddr;
}

// The binary search of the lookup: the record holding addr, else the last one probed.
const LocationRecord& Probe(const LocationTable& table, uint32_t addr) {
    ptrdiff_t low = 0;
    ptrdiff_t high = static_cast<ptrdiff_t>(table.size()) - 1;
    ptrdiff_t middle = 0;
    while (low <= high) {
        middle = (low + high) / 2;
        const LocationRecord& r = table[static_cast<size_t>(middle)];
        if (r.startAddr > addr)
            high = middle - 1;
        else if (r.endAddr >= addr)
            break;
        else
            low = middle + 1;
    }
    return table[static_cast<size_t>(middle)];
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

uint32_t DottedToNumber(std::string_view dotted) {
    std::array<int64_t, 4> octets{};
    ScanOctets(dotted, octets);
    return Combine(octets);
}

std::optional<uint32_t> ParseDottedAddress(std::string_view dotted) {
    std::array<int64_t, 4> octets{};
    if (ScanOctets(dotted, octets) != 4) return std::nullopt;
    for (int64_t o : octets)
        if (o < 0 || o > 255) return std::nullopt;
    return Combine(octets);
}

std::optional<LocationRecord> ParseLocationRecord(std::string_view record) {
    if (record.size() < kAddressDatRecordSize) return std::nullopt;
    std::optional<uint32_t> start = ParseDottedAddress(Column(record, kStartColumn));
    std::optional<uint32_t> end = ParseDottedAddress(Column(record, kEndColumn));
    if (!start || !end) return std::nullopt;
    LocationRecord r;
    r.location = WithoutBlanks(Column(record, kLocationColumn));
    r.detail = WithoutBlanks(Column(record, kDetailColumn));
    r.startAddr = *start;
    r.endAddr = *end;
    return r;
}

void LocationTableBuilder::Add(LocationRecord record) {
    record.hasChildren = false;
    record.children.clear();
    if (table_.empty()) {
        table_.push_back(std::move(record));
        return;
    }
    LocationRecord& last = table_.back();
    if (parentOpen_ && record.startAddr < last.endAddr) {
        last.children.push_back(std::move(record));
        return;
    }
    parentOpen_ = false;
    if (Contains(last, record)) {
        // A parent reopened by a record at its very end keeps the children it already has:
        // dropping them would make them unreachable.
        last.hasChildren = true;
        last.children.push_back(std::move(record));
        parentOpen_ = true;
        return;
    }
    table_.push_back(std::move(record));
}

LocationTable ParseLocationTable(std::string_view fileBytes) {
    LocationTableBuilder builder;
    if (fileBytes.size() <= kAddressDatHeaderSize) return builder.Take();
    std::string_view records = fileBytes.substr(kAddressDatHeaderSize);
    for (size_t at = 0; records.size() - at >= kAddressDatRecordSize; at += kAddressDatRecordSize) {
        if (auto r = ParseLocationRecord(records.substr(at, kAddressDatRecordSize)))
            builder.Add(std::move(*r));
    }
    return builder.Take();
}

LocationTable LoadLocationTable(const std::filesystem::path& file) {
    LocationTableBuilder builder;
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(file.c_str(), "rb"));
    if (!f || std::fseek(f.get(), static_cast<long>(kAddressDatHeaderSize), SEEK_SET) != 0)
        return builder.Take();
    std::array<char, kAddressDatRecordSize> block;
    while (std::fread(block.data(), 1, block.size(), f.get()) == block.size()) {
        if (auto r = ParseLocationRecord(std::string_view(block.data(), block.size())))
            builder.Add(std::move(*r));
    }
    return builder.Take();
}

const LocationTable& GetLocationTable() {
    static const LocationTable table = LoadLocationTable(FindDataFile("address.dat"));
    return table;
}

bool FindLocation(const LocationTable& table, uint32_t addr, std::string& location,
                  std::string& detail) {
    if (table.empty()) return false;
    const LocationRecord& r = Probe(table, addr);
    if (addr < r.startAddr || addr > r.endAddr) return false;
    if (r.hasChildren && FindLocation(r.children, addr, location, detail)) return true;
    location = r.location;
    detail = r.detail;
    return true;
}

}  // namespace sondrel
