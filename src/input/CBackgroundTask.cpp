#include "input/CBackgroundTask.h"

#include <mutex>
#include <system_error>
#include <thread>

namespace {

// The worker's way back: the relay, a child of the receiver, while it lives. The worker posts
// to it under the lock, so the relay cannot be destroyed between the check and the post; once
// posted, a relay destroyed before the call runs takes the call with it.
struct Link {
    std::mutex mutex;
    QObject* relay = nullptr;
};

class Relay final : public QObject {
public:
    Relay(QObject* receiver, std::shared_ptr<Link> link, std::function<void()> done)
        : QObject(receiver), m_link(std::move(link)), m_done(std::move(done)) {
        m_link->relay = this;
    }
    ~Relay() override {
        const std::lock_guard lock(m_link->mutex);
        m_link->relay = nullptr;
    }

    void Deliver() {
        // done may open boxes whose loops delete the receiver, and with it this relay.
        std::function<void()> done = std::exchange(m_done, {});
        deleteLater();
        done();
    }

private:
    std::shared_ptr<Link> m_link;
    std::function<void()> m_done;
};

void Finish(const std::shared_ptr<Link>& link) {
    const std::lock_guard lock(link->mutex);
    if (link->relay == nullptr) return;
    auto* relay = static_cast<Relay*>(link->relay);
    QMetaObject::invokeMethod(
        relay, [relay] { relay->Deliver(); }, Qt::QueuedConnection);
}

}  // namespace

namespace CBackgroundTask {

void Run(QObject* receiver, std::function<void()> work, std::function<void()> done) {
    auto link = std::make_shared<Link>();
    new Relay(receiver, link, std::move(done));
    auto task = std::make_shared<std::function<void()>>(std::move(work));
    try {
        std::thread([link, task] {
            (*task)();
            Finish(link);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the window waits this once rather than losing the command.
        (*task)();
        Finish(link);
    }
}

}  // namespace CBackgroundTask
