#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QAction>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QToolBar>
#include <QUrl>
#include <QWindow>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <thread>
#include <tuple>

#include "platform/Autostart.h"
#include "view/CAppHarness.h"
#include "widgets/Commands.h"

extern char** environ;

namespace sondrel::test {
namespace {

std::string ReadBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}
QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }
uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return AddressFromOctets(a, b, c, d); }

QStringList MenuItems(QMenu* menu) {
    QStringList items;
    for (QAction* a : menu->actions())
        if (a->isSeparator() || a->isVisible()) items << (a->isSeparator() ? "-" : a->text());
    return items;
}

TEST(CMainFrame, MenusToolbarAndMinimising) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    QStringList menus;
    for (QAction* a : h.frame()->menuBar()->actions())
        menus << a->text() + ": " + MenuItems(a->menu()).join("|");
    EXPECT_EQ(menus, (QStringList{
                         "File(&F): Open(&O)...|Save(&S)|Save as(&A)...|-|Recent Files|-|Exit(&X)",
                         "Edit(&E): Add an address|Add addresses|-|Import from file|-|Delete an "
                         "address|Delete addresses|-|Clear all addresses",
                         "Run(&R): Start(&T)|Stop(&P)|-|Auto start|Auto popup|Store samples",
                         "Help(&H): How to ...|-|About Sondrel(&A)..."}));
    std::vector<int> toolbar;
    for (QAction* a : h.frame()->ToolBar()->actions()) {
        if (a->isSeparator() || a->data().isValid()) toolbar.push_back(a->data().toInt());
    }
    EXPECT_EQ(toolbar,
              (std::vector<int>{ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_ADD_ADDRESS, ID_ADD_GROUP, 0,
                                ID_DELETE_SELECTED, ID_CLEAR_ALL, 0, ID_HOW_TO}));
    for (const bool tray : {false, true}) {  // offscreen there is none: the frame is told
        h.frame()->hasTray = [tray] { return tray; };
        h.frame()->showMinimized();
        QCoreApplication::processEvents();
        EXPECT_EQ(h.frame()->isVisible(), !tray) << "without a tray it must stay reachable";
        EXPECT_TRUE(h.frame()->windowHandle()->windowStates() & Qt::WindowMinimized);
        h.view()->OnTrayNotify(kTrayIconId, WM_LBUTTONDBLCLK);
        EXPECT_TRUE(h.frame()->isVisible());
        EXPECT_EQ(h.frame()->windowHandle()->windowStates(), Qt::WindowNoState);
    }
}

TEST(CMainFrame, ALocalListFileDroppedOnTheWindowOpensAsTheDocument) {
    for (const char* url : {"file:///home/u/notes.txt", "http://example.com/list.ipl"})
        EXPECT_EQ(ListFileOfUrl(QUrl(url)), "") << url;
    EXPECT_EQ(ListFileOfUrl(QUrl("file:///home/u/OFFICE.IPL")), "/home/u/OFFICE.IPL");
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    const auto file = h.Path("dropped.ipl");
    WriteList(file, 9, {{Ip(10, 0, 0, 7), ""}});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Q(file))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(h.frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(h.frame(), &drop);
    ASSERT_TRUE(WaitFor([&] { return h.RowCount() == 1; }, 2000));
    EXPECT_EQ(h.RowTexts(), std::vector<std::string>{"10.0.0.7"});
    EXPECT_EQ(h.view()->Session().IntervalInForce(), 9u);
    EXPECT_EQ(h.doc()->PathName(), Q(file));
}

