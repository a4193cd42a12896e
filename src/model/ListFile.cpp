#include "model/ListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FileDescriptor.h"

namespace sondrel {

namespace {

constexpr size_t kRecordHeadSize = 8;  // address and named flag

ListFault FaultOf(ArchiveFault fault) {
    switch (fault) {
        case ArchiveFault::TextTooLong:
            return ListFault::TextTooLong;
        case ArchiveFault::BadTextPrefix:
            return ListFault::BadTextPrefix;
        default:
            return ListFault::EndsEarly;
    }
}

// Reads one record; false (reader's fault set) when it does not fit in what is left.
bool ReadRecord(ArchiveReader& in, HostEntry& entry) {
    uint32_t named = 0;
    if (!in.ReadU32(entry.m_dwAddress) || !in.ReadU32(named)) return false;
    entry.m_record.m_bNamed = named != 0 ? 1 : 0;
    if (named == 0) return true;
    std::string name;
    if (!in.ReadText(name)) return false;
    entry.m_record.m_strName = name;
    return true;
}

void WriteRecord(ArchiveWriter& out, uint32_t address, const HostRecord& record) {
    out.WriteU32(address);
    out.WriteI32(record.m_bNamed);
    if (record.m_bNamed) out.WriteText(record.m_strName);
}

std::string ErrnoText(int err) { return std::strerror(err); }

void Stop(ListReadResult& result, const ArchiveReader& in, ListFault fault, size_t offset) {
    if (in.Fault() == ArchiveFault::ReadError) {
        result.fault = ListFault::Unreadable;
        result.error = ErrnoText(in.ReadErrno());
    } else {
        result.fault = fault;
    }
    result.faultOffset = offset;
}

// Reads the header, then hands each record to take in file order until the count is reached
// or a fault ends the reading; nothing past the last record is asked for.
template <class Take>
void ReadRecords(ArchiveReader& in, ListReadResult& result, Take&& take) {
    uint32_t interval = 0;
    int32_t count = 0;
    if (!in.ReadU32(interval)) {
        Stop(result, in, ListFault::EndsEarly, in.Offset());
        return;
    }
    result.interval = interval;
    if (!in.ReadI32(count)) {
        Stop(result, in, ListFault::EndsEarly, in.Offset());
        return;
    }
    result.count = count;
    for (int32_t i = 0; i < count; ++i) {
        const size_t start = in.Offset();
        if (in.AtEnd()) {
            Stop(result, in, ListFault::TooFewRecords, start);
            return;
        }
        HostEntry entry;
        if (!ReadRecord(in, entry)) {
            Stop(result, in, FaultOf(in.Fault()), start);
            return;
        }
        take(std::move(entry));
        ++result.records;
    }
}

ListReadResult ReadEntries(ArchiveReader& in) {
    ListReadResult result;
    ReadRecords(in, result, [&](HostEntry&& e) {
        // Never trust the count: reserve only what the rest of the data could hold.
        if (result.entries.empty()) {
            result.entries.reserve(std::min<size_t>(static_cast<size_t>(*result.count),
                                                    in.Remaining() / kRecordHeadSize + 1));
        }
        result.entries.push_back(std::move(e));
    });
    return result;
}

class FileSource : public ByteSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    ptrdiff_t Read(std::span<uint8_t> into) override {
        return ReadSome(fd_, into.data(), into.size());
    }

private:
    int fd_;
};

}  // namespace

ListReadResult ParseListFile(std::span<const uint8_t> bytes) {
    ArchiveReader in(bytes);
    return ReadEntries(in);
}

ListReadResult ReadListStream(ByteSource& source, size_t size) {
    ArchiveReader in(source, size);
    return ReadEntries(in);
}

std::string DescribeListFault(const ListReadResult& result) {
    char buf[160];
    const size_t read = result.records;
    switch (result.fault) {
        case ListFault::None:
            return "no fault";
        case ListFault::Unreadable:
            return "cannot be read: " + result.error;
        case ListFault::EndsEarly:
            if (!result.interval) return "ends before the interval";
            if (!result.count) return "ends before the record count";
            std::snprintf(buf, sizeof buf, "ends inside record %zu of %d at byte %zu", read + 1,
                          *result.count, result.faultOffset);
            return buf;
        case ListFault::TooFewRecords:
            std::snprintf(buf, sizeof buf, "ends after %zu of %d records at byte %zu", read,
                          *result.count, result.faultOffset);
            return buf;
        case ListFault::TextTooLong:
            std::snprintf(buf, sizeof buf,
                          "name of record %zu is longer than the rest of the file at byte %zu",
                          read + 1, result.faultOffset);
            return buf;
        case ListFault::BadTextPrefix:
            std::snprintf(buf, sizeof buf, "name of record %zu has a malformed length at byte %zu",
                          read + 1, result.faultOffset);
            return buf;
    }
    return "unknown fault";
}

ListReadResult ReadListFile(const std::filesystem::path& path) {
    size_t size = 0;
    int err = 0;
    const FileDescriptor fd = OpenRegularFile(path, size, err);
    if (!fd) {
        ListReadResult result;
        result.fault = ListFault::Unreadable;
        result.error = ErrnoText(err);
        return result;
    }
    FileSource source(fd.get());
    return ReadListStream(source, size);
}

