#pragma once
// A small HTTP/1.0 server on a loopback address, on a thread of its own: it answers each
// request from a table of canned replies (404 for other paths) and keeps every request head.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sondrel::test {

struct Reply {
    int status = 200;
    std::string body = {};
    std::string headers = {};  // extra lines, each ending in "\r\n"
    bool silent = false;       // read the request, then never answer
};

inline std::string RefreshPage(const std::string& target) {
    return "<html><head><meta http-equiv=\"refresh\" content=\"0; url=" + target +
           "\"></head></html>";
}

class HttpTestServer {
public:
    // Port 0: any free port.
    HttpTestServer(const std::string& ip, uint16_t port)
        : ip_(ip), fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{AF_INET, htons(port), {}, {}};
        ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
        socklen_t length = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            error_ = ip + ":" + std::to_string(port) + ": " + std::strerror(errno);
            return;
        }
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        ::listen(fd_, 16);
        thread_ = std::thread([this] { Run(); });
    }
    ~HttpTestServer() {
        ::shutdown(fd_, SHUT_RDWR);  // wakes the accept below
        if (thread_.joinable()) thread_.join();
        for (int fd : silent_) ::close(fd);
        ::close(fd_);
    }
    const std::string& error() const { return error_; }  // empty: listening
    uint16_t port() const { return port_; }
    std::string Url(const std::string& path = "/") const {
        return "http://" + ip_ + ":" + std::to_string(port_) + path;
    }
    void Serve(const std::string& path, Reply reply) {
        std::lock_guard lock(mutex_);
        replies_[path] = std::move(reply);
    }
    std::vector<std::string> Heads() const {
        std::lock_guard lock(mutex_);
        return heads_;
    }

private:
    void Run() {
        for (int fd; (fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            std::string head;
            char buffer[4096];
            for (ssize_t n; head.find("\r\n\r\n") == std::string::npos &&
                            (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
                head.append(buffer, static_cast<std::size_t>(n));
            }
            std::unique_lock lock(mutex_);
            heads_.push_back(head);
            const std::string path = head.substr(4, head.find(' ', 4) - 4);  // after "GET "
            const Reply reply = replies_.count(path) ? replies_[path] : Reply{404, "not here"};
            lock.unlock();
            if (reply.silent) {
                silent_.push_back(fd);
                continue;
            }
            const std::string out = "HTTP/1.0 " + std::to_string(reply.status) +
                                    " X\r\nContent-Length: " + std::to_string(reply.body.size()) +
                                    "\r\n" + reply.headers + "\r\n" + reply.body;
            ::send(fd, out.data(), out.size(),
                   MSG_NOSIGNAL);  // blocks until all is sent or refused
            ::close(fd);
        }
    }

    std::string ip_;
    int fd_;
    uint16_t port_ = 0;
    std::string error_;
    mutable std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::vector<std::string> heads_;
    std::vector<int> silent_;
    std::thread thread_;
};

}  // namespace sondrel::test