TEST(CCorvelDoc, SaveNewOpenAndSaveRoundTrip) {
    CAppHarness h;
    WriteList(h.DefaultList(), 4, {{Ip(192, 168, 1, 1), ""}, {Ip(192, 168, 1, 2), ""}});
    ASSERT_TRUE(h.Start());
    h.view()->Session().AddHost(Ip(10, 0, 0, 1), "", false);
    h.view()->Session().AddHost(Ip(10, 0, 0, 2), "router.example", true);
    Settle();
    const auto saved = h.Path("saved.ipl");
    ASSERT_TRUE(h.doc()->OnSaveDocument(Q(saved)));
    EXPECT_EQ(ReadBytes(saved), SerializeHostTable(4, h.view()->Session().Hosts()))
        << "table order, interval in force";
    h.doc()->OnFileNew();
    Settle();
    EXPECT_EQ(h.view()->Session().IntervalInForce(), 4u);
    ASSERT_TRUE(h.doc()->OpenDocumentFile(Q(saved)));
    Settle();
    EXPECT_EQ(h.RowTexts(), (std::vector<std::string>{"10.0.0.1", "192.168.1.1", "192.168.1.2",
                                                      "router.example"}));
    EXPECT_EQ(h.doc()->PathName(), Q(saved));
    h.view()->Session().AddHost(Ip(10, 0, 0, 3), "", false);
    Settle();
    h.doc()->OnFileSave();  // to the current file again
    EXPECT_EQ(ReadListFile(saved).entries.size(), 5u);
    EXPECT_TRUE(h.messages.empty());
}

TEST(CCorvelDoc, FilesThatCannotBeLoadedAreReportedAndTheListStays) {
    CAppHarness h;
    WriteList(h.DefaultList(), 3, {{Ip(10, 0, 0, 1), ""}});
    ASSERT_TRUE(h.Start());
    const std::string good =
        SerializeEntries(6, Entries({{Ip(10, 9, 9, 9), ""}, {Ip(10, 9, 9, 8), "x.example"}}));
    using Rows = std::vector<std::string>;
    // bytes "<none>": no file at all
    const struct {
        std::string bytes;
        const char* message;
        Rows rows;
        uint32_t interval;
    } cases[] = {
        {"<none>", "Cannot open the file", {"10.0.0.1"}, 3},
        {"", "is empty", {"10.0.0.1"}, 3},
        {good.substr(0, good.size() - 3), "is damaged", {"10.0.0.1"}, 3},
        {SerializeEntries(0, Entries({{Ip(10, 5, 5, 5), ""}})),
         nullptr,
         {"10.5.5.5"},
         3},  // interval 0 is not armed
        {good, nullptr, {"10.9.9.9", "x.example"}, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message ? c.message : c.rows[0]);
        h.messages.clear();
        const auto file = h.Path(c.rows[0] + std::to_string(c.bytes.size()) + ".ipl");
        if (c.bytes != "<none>") WriteBytes(file, c.bytes);
        const QString before = h.doc()->PathName();
        EXPECT_EQ(h.doc()->OpenDocumentFile(Q(file)), c.message == nullptr);
        Settle();
        EXPECT_EQ(h.messages.size(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_TRUE(!h.messages.empty() && h.messages[0].contains(c.message));
            EXPECT_EQ(h.doc()->PathName(), before);
        }
        EXPECT_EQ(h.RowTexts(), c.rows);
        EXPECT_EQ(h.view()->Session().IntervalInForce(), c.interval);
    }
}

TEST(CCorvelDoc, RecentFilesKeepTheFourLatestAcrossRestarts) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    for (int i : {0, 1, 2, 3, 4, 5, 3}) {  // the last one again: moves to the top
        WriteList(h.Path(std::to_string(i) + ".ipl"), 3, {});
        ASSERT_TRUE(h.doc()->OpenDocumentFile(Q(h.Path(std::to_string(i) + ".ipl"))));
    }
    h.Stop();
    ASSERT_TRUE(h.Start());
    const QStringList expected{Q(h.Path("3.ipl")), Q(h.Path("5.ipl")), Q(h.Path("4.ipl")),
                               Q(h.Path("2.ipl"))};
    EXPECT_EQ(h.frame()->RecentFiles(), expected);
    QMenu* fileMenu = h.frame()->menuBar()->actions().first()->menu();
    EXPECT_EQ(MenuItems(fileMenu)[4], "&1 " + expected[0]);
    // An entry that no longer opens leaves the list after its message.
    std::filesystem::remove(h.Path("5.ipl"));
    fileMenu->actions()[6]->trigger();
    EXPECT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.frame()->RecentFiles(), (QStringList{expected[0], expected[2], expected[3]}));
    // A recent file replaces the list as Open does, so it is offered only when Open is.
    for (const bool open : {false, true}) {
        h.frame()->OnUpdateCommand(ID_FILE_OPEN, [open](QAction* a) { a->setEnabled(open); });
        h.frame()->UpdateCommandUI();
        EXPECT_EQ(fileMenu->actions()[5]->text().left(3) +
                      (fileMenu->actions()[5]->isEnabled() ? "on" : "off"),
                  QString("&1 ") + (open ? "on" : "off"));
    }
}

