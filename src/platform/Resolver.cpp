#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>

namespace sondrel {

std::uint32_t InetAddr(const std::string& text) { return ::inet_addr(text.c_str()); }

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

}  // namespace

std::optional<std::uint32_t> SystemResolver::LookupName(const std::string& name) {
    // The C call stops at a NUL; a name with one inside would be a different name.
    if (name.empty() || name.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    // One entry per address instead of one per socket type.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &raw) != 0 || raw == nullptr) {
        return std::nullopt;
    }
    AddrInfoList list(raw);
    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr &&
            entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in address{};
            std::memcpy(&address, entry->ai_addr, sizeof address);
            return address.sin_addr.s_addr;
        }
    }
    return std::nullopt;
}

std::optional<std::string> SystemResolver::LookupAddress(std::uint32_t address) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = address;
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress, host,
                      sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
        return std::nullopt;
    }
    return std::string(host);
}

Resolver& TheSystemResolver() {
    static SystemResolver resolver;
    return resolver;
}

}  // namespace sondrel
