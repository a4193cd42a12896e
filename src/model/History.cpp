#include "model/History.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/AddressText.h"
#include "platform/FileDescriptor.h"
#include "platform/Paths.h"

namespace sondrel {

namespace {

constexpr size_t kStartPassAbove = 100;  // lines of the first host that start a flush pass
constexpr size_t kFlushFrom = 100;       // lines that get a host flushed within a pass

std::string StripNewlines(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        if (c != '\n' && c != '\r') out.push_back(c);
    }
    return out;
}

constexpr uint64_t kBudgetCap = uint64_t{256} << 20;

uint64_t BytesOf(std::span<const std::string> lines) {
    uint64_t bytes = 0;
    for (const std::string& line : lines) bytes += line.size();
    return bytes;
}

void Flush(uint32_t address, HostRecord& record, const HistoryWriter& write) {
    write(address, record.m_history.ToVector());
    record.m_history.clear();
}

uint64_t FileSystemBytes(const std::filesystem::path& folder) {
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return 0;
    return static_cast<uint64_t>(fs.f_blocks) * fs.f_frsize;
}

// 1 to 3 digits, no leading zero, at most 255.
bool IsOctet(std::string_view digits) {
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0'))
        return false;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

constexpr std::string_view kReplacementSuffix = ".new";

// Opens a file in the private folder: never through a link, never blocking on a FIFO.
FileDescriptor OpenPrivate(const std::filesystem::path& path, int flags) {
    FileDescriptor fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (!fd) return fd;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return FileDescriptor();
    return fd;
}

}  // namespace

std::string TimeStampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FormatTimeStamp(local);
}

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

void AppendHistoryEvent(std::vector<std::string>& history, std::string_view stampLine,
                        std::string_view eventText) {
    history.emplace_back(stampLine);
    std::string event(eventText);
    event.push_back('\n');
    history.push_back(std::move(event));
}

void AppendHistoryEvent(HistoryLines& history, std::string_view stampLine,
                        std::string_view eventText) {
    history.AppendEvent(stampLine, eventText);
}

std::vector<HistoryRow> PairHistoryLines(const std::vector<std::string>& lines) {
    std::vector<HistoryRow> rows;
    rows.reserve(lines.size() / 2);
    for (size_t k = 0; k + 1 < lines.size(); k += 2) {
        rows.emplace_back(StripNewlines(lines[k]), StripNewlines(lines[k + 1]));
    }
    return rows;
}

bool FlushStep(HostTable& hosts, FlushPass& pass, const HistoryWriter& write) {
    if (hosts.IsEmpty()) {
        pass = {};
        return false;
    }
    if (!pass.Active()) {
        auto first = *hosts.begin();
        if (first.record.m_history.size() <= kStartPassAbove) return false;
        pass.lap = hosts.Addresses();
        pass.next = 1;
        Flush(first.address, first.record, write);
        return true;
    }
    while (pass.Active()) {
        const uint32_t address = pass.lap[pass.next++];
        HostRecord* record = hosts.FindHost(address);
        if (record != nullptr && record->m_history.size() >= kFlushFrom) {
            Flush(address, *record, write);
            return true;
        }
    }
    pass = {};
    return false;
}

uint64_t DefaultHistoryBudget(uint64_t fileSystemBytes) {
    // A file system that cannot be measured gets the cap.
    if (fileSystemBytes == 0) return kBudgetCap;
    return std::min(kBudgetCap, fileSystemBytes / 10);
}

std::vector<std::string> DropOldestHalf(std::span<const std::string> lines, uint64_t limit,
                                        std::string_view stampLine) {
    size_t first = lines.size() - lines.size() % 2;  // an odd last line is no entry
    uint64_t kept = 0;
    while (first >= 2) {
        const uint64_t entry = lines[first - 2].size() + lines[first - 1].size();
        if (kept + entry > limit / 2) break;
        kept += entry;
        first -= 2;
    }
    std::vector<std::string> out;
    out.reserve(2 + lines.size() - first);
    AppendHistoryEvent(out, stampLine, kEventDropped);
    out.insert(out.end(), lines.begin() + static_cast<std::ptrdiff_t>(first),
               lines.begin() + static_cast<std::ptrdiff_t>(lines.size() - lines.size() % 2));
    return out;
}

