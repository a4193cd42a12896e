#include <QAction>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "app/CAboutDlg.h"
#include "platform/Autostart.h"
#include "view/CAppHarness.h"
#include "view/Commands.h"

extern char** environ;

namespace sondrel::test {
namespace {

std::string ReadBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// --- Menus, toolbar, status bar ----------------------------------------------------------------

std::vector<QString> MenuItems(QMenu* menu) {
    std::vector<QString> items;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            items.push_back(QStringLiteral("-"));
        } else if (a->isVisible()) {
            items.push_back(a->text());
        }
    }
    return items;
}

TEST(CMainFrame, MenusCarryTheirExactTextsInOrder) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    std::map<QString, std::vector<QString>> menus;
    std::vector<QString> titles;
    for (QAction* a : h.frame()->menuBar()->actions()) {
        titles.push_back(a->text());
        menus[a->text()] = MenuItems(a->menu());
    }
    EXPECT_EQ(titles, (std::vector<QString>{"File(&F)", "Edit(&E)", "Run(&R)", "Help(&H)"}));
    EXPECT_EQ(menus["File(&F)"], (std::vector<QString>{"Open(&O)...", "Save(&S)", "Save as(&A)...", "-",
                                                       "Recent Files", "-", "Exit(&X)"}));
    EXPECT_EQ(menus["Edit(&E)"],
              (std::vector<QString>{"Add an address", "Add addresses", "-", "Import from file", "-",
                                    "Delete an address", "Delete addresses", "-", "Clear all addresses"}));
    EXPECT_EQ(menus["Run(&R)"], (std::vector<QString>{"Start(&T)", "Stop(&P)", "-", "Auto start", "Auto popup"}));
    EXPECT_EQ(menus["Help(&H)"], (std::vector<QString>{"How to ...", "-", "About Sondrel(&A)..."}));
    std::vector<int> toolbar;
    for (QAction* a : h.frame()->ToolBar()->actions()) {
        if (a->isSeparator() || a->data().isValid()) toolbar.push_back(a->data().toInt());
    }
    EXPECT_EQ(toolbar, (std::vector<int>{ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_ADD_ADDRESS, ID_ADD_GROUP, 0,
                                         ID_DELETE_SELECTED, ID_CLEAR_ALL, 0, ID_HOW_TO}));
}

TEST(CMainFrame, WithoutATrayMinimisingMinimisesInsteadOfHiding) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    ASSERT_FALSE(h.view()->HasTray());
    h.frame()->showMinimized();
    Pump(30);
    EXPECT_TRUE(h.frame()->isVisible());
}

TEST(CMainFrame, OnlyLocalListFilesCountAsDroppedDocuments) {
    struct Case {
        const char* url;
        const char* path;
    };
    const Case cases[] = {
        {"file:///home/u/office.ipl", "/home/u/office.ipl"},
        {"file:///home/u/OFFICE.IPL", "/home/u/OFFICE.IPL"},
        {"file:///home/u/notes.txt", ""},
        {"http://example.com/list.ipl", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ListFileOfUrl(QUrl(QString::fromLatin1(c.url))), QString::fromLatin1(c.path)) << c.url;
    }
}

TEST(CMainFrame, AListFileDroppedOnTheWindowOpensAsTheDocument) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    const auto file = h.Path("dropped.ipl");
    WriteList(file, 9, {{AddressFromOctets(10, 0, 0, 7), ""}});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Q(file))});
    // As a file manager's drag arrives: enter, then the drop.
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(h.frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(h.frame(), &drop);
    ASSERT_TRUE(WaitFor([&] { return h.RowCount() == 1; }, 2000))
        << (h.messages.empty() ? std::string("no message") : h.messages[0].toStdString());
    EXPECT_EQ(h.RowTexts(), std::vector<std::string>{"10.0.0.7"});
    EXPECT_EQ(h.view()->IntervalInForce(), 9u);
    EXPECT_EQ(h.doc()->PathName(), Q(file));
}

// --- The about box -------------------------------------------------------------------------

