// Feeds the sample history's blob decoders with arbitrary bytes, as a damaged file would.
// Byte 0 picks the decoder (even: a round, odd: a host's minute), bytes 1-8 give the round's
// start or the minute, the rest is the blob. Whatever decodes lies where the blob's kind
// allows and encodes back to bytes that decode to the same samples.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "store/SampleBlob.h"

using namespace sondrel;

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

void CheckRound(std::span<const uint8_t> blob, int64_t base) {
    std::vector<RoundEntry> entries;
    const bool ok = DecodeRound(blob, base, entries);
    if (entries.empty()) return;
    std::string again;
    for (const RoundEntry& e : entries) {
        if (e.host < 0 || e.sample.timeMs < base) std::abort();
        AppendRoundSample(again, base, e.host, e.sample);
    }
    std::vector<RoundEntry> reread;
    if (!DecodeRound(Bytes(again), base, reread) || reread.size() != entries.size()) std::abort();
    for (size_t i = 0; i < entries.size(); ++i)
        if (reread[i].host != entries[i].host || !(reread[i].sample == entries[i].sample))
            std::abort();
    if (ok && again.size() > blob.size()) std::abort();
}

void CheckMinute(std::span<const uint8_t> blob, int64_t minute) {
    std::vector<Sample> samples;
    const bool ok = DecodeMinute(blob, minute, samples);
    for (size_t i = 0; i < samples.size(); ++i)
        if (MinuteOf(samples[i].timeMs) != minute ||
            (i > 0 && samples[i].timeMs < samples[i - 1].timeMs))
            std::abort();
    if (samples.empty()) return;
    const std::string again = EncodeMinute(minute, samples);
    std::vector<Sample> reread;
    if (!DecodeMinute(Bytes(again), minute, reread) || reread != samples) std::abort();
    if (ok && again.size() > blob.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    int64_t start = 0;
    std::memcpy(&start, data + 1, sizeof start);
    const std::span<const uint8_t> blob(data + 9, size - 9);
    if (data[0] % 2 == 0)
        CheckRound(blob, start);
    else
        CheckMinute(blob, start);
    return 0;
}
