// Each case runs in a child process, since giving up privileges cannot be undone; the
// child's exit status is the number of the first failed check.
#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/capability.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "engine/IcmpSocket.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

int OpenThenDropEveryCapability() {
    std::string message;
    auto socket = IcmpSocket::Open(&message);
    if (!socket || socket->kind() != IcmpSocket::Kind::Raw) return 1;
    // Sized for a round of a million replies while it may still pass net.core.rmem_max, and
    // not shrunk to that limit by a later round's request.
    const size_t size = socket->EnsureReceiveBuffer(0);
    if (size < (size_t{1} << 30)) return 3;
    if (!DropAllCapabilities()) return 4;
    if (socket->EnsureReceiveBuffer(size_t{1} << 40) < size) return 8;
    if (::cap_compare(::cap_get_proc(), ::cap_init()) != 0 || IcmpSocket::OpenRaw()) return 5;
    // The open one still works, and the kernel holds back another program's reply (sent
    // first): ours is the first to read.
    // (The filter is built from the process id, so a reply also proves the identifier.)
    EchoRequest other, ours;
    other.Build(socket->identifier() ^ 0x5A5A, 0, htonl(INADDR_LOOPBACK));
    ours.Build(socket->identifier(), 0, htonl(INADDR_LOOPBACK));
    pollfd ready{socket->fd(), POLLIN, 0};
    uint8_t reply[64];
    if (socket->Send(other, htonl(INADDR_LOOPBACK)) || socket->Send(ours, htonl(INADDR_LOOPBACK)) ||
        ::poll(&ready, 1, 5000) != 1 || ::recv(socket->fd(), reply, sizeof reply, 0) < 28)
        return 6;
    return LoadLe16(reply + 24) == socket->identifier() ? 0 : 7;
}

int OpenAsNobody() {
    if (::setgroups(0, nullptr) || ::setresgid(65534, 65534, 65534) ||
        ::setresuid(65534, 65534, 65534))
        return 1;
    std::string message;
    if (IcmpSocket::Open(&message)) return 2;
    if (message.rfind("Cannot open an ICMP socket", 0) != 0) return 3;
    if (message.find("setcap cap_net_raw+ep ") == std::string::npos) return 4;
    return message.find("net.ipv4.ping_group_range") == std::string::npos ? 5 : 0;
}

TEST(IcmpSocketTest, RawSocketKeepsWorkingWhenEveryCapabilityIsDropped) {
    if (!test::CanOpenRawIcmp())
        GTEST_SKIP() << "no raw ICMP socket here (needs root or cap_net_raw)";
    EXPECT_EXIT(::_exit(OpenThenDropEveryCapability()), ::testing::ExitedWithCode(0), "");
}

TEST(IcmpSocketTest, WithoutAnyPermissionTheMessageNamesBothWays) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become an unprivileged user";
    long low = 1, high = 0;
    std::ifstream("/proc/sys/net/ipv4/ping_group_range") >> low >> high;
    if (low <= 65534 && 65534 <= high)
        GTEST_SKIP() << "net.ipv4.ping_group_range admits everyone here";
    EXPECT_EXIT(::_exit(OpenAsNobody()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace sondrel
