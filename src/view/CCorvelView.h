#pragma once
// The main view: the host list with its latest results, the interval box, Ping and Stop, the
// tray icon and the details and drop windows. The monitor itself (table, rounds, engine,
// list changes, default.ipl, history) is the session this view drives; the view renders
// what the session reports and forwards the user's commands.
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/CAddressDropTarget.h"
#include "input/CInputCommands.h"
#include "session/MonitorSession.h"
#include "view/DesktopSettings.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class CDropWnd;
class CHostInfoDlg;
class CHostListModel;
class CViewFrame;
class CViewTray;

namespace sondrel {
class IcmpSocket;
}

// What the view needs from its surroundings; the application fills it from Paths, tests
// from their own folders.
struct ViewSetup {
    // The monitor: socket (null: the engine could not start), default.ipl, the history
    // folder. The view adds what only it knows: history kept, its timer, its thread.
    sondrel::SessionSetup session;
    bool useTray = true;  // false: never show a tray icon
};

class CCorvelView : public QWidget, public sondrel::SessionObserver {
    Q_OBJECT

public:
    CCorvelView(CViewFrame* frame, DesktopSettings& settings, ViewSetup setup);
    ~CCorvelView() override;

    // First set-up (runs once): drop targets, tray, commands, then the session's start.
    void OnInitialUpdate();
    // Teardown: saves default.ipl, ends the session, removes the tray icon. Runs once.
    void OnDestroy();
    // Writes default.ipl now (exit, logout). False when it could not be written; the user
    // has been told, through onSaveFailed when set (no one may be there to close a box).
    bool SaveDefaultList();
    std::function<void(const QString& text)> onSaveFailed;

    sondrel::MonitorSession& Session() { return *m_session; }
    const sondrel::MonitorSession& Session() const { return *m_session; }
    CHostListModel* Rows() const { return m_rows; }
    QTableView* ListControl() const { return m_list; }
    int FindRow(const std::string& text) const { return m_session->FindRow(text); }
    // Rows selected now, in row order.
    std::vector<int> SelectedRows() const;
    CHostInfoDlg* InfoDialog() const { return m_pInfoDlg; }
    CDropWnd* DropWindow() const { return m_pDropWnd.get(); }
    std::optional<uint32_t> InfoAddress() const { return m_dwInfoAddress; }

    int TimerId() const { return m_nTimerId; }
    QLineEdit* IntervalEdit() const { return m_editInterval; }
    QPushButton* PingButton() const { return m_btnPing; }
    // Enabled while the list is not empty, decided where "Delete an address" is.
    QPushButton* StopButton() const { return m_btnStop; }
    // The list's popup menu, refilled on every right click.
    QMenu* ContextMenu() const { return m_contextMenu; }
    bool HasTray() const;
    QMenu* TrayMenu() const;
    QLabel* StateIndicator() const;

    // Command handlers.
    void OnStart();
    void OnStop();
    void OnAutoStart();
    void OnAutoPopup();
    void OnTimer();
    // The box's text was edited; `finished`: the edit ended (focus gone or Enter).
    void OnIntervalChanged(bool finished = false);
    // Rebuilds the run-state picture, tray icon and command states.
    void UpdateRunStateUI();
    void UpdateCommandStates();
    void OnTrayNotify(uint32_t iconId, int64_t mouseMessage);

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

protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // SessionObserver.
    void RowAboutToBeInserted(int row) override;
    void RowInserted(int row) override;
    void RowAboutToBeRemoved(int row) override;
    void RowRemoved(int row) override;
    void RowsAboutToBeReset() override;
    void RowsReset() override;
    void RowsChanged(int first, int last) override;
    void HostEvent(sondrel::HostEventKind kind, uint32_t address, const sondrel::HostRecord& record,
                   std::string_view stamp, std::string_view event) override;
    void HostRemoved(uint32_t address) override;
    void RoundStarted() override;
    void ListChanged() override;
    void ListReplaced(uint32_t interval) override;
    void ErrorText(const std::string& text) override;
    void HistoryStateChanged(bool failing, const std::string& why) override;
    // In CViewBindings.cpp, beside the other status bar texts.
    void RepliesLost(uint64_t count) override;
    void StoreNotice(const std::string& text) override;

    void BuildForm();
    void ConnectCommands();
    void ShowIntervalInBox();
    void ArmTimer(uint32_t seconds);
    QWidget* MainWindow() const;
    void OpenDetailsOfRow(int row);
    void TriggerLater(int commandId);
    CInputContext InputContext();

    CViewFrame* m_pFrame;
    DesktopSettings& m_settings;
    ViewSetup m_setup;
    std::unique_ptr<sondrel::MonitorSession> m_session;

    // The form.
    QTableView* m_list = nullptr;
    CHostListModel* m_rows = nullptr;
    QLineEdit* m_editInterval = nullptr;
    QPushButton* m_btnPing = nullptr;
    QPushButton* m_btnStop = nullptr;
    QMenu* m_contextMenu = nullptr;
    CViewTray* m_tray = nullptr;

    int m_nTimerId = 0;  // id of the interval timer, 0 while none is armed
    bool m_bFirstUpdate = true;
    bool m_bDestroyed = false;

    // The details window (one for the program) and the floating drop window.
    CHostInfoDlg* m_pInfoDlg = nullptr;
    std::optional<uint32_t> m_dwInfoAddress;  // host the details window shows; none while closed
    // A window of its own, not a child: it goes with its view.
    std::unique_ptr<CDropWnd> m_pDropWnd;
    // Makes the list accept dropped links; the drop window has one of its own.
    CAddressDropTarget m_dropTarget;
};
