#pragma once
// The rows of the main list: one per host, kept in row order (display texts compared without
// regard to ASCII letter case, ties by bytes). A row is found by its text in O(1): the first
// row, from the top, whose whole text equals the text sought, ignoring letter case. A round
// of ten thousand hosts brings ten thousand replies, each looking its row up.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/ReplyRules.h"

namespace sondrel {

struct ListRow {
    std::string text;       // column 0: the host's display text
    ResultColumns results;  // columns 1..3
    uint32_t address = 0;   // the host the row was made for
};

class RowStore {
public:
    static constexpr int kNoRow = -1;

    // Puts the row where the order wants it (after rows of an equal text) and returns its
    // index.
    size_t Insert(ListRow row);
    // The index Insert would give a row of this text.
    size_t InsertionPoint(std::string_view text) const;
    // Index of the first row whose text matches ignoring case, or kNoRow.
    int Find(std::string_view text) const;
    void Erase(size_t index);
    void Clear();

    size_t Size() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }
    const ListRow& At(size_t index) const { return rows_[index]->row; }
    ListRow& At(size_t index) { return rows_[index]->row; }
    // Column text: 0 text, 1 ttl, 2 time, 3 bytes; empty for any other column.
    const std::string& Column(size_t index, int column) const;

private:
    struct Slot {
        ListRow row;
        size_t index;  // position in rows_, kept current on every insert and erase
    };
    // Texts hashed and compared ignoring ASCII letter case, looked up by string_view.
    struct FoldedHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const;
    };
    struct FoldedEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    void Renumber(size_t from);

    std::vector<std::unique_ptr<Slot>> rows_;
    // For each text (ignoring case), the first row that shows it.
    std::unordered_map<std::string, Slot*, FoldedHash, FoldedEqual> first_;
};

}  // namespace sondrel
