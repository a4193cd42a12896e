#include "session/RowStore.h"

#include <algorithm>

#include "model/HostRecord.h"

namespace sondrel {
namespace {

bool Before(const ListRow& a, const ListRow& b) { return CompareRowText(a.text, b.text) < 0; }

}  // namespace

size_t RowStore::InsertionPoint(std::string_view text) const {
    const auto at = std::upper_bound(
        rows_.begin(), rows_.end(), text,
        [](std::string_view t, const ListRow& row) { return CompareRowText(t, row.text) < 0; });
    return static_cast<size_t>(at - rows_.begin());
}

size_t RowStore::Insert(ListRow row) {
    const size_t index = InsertionPoint(row.text);
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
    return index;
}

void RowStore::InsertMany(std::vector<ListRow> rows) {
    // A stable sort keeps equal texts in the order given, and the merge puts the rows already
    // there before new ones of an equal text: the order one Insert after another would give.
    std::stable_sort(rows.begin(), rows.end(), Before);
    if (rows_.empty()) {
        // A list loaded into an empty window: no second copy of a million rows to merge into.
        rows_ = std::move(rows);
        return;
    }
    std::vector<ListRow> merged;
    merged.reserve(rows_.size() + rows.size());
    std::merge(std::make_move_iterator(rows_.begin()), std::make_move_iterator(rows_.end()),
               std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()),
               std::back_inserter(merged), Before);
    rows_ = std::move(merged);
}

int RowStore::Find(std::string_view text) const {
    const auto at = std::lower_bound(rows_.begin(), rows_.end(), text,
                                     [](const ListRow& row, std::string_view t) {
                                         return CompareRowTextIgnoringCase(row.text, t) < 0;
                                     });
    if (at == rows_.end() || !RowTextMatches(at->text, text)) return kNoRow;
    return static_cast<int>(at - rows_.begin());
}

bool RowStore::FoundAt(size_t index, std::string_view text) const {
    // Rows equal ignoring case are neighbours: the first of them is the one above which
    // none matches.
    if (index >= rows_.size() || !RowTextMatches(rows_[index].text, text)) return false;
    return index == 0 || !RowTextMatches(rows_[index - 1].text, text);
}

void RowStore::Erase(size_t index) {
    if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

void RowStore::Clear() {
    rows_.clear();
    rows_.shrink_to_fit();
}

std::string RowStore::Column(size_t index, int column) const {
    const ListRow& row = At(index);
    if (column == 0) return row.text;
    if (column < 1 || column > 3) return {};
    const ResultColumns texts = row.results.Texts();
    return column == 1 ? texts.ttl : (column == 2 ? texts.time : texts.bytes);
}

}  // namespace sondrel
