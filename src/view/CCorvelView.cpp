#include "view/CCorvelView.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/CDropWnd.h"
#include "desktop/CHelp.h"
#include "details/CHostInfoDlg.h"
#include "platform/Autostart.h"
#include "session/IntervalInput.h"
#include "view/CHostListModel.h"
#include "view/CViewFrame.h"
#include "view/CViewMessage.h"
#include "view/CViewTray.h"
#include "view/ContextMenus.h"
#include "view/Messages.h"
#include "widgets/CMessageBox.h"
#include "widgets/Commands.h"

using namespace sondrel;

namespace {

constexpr int kColumnWidths[] = {200, 30, 60};
constexpr int kFixedColumnsWidth = 200 + 30 + 60 + 2;

QString ToQ(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// A table without grid or row numbers reads as the list it stands for; unlike a tree view, it
// finds the place of a changed row without walking the rows before it. Green on black is the
// monitor's look; the selection keeps the desktop's colours.
void StyleHostList(QTableView* list) {
    list->setObjectName(QStringLiteral("hosts"));
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->setCornerButtonEnabled(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* header = list->horizontalHeader();
    header->setSectionsMovable(false);
    header->setStretchLastSection(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setMinimumSectionSize(20);
    header->setHighlightSections(false);
    QPalette pal = list->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, Qt::black);
        pal.setColor(group, QPalette::AlternateBase, Qt::black);
        pal.setColor(group, QPalette::Text, QColor(0, 255, 0));
        pal.setColor(group, QPalette::WindowText, QColor(0, 255, 0));
    }
    list->setPalette(pal);
}

// Replaces the menu's content with the items; choosing one calls onCommand with its id.
void FillPopupMenu(QMenu& menu, const std::vector<MenuItem>& items,
                   const std::function<void(int)>& onCommand) {
    menu.clear();
    for (const MenuItem& item : items) {
        if (item.IsSeparator()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromLatin1(item.text));
        action->setEnabled(item.enabled);
        action->setData(item.id);
        QObject::connect(action, &QAction::triggered, &menu,
                         [onCommand, id = item.id] { onCommand(id); });
    }
}

}  // namespace

CCorvelView::CCorvelView(CViewFrame* frame, DesktopSettings& settings, ViewSetup setup)
    : QWidget(frame ? frame->Window() : nullptr),
      m_pFrame(frame),
      m_settings(settings),
      m_setup(std::move(setup)) {
    SessionSetup s;
    s.socket = m_setup.socket;
    s.defaultList = m_setup.defaultList;
    s.keepHistory = true;
    s.historyDir = m_setup.historyDir;
    s.historyDirError = m_setup.historyDirError;
    s.historyLimits = m_setup.historyLimits;
    s.armTimer = [this](uint32_t seconds) { ArmTimer(seconds); };
    // Any thread may post; the task runs on the main thread, and not at all once the view
    // is gone (the session, which posts, goes first).
    s.post = [this](std::function<void()> task) {
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
    };
    m_session = std::make_unique<MonitorSession>(std::move(s), *this);
    m_contextMenu = new QMenu(this);
    BuildForm();
    m_pInfoDlg = new CHostInfoDlg(this);
    m_pInfoDlg->SetSources(&m_session->Hosts(), &m_session->History(), &m_dwInfoAddress);
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

    m_rows = new CHostListModel(m_session->Rows(), this);
    m_list = new QTableView(this);
    m_list->setModel(m_rows);
    StyleHostList(m_list);
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
    m_bFirstUpdate = false;
    if (m_pFrame) {
        CViewFrame* f = m_pFrame;
        m_pDropWnd->SetMainWindow(
            f->Window(), [f](int id) { return f->Command(id); }, [f] { f->UpdateCommandUI(); });
    }
    m_pDropWnd->Create();
    CreateStateIndicator();
    // Column widths are set once; only "bytes" follows the window, as the last column.
    for (int c = 0; c < 3; ++c) m_list->setColumnWidth(c, kColumnWidths[c]);
    m_list->setColumnWidth(3, std::max(40, m_list->viewport()->width() - kFixedColumnsWidth));
    m_dropTarget.SetSink(MakeDropSink());
    m_dropTarget.Register(m_list);
    m_pDropWnd->m_dropTarget.SetSink(MakeDropSink());
    m_pDropWnd->m_dropTarget.Register(m_pDropWnd);
    m_tray = new CViewTray(
        this, m_setup.useTray, [this](int id) { TriggerLater(id); },
        [this] { UpdateCommandStates(); },
        [this] { PostViewMessage(this, WM_TRAY_NOTIFY, kTrayIconId, {}, WM_LBUTTONDBLCLK); });
    ConnectCommands();
    m_session->Start();
    ShowIntervalInBox();
    UpdateRunStateUI();
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

void CCorvelView::ConnectCommands() {
    if (m_pFrame == nullptr) return;
    CViewFrame* f = m_pFrame;
    const std::pair<int, void (CCorvelView::*)()> handlers[] = {
        {ID_START, &CCorvelView::OnStart},
        {ID_STOP, &CCorvelView::OnStop},
        {ID_AUTO_START, &CCorvelView::OnAutoStart},
        {ID_AUTO_POPUP, &CCorvelView::OnAutoPopup},
        {ID_ADD_ADDRESS, &CCorvelView::OnAddAddress},
        {ID_ADD_GROUP, &CCorvelView::OnAddGroup},
        {ID_DELETE_ADDRESS, &CCorvelView::OnDeleteAddress},
        {ID_DELETE_GROUP, &CCorvelView::OnDeleteGroup},
        {ID_DELETE_SELECTED, &CCorvelView::OnDeleteSelected},
        {ID_CLEAR_ALL, &CCorvelView::OnClearAll},
        {ID_IMPORT, &CCorvelView::OnImportFromFile},
        {ID_COPY_ADDRESS, &CCorvelView::OnCopyAddress},
        {ID_MORE_DETAILS, &CCorvelView::OnMoreDetails},
        {ID_HOW_TO, &CCorvelView::OnHowTo},
    };
    for (const auto& [id, handler] : handlers)
        f->OnCommand(id, [this, h = handler] { (this->*h)(); });
    const MonitorSession& s = *m_session;
    f->OnUpdateCommand(ID_START, [&s](QAction* a) { a->setEnabled(s.IsStopped()); });
    f->OnUpdateCommand(ID_STOP, [&s](QAction* a) { a->setEnabled(!s.IsStopped()); });
    f->OnUpdateCommand(ID_AUTO_START, [this](QAction* a) { a->setChecked(m_settings.autoStart); });
    f->OnUpdateCommand(ID_AUTO_POPUP, [this](QAction* a) { a->setChecked(m_settings.autoPopup); });
    // While a lookup's result is to come, nothing may change the list or replace it.
    const auto idle = [] { return !CInputCommands::LookupPending(); };
    for (const int id : {ID_ADD_ADDRESS, ID_ADD_GROUP, ID_IMPORT, ID_FILE_NEW, ID_FILE_OPEN})
        f->OnUpdateCommand(id, [idle](QAction* a) { a->setEnabled(idle()); });
    f->OnUpdateCommand(ID_DELETE_SELECTED, [this, idle](QAction* a) {
        a->setEnabled(!SelectedRows().empty() && idle());
    });
    const auto states = [&s] { return ListCommandStatesFor(s.Addresses().size(), 0); };
    f->OnUpdateCommand(ID_DELETE_ADDRESS, [this, idle, states](QAction* a) {
        a->setEnabled(states().deleteAddress && idle());
        m_btnStop->setEnabled(states().deleteAddress);
    });
    f->OnUpdateCommand(ID_DELETE_GROUP, [idle, states](QAction* a) {
        a->setEnabled(states().deleteGroup && idle());
    });
    f->OnUpdateCommand(ID_CLEAR_ALL,
                       [idle, states](QAction* a) { a->setEnabled(states().clearAll && idle()); });
}

std::vector<int> CCorvelView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool CCorvelView::HasTray() const { return m_tray != nullptr && m_tray->HasIcon(); }
QMenu* CCorvelView::TrayMenu() const { return m_tray ? m_tray->Menu() : nullptr; }

// --- What the session reports ----------------------------------------------------------------

void CCorvelView::RowAboutToBeInserted(int row) { m_rows->BeginInsert(row); }
void CCorvelView::RowInserted(int) { m_rows->EndInsert(); }
void CCorvelView::RowAboutToBeRemoved(int row) { m_rows->BeginRemove(row); }
void CCorvelView::RowRemoved(int) { m_rows->EndRemove(); }
void CCorvelView::RowsAboutToBeReset() { m_rows->BeginReset(); }
void CCorvelView::RowsReset() { m_rows->EndReset(); }
void CCorvelView::RowsChanged(int first, int last) { m_rows->ResultsChanged(first, last); }

void CCorvelView::HostEvent(HostEventKind kind, uint32_t address, const HostRecord& record,
                            std::string_view stamp, std::string_view event) {
    if (address != m_dwInfoAddress || m_pInfoDlg == nullptr) return;
    if (kind == HostEventKind::Reply)
        m_pInfoDlg->OnHostReply(record, std::string(stamp), std::string(event));
    if (kind == HostEventKind::Timeout)
        m_pInfoDlg->OnHostTimeout(record, std::string(stamp), std::string(event));
}

void CCorvelView::HostRemoved(uint32_t address) {
    if (address == m_dwInfoAddress && m_pInfoDlg) m_pInfoDlg->OnHostRemoved();
}

void CCorvelView::RoundStarted() {
    if (m_pInfoDlg) m_pInfoDlg->AddOneSent();
}

void CCorvelView::ListChanged() {
    if (m_pFrame) m_pFrame->UpdateCommandUI();
}

void CCorvelView::ListReplaced(uint32_t interval) {
    // The file's interval goes through the box as if typed there, so an unusable one gets
    // the box's prompt.
    m_editInterval->setText(QString::number(interval));
    OnIntervalChanged();
}

void CCorvelView::ErrorText(const std::string& text) {
    if (!m_bDestroyed)
        SondrelMessageBoxNonModal(m_pFrame ? m_pFrame->Window() : nullptr, ToQ(text));
}

void CCorvelView::HistoryStateChanged(bool failing, const std::string& why) {
    if (m_pFrame == nullptr || m_pFrame->IdleText() == nullptr) return;
    m_pFrame->IdleText()->setText(failing
                                      ? QStringLiteral("History kept in memory: %1").arg(ToQ(why))
                                      : QStringLiteral("Sondrel"));
}

// --- Messages and timer -----------------------------------------------------------------------

bool CCorvelView::event(QEvent* e) {
    if (static_cast<int>(e->type()) != WM_TRAY_NOTIFY) return QWidget::event(e);
    auto* m = static_cast<CViewMessage*>(e);
    OnTrayNotify(m->m_wParam, m->m_lParam);
    return true;
}

void CCorvelView::timerEvent(QTimerEvent*) {
    // Any tick of the interval timer starts a round, whichever id it carries.
    OnTimer();
}

void CCorvelView::OnTimer() { m_session->OnTimer(); }

bool CCorvelView::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_list && e->type() == QEvent::KeyPress)
        OnListKeyDown(static_cast<QKeyEvent*>(e)->key());
    return QWidget::eventFilter(watched, e);
}

