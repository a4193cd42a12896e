// Feeds arbitrary bytes to the list-file reader and checks what it returns: records read
// before a fault are complete, the streaming reader agrees with the in-memory one whatever
// pieces its source hands out, and a clean read written back reads the same.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "model/ListFile.h"

using namespace sondrel;

namespace {

// Hands the bytes out a few at a time, so fields straddle the reader's refills.
class PieceSource : public ByteSource {
public:
    PieceSource(std::span<const uint8_t> bytes, size_t piece) : rest_(bytes), piece_(piece) {}
    ptrdiff_t Read(std::span<uint8_t> into) override {
        const size_t n = std::min({into.size(), rest_.size(), piece_});
        if (n > 0) std::memcpy(into.data(), rest_.data(), n);
        rest_ = rest_.subspan(n);
        return static_cast<ptrdiff_t>(n);
    }

private:
    std::span<const uint8_t> rest_;
    size_t piece_;
};

bool SameReading(const ListReadResult& a, const ListReadResult& b) {
    return a.interval == b.interval && a.count == b.count && a.entries == b.entries &&
           a.records == b.records && a.fault == b.fault && a.faultOffset == b.faultOffset;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const ListReadResult read = ParseListFile(bytes);
    if (read.faultOffset > size) std::abort();
    if (read.count && *read.count > 0 && read.entries.size() > static_cast<size_t>(*read.count))
        std::abort();
    if (read.records != read.entries.size()) std::abort();
    (void)DescribeListFault(read);

    PieceSource source(bytes, 1 + size % 13);
    if (!SameReading(ReadListStream(source, size), read)) std::abort();

    if (!read.ok() || !read.interval) return 0;

    // Writing back the records read gives a file that reads back to the same records.
    const std::string again = SerializeEntries(*read.interval, read.entries);
    const ListReadResult reread =
        ParseListFile(std::span(reinterpret_cast<const uint8_t*>(again.data()), again.size()));
    if (!reread.ok() || reread.entries != read.entries) std::abort();
    return 0;
}
