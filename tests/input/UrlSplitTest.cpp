#include <gtest/gtest.h>

#include <tuple>

#include "input/UrlSplit.h"

namespace sondrel {
namespace {

std::string Describe(const UrlParts& parts) {
    return parts.host + " " + parts.object + " " + std::to_string(parts.port);
}

TEST(SplitUrlTest, Table) {
    // kind kServiceUnknown: refused
    const std::tuple<std::string, int, const char*> cases[] = {
        {"http://www.example.com", kServiceHttp, "www.example.com / 80"},
        {"HTTP://Host.Example:8080/X", kServiceHttp, "Host.Example /X 8080"},
        {"http://user:pw@10.0.0.1:81/p#frag", kServiceHttp, "10.0.0.1 /p 81"},
        {"http://h.example/get?url=http://x.example/f&n=1", kServiceHttp,
         "h.example /get?url=http://x.example/f&n=1 80"},
        // A stray percent sign is read as itself, so it must be escaped when written back.
        {"http:/%%3333", kServiceHttp, "%333 / 80"},
        {"ftp://files.example/pub", kServiceFtp, "files.example /pub 21"},
        {"made-up://m.example:99/", kServiceOther, "m.example / 99"},
        {"www.example.com//path", kServiceUnknown, "  0"},
        {"http://a b.example/", kServiceUnknown, "  0"},
        {"http://h.example:99999/", kServiceUnknown, "  0"},
        {std::string("http://h.example/\0x", 19), kServiceUnknown, "  0"},
    };
    for (const auto& [url, kind, expected] : cases) {
        const UrlParts parts = SplitUrl(url);
        EXPECT_EQ(parts.accepted, kind != kServiceUnknown) << url;
        EXPECT_EQ(parts.serviceKind, kind) << url;
        EXPECT_EQ(Describe(parts), expected) << url;
        // What is fetched must split to the very same place.
        EXPECT_EQ(Describe(SplitUrl(JoinHttpUrl(parts))), expected) << url;
    }
}

}  // namespace
}  // namespace sondrel
