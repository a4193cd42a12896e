#include "input/UrlSplit.h"

#include <gtest/gtest.h>

#include <string>

namespace sondrel {
namespace {

TEST(SplitUrlTest, Table) {
    struct Case {
        std::string url;
        bool accepted;
        int kind;
        const char* host;
        const char* object;
        int port;
    };
    const Case cases[] = {
        {"http://www.example.com", true, kServiceHttp, "www.example.com", "/", 80},
        {"http://www.example.com/a/b?c=d&e=f", true, kServiceHttp, "www.example.com",
         "/a/b?c=d&e=f", 80},
        {"HTTP://Host.Example:8080/X", true, kServiceHttp, "Host.Example", "/X", 8080},
        {"http://10.0.0.1/", true, kServiceHttp, "10.0.0.1", "/", 80},
        {"http://user:pw@10.0.0.1:81/p", true, kServiceHttp, "10.0.0.1", "/p", 81},
        {"http://h.example/p#frag", true, kServiceHttp, "h.example", "/p", 80},
        // The path is kept as typed, dots and all.
        {"http://h.example/a/../b", true, kServiceHttp, "h.example", "/a/../b", 80},
        {"http://h.example/get?url=http://x.example/f&n=1", true, kServiceHttp, "h.example",
         "/get?url=http://x.example/f&n=1", 80},
        {"ftp://files.example/pub", true, kServiceFtp, "files.example", "/pub", 21},
        {"https://secure.example/", true, kServiceOther, "secure.example", "/", 443},
        {"gopher://g.example/", true, kServiceOther, "g.example", "/", 70},
        {"made-up://m.example:99/", true, kServiceOther, "m.example", "/", 99},
        {"www.example.com//path", false, kServiceUnknown, "", "", 0},
        {"//www.example.com/", false, kServiceUnknown, "", "", 0},
        {"http://", false, kServiceUnknown, "", "", 0},
        {"http://a b.example/", false, kServiceUnknown, "", "", 0},
        {"http://h.example:0/", true, kServiceHttp, "h.example", "/", 0},
        {"http://h.example:99999/", false, kServiceUnknown, "", "", 0},
        {"", false, kServiceUnknown, "", "", 0},
        {std::string("http://h.example/\0x", 19), false, kServiceUnknown, "", "", 0},
    };
    for (const auto& c : cases) {
        const UrlParts parts = SplitUrl(c.url);
        EXPECT_EQ(parts.accepted, c.accepted) << c.url;
        EXPECT_EQ(parts.serviceKind, c.kind) << c.url;
        EXPECT_EQ(parts.host, c.host) << c.url;
        EXPECT_EQ(parts.object, c.object) << c.url;
        EXPECT_EQ(parts.port, c.port) << c.url;
    }
}

}  // namespace
}  // namespace sondrel
