#include "desktop/DropRules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace sondrel {
namespace {

TEST(DroppedTextTest, UriListFirstLinkElsePlainText) {
    using Opt = std::optional<std::string_view>;
    struct Case {
        const char* name;
        Opt uriList;
        Opt plain;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"first link wins", "http://a.example/x\r\nhttp://b.example/\r\n", "ignored",
         "http://a.example/x"},
        {"comments and blank lines skipped", "# from a browser\r\n\r\n  \r\nhttp://b.example/\r\n",
         std::nullopt, "http://b.example/"},
        {"LF alone, no final line end", "#c\nhttp://c.example/p?q=1", std::nullopt,
         "http://c.example/p?q=1"},
        {"only comments: plain text", "# nothing\r\n", "198.51.100.7", "198.51.100.7"},
        {"no uri list", std::nullopt, "http://e.example/", "http://e.example/"},
        {"plain text trimmed", std::nullopt, "  www.example.org\r\n", "www.example.org"},
        {"plain text cut at a NUL", std::nullopt, std::string_view("abc\0def", 7), "abc"},
        {"uri list cut at a NUL", std::string_view("\0http://f.example/", 18), "g.example",
         "g.example"},
        {"blank plain text is no text", std::nullopt, " \r\n\t", std::nullopt},
        {"nothing at all", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DroppedText(c.uriList, c.plain), c.expected);
    }
}

TEST(ListFileOfLinkTest, OnlyLocalListFiles) {
    struct Case {
        const char* link;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {"file:///home/u/hosts.ipl", "/home/u/hosts.ipl"},
        {"file://localhost/srv/list.ipl", "/srv/list.ipl"},
        {"file:///home/u/my%20lists/a%2Bb.ipl", "/home/u/my lists/a+b.ipl"},
        {"file:///x/100%.ipl", "/x/100%.ipl"},
        {"file:///x/a.ipl?v=1#top", "/x/a.ipl"},
        {"file:///x/evil%00.ipl", std::nullopt},
        {"file://otherhost/srv/list.ipl", std::nullopt},
        {"file:///home/u/notes.txt", std::nullopt},
        {"http://example.org/list.ipl", std::nullopt},
        {"/home/u/hosts.ipl", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        EXPECT_EQ(ListFileOfLink(c.link), c.path);
    }
}

}  // namespace
}  // namespace sondrel
