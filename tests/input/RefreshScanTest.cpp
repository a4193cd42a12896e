#include <gtest/gtest.h>

#include "input/RefreshScan.h"

namespace sondrel {
namespace {

TEST(ScanRefreshTest, Table) {
    const std::optional<std::string> none;
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"<meta http-equiv=\"refresh\" content=\"0; url=http://b.example/x\">",
         "http://b.example/x"},
        {"<META HTTP-EQUIV=\"Refresh\" CONTENT=\"5;URL=HTTP://B.Example/X\">",
         "http://b.example/x"},
        // The first "url=" counts, wherever it stands.
        {"<a href=\"?url=http://first.example/\">x</a><meta http-equiv=refresh "
         "content=\"0;url=http://second.example/\">",
         "http://first.example/"},
        {"http-equiv refresh url=go?to=http://x.example/\"", "go?to=http://x.example/"},
        {"<meta http-equiv=\"refresh\" content=\"0; url=https://b.example/\">", none},
        {"", none},
        {"<meta http-equiv=\"refresh\" content=\"0\">", none},
        {"<meta name=\"refresh\" content=\"0;url=http://b.example/\">", none},
        {"<meta http-equiv=\"expires\" content=\"0;url=http://b.example/\">", none},
        {"http-equiv refresh url=\"http://b.example/\"", none},
        {std::string("http-equiv\0refresh\0url=http://n.example/\"", 42), "http://n.example/"},
    };
    for (const auto& [page, target] : cases) {
        EXPECT_EQ(ScanRefresh(page), target) << page;
    }
    EXPECT_EQ(LowerPage("AbZ\xC3\x89@[`{"), "abz\xC3\x89@[`{");
}

}  // namespace
}  // namespace sondrel
