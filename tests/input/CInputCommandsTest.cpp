#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <fstream>
#include <thread>
#include <tuple>

#include "FakeResolver.h"
#include "input/CAddressDialogs.h"
#include "input/CInputCommands.h"
#include "model/ListFile.h"
#include "support/TestSupport.h"
#include "view/CAppHarness.h"
#include "widgets/CMessageBox.h"

namespace {

using sondrel::test::Ip;
using sondrel::test::WaitFor;
using Fields = std::vector<std::pair<int, QString>>;

// A context over a table of its own that records every box and status text and answers
// the dialogs with prepared texts.
class CInputCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxRecorder([this](const QString& text) { boxes.push_back(text.toStdString()); });
        ctx = {&window,
               &hosts,
               [this](uint32_t a) { added.push_back(a); },
               [this](uint32_t a) { removed.push_back(a); },
               [this] { return selected; },
               [this] { hosts.RemoveAllHosts(); },
               [this](const QString& text) { statuses.push_back(text.toStdString()); },
               &resolver,
               [](const std::string& url) { return url.substr(7); },
               [this](QDialog& dialog) {
                   auto& d = static_cast<CAddressDialog&>(dialog);
                   for (auto& [id, text] : fields) d.EditControl(id)->setText(text);
                   if (accept) d.accept();
                   return static_cast<int>(accept ? QDialog::Accepted : QDialog::Rejected);
               },
               {},
               [this] { updates.push_back(CInputCommands::LookupPending()); }};
    }
    void TearDown() override { SetMessageBoxRecorder(nullptr); }
    void Named(const char* ip, const std::string& name, int sent = 0) {
        auto& record = hosts.HostAt(Ip(ip));
        record.m_strName = name, record.m_bNamed = 1, record.m_nSent = sent;
    }

    QWidget window;
    sondrel::HostTable hosts;
    sondrel::test::FakeResolver resolver{{"www.example.com", Ip("10.0.0.1")},
                                         {"other.example", Ip("192.168.1.6")}};
    CInputContext ctx;
    std::vector<uint32_t> added, removed;
    std::vector<std::string> selected, boxes, statuses;
    std::vector<bool> updates;  // whether a lookup was pending, at each refresh of the commands
    Fields fields;
    bool accept = true;
};

TEST_F(CInputCommandsTest, DialogCommands) {
    const auto add = CInputCommands::AddAddress, addGroup = CInputCommands::AddGroup;
    const auto del = CInputCommands::DeleteAddress, delGroup = CInputCommands::DeleteGroup;
    const auto range = [](QString a, QString b) {
        return Fields{{IDC_START_IP, a}, {IDC_END_IP, b}};
    };
    const auto typed = [](QString text) { return Fields{{IDC_ADDRESS, text}}; };
    const auto dup = [](std::string shown) {
        return std::vector{"This address has been added as below:\n" + shown + "\nIgnored."};
    };
    // name: stored with the first added host; ok: the dialog is accepted
    const struct {
        decltype(add) command;
        Fields fields;
        std::vector<uint32_t> added, removed;
        std::vector<std::string> boxes;
        std::string name = {};
        bool ok = true;
    } cases[] = {
        {add, typed("10.0.0.3"), {Ip("10.0.0.3")}, {}, {}},
        {add, typed("10.0.0.9"), {}, {}, dup("first.example")},
        {add, typed("www.example.com"), {Ip("10.0.0.1")}, {}, {}, "www.example.com"},
        {add, typed("other.example"), {}, {}, dup("192.168.1.6")},
        {add, typed(""), {}, {}, {}},
        {add, typed("10.0.0.3"), {}, {}, {}, "", false},
        {addGroup,
         range("192.168.1.9", "192.168.1.5"),
         {Ip("192.168.1.5"), Ip("192.168.1.7"), Ip("192.168.1.9")},
         {},
         {}},
        {addGroup,
         range("255.255.255.253", "255.255.255.255"),
         {Ip("255.255.255.253"), Ip("255.255.255.254")},
         {},
         {"Input error."}},
        {delGroup,
         range("192.168.1.9", "192.168.1.5"),
         {},
         {Ip("192.168.1.6"), Ip("192.168.1.8")},
         {}},
        {del, typed("other.example"), {}, {Ip("192.168.1.6")}, {}},
        {del, typed("10.0.0.77"), {}, {}, {}},
        {del, typed("http://10.0.0.9/"), {}, {}, {"Invalid address."}},
    };
    for (const auto& c : cases) {
        const std::string label = c.fields.front().second.toStdString();
        hosts.RemoveAllHosts();
        Named("10.0.0.9", "first.example", 5);
        for (const char* ip : {"192.168.1.6", "192.168.1.8"}) hosts.HostAt(Ip(ip));
        added.clear(), removed.clear(), boxes.clear();
        fields = c.fields, accept = c.ok;
        c.command(ctx);
        ASSERT_TRUE(WaitFor([] { return !CInputCommands::LookupPending(); }, 20000)) << label;
        EXPECT_EQ(added, c.added) << label;
        EXPECT_EQ(removed, c.removed) << label;
        EXPECT_EQ(boxes, c.boxes) << label;
        EXPECT_EQ(hosts.FindHost(Ip("10.0.0.9"))->m_nSent, 5) << label;
        const sondrel::HostRecord* first =
            c.added.empty() ? nullptr : hosts.FindHost(c.added.front());
        EXPECT_EQ(first && first->m_bNamed ? first->m_strName : "-", c.name.empty() ? "-" : c.name)
            << label;
    }
}

