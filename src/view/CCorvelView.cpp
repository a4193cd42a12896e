#include "view/CCorvelView.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimerEvent>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/CMainFrame.h"
#include "desktop/CDropWnd.h"
#include "desktop/CHelp.h"
#include "details/CHostInfoDlg.h"
#include "engine/IcmpSocket.h"
#include "engine/PingThreads.h"
#include "input/CInputCommands.h"
#include "input/ContextMenus.h"
#include "model/CCorvelDoc.h"
#include "model/ListFile.h"
#include "model/ReplyRules.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "view/CHostListModel.h"
#include "view/CMessageBox.h"
#include "view/CViewMessage.h"
#include "view/Commands.h"
#include "session/IntervalInput.h"
#include "view/Messages.h"

using namespace sondrel;

CCorvelView* g_pView = nullptr;
bool g_bAutoPopup = true;
bool g_bAutoStart = false;

namespace {

constexpr int kColumnWidths[] = {200, 30, 60};
constexpr int kFixedColumnsWidth = 200 + 30 + 60 + 2;

QString ToQ(const std::string& s) { return QString::fromStdString(s); }

// Something in the list file's place that is not a file (a FIFO, a device, a folder) is
// neither read nor replaced. Links are followed.
bool IsOtherThanRegularFile(const std::filesystem::path& path) {
    std::error_code ec;
    const auto type = std::filesystem::status(path, ec).type();
    return type != std::filesystem::file_type::not_found &&
           type != std::filesystem::file_type::regular && !ec;
}

}  // namespace

CCorvelView::CCorvelView(CMainFrame* frame, CCorvelDoc* doc, ViewSetup setup)
    : QWidget(frame),
      m_pFrame(frame),
      m_pDoc(doc),
      m_setup(std::move(setup)),
      m_historyFiles(m_setup.historyDir, m_setup.historyLimits) {
    // Only this window writes the folder, and only one window runs per user: whatever
    // history files are there were left by a run that did not end normally.
    if (m_setup.historyDirError.empty()) {
        m_historyFiles.RemoveLeftovers();
    } else {
        m_historyFiles.Fail(m_setup.historyDirError);
    }
    m_hModifyList = NamedEvent::Open(kModifyListEvent);
    m_hStopPing = NamedEvent::Open(kStopPingEvent);
    m_hQuitProgram = NamedEvent::Open(kQuitProgramEvent);
    m_contextMenu = new QMenu(this);
    BuildForm();
    m_pInfoDlg = new CHostInfoDlg(this);
    m_pInfoDlg->SetSources(&m_hosts, &m_historyFiles, &m_dwInfoAddress);
    m_pDropWnd = new CDropWnd();
}

CCorvelView::~CCorvelView() {
    OnDestroy();
    // The details window reads the host table; it goes while the table is still there.
    delete m_pInfoDlg;
    m_pInfoDlg = nullptr;
    // The drop window is a window of its own, not a child: it goes with its view.
    delete m_pDropWnd;
    m_pDropWnd = nullptr;
    m_hModifyList.Close();
    m_hStopPing.Close();
    m_hQuitProgram.Close();
}

// --- Form -------------------------------------------------------------------------------

