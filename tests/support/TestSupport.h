#pragma once
// Helpers shared by every test binary.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace sondrel::test {

// A fresh folder under the build's temporary area, removed when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Folder of the built executables (sondrel, tools) and the data files beside them.
std::filesystem::path BinDir();

// True when this process may open a raw ICMP socket (root or cap_net_raw).
bool CanOpenRawIcmp();

// Bytes this process has read so far, from anything; nullopt without /proc/self/io.
std::optional<uint64_t> BytesReadSoFar();

}  // namespace sondrel::test