std::string SerializeHostTable(uint32_t interval, const HostTable& hosts) {
    ArchiveWriter out;
    // A second walk to size the names costs more than the string's few regrowths.
    out.Reserve(8 + kRecordHeadSize * static_cast<size_t>(hosts.GetHostCount()));
    out.WriteU32(interval);
    out.WriteI32(hosts.GetHostCount());
    hosts.ForEachHost([&](uint32_t address, const HostRecord& r) { WriteRecord(out, address, r); });
    return out.Take();
}

std::string SerializeEntries(uint32_t interval, std::span<const HostEntry> entries) {
    ArchiveWriter out;
    out.WriteU32(interval);
    out.WriteI32(static_cast<int32_t>(entries.size()));
    for (const HostEntry& e : entries) WriteRecord(out, e.m_dwAddress, e.m_record);
    return out.Take();
}

std::vector<HostEntry> EntriesOf(const HostTable& hosts) {
    std::vector<HostEntry> out;
    out.reserve(static_cast<size_t>(hosts.GetHostCount()));
    hosts.ForEachHost([&](uint32_t address, const HostRecord& r) {
        out.push_back(HostEntry{address, r});
    });
    return out;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::string& message) {
    std::filesystem::path temp = path;
    temp += ".new";
    FileDescriptor fd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) {
        message = "cannot create " + temp.string() + ": " + ErrnoText(errno);
        return false;
    }
    if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) {
        message = "cannot write " + temp.string() + ": " + ErrnoText(errno);
        fd.reset();
        ::unlink(temp.c_str());
        return false;
    }
    if (!fd.close()) {
        message = "cannot write " + temp.string() + ": " + ErrnoText(errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        message = "cannot replace " + path.string() + ": " + ErrnoText(errno);
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
    return true;
}

namespace {

// Adds the entry as a fresh record carrying only its name, unless its address is listed.
bool MergeEntry(HostEntry&& e, HostTable& hosts) {
    // One lookup: HostAt adds when the address is new, which the count tells.
    const int before = hosts.GetHostCount();
    HostRecord& record = hosts.HostAt(e.m_dwAddress);
    if (hosts.GetHostCount() == before) return false;
    record.m_bNamed = e.m_record.m_bNamed;
    if (e.m_record.m_bNamed) record.m_strName = std::move(e.m_record.m_strName);
    return true;
}

void KeepDamagedCopy(const std::filesystem::path& path, ListLoadStatus& status) {
    std::filesystem::path copy = path;
    copy += ".damaged";
    std::string bytes, why;
    int err = 0;
    if (!ReadWholeFile(path, bytes, err)) {
        status.message += "\ncannot read " + path.string() + ": " + ErrnoText(err);
    } else if (WriteFileAtomically(copy, bytes, why)) {
        status.damagedCopy = copy;
        status.message += "\nThe file was kept as " + copy.string() + ".";
    } else {
        status.message += "\n" + why;
    }
}

// Records go into the table as they are read, so a million hosts never exist twice.
ListLoadStatus LoadInto(const std::filesystem::path& path, HostTable& hosts, bool keepDamaged) {
    ListLoadStatus status;
    size_t size = 0;
    int err = 0;
    const FileDescriptor fd = OpenRegularFile(path, size, err);
    if (!fd) {
        status.kind =
            err == ENOENT ? ListLoadStatus::Kind::Missing : ListLoadStatus::Kind::Unreadable;
        status.message = path.string() + ": " + ErrnoText(err);
        return status;
    }
    FileSource source(fd.get());
    ArchiveReader in(source, size);
    ListReadResult read;
    ReadRecords(in, read, [&](HostEntry&& e) {
        if (status.added.empty()) {
            // As many as the header says, as far as the file's size can hold them.
            const size_t expected = std::min<size_t>(static_cast<size_t>(*read.count),
                                                     in.Remaining() / kRecordHeadSize + 1);
            status.added.reserve(expected);
            hosts.Reserve(static_cast<size_t>(hosts.GetHostCount()) + expected);
        }
        const uint32_t address = e.m_dwAddress;
        if (MergeEntry(std::move(e), hosts)) status.added.push_back(address);
    });
    if (read.fault == ListFault::Unreadable) {
        // A file that cannot be read through leaves the table as it was.
        for (const uint32_t address : status.added) hosts.RemoveHost(address);
        status = {};
        status.kind = ListLoadStatus::Kind::Unreadable;
        status.message = path.string() + ": " + read.error;
        return status;
    }
    status.interval = read.interval;
    if (read.ok()) return status;
    status.kind = ListLoadStatus::Kind::Damaged;
    // Paths run long: the reason gets a line of its own.
    status.message = path.string() + ":\n" + DescribeListFault(read);
    if (keepDamaged) KeepDamagedCopy(path, status);
    return status;
}

}  // namespace

ListLoadStatus ReadDefaultList(const std::filesystem::path& path, HostTable& hosts) {
    return LoadInto(path, hosts, true);
}

ListLoadStatus ImportListFile(const std::filesystem::path& path, HostTable& hosts) {
    return LoadInto(path, hosts, false);
}

bool WriteDefaultList(const std::filesystem::path& path, uint32_t interval, const HostTable& hosts,
                      std::string& message) {
    return WriteFileAtomically(path, SerializeHostTable(interval, hosts), message);
}

}  // namespace sondrel
