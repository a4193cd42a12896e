#include "input/CInputCommands.h"

#include "input/CAddressDialogs.h"
#include "model/ListFile.h"
#include "support/TestSupport.h"
#include "view/CMessageBox.h"

#include "FakeResolver.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

using sondrel::test::FakeResolver;
using sondrel::test::Ip;

// A context over a table of its own that records every box, message and status text, and
// answers dialogs with prepared texts.
class CInputCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxRecorder([this](const QString& text) { boxes.push_back(text.toStdString()); });
        ctx.parent = &window;
        ctx.hosts = &hosts;
        ctx.postAdded = [this](uint32_t a) { added.push_back(a); };
        ctx.postRemoved = [this](uint32_t a) { removed.push_back(a); };
        ctx.selectedRowTexts = [this] { return selected; };
        ctx.clearAll = [this] { hosts.RemoveAllHosts(); };
        ctx.setStatus = [this](const QString& text) { statuses.push_back(text.toStdString()); };
        ctx.resolver = &resolver;
        ctx.resolveUrlHost = [](const std::string& url) { return url.substr(7); };
        ctx.execDialog = [this](QDialog& dialog) {
            auto& d = static_cast<CAddressDialog&>(dialog);
            dialogIds.push_back(d.DialogId());
            for (auto [id, text] : fields) d.EditControl(id)->setText(text);
            if (!accept) return static_cast<int>(QDialog::Rejected);
            d.accept();
            return static_cast<int>(QDialog::Accepted);
        };
    }
    void TearDown() override { SetMessageBoxRecorder(nullptr); }

    void Answer(std::vector<std::pair<int, QString>> values, bool ok = true) {
        fields = std::move(values);
        accept = ok;
    }

    QWidget window;
    sondrel::HostTable hosts;
    FakeResolver resolver{{"www.example.com", Ip("10.0.0.1")},
                          {"other.example", Ip("10.0.0.5")}};
    CInputContext ctx;
    std::vector<uint32_t> added, removed;
    std::vector<std::string> selected, boxes, statuses;
    std::vector<int> dialogIds;
    std::vector<std::pair<int, QString>> fields;
    bool accept = true;
};

TEST_F(CInputCommandsTest, AddAddress) {
    struct Case {
        const char* name;
        QString typed;
        bool ok;
        std::vector<uint32_t> added;
        std::vector<std::string> boxes;
        bool named;
    };
    const Case cases[] = {
        {"dotted", "10.0.0.3", true, {Ip("10.0.0.3")}, {}, false},
        {"name", "www.example.com", true, {Ip("10.0.0.1")}, {}, true},
        {"duplicate by number", "10.0.0.9", true, {},
         {"This address has been added as below:\nfirst.example\nIgnored."}, false},
        {"empty", "", true, {}, {}, false},
        {"cancel", "10.0.0.3", false, {}, {}, false},
    };
    for (const auto& c : cases) {
        hosts.RemoveAllHosts();
        auto& first = hosts.HostAt(Ip("10.0.0.9"));
        first.m_bNamed = 1;
        first.m_strName = "first.example";
        added.clear();
        boxes.clear();
        Answer({{IDC_ADDRESS, c.typed}}, c.ok);
        CInputCommands::AddAddress(ctx);
        EXPECT_EQ(added, c.added) << c.name;
        EXPECT_EQ(boxes, c.boxes) << c.name;
        if (!c.added.empty()) {
            const auto* record = hosts.FindHost(c.added.front());
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(record->m_bNamed, c.named ? 1 : 0) << c.name;
            EXPECT_EQ(record->m_strName, c.named ? c.typed.toStdString() : "") << c.name;
        }
    }
    EXPECT_EQ(dialogIds.front(), 130);
}