// The window stays usable during a lookup; what would change the list meanwhile is refused
// at once, never carried out when the lookup ends. The download notice comes first.
TEST_F(CInputCommandsTest, InputDuringALookupIsRefusedNotReplayed) {
    sondrel::test::Gate gate;
    ctx.resolveUrlHost = [&](const std::string& url) { return gate.Pass(), url.substr(7); };
    bool listedAtNotice = true;
    SetMessageBoxRecorder([&](const QString& text) {
        boxes.push_back(text.toStdString());
        listedAtNotice = hosts.FindHost(Ip("127.0.0.40")) != nullptr;
    });
    hosts.HostAt(Ip("10.0.0.9"));
    selected = {"10.0.0.9"};
    const std::string link = "http://web.test/download.php?id=7&url=http://127.0.0.40/x&x=1";
    fields = {{IDC_ADDRESS, QString::fromStdString(link)}};
    CInputCommands::AddAddress(ctx);
    ASSERT_TRUE(WaitFor([&] { return gate.Entered() == 1; }, 20000));
    EXPECT_TRUE(CInputCommands::LookupPending() && QApplication::overrideCursor() != nullptr);
    // Each of these would add, remove or complain if it ran.
    fields = {{IDC_ADDRESS, "10.0.0.9"}, {IDC_START_IP, "10.0.0.8"}, {IDC_END_IP, "10.0.0.9"}};
    ctx.chooseImportFile = [] { return QString("/nonexistent.ipl"); };
    for (const auto command :
         {CInputCommands::AddAddress, CInputCommands::AddGroup, CInputCommands::DeleteAddress,
          CInputCommands::DeleteGroup, CInputCommands::DeleteSelected, CInputCommands::ClearAll,
          CInputCommands::ImportFromFile}) {
        command(ctx);
    }
    gate.Open();
    ASSERT_TRUE(WaitFor([] { return !CInputCommands::LookupPending(); }, 20000));
    EXPECT_EQ(added, std::vector<uint32_t>{Ip("127.0.0.40")});
    EXPECT_TRUE(removed.empty() && hosts.FindHost(Ip("10.0.0.9")) != nullptr);
    EXPECT_EQ(boxes, std::vector<std::string>{"We will add the download url instead."});
    EXPECT_FALSE(listedAtNotice) << "the notice comes before the host is listed";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Looking up " + link + " ...", ""}));
    EXPECT_EQ(updates, (std::vector<bool>{true, false}));
}

// Closing the window does not wait for its lookup; the result, when it comes, is dropped.
TEST_F(CInputCommandsTest, ALookupOutlivingItsWindowIsDropped) {
    sondrel::test::Gate gate;
    auto worker = std::make_shared<int>();  // held by the lookup alone once ctx is gone
    const std::weak_ptr<int> held = worker;
    ctx.resolveUrlHost = [&gate, worker](const std::string& url) {
        return gate.Pass(), url.substr(7);
    };
    worker.reset();
    ctx.parent = new QWidget;
    fields = {{IDC_ADDRESS, "http://10.0.0.7/page"}};
    CInputCommands::AddAddress(ctx);
    ASSERT_TRUE(WaitFor([&] { return gate.Entered() == 1; }, 20000));
    delete std::exchange(ctx, {}).parent;
    EXPECT_TRUE(!CInputCommands::LookupPending() && QApplication::overrideCursor() == nullptr);
    gate.Open();
    // Once the worker has let go of its lookups, anything it sent back is in the queue.
    ASSERT_TRUE(WaitFor([&] { return held.expired(); }, 20000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(added.empty() && hosts.FindHost(Ip("10.0.0.7")) == nullptr);
}

TEST_F(CInputCommandsTest, DeleteSelectedAndCopy) {
    hosts.HostAt(Ip("10.0.0.1"));
    Named("10.0.0.2", "http://Web.Example/page?x=1");
    // The details window may store a looked-up name on an unnamed host; it is not copied.
    hosts.HostAt(Ip("10.0.0.4")).m_strName = "reverse.example";
    selected = {"http://Web.Example/page?x=1", "no such row", "10.0.0.1"};
    CInputCommands::DeleteSelected(ctx);
    EXPECT_EQ(removed, (std::vector<uint32_t>{Ip("10.0.0.2"), Ip("10.0.0.1")}));

    const std::pair<std::vector<std::string>, QString> cases[] = {
        {{"10.0.0.1"}, "http://10.0.0.1"},
        {{"10.0.0.4"}, "http://10.0.0.4"},
        {{"http://web.example/page?x=1"}, "untouched"},
        {{"http://Web.Example/page?x=1", "10.0.0.1"}, "http://Web.Example/page?x=1"},
        {{}, "untouched"}};
    for (const auto& [rows, text] : cases) {
        QGuiApplication::clipboard()->setText("untouched");
        selected = rows;
        CInputCommands::CopyAddress(ctx);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), text);
    }
}

