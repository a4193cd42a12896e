#pragma once
// The tray icon and its menu (Exit, About, Stop, Start). The menu exists also without a tray,
// so that its items can be asked for their states; its items trigger the main window's
// commands.
#include <QIcon>
#include <QObject>
#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

class CViewTray : public QObject {
    Q_OBJECT

public:
    using Trigger = std::function<void(int commandId)>;
    // `trigger` runs a command of the main window; `aboutToShow` refreshes command states;
    // `doubleClicked` runs on a double click on the icon.
    CViewTray(QWidget* owner, bool useTray, Trigger trigger, std::function<void()> aboutToShow,
              std::function<void()> doubleClicked);
    ~CViewTray() override;

    bool HasIcon() const { return m_tray != nullptr; }
    QMenu* Menu() const { return m_trayMenu; }
    // Icon and menu follow the run state.
    void ShowRunState(bool stopped);
    void Remove();

private:
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_trayStart = nullptr;
    QAction* m_trayStop = nullptr;
    QIcon m_hIconRunning;
    QIcon m_hIconStopped;
};
