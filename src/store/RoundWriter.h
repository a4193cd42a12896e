#pragma once
// Writes rounds into an open sample database: one transaction per round, with the roll-ups
// of the minutes the round completes. Used by the writer thread alone.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/Sample.h"
#include "store/SampleBlob.h"
#include "store/Sqlite.h"

namespace sondrel {

class RoundWriter {
public:
    explicit RoundWriter(sql::Db db);
    // False, with the reason, when the round was not stored (nothing of it is then kept).
    bool Write(std::span<const HostSample> round, std::string& error);
    // Deletes raw minutes that ended by rawBeforeMs and roll-ups of minutes before
    // minuteBefore.
    bool Prune(int64_t rawBeforeMs, int64_t minuteBefore);

private:
    bool Prepared() const;
    bool LoadHosts();
    int64_t HostId(const std::string& address);
    bool InsertRound(int64_t timeMs, const std::string& blob);
    bool RollUp(int64_t untilMinute);
    bool StoreMinute(int64_t host, int64_t minute, std::vector<Sample>& samples);
    void LoadPending();
    bool Fail(std::string& error);

    sql::Db db_;
    sql::Statement insertRound_, selectRound_, updateRound_, insertHost_, selectRounds_,
        deleteRounds_, insertRaw_, selectRaw_, updateRaw_, insertMinute_, pruneRaw_, pruneMinutes_;
    std::unordered_map<std::string, int64_t> hostIds_;
    bool hostsLoaded_ = false;
    std::optional<int64_t> pendingFrom_;  // minute of the oldest sample in rounds, or earlier
    std::string blob_;                    // reused between rounds
};

}  // namespace sondrel