TEST_F(CInputCommandsTest, ImportMergesAndKeepsWhatADamagedFileHeld) {
    sondrel::test::TempDir dir;
    std::vector<sondrel::HostEntry> entries(3);
    for (int i = 0; i < 3; ++i)
        entries[i].m_dwAddress = Ip(("10.0.0." + std::to_string(i + 1)).c_str());
    entries[1].m_record.m_strName = "two.example", entries[1].m_record.m_bNamed = 1;
    const std::string bytes = sondrel::SerializeEntries(9, entries);
    const auto file = [&dir](const char* name, const std::string& content) {
        std::ofstream(dir / name, std::ios::binary) << content;
        return QString::fromStdString((dir / name).string());
    };
    const std::tuple<QString, std::vector<uint32_t>, std::size_t> cases[] = {
        {"", {}, 0},
        {file("whole.ipl", bytes), {Ip("10.0.0.1"), Ip("10.0.0.3")}, 0},
        {file("record.ipl", bytes.substr(0, 8 + 8 + 6)), {Ip("10.0.0.1")}, 1},
        {file("count.ipl", bytes.substr(0, 6)), {}, 1},
        {QString::fromStdString((dir / "missing.ipl").string()), {}, 1}};
    for (const auto& [path, expected, boxCount] : cases) {
        hosts.RemoveAllHosts();
        hosts.HostAt(Ip("10.0.0.2")).m_nSent = 4;
        added.clear(), boxes.clear();
        ctx.chooseImportFile = [&path] { return path; };
        CInputCommands::ImportFromFile(ctx);
        EXPECT_EQ(added, expected) << path.toStdString();
        EXPECT_EQ(boxes.size(), boxCount) << path.toStdString();
        // A listed host keeps its record: unnamed, with its statistics.
        EXPECT_EQ(std::pair(hosts.FindHost(Ip("10.0.0.2"))->m_nSent,
                            int{hosts.FindHost(Ip("10.0.0.2"))->m_bNamed}),
                  std::pair(4, 0));
    }
}

TEST(CGroupAddressDlgTest, EndIpIsFilledFromStartIpWheneverItGainsTheFocus) {
    // The start address typed, the end address before and after it gains the focus.
    const std::tuple<QString, QString, QString> cases[] = {
        {"192.168.1.10", "", "192.168.1."},
        {"192.168.1.10", "192.168.1.20", "192.168.1."},
        {"192.168.1.", "", "192.168.1."},
        {"", "kept", "kept"},
        {"nodots", "kept", "kept"}};
    for (const auto& [typed, before, after] : cases) {
        for (const Qt::FocusReason reason : {Qt::TabFocusReason, Qt::MouseFocusReason}) {
            // Both dialogs share the rule: each takes one reason.
            std::unique_ptr<CGroupAddressDlg> dialog(
                reason == Qt::TabFocusReason ? static_cast<CGroupAddressDlg*>(new CAddGroupDlg)
                                             : new CDeleteGroupDlg);
            dialog->show();
            dialog->activateWindow();
            QLineEdit *start = dialog->EditControl(IDC_START_IP),
                      *end = dialog->EditControl(IDC_END_IP);
            start->setText(typed);
            end->setText(before);
            start->setFocus(Qt::OtherFocusReason);
            QApplication::processEvents();
            end->setFocus(reason);
            QApplication::processEvents();
            ASSERT_TRUE(end->hasFocus());
            EXPECT_EQ(end->text(), after) << typed.toStdString() << " reason " << reason;
            // Ready for the last number: nothing selected, caret at the end.
            const bool ready =
                !end->hasSelectedText() && end->cursorPosition() == end->text().size();
            EXPECT_TRUE(ready || after == "kept") << typed.toStdString() << " reason " << reason;
        }
    }
}

}  // namespace
