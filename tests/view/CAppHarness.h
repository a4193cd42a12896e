#pragma once
// The whole desktop program inside a test, offscreen, with default.ipl, the history folder and
// the settings in a folder of the test's own; message boxes are recorded instead of shown.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <atomic>

#include "app/CCorvelApp.h"
#include "app/CCorvelDoc.h"
#include "app/CMainFrame.h"
#include "details/CHostInfoDlg.h"
#include "engine/IcmpSocket.h"
#include "model/ListFile.h"
#include "platform/AddressText.h"
#include "support/TestSupport.h"
#include "view/CCorvelView.h"
#include "view/CHostListModel.h"
#include "view/CViewMessage.h"
#include "view/Messages.h"
#include "widgets/CMessageBox.h"

namespace sondrel::test {

// Runs the event loop (blocking when idle, as the program does) until the condition holds.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    for (const QDeadlineTimer deadline(timeoutMs); !condition();) {
        if (deadline.hasExpired()) return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
// Delivers the events posted to the main thread so far and those they post in turn: rounds
// end on a marker posted behind everything else, until one delivers nothing but its marker.
// Bounded, as something may keep posting for ever.
inline void Settle() {
    struct Counter final : QObject {
        int delivered = 0;
        bool eventFilter(QObject*, QEvent*) override { return ++delivered, false; }
    } counter;
    QCoreApplication::instance()->installEventFilter(&counter);
    for (int round = 0; round < 100 && counter.delivered != 1; ++round) {
        counter.delivered = 0;
        QEventLoop loop;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

struct ListHost {
    uint32_t address;
    std::string name;  // empty: unnamed
};

inline std::vector<HostEntry> Entries(const std::vector<ListHost>& hosts) {
    std::vector<HostEntry> entries;
    for (const ListHost& h : hosts) {
        entries.emplace_back().m_dwAddress = h.address;
        entries.back().m_record.m_strName = h.name;
        entries.back().m_record.m_bNamed = h.name.empty() ? 0 : 1;
    }
    return entries;
}

inline void WriteList(const std::filesystem::path& path, uint32_t interval,
                      const std::vector<ListHost>& hosts) {
    std::string message;
    if (!WriteFileAtomically(path, SerializeEntries(interval, Entries(hosts)), message))
        throw std::runtime_error(message);
}

inline uint32_t Loopback(uint8_t last) { return AddressFromOctets(127, 0, 0, last); }

// Keeps the details window's reverse lookups off the network.
class NoNames final : public Resolver {
public:
    std::optional<uint32_t> LookupName(const std::string&) override { return std::nullopt; }
    std::optional<std::string> LookupAddress(uint32_t) override { return std::nullopt; }
};

class CAppHarness {
public:
    explicit CAppHarness(std::shared_ptr<const IcmpSocket> socket = nullptr)
        : socket_(std::move(socket)) {
        static std::atomic<int> counter{0};
        instanceName_ =
            "sondrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        ::mkdir((dir_.path() / "history").c_str(), 0700);
        SetMessageBoxRecorder([this](const QString& text) { messages.push_back(text); });
    }
    ~CAppHarness() {
        Stop();
        SetMessageBoxRecorder(nullptr);
    }

    CCorvelApp::Options MakeOptions() const {
        CCorvelApp::Options o;
        o.instanceName = instanceName_;
        o.view.session.socket = socket_;
        o.view.session.defaultList = DefaultList();
        o.view.session.historyDir = dir_.path() / "history";
        o.view.session.historyLimits = historyLimits;
        o.view.useTray = false;
        if (!storeFile.empty()) {
            o.view.session.store.emplace();
            o.view.session.store->file = storeFile;
        }
        o.settingsFile = QString::fromStdString((dir_.path() / "settings.ini").string());
        return o;
    }
    // The hosts of default.ipl are in the rows once this returns true.
    bool Start(const QStringList& files = {}) {
        app_ = std::make_unique<CCorvelApp>(MakeOptions());
        if (!app_->InitInstance(files)) return false;
        if (view()->InfoDialog()) view()->InfoDialog()->SetResolver(noNames_);
        QCoreApplication::processEvents();
        return true;
    }
    // Closes the window as Exit does.
    void Stop() {
        if (!app_) return;
        if (app_->Frame()) app_->Frame()->close();
        app_->ExitInstance();
        app_.reset();
        QCoreApplication::processEvents();
    }

    std::filesystem::path storeFile;  // empty: the window stores no samples

    CCorvelApp* app() const { return app_.get(); }
    CCorvelView* view() const { return app_->View(); }
    CMainFrame* frame() const { return app_->Frame(); }
    CCorvelDoc* doc() const { return app_->Doc(); }
    std::filesystem::path DefaultList() const { return dir_.path() / "default.ipl"; }
    std::filesystem::path Path(const std::string& name) const { return dir_.path() / name; }

    int RowCount() const { return view()->Rows()->Count(); }
    int Row(const std::string& text) const { return view()->FindRow(text); }
    std::string Cell(const std::string& text, int column) const {
        return Row(text) < 0 ? "<no row>" : view()->Rows()->Text(Row(text), column);
    }
    std::vector<std::string> RowTexts() const {
        std::vector<std::string> texts;
        for (int r = 0; r < RowCount(); ++r) texts.push_back(view()->Rows()->Text(r, 0));
        return texts;
    }

    std::vector<QString> messages;
    HistoryLimits historyLimits;  // set before Start

private:
    TempDir dir_;
    std::shared_ptr<NoNames> noNames_ = std::make_shared<NoNames>();
    std::shared_ptr<const IcmpSocket> socket_;
    std::string instanceName_;
    std::unique_ptr<CCorvelApp> app_;
};

}  // namespace sondrel::test
