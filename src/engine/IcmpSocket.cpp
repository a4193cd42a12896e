#include "engine/IcmpSocket.h"

#include <linux/errqueue.h>
#include <linux/filter.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>

#include "engine/Datagram.h"
#include "platform/Clock.h"

namespace sondrel {
namespace {

// <linux/icmp.h> clashes with the glibc headers; these two are all that is needed of it.
constexpr int kIcmpFilterOption = 1;  // ICMP_FILTER at level SOL_RAW
struct IcmpFilter {
    uint32_t data;  // a set bit blocks that ICMP type
};

// What one waiting echo reply costs the receive buffer (the kernel's truesize): 832 bytes
// measured on loopback, rounded up for other devices' larger buffers.
constexpr size_t kReplyCost = 1024;
// Sized while the process may still exceed net.core.rmem_max, before it drops its
// capabilities, for a list of this many hosts. Only datagrams actually waiting take memory.
constexpr size_t kHostsAtOpen = 1 << 20;
constexpr size_t kLargestBuffer = INT_MAX;  // the kernel keeps the size in an int
constexpr size_t kDatagramBuffer = 1024;
constexpr int kBatch = 256;
constexpr size_t kControlBuffer = CMSG_SPACE(sizeof(timespec));

uint16_t ProcessIdentifier() { return static_cast<uint16_t>(::getpid() & 0xFFFF); }

size_t ReceiveBufferOf(int fd) {
    int size = 0;
    socklen_t length = sizeof size;
    ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length);
    return static_cast<size_t>(std::max(size, 0));
}

// The kernel doubles what it is asked for, counting its own bookkeeping in; `size` is the
// doubled figure, as getsockopt reports it.
void AskReceiveBuffer(int fd, size_t size, size_t now) {
    int half = static_cast<int>(std::min(size, kLargestBuffer) / 2);
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &half, sizeof half) == 0) return;
    // The plain option cuts the size to net.core.rmem_max, which could shrink a buffer sized
    // while the process still held CAP_NET_ADMIN.
    size_t limit = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> limit;
    half = static_cast<int>(std::min<size_t>(static_cast<size_t>(half), limit));
    if (static_cast<size_t>(half) * 2 > now)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &half, sizeof half);
}

// A raw socket sees the echo replies of every program on the machine, and each one would
// wake the receiver between rounds only to be thrown away. The kernel drops them instead:
// an echo reply passes only with our identifier; errors all pass (their quoted request is
// checked when read). Without the filter the reader still sorts them out, just later.
void DropOtherProgramsReplies(int fd, uint16_t identifier) {
    // The identifier is written little-endian; the filter reads half-words big-endian.
    const uint32_t onWire = static_cast<uint16_t>(identifier << 8 | identifier >> 8);
    sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),  // X = IP header length
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),   // ICMP type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kIcmpEchoReply, 0, 2),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),  // identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, onWire, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFF),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
}

// Errors of an ICMP message that the kernel also reports once through the socket's pending
// error on a datagram socket. The details wait on the error queue.
bool IsDeferredIcmpError(int error) {
    switch (error) {
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENOPROTOOPT:
        case ECONNREFUSED:
        case EMSGSIZE:
        case EOPNOTSUPP:
        case EHOSTDOWN:
        case ENONET:
        case EPROTO:
            return true;
        default:
            return false;
    }
}

// The kernel's own receive time of each packet: taken as the packet arrives, it leaves out
// however long the receiver took to wake up and read it.
void AskForReceiveTimes(int fd) {
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

// The receive time from a packet's control messages, else the clock now.
int64_t ReceiveTime(const msghdr& message) {
    for (const cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr;
         c = CMSG_NXTHDR(const_cast<msghdr*>(&message), const_cast<cmsghdr*>(c))) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS &&
            c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec ts{};
            std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
            return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
        }
    }
    return WallClockNs();
}

std::optional<uint32_t> AddressOf(const sockaddr_in& sa) {
    if (sa.sin_family != AF_INET) return std::nullopt;
    return sa.sin_addr.s_addr;
}

}  // namespace

IcmpSocket::IcmpSocket(int fd, Kind kind) : fd_(fd), kind_(kind), identifier_(ProcessIdentifier()) {
    EnsureReceiveBuffer(kHostsAtOpen);
}

IcmpSocket::~IcmpSocket() {
    if (fd_ >= 0) ::close(fd_);
}

