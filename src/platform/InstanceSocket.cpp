#include "platform/InstanceSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FileDescriptor.h"

namespace sondrel {
namespace {

constexpr std::string_view kShow = "show";
constexpr std::string_view kOpen = "open";

// Abstract address: sun_path starts with NUL; the length covers exactly the name.
socklen_t MakeAddress(std::string_view name, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    size_t n = std::min(name.size(), sizeof addr.sun_path - 1);
    std::memcpy(addr.sun_path + 1, name.data(), n);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

bool PeerIsSameUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    return cred.uid == ::getuid();
}

// Waits until fd is ready for the given events or the time is up.
bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs);
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace

std::string EncodeInstanceRequest(const InstanceRequest& request) {
    std::string out;
    if (request.show) {
        out += kShow;
        out += '\0';
    }
    if (!request.file.empty()) {
        out += kOpen;
        out += '\0';
        out += request.file;
        out += '\0';
    }
    return out;
}

std::optional<InstanceRequest> DecodeInstanceRequest(std::string_view bytes) {
    InstanceRequest request;
    request.show = false;
    while (!bytes.empty()) {
        size_t end = bytes.find('\0');
        if (end == std::string_view::npos) return std::nullopt;
        std::string_view word = bytes.substr(0, end);
        bytes.remove_prefix(end + 1);
        if (word == kShow) {
            request.show = true;
        } else if (word == kOpen) {
            size_t pathEnd = bytes.find('\0');
            if (pathEnd == std::string_view::npos || pathEnd == 0) return std::nullopt;
            request.file.assign(bytes.substr(0, pathEnd));
            bytes.remove_prefix(pathEnd + 1);
        } else {
            return std::nullopt;
        }
    }
    return request;
}

std::string DefaultInstanceName() { return "sondrel-" + std::to_string(::getuid()); }

InstanceListener::InstanceListener(std::string name) : name_(std::move(name)) {}

InstanceListener::~InstanceListener() {
    if (fd_ >= 0) ::close(fd_);
}

InstanceListener::Claim InstanceListener::Bind() {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error_ = errno;
        return Claim::Failed;
    }
    sockaddr_un addr;
    socklen_t len = MakeAddress(name_, addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 8) != 0) {
        error_ = errno;
        ::close(fd);
        return error_ == EADDRINUSE ? Claim::TakenByOther : Claim::Failed;
    }
    fd_ = fd;
    error_ = 0;
    return Claim::Owner;
}

int InstanceListener::AcceptSameUser() {
    if (fd_ < 0) return -1;
    for (;;) {
        int c = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (c < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (PeerIsSameUser(c)) return c;
        ::close(c);  // another user has no business with this instance
    }
}

InstanceRequestReader::~InstanceRequestReader() {
    if (fd_ >= 0) ::close(fd_);
}

InstanceRequestReader::State InstanceRequestReader::Read() {
    char buf[1024];
    for (;;) {
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            if (bytes_.size() + static_cast<size_t>(n) > kMaxInstanceRequest) return State::Failed;
            bytes_.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n == 0) {
            auto request = DecodeInstanceRequest(bytes_);
            if (!request) return State::Failed;
            request_ = *request;
            return State::Done;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return State::More;
        return State::Failed;
    }
}

int SendInstanceRequest(std::string_view name, const InstanceRequest& request, int timeoutMs) {
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return errno;
    sockaddr_un addr;
    socklen_t len = MakeAddress(name, addr);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        if (errno != EINPROGRESS && errno != EAGAIN) return errno;
        if (!WaitFor(fd.get(), POLLOUT, timeoutMs)) return ETIMEDOUT;
        int err = 0;
        socklen_t errLen = sizeof err;
        ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &errLen);
        if (err != 0) return err;
    }
    if (!PeerIsSameUser(fd.get())) return EPERM;
    std::string bytes = EncodeInstanceRequest(request);
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(fd.get(), POLLOUT, timeoutMs)) return ETIMEDOUT;
            continue;
        }
        return errno;
    }
    ::shutdown(fd.get(), SHUT_WR);
    // Wait until the running instance has read the request and closed its side, so that a
    // caller ending right away cannot cut the message short.
    if (WaitFor(fd.get(), POLLIN, timeoutMs)) {
        char c;
        while (::read(fd.get(), &c, 1) > 0) {
        }
    }
    return 0;
}

}  // namespace sondrel
