#pragma once
// Name service behind one small interface, so that code which turns names into addresses
// can be exercised with names that the real service could never produce on demand.
#include <cstdint>
#include <optional>
#include <string>

namespace sondrel {

// What inet_addr yields for text that is not a dotted address; 255.255.255.255 reads the same.
inline constexpr std::uint32_t kInaddrNone = 0xFFFFFFFFu;

// Dotted-address conversion of the whole text, glibc's inet_addr: network byte order,
// kInaddrNone for anything it does not accept. Reads up to the first NUL, like the C call.
std::uint32_t InetAddr(const std::string& text);

class Resolver {
public:
    virtual ~Resolver() = default;
    // First IPv4 address of the name, in network byte order; nullopt when it does not resolve.
    virtual std::optional<std::uint32_t> LookupName(const std::string& name) = 0;
    // A name of the address (network byte order); nullopt when there is none.
    virtual std::optional<std::string> LookupAddress(std::uint32_t address) = 0;
};

// The system's name service (getaddrinfo / getnameinfo). Stateless and safe to call from any
// thread; each call blocks for as long as the service takes.
class SystemResolver final : public Resolver {
public:
    std::optional<std::uint32_t> LookupName(const std::string& name) override;
    std::optional<std::string> LookupAddress(std::uint32_t address) override;
};

// One shared instance for the whole program.
Resolver& TheSystemResolver();

}  // namespace sondrel
