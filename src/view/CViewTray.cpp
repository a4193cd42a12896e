#include "view/CViewTray.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

#include "widgets/Commands.h"

using namespace sondrel;

namespace {

QIcon IconSet(const QString& name) {
    QIcon icon;
    for (int s : {16, 22, 32, 48, 64})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(s));
    return icon;
}

}  // namespace

CViewTray::CViewTray(QWidget* owner, bool useTray, Trigger trigger,
                     std::function<void()> aboutToShow, std::function<void()> doubleClicked)
    : QObject(owner),
      m_hIconRunning(IconSet(QStringLiteral("tray-running"))),
      m_hIconStopped(IconSet(QStringLiteral("tray-stopped"))) {
    m_trayMenu = new QMenu(owner);
    QAction* exitAction = m_trayMenu->addAction(QStringLiteral("Exit"));
    m_trayMenu->addSeparator();
    QAction* aboutAction = m_trayMenu->addAction(QStringLiteral("About"));
    m_trayMenu->addSeparator();
    m_trayStop = m_trayMenu->addAction(QStringLiteral("Stop"));
    m_trayStart = m_trayMenu->addAction(QStringLiteral("Start"));
    // Exit removes the tray icon whose menu is still returning from this click: run it after.
    connect(
        exitAction, &QAction::triggered, this, [trigger] { trigger(ID_APP_EXIT); },
        Qt::QueuedConnection);
    connect(aboutAction, &QAction::triggered, this, [trigger] { trigger(ID_APP_ABOUT); });
    connect(m_trayStop, &QAction::triggered, this, [trigger] { trigger(ID_STOP); });
    connect(m_trayStart, &QAction::triggered, this, [trigger] { trigger(ID_START); });
    connect(m_trayMenu, &QMenu::aboutToShow, this, std::move(aboutToShow));

    if (!useTray || !QSystemTrayIcon::isSystemTrayAvailable()) return;
    m_tray = new QSystemTrayIcon(m_hIconRunning, this);
    m_tray->setToolTip(QStringLiteral("Sondrel"));
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [doubleClicked](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) doubleClicked();
            });
    m_tray->show();
}

CViewTray::~CViewTray() { Remove(); }

void CViewTray::ShowRunState(bool stopped) {
    if (m_tray) m_tray->setIcon(stopped ? m_hIconStopped : m_hIconRunning);
    m_trayStart->setEnabled(stopped);
    m_trayStop->setEnabled(!stopped);
}

void CViewTray::Remove() {
    if (m_tray == nullptr) return;
    m_tray->hide();
    delete m_tray;
    m_tray = nullptr;
}
