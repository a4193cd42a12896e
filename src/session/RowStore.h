#pragma once
// The rows of the main list: one per host, kept in row order (display texts compared without
// regard to ASCII letter case, ties by bytes). A row is found by its text: the first row, from
// the top, whose whole text equals the text sought, ignoring case. Rows equal ignoring case
// are neighbours in this order, so a binary search finds it without an index beside the rows,
// and inserting or removing a row renumbers nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/ReplyRules.h"
#include "model/ShortText.h"

namespace sondrel {

struct ListRow {
    ShortText text;        // column 0: the host's display text
    RowResults results;    // columns 1..3
    uint32_t address = 0;  // the host the row was made for
};

class RowStore {
public:
    static constexpr int kNoRow = -1;

    // Puts the row where the order wants it (after rows of an equal text) and returns its
    // index.
    size_t Insert(ListRow row);
    // Inserts many rows at once, each placed as Insert would have placed it, in the order
    // given: sorted once and merged, however many there are.
    void InsertMany(std::vector<ListRow> rows);
    // The index Insert would give a row of this text.
    size_t InsertionPoint(std::string_view text) const;
    // Index of the first row whose text matches ignoring case, or kNoRow.
    int Find(std::string_view text) const;
    // Whether Find(text) would give `index`: two comparisons instead of a search.
    bool FoundAt(size_t index, std::string_view text) const;
    void Erase(size_t index);
    void Clear();

    size_t Size() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }
    const ListRow& At(size_t index) const { return rows_[index]; }
    ListRow& At(size_t index) { return rows_[index]; }
    // Column text: 0 text, 1 ttl, 2 time, 3 bytes; empty for any other column.
    std::string Column(size_t index, int column) const;

private:
    std::vector<ListRow> rows_;
};

}  // namespace sondrel
