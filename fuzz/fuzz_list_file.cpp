// Feeds arbitrary bytes to the list-file reader and checks what it returns: records read
// before a fault are complete, and a clean read written back reads the same.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "model/HostTable.h"
#include "model/ListFile.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const ListReadResult read = ParseListFile(bytes);
    if (read.faultOffset > size) std::abort();
    if (read.count && *read.count > 0 && read.entries.size() > static_cast<size_t>(*read.count))
        std::abort();
    (void)DescribeListFault(read);

    HostTable table;
    MergeEntries(read.entries, table);
    if (!read.ok() || !read.interval) return 0;

    // Writing back the records read gives a file that reads back to the same records.
    const std::string again = SerializeEntries(*read.interval, read.entries);
    const ListReadResult reread =
        ParseListFile(std::span(reinterpret_cast<const uint8_t*>(again.data()), again.size()));
    if (!reread.ok() || reread.entries != read.entries) std::abort();
    return 0;
}
