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

// A host's history lines not yet moved to its file. Replies come by the ten thousand a
// second and at rest most hosts hold none, so the lines are encoded into one heap block,
// allocated by the first line and freed by clear(): a time stamp line as its fields, an
// echo reply as its three numbers, the fixed event texts as one byte, anything else as its
// length and bytes. Every line reads back exactly as it went in.
class HistoryLines {
public:
    using Lines = std::vector<std::string>;
    HistoryLines() = default;
    HistoryLines(std::initializer_list<std::string> lines) : HistoryLines(Lines(lines)) {}
    HistoryLines(const Lines& lines);  // NOLINT: a vector of lines converts
    HistoryLines(const HistoryLines& other);
    HistoryLines(HistoryLines&&) noexcept = default;
    HistoryLines& operator=(const HistoryLines& other);
    HistoryLines& operator=(HistoryLines&&) noexcept = default;

    // All lines, decoded.
    Lines ToVector() const;
    size_t size() const;
    bool empty() const { return size() == 0; }
    // One line, decoded from the first on: for the odd look, not for loops.
    std::string operator[](size_t i) const;
    std::string at(size_t i) const;
    std::string back() const { return (*this)[size() - 1]; }
    void push_back(std::string_view line);
    // The two lines of one event, encoded as they come: the stamp line and text + '\n'.
    void AppendEvent(std::string_view stampLine, std::string_view eventText);
    void clear() { block_.reset(); }
    // Heap bytes held, header included.
    size_t HeapBytes() const;

    friend bool operator==(const HistoryLines& a, const HistoryLines& b);
    friend bool operator==(const HistoryLines& a, const Lines& b) { return a.ToVector() == b; }

private:
    struct Block;
    struct Free {
        void operator()(Block* block) const;
    };
    void Encode(std::string_view body, bool newline);
    uint8_t* Extend(size_t bytes);

    std::unique_ptr<Block, Free> block_;
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
    int32_t m_nMinTime = -1;    // ms, -1: none yet
    int32_t m_nMaxTime = -1;    // ms, -1: none yet
    int32_t m_nAvgTime = 0;     // ms, running mean
    int32_t m_nLastRttUs = -1;  // the latest echo's round trip to the microsecond, -1: none
    uint32_t m_nSlot = 0;       // place in the address array while listed (send times)
    // The row the host's text was last found at: a guess, checked before it is believed, that
    // spares each reply a search through a million rows.
    int32_t m_nRow = -1;

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
