#pragma once
// Writing address.dat: country ranges and the special-purpose ranges of the IPv4 space
// turned into records in the fixed layout that LocationDb reads, in an order and nesting
// that its two-level table resolves to the narrowest range.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

// A range of a country database: inclusive ends, first octet most significant.
struct CountryRange {
    uint32_t from = 0;
    uint32_t to = 0;
    std::string code;  // two letters
    std::string name;  // full name
};

// A range with its two texts as they go into the file.
struct NamedRange {
    uint32_t from = 0;
    uint32_t to = 0;
    std::string location;
    std::string detail;
};

// Loopback, private networks, link-local, shared address space, the documentation
// networks, benchmarking, multicast, reserved and broadcast, by rising start. Ranges never
// overlap, except that one may lie wholly inside another (it is then that one's child).
const std::vector<NamedRange>& SpecialRanges();

// A column's text: blanks become no-break spaces (U+00A0) when the text then still fits,
// since the reader drops every blank; cut at a character boundary when it is too long.
std::string FitColumn(std::string_view text, size_t width);

// A short name for the 12-byte location column ("USA", "UK", "Germany").
std::string ShortCountryName(std::string_view code, std::string_view name);
// The full name for the 46-byte detail column.
std::string CountryDetail(std::string_view code, std::string_view name);

// The records of the file in file order: country ranges sorted, neighbours of the same
// country merged, cut around the special ranges (which win), each special range followed
// by the special ranges inside it.
std::vector<NamedRange> PlanAddressDat(std::vector<CountryRange> countries,
                                       std::span<const NamedRange> specials);

// One 110-byte record (ending with a line feed, so the file also reads as text).
std::string FormatAddressDatRecord(const NamedRange& range);
// The 194-byte header: the text, padded with blanks, ending with a line feed.
std::string FormatAddressDatHeader(std::string_view text);

// A whole file.
std::string BuildAddressDat(std::vector<CountryRange> countries,
                            std::span<const NamedRange> specials, std::string_view header);

}  // namespace sondrel
