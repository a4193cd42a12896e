#include "app/CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWindowStateChangeEvent>

#include "widgets/Commands.h"

using namespace sondrel;

// The icons live in a resource file of a static library: register them explicitly, or the
// linker may leave their registration out.
static void InitSondrelResources() { Q_INIT_RESOURCE(sondrel); }

namespace {

QIcon ToolIcon(const QString& name) {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tool-%1.png").arg(name), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/tool-%1@2x.png").arg(name), QSize(32, 32));
    return icon;
}

QIcon ThemeIcon(const char* themeName, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(themeName),
                            QApplication::style()->standardIcon(fallback));
}

}  // namespace

QString ListFileOfUrl(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    const QString path = url.toLocalFile();
    if (QFileInfo(path).suffix().compare(QStringLiteral("ipl"), Qt::CaseInsensitive) != 0)
        return {};
    return path;
}

CMainFrame::CMainFrame() {
    InitSondrelResources();
    setWindowTitle(QStringLiteral("Sondrel"));
    QIcon icon;
    for (int s : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/sondrel-%1.png").arg(s));
    setWindowIcon(icon);
    setAcceptDrops(true);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    resize(460, 520);
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::MakeCommand(int id, const QString& text, const QString& prompt,
                                 const QString& tip) {
    auto* action = new QAction(text, this);
    action->setStatusTip(prompt);
    action->setToolTip(tip.isEmpty() ? prompt : tip);
    action->setData(id);
    m_commands[id] = action;
    return action;
}

void CMainFrame::CreateActions() {
    MakeCommand(ID_FILE_NEW, QStringLiteral("New"), QStringLiteral("Create a new document"),
                QStringLiteral("New"))
        ->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    QAction* open = MakeCommand(ID_FILE_OPEN, QStringLiteral("Open(&O)..."),
                                QStringLiteral("Open an existing file"), QStringLiteral("Open"));
    open->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    open->setIcon(ThemeIcon("document-open", QStyle::SP_DialogOpenButton));
    QAction* save = MakeCommand(ID_FILE_SAVE, QStringLiteral("Save(&S)"),
                                QStringLiteral("Save this document"), QStringLiteral("Save"));
    save->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    save->setIcon(ThemeIcon("document-save", QStyle::SP_DialogSaveButton));
    MakeCommand(ID_FILE_SAVE_AS, QStringLiteral("Save as(&A)..."),
                QStringLiteral("Save the file with an new name"), QStringLiteral("Save as"));
    MakeCommand(ID_APP_EXIT, QStringLiteral("Exit(&X)"),
                QStringLiteral("Quit the program;prompt to save document"), QStringLiteral("exit"));

    MakeCommand(ID_ADD_ADDRESS, QStringLiteral("Add an address"), QStringLiteral("Add an address"),
                QStringLiteral("Add an address"))
        ->setIcon(ToolIcon(QStringLiteral("add")));
    MakeCommand(ID_ADD_GROUP, QStringLiteral("Add addresses"),
                QStringLiteral("Add a group of addresses"),
                QStringLiteral("Add a group of addresses"))
        ->setIcon(ToolIcon(QStringLiteral("add-group")));
    MakeCommand(ID_IMPORT, QStringLiteral("Import from file"),
                QStringLiteral("Import addresses from file"),
                QStringLiteral("Import address from file"));
    MakeCommand(ID_DELETE_ADDRESS, QStringLiteral("Delete an address"),
                QStringLiteral("Delete an address"), QStringLiteral("Delete an address"));
    MakeCommand(ID_DELETE_GROUP, QStringLiteral("Delete addresses"),
                QStringLiteral("Delete a group of addresses"),
                QStringLiteral("Delete a group of addresses"));
    MakeCommand(ID_CLEAR_ALL, QStringLiteral("Clear all addresses"),
                QStringLiteral("Clear the addresses list"),
                QStringLiteral("Clear the addresses list"))
        ->setIcon(ToolIcon(QStringLiteral("clear")));
    MakeCommand(ID_DELETE_SELECTED, QStringLiteral("Delete selected address(es)"),
                QStringLiteral("Delete selected address(es)"),
                QStringLiteral("Delete selected address(es)"))
        ->setIcon(ToolIcon(QStringLiteral("delete")));
    MakeCommand(ID_COPY_ADDRESS, QStringLiteral("Copy this address to clipboard"),
                QStringLiteral("Copy this address to clipboard"), QString());
    MakeCommand(ID_MORE_DETAILS, QStringLiteral("More details"), QStringLiteral("More details"),
                QString());

    QAction* start = MakeCommand(ID_START, QStringLiteral("Start(&T)"),
                                 QStringLiteral("Start to ping"), QString());
    start->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));
    QAction* stop =
        MakeCommand(ID_STOP, QStringLiteral("Stop(&P)"), QStringLiteral("Stop pinging"), QString());
    stop->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    MakeCommand(ID_AUTO_START, QStringLiteral("Auto start"),
                QStringLiteral("Autostart this program"), QString())
        ->setCheckable(true);
    MakeCommand(ID_AUTO_POPUP, QStringLiteral("Auto popup"),
                QStringLiteral("Popup when new address is added"), QString())
        ->setCheckable(true);

    MakeCommand(ID_STORE_SAMPLES, QStringLiteral("Store samples"),
                QStringLiteral("Keep every answer in the sample history"), QString())
        ->setCheckable(true);

    MakeCommand(ID_HOW_TO, QStringLiteral("How to ..."), QStringLiteral("How to ..."),
                QStringLiteral("How to ..."))
        ->setIcon(ToolIcon(QStringLiteral("help")));
    MakeCommand(ID_APP_ABOUT, QStringLiteral("About Sondrel(&A)..."),
                QStringLiteral("Show the information about this program"), QStringLiteral("about"));

    // Accelerators work while the menu bar is closed and with the window's focus anywhere.
    for (auto& [id, action] : m_commands) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    // Checkable commands decide their own check mark; a click only runs the handler.
    for (int id : {ID_AUTO_START, ID_AUTO_POPUP, ID_STORE_SAMPLES}) {
        QAction* a = m_commands[id];
        connect(a, &QAction::triggered, this, [this] { UpdateCommandUI(); });
    }
    connect(m_commands[ID_APP_EXIT], &QAction::triggered, this, &QWidget::close);
}

