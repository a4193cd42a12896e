#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/ConsoleEngine.h"
#include "app/ConsoleOptions.h"
#include "app/ConsoleSession.h"
#include "app/Tools.h"
#include "engine/IcmpSocket.h"
#include "input/UrlResolver.h"
#include "platform/FileDescriptor.h"
#include "platform/Resolver.h"

namespace sondrel {
namespace {

constexpr uint32_t kDefaultInterval = 3;

void PrintToStderr(const std::string& text) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    std::fprintf(stderr, "%s\n", MessageForTerminal(text).c_str());
    std::fflush(stderr);
}

int UsageError(const std::string& error) {
    std::fprintf(stderr, "sondrel: %s\n%s", error.c_str(), kConsoleUsage);
    return 2;
}

uint32_t ChooseInterval(const ConsoleOptions& options, std::optional<uint32_t> fromFile) {
    if (options.interval) return *options.interval;
    if (fromFile && *fromFile >= 1 && *fromFile <= 10000) return *fromFile;
    if (fromFile)
        std::fprintf(stderr,
                     "sondrel: the list file's interval %u is outside 1 to 10000; using %u\n",
                     *fromFile, kDefaultInterval);
    return kDefaultInterval;
}

// With standard output closed, the first socket or timer opened would become descriptor 1
// and the tables would be written into it. A read-only descriptor in its place makes every
// write fail instead, and that failure is reported like any other.
void HoldClosedStdout() {
    if (::fcntl(STDOUT_FILENO, F_GETFD) >= 0 || errno != EBADF) return;
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fd == STDOUT_FILENO) return;
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
}

int OutputFailed(int error) {
    std::fprintf(stderr, "sondrel: cannot write to standard output: %s\n", std::strerror(error));
    return 1;
}

bool ArmTimer(int fd, uint32_t seconds) {
    itimerspec period{};
    period.it_interval.tv_sec = seconds;
    period.it_value.tv_sec = seconds;
    return ::timerfd_settime(fd, 0, &period, nullptr) == 0;
}

// Runs rounds until the count is reached and judged, or until a signal arrives (the last
// round is then not judged: its interval has not passed), or until standard output fails:
// a reader that has gone away must not leave the monitor running for ever.
void RunRounds(ConsoleSession& session, ConsoleEngine& engine, const ConsoleOptions& options,
               int timer, int signals) {
    uint32_t started = 0;
    auto startRound = [&] {
        session.BeginRound(!options.quiet);
        engine.StartRound(&session.Addresses());
        ++started;
    };
    startRound();
    if (session.OutputError()) return;
    pollfd fds[3] = {{engine.WakeFd(), POLLIN, 0}, {timer, POLLIN, 0}, {signals, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 3, -1) < 0) continue;  // EINTR: the signals arrive through their descriptor
        if (fds[0].revents & POLLIN) {
            for (auto& [address, text] : engine.TakeReplies()) session.ApplyReply(address, text);
            session.Flush();
        }
        if (fds[2].revents & POLLIN) return;
        if (fds[1].revents & POLLIN) {
            uint64_t expirations = 0;
            (void)!::read(timer, &expirations, sizeof expirations);
            // The interval after the last round has passed: its hosts are judged now.
            if (options.rounds && started >= *options.rounds) {
                session.TimeoutPassOnly();
                return;
            }
            startRound();
        }
        if (session.OutputError()) return;
    }
}

}  // namespace

int RunConsoleMonitor(std::span<char* const> args) {
    std::vector<std::string> words(args.begin(), args.end());
    ConsoleArgsResult parsed = ParseConsoleArgs(words);
    if (!parsed.options) return UsageError(parsed.error);
    const ConsoleOptions& options = *parsed.options;
    HoldClosedStdout();

    // The socket comes first, while the process may still hold the permission for it; after
    // that nothing needs a privilege, and names and list files are read without any.
    std::string message;
    std::shared_ptr<IcmpSocket> socket = IcmpSocket::Open(&message);
    if (!socket) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 2;
    }
    DropAllCapabilities();

    // SIGINT and SIGTERM are read from a descriptor by the main thread; every thread started
    // from here on inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    FileDescriptor signals(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
    FileDescriptor timer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC));

    ConsoleSession session(options.events, stdout, stderr, TheSystemResolver(),
                           [](const std::string& url) { return ResolveUrlHost(url); });
    std::optional<uint32_t> fileInterval;
    for (const std::string& argument : options.arguments) {
        ConsoleSession::ArgumentResult added = session.AddArgument(argument);
        if (!added.error.empty()) {
            std::fprintf(stderr, "sondrel: %s\n", added.error.c_str());
            return 2;
        }
        if (added.interval && !fileInterval) fileInterval = added.interval;
    }
    if (session.Addresses().empty()) {
        std::fprintf(stderr, "sondrel: no hosts to monitor\n");
        return 1;
    }
    const uint32_t interval = ChooseInterval(options, fileInterval);
    if (signals.get() < 0 || timer.get() < 0 || !ArmTimer(timer.get(), interval)) {
        std::perror("sondrel: timer");
        return 1;
    }

    {
        ConsoleEngine engine(socket, PrintToStderr);
        engine.DiscardPrimingReply(1000);
        RunRounds(session, engine, options, timer.get(), signals.get());
    }  // senders stopped and every engine thread joined
    if (session.OutputError()) return OutputFailed(session.OutputError());
    session.PrintTable();
    session.PrintStatistics();
    if (session.OutputError()) return OutputFailed(session.OutputError());
    return 0;
}

}  // namespace sondrel
