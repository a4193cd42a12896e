#include "engine/ReplyHandover.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace sondrel {

ReplyHandover::ReplyHandover(ReplySink sink)
    : sink_(std::move(sink)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void ReplyHandover::SenderBegins() {
    readers_.fetch_add(1);
    Wake();
}

void ReplyHandover::SenderEnds() {
    readers_.fetch_sub(1);
    Wake();
}

void ReplyHandover::Wake() const {
    const uint64_t one = 1;
    (void)!::write(wake_.get(), &one, sizeof one);
}

void ReplyHandover::Acknowledge() const {
    uint64_t count = 0;
    (void)!::read(wake_.get(), &count, sizeof count);
}

}  // namespace sondrel
