#include "app/CCorvelApp.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/CAboutDlg.h"
#include "app/CCorvelDoc.h"
#include "app/CMainFrame.h"
#include "app/Tools.h"
#include "desktop/CDesktopNotice.h"
#include "engine/IcmpSocket.h"
#include "platform/Autostart.h"
#include "platform/Paths.h"
#include "store/SampleStore.h"
#include "widgets/CMessageBox.h"
#include "widgets/Commands.h"

using namespace sondrel;

namespace {

constexpr int kInstanceTimeoutMs = 3000;
const char* const kRecentGroup = "Recent File List";
const QString kStoreSamplesKey = QStringLiteral("Options/StoreSamples");

// Written by the signal handler, read by the main thread's notifier.
int g_signalPipe[2] = {-1, -1};
std::atomic<int> g_signalsSeen{0};  // lock-free: safe in a handler

void OnTerminationSignal(int) {
    // The first signal ends the program through its event loop; should that be stuck, a
    // second one ends it here.
    if (g_signalsSeen.fetch_add(1) > 0) {
        static const char kLine[] = "sondrel: ended by a second signal\n";
        (void)!::write(STDERR_FILENO, kLine, sizeof kLine - 1);
        ::_exit(1);
    }
    const char byte = 1;
    const int saved = errno;
    (void)!::write(g_signalPipe[0], &byte, 1);
    errno = saved;
}

// Nobody may be at the screen to close a box: the reason goes to standard error and to the
// desktop's notifications.
void ReportWithoutWindow(const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "sondrel: %s\n", line.toLocal8Bit().constData());
    NotifyDesktop(QStringLiteral("Sondrel"), text);
}

}  // namespace

bool ShouldPreferX11(const char* qpaPlatform, const char* waylandDisplay, const char* x11Display) {
    if (qpaPlatform != nullptr && *qpaPlatform != '\0') return false;
    return waylandDisplay != nullptr && *waylandDisplay != '\0' && x11Display != nullptr &&
           *x11Display != '\0';
}

CCorvelApp::CCorvelApp(Options options) : m_options(std::move(options)) {}

CCorvelApp::~CCorvelApp() {
    ExitInstance();
    for (auto& [fd, c] : m_connections) delete c.notifier;
    m_connections.clear();
}

bool CCorvelApp::InitInstance(const QStringList& files) {
    if (!CreateEvents()) return false;
    if (!ClaimInstance(files)) return false;
    CreateWindows();
    m_frame->show();
    m_settings.autoStart = AutostartEntryExists(AutostartEntryPath(XdgConfigHome()));
    m_frame->UpdateCommandUI();
    InstallIdleHook();
    if (m_options.handleSignals) InstallSignalHandlers();
    if (!m_options.icmpMessage.empty()) {
        SondrelMessageBoxNonModal(m_frame, QString::fromStdString(m_options.icmpMessage));
    }
    // A list file named on the command line opens once the view has its hosts, as File >
    // Open would; the hosts of default.ipl are posted before it and so come first.
    if (!files.isEmpty()) {
        const QString file = QFileInfo(files.first()).absoluteFilePath();
        QTimer::singleShot(0, this, [this, file] { m_doc->OpenDocumentFile(file); });
    }
    return true;
}

bool CCorvelApp::CreateEvents() {
    errno = 0;
    m_stopPing = NamedEvent::Create(kStopPingEvent, NamedEvent::ResetMode::Manual, false);
    if (!m_stopPing) {
        SondrelMessageBox(nullptr, QStringLiteral("CreateEvent error: %1").arg(errno));
        m_exitCode = 1;
        return false;
    }
    m_modifyList = NamedEvent::Create(kModifyListEvent, NamedEvent::ResetMode::Automatic, true);
    m_quitProgram = NamedEvent::Create(kQuitProgramEvent, NamedEvent::ResetMode::Manual, false);
    return true;
}

