#pragma once
// Command line of the console monitor:
//   sondrel --console [--rounds N] [--interval S] [--quiet] [--events] [--store FILE]
//                     [--keep-raw DAYS] [--keep-minutes DAYS] ARG...
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sondrel {

struct ConsoleOptions {
    std::optional<uint32_t> rounds;    // none: until interrupted
    std::optional<uint32_t> interval;  // seconds, 1..10000; none: the list file's, else 3
    bool quiet = false;                // only the last table and the statistics
    bool events = false;               // every history event as it is recorded
    std::string store;                 // the sample file; empty: samples are not stored
    uint32_t keepRawDays = 7, keepMinuteDays = 400;
    std::vector<std::string> arguments;  // list files and typed hosts, in order
};

struct ConsoleArgsResult {
    std::optional<ConsoleOptions> options;
    std::string error;  // one line for stderr when options is empty
};

// Options may stand anywhere; "--" makes every later word an ARG.
ConsoleArgsResult ParseConsoleArgs(std::span<const std::string> args);

inline constexpr char kConsoleUsage[] =
    "usage: sondrel --console [--rounds N] [--interval S] [--quiet] [--events]\n"
    "                         [--store FILE] [--keep-raw DAYS] [--keep-minutes DAYS] ARG...\n"
    "  ARG: a list file (.ipl), a dotted address, a domain name or a web address\n"
    "  --rounds N           stop after N rounds (default: run until interrupted)\n"
    "  --interval S         seconds between rounds, 1 to 10000 (default: the list file's, else 3)\n"
    "  --quiet              print only the last table and the statistics\n"
    "  --events             print every history event as it is recorded\n"
    "  --store FILE         keep every sample in FILE, to be read by sondrel --export\n"
    "  --keep-raw DAYS      days the samples are kept one by one (default: 7)\n"
    "  --keep-minutes DAYS  days their per-minute summaries are kept (default: 400)\n";

}  // namespace sondrel
