#include <gtest/gtest.h>

#include <tuple>

#include "store/SampleBlob.h"

namespace sondrel {
namespace {

constexpr int64_t kMinute = 29'944'264;  // 2026-12-07T15:04Z
constexpr int64_t kStart = kMinute * kMinuteMs;

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(SampleBlobTest, EverySampleReadsBackAsWritten) {
    const std::vector<Sample> samples = {
        {kStart},
        {kStart, 52, 0, 0, 64},
        {kStart + 1, 0, 0, 0, 0},
        {kStart + 1000, Sample::kLost, 0, 0, 7},
        {kStart + 30'000, 2000, 3, 1, 63},
        {kStart + 30'001, Sample::kLost, 11, 0, 0},
        {kStart + 59'999, INT32_MAX, 255, 255, 255},
    };
    std::vector<Sample> minute;
    EXPECT_TRUE(DecodeMinute(Bytes(EncodeMinute(kMinute, samples)), kMinute, minute));
    EXPECT_EQ(minute, samples);

    std::string blob;
    for (size_t i = 0; i < samples.size(); ++i)
        AppendRoundSample(blob, kStart, int64_t{1} << (8 * i), samples[i]);
    std::vector<RoundEntry> round;
    ASSERT_TRUE(DecodeRound(Bytes(blob), kStart, round));
    ASSERT_EQ(round.size(), samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(round[i].host, int64_t{1} << (8 * i));
        EXPECT_EQ(round[i].sample, samples[i]);
    }
}

// A damaged blob is refused at its first fault, the samples before it kept.
TEST(SampleBlobTest, MalformedBlobsRefused) {
    const std::string echo = "\x80\xd5\x01";  // 52 us, TTL 64
    const struct {
        const char* what;
        std::string blob;
        int64_t minute;
        size_t kept;
    } minutes[] = {
        {"empty", "", kMinute, 0},
        {"cut in a time", "\x80", kMinute, 0},
        {"cut in a reply", std::string(1, '\0') + echo + '\0' + "\x80\xd5", kMinute, 1},
        {"past the minute's end", std::string("\xb0\xea\x01", 3) + echo + "\xb0\xea\x01" + echo,
         kMinute, 1},
        {"eleven-byte varint", std::string(10, '\xff') + '\x01' + echo, kMinute, 0},
        {"echo reply too wide", std::string(1, '\0') + "\x80\x80\x80\x80\x80\x80\x40", kMinute, 0},
        {"minute beyond any time", std::string(1, '\0') + echo, int64_t{1} << 60, 0},
    };
    for (const auto& c : minutes) {
        std::vector<Sample> out;
        EXPECT_EQ(DecodeMinute(Bytes(c.blob), c.minute, out), c.blob.empty()) << c.what;
        EXPECT_EQ(out.size(), c.kept) << c.what;
    }
    const std::tuple<const char*, std::string, int64_t> rounds[] = {
        {"cut after the host", "\x01", kStart},
        {"tenth byte too big", std::string(9, '\xff') + '\x02' + '\0' + echo, kStart},
        {"offset past the longest round", std::string("\x01\x80\x80\x80\x80\x80\x80\x01", 8) + echo,
         kStart},
        {"start beyond any time", std::string("\x01\x00", 2) + echo, INT64_MAX - 5},
    };
    for (const auto& [what, blob, base] : rounds) {
        std::vector<RoundEntry> out;
        EXPECT_FALSE(DecodeRound(Bytes(blob), base, out)) << what;
        EXPECT_TRUE(out.empty()) << what;
    }
}

}  // namespace
}  // namespace sondrel
