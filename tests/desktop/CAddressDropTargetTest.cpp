#include "desktop/CAddressDropTarget.h"

#include <QDropEvent>
#include <QHostAddress>
#include <QMimeData>
#include <QTcpServer>
#include <QTableView>
#include <QTcpSocket>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <string>
#include <vector>

#include "input/FakeResolver.h"
#include "input/UrlResolver.h"
#include "model/HostTable.h"
#include "view/CAppHarness.h"
#include "view/CMessageBox.h"

namespace sondrel {
namespace {

using test::FakeResolver;
using test::Ip;

const QString kDownload = "We will add the download url instead.";
const QString kInvalid = "Invalid address.Ignored.";

QString Duplicate(const std::string& shown) {
    return QString::fromStdString("This address has been added as below:\r\n" + shown + "\r\nIgnored.");
}

// What a drag carries: a uri list and plain text (empty: not offered).
std::unique_ptr<QMimeData> Mime(const std::string& uriList, const std::string& plain) {
    auto data = std::make_unique<QMimeData>();
    if (!uriList.empty()) {
        data->setData("text/uri-list", QByteArray::fromStdString(uriList));
    }
    if (!plain.empty()) {
        data->setText(QString::fromStdString(plain));
    }
    return data;
}

// Sends one drag event; the action the source would be shown, IgnoreAction when refused.
template <typename Event>
Qt::DropAction Send(QWidget* widget, const QMimeData* data, bool ctrl) {
    Event event(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                ctrl ? Qt::ControlModifier : Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
    return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
}

// Entering, then dropping, as a real drag does.
Qt::DropAction DropOn(QWidget* widget, const QMimeData* data) {
    Send<QDragEnterEvent>(widget, data, false);
    return Send<QDropEvent>(widget, data, false);
}

// Stands in for the main view: its host table, the hosts it was told about, the list files
// it was asked to open, and a main window that Auto popup may show.
class DropTargetTest : public testing::Test {
protected:
    DropTargetTest() {
        SetMessageBoxRecorder([this](const QString& text) { messages.push_back(text); });
        CDropSink sink;
        sink.hosts = [this] { return &hosts; };
        sink.addHost = [this](uint32_t address, const std::string& name, bool named) {
            HostRecord& record = hosts.HostAt(address);
            record.m_strName = name;
            record.m_bNamed = named ? 1 : 0;
            posted.push_back(address);
        };
        sink.mainWindow = [this] { return &mainWindow; };
        sink.autoPopup = [this] { return autoPopup; };
        sink.openListFile = [this](const QString& path) { opened.push_back(path); };
        target.SetSink(std::move(sink));
        target.SetLookups(&resolver, [this](const std::string& url) {
            fetched.push_back(url);
            return url.substr(7);
        });
        target.Register(&widget);
    }
    ~DropTargetTest() override { SetMessageBoxRecorder(nullptr); }

    Qt::DropAction Drop(const std::string& uriList, const std::string& plain) {
        return DropOn(&widget, Mime(uriList, plain).get());
    }

    HostTable hosts;
    std::vector<uint32_t> posted;
    std::vector<QString> opened;
    std::vector<QString> messages;
    std::vector<std::string> fetched;
    bool autoPopup = false;
    QWidget mainWindow;
    QWidget widget;
    FakeResolver resolver{{"www.example.test", Ip("192.0.2.21")},
                          {"moved.example.test", Ip("192.0.2.22")}};
    CAddressDropTarget target;
};

TEST_F(DropTargetTest, EffectsWhileDragging) {
    struct Case {
        const char* name;
        std::string uriList;
        bool ctrl;
        Qt::DropAction enter;
        Qt::DropAction over;
    };
    const Case cases[] = {
        {"link: a move", "http://198.51.100.7/\r\n", false, Qt::MoveAction, Qt::MoveAction},
        {"link with Ctrl: a copy on entering, nothing while moving", "http://198.51.100.7/\r\n",
         true, Qt::CopyAction, Qt::IgnoreAction},
        {"a uri list of comments only is no text", "# nothing\r\n", false, Qt::IgnoreAction,
         Qt::IgnoreAction},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto data = Mime(c.uriList, "");
        EXPECT_EQ(Send<QDragEnterEvent>(&widget, data.get(), c.ctrl), c.enter);
        EXPECT_EQ(Send<QDragMoveEvent>(&widget, data.get(), c.ctrl), c.over);
    }
    EXPECT_TRUE(posted.empty()) << "dragging alone adds nothing";
}

TEST_F(DropTargetTest, Drops) {
    const std::string download =
        "http://dl.example.test/download.php?id=7&url=http://198.51.100.8/f.zip&x=1";
    struct Case {
        const char* name;
        std::string uriList;
        std::string plain;
        Qt::DropAction action;
        std::vector<QString> messages;
        const char* address;  // nullptr: nothing added
        bool named;
        std::string hostName;
        std::vector<std::string> fetched;
    };
    const Case cases[] = {
        {"numeric link: unnamed, nothing fetched or looked up",
         "# comment\r\nhttp://198.51.100.7/a/b.html\r\n", "http://other.example/", Qt::MoveAction, {}, "198.51.100.7", false, "", {}},
        {"download link: the embedded target after the message", download + "\r\n", "",
         Qt::MoveAction, {kDownload}, "198.51.100.8", false, "", {}},
        {"bare name, as typed", "", "moved.example.test", Qt::MoveAction, {}, "192.0.2.22",
         true, "moved.example.test", {}},
        {"unknown name", "", "ftp://nosuch.example.test/pub", Qt::IgnoreAction, {kInvalid},
         nullptr, false, "", {}},
        {"no text", "", "", Qt::IgnoreAction, {}, nullptr, false, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hosts.RemoveAllHosts();
        posted.clear();
        messages.clear();
        fetched.clear();
        EXPECT_EQ(Drop(c.uriList, c.plain), c.action);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(fetched, c.fetched);
        if (c.address == nullptr) {
            EXPECT_EQ(hosts.GetHostCount(), 0);
            EXPECT_TRUE(posted.empty());
            continue;
        }
        ASSERT_EQ(posted, std::vector<uint32_t>{Ip(c.address)});
        const HostRecord* record = hosts.FindHost(Ip(c.address));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->m_bNamed != 0, c.named);
        EXPECT_EQ(record->m_strName, c.hostName);
        EXPECT_EQ(record->m_bReplied, 1);
    }
    EXPECT_TRUE(opened.empty());
}

TEST_F(DropTargetTest, SameLinkTwiceIsRefusedWithTheFirstLinksText) {
    const std::string first = "http://www.example.test/first.html";
    ASSERT_EQ(Drop("", first), Qt::MoveAction);
    ASSERT_EQ(posted.size(), 1u);

    // Another link to the same host, even as its dotted address, is the same host.
    for (const std::string& again : {first, std::string("http://192.0.2.21/other")}) {
        messages.clear();
        EXPECT_EQ(Drop("", again), Qt::IgnoreAction);
        EXPECT_EQ(messages, std::vector<QString>{Duplicate("http://www.example.test/first.html")});
    }
    EXPECT_EQ(posted.size(), 1u);

    hosts.HostAt(Ip("198.51.100.5"));
    messages.clear();
    EXPECT_EQ(Drop("", "http://198.51.100.5/"), Qt::IgnoreAction);
    EXPECT_EQ(messages, std::vector<QString>{Duplicate("198.51.100.5")});
}

TEST_F(DropTargetTest, AutoPopupAndListFiles) {
    for (const bool popup : {false, true}) {
        hosts.RemoveAllHosts();
        mainWindow.hide();
        autoPopup = popup;
        ASSERT_EQ(Drop("", "http://198.51.100.7/"), Qt::MoveAction);
        EXPECT_EQ(mainWindow.isVisible(), popup) << "auto popup " << popup;
    }
    mainWindow.hide();
    EXPECT_EQ(Drop("", "nosuchname"), Qt::IgnoreAction);
    EXPECT_FALSE(mainWindow.isVisible()) << "a refused drop leaves the window alone";

    posted.clear();
    EXPECT_EQ(Drop("file:///home/user/my%20hosts.ipl\r\n", ""), Qt::CopyAction)
        << "the source keeps its file";
    EXPECT_EQ(opened, std::vector<QString>{"/home/user/my hosts.ipl"});
    EXPECT_TRUE(posted.empty());
}

// A page server on loopback: every request gets a page ordering a refresh to target.
class RefreshServer {
public:
    explicit RefreshServer(const QString& target) {
        server_.listen(QHostAddress("127.0.0.1"), 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this, target] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, target] {
                    request_ += socket->readAll();
                    if (!request_.contains("\r\n\r\n")) {
                        return;
                    }
                    paths_ << QString::fromLatin1(request_.split(' ').value(1));
                    request_.clear();
                    socket->write("HTTP/1.0 200 OK\r\n\r\n<meta http-equiv=\"refresh\" content=\"0; url=" +
                                  target.toLatin1() + "\">");
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    bool ok() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }
    const QStringList& paths() const { return paths_; }

private:
    QTcpServer server_;
    QByteArray request_;
    QStringList paths_;
};

TEST_F(DropTargetTest, NamedLinkThroughALocalWebServer) {
    // A closed port on another loopback address: the refresh target is reached but does not
    // answer, so the walk ends on its host.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress("127.0.0.9"), 0));
    const quint16 closed = probe.serverPort();
    probe.close();
    RefreshServer server(QString("http://127.0.0.9:%1/moved.html").arg(closed));
    ASSERT_TRUE(server.ok());

    // The page fetches are the real ones; only the standard web port is swapped for the
    // server's, since a test cannot count on owning port 80.
    const quint16 port = server.port();
    target.SetLookups(&TheSystemResolver(), [port](const std::string& url) {
        return ResolveUrlHost(url + ":" + std::to_string(port));
    });
    const std::string link = "http://localhost/some/page.html";
    ASSERT_EQ(Drop(link + "\r\n", link), Qt::MoveAction);
    EXPECT_EQ(server.paths(), QStringList{"/"}) << "resolution starts at the root page";
    ASSERT_EQ(posted, std::vector<uint32_t>{Ip("127.0.0.9")});
    const HostRecord* record = hosts.FindHost(Ip("127.0.0.9"));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_bNamed, 1);
    EXPECT_EQ(record->m_strName, link);
    EXPECT_TRUE(messages.empty());
}

TEST_F(DropTargetTest, WindowKeepsWorkingWhileALookupRuns) {
    // Posted work (replies, timers) goes on during the lookup; the drop still ends in order.
    bool ranDuringLookup = false;
    target.SetLookups(&resolver, [&](const std::string& url) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { ranDuringLookup = true; },
                                  Qt::QueuedConnection);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return url.substr(7);
    });
    EXPECT_FALSE(CAddressDropTarget::Busy());
    ASSERT_EQ(Drop("", "http://www.example.test/"), Qt::MoveAction);
    EXPECT_TRUE(ranDuringLookup);
    EXPECT_FALSE(CAddressDropTarget::Busy());
}

TEST(DropTargetOnViewTest, DroppedLinkBecomesARowOfTheMainList) {
    test::CAppHarness harness;
    ASSERT_TRUE(harness.Start());
    CAddressDropTarget target;
    target.SetView(harness.view());
    target.Register(harness.view()->ListControl());
    QWidget* viewport = harness.view()->ListControl()->viewport();
    ASSERT_TRUE(viewport->acceptDrops());

    g_bAutoPopup = false;
    const auto data = Mime("", "http://198.51.100.7/index.html");
    EXPECT_EQ(DropOn(viewport, data.get()), Qt::MoveAction);
    ASSERT_TRUE(test::WaitFor([&] { return harness.Row("198.51.100.7") >= 0; }, 5000));
    EXPECT_EQ(harness.Cell("198.51.100.7", 2), "*");

    EXPECT_EQ(DropOn(viewport, data.get()), Qt::IgnoreAction);
    ASSERT_FALSE(harness.messages.empty());
    EXPECT_EQ(harness.messages.back(), Duplicate("198.51.100.7"));
    g_bAutoPopup = true;
}

}  // namespace
}  // namespace sondrel
