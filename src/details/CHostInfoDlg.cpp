#include "details/CHostInfoDlg.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QTreeWidget>
#include <algorithm>
#include <limits>
#include <utility>

#include "details/LocationDb.h"
#include "details/LogFileName.h"
#include "input/HostEditing.h"
#include "model/ReplyRules.h"
#include "platform/AddressText.h"
#include "widgets/CDialogLayout.h"
#include "widgets/CMessageBox.h"

namespace {

constexpr const char kNoDomainName[] = "no domain name";
constexpr const char kNoLocation[] = "no data for this addr";
constexpr const char kLogFilter[] = "log files (*.log)";

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CHostInfoDlg::CHostInfoDlg(QWidget* parent)
    : QDialog(parent),
      m_resolver(std::make_shared<sondrel::SystemResolver>()),
      m_lookups(
          [this](const sondrel::ReverseLookups::Request& request, std::optional<std::string> name) {
              // On the lookup's thread: the answer travels to the window's thread as an event,
              // which goes with the window if it is gone by then.
              const QString text = name ? FromStd(*name) : QString(kNoDomainName);
              QMetaObject::invokeMethod(
                  this,
                  [this, serial = request.serial, address = request.address, text] {
                      ApplyReverseLookup(serial, address, text);
                  },
                  Qt::QueuedConnection);
          }) {
    setObjectName("CHostInfoDlg");
    setWindowTitle("Info");
    setModal(false);
    setFont(QFont("Times New Roman", 9));
    BuildLayout();
    FitFixedTexts(this);
}

CHostInfoDlg::~CHostInfoDlg() = default;

QRect CHostInfoDlg::DialogUnits(int x, int y, int w, int h) const {
    return CDialogUnits(font()).ToPixels(QRect(x, y, w, h));
}

QLabel* CHostInfoDlg::AddLabel(const char* text, int x, int y, int w, int h, int id) {
    // Fields get their texts later and may outgrow their place; fixed texts never do.
    QLabel* label = id != 0 ? new CFieldLabel(this) : new QLabel(QString::fromLatin1(text), this);
    label->setGeometry(DialogUnits(x, y, w, h));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Host names come from the user and the name service: "<b>x</b>" is shown as typed.
    label->setTextFormat(Qt::PlainText);
    if (id != 0) {
        label->setObjectName(QString::number(id));
        m_fields[id] = label;
    }
    return label;
}

void CHostInfoDlg::BuildLayout() {
    setFixedSize(DialogUnits(0, 0, 223, 222).size());

    SetGroupBoxFrame(new QGroupBox("General Information", this), DialogUnits(7, 7, 209, 43));
    SetGroupBoxFrame(new QGroupBox("Ping Statistics", this), DialogUnits(7, 51, 209, 148));

    AddLabel("Domain name:", 12, 18, 46, 8);
    AddLabel("", 62, 18, 143, 8, kDomainName);
    AddLabel("IP address:", 12, 28, 38, 8);
    AddLabel("", 62, 28, 54, 8, kIpAddress);
    AddLabel("Location:", 127, 28, 27, 8);
    AddLabel("", 162, 28, 45, 8, kLocation);
    AddLabel("Approximate speed:", 12, 40, 57, 8);
    AddLabel("", 73, 40, 13, 8, kSpeed);
    AddLabel("kbps", 88, 40, 15, 8);

    AddLabel("Packet Size: 32 bytes", 12, 61, 60, 8);
    AddLabel("Latest:", 139, 61, 22, 8);
    AddLabel("", 165, 61, 47, 8, kLatest);
    AddLabel("Sent:", 12, 71, 15, 8);
    AddLabel("", 39, 71, 28, 8, kSent);
    AddLabel("Received:", 71, 71, 27, 8);
    AddLabel("", 102, 71, 27, 8, kReceived);
    AddLabel("Lost:", 139, 71, 15, 8);
    AddLabel("", 165, 71, 47, 8, kLost);
    AddLabel("Minum:", 12, 82, 23, 8);
    AddLabel("", 39, 82, 16, 8, kMinTime);
    AddLabel("Maxum:", 71, 82, 24, 8);
    AddLabel("", 102, 82, 29, 8, kMaxTime);
    AddLabel("Average:", 139, 82, 25, 8);
    AddLabel("", 165, 82, 21, 8, kAvgTime);

    m_historyList = new QTreeWidget(this);
    m_historyList->setObjectName(QString::number(kHistoryList));
    m_historyList->setGeometry(DialogUnits(7, 92, 209, 106));
    m_historyList->setColumnCount(2);
    m_historyList->setHeaderLabels({"time", "info"});
    m_historyList->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_historyList->header()->setStretchLastSection(false);
    m_historyList->setColumnWidth(0, 170);
    m_historyList->setColumnWidth(1, 195);
    m_historyList->setRootIsDecorated(false);
    m_historyList->setUniformRowHeights(true);
    m_historyList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_historyList->setFrameShadow(QFrame::Sunken);
    QPalette colours = m_historyList->palette();
    for (const auto role : {QPalette::Base, QPalette::Window, QPalette::AlternateBase}) {
        colours.setColor(role, Qt::black);
    }
    colours.setColor(QPalette::Text, QColor(0, 255, 0));
    const QPalette headerColours = m_historyList->header()->palette();
    m_historyList->setPalette(colours);
    // Only the rows are black; the column heads keep the window's colours throughout.
    m_historyList->header()->setPalette(headerColours);

    struct Button {
        const char* text;
        int id;
        int x;
        int w;
        void (CHostInfoDlg::*handler)();
    };
    const Button buttons[] = {
        {"Clear", kClear, 45, 38, &CHostInfoDlg::OnClear},
        {"Save log ...", kSaveLog, 90, 38, &CHostInfoDlg::OnSaveLog},
        {"Close", kClose, 135, 37, nullptr},
    };
    for (const Button& b : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(b.text), this);
        button->setObjectName(QString::number(b.id));
        button->setGeometry(DialogUnits(b.x, 202, b.w, 14));
        button->setAutoDefault(false);
        if (b.handler != nullptr) {
            connect(button, &QPushButton::clicked, this, b.handler);
        } else {
            connect(button, &QPushButton::clicked, this, &QWidget::close);
        }
    }
}

