#pragma once
// The console's side of a monitor session: what the command line adds to the list, and the
// texts printed for it. The session it owns does the monitoring; this prints what it hears.
// Everything runs on the thread that drives the session.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "input/TypedAddress.h"
#include "platform/Resolver.h"
#include "session/MonitorSession.h"

namespace sondrel {

struct ConsolePrinting {
    bool events = false;  // every history event as it is recorded
    bool tables = true;   // the rows at each round start
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

class ConsoleFront final : public SessionObserver {
public:
    ConsoleFront(SessionSetup setup, ConsolePrinting printing);
    ~ConsoleFront() override;
    ConsoleFront(const ConsoleFront&) = delete;
    ConsoleFront& operator=(const ConsoleFront&) = delete;

    MonitorSession& Session() { return session_; }

    struct ArgumentResult {
        std::optional<uint32_t> interval;  // a list file's interval
        std::string error;                 // "<file>: <reason>" for a list file not read
    };
    // A name ending in .ipl (any case) is a list file: its hosts are imported and its interval
    // given back, and one that is not a readable regular file is refused, never taken for a
    // host name. Any other text is a host typed as in the add dialog.
    ArgumentResult AddArgument(const std::string& argument, Resolver& resolver,
                               const UrlHostResolver& resolveUrlHost);

    // The timeout pass that judges the last round has run: no round followed it.
    bool LastRoundJudged() const { return roundsJudged_ > roundsStarted_; }

    // display<TAB>ttl<TAB>time<TAB>bytes per row, then an empty line.
    void PrintTable();
    // display<TAB>sent<TAB>received<TAB>lost<TAB>min<TAB>max<TAB>average<TAB>speed per row.
    void PrintStatistics();
    // A million rows are put together in pieces of this size, each written with one call.
    static constexpr size_t kPiece = 64 * 1024;
    void WriteFullPiece(std::string& piece);
    // Pushes out what was printed since the last flush.
    void Flush();
    // The errno of the first failed write or flush to the output, 0 while every one succeeded.
    int OutputError() const { return outputError_; }

    // A text the window would show in a box, on the error stream.
    void ShowMessage(const std::string& text);

    // SessionObserver
    void HostEvent(HostEventKind kind, uint32_t address, const HostRecord& record,
                   std::string_view stamp, std::string_view event) override;
    void RoundStarted() override { ++roundsStarted_; }
    void RoundJudged() override;
    void RepliesLost(uint64_t count) override { ShowMessage(RepliesLostText(count)); }
    void ErrorText(const std::string& text) override { ShowMessage(text); }
    void StoreNotice(const std::string& text) override { ShowMessage(text); }

private:
    void ListAdded(const std::vector<uint32_t>& addresses);

    ConsolePrinting printing_;
    int outputError_ = 0;
    uint64_t roundsStarted_ = 0;
    uint64_t roundsJudged_ = 0;
    // Last: it reports to the members above until it has shut down.
    MonitorSession session_;
};

// A text the window would show in a box, for a terminal: its CR LF line breaks as newlines.
std::string MessageForTerminal(std::string_view message);

}  // namespace sondrel
