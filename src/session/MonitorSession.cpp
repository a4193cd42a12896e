#include "session/MonitorSession.h"

#include <arpa/inet.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <system_error>
#include <utility>

#include "engine/IcmpSocket.h"
#include "engine/PingThreads.h"
#include "model/ListFile.h"
#include "model/ReplyRules.h"
#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "session/IntervalInput.h"

namespace sondrel {
namespace {

// Something in the list file's place that is not a file (a FIFO, a device, a folder) is
// neither read nor replaced. Links are followed.
bool IsOtherThanRegularFile(const std::filesystem::path& path) {
    std::error_code ec;
    const auto type = std::filesystem::status(path, ec).type();
    return type != std::filesystem::file_type::not_found &&
           type != std::filesystem::file_type::regular && !ec;
}

// The events exist once per process; whoever comes first makes them.
NamedEvent OpenOrCreate(std::string_view name, NamedEvent::ResetMode mode, bool set) {
    NamedEvent event = NamedEvent::Open(name);
    return event ? std::move(event) : NamedEvent::Create(name, mode, set);
}

}  // namespace

MonitorSession::AddressGate::AddressGate(const MonitorSession& session)
    : gate_(session.modifyList_) {
    gate_.Wait();
}

MonitorSession::AddressGate::~AddressGate() { gate_.Set(); }

MonitorSession::MonitorSession(SessionSetup setup, SessionObserver& observer)
    : setup_(std::move(setup)),
      observer_(observer),
      historyFiles_(setup_.historyDir, setup_.historyLimits),
      storing_(setup_.storing),
      rings_(setup_.ringBudget) {
    using Mode = NamedEvent::ResetMode;
    stopPing_ = OpenOrCreate(kStopPingEvent, Mode::Manual, false);
    modifyList_ = OpenOrCreate(kModifyListEvent, Mode::Automatic, true);
    quitProgram_ = OpenOrCreate(kQuitProgramEvent, Mode::Manual, false);
    if (!setup_.keepHistory) return;
    // Only one monitor writes the folder: whatever history files are there were left by a
    // run that did not end normally.
    if (setup_.historyDirError.empty()) {
        historyFiles_.RemoveLeftovers();
    } else {
        historyFiles_.Fail(setup_.historyDirError);
    }
}

MonitorSession::~MonitorSession() {
    Shutdown();
    *alive_ = false;
}

void MonitorSession::Start() {
    if (started_ || shutDown_) return;
    started_ = true;
    SeedStartOffsets(TickCount());
    // Drops before this session began, by another that shared the socket, are not ours.
    if (setup_.socket) droppedSeen_ = setup_.socket->DroppedSoFar().value_or(0);
    OpenStore();
    StartReceiver();
    LoadDefaultList();
    ArmTimer(interval_);
    ReportHistoryState();
}

void MonitorSession::SetStoring(bool on) {
    storing_ = on;
    if (!started_ || shutDown_) return;
    on ? OpenStore() : CloseStore();
}

void MonitorSession::CloseStore() {
    if (!store_) return;
    // What the unfinished round has answered is kept; its silent hosts are not judged.
    if (!roundSamples_.empty()) store_->Submit(std::exchange(roundSamples_, {}));
    store_.reset();
}

void MonitorSession::OpenStore() {
    if (!setup_.store || !storing_ || store_) return;
    StoreOptions options = *setup_.store;
    // The writer speaks from its own thread: its lines reach the observer on the owner's.
    options.onMessage = [this, post = setup_.post,
                         alive = std::weak_ptr(alive_)](std::string_view line) {
        if (!post) return;
        post([this, alive, text = std::string(line)] {
            if (auto a = alive.lock(); a && *a) observer_.StoreNotice(text);
        });
    };
    store_ = std::make_unique<SampleWriter>(std::move(options));
    samplesDroppedSeen_ = 0;
}

void MonitorSession::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    stopPing_.Set();
    quitProgram_.Set();
    if (receiver_.joinable()) receiver_.join();
    ReapSenders(true);
    CloseStore();
    // The events outlive this session; a later one in the same process starts from scratch.
    quitProgram_.Reset();
    stopPing_.Reset();
    historyFiles_.DeleteAll();
    std::vector<Message> left;
    {
        std::lock_guard guard(inboxLock_);
        left.swap(inbox_);
    }
    for (const Message& m : left)
        if (m.kind == Message::Kind::EngineText) observer_.ErrorText(*m.text);
}

