#include "console/ConsoleMonitor.h"

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
#include <string>
#include <vector>

#include "console/ConsoleFront.h"
#include "console/ConsoleOptions.h"
#include "engine/IcmpSocket.h"
#include "input/UrlResolver.h"
#include "platform/FileDescriptor.h"
#include "platform/Resolver.h"
#include "session/IntervalInput.h"
#include "session/MonitorSession.h"
#include "session/TaskQueue.h"

namespace sondrel {
namespace {

int UsageError(const std::string& error) {
    std::fprintf(stderr, "sondrel: %s\n%s", error.c_str(), kConsoleUsage);
    return 2;
}

uint32_t ChooseInterval(const ConsoleOptions& options, std::optional<uint32_t> fromFile) {
    if (options.interval) return *options.interval;
    if (fromFile && IsUsableInterval(*fromFile)) return *fromFile;
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

// SIGINT and SIGTERM are read from a descriptor by the main thread; every thread started
// from here on inherits the blocked mask.
FileDescriptor BlockStopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    return FileDescriptor(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
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
void RunRounds(ConsoleFront& front, TaskQueue& tasks, const ConsoleOptions& options, int timer,
               int signals) {
    MonitorSession& session = front.Session();
    uint32_t started = 1;
    session.OnTimer();
    bool judging = false;
    pollfd fds[3] = {{tasks.WakeFd(), POLLIN, 0}, {timer, POLLIN, 0}, {signals, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 3, -1) < 0) continue;  // EINTR: the signals arrive through their descriptor
        if (fds[0].revents & POLLIN) {
            tasks.RunPending();
            front.Flush();
        }
        if (front.LastRoundJudged() || front.OutputError() || (fds[2].revents & POLLIN)) return;
        if (fds[1].revents & POLLIN) {
            uint64_t expirations = 0;
            (void)!::read(timer, &expirations, sizeof expirations);
            // The interval after the last round has passed: its hosts are judged now.
            if (!options.rounds || started < *options.rounds) {
                session.OnTimer();
                ++started;
            } else if (!judging) {
                session.PostTimeoutPass();
                judging = true;
            }
        }
    }
}

// The hosts of the command line, in order. 0, or the exit status when one was refused;
// the first list file's interval is kept in fileInterval.
int ListArguments(ConsoleFront& front, const ConsoleOptions& options,
                  std::optional<uint32_t>& fileInterval) {
    const UrlHostResolver resolveUrlHost = [](const std::string& url) {
        return ResolveUrlHost(url);
    };
    for (const std::string& argument : options.arguments) {
        ConsoleFront::ArgumentResult added =
            front.AddArgument(argument, TheSystemResolver(), resolveUrlHost);
        if (!added.error.empty()) {
            std::fprintf(stderr, "sondrel: %s\n", added.error.c_str());
            return 2;
        }
        if (added.interval && !fileInterval) fileInterval = added.interval;
    }
    if (front.Session().Addresses().empty()) {
        std::fprintf(stderr, "sondrel: no hosts to monitor\n");
        return 1;
    }
    return 0;
}

// The last table and the statistics, after every engine thread has ended.
int FinalReport(ConsoleFront& front) {
    if (front.OutputError()) return OutputFailed(front.OutputError());
    front.PrintTable();
    front.PrintStatistics();
    front.Flush();
    if (front.OutputError()) return OutputFailed(front.OutputError());
    return 0;
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

    FileDescriptor signals = BlockStopSignals();
    FileDescriptor timer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC));

    // Tasks the session posts run on this thread, between polls.
    TaskQueue tasks;
    int timerError = 0;
    SessionSetup setup;
    setup.socket = socket;
    setup.armTimer = [&timer, &timerError](uint32_t seconds) {
        if (!ArmTimer(timer.get(), seconds)) timerError = errno;
    };
    setup.post = [&tasks](std::function<void()> task) { tasks.Post(std::move(task)); };
    setup.discardPrimingReply = true;
    if (!options.store.empty()) {
        StoreOptions& store = setup.store.emplace();
        store.file = options.store;
        store.keepRawDays = static_cast<int>(options.keepRawDays);
        store.keepMinuteDays = static_cast<int>(options.keepMinuteDays);
    }
    ConsoleFront front(std::move(setup), {options.events, !options.quiet, stdout, stderr});
    MonitorSession& session = front.Session();

    std::optional<uint32_t> fileInterval;
    if (int status = ListArguments(front, options, fileInterval); status != 0) return status;
    session.SetInitialInterval(ChooseInterval(options, fileInterval));
    if (signals.get() < 0 || timer.get() < 0) {
        std::perror("sondrel: timer");
        return 1;
    }
    session.Start();
    if (timerError != 0) {
        errno = timerError;
        std::perror("sondrel: timer");
        return 1;
    }
    session.WaitForPrimingReply(1000);
    RunRounds(front, tasks, options, timer.get(), signals.get());
    session.Shutdown();  // senders stopped and every engine thread joined
    tasks.RunPending();  // what the sample store said as it closed

    return FinalReport(front);
}

}  // namespace sondrel
