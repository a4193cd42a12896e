#include "view/CCorvelView.h"

#include <QAction>
#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/CDropWnd.h"
#include "desktop/CHelp.h"
#include "details/CHostInfoDlg.h"
#include "platform/Autostart.h"
#include "session/IntervalInput.h"
#include "view/CHostListModel.h"
#include "view/CViewBindings.h"
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

}  // namespace

CCorvelView::CCorvelView(CViewFrame* frame, DesktopSettings& settings, ViewSetup setup)
    : QWidget(frame ? frame->Window() : nullptr),
      m_pFrame(frame),
      m_settings(settings),
      m_setup(std::move(setup)) {
    SessionSetup s = m_setup.session;
    s.keepHistory = true;
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
    m_pDropWnd = std::make_unique<CDropWnd>();
}

CCorvelView::~CCorvelView() {
    OnDestroy();
    // The details window reads the host table; it goes while the table is still there.
    delete m_pInfoDlg;
    m_pInfoDlg = nullptr;
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
    // Column widths are set once; only "bytes" follows the window, as the last column.
    for (int c = 0; c < 3; ++c) m_list->setColumnWidth(c, kColumnWidths[c]);
    m_list->setColumnWidth(3, std::max(40, m_list->viewport()->width() - kFixedColumnsWidth));
    m_dropTarget.SetSink(DropSinkFor(this, *m_session, m_pFrame, m_settings));
    m_dropTarget.Register(m_list);
    m_pDropWnd->m_dropTarget.SetSink(DropSinkFor(this, *m_session, m_pFrame, m_settings));
    m_pDropWnd->m_dropTarget.Register(m_pDropWnd.get());
    m_tray = new CViewTray(
        this, m_pFrame ? m_pFrame->ToolBar() : nullptr, m_setup.useTray,
        [this](int id) { TriggerLater(id); }, [this] { UpdateCommandStates(); },
        [this] { PostViewMessage(this, WM_TRAY_NOTIFY, kTrayIconId, {}, WM_LBUTTONDBLCLK); });
    ConnectCommands();
    m_session->Start();
    ShowIntervalInBox();
    UpdateRunStateUI();
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
    BindCommandStates(
        *f, *m_session, m_settings, [this] { return !SelectedRows().empty(); }, m_btnStop);
    BindStoreToggle(*f, *m_session, m_settings);
}

std::vector<int> CCorvelView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QWidget* CCorvelView::MainWindow() const { return m_pFrame ? m_pFrame->Window() : nullptr; }
bool CCorvelView::HasTray() const { return m_tray != nullptr && m_tray->HasIcon(); }
QMenu* CCorvelView::TrayMenu() const { return m_tray ? m_tray->Menu() : nullptr; }
QLabel* CCorvelView::StateIndicator() const { return m_tray ? m_tray->Indicator() : nullptr; }

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
    if (address != m_dwInfoAddress || m_pInfoDlg == nullptr || kind == HostEventKind::Added) return;
    auto show =
        kind == HostEventKind::Reply ? &CHostInfoDlg::OnHostReply : &CHostInfoDlg::OnHostTimeout;
    (m_pInfoDlg->*show)(record, std::string(stamp), std::string(event));
}

void CCorvelView::HostRemoved(uint32_t address) {
    if (address == m_dwInfoAddress && m_pInfoDlg) m_pInfoDlg->OnHostRemoved();
}

void CCorvelView::RepliesLost(uint64_t count) { ShowRepliesLost(m_pFrame, count); }
void CCorvelView::StoreNotice(const std::string& text) { ShowStatusText(m_pFrame, text); }

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
    if (!m_bDestroyed) SondrelMessageBoxNonModal(MainWindow(), ToQ(text));
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
    if (m_tray) m_tray->ShowRunStatePicture(m_session->IsStopped());
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
    if (input.kind == IntervalInput::Kind::Value) return m_session->ApplyInterval(input.value);
    if (input.kind == IntervalInput::Kind::Empty && !finished) return;  // the user is retyping
    m_session->KeepIntervalInForce();
    // An emptied box is refilled before its prompt, which takes the focus and so finishes
    // the edit once more.
    if (input.kind == IntervalInput::Kind::Empty) ShowIntervalInBox();
    if (const char* prompt = PromptFor(input.kind))
        SondrelMessageBox(this, QString::fromLatin1(prompt));
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
    onSaveFailed ? onSaveFailed(ToQ(message)) : SondrelMessageBox(MainWindow(), ToQ(message));
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

void CCorvelView::OnAddAddress() { CInputCommands::AddAddress(InputContext()); }
void CCorvelView::OnAddGroup() { CInputCommands::AddGroup(InputContext()); }
void CCorvelView::OnDeleteAddress() { CInputCommands::DeleteAddress(InputContext()); }
void CCorvelView::OnDeleteGroup() { CInputCommands::DeleteGroup(InputContext()); }
void CCorvelView::OnDeleteSelected() { CInputCommands::DeleteSelected(InputContext()); }
void CCorvelView::OnClearAll() { CInputCommands::ClearAll(InputContext()); }
void CCorvelView::OnImportFromFile() { CInputCommands::ImportFromFile(InputContext()); }
void CCorvelView::OnCopyAddress() { CInputCommands::CopyAddress(InputContext()); }
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

CInputContext CCorvelView::InputContext() {
    return InputContextFor(*m_session, this, m_pFrame, [this] {
        std::vector<std::string> texts;
        for (const int row : SelectedRows()) texts.push_back(m_rows->Text(row, 0));
        return texts;
    });
}