// --- Inbox --------------------------------------------------------------------------------

void MonitorSession::Post(Message message) {
    bool wasEmpty = false;
    {
        std::lock_guard guard(inboxLock_);
        wasEmpty = inbox_.empty();
        inbox_.push_back(std::move(message));
    }
    if (wasEmpty) AskOwner();
}

void MonitorSession::PostReplies(std::span<const EngineReply> replies) {
    bool wasEmpty = false;
    {
        std::lock_guard guard(inboxLock_);
        wasEmpty = inbox_.empty();
        for (const EngineReply& reply : replies) {
            if (setup_.discardPrimingReply && !primingSeen_ &&
                reply.host == htonl(INADDR_LOOPBACK)) {
                primingSeen_ = true;
                primed_.notify_all();
                continue;
            }
            Message m = Message::Of(Message::Kind::Reply);
            m.reply = reply;
            inbox_.push_back(std::move(m));
        }
        wasEmpty = wasEmpty && !inbox_.empty();
    }
    if (wasEmpty) AskOwner();
}

void MonitorSession::AskOwner() {
    if (!setup_.post) return;
    setup_.post([this, alive = std::weak_ptr(alive_)] {
        if (auto a = alive.lock(); a && *a) ProcessMessages();
    });
}

void MonitorSession::ProcessMessages() {
    std::vector<Message> taken;
    {
        std::lock_guard guard(inboxLock_);
        taken.swap(inbox_);
    }
    for (size_t i = 0; i < taken.size() && !shutDown_;) {
        // A list file's hosts arrive as a long run of adds: their rows are built in one pass.
        size_t run = i;
        while (run < taken.size() && taken[run].kind == Message::Kind::Added) ++run;
        if (run - i >= kBulkAddRun) {
            std::vector<uint32_t> addresses;
            addresses.reserve(run - i);
            for (; i < run; ++i) addresses.push_back(taken[i].address);
            OnListAddedMany(addresses);
            continue;
        }
        Handle(taken[i++]);
    }
    FlushChangedRows();
    // The next burst reuses this one's room rather than growing a fresh array again, as far
    // as a modest burst goes.
    taken.clear();
    if (taken.capacity() > kInboxRoomKept) return;
    std::lock_guard guard(inboxLock_);
    if (inbox_.empty()) inbox_.swap(taken);
}

bool MonitorSession::WaitForPrimingReply(int limitMs) {
    std::unique_lock guard(inboxLock_);
    return primed_.wait_for(guard, std::chrono::milliseconds(limitMs),
                            [this] { return primingSeen_; });
}

void MonitorSession::Handle(Message& m) {
    switch (m.kind) {
        case Message::Kind::Added:
            OnListAdded(m.address);
            break;
        case Message::Kind::Removed:
            OnListRemoved(m.address);
            break;
        case Message::Kind::Modified:
            OnListModified(m.change->entries, m.change->interval);
            break;
        case Message::Kind::Reply:
            OnEngineReply(m.reply);
            break;
        case Message::Kind::Timeout:
            OnPingTimeout();
            break;
        case Message::Kind::RoundNow:
            OnTimer();
            break;
        case Message::Kind::EngineText:
            observer_.ErrorText(*m.text);
            break;
    }
}

// --- Hosts --------------------------------------------------------------------------------

bool MonitorSession::AddHost(uint32_t address, const std::string& name, bool named) {
    if (hosts_.FindHost(address) != nullptr) return false;
    HostRecord& record = hosts_.HostAt(address);
    record.m_strName = name;
    record.m_bNamed = named ? 1 : 0;
    PostListAdded(address);
    return true;
}

void MonitorSession::PostListAdded(uint32_t address) {
    Post(Message::Of(Message::Kind::Added, address));
}

bool MonitorSession::RemoveHost(uint32_t address) {
    if (hosts_.FindHost(address) == nullptr) return false;
    Post(Message::Of(Message::Kind::Removed, address));
    return true;
}

