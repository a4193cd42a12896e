#pragma once
// What a front-end hears from the monitor session. Every call comes on the session's owner
// thread, from inside a session call or from ProcessMessages(); none may call back into the
// session's row-changing functions while a row change is being announced.
#include <cstdint>
#include <string>
#include <string_view>

#include "model/HostRecord.h"

namespace sondrel {

enum class HostEventKind { Added, Reply, Timeout };

class SessionObserver {
public:
    virtual ~SessionObserver() = default;

    // Structural row changes, announced before and after, so that a view keeps its indexes.
    virtual void RowAboutToBeInserted(int /*row*/) {}
    virtual void RowInserted(int /*row*/) {}
    virtual void RowAboutToBeRemoved(int /*row*/) {}
    virtual void RowRemoved(int /*row*/) {}
    virtual void RowsAboutToBeReset() {}
    virtual void RowsReset() {}
    // The result columns of rows first..last changed: one call per batch of replies and one
    // per timeout pass.
    virtual void RowsChanged(int /*first*/, int /*last*/) {}

    // An event entered in a host's history: added, a reply or error text, a timeout. The
    // stamp and event are without their line ends.
    // For a reply the record's statistics are already updated.
    virtual void HostEvent(HostEventKind /*kind*/, uint32_t /*address*/,
                           const HostRecord& /*record*/, std::string_view /*stamp*/,
                           std::string_view /*event*/) {}
    // The host is about to leave the table.
    virtual void HostRemoved(uint32_t /*address*/) {}

    // A round began: every host's sent count went up by one.
    virtual void RoundStarted() {}
    // The timeout pass that judges a round has run.
    virtual void RoundJudged() {}
    // Just before that pass is judged: replies the kernel threw away since the last pass
    // because our receive buffer was full. Their hosts time out all the same, since nobody
    // can tell whose they were; RepliesLostText() says so.
    virtual void RepliesLost(uint64_t /*count*/) {}
    // Hosts entered or left the list (commands' states follow the count).
    virtual void ListChanged() {}
    // A list file's hosts replaced the list; its interval is for the front-end to apply as
    // if typed.
    virtual void ListReplaced(uint32_t /*interval*/) {}

    // A text the user must see: engine errors, default.ipl problems, history trouble.
    virtual void ErrorText(const std::string& /*text*/) {}
    // History files started or stopped failing; `why` is empty when they work again.
    virtual void HistoryStateChanged(bool /*failing*/, const std::string& /*why*/) {}
    // One line about the sample store (a file moved aside, writes failing or working again,
    // samples that could not be stored): for a status line, never a box.
    virtual void StoreNotice(const std::string& /*text*/) {}
};

}  // namespace sondrel