// Run > Store samples turns the sample history off and on while running, is remembered for
// the next start, and is grayed when the window was started without a store.
TEST(CCorvelApp, StoreSamplesFollowsEveryClickAndIsRemembered) {
    CAppHarness h;
    h.storeFile = h.Path("samples.sqlite");
    auto state = [&h] {
        h.frame()->UpdateCommandUI();
        const QAction* a = h.frame()->Command(ID_STORE_SAMPLES);
        return std::string(a->isEnabled() ? "on" : "off") + (a->isChecked() ? "+" : "-") +
               (h.view()->Session().Store() ? "s" : "");
    };
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(state(), "on+s");
    h.frame()->Command(ID_STORE_SAMPLES)->trigger();
    EXPECT_EQ(state(), "on-");
    h.Stop();
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(state(), "on-") << "remembered";
    h.frame()->Command(ID_STORE_SAMPLES)->trigger();
    EXPECT_EQ(state(), "on+s");
    h.Stop();
    h.storeFile.clear();
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(state(), "off-");
}

TEST(CCorvelApp, DefaultListIsWrittenAtExitAndReadAtStart) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    h.view()->Session().AddHost(Ip(10, 0, 0, 1), "", false);
    h.view()->Session().AddHost(Ip(10, 0, 0, 2), "gw.example", true);
    Settle();
    h.view()->IntervalEdit()->setText("12");
    h.view()->OnIntervalChanged();
    h.Stop();
    EXPECT_EQ(ReadBytes(h.DefaultList()).substr(0, 4), std::string("\x0c\0\0\0", 4));
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.RowTexts(), (std::vector<std::string>{"10.0.0.1", "gw.example"}));
    EXPECT_EQ(h.view()->Session().IntervalInForce(), 12u);
    EXPECT_TRUE(h.messages.empty());
    h.Stop();
    // Damaged: the message waits for the window, else the window would cover it.
    WriteBytes(h.DefaultList(), ReadBytes(h.DefaultList()).substr(0, 20));
    bool windowShown = false;
    SetMessageBoxRecorder([&](const QString& text) {
        h.messages.push_back(text);
        windowShown = h.app()->Frame()->isVisible();
    });
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.RowTexts(), std::vector<std::string>{"10.0.0.1"});
    EXPECT_TRUE(windowShown);
    EXPECT_EQ(h.messages,
              std::vector<QString>{Q(h.DefaultList()) +
                                   ":\nends inside record 2 of 2 at byte 16\nThe file "
                                   "was kept as " +
                                   Q(h.DefaultList()) + ".damaged.\n1 host(s) were kept."});
}