void CCorvelView::ArmTimer(uint32_t seconds) {
    if (m_nTimerId != 0) killTimer(m_nTimerId);
    m_nTimerId = startTimer(std::chrono::milliseconds(static_cast<int64_t>(seconds) * 1000));
}

// --- Run state, interval, options -------------------------------------------------------------

void CCorvelView::OnStop() {
    if (m_session->IsStopped()) return;
    m_session->Stop();
    UpdateRunStateUI();
}

void CCorvelView::OnStart() {
    if (!m_session->IsStopped()) return;
    m_session->Resume();
    UpdateRunStateUI();
}

void CCorvelView::UpdateRunStateUI() {
    const bool stopped = m_session->IsStopped();
    if (m_stateIndicator) {
        const QString name = stopped ? QStringLiteral(":/icons/state-stopped.png")
                                     : QStringLiteral(":/icons/state-running.png");
        QPixmap picture(name);
        if (m_stateIndicator->devicePixelRatioF() > 1.0) {
            QPixmap sharp(QString(name).replace(QStringLiteral(".png"), QStringLiteral("@2x.png")));
            if (!sharp.isNull()) {
                sharp.setDevicePixelRatio(2.0);
                picture = sharp;
            }
        }
        m_stateIndicator->setPixmap(picture);
        m_stateIndicator->setToolTip(stopped ? QStringLiteral("Stopped")
                                             : QStringLiteral("Pinging"));
    }
    UpdateCommandStates();
}

