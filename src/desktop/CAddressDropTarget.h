#pragma once
// Makes a widget accept dropped text (a link from a web browser, a bare address or name, a
// list file from a file manager) and adds the host it names to the main view's list, as a
// typed address is added. Lookups run off the window thread and the window stays usable;
// the host is added when the lookup ends, and further drops are refused until then.
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "desktop/DroppedHost.h"
#include "input/CInputCommands.h"
#include "input/TypedAddress.h"
#include "model/HostTable.h"
#include "platform/Resolver.h"

class QMimeData;
class QWidget;
class QEvent;

// What a drop needs from the main view.
struct CDropSink {
    // The view's host table (m_hosts), asked whether an address is listed already.
    std::function<const sondrel::HostTable*()> hosts;
    // Stores a new host and tells the view (HostAt, then WM_LIST_ADDED with the address).
    std::function<void(std::uint32_t address, const std::string& name, bool named)> addHost;
    // The main window, brought to the front for a duplicate and by Auto popup.
    std::function<QWidget*()> mainWindow;
    // The Auto popup setting.
    std::function<bool()> autoPopup;
    // Opens a dropped list file as the document.
    std::function<void(const QString& path)> openListFile;
    // Refreshes the enabled states of the main window's commands (a lookup began or ended).
    std::function<void()> updateCommands;
};

class CAddressDropTarget : public QObject {
    Q_OBJECT

public:
    CAddressDropTarget();
    ~CAddressDropTarget() override;

    void SetSink(CDropSink sink);
    // Accepts drops on the widget (on the viewport of a list or other scroll area).
    void Register(QWidget* widget);

    // How names and web addresses are looked up (the system's by default).
    void SetLookups(sondrel::Resolver* resolver, sondrel::UrlHostResolver resolveUrlHost);
    // The text a drop of this data carries, nullopt when it carries none.
    static std::optional<std::string> TextOf(const QMimeData* data);

    // The drop itself, for a text already taken from the data: a list file is opened, any
    // other text is looked up and its host added once the drop event has returned.
    void DropText(const std::string& text);

    // True while a drop or an address command is being looked up; drops are refused meanwhile.
    static bool Busy();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowMessage(const std::string& text);
    void BringMainWindowToFront();
    void UpdateCommands();
    void LookUp(const std::string& text,
                const std::shared_ptr<CInputCommands::CPendingLookup>& pending);
    void AddFound(const sondrel::TypedAddress& found);

    CDropSink m_sink;
    bool m_bDragHasText = false;  // decided when the drag entered
    sondrel::Resolver* m_resolver = nullptr;
    sondrel::UrlHostResolver m_resolveUrlHost;
};
