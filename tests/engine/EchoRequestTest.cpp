#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <vector>

#include "engine/EchoRequest.h"

namespace sondrel {
namespace {

TEST(InternetChecksumTest, KnownSums) {
    struct Case {
        std::vector<uint8_t> bytes;
        uint16_t sum;  // as stored: low byte first
    };
    const Case cases[] = {
        {{}, 0xFFFF},
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x0D22},  // the RFC 1071 example, bytes 22 0D
        {{0xAB}, static_cast<uint16_t>(~0x00AB)},                    // an odd byte is the low half of a word
        {{0x01, 0x02, 0x03}, static_cast<uint16_t>(~(0x0201 + 0x0003))},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0x0000},                          // carries fold back in
        {{0xFF, 0xFF, 0x01, 0x00}, 0xFFFE},
    };
    for (const Case& c : cases) EXPECT_EQ(InternetChecksum(c.bytes), c.sum) << ::testing::PrintToString(c.bytes);
}

TEST(EchoRequestTest, LayoutMatchesKnownBytes) {
    EchoRequest request;
    request.bytes.fill(0xEE);  // Build must rewrite every byte
    request.Build(0x1234, 0x0A0B0C0D, inet_addr("198.51.100.2"));
    std::vector<uint8_t> expected = {0x08, 0x00, 0x81, 0xA1, 0x34, 0x12, 0x00, 0x00,
                                     0x0D, 0x0C, 0x0B, 0x0A, 0xC6, 0x33, 0x64, 0x02};
    expected.resize(kEchoRequestSize, 0);
    EXPECT_EQ(std::vector<uint8_t>(request.bytes.begin(), request.bytes.end()), expected);
    EXPECT_EQ(InternetChecksum(request.bytes), 0) << "a correct checksum sums the whole request to zero";
}

TEST(EchoRequestTest, ChecksumStaysValidForEveryField) {
    const uint32_t ticks[] = {0, 1, 0xFFFFFFFF, 0x80000000};
    const uint16_t ids[] = {0, 0xFFFF, 0x00FF};
    for (uint32_t tick : ticks) {
        for (uint16_t id : ids) {
            EchoRequest request;
            request.Build(id, tick, inet_addr("127.0.0.1"));
            EXPECT_EQ(InternetChecksum(request.bytes), 0) << id << " " << tick;
            EXPECT_EQ(LoadLe16(&request.bytes[4]), id);
            EXPECT_EQ(LoadLe32(&request.bytes[8]), tick);
            EXPECT_EQ(LoadRaw32(&request.bytes[12]), inet_addr("127.0.0.1"));
        }
    }
}

}  // namespace
}  // namespace sondrel
