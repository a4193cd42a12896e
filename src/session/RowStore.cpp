#include "session/RowStore.h"

#include "model/HostRecord.h"

namespace sondrel {

size_t RowStore::FoldedHash::operator()(std::string_view text) const {
    // FNV-1a over the lower-cased bytes.
    uint64_t h = 1469598103934665603ull;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u + ('a' - 'A'));
        h = (h ^ u) * 1099511628211ull;
    }
    return static_cast<size_t>(h);
}

bool RowStore::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
    return RowTextMatches(a, b);
}

size_t RowStore::InsertionPoint(std::string_view text) const {
    size_t lo = 0;
    size_t hi = rows_.size();
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (CompareRowText(text, rows_[mid]->row.text) < 0) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

void RowStore::Renumber(size_t from) {
    for (size_t i = from; i < rows_.size(); ++i) rows_[i]->index = i;
}

size_t RowStore::Insert(ListRow row) {
    const size_t index = InsertionPoint(row.text);
    auto slot = std::make_unique<Slot>(Slot{std::move(row), index});
    Slot* raw = slot.get();
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), std::move(slot));
    Renumber(index + 1);
    auto it = first_.find(std::string_view(raw->row.text));
    if (it == first_.end()) {
        first_.emplace(raw->row.text, raw);
    } else if (raw->index < it->second->index) {
        it->second = raw;
    }
    return index;
}

int RowStore::Find(std::string_view text) const {
    auto it = first_.find(text);
    return it == first_.end() ? kNoRow : static_cast<int>(it->second->index);
}

void RowStore::Erase(size_t index) {
    if (index >= rows_.size()) return;
    Slot* gone = rows_[index].get();
    auto it = first_.find(std::string_view(gone->row.text));
    if (it != first_.end() && it->second == gone) {
        // Rows equal ignoring case are neighbours: the next one, if any, becomes the first.
        if (index + 1 < rows_.size() &&
            RowTextMatches(rows_[index + 1]->row.text, gone->row.text)) {
            it->second = rows_[index + 1].get();
        } else {
            first_.erase(it);
        }
    }
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    Renumber(index);
}

void RowStore::Clear() {
    first_.clear();
    rows_.clear();
}

const std::string& RowStore::Column(size_t index, int column) const {
    static const std::string kEmpty;
    const ListRow& row = At(index);
    switch (column) {
        case 0:
            return row.text;
        case 1:
            return row.results.ttl;
        case 2:
            return row.results.time;
        case 3:
            return row.results.bytes;
        default:
            return kEmpty;
    }
}

}  // namespace sondrel