void MonitorSession::PostListModified(std::vector<HostEntry> entries, uint32_t interval) {
    Message m = Message::Of(Message::Kind::Modified);
    m.change = std::make_unique<ListChange>(ListChange{std::move(entries), interval});
    Post(std::move(m));
}

void MonitorSession::ClearAllHosts() {
    {
        AddressGate gate(*this);
        UnlistAll();
    }
    observer_.RowsAboutToBeReset();
    rows_.Clear();
    changedFirst_ = changedLast_ = -1;
    observer_.RowsReset();
    historyFiles_.DeleteAll();
    hosts_.RemoveAllHosts();
    rings_.Clear();
    observer_.ListChanged();
}

std::optional<uint32_t> MonitorSession::AddressOfRow(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= rows_.Size()) return std::nullopt;
    const ListRow& shown = rows_.At(static_cast<size_t>(row));
    const HostRecord* record = const_cast<HostTable&>(hosts_).FindHost(shown.address);
    if (record == nullptr || DisplayText(shown.address, *record) != shown.text) return std::nullopt;
    return shown.address;
}

void MonitorSession::ListAddress(uint32_t address, HostRecord& record) {
    record.m_nSlot = static_cast<uint32_t>(addresses_.size());
    AppendAddress(addresses_, address);
    sendTimes_.Resize(addresses_.size());
}

void MonitorSession::UnlistAddress(uint32_t address) {
    const auto at = std::find(addresses_.begin(), addresses_.end(), address);
    if (at == addresses_.end()) return;
    const size_t place = static_cast<size_t>(at - addresses_.begin());
    addresses_.erase(at);
    // Every later host moved up one place: their send times no longer line up either.
    sendTimes_.Resize(0);
    sendTimes_.Resize(addresses_.size());
    for (size_t i = place; i < addresses_.size(); ++i) {
        if (HostRecord* record = hosts_.FindHost(addresses_[i]))
            record->m_nSlot = static_cast<uint32_t>(i);
    }
}

void MonitorSession::UnlistAll() {
    addresses_.clear();
    sendTimes_.Resize(0);
}

int MonitorSession::RowOf(uint32_t address, HostRecord& record) const {
    const std::string text = DisplayText(address, record);
    const int guess = record.m_nRow;
    if (guess >= 0 && rows_.FoundAt(static_cast<size_t>(guess), text)) return guess;
    record.m_nRow = rows_.Find(text);
    return record.m_nRow;
}

void MonitorSession::NoteRowsOfHosts() {
    for (size_t i = 0; i < rows_.Size(); ++i) {
        const ListRow& row = rows_.At(i);
        if (HostRecord* record = hosts_.FindHost(row.address))
            record->m_nRow = static_cast<int32_t>(i);
    }
}

bool MonitorSession::HasOwnRow(uint32_t address) const {
    // A rebuild from a list file posted before an add may have listed the host already;
    // listed twice, its address would be pinged twice and removed only once.
    const HostRecord* listed = const_cast<HostTable&>(hosts_).FindHost(address);
    if (listed == nullptr) return false;
    const int row = rows_.Find(DisplayText(address, *listed));
    return row >= 0 && rows_.At(static_cast<size_t>(row)).address == address;
}

void MonitorSession::NoteAdded(uint32_t address, HostRecord& record) {
    if (setup_.keepHistory) AppendHistoryEvent(record.m_history, StampNow(), kEventAdded);
    NoteEvent(HostEventKind::Added, address, record, StampNow(), kEventAdded);
}

void MonitorSession::OnListAdded(uint32_t address) {
    if (HasOwnRow(address)) return;
    HostRecord* record = nullptr;
    {
        AddressGate gate(*this);
        record = &hosts_.HostAt(address);
        ListAddress(address, *record);
        ListRow row{DisplayText(address, *record), {}, address};
        const int at = static_cast<int>(rows_.InsertionPoint(row.text));
        observer_.RowAboutToBeInserted(at);
        rows_.Insert(std::move(row));
        observer_.RowInserted(at);
    }
    NoteAdded(address, *record);
    observer_.ListChanged();
}