void CCorvelView::BuildForm() {
    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(new QLabel(QStringLiteral("Ping interval:"), this));
    m_editInterval = new QLineEdit(this);
    m_editInterval->setObjectName(QStringLiteral("interval"));
    m_editInterval->setFixedWidth(
        m_editInterval->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    top->addWidget(m_editInterval);
    top->addWidget(new QLabel(QStringLiteral("s"), this));
    top->addSpacing(24);
    m_btnPing = new QPushButton(QStringLiteral("Ping"), this);
    m_btnStop = new QPushButton(QStringLiteral("Stop"), this);
    top->addWidget(m_btnPing);
    top->addWidget(m_btnStop);
    top->addStretch(1);

    m_rows = new CHostListModel(this);
    // A table without grid or row numbers reads as the list it stands for; unlike a tree
    // view, it finds the place of a changed row without walking the rows before it.
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("hosts"));
    m_list->setModel(m_rows);
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->setCornerButtonEnabled(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->horizontalHeader()->setSectionsMovable(false);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->horizontalHeader()->setMinimumSectionSize(20);
    m_list->horizontalHeader()->setHighlightSections(false);
    // Green on black, the monitor's look; the selection keeps the desktop's colours.
    QPalette pal = m_list->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, Qt::black);
        pal.setColor(group, QPalette::AlternateBase, Qt::black);
        pal.setColor(group, QPalette::Text, QColor(0, 255, 0));
        pal.setColor(group, QPalette::WindowText, QColor(0, 255, 0));
    }
    m_list->setPalette(pal);
    m_list->installEventFilter(this);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(10, 8, 10, 10);
    form->setSpacing(8);
    form->addLayout(top);
    form->addWidget(m_list, 1);

    connect(m_editInterval, &QLineEdit::textEdited, this, [this] { OnIntervalChanged(); });
    connect(m_editInterval, &QLineEdit::editingFinished, this, [this] {
        if (m_editInterval->text().isEmpty()) OnIntervalChanged(true);
    });
    connect(m_btnPing, &QPushButton::clicked, this, [this] { OnStart(); });
    connect(m_btnStop, &QPushButton::clicked, this, [this] { OnStop(); });
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { OnListRightClick(p); });
    connect(m_list, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& i) { OnListDoubleClick(i.row()); });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_pFrame) m_pFrame->UpdateCommandUI();
    });
}

void CCorvelView::OnInitialUpdate() {
    if (!m_bFirstUpdate) return;
    g_pView = this;
    m_pDoc->m_bViewReady = true;
    m_pDoc->m_pView = this;
    CreateDropWindow();
    CreateStateIndicator();
    // Column widths are set once; only "bytes" follows the window, as the last column.
    for (int c = 0; c < 3; ++c) m_list->setColumnWidth(c, kColumnWidths[c]);
    m_list->setColumnWidth(3, std::max(40, m_list->viewport()->width() - kFixedColumnsWidth));
    SeedStartOffsets(TickCount());
    StartReceiver();
    m_bFirstUpdate = false;
    m_dropTarget.SetView(this);
    m_dropTarget.Register(m_list);
    if (m_pDropWnd) {
        m_pDropWnd->m_dropTarget.SetView(this);
        m_pDropWnd->m_dropTarget.Register(m_pDropWnd);
    }
    CreateTray();
    ConnectCommands();
    LoadDefaultList();
    ShowIntervalInBox();
    ArmTimer(m_nInterval);
    ShowHistoryState();
    UpdateRunStateUI();
}

void CCorvelView::CreateDropWindow() {
    if (m_pDropWnd == nullptr) return;
    if (CMainFrame* f = m_pFrame) {
        m_pDropWnd->SetMainWindow(
            f, [f](int id) { return f->Command(id); }, [f] { f->UpdateCommandUI(); });
    }
    m_pDropWnd->Create();
}

void CCorvelView::CreateStateIndicator() {
    if (m_pFrame == nullptr || m_pFrame->ToolBar() == nullptr) return;
    QToolBar* bar = m_pFrame->ToolBar();
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    m_stateIndicator = new QLabel(bar);
    m_stateIndicator->setObjectName(QStringLiteral("runState"));
    m_stateIndicator->setFixedSize(16, 16);
    m_stateIndicator->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(m_stateIndicator);
    auto* margin = new QWidget(bar);
    margin->setFixedWidth(8);
    bar->addWidget(margin);
}