void CCorvelView::UpdateCommandStates() {
    if (m_tray) m_tray->ShowRunState(m_session->IsStopped());
    if (m_pFrame) m_pFrame->UpdateCommandUI();
}

void CCorvelView::ShowIntervalInBox() {
    m_editInterval->setText(QString::number(m_session->Interval()));
}

void CCorvelView::OnIntervalChanged(bool finished) {
    const IntervalInput input = ParseIntervalText(m_editInterval->text().toStdString());
    QWidget* owner = this;
    switch (input.kind) {
        case IntervalInput::Kind::Empty:
            if (!finished) return;  // the user is retyping
            m_session->KeepIntervalInForce();
            // Refilled first: the prompt takes the focus, which finishes the edit again.
            ShowIntervalInBox();
            SondrelMessageBox(owner, QString::fromLatin1(kIntervalNumberPrompt));
            return;
        case IntervalInput::Kind::NotNumber:
            SondrelMessageBox(owner, QString::fromLatin1(kIntervalNumberPrompt));
            m_session->KeepIntervalInForce();
            return;
        case IntervalInput::Kind::OutOfRange:
            SondrelMessageBox(owner, QString::fromLatin1(kIntervalRangePrompt));
            m_session->KeepIntervalInForce();
            return;
        case IntervalInput::Kind::Zero:
            m_session->KeepIntervalInForce();
            return;
        case IntervalInput::Kind::Value:
            m_session->ApplyInterval(input.value);
            return;
    }
}

