#include "session/TaskQueue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>

namespace sondrel {

TaskQueue::TaskQueue() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void TaskQueue::Post(std::function<void()> task) {
    // The descriptor changes with the queue under one lock: readable exactly while tasks wait.
    std::lock_guard guard(lock_);
    if (tasks_.empty()) {
        const uint64_t one = 1;
        (void)!::write(wake_.get(), &one, sizeof one);
    }
    tasks_.push_back(std::move(task));
}

size_t TaskQueue::RunPending() {
    std::vector<std::function<void()>> taken;
    {
        std::lock_guard guard(lock_);
        uint64_t count = 0;
        (void)!::read(wake_.get(), &count, sizeof count);
        taken.swap(tasks_);
    }
    for (auto& task : taken) task();
    return taken.size();
}

bool TaskQueue::RunUntil(const std::function<bool()>& done, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{wake_.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) > 0) RunPending();
    }
    return true;
}

}  // namespace sondrel
