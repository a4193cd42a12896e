#pragma once
// The sample history: one writer thread that stores each round of ping results in an SQLite
// file, rolls complete minutes up and prunes old rows. Its users only hand rounds over.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/Sample.h"

namespace sondrel {

struct StorePathInputs {
    std::string sondrelDataDir;  // $SONDREL_DATA_DIR, empty when unset
    std::string xdgDataHome;     // $XDG_DATA_HOME, empty when unset
    std::string home;            // $HOME or the password database's home folder
};

// $SONDREL_DATA_DIR/samples.sqlite, else $XDG_DATA_HOME/sondrel/samples.sqlite (only when
// absolute), else ~/.local/share/sondrel/samples.sqlite.
std::filesystem::path DefaultStorePath(const StorePathInputs& in);
std::filesystem::path DefaultStorePath();

struct StoreOptions {
    std::filesystem::path file;
    int keepRawDays = 7, keepMinuteDays = 400;
    // The queue between the session and the writer is bounded in rounds and in samples: at a
    // million hosts 64 waiting rounds would hold 3 GB. A round is always taken when nothing
    // waits, however large.
    size_t queueRounds = 64;
    size_t queueSamples = size_t{1} << 21;            // about 100 MB
    std::function<void(std::string_view)> onMessage;  // one-line messages; on the writer thread
    std::function<int64_t()> nowMs;                   // null: system clock
};

class SampleWriter {
public:
    // Takes the file's lock here (so Storing() is known at once); opens it on the writer
    // thread. I/O faults become messages, never exceptions.
    explicit SampleWriter(StoreOptions options);
    // Drains the queue, commits and joins.
    ~SampleWriter();
    SampleWriter(const SampleWriter&) = delete;
    SampleWriter& operator=(const SampleWriter&) = delete;

    // Never blocks; false (and the samples counted as dropped) when the queue is full.
    bool Submit(std::vector<HostSample> round);
    // Samples dropped because the queue was full or the file could not be written.
    uint64_t DroppedSamples() const;
    // False when it runs without storing (the file is another process's).
    bool Storing() const;
    // Waits until everything submitted so far has been handled.
    void Flush();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sondrel
