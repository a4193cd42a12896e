#include "model/Archive.h"

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
    }
    return "unknown fault";
}

bool ArchiveReader::Fail(ArchiveFault fault, size_t resetTo) {
    fault_ = fault;
    pos_ = resetTo;
    return false;
}

bool ArchiveReader::ReadBytes(void* out, size_t n) {
    if (Remaining() < n) return Fail(ArchiveFault::EndsEarly, pos_);
    std::memcpy(out, data_.data() + pos_, n);
    pos_ += n;
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
    const auto raw = data_.subspan(pos_, static_cast<size_t>(bytes));
    if (wide) {
        text = Utf16LeToUtf8(raw);
    } else {
        text.assign(reinterpret_cast<const char*>(raw.data()), raw.size());
    }
    pos_ += static_cast<size_t>(bytes);
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
