#pragma once
// The list files' byte stream: little-endian whole numbers and length-prefixed texts.
// Text form of a text of L bytes: L < 255: one byte L; L < 65534: 0xFF and a 2-byte L;
// otherwise 0xFF, 0xFFFF and a 4-byte L; then the bytes. A reader also takes the UTF-16
// mark (0xFF, 0xFFFE) followed by a second prefix counting UTF-16LE units, which it converts
// to UTF-8. Lengths are checked against what is left before anything is allocated.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sondrel {

enum class ArchiveFault {
    None,
    EndsEarly,      // a field is cut short by the end of the data
    TextTooLong,    // a text length exceeds what is left
    BadTextPrefix,  // a UTF-16 mark where a second one is not allowed
};

const char* ArchiveFaultText(ArchiveFault fault);

class ArchiveReader {
public:
    explicit ArchiveReader(std::span<const uint8_t> data) : data_(data) {}

    bool ReadU32(uint32_t& value);
    bool ReadI32(int32_t& value);
    // Reads one text; on failure the position is left where the text began.
    bool ReadText(std::string& text);

    size_t Offset() const { return pos_; }
    size_t Remaining() const { return data_.size() - pos_; }
    ArchiveFault Fault() const { return fault_; }

private:
    bool ReadBytes(void* out, size_t n);
    bool ReadLength(uint64_t& length, bool& wide);
    bool Fail(ArchiveFault fault, size_t resetTo);

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    ArchiveFault fault_ = ArchiveFault::None;
};

class ArchiveWriter {
public:
    void WriteU32(uint32_t value);
    void WriteI32(int32_t value) { WriteU32(static_cast<uint32_t>(value)); }
    void WriteText(std::string_view text);

    const std::string& Bytes() const { return out_; }
    std::string Take() { return std::move(out_); }
    void Reserve(size_t n) { out_.reserve(n); }

private:
    std::string out_;
};

// UTF-16LE units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::span<const uint8_t> units);

}  // namespace sondrel