void MonitorSession::OnListAddedMany(std::span<const uint32_t> addresses) {
    if (addresses.size() < kBulkAddRun) {
        for (uint32_t address : addresses) OnListAdded(address);
        return;
    }
    // The hosts listed by this batch, in the order they first came. Until the rows are built
    // their records carry a mark in place of a row, so that a repeat is seen at once.
    constexpr int32_t kListedNow = -2;
    std::vector<uint32_t> listed;
    listed.reserve(addresses.size());
    std::vector<ListRow> rows;
    rows.reserve(addresses.size());
    {
        AddressGate gate(*this);
        for (uint32_t address : addresses) {
            const HostRecord* known = hosts_.FindHost(address);
            if (known != nullptr && (known->m_nRow == kListedNow || HasOwnRow(address))) continue;
            HostRecord& record = hosts_.HostAt(address);
            ListAddress(address, record);
            record.m_nRow = kListedNow;
            listed.push_back(address);
            rows.push_back({DisplayText(address, record), {}, address});
        }
        observer_.RowsAboutToBeReset();
        changedFirst_ = changedLast_ = -1;
        rows_.InsertMany(std::move(rows));
        NoteRowsOfHosts();
        observer_.RowsReset();
    }
    // Told in the order they came, as one add after another would have been.
    for (uint32_t address : listed) NoteAdded(address, hosts_.HostAt(address));
    observer_.ListChanged();
}

void MonitorSession::OnListRemoved(uint32_t address) {
    {
        AddressGate gate(*this);
        UnlistAddress(address);
    }
    rings_.Remove(address);
    HostRecord& record = hosts_.HostAt(address);
    historyFiles_.Delete(address);
    const int row = RowOf(address, record);
    if (row >= 0) {
        observer_.RowAboutToBeRemoved(row);
        rows_.Erase(static_cast<size_t>(row));
        changedFirst_ = changedLast_ = -1;
        observer_.RowRemoved(row);
    }
    observer_.HostRemoved(address);
    hosts_.RemoveHost(address);
    observer_.ListChanged();
}

void MonitorSession::OnListModified(const std::vector<HostEntry>& entries, uint32_t interval) {
    // A round in progress holds the gate; stop it so the rebuild does not wait for it.
    if (!stopped_) stopPing_.Set();
    {
        AddressGate gate(*this);
        observer_.RowsAboutToBeReset();
        rows_.Clear();
        changedFirst_ = changedLast_ = -1;
        UnlistAll();
        rings_.Clear();
        historyFiles_.DeleteAll();
        for (auto item : hosts_) observer_.HostRemoved(item.address);
        hosts_.RemoveAllHosts();
        const std::string& stamp = StampNow();
        std::vector<ListRow> rows;
        rows.reserve(entries.size());
        for (const HostEntry& entry : entries) {
            // A file that lists an address twice gives one host.
            if (hosts_.FindHost(entry.m_dwAddress) != nullptr) continue;
            HostRecord& record = hosts_.HostAt(entry.m_dwAddress);
            record = entry.m_record;
            ListAddress(entry.m_dwAddress, record);
            record.m_bReplied = 1;
            if (setup_.keepHistory) AppendHistoryEvent(record.m_history, stamp, kEventRebuilt);
            rows.push_back({DisplayText(entry.m_dwAddress, record), {}, entry.m_dwAddress});
        }
        rows_.InsertMany(std::move(rows));
        NoteRowsOfHosts();
        observer_.RowsReset();
    }
    if (!stopped_) stopPing_.Reset();
    // Not under the gate: the front-end may prompt about the interval, and a prompt runs an
    // event loop whose handlers may take the gate.
    observer_.ListReplaced(interval);
    observer_.ListChanged();
}

// --- Replies and timeouts -------------------------------------------------------------------

void MonitorSession::NoteEvent(HostEventKind kind, uint32_t address, HostRecord& record,
                               std::string_view stamp, std::string_view event) {
    // Nothing reads the history without files or a details window: keep memory flat.
    if (!setup_.keepHistory) record.m_history.clear();
    observer_.HostEvent(kind, address, record, WithoutLineEnd(stamp), WithoutLineEnd(event));
}

