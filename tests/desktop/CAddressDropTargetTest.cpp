#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QTableView>

#include "desktop/CAddressDropTarget.h"
#include "input/FakeResolver.h"
#include "view/CAppHarness.h"
#include "widgets/CMessageBox.h"

namespace sondrel {
namespace {

using test::Ip;

QString Duplicate(const std::string& shown) {
    return QString::fromStdString("This address has been added as below:\r\n" + shown +
                                  "\r\nIgnored.");
}

// What a drag carries: a uri list and plain text (empty: not offered).
std::unique_ptr<QMimeData> Mime(const std::string& uriList, const std::string& plain) {
    auto data = std::make_unique<QMimeData>();
    if (!uriList.empty()) data->setData("text/uri-list", QByteArray::fromStdString(uriList));
    if (!plain.empty()) data->setText(QString::fromStdString(plain));
    return data;
}

// Sends one drag event: the action the source is shown, IgnoreAction when refused.
template <typename Event>
Qt::DropAction Send(QWidget* widget, const QMimeData* data, bool ctrl = false) {
    Event event(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                ctrl ? Qt::ControlModifier : Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
    return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
}

// A drop is accepted as a copy before its lookup; what it adds comes when that has ended.
Qt::DropAction DropOn(QWidget* widget, const QMimeData* data, bool settle = true) {
    Send<QDragEnterEvent>(widget, data);
    const Qt::DropAction action = Send<QDropEvent>(widget, data);
    EXPECT_TRUE(!settle || test::WaitFor([] { return !CAddressDropTarget::Busy(); }, 20000));
    return action;
}

// Stands in for the main view: its host table, the hosts it was told about, the list files
// it was asked to open, and a main window that Auto popup may show.
class DropTargetTest : public testing::Test {
protected:
    DropTargetTest() {
        SetMessageBoxRecorder([this](const QString& text) { messages.push_back(text); });
        target.SetSink({[this] { return &hosts; },
                        [this](uint32_t address, const std::string& name, bool named) {
                            hosts.HostAt(address).m_strName = name,
                            hosts.HostAt(address).m_bNamed = named;
                            posted.push_back(address);
                        },
                        [this] { return &mainWindow; }, [this] { return autoPopup; },
                        [this](const QString& path) { opened.push_back(path); },
                        [this] { ++commandUpdates; }});
        target.SetLookups(&resolver, urls.Function());
        target.Register(&widget);
    }
    ~DropTargetTest() override { SetMessageBoxRecorder(nullptr); }
    Qt::DropAction Drop(const std::string& uriList, const std::string& plain) {
        return DropOn(&widget, Mime(uriList, plain).get());
    }

    HostTable hosts;
    std::vector<uint32_t> posted;
    std::vector<QString> opened, messages;
    int commandUpdates = 0;  // at the start and at the end of each lookup
    bool autoPopup = false;
    QWidget mainWindow, widget;
    test::FakeResolver resolver{{"www.example.test", Ip("192.0.2.21")},
                                {"moved.example.test", Ip("192.0.2.22")},
                                {"ftp.example.test", Ip("192.0.2.30")}};
    test::FakeUrls urls;
    CAddressDropTarget target;
};

TEST_F(DropTargetTest, EffectsWhileDragging) {
    // Ctrl: a copy on entering, nothing while moving. The data is read on entering only.
    const std::tuple<std::string, bool, Qt::DropAction, Qt::DropAction> cases[] = {
        {"http://198.51.100.7/\r\n", false, Qt::MoveAction, Qt::MoveAction},
        {"http://198.51.100.7/\r\n", true, Qt::CopyAction, Qt::IgnoreAction},
        {"# nothing\r\n", false, Qt::IgnoreAction, Qt::IgnoreAction}};
    for (const auto& [uriList, ctrl, enter, over] : cases) {
        const auto data = Mime(uriList, "");
        EXPECT_EQ(Send<QDragEnterEvent>(&widget, data.get(), ctrl), enter) << uriList << ctrl;
        data->clear();
        EXPECT_EQ(Send<QDragMoveEvent>(&widget, data.get(), ctrl), over) << uriList << ctrl;
    }
    EXPECT_TRUE(posted.empty()) << "dragging alone adds nothing";
}

TEST_F(DropTargetTest, Drops) {
    const QString invalid = "Invalid address.Ignored.";
    // address nullptr: refused; named: stored under the whole dropped text
    const struct {
        std::string uriList, plain;
        std::vector<QString> messages;
        const char* address;
        bool named = false;
        std::vector<std::string> fetched = {};
    } cases[] = {
        // A numeric server is used as it is, whatever its service.
        {"# comment\r\nhttp://198.51.100.7/a/b.html\r\n",
         "http://other.example/",
         {},
         "198.51.100.7"},
        {"", "ftp://198.51.100.8/pub/", {}, "198.51.100.8"},
        {"", "198.51.100.10", {}, "198.51.100.10"},
        {"http://dl.example.test/download.php?id=7&url=http://198.51.100.8/f.zip&x=1\r\n",
         "",
         {"We will add the download url instead."},
         "198.51.100.8"},
        // An HTTP server is resolved by its pages, then looked up; others are only looked up.
        {"",
         "http://redirect.example.test/p?q=1",
         {},
         "192.0.2.22",
         true,
         {"http://redirect.example.test"}},
        {"",
         "http://numeric.example.test/",
         {},
         "198.51.100.9",
         true,
         {"http://numeric.example.test"}},
        {"", "ftp://ftp.example.test/pub/", {}, "192.0.2.30", true},
        {"", "ftp://nosuch.example.test/pub", {invalid}, nullptr},
        {"", "file:///etc/hosts", {invalid}, nullptr},
        // Text that is no link goes the typed way.
        {"", "moved.example.test", {}, "192.0.2.22", true},
        {"", "", {}, nullptr},
        // The same host again, by name or by number, is refused with the listed host's text.
        {"",
         "http://www.example.test/again",
         {Duplicate("http://www.example.test/first")},
         nullptr,
         false,
         {"http://www.example.test"}},
        {"", "http://192.0.2.21/other", {Duplicate("http://www.example.test/first")}, nullptr},
        {"", "http://198.51.100.5/", {Duplicate("198.51.100.5")}, nullptr},
    };
    urls.moves = {{"http://redirect.example.test", "moved.example.test"},
                  {"http://numeric.example.test", "198.51.100.9"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uriList + c.plain);
        hosts.RemoveAllHosts();
        posted.clear(), messages.clear(), urls.asked.clear();
        hosts.HostAt(Ip("198.51.100.5"));
        HostRecord& listed = hosts.HostAt(Ip("192.0.2.21"));
        listed.m_strName = "http://www.example.test/first", listed.m_bNamed = 1;
        EXPECT_EQ(Drop(c.uriList, c.plain),
                  (c.uriList + c.plain).empty() ? Qt::IgnoreAction : Qt::CopyAction);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(urls.asked, c.fetched);
        EXPECT_EQ(posted,
                  c.address ? std::vector<uint32_t>{Ip(c.address)} : std::vector<uint32_t>{});
        const HostRecord* added = c.address ? hosts.FindHost(Ip(c.address)) : nullptr;
        EXPECT_EQ(added && added->m_bNamed ? added->m_strName : "-", c.named ? c.plain : "-");
    }
}

TEST_F(DropTargetTest, AutoPopupAndListFiles) {
    for (const bool popup : {false, true}) {
        hosts.RemoveAllHosts();
        mainWindow.hide();
        autoPopup = popup;
        ASSERT_EQ(Drop("", "http://198.51.100.7/"), Qt::CopyAction);
        EXPECT_EQ(mainWindow.isVisible(), popup) << "auto popup " << popup;
    }
    posted.clear();
    EXPECT_EQ(Drop("file:///home/user/my%20hosts.ipl\r\n", ""), Qt::CopyAction);
    EXPECT_EQ(opened, std::vector<QString>{"/home/user/my hosts.ipl"});
    EXPECT_TRUE(posted.empty());
}

// A drop during a lookup is refused at once; the pending one alone adds its host, and its
// notice has come before.
TEST_F(DropTargetTest, DropsDuringALookupAreRefused) {
    test::Gate gate;
    target.SetLookups(&resolver,
                      [&](const std::string& url) { return gate.Pass(), url.substr(7); });
    const std::string link = "http://dl.test/download?url=http://www.example.test/";
    EXPECT_EQ(DropOn(&widget, Mime("", link).get(), false), Qt::CopyAction);
    ASSERT_TRUE(test::WaitFor([&] { return gate.Entered() == 1; }, 20000));
    EXPECT_EQ(messages, std::vector<QString>{"We will add the download url instead."});
    EXPECT_EQ(DropOn(&widget, Mime("", "http://198.51.100.7/").get(), false), Qt::IgnoreAction);
    gate.Open();
    ASSERT_TRUE(test::WaitFor([] { return !CAddressDropTarget::Busy(); }, 20000));
    EXPECT_EQ(posted, std::vector<uint32_t>{Ip("192.0.2.21")});
    EXPECT_EQ(commandUpdates, 2);
}

TEST(DropTargetOnViewTest, DroppedLinkBecomesARowOfTheMainList) {
    test::CAppHarness harness;
    ASSERT_TRUE(harness.Start());
    // The list accepts drops through the view's own target.
    QWidget* viewport = harness.view()->ListControl()->viewport();
    harness.app()->Settings().autoPopup = false;
    const auto data = Mime("", "http://198.51.100.7/index.html");
    EXPECT_EQ(DropOn(viewport, data.get()), Qt::CopyAction);
    ASSERT_TRUE(test::WaitFor([&] { return harness.Row("198.51.100.7") >= 0; }, 5000));
    DropOn(viewport, data.get());
    EXPECT_EQ(harness.messages, std::vector<QString>{Duplicate("198.51.100.7")});
}

}  // namespace
}  // namespace sondrel
