#include "model/HostRecord.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>
#include <stdexcept>

#include "model/EventText.h"
#include "platform/AddressText.h"

namespace sondrel {

namespace {

// Line kinds; each line is its tag byte followed by what the kind needs.
enum Tag : uint8_t {
    kStampTag,  // 6 bytes: the stamp's fields packed, little endian
    kEchoTag,   // ttl, time and bytes as zigzag varints
    kRawTag,    // varint length, then the bytes as they came
    kFixedTag,  // kFixedTag + i: kFixedEvents[i] and '\n'
};
constexpr std::string_view kFixedEvents[] = {kEventAdded, kEventRebuilt, kEventTimeout,
                                             kEventRemoved, kEventDropped};

constexpr std::string_view kDayNames = "SunMonTueWedThuFriSat";
constexpr std::string_view kMonthNames = "JanFebMarAprMayJunJulAugSepOctNovDec";
// Bits of a stamp's fields from the lowest up: weekday, month, day, hour, minute, second
// (two digits each), then the year in what is left of kStampBytes.
constexpr int kFieldBits[] = {3, 4, 7, 7, 7, 7};
constexpr int kStampBytes = 6;
constexpr int kYearLimit = 1 << 13;
constexpr size_t kMaxVarint = 5;
constexpr size_t kFirstCapacity = 32;  // bytes of the first block: two or three events
constexpr size_t kMaxBytes = UINT32_MAX;

// Reads texts that must come out of the formatting byte for byte: a value is taken only in
// the one spelling the formatting gives it.
struct Reader {
    std::string_view text;

