#pragma once
// The location database: address ranges read from address.dat, each with a short location
// text (the one shown) and a longer detail text, kept as a two-level table of ranges.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

// address.dat: a header skipped unread, then fixed-size records back to back.
inline constexpr size_t kAddressDatHeaderSize = 194;
inline constexpr size_t kAddressDatRecordSize = 110;

// Columns of a record: offset and width.
struct AddressDatColumn {
    size_t offset;
    size_t width;
};
inline constexpr AddressDatColumn kStartColumn{0, 15};
inline constexpr AddressDatColumn kEndColumn{16, 15};
inline constexpr AddressDatColumn kLocationColumn{37, 12};
inline constexpr AddressDatColumn kDetailColumn{50, 46};

struct LocationRecord {
    std::string location;
    std::string detail;
    uint32_t startAddr = 0;  // inclusive, first octet most significant
    uint32_t endAddr = 0;    // inclusive
    bool hasChildren = false;
    std::vector<LocationRecord> children;  // narrower ranges inside this one
};

// In file order, which the lookup takes as rising, non-overlapping ranges.
using LocationTable = std::vector<LocationRecord>;

// a.b.c.d as a * 2^24 + b * 2^16 + c * 2^8 + d, octets shifted and OR-ed without masking;
// leading white space is skipped and octets that are not there count as 0.
uint32_t DottedToNumber(std::string_view dotted);

// The same reading, but only when four octets, each 0..255, are there.
std::optional<uint32_t> ParseDottedAddress(std::string_view dotted);

// One 110-byte record; nothing when either address column does not hold an address.
std::optional<LocationRecord> ParseLocationRecord(std::string_view record);

// Puts records, in file order, into the two-level table: a record inside the range of the
// top-level record before it opens that record as a parent, and every following record
// that starts below the parent's end becomes its child too.
class LocationTableBuilder {
public:
    void Add(LocationRecord record);
    LocationTable Take() { return std::move(table_); }

private:
    LocationTable table_;
    bool parentOpen_ = false;  // the last top-level record takes children
};

// The table of a whole file's bytes (header included); a trailing piece shorter than a
// record is ignored.
LocationTable ParseLocationTable(std::string_view fileBytes);

// The table of a file, read one record at a time; empty when the file cannot be read.
LocationTable LoadLocationTable(const std::filesystem::path& file);

// The process-wide table, loaded from address.dat on the first call (once, also when
// several threads ask at the same time) and kept until the process ends.
const LocationTable& GetLocationTable();

// The narrowest range holding addr: a child's texts when a child range holds it, else its
// top-level range's. False, with the outputs untouched, when no range holds it.
bool FindLocation(const LocationTable& table, uint32_t addr, std::string& location,
                  std::string& detail);

}  // namespace sondrel