void CCorvelView::CreateTray() {
    m_hIconRunning = QIcon();
    for (int s : {16, 22, 32, 48, 64})
        m_hIconRunning.addFile(QStringLiteral(":/icons/tray-running-%1.png").arg(s));
    m_hIconStopped = QIcon();
    for (int s : {16, 22, 32, 48, 64})
        m_hIconStopped.addFile(QStringLiteral(":/icons/tray-stopped-%1.png").arg(s));

    m_trayMenu = new QMenu(this);
    QAction* exitAction = m_trayMenu->addAction(QStringLiteral("Exit"));
    m_trayMenu->addSeparator();
    QAction* aboutAction = m_trayMenu->addAction(QStringLiteral("About"));
    m_trayMenu->addSeparator();
    m_trayStop = m_trayMenu->addAction(QStringLiteral("Stop"));
    m_trayStart = m_trayMenu->addAction(QStringLiteral("Start"));
    // The tray's items do what the main window's commands do.
    auto forward = [this](int id) {
        return [this, id] {
            if (m_pFrame && m_pFrame->Command(id)) m_pFrame->Command(id)->trigger();
        };
    };
    // Exit removes the tray icon whose menu is still returning from this click: run it after.
    connect(exitAction, &QAction::triggered, this, forward(ID_APP_EXIT), Qt::QueuedConnection);
    connect(aboutAction, &QAction::triggered, this, forward(ID_APP_ABOUT));
    connect(m_trayStop, &QAction::triggered, this, forward(ID_STOP));
    connect(m_trayStart, &QAction::triggered, this, forward(ID_START));
    connect(m_trayMenu, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });

    if (!m_setup.useTray || !QSystemTrayIcon::isSystemTrayAvailable()) return;
    m_tray = new QSystemTrayIcon(m_hIconRunning, this);
    m_tray->setToolTip(QStringLiteral("Sondrel"));
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    PostViewMessage(this, WM_TRAY_NOTIFY, kTrayIconId, {}, WM_LBUTTONDBLCLK);
                }
            });
    m_tray->show();
}

void CCorvelView::ConnectCommands() {
    if (m_pFrame == nullptr) return;
    CMainFrame* f = m_pFrame;
    f->OnCommand(ID_START, [this] { OnStart(); });
    f->OnCommand(ID_STOP, [this] { OnStop(); });
    f->OnCommand(ID_AUTO_START, [this] { OnAutoStart(); });
    f->OnCommand(ID_AUTO_POPUP, [this] { OnAutoPopup(); });
    f->OnCommand(ID_ADD_ADDRESS, [this] { OnAddAddress(); });
    f->OnCommand(ID_ADD_GROUP, [this] { OnAddGroup(); });
    f->OnCommand(ID_DELETE_ADDRESS, [this] { OnDeleteAddress(); });
    f->OnCommand(ID_DELETE_GROUP, [this] { OnDeleteGroup(); });
    f->OnCommand(ID_DELETE_SELECTED, [this] { OnDeleteSelected(); });
    f->OnCommand(ID_CLEAR_ALL, [this] { OnClearAll(); });
    f->OnCommand(ID_IMPORT, [this] { OnImportFromFile(); });
    f->OnCommand(ID_COPY_ADDRESS, [this] { OnCopyAddress(); });
    f->OnCommand(ID_MORE_DETAILS, [this] { OnMoreDetails(); });
    f->OnCommand(ID_HOW_TO, [this] { OnHowTo(); });
    f->OnUpdateCommand(ID_START, [this](QAction* a) { a->setEnabled(m_bStopped); });
    f->OnUpdateCommand(ID_STOP, [this](QAction* a) { a->setEnabled(!m_bStopped); });
    f->OnUpdateCommand(ID_AUTO_START, [](QAction* a) { a->setChecked(g_bAutoStart); });
    f->OnUpdateCommand(ID_AUTO_POPUP, [](QAction* a) { a->setChecked(g_bAutoPopup); });
    // While a lookup's result is to come, nothing may change the list or replace it.
    const auto idle = [] { return !CInputCommands::LookupPending(); };
    for (const int id : {ID_ADD_ADDRESS, ID_ADD_GROUP, ID_IMPORT, ID_FILE_NEW, ID_FILE_OPEN})
        f->OnUpdateCommand(id, [idle](QAction* a) { a->setEnabled(idle()); });
    f->OnUpdateCommand(ID_DELETE_SELECTED, [this, idle](QAction* a) {
        a->setEnabled(!SelectedRows().empty() && idle());
    });
    f->OnUpdateCommand(ID_DELETE_ADDRESS, [this, idle](QAction* a) {
        const bool listed = ListCommandStatesFor(m_addresses.size(), 0).deleteAddress;
        a->setEnabled(listed && idle());
        m_btnStop->setEnabled(listed);
    });
    f->OnUpdateCommand(ID_DELETE_GROUP, [this, idle](QAction* a) {
        a->setEnabled(ListCommandStatesFor(m_addresses.size(), 0).deleteGroup && idle());
    });
    f->OnUpdateCommand(ID_CLEAR_ALL, [this, idle](QAction* a) {
        a->setEnabled(ListCommandStatesFor(m_addresses.size(), 0).clearAll && idle());
    });
}