TEST(CAboutDlg, ShowsTheWholeTextFileOrNothing) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 30; ++i) text += "line " + std::to_string(i) + " of the about text...\n";
    text.resize(600, 'x');
    WriteBytes(dir / "about.txt", text);
    struct Case {
        std::filesystem::path file;
        std::string shown;
    };
    const Case cases[] = {{dir / "about.txt", text}, {dir / "missing.txt", ""}};
    for (const Case& c : cases) {
        CAboutDlg dlg(nullptr, c.file);
        EXPECT_EQ(dlg.TextField()->toPlainText().toStdString(), c.shown);
        EXPECT_TRUE(dlg.TextField()->isReadOnly());
    }
}

// --- List files through the document -------------------------------------------------------

TEST(CCorvelDoc, SaveNewAndOpenRoundTrip) {
    CAppHarness h;
    WriteList(h.DefaultList(), 4, {{AddressFromOctets(192, 168, 1, 1), ""}, {AddressFromOctets(192, 168, 1, 2), ""}});
    ASSERT_TRUE(h.Start());
    h.view()->AddHost(AddressFromOctets(10, 0, 0, 1), "", false);
    h.view()->AddHost(AddressFromOctets(10, 0, 0, 2), "router.example", true);
    Pump(20);
    const auto saved = h.Path("saved.ipl");
    ASSERT_TRUE(h.doc()->OnSaveDocument(Q(saved)));
    // Written in table order, with the interval in force.
    EXPECT_EQ(ReadBytes(saved), SerializeHostTable(4, h.view()->Hosts()));
    EXPECT_EQ(h.doc()->m_entries.size(), 4u);

    h.doc()->OnFileNew();
    Pump(20);
    EXPECT_EQ(h.RowCount(), 0);
    EXPECT_EQ(h.view()->IntervalInForce(), 4u);  // New keeps the interval in force

    ASSERT_TRUE(h.doc()->OpenDocumentFile(Q(saved)));
    Pump(20);
    EXPECT_EQ(h.RowTexts(), (std::vector<std::string>{"10.0.0.1", "192.168.1.1", "192.168.1.2", "router.example"}));
    const HostRecord* named = h.view()->Hosts().FindHost(AddressFromOctets(10, 0, 0, 2));
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->m_bNamed, 1);
    EXPECT_EQ(named->m_nSent, 0);
    EXPECT_EQ(h.doc()->PathName(), Q(saved));
    EXPECT_TRUE(h.messages.empty());
    // Save writes to the current file again.
    h.view()->AddHost(AddressFromOctets(10, 0, 0, 3), "", false);
    Pump(20);
    h.doc()->OnFileSave();
    EXPECT_EQ(ReadListFile(saved).entries.size(), 5u);
}

TEST(CCorvelDoc, FilesThatCannotBeLoadedAreReportedAndTheListStays) {
    CAppHarness h;
    WriteList(h.DefaultList(), 3, {{AddressFromOctets(10, 0, 0, 1), ""}});
    ASSERT_TRUE(h.Start());
    const std::string good = SerializeEntries(6, Entries({{AddressFromOctets(10, 9, 9, 9), ""}, {AddressFromOctets(10, 9, 9, 8), "x.example"}}));
    struct Case {
        const char* what;
        std::string bytes;  // written to the file; "<none>" for no file at all
        const char* message;
        std::vector<std::string> rows;
        uint32_t interval;
    };
    const Case cases[] = {
        {"missing", "<none>", "Cannot open the file", {"10.0.0.1"}, 3},
        {"empty", "", "is empty", {"10.0.0.1"}, 3},
        {"ends in a record", good.substr(0, good.size() - 3), "is damaged", {"10.0.0.1"}, 3},
        {"negative count", SerializeEntries(8, {}).replace(4, 4, std::string("\xff\xff\xff\xff", 4)), nullptr, {}, 8},
        {"interval 0 is not armed", SerializeEntries(0, Entries({{AddressFromOctets(10, 5, 5, 5), ""}})), nullptr,
         {"10.5.5.5"}, 8},
        {"good", good, nullptr, {"10.9.9.9", "x.example"}, 6},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        h.messages.clear();
        const auto file = h.Path("case" + std::to_string(n++) + ".ipl");
        if (c.bytes != "<none>") WriteBytes(file, c.bytes);
        const QString before = h.doc()->PathName();
        const bool opened = h.doc()->OpenDocumentFile(Q(file));
        Pump(20);
        EXPECT_EQ(opened, c.message == nullptr);
        if (c.message) {
            ASSERT_EQ(h.messages.size(), 1u);
            EXPECT_TRUE(h.messages[0].contains(QString::fromLatin1(c.message))) << h.messages[0].toStdString();
            EXPECT_EQ(h.doc()->PathName(), before);
        } else {
            EXPECT_TRUE(h.messages.empty());
        }
        EXPECT_EQ(h.RowTexts(), c.rows);
        EXPECT_EQ(h.view()->IntervalInForce(), c.interval);
    }
}

