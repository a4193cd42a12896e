// Refresh resolution against real HTTP servers that the test runs on loopback addresses.
#include "input/UrlResolver.h"

#include "HttpTestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace sondrel {
namespace {

using test::CannedResponse;
using test::HttpTestServer;
using test::RefreshPage;

class UrlResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Loopback traffic must not be handed to a proxy configured for the machine.
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
    }

    // A started server or a failed test: these ports are ours to take.
    static void Require(const HttpTestServer& server) {
        ASSERT_TRUE(server.ok()) << server.error();
    }
};

TEST_F(UrlResolverTest, PageWithoutRefreshGivesTheGivenHostAndSendsOurHeaders) {
    HttpTestServer server("127.0.0.1", 0);
    Require(server);
    server.Serve("/", {200, "<html><head><title>plain</title></head><body>hi</body></html>"});

    EXPECT_EQ(ResolveUrlHost(server.Url()), "127.0.0.1");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/");
    auto headers = requests[0].headers;
    ASSERT_EQ(headers["user-agent"].size(), 1u);
    EXPECT_EQ(headers["user-agent"][0], "Orvane--Sondrel");
    // Exactly our Accept; curl's own "*/*" must not travel beside it.
    ASSERT_EQ(headers["accept"].size(), 1u);
    EXPECT_EQ(headers["accept"][0], "text/*");
}

TEST_F(UrlResolverTest, RefreshToAnotherLoopbackHostIsFollowed) {
    HttpTestServer first("127.0.0.1", 0);
    HttpTestServer second("127.0.0.2", 0);
    Require(first);
    Require(second);
    first.Serve("/", {200, RefreshPage(second.Url("/landing"))});
    second.Serve("/landing", {200, "arrived"});

    EXPECT_EQ(ResolveUrlHost(first.Url()), "127.0.0.2");
    ASSERT_EQ(second.Requests().size(), 1u);
    EXPECT_EQ(second.Requests()[0].path, "/landing");
    EXPECT_EQ(second.Requests()[0].headers.at("user-agent").at(0), "Orvane--Sondrel");
}

TEST_F(UrlResolverTest, ChainStopsAfterThreePagesAndNeverFetchesTheFourth) {
    HttpTestServer p1("127.0.0.1", 0), p2("127.0.0.2", 0), p3("127.0.0.3", 0), p4("127.0.0.4", 0);
    for (const HttpTestServer* server : {&p1, &p2, &p3, &p4}) {
        Require(*server);
    }
    p1.Serve("/", {200, RefreshPage(p2.Url("/2"))});
    p2.Serve("/2", {200, RefreshPage(p3.Url("/3"))});
    p3.Serve("/3", {200, RefreshPage(p4.Url("/4"))});
    p4.Serve("/4", {200, "never"});

    EXPECT_EQ(ResolveUrlHost(p1.Url()), "127.0.0.3");
    EXPECT_EQ(p1.Requests().size(), 1u);
    EXPECT_EQ(p2.Requests().size(), 1u);
    EXPECT_EQ(p3.Requests().size(), 1u);
    EXPECT_TRUE(p4.Requests().empty());
}

// Each case: what the first server answers, and whether the walk reaches the second host.
TEST_F(UrlResolverTest, FirstPageOutcomes) {
    HttpTestServer first("127.0.0.1", 0);
    HttpTestServer second("127.0.0.2", 0);
    Require(first);
    Require(second);
    second.Serve("/", {200, "end"});
    const std::string target = second.Url("/");
    const std::string upper = "HTTP://127.0.0.2:" + std::to_string(second.port()) + "/";

    struct Case {
        const char* name;
        CannedResponse response;
        const char* expectedHost;
    };
    const Case cases[] = {
        {"refresh followed", {200, RefreshPage(target)}, "127.0.0.2"},
        {"404 with a refresh body", {404, RefreshPage(target)}, "127.0.0.1"},
        {"relative target", {200, RefreshPage("/elsewhere")}, "127.0.0.1"},
        {"no closing quote",
         {200, "<meta http-equiv=\"refresh\" content=\"0; url=" + target}, "127.0.0.1"},
        {"markers upper case, target lowered",
         {200, "<META HTTP-EQUIV=\"REFRESH\" CONTENT=\"0;URL=" + upper + "\">"}, "127.0.0.2"},
        {"https target is not followed", {200, RefreshPage("https://127.0.0.2/")}, "127.0.0.1"},
        {"target the parser refuses", {200, RefreshPage("http://127.0.0.2 /x")}, "127.0.0.1"},
    };
    for (const auto& c : cases) {
        first.Serve("/", c.response);
        EXPECT_EQ(ResolveUrlHost(first.Url()), c.expectedHost) << c.name;
    }
}

