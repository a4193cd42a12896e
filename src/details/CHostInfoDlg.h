#pragma once
// The details window of one host: name, address, location, statistics and the host's
// history. One object for the whole program, owned by the main view; modeless; refilled
// whenever it is opened on a host other than the one on show.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "details/ReverseLookups.h"
#include "model/History.h"
#include "model/HostRecord.h"
#include "model/HostTable.h"
#include "platform/Resolver.h"

class QLabel;
class QPushButton;
class QTreeWidget;

class CHostInfoDlg : public QDialog {
    Q_OBJECT

public:
    // Ids of the fields, as the other handlers name them.
    enum Field : int {
        kHistoryList = 1007,
        kLocation = 1010,
        kSaveLog = 1014,
        kDomainName = 1015,
        kIpAddress = 1016,
        kClose = 1017,
        kClear = 1018,
        kSent = 1030,
        kReceived = 1031,
        kLost = 1032,
        kMinTime = 1033,
        kMaxTime = 1034,
        kAvgTime = 1035,
        kSpeed = 1036,
        kLatest = 1037,  // the latest echo's round trip to the microsecond
    };

    explicit CHostInfoDlg(QWidget* parent = nullptr);
    ~CHostInfoDlg() override;

    // The view's sources: its host table, the folder of the history files, and the address
    // it keeps of the host on show (emptied when the window closes; 0.0.0.0 is a host).
    void SetSources(sondrel::HostTable* hosts, const sondrel::HistoryFiles* historyFiles,
                    std::optional<std::uint32_t>* pInfoAddress);
    // Where reverse lookups go (the system's name service by default). Shared, because a
    // lookup still running when the window goes keeps using it.
    void SetResolver(std::shared_ptr<sondrel::Resolver> resolver);

    // Double click on a row or "More details": the row's column-0 text. Shows the host
    // again when it is the one on show; else fills the window anew. False when the text
    // names no host.
    bool OpenHostDetails(const QString& rowText);

    // Kept current by the view while the window shows the host concerned:
    // a round started (the Sent field read back and written plus one);
    void AddOneSent();
    // a reply or an error text: its log row, then every statistics field;
    void OnHostReply(const sondrel::HostRecord& record, const std::string& stamp,
                     const std::string& event);
    // a timeout: its log row, then Sent, Received and Lost;
    void OnHostTimeout(const sondrel::HostRecord& record, const std::string& stamp,
                       const std::string& event);
    // the host left the list: a "removed from list." row stamped now.
    void OnHostRemoved();
    // One log row at the end (texts without line ends), brought into view.
    void AppendLogRow(const QString& time, const QString& info);

    // Buttons.
    void OnClear();
    void OnSaveLog();
    // Writes the rows to a file: time, TAB, event, LF per row. False, with the system's
    // reason, when it cannot be written; an existing file is then left as it was.
    bool SaveLogTo(const QString& path, QString* reason = nullptr) const;
    // Asks where Save log writes, given the proposed name; empty when cancelled. Unset: the
    // save-file dialog.
    std::function<QString(const QString& proposed)> chooseLogFile;

    // Where the window opens in the work area of its screen: (100, 0) from its corner, moved
    // back inside when the window would stick out.
    static QPoint InitialPosition(const QRect& area, const QSize& frame);

    // What the window shows (for the view and for checks).
    QString FieldText(int id) const;
    int LogRowCount() const;
    QString LogText(int row, int column) const;
    std::optional<std::uint32_t> ShownAddress() const { return m_dwShown; }

    // Esc, the close box and Close: the window hides and no longer shows a host.
    void reject() override;

    QTreeWidget* m_historyList = nullptr;
    std::optional<std::uint32_t>* m_pInfoAddress = nullptr;

signals:
    // A reverse lookup answered and the Domain name field was (or was not) filled with it.
    void reverseLookupDone(std::uint32_t address, bool shown);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();
    QLabel* AddLabel(const char* text, int x, int y, int w, int h, int id = 0);
    QRect DialogUnits(int x, int y, int w, int h) const;
    void SetField(int id, const QString& text);
    void Fill(std::uint32_t address, bool named, const QString& title,
              const sondrel::HostRecord& record);
    void ShowStatistics(const sondrel::HostRecord& record, bool afterReply);
    void PlaceOnScreen();
    QString AskLogFile(const QString& proposed);
    void StartReverseLookup(std::uint32_t address);
    void ApplyReverseLookup(unsigned serial, std::uint32_t address, const QString& name);
    void ShowLocation(std::uint32_t address);
    void ScrollToEnd();

    std::map<int, QLabel*> m_fields;
    sondrel::HostTable* m_hosts = nullptr;
    const sondrel::HistoryFiles* m_historyFiles = nullptr;
    std::shared_ptr<sondrel::Resolver> m_resolver;
    std::optional<std::uint32_t> m_dwShown;  // the host last filled in
    unsigned m_fillSerial = 0;               // tells a late reverse lookup from a current one
    // Last, so that it goes first: no answer is posted to the window once it is going.
    sondrel::ReverseLookups m_lookups;
};
