#include "console/ConsoleOptions.h"

#include <cerrno>
#include <cstdlib>

namespace sondrel {
namespace {

// A whole decimal number from low to high, nothing else in the text.
std::optional<uint32_t> WholeNumber(const std::string& text, uint32_t low, uint32_t high) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return static_cast<uint32_t>(value);
}

struct NumberOption {
    const char* name;
    uint32_t low, high;
    const char* range;  // as the refusal words it
    void (*set)(ConsoleOptions&, uint32_t);
};

// The retention days stay within an int, as the store counts them.
constexpr NumberOption kNumberOptions[] = {
    {"--rounds", 1, UINT32_MAX, "from 1", [](ConsoleOptions& o, uint32_t v) { o.rounds = v; }},
    {"--interval", 1, 10000, "from 1 to 10000",
     [](ConsoleOptions& o, uint32_t v) { o.interval = v; }},
    {"--keep-raw", 1, INT32_MAX, "from 1",
     [](ConsoleOptions& o, uint32_t v) { o.keepRawDays = v; }},
    {"--keep-minutes", 1, INT32_MAX, "from 1",
     [](ConsoleOptions& o, uint32_t v) { o.keepMinuteDays = v; }},
};

const NumberOption* FindNumberOption(const std::string& word) {
    for (const NumberOption& o : kNumberOptions)
        if (word == o.name) return &o;
    return nullptr;
}

}  // namespace

ConsoleArgsResult ParseConsoleArgs(std::span<const std::string> args) {
    ConsoleOptions options;
    bool onlyArguments = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (onlyArguments || word.size() < 2 || word.compare(0, 2, "--") != 0) {
            options.arguments.push_back(word);
            continue;
        }
        if (word == "--") {
            onlyArguments = true;
        } else if (word == "--quiet") {
            options.quiet = true;
        } else if (word == "--events") {
            options.events = true;
        } else if (word == "--store") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return {std::nullopt, "--store needs a file name"};
            options.store = args[++i];
        } else if (const NumberOption* number = FindNumberOption(word)) {
            if (i + 1 >= args.size()) return {std::nullopt, word + " needs a number"};
            const std::string& value = args[++i];
            const std::optional<uint32_t> got = WholeNumber(value, number->low, number->high);
            if (!got)
                return {std::nullopt,
                        word + " takes a whole number " + number->range + ": " + value};
            number->set(options, *got);
        } else {
            return {std::nullopt, "unknown option " + word};
        }
    }
    if (options.arguments.empty()) return {std::nullopt, "no hosts given"};
    return {std::move(options), {}};
}

}  // namespace sondrel
