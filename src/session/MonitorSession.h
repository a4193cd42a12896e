#pragma once
// A running monitor without any front-end: the host table, the address array the senders
// walk (behind the modify_list gate), the rows, the engine's threads, rounds, replies and
// timeouts, list changes, default.ipl and the history files. The window and the console
// drive it alike; it tells them what changed through a SessionObserver.
//
// Threads: everything here runs on one owner thread except the engine's threads, whose
// replies and error texts wait in the session's inbox. The inbox also carries the list
// messages, so that they are handled in the order they were posted, between replies, as
// a window's message queue would. When the inbox turns non-empty the session asks the
// owner, through the injected `post`, to call ProcessMessages() soon.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/Datagram.h"
#include "engine/ReplyHandover.h"
#include "engine/SendTimes.h"
#include "model/AddressArray.h"
#include "model/History.h"
#include "model/HostRecord.h"
#include "model/HostTable.h"
#include "platform/NamedEvent.h"
#include "session/IntervalInput.h"
#include "session/RowStore.h"
#include "session/SampleRings.h"
#include "session/SessionObserver.h"
#include "store/SampleStore.h"

namespace sondrel {

class IcmpSocket;

// Runs a task on the session's owner thread; callable from any thread.
using PostToOwner = std::function<void(std::function<void()> task)>;

struct SessionSetup {
    std::shared_ptr<const IcmpSocket> socket;  // null: the engine could not start
    std::filesystem::path defaultList;         // empty: no default.ipl
    // History files: kept when keepHistory is set, in historyDir; a front-end that reads no
    // history (the console) keeps none, and each event is dropped once reported.
    bool keepHistory = false;
    std::filesystem::path historyDir;
    std::string historyDirError;  // why that folder cannot be used
    HistoryLimits historyLimits;
    // The front-end's interval timer: (re)armed with a period in seconds.
    std::function<void(uint32_t seconds)> armTimer;
    PostToOwner post;
    // The receiver's first request goes to 127.0.0.1 only to prove the socket; a front-end
    // that shows nothing before its first round may throw that answer away.
    bool discardPrimingReply = false;
    // The sample history: stored when set (the file, retention); kept in memory for live
    // views within ringBudget bytes (0: no rings).
    std::optional<StoreOptions> store;
    bool storing = true;  // whether a session with a store stores from the start
    size_t ringBudget = 0;
};

class MonitorSession {
public:
    MonitorSession(SessionSetup setup, SessionObserver& observer);
    // Shutdown() if it has not run.
    ~MonitorSession();
    MonitorSession(const MonitorSession&) = delete;
    MonitorSession& operator=(const MonitorSession&) = delete;

    // First set-up, once: the receiver, default.ipl, the timer.
    void Start();
    // Teardown, once: stops and joins the engine's threads, deletes the history files (the
    // front-end saves default.ipl first, as it tells of a failure its own way). Error texts the
    // engine left in the inbox still reach the observer; replies do not.
    void Shutdown();
    bool IsShutDown() const { return shutDown_; }

    // Handles what waits in the inbox. The owner calls it when asked through `post`.
    void ProcessMessages();
    // Waits (at most limitMs) until the receiver's priming answer has come and been thrown
    // away. False when it did not come in time.
    bool WaitForPrimingReply(int limitMs);

    // --- Hosts ---------------------------------------------------------------------------
    HostTable& Hosts() { return hosts_; }
    const HostTable& Hosts() const { return hosts_; }
    const AddressArray& Addresses() const { return addresses_; }
    const RowStore& Rows() const { return rows_; }

    // Holds the modify_list gate for its lifetime: while it lives no sender reads the array.
    class AddressGate {
    public:
        explicit AddressGate(const MonitorSession& session);
        ~AddressGate();
        AddressGate(const AddressGate&) = delete;
        AddressGate& operator=(const AddressGate&) = delete;

    private:
        const NamedEvent& gate_;
    };

