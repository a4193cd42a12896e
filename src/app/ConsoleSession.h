#pragma once
// The monitor's core rules without a window: the host table, the address array the senders
// walk, one row per host and the texts the console prints. Single-threaded: the caller
// feeds it replies and round starts from one thread.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "input/TypedAddress.h"
#include "model/AddressArray.h"
#include "model/HostTable.h"
#include "model/ReplyRules.h"
#include "platform/Resolver.h"

namespace sondrel {

class ConsoleSession {
public:
    // Rows and events go to `out`, the texts the window would show in a box to `err`.
    ConsoleSession(bool printEvents, std::FILE* out, std::FILE* err, Resolver& resolver,
                   UrlHostResolver resolveUrlHost);

    struct ArgumentResult {
        std::optional<uint32_t> interval;  // a list file's interval
        std::string error;                 // "<file>: <reason>" for a list file not read
    };
    // A name ending in .ipl (any case) is a list file: it adds its hosts and gives its
    // interval, and one that is not a readable regular file is refused, never taken for a
    // host name. Any other text is a host typed as in the add dialog. Duplicates are
    // skipped as the add rules say.
    ArgumentResult AddArgument(const std::string& argument);

    const AddressArray& Addresses() const { return addresses_; }
    const HostTable& Hosts() const { return hosts_; }

    // Round start on the core side: the timeout pass over the previous round, the rows
    // (when asked), then every host's sent count up by one. The caller sends afterwards.
    void BeginRound(bool printTable);
    // One interval after the last round: the timeout pass that judges it.
    void TimeoutPassOnly();
    // A reply text for an address; addresses that are not listed are dropped.
    void ApplyReply(uint32_t address, std::string_view text);

    // display<TAB>ttl<TAB>time<TAB>bytes per host, in row order, then an empty line.
    void PrintTable();
    // display<TAB>sent<TAB>received<TAB>lost<TAB>min<TAB>max<TAB>average<TAB>speed per host.
    void PrintStatistics();

    // Pushes out the events printed since the last table or pass.
    void Flush();
    // The errno of the first failed write or flush to `out`, 0 while every one succeeded.
    int OutputError() const { return outputError_; }

    size_t RepliesApplied() const { return repliesApplied_; }

private:
    struct Row {
        uint32_t address = 0;
        std::string display;
        ResultColumns columns;
    };
    void AddHosts(const std::vector<uint32_t>& added);
    void ShowMessages(const std::vector<std::string>& messages);
    void PrintEvent(const Row& row, std::string_view stamp, std::string_view text);
    std::vector<const Row*> RowsInOrder() const;
    const std::string& StampNow();

    bool printEvents_;
    std::FILE* out_;
    std::FILE* err_;
    Resolver& resolver_;
    UrlHostResolver resolveUrlHost_;
    HostTable hosts_;
    AddressArray addresses_;
    std::unordered_map<uint32_t, Row> rows_;
    size_t repliesApplied_ = 0;
    int outputError_ = 0;
    long stampSecond_ = -1;
    std::string stamp_;
};

// A text the window would show in a box, for a terminal: its CR LF line breaks as newlines.
std::string MessageForTerminal(std::string_view message);

}  // namespace sondrel
