#include "engine/ReplyText.h"

#include <charconv>
#include <cstdio>
#include <string>

#include "engine/EchoRequest.h"
#include "platform/AddressText.h"

namespace sondrel {

namespace {

void AppendDecimal(std::string& text, int value) {
    char digits[12];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

std::string AddressToText(uint32_t address) { return DottedQuad(address); }

const char* IcmpCodeText(uint8_t type, uint8_t code) {
    // Texts as the users of this program have always read them, misspellings included.
    static const char* const kUnreachable[] = {
        "network unreachable",
        "host unreachable",
        "protocol unreachable",
        "port unreachable",
        "framentation needed but DF bit set",
        "source route failed",
        "destination network unknown",
        nullptr,  // destination host unknown never had a text of its own
        "source host isolated",
        "destination network administratively prohibited",
        "destination host administratively prohibited",
        "network unreachable for TOS",
        "host unreachable for TOS",
        "communication administratively prohibited",
        "host precedence violation",
        "precedence cutoff in effct",
    };
    static const char* const kTimeExceeded[] = {"ttl equals 0 during transit",
                                                "ttl equals 0 during reassembly"};
    static const char* const kParameterProblem[] = {"IP header bad(catchall error)",
                                                    "required option missing"};
    switch (type) {
        case kIcmpUnreachable:
            return code < std::size(kUnreachable) ? kUnreachable[code] : nullptr;
        case kIcmpTimeExceeded:
            return code < std::size(kTimeExceeded) ? kTimeExceeded[code] : nullptr;
        case kIcmpParameterProblem:
            return code < std::size(kParameterProblem) ? kParameterProblem[code] : nullptr;
        default:
            return nullptr;
    }
}

std::string FormatReplyText(const IcmpOutcome& outcome, uint32_t nowTick) {
    char buf[kMaxReplyText + 1];
    if (outcome.type == kIcmpEchoReply) {
        // Printed with %d like the tick difference always was: a reply stamped "in the
        // future" by a peer reads as a negative time, never as a crash.
        // Put together by hand: a million replies a round each make one.
        const auto rtt = static_cast<int>(nowTick - outcome.echoedTick);
        std::string text = "ttl=";
        text.reserve(32);
        AppendDecimal(text, outcome.ttl);
        text += ",time=";
        AppendDecimal(text, rtt);
        text += ",bytes=32";
        return text;
    }
    if (const char* text = IcmpCodeText(outcome.type, outcome.code)) {
        std::string out = AddressToText(outcome.source);
        out += ':';
        out += text;
        if (out.size() > kMaxReplyText) out.resize(kMaxReplyText);
        return out;
    }
    std::snprintf(buf, sizeof buf, "unknown icmp code %d with type %d", outcome.code, outcome.type);
    return buf;
}

std::string SocketErrorText(std::string_view step, int error) {
    char buf[kMaxReplyText + 1];
    std::snprintf(buf, sizeof buf, "%.*s WSAError %d", static_cast<int>(step.size()), step.data(),
                  error);
    return buf;
}

}  // namespace sondrel