std::shared_ptr<IcmpSocket> IcmpSocket::OpenRaw(int* error) {
    int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    // Only answers to pings: without the filter every outgoing request of ours and all other
    // ICMP traffic would crowd the receive buffer.
    IcmpFilter filter{~(1u << kIcmpEchoReply | 1u << kIcmpUnreachable | 1u << kIcmpTimeExceeded |
                        1u << kIcmpParameterProblem)};
    ::setsockopt(fd, SOL_RAW, kIcmpFilterOption, &filter, sizeof filter);
    DropOtherProgramsReplies(fd, ProcessIdentifier());
    AskForReceiveTimes(fd);
    return std::shared_ptr<IcmpSocket>(new IcmpSocket(fd, Kind::Raw));
}

std::shared_ptr<IcmpSocket> IcmpSocket::OpenDatagram(int* error) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    int on = 1;
    // Without IP_RECVERR the kernel drops ICMP errors for datagram sockets silently.
    if (::setsockopt(fd, SOL_IP, IP_RECVTTL, &on, sizeof on) != 0 ||
        ::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on) != 0) {
        if (error) *error = errno;
        ::close(fd);
        return nullptr;
    }
    AskForReceiveTimes(fd);
    return std::shared_ptr<IcmpSocket>(new IcmpSocket(fd, Kind::Datagram));
}

std::shared_ptr<IcmpSocket> IcmpSocket::Open(std::string* message) {
    int rawError = 0;
    if (auto raw = OpenRaw(&rawError)) return raw;
    int datagramError = 0;
    if (auto datagram = OpenDatagram(&datagramError)) return datagram;
    if (message)
        *message = IcmpUnavailableMessage(std::strerror(datagramError ? datagramError : rawError));
    return nullptr;
}

int IcmpSocket::Send(const EchoRequest& request, uint32_t address) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    // A datagram socket may first hand back, once, the error of an earlier ICMP message;
    // that error belongs to the receiver (it waits on the error queue), not to this send.
    int attempts = kind_ == Kind::Datagram ? 3 : 1;
    for (;;) {
        ssize_t n = ::sendto(fd_, request.bytes.data(), request.bytes.size(), 0,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (n >= 0) return 0;
        int error = errno;
        if (error == EINTR) continue;
        if (--attempts > 0 && IsDeferredIcmpError(error)) continue;
        return error;
    }
}

size_t IcmpSocket::SendBatch(std::span<const EchoRequest> requests,
                             std::span<const uint32_t> addresses, int* error) const {
    constexpr size_t kMax = 256;
    const size_t count = std::min({requests.size(), addresses.size(), kMax});
    sockaddr_in to[kMax];
    iovec vectors[kMax];
    mmsghdr messages[kMax];
    for (size_t i = 0; i < count; ++i) {
        to[i] = sockaddr_in{};
        to[i].sin_family = AF_INET;
        to[i].sin_addr.s_addr = addresses[i];
        vectors[i] =
            iovec{const_cast<uint8_t*>(requests[i].bytes.data()), requests[i].bytes.size()};
        messages[i] = mmsghdr{};
        messages[i].msg_hdr.msg_name = &to[i];
        messages[i].msg_hdr.msg_namelen = sizeof to[i];
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    *error = 0;
    size_t sent = 0;
    while (sent < count) {
        int n = ::sendmmsg(fd_, messages + sent, static_cast<unsigned>(count - sent), 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        // The request at `sent` failed on its own: the single send tells why, and on a
        // datagram socket skips an error that belongs to the receiver.
        if (int failure = Send(requests[sent], addresses[sent])) {
            *error = failure;
            return sent;
        }
        ++sent;
    }
    return sent;
}

int IcmpSocket::Drain(const std::function<void(EngineReply&&)>& kept) const {
    return kind_ == Kind::Raw ? DrainRaw(kept) : DrainDatagram(kept);
}

int IcmpSocket::DrainRaw(const std::function<void(EngineReply&&)>& kept) const {
    // Batches of datagrams per system call: at ten thousand replies a round the calls count.
    // On the stack, not thread_local: every sender thread, one a round, would otherwise get
    // its own zeroed copy of these 64 KiB without ever reading a datagram.
    uint8_t buffers[kBatch][kDatagramBuffer];
    alignas(cmsghdr) uint8_t controls[kBatch][kControlBuffer];
    mmsghdr messages[kBatch];
    iovec vectors[kBatch];
    for (;;) {
        for (int i = 0; i < kBatch; ++i) {
            vectors[i] = iovec{buffers[i], kDatagramBuffer};
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_control = controls[i];
            messages[i].msg_hdr.msg_controllen = kControlBuffer;
        }
        int n = ::recvmmsg(fd_, messages, kBatch, MSG_DONTWAIT, nullptr);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
        }
        const uint32_t now = TickCount();
        for (int i = 0; i < n; ++i) {
            size_t length = std::min<size_t>(messages[i].msg_len, kDatagramBuffer);
            if (auto reply = ReadRawDatagram(std::span<const uint8_t>(buffers[i], length),
                                             identifier_, now)) {
                reply->receivedNs = ReceiveTime(messages[i].msg_hdr);
                kept(std::move(*reply));
            }
        }
        if (n < kBatch) return 0;
    }
}

int IcmpSocket::DrainDatagram(const std::function<void(EngineReply&&)>& kept) const {
    uint8_t buffer[kDatagramBuffer];
    alignas(cmsghdr) uint8_t control[256];
    for (;;) {
        // The error queue first: draining it also clears the pending error that would
        // otherwise fail the next read of the normal queue.
        if (int error = DrainErrorQueue(kept)) return error;
        iovec vector{buffer, sizeof buffer};
        msghdr message{};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t n = ::recvmsg(fd_, &message, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || IsDeferredIcmpError(errno)) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
        }
        int ttl = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_TTL &&
                c->cmsg_len >= CMSG_LEN(sizeof(int)))
                std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
        }
        size_t length = std::min<size_t>(static_cast<size_t>(n), sizeof buffer);
        if (auto reply =
                ReadPingDatagram(std::span<const uint8_t>(buffer, length), ttl, TickCount())) {
            reply->receivedNs = ReceiveTime(message);
            kept(std::move(*reply));
        }
    }
}

