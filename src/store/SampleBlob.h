#pragma once
// The packed forms samples take in the database's blobs. Everything is a varint (7 bits a
// byte, low first), so a sample costs a few bytes:
//   reply:  0 lost; (rtt+1) << 8 | ttl, shifted left once, for an echo reply; for an ICMP
//           error (rtt+1) << 24 | type << 16 | code << 8 | ttl, shifted left once, plus one.
//   round:  per sample the host id, the time after the round's first sample, the reply.
//   minute: one host's samples in time order, per sample the time after the previous one
//           (the first: after the minute's start) and the reply.
// Blobs come back from a file that may be damaged: the decoders check every length, refuse
// what the encoders never write, and keep the samples read before a fault.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "store/Sample.h"

namespace sondrel {

constexpr int64_t kMinuteMs = 60'000;

constexpr int64_t MinuteOf(int64_t timeMs) { return timeMs / kMinuteMs - (timeMs % kMinuteMs < 0); }

uint64_t PackReply(const Sample& s);

struct RoundEntry {
    int64_t host = 0;
    Sample sample;
};

// baseMs: the earliest time in the round.
void AppendRoundSample(std::string& blob, int64_t baseMs, int64_t host, const Sample& s);
// Appends the blob's samples to out; false when it is malformed.
bool DecodeRound(std::span<const uint8_t> blob, int64_t baseMs, std::vector<RoundEntry>& out);

// samples: one host's, sorted by time, all within the minute.
std::string EncodeMinute(int64_t minute, std::span<const Sample> samples);
bool DecodeMinute(std::span<const uint8_t> blob, int64_t minute, std::vector<Sample>& out);

}  // namespace sondrel
