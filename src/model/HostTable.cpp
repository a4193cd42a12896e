#include "model/HostTable.h"

#include <algorithm>

#include "platform/AddressText.h"

namespace sondrel {

uint32_t HostTable::BucketOf(uint32_t address) { return (AddressKey(address) >> 4) % kBucketCount; }

size_t HostTable::SlotOf(uint32_t address) const {
    // Fibonacci hashing: neighbouring addresses (a /24, a range) spread over the whole array.
    const uint64_t mixed = static_cast<uint64_t>(address) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(mixed >> 32) & (index_.size() - 1);
}

int32_t HostTable::FindEntry(uint32_t address) const {
    if (index_.empty()) return -1;
    const size_t mask = index_.size() - 1;
    for (size_t s = SlotOf(address);; s = (s + 1) & mask) {
        const int32_t e = index_[s];
        if (e < 0 || entries_[e].address == address) return e;
    }
}

void HostTable::IndexInsert(int32_t entry) {
    if (2 * (count_ + 1) > index_.size()) IndexGrow(std::max<size_t>(16, 2 * index_.size()));
    const size_t mask = index_.size() - 1;
    size_t s = SlotOf(entries_[entry].address);
    while (index_[s] >= 0) s = (s + 1) & mask;
    index_[s] = entry;
}

void HostTable::Reserve(size_t count) {
    size_t size = std::max<size_t>(16, index_.size());
    while (size < 2 * count) size *= 2;
    if (size > index_.size()) IndexGrow(size);
}

void HostTable::IndexGrow(size_t size) {
    std::vector<int32_t> old(size, -1);
    old.swap(index_);
    const size_t mask = index_.size() - 1;
    for (const int32_t e : old) {
        if (e < 0) continue;
        size_t s = SlotOf(entries_[e].address);
        while (index_[s] >= 0) s = (s + 1) & mask;
        index_[s] = e;
    }
}

// Backward-shift deletion: later members of the probe run move up into the hole, so no
// tombstones pile up under long add/remove churn.
void HostTable::IndexErase(uint32_t address) {
    const size_t mask = index_.size() - 1;
    size_t hole = SlotOf(address);
    while (entries_[index_[hole]].address != address) hole = (hole + 1) & mask;
    for (size_t s = (hole + 1) & mask; index_[s] >= 0; s = (s + 1) & mask) {
        const size_t home = SlotOf(entries_[index_[s]].address);
        // Move the entry up when its home does not lie cyclically in (hole, s].
        if (((s - home) & mask) >= ((s - hole) & mask)) {
            index_[hole] = index_[s];
            hole = s;
        }
    }
    index_[hole] = -1;
}

HostRecord* HostTable::FindHost(uint32_t address) {
    const int32_t e = FindEntry(address);
    return e < 0 ? nullptr : &entries_[e].record;
}

const HostRecord* HostTable::FindHost(uint32_t address) const {
    const int32_t e = FindEntry(address);
    return e < 0 ? nullptr : &entries_[e].record;
}

HostRecord& HostTable::HostAt(uint32_t address) {
    if (HostRecord* found = FindHost(address)) return *found;
    if (!buckets_) {
        buckets_ = std::make_unique<int32_t[]>(kBucketCount);
        for (uint32_t b = 0; b < kBucketCount; ++b) buckets_[b] = -1;
    }
    int32_t e;
    if (free_ >= 0) {
        e = free_;
        free_ = entries_[e].next;
    } else {
        e = static_cast<int32_t>(entries_.size());
        entries_.emplace_back();
    }
    if (nextLink_ == UINT32_MAX) RenumberLinks();
    Entry& entry = entries_[e];
    entry.address = address;
    entry.linked = nextLink_++;
    entry.record = HostRecord{};
    int32_t& head = buckets_[BucketOf(address)];
    entry.next = head;
    entry.prev = -1;
    if (head >= 0) entries_[head].prev = e;
    head = e;
    IndexInsert(e);
    ++count_;
    return entry.record;
}

bool HostTable::RemoveHost(uint32_t address) {
    const int32_t e = FindEntry(address);
    if (e < 0) return false;
    IndexErase(address);
    Entry& entry = entries_[e];
    (entry.prev >= 0 ? entries_[entry.prev].next : buckets_[BucketOf(address)]) = entry.next;
    if (entry.next >= 0) entries_[entry.next].prev = entry.prev;
    entry.record = HostRecord{};  // the history goes now, not when the slot is reused
    entry.prev = kFreeEntry;
    entry.next = free_;
    free_ = e;
    if (--count_ == 0) Release();
    return true;
}

void HostTable::RemoveAllHosts() { Release(); }

void HostTable::Release() {
    entries_.clear();
    entries_.shrink_to_fit();
    buckets_.reset();
    index_.clear();
    index_.shrink_to_fit();
    free_ = -1;
    count_ = 0;
    nextLink_ = 0;
}

// Four billion links in one run: the numbers start again from the bottom, in chain order.
void HostTable::RenumberLinks() {
    std::vector<int32_t> order;
    order.reserve(count_);
    for (int32_t e = FirstEntry(); e >= 0; e = NextEntry(e)) order.push_back(e);
    nextLink_ = 0;
    for (auto e = order.rbegin(); e != order.rend(); ++e) entries_[*e].linked = nextLink_++;
}

void HostTable::SortInTableOrder(std::vector<uint32_t>& addresses) const {
    struct Key {
        uint32_t bucket;
        uint32_t linked;
        uint32_t address;
    };
    std::vector<Key> keys;
    keys.reserve(addresses.size());
    for (const uint32_t address : addresses) {
        const int32_t e = FindEntry(address);
        if (e >= 0) keys.push_back({BucketOf(address), entries_[e].linked, address});
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return a.bucket != b.bucket ? a.bucket < b.bucket : a.linked > b.linked;
    });
    addresses.clear();
    for (const Key& key : keys) addresses.push_back(key.address);
}

