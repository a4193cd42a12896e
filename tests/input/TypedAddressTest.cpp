// Typed addresses with stand-ins for the name service and the page fetches, then web
// addresses followed for real against servers the test runs on loopback addresses.
#include <gtest/gtest.h>

#include <cstdlib>

#include "FakeResolver.h"
#include "HttpTestServer.h"
#include "input/TypedAddress.h"
#include "input/UrlResolver.h"

namespace sondrel {
namespace {

using test::HttpTestServer;
using test::Ip;
using test::RefreshPage;
using test::Reply;

const std::string kDownload = "We will add the download url instead.";
const std::string kInvalid = "Invalid address.Ignored.";

TEST(ParseTypedAddressTest, Table) {
    // address nullptr: refused; fetched: the address handed to the page fetches, if any
    const struct {
        std::string text;
        const char* address;
        bool named;
        int downloads;
        const char* fetched;
    } cases[] = {
        {"10.0.0.1", "10.0.0.1", false, 0, ""},
        {"WWW.Example.COM", "192.0.2.1", true, 0, ""},
        // All ones is no address to inet_addr: only the name service can answer it.
        {"255.255.255.255", "255.255.255.255", true, 0, ""},
        {"nosuchhost", nullptr, false, 0, ""},
        {"no//such/thing", nullptr, false, 0, ""},
        {"odd//name", "192.0.2.9", true, 0, ""},
        {"http://10.0.0.2/path?q=1", "10.0.0.2", false, 0, "http://10.0.0.2"},
        {"HTTP://www.example.com:8080/a/b?c=d", "192.0.2.1", true, 0, "http://www.example.com"},
        {"http://forward.example.net/", "192.0.2.7", true, 0, "http://forward.example.net"},
        {"http://todotted.example.net/x", "10.9.9.9", false, 0, "http://todotted.example.net"},
        {"ftp://files.example.com/pub", "192.0.2.3", true, 0, ""},
        {"http://nowhere.example/", nullptr, false, 0, "http://nowhere.example"},
        {"http://dl.example.com/download.php?id=7&url=http://mirror.example.org/f.zip&x=1",
         "192.0.2.5", true, 1, "http://mirror.example.org"},
        {"http://dl.example.com/download?url=http://dl2.example.com/download?url=http://10.0.0.4/",
         "10.0.0.4", false, 2, "http://10.0.0.4"},
        // A value that is no web address ends the rule at the host reached so far.
        {"http://dl.example.com/download?returnurl=/home&a=b", "192.0.2.4", true, 1,
         "http://dl.example.com"},
        {"http://dl.example.com/Download?url=http://10.0.0.4/", "192.0.2.4", true, 0,
         "http://dl.example.com"},
        {"http://dl.example.com/download?url=ftp://10.0.0.6/f", "10.0.0.6", false, 1, ""},
    };
    for (const auto& c : cases) {
        test::FakeResolver resolver{
            {"WWW.Example.COM", Ip("192.0.2.1")},       {"www.example.com", Ip("192.0.2.1")},
            {"255.255.255.255", Ip("255.255.255.255")}, {"odd//name", Ip("192.0.2.9")},
            {"files.example.com", Ip("192.0.2.3")},     {"dl.example.com", Ip("192.0.2.4")},
            {"mirror.example.org", Ip("192.0.2.5")},    {"real.example.net", Ip("192.0.2.7")}};
        test::FakeUrls urls{{{"http://forward.example.net", "real.example.net"},
                             {"http://todotted.example.net", "10.9.9.9"}}};
        const TypedAddress r = ParseTypedAddress(c.text, resolver, urls.Function());
        std::vector<std::string> messages(c.downloads, kDownload);
        if (!c.address) messages.push_back(kInvalid);
        EXPECT_EQ(r.ok, c.address != nullptr) << c.text;
        EXPECT_EQ(r.messages, messages) << c.text;
        EXPECT_EQ(urls.asked,
                  *c.fetched ? std::vector<std::string>{c.fetched} : std::vector<std::string>{})
            << c.text;
        if (!r.ok) continue;
        EXPECT_EQ(r.address, Ip(c.address)) << c.text;
        // A named host carries the whole text as typed, never only its host part.
        EXPECT_EQ(r.named ? r.name : "-", c.named ? c.text : "-") << c.text;
    }
}

TEST(ResolveUrlHostTest, LocalServers) {
    // Loopback traffic must not be handed to a proxy configured for the machine.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
    HttpTestServer s1("127.0.0.1", 0), s2("127.0.0.2", 0), s3("127.0.0.3", 0), s4("127.0.0.4", 0);
    HttpTestServer* servers[] = {&s1, &s2, &s3, &s4};
    for (auto* s : servers) ASSERT_EQ(s->error(), "");
    const std::string closed = HttpTestServer("127.0.0.5", 0).Url();
    const std::string tag = RefreshPage(s2.Url("/end"));
    // Two reads of 1023 bytes are examined: where the target's closing quote lies decides.
    const std::size_t quoteEnd = tag.find('"', tag.find("url=")) + 1;
    const auto padded = [&](std::size_t end) { return std::string(end - quoteEnd, 'x') + tag; };
    s2.Serve("/end", {200, "end"});
    s2.Serve("/2", {200, RefreshPage(s3.Url("/3"))});
    s3.Serve("/3", {200, RefreshPage(s4.Url("/4"))});
    s3.Serve("/plain", {200, "no refresh here"});
    s1.Serve("/moved", {200, tag});
    const auto moved = [](const std::string& to) {
        return Reply{301, "", "Location: " + to + "\r\n"};
    };
    // root: the first server's root page; host: the last octet of the answer; hits: requests
    // per server; url: what is asked, when not the first server's root
    const struct {
        const char* name;
        Reply root;
        char host;
        const char* hits;
        std::string url = "";
    } cases[] = {
        {"no refresh", {200, "<html>plain</html>"}, '1', "1000"},
        {"refresh to another host", {200, tag}, '2', "1100"},
        {"a chain of four stops at the third", {200, RefreshPage(s2.Url("/2"))}, '3', "1110"},
        {"404", {404, tag}, '1', "1000"},
        {"relative target", {200, RefreshPage("/elsewhere")}, '1', "1000"},
        {"no closing quote", {200, tag.substr(0, quoteEnd - 1)}, '1', "1000"},
        {"target the URL parser refuses", {200, RefreshPage("http://127.0.0.2 /x")}, '1', "1000"},
        {"quote is the last byte of the second read", {200, padded(2046)}, '2', "1100"},
        {"quote one byte beyond", {200, padded(2047)}, '1', "1000"},
        {"long page, marker first", {200, tag + std::string(200000, 'y')}, '2', "1100"},
        {"301 within the server, then a refresh", moved(s1.Url("/moved")), '2', "2100"},
        {"301 to another host keeps the host split", moved(s3.Url("/plain")), '1', "1010"},
        {"closed port", {}, '5', "0000", closed},
        {"refresh to a closed port", {200, RefreshPage(closed)}, '5', "1000"},
        {"never answers", {200, "", "", true}, '1', "1000"},
        {"ftp is not fetched", {}, '1', "0000", "ftp" + s1.Url().substr(4)},
    };
    for (const auto& c : cases) {
        s1.Serve("/", c.root);
        std::vector<std::size_t> before;
        for (auto* s : servers) before.push_back(s->Heads().size());
        // The time limits let a silent server end the call instead of holding it for good.
        EXPECT_EQ(ResolveUrlHost(c.url.empty() ? s1.Url() : c.url, {500, 1500}),
                  std::string("127.0.0.") + c.host)
            << c.name;
        std::string hits;
        for (std::size_t i = 0; i < 4; ++i)
            hits += std::to_string(servers[i]->Heads().size() - before[i]);
        EXPECT_EQ(hits, c.hits) << c.name;
    }
    // Every request carries our user agent and our Accept alone (not curl's "*/*" beside it).
    for (auto* s : servers) {
        for (const std::string& head : s->Heads()) {
            const std::size_t accept = head.find("\r\nAccept: text/*\r\n");
            EXPECT_NE(head.find("\r\nUser-Agent: Orvane--Sondrel\r\n"), std::string::npos) << head;
            EXPECT_TRUE(accept != std::string::npos &&
                        head.find("\r\nAccept:", accept + 1) == std::string::npos)
                << head;
        }
    }
}

}  // namespace
}  // namespace sondrel
