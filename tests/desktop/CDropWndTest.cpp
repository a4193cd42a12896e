#include "desktop/CDropWnd.h"

#include <QAction>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

#include "app/CMainFrame.h"
#include "desktop/CHelp.h"
#include "input/ContextMenus.h"
#include "model/HostTable.h"
#include "view/CAppHarness.h"
#include "view/CCorvelView.h"
#include "view/Commands.h"

namespace sondrel {
namespace {

QStringList MenuTexts(QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        texts << (action->isSeparator() ? QString("-") : action->text());
    }
    return texts;
}

QAction* Item(QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

TEST(DropWndTest, SmallTopMostToolWindowNearTheLowerRightCorner) {
    CDropWnd wnd;
    wnd.Create();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(wnd.pos(), QPoint(screen.right() + 1 - 100, screen.bottom() + 1 - 100));
    EXPECT_EQ(wnd.size(), QSize(32, 32));
    EXPECT_TRUE(wnd.isVisible());
    const Qt::WindowFlags flags = wnd.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool) << "no task bar entry";
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(wnd.windowIcon().isNull());
}

TEST(DropWndTest, MenuItemsInOrder) {
    CDropWnd wnd;
    EXPECT_EQ(MenuTexts(wnd.Menu()),
              (QStringList{"Auto popup", "-", "Open ...", "Import addresses from ...", "-",
                           "Add an address ...", "Add a group of ip addresses ...",
                           "Delete an address ...", "Delete a group of ip addresses ...",
                           "Clear the list", "-", "Exit"}));
    // Without a main window nothing can be done from it.
    for (QAction* action : wnd.Menu().actions()) {
        if (!action->isSeparator()) {
            EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
        }
    }
}

TEST(DropWndTest, DoubleClickTogglesTheMainWindow) {
    enum class Start { Minimized, Shown, Maximized, Hidden };
    struct Case {
        const char* name;
        Start start;
        bool visible;
    };
    const Case cases[] = {
        {"minimized: restored", Start::Minimized, true},
        {"shown: hidden", Start::Shown, false},
        {"maximized: restored, then hidden", Start::Maximized, false},
        {"hidden: shown", Start::Hidden, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget main;
        CDropWnd wnd;
        wnd.SetMainWindow(&main, [](int) { return nullptr; });
        switch (c.start) {
        case Start::Minimized:
            main.showMinimized();
            break;
        case Start::Shown:
            main.show();
            break;
        case Start::Maximized:
            main.showMaximized();
            break;
        case Start::Hidden:
            break;
        }
        wnd.ToggleMainWindow();
        EXPECT_EQ(main.isVisible(), c.visible);
        EXPECT_FALSE(main.isMinimized());
        EXPECT_FALSE(main.isMaximized());
    }
}

TEST(DropWndTest, MouseDragsRightClickOpensMenuDoubleClickToggles) {
    QWidget main;
    CDropWnd wnd;
    wnd.SetMainWindow(&main, [](int) { return nullptr; });
    wnd.Create();
    const QPoint start = wnd.pos();
    // Points of the mouse given in the window's first place, as the screen sees them.
    const auto send = [&wnd, start](QEvent::Type type, QPoint atStart, Qt::MouseButton button,
                                    Qt::MouseButtons buttons) {
        const QPoint global = start + atStart;
        QMouseEvent event(type, QPointF(global - wnd.pos()), QPointF(global), button, buttons,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&wnd, &event);
    };
    // Where the window system will not move it, the window follows the mouse itself.
    send(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {25, 15}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, {45, 35}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {45, 35}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(wnd.pos(), start + QPoint(40, 30));
    send(QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(wnd.pos(), start + QPoint(40, 30)) << "no move once the button is up";

    send(QEvent::MouseButtonPress, {3, 3}, Qt::RightButton, Qt::RightButton);
    EXPECT_TRUE(wnd.Menu().isVisible());
    wnd.Menu().hide();

    ASSERT_FALSE(main.isVisible());
    send(QEvent::MouseButtonDblClick, {3, 3}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(main.isVisible());
    send(QEvent::MouseButtonDblClick, {3, 3}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(main.isVisible());
}

class DropWndOnProgramTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(harness_.Start());
        CMainFrame* frame = harness_.frame();
        wnd_.SetMainWindow(
            frame, [frame](int id) { return frame->Command(id); },
            [frame] { frame->UpdateCommandUI(); });
    }
    // What a right click shows: the states the frame decides just before the menu opens.
    std::map<QString, std::pair<bool, bool>> Opened() {
        emit wnd_.Menu().aboutToShow();
        std::map<QString, std::pair<bool, bool>> states;
        for (const QAction* action : wnd_.Menu().actions()) {
            if (!action->isSeparator()) {
                states[action->text()] = {action->isEnabled(), action->isChecked()};
            }
        }
        return states;
    }

    test::CAppHarness harness_;
    CDropWnd wnd_;
};

TEST(DropWndMenuTest, ItemsShowTheFramesStatesDecidedJustBeforeOpening) {
    // The frame decides the states with the list commands' rules over a host table.
    CMainFrame frame;
    HostTable hosts;
    for (const int id : {ID_DELETE_ADDRESS, ID_DELETE_GROUP, ID_CLEAR_ALL}) {
        frame.OnUpdateCommand(id, [&hosts, id](QAction* a) {
            const ListCommandStates states =
                ListCommandStatesFor(static_cast<std::size_t>(hosts.GetHostCount()), 0);
            a->setEnabled(id == ID_DELETE_ADDRESS ? states.deleteAddress
                          : id == ID_DELETE_GROUP ? states.deleteGroup
                                                  : states.clearAll);
        });
    }
    CDropWnd wnd;
    wnd.SetMainWindow(
        &frame, [&frame](int id) { return frame.Command(id); }, [&frame] { frame.UpdateCommandUI(); });
    const auto opened = [&wnd] {
        emit wnd.Menu().aboutToShow();
        std::map<QString, bool> enabled;
        for (const QAction* action : wnd.Menu().actions()) {
            if (!action->isSeparator()) {
                enabled[action->text()] = action->isEnabled();
            }
        }
        return enabled;
    };
    const char* removing[] = {"Delete an address ...", "Delete a group of ip addresses ...",
                              "Clear the list"};
    auto enabled = opened();
    for (const char* text : removing) {
        EXPECT_FALSE(enabled[text]) << text << " with an empty list";
    }
    for (const char* text : {"Auto popup", "Open ...", "Import addresses from ...",
                             "Add an address ...", "Add a group of ip addresses ...", "Exit"}) {
        EXPECT_TRUE(enabled[text]) << text;
    }
    hosts.HostAt(test::Loopback(1));
    enabled = opened();
    for (const char* text : removing) {
        EXPECT_TRUE(enabled[text]) << text << " with a host listed";
    }

    // A chosen item runs the frame's command.
    int cleared = 0;
    frame.OnCommand(ID_CLEAR_ALL, [&cleared] { ++cleared; });
    Item(wnd.Menu(), "Clear the list")->trigger();
    EXPECT_EQ(cleared, 1);
}

TEST_F(DropWndOnProgramTest, ChoosingAutoPopupTwiceLeavesIt) {
    g_bAutoPopup = true;
    QAction* autoPopup = Item(wnd_.Menu(), "Auto popup");
    ASSERT_NE(autoPopup, nullptr);
    Opened();
    autoPopup->trigger();
    EXPECT_FALSE(g_bAutoPopup);
    EXPECT_FALSE(Opened()["Auto popup"].second);
    autoPopup->trigger();
    EXPECT_TRUE(g_bAutoPopup);
    EXPECT_TRUE(Opened()["Auto popup"].second);
}

// Catches what the desktop is asked to open, instead of starting a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

TEST(HelpTest, HowToOpensTheHelpPageBesideTheProgram) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    OnHowTo();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    const QUrl url = catcher.urls.front();
    EXPECT_TRUE(url.isLocalFile());
    const std::filesystem::path page = url.toLocalFile().toStdString();
    EXPECT_EQ(page.filename(), "help.html");
    EXPECT_TRUE(std::filesystem::exists(page)) << page;
}

}  // namespace
}  // namespace sondrel

#include "CDropWndTest.moc"