bool CCorvelApp::ClaimInstance(const QStringList& files) {
    InstanceRequest request;
    if (!files.isEmpty()) request.file = QFileInfo(files.first()).absoluteFilePath().toStdString();
    // Two tries: the running instance may end between our bind and our connect.
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_listener = std::make_unique<InstanceListener>(m_options.instanceName);
        switch (m_listener->Bind()) {
            case InstanceListener::Claim::Owner:
                WatchInstanceSocket();
                return true;
            case InstanceListener::Claim::TakenByOther: {
                const int sent =
                    SendInstanceRequest(m_options.instanceName, request, kInstanceTimeoutMs);
                if (sent == ECONNREFUSED && attempt == 0) continue;
                // Handed over, or nobody to hand over to: either way this start ends quietly.
                m_listener.reset();
                m_exitCode = 0;
                return false;
            }
            case InstanceListener::Claim::Failed:
                SondrelMessageBox(nullptr,
                                  QStringLiteral("CreateEvent error: %1").arg(m_listener->Error()));
                m_listener.reset();
                m_exitCode = 1;
                return false;
        }
    }
    m_exitCode = 0;
    return false;
}

void CCorvelApp::CreateWindows() {
    m_doc = std::make_unique<CCorvelDoc>();
    m_frame = new CMainFrame();
    m_frame->setAttribute(Qt::WA_DeleteOnClose, false);
    m_doc->SetWindow(m_frame);
    m_settings.storeSamples = OpenSettings()->value(kStoreSamplesKey, true).toBool();
    ViewSetup setup = m_options.view;
    setup.session.storing = m_settings.storeSamples;
    m_view = new CCorvelView(m_frame, m_settings, std::move(setup));
    CCorvelView* view = m_view;
    m_frame->SetView(view, [view] { view->OnDestroy(); });
    m_frame->hasTray = [view] { return view->HasTray(); };
    // From here on the document hands new and opened lists to the view.
    m_doc->m_bViewReady = true;
    m_doc->m_pView = m_view;
    m_frame->SetRecentFiles(RecentFiles());
    ConnectAppCommands();
    m_view->OnInitialUpdate();
    // Centred on the screen, as the window first appears.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        QRect frame = m_frame->frameGeometry();
        frame.moveCenter(area.center());
        m_frame->move(frame.topLeft());
    }
}

void CCorvelApp::ConnectAppCommands() {
    CCorvelDoc* doc = m_doc.get();
    m_frame->OnCommand(ID_FILE_NEW, [doc] { doc->OnFileNew(); });
    m_frame->OnCommand(ID_FILE_OPEN, [doc] { doc->OnFileOpen(); });
    m_frame->OnCommand(ID_FILE_SAVE, [doc] { doc->OnFileSave(); });
    m_frame->OnCommand(ID_FILE_SAVE_AS, [doc] { doc->OnFileSaveAs(); });
    m_frame->OnCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
    m_frame->onOpenFile = [doc](const QString& path) { doc->OpenDocumentFile(path); };
    // An entry that no longer opens leaves the list once its message has been seen.
    m_frame->onOpenRecentFile = [this, doc](const QString& path) {
        if (doc->OpenDocumentFile(path)) return true;
        RemoveRecentFile(path);
        return false;
    };
    doc->onRecentFile = [this](const QString& path) { AddRecentFile(path); };
}

void CCorvelApp::OnAppAbout() {
    CAboutDlg dlg(m_frame, FindDataFile("about.txt"));
    dlg.exec();
}

void CCorvelApp::ExitInstance() {
    if (m_view) OpenSettings()->setValue(kStoreSamplesKey, m_settings.storeSamples);
    if (m_frame) {
        // Closing runs the view's teardown once; deleting the frame deletes the view.
        if (m_view) m_view->OnDestroy();
        delete m_frame.data();
        m_frame = nullptr;
        m_view = nullptr;
    }
    if (m_signalNotifier) {
        delete m_signalNotifier;
        m_signalNotifier = nullptr;
    }
}

