#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "engine/Datagram.h"
#include "engine/EchoRequest.h"
#include "engine/ReplyText.h"

namespace sondrel {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint16_t kId = 0x4321;
const uint32_t kHost = inet_addr("198.51.100.2"), kRouter = inet_addr("198.51.100.1"),
               kUs = inet_addr("198.51.100.9");

// An IPv4 header padded with NOP options; the fields nobody should read are not zero either.
Bytes Ip(uint32_t from, uint32_t to, uint8_t ttl, size_t options = 0) {
    Bytes h(20 + options, 0x01);
    h[0] = static_cast<uint8_t>(0x40 | h.size() / 4);
    h[8] = ttl;
    std::memcpy(&h[12], &from, 4);
    std::memcpy(&h[16], &to, 4);
    return h;
}
Bytes Cat(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }
Bytes With(Bytes d, size_t at, uint8_t value) { return d[at] = value, d; }
// Our request to kHost, retyped.
Bytes Icmp(uint8_t type, uint8_t code, uint16_t id = kId, uint32_t tick = 1000) {
    EchoRequest r;
    r.Build(id, tick, kHost);
    return With(With(Bytes(r.bytes.begin(), r.bytes.end()), 0, type), 1, code);
}
Bytes Echo(uint16_t id = kId, size_t options = 0) {
    return Cat(Ip(kHost, kUs, 64, options), Icmp(0, 0, id));
}
// An error from kRouter quoting the first 8 bytes of a request to kHost, as routers do.
Bytes Error(uint8_t type, uint8_t code, uint16_t id = kId, size_t outer = 0, size_t inner = 0) {
    const Bytes request = Icmp(kIcmpEchoRequest, 0, id),
                quote(request.begin(), request.begin() + 8);
    return Cat(Cat(Cat(Ip(kRouter, kUs, 250, outer), {type, code, 0, 0, 0, 0, 0, 0}),
                   Ip(kUs, kHost, 63, inner)),
               quote);
}
std::optional<EngineReply> Raw(const Bytes& d, uint32_t now = 1015) {
    return ReadRawDatagram(d, kId, now);
}
// "host text" of a kept datagram, "-" for an ignored one.
std::string Kept(const std::optional<EngineReply>& r) {
    return r ? AddressToText(r->host) + " " + r->Text() : "-";
}

struct CodeRow {
    uint8_t type, code;
    const char* text;
};  // text nullptr: the unknown-code text
const CodeRow kCodes[] = {
    {3, 0, "network unreachable"},
    {3, 1, "host unreachable"},
    {3, 2, "protocol unreachable"},
    {3, 3, "port unreachable"},
    {3, 4, "framentation needed but DF bit set"},
    {3, 5, "source route failed"},
    {3, 6, "destination network unknown"},
    {3, 7, nullptr},
    {3, 8, "source host isolated"},
    {3, 9, "destination network administratively prohibited"},
    {3, 10, "destination host administratively prohibited"},
    {3, 11, "network unreachable for TOS"},
    {3, 12, "host unreachable for TOS"},
    {3, 13, "communication administratively prohibited"},
    {3, 14, "host precedence violation"},
    {3, 15, "precedence cutoff in effct"},
    {3, 16, nullptr},
    {3, 255, nullptr},
    {11, 0, "ttl equals 0 during transit"},
    {11, 1, "ttl equals 0 during reassembly"},
    {11, 2, nullptr},
    {12, 0, "IP header bad(catchall error)"},
    {12, 1, "required option missing"},
    {12, 2, nullptr},
};

TEST(DatagramTest, EveryCodeOfTheTableOnBothSocketKinds) {
    const Bytes request = Icmp(kIcmpEchoRequest, 0, 0x0777);  // the kernel's identifier, not ours
    for (const CodeRow& row : kCodes) {
        const std::string want = row.text ? "198.51.100.2 198.51.100.1:" + std::string(row.text)
                                          : "198.51.100.2 unknown icmp code " +
                                                std::to_string(row.code) + " with type " +
                                                std::to_string(row.type);
        EXPECT_EQ(Kept(Raw(Error(row.type, row.code))), want);
        EXPECT_EQ(Kept(ReadQueuedError({true, row.type, row.code, kRouter, kHost, request})), want);
    }
}

TEST(DatagramTest, EchoRepliesOnBothSocketKinds) {
    struct Case {
        uint32_t sent, now;
        uint8_t ttl;
        size_t options, extra;
        const char* text;
    };
    const Case cases[] = {
        {1000, 1015, 64, 0, 0, "ttl=64,time=15,bytes=32"},
        {0xFFFFFFF6u, 5, 1, 12, 0, "ttl=1,time=15,bytes=32"},  // across the tick wrap
        {2000, 1000, 255, 0, 500,
         "ttl=255,time=-1000,bytes=32"},  // a forged future stamp stays harmless
    };
    for (const Case& c : cases) {
        Bytes icmp = Icmp(kIcmpEchoReply, 9, kId, c.sent);  // any code is a reply
        icmp.resize(icmp.size() + c.extra, 0xAA);
        // The source may be an alias: the echoed target names the host.
        EXPECT_EQ(Kept(Raw(Cat(Ip(kRouter, kUs, c.ttl, c.options), icmp), c.now)),
                  "198.51.100.2 " + std::string(c.text));
        EXPECT_EQ(Kept(ReadPingDatagram(icmp, c.ttl, c.now)),
                  "198.51.100.2 " + std::string(c.text));
    }
}

TEST(DatagramTest, ForeignUnwantedAndMalformedDatagramsAreIgnored) {
    const std::pair<const char*, Bytes> cases[] = {
        {"reply to another program", Echo(0x1111)},
        {"error for another program", Error(3, 1, 0x1111)},
        {"our own outgoing request", Cat(Ip(kUs, kHost, 64), Icmp(kIcmpEchoRequest, 0))},
        {"error quoting UDP", With(Error(3, 3), 20 + 8 + 9, 17)},
        {"error quoting a reply", With(Error(3, 3), 20 + 8 + 20, kIcmpEchoReply)},
        {"redirect", Error(5, 1)},
        {"source quench", Error(4, 0)},
        {"timestamp reply", With(Echo(), 20, 14)},
        {"outer header length below 20", With(Error(3, 1), 0, 0x44)},
        {"IPv6", With(Error(3, 1), 0, 0x65)},
        {"outer header longer than the datagram", With(Error(3, 1), 0, 0x4F)},
        {"quoted header length below 20", With(Error(3, 1), 28, 0x42)},
        {"quoted header longer than what is left", With(Error(3, 1), 28, 0x4F)},
    };
    for (const auto& [what, datagram] : cases) EXPECT_FALSE(Raw(datagram)) << what;
    EXPECT_FALSE(ReadPingDatagram(Bytes(15, 0), 64, 0));
    EXPECT_FALSE(ReadPingDatagram(Icmp(kIcmpEchoRequest, 0), 64, 0))
        << "a datagram socket only answers with replies";
}

// Each header is walked by its own length; every cut short of the last field read is refused.
TEST(DatagramTest, HeadersWithOptionsAndEveryTruncation) {
    const std::tuple<const char*, Bytes, size_t> cases[] = {
        {"echo reply", Echo(), 20 + 16},
        {"echo reply behind options", Echo(kId, 8), 28 + 16},
        {"error", Error(3, 1), 20 + 8 + 20 + 8},
        {"error behind options", Error(3, 1, kId, 40), 60 + 8 + 20 + 8},
        {"error quoting options", Error(11, 0, kId, 0, 12), 20 + 8 + 32 + 8},
        {"both with options", Error(3, 1, kId, 8, 40), 28 + 8 + 60 + 8},
    };
    for (const auto& [what, d, needed] : cases) {
        for (size_t n = 0; n < needed; ++n)
            EXPECT_FALSE(Raw(Bytes(d.begin(), d.begin() + n))) << what << " cut to " << n;
        EXPECT_EQ(Kept(Raw(Bytes(d.begin(), d.begin() + needed))).substr(0, 13), "198.51.100.2 ")
            << what;
    }
}

TEST(DatagramTest, QueuedErrorsThatAreNotOursOrIncompleteAreIgnored) {
    const Bytes request = Icmp(kIcmpEchoRequest, 0, 7), reply = Icmp(kIcmpEchoReply, 0, 7);
    const std::pair<const char*, QueuedError> cases[] = {
        {"local failure", {false, 3, 1, kRouter, kHost, request}},
        {"redirect", {true, 5, 0, kRouter, kHost, request}},
        {"no destination", {true, 3, 1, kRouter, {}, request}},
        {"echo reply", {true, 0, 0, kRouter, kHost, request}},
        {"payload too short", {true, 3, 1, kRouter, kHost, std::span(request).first(7)}},
        {"payload is not a request", {true, 3, 1, kRouter, kHost, reply}},
    };
    for (const auto& [what, error] : cases) EXPECT_FALSE(ReadQueuedError(error)) << what;
    EXPECT_EQ(Kept(ReadQueuedError({true, 3, 1, {}, kHost, request})),
              "198.51.100.2 198.51.100.2:host unreachable");
}

TEST(EchoRequestTest, ChecksumAndLayoutMatchKnownBytes) {
    const std::pair<Bytes, uint16_t> sums[] = {
        // sums as stored: low byte first
        {{}, 0xFFFF},
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x0D22},  // the RFC 1071 example
        {{0xAB}, static_cast<uint16_t>(~0x00AB)},  // an odd byte is the low half of a word
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0x0000},
        {{0xFF, 0xFF, 0x01, 0x00}, 0xFFFE},  // carries fold back in
    };
    for (const auto& [bytes, sum] : sums)
        EXPECT_EQ(InternetChecksum(bytes), sum) << ::testing::PrintToString(bytes);

    EchoRequest request;
    request.bytes.fill(0xEE);  // Build must rewrite every byte
    request.Build(0x1234, 0x0A0B0C0D, kHost);
    // Sized in full from the start: GCC 12 at -O2 misreads growing a short vector by resize()
    // as a copy out of bounds (-Warray-bounds).
    const std::array<uint8_t, kEchoRequestSize> expected = {0x08, 0x00, 0x81, 0xA1, 0x34, 0x12,
                                                            0x00, 0x00, 0x0D, 0x0C, 0x0B, 0x0A,
                                                            0xC6, 0x33, 0x64, 0x02};
    EXPECT_EQ(request.bytes, expected);
}

}  // namespace
}  // namespace sondrel