TEST_F(CInputCommandsTest, LookupRunsOffTheWindowThreadWhileTheWindowKeepsWorking) {
    std::atomic<bool> release{false};
    std::thread::id lookupThread;
    ctx.resolveUrlHost = [&](const std::string& url) {
        lookupThread = std::this_thread::get_id();
        // Finishes only once the window thread has run a timer meanwhile.
        while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return url.substr(7);
    };
    bool cursorBusy = false;
    QTimer::singleShot(20, [&] {
        cursorBusy = QApplication::overrideCursor() != nullptr;
        release.store(true);
    });
    Answer({{IDC_ADDRESS, "http://10.0.0.7/page"}});
    CInputCommands::AddAddress(ctx);
    EXPECT_TRUE(release.load());
    EXPECT_TRUE(cursorBusy);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_NE(lookupThread, std::this_thread::get_id());
    EXPECT_EQ(added, std::vector<uint32_t>{Ip("10.0.0.7")});
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0], "Looking up http://10.0.0.7/page ...");
    EXPECT_EQ(statuses[1], "");
}

TEST_F(CInputCommandsTest, AddAddressThroughTheSystemResolver) {
    ctx.resolver = nullptr;
    Answer({{IDC_ADDRESS, "localhost"}});
    CInputCommands::AddAddress(ctx);
    EXPECT_EQ(added, std::vector<uint32_t>{Ip("127.0.0.1")});
    EXPECT_EQ(hosts.FindHost(Ip("127.0.0.1"))->m_strName, "localhost");
}

TEST_F(CInputCommandsTest, GroupsAddAndDeleteThroughTheirDialogs) {
    hosts.HostAt(Ip("192.168.1.6"));
    Answer({{IDC_START_IP, "192.168.1.7"}, {IDC_END_IP, "192.168.1.5"}});
    CInputCommands::AddGroup(ctx);
    EXPECT_EQ(added, (std::vector<uint32_t>{Ip("192.168.1.5"), Ip("192.168.1.7")}));
    EXPECT_TRUE(boxes.empty());

    Answer({{IDC_START_IP, "192.168.1.6"}, {IDC_END_IP, "192.168.1.300"}});
    CInputCommands::DeleteGroup(ctx);
    EXPECT_EQ(removed, (std::vector<uint32_t>{Ip("192.168.1.6"), Ip("192.168.1.7")}));

    Answer({{IDC_START_IP, "192.168.1.1"}, {IDC_END_IP, "192.168.2.1"}});
    CInputCommands::DeleteGroup(ctx);
    EXPECT_EQ(boxes, std::vector<std::string>{"We limit to add a C-net. Ignored."});
    EXPECT_EQ(dialogIds, (std::vector<int>{132, 133, 133}));
}

TEST_F(CInputCommandsTest, DeleteAddress) {
    hosts.HostAt(Ip("10.0.0.1"));
    struct Case {
        QString typed;
        std::vector<uint32_t> removed;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"www.example.com", {Ip("10.0.0.1")}, {}},
        {"http://10.0.0.1/", {}, {"Invalid address."}},
        {"", {}, {}},
    };
    for (const auto& c : cases) {
        removed.clear();
        boxes.clear();
        Answer({{IDC_ADDRESS, c.typed}});
        CInputCommands::DeleteAddress(ctx);
        EXPECT_EQ(removed, c.removed) << c.typed.toStdString();
        EXPECT_EQ(boxes, c.boxes) << c.typed.toStdString();
    }
    EXPECT_EQ(dialogIds.front(), 131);
}