    bool Literal(std::string_view expected) {
        if (!text.starts_with(expected)) return false;
        text.remove_prefix(expected.size());
        return true;
    }
    bool Name(std::string_view names, int& index) {
        for (size_t i = 0; i < names.size(); i += 3) {
            if (Literal(names.substr(i, 3))) return index = static_cast<int>(i / 3), true;
        }
        return false;
    }
    // Exactly two digits, as "%02d" writes 0 to 99.
    bool TwoDigits(int& value) {
        if (text.size() < 2 || !IsDigit(text[0]) || !IsDigit(text[1])) return false;
        value = (text[0] - '0') * 10 + (text[1] - '0');
        text.remove_prefix(2);
        return true;
    }
    // As "%d" writes an int: no plus sign, no leading zero, no "-0".
    bool Int(int32_t& value) {
        const bool negative = Literal("-");
        size_t n = 0;
        while (n < text.size() && n <= 10 && IsDigit(text[n])) ++n;
        if (n == 0 || n > 10 || (text[0] == '0' && (n > 1 || negative))) return false;
        int64_t magnitude = 0;
        for (size_t i = 0; i < n; ++i) magnitude = magnitude * 10 + (text[i] - '0');
        const int64_t signedValue = negative ? -magnitude : magnitude;
        if (signedValue < INT32_MIN || signedValue > INT32_MAX) return false;
        value = static_cast<int32_t>(signedValue);
        text.remove_prefix(n);
        return true;
    }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
};

// The stamp line FormatTimeStamp writes, without its '\n', as packed fields.
std::optional<uint64_t> PackStamp(std::string_view body) {
    Reader in{body};
    int day = 0, month = 0, mday = 0, hour = 0, minute = 0, second = 0;
    int32_t year = 0;
    if (!(in.Name(kDayNames, day) && in.Literal(" ") && in.Name(kMonthNames, month) &&
          in.Literal(" ") && in.TwoDigits(mday) && in.Literal(" ") && in.TwoDigits(hour) &&
          in.Literal(":") && in.TwoDigits(minute) && in.Literal(":") && in.TwoDigits(second) &&
          in.Literal(" ") && in.Int(year) && in.text.empty() && year >= 0 && year < kYearLimit))
        return std::nullopt;
    const int fields[] = {day, month, mday, hour, minute, second};
    uint64_t packed = static_cast<uint64_t>(year);
    for (int i = static_cast<int>(std::size(fields)) - 1; i >= 0; --i)
        packed = packed << kFieldBits[i] | static_cast<uint64_t>(fields[i]);
    return packed;
}

std::string UnpackStamp(uint64_t packed) {
    std::tm t{};
    int* fields[] = {&t.tm_wday, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec};
    for (size_t i = 0; i < std::size(fields); ++i) {
        *fields[i] = static_cast<int>(packed & ((1u << kFieldBits[i]) - 1));
        packed >>= kFieldBits[i];
    }
    t.tm_year = static_cast<int>(packed) - 1900;
    return FormatTimeStamp(t);
}

// The echo reply text the engine writes, "ttl=%d,time=%d,bytes=%d", without its '\n'.
std::optional<std::array<int32_t, 3>> EchoNumbers(std::string_view body) {
    Reader in{body};
    std::array<int32_t, 3> v{};
    if (in.Literal("ttl=") && in.Int(v[0]) && in.Literal(",time=") && in.Int(v[1]) &&
        in.Literal(",bytes=") && in.Int(v[2]) && in.text.empty())
        return v;
    return std::nullopt;
}

uint8_t* PutVarint(uint8_t* out, uint64_t value) {
    for (; value >= 0x80; value >>= 7) *out++ = static_cast<uint8_t>(value | 0x80);
    *out++ = static_cast<uint8_t>(value);
    return out;
}

uint32_t GetVarint(const uint8_t*& in) {
    uint32_t value = 0;
    for (int shift = 0;; shift += 7) {
        const uint8_t byte = *in++;
        value |= static_cast<uint32_t>(byte & 0x7F) << shift;
        if (byte < 0x80) return value;
    }
}

// Small magnitudes of either sign in few varint bytes.
uint32_t ZigZag(int32_t v) {
    return (static_cast<uint32_t>(v) << 1) ^ static_cast<uint32_t>(v >> 31);
}
int32_t UnZigZag(uint32_t v) { return static_cast<int32_t>((v >> 1) ^ (0u - (v & 1))); }

// The line at in, appended to out; returns where the next line starts.
const uint8_t* DecodeLine(const uint8_t* in, std::string& out) {
    const uint8_t tag = *in++;
    if (tag == kStampTag) {
        uint64_t packed = 0;
        for (int i = kStampBytes - 1; i >= 0; --i) packed = packed << 8 | in[i];
        out += UnpackStamp(packed);
        return in + kStampBytes;
    }
    if (tag == kEchoTag) {
        const int32_t ttl = UnZigZag(GetVarint(in));
        const int32_t time = UnZigZag(GetVarint(in));
        const int32_t bytes = UnZigZag(GetVarint(in));
        out.append("ttl=").append(std::to_string(ttl)).append(",time=");
        out.append(std::to_string(time)).append(",bytes=").append(std::to_string(bytes));
        out += '\n';
        return in;
    }
    if (tag == kRawTag) {
        const uint32_t length = GetVarint(in);
        out.append(reinterpret_cast<const char*>(in), length);
        return in + length;
    }
    out.append(kFixedEvents[tag - kFixedTag]) += '\n';
    return in;
}

// The short form of body + '\n' written to code, and its length; 0 when it has none.
size_t ShortForm(std::string_view body, uint8_t* code) {
    uint8_t* end = code;
    if (const auto packed = PackStamp(body)) {
        *end++ = kStampTag;
        for (int i = 0; i < kStampBytes; ++i) *end++ = static_cast<uint8_t>(*packed >> (8 * i));
    } else if (const auto echo = EchoNumbers(body)) {
        *end++ = kEchoTag;
        for (int32_t v : *echo) end = PutVarint(end, ZigZag(v));
    } else if (const auto* fixed =
                   std::find(std::begin(kFixedEvents), std::end(kFixedEvents), body);
               fixed != std::end(kFixedEvents)) {
        *end++ = static_cast<uint8_t>(kFixedTag + (fixed - std::begin(kFixedEvents)));
    }
    return static_cast<size_t>(end - code);
}

}  // namespace

// The header of the heap block; the encoded lines follow it.
struct HistoryLines::Block {
    uint32_t count;
    uint32_t used;      // bytes of encoded lines
    uint32_t capacity;  // bytes after the header
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};

void HistoryLines::Free::operator()(Block* block) const { std::free(block); }

HistoryLines::HistoryLines(const Lines& lines) {
    for (const std::string& line : lines) push_back(line);
}

HistoryLines::HistoryLines(const HistoryLines& other) {
    if (other.empty()) return;
    const size_t bytes = sizeof(Block) + other.block_->used;
    auto* copy = static_cast<Block*>(std::malloc(bytes));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, other.block_.get(), bytes);
    copy->capacity = copy->used;
    block_.reset(copy);
}

