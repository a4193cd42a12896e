#pragma once
// Blocking work (name lookups, page fetches) on a thread of its own, its result handed to the
// window thread by a queued call. Nothing ever waits for the worker, not even the program's
// exit: a result whose receiver has gone is dropped, and the worker ends on its own.
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace CBackgroundTask {

// Runs work on a detached thread, then done on the receiver's thread, unless the receiver
// has been destroyed by then. done is always destroyed on the receiver's thread (with the
// receiver at the latest); work's captures are destroyed on the worker, after the result has
// been handed over.
void Run(QObject* receiver, std::function<void()> work, std::function<void()> done);

template <typename Result>
void Run(QObject* receiver, std::function<Result()> work, std::function<void(Result)> done) {
    auto result = std::make_shared<std::optional<Result>>();
    Run(
        receiver, [result, work = std::move(work)] { result->emplace(work()); },
        [result, done = std::move(done)] { done(std::move(**result)); });
}

}  // namespace CBackgroundTask
