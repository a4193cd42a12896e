#include <gtest/gtest.h>

#include <tuple>

#include "desktop/DropRules.h"

namespace sondrel {
namespace {

TEST(DroppedTextTest, UriListFirstLinkElsePlainText) {
    using Opt = std::optional<std::string_view>;
    const std::tuple<Opt, Opt, std::optional<std::string>> cases[] = {
        {"# from a browser\r\n\r\n  \r\nhttp://b.example/\r\n", std::nullopt, "http://b.example/"},
        {"# nothing\r\n", "198.51.100.7", "198.51.100.7"},
        {std::nullopt, "  www.example.org\r\n", "www.example.org"},
        {std::nullopt, std::string_view("abc\0def", 7), "abc"},
        {std::string_view("\0http://f.example/", 18), "g.example", "g.example"},
        {std::nullopt, " \r\n\t", std::nullopt},
    };
    for (const auto& [uriList, plain, expected] : cases)
        EXPECT_EQ(DroppedText(uriList, plain), expected) << uriList.value_or(plain.value_or(""));
}

TEST(ListFileOfLinkTest, OnlyLocalListFiles) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"file:///home/u/hosts.ipl", "/home/u/hosts.ipl"},
        {"file://localhost/srv/list.ipl", "/srv/list.ipl"},
        {"file:///home/u/my%20lists/a%2Bb.ipl", "/home/u/my lists/a+b.ipl"},
        {"file:///x/evil%00.ipl", std::nullopt},
        {"file://otherhost/srv/list.ipl", std::nullopt},
        {"file:///home/u/notes.txt", std::nullopt},
    };
    for (const auto& [link, path] : cases) EXPECT_EQ(ListFileOfLink(link), path) << link;
}

}  // namespace
}  // namespace sondrel