// --- Hosts --------------------------------------------------------------------------------

void CCorvelView::LockAddresses() const { m_hModifyList.Wait(); }
void CCorvelView::UnlockAddresses() const { m_hModifyList.Set(); }

bool CCorvelView::AddHost(uint32_t address, const std::string& name, bool named) {
    if (m_hosts.FindHost(address) != nullptr) return false;
    HostRecord& record = m_hosts.HostAt(address);
    record.m_strName = name;
    record.m_bNamed = named ? 1 : 0;
    PostViewMessage(this, WM_LIST_ADDED, address);
    return true;
}

bool CCorvelView::RemoveHost(uint32_t address) {
    if (m_hosts.FindHost(address) == nullptr) return false;
    PostViewMessage(this, WM_LIST_REMOVED, address);
    return true;
}

void CCorvelView::ClearAllHosts() {
    LockAddresses();
    m_addresses.clear();
    UnlockAddresses();
    m_rows->RemoveAll();
    for (auto item : m_hosts) DeleteHistoryFile(item.address);
    m_hosts.RemoveAllHosts();
    if (m_pFrame) m_pFrame->UpdateCommandUI();
}

int CCorvelView::FindRow(const std::string& text) const { return m_rows->FindRow(text); }

std::vector<int> CCorvelView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::optional<uint32_t> CCorvelView::AddressOfRow(int row) const {
    if (row < 0 || row >= m_rows->Count()) return std::nullopt;
    uint32_t address = m_rows->Address(row);
    const HostRecord* record = const_cast<HostTable&>(m_hosts).FindHost(address);
    if (record == nullptr || DisplayText(address, *record) != m_rows->Text(row, 0))
        return std::nullopt;
    return address;
}

void CCorvelView::DeleteHistoryFile(uint32_t address) const { m_historyFiles.Delete(address); }

int CCorvelView::RowOfHost(uint32_t address, const HostRecord& record) const {
    return m_rows->FindRow(DisplayText(address, record));
}

// --- Messages -----------------------------------------------------------------------------

bool CCorvelView::event(QEvent* e) {
    const int type = static_cast<int>(e->type());
    if (type < WM_LIST_ADDED || type > WM_ROUND_NOW) return QWidget::event(e);
    auto* m = static_cast<CViewMessage*>(e);
    switch (type) {
        case WM_LIST_ADDED:
            OnListAdded(m->m_wParam);
            return true;
        case WM_LIST_REMOVED:
            OnListRemoved(m->m_wParam);
            return true;
        case WM_LIST_MODIFIED:
            OnListModified();
            return true;
        case WM_PING_REPLY:
            OnPingReply(m->m_wParam, m->m_text);
            return true;
        case WM_PING_TIMEOUT:
            OnPingTimeout();
            return true;
        case WM_TRAY_NOTIFY:
            OnTrayNotify(m->m_wParam, m->m_lParam);
            return true;
        case WM_ENGINE_MESSAGE:
            OnEngineMessage(ToQ(m->m_text));
            return true;
        case WM_ROUND_NOW:
            OnTimer();
            return true;
        default:
            return QWidget::event(e);
    }
}

void CCorvelView::timerEvent(QTimerEvent* e) {
    // Any tick of the interval timer starts a round, whichever id it carries.
    (void)e;
    OnTimer();
}

bool CCorvelView::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_list && e->type() == QEvent::KeyPress) {
        OnListKeyDown(static_cast<QKeyEvent*>(e)->key());
    }
    return QWidget::eventFilter(watched, e);
}

void CCorvelView::OnListAdded(uint32_t address) {
    // A rebuild from a list file posted before this add may have listed the host already;
    // listed twice, its address would be pinged twice and removed only once.
    if (const HostRecord* listed = m_hosts.FindHost(address)) {
        const int row = RowOfHost(address, *listed);
        if (row >= 0 && m_rows->Address(row) == address) return;
    }
    LockAddresses();
    AppendAddress(m_addresses, address);
    HostRecord& record = m_hosts.HostAt(address);
    m_rows->InsertRow(DisplayText(address, record), address, NewRowColumns());
    UnlockAddresses();
    AppendHistoryEvent(record.m_history, TimeStampNow(), kEventAdded);
    if (m_pFrame) m_pFrame->UpdateCommandUI();
}

