// Opening the socket, and what is left of the process's privileges afterwards. Each case
// runs in a child process, since giving up privileges cannot be undone.
#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/capability.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <string>

#include "engine/EchoRequest.h"
#include "engine/IcmpSocket.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

// Runs `body` in a child; the child's exit status is the number of the first failed check.
int InChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

bool PingGroupRangeAdmits(gid_t gid) {
    std::ifstream in("/proc/sys/net/ipv4/ping_group_range");
    long low = 1, high = 0;
    in >> low >> high;
    return in && low <= static_cast<long>(gid) && static_cast<long>(gid) <= high;
}

TEST(IcmpSocketTest, DroppingCapabilitiesKeepsTheOpenSocketOnly) {
    if (!test::CanOpenRawIcmp()) GTEST_SKIP() << "no raw ICMP socket here (needs root or cap_net_raw)";
    int failed = InChild([] {
        std::string message;
        auto socket = IcmpSocket::Open(&message);
        if (!socket || socket->kind() != IcmpSocket::Kind::Raw) return 1;
        if (!DropAllCapabilities()) return 2;
        cap_t now = ::cap_get_proc();
        cap_t none = ::cap_init();
        bool empty = ::cap_compare(now, none) == 0;
        ::cap_free(now);
        ::cap_free(none);
        if (!empty) return 3;
        if (IcmpSocket::OpenRaw()) return 4;  // a second raw socket is out of reach now
        EchoRequest request;
        request.Build(socket->identifier(), 0, htonl(INADDR_LOOPBACK));
        if (socket->Send(request, htonl(INADDR_LOOPBACK)) != 0) return 5;  // the open one still works
        return 0;
    });
    EXPECT_EQ(failed, 0);
}

TEST(IcmpSocketTest, WithoutAnyPermissionTheMessageNamesBothWays) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become an unprivileged user";
    if (PingGroupRangeAdmits(65534)) GTEST_SKIP() << "net.ipv4.ping_group_range admits everyone here";
    int failed = InChild([] {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            return 1;
        std::string message;
        if (IcmpSocket::Open(&message)) return 2;
        if (message.find("setcap cap_net_raw+ep ") == std::string::npos) return 3;
        if (message.find("net.ipv4.ping_group_range") == std::string::npos) return 4;
        if (message.find("Cannot open an ICMP socket") != 0) return 5;
        return 0;
    });
    EXPECT_EQ(failed, 0);
}

TEST(IcmpSocketTest, RawSocketCarriesTheProcessIdentifier) {
    if (!test::CanOpenRawIcmp()) GTEST_SKIP() << "no raw ICMP socket here (needs root or cap_net_raw)";
    auto socket = IcmpSocket::OpenRaw();
    ASSERT_TRUE(socket);
    EXPECT_EQ(socket->identifier(), static_cast<uint16_t>(::getpid() & 0xFFFF));
    int size = 0;
    socklen_t len = sizeof size;
    ASSERT_EQ(::getsockopt(socket->fd(), SOL_SOCKET, SO_RCVBUF, &size, &len), 0);
    EXPECT_GE(size, 4 << 20) << "a round of thousands of replies must fit";
}

}  // namespace
}  // namespace sondrel
