#pragma once
// A file descriptor owned by one object, and whole-file helpers built on it.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace sondrel {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& o) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset();
    // Closes and reports whether the close succeeded (a write error may show only here).
    bool close();

private:
    int fd_ = -1;
};

// Writes every byte, retrying on interruption and short writes.
bool WriteAll(int fd, std::string_view bytes);
// Opens a regular file for reading and gives its size; on failure (a FIFO or a folder in its
// place included) the descriptor is empty and err holds the errno value.
FileDescriptor OpenRegularFile(const std::filesystem::path& path, size_t& size, int& err);
// Reads from fd, retrying on interruption: the count, 0 at the end, -1 on failure.
ssize_t ReadSome(int fd, void* into, size_t n);
// Reads a regular file whole; on failure err holds the errno value.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, int& err);

}  // namespace sondrel