void CCorvelView::OnAutoStart() {
    const std::filesystem::path configHome = XdgConfigHome();
    if (!configHome.empty()) {
        const auto entry = AutostartEntryPath(configHome);
        if (!m_settings.autoStart) {
            WriteAutostartEntry(entry, QCoreApplication::applicationFilePath().toStdString());
        } else {
            RemoveAutostartEntry(entry);
        }
    }
    // The check mark follows the click even when the entry could not be changed.
    m_settings.autoStart = !m_settings.autoStart;
    UpdateCommandStates();
}

void CCorvelView::OnAutoPopup() {
    m_settings.autoPopup = !m_settings.autoPopup;
    UpdateCommandStates();
}

void CCorvelView::OnTrayNotify(uint32_t iconId, int64_t mouseMessage) {
    if (iconId != kTrayIconId) return;
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        if (m_pFrame) m_pFrame->ShowAndRaise();
    } else if (mouseMessage == WM_RBUTTONDOWN && TrayMenu()) {
        UpdateCommandStates();
        TrayMenu()->popup(QCursor::pos());
    }
}

// --- default.ipl and teardown -------------------------------------------------------------------

bool CCorvelView::SaveDefaultList() {
    std::string message;
    if (m_session->SaveDefaultList(message)) return true;
    onSaveFailed ? onSaveFailed(ToQ(message))
                 : SondrelMessageBox(m_pFrame ? m_pFrame->Window() : nullptr, ToQ(message));
    return false;
}

