#include "store/SampleStore.h"

#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/FileDescriptor.h"
#include "store/RoundWriter.h"
#include "store/StoreFile.h"

namespace sondrel {

namespace fs = std::filesystem;

namespace {

constexpr int64_t kRetryMs = 60'000;
constexpr int64_t kDayMs = 86'400'000;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

int64_t SystemNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

fs::path DefaultStorePath(const StorePathInputs& in) {
    if (!in.sondrelDataDir.empty()) return fs::path(in.sondrelDataDir) / "samples.sqlite";
    const fs::path base = !in.xdgDataHome.empty() && in.xdgDataHome.front() == '/'
                              ? fs::path(in.xdgDataHome)
                              : fs::path(in.home) / ".local" / "share";
    return base / "sondrel" / "samples.sqlite";
}

fs::path DefaultStorePath() {
    StorePathInputs in{Env("SONDREL_DATA_DIR"), Env("XDG_DATA_HOME"), Env("HOME")};
    if (in.home.empty())
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) in.home = pw->pw_dir;
    return DefaultStorePath(in);
}

struct SampleWriter::Impl {
    explicit Impl(StoreOptions o) : options(std::move(o)) {
        if (!options.nowMs) options.nowMs = SystemNowMs;
        lock = LockStoreFile(options.file, lockError);
        storing = static_cast<bool>(lock);
        thread = std::thread([this] { Run(); });
    }

    void Say(std::string_view line) const {
        if (options.onMessage) options.onMessage(line);
    }
    void Run();
    bool Open();
    void Handle(std::vector<HostSample>& round);
    void StoreRound(std::vector<HostSample>& round, int64_t now);
    void MaybePrune(int64_t now);

    StoreOptions options;
    FileDescriptor lock;
    std::string lockError;
    std::atomic<bool> storing{false};
    std::atomic<uint64_t> dropped{0};

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::vector<HostSample>> queue;
    uint64_t submitted = 0, handled = 0;
    size_t queuedSamples = 0;
    bool stopping = false;
    std::thread thread;

    // Writer thread only.
    std::optional<RoundWriter> writer;
    bool failing = false;
    int64_t retryAtMs = 0;
    std::optional<int64_t> prunedAtMs;
};

void SampleWriter::Impl::Run() {
    if (!storing) Say("sample history: " + lockError);
    if (storing) Open();
    std::unique_lock guard(mutex);
    for (;;) {
        changed.wait(guard, [this] { return stopping || !queue.empty(); });
        if (queue.empty()) return;
        std::vector<HostSample> round = std::move(queue.front());
        queue.pop_front();
        queuedSamples -= round.size();
        guard.unlock();
        Handle(round);
        guard.lock();
        ++handled;
        changed.notify_all();
    }
}

bool SampleWriter::Impl::Open() {
    OpenedStore opened = OpenStoreForWriting(options.file, [this](std::string_view l) { Say(l); });
    if (opened.db) {
        writer.emplace(std::move(opened.db));
        return true;
    }
    if (!failing) Say("sample history: cannot write " + opened.error + "; retrying each minute");
    failing = true;
    retryAtMs = options.nowMs() + kRetryMs;
    return false;
}

void SampleWriter::Impl::Handle(std::vector<HostSample>& round) {
    const int64_t now = options.nowMs();
    // While writes fail, rounds are dropped until the next minute's attempt.
    if (failing && now < retryAtMs) {
        dropped += round.size();
        return;
    }
    if (!writer && !Open()) {
        dropped += round.size();
        return;
    }
    StoreRound(round, now);
}

void SampleWriter::Impl::StoreRound(std::vector<HostSample>& round, int64_t now) {
    std::string error;
    if (!writer->Write(round, error)) {
        dropped += round.size();
        if (!failing)
            Say("sample history: cannot write " + options.file.string() + ": " + error +
                "; retrying each minute");
        failing = true;
        retryAtMs = now + kRetryMs;
        return;
    }
    if (failing) Say("sample history: writing " + options.file.string() + " again");
    failing = false;
    MaybePrune(now);
}

void SampleWriter::Impl::MaybePrune(int64_t now) {
    if (prunedAtMs && now - *prunedAtMs < kRetryMs) return;
    prunedAtMs = now;
    writer->Prune(now - options.keepRawDays * kDayMs,
                  (now - options.keepMinuteDays * kDayMs) / 60'000);
}

SampleWriter::SampleWriter(StoreOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

SampleWriter::~SampleWriter() {
    {
        std::lock_guard guard(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->changed.notify_all();
    impl_->thread.join();
}

bool SampleWriter::Submit(std::vector<HostSample> round) {
    if (!impl_->storing) return true;
    {
        std::lock_guard guard(impl_->mutex);
        const bool room = impl_->queue.empty() ||
                          (impl_->queue.size() < impl_->options.queueRounds &&
                           impl_->queuedSamples + round.size() <= impl_->options.queueSamples);
        if (room) {
            impl_->queuedSamples += round.size();
            impl_->queue.push_back(std::move(round));
            ++impl_->submitted;
            impl_->changed.notify_all();
            return true;
        }
    }
    impl_->dropped += round.size();
    return false;
}

uint64_t SampleWriter::DroppedSamples() const { return impl_->dropped; }

bool SampleWriter::Storing() const { return impl_->storing; }

void SampleWriter::Flush() {
    std::unique_lock guard(impl_->mutex);
    const uint64_t target = impl_->submitted;
    impl_->changed.wait(guard, [&] { return impl_->handled >= target; });
}

}  // namespace sondrel