int32_t HostTable::FirstEntry() const {
    if (!buckets_) return -1;
    for (uint32_t b = 0; b < kBucketCount; ++b) {
        if (buckets_[b] >= 0) return buckets_[b];
    }
    return -1;
}

int32_t HostTable::NextEntry(int32_t entry) const {
    const Entry& current = entries_[entry];
    if (current.next >= 0) return current.next;
    for (uint32_t b = BucketOf(current.address) + 1; b < kBucketCount; ++b) {
        if (buckets_[b] >= 0) return buckets_[b];
    }
    return -1;
}

HostTable::Position HostTable::FirstHostPosition() const { return Position{FirstEntry()}; }

void HostTable::NextHost(Position& pos, uint32_t& address, HostRecord*& record) {
    Entry& entry = entries_[pos.entry];
    address = entry.address;
    record = &entry.record;
    pos.entry = NextEntry(pos.entry);
}

HostTable::Item HostTable::Iterator::operator*() const {
    Entry& entry = table_->entries_[entry_];
    return Item{entry.address, entry.record};
}

HostTable::Iterator& HostTable::Iterator::operator++() {
    entry_ = table_->NextEntry(entry_);
    return *this;
}

HostTable::Iterator HostTable::begin() { return Iterator(this, FirstEntry()); }

void HostTable::ForEachHost(const std::function<void(uint32_t, const HostRecord&)>& visit) const {
    for (int32_t e = FirstEntry(); e >= 0; e = NextEntry(e))
        visit(entries_[e].address, entries_[e].record);
}

std::vector<uint32_t> HostTable::Addresses() const {
    std::vector<uint32_t> out;
    out.reserve(count_);
    for (int32_t e = FirstEntry(); e >= 0; e = NextEntry(e)) out.push_back(entries_[e].address);
    return out;
}

HostRecord* HostTable::FirstHost() {
    const int32_t e = FirstEntry();
    return e < 0 ? nullptr : &entries_[e].record;
}

}  // namespace sondrel
