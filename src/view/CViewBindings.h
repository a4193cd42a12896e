#pragma once
// The small interfaces the list commands and the drop targets are handed: built from the
// session and the window around it, so that neither the commands nor the drops know the view.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "desktop/CAddressDropTarget.h"
#include "input/CInputCommands.h"
#include "session/MonitorSession.h"
#include "view/ContextMenus.h"
#include "view/DesktopSettings.h"

class CViewFrame;
class QMenu;
class QPushButton;

// The commands' context: the session's table and list messages, the selected rows' texts,
// the frame's status bar and command states.
CInputContext InputContextFor(sondrel::MonitorSession& session, QWidget* parent, CViewFrame* frame,
                              std::function<std::vector<std::string>()> selectedRowTexts);

// A drop's sink. Everything it does checks first that `owner` (the view, which owns the
// session) is still there.
CDropSink DropSinkFor(QPointer<QWidget> owner, sondrel::MonitorSession& session, CViewFrame* frame,
                      const DesktopSettings& settings);

// Replaces the menu's content with the items; choosing one calls onCommand with its id.
void FillPopupMenu(QMenu& menu, const std::vector<sondrel::MenuItem>& items,
                   const std::function<void(int)>& onCommand);

// How the frame decides the enabled and checked states of the run, option and list commands.
// The Stop button follows "Delete an address".
void BindCommandStates(CViewFrame& frame, const sondrel::MonitorSession& session,
                       const DesktopSettings& settings, std::function<bool()> hasSelection,
                       QPushButton* stopButton);

// Replies our own socket dropped, said once per round in the status bar; the text stays
// until the next status text replaces it.
void ShowRepliesLost(CViewFrame* frame, uint64_t count);
// A line for the status bar (the sample store's notices).
void ShowStatusText(CViewFrame* frame, const std::string& text);
// Run > Store samples: the setting and the session follow each click; the entry is grayed
// when the session was set up without a store.
void BindStoreToggle(CViewFrame& frame, sondrel::MonitorSession& session,
                     DesktopSettings& settings);
