#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/Tools.h"
#include "details/LocationDb.h"

namespace sondrel {

namespace {

int LocateUsage() {
    std::fprintf(stderr, "usage: sondrel --locate [--db FILE] ADDRESS...\n");
    return 2;
}

}  // namespace

int RunLocateTool(std::span<char* const> args) {
    const char* db = nullptr;
    std::vector<const char*> addresses;
    for (size_t i = 0; i < args.size(); ++i) {
        if (std::strcmp(args[i], "--db") == 0) {
            if (db != nullptr || i + 1 >= args.size()) return LocateUsage();
            db = args[++i];
        } else {
            addresses.push_back(args[i]);
        }
    }
    if (addresses.empty()) return LocateUsage();

    LocationTable fromDb;
    if (db != nullptr) fromDb = LoadLocationTable(db);
    const LocationTable& table = db != nullptr ? fromDb : GetLocationTable();
    for (const char* address : addresses) {
        std::string location;
        std::string detail;
        // Text that is not an address has no location (rather than that of 0.0.0.0).
        std::optional<uint32_t> key = ParseDottedAddress(address);
        if (key && FindLocation(table, *key, location, detail))
            std::printf("%s\t%s\t%s\n", address, location.c_str(), detail.c_str());
        else
            std::printf("%s\tno data for this addr\n", address);
    }
    return 0;
}

}  // namespace sondrel
