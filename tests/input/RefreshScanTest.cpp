#include "input/RefreshScan.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace sondrel {
namespace {

TEST(ScanRefreshTest, Table) {
    struct Case {
        std::string page;
        std::optional<std::string> target;
    };
    const Case cases[] = {
        {"<meta http-equiv=\"refresh\" content=\"0; url=http://b.example/x\">", "http://b.example/x"},
        {"<META HTTP-EQUIV=\"Refresh\" CONTENT=\"5;URL=HTTP://B.Example/X\">", "http://b.example/x"},
        // The first "url=" counts, wherever it stands.
        {"<a href=\"?url=http://first.example/\">x</a><meta http-equiv=refresh "
         "content=\"0;url=http://second.example/\">",
         "http://first.example/"},
        {"url=http://x.example/\" refresh http-equiv", "http://x.example/"},
        // "http://" may stand anywhere in the target.
        {"http-equiv refresh url=go?to=http://x.example/\"", "go?to=http://x.example/"},
        {"<meta http-equiv=\"refresh\" content=\"0; url=/relative\">", std::nullopt},
        {"<meta http-equiv=\"refresh\" content=\"0; url=https://b.example/\">", std::nullopt},
        {"<meta http-equiv=\"refresh\" content=\"0; url=http://b.example/", std::nullopt},
        {"<meta http-equiv=\"refresh\" content=\"0\">", std::nullopt},
        {"<meta name=\"refresh\" content=\"0;url=http://b.example/\">", std::nullopt},
        {"<meta http-equiv=\"expires\" content=\"0;url=http://b.example/\">", std::nullopt},
        {"http-equiv refresh url=\"http://b.example/\"", std::nullopt},
        {"", std::nullopt},
        {std::string("http-equiv\0refresh\0url=http://n.example/\"", 42), "http://n.example/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScanRefresh(c.page), c.target) << c.page;
    }
}

TEST(ScanRefreshTest, LoweringTouchesAsciiLettersOnly) {
    EXPECT_EQ(LowerPage("AbZ\xC3\x89@[`{"), "abz\xC3\x89@[`{");
}

TEST(ExaminedPageBytesTest, TwoFullReadsAtMost) {
    struct Case {
        std::size_t body;
        std::size_t examined;
    };
    const Case cases[] = {{0, 0},       {1, 1},       {1023, 1023}, {1024, 1024},
                          {1523, 1523}, {2046, 2046}, {2047, 2046}, {100000, 2046}};
    for (const auto& c : cases) {
        EXPECT_EQ(ExaminedPageBytes(c.body), c.examined) << c.body;
    }
    EXPECT_EQ(kPageExaminedMax, 2046u);
}

}  // namespace
}  // namespace sondrel
