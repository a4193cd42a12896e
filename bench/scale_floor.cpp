// The floor for bench/scale.sh: the least a program can do to ping every host of a list once
// over a raw socket. One echo request per host goes out in sendmmsg batches; the replies
// waiting after each batch are read without blocking, then the rest until every host has
// answered or two seconds pass without a reply. Prints the process's CPU seconds (user and
// system) and how many hosts answered:
//   floor: N hosts, X CPU-s, A/N replies
//   bench_scale_floor [LIST.ipl | N]   (N hosts from 127.4.0.1 on; default 10000)
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EchoRequest.h"
#include "engine/IcmpSocket.h"
#include "model/ListFile.h"

namespace {

using namespace sondrel;

constexpr size_t kBatch = 256;
constexpr size_t kReceiveBatch = 256;
constexpr size_t kDatagramBuffer = 256;
constexpr int kSilenceMs = 2000;
// The host's index rides in the payload, so a reply finds its host without a lookup.
constexpr size_t kIndexOffset = 8;

// 127.4.0.1 upwards, skipping .0 and .255 in the last octet (network order).
std::vector<uint32_t> LoopbackHosts(size_t count) {
    std::vector<uint32_t> hosts(count);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t k = static_cast<uint32_t>(1 + i + 2 * (i / 254));
        hosts[i] = htonl((127u << 24 | 4u << 16) + k);
    }
    return hosts;
}

bool HostsOf(std::string_view argument, std::vector<uint32_t>& hosts, std::string& error) {
    if (argument.ends_with(".ipl")) {
        ListReadResult read = ReadListFile(std::string(argument));
        if (!read.ok()) {
            error = std::string(argument) + ": " + DescribeListFault(read);
            return false;
        }
        for (const HostEntry& entry : read.entries) hosts.push_back(entry.m_dwAddress);
        return true;
    }
    const long count = std::atol(std::string(argument).c_str());
    if (count < 1 || count > 4'000'000) {
        error = "the host count must be 1 to 4000000";
        return false;
    }
    hosts = LoopbackHosts(static_cast<size_t>(count));
    return true;
}

std::array<uint8_t, kEchoRequestSize> Request(uint16_t identifier, uint32_t index) {
    std::array<uint8_t, kEchoRequestSize> bytes{};
    bytes[0] = kIcmpEchoRequest;
    bytes[4] = static_cast<uint8_t>(identifier);
    bytes[5] = static_cast<uint8_t>(identifier >> 8);
    bytes[6] = static_cast<uint8_t>(index);
    bytes[7] = static_cast<uint8_t>(index >> 8);
    std::memcpy(&bytes[kIndexOffset], &index, sizeof index);
    const uint16_t sum = InternetChecksum(bytes);
    bytes[2] = static_cast<uint8_t>(sum);
    bytes[3] = static_cast<uint8_t>(sum >> 8);
    return bytes;
}

class Pinger {
public:
    Pinger(const IcmpSocket& socket, std::span<const uint32_t> hosts)
        : socket_(socket), hosts_(hosts), answered_(hosts.size(), false) {}