void MonitorSession::NoteChangedRow(int row) {
    if (row < 0) return;
    changedFirst_ = changedFirst_ < 0 ? row : std::min(changedFirst_, row);
    changedLast_ = std::max(changedLast_, row);
}

void MonitorSession::FlushChangedRows() {
    if (changedFirst_ < 0) return;
    const int first = changedFirst_;
    const int last = changedLast_;
    changedFirst_ = changedLast_ = -1;
    observer_.RowsChanged(first, last);
}

int64_t MonitorSession::SendTimeOf(const EngineReply& reply, const HostRecord& record) const {
    const size_t place = record.m_nSlot;
    if (place >= addresses_.size() || addresses_[place] != reply.host) return 0;
    return sendTimes_.At(place, reply.echoedTick);
}

void MonitorSession::OnEngineReply(const EngineReply& reply) {
    HostRecord* record = hosts_.FindHost(reply.host);
    if (record == nullptr) return;
    const uint32_t tickMs = TickDifference(reply.nowTick, reply.echoedTick);
    const int64_t sentNs = reply.IsEcho() ? SendTimeOf(reply, *record) : 0;
    const int64_t rttUs = PreciseRoundTripUs(sentNs, reply.receivedNs, tickMs);
    const auto shownUs = static_cast<int32_t>(std::min<int64_t>(rttUs, INT32_MAX));
    if (rttUs < 0) {
        ApplyPingReply(reply.host, *record, reply.Text());
    } else {
        // The text shows whole milliseconds of the precise time, cut, not rounded.
        EngineReply timed = reply;
        timed.nowTick = reply.echoedTick + static_cast<uint32_t>(rttUs / 1000);
        ApplyPingReply(reply.host, *record, timed.Text(), shownUs);
    }
    // An echo that answers no request of this round (the receiver's priming request, or one
    // of a round already judged) is no sample of it.
    if (!WantsSamples() || (reply.IsEcho() && sentNs == 0)) return;
    Sample sample;
    sample.timeMs = sentNs > 0 ? sentNs / 1'000'000 : roundStartMs_;
    sample.icmpType = reply.type;
    sample.icmpCode = reply.code;
    sample.ttl = reply.ttl;
    sample.rttUs = !reply.IsEcho() ? Sample::kLost
                   : rttUs >= 0    ? shownUs
                                   : static_cast<int32_t>(tickMs) * 1000;
    NoteSample(reply.host, sample);
}

bool MonitorSession::WantsSamples() const { return store_ != nullptr || setup_.ringBudget > 0; }

void MonitorSession::NoteSample(uint32_t address, const Sample& sample) {
    rings_.Add(address, sample);
    if (store_) roundSamples_.push_back({DottedQuad(address), sample});
}

void MonitorSession::SubmitRound(const std::vector<uint32_t>& lost) {
    if (!WantsSamples()) return;
    for (uint32_t address : lost) {
        Sample sample;
        sample.timeMs = judgedStartMs_;
        NoteSample(address, sample);
    }
    if (!store_) return;
    if (!roundSamples_.empty()) store_->Submit(std::exchange(roundSamples_, {}));
    roundSamples_.reserve(addresses_.size());  // one growth a round, not a dozen
    const uint64_t dropped = store_->DroppedSamples();
    if (dropped == samplesDroppedSeen_) return;
    observer_.StoreNotice(std::to_string(dropped - samplesDroppedSeen_) +
                          " samples not stored: the history store is behind or failing");
    samplesDroppedSeen_ = dropped;
}

void MonitorSession::OnPingReply(uint32_t address, std::string_view text, int32_t rttUs) {
    if (HostRecord* record = hosts_.FindHost(address))
        ApplyPingReply(address, *record, text, rttUs);
}

void MonitorSession::ApplyPingReply(uint32_t address, HostRecord& record, std::string_view text,
                                    int32_t rttUs) {
    if (rttUs >= 0) record.m_nLastRttUs = rttUs;
    ++repliesApplied_;
    const int row = RowOf(address, record);
    std::optional<std::string_view> rowTime;
    std::string shownTime;
    if (row >= 0) {
        shownTime = rows_.At(static_cast<size_t>(row)).results.TimeText();
        rowTime = shownTime;
    }
    ReplyOutcome outcome = ApplyReply(record, text, rowTime, StampNow(), setup_.keepHistory);
    if (!outcome.rowChanged) {
        if (!setup_.keepHistory) record.m_history.clear();
        return;
    }
    rows_.At(static_cast<size_t>(row)).results = outcome.results;
    NoteChangedRow(row);
    NoteEvent(HostEventKind::Reply, address, record, outcome.stamp, outcome.event);
}

