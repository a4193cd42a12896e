#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sondrel {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& o) noexcept {
    if (this != &o) {
        reset();
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

void FileDescriptor::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool FileDescriptor::close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

FileDescriptor OpenRegularFile(const std::filesystem::path& path, size_t& size, int& err) {
    err = 0;
    // Non-blocking so that a FIFO in the file's place cannot hold the caller in open() until
    // a writer turns up; it is refused below, and a regular file reads the same either way.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        err = errno;
        return fd;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        err = errno;
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return {};
    }
    size = static_cast<size_t>(st.st_size);
    return fd;
}

ssize_t ReadSome(int fd, void* into, size_t n) {
    for (;;) {
        const ssize_t got = ::read(fd, into, n);
        if (got >= 0 || errno != EINTR) return got;
    }
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, int& err) {
    size_t size = 0;
    const FileDescriptor fd = OpenRegularFile(path, size, err);
    if (!fd) return false;
    bytes.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ReadSome(fd.get(), buf, sizeof buf);
        if (n < 0) {
            err = errno;
            return false;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    return true;
}

}  // namespace sondrel
