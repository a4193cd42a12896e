#pragma once
// Tasks for a thread that blocks in poll(): any thread posts, the owner runs them when
// WakeFd() turns readable. The console's main loop and the session tests are such owners.
#include <functional>
#include <mutex>
#include <vector>

#include "platform/FileDescriptor.h"

namespace sondrel {

class TaskQueue {
public:
    TaskQueue();
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    void Post(std::function<void()> task);
    // Readable while tasks wait.
    int WakeFd() const { return wake_.get(); }
    // Runs the tasks waiting now (not those they post); returns how many ran.
    size_t RunPending();
    // Runs tasks as they come until `done` holds or timeoutMs passes; false on time-out.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs);

private:
    FileDescriptor wake_;
    std::mutex lock_;
    std::vector<std::function<void()>> tasks_;
};

}  // namespace sondrel
