#include "model/History.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "model/AddressText.h"
#include "platform/FileDescriptor.h"

namespace sondrel {

namespace {

constexpr size_t kStartPassAbove = 100;  // lines of the first host that start a flush pass
constexpr size_t kFlushFrom = 100;       // lines that get a host flushed within a pass

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int Wrap(int value, int modulus) { return ((value % modulus) + modulus) % modulus; }

std::string StripNewlines(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        if (c != '\n' && c != '\r') out.push_back(c);
    }
    return out;
}

bool Flush(uint32_t address, HostRecord& record, bool& flushPass, const HistoryWriter& write) {
    if (!write(address, record.m_history)) {
        // Keep the lines; stop this pass so idle work does not spin on a file it cannot write.
        flushPass = false;
        return false;
    }
    record.m_history.clear();
    return true;
}

// Opens a file in the private folder: never through a link, never blocking on a FIFO.
FileDescriptor OpenPrivate(const std::filesystem::path& path, int flags) {
    FileDescriptor fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (!fd) return fd;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return FileDescriptor();
    return fd;
}

}  // namespace

std::string FormatTimeStamp(const std::tm& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %d\n", kDays[Wrap(t.tm_wday, 7)],
                  kMonths[Wrap(t.tm_mon, 12)], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  t.tm_year + 1900);
    return buf;
}

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

std::vector<HistoryRow> PairHistoryLines(const std::vector<std::string>& lines) {
    std::vector<HistoryRow> rows;
    rows.reserve(lines.size() / 2);
    for (size_t k = 0; k + 1 < lines.size(); k += 2) {
        rows.emplace_back(StripNewlines(lines[k]), StripNewlines(lines[k + 1]));
    }
    return rows;
}

bool FlushStep(HostTable& hosts, bool& flushPass, const HistoryWriter& write) {
    if (hosts.IsEmpty()) {
        flushPass = false;
        return false;
    }
    if (!flushPass) {
        auto first = *hosts.begin();
        if (first.record.m_history.size() <= kStartPassAbove) return false;
        flushPass = true;
        return Flush(first.address, first.record, flushPass, write);
    }
    for (auto [address, record] : hosts) {
        if (record.m_history.size() >= kFlushFrom) return Flush(address, record, flushPass, write);
    }
    flushPass = false;
    return false;
}

std::filesystem::path HistoryFiles::PathOf(uint32_t address) const {
    return folder_ / DottedQuad(address);
}

bool HistoryFiles::Append(uint32_t address, const std::vector<std::string>& lines) const {
    FileDescriptor fd = OpenPrivate(PathOf(address), O_WRONLY | O_APPEND | O_CREAT);
    if (!fd) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return false;
    std::string bytes;
    for (const std::string& line : lines) bytes += line;
    if (!WriteAll(fd.get(), bytes)) {
        // Leave no half-written entries behind: the lines stay in memory for a later try.
        (void)!::ftruncate(fd.get(), st.st_size);
        return false;
    }
    return fd.close();
}

std::vector<HistoryRow> HistoryFiles::Read(uint32_t address) const {
    return ReadHistoryRows(PathOf(address));
}

void HistoryFiles::Delete(uint32_t address) const { ::unlink(PathOf(address).c_str()); }

HistoryWriter HistoryFiles::Writer() const {
    return [files = *this](uint32_t address, const std::vector<std::string>& lines) {
        return files.Append(address, lines);
    };
}

std::vector<HistoryRow> ReadHistoryRows(const std::filesystem::path& path) {
    std::vector<HistoryRow> rows;
    FileDescriptor fd = OpenPrivate(path, O_RDONLY);
    if (!fd) return rows;
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    std::vector<std::string> lines;
    std::string_view rest(bytes);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return PairHistoryLines(lines);
}

}  // namespace sondrel