void CCorvelView::OnListRemoved(uint32_t address) {
    LockAddresses();
    RemoveAddress(m_addresses, address);
    UnlockAddresses();
    HostRecord& record = m_hosts.HostAt(address);
    const std::string text = DisplayText(address, record);
    DeleteHistoryFile(address);
    int row = m_rows->FindRow(text);
    if (row >= 0) m_rows->RemoveRowAt(row);
    NoteRemovalInDetails(address);
    m_hosts.RemoveHost(address);
    if (m_pFrame) m_pFrame->UpdateCommandUI();
}

void CCorvelView::OnListModified() {
    // A round in progress holds the gate; stop it so the rebuild does not wait for it.
    if (!m_bStopped) m_hStopPing.Set();
    LockAddresses();
    m_rows->RemoveAll();
    m_addresses.clear();
    for (auto item : m_hosts) {
        DeleteHistoryFile(item.address);
        NoteRemovalInDetails(item.address);
    }
    m_hosts.RemoveAllHosts();
    const std::string stamp = TimeStampNow();
    for (const HostEntry& entry : m_pDoc->m_entries) {
        // A file that lists an address twice gives one host.
        if (m_hosts.FindHost(entry.m_dwAddress) != nullptr) continue;
        AppendAddress(m_addresses, entry.m_dwAddress);
        HostRecord& record = m_hosts.HostAt(entry.m_dwAddress);
        record = entry.m_record;
        record.m_bReplied = 1;
        AppendHistoryEvent(record.m_history, stamp, kEventRebuilt);
        m_rows->InsertRow(DisplayText(entry.m_dwAddress, record), entry.m_dwAddress,
                          NewRowColumns());
    }
    UnlockAddresses();
    if (!m_bStopped) m_hStopPing.Reset();
    // The file's interval goes through the box as if typed there, so an unusable one gets
    // the box's prompt. Not under the gate: a prompt runs the event loop, and a handler run
    // from there that takes the gate would wait for ever.
    m_editInterval->setText(QString::number(m_pDoc->m_nInterval));
    OnIntervalChanged();
    if (m_pFrame) m_pFrame->UpdateCommandUI();
}

void CCorvelView::NoteRemovalInDetails(uint32_t address) {
    if (address == m_dwInfoAddress && m_pInfoDlg) m_pInfoDlg->OnHostRemoved();
}

void CCorvelView::OnPingReply(uint32_t address, const std::string& text) {
    HostRecord* record = m_hosts.FindHost(address);
    if (record == nullptr) return;
    int row = RowOfHost(address, *record);
    std::optional<std::string_view> rowTime;
    if (row >= 0) rowTime = m_rows->Text(row, 2);
    ReplyOutcome outcome = ApplyReply(*record, text, rowTime, TimeStampNow());
    if (!outcome.rowChanged) return;
    m_rows->SetResults(row, outcome.columns);
    if (address == m_dwInfoAddress && m_pInfoDlg)
        m_pInfoDlg->OnHostReply(*record, outcome.stamp, outcome.event);
}

void CCorvelView::OnPingTimeout() {
    if (m_hosts.IsEmpty()) return;
    const std::string stamp = TimeStampNow();
    const std::vector<uint32_t> reported = TimeoutPass(
        m_hosts,
        [this](uint32_t address, const HostRecord& record) {
            return RowOfHost(address, record) >= 0;
        },
        stamp);
    const ResultColumns columns = TimeoutColumns();
    for (uint32_t address : reported) {
        const HostRecord* record = m_hosts.FindHost(address);
        if (record == nullptr) continue;
        int row = RowOfHost(address, *record);
        if (row >= 0) m_rows->SetResults(row, columns);
        if (address == m_dwInfoAddress && m_pInfoDlg) {
            m_pInfoDlg->OnHostTimeout(*record, std::string(WithoutLineEnd(stamp)),
                                      std::string(kEventTimeout));
        }
    }
}

// --- Rounds and run state -------------------------------------------------------------------

