// Times given to sondrel --export: any text either parses or is refused, and what parses as
// a date in years 0000 to 9999 reads back the same once written out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "store/Export.h"

namespace {

constexpr int64_t kNow = 1'796'655'845'123;
constexpr int64_t kYear0 = -62'167'219'200'000;      // 0000-01-01T00:00:00Z
constexpr int64_t kYear10000 = 253'402'300'800'000;  // 10000-01-01T00:00:00Z

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<int64_t> ms = sondrel::ParseExportTime(text, kNow);
    if (!ms) return 0;
    if (!text.empty() && text[0] == '-') {
        if (*ms > kNow) std::abort();
        return 0;
    }
    if (*ms < kYear0 || *ms >= kYear10000) return 0;
    const std::string written = sondrel::FormatUtcMs(*ms);
    if (sondrel::ParseExportTime(written, kNow) != ms) std::abort();
    return 0;
}