    // Stores a fresh record with the name and flag and posts the list-added message. False
    // (nothing changed) when the address is already in the table.
    bool AddHost(uint32_t address, const std::string& name, bool named);
    // Posts the list-added message for a record already stored in the table.
    void PostListAdded(uint32_t address);
    // Posts the list-removed message for a host of the table; false when it is not there.
    bool RemoveHost(uint32_t address);
    // Posts the message that replaces the whole list with these entries and the interval.
    void PostListModified(std::vector<HostEntry> entries, uint32_t interval);
    // Rows, array (under the gate), table and history files cleared at once.
    void ClearAllHosts();

    // The host a row was made for, while the row still shows that host's display text.
    std::optional<uint32_t> AddressOfRow(int row) const;
    int FindRow(std::string_view text) const { return rows_.Find(text); }

    // --- Rounds, run state and interval ------------------------------------------------------
    // A tick of the interval timer: a round starts unless stopped, empty or shut down.
    void OnTimer();
    // Posts the timeout pass alone, that judges the last round without starting another.
    void PostTimeoutPass();
    void Stop();
    void Resume();
    bool IsStopped() const { return stopped_; }
    // The interval asked for, and the one the timer was last armed with.
    uint32_t Interval() const { return interval_; }
    uint32_t IntervalInForce() const { return intervalInForce_; }
    // Takes an interval as the box does: an unusable one gives way to the one in force; one
    // that differs from it re-arms the timer and starts a round at once.
    void ApplyInterval(uint32_t seconds);
    // The interval Start() arms the timer with, when it is usable; no round is started.
    void SetInitialInterval(uint32_t seconds) {
        if (!started_ && IsUsableInterval(seconds)) interval_ = seconds;
    }
    // Forgets an interval that was asked for but not taken.
    void KeepIntervalInForce() { interval_ = intervalInForce_; }

    // --- default.ipl and history ----------------------------------------------------------
    // Writes default.ipl now. False with the reason in `message` when it could not.
    bool SaveDefaultList(std::string& message);
    const std::filesystem::path& DefaultListPath() const { return setup_.defaultList; }
    // One idle step of history flushing: true while more is to do.
    bool IdleFlushStep();
    const HistoryFiles& History() const { return historyFiles_; }
    // Tells the observer when the history files start or stop failing (once, the first time).
    void ReportHistoryState();

    // --- The messages, by the names their handlers have in the window ---------------------
    void OnListAdded(uint32_t address);
    // Many list-added messages at once, handled as one after another would be; from
    // kBulkAddRun on, the rows are built in one pass (a view is then reset rather than told
    // row by row).
    void OnListAddedMany(std::span<const uint32_t> addresses);
    void OnListRemoved(uint32_t address);
    void OnListModified(const std::vector<HostEntry>& entries, uint32_t interval);
    void OnPingReply(uint32_t address, std::string_view text, int32_t rttUs = -1);
    void OnPingTimeout();

    size_t RepliesApplied() const { return repliesApplied_; }
    // The latest samples of each host, for live views (as far as the ring budget reaches).
    const SampleRings& Rings() const { return rings_; }
    // The sample store, or null when samples are not stored.
    const SampleWriter* Store() const { return store_.get(); }
    // Turns storing on or off while running (it starts with Start()); only a session set up
    // with a store can store.
    void SetStoring(bool on);
    bool CanStore() const { return setup_.store.has_value(); }
    // Every reply our own receive buffer dropped since Start(), apart from the hosts' losses.
    uint64_t RepliesLostTotal() const { return repliesLostTotal_; }

private:
    // A million replies a round wait here: a reply is its numbers, and the rare texts and
    // list changes sit behind pointers so that they cost a reply nothing.
    struct ListChange {
        std::vector<HostEntry> entries;
        uint32_t interval = 0;
    };
    struct Message {
        enum class Kind : uint8_t {
            Added,
            Removed,
            Modified,
            Reply,
            Timeout,
            RoundNow,
            EngineText
        };
        Kind kind;
        uint32_t address = 0;                // Added, Removed
        EngineReply reply;                   // Reply
        std::unique_ptr<std::string> text;   // EngineText
        std::unique_ptr<ListChange> change;  // Modified
        static Message Of(Kind kind, uint32_t address = 0) { return {kind, address, {}, {}, {}}; }
    };
    static constexpr size_t kBulkAddRun = 256;
    static constexpr size_t kInboxRoomKept = 65536;  // messages