int IcmpSocket::DrainErrorQueue(const std::function<void(EngineReply&&)>& kept) const {
    uint8_t buffer[kDatagramBuffer];
    alignas(cmsghdr) uint8_t control[512];
    for (;;) {
        sockaddr_in destination{};
        iovec vector{buffer, sizeof buffer};
        msghdr message{};
        message.msg_name = &destination;
        message.msg_namelen = sizeof destination;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t n = ::recvmsg(fd_, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
        }
        QueuedError queued;
        if (message.msg_namelen >= sizeof destination) queued.destination = AddressOf(destination);
        queued.payload = std::span<const uint8_t>(
            buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer));
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR) continue;
            if (c->cmsg_len < CMSG_LEN(sizeof(sock_extended_err))) continue;
            sock_extended_err ee;
            std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
            queued.fromIcmp = ee.ee_origin == SO_EE_ORIGIN_ICMP;
            queued.type = ee.ee_type;
            queued.code = ee.ee_code;
            if (c->cmsg_len >= CMSG_LEN(sizeof ee + sizeof(sockaddr_in))) {
                sockaddr_in offender;
                std::memcpy(&offender, CMSG_DATA(c) + sizeof ee, sizeof offender);
                queued.offender = AddressOf(offender);
            }
        }
        if (auto reply = ReadQueuedError(queued)) kept(std::move(*reply));
    }
}

size_t IcmpSocket::EnsureReceiveBuffer(size_t hosts) const {
    const size_t wanted = std::min(hosts, kLargestBuffer / kReplyCost) * kReplyCost;
    const size_t now = ReceiveBufferOf(fd_);
    if (now >= wanted) return now;
    AskReceiveBuffer(fd_, wanted, now);
    return ReceiveBufferOf(fd_);
}

std::optional<uint32_t> IcmpSocket::DroppedSoFar() const {
    // Read when asked rather than from SO_RXQ_OVFL's note on each datagram: that note rides
    // on the next datagram to be kept, so drops at a round's end would wait for the next
    // round, and after the last round never be told.
    uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    if (::getsockopt(fd_, SOL_SOCKET, SO_MEMINFO, info, &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof info[0])
        return std::nullopt;
    return info[SK_MEMINFO_DROPS];
}

std::string IcmpUnavailableMessage(const std::string& reason) {
    char exe[4096] = "sondrel";
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) exe[n] = '\0';
    std::string text = "Cannot open an ICMP socket";
    if (!reason.empty()) text += " (" + reason + ")";
    text += ".\nAllow raw ICMP sockets for the program:\n    sudo setcap cap_net_raw+ep ";
    text += exe;
    text +=
        "\nor allow ICMP datagram sockets for your group:\n"
        "    sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"";
    return text;
}

bool DropAllCapabilities() {
    cap_t none = ::cap_init();  // every set empty
    if (none == nullptr) return false;
    int rc = ::cap_set_proc(none);
    int saved = errno;
    ::cap_free(none);
    // Ambient capabilities would come back in a child started later; clear them too.
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    errno = saved;
    return rc == 0;
}

}  // namespace sondrel