TEST(CCorvelApp, AutoStartFollowsTheEntryAtStartThenEveryClick) {
    TempDir config;
    WriteBytes(config / "plainfile", "x");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> oldHome = old ? std::optional<std::string>(old) : std::nullopt;
    const std::string program =
        QuoteExecArgument(QCoreApplication::applicationFilePath().toStdString());
    // The configuration folder, whether it holds an entry at start, whether one can be written.
    const std::tuple<std::filesystem::path, bool, bool> cases[] = {
        {config / "a", false, true},
        {config / "b", true, true},
        {config / "plainfile", false, false}};
    for (const auto& [home, entryAtStart, writable] : cases) {
        SCOPED_TRACE(home);
        ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        const auto entry = AutostartEntryPath(home);
        if (entryAtStart) {
            ASSERT_EQ(WriteAutostartEntry(entry, "/old/sondrel"), 0);
        }
        CAppHarness h;
        ASSERT_TRUE(h.Start());
        QAction* autoStart = h.frame()->Command(ID_AUTO_START);
        EXPECT_EQ(autoStart->isChecked(), entryAtStart);
        for (const bool on : {!entryAtStart, entryAtStart}) {
            autoStart->trigger();
            EXPECT_EQ(autoStart->isChecked(), on);
            EXPECT_EQ(AutostartEntryExists(entry)
                          ? ReadBytes(entry).find(program) != std::string::npos
                          : false,
                      on && writable);
        }
    }
    oldHome ? (void)::setenv("XDG_CONFIG_HOME", oldHome->c_str(), 1)
            : (void)::unsetenv("XDG_CONFIG_HOME");
}

TEST(CCorvelApp, ALaterStartShowsTheWindowAndHandsOverItsFile) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    const auto file = h.Path("handed.ipl");
    WriteList(file, 2, {{Ip(10, 1, 1, 1), ""}});
    h.frame()->hide();
    int sent = -1;  // written by the later start's thread, read after join
    std::thread later([&] {
        sent = SendInstanceRequest(h.MakeOptions().instanceName,
                                   InstanceRequest{true, file.string()}, 5000);
    });
    EXPECT_TRUE(WaitFor([&] { return h.frame()->isVisible() && h.RowCount() == 1; }, 5000));
    later.join();
    EXPECT_EQ(sent, 0);
}

TEST(CCorvelApp, WithoutAnIcmpSocketTheProgramSaysHowToAllowItAndKeepsRunning) {
    CAppHarness h;
    WriteList(h.DefaultList(), 3, {{Loopback(1), ""}});
    CCorvelApp::Options options = h.MakeOptions();
    options.icmpMessage = IcmpUnavailableMessage("Operation not permitted");
    CCorvelApp app(options);
    ASSERT_TRUE(app.InitInstance({}));
    Settle();
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_TRUE(h.messages[0].contains("setcap cap_net_raw+ep") &&
                h.messages[0].contains("ping_group_range"))
        << h.messages[0].toStdString();
    EXPECT_TRUE(app.Frame()->isVisible());
    for (int round = 0; round < 2; ++round) app.View()->OnTimer(), Settle();
    EXPECT_EQ(app.View()->Rows()->Text(0, 2), "timeout")
        << "rounds go on; without replies every host times out";
    app.ExitInstance();
}

// The real program in a process of its own.
class Program {
public:
    Program(std::vector<std::string> args, std::vector<std::string> env,
            const std::filesystem::path& errors = "/dev/null") {
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        const auto pointers = [](std::vector<std::string>& strings) {
            std::vector<char*> p;
            for (std::string& s : strings) p.push_back(s.data());
            return p.push_back(nullptr), p;
        };
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT, 0644);
        if (::posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, pointers(args).data(),
                          pointers(env).data()) != 0)
            pid_ = -1;
        ::posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (Running()) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
    }
    // Exit code, or -1 while it still runs after the time.
    int Wait(int timeoutMs) {
        for (int waited = 0, status = 0; pid_ > 0 && code_ < 0; waited += 20) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (waited >= timeoutMs) {
                break;
            } else {
                ::usleep(20000);
            }
        }
        return code_;
    }
    bool Running() { return pid_ > 0 && Wait(0) < 0; }
    pid_t pid_ = -1;
    int code_ = -1;
};