TEST(CCorvelDoc, RecentFilesKeepTheFourLatestMostRecentFirst) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    QStringList opened;
    for (int i = 0; i < 6; ++i) {
        const auto file = h.Path("list" + std::to_string(i) + ".ipl");
        WriteList(file, 3, {});
        ASSERT_TRUE(h.doc()->OpenDocumentFile(Q(file)));
        opened.prepend(Q(file));
    }
    ASSERT_TRUE(h.doc()->OpenDocumentFile(opened[2]));  // again: moves to the top
    const QStringList expected{opened[2], opened[0], opened[1], opened[3]};
    EXPECT_EQ(h.app()->RecentFiles(), expected);
    EXPECT_EQ(h.frame()->RecentFiles(), expected);
    // They survive a restart (the settings), and the menu offers them.
    h.Stop();
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.frame()->RecentFiles(), expected);
    QMenu* file = h.frame()->menuBar()->actions().first()->menu();
    std::vector<QString> items = MenuItems(file);
    EXPECT_EQ(items[4], QStringLiteral("&1 ") + expected[0]);
    EXPECT_EQ(std::count(items.begin(), items.end(), QStringLiteral("Recent Files")), 0);
}

// --- default.ipl -----------------------------------------------------------------------------

TEST(CCorvelApp, DefaultListIsWrittenAtExitAndReadAtStart) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.RowCount(), 0);
    EXPECT_EQ(h.view()->IntervalInForce(), 3u);
    h.view()->AddHost(AddressFromOctets(10, 0, 0, 1), "", false);
    h.view()->AddHost(AddressFromOctets(10, 0, 0, 2), "gw.example", true);
    Pump(20);
    h.view()->IntervalEdit()->setText(QStringLiteral("12"));
    h.view()->OnIntervalChanged();
    h.Stop();
    EXPECT_EQ(ReadBytes(h.DefaultList()).substr(0, 4), std::string("\x0c\0\0\0", 4));
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.RowTexts(), (std::vector<std::string>{"10.0.0.1", "gw.example"}));
    EXPECT_EQ(h.view()->IntervalInForce(), 12u);
    EXPECT_TRUE(h.messages.empty());
}

TEST(CCorvelApp, DamagedDefaultListIsReportedOnceAndKept) {
    CAppHarness h;
    std::string bytes = SerializeEntries(5, Entries({{AddressFromOctets(10, 0, 0, 1), ""}, {AddressFromOctets(10, 0, 0, 2), ""}}));
    bytes.resize(bytes.size() - 2);
    WriteBytes(h.DefaultList(), bytes);
    ASSERT_TRUE(h.Start());
    Pump(20);
    EXPECT_EQ(h.RowTexts(), std::vector<std::string>{"10.0.0.1"});
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_TRUE(h.messages[0].contains(QStringLiteral("1 host(s) were kept"))) << h.messages[0].toStdString();
    EXPECT_TRUE(std::filesystem::exists(h.DefaultList().string() + ".damaged"));
    EXPECT_EQ(h.view()->IntervalInForce(), 5u);
}

TEST(CCorvelApp, DefaultListThatCannotBeWrittenIsReportedAndTheOldOneStays) {
    TempDir dir;
    CAppHarness h;
    CCorvelApp::Options options = h.MakeOptions();
    // A folder that cannot exist: its parent is a regular file.
    WriteBytes(dir / "file", "x");
    options.view.defaultList = dir / "file" / "default.ipl";
    CCorvelApp app(options);
    ASSERT_TRUE(app.InitInstance({}));
    app.View()->AddHost(AddressFromOctets(10, 0, 0, 1), "", false);
    Pump(20);
    app.ExitInstance();
    // Reading it failed at start as well; the failure to save is told once.
    EXPECT_EQ(std::count_if(h.messages.begin(), h.messages.end(),
                            [](const QString& m) { return m.contains(QStringLiteral("could not be saved")); }),
              1);
    EXPECT_EQ(ReadBytes(dir / "file"), "x");
}

