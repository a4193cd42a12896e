// Only names and addresses that /etc/hosts or the numeric parser answer are asked about, so
// no query ever leaves the machine.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "platform/Resolver.h"

namespace sondrel {
namespace {

std::uint32_t Dotted(const char* text) {
    in_addr address{};
    EXPECT_EQ(::inet_pton(AF_INET, text, &address), 1) << text;
    return address.s_addr;
}

TEST(SystemResolverTest, LooksUpNamesAndTheLoopbackAddress) {
    const std::pair<std::string, std::optional<std::uint32_t>> cases[] = {
        {"localhost", Dotted("127.0.0.1")},
        {"127.0.0.7", Dotted("127.0.0.7")},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"", std::nullopt},
        {std::string("localhost\0evil", 14), std::nullopt}};
    for (const auto& [name, address] : cases)
        EXPECT_EQ(TheSystemResolver().LookupName(name), address) << name;
    // Whatever the hosts file calls loopback must lead back to it.
    const auto name = SystemResolver().LookupAddress(Dotted("127.0.0.1"));
    ASSERT_TRUE(name && !name->empty());
    EXPECT_EQ(SystemResolver().LookupName(*name), Dotted("127.0.0.1"));
}

}  // namespace
}  // namespace sondrel
