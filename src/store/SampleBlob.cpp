#include "store/SampleBlob.h"

namespace sondrel {

namespace {

// Longest time a round may span and the times a blob may start at: a damaged offset or
// start never overflows a time.
constexpr uint64_t kMaxRoundSpanMs = uint64_t{1} << 40;
constexpr int64_t kMaxBaseMs = int64_t{1} << 61;

void PutVarint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out += static_cast<char>(v | 0x80);
        v >>= 7;
    }
    out += static_cast<char>(v);
}

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : rest_(bytes) {}
    bool Done() const { return rest_.empty(); }
    bool Varint(uint64_t& v) {
        v = 0;
        for (unsigned shift = 0; shift < 64; shift += 7) {
            if (rest_.empty()) return false;
            const uint8_t byte = rest_.front();
            rest_ = rest_.subspan(1);
            // The tenth byte may only carry the top bit.
            if (shift == 63 && byte > 1) return false;
            v |= uint64_t{byte & 0x7fu} << shift;
            if (byte < 0x80) return true;
        }
        return false;
    }

private:
    std::span<const uint8_t> rest_;
};

bool UnpackReply(uint64_t v, Sample& s) {
    const uint64_t body = v >> 1;
    if (v & 1) {
        if (body >> 56) return false;
        s.icmpType = static_cast<uint8_t>(body >> 16);
        s.icmpCode = static_cast<uint8_t>(body >> 8);
        s.rttUs = static_cast<int32_t>(static_cast<uint32_t>(body >> 24) - 1u);
    } else {
        if (body >> 40) return false;
        s.icmpType = s.icmpCode = 0;
        s.rttUs = static_cast<int32_t>(static_cast<uint32_t>(body >> 8) - 1u);
    }
    s.ttl = static_cast<uint8_t>(body);
    return true;
}

}  // namespace

uint64_t PackReply(const Sample& s) {
    const uint64_t rtt = static_cast<uint32_t>(s.rttUs) + 1u;
    if (s.icmpType == 0 && s.icmpCode == 0) return (rtt << 8 | s.ttl) << 1;
    return (rtt << 24 | uint64_t{s.icmpType} << 16 | uint64_t{s.icmpCode} << 8 | s.ttl) << 1 | 1;
}

void AppendRoundSample(std::string& blob, int64_t baseMs, int64_t host, const Sample& s) {
    PutVarint(blob, static_cast<uint64_t>(host));
    PutVarint(blob, static_cast<uint64_t>(s.timeMs - baseMs));
    PutVarint(blob, PackReply(s));
}

bool DecodeRound(std::span<const uint8_t> blob, int64_t baseMs, std::vector<RoundEntry>& out) {
    if (baseMs > kMaxBaseMs || baseMs < -kMaxBaseMs) return false;
    Reader r(blob);
    while (!r.Done()) {
        uint64_t host = 0, offset = 0, reply = 0;
        RoundEntry e;
        if (!r.Varint(host) || host > uint64_t{INT64_MAX} || !r.Varint(offset) ||
            offset >= kMaxRoundSpanMs || !r.Varint(reply) || !UnpackReply(reply, e.sample))
            return false;
        e.host = static_cast<int64_t>(host);
        e.sample.timeMs = baseMs + static_cast<int64_t>(offset);
        out.push_back(e);
    }
    return true;
}

std::string EncodeMinute(int64_t minute, std::span<const Sample> samples) {
    std::string blob;
    blob.reserve(samples.size() * 6);
    int64_t previous = minute * kMinuteMs;
    for (const Sample& s : samples) {
        PutVarint(blob, static_cast<uint64_t>(s.timeMs - previous));
        PutVarint(blob, PackReply(s));
        previous = s.timeMs;
    }
    return blob;
}

bool DecodeMinute(std::span<const uint8_t> blob, int64_t minute, std::vector<Sample>& out) {
    if (minute > kMaxBaseMs / kMinuteMs || minute < -kMaxBaseMs / kMinuteMs) return false;
    Reader r(blob);
    uint64_t offset = 0;  // from the minute's start
    while (!r.Done()) {
        uint64_t step = 0, reply = 0;
        Sample s;
        if (!r.Varint(step) || step >= uint64_t{kMinuteMs} - offset || !r.Varint(reply) ||
            !UnpackReply(reply, s))
            return false;
        offset += step;
        s.timeMs = minute * kMinuteMs + static_cast<int64_t>(offset);
        out.push_back(s);
    }
    return true;
}

}  // namespace sondrel
