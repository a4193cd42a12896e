// Load and save of lists of 65,536 and 1,000,000 hosts, and the memory a host costs in the table.
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "model/HostTable.h"
#include "model/ListFile.h"
#include "platform/AddressText.h"

using namespace sondrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 5;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

size_t HeapInUse() { return mallinfo2().uordblks; }

// Every fourth host entered by name, as a typical list mixes both.
void Fill(HostTable& table, int hosts) {
    for (int i = 0; i < hosts; ++i) {
        const uint32_t address =
            AddressFromOctets(10, static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 8),
                              static_cast<uint8_t>(i));
        HostRecord& r = table.HostAt(address);
        if (i % 4 == 0) {
            r.m_bNamed = 1;
            r.m_strName = "host" + std::to_string(i) + ".example.test";
        }
    }
}

// The best of a few runs of f; after each, untimed, the clean-up.
template <class F, class Clean = void (*)()>
double Best(
    F&& f, Clean&& clean = [] {}) {
    double best = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        f();
        best = std::min(best, Ms(Clock::now() - start));
        clean();
    }
    return best;
}

void Measure(const std::filesystem::path& path, int hosts, bool details) {
    const size_t before = HeapInUse();
    HostTable table;
    Fill(table, hosts);
    const size_t after = HeapInUse();

    std::string message;
    const double save = Best([&] {
        if (!WriteDefaultList(path, 3, table, message))
            std::fprintf(stderr, "%s\n", message.c_str());
    });
    const auto size = std::filesystem::file_size(path);
    // The loaded table dies outside the timing: freeing a million records is not loading.
    std::optional<HostTable> fresh;
    const double load = Best(
        [&] {
            fresh.emplace();
            const ListLoadStatus s = ReadDefaultList(path, *fresh);
            if (s.added.size() != static_cast<size_t>(hosts)) std::fprintf(stderr, "short load\n");
        },
        [&] { fresh.reset(); });

    std::printf("list_file: save %d hosts to default.ipl (atomic, fsync): %.2f ms (%llu bytes)\n",
                hosts, save, static_cast<unsigned long long>(size));
    std::printf("list_file: load %d hosts from default.ipl into the table: %.2f ms\n", hosts, load);
    if (!details) return;
    const double serialize = Best([&] { (void)SerializeHostTable(3, table); });
    std::printf("list_file: serialize %d hosts in table order (no I/O): %.2f ms\n", hosts,
                serialize);
    std::printf("list_file: memory per host in the table: %.1f bytes (every 4th named)\n",
                static_cast<double>(after - before) / hosts);
}

}  // namespace

int main() {
    char folder[] = "/tmp/sondrel-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::filesystem::path path = std::filesystem::path(folder) / "default.ipl";
    Measure(path, 65536, true);
    Measure(path, 1000000, true);
    std::filesystem::remove_all(folder);
    return 0;
}