    void Post(Message message);
    void PostReplies(std::span<const EngineReply> replies);
    // Asks the owner, through `post`, to handle the inbox soon.
    void AskOwner();
    // The address array changes only through these, under the gate, so that each host's
    // place and the send times follow it.
    void ListAddress(uint32_t address, HostRecord& record);
    void UnlistAddress(uint32_t address);
    void UnlistAll();
    // Applies an engine reply: its round-trip time to the microsecond when the request's own
    // send time and the kernel's receive time agree with the ticks it carried.
    void OnEngineReply(const EngineReply& reply);
    // When the request this echo answers left: 0 when not known (see SendTimes).
    int64_t SendTimeOf(const EngineReply& reply, const HostRecord& record) const;
    void NoteSample(uint32_t address, const Sample& sample);
    bool WantsSamples() const;
    void PostEngineText(std::string text);
    void OpenStore();
    void CloseStore();
    void SubmitRound(const std::vector<uint32_t>& lost);
    bool HasOwnRow(uint32_t address) const;
    // The host's row by its text, as FindRow finds it, trying the row it had last first.
    int RowOf(uint32_t address, HostRecord& record) const;
    // Every host learns its row after the rows were built at once.
    void NoteRowsOfHosts();
    void ApplyPingReply(uint32_t address, HostRecord& record, std::string_view text,
                        int32_t rttUs = -1);
    void NoteAdded(uint32_t address, HostRecord& record);

    void Handle(Message& message);
    void StartReceiver();
    void StartSender();
    void ReapSenders(bool all);
    void LoadDefaultList();
    void ArmTimer(uint32_t seconds);
    void NoteEvent(HostEventKind kind, uint32_t address, HostRecord& record, std::string_view stamp,
                   std::string_view event);
    void NoteChangedRow(int row);
    void FlushChangedRows();
    void ReportRepliesLost();
    // Flushing that does not wait for idle time, enough for what one round adds.
    void KeepUpWithHistory();
    const std::string& StampNow();

    SessionSetup setup_;
    SessionObserver& observer_;
    bool started_ = false;
    bool shutDown_ = false;
    bool stopped_ = false;
    uint32_t interval_ = kDefaultInterval;
    uint32_t intervalInForce_ = 0;
    bool defaultListRefused_ = false;  // default.ipl is no regular file: never replaced

    NamedEvent modifyList_;
    NamedEvent stopPing_;
    NamedEvent quitProgram_;

    // The inbox. `alive_` lets a posted request outlive the session harmlessly.
    std::mutex inboxLock_;
    std::condition_variable primed_;
    std::vector<Message> inbox_;
    bool primingSeen_ = false;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);

    std::unique_ptr<ReplyHandover> handover_;  // lives as long as the engine's threads
    std::thread receiver_;
    struct Sender {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Sender> senders_;

    AddressArray addresses_;
    HostTable hosts_;
    RowStore rows_;
    int changedFirst_ = -1;  // rows changed since the last RowsChanged
    int changedLast_ = -1;
    HistoryFiles historyFiles_;
    FlushPass flushPass_;
    bool historyReported_ = false;
    bool historyShownFailing_ = false;
    size_t repliesApplied_ = 0;
    uint32_t droppedSeen_ = 0;  // the socket's drop counter at the last pass
    uint64_t repliesLostTotal_ = 0;
    long stampSecond_ = -1;
    std::string stamp_;

    SendTimes sendTimes_;        // by place in addresses_
    int64_t roundStartMs_ = 0;   // wall clock at the latest round's start
    int64_t judgedStartMs_ = 0;  // … and at the start of the round the next pass judges
    std::vector<HostSample> roundSamples_;
    std::unique_ptr<SampleWriter> store_;
    bool storing_;
    SampleRings rings_;
    uint64_t samplesDroppedSeen_ = 0;
};

// "N replies lost: receive buffer full", for both front-ends.
std::string RepliesLostText(uint64_t count);

}  // namespace sondrel
