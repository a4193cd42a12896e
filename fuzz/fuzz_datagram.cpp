// Feeds the engine's datagram readers with arbitrary bytes. The first byte picks the reader:
// even: a raw socket's datagram (IPv4 header first), with the identifier from bytes 1-2;
// odd with bit 1 clear: a datagram socket's ICMP message, TTL from byte 1;
// otherwise: an error-queue entry, its fields from bytes 1-11 and the payload after them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "engine/Datagram.h"
#include "engine/ReplyText.h"

namespace {

void Check(const std::optional<sondrel::EngineReply>& reply) {
    if (!reply) return;
    const std::string text = reply->Text();
    if (text.empty() || text.size() > sondrel::kMaxReplyText) std::abort();
}

uint32_t Word(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 12) return 0;
    const uint8_t mode = data[0];
    const uint32_t now = Word(data + 4);
    if ((mode & 1) == 0) {
        const uint16_t id = static_cast<uint16_t>(data[1] | data[2] << 8);
        Check(sondrel::ReadRawDatagram(std::span(data + 12, size - 12), id, now));
    } else if ((mode & 2) == 0) {
        Check(sondrel::ReadPingDatagram(std::span(data + 12, size - 12), data[1], now));
    } else {
        sondrel::QueuedError e;
        e.fromIcmp = (mode & 4) != 0;
        e.type = data[1];
        e.code = data[2];
        if (mode & 8) e.offender = now;
        if (mode & 16) e.destination = Word(data + 8);
        e.payload = std::span(data + 12, size - 12);
        Check(sondrel::ReadQueuedError(e));
    }
    return 0;
}
