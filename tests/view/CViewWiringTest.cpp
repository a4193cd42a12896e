// The view with the details window, the list's popup menus, the Delete key, the list
// commands' states and the drop window.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <tuple>

#include "desktop/CDropWnd.h"
#include "view/CAppHarness.h"
#include "widgets/Commands.h"

namespace sondrel::test {
namespace {

const uint32_t kOne = AddressFromOctets(10, 0, 0, 1), kTwo = AddressFromOctets(10, 0, 0, 2),
               kThree = AddressFromOctets(10, 0, 0, 3);

void StartWithThreeHosts(CAppHarness& h) {
    ASSERT_TRUE(h.Start());
    // These tests start every round themselves: the view's own timer must not tick in between,
    // however slowly a sanitizer build runs.
    h.view()->IntervalEdit()->setText(QStringLiteral("10000"));
    h.view()->OnIntervalChanged();
    for (uint32_t a : {kOne, kTwo, kThree}) h.view()->Session().AddHost(a, "", false);
    Settle();
    ASSERT_EQ(h.RowCount(), 3);
}

void Select(CAppHarness& h, const std::vector<int>& rows) {
    QItemSelectionModel* selection = h.view()->ListControl()->selectionModel();
    selection->clearSelection();
    for (int r : rows)
        selection->select(h.view()->Rows()->index(r, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

TEST(CViewWiring, DetailsWindowFollowsTheHostItShows) {
    CAppHarness h;
    StartWithThreeHosts(h);
    CCorvelView* v = h.view();
    CHostInfoDlg* dlg = v->InfoDialog();
    // Host shown, log rows, last event, sent and received fields.
    const struct {
        const char* what;
        std::function<void()> act;
        uint32_t shown;
        int logRows;
        const char* last;
        const char* counts;
    } steps[] = {
        {"More details without a selection", [&] { v->OnMoreDetails(); }, 0, 0, "", "/"},
        {"double click", [&] { v->OnListDoubleClick(h.Row("10.0.0.1")); }, kOne, 1,
         "added to list.", "0/0"},
        {"a round", [&] { v->OnTimer(); }, kOne, 1, "added to list.", "1/0"},
        {"its reply", [&] { v->Session().OnPingReply(kOne, "ttl=64,time=5,bytes=32"); }, kOne, 2,
         "ttl=64,time=5,bytes=32", "1/1"},
        {"another host's reply", [&] { v->Session().OnPingReply(kTwo, "ttl=64,time=7,bytes=32"); },
         kOne, 2, "ttl=64,time=5,bytes=32", "1/1"},
        {"two silent rounds", [&] { v->OnTimer(), Settle(), v->OnTimer(); }, kOne, 3,
         "request timeout.", "3/1"},
        {"More details on 10.0.0.2", [&] { Select(h, {h.Row("10.0.0.2")}), v->OnMoreDetails(); },
         kTwo, 3, "request timeout.", "3/1"},
        {"removing the host shown", [&] { v->Session().RemoveHost(kTwo); }, kTwo, 4,
         "removed from list.", "3/1"},
        {"removing another host", [&] { v->Session().RemoveHost(kThree); }, kTwo, 4,
         "removed from list.", "3/1"},
        {"closing", [&] { dlg->reject(); }, 0, 4, "removed from list.", "3/1"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        Settle();
        EXPECT_EQ(v->InfoAddress().value_or(0), s.shown);
        EXPECT_EQ(dlg->isVisible(), s.shown != 0);
        ASSERT_EQ(dlg->LogRowCount(), s.logRows);
        EXPECT_EQ(s.logRows ? dlg->LogText(s.logRows - 1, 1) : "", s.last);
        EXPECT_EQ(
            dlg->FieldText(CHostInfoDlg::kSent) + "/" + dlg->FieldText(CHostInfoDlg::kReceived),
            s.counts);
    }
}

// The popup menu for a click on a row or on the empty area: "-" for a separator, greyed
// items in brackets.
std::string Popup(CAppHarness& h, bool onRow) {
    QTableView* list = h.view()->ListControl();
    h.view()->OnListRightClick(onRow ? list->visualRect(h.view()->Rows()->index(0, 0)).center()
                                     : list->viewport()->rect().bottomLeft() + QPoint(5, -5));
    std::string items;
    for (QAction* a : h.view()->ContextMenu()->actions()) {
        const std::string text = a->isSeparator() ? "-" : a->text().toStdString();
        items += (items.empty() ? "" : "|") + (a->isEnabled() ? text : "(" + text + ")");
    }
    h.view()->ContextMenu()->hide();
    return items;
}

void Choose(CAppHarness& h, bool onRow, const char* text) {
    Popup(h, onRow);
    for (QAction* a : h.view()->ContextMenu()->actions()) {
        if (a->text() == QLatin1String(text)) a->trigger();
    }
    Settle();
}

TEST(CViewWiring, PopupMenusShowTheirItemsAndStatesAndRunTheirCommands) {
    CAppHarness h;
    StartWithThreeHosts(h);
    const auto row = [](const std::string& copy) {
        return "Delete selected address(es)|-|" + copy + "|-|More details|-|Save to file";
    };
    const std::string edit = "Add an address|Add addresses|-|Import from file|-|";
    // Rows selected, whether the click is on a row, the menu shown.
    const std::tuple<std::vector<int>, bool, std::string> cases[] = {
        {{1}, true, row("Copy this address to clipboard")},
        {{}, true, row("(Copy this address to clipboard)")},
        {{0, 2}, true, row("(Copy this address to clipboard)")},
        {{1}, false, edit + "Delete an address|Delete addresses|-|Clear all addresses"},
    };
    for (const auto& [selected, onRow, items] : cases) {
        Select(h, selected);
        EXPECT_EQ(Popup(h, onRow), items) << selected.size() << " selected";
    }
    Select(h, {1});
    Choose(h, true, "Copy this address to clipboard");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "http://10.0.0.2");
    Choose(h, true, "Delete selected address(es)");
    EXPECT_EQ(h.RowTexts(), (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));
    Choose(h, false, "Clear all addresses");
    EXPECT_EQ(h.RowCount(), 0);
    EXPECT_EQ(Popup(h, false),
              edit + "(Delete an address)|(Delete addresses)|-|(Clear all addresses)");
}

TEST(CViewWiring, DeleteKeyRemovesTheSelectedRowsOnly) {
    CAppHarness h;
    StartWithThreeHosts(h);
    const std::vector<std::string> all = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
    // Rows selected, the key pressed, the rows left.
    const std::tuple<std::vector<int>, int, std::vector<std::string>> cases[] = {
        {{}, Qt::Key_Delete, all},
        {{0, 2}, Qt::Key_Backspace, all},
        {{0, 2}, Qt::Key_Delete, {"10.0.0.2"}}};
    for (const auto& [selected, key, rows] : cases) {
        Select(h, selected);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(h.view()->ListControl(), &press);
        Settle();
        EXPECT_EQ(h.RowTexts(), rows) << selected.size() << " selected, key " << key;
    }
}

TEST(CViewWiring, RemovingCommandsAndTheStopButtonAreGreyWhileTheListIsEmpty) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    auto states = [&] {
        h.frame()->UpdateCommandUI();
        std::vector<bool> on;
        for (int id : {ID_DELETE_ADDRESS, ID_DELETE_GROUP, ID_CLEAR_ALL})
            on.push_back(h.frame()->Command(id)->isEnabled());
        on.push_back(h.view()->StopButton()->isEnabled());
        return on;
    };
    EXPECT_EQ(states(), std::vector<bool>(4, false));
    h.view()->Session().AddHost(kOne, "", false);
    Settle();
    EXPECT_EQ(states(), std::vector<bool>(4, true));
    h.frame()->Command(ID_CLEAR_ALL)->trigger();
    EXPECT_EQ(states(), std::vector<bool>(4, false));
    EXPECT_TRUE(h.view()->Session().Hosts().IsEmpty() && h.view()->Session().Addresses().empty());
    QPointer<CDropWnd> wnd = h.view()->DropWindow();
    EXPECT_TRUE(wnd && wnd->isVisible());
    h.Stop();
    EXPECT_TRUE(wnd.isNull()) << "the drop window goes with the view";
}

}  // namespace
}  // namespace sondrel::test
