#include "session/SampleRings.h"

#include <algorithm>

namespace sondrel {

namespace {
constexpr size_t kFirstLength = 64;
size_t BytesOf(size_t samples) { return samples * sizeof(Sample); }
}  // namespace

SampleRings::SampleRings(size_t budgetBytes, size_t length)
    : budget_(budgetBytes), length_(std::max<size_t>(length, 1)) {}

bool SampleRings::Grow(Ring& ring) {
    const size_t now = ring.samples.capacity();
    const size_t wanted = std::min(length_, std::max(kFirstLength, now * 2));
    if (wanted <= now || used_ - BytesOf(now) + BytesOf(wanted) > budget_) return false;
    ring.samples.reserve(wanted);
    used_ += BytesOf(ring.samples.capacity()) - BytesOf(now);
    return true;
}

void SampleRings::Add(uint32_t host, const Sample& sample) {
    if (budget_ == 0) return;
    auto found = rings_.find(host);
    if (found == rings_.end()) {
        if (used_ + BytesOf(kFirstLength) > budget_) return;
        found = rings_.emplace(host, Ring{}).first;
    }
    Ring& ring = found->second;
    if (!ring.full && ring.samples.size() == ring.samples.capacity() && !Grow(ring)) {
        ring.full = !ring.samples.empty();
        if (!ring.full) {
            rings_.erase(found);
            return;
        }
    }
    if (!ring.full) {
        ring.samples.push_back(sample);
        ring.full = ring.samples.size() == length_;
        return;
    }
    ring.samples[ring.next] = sample;
    ring.next = (ring.next + 1) % ring.samples.size();
}

std::vector<Sample> SampleRings::Of(uint32_t host) const {
    const auto found = rings_.find(host);
    if (found == rings_.end()) return {};
    const Ring& ring = found->second;
    std::vector<Sample> out(ring.samples.begin() + static_cast<std::ptrdiff_t>(ring.next),
                            ring.samples.end());
    out.insert(out.end(), ring.samples.begin(),
               ring.samples.begin() + static_cast<std::ptrdiff_t>(ring.next));
    return out;
}

void SampleRings::Remove(uint32_t host) {
    const auto found = rings_.find(host);
    if (found == rings_.end()) return;
    used_ -= BytesOf(found->second.samples.capacity());
    rings_.erase(found);
}

void SampleRings::Clear() {
    rings_.clear();
    used_ = 0;
}

}  // namespace sondrel
