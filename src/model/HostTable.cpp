#include "model/HostTable.h"

#include "model/AddressText.h"

namespace sondrel {

uint32_t HostTable::BucketOf(uint32_t address) { return (AddressKey(address) >> 4) % kBucketCount; }

int32_t HostTable::FindEntry(uint32_t address) const {
    if (!buckets_) return -1;
    for (int32_t e = buckets_[BucketOf(address)]; e >= 0; e = entries_[e].next) {
        if (entries_[e].address == address) return e;
    }
    return -1;
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
    Entry& entry = entries_[e];
    entry.address = address;
    entry.record = HostRecord{};
    int32_t& head = buckets_[BucketOf(address)];
    entry.next = head;
    head = e;
    ++count_;
    return entry.record;
}

bool HostTable::RemoveHost(uint32_t address) {
    if (!buckets_) return false;
    int32_t* link = &buckets_[BucketOf(address)];
    while (*link >= 0 && entries_[*link].address != address) link = &entries_[*link].next;
    if (*link < 0) return false;
    const int32_t e = *link;
    *link = entries_[e].next;
    entries_[e].record = HostRecord{};  // the history goes now, not when the slot is reused
    entries_[e].next = free_;
    free_ = e;
    if (--count_ == 0) Release();
    return true;
}

void HostTable::RemoveAllHosts() { Release(); }

void HostTable::Release() {
    entries_.clear();
    entries_.shrink_to_fit();
    buckets_.reset();
    free_ = -1;
    count_ = 0;
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
