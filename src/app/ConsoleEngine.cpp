#include "app/ConsoleEngine.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>

namespace sondrel {

ConsoleEngine::ConsoleEngine(std::shared_ptr<IcmpSocket> socket, ErrorSink onError)
    : socket_(std::move(socket)), onError_(std::move(onError)) {
    using Mode = NamedEvent::ResetMode;
    stop_ = NamedEvent::Create(kStopPingEvent, Mode::Manual, false);
    gate_ = NamedEvent::Create(kModifyListEvent, Mode::Automatic, true);
    quit_ = NamedEvent::Create(kQuitProgramEvent, Mode::Manual, false);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    receiver_ = std::thread([this] {
        PingReceiverThread(
            socket_,
            [this](uint32_t address, std::string text) { Enqueue(address, std::move(text)); },
            onError_);
    });
}

ConsoleEngine::~ConsoleEngine() {
    stop_.Set();
    quit_.Set();
    if (receiver_.joinable()) receiver_.join();
    for (Sender& s : senders_) s.thread.join();
    if (wake_ >= 0) ::close(wake_);
}

void ConsoleEngine::StartRound(const std::vector<uint32_t>* addresses) {
    JoinFinishedSenders();
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, addresses, done] {
        PingSenderThread(socket_, addresses, onError_);
        done->store(true);
    });
    senders_.push_back(Sender{std::move(thread), std::move(done)});
}

void ConsoleEngine::JoinFinishedSenders() {
    // A run of days starts a sender every interval: finished ones are reaped, not hoarded.
    std::erase_if(senders_, [](Sender& s) {
        if (!s.done->load()) return false;
        s.thread.join();
        return true;
    });
}

bool ConsoleEngine::DiscardPrimingReply(int limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        for (const auto& [address, text] : TakeReplies())
            if (address == htonl(INADDR_LOOPBACK)) return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{wake_, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
}

void ConsoleEngine::Enqueue(uint32_t address, std::string text) {
    // The descriptor changes with the queue under one lock: readable exactly while
    // something waits.
    std::lock_guard guard(lock_);
    if (queue_.empty()) {
        uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
    }
    queue_.emplace_back(address, std::move(text));
}

std::vector<std::pair<uint32_t, std::string>> ConsoleEngine::TakeReplies() {
    std::vector<std::pair<uint32_t, std::string>> taken;
    std::lock_guard guard(lock_);
    uint64_t count = 0;
    (void)!::read(wake_, &count, sizeof count);
    taken.swap(queue_);
    return taken;
}

}  // namespace sondrel
