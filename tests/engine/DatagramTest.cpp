#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/Datagram.h"
#include "engine/EchoRequest.h"
#include "engine/ReplyText.h"

namespace sondrel {
namespace {

constexpr uint16_t kOurId = 0x4321;
const uint32_t kHost = inet_addr("198.51.100.2");
const uint32_t kRouter = inet_addr("198.51.100.1");
const uint32_t kUs = inet_addr("198.51.100.9");

using Bytes = std::vector<uint8_t>;

// An IPv4 header of 20 + optionBytes bytes.
Bytes IpHeader(uint32_t source, uint32_t destination, uint8_t ttl, size_t optionBytes = 0, uint8_t protocol = 1) {
    Bytes h(20 + optionBytes, 0);
    h[0] = static_cast<uint8_t>(0x40 | (h.size() / 4));
    h[8] = ttl;
    h[9] = protocol;
    std::memcpy(&h[12], &source, 4);
    std::memcpy(&h[16], &destination, 4);
    for (size_t i = 20; i < h.size(); ++i) h[i] = 0x01;  // NOP options
    return h;
}

Bytes Request(uint16_t id, uint32_t target) {
    EchoRequest r;
    r.Build(id, 1000, target);
    return Bytes(r.bytes.begin(), r.bytes.end());
}

Bytes EchoReplyMessage(uint16_t id, uint32_t tick, uint32_t target, uint8_t code = 0) {
    EchoRequest r;
    r.Build(id, tick, target);
    Bytes m(r.bytes.begin(), r.bytes.end());
    m[0] = kIcmpEchoReply;
    m[1] = code;
    return m;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// An ICMP error from `router` quoting our request to kHost; the quote keeps the first 8
// bytes of the request, as routers do.
Bytes ErrorDatagram(uint8_t type, uint8_t code, uint16_t id = kOurId, size_t outerOptions = 0,
                    size_t innerOptions = 0) {
    Bytes quotedRequest = Request(id, kHost);
    quotedRequest.resize(8);
    Bytes icmp = {type, code, 0, 0, 0, 0, 0, 0};
    return Concat({IpHeader(kRouter, kUs, 250, outerOptions), icmp, IpHeader(kUs, kHost, 63, innerOptions),
                   quotedRequest});
}

std::optional<EngineReply> Raw(const Bytes& d, uint32_t now = 1015) { return ReadRawDatagram(d, kOurId, now); }

struct CodeRow {
    uint8_t type;
    uint8_t code;
    const char* text;  // nullptr: the unknown-code text
};

const CodeRow kCodeTable[] = {
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

std::string ExpectedText(const CodeRow& row) {
    if (row.text) return "198.51.100.1:" + std::string(row.text);
    return "unknown icmp code " + std::to_string(row.code) + " with type " + std::to_string(row.type);
}

TEST(DatagramTest, EveryCodeOfTheTableOnARawSocket) {
    for (const CodeRow& row : kCodeTable) {
        auto reply = Raw(ErrorDatagram(row.type, row.code));
        ASSERT_TRUE(reply) << int(row.type) << "/" << int(row.code);
        EXPECT_EQ(reply->host, kHost) << "the pinged host, not the router";
        EXPECT_EQ(reply->text, ExpectedText(row));
    }
}

TEST(DatagramTest, EveryCodeOfTheTableFromTheErrorQueue) {
    const Bytes request = Request(0x0777, kHost);  // the kernel's identifier, not ours
    for (const CodeRow& row : kCodeTable) {
        QueuedError e{true, row.type, row.code, kRouter, kHost, request};
        auto reply = ReadQueuedError(e);
        ASSERT_TRUE(reply) << int(row.type) << "/" << int(row.code);
        EXPECT_EQ(reply->host, kHost);
        EXPECT_EQ(reply->text, ExpectedText(row));
    }
}

TEST(DatagramTest, EchoRepliesOnBothSocketKinds) {
    struct Case {
        uint32_t sent;
        uint32_t now;
        uint8_t ttl;
        const char* text;
    };
    const Case cases[] = {
        {1000, 1015, 64, "ttl=64,time=15,bytes=32"},
        {0xFFFFFFF6u, 5, 1, "ttl=1,time=15,bytes=32"},         // across the tick wrap
        {2000, 1000, 255, "ttl=255,time=-1000,bytes=32"},      // a forged future stamp stays harmless
    };
    for (const Case& c : cases) {
        Bytes icmp = EchoReplyMessage(kOurId, c.sent, kHost);
        auto raw = Raw(Concat({IpHeader(kHost, kUs, c.ttl), icmp}), c.now);
        ASSERT_TRUE(raw);
        EXPECT_EQ(raw->text, c.text);
        EXPECT_EQ(raw->host, kHost);
        auto dgram = ReadPingDatagram(icmp, c.ttl, c.now);
        ASSERT_TRUE(dgram);
        EXPECT_EQ(dgram->text, c.text);
        EXPECT_EQ(dgram->host, kHost);
    }
}

TEST(DatagramTest, HostComesFromTheEchoedTargetAndAnyCodeIsAReply) {
    // The reply's source may differ (an answer from an alias); the request's own target names the host.
    Bytes d = Concat({IpHeader(kRouter, kUs, 64), EchoReplyMessage(kOurId, 1000, kHost, 9)});
    auto reply = Raw(d);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->host, kHost);
    EXPECT_EQ(reply->text, "ttl=64,time=15,bytes=32");
    // Extra payload beyond the request changes nothing: the text always says 32 bytes.
    d.resize(d.size() + 500, 0xAA);
    ASSERT_TRUE(Raw(d));
    EXPECT_EQ(Raw(d)->text, "ttl=64,time=15,bytes=32");
}

TEST(DatagramTest, HeadersWithOptionsAreWalkedByTheirOwnLength) {
    struct Case {
        size_t outer;
        size_t inner;
    };
    for (Case c : {Case{0, 0}, Case{4, 0}, Case{0, 4}, Case{8, 40}, Case{40, 40}, Case{40, 0}}) {
        auto reply = Raw(ErrorDatagram(3, 1, kOurId, c.outer, c.inner));
        ASSERT_TRUE(reply) << c.outer << "/" << c.inner;
        EXPECT_EQ(reply->text, "198.51.100.1:host unreachable");
        EXPECT_EQ(reply->host, kHost);
    }
    Bytes echo = Concat({IpHeader(kHost, kUs, 64, 12), EchoReplyMessage(kOurId, 1000, kHost)});
    ASSERT_TRUE(Raw(echo));
    EXPECT_EQ(Raw(echo)->text, "ttl=64,time=15,bytes=32");
}

TEST(DatagramTest, ForeignAndUnwantedMessagesAreIgnored) {
    Bytes ourRequest = Concat({IpHeader(kUs, kHost, 64), Request(kOurId, kHost)});
    Bytes udpQuoted = ErrorDatagram(3, 3);
    udpQuoted[20 + 8 + 9] = 17;  // the quoted datagram was UDP
    Bytes quotedReply = ErrorDatagram(3, 3);
    quotedReply[20 + 8 + 20] = kIcmpEchoReply;  // the quote is not an echo request
    Bytes redirect = ErrorDatagram(5, 1);
    Bytes sourceQuench = ErrorDatagram(4, 0);
    struct Case {
        const char* what;
        Bytes datagram;
    };
    const Case cases[] = {
        {"echo reply of another program", Concat({IpHeader(kHost, kUs, 64), EchoReplyMessage(0x1111, 1000, kHost)})},
        {"error for another program", ErrorDatagram(3, 1, 0x1111)},
        {"our own outgoing request", ourRequest},
        {"error quoting a UDP datagram", udpQuoted},
        {"error quoting a reply", quotedReply},
        {"redirect", redirect},
        {"source quench", sourceQuench},
        {"timestamp reply", Concat({IpHeader(kHost, kUs, 64), Bytes{14, 0, 0, 0, 0x21, 0x43, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}})},
    };
    for (const Case& c : cases) EXPECT_FALSE(Raw(c.datagram)) << c.what;
}

TEST(DatagramTest, ShortAndGarbageDatagramsAreIgnoredAtEveryLength) {
    // Every truncation of valid datagrams short of the last field read is refused.
    struct Case {
        const char* what;
        Bytes datagram;
        size_t needed;  // shortest length that is read whole
    };
    const Case cases[] = {
        {"echo reply", Concat({IpHeader(kHost, kUs, 64), EchoReplyMessage(kOurId, 1000, kHost)}), 20 + 16},
        {"echo reply behind options", Concat({IpHeader(kHost, kUs, 64, 8), EchoReplyMessage(kOurId, 1000, kHost)}),
         28 + 16},
        {"error", ErrorDatagram(3, 1), 20 + 8 + 20 + 8},
        {"error quoting options", ErrorDatagram(11, 0, kOurId, 0, 12), 20 + 8 + 32 + 8},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Raw(c.datagram)) << c.what;
        for (size_t n = 0; n < c.needed; ++n)
            EXPECT_FALSE(Raw(Bytes(c.datagram.begin(), c.datagram.begin() + n))) << c.what << " cut to " << n;
        EXPECT_TRUE(Raw(Bytes(c.datagram.begin(), c.datagram.begin() + c.needed))) << c.what;
    }

    Bytes bad = ErrorDatagram(3, 1);
    struct Mangle {
        const char* what;
        size_t offset;
        uint8_t value;
    };
    const Mangle mangles[] = {
        {"outer header length below 20", 0, 0x44},
        {"outer header longer than the datagram", 0, 0x4F},
        {"outer version 6", 0, 0x65},
        {"quoted header length below 20", 28, 0x42},
        {"quoted header length 0", 28, 0x40},
        {"quoted header longer than what is left", 28, 0x4F},
    };
    for (const Mangle& m : mangles) {
        Bytes d = bad;
        d[m.offset] = m.value;
        EXPECT_FALSE(Raw(d)) << m.what;
    }
    EXPECT_FALSE(ReadPingDatagram(Bytes{0, 0, 0, 0, 0, 0, 0}, 64, 0));
    EXPECT_FALSE(ReadPingDatagram(Bytes(15, 0), 64, 0));
    EXPECT_FALSE(ReadPingDatagram(Request(1, kHost), 64, 0)) << "a datagram socket only answers with replies";
}

TEST(DatagramTest, QueuedErrorsThatAreNotOursOrIncompleteAreIgnored) {
    const Bytes request = Request(7, kHost);
    const Bytes reply = EchoReplyMessage(7, 1, kHost);
    struct Case {
        const char* what;
        QueuedError error;
    };
    const Case cases[] = {
        {"local failure", QueuedError{false, 3, 1, kRouter, kHost, request}},
        {"no destination", QueuedError{true, 3, 1, kRouter, std::nullopt, request}},
        {"redirect", QueuedError{true, 5, 0, kRouter, kHost, request}},
        {"echo reply type", QueuedError{true, 0, 0, kRouter, kHost, request}},
        {"payload too short", QueuedError{true, 3, 1, kRouter, kHost, std::span(request).first(7)}},
        {"payload is not a request", QueuedError{true, 3, 1, kRouter, kHost, reply}},
    };
    for (const Case& c : cases) EXPECT_FALSE(ReadQueuedError(c.error)) << c.what;

    // Without an offender the destination itself speaks.
    auto reply2 = ReadQueuedError(QueuedError{true, 3, 1, std::nullopt, kHost, request});
    ASSERT_TRUE(reply2);
    EXPECT_EQ(reply2->text, "198.51.100.2:host unreachable");
}

TEST(ReplyTextTest, AddressesAndSocketErrors) {
    EXPECT_EQ(AddressToText(inet_addr("10.0.0.1")), "10.0.0.1");
    EXPECT_EQ(AddressToText(inet_addr("255.255.255.255")), "255.255.255.255");
    EXPECT_EQ(AddressToText(0), "0.0.0.0");
    EXPECT_EQ(SocketErrorText("sendto()", 101), "sendto() WSAError 101");
    EXPECT_EQ(SocketErrorText("recvfrom()", 0), "recvfrom() WSAError 0");
    EXPECT_EQ(SocketErrorText(std::string(400, 'x'), 1).size(), kMaxReplyText);
}

TEST(ReplyTextTest, PortUnreachableFromARouterNamesTheRouter) {
    IcmpOutcome o;
    o.type = 3;
    o.code = 3;
    o.source = inet_addr("10.0.0.1");
    EXPECT_EQ(FormatReplyText(o, 0), "10.0.0.1:port unreachable");
}

}  // namespace
}  // namespace sondrel
