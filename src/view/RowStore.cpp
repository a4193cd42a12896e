#include "view/RowStore.h"

#include <algorithm>

#include "model/HostRecord.h"

namespace sondrel {

size_t RowStore::InsertionPoint(std::string_view text) const {
    auto at = std::upper_bound(rows_.begin(), rows_.end(), text, [](std::string_view t, const ListRow& r) {
        return CompareRowText(t, r.text) < 0;
    });
    return static_cast<size_t>(at - rows_.begin());
}

size_t RowStore::Insert(ListRow row) {
    size_t index = InsertionPoint(row.text);
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
    return index;
}

int RowStore::Find(std::string_view text) const {
    // Rows equal to the text ignoring case are neighbours in row order, so the first of them
    // ends the run of rows that come before it in that order.
    auto at = std::partition_point(rows_.begin(), rows_.end(), [text](const ListRow& r) {
        return CompareRowText(r.text, text) < 0 && !RowTextMatches(r.text, text);
    });
    if (at == rows_.end() || !RowTextMatches(at->text, text)) return kNoRow;
    return static_cast<int>(at - rows_.begin());
}

void RowStore::Erase(size_t index) {
    if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

const std::string& RowStore::Column(size_t index, int column) const {
    static const std::string kEmpty;
    const ListRow& row = rows_[index];
    switch (column) {
    case 0: return row.text;
    case 1: return row.results.ttl;
    case 2: return row.results.time;
    case 3: return row.results.bytes;
    default: return kEmpty;
    }
}

}  // namespace sondrel
