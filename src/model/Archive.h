#pragma once
// The list files' byte stream: little-endian whole numbers and length-prefixed texts.
// Text form of a text of L bytes: L < 255: one byte L; L < 65534: 0xFF and a 2-byte L;
// otherwise 0xFF, 0xFFFF and a 4-byte L; then the bytes. A reader also takes the UTF-16
// mark (0xFF, 0xFFFE) followed by a second prefix counting UTF-16LE units, which it converts
// to UTF-8. Lengths are checked against what is left before anything is allocated.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace sondrel {

enum class ArchiveFault {
    None,
    EndsEarly,      // a field is cut short by the end of the data
    TextTooLong,    // a text length exceeds what is left
    BadTextPrefix,  // a UTF-16 mark where a second one is not allowed
    ReadError,      // the source failed to deliver (errno in ReadErrno)
};

const char* ArchiveFaultText(ArchiveFault fault);

// Where a streaming reader's bytes come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills what it can of `into`: the count, 0 at the end, -1 on failure (errno set).
    virtual ptrdiff_t Read(std::span<uint8_t> into) = 0;
};

class ArchiveReader {
public:
    // Reads bytes held in memory.
    explicit ArchiveReader(std::span<const uint8_t> data) : data_(data), limit_(data.size()) {}
    // Reads a source through a bounded buffer, never asking it for more than one buffer
    // beyond the last field read. `size` is what the source is expected to hold: a text
    // longer than that fails at once instead of being read up to the end.
    ArchiveReader(ByteSource& source, size_t size);

    bool ReadU32(uint32_t& value);
    bool ReadI32(int32_t& value);
    // Reads one text; on failure the position is left where the text began.
    bool ReadText(std::string& text);
    // True when no byte is left. A failed read stays failed: every later read fails too.
    bool AtEnd();

    size_t Offset() const { return pos_; }
    size_t Remaining() const { return limit_ > pos_ ? limit_ - pos_ : 0; }
    ArchiveFault Fault() const { return fault_; }
    int ReadErrno() const { return readErrno_; }

    static constexpr size_t kBufferSize = 64 * 1024;

private:
    bool Fill(size_t n);
    bool ReadBytes(void* out, size_t n);
    bool ReadRaw(std::string& out, uint64_t n);
    bool ReadLength(uint64_t& length, bool& wide);
    bool Fail(ArchiveFault fault, size_t resetTo);
    size_t Buffered() const { return data_.size() - (pos_ - base_); }
    const uint8_t* Cursor() const { return data_.data() + (pos_ - base_); }

    std::span<const uint8_t> data_;  // bytes at hand; data_[0] is at offset base_
    size_t base_ = 0;
    size_t pos_ = 0;
    size_t limit_ = 0;
    ByteSource* source_ = nullptr;
    std::unique_ptr<uint8_t[]> buffer_;
    bool drained_ = false;  // the source reported its end
    ArchiveFault fault_ = ArchiveFault::None;
    int readErrno_ = 0;
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
