#pragma once
// sondrel --export: reading the sample history back as CSV or JSON.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "store/ExportRows.h"

namespace sondrel {

// ISO 8601 (2026-12-07T15:04:05Z; seconds, milliseconds and the zone optional, Z or +hh:mm
// or +hhmm or +hh; a date alone) or a time relative to now (-24h, -7d, -30m, -90s), as Unix
// time in ms. A time without a zone is UTC, as the export writes it.
std::optional<int64_t> ParseExportTime(std::string_view text, int64_t nowMs);

enum class Resolution { kRaw, kMinute };

struct ExportRequest {
    std::filesystem::path db;        // empty: the default file
    std::vector<std::string> hosts;  // empty: all
    int64_t sinceMs = 0, untilMs = 0;
    Resolution resolution = Resolution::kRaw;
    ExportFormat format = ExportFormat::kCsv;
};

// The request, or a one-line reason why the arguments are refused.
std::variant<ExportRequest, std::string> ParseExportArgs(std::span<const std::string_view> args,
                                                         int64_t nowMs);

// Writes the rows in [since, until) ordered by time then host, in pieces, to out. False with
// the reason when the file cannot be opened or read.
bool WriteExport(const ExportRequest& request, const std::function<void(std::string_view)>& out,
                 std::string& error);

}  // namespace sondrel
