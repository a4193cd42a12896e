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
        } else if (word == "--rounds" || word == "--interval") {
            if (i + 1 >= args.size()) return {std::nullopt, word + " needs a number"};
            const std::string& value = args[++i];
            if (word == "--rounds") {
                options.rounds = WholeNumber(value, 1, UINT32_MAX);
                if (!options.rounds)
                    return {std::nullopt, "--rounds takes a whole number from 1: " + value};
            } else {
                options.interval = WholeNumber(value, 1, 10000);
                if (!options.interval)
                    return {std::nullopt,
                            "--interval takes a whole number from 1 to 10000: " + value};
            }
        } else {
            return {std::nullopt, "unknown option " + word};
        }
    }
    if (options.arguments.empty()) return {std::nullopt, "no hosts given"};
    return {std::move(options), {}};
}

}  // namespace sondrel
