#pragma once
// List files (.ipl, default.ipl): interval (4 bytes, unsigned), count N (4 bytes, read as
// signed; 0 or less: no records), then N records: address (network order), named flag
// (4 bytes, non-zero: named), and the name in the archive text form when named.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/Archive.h"
#include "model/HostRecord.h"
#include "model/HostTable.h"

namespace sondrel {

enum class ListFault {
    None,
    Unreadable,     // the file could not be opened or read
    EndsEarly,      // the data ends inside a field
    TooFewRecords,  // the data ends cleanly between records before the count is reached
    TextTooLong,    // a name's length exceeds what is left
    BadTextPrefix,  // a malformed text prefix
};

struct ListReadResult {
    std::optional<uint32_t> interval;  // present once the interval was read
    std::optional<int32_t> count;      // present once the count was read
    std::vector<HostEntry> entries;    // records read before any fault, in file order
    size_t records = 0;                // how many records were read before any fault
    ListFault fault = ListFault::None;
    size_t faultOffset = 0;  // byte offset where the faulty field begins
    std::string error;       // errno text for Unreadable

    bool ok() const { return fault == ListFault::None; }
};

// One line describing the fault, e.g. "ends inside record 3 of 5 at byte 40".
std::string DescribeListFault(const ListReadResult& result);

// Reads the bytes of a list file. Records are read one at a time; a record that does not fit
// in what is left ends the reading with a fault, keeping the records before it.
ListReadResult ParseListFile(std::span<const uint8_t> bytes);
// The same reading from a source expected to hold `size` bytes, asking it for no more than
// the header's count needs (and one buffer). Unreadable when the source fails.
ListReadResult ReadListStream(ByteSource& source, size_t size);
// Reads a file as a stream; Unreadable when it cannot be opened or read.
ListReadResult ReadListFile(const std::filesystem::path& path);

// The bytes of a list file holding the table's hosts in table order.
std::string SerializeHostTable(uint32_t interval, const HostTable& hosts);
// The bytes of a list file holding the entries in their order.
std::string SerializeEntries(uint32_t interval, std::span<const HostEntry> entries);
// Copies of the table's hosts (address and full record) in table order.
std::vector<HostEntry> EntriesOf(const HostTable& hosts);

// Writes bytes to a file atomically: a new file beside it, flushed to disk, renamed over
// the old one. On failure the old file is untouched and the message says why.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::string& message);

// Result of reading default.ipl or importing a list file.
struct ListLoadStatus {
    enum class Kind { Loaded, Missing, Damaged, Unreadable };
    Kind kind = Kind::Loaded;
    std::vector<uint32_t> added;        // addresses added to the table, in file order
    std::optional<uint32_t> interval;   // the file's interval, when it was read
    std::string message;                // for Damaged / Unreadable: a line to show the user
    std::filesystem::path damagedCopy;  // default.ipl only: where the damaged file was kept
};

// Reads default.ipl into the table: each entry whose address is not listed yet is added as a
// fresh record carrying only the named flag and name (m_bReplied 1), in file order; hosts read
// before any fault are kept; a damaged file is copied to "<path>.damaged" before anything can
// overwrite it. A missing file is Missing.
ListLoadStatus ReadDefaultList(const std::filesystem::path& path, HostTable& hosts);
// Import: the same reading without the damaged copy. The window's import ignores the interval;
// the console takes it from this one reading.
ListLoadStatus ImportListFile(const std::filesystem::path& path, HostTable& hosts);
// Filters of the file choosers: Open and Save, and Import, which words its own.
inline constexpr char kListFileFilter[] = "SondrelFiles (*.ipl)";
inline constexpr char kImportFileFilter[] = "Sondrel files (*.ipl)";

// Writes default.ipl atomically from the table, in table order.
bool WriteDefaultList(const std::filesystem::path& path, uint32_t interval, const HostTable& hosts,
                      std::string& message);

}  // namespace sondrel
