#pragma once
// What the view asks of the main window it sits in: the command actions and their states,
// the toolbar and status bar, and bringing the window back. The main frame implements it;
// the view never includes the frame itself.
#include <functional>

class QAction;
class QLabel;
class QMainWindow;
class QString;
class QToolBar;

class CViewFrame {
public:
    virtual ~CViewFrame() = default;

    virtual QMainWindow* Window() = 0;
    // The action of a command id, or nullptr.
    virtual QAction* Command(int id) const = 0;
    virtual void OnCommand(int id, std::function<void()> handler) = 0;
    virtual void OnUpdateCommand(int id, std::function<void(QAction*)> handler) = 0;
    // Asks every registered state handler now.
    virtual void UpdateCommandUI() = 0;
    virtual QToolBar* ToolBar() const = 0;
    // The status bar's idle text.
    virtual QLabel* IdleText() const = 0;
    virtual void ShowAndRaise() = 0;
    // Opens a list file as the document (a dropped one).
    virtual void OpenListFile(const QString& path) = 0;
};
