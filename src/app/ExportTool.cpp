#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/Tools.h"
#include "store/Export.h"
#include "store/SampleStore.h"

namespace sondrel {

int RunExportTool(std::span<char* const> args) {
    const std::vector<std::string_view> words(args.begin(), args.end());
    using namespace std::chrono;
    const int64_t now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    auto parsed = ParseExportArgs(words, now);
    if (const std::string* reason = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "sondrel --export: %s\n", reason->c_str());
        return 1;
    }
    ExportRequest& request = std::get<ExportRequest>(parsed);
    if (request.db.empty()) request.db = DefaultStorePath();
    std::string error;
    const bool ok = WriteExport(
        request, [](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), stdout); },
        error);
    if (!ok) {
        std::fprintf(stderr, "sondrel --export: %s\n", error.c_str());
        return 2;
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}

}  // namespace sondrel
