#pragma once
// The address commands of the main view: dialogs, lookups off the window thread, the rules
// of the core, and the messages they produce. The view's handlers call these with the
// context of the view (InputContextOf); tests give a context of their own.
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "input/ContextMenus.h"
#include "input/TypedAddress.h"
#include "model/HostTable.h"
#include "platform/Resolver.h"

class QDialog;
class QMenu;
class QWidget;
class CCorvelView;

struct CInputContext {
    QWidget* parent = nullptr;  // owner of the dialogs and boxes; the wait ends if it dies
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
};

// The context of the main view: its table, its messages, its rows, the frame's status bar.
CInputContext InputContextOf(CCorvelView& view);

namespace CInputCommands {

void AddAddress(const CInputContext& ctx);
void AddGroup(const CInputContext& ctx);
void DeleteAddress(const CInputContext& ctx);
void DeleteGroup(const CInputContext& ctx);
void DeleteSelected(const CInputContext& ctx);
void ClearAll(const CInputContext& ctx);
void ImportFromFile(const CInputContext& ctx);
void CopyAddress(const CInputContext& ctx);

// The key of a key press in the list that asks for "Delete selected address(es)".
bool IsDeleteSelectedKey(int qtKey, std::size_t selectedRows);

// Replaces the menu's content with the items; choosing one calls onCommand with its id.
void FillPopupMenu(QMenu& menu, const std::vector<sondrel::MenuItem>& items,
                   const std::function<void(int)>& onCommand);

// Filter of the import file chooser.
inline constexpr char kListFileFilter[] = "Sondrel files (*.ipl)";

// Runs work on a thread of its own while the window keeps repainting and shows that it is
// busy (cursor and status text); user input waits until it is done. False when the parent
// was destroyed meanwhile (the result must then not be applied).
bool RunWhileBusy(const CInputContext& ctx, const QString& status,
                  const std::function<void()>& work);

}  // namespace CInputCommands
