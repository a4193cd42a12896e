// The system resolver is asked only about names and addresses that /etc/hosts or the
// numeric parser answer, so these tests never send a query off the machine.
#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace sondrel {
namespace {

std::uint32_t Dotted(const char* text) {
    in_addr address{};
    EXPECT_EQ(::inet_pton(AF_INET, text, &address), 1) << text;
    return address.s_addr;
}

TEST(SystemResolverTest, ForwardLookupGivesTheFirstIpv4AddressInNetworkOrder) {
    struct Case {
        std::string name;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {"localhost", Dotted("127.0.0.1")},
        {"127.0.0.7", Dotted("127.0.0.7")},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"", std::nullopt},
        {std::string("localhost\0evil", 14), std::nullopt},
    };
    SystemResolver resolver;
    for (const auto& c : cases) {
        EXPECT_EQ(resolver.LookupName(c.name), c.expected) << c.name;
    }
}

TEST(SystemResolverTest, ReverseLookupOfLoopbackComesFromHostsFile) {
    auto name = TheSystemResolver().LookupAddress(Dotted("127.0.0.1"));
    ASSERT_TRUE(name.has_value());
    EXPECT_FALSE(name->empty());
    // Whatever the hosts file calls it must lead back to the same address.
    EXPECT_EQ(TheSystemResolver().LookupName(*name), Dotted("127.0.0.1"));
}

}  // namespace
}  // namespace sondrel