void CCorvelView::OnDestroy() {
    if (m_bDestroyed) return;
    if (!m_bFirstUpdate) SaveDefaultList();
    m_bDestroyed = true;
    if (m_nTimerId != 0) {
        killTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    m_session->Shutdown();
    if (m_tray) m_tray->Remove();
    // Work posted before the engine ended is of no use any more.
    QCoreApplication::removePostedEvents(this);
}

// --- List commands, popup menu, details --------------------------------------------------------

void CCorvelView::OnAddAddress() { CInputCommands::AddAddress(MakeInputContext()); }
void CCorvelView::OnAddGroup() { CInputCommands::AddGroup(MakeInputContext()); }
void CCorvelView::OnDeleteAddress() { CInputCommands::DeleteAddress(MakeInputContext()); }
void CCorvelView::OnDeleteGroup() { CInputCommands::DeleteGroup(MakeInputContext()); }
void CCorvelView::OnDeleteSelected() { CInputCommands::DeleteSelected(MakeInputContext()); }
void CCorvelView::OnClearAll() { CInputCommands::ClearAll(MakeInputContext()); }
void CCorvelView::OnImportFromFile() { CInputCommands::ImportFromFile(MakeInputContext()); }
void CCorvelView::OnCopyAddress() { CInputCommands::CopyAddress(MakeInputContext()); }
void CCorvelView::OnHowTo() { ::OnHowTo(); }

void CCorvelView::OnMoreDetails() {
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty()) OpenDetailsOfRow(rows.front());
}

void CCorvelView::OnListDoubleClick(int row) { OpenDetailsOfRow(row); }

void CCorvelView::OpenDetailsOfRow(int row) {
    if (m_pInfoDlg == nullptr || row < 0 || row >= m_rows->Count()) return;
    m_pInfoDlg->OpenHostDetails(ToQ(m_rows->Text(row, 0)));
}

void CCorvelView::TriggerLater(int commandId) {
    // The command runs once the menu or key press that chose it has returned, as the menu
    // bar's would.
    if (QAction* a = m_pFrame ? m_pFrame->Command(commandId) : nullptr)
        QMetaObject::invokeMethod(a, &QAction::trigger, Qt::QueuedConnection);
}

void CCorvelView::OnListRightClick(const QPoint& pos) {
    if (m_pFrame == nullptr) return;
    const bool onRow = m_list->indexAt(pos).isValid();
    const std::vector<MenuItem> items =
        onRow ? RowMenuItems(SelectedRows().size()) : EditMenuItems(m_session->Addresses().size());
    FillPopupMenu(*m_contextMenu, items, [this](int id) { TriggerLater(id); });
    m_contextMenu->popup(QCursor::pos());
}

void CCorvelView::OnListKeyDown(int key) {
    if (key == Qt::Key_Delete && !SelectedRows().empty()) TriggerLater(ID_DELETE_SELECTED);
}

CInputContext CCorvelView::MakeInputContext() {
    CInputContext ctx;
    ctx.parent = this;
    ctx.hosts = &m_session->Hosts();
    ctx.postAdded = [this](uint32_t address) { m_session->PostListAdded(address); };
    ctx.postRemoved = [this](uint32_t address) { m_session->RemoveHost(address); };
    ctx.selectedRowTexts = [this] {
        std::vector<std::string> texts;
        for (const int row : SelectedRows()) texts.push_back(m_rows->Text(row, 0));
        return texts;
    };
    ctx.clearAll = [this] { m_session->ClearAllHosts(); };
    ctx.updateCommands = [this] { ListChanged(); };
    ctx.setStatus = [this](const QString& text) {
        if (m_pFrame == nullptr) return;
        QStatusBar* bar = m_pFrame->Window()->statusBar();
        text.isEmpty() ? bar->clearMessage() : bar->showMessage(text);
    };
    return ctx;
}

CDropSink CCorvelView::MakeDropSink() {
    QPointer<CCorvelView> self(this);
    CDropSink sink;
    sink.hosts = [self]() -> const HostTable* {
        return self ? &self->m_session->Hosts() : nullptr;
    };
    sink.addHost = [self](uint32_t address, const std::string& name, bool named) {
        if (self) self->m_session->AddHost(address, name, named);
    };
    sink.mainWindow = [self]() -> QWidget* {
        return self && self->m_pFrame ? self->m_pFrame->Window() : nullptr;
    };
    sink.autoPopup = [self] { return self && self->m_settings.autoPopup; };
    sink.openListFile = [self](const QString& path) {
        // Opened once the drop has ended, so that a box cannot stall the drag source.
        QTimer::singleShot(0, self.data(), [self, path] {
            if (self && self->m_pFrame) self->m_pFrame->OpenListFile(path);
        });
    };
    sink.updateCommands = [self] {
        if (self) self->ListChanged();
    };
    return sink;
}
