#include "details/CHostInfoDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRunnable>
#include <QSaveFile>
#include <QThreadPool>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <utility>

#include "details/LocationDb.h"
#include "input/HostEditing.h"
#include "model/AddressText.h"
#include "model/ReplyRules.h"
#include "view/CDialogLayout.h"

namespace {

constexpr const char kNoDomainName[] = "no domain name";
constexpr const char kNoLocation[] = "no data for this addr";
constexpr const char kLogFilter[] = "log files (*.log)";

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

// Runs a reverse lookup on a pool thread and hands the answer back on the window's thread.
class ReverseLookup final : public QRunnable {
public:
    ReverseLookup(sondrel::Resolver* resolver, std::uint32_t address,
                  std::function<void(QString)> deliver)
        : resolver_(resolver), address_(address), deliver_(std::move(deliver)) {}

    void run() override {
        const std::optional<std::string> name = resolver_->LookupAddress(address_);
        const QString text = name ? FromStd(*name) : QString(kNoDomainName);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [deliver = deliver_, text] { deliver(text); },
            Qt::QueuedConnection);
    }

private:
    sondrel::Resolver* resolver_;
    std::uint32_t address_;
    std::function<void(QString)> deliver_;
};

}  // namespace

CHostInfoDlg::CHostInfoDlg(QWidget* parent)
    : QDialog(parent), m_resolver(&sondrel::TheSystemResolver()) {
    setObjectName("CHostInfoDlg");
    m_lookups.setMaxThreadCount(4);
    setWindowTitle("Info");
    setModal(false);
    setFont(QFont("Times New Roman", 9));
    BuildLayout();
    FitFixedTexts(this);
}

CHostInfoDlg::~CHostInfoDlg() {
    // Only lookups already running are waited for; queued ones would be answered to nobody.
    m_lookups.clear();
}

QRect CHostInfoDlg::DialogUnits(int x, int y, int w, int h) const {
    return CDialogUnits(font()).ToPixels(QRect(x, y, w, h));
}

QLabel* CHostInfoDlg::AddLabel(const char* text, int x, int y, int w, int h, int id) {
    // Fields get their texts later and may outgrow their place; fixed texts never do.
    QLabel* label = id != 0 ? new CFieldLabel(this) : new QLabel(QString::fromLatin1(text), this);
    label->setGeometry(DialogUnits(x, y, w, h));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
                              std::uint32_t* pInfoAddress) {
    m_hosts = hosts;
    m_historyFiles = historyFiles;
    m_pInfoAddress = pInfoAddress;
}

void CHostInfoDlg::SetResolver(sondrel::Resolver* resolver) {
    m_resolver = resolver != nullptr ? resolver : &sondrel::TheSystemResolver();
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
    for (sondrel::HistoryRow& row : sondrel::PairHistoryLines(record.m_history)) {
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
    if (fields.lost) {
        SetField(kLost, FromStd(*fields.lost));
    }
}

void CHostInfoDlg::StartReverseLookup(std::uint32_t address) {
    QPointer<CHostInfoDlg> self(this);
    const unsigned serial = m_fillSerial;
    auto deliver = [self, serial, address](const QString& name) {
        if (self) {
            self->ApplyReverseLookup(serial, address, name);
        }
    };
    auto* task = new ReverseLookup(m_resolver, address, deliver);
    task->setAutoDelete(true);
    // Lookups for hosts no longer on show that have not started yet are dropped: behind a
    // slow name service they would hold up the one the window now waits for.
    m_lookups.clear();
    m_lookups.start(task);
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

void CHostInfoDlg::AddOneSent() { SetField(kSent, QString::number(FieldText(kSent).toInt() + 1)); }

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
    const std::uint32_t address = m_dwShown;
    if (m_historyFiles != nullptr && address != 0) {
        m_historyFiles->Delete(address);
    }
    m_historyList->clear();
    if (m_hosts != nullptr) {
        if (sondrel::HostRecord* record = m_hosts->FindHost(address)) {
            record->m_history.clear();
        }
    }
}

bool CHostInfoDlg::SaveLogTo(const QString& path) const {
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
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void CHostInfoDlg::OnSaveLog() {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(kLogFilter);
    dialog.setDefaultSuffix("log");
    dialog.selectFile(windowTitle());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    SaveLogTo(dialog.selectedFiles().constFirst());
}

void CHostInfoDlg::closeEvent(QCloseEvent* event) {
    if (m_pInfoAddress != nullptr) {
        *m_pInfoAddress = 0;
    }
    QDialog::closeEvent(event);
}

void CHostInfoDlg::reject() {
    // Esc, the close box and Close all end here: the window no longer shows the host.
    if (m_pInfoAddress != nullptr) {
        *m_pInfoAddress = 0;
    }
    QDialog::reject();
}