struct ProgramSetup {
    TempDir dir;
    std::string instance =
        "sondrel-proc-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand());
    std::string binary = (BinDir() / "sondrel").string();
    std::vector<std::string> Env() const {
        // These tests read the program's exit status; the leak check at the exit of a program
        // with the toolkit's threads still winding down now and then cannot stop them and fails
        // the run. Leaks are checked by the in-process tests.
        return {"ASAN_OPTIONS=detect_leaks=0", "QT_QPA_PLATFORM=offscreen",
                "SONDREL_CONFIG_DIR=" + dir.path().string(), "SONDREL_INSTANCE_NAME=" + instance,
                "XDG_CONFIG_HOME=" + (dir.path() / "config").string()};
    }
    bool WaitListening(Program& p) const {
        for (int i = 0; i < 1000 && p.Running(); ++i, ::usleep(20000)) {
            // The request returns once the program has read it: its event loop is running.
            if (SendInstanceRequest(instance, InstanceRequest{true, ""}, 20000) == 0) return true;
        }
        return false;
    }
    std::set<uint32_t> Saved(uint32_t interval) const {
        const ListReadResult saved = ReadListFile(dir / "default.ipl");
        EXPECT_TRUE(saved.ok() && saved.interval == interval);
        std::set<uint32_t> hosts;
        for (const HostEntry& e : saved.entries) hosts.insert(e.m_dwAddress);
        EXPECT_EQ(hosts.size(), saved.entries.size());
        return hosts;
    }
};

TEST(SondrelProgram, TerminationSignalsSaveTheListAsExitDoes) {
    // Unsaved: a folder where the new file must go fails the save even for root. No one may
    // be there to close a box: the reason goes to standard error and the status is 1. Handed:
    // a second start hands its file to the first and ends.
    for (const auto& [sig, unsaved, handed] : {std::tuple{SIGTERM, false, true},
                                               {SIGINT, false, false},
                                               {SIGHUP, false, false},
                                               {SIGTERM, true, false}}) {
        SCOPED_TRACE(sig);
        ProgramSetup s;
        if (!std::filesystem::exists(s.binary))
            GTEST_SKIP() << "the sondrel program is not built at " << s.binary;
        WriteList(s.dir / "default.ipl", 7,
                  {{Loopback(9), ""}, {Loopback(9), ""}});  // the program keeps one
        const std::string before = ReadBytes(s.dir / "default.ipl");
        if (unsaved) std::filesystem::create_directory(s.dir / "default.ipl.new");
        Program p({s.binary}, s.Env(), s.dir / "stderr");
        ASSERT_TRUE(s.WaitListening(p));
        if (handed) {
            WriteList(s.dir / "other.ipl", 4, {{Loopback(5), ""}, {Loopback(6), "localhost"}});
            EXPECT_EQ(Program({s.binary, (s.dir / "other.ipl").string()}, s.Env()).Wait(20000), 0);
            // The first opens the file from its event loop, before it reads a later request.
            ASSERT_TRUE(s.WaitListening(p));
        }
        ::kill(p.pid_, sig);
        EXPECT_EQ(p.Wait(20000), unsaved ? 1 : 0);
        if (unsaved) {
            EXPECT_EQ(ReadBytes(s.dir / "default.ipl"), before);
            EXPECT_NE(ReadBytes(s.dir / "stderr").find("sondrel: The list could not be saved"),
                      std::string::npos);
        } else if (handed) {
            EXPECT_EQ(s.Saved(4), (std::set<uint32_t>{Loopback(5), Loopback(6)}));
        } else {
            EXPECT_EQ(s.Saved(7), std::set<uint32_t>{Loopback(9)});
        }
    }
}

}  // namespace
}  // namespace sondrel::test