void MonitorSession::ReportRepliesLost() {
    const std::optional<uint32_t> dropped =
        setup_.socket ? setup_.socket->DroppedSoFar() : std::nullopt;
    if (!dropped) return;
    const uint32_t fresh = *dropped - droppedSeen_;  // modulo 2^32, as the counter wraps
    droppedSeen_ = *dropped;
    if (fresh == 0) return;
    repliesLostTotal_ += fresh;
    observer_.RepliesLost(fresh);
}

void MonitorSession::OnPingTimeout() {
    // Told even when the list was emptied meanwhile: the replies were lost all the same.
    ReportRepliesLost();
    if (hosts_.IsEmpty()) return;
    const std::string stamp = StampNow();
    const std::vector<uint32_t> reported = TimeoutPass(
        hosts_,
        [this](uint32_t address, HostRecord& record) { return RowOf(address, record) >= 0; },
        stamp);
    for (uint32_t address : reported) {
        HostRecord* record = hosts_.FindHost(address);
        if (record == nullptr) continue;
        const int row = RowOf(address, *record);
        if (row >= 0) {
            rows_.At(static_cast<size_t>(row)).results = RowResults::TimedOut();
            NoteChangedRow(row);
        }
        NoteEvent(HostEventKind::Timeout, address, *record, stamp, kEventTimeout);
    }
    FlushChangedRows();
    SubmitRound(reported);
    observer_.RoundJudged();
}

// --- Rounds, run state and interval
// -----------------------------------------------------------

void MonitorSession::OnTimer() {
    if (stopped_ || addresses_.empty() || shutDown_) return;
    // The pass is posted, so it runs after the replies already waiting and before any
    // reply to the requests sent now.
    Post(Message::Of(Message::Kind::Timeout));
    judgedStartMs_ = roundStartMs_;
    roundStartMs_ = WallClockNs() / 1'000'000;
    if (setup_.socket) setup_.socket->EnsureReceiveBuffer(addresses_.size());
    StartSender();
    CountRoundSent(hosts_);
    observer_.RoundStarted();
    KeepUpWithHistory();
}

void MonitorSession::KeepUpWithHistory() {
    // A busy window seldom goes idle, and a round gives every host one more event: each round
    // flushes at least what a round adds (a host is flushed at a hundred lines, fifty events),
    // twice over to catch up, so held lines stay bounded however long the list.
    const size_t hosts = static_cast<size_t>(hosts_.GetHostCount());
    for (size_t step = 0, steps = 16 + hosts / 25; step < steps; ++step) {
        if (!IdleFlushStep()) break;
    }
}

void MonitorSession::PostEngineText(std::string text) {
    Message m = Message::Of(Message::Kind::EngineText);
    m.text = std::make_unique<std::string>(std::move(text));
    Post(std::move(m));
}

void MonitorSession::PostTimeoutPass() { Post(Message::Of(Message::Kind::Timeout)); }

void MonitorSession::StartReceiver() {
    if (!setup_.socket) return;
    handover_ = std::make_unique<ReplyHandover>(
        [this](std::span<const EngineReply> replies) { PostReplies(replies); });
    ErrorSink onError = [this](std::string text) { PostEngineText(std::move(text)); };
    receiver_ = std::thread([socket = setup_.socket, handover = handover_.get(), onError] {
        PingReceiverThread(socket, handover->Sink(), onError, handover);
    });
}

void MonitorSession::StartSender() {
    // A run of days starts a sender every interval: finished ones are reaped, not hoarded.
    ReapSenders(false);
    if (!setup_.socket) return;
    auto done = std::make_shared<std::atomic<bool>>(false);
    ErrorSink onError = [this](std::string text) { PostEngineText(std::move(text)); };
    std::thread thread([socket = setup_.socket, addresses = &addresses_, times = &sendTimes_,
                        handover = handover_.get(), onError, done] {
        PingSenderThread(socket, addresses, times, onError, handover);
        done->store(true);
    });
    senders_.push_back(Sender{std::move(thread), std::move(done)});
}

