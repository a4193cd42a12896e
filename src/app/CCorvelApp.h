#pragma once
// The application object: creates the named events, makes sure one instance runs per user,
// builds the document, the main window and the view, shows the window, reads the Auto start
// state, and keeps the recent-file list. It also runs the idle work (history flushing) when
// the event loop is about to wait, and turns SIGTERM, SIGINT, SIGHUP and a logout into an Exit
// that shows no box.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/InstanceSocket.h"
#include "platform/NamedEvent.h"
#include "view/CCorvelView.h"

class QSettings;
class QSocketNotifier;
class CCorvelDoc;
class CMainFrame;

class CCorvelApp : public QObject {
    Q_OBJECT

public:
    struct Options {
        std::string instanceName;  // the per-user name of the running instance
        ViewSetup view;
        std::string icmpMessage;     // why no ICMP socket could be opened; empty when one is
        QString settingsFile;        // empty: the desktop's settings of "Sondrel"
        bool handleSignals = false;  // SIGTERM, SIGINT, SIGHUP end the program as Exit does
    };

    explicit CCorvelApp(Options options);
    ~CCorvelApp() override;

    // Start-up. False: this process ends now, with ExitCode() (a later start that handed
    // over to the running one ends with 0; a failure with 1).
    bool InitInstance(const QStringList& files);
    // After the event loop: 1 when an unattended end could not save the list.
    int ExitCode() const { return m_exitCode; }
    // After the event loop: closes the main window (saving the list) and releases it.
    void ExitInstance();

    // One idle step; true while there is more to do.
    bool OnIdle(int count);
    void OnAppAbout();
    void AddRecentFile(const QString& path);
    void RemoveRecentFile(const QString& path);
    QStringList RecentFiles() const;

    CMainFrame* Frame() const { return m_frame; }
    CCorvelView* View() const { return m_view; }
    DesktopSettings& Settings() { return m_settings; }
    CCorvelDoc* Doc() const { return m_doc.get(); }

private:
    bool CreateEvents();
    bool ClaimInstance(const QStringList& files);
    void CreateWindows();
    void ConnectAppCommands();
    void WatchInstanceSocket();
    void OnInstanceConnection();
    void OnInstanceRequest(const sondrel::InstanceRequest& request);
    void InstallIdleHook();
    void RunIdle();
    void InstallSignalHandlers();
    void OnSignal();
    // Ends the program with no one to answer a box (a signal, a logout); ExitCode() is 1 when
    // the list could not be saved.
    void EndUnattended();
    void SaveRecentFiles(const QStringList& files) const;
    std::unique_ptr<QSettings> OpenSettings() const;

    Options m_options;
    int m_exitCode = 0;
    sondrel::NamedEvent m_stopPing;
    sondrel::NamedEvent m_modifyList;
    sondrel::NamedEvent m_quitProgram;
    std::unique_ptr<sondrel::InstanceListener> m_listener;
    QSocketNotifier* m_listenNotifier = nullptr;
    struct Connection {
        std::unique_ptr<sondrel::InstanceRequestReader> reader;
        QSocketNotifier* notifier;
    };
    std::map<int, Connection> m_connections;
    std::unique_ptr<CCorvelDoc> m_doc;
    QPointer<CMainFrame> m_frame;
    CCorvelView* m_view = nullptr;
    DesktopSettings m_settings;
    bool m_idleQueued = false;
    int m_idleCount = 0;
    QSocketNotifier* m_signalNotifier = nullptr;
    bool m_bEndingUnattended = false;
};

// Whether to ask Qt for its X11 platform: on a Wayland session with XWayland at hand, unless
// the user chose a platform. Top-most windows and placements need X11.
bool ShouldPreferX11(const char* qpaPlatform, const char* waylandDisplay, const char* x11Display);