void CCorvelView::OnTimer() {
    if (m_bStopped || m_addresses.empty() || m_bDestroyed) return;
    PostViewMessage(this, WM_PING_TIMEOUT);
    StartSender();
    CountRoundSent(m_hosts);
    if (m_pInfoDlg) m_pInfoDlg->AddOneSent();
}

void CCorvelView::StartReceiver() {
    if (!m_setup.socket) return;
    ReplySink onReply = [this](uint32_t address, std::string text) {
        PostViewMessage(this, WM_PING_REPLY, address, std::move(text));
    };
    ErrorSink onError = [this](std::string text) {
        PostViewMessage(this, WM_ENGINE_MESSAGE, 0, std::move(text));
    };
    m_receiverThread = std::thread([socket = m_setup.socket, onReply, onError] {
        PingReceiverThread(socket, onReply, onError);
    });
}

void CCorvelView::StartSender() {
    ReapSenders(false);
    if (!m_setup.socket) return;
    auto done = std::make_shared<std::atomic<bool>>(false);
    ErrorSink onError = [this](std::string text) {
        PostViewMessage(this, WM_ENGINE_MESSAGE, 0, std::move(text));
    };
    std::thread thread([socket = m_setup.socket, addresses = &m_addresses, onError, done] {
        PingSenderThread(socket, addresses, onError);
        done->store(true);
    });
    m_senders.push_back(Sender{std::move(thread), std::move(done)});
}

void CCorvelView::ReapSenders(bool all) {
    auto finished = [all](Sender& s) {
        if (!all && !s.done->load()) return false;
        if (s.thread.joinable()) s.thread.join();
        return true;
    };
    m_senders.erase(std::remove_if(m_senders.begin(), m_senders.end(), finished), m_senders.end());
}

void CCorvelView::OnStop() {
    if (m_bStopped) return;
    m_bStopped = true;
    m_hStopPing.Set();
    UpdateRunStateUI();
}

void CCorvelView::OnStart() {
    if (!m_bStopped) return;
    m_bStopped = false;
    m_hStopPing.Reset();
    UpdateRunStateUI();
}

void CCorvelView::UpdateRunStateUI() {
    if (m_tray) m_tray->setIcon(m_bStopped ? m_hIconStopped : m_hIconRunning);
    if (m_stateIndicator) {
        const QString name = m_bStopped ? QStringLiteral(":/icons/state-stopped.png")
                                        : QStringLiteral(":/icons/state-running.png");
        QPixmap picture(name);
        const qreal ratio = m_stateIndicator->devicePixelRatioF();
        if (ratio > 1.0) {
            QPixmap sharp(QString(name).replace(QStringLiteral(".png"), QStringLiteral("@2x.png")));
            if (!sharp.isNull()) {
                sharp.setDevicePixelRatio(2.0);
                picture = sharp;
            }
        }
        m_stateIndicator->setPixmap(picture);
        m_stateIndicator->setToolTip(m_bStopped ? QStringLiteral("Stopped")
                                                : QStringLiteral("Pinging"));
    }
    UpdateCommandStates();
}

void CCorvelView::UpdateCommandStates() {
    if (m_trayStart) m_trayStart->setEnabled(m_bStopped);
    if (m_trayStop) m_trayStop->setEnabled(!m_bStopped);
    if (m_pFrame) m_pFrame->UpdateCommandUI();
}

void CCorvelView::ShowIntervalInBox() { m_editInterval->setText(QString::number(m_nInterval)); }

void CCorvelView::ArmTimer(uint32_t seconds) {
    if (m_nTimerId != 0) killTimer(m_nTimerId);
    m_nTimerId = startTimer(std::chrono::milliseconds(static_cast<int64_t>(seconds) * 1000));
    m_nIntervalInForce = seconds;
}

void CCorvelView::ApplyInterval() {
    if (!IsUsableInterval(m_nInterval)) {
        m_nInterval = m_nIntervalInForce;
        return;
    }
    if (m_nInterval == m_nIntervalInForce) return;
    ArmTimer(m_nInterval);
    PostViewMessage(this, WM_ROUND_NOW);
}