// --- Auto start ------------------------------------------------------------------------------

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { old_ ? (void)::setenv(name_, old_->c_str(), 1) : (void)::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(CCorvelApp, AutoStartFollowsTheEntryAtStartThenEveryClick) {
    TempDir config;
    struct Case {
        const char* what;
        std::filesystem::path configHome;
        bool entryAtStart;
        bool writable;
    };
    WriteBytes(config / "plainfile", "x");
    const Case cases[] = {
        {"no entry", config / "a", false, true},
        {"entry present", config / "b", true, true},
        {"folder cannot be made", config / "plainfile", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv env("XDG_CONFIG_HOME", c.configHome.string());
        const auto entry = AutostartEntryPath(c.configHome);
        if (c.entryAtStart) {
            ASSERT_EQ(WriteAutostartEntry(entry, "/old/sondrel"), 0);
        }
        CAppHarness h;
        ASSERT_TRUE(h.Start());
        QAction* autoStart = h.frame()->Command(ID_AUTO_START);
        EXPECT_EQ(autoStart->isChecked(), c.entryAtStart);
        for (int click = 1; click <= 2; ++click) {
            autoStart->trigger();
            const bool on = c.entryAtStart != (click % 2 == 1);
            EXPECT_EQ(autoStart->isChecked(), on) << "click " << click;
            EXPECT_EQ(AutostartEntryExists(entry), on && c.writable) << "click " << click;
            if (on && c.writable) {
                EXPECT_NE(ReadBytes(entry).find(QuoteExecArgument(QCoreApplication::applicationFilePath().toStdString())),
                          std::string::npos);
            }
        }
    }
}

// --- Later starts ----------------------------------------------------------------------------

TEST(CCorvelApp, ALaterStartShowsTheWindowAndHandsOverItsFile) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    const auto file = h.Path("handed.ipl");
    WriteList(file, 2, {{AddressFromOctets(10, 1, 1, 1), ""}});
    h.frame()->hide();
    int sent = -1;
    std::thread later([&] {
        sent = SendInstanceRequest(h.InstanceName(), InstanceRequest{true, file.string()}, 5000);
    });
    const bool handled = WaitFor([&] { return h.frame()->isVisible() && h.RowCount() == 1; }, 5000);
    later.join();
    EXPECT_TRUE(handled);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(h.RowTexts(), std::vector<std::string>{"10.1.1.1"});
}

TEST(CCorvelApp, WithoutAnIcmpSocketTheProgramSaysHowToAllowItAndKeepsRunning) {
    CAppHarness h;
    WriteList(h.DefaultList(), 3, {{Loopback(1), ""}});
    CCorvelApp::Options options = h.MakeOptions();
    options.view.socket = nullptr;
    options.icmpMessage = IcmpUnavailableMessage("Operation not permitted");
    CCorvelApp app(options);
    ASSERT_TRUE(app.InitInstance({}));
    Pump(20);
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_TRUE(h.messages[0].contains(QStringLiteral("setcap cap_net_raw+ep"))) << h.messages[0].toStdString();
    EXPECT_TRUE(h.messages[0].contains(QStringLiteral("ping_group_range"))) << h.messages[0].toStdString();
    // Lists and rounds go on; without replies every host times out.
    EXPECT_TRUE(app.Frame()->isVisible());
    EXPECT_EQ(app.View()->Rows()->Count(), 1);
    app.View()->OnTimer();
    Pump(20);
    app.View()->OnTimer();
    Pump(20);
    EXPECT_EQ(app.View()->Rows()->Text(0, 2), "timeout");
    app.ExitInstance();
}

TEST(CCorvelApp, X11IsPreferredOnlyOnWaylandWithXWaylandAndNoChoiceMade) {
    struct Case {
        const char* qpa;
        const char* wayland;
        const char* display;
        bool x11;
    };
    const Case cases[] = {
        {nullptr, "wayland-0", ":0", true},   {"", "wayland-0", ":0", true},
        {"wayland", "wayland-0", ":0", false}, {nullptr, "wayland-0", nullptr, false},
        {nullptr, "wayland-0", "", false},     {nullptr, nullptr, ":0", false},
        {"offscreen", nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShouldPreferX11(c.qpa, c.wayland, c.display), c.x11)
            << (c.qpa ? c.qpa : "-") << " " << (c.wayland ? c.wayland : "-") << " " << (c.display ? c.display : "-");
    }
}

// --- The real program, as separate processes ------------------------------------------------

class Program {
public:
    Program(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        std::vector<std::string> all = env;
        for (char** e = environ; *e; ++e) all.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& s : all) envp.push_back(s.data());
        envp.push_back(nullptr);
        std::vector<std::string> argvStore = args;
        std::vector<char*> argv;
        for (std::string& s : argvStore) argv.push_back(s.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return pid_ > 0; }
    bool Running() {
        if (exited_) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return !exited_;
    }
    // Exit code, or -1 when it did not end in time.
    int Wait(int timeoutMs) {
        for (int waited = 0; Running(); waited += 20) {
            if (waited > timeoutMs) return -1;
            ::usleep(20000);
        }
        return code_;
    }
    void Signal(int sig) { ::kill(pid_, sig); }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int code_ = -1;
};

struct ProgramSetup {
    TempDir dir;
    std::string instance = "sondrel-proc-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand());
    std::filesystem::path binary = BinDir() / "sondrel";
    std::vector<std::string> Env() const {
        return {"QT_QPA_PLATFORM=offscreen", "SONDREL_CONFIG_DIR=" + dir.path().string(),
                "SONDREL_INSTANCE_NAME=" + instance, "XDG_CONFIG_HOME=" + (dir.path() / "config").string()};
    }
    // Waits until the program listens for later starts.
    bool WaitListening(Program& p) const {
        for (int i = 0; i < 1000 && p.Running(); ++i) {
            if (SendInstanceRequest(instance, InstanceRequest{true, ""}, 1000) == 0) return true;
            ::usleep(20000);
        }
        return false;
    }
};

TEST(SondrelProgram, ASecondStartHandsItsFileToTheFirstAndEnds) {
    ProgramSetup s;
    if (!std::filesystem::exists(s.binary)) GTEST_SKIP() << "the sondrel program is not built at " << s.binary;
    WriteList(s.dir / "default.ipl", 2, {{Loopback(1), ""}});
    WriteList(s.dir / "other.ipl", 4, {{Loopback(5), ""}, {Loopback(6), "localhost"}});
    Program first({s.binary.string()}, s.Env());
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(s.WaitListening(first)) << "the first program never listened";
    Program second({s.binary.string(), (s.dir / "other.ipl").string()}, s.Env());
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.Wait(20000), 0);
    EXPECT_TRUE(first.Running());
    ::usleep(500000);  // the first opens the file from its event loop
    first.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(20000), 0);
    ListReadResult saved = ReadListFile(s.dir / "default.ipl");
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(saved.interval, 4u);
    std::set<uint32_t> hosts;
    for (const HostEntry& e : saved.entries) hosts.insert(e.m_dwAddress);
    EXPECT_EQ(hosts, (std::set<uint32_t>{Loopback(5), Loopback(6)}));
}

TEST(SondrelProgram, TerminationSignalsSaveTheListAsExitDoes) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        ProgramSetup s;
        if (!std::filesystem::exists(s.binary)) GTEST_SKIP() << "the sondrel program is not built at " << s.binary;
        // Listed twice: the program keeps one, so a rewritten file lists it once.
        WriteList(s.dir / "default.ipl", 7, {{Loopback(9), ""}, {Loopback(9), ""}});
        Program p({s.binary.string()}, s.Env());
        ASSERT_TRUE(p.Started());
        ASSERT_TRUE(s.WaitListening(p));
        p.Signal(sig);
        EXPECT_EQ(p.Wait(20000), 0);
        ListReadResult saved = ReadListFile(s.dir / "default.ipl");
        ASSERT_TRUE(saved.ok());
        EXPECT_EQ(saved.interval, 7u);
        ASSERT_EQ(saved.entries.size(), 1u);
        EXPECT_EQ(saved.entries[0].m_dwAddress, Loopback(9));
    }
}

}  // namespace
}  // namespace sondrel::test
