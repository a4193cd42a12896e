#pragma once
// The address commands of the main view: dialogs, lookups off the window thread, the rules
// of the core, and the messages they produce. The view's handlers call these with the
// context the view builds; tests give a context of their own.
//
// A lookup leaves the window usable: its result is applied when it comes. Meanwhile the
// commands that change the list or replace the document are refused and shown disabled, so
// that nothing done during the lookup lands on a list the result does not expect.
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "input/TypedAddress.h"
#include "model/HostTable.h"
#include "platform/Resolver.h"

class QDialog;
class QMenu;
class QWidget;

struct CInputContext {
    QWidget* parent = nullptr;  // owner of the dialogs and boxes; a lookup's result dies with it
    sondrel::HostTable* hosts = nullptr;
    std::function<void(uint32_t)> postAdded;                     // WM_LIST_ADDED
    std::function<void(uint32_t)> postRemoved;                   // WM_LIST_REMOVED
    std::function<std::vector<std::string>()> selectedRowTexts;  // column 0, row order
    std::function<void()> clearAll;
    std::function<void(const QString&)> setStatus;  // busy text; empty text: back to idle

    // Stand-ins for tests; empty means the real thing.
    sondrel::Resolver* resolver = nullptr;
    sondrel::UrlHostResolver resolveUrlHost;
    std::function<int(QDialog&)> execDialog;
    std::function<QString()> chooseImportFile;

    std::function<void()> updateCommands;  // enabled states of the frame's commands
};

namespace CInputCommands {

void AddAddress(const CInputContext& ctx);
void AddGroup(const CInputContext& ctx);
void DeleteAddress(const CInputContext& ctx);
void DeleteGroup(const CInputContext& ctx);
void DeleteSelected(const CInputContext& ctx);
void ClearAll(const CInputContext& ctx);
void ImportFromFile(const CInputContext& ctx);
void CopyAddress(const CInputContext& ctx);

// True while a lookup of a command or of a drop has a result to come. The commands that
// change the list or replace the document refuse to run meanwhile.
bool LookupPending();

// Marks a lookup as pending, with the busy cursor, from construction until Release (or
// destruction, when the result is dropped). The owner refreshes the commands' states after
// either.
class CPendingLookup {
public:
    CPendingLookup();
    ~CPendingLookup();
    CPendingLookup(const CPendingLookup&) = delete;
    CPendingLookup& operator=(const CPendingLookup&) = delete;
    void Release();

private:
    bool m_pending = true;
};

}  // namespace CInputCommands