HistoryLines& HistoryLines::operator=(const HistoryLines& other) {
    if (this != &other) *this = HistoryLines(other);
    return *this;
}

size_t HistoryLines::size() const { return block_ ? block_->count : 0; }

size_t HistoryLines::HeapBytes() const { return block_ ? sizeof(Block) + block_->capacity : 0; }

HistoryLines::Lines HistoryLines::ToVector() const {
    Lines lines(size());
    const uint8_t* in = block_ ? block_->Bytes() : nullptr;
    for (std::string& line : lines) in = DecodeLine(in, line);
    return lines;
}

std::string HistoryLines::operator[](size_t i) const {
    const uint8_t* in = block_->Bytes();
    std::string line;
    for (size_t k = 0; k <= i; ++k) line.clear(), in = DecodeLine(in, line);
    return line;
}

std::string HistoryLines::at(size_t i) const {
    if (i >= size()) throw std::out_of_range("history line " + std::to_string(i));
    return (*this)[i];
}

void HistoryLines::push_back(std::string_view line) {
    const bool newline = line.ends_with('\n');
    Encode(newline ? line.substr(0, line.size() - 1) : line, newline);
}

void HistoryLines::AppendEvent(std::string_view stampLine, std::string_view eventText) {
    push_back(stampLine);
    Encode(eventText, true);
}

// Encodes the line body + ("\n" if newline); only lines that end in '\n' have short forms.
void HistoryLines::Encode(std::string_view body, bool newline) {
    uint8_t code[1 + 3 * kMaxVarint];
    if (const size_t n = newline ? ShortForm(body, code) : 0; n != 0) {
        std::memcpy(Extend(n), code, n);
    } else {
        const size_t length = body.size() + (newline ? 1 : 0);
        if (length > kMaxBytes) throw std::length_error("history line too long");
        code[0] = kRawTag;
        const size_t head = static_cast<size_t>(PutVarint(code + 1, length) - code);
        uint8_t* out = Extend(head + length);
        std::memcpy(out, code, head);
        if (!body.empty()) std::memcpy(out + head, body.data(), body.size());
        if (newline) out[head + body.size()] = '\n';
    }
    ++block_->count;
}

// Room for bytes more at the end of the block, counted as used; the block grows by half
// so that a host's lines are copied a few times only.
uint8_t* HistoryLines::Extend(size_t bytes) {
    const size_t used = block_ ? block_->used : 0;
    const size_t capacity = block_ ? block_->capacity : 0;
    if (bytes > kMaxBytes - used) throw std::length_error("history lines too long");
    if (used + bytes > capacity) {
        const size_t next =
            std::min(kMaxBytes, std::max({used + bytes, capacity + capacity / 2, kFirstCapacity}));
        auto* grown = static_cast<Block*>(std::realloc(block_.get(), sizeof(Block) + next));
        if (grown == nullptr) throw std::bad_alloc();
        (void)block_.release();
        if (capacity == 0) grown->count = 0, grown->used = 0;
        grown->capacity = static_cast<uint32_t>(next);
        block_.reset(grown);
    }
    uint8_t* at = block_->Bytes() + used;
    block_->used = static_cast<uint32_t>(used + bytes);
    return at;
}

bool operator==(const HistoryLines& a, const HistoryLines& b) {
    // The encoding of a line is always the same, so equal lines are equal bytes.
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return a.block_->used == b.block_->used &&
           std::memcmp(a.block_->Bytes(), b.block_->Bytes(), a.block_->used) == 0;
}

namespace {
unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
}  // namespace

std::string DisplayText(uint32_t address, const HostRecord& record) {
    return record.m_bNamed ? record.m_strName.Str() : DottedQuad(address);
}

int CompareRowTextIgnoringCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = Lower(static_cast<unsigned char>(a[i]));
        const unsigned char y = Lower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareRowText(std::string_view a, std::string_view b) {
    if (const int folded = CompareRowTextIgnoringCase(a, b)) return folded;
    const int bytes = std::memcmp(a.data(), b.data(), a.size());
    return bytes < 0 ? -1 : (bytes > 0 ? 1 : 0);
}

bool RowTextMatches(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(static_cast<unsigned char>(a[i])) != Lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace sondrel
