// Load and save of a list of 65,536 hosts, and the memory a host costs in the table.
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/AddressText.h"
#include "model/HostTable.h"
#include "model/ListFile.h"

using namespace sondrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kHosts = 65536;
constexpr int kRuns = 5;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

size_t HeapInUse() { return mallinfo2().uordblks; }

// Every fourth host entered by name, as a typical list mixes both.
void Fill(HostTable& table) {
    for (int i = 0; i < kHosts; ++i) {
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

template <class F>
double Best(F&& f) {
    double best = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        f();
        best = std::min(best, Ms(Clock::now() - start));
    }
    return best;
}

}  // namespace

int main() {
    char folder[] = "/tmp/sondrel-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::filesystem::path path = std::filesystem::path(folder) / "default.ipl";

    const size_t before = HeapInUse();
    HostTable table;
    Fill(table);
    const size_t after = HeapInUse();

    std::string message;
    const double save = Best([&] {
        if (!WriteDefaultList(path, 3, table, message))
            std::fprintf(stderr, "%s\n", message.c_str());
    });
    const auto size = std::filesystem::file_size(path);
    const double load = Best([&] {
        HostTable fresh;
        const ListLoadStatus s = ReadDefaultList(path, fresh);
        if (s.added.size() != static_cast<size_t>(kHosts)) std::fprintf(stderr, "short load\n");
    });
    const double serialize = Best([&] { (void)SerializeHostTable(3, table); });

    std::printf("list_file: save %d hosts to default.ipl (atomic, fsync): %.2f ms (%llu bytes)\n",
                kHosts, save, static_cast<unsigned long long>(size));
    std::printf("list_file: load %d hosts from default.ipl into the table: %.2f ms\n", kHosts,
                load);
    std::printf("list_file: serialize %d hosts in table order (no I/O): %.2f ms\n", kHosts,
                serialize);
    std::printf("list_file: memory per host in the table: %.1f bytes (every 4th named)\n",
                static_cast<double>(after - before) / kHosts);
    std::filesystem::remove_all(folder);
    return 0;
}
