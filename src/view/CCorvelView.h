#pragma once
// The main view: the host list with its latest results, the interval box, Ping and Stop. It
// owns the host table, the address array the senders walk (behind the modify_list gate) and
// the rows; it starts the receiver, runs the rounds on its timer, keeps the tray icon and
// the run state, and loads default.ipl at its first set-up and saves it when destroyed.
//
// Messages reach it as CViewMessage events (Messages.h); the list-change handlers are the
// only place where hosts enter or leave the address array and the rows.
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "desktop/CAddressDropTarget.h"
#include "model/AddressArray.h"
#include "model/History.h"
#include "model/HostTable.h"
#include "platform/NamedEvent.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTableView;
class QAction;
class CCorvelDoc;
class CHostInfoDlg;
class CDropWnd;
class CHostListModel;
class CMainFrame;
class CViewMessage;

namespace sondrel {
class IcmpSocket;
}

// What the view needs from its surroundings; the application fills it from Paths, tests
// from their own folders.
struct ViewSetup {
    std::shared_ptr<const sondrel::IcmpSocket> socket;  // null: the engine could not start
    std::filesystem::path defaultList;                  // where default.ipl is read and written
    std::filesystem::path historyDir;                   // private folder of the history files
    std::string historyDirError;                        // why that folder cannot be used
    sondrel::HistoryLimits historyLimits;               // budget and clock of the history files
    bool useTray = true;                                // false: never show a tray icon
};

class CCorvelView : public QWidget {
    Q_OBJECT

public:
    CCorvelView(CMainFrame* frame, CCorvelDoc* doc, ViewSetup setup);
    ~CCorvelView() override;

    // First set-up (runs once): receiver, tray, default.ipl, timer.
    void OnInitialUpdate();
    // Teardown: saves default.ipl, stops and joins the engine threads, deletes the history
    // files, removes the tray icon. Runs once; later calls do nothing.
    void OnDestroy();
    // Writes default.ipl now (exit, logout). False when it could not be written; the user
    // has been told, through onSaveFailed when set (no one may be there to close a box).
    bool SaveDefaultList();
    std::function<void(const QString& text)> onSaveFailed;

    // --- Hosts, for the commands that add and remove them -------------------------------
    sondrel::HostTable& Hosts() { return m_hosts; }
    // The array the senders walk. Read it freely on the main thread; change it only between
    // LockAddresses() and UnlockAddresses().
    const sondrel::AddressArray& Addresses() const { return m_addresses; }
    void LockAddresses() const;
    void UnlockAddresses() const;
    // Adds a host through the normal path: when the address is not yet in the table, a
    // fresh record with the name and flag is stored and WM_LIST_ADDED is posted. Returns
    // false (and changes nothing) when the address is already listed.
    bool AddHost(uint32_t address, const std::string& name, bool named);
    // Posts WM_LIST_REMOVED for a host of the table (the delete commands' path); its
    // handler takes the host out of the array, the rows and the table. False when the
    // address is not in the table.
    bool RemoveHost(uint32_t address);
    // Clears rows, the array (under the gate), the table and the history files at once.
    void ClearAllHosts();
    // Row of a display text (first match ignoring case) or -1; the model and the widget.
    int FindRow(const std::string& text) const;
    CHostListModel* Rows() const { return m_rows; }
    QTableView* ListControl() const { return m_list; }
    // Rows selected now, in row order.
    std::vector<int> SelectedRows() const;
    // The host shown in a row: the address whose display text is the row's text.
    std::optional<uint32_t> AddressOfRow(int row) const;
    const sondrel::HistoryFiles& HistoryFiles() const { return m_historyFiles; }
    void DeleteHistoryFile(uint32_t address) const;

    // --- Run state and interval ----------------------------------------------------------
    bool IsStopped() const { return m_bStopped; }
    uint32_t Interval() const { return m_nInterval; }
    uint32_t IntervalInForce() const { return m_nIntervalInForce; }
    int TimerId() const { return m_nTimerId; }
    QLineEdit* IntervalEdit() const { return m_editInterval; }
    QPushButton* PingButton() const { return m_btnPing; }
    // Enabled while the list is not empty, decided where "Delete an address" is.
    QPushButton* StopButton() const { return m_btnStop; }
    // The list's popup menu, refilled on every right click.
    QMenu* ContextMenu() const { return m_contextMenu; }
    bool HasTray() const { return m_tray != nullptr; }
    // The tray icon's menu (Exit, About, Stop, Start); it exists also without a tray.
    QMenu* TrayMenu() const { return m_trayMenu; }
    QLabel* StateIndicator() const { return m_stateIndicator; }
    CMainFrame* Frame() const { return m_pFrame; }
    CCorvelDoc* Document() const { return m_pDoc; }

