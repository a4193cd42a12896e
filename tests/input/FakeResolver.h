#pragma once
// A resolver that knows only the names a test gives it, and remembers what it was asked.
#include "platform/Resolver.h"

#include <arpa/inet.h>

#include <map>
#include <string>
#include <vector>

namespace sondrel::test {

inline std::uint32_t Ip(const char* dotted) {
    in_addr address{};
    ::inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

class FakeResolver final : public Resolver {
public:
    FakeResolver() = default;
    FakeResolver(std::initializer_list<std::pair<const std::string, std::uint32_t>> names)
        : names_(names) {}

    std::optional<std::uint32_t> LookupName(const std::string& name) override {
        asked.push_back(name);
        if (auto it = names_.find(name); it != names_.end()) {
            return it->second;
        }
        return std::nullopt;
    }
    std::optional<std::string> LookupAddress(std::uint32_t) override { return std::nullopt; }

    std::vector<std::string> asked;

private:
    std::map<std::string, std::uint32_t> names_;
};

}  // namespace sondrel::test