// --- Recent files ----------------------------------------------------------------------------

std::unique_ptr<QSettings> CCorvelApp::OpenSettings() const {
    if (m_options.settingsFile.isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("Sondrel"), QStringLiteral("Sondrel"));
    return std::make_unique<QSettings>(m_options.settingsFile, QSettings::IniFormat);
}

QStringList CCorvelApp::RecentFiles() const {
    std::unique_ptr<QSettings> settings = OpenSettings();
    QStringList files;
    settings->beginGroup(QString::fromLatin1(kRecentGroup));
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString file = settings->value(QStringLiteral("File%1").arg(i)).toString();
        if (!file.isEmpty()) files << file;
    }
    return files;
}

void CCorvelApp::SaveRecentFiles(const QStringList& files) const {
    std::unique_ptr<QSettings> settings = OpenSettings();
    settings->remove(QString::fromLatin1(kRecentGroup));
    settings->beginGroup(QString::fromLatin1(kRecentGroup));
    for (int i = 0; i < files.size() && i < kRecentFileCount; ++i) {
        settings->setValue(QStringLiteral("File%1").arg(i + 1), files[i]);
    }
}

void CCorvelApp::AddRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFileCount) files.removeLast();
    SaveRecentFiles(files);
    if (m_frame) m_frame->SetRecentFiles(files);
}

void CCorvelApp::RemoveRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    if (files.removeAll(path) == 0) return;
    SaveRecentFiles(files);
    if (m_frame) m_frame->SetRecentFiles(files);
}

// --- Later starts ----------------------------------------------------------------------------

void CCorvelApp::WatchInstanceSocket() {
    m_listenNotifier = new QSocketNotifier(m_listener->Fd(), QSocketNotifier::Read, this);
    connect(m_listenNotifier, &QSocketNotifier::activated, this,
            [this] { OnInstanceConnection(); });
}

void CCorvelApp::OnInstanceConnection() {
    for (int fd = m_listener->AcceptSameUser(); fd >= 0; fd = m_listener->AcceptSameUser()) {
        auto reader = std::make_unique<InstanceRequestReader>(fd);
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        m_connections[fd] = Connection{std::move(reader), notifier};
        auto readSome = [this, fd] {
            auto it = m_connections.find(fd);
            if (it == m_connections.end()) return;
            const auto state = it->second.reader->Read();
            if (state == InstanceRequestReader::State::More) return;
            InstanceRequest request = it->second.reader->Request();
            it->second.notifier->setEnabled(false);
            it->second.notifier->deleteLater();
            m_connections.erase(it);  // closes the connection: the later start may end
            if (state == InstanceRequestReader::State::Done) OnInstanceRequest(request);
        };
        connect(notifier, &QSocketNotifier::activated, this, readSome);
        readSome();
    }
}

void CCorvelApp::OnInstanceRequest(const InstanceRequest& request) {
    if (!m_frame) return;
    if (request.show) m_frame->ShowAndRaise();
    if (!request.file.empty()) {
        const QString file = QString::fromStdString(request.file);
        QTimer::singleShot(0, this, [this, file] {
            if (m_doc) m_doc->OpenDocumentFile(file);
        });
    }
}

// --- Idle work -------------------------------------------------------------------------------

void CCorvelApp::InstallIdleHook() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr) return;
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        if (!m_idleQueued) RunIdle();
    });
}

void CCorvelApp::RunIdle() {
    if (OnIdle(m_idleCount)) {
        // More to do: the next step waits behind whatever events are pending now.
        ++m_idleCount;
        m_idleQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_idleQueued = false;
            RunIdle();
        });
    } else {
        m_idleCount = 0;
    }
}

bool CCorvelApp::OnIdle(int count) {
    (void)count;
    // No view before its first set-up or after its teardown: nothing to flush.
    if (m_view == nullptr) return false;
    return m_view->Session().IdleFlushStep();
}

