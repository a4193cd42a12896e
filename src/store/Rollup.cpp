#include "store/Rollup.h"

#include <algorithm>
#include <numeric>

namespace sondrel {

MinuteSummary Summarise(std::vector<int32_t>& rtts, int64_t sent) {
    MinuteSummary m;
    m.sent = sent;
    m.lost = sent - static_cast<int64_t>(rtts.size());
    if (rtts.empty()) return m;
    std::sort(rtts.begin(), rtts.end());
    const size_t n = rtts.size();
    m.min = rtts.front();
    m.max = rtts.back();
    m.median = n % 2 ? int64_t{rtts[n / 2]} : (int64_t{rtts[n / 2 - 1]} + rtts[n / 2]) / 2;
    m.mean = std::accumulate(rtts.begin(), rtts.end(), int64_t{0}) / static_cast<int64_t>(n);
    return m;
}

}  // namespace sondrel