    // Command handlers.
    void OnStart();
    void OnStop();
    void OnAutoStart();
    void OnAutoPopup();
    // The box's text was edited; `finished`: the edit ended (focus gone or Enter).
    void OnIntervalChanged(bool finished = false);
    // Rebuilds the run-state picture, tray icon and command states.
    void UpdateRunStateUI();
    // Brings every command's enabled and checked state up to date.
    void UpdateCommandStates();

    // List commands, the list's popup menu, the details window and help.
    void OnAddAddress();
    void OnAddGroup();
    void OnDeleteAddress();
    void OnDeleteGroup();
    void OnDeleteSelected();
    void OnClearAll();
    void OnImportFromFile();
    void OnCopyAddress();
    void OnMoreDetails();
    void OnHowTo();
    void OnListRightClick(const QPoint& pos);
    void OnListDoubleClick(int row);
    void OnListKeyDown(int key);

    // One idle step of history flushing: true while more is to do.
    bool IdleFlushStep();
    // Tells once, and in the status bar for as long as it lasts, that history files cannot
    // be written.
    void ShowHistoryState();

    // Message handlers (public so that tests and benchmarks can drive them).
    void OnListAdded(uint32_t address);
    void OnListRemoved(uint32_t address);
    void OnListModified();
    void OnPingReply(uint32_t address, const std::string& text);
    void OnPingTimeout();
    void OnTimer();
    void OnTrayNotify(uint32_t iconId, int64_t mouseMessage);
    void OnEngineMessage(const QString& text);

    // The details window (one for the program) and the floating drop window, both owned here.
    CHostInfoDlg* m_pInfoDlg = nullptr;
    std::optional<uint32_t> m_dwInfoAddress;  // host the details window shows; none while closed
    CDropWnd* m_pDropWnd = nullptr;
    // Makes the list accept dropped links; the drop window has one of its own.
    CAddressDropTarget m_dropTarget;

protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void BuildForm();
    void CreateStateIndicator();
    void CreateTray();
    void ConnectCommands();
    void LoadDefaultList();
    void ShowIntervalInBox();
    void ArmTimer(uint32_t seconds);
    // Applies m_nInterval as an edit of the box does: re-arms and starts a round at once
    // when it differs from the interval in force.
    void ApplyInterval();
    void StartReceiver();
    void StartSender();
    void ReapSenders(bool all);
    void ReportOnce(const QString& text);
    int RowOfHost(uint32_t address, const sondrel::HostRecord& record) const;
    void CreateDropWindow();
    void OpenDetailsOfRow(int row);
    void NoteRemovalInDetails(uint32_t address);

    CMainFrame* m_pFrame;
    CCorvelDoc* m_pDoc;
    ViewSetup m_setup;

    // The form.
    QTableView* m_list = nullptr;
    CHostListModel* m_rows = nullptr;
    QLineEdit* m_editInterval = nullptr;
    QPushButton* m_btnPing = nullptr;
    QPushButton* m_btnStop = nullptr;
    QLabel* m_stateIndicator = nullptr;
    QMenu* m_contextMenu = nullptr;

    // Rounds and run state.
    int m_nTimerId = 0;  // id of the interval timer, 0 while none is armed
    bool m_bStopped = false;
    bool m_bFirstUpdate = true;
    bool m_bDestroyed = false;
    uint32_t m_nInterval = 3;
    uint32_t m_nIntervalInForce = 0;     // period the timer was last armed with
    bool m_bDefaultListRefused = false;  // default.ipl is no regular file: never replaced

    // Events, by their names.
    sondrel::NamedEvent m_hModifyList;
    sondrel::NamedEvent m_hStopPing;
    sondrel::NamedEvent m_hQuitProgram;

    // The engine's threads. Senders are joined at teardown, so that none can outlive the
    // array it reads.
    std::thread m_receiverThread;
    struct Sender {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Sender> m_senders;

    // Tray.
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_trayStart = nullptr;
    QAction* m_trayStop = nullptr;
    QIcon m_hIconRunning;
    QIcon m_hIconStopped;

    // Hosts.
    sondrel::AddressArray m_addresses;
    sondrel::HostTable m_hosts;
    sondrel::HistoryFiles m_historyFiles;
    sondrel::FlushPass m_flushPass;
    bool m_bHistoryReported = false;
    bool m_bHistoryShownFailing = false;
};

// The one main view, set at its first set-up and cleared when it is destroyed.
extern CCorvelView* g_pView;
// Auto popup and Auto start options (the latter mirrors the autostart entry).
extern bool g_bAutoPopup;
extern bool g_bAutoStart;