// --- Signals ---------------------------------------------------------------------------------

void CCorvelApp::InstallSignalHandlers() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    ::fcntl(g_signalPipe[0], F_SETFL, O_NONBLOCK);
    ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    m_signalNotifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_signalNotifier, &QSocketNotifier::activated, this, [this] { OnSignal(); });
    struct sigaction sa {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
    // Logging out: the session asks for the data first; the program ends then, as on a signal.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this, [this] { EndUnattended(); });
    }
}

void CCorvelApp::OnSignal() {
    char buf[16];
    while (::read(g_signalPipe[1], buf, sizeof buf) > 0) {
    }
    EndUnattended();
}

void CCorvelApp::EndUnattended() {
    if (m_bEndingUnattended) return;
    m_bEndingUnattended = true;
    // A box would wait for ever, and hold up a logout with it; the exit status tells instead.
    if (m_view) {
        m_view->onSaveFailed = [this](const QString& text) {
            m_exitCode = 1;
            ReportWithoutWindow(text);
        };
    }
    // As Exit does: the window closes, the view saves the list and stops the engine.
    if (m_frame) {
        m_frame->close();
    } else {
        QCoreApplication::quit();
    }
}

// --- The desktop program ---------------------------------------------------------------------

namespace {

// Arguments that name files: everything after the program name that is not an option.
QStringList FileArguments(const QStringList& arguments) {
    QStringList files;
    for (int i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].startsWith(QLatin1Char('-'))) files << arguments[i];
    }
    return files;
}

// The sample history: stored in the default file unless --no-store; rings for live views
// within --ring-budget=MB (256 by default).
void ApplySampleOptions(const QStringList& arguments, SessionSetup& session) {
    constexpr size_t kMegabyte = size_t{1} << 20;
    session.ringBudget = 256 * kMegabyte;
    if (!arguments.contains(QStringLiteral("--no-store"))) {
        session.store.emplace();
        session.store->file = DefaultStorePath();
    }
    for (const QString& a : arguments) {
        if (!a.startsWith(QStringLiteral("--ring-budget="))) continue;
        bool ok = false;
        const qulonglong mb = a.section(QLatin1Char('='), 1).toULongLong(&ok);
        if (ok) session.ringBudget = static_cast<size_t>(mb) * kMegabyte;
    }
}

std::string InstanceName() {
    // Tests run several programs side by side, each under a name of its own.
    if (const char* name = std::getenv("SONDREL_INSTANCE_NAME"); name != nullptr && *name != '\0')
        return name;
    return DefaultInstanceName();
}

}  // namespace

int RunDesktop(int argc, char** argv) {
    if (ShouldPreferX11(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                        std::getenv("DISPLAY"))) {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    // The socket first, then every privilege goes: the rest of the program needs none.
    std::string icmpMessage;
    std::shared_ptr<IcmpSocket> socket = IcmpSocket::Open(&icmpMessage);
    DropAllCapabilities();

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Sondrel"));
    QApplication::setApplicationName(QStringLiteral("Sondrel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("sondrel"));
    QApplication::setQuitOnLastWindowClosed(false);

    CCorvelApp::Options options;
    options.instanceName = InstanceName();
    options.view.session.socket = socket;
    options.view.session.defaultList = DefaultListPath();
    const PrivateDir& history = HistoryDir();
    // A folder unusable now is checked again when writing is retried.
    options.view.session.historyDir = history.path;
    options.view.session.historyDirError = history.error;
    ApplySampleOptions(QApplication::arguments(), options.view.session);
    options.icmpMessage = icmpMessage;
    options.handleSignals = true;

    CCorvelApp theApp(std::move(options));
    if (!theApp.InitInstance(FileArguments(QApplication::arguments()))) return theApp.ExitCode();
    const int result = QApplication::exec();
    theApp.ExitInstance();
    return result != 0 ? result : theApp.ExitCode();
}
