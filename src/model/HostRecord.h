#pragma once
// One monitored host: its name, its running statistics and its recent history.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/ShortText.h"

namespace sondrel {

// A host's history lines not yet moved to its file. At rest most hosts have none, so the
// lines sit behind one pointer, allocated by the first line and freed by clear().
class HistoryLines {
public:
    using Lines = std::vector<std::string>;
    HistoryLines() = default;
    HistoryLines(std::initializer_list<std::string> lines) : HistoryLines(Lines(lines)) {}
    HistoryLines(Lines lines);  // NOLINT: a vector of lines converts
    HistoryLines(const HistoryLines& other) : HistoryLines(other.Get()) {}
    HistoryLines(HistoryLines&&) noexcept = default;
    HistoryLines& operator=(const HistoryLines& other);
    HistoryLines& operator=(HistoryLines&&) noexcept = default;

    const Lines& Get() const;
    operator const Lines&() const { return Get(); }  // NOLINT: reads like the vector
    size_t size() const { return lines_ ? lines_->size() : 0; }
    bool empty() const { return size() == 0; }
    const std::string& operator[](size_t i) const { return (*lines_)[i]; }
    const std::string& at(size_t i) const { return Get().at(i); }
    const std::string& back() const { return lines_->back(); }
    Lines::const_iterator begin() const { return Get().begin(); }
    Lines::const_iterator end() const { return Get().end(); }
    void push_back(std::string line);
    void clear() { lines_.reset(); }

    friend bool operator==(const HistoryLines& a, const HistoryLines& b) {
        return a.Get() == b.Get();
    }
    friend bool operator==(const HistoryLines& a, const Lines& b) { return a.Get() == b; }

private:
    std::unique_ptr<Lines> lines_;
};

struct HostRecord {
    // Name the user typed when m_bNamed is set; otherwise whatever the details window stored.
    ShortText m_strName;
    // Recent history, two lines per event (time stamp, event), each ending in '\n'.
    HistoryLines m_history;
    // Non-zero: answered (or new) since the last timeout pass; zero: an answer is outstanding.
    int8_t m_bReplied = 1;
    // Non-zero when the host was entered by name: m_strName is then its display text.
    int8_t m_bNamed = 0;
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
