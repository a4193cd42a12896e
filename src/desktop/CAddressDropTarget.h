#pragma once
// Makes a widget accept dropped text (a link from a web browser, a bare address or name, a
// list file from a file manager) and adds the host it names to the main view's list, as a
// typed address is added. Lookups run off the window thread; the window keeps repainting
// and handling replies meanwhile, and user input waits until the drop is decided.
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "desktop/DroppedHost.h"
#include "input/TypedAddress.h"
#include "model/HostTable.h"
#include "platform/Resolver.h"

class QMimeData;
class QWidget;
class QEvent;
class CCorvelView;

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
};

class CAddressDropTarget : public QObject {
    Q_OBJECT

public:
    CAddressDropTarget();
    ~CAddressDropTarget() override;

    void SetSink(CDropSink sink);
    // The main view as the receiver of the hosts; its frame is the main window.
    void SetView(CCorvelView* view);
    // Accepts drops on the widget (on the viewport of a list or other scroll area).
    void Register(QWidget* widget);

    // How names and web addresses are looked up (the system's by default).
    void SetLookups(sondrel::Resolver* resolver, sondrel::UrlHostResolver resolveUrlHost);
    // The text a drop of this data carries, nullopt when it carries none.
    static std::optional<std::string> TextOf(const QMimeData* data);

    // The drop itself, for a text already taken from the data: true when a host was added
    // (or a list file opened).
    bool DropText(const std::string& text);

    // True while a drop is being looked up; further drops are refused meanwhile.
    static bool Busy();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowMessage(const std::string& text);
    void BringMainWindowToFront();
    sondrel::TypedAddress LookUpOffThread(const sondrel::DropPlan& plan);

    CDropSink m_sink;
    sondrel::Resolver* m_resolver = nullptr;
    sondrel::UrlHostResolver m_resolveUrlHost;
};
