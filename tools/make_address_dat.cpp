// make_address_dat [--geoip FILE] OUTPUT
//
// Builds address.dat from the IPv4 country database of libGeoIP (Debian's geoip-database):
// every range the database knows is read, the special-purpose ranges are added, and the
// file is written in the layout the location lookup reads. The file is written beside the
// destination and renamed over it, so a failed run leaves an older file as it was.
#include <GeoIP.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "details/AddressDatWriter.h"
#include "details/LocationDb.h"

namespace {

constexpr const char* kDefaultDatabase = "/usr/share/GeoIP/GeoIP.dat";
constexpr const char* kAcknowledgement =
    "This product includes GeoLite data created by MaxMind, available from "
    "http://maxmind.com/";

struct GeoIpCloser {
    void operator()(GeoIP* gi) const { GeoIP_delete(gi); }
};
using GeoIpHandle = std::unique_ptr<GeoIP, GeoIpCloser>;

std::string Dotted(uint64_t addr) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(addr >> 24) & 255,
                  unsigned(addr >> 16) & 255, unsigned(addr >> 8) & 255, unsigned(addr) & 255);
    return text;
}

// Walks the whole IPv4 space from range to range: the database gives, for any address,
// the widest run of addresses around it that share its country.
bool ReadCountries(GeoIP* gi, std::vector<sondrel::CountryRange>& out) {
    uint64_t addr = 0;
    while (addr <= 0xFFFFFFFFu) {
        char** range = GeoIP_range_by_ip(gi, Dotted(addr).c_str());
        if (range == nullptr || range[1] == nullptr) {
            if (range) GeoIP_range_by_ip_delete(range);
            std::fprintf(stderr, "make_address_dat: no range for %s\n", Dotted(addr).c_str());
            return false;
        }
        uint64_t end = sondrel::DottedToNumber(range[1]);
        GeoIP_range_by_ip_delete(range);
        if (end < addr) {
            std::fprintf(stderr, "make_address_dat: range ends before %s\n", Dotted(addr).c_str());
            return false;
        }
        int id = GeoIP_id_by_ipnum(gi, static_cast<unsigned long>(addr));
        const char* code = id > 0 ? GeoIP_code_by_id(id) : nullptr;
        const char* name = id > 0 ? GeoIP_country_name_by_id(gi, id) : nullptr;
        if (code && name)
            out.push_back({static_cast<uint32_t>(addr), static_cast<uint32_t>(end), code, name});
        addr = end + 1;
    }
    return true;
}

bool WriteAtomically(const std::string& path, const std::string& bytes) {
    std::string temp = path + ".new";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "make_address_dat: %s: %s\n", temp.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = ::fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) return true;
    std::fprintf(stderr, "make_address_dat: cannot write %s: %s\n", path.c_str(),
                 std::strerror(errno));
    std::remove(temp.c_str());
    return false;
}

int Usage() {
    std::fprintf(stderr, "usage: make_address_dat [--geoip FILE] OUTPUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string database = kDefaultDatabase;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--geoip") == 0 && i + 1 < argc)
            database = argv[++i];
        else if (argv[i][0] == '-' || !output.empty())
            return Usage();
        else
            output = argv[i];
    }
    if (output.empty()) return Usage();

    GeoIpHandle gi(GeoIP_open(database.c_str(), GEOIP_MEMORY_CACHE | GEOIP_SILENCE));
    if (!gi || GeoIP_database_edition(gi.get()) != GEOIP_COUNTRY_EDITION) {
        std::fprintf(stderr, "make_address_dat: %s is not an IPv4 country database\n",
                     database.c_str());
        return 1;
    }
    GeoIP_set_charset(gi.get(), GEOIP_CHARSET_UTF8);

    std::vector<sondrel::CountryRange> countries;
    if (!ReadCountries(gi.get(), countries)) return 1;

    std::unique_ptr<char, decltype(&std::free)> info(GeoIP_database_info(gi.get()), &std::free);
    std::string header = "address.dat: IPv4 ranges and their locations, from ";
    header += info ? info.get() : "GeoLite Country";
    header += ".\n";
    header += kAcknowledgement;
    header += "\n";
    std::string bytes =
        sondrel::BuildAddressDat(std::move(countries), sondrel::SpecialRanges(), header);
    return WriteAtomically(output, bytes) ? 0 : 1;
}
