#include "HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace sondrel::test {
namespace {

sockaddr_in LoopbackAddress(const std::string& ip, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    return address;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

ReceivedRequest ParseRequest(const std::string& head) {
    ReceivedRequest request;
    std::size_t lineEnd = head.find("\r\n");
    const std::string first = head.substr(0, lineEnd);
    const std::size_t space1 = first.find(' ');
    const std::size_t space2 = first.find(' ', space1 + 1);
    if (space1 != std::string::npos) {
        request.path = first.substr(space1 + 1, space2 - space1 - 1);
    }
    while (lineEnd != std::string::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        request.headers[Lower(line.substr(0, colon))].push_back(value);
    }
    return request;
}

const char* Reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    default: return "Status";
    }
}

void SendAll(int fd, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace

HttpTestServer::HttpTestServer(const std::string& ip, std::uint16_t port) : ip_(ip) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error_ = std::string("socket: ") + std::strerror(errno);
        return;
    }
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in address = LoopbackAddress(ip, port);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EADDRINUSE || std::chrono::steady_clock::now() > deadline) {
            error_ = "bind " + ip + ":" + std::to_string(port) + ": " + std::strerror(errno);
            ::close(listenFd_);
            listenFd_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.sin_port);
    ::listen(listenFd_, 16);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Run(); });
}

HttpTestServer::~HttpTestServer() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    for (int fd : silentFds_) ::close(fd);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (listenFd_ >= 0) ::close(listenFd_);
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://" + ip_ + ":" + std::to_string(port_) + path;
}

void HttpTestServer::Serve(const std::string& path, CannedResponse response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

std::vector<ReceivedRequest> HttpTestServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void HttpTestServer::Run() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) Answer(fd);
        }
    }
}

void HttpTestServer::Answer(int fd) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 5000) <= 0) break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    ReceivedRequest request = ParseRequest(head);
    CannedResponse response;
    response.status = 404;
    response.body = "<html>not here</html>";
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (auto it = responses_.find(request.path); it != responses_.end()) {
            response = it->second;
        }
    }
    if (response.neverAnswer) {
        silentFds_.push_back(fd);
        return;
    }
    std::string reply = "HTTP/1.0 " + std::to_string(response.status) + " " +
                        Reason(response.status) + "\r\nContent-Type: text/html\r\n" +
                        "Content-Length: " + std::to_string(response.body.size()) + "\r\n" +
                        "Connection: close\r\n" + response.extraHeaders + "\r\n" + response.body;
    SendAll(fd, reply);
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

std::uint16_t ClosedLoopbackPort(const std::string& ip) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = LoopbackAddress(ip, 0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    ::close(fd);
    return ntohs(bound.sin_port);
}

std::string RefreshPage(const std::string& target) {
    return "<html><head><meta http-equiv=\"refresh\" content=\"0; url=" + target +
           "\"></head><body>moved</body></html>";
}

}  // namespace sondrel::test
