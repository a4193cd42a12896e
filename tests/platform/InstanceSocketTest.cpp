#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <thread>

#include "platform/InstanceSocket.h"

namespace sondrel {
namespace {

// A name nobody else uses, so tests never meet a real running instance.
std::string UniqueName() {
    std::random_device rd;
    return "sondrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd());
}

TEST(InstanceRequestCodec, RoundTripsAndRejectsMalformedBytes) {
    using namespace std::string_literals;
    const std::pair<std::string, std::optional<InstanceRequest>> cases[] = {
        {"show\0"s, InstanceRequest{true, ""}},
        {"show\0open\0/home/u/a b.ipl\0"s, InstanceRequest{true, "/home/u/a b.ipl"}},
        {"open\0/x.ipl\0"s, InstanceRequest{false, "/x.ipl"}},
        {""s, InstanceRequest{false, ""}},
        {"show"s, std::nullopt},                // no terminator
        {"shout\0"s, std::nullopt},             // unknown word
        {"show\0open\0"s, std::nullopt},        // open without a path
        {"show\0open\0\0"s, std::nullopt},      // empty path
        {"show\0open\0/x.ipl"s, std::nullopt},  // path cut short
        {"SHOW\0"s, std::nullopt},              // words are exact
    };
    for (const auto& [bytes, expected] : cases) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        EXPECT_EQ(DecodeInstanceRequest(bytes), expected);
        if (expected && (expected->show || !expected->file.empty())) {
            EXPECT_EQ(EncodeInstanceRequest(*expected), bytes);
        }
    }
}

// Drives the listener until one request has been read, as the window's notifiers do.
std::optional<InstanceRequest> ReceiveOne(InstanceListener& listener, int timeoutMs) {
    pollfd p{listener.Fd(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    int fd = listener.AcceptSameUser();
    if (fd < 0) return std::nullopt;
    InstanceRequestReader reader(fd);
    for (;;) {
        auto state = reader.Read();
        if (state == InstanceRequestReader::State::Done) return reader.Request();
        if (state == InstanceRequestReader::State::Failed) return std::nullopt;
        pollfd r{fd, POLLIN, 0};
        if (::poll(&r, 1, timeoutMs) <= 0) return std::nullopt;
    }
}

TEST(InstanceSocket, SecondClaimFindsTheNameTakenUntilTheOwnerEnds) {
    std::string name = UniqueName();
    {
        InstanceListener first(name);
        ASSERT_EQ(first.Bind(), InstanceListener::Claim::Owner) << std::strerror(first.Error());
        InstanceListener second(name);
        EXPECT_EQ(second.Bind(), InstanceListener::Claim::TakenByOther);
    }
    // No stale name after the owner is gone (abstract namespace).
    InstanceListener again(name);
    EXPECT_EQ(again.Bind(), InstanceListener::Claim::Owner);
}

TEST(InstanceSocket, SendingWithoutAnOwnerFailsAtOnce) {
    EXPECT_EQ(SendInstanceRequest(UniqueName(), InstanceRequest{}, 500), ECONNREFUSED);
}

TEST(InstanceSocket, OversizedOrGarbledRequestIsRefused) {
    std::string name = UniqueName();
    InstanceListener owner(name);
    ASSERT_EQ(owner.Bind(), InstanceListener::Claim::Owner);
    const std::string payloads[] = {std::string(kMaxInstanceRequest + 10, 'x'),
                                    std::string("hello")};
    for (const std::string& payload : payloads) {
        std::thread client([&] {
            int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::memcpy(addr.sun_path + 1, name.data(), name.size());
            socklen_t len =
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
            if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
                (void)::send(fd, payload.data(), payload.size(), MSG_NOSIGNAL);
                ::shutdown(fd, SHUT_WR);
                char c;
                while (::read(fd, &c, 1) > 0) {
                }
            }
            ::close(fd);
        });
        EXPECT_FALSE(ReceiveOne(owner, 2000).has_value());
        client.join();
    }
}

TEST(InstanceSocket, AcceptWithNothingWaitingReturnsAtOnce) {
    InstanceListener owner(UniqueName());
    ASSERT_EQ(owner.Bind(), InstanceListener::Claim::Owner);
    EXPECT_EQ(owner.AcceptSameUser(), -1);
    InstanceListener unbound(UniqueName());
    EXPECT_EQ(unbound.AcceptSameUser(), -1);
}

}  // namespace
}  // namespace sondrel
