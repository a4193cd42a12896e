#include "desktop/CHelp.h"

#include <QDesktopServices>
#include <QString>

#include "platform/Paths.h"

QUrl HelpPageUrl() {
    const std::filesystem::path page = sondrel::FindDataFile("help.html");
    // A local-file URL keeps blanks and other special characters of the folder's name intact.
    return QUrl::fromLocalFile(QString::fromStdString(page.string()));
}

void OnHowTo() { QDesktopServices::openUrl(HelpPageUrl()); }
