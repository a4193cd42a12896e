#include "model/Archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sondrel {

const char* ArchiveFaultText(ArchiveFault fault) {
    switch (fault) {
        case ArchiveFault::None:
            return "no fault";
        case ArchiveFault::EndsEarly:
            return "ends early";
        case ArchiveFault::TextTooLong:
            return "text length larger than the rest of the file";
        case ArchiveFault::BadTextPrefix:
            return "malformed text prefix";
        case ArchiveFault::ReadError:
            return "read error";
    }
    return "unknown fault";
}

ArchiveReader::ArchiveReader(ByteSource& source, size_t size)
    : limit_(size), source_(&source), buffer_(std::make_unique<uint8_t[]>(kBufferSize)) {}

bool ArchiveReader::Fail(ArchiveFault fault, size_t resetTo) {
    // A read error is what ended the data, whatever the field made of it.
    if (fault_ == ArchiveFault::None) fault_ = fault;
    pos_ = resetTo;
    return false;
}

// Makes n bytes (at most a buffer) available at the cursor, refilling from the source.
bool ArchiveReader::Fill(size_t n) {
    while (Buffered() < n) {
        if (source_ == nullptr || drained_) return false;
        const size_t kept = Buffered();
        if (kept > 0) std::memmove(buffer_.get(), Cursor(), kept);
        base_ = pos_;
        const ptrdiff_t got = source_->Read(std::span(buffer_.get() + kept, kBufferSize - kept));
        if (got <= 0) {
            drained_ = true;
            if (got < 0) {
                readErrno_ = errno;
                fault_ = ArchiveFault::ReadError;
            }
        }
        data_ = std::span<const uint8_t>(buffer_.get(),
                                         kept + static_cast<size_t>(std::max<ptrdiff_t>(got, 0)));
    }
    return true;
}

bool ArchiveReader::AtEnd() { return fault_ == ArchiveFault::None && !Fill(1); }

bool ArchiveReader::ReadBytes(void* out, size_t n) {
    if (fault_ != ArchiveFault::None) return false;
    if (!Fill(n)) return Fail(ArchiveFault::EndsEarly, pos_);
    std::memcpy(out, Cursor(), n);
    pos_ += n;
    return true;
}

// n bytes into out, a buffer at a time; false when the data ends first.
bool ArchiveReader::ReadRaw(std::string& out, uint64_t n) {
    out.clear();
    while (n > 0) {
        if (!Fill(1)) return false;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(n, Buffered()));
        out.append(reinterpret_cast<const char*>(Cursor()), take);
        pos_ += take;
        n -= take;
    }
    return true;
}

bool ArchiveReader::ReadU32(uint32_t& value) {
    uint8_t b[4];
    if (!ReadBytes(b, 4)) return false;
    value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    return true;
}

bool ArchiveReader::ReadI32(int32_t& value) {
    uint32_t raw;
    if (!ReadU32(raw)) return false;
    value = static_cast<int32_t>(raw);
    return true;
}

// The length prefix: one byte; 0xFF escapes to two bytes; 0xFFFF escapes to four bytes;
// 0xFFFE marks a UTF-16 text whose own prefix follows (once).
bool ArchiveReader::ReadLength(uint64_t& length, bool& wide) {
    wide = false;
    for (;;) {
        uint8_t b8;
        if (!ReadBytes(&b8, 1)) return false;
        if (b8 != 0xFF) {
            length = b8;
            return true;
        }
        uint8_t b16[2];
        if (!ReadBytes(b16, 2)) return false;
        const uint16_t v16 = static_cast<uint16_t>(b16[0] | b16[1] << 8);
        if (v16 == 0xFFFE) {
            if (wide) return Fail(ArchiveFault::BadTextPrefix, pos_);
            wide = true;
            continue;
        }
        if (v16 != 0xFFFF) {
            length = v16;
            return true;
        }
        uint32_t v32;
        if (!ReadU32(v32)) return false;
        length = v32;
        return true;
    }
}

bool ArchiveReader::ReadText(std::string& text) {
    const size_t start = pos_;
    uint64_t length = 0;
    bool wide = false;
    if (!ReadLength(length, wide)) {
        pos_ = start;
        return false;
    }
    const uint64_t bytes = wide ? length * 2 : length;
    if (bytes > Remaining()) return Fail(ArchiveFault::TextTooLong, start);
    std::string raw;
    // Shorter than the expected size said: the text still runs past the end.
    if (!ReadRaw(raw, bytes)) return Fail(ArchiveFault::TextTooLong, start);
    text = wide ? Utf16LeToUtf8(std::span(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()))
                : std::move(raw);
    return true;
}

void ArchiveWriter::WriteU32(uint32_t value) {
    const char b[4] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF),
                       static_cast<char>(value >> 16 & 0xFF),
                       static_cast<char>(value >> 24 & 0xFF)};
    out_.append(b, 4);
}

void ArchiveWriter::WriteText(std::string_view text) {
    const uint64_t n = text.size();
    if (n < 0xFF) {
        out_.push_back(static_cast<char>(n));
    } else if (n < 0xFFFE) {
        out_.push_back(static_cast<char>(0xFF));
        out_.push_back(static_cast<char>(n & 0xFF));
        out_.push_back(static_cast<char>(n >> 8));
    } else {
        out_.append("\xFF\xFF\xFF", 3);
        WriteU32(static_cast<uint32_t>(n));
    }
    out_.append(text.data(), text.size());
}

namespace {
void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | cp >> 6));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | cp >> 12));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | cp >> 18));
        out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}
}  // namespace

std::string Utf16LeToUtf8(std::span<const uint8_t> units) {
    constexpr uint32_t kReplacement = 0xFFFD;
    std::string out;
    out.reserve(units.size() / 2);
    const size_t count = units.size() / 2;
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(units[2 * i] | units[2 * i + 1] << 8);
    };
    for (size_t i = 0; i < count; ++i) {
        const uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count) {
            const uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
    return out;
}

}  // namespace sondrel