void CCorvelView::OnIntervalChanged(bool finished) {
    const std::string text = m_editInterval->text().toStdString();
    IntervalInput input = ParseIntervalText(text);
    switch (input.kind) {
        case IntervalInput::Kind::Empty:
            if (!finished) return;  // the user is retyping
            m_nInterval = m_nIntervalInForce;
            // Refilled first: the prompt takes the focus, which finishes the edit again.
            ShowIntervalInBox();
            SondrelMessageBox(this, QString::fromLatin1(kIntervalNumberPrompt));
            return;
        case IntervalInput::Kind::NotNumber:
            SondrelMessageBox(this, QString::fromLatin1(kIntervalNumberPrompt));
            m_nInterval = m_nIntervalInForce;
            return;
        case IntervalInput::Kind::OutOfRange:
            SondrelMessageBox(this, QString::fromLatin1(kIntervalRangePrompt));
            m_nInterval = m_nIntervalInForce;
            return;
        case IntervalInput::Kind::Zero:
            m_nInterval = m_nIntervalInForce;
            return;
        case IntervalInput::Kind::Value:
            m_nInterval = input.value;
            ApplyInterval();
            return;
    }
}

void CCorvelView::OnAutoStart() {
    const std::filesystem::path configHome = XdgConfigHome();
    if (!configHome.empty()) {
        const auto entry = AutostartEntryPath(configHome);
        if (!g_bAutoStart) {
            WriteAutostartEntry(entry, QCoreApplication::applicationFilePath().toStdString());
        } else {
            RemoveAutostartEntry(entry);
        }
    }
    // The check mark follows the click even when the entry could not be changed.
    g_bAutoStart = !g_bAutoStart;
    UpdateCommandStates();
}

void CCorvelView::OnAutoPopup() {
    g_bAutoPopup = !g_bAutoPopup;
    UpdateCommandStates();
}

void CCorvelView::OnTrayNotify(uint32_t iconId, int64_t mouseMessage) {
    if (iconId != kTrayIconId) return;
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        if (m_pFrame) m_pFrame->ShowAndRaise();
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        UpdateCommandStates();
        m_trayMenu->popup(QCursor::pos());
    }
}

void CCorvelView::OnEngineMessage(const QString& text) {
    SondrelMessageBoxNonModal(m_pFrame, text);
}

void CCorvelView::ReportOnce(const QString& text) { SondrelMessageBoxNonModal(m_pFrame, text); }

// --- default.ipl ----------------------------------------------------------------------------

void CCorvelView::LoadDefaultList() {
    if (m_setup.defaultList.empty()) return;
    if (IsOtherThanRegularFile(m_setup.defaultList)) {
        m_bDefaultListRefused = true;
        ReportOnce(QStringLiteral("%1: not a regular file\nIt is left alone: the list is not "
                                  "saved there at exit.")
                       .arg(ToQ(m_setup.defaultList.string())));
        return;
    }
    ListLoadStatus status = ReadDefaultList(m_setup.defaultList, m_hosts);
    if (status.interval && IsUsableInterval(*status.interval)) m_nInterval = *status.interval;
    for (uint32_t address : status.added) PostViewMessage(this, WM_LIST_ADDED, address);
    if (status.kind == ListLoadStatus::Kind::Damaged ||
        status.kind == ListLoadStatus::Kind::Unreadable) {
        QString text = ToQ(status.message);
        if (text.isEmpty())
            text = QStringLiteral("%1 could not be read.").arg(ToQ(m_setup.defaultList.string()));
        text += QStringLiteral("\n%1 host(s) were kept.").arg(status.added.size());
        ReportOnce(text);
    }
}

bool CCorvelView::SaveDefaultList() {
    if (m_setup.defaultList.empty() || m_bDefaultListRefused) return true;
    std::string message;
    if (WriteDefaultList(m_setup.defaultList, m_nInterval, m_hosts, message)) {
        return true;
    }
    const QString text = QStringLiteral("The list could not be saved to %1.\n%2")
                             .arg(ToQ(m_setup.defaultList.string()), ToQ(message));
    onSaveFailed ? onSaveFailed(text) : SondrelMessageBox(m_pFrame, text);
    return false;
}

// --- Idle ---------------------------------------------------------------------------------

bool CCorvelView::IdleFlushStep() {
    if (m_bDestroyed) return false;
    m_historyFiles.SetHostCount(static_cast<size_t>(m_hosts.GetHostCount()));
    const bool more = FlushStep(m_hosts, m_flushPass, m_historyFiles.Writer());
    ShowHistoryState();
    return more;
}