    // Sends hosts [first, first + count); false on a send error other than a full buffer.
    bool SendBatch(size_t first, size_t count) {
        std::array<std::array<uint8_t, kEchoRequestSize>, kBatch> requests;
        std::array<sockaddr_in, kBatch> to{};
        std::array<iovec, kBatch> vectors;
        std::array<mmsghdr, kBatch> messages{};
        for (size_t i = 0; i < count; ++i) {
            requests[i] = Request(socket_.identifier(), static_cast<uint32_t>(first + i));
            to[i].sin_family = AF_INET;
            to[i].sin_addr.s_addr = hosts_[first + i];
            vectors[i] = iovec{requests[i].data(), requests[i].size()};
            messages[i].msg_hdr.msg_name = &to[i];
            messages[i].msg_hdr.msg_namelen = sizeof to[i];
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        size_t sent = 0;
        while (sent < count) {
            const int n =
                ::sendmmsg(socket_.fd(), &messages[sent], static_cast<unsigned>(count - sent), 0);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (errno == EINTR) continue;
            // The request is lost like a dropped reply would be: it counts as unanswered.
            if (errno != ENOBUFS && errno != EAGAIN) return false;
            ++sent;
        }
        sent_ += count;
        return true;
    }

    // Reads every reply waiting now; returns how many were read.
    size_t Drain() {
        size_t total = 0;
        for (;;) {
            for (size_t i = 0; i < kReceiveBatch; ++i) {
                vectors_[i] = iovec{buffers_[i].data(), buffers_[i].size()};
                messages_[i] = mmsghdr{};
                messages_[i].msg_hdr.msg_iov = &vectors_[i];
                messages_[i].msg_hdr.msg_iovlen = 1;
            }
            const int n =
                ::recvmmsg(socket_.fd(), messages_.data(), kReceiveBatch, MSG_DONTWAIT, nullptr);
            if (n < 0) {
                if (errno == EINTR) continue;
                return total;
            }
            for (int i = 0; i < n; ++i)
                Count(std::span<const uint8_t>(
                    buffers_[i].data(), std::min<size_t>(messages_[i].msg_len, kDatagramBuffer)));
            total += static_cast<size_t>(n);
            if (static_cast<size_t>(n) < kReceiveBatch) return total;
        }
    }

    size_t Sent() const { return sent_; }
    size_t Answered() const { return answeredCount_; }

private:
    // A raw socket hands over the IPv4 header too; the reply's source must be the host.
    void Count(std::span<const uint8_t> datagram) {
        if (datagram.size() < 20) return;
        const size_t header = (datagram[0] & 0x0F) * 4u;
        if (datagram.size() < header + kIndexOffset + 4) return;
        const uint8_t* icmp = &datagram[header];
        if (icmp[0] != kIcmpEchoReply || LoadLe16(&icmp[4]) != socket_.identifier()) return;
        const uint32_t index = LoadLe32(&icmp[kIndexOffset]);
        if (index >= hosts_.size() || answered_[index]) return;
        if (LoadRaw32(&datagram[12]) != hosts_[index]) return;
        answered_[index] = true;
        ++answeredCount_;
    }

    const IcmpSocket& socket_;
    std::span<const uint32_t> hosts_;
    std::vector<bool> answered_;
    size_t answeredCount_ = 0;
    size_t sent_ = 0;
    std::array<std::array<uint8_t, kDatagramBuffer>, kReceiveBatch> buffers_;
    std::array<iovec, kReceiveBatch> vectors_;
    std::array<mmsghdr, kReceiveBatch> messages_;
};

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Waits for the replies still out until all are in or the line stays silent too long.
void AwaitRest(Pinger& pinger, int fd, size_t expected) {
    while (pinger.Answered() < expected) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kSilenceMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        pinger.Drain();
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<uint32_t> hosts;
    std::string error;
    if (!HostsOf(argc > 1 ? argv[1] : "10000", hosts, error)) {
        std::fprintf(stderr, "bench_scale_floor: %s\nusage: %s [LIST.ipl | N]\n", error.c_str(),
                     argv[0]);
        return 2;
    }
    int openError = 0;
    auto socket = IcmpSocket::OpenRaw(&openError);
    if (!socket) {
        std::fprintf(stderr, "bench_scale_floor: no raw socket: %s\n", std::strerror(openError));
        return 2;
    }
    // The pinger's receive buffers are large: on the heap, not the stack.
    auto pinger = std::make_unique<Pinger>(*socket, hosts);
    const double start = CpuSeconds();
    for (size_t first = 0; first < hosts.size(); first += kBatch) {
        if (!pinger->SendBatch(first, std::min(kBatch, hosts.size() - first))) {
            std::fprintf(stderr, "bench_scale_floor: send: %s\n", std::strerror(errno));
            return 1;
        }
        pinger->Drain();
    }
    AwaitRest(*pinger, socket->fd(), hosts.size());
    std::printf("floor: %zu hosts, %.3f CPU-s, %zu/%zu replies\n", hosts.size(),
                CpuSeconds() - start, pinger->Answered(), pinger->Sent());
    return 0;
}
