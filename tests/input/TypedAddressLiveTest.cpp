// Typed addresses through the system resolver and real page fetches. Resolution starts at a
// host's root page on the standard port, so the servers here listen on port 80 of loopback
// addresses; only names that the hosts file answers are looked up.
#include "input/TypedAddress.h"
#include "input/UrlResolver.h"

#include "FakeResolver.h"
#include "HttpTestServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace sondrel {
namespace {

using test::CannedResponse;
using test::HttpTestServer;
using test::Ip;
using test::RefreshPage;

class TypedAddressLiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
    }

    // A server on port 80 of the address; callers skip when it did not start.
    static std::unique_ptr<HttpTestServer> OnPort80(const std::string& ip) {
        return std::make_unique<HttpTestServer>(ip, 80);
    }

    static TypedAddress Parse(const std::string& text) {
        return ParseTypedAddress(text, TheSystemResolver(),
                                 [](const std::string& url) { return ResolveUrlHost(url); });
    }
};

TEST_F(TypedAddressLiveTest, LocalhostThroughTheSystemResolver) {
    const TypedAddress result = Parse("localhost");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.address, Ip("127.0.0.1"));
    EXPECT_TRUE(result.named);
    EXPECT_EQ(result.name, "localhost");
    EXPECT_TRUE(result.messages.empty());
}

TEST_F(TypedAddressLiveTest, WebAddressOfANamedHostFetchesItsRootPage) {
    auto server = OnPort80("127.0.0.1");
    if (!server->ok()) {
        GTEST_SKIP() << "port 80 of 127.0.0.1 is not available: " << server->error();
    }
    server->Serve("/", CannedResponse(200, "<html>home</html>"));

    const std::string typed = "http://localhost:8080/some/page?x=1";
    const TypedAddress result = Parse(typed);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.address, Ip("127.0.0.1"));
    EXPECT_TRUE(result.named);
    EXPECT_EQ(result.name, typed);
    const auto requests = server->Requests();
    ASSERT_EQ(requests.size(), 1u);
    // Path, query and port of the typed address do not travel.
    EXPECT_EQ(requests[0].path, "/");
}

TEST_F(TypedAddressLiveTest, NumericWebAddressFollowsTheRefreshToAnotherHost) {
    auto first = OnPort80("127.0.80.1");
    if (!first->ok()) {
        GTEST_SKIP() << "port 80 of 127.0.80.1 is not available: " << first->error();
    }
    HttpTestServer second("127.0.80.2", 0);
    ASSERT_TRUE(second.ok()) << second.error();
    first->Serve("/", CannedResponse(200, RefreshPage(second.Url("/"))));
    second.Serve("/", CannedResponse(200, "landed"));

    const TypedAddress result = Parse("http://127.0.80.1/deep/page.html");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.address, Ip("127.0.80.2"));
    // A numeric host is listed under its dotted form.
    EXPECT_FALSE(result.named);
    EXPECT_EQ(second.Requests().size(), 1u);
}

TEST_F(TypedAddressLiveTest, DownloadRuleUsesTheHostOfTheEmbeddedAddress) {
    auto mirror = OnPort80("127.0.80.3");
    if (!mirror->ok()) {
        GTEST_SKIP() << "port 80 of 127.0.80.3 is not available: " << mirror->error();
    }
    mirror->Serve("/", CannedResponse(200, "mirror"));

    const TypedAddress result =
        Parse("http://127.0.80.4/download.php?id=7&url=http://127.0.80.3/f.zip&x=1");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.address, Ip("127.0.80.3"));
    EXPECT_FALSE(result.named);
    EXPECT_EQ(result.messages, std::vector<std::string>{"We will add the download url instead."});
    ASSERT_EQ(mirror->Requests().size(), 1u);
    EXPECT_EQ(mirror->Requests()[0].path, "/");
}

TEST_F(TypedAddressLiveTest, UnreachableWebServerStillGivesTheTypedHost) {
    // Nothing listens on port 80 of this address: the page fetch fails quietly.
    const TypedAddress result = Parse("http://127.0.80.9/index.html");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.address, Ip("127.0.80.9"));
    EXPECT_TRUE(result.messages.empty());
}

}  // namespace
}  // namespace sondrel
