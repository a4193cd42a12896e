#pragma once
// The latest samples of each host in memory, for live views that must not wait for the disk.
// All rings together stay within one budget: a ring grows with its host's samples up to its
// length, a host that finds the budget spent gets none, and a ring that cannot grow further
// goes round at the length it has.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "store/Sample.h"

namespace sondrel {

class SampleRings {
public:
    static constexpr size_t kDefaultLength = 3600;

    explicit SampleRings(size_t budgetBytes = 0, size_t length = kDefaultLength);

    void Add(uint32_t host, const Sample& sample);
    // The host's samples, oldest first; empty when it has no ring.
    std::vector<Sample> Of(uint32_t host) const;
    void Remove(uint32_t host);
    void Clear();
    size_t BytesInUse() const { return used_; }

private:
    struct Ring {
        std::vector<Sample> samples;
        size_t next = 0;  // where the next sample goes once the ring is full
        bool full = false;
    };
    bool Grow(Ring& ring);

    std::unordered_map<uint32_t, Ring> rings_;
    size_t budget_;
    size_t length_;
    size_t used_ = 0;
};

}  // namespace sondrel