void CHostInfoDlg::SetSources(sondrel::HostTable* hosts, const sondrel::HistoryFiles* historyFiles,
                              std::optional<std::uint32_t>* pInfoAddress) {
    m_hosts = hosts;
    m_historyFiles = historyFiles;
    m_pInfoAddress = pInfoAddress;
}

void CHostInfoDlg::SetResolver(std::shared_ptr<sondrel::Resolver> resolver) {
    m_resolver =
        resolver != nullptr ? std::move(resolver) : std::make_shared<sondrel::SystemResolver>();
}

void CHostInfoDlg::SetField(int id, const QString& text) {
    if (auto it = m_fields.find(id); it != m_fields.end()) {
        it->second->setText(text);
    }
}

QString CHostInfoDlg::FieldText(int id) const {
    if (auto it = m_fields.find(id); it != m_fields.end()) {
        return it->second->text();
    }
    return {};
}

int CHostInfoDlg::LogRowCount() const { return m_historyList->topLevelItemCount(); }

QString CHostInfoDlg::LogText(int row, int column) const {
    const QTreeWidgetItem* item = m_historyList->topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
}

bool CHostInfoDlg::OpenHostDetails(const QString& rowText) {
    if (m_hosts == nullptr) {
        return false;
    }
    const std::string text = rowText.toStdString();
    const std::optional<std::uint32_t> address = sondrel::HostForRowText(*m_hosts, text);
    if (!address) {
        return false;
    }
    const bool named = sondrel::InetAddr(text) == sondrel::kInaddrNone;
    if (m_pInfoAddress != nullptr && *m_pInfoAddress == *address) {
        showNormal();
        return true;
    }
    const sondrel::HostRecord* record = m_hosts->FindHost(*address);
    if (record == nullptr) {
        // A dotted row of a host no longer listed: the statistics start from nothing.
        static const sondrel::HostRecord kFresh;
        record = &kFresh;
    }
    Fill(*address, named, rowText, *record);
    return true;
}

