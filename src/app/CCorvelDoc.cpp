#include "app/CCorvelDoc.h"

#include <QFileDialog>
#include <QFileInfo>

#include "model/ListFile.h"
#include "view/CCorvelView.h"
#include "widgets/CMessageBox.h"

using namespace sondrel;

namespace {

QString ToQ(const std::string& s) { return QString::fromStdString(s); }

std::filesystem::path ToPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

// The dialogs add the extension when the user typed a name without one.
QString WithListExtension(const QString& path) {
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".ipl") : path;
}

}  // namespace

void CCorvelDoc::Report(const QString& text) const { SondrelMessageBox(m_pWindow, text); }

bool CCorvelDoc::OnNewDocument() {
    m_entries.clear();
    if (m_bViewReady && m_pView != nullptr) {
        // The list empties; the interval in force is handed back unchanged.
        m_nInterval = m_pView->Session().Interval();
        m_pView->Session().PostListModified(m_entries, m_nInterval);
    }
    m_strPathName.clear();
    return true;
}

bool CCorvelDoc::OnOpenDocument(const QString& path) {
    // A file named before the view exists brings nothing into the list.
    if (m_pView == nullptr) return false;
    ListReadResult result = ReadListFile(ToPath(path));
    if (result.fault == ListFault::Unreadable) {
        Report(QStringLiteral("Cannot open the file %1.\n%2").arg(path, ToQ(result.error)));
        return false;
    }
    if (QFileInfo(path).size() == 0) {
        Report(QStringLiteral("The file %1 is empty.\nThe list is unchanged.").arg(path));
        return false;
    }
    if (!result.ok()) {
        Report(QStringLiteral("The file %1 is damaged: %2.\nThe list is unchanged.")
                   .arg(path, ToQ(DescribeListFault(result))));
        return false;
    }
    m_nInterval = *result.interval;
    m_entries = std::move(result.entries);
    m_pView->Session().PostListModified(m_entries, m_nInterval);
    return true;
}

std::string CCorvelDoc::SerializeStore() {
    m_nInterval = m_pView->Session().Interval();
    m_entries = EntriesOf(m_pView->Session().Hosts());
    return SerializeHostTable(m_nInterval, m_pView->Session().Hosts());
}

bool CCorvelDoc::OnSaveDocument(const QString& path) {
    if (m_pView == nullptr) return false;
    std::string message;
    if (!WriteFileAtomically(ToPath(path), SerializeStore(), message)) {
        Report(QStringLiteral("Cannot save the file %1.\n%2").arg(path, ToQ(message)));
        return false;
    }
    m_strPathName = path;
    if (onRecentFile) onRecentFile(path);
    return true;
}

bool CCorvelDoc::OpenDocumentFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!OnOpenDocument(absolute)) return false;
    m_strPathName = absolute;
    if (onRecentFile) onRecentFile(absolute);
    return true;
}

void CCorvelDoc::OnFileNew() { OnNewDocument(); }

void CCorvelDoc::OnFileOpen() {
    const QString path = QFileDialog::getOpenFileName(m_pWindow, QStringLiteral("Open"),
                                                      QFileInfo(m_strPathName).path(),
                                                      QString::fromLatin1(kListFileFilter));
    if (!path.isEmpty()) OpenDocumentFile(path);
}

void CCorvelDoc::OnFileSave() {
    if (m_strPathName.isEmpty()) {
        OnFileSaveAs();
        return;
    }
    OnSaveDocument(m_strPathName);
}

void CCorvelDoc::OnFileSaveAs() {
    QString suggested = m_strPathName;
    if (suggested.isEmpty()) suggested = QStringLiteral("Sondrel.ipl");
    const QString path = QFileDialog::getSaveFileName(
        m_pWindow, QStringLiteral("Save As"), suggested, QString::fromLatin1(kListFileFilter));
    if (!path.isEmpty()) OnSaveDocument(WithListExtension(path));
}
