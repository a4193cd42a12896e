// The view together with the details window, the list's popup menus, the Delete key, the
// list commands' states and the drop window.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <gtest/gtest.h>

#include "desktop/CDropWnd.h"
#include "details/CHostInfoDlg.h"
#include "view/CAppHarness.h"
#include "view/Commands.h"

namespace sondrel::test {
namespace {

const uint32_t kOne = AddressFromOctets(10, 0, 0, 1);
const uint32_t kTwo = AddressFromOctets(10, 0, 0, 2);
const uint32_t kThree = AddressFromOctets(10, 0, 0, 3);

void StartWithThreeHosts(CAppHarness& h) {
    ASSERT_TRUE(h.Start());
    for (uint32_t a : {kOne, kTwo, kThree}) h.view()->AddHost(a, "", false);
    Pump(20);
    ASSERT_EQ(h.RowCount(), 3);
}

void Select(CAppHarness& h, const std::vector<int>& rows) {
    QItemSelectionModel* selection = h.view()->ListControl()->selectionModel();
    selection->clearSelection();
    for (int r : rows) {
        selection->select(h.view()->Rows()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

TEST(CViewWiring, DetailsWindowFollowsTheHostItShows) {
    CAppHarness h;
    StartWithThreeHosts(h);
    CCorvelView* v = h.view();
    CHostInfoDlg* dlg = v->m_pInfoDlg;
    ASSERT_NE(dlg, nullptr);
    struct Step {
        const char* what;
        std::function<void()> act;
        uint32_t shown;
        int logRows;
        const char* lastInfo;
        const char* sent;
        const char* received;
    };
    const Step steps[] = {
        {"More details without a selection", [&] { v->OnMoreDetails(); }, 0, 0, "", "", ""},
        {"double click on 10.0.0.1", [&] { v->OnListDoubleClick(h.Row("10.0.0.1")); }, kOne, 1, "added to list.",
         "0", "0"},
        {"a round", [&] { v->OnTimer(); }, kOne, 1, "added to list.", "1", "0"},
        {"its reply", [&] { v->OnPingReply(kOne, "ttl=64,time=5,bytes=32"); }, kOne, 2, "ttl=64,time=5,bytes=32",
         "1", "1"},
        {"another host's reply", [&] { v->OnPingReply(kTwo, "ttl=64,time=7,bytes=32"); }, kOne, 2,
         "ttl=64,time=5,bytes=32", "1", "1"},
        {"two silent rounds", [&] { v->OnTimer(), Pump(20), v->OnTimer(); }, kOne, 3, "request timeout.", "3", "1"},
        {"More details on 10.0.0.2", [&] { Select(h, {h.Row("10.0.0.2")}), v->OnMoreDetails(); }, kTwo, 3,
         "request timeout.", "3", "1"},
        {"removing the host shown", [&] { v->RemoveHost(kTwo); }, kTwo, 4, "removed from list.", "3", "1"},
        {"removing another host", [&] { v->RemoveHost(kThree); }, kTwo, 4, "removed from list.", "3", "1"},
        {"closing", [&] { dlg->reject(); }, 0, 4, "removed from list.", "3", "1"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        Pump(20);
        EXPECT_EQ(v->m_dwInfoAddress, s.shown);
        EXPECT_EQ(dlg->isVisible(), s.shown != 0);
        ASSERT_EQ(dlg->LogRowCount(), s.logRows);
        if (s.logRows > 0) {
            EXPECT_EQ(dlg->LogText(s.logRows - 1, 1), s.lastInfo);
        }
        EXPECT_EQ(dlg->FieldText(CHostInfoDlg::kSent), s.sent);
        EXPECT_EQ(dlg->FieldText(CHostInfoDlg::kReceived), s.received);
    }
}

// Items of the list's popup menu: "-" for a separator, "(grey)" after a disabled item.
std::vector<std::string> PopupItems(CAppHarness& h, bool onRow) {
    QTableView* list = h.view()->ListControl();
    const QPoint at = onRow ? list->visualRect(h.view()->Rows()->index(0, 0)).center()
                            : list->viewport()->rect().bottomLeft() + QPoint(5, -5);
    h.view()->OnListRightClick(at);
    std::vector<std::string> items;
    for (QAction* a : h.view()->ContextMenu()->actions()) {
        items.push_back(a->isSeparator() ? "-" : a->text().toStdString() + (a->isEnabled() ? "" : " (grey)"));
    }
    h.view()->ContextMenu()->hide();
    return items;
}

QAction* PopupItem(CAppHarness& h, const char* text) {
    for (QAction* a : h.view()->ContextMenu()->actions()) {
        if (a->text() == QLatin1String(text)) return a;
    }
    return nullptr;
}

TEST(CViewWiring, PopupMenusShowTheirItemsAndStatesAndRunTheirCommands) {
    CAppHarness h;
    StartWithThreeHosts(h);
    using Items = std::vector<std::string>;
    const Items rowMenu = {"Delete selected address(es)", "-", "Copy this address to clipboard", "-",
                           "More details", "-", "Save to file"};
    Items rowMenuManySelected = rowMenu;
    rowMenuManySelected[2] += " (grey)";
    const Items editMenu = {"Add an address", "Add addresses", "-", "Import from file", "-",
                            "Delete an address", "Delete addresses", "-", "Clear all addresses"};
    const Items editMenuEmpty = {"Add an address", "Add addresses", "-", "Import from file", "-",
                                 "Delete an address (grey)", "Delete addresses (grey)", "-",
                                 "Clear all addresses (grey)"};
    struct Case {
        const char* what;
        std::vector<int> selected;
        bool onRow;
        Items items;
    };
    const Case cases[] = {
        {"row, one selected", {1}, true, rowMenu},
        {"row, none selected", {}, true, rowMenuManySelected},
        {"row, two selected", {0, 2}, true, rowMenuManySelected},
        {"empty area", {1}, false, editMenu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Select(h, c.selected);
        EXPECT_EQ(PopupItems(h, c.onRow), c.items);
    }

    Select(h, {1});
    PopupItems(h, true);
    PopupItem(h, "Copy this address to clipboard")->trigger();
    Pump(20);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "http://10.0.0.2");
    PopupItem(h, "Delete selected address(es)")->trigger();
    Pump(20);
    EXPECT_EQ(h.RowTexts(), (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));

    PopupItems(h, false);
    PopupItem(h, "Clear all addresses")->trigger();
    Pump(20);
    EXPECT_EQ(h.RowCount(), 0);
    EXPECT_EQ(PopupItems(h, false), editMenuEmpty);
    EXPECT_TRUE(h.messages.empty());
}

TEST(CViewWiring, DeleteKeyRemovesTheSelectedRowsOnly) {
    CAppHarness h;
    StartWithThreeHosts(h);
    struct Case {
        std::vector<int> selected;
        int key;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {{}, Qt::Key_Delete, {"10.0.0.1", "10.0.0.2", "10.0.0.3"}},
        {{0, 2}, Qt::Key_Backspace, {"10.0.0.1", "10.0.0.2", "10.0.0.3"}},
        {{0, 2}, Qt::Key_Delete, {"10.0.0.2"}},
    };
    for (const Case& c : cases) {
        Select(h, c.selected);
        QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
        QApplication::sendEvent(h.view()->ListControl(), &press);
        Pump(20);
        EXPECT_EQ(h.RowTexts(), c.rows) << c.selected.size() << " selected, key " << c.key;
    }
}

TEST(CViewWiring, RemovingCommandsAndTheStopButtonAreGreyWhileTheListIsEmpty) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    auto states = [&] {
        h.frame()->UpdateCommandUI();
        std::vector<bool> on;
        for (int id : {ID_DELETE_ADDRESS, ID_DELETE_GROUP, ID_CLEAR_ALL}) on.push_back(h.frame()->Command(id)->isEnabled());
        on.push_back(h.view()->StopButton()->isEnabled());
        return on;
    };
    const std::vector<bool> grey(4, false), enabled(4, true);
    EXPECT_EQ(states(), grey);
    h.view()->AddHost(kOne, "", false);
    Pump(20);
    EXPECT_EQ(states(), enabled);
    h.frame()->Command(ID_CLEAR_ALL)->trigger();
    EXPECT_EQ(states(), grey);
    EXPECT_TRUE(h.view()->Hosts().IsEmpty());
    EXPECT_TRUE(h.view()->Addresses().empty());
}

TEST(CViewWiring, DropWindowShowsFromTheStartAndGoesWithTheView) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    QPointer<CDropWnd> wnd = h.view()->m_pDropWnd;
    ASSERT_FALSE(wnd.isNull());
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_EQ(wnd->m_hMainWnd.data(), h.frame());
    // Its menu runs the frame's commands.
    for (QAction* a : wnd->Menu().actions()) {
        if (a->text() == "Auto popup") a->trigger();
    }
    EXPECT_FALSE(g_bAutoPopup);
    h.Stop();
    EXPECT_TRUE(wnd.isNull());
}

}  // namespace
}  // namespace sondrel::test