bool IsHistoryFileName(std::string_view name) {
    if (name.ends_with(kReplacementSuffix)) name.remove_suffix(kReplacementSuffix.size());
    for (int part = 0; part < 4; ++part) {
        const size_t dot = part < 3 ? name.find('.') : name.size();
        if (dot == std::string_view::npos || !IsOctet(name.substr(0, dot))) return false;
        name.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return true;
}

HistoryFiles::HistoryFiles(std::filesystem::path folder, HistoryLimits limits)
    : folder_(std::move(folder)), limits_(std::move(limits)) {
    budget_ = limits_.budget != 0 ? limits_.budget : DefaultHistoryBudget(FileSystemBytes(folder_));
    // An empty folder name would put the files wherever the program happens to run.
    if (folder_.empty()) failure_ = "no history folder";
}

std::chrono::steady_clock::time_point HistoryFiles::Now() const {
    return limits_.clock ? limits_.clock() : std::chrono::steady_clock::now();
}

std::filesystem::path HistoryFiles::PathOf(uint32_t address) const {
    return folder_ / DottedQuad(address);
}

void HistoryFiles::RemoveLeftovers() const {
    FileDescriptor dir(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir) return;
    std::unique_ptr<DIR, int (*)(DIR*)> list(::fdopendir(::dup(dir.get())), ::closedir);
    if (!list) return;
    while (const dirent* entry = ::readdir(list.get())) {
        if (!IsHistoryFileName(entry->d_name)) continue;
        struct stat st {};
        if (::fstatat(dir.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) ::unlinkat(dir.get(), entry->d_name, 0);
    }
}

void HistoryFiles::Fail(std::string why) {
    failure_ = why.empty() ? "unknown error" : std::move(why);
    retryAt_ = Now() + kRetryPeriod;
}

bool HistoryFiles::RetryNow() {
    if (folder_.empty() || Now() < retryAt_) return false;
    // The folder may have gone with its file system; making it again checks it anew.
    if (PrivateDir dir = MakePrivateDir(folder_, ::geteuid()); !dir.ok()) {
        Fail(dir.error);
        return false;
    }
    if (limits_.budget == 0) budget_ = DefaultHistoryBudget(FileSystemBytes(folder_));
    failure_.clear();
    return true;
}

bool HistoryFiles::Append(uint32_t address, const std::vector<std::string>& lines) {
    Host& host = hosts_[address];
    if (Failing() && !RetryNow()) {
        Keep(host, lines);
        return false;
    }
    std::vector<std::string> pending = std::move(host.waiting);
    pending.insert(pending.end(), lines.begin(), lines.end());
    host.waiting.clear();
    host.waitingBytes = 0;
    if (!Write(address, host, pending)) {
        Fail("history folder " + folder_.string() + ": " + std::strerror(errno));
        Keep(host, pending);
        return false;
    }
    return true;
}

bool HistoryFiles::Write(uint32_t address, Host& host, const std::vector<std::string>& lines) {
    const uint64_t bytes = BytesOf(lines);
    if (host.fileBytes + bytes > Share()) return Replace(address, host, lines);
    FileDescriptor fd = OpenPrivate(PathOf(address), O_WRONLY | O_APPEND | O_CREAT);
    if (!fd) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return false;
    std::string text;
    for (const std::string& line : lines) text += line;
    if (!WriteAll(fd.get(), text)) {
        // Leave no half-written entries behind: the lines stay in memory for a later try.
        const int error = errno;
        (void)!::ftruncate(fd.get(), st.st_size);
        errno = error;
        return false;
    }
    if (!fd.close()) return false;
    host.hasFile = true;
    host.fileBytes += bytes;
    return true;
}

// Writes the newest half of the file and the lines to a new file and renames it over the
// old one, so that a failure leaves the old file as it was.
bool HistoryFiles::Replace(uint32_t address, Host& host, const std::vector<std::string>& lines) {
    std::vector<std::string> all = ReadHistoryLines(PathOf(address));
    all.insert(all.end(), lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : DropOldestHalf(all, Share(), TimeStampNow())) text += line;
    std::filesystem::path next = PathOf(address);
    next += kReplacementSuffix;
    FileDescriptor fd = OpenPrivate(next, O_WRONLY | O_CREAT | O_TRUNC);
    const bool written = fd && WriteAll(fd.get(), text) && fd.close() &&
                         ::rename(next.c_str(), PathOf(address).c_str()) == 0;
    if (!written) {
        const int error = errno;
        ::unlink(next.c_str());
        errno = error;
        return false;
    }
    host.hasFile = true;
    host.fileBytes = text.size();
    return true;
}

void HistoryFiles::Keep(Host& host, const std::vector<std::string>& lines) {
    host.waiting.insert(host.waiting.end(), lines.begin(), lines.end());
    host.waitingBytes += BytesOf(lines);
    if (host.waitingBytes <= Share()) return;
    host.waiting = DropOldestHalf(host.waiting, Share(), TimeStampNow());
    host.waitingBytes = BytesOf(host.waiting);
}

std::vector<HistoryRow> HistoryFiles::Read(uint32_t address) const {
    std::vector<HistoryRow> rows = PairHistoryLines(ReadHistoryLines(PathOf(address)));
    if (auto it = hosts_.find(address); it != hosts_.end()) {
        for (HistoryRow& row : PairHistoryLines(it->second.waiting)) rows.push_back(std::move(row));
    }
    return rows;
}

void HistoryFiles::Delete(uint32_t address) const {
    auto it = hosts_.find(address);
    if (it == hosts_.end()) return;
    if (it->second.hasFile) ::unlink(PathOf(address).c_str());
    hosts_.erase(it);
}

void HistoryFiles::DeleteAll() const {
    FileDescriptor dir(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    for (const auto& [address, host] : hosts_) {
        if (!host.hasFile) continue;
        if (dir)
            ::unlinkat(dir.get(), DottedQuad(address).c_str(), 0);
        else
            ::unlink(PathOf(address).c_str());
    }
    hosts_.clear();
}

HistoryWriter HistoryFiles::Writer() {
    return
        [this](uint32_t address, const std::vector<std::string>& lines) { Append(address, lines); };
}

std::vector<std::string> ReadHistoryLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    FileDescriptor fd = OpenPrivate(path, O_RDONLY);
    if (!fd) return lines;
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    std::string_view rest(bytes);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string line(WithoutLineEnd(rest.substr(0, end)));
        line.push_back('\n');
        lines.push_back(std::move(line));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return lines;
}

}  // namespace sondrel
