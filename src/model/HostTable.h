#pragma once
// The host table: a chained hash table from address to HostRecord with 1031 buckets and
// head insertion. Every walk over it (saving, rounds, timeout pass, idle flushing) uses the
// table order: buckets 0..1030, within a bucket the most recently added entry first.
// References to records stay valid until that record is removed.
//
// Beside the chains sits an open-addressing index from address to entry, so finding, adding
// and removing a host cost O(1) on average however long the chains grow (a thousand hosts a
// bucket at a million hosts); the chains keep only the order.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

#include "model/HostRecord.h"

namespace sondrel {

class HostTable {
public:
    static constexpr uint32_t kBucketCount = 1031;

    // Bucket of an address (network byte order): (K >> 4) % 1031.
    static uint32_t BucketOf(uint32_t address);

    HostTable() = default;
    HostTable(const HostTable&) = delete;
    HostTable& operator=(const HostTable&) = delete;
    HostTable(HostTable&&) noexcept = default;
    HostTable& operator=(HostTable&&) noexcept = default;

    // The address's record, or nullptr. Never creates.
    HostRecord* FindHost(uint32_t address);
    const HostRecord* FindHost(uint32_t address) const;
    // The address's record, linking a fresh one at the head of its bucket when there is none.
    HostRecord& HostAt(uint32_t address);
    // Unlinks and destroys the record; false when the address was not there.
    bool RemoveHost(uint32_t address);
    void RemoveAllHosts();
    // Room for `count` hosts in the index, so that a long list grows it once.
    void Reserve(size_t count);
    int GetHostCount() const { return static_cast<int>(count_); }
    bool IsEmpty() const { return count_ == 0; }

    // Walk by position, in table order. FirstHostPosition gives the end mark on an empty
    // table; NextHost yields the entry at the position and advances it.
    struct Position {
        int32_t entry = -1;  // -1: end mark
        bool operator==(const Position&) const = default;
    };
    Position FirstHostPosition() const;
    static bool IsEnd(Position pos) { return pos.entry < 0; }
    void NextHost(Position& pos, uint32_t& address, HostRecord*& record);

    // Range-for walk in table order: for (auto [address, record] : table).
    struct Item {
        uint32_t address;
        HostRecord& record;
    };
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Item;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        Iterator(HostTable* table, int32_t entry) : table_(table), entry_(entry) {}
        Item operator*() const;
        Iterator& operator++();
        Iterator operator++(int) {
            Iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const Iterator& o) const { return entry_ == o.entry_; }

    private:
        HostTable* table_ = nullptr;
        int32_t entry_ = -1;
    };
    Iterator begin();
    Iterator end() { return Iterator(this, -1); }

    // Visits every host in table order without changing the table.
    void ForEachHost(const std::function<void(uint32_t, const HostRecord&)>& visit) const;
    // Visits every host in no particular order, for work whose order nobody sees: the
    // records are read front to back instead of chased along the chains, which at a million
    // hosts is the difference between one cache miss a host and none.
    template <class Visit>
    void ForEachUnordered(Visit&& visit) {
        for (Entry& entry : entries_)
            if (entry.prev != kFreeEntry) visit(entry.address, entry.record);
    }
    // Puts hosts of the table in table order, in O(k log k) for k of them.
    void SortInTableOrder(std::vector<uint32_t>& addresses) const;

    // Addresses in table order.
    std::vector<uint32_t> Addresses() const;
    // First host in table order, or nullptr on an empty table.
    HostRecord* FirstHost();

private:
    static constexpr int32_t kFreeEntry = -2;
    struct Entry {
        uint32_t address = 0;
        int32_t next = -1;  // next entry in the chain, or the free list
        int32_t prev = -1;  // previous entry in the chain, -1 at the bucket's head, or free
        // When the entry was linked: within a bucket the chain runs from the highest down,
        // so the table order is known without walking it.
        uint32_t linked = 0;
        HostRecord record;
    };
    void RenumberLinks();
    int32_t FirstEntry() const;
    int32_t NextEntry(int32_t entry) const;
    int32_t FindEntry(uint32_t address) const;
    void Release();

    // The index: linear probing over a power-of-two array of entry numbers (-1 empty), kept
    // at most half full.
    size_t SlotOf(uint32_t address) const;
    void IndexInsert(int32_t entry);
    void IndexErase(uint32_t address);
    void IndexGrow(size_t size);

    // Entries are pooled; a deque keeps references stable while it grows.
    std::deque<Entry> entries_;
    std::unique_ptr<int32_t[]> buckets_;  // head entry per bucket, -1 empty; null when empty
    std::vector<int32_t> index_;
    int32_t free_ = -1;
    size_t count_ = 0;
    uint32_t nextLink_ = 0;
};

}  // namespace sondrel
