#include "details/ReverseLookups.h"

#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace sondrel {

struct ReverseLookups::Shared {
    std::mutex mutex;
    Deliver deliver;  // empty once the owner is gone
    int running = 0;
    std::optional<Request> waiting;
};

ReverseLookups::ReverseLookups(Deliver deliver) : m_shared(std::make_shared<Shared>()) {
    m_shared->deliver = std::move(deliver);
}

ReverseLookups::~ReverseLookups() {
    // Answers are handed over under the lock, so after this no thread is inside deliver.
    std::lock_guard lock(m_shared->mutex);
    m_shared->deliver = nullptr;
    m_shared->waiting.reset();
}

void ReverseLookups::Start(Request request) {
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->running >= kMaxRunning) {
        m_shared->waiting = std::move(request);
        return;
    }
    try {
        std::thread(&ReverseLookups::Run, m_shared, std::move(request)).detach();
        ++m_shared->running;
    } catch (const std::system_error&) {
        // No thread to be had: the name stays unknown, as when the service does not answer.
    }
}

void ReverseLookups::Run(std::shared_ptr<Shared> shared, Request request) {
    for (;;) {
        std::optional<std::string> name = request.resolver->LookupAddress(request.address);
        std::lock_guard lock(shared->mutex);
        if (shared->deliver) {
            shared->deliver(request, std::move(name));
        }
        if (!shared->waiting) {
            --shared->running;
            return;
        }
        request = std::move(*shared->waiting);
        shared->waiting.reset();
    }
}

}  // namespace sondrel
