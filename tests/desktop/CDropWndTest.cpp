#include <gtest/gtest.h>

#include "app/CMainFrame.h"
#include "desktop/CDropWnd.h"
#include "view/CAppHarness.h"

namespace sondrel {
namespace {

// The menu as a right click shows it: separators as "-", checked items marked "*", greyed
// items in brackets.
QString Shown(CDropWnd& wnd) {
    emit wnd.Menu().aboutToShow();
    QStringList texts;
    for (const QAction* a : wnd.Menu().actions()) {
        const QString text = (a->isChecked() ? "*" : "") + a->text();
        texts << (a->isSeparator() ? "-" : a->isEnabled() ? text : "(" + text + ")");
    }
    return texts.join("|");
}

// The states are the main window's, decided just before the menu opens.
TEST(DropWndTest, MenuItemsAndStatesFollowTheProgram) {
    const QString menu =
        "%1Auto popup|-|Open ...|Import addresses from ...|-|Add an address ...|"
        "Add a group of ip addresses ...|%2Delete an address ...%3|"
        "%2Delete a group of ip addresses ...%3|%2Clear the list%3|-|Exit";
    for (const bool listed : {false, true}) {
        test::CAppHarness harness;
        if (listed) test::WriteList(harness.DefaultList(), 3000, {{test::Loopback(1), ""}});
        ASSERT_TRUE(harness.Start());
        CMainFrame* frame = harness.frame();
        CDropWnd wnd;
        wnd.SetMainWindow(
            frame, [frame](int id) { return frame->Command(id); },
            [frame] { frame->UpdateCommandUI(); });
        bool& autoPopup = harness.app()->Settings().autoPopup;
        EXPECT_EQ(Shown(wnd), menu.arg("*", listed ? "" : "(", listed ? "" : ")"));
        // Chosen items run the frame's commands: Auto popup twice leaves it as it was.
        wnd.Menu().actions().front()->trigger();
        EXPECT_TRUE(!autoPopup && Shown(wnd).startsWith("Auto popup|"));
        wnd.Menu().actions().front()->trigger();
        EXPECT_TRUE(autoPopup);
    }
}

TEST(DropWndTest, DoubleClickTogglesTheMainWindow) {
    // How the main window starts (nothing: hidden), and whether a double click leaves it shown.
    const std::pair<void (QWidget::*)(), bool> cases[] = {{&QWidget::showMinimized, true},
                                                          {&QWidget::show, false},
                                                          {&QWidget::showMaximized, false},
                                                          {&QWidget::hide, true}};
    for (const auto& [start, visible] : cases) {
        QWidget main;
        CDropWnd wnd;
        wnd.SetMainWindow(&main, [](int) { return nullptr; });
        (main.*start)();
        QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(3, 3),
                          QPointF(wnd.mapToGlobal(QPoint(3, 3))), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&wnd, &click);
        EXPECT_TRUE(main.isVisible() == visible && !main.isMinimized() && !main.isMaximized())
            << visible;
    }
}

}  // namespace
}  // namespace sondrel
