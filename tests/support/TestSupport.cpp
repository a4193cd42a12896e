#include "support/TestSupport.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace sondrel::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sondrel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path BinDir() {
    if (const char* dir = std::getenv("SONDREL_BIN_DIR"); dir && *dir) return dir;
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = '\0';
    return std::filesystem::path(buf).parent_path();
}

bool CanOpenRawIcmp() {
    int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::optional<uint64_t> BytesReadSoFar() {
    std::ifstream in("/proc/self/io");
    std::string key;
    for (uint64_t value; in >> key >> value;)
        if (key == "rchar:") return value;
    return std::nullopt;
}

}  // namespace sondrel::test