void CHostInfoDlg::Fill(std::uint32_t address, bool named, const QString& title,
                        const sondrel::HostRecord& record) {
    ++m_fillSerial;
    m_dwShown = address;
    m_historyList->clear();
    for (auto& [id, label] : m_fields) {
        label->clear();
    }

    setWindowTitle(title);
    SetField(kIpAddress, FromStd(sondrel::DottedQuad(address)));
    ShowStatistics(record, false);
    if (m_pInfoAddress != nullptr) {
        *m_pInfoAddress = address;
    }
    if (named) {
        SetField(kDomainName, title);
    } else {
        StartReverseLookup(address);
    }

    std::vector<sondrel::HistoryRow> rows;
    if (m_historyFiles != nullptr) {
        rows = m_historyFiles->Read(address);
    }
    for (sondrel::HistoryRow& row : sondrel::PairHistoryLines(record.m_history.ToVector())) {
        rows.push_back(std::move(row));
    }
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const sondrel::HistoryRow& row : rows) {
        items.push_back(new QTreeWidgetItem(QStringList{FromStd(row.first), FromStd(row.second)}));
    }
    m_historyList->addTopLevelItems(items);
    ScrollToEnd();

    ShowLocation(address);
    PlaceOnScreen();
    showNormal();
    raise();
    activateWindow();
}

void CHostInfoDlg::ShowStatistics(const sondrel::HostRecord& record, bool afterReply) {
    const sondrel::DetailsFields fields = afterReply ? sondrel::DetailsFieldsAfterReply(record)
                                                     : sondrel::DetailsFieldsOnOpen(record);
    SetField(kReceived, FromStd(fields.received));
    SetField(kSent, FromStd(fields.sent));
    SetField(kMinTime, FromStd(fields.minTime));
    SetField(kMaxTime, FromStd(fields.maxTime));
    SetField(kAvgTime, FromStd(fields.avgTime));
    SetField(kSpeed, FromStd(fields.speed));
    SetField(kLatest, FromStd(sondrel::PreciseMillisecondsText(record.m_nLastRttUs)));
    if (fields.lost) {
        SetField(kLost, FromStd(*fields.lost));
    }
}

QPoint CHostInfoDlg::InitialPosition(const QRect& area, const QSize& frame) {
    const int x = std::min(area.left() + 100, area.right() + 1 - frame.width());
    return {std::max(x, area.left()), area.top()};
}

void CHostInfoDlg::PlaceOnScreen() {
    const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : this;
    if (const QScreen* screen = owner->screen()) {
        move(InitialPosition(screen->availableGeometry(), frameGeometry().size()));
    }
}

void CHostInfoDlg::StartReverseLookup(std::uint32_t address) {
    m_lookups.Start({m_fillSerial, address, m_resolver});
}

void CHostInfoDlg::ApplyReverseLookup(unsigned serial, std::uint32_t address, const QString& name) {
    // Only while the window still shows the host it was asked for.
    const bool current = serial == m_fillSerial && m_dwShown == address &&
                         (m_pInfoAddress == nullptr || *m_pInfoAddress == address);
    if (current) {
        SetField(kDomainName, name);
    }
    emit reverseLookupDone(address, current);
}

void CHostInfoDlg::ShowLocation(std::uint32_t address) {
    SetField(kLocation, kNoLocation);
    std::string location;
    std::string detail;
    const std::uint32_t key = sondrel::DottedToNumber(sondrel::DottedQuad(address));
    if (sondrel::FindLocation(sondrel::GetLocationTable(), key, location, detail)) {
        SetField(kLocation, FromStd(location));
    }
}