// Only the first two reads of 1023 bytes are looked at: 2046 bytes of a page.
TEST_F(UrlResolverTest, MarkerIsSeenOnlyWithinTheFirstTwoReads) {
    HttpTestServer first("127.0.0.1", 0);
    HttpTestServer second("127.0.0.2", 0);
    Require(first);
    Require(second);
    second.Serve("/", {200, "end"});
    const std::string tag = RefreshPage(second.Url("/"));
    // The closing quote of the target decides: the page cut before it gives an empty target.
    const std::size_t quoteEnd = tag.find('"', tag.find("url=")) + 1;

    struct Case {
        std::size_t filler;
        std::size_t trailer;
        const char* expectedHost;
    };
    const Case cases[] = {
        {0, 0, "127.0.0.2"},
        // 1023 + 500 bytes: the whole page is read.
        {1523 - tag.size(), 0, "127.0.0.2"},
        // Quote is the last byte of the second read.
        {2046 - quoteEnd, 0, "127.0.0.2"},
        {2046 - quoteEnd + 1, 0, "127.0.0.1"},
        {2046, 0, "127.0.0.1"},
        {5000, 0, "127.0.0.1"},
        // A long page whose marker comes first: stopping the read early is not a failure.
        {0, 200000, "127.0.0.2"},
    };
    for (const auto& c : cases) {
        first.Serve("/", {200, std::string(c.filler, 'x') + tag + std::string(c.trailer, 'y')});
        EXPECT_EQ(ResolveUrlHost(first.Url()), c.expectedHost)
            << "filler " << c.filler << " trailer " << c.trailer;
    }
}

TEST_F(UrlResolverTest, HttpRedirectsAreFollowedWithoutChangingTheHost) {
    HttpTestServer first("127.0.0.1", 0);
    HttpTestServer second("127.0.0.2", 0);
    HttpTestServer third("127.0.0.3", 0);
    Require(first);
    Require(second);
    Require(third);
    second.Serve("/", {200, "end"});
    third.Serve("/plain", {200, "no refresh here"});

    // Redirected within the server to a page with a refresh: the refresh counts.
    first.Serve("/", {301, "", "Location: " + first.Url("/moved") + "\r\n"});
    first.Serve("/moved", {200, RefreshPage(second.Url("/"))});
    EXPECT_EQ(ResolveUrlHost(first.Url()), "127.0.0.2");

    // Redirected to another host whose page has no refresh: the host stays the one we split.
    first.Serve("/", {301, "", "Location: " + third.Url("/plain") + "\r\n"});
    EXPECT_EQ(ResolveUrlHost(first.Url()), "127.0.0.1");
    ASSERT_EQ(third.Requests().size(), 1u);
    EXPECT_EQ(third.Requests()[0].path, "/plain");
}

TEST_F(UrlResolverTest, UnreachableServersEndAtTheHostReachedSoFar) {
    const std::uint16_t closed = test::ClosedLoopbackPort("127.0.0.2");
    const std::string closedUrl = "http://127.0.0.2:" + std::to_string(closed) + "/";
    EXPECT_EQ(ResolveUrlHost(closedUrl), "127.0.0.2");

    HttpTestServer first("127.0.0.1", 0);
    Require(first);
    first.Serve("/", {200, RefreshPage(closedUrl)});
    EXPECT_EQ(ResolveUrlHost(first.Url()), "127.0.0.2");
}

TEST_F(UrlResolverTest, SilentServerIsBoundedByTheTimeLimit) {
    HttpTestServer silent("127.0.0.1", 0);
    Require(silent);
    CannedResponse never;
    never.neverAnswer = true;
    silent.Serve("/", never);

    const HttpTimeLimits limits{500, 800};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ResolveUrlHost(silent.Url(), limits), "127.0.0.1");
    const auto waited = std::chrono::steady_clock::now() - start;
    // Not a speed target: only that the call ends by its limit rather than waiting forever.
    EXPECT_LT(waited, std::chrono::seconds(20));
    EXPECT_EQ(silent.Requests().size(), 1u);
}

TEST_F(UrlResolverTest, NonHttpAddressesAreNotFetched) {
    HttpTestServer server("127.0.0.1", 0);
    Require(server);
    const std::string port = std::to_string(server.port());
    struct Case {
        std::string url;
        const char* expectedHost;
    };
    const Case cases[] = {
        {"ftp://127.0.0.1:" + port + "/", "127.0.0.1"},
        {"https://127.0.0.1:" + port + "/", "127.0.0.1"},
        {"gopher://files.example/", "files.example"},
        {"not a web address", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveUrlHost(c.url), c.expectedHost) << c.url;
    }
    EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace sondrel
