#pragma once
// Per-host history: two lines per event (time stamp, event text), kept in the record and
// moved to a file of the host's own while the program is idle.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/EventText.h"
#include "model/HostRecord.h"
#include "model/HostTable.h"

namespace sondrel {

// The time stamp line of the current local time.
std::string TimeStampNow();
// A line without its trailing CR/LF characters (log rows show lines this way).
std::string_view WithoutLineEnd(std::string_view line);

// Appends the two lines of one event: the stamp line as given and the text plus '\n'.
void AppendHistoryEvent(std::vector<std::string>& history, std::string_view stampLine,
                        std::string_view eventText);
void AppendHistoryEvent(HistoryLines& history, std::string_view stampLine,
                        std::string_view eventText);

using HistoryRow = std::pair<std::string, std::string>;  // time stamp, event, no line ends
// Lines taken in pairs; an odd last line is left out.
std::vector<HistoryRow> PairHistoryLines(const std::vector<std::string>& lines);

// Takes a host's lines away to be kept elsewhere (its history file, or memory meanwhile).
using HistoryWriter = std::function<void(uint32_t address, const std::vector<std::string>& lines)>;

// The hosts of one flush pass, in table order as the pass began, and the next to look at.
// Walking a list taken once per pass keeps each step short however long the table is, and
// hosts removed meanwhile are simply passed over.
struct FlushPass {
    std::vector<uint32_t> lap;
    size_t next = 0;
    bool Active() const { return next < lap.size(); }
};

// One idle flush step over the table. Not in a pass: only the first host in table order is
// looked at; with more than 100 lines it starts a pass and is flushed. In a pass: the next
// host of the pass with at least 100 lines is flushed; none left ends the pass. Returns true
// when a host was flushed (call again), false when idle work may stop.
bool FlushStep(HostTable& hosts, FlushPass& pass, const HistoryWriter& write);

// The smaller of 256 MB and a tenth of the file system holding the history folder.
uint64_t DefaultHistoryBudget(uint64_t fileSystemBytes);

// A history (pairs of lines) cut down to its newest entries within half of limit bytes,
// after an entry stamped stampLine that says older events were dropped.
std::vector<std::string> DropOldestHalf(std::span<const std::string> lines, uint64_t limit,
                                        std::string_view stampLine);

// A history file's name: the dotted address as DottedQuad writes it, or that with ".new"
// (a replacement being written).
bool IsHistoryFileName(std::string_view name);

struct HistoryLimits {
    uint64_t budget = 0;  // bytes for all files together; 0: DefaultHistoryBudget
    std::function<std::chrono::steady_clock::time_point()> clock;  // null: the steady clock
};

// History files: one per host, named by its dotted address, in a private folder given by
// the caller. Opened without following links; lines end with LF; readers accept CR LF.
//
// The folder has a budget shared equally by the hosts. A file that would pass its share
// keeps only its newest half, behind an entry saying so. When the folder cannot be written,
// lines wait in memory, capped the same way, and writing is tried again once a minute.
class HistoryFiles {
public:
    static constexpr std::chrono::minutes kRetryPeriod{1};

    explicit HistoryFiles(std::filesystem::path folder, HistoryLimits limits = {});

    std::filesystem::path PathOf(uint32_t address) const;
    // Removes the files an earlier run left behind: entries named like history files that
    // are files or links (never followed); nothing else.
    void RemoveLeftovers() const;
    // Keeps lines in memory from now on, until a retry finds the folder writable.
    void Fail(std::string why);
    bool Failing() const { return !failure_.empty(); }
    const std::string& Failure() const { return failure_; }
    // The share of each host follows the number of hosts.
    void SetHostCount(size_t count) { hostCount_ = count == 0 ? 1 : count; }
    uint64_t Share() const { return budget_ / hostCount_; }

    // Appends the lines (each already ending in '\n'), after any lines kept in memory for
    // the host, creating the file if needed. False when they went to memory instead; no
    // file is left half-written.
    bool Append(uint32_t address, const std::vector<std::string>& lines);
    // The file's rows, then those waiting in memory; no file means no older rows.
    std::vector<HistoryRow> Read(uint32_t address) const;
    // Forgets the host: its file (one this object wrote) and its lines in memory.
    void Delete(uint32_t address) const;
    // Forgets every host at once. At tens of thousands of hosts the files go by name within
    // the open folder, not each by its whole path: that halves what closing the window costs.
    void DeleteAll() const;
    // A writer for FlushStep; the object must outlive it.
    HistoryWriter Writer();

    const std::filesystem::path& Folder() const { return folder_; }

private:
    struct Host {
        bool hasFile = false;
        uint64_t fileBytes = 0;
        std::vector<std::string> waiting;  // lines not yet in the file, oldest first
        uint64_t waitingBytes = 0;
    };
    std::chrono::steady_clock::time_point Now() const;
    bool RetryNow();
    bool Write(uint32_t address, Host& host, const std::vector<std::string>& lines);
    bool Replace(uint32_t address, Host& host, const std::vector<std::string>& lines);
    void Keep(Host& host, const std::vector<std::string>& lines);

    std::filesystem::path folder_;
    HistoryLimits limits_;
    uint64_t budget_ = 0;
    size_t hostCount_ = 1;
    std::string failure_;  // empty while the folder can be written
    std::chrono::steady_clock::time_point retryAt_{};
    // Forgetting a host belongs with reading its rows to the details window, which holds
    // the object read-only.
    mutable std::unordered_map<uint32_t, Host> hosts_;
};

// A history file's lines, each ending in '\n' (CR LF read as LF); no file means no lines.
std::vector<std::string> ReadHistoryLines(const std::filesystem::path& path);

}  // namespace sondrel