void MonitorSession::ReapSenders(bool all) {
    std::erase_if(senders_, [all](Sender& s) {
        if (!all && !s.done->load()) return false;
        if (s.thread.joinable()) s.thread.join();
        return true;
    });
}

void MonitorSession::Stop() {
    if (stopped_) return;
    stopped_ = true;
    stopPing_.Set();
}

void MonitorSession::Resume() {
    if (!stopped_) return;
    stopped_ = false;
    stopPing_.Reset();
}

void MonitorSession::ArmTimer(uint32_t seconds) {
    if (setup_.armTimer) setup_.armTimer(seconds);
    intervalInForce_ = seconds;
}

void MonitorSession::ApplyInterval(uint32_t seconds) {
    interval_ = seconds;
    if (!IsUsableInterval(interval_)) {
        interval_ = intervalInForce_;
        return;
    }
    if (interval_ == intervalInForce_) return;
    ArmTimer(interval_);
    Post(Message::Of(Message::Kind::RoundNow));
}

// --- default.ipl and history ----------------------------------------------------------------

void MonitorSession::LoadDefaultList() {
    const std::filesystem::path& path = setup_.defaultList;
    if (path.empty()) return;
    if (IsOtherThanRegularFile(path)) {
        defaultListRefused_ = true;
        observer_.ErrorText(path.string() +
                            ": not a regular file\nIt is left alone: the list is not saved there "
                            "at exit.");
        return;
    }
    ListLoadStatus status = ReadDefaultList(path, hosts_);
    if (status.interval && IsUsableInterval(*status.interval)) interval_ = *status.interval;
    for (uint32_t address : status.added) PostListAdded(address);
    if (status.kind == ListLoadStatus::Kind::Damaged ||
        status.kind == ListLoadStatus::Kind::Unreadable) {
        std::string text = status.message;
        if (text.empty()) text = path.string() + " could not be read.";
        text += "\n" + std::to_string(status.added.size()) + " host(s) were kept.";
        observer_.ErrorText(text);
    }
}

bool MonitorSession::SaveDefaultList(std::string& message) {
    const std::filesystem::path& path = setup_.defaultList;
    if (path.empty() || defaultListRefused_) return true;
    std::string why;
    if (WriteDefaultList(path, interval_, hosts_, why)) return true;
    message = "The list could not be saved to " + path.string() + ".\n" + why;
    return false;
}

bool MonitorSession::IdleFlushStep() {
    if (shutDown_ || !setup_.keepHistory) return false;
    historyFiles_.SetHostCount(static_cast<size_t>(hosts_.GetHostCount()));
    const bool more = FlushStep(hosts_, flushPass_, historyFiles_.Writer());
    ReportHistoryState();
    return more;
}

void MonitorSession::ReportHistoryState() {
    // Without history files there is nothing to fail: the empty folder is no fault then.
    if (!setup_.keepHistory) return;
    const bool failing = historyFiles_.Failing();
    if (failing == historyShownFailing_) return;
    historyShownFailing_ = failing;
    const std::string why = failing ? historyFiles_.Failure() : std::string();
    observer_.HistoryStateChanged(failing, why);
    if (!failing || historyReported_) return;
    historyReported_ = true;
    observer_.ErrorText("History files cannot be written: " + why +
                        "\nThe newest events of each host are kept in memory, the oldest "
                        "dropped; writing is tried again every minute.");
}

std::string RepliesLostText(uint64_t count) {
    return std::to_string(count) + " replies lost: receive buffer full";
}

const std::string& MonitorSession::StampNow() {
    // One local-time conversion per second is plenty: a round of thousands of replies
    // arrives within the same second.
    const long now = static_cast<long>(std::time(nullptr));
    if (now != stampSecond_) {
        stampSecond_ = now;
        stamp_ = TimeStampNow();
    }
    return stamp_;
}

}  // namespace sondrel