void CMainFrame::CreateMenus() {
    m_fileMenu = menuBar()->addMenu(QStringLiteral("File(&F)"));
    m_fileMenu->addAction(m_commands[ID_FILE_OPEN]);
    m_fileMenu->addAction(m_commands[ID_FILE_SAVE]);
    m_fileMenu->addAction(m_commands[ID_FILE_SAVE_AS]);
    m_fileMenu->addSeparator();
    m_recentPlaceholder = m_fileMenu->addAction(QStringLiteral("Recent Files"));
    m_recentPlaceholder->setEnabled(false);
    m_recentSeparatorEnd = m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_commands[ID_APP_EXIT]);

    m_editMenu = menuBar()->addMenu(QStringLiteral("Edit(&E)"));
    m_editMenu->addAction(m_commands[ID_ADD_ADDRESS]);
    m_editMenu->addAction(m_commands[ID_ADD_GROUP]);
    m_editMenu->addSeparator();
    m_editMenu->addAction(m_commands[ID_IMPORT]);
    m_editMenu->addSeparator();
    m_editMenu->addAction(m_commands[ID_DELETE_ADDRESS]);
    m_editMenu->addAction(m_commands[ID_DELETE_GROUP]);
    m_editMenu->addSeparator();
    m_editMenu->addAction(m_commands[ID_CLEAR_ALL]);

    m_runMenu = menuBar()->addMenu(QStringLiteral("Run(&R)"));
    m_runMenu->addAction(m_commands[ID_START]);
    m_runMenu->addAction(m_commands[ID_STOP]);
    m_runMenu->addSeparator();
    m_runMenu->addAction(m_commands[ID_AUTO_START]);
    m_runMenu->addAction(m_commands[ID_AUTO_POPUP]);
    m_runMenu->addAction(m_commands[ID_STORE_SAMPLES]);

    m_helpMenu = menuBar()->addMenu(QStringLiteral("Help(&H)"));
    m_helpMenu->addAction(m_commands[ID_HOW_TO]);
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_commands[ID_APP_ABOUT]);

    for (QMenu* menu : {m_fileMenu, m_editMenu, m_runMenu, m_helpMenu}) {
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
}

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar(QStringLiteral("Toolbar"));
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->addAction(m_commands[ID_FILE_OPEN]);
    m_toolBar->addAction(m_commands[ID_FILE_SAVE]);
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_commands[ID_ADD_ADDRESS]);
    m_toolBar->addAction(m_commands[ID_ADD_GROUP]);
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_commands[ID_DELETE_SELECTED]);
    m_toolBar->addAction(m_commands[ID_CLEAR_ALL]);
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_commands[ID_HOW_TO]);
}

