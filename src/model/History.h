#pragma once
// Per-host history: two lines per event (time stamp, event text), kept in the record and
// moved to a file of the host's own while the program is idle.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/HostRecord.h"
#include "model/HostTable.h"

namespace sondrel {

// Event texts (without their newline).
inline constexpr std::string_view kEventAdded = "added to list.";
inline constexpr std::string_view kEventRebuilt = "add to list.";
inline constexpr std::string_view kEventTimeout = "request timeout.";
inline constexpr std::string_view kEventRemoved = "removed from list.";

// "Www Mmm DD hh:mm:ss YYYY\n": English names whatever the locale, day with a leading zero.
std::string FormatTimeStamp(const std::tm& local);
// The time stamp line of the current local time.
std::string TimeStampNow();
// A line without its trailing CR/LF characters (log rows show lines this way).
std::string_view WithoutLineEnd(std::string_view line);

// Appends the two lines of one event: the stamp line as given and the text plus '\n'.
void AppendHistoryEvent(std::vector<std::string>& history, std::string_view stampLine,
                        std::string_view eventText);

using HistoryRow = std::pair<std::string, std::string>;  // time stamp, event, no line ends
// Lines taken in pairs; an odd last line is left out.
std::vector<HistoryRow> PairHistoryLines(const std::vector<std::string>& lines);

// Writes a host's lines to its history file; false when that failed (lines stay in memory).
using HistoryWriter = std::function<bool(uint32_t address, const std::vector<std::string>& lines)>;

// One idle flush step over the table (flushPass is the pass flag, kept by the caller).
// Not in a pass: only the first host in table order is looked at; with more than 100 lines
// it starts a pass and is flushed. In a pass: the first host with at least 100 lines is
// flushed; none ends the pass. Returns true when a host was flushed (call again), false when
// idle work may stop. A write that fails keeps the lines, ends the pass and returns false.
bool FlushStep(HostTable& hosts, bool& flushPass, const HistoryWriter& write);

// History files: one per host, named by its dotted address, in a private folder given by
// the caller. Opened without following links; lines end with LF; readers accept CR LF.
class HistoryFiles {
public:
    explicit HistoryFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

    std::filesystem::path PathOf(uint32_t address) const;
    // Appends the lines (each already ending in '\n'), creating the file if needed.
    // On failure nothing is left half-written and false is returned.
    bool Append(uint32_t address, const std::vector<std::string>& lines) const;
    // The file's lines in pairs; no file means no rows.
    std::vector<HistoryRow> Read(uint32_t address) const;
    // Deletes the file; a missing file is no error.
    void Delete(uint32_t address) const;
    // A writer for FlushStep.
    HistoryWriter Writer() const;

    const std::filesystem::path& Folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

// Reads a history file's rows (pairs of lines; CR LF accepted; odd last line left out).
std::vector<HistoryRow> ReadHistoryRows(const std::filesystem::path& path);

}  // namespace sondrel
