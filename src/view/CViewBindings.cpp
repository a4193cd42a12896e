#include "view/CViewBindings.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "view/CViewFrame.h"
#include "view/DesktopSettings.h"
#include "widgets/Commands.h"

using namespace sondrel;

CInputContext InputContextFor(MonitorSession& session, QWidget* parent, CViewFrame* frame,
                              std::function<std::vector<std::string>()> selectedRowTexts) {
    CInputContext ctx;
    ctx.parent = parent;
    ctx.hosts = &session.Hosts();
    ctx.postAdded = [&session](uint32_t address) { session.PostListAdded(address); };
    ctx.postRemoved = [&session](uint32_t address) { session.RemoveHost(address); };
    ctx.selectedRowTexts = std::move(selectedRowTexts);
    ctx.clearAll = [&session] { session.ClearAllHosts(); };
    ctx.updateCommands = [frame] {
        if (frame) frame->UpdateCommandUI();
    };
    ctx.setStatus = [frame](const QString& text) {
        if (frame == nullptr) return;
        QStatusBar* bar = frame->Window()->statusBar();
        text.isEmpty() ? bar->clearMessage() : bar->showMessage(text);
    };
    return ctx;
}

void ShowStatusText(CViewFrame* frame, const std::string& text) {
    if (frame) frame->Window()->statusBar()->showMessage(QString::fromStdString(text));
}

void ShowRepliesLost(CViewFrame* frame, uint64_t count) {
    ShowStatusText(frame, RepliesLostText(count));
}

void BindStoreToggle(CViewFrame& f, MonitorSession& session, DesktopSettings& settings) {
    f.OnCommand(ID_STORE_SAMPLES, [&f, &session, &settings] {
        settings.storeSamples = !settings.storeSamples;
        session.SetStoring(settings.storeSamples);
        f.UpdateCommandUI();
    });
    f.OnUpdateCommand(ID_STORE_SAMPLES, [&session, &settings](QAction* a) {
        a->setEnabled(session.CanStore());
        a->setChecked(session.CanStore() && settings.storeSamples);
    });
}

CDropSink DropSinkFor(QPointer<QWidget> owner, MonitorSession& session, CViewFrame* frame,
                      const DesktopSettings& settings) {
    CDropSink sink;
    sink.hosts = [owner, &session]() -> const HostTable* {
        return owner ? &session.Hosts() : nullptr;
    };
    sink.addHost = [owner, &session](uint32_t address, const std::string& name, bool named) {
        if (owner) session.AddHost(address, name, named);
    };
    sink.mainWindow = [owner, frame]() -> QWidget* {
        return owner && frame ? frame->Window() : nullptr;
    };
    sink.autoPopup = [owner, &settings] { return owner && settings.autoPopup; };
    sink.openListFile = [owner, frame](const QString& path) {
        // Opened once the drop has ended, so that a box cannot stall the drag source.
        QTimer::singleShot(0, owner.data(), [owner, frame, path] {
            if (owner && frame) frame->OpenListFile(path);
        });
    };
    sink.updateCommands = [owner, frame] {
        if (owner && frame) frame->UpdateCommandUI();
    };
    return sink;
}

void FillPopupMenu(QMenu& menu, const std::vector<MenuItem>& items,
                   const std::function<void(int)>& onCommand) {
    menu.clear();
    for (const MenuItem& item : items) {
        if (item.IsSeparator()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromLatin1(item.text));
        action->setEnabled(item.enabled);
        action->setData(item.id);
        QObject::connect(action, &QAction::triggered, &menu,
                         [onCommand, id = item.id] { onCommand(id); });
    }
}

void BindCommandStates(CViewFrame& f, const MonitorSession& s, const DesktopSettings& settings,
                       std::function<bool()> hasSelection, QPushButton* stopButton) {
    f.OnUpdateCommand(ID_START, [&s](QAction* a) { a->setEnabled(s.IsStopped()); });
    f.OnUpdateCommand(ID_STOP, [&s](QAction* a) { a->setEnabled(!s.IsStopped()); });
    f.OnUpdateCommand(ID_AUTO_START,
                      [&settings](QAction* a) { a->setChecked(settings.autoStart); });
    f.OnUpdateCommand(ID_AUTO_POPUP,
                      [&settings](QAction* a) { a->setChecked(settings.autoPopup); });
    // While a lookup's result is to come, nothing may change the list or replace it.
    const auto idle = [] { return !CInputCommands::LookupPending(); };
    for (const int id : {ID_ADD_ADDRESS, ID_ADD_GROUP, ID_IMPORT, ID_FILE_NEW, ID_FILE_OPEN})
        f.OnUpdateCommand(id, [idle](QAction* a) { a->setEnabled(idle()); });
    f.OnUpdateCommand(ID_DELETE_SELECTED, [hasSelection, idle](QAction* a) {
        a->setEnabled(hasSelection() && idle());
    });
    const auto states = [&s] { return ListCommandStatesFor(s.Addresses().size(), 0); };
    f.OnUpdateCommand(ID_DELETE_ADDRESS, [stopButton, idle, states](QAction* a) {
        a->setEnabled(states().deleteAddress && idle());
        stopButton->setEnabled(states().deleteAddress);
    });
    f.OnUpdateCommand(ID_DELETE_GROUP, [idle, states](QAction* a) {
        a->setEnabled(states().deleteGroup && idle());
    });
    f.OnUpdateCommand(ID_CLEAR_ALL,
                      [idle, states](QAction* a) { a->setEnabled(states().clearAll && idle()); });
}
