#pragma once
// The main window: menu bar, toolbar, status bar, the title "Sondrel" whatever list is open.
// It keeps one action per command id; menus, the toolbar, the accelerators and the popup
// menus all trigger those actions, and each command's state is asked for just before a menu
// shows it (and whenever the view's state changes).
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <map>

#include "view/CViewFrame.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow, public CViewFrame {
    Q_OBJECT

public:
    CMainFrame();
    ~CMainFrame() override;

    // The action of a command id, or nullptr.
    QMainWindow* Window() override { return this; }
    QAction* Command(int id) const override;
    // Connects a command to its handler.
    void OnCommand(int id, std::function<void()> handler) override;
    // Registers how a command's state is decided (enabled, checked).
    using UpdateHandler = std::function<void(QAction*)>;
    void OnUpdateCommand(int id, UpdateHandler handler) override;
    // Asks every registered handler now.
    void UpdateCommandUI() override;

    QToolBar* ToolBar() const override { return m_toolBar; }
    QMenu* EditMenu() const { return m_editMenu; }
    // The recent-file entries, most recent first; an empty list shows "Recent Files" grey.
    void SetRecentFiles(const QStringList& files);
    const QStringList& RecentFiles() const { return m_recentFiles; }
    // Called with the path of a list file dropped on the window.
    std::function<void(const QString&)> onOpenFile;
    // Called with the path of a chosen recent file; false when it could not be opened.
    std::function<bool(const QString&)> onOpenRecentFile;

    // The view fills the window; onClose runs its teardown (save the list, stop the engine)
    // as the window closes.
    void SetView(QWidget* view, std::function<void()> onClose);
    // Shows the window normally and brings it to the front (tray, second start, drops).
    void ShowAndRaise() override;
    void OpenListFile(const QString& path) override {
        if (onOpenFile) onOpenFile(path);
    }
    // Whether a tray icon can bring the window back, so that minimising hides it. The view
    // answers once it is set.
    std::function<bool()> hasTray;
    // The status bar's idle text.
    QLabel* IdleText() const override { return m_idleText; }

protected:
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void RebuildRecentMenu();
    void FollowOpenCommand();
    QAction* MakeCommand(int id, const QString& text, const QString& prompt, const QString& tip);

    std::map<int, QAction*> m_commands;
    std::map<int, UpdateHandler> m_updates;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_editMenu = nullptr;
    QMenu* m_runMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QAction* m_recentSeparatorEnd = nullptr;
    QAction* m_recentPlaceholder = nullptr;
    std::vector<QAction*> m_recentActions;
    QStringList m_recentFiles;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_idleText = nullptr;
    std::function<void()> m_onClose;
    bool m_bClosing = false;
    bool m_bHidePending = false;
};

// The local list file a drop or a file:// link names, or an empty text when it names none.
QString ListFileOfUrl(const QUrl& url);
