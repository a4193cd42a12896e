#include <cstdio>
#include <string>

#include "app/Tools.h"
#include "model/ListFile.h"
#include "platform/AddressText.h"

namespace sondrel {

namespace {

void PrintRecords(const ListReadResult& read) {
    if (!read.interval || !read.count) return;
    std::printf("%u\t%d\n", *read.interval, *read.count);
    for (const HostEntry& e : read.entries) {
        const std::string address = DottedQuad(e.m_dwAddress);
        std::printf("%s\t%d\t", address.c_str(), e.m_record.m_bNamed ? 1 : 0);
        std::fwrite(e.m_record.m_strName.data(), 1, e.m_record.m_strName.size(), stdout);
        std::fputc('\n', stdout);
    }
}

}  // namespace

// sondrel --dump FILE.ipl: the list file's fields as text, one record per line.
int RunDumpTool(std::span<char* const> args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: sondrel --dump FILE.ipl\n");
        return 2;
    }
    const char* file = args[0];
    const ListReadResult read = ReadListFile(file);
    PrintRecords(read);
    std::fflush(stdout);
    if (!read.ok()) {
        std::fprintf(stderr, "sondrel: %s: %s\n", file, DescribeListFault(read).c_str());
        return 1;
    }
    return 0;
}

}  // namespace sondrel
