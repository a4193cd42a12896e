#pragma once
// The one ICMP socket of a run, opened first thing at start-up and shared by the receiver
// and every sender. A raw socket where the process may open one (root, or cap_net_raw on
// the executable); otherwise an unprivileged ICMP datagram socket where the system's
// net.ipv4.ping_group_range admits the user. Both deliver the same reply texts.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "engine/EchoRequest.h"

namespace sondrel {

struct EngineReply;

class IcmpSocket {
public:
    enum class Kind { Raw, Datagram };

    // Raw first, then datagram. On failure returns null and puts into *message the text to
    // show the user, which names both ways of granting the permission.
    static std::shared_ptr<IcmpSocket> Open(std::string* message);
    // One kind only (tests, benchmarks); on failure null and *error = errno.
    static std::shared_ptr<IcmpSocket> OpenRaw(int* error = nullptr);
    static std::shared_ptr<IcmpSocket> OpenDatagram(int* error = nullptr);

    ~IcmpSocket();
    IcmpSocket(const IcmpSocket&) = delete;
    IcmpSocket& operator=(const IcmpSocket&) = delete;

    Kind kind() const { return kind_; }
    int fd() const { return fd_; }
    // The identifier our requests carry: the low 16 bits of the process id. On a datagram
    // socket the kernel replaces it on the wire and matches replies itself.
    uint16_t identifier() const { return identifier_; }

    // Sends one request to `address` (network order). Returns 0, or errno when it failed.
    // Safe to call from a sender while the receiver reads.
    int Send(const EchoRequest& request, uint32_t address) const;

    // Sends requests[i] to addresses[i] in order, in as few system calls as the kernel
    // allows, stopping at the first that fails. Returns how many went out; *error is 0, or
    // the errno of the request that failed (the one at the returned index).
    size_t SendBatch(std::span<const EchoRequest> requests, std::span<const uint32_t> addresses,
                     int* error) const;

    // Reads every datagram and queued error waiting now, without blocking, handing each
    // kept answer to `kept`. Returns 0 once nothing is left, or the errno of a failed read
    // (the caller reports it and calls again later).
    int Drain(const std::function<void(EngineReply&&)>& kept) const;

    // Lets the receive buffer hold a whole round's replies from `hosts` hosts, so that none
    // is dropped while the receiver catches up; never shrinks it, and costs one system call
    // when it is big enough. Past net.core.rmem_max only while the process holds
    // CAP_NET_ADMIN. Returns the buffer's size as the kernel counts it (getsockopt).
    size_t EnsureReceiveBuffer(size_t hosts) const;
    // The kernel's count of datagrams it threw away because this socket's receive buffer was
    // full, since the socket opened; it wraps at 2^32. Null where the kernel does not tell.
    // Some kernels count there, while the buffer is full, ICMP the socket's type filter would
    // have refused anyway (our own requests to loopback hosts): then it says too many.
    std::optional<uint32_t> DroppedSoFar() const;

private:
    IcmpSocket(int fd, Kind kind);
    int DrainRaw(const std::function<void(EngineReply&&)>& kept) const;
    int DrainDatagram(const std::function<void(EngineReply&&)>& kept) const;
    int DrainErrorQueue(const std::function<void(EngineReply&&)>& kept) const;

    int fd_ = -1;
    Kind kind_;
    uint16_t identifier_ = 0;
};

// The message shown when neither kind of socket opens; `reason` is the system's error text.
std::string IcmpUnavailableMessage(const std::string& reason);

// Gives up every capability the process holds (effective, permitted, inheritable, ambient).
// Called right after the socket is open: nothing else in the program needs privileges.
// Returns false when the kernel refused (errno tells).
bool DropAllCapabilities();

}  // namespace sondrel
