#pragma once
// Where the run state shows: the tray icon with its menu (Exit, About, Stop, Start) and the
// picture at the toolbar's end. The menu exists also without a tray, so that its items can be
// asked for their states; its items trigger the main window's commands.
#include <QIcon>
#include <QObject>
#include <functional>

class QAction;
class QLabel;
class QToolBar;
class QMenu;
class QSystemTrayIcon;
class QWidget;

class CViewTray : public QObject {
    Q_OBJECT

public:
    using Trigger = std::function<void(int commandId)>;
    // `trigger` runs a command of the main window; `aboutToShow` refreshes command states;
    // `doubleClicked` runs on a double click on the icon.
    CViewTray(QWidget* owner, QToolBar* toolBar, bool useTray, Trigger trigger,
              std::function<void()> aboutToShow, std::function<void()> doubleClicked);
    ~CViewTray() override;

    bool HasIcon() const { return m_tray != nullptr; }
    QMenu* Menu() const { return m_trayMenu; }
    QLabel* Indicator() const { return m_stateIndicator; }
    // Icon and menu follow the run state.
    void ShowRunState(bool stopped);
    // So does the toolbar's picture.
    void ShowRunStatePicture(bool stopped);
    void Remove();

private:
    void CreateIndicator(QToolBar* bar);

    QLabel* m_stateIndicator = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_trayStart = nullptr;
    QAction* m_trayStop = nullptr;
    QIcon m_hIconRunning;
    QIcon m_hIconStopped;
};
