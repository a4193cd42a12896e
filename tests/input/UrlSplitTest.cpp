#include <gtest/gtest.h>

#include "input/UrlSplit.h"

namespace sondrel {
namespace {

TEST(SplitUrlTest, Table) {
    // kind kServiceUnknown: refused
    const struct {
        std::string url;
        int kind;
        const char *host, *object;
        int port;
    } cases[] = {
        {"http://www.example.com", kServiceHttp, "www.example.com", "/", 80},
        {"HTTP://Host.Example:8080/X", kServiceHttp, "Host.Example", "/X", 8080},
        {"http://user:pw@10.0.0.1:81/p#frag", kServiceHttp, "10.0.0.1", "/p", 81},
        {"http://h.example/get?url=http://x.example/f&n=1", kServiceHttp, "h.example",
         "/get?url=http://x.example/f&n=1", 80},
        {"ftp://files.example/pub", kServiceFtp, "files.example", "/pub", 21},
        {"https://s.example/", kServiceOther, "s.example", "/", 443},
        {"made-up://m.example:99/", kServiceOther, "m.example", "/", 99},
        {"www.example.com//path", kServiceUnknown, "", "", 0},
        {"http://", kServiceUnknown, "", "", 0},
        {"http://a b.example/", kServiceUnknown, "", "", 0},
        {"http://h.example:99999/", kServiceUnknown, "", "", 0},
        {std::string("http://h.example/\0x", 19), kServiceUnknown, "", "", 0},
    };
    for (const auto& c : cases) {
        const UrlParts parts = SplitUrl(c.url);
        EXPECT_EQ(parts.accepted, c.kind != kServiceUnknown) << c.url;
        EXPECT_EQ(parts.serviceKind, c.kind) << c.url;
        EXPECT_EQ(parts.host + " " + parts.object + " " + std::to_string(parts.port),
                  c.host + std::string(" ") + c.object + " " + std::to_string(c.port))
            << c.url;
    }
}

}  // namespace
}  // namespace sondrel
