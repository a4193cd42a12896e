// Answers ICMP echo requests after a fixed delay, COPIES times each (default once), for
// namespace tests on a kernel without netem. Run it where the kernel's own answers are off
// (net.ipv4.icmp_echo_ignore_all=1).
//   net_delay_responder DELAY_MS [COPIES]
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

#include "engine/EchoRequest.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Pending {
    Clock::time_point due;
    sockaddr_in to;
    std::vector<uint8_t> reply;  // ICMP message only; the kernel adds the IP header
};

constexpr int kIcmpFilterOption = 1;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s DELAY_MS [COPIES]\n", argv[0]);
        return 2;
    }
    const auto delay = std::chrono::milliseconds(std::atoi(argv[1]));
    const int copies = argc == 3 ? std::atoi(argv[2]) : 1;
    int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        std::perror("socket");
        return 1;
    }
    uint32_t onlyRequests = ~(1u << sondrel::kIcmpEchoRequest);
    ::setsockopt(fd, SOL_RAW, kIcmpFilterOption, &onlyRequests, sizeof onlyRequests);
    std::deque<Pending> queue;  // the delay is constant, so arrival order is due order
    uint8_t buf[2048];
    for (;;) {
        int wait = -1;
        if (!queue.empty()) {
            auto left =
                std::chrono::ceil<std::chrono::milliseconds>(queue.front().due - Clock::now());
            wait = left.count() < 0 ? 0 : static_cast<int>(left.count());
        }
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, wait);
        while (!queue.empty() && queue.front().due <= Clock::now()) {
            const Pending& r = queue.front();
            for (int i = 0; i < copies; ++i)
                ::sendto(fd, r.reply.data(), r.reply.size(), 0,
                         reinterpret_cast<const sockaddr*>(&r.to), sizeof r.to);
            queue.pop_front();
        }
        if (n <= 0) continue;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t got =
            ::recvfrom(fd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
        if (got < 20) continue;
        size_t h = (buf[0] & 0x0F) * 4u;
        if (h < 20 || static_cast<size_t>(got) < h + 8 || buf[h] != sondrel::kIcmpEchoRequest)
            continue;
        Pending r{Clock::now() + delay, from, std::vector<uint8_t>(buf + h, buf + got)};
        r.reply[0] = sondrel::kIcmpEchoReply;
        r.reply[2] = r.reply[3] = 0;
        uint16_t sum = sondrel::InternetChecksum(r.reply);
        r.reply[2] = static_cast<uint8_t>(sum);
        r.reply[3] = static_cast<uint8_t>(sum >> 8);
        queue.push_back(std::move(r));
    }
}
