#include "desktop/DroppedHost.h"

#include "input/FakeResolver.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace sondrel {
namespace {

using test::FakeResolver;
using test::Ip;

const std::string kDownload = "We will add the download url instead.";
const std::string kInvalid = "Invalid address.Ignored.";

// Stands in for the page fetches, to reach servers that move to other hosts.
struct FakeUrlResolution {
    std::map<std::string, std::string> moves;
    std::vector<std::string> asked;

    UrlHostResolver Function() {
        return [this](const std::string& url) {
            asked.push_back(url);
            if (auto it = moves.find(url); it != moves.end()) {
                return it->second;
            }
            return url.substr(7);
        };
    }
};

struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> notices;  // shown before any lookup
    bool ok;
    const char* address;
    bool named;
    std::vector<std::string> messages;  // shown after the lookups
    std::vector<std::string> fetched;
    std::vector<std::string> looked;  // names given to the name lookup
};

TEST(DroppedHostTest, Table) {
    const std::string inner = "http://dl.example.com/download.php?id=7&url=http://mirror.example.org/f.zip&x=1";
    const Case cases[] = {
        {"numeric server used as it is, no fetch, no lookup", "http://198.51.100.7/a/b.html", {},
         true, "198.51.100.7", false, {}, {}, {}},
        {"numeric server of another service", "ftp://198.51.100.8/pub/", {}, true, "198.51.100.8",
         false, {}, {}, {}},
        {"named HTTP server resolved by its pages, then looked up", "http://www.example.com/page?q=1",
         {}, true, "192.0.2.20", true, {}, {"http://www.example.com"}, {"moved.example.com"}},
        {"HTTP server moving to a numeric host is named all the same", "http://numeric.example/",
         {}, true, "198.51.100.9", true, {}, {"http://numeric.example"}, {}},
        {"other service looked up by name without a fetch", "ftp://ftp.example.com/pub/", {}, true,
         "192.0.2.30", true, {}, {}, {"ftp.example.com"}},
        {"unknown HTTP server", "http://nosuch.example/", {}, false, "0.0.0.0", false, {kInvalid},
         {"http://nosuch.example"}, {"nosuch.example"}},
        {"download link: the embedded target, up to the next &", inner, {kDownload}, true,
         "192.0.2.40", true, {}, {"http://mirror.example.org"}, {"mirror.example.org"}},
        {"bare dotted address goes the typed way", "198.51.100.10", {}, true, "198.51.100.10",
         false, {}, {}, {}},
        {"bare name goes the typed way", "www.example.com", {}, true, "192.0.2.21", true, {}, {},
         {"www.example.com"}},
        {"a link without a server names nothing", "file:///etc/hosts", {}, false, "0.0.0.0", false,
         {kInvalid}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeResolver resolver{{"moved.example.com", Ip("192.0.2.20")},
                              {"www.example.com", Ip("192.0.2.21")},
                              {"ftp.example.com", Ip("192.0.2.30")},
                              {"mirror.example.org", Ip("192.0.2.40")}};
        FakeUrlResolution urls;
        urls.moves["http://www.example.com"] = "moved.example.com";
        urls.moves["http://numeric.example"] = "198.51.100.9";

        const DropPlan plan = PlanDrop(c.text);
        EXPECT_EQ(plan.text, c.text);
        EXPECT_EQ(plan.notices, c.notices);
        const TypedAddress found = LookUpDrop(plan, resolver, urls.Function());
        EXPECT_EQ(found.ok, c.ok);
        EXPECT_EQ(found.address, c.ok ? Ip(c.address) : 0u);
        EXPECT_EQ(found.named, c.named);
        // The name of a host found by name is the whole dropped text.
        EXPECT_EQ(found.name, c.named ? c.text : std::string());
        EXPECT_EQ(found.messages, c.messages);
        EXPECT_EQ(urls.asked, c.fetched);
        EXPECT_EQ(resolver.asked, c.looked);
    }
}

TEST(DroppedHostTest, RealNameServiceFindsLocalhost) {
    // The system's resolver on a name every machine resolves from its own files.
    const DropPlan plan = PlanDrop("ftp://localhost/pub/");
    const TypedAddress found = LookUpDrop(plan, TheSystemResolver(), {});
    ASSERT_TRUE(found.ok);
    EXPECT_EQ(found.address, Ip("127.0.0.1"));
    EXPECT_TRUE(found.named);
    EXPECT_EQ(found.name, "ftp://localhost/pub/");
}

}  // namespace
}  // namespace sondrel