void CHostInfoDlg::ScrollToEnd() { m_historyList->scrollToBottom(); }

void CHostInfoDlg::AppendLogRow(const QString& time, const QString& info) {
    m_historyList->addTopLevelItem(new QTreeWidgetItem(QStringList{time, info}));
    ScrollToEnd();
}

// Stops at the 32-bit maximum, as the host's own count does.
void CHostInfoDlg::AddOneSent() {
    const int sent = FieldText(kSent).toInt();
    SetField(kSent, QString::number(sent < std::numeric_limits<int>::max() ? sent + 1 : sent));
}

void CHostInfoDlg::OnHostReply(const sondrel::HostRecord& record, const std::string& stamp,
                               const std::string& event) {
    AppendLogRow(FromStd(stamp), FromStd(event));
    ShowStatistics(record, true);
}

void CHostInfoDlg::OnHostTimeout(const sondrel::HostRecord& record, const std::string& stamp,
                                 const std::string& event) {
    AppendLogRow(FromStd(stamp), FromStd(event));
    const sondrel::DetailsFields fields = sondrel::DetailsFieldsAfterReply(record);
    SetField(kSent, FromStd(fields.sent));
    SetField(kReceived, FromStd(fields.received));
    if (fields.lost) {
        SetField(kLost, FromStd(*fields.lost));
    }
}

void CHostInfoDlg::OnHostRemoved() {
    AppendLogRow(FromStd(std::string(sondrel::WithoutLineEnd(sondrel::TimeStampNow()))),
                 FromStd(std::string(sondrel::kEventRemoved)));
}

void CHostInfoDlg::OnClear() {
    m_historyList->clear();
    if (!m_dwShown) {
        return;
    }
    if (m_historyFiles != nullptr) {
        m_historyFiles->Delete(*m_dwShown);
    }
    if (m_hosts != nullptr) {
        if (sondrel::HostRecord* record = m_hosts->FindHost(*m_dwShown)) {
            record->m_history.clear();
        }
    }
}

bool CHostInfoDlg::SaveLogTo(const QString& path, QString* reason) const {
    QByteArray bytes;
    for (int row = 0; row < LogRowCount(); ++row) {
        bytes += LogText(row, 0).toUtf8();
        bytes += '\t';
        bytes += LogText(row, 1).toUtf8();
        bytes += '\n';
    }
    // Written beside the target and renamed over it: a failed write never leaves half a log
    // in place of an older one.
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    if (!written) {
        file.cancelWriting();
    }
    written = written && file.commit();
    if (!written && reason != nullptr) {
        *reason = file.errorString();
    }
    return written;
}

QString CHostInfoDlg::AskLogFile(const QString& proposed) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(kLogFilter);
    dialog.setDefaultSuffix("log");
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

void CHostInfoDlg::OnSaveLog() {
    // The title is the host's text: a web address has characters no file name can hold.
    const QString proposed = FromStd(sondrel::ProposedLogName(windowTitle().toStdString()));
    const QString chosen = chooseLogFile ? chooseLogFile(proposed) : AskLogFile(proposed);
    if (chosen.isEmpty()) {
        return;
    }
    // The dialog adds its suffix only to a name without any dot, and a dotted address has three.
    const QString path = FromStd(sondrel::WithLogSuffix(chosen.toStdString()));
    QString reason;
    if (!SaveLogTo(path, &reason)) {
        SondrelMessageBox(
            this,
            QString("Cannot save the log to %1: %2").arg(QDir::toNativeSeparators(path), reason));
    }
}

void CHostInfoDlg::closeEvent(QCloseEvent* event) {
    if (m_pInfoAddress != nullptr) {
        m_pInfoAddress->reset();
    }
    QDialog::closeEvent(event);
}

void CHostInfoDlg::reject() {
    // Esc, the close box and Close all end here: the window no longer shows the host.
    if (m_pInfoAddress != nullptr) {
        m_pInfoAddress->reset();
    }
    QDialog::reject();
}
