#pragma once
// One monitored host: its name, its running statistics and its recent history.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

struct HostRecord {
    // Name the user typed when m_bNamed is set; otherwise whatever the details window stored.
    std::string m_strName;
    // Recent history, two lines per event (time stamp, event), each ending in '\n'.
    std::vector<std::string> m_history;
    // Non-zero: answered (or new) since the last timeout pass; zero: an answer is outstanding.
    int32_t m_bReplied = 1;
    // Non-zero when the host was entered by name: m_strName is then its display text.
    int32_t m_bNamed = 0;
    int32_t m_nSent = 0;
    int32_t m_nReceived = 0;
    int32_t m_nMinTime = -1;  // ms, -1: none yet
    int32_t m_nMaxTime = -1;  // ms, -1: none yet
    int32_t m_nAvgTime = 0;   // ms, running mean

    bool operator==(const HostRecord&) const = default;
};

// Element of the document's host array: an address (network byte order) and its record.
struct HostEntry {
    uint32_t m_dwAddress = 0;
    HostRecord m_record;

    bool operator==(const HostEntry&) const = default;
};

// Text shown in column 0 of a host's row: the name for named hosts, else the dotted quad.
std::string DisplayText(uint32_t address, const HostRecord& record);

// Order of the list rows: texts compared without regard to ASCII letter case, ties broken by
// the bytes themselves so that the order is total. Negative, zero or positive like strcmp.
int CompareRowText(std::string_view a, std::string_view b);
// The first key of that order alone: equal for texts that differ only in letter case.
int CompareRowTextIgnoringCase(std::string_view a, std::string_view b);

// The row search: whole texts equal when ASCII letter case is ignored.
bool RowTextMatches(std::string_view a, std::string_view b);

}  // namespace sondrel
