#include "input/TypedAddress.h"

#include "FakeResolver.h"

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

// Stands in for the page fetches: maps the address handed over to the host it "serves", and
// keeps every address it was handed.
struct FakeUrlResolution {
    std::map<std::string, std::string> moves;
    std::vector<std::string> asked;

    UrlHostResolver Function() {
        return [this](const std::string& url) {
            asked.push_back(url);
            if (auto it = moves.find(url); it != moves.end()) {
                return it->second;
            }
            return url.substr(7);  // the host itself: "http://" + host
        };
    }
};

struct Case {
    const char* name;
    std::string text;
    bool ok;
    const char* address;
    bool named;
    std::vector<std::string> messages;
    std::vector<std::string> fetched;  // addresses given to the URL resolution
};

TEST(ParseTypedAddressTest, Table) {
    const std::string dl =
        "http://dl.example.com/download.php?id=7&url=http://mirror.example.org/f.zip&x=1";
    const Case cases[] = {
        {"dotted", "10.0.0.1", true, "10.0.0.1", false, {}, {}},
        {"short dotted form", "10.1", true, "10.0.0.1", false, {}, {}},
        {"name as typed", "WWW.Example.COM", true, "192.0.2.1", true, {}, {}},
        {"all ones goes to the name lookup and fails there", "255.255.255.255", false, "", false,
         {kInvalid}, {}},
        {"unknown name without //", "nosuchhost", false, "", false, {kInvalid}, {}},
        {"// without a scheme", "no//such/thing", false, "", false, {kInvalid}, {}},
        {"a name holding // is looked up whole first", "odd//name", true, "192.0.2.9", true, {}, {}},
        {"web address with numeric host", "http://10.0.0.2/path?q=1", true, "10.0.0.2", false, {},
         {"http://10.0.0.2"}},
        {"web address with named host: port and path dropped",
         "http://www.example.com:8080/a/b?c=d", true, "192.0.2.1", true, {},
         {"http://www.example.com"}},
        {"scheme in capitals", "HTTP://www.example.com/", true, "192.0.2.1", true, {},
         {"http://www.example.com"}},
        {"refresh leads to another host", "http://forward.example.net/", true, "192.0.2.7", true,
         {}, {"http://forward.example.net"}},
        {"refresh leads to a dotted host", "http://todotted.example.net/x", true, "10.9.9.9",
         false, {}, {"http://todotted.example.net"}},
        {"ftp host is converted without a fetch", "ftp://files.example.com/pub", true,
         "192.0.2.3", true, {}, {}},
        {"ftp numeric host", "ftp://10.0.0.9/x", true, "10.0.0.9", false, {}, {}},
        {"unknown host of a web address", "http://nowhere.example/", false, "", false, {kInvalid},
         {"http://nowhere.example"}},
        {"download rule with a further &", dl, true, "192.0.2.5", true, {kDownload},
         {"http://mirror.example.org"}},
        {"download rule twice",
         "http://dl.example.com/download?url=http://dl2.example.com/download?url=http://10.0.0.4/",
         true, "10.0.0.4", false, {kDownload, kDownload}, {"http://10.0.0.4"}},
        {"download value that is no web address keeps the host reached",
         "http://dl.example.com/download?returnurl=/home&a=b", true, "192.0.2.4", true,
         {kDownload}, {"http://dl.example.com"}},
        {"url= without download", "http://dl.example.com/get?url=http://10.0.0.4/", true,
         "192.0.2.4", true, {}, {"http://dl.example.com"}},
        {"download is case-sensitive", "http://dl.example.com/Download?url=http://10.0.0.4/", true,
         "192.0.2.4", true, {}, {"http://dl.example.com"}},
        {"download rule to an ftp address", "http://dl.example.com/download?url=ftp://10.0.0.6/f",
         true, "10.0.0.6", false, {kDownload}, {}},
    };
    for (const auto& c : cases) {
        FakeResolver resolver{{"WWW.Example.COM", Ip("192.0.2.1")},
                              {"www.example.com", Ip("192.0.2.1")},
                              {"odd//name", Ip("192.0.2.9")},
                              {"files.example.com", Ip("192.0.2.3")},
                              {"dl.example.com", Ip("192.0.2.4")},
                              {"mirror.example.org", Ip("192.0.2.5")},
                              {"real.example.net", Ip("192.0.2.7")}};
        FakeUrlResolution urls;
        urls.moves["http://forward.example.net"] = "real.example.net";
        urls.moves["http://todotted.example.net"] = "10.9.9.9";

        const TypedAddress result = ParseTypedAddress(c.text, resolver, urls.Function());
        EXPECT_EQ(result.ok, c.ok) << c.name;
        EXPECT_EQ(result.messages, c.messages) << c.name;
        EXPECT_EQ(urls.asked, c.fetched) << c.name;
        if (c.ok) {
            EXPECT_EQ(result.address, Ip(c.address)) << c.name;
            EXPECT_EQ(result.named, c.named) << c.name;
            // A named host carries the whole text as typed, never only its host part.
            EXPECT_EQ(result.name, c.named ? c.text : std::string()) << c.name;
        }
    }
}

TEST(ParseTypedAddressTest, AllOnesResolvedByNameIsNamed) {
    FakeResolver resolver{{"255.255.255.255", 0xFFFFFFFFu}};
    FakeUrlResolution urls;
    const TypedAddress result = ParseTypedAddress("255.255.255.255", resolver, urls.Function());
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.address, 0xFFFFFFFFu);
    EXPECT_TRUE(result.named);
    EXPECT_EQ(resolver.asked, std::vector<std::string>{"255.255.255.255"});
}

TEST(ApplyDownloadRuleTest, EndsOnValuesTheParserRefuses) {
    struct RuleCase {
        std::string object;
        int applied;
        std::string host;
    };
    const RuleCase cases[] = {
        {"/download?url=", 1, "start.example"},
        {"/download?url=no scheme here", 1, "start.example"},
        {"/download?url=http://a.example/download?url=http://a.example/download?url=", 3,
         "a.example"},
        {"/download?url=http://b.example/p", 1, "b.example"},
        {"/nothing", 0, "start.example"},
    };
    for (const auto& c : cases) {
        UrlParts parts;
        parts.accepted = true;
        parts.serviceKind = kServiceHttp;
        parts.host = "start.example";
        parts.object = c.object;
        EXPECT_EQ(ApplyDownloadRule(parts), c.applied) << c.object;
        EXPECT_EQ(parts.host, c.host) << c.object;
    }
}

}  // namespace
}  // namespace sondrel