void CMainFrame::CreateStatusBar() {
    // A normal widget of the status bar shows whenever no prompt is shown: the idle text.
    m_idleText = new QLabel(QStringLiteral("Sondrel"), this);
    statusBar()->addWidget(m_idleText, 1);
    statusBar()->setSizeGripEnabled(true);
}

QAction* CMainFrame::Command(int id) const {
    auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : it->second;
}

void CMainFrame::OnCommand(int id, std::function<void()> handler) {
    if (QAction* a = Command(id))
        connect(a, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
}

void CMainFrame::OnUpdateCommand(int id, UpdateHandler handler) {
    m_updates[id] = std::move(handler);
}

void CMainFrame::UpdateCommandUI() {
    for (auto& [id, handler] : m_updates) {
        if (QAction* a = Command(id)) handler(a);
    }
    FollowOpenCommand();
}

// A recent file replaces the list just as Open does, so its entries are enabled with Open.
void CMainFrame::FollowOpenCommand() {
    const QAction* open = Command(ID_FILE_OPEN);
    for (QAction* a : m_recentActions) a->setEnabled(open == nullptr || open->isEnabled());
}

void CMainFrame::SetRecentFiles(const QStringList& files) {
    m_recentFiles = files;
    RebuildRecentMenu();
}

void CMainFrame::RebuildRecentMenu() {
    for (QAction* a : m_recentActions) {
        m_fileMenu->removeAction(a);
        a->deleteLater();
    }
    m_recentActions.clear();
    m_recentPlaceholder->setVisible(m_recentFiles.isEmpty());
    int n = 0;
    for (const QString& file : m_recentFiles) {
        if (n == kRecentFileCount) break;
        ++n;
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(n).arg(file), this);
        a->setStatusTip(QStringLiteral("Open this document"));
        a->setData(ID_FILE_MRU_FILE1 + n - 1);
        connect(a, &QAction::triggered, this, [this, file] {
            if (onOpenRecentFile) onOpenRecentFile(file);
        });
        m_fileMenu->insertAction(m_recentSeparatorEnd, a);
        m_recentActions.push_back(a);
    }
    FollowOpenCommand();
}

void CMainFrame::SetView(QWidget* view, std::function<void()> onClose) {
    setCentralWidget(view);
    m_onClose = std::move(onClose);
}

void CMainFrame::ShowAndRaise() {
    showNormal();
    raise();
    activateWindow();
}

void CMainFrame::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange || !isMinimized()) return;
    // Minimising hides the window into the tray; without a tray it could not come back, so
    // it then minimises as usual. The hide waits until the window system has finished the
    // state change. The minimised state stays while hidden: clearing it would map the native
    // window again behind the hidden widget, an unpainted frame. ShowAndRaise clears it.
    if (m_bHidePending || !hasTray || !hasTray()) return;
    m_bHidePending = true;
    QTimer::singleShot(0, this, [this] {
        m_bHidePending = false;
        if (isMinimized()) hide();
    });
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    // Closing ends the program; the view saves the list and stops the engine first.
    if (m_onClose) m_onClose();
    e->accept();
    if (!m_bClosing) {
        m_bClosing = true;
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* e) {
    const QMimeData* data = e->mimeData();
    if (data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (!ListFileOfUrl(url).isEmpty()) {
                e->setDropAction(Qt::CopyAction);
                e->accept();
                return;
            }
        }
    }
    e->ignore();
}

void CMainFrame::dropEvent(QDropEvent* e) {
    for (const QUrl& url : e->mimeData()->urls()) {
        const QString path = ListFileOfUrl(url);
        if (path.isEmpty()) continue;
        e->setDropAction(Qt::CopyAction);
        e->accept();
        // The drop ends before the file is opened, so that a message box cannot stall the
        // file manager's drag.
        QTimer::singleShot(0, this, [this, path] {
            if (onOpenFile) onOpenFile(path);
        });
        return;
    }
    e->ignore();
}
