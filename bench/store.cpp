// The sample history: insert rate, bytes a raw sample costs on disk, and export times for one
// host over 24 hours (raw and by minute) and 30 days (by minute).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "store/Export.h"
#include "store/SampleStore.h"

using namespace sondrel;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kEnd = 1'796'655'840'000;  // 2026-12-07T15:04:00Z
constexpr int64_t kDayMs = 86'400'000;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string HostName(int i) {
    return "10." + std::to_string(i >> 16) + "." + std::to_string((i >> 8) & 255) + "." +
           std::to_string(i & 255);
}

// rounds rounds of `hosts` samples, stepMs apart, ending before kEnd; RTTs of 0.2 to 30 ms.
std::vector<std::vector<HostSample>> MakeRounds(int hosts, int rounds, int64_t stepMs) {
    std::vector<std::vector<HostSample>> out(rounds);
    for (int r = 0; r < rounds; ++r) {
        const int64_t t = kEnd - (rounds - r) * stepMs;
        for (int h = 0; h < hosts; ++h) {
            Sample s{t + h / 1000, 200 + (h * 7919 + r * 104729) % 30'000, 0, 0, 64};
            if ((h + r) % 50 == 0) s = Sample{t};
            out[r].push_back({HostName(h), s});
        }
    }
    return out;
}

// Writes the rounds through a writer and reports the seconds it took to commit them all.
double Store(const fs::path& file, std::vector<std::vector<HostSample>> rounds) {
    StoreOptions o;
    o.file = file;
    o.queueRounds = rounds.size();
    o.keepRawDays = o.keepMinuteDays = 10'000;
    o.nowMs = [] { return kEnd; };
    o.onMessage = [](std::string_view line) {
        std::printf("  store: %.*s\n", int(line.size()), line.data());
    };
    SampleWriter writer(o);
    const auto start = Clock::now();
    for (auto& r : rounds) writer.Submit(std::move(r));
    writer.Flush();
    return Seconds(Clock::now() - start);
}

// Best of five exports of one host; the bytes written are counted, not kept.
double ExportMs(const fs::path& file, const char* resolution, const char* since, size_t& bytes) {
    const std::string_view args[] = {"--host",  "10.0.0.3", "--resolution", resolution,
                                     "--since", since,      "--until",      "2026-12-07T15:04:00Z"};
    ExportRequest request = std::get<ExportRequest>(ParseExportArgs(args, kEnd));
    request.db = file;
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        bytes = 0;
        std::string error;
        const auto start = Clock::now();
        if (!WriteExport(
                request, [&](std::string_view s) { bytes += s.size(); }, error))
            std::printf("  export failed: %s\n", error.c_str());
        best = std::min(best, Seconds(Clock::now() - start) * 1e3);
    }
    return best;
}

}  // namespace

int main() {
    const fs::path dir =
        fs::temp_directory_path() / ("sondrel-bench-store-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    constexpr int kHosts = 10'000, kRounds = 100;
    const double s = Store(dir / "insert.sqlite", MakeRounds(kHosts, kRounds, 1000));
    const double samples = double{kHosts} * kRounds;
    std::printf(
        "insert: %d rounds of %d hosts, one transaction each: %.0f samples/s (goal >= 1,000,000)\n",
        kRounds, kHosts, samples / s);
    // Closing the writer checkpoints the write-ahead log into the file.
    std::printf("disk: %.1f bytes per raw sample, file %ju bytes (goal <= 20)\n",
                double(fs::file_size(dir / "insert.sqlite")) / samples,
                uintmax_t(fs::file_size(dir / "insert.sqlite")));

    const fs::path day = dir / "day.sqlite";
    const double daySeconds = Store(day, MakeRounds(10, 86'400, 1000));
    std::printf("24 h of 10 hosts every second (86,400 rounds) stored in %.1f s\n", daySeconds);
    size_t bytes = 0;
    double ms = ExportMs(day, "raw", "-24h", bytes);
    std::printf("export 24 h raw, one host: %.1f ms, %zu bytes (goal <= 20 ms)\n", ms, bytes);
    ms = ExportMs(day, "minute", "-24h", bytes);
    std::printf("export 24 h by minute, one host: %.2f ms, %zu bytes\n", ms, bytes);

    const fs::path month = dir / "month.sqlite";
    Store(month, MakeRounds(10, 30 * 1440, 60'000));
    ms = ExportMs(month, "minute", "-30d", bytes);
    std::printf("export 30 d by minute, one host: %.1f ms, %zu bytes\n", ms, bytes);

    fs::remove_all(dir);
    return 0;
}
