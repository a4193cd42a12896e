#pragma once
// One running instance per user. The running program listens on an abstract Unix socket
// named after the user; a later start finds the name taken, connects, hands over what it was
// asked to do (show the window, open a list file) and ends. Abstract names vanish with the
// process, so a crash leaves nothing stale behind.
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

// What a later start asks of the running instance.
struct InstanceRequest {
    bool show = true;
    std::string file;  // absolute path of a list file to open; empty for none
    bool operator==(const InstanceRequest&) const = default;
};

// Wire form: "show" NUL, then "open" NUL path NUL when a file is named.
std::string EncodeInstanceRequest(const InstanceRequest& request);
// Nullopt for bytes that are not a request (unknown words, a missing terminator).
std::optional<InstanceRequest> DecodeInstanceRequest(std::string_view bytes);

// The per-user name: "sondrel-<uid>" (the leading NUL of the abstract namespace is added
// when the address is built).
std::string DefaultInstanceName();

// A request larger than this is refused: a path is at most PATH_MAX bytes.
inline constexpr size_t kMaxInstanceRequest = 8192;

class InstanceListener {
public:
    enum class Claim { Owner, TakenByOther, Failed };

    explicit InstanceListener(std::string name);
    ~InstanceListener();
    InstanceListener(const InstanceListener&) = delete;
    InstanceListener& operator=(const InstanceListener&) = delete;

    // Binds and listens. Owner: this process is the running instance. TakenByOther: another
    // instance holds the name. Failed: see Error().
    Claim Bind();
    int Error() const { return error_; }
    // The listening descriptor (non-blocking), -1 before a successful Bind.
    int Fd() const { return fd_; }
    // Accepts one waiting connection from a process of the same user; -1 when none is
    // waiting or the peer is someone else (that connection is closed at once). The caller
    // owns the returned non-blocking descriptor.
    int AcceptSameUser();

private:
    std::string name_;
    int fd_ = -1;
    int error_ = 0;
};

// Collects one request from an accepted connection without blocking: call Read each time
// the descriptor is readable until it stops returning More.
class InstanceRequestReader {
public:
    enum class State { More, Done, Failed };
    explicit InstanceRequestReader(int fd) : fd_(fd) {}
    ~InstanceRequestReader();
    InstanceRequestReader(const InstanceRequestReader&) = delete;
    InstanceRequestReader& operator=(const InstanceRequestReader&) = delete;
    State Read();
    // The request once Read returned Done.
    const InstanceRequest& Request() const { return request_; }
    int Fd() const { return fd_; }

private:
    int fd_;
    std::string bytes_;
    InstanceRequest request_;
};

// The later start's side: connects to the running instance and sends the request. Returns 0
// on success, else the errno of the step that failed (ECONNREFUSED when nobody listens,
// EPERM when the listener belongs to another user). Waits at most timeoutMs.
int SendInstanceRequest(std::string_view name, const InstanceRequest& request, int timeoutMs);

}  // namespace sondrel