void CCorvelView::ShowHistoryState() {
    const bool failing = m_historyFiles.Failing();
    if (failing == m_bHistoryShownFailing) return;
    m_bHistoryShownFailing = failing;
    const QString why = ToQ(m_historyFiles.Failure());
    if (m_pFrame && m_pFrame->IdleText()) {
        m_pFrame->IdleText()->setText(failing
                                          ? QStringLiteral("History kept in memory: %1").arg(why)
                                          : QStringLiteral("Sondrel"));
    }
    if (!failing || m_bHistoryReported) return;
    m_bHistoryReported = true;
    ReportOnce(QStringLiteral("History files cannot be written: %1\nThe newest events of each "
                              "host are kept in memory, the oldest dropped; writing is tried "
                              "again every minute.")
                   .arg(why));
}

// --- Teardown -------------------------------------------------------------------------------

void CCorvelView::OnDestroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    if (!m_bFirstUpdate) SaveDefaultList();
    if (m_nTimerId != 0) {
        killTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    m_hStopPing.Set();
    m_hQuitProgram.Set();
    if (m_receiverThread.joinable()) m_receiverThread.join();
    ReapSenders(true);
    for (uint32_t address : m_addresses) DeleteHistoryFile(address);
    if (m_tray) {
        m_tray->hide();
        delete m_tray;
        m_tray = nullptr;
    }
    if (g_pView == this) g_pView = nullptr;
    // Replies posted before the receiver ended are of no use any more.
    QCoreApplication::removePostedEvents(this);
}

// --- List commands, popup menu, details ----------------------------------------------------------

void CCorvelView::OnAddAddress() { CInputCommands::AddAddress(InputContextOf(*this)); }
void CCorvelView::OnAddGroup() { CInputCommands::AddGroup(InputContextOf(*this)); }
void CCorvelView::OnDeleteAddress() { CInputCommands::DeleteAddress(InputContextOf(*this)); }
void CCorvelView::OnDeleteGroup() { CInputCommands::DeleteGroup(InputContextOf(*this)); }
void CCorvelView::OnDeleteSelected() { CInputCommands::DeleteSelected(InputContextOf(*this)); }
void CCorvelView::OnClearAll() { CInputCommands::ClearAll(InputContextOf(*this)); }
void CCorvelView::OnImportFromFile() { CInputCommands::ImportFromFile(InputContextOf(*this)); }
void CCorvelView::OnCopyAddress() { CInputCommands::CopyAddress(InputContextOf(*this)); }

void CCorvelView::OnMoreDetails() {
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty()) OpenDetailsOfRow(rows.front());
}

void CCorvelView::OnHowTo() { ::OnHowTo(); }

void CCorvelView::OnListRightClick(const QPoint& pos) {
    if (m_pFrame == nullptr) return;
    const bool onRow = m_list->indexAt(pos).isValid();
    const std::vector<MenuItem> items =
        onRow ? RowMenuItems(SelectedRows().size()) : EditMenuItems(m_addresses.size());
    // The chosen command runs once the menu has closed, as the menu bar's would.
    CInputCommands::FillPopupMenu(*m_contextMenu, items, [this](int id) {
        if (QAction* a = m_pFrame->Command(id))
            QMetaObject::invokeMethod(a, &QAction::trigger, Qt::QueuedConnection);
    });
    m_contextMenu->popup(QCursor::pos());
}

void CCorvelView::OnListDoubleClick(int row) { OpenDetailsOfRow(row); }

void CCorvelView::OpenDetailsOfRow(int row) {
    if (m_pInfoDlg == nullptr || row < 0 || row >= m_rows->Count()) return;
    m_pInfoDlg->OpenHostDetails(ToQ(m_rows->Text(row, 0)));
}

void CCorvelView::OnListKeyDown(int key) {
    if (m_pFrame == nullptr || !CInputCommands::IsDeleteSelectedKey(key, SelectedRows().size()))
        return;
    if (QAction* a = m_pFrame->Command(ID_DELETE_SELECTED)) {
        QMetaObject::invokeMethod(a, &QAction::trigger, Qt::QueuedConnection);
    }
}
