#pragma once
// Reading a page-level refresh order out of the first bytes of a fetched page.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

// A page is read in chunks of at most kPageReadChunk bytes, and reading stops once more than
// kPageReadStopAbove bytes have arrived: only the first two full chunks are ever looked at.
inline constexpr std::size_t kPageReadChunk = 1023;
inline constexpr std::size_t kPageReadStopAbove = 1024;

// How many bytes of a body of bodySize bytes are examined when every read fills its chunk.
constexpr std::size_t ExaminedPageBytes(std::size_t bodySize) {
    std::size_t total = 0;
    while (total < bodySize) {
        const std::size_t read =
            bodySize - total < kPageReadChunk ? bodySize - total : kPageReadChunk;
        total += read;
        if (total > kPageReadStopAbove) {
            break;
        }
    }
    return total;
}
inline constexpr std::size_t kPageExaminedMax = ExaminedPageBytes(static_cast<std::size_t>(-1));

// The page turned to lower case byte by byte (ASCII letters only; other bytes unchanged).
std::string LowerPage(std::string_view page);

// The address a page orders the visitor to, when it orders one that is worth following:
// the page, lowered, must hold "http-equiv", "refresh" and "url=" (anywhere, in any order);
// the target runs from after the first "url=" to the next double quote (empty without one)
// and must contain "http://". The result is lower case. nullopt: stay where we are.
std::optional<std::string> ScanRefresh(std::string_view page);

}  // namespace sondrel
