#include "view/CViewTray.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QToolBar>
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

CViewTray::CViewTray(QWidget* owner, QToolBar* toolBar, bool useTray, Trigger trigger,
                     std::function<void()> aboutToShow, std::function<void()> doubleClicked)
    : QObject(owner),
      m_hIconRunning(IconSet(QStringLiteral("tray-running"))),
      m_hIconStopped(IconSet(QStringLiteral("tray-stopped"))) {
    if (toolBar) CreateIndicator(toolBar);
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

void CViewTray::CreateIndicator(QToolBar* bar) {
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

void CViewTray::ShowRunStatePicture(bool stopped) {
    if (m_stateIndicator == nullptr) return;
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
    m_stateIndicator->setToolTip(stopped ? QStringLiteral("Stopped") : QStringLiteral("Pinging"));
}
