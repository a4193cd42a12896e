#pragma once
// The floating drop window: a small top-most tool window showing the program's icon. Links
// dropped on it add hosts; a double click hides or shows the main window; a right click
// opens a menu of the main window's list commands; the left button drags it anywhere.
#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "desktop/CAddressDropTarget.h"

class QAction;

class CDropWnd : public QWidget {
    Q_OBJECT

public:
    // Command ids of the menu, in menu order; 0 stands for a separator.
    static constexpr int kAutoPopup = 32792;
    static constexpr int kOpen = 57601;
    static constexpr int kImport = 32787;
    static constexpr int kAddAddress = 32771;
    static constexpr int kAddGroup = 32772;
    static constexpr int kDeleteAddress = 32773;
    static constexpr int kDeleteGroup = 32774;
    static constexpr int kClearList = 32778;
    static constexpr int kExit = 57665;

    // The main frame's action for a command id, or nullptr when it has none.
    using CommandLookup = std::function<QAction*(int id)>;
    // Brings the main frame's command states up to date before the menu shows them.
    using UpdateCommands = std::function<void()>;

    CDropWnd();
    ~CDropWnd() override;

    // The window the double click hides and shows, and where menu commands go: each item of
    // this window's menu triggers the action the lookup gives for its id, and shows that
    // action's enabled and checked state, refreshed by update just before the menu opens.
    void SetMainWindow(QWidget* mainWnd, CommandLookup commands, UpdateCommands update = {});

    // Shows the window top-most at (screen width - 100, screen height - 100).
    void Create();
    void Place();

    // Double click: restores a minimized main window, hides a shown one, shows a hidden one.
    void ToggleMainWindow();

    // Opens the menu at a point of the screen (what a right click does).
    void PopupMenu(const QPoint& globalPos);
    QMenu& Menu() { return m_menu; }

    QPointer<QWidget> m_hMainWnd;
    QMenu m_menu;
    CAddressDropTarget m_dropTarget;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void BuildMenu();
    void RefreshMenuStates();

    struct Item {
        int id;
        QAction* own;
    };
    std::vector<Item> m_items;
    CommandLookup m_commands;
    UpdateCommands m_update;
    // Left-button drag: where the press was, and whether the window follows the mouse itself
    // because the window system would not take the move over.
    QPoint m_pressPos;
    bool m_pressed = false;
    bool m_movingByHand = false;
};