TEST_F(CInputCommandsTest, DeleteSelectedAndCopy) {
    hosts.HostAt(Ip("10.0.0.1"));
    auto& named = hosts.HostAt(Ip("10.0.0.2"));
    named.m_bNamed = 1;
    named.m_strName = "http://Web.Example/page?x=1";

    selected = {"http://Web.Example/page?x=1", "no such row", "10.0.0.1"};
    CInputCommands::DeleteSelected(ctx);
    EXPECT_EQ(removed, (std::vector<uint32_t>{Ip("10.0.0.2"), Ip("10.0.0.1")}));

    struct Case {
        std::vector<std::string> rows;
        QString clipboard;
    };
    const Case cases[] = {
        {{"10.0.0.1"}, "http://10.0.0.1"},
        {{"http://Web.Example/page?x=1", "10.0.0.1"}, "http://Web.Example/page?x=1"},
        {{}, "untouched"},
    };
    for (const auto& c : cases) {
        QGuiApplication::clipboard()->setText("untouched");
        selected = c.rows;
        CInputCommands::CopyAddress(ctx);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), c.clipboard);
    }
}

TEST_F(CInputCommandsTest, ImportKeepsWhatWasReadAndTellsOfDamage) {
    sondrel::test::TempDir dir;
    std::vector<sondrel::HostEntry> entries(2);
    entries[0].m_dwAddress = Ip("10.0.0.1");
    entries[1].m_dwAddress = Ip("10.0.0.2");
    const std::string bytes = sondrel::SerializeEntries(9, entries);
    const auto cut = dir / "cut.ipl";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() - 2);

    struct Case {
        QString path;
        std::vector<uint32_t> added;
        std::size_t boxes;
    };
    const Case cases[] = {
        {"", {}, 0},
        {QString::fromStdString(cut.string()), {Ip("10.0.0.1")}, 1},
        {QString::fromStdString((dir / "missing.ipl").string()), {}, 1},
    };
    for (const auto& c : cases) {
        hosts.RemoveAllHosts();
        added.clear();
        boxes.clear();
        ctx.chooseImportFile = [&c] { return c.path; };
        CInputCommands::ImportFromFile(ctx);
        EXPECT_EQ(added, c.added) << c.path.toStdString();
        EXPECT_EQ(boxes.size(), c.boxes) << c.path.toStdString();
    }
}

TEST_F(CInputCommandsTest, PopupMenusCarryTheirItemsAndStates) {
    QMenu menu;
    std::vector<int> chosen;
    for (std::size_t rows : {1u, 2u}) {
        CInputCommands::FillPopupMenu(menu, sondrel::RowMenuItems(rows),
                                      [&](int id) { chosen.push_back(id); });
        const auto actions = menu.actions();
        ASSERT_EQ(actions.size(), 7);
        EXPECT_TRUE(actions[1]->isSeparator() && actions[3]->isSeparator());
        EXPECT_EQ(actions[2]->text(), "Copy this address to clipboard");
        EXPECT_EQ(actions[2]->isEnabled(), rows == 1);
        EXPECT_EQ(actions[6]->text(), "Save to file");
    }
    menu.actions()[6]->trigger();
    menu.actions()[0]->trigger();
    EXPECT_EQ(chosen, (std::vector<int>{57604, 32783}));

    for (std::size_t addresses : {0u, 4u}) {
        CInputCommands::FillPopupMenu(menu, sondrel::EditMenuItems(addresses), [](int) {});
        QStringList grey;
        for (QAction* a : menu.actions()) {
            if (!a->isSeparator() && !a->isEnabled()) grey << a->text();
        }
        const QStringList expected = addresses == 0 ? QStringList{"Delete an address",
                                                                  "Delete addresses",
                                                                  "Clear all addresses"}
                                                    : QStringList{};
        EXPECT_EQ(grey, expected);
        EXPECT_EQ(menu.actions()[3]->text(), "Import from file");
    }
}

TEST(CInputKeysTest, DeleteKeyNeedsASelection) {
    EXPECT_TRUE(CInputCommands::IsDeleteSelectedKey(Qt::Key_Delete, 3));
    EXPECT_FALSE(CInputCommands::IsDeleteSelectedKey(Qt::Key_Delete, 0));
    EXPECT_FALSE(CInputCommands::IsDeleteSelectedKey(Qt::Key_Backspace, 1));
}

}  // namespace
