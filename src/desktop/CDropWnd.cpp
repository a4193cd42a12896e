#include "desktop/CDropWnd.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QWindow>

namespace {

// 16 x 16 dialog units of the system font: 32 x 32 pixels.
constexpr int kSide = 32;
constexpr int kFromScreenEdge = 100;

struct MenuEntry {
    int id;  // 0: separator
    const char* text;
};

constexpr MenuEntry kMenu[] = {
    {CDropWnd::kAutoPopup, "Auto popup"},
    {0, nullptr},
    {CDropWnd::kOpen, "Open ..."},
    {CDropWnd::kImport, "Import addresses from ..."},
    {0, nullptr},
    {CDropWnd::kAddAddress, "Add an address ..."},
    {CDropWnd::kAddGroup, "Add a group of ip addresses ..."},
    {CDropWnd::kDeleteAddress, "Delete an address ..."},
    {CDropWnd::kDeleteGroup, "Delete a group of ip addresses ..."},
    {CDropWnd::kClearList, "Clear the list"},
    {0, nullptr},
    {CDropWnd::kExit, "Exit"},
};

QIcon ProgramIcon(const QWidget* widget, const QWidget* mainWnd) {
    if (mainWnd != nullptr && !mainWnd->windowIcon().isNull()) {
        return mainWnd->windowIcon();
    }
    const QIcon resource(":/icons/sondrel-32.png");
    if (!resource.availableSizes().isEmpty()) {
        return resource;
    }
    return widget->style()->standardIcon(QStyle::SP_ComputerIcon);
}

}  // namespace

CDropWnd::CDropWnd()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("CDropWnd");
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kSide, kSide);
    setToolTip("Sondrel");
    BuildMenu();
}

CDropWnd::~CDropWnd() = default;

void CDropWnd::BuildMenu() {
    for (const MenuEntry& entry : kMenu) {
        if (entry.id == 0) {
            m_menu.addSeparator();
            continue;
        }
        QAction* own = m_menu.addAction(QString::fromLatin1(entry.text));
        own->setCheckable(entry.id == kAutoPopup);
        const int id = entry.id;
        connect(own, &QAction::triggered, this, [this, id] {
            QAction* target = m_commands ? m_commands(id) : nullptr;
            if (target != nullptr && target->isEnabled()) {
                target->trigger();
            }
            RefreshMenuStates();
        });
        m_items.push_back({entry.id, own});
    }
    RefreshMenuStates();
    connect(&m_menu, &QMenu::aboutToShow, this, [this] {
        if (m_update) {
            m_update();
        }
        RefreshMenuStates();
    });
}

void CDropWnd::RefreshMenuStates() {
    for (const Item& item : m_items) {
        QAction* target = m_commands ? m_commands(item.id) : nullptr;
        item.own->setEnabled(target != nullptr && target->isEnabled());
        if (item.own->isCheckable()) {
            item.own->setChecked(target != nullptr && target->isChecked());
        }
    }
}

void CDropWnd::SetMainWindow(QWidget* mainWnd, CommandLookup commands, UpdateCommands update) {
    m_hMainWnd = mainWnd;
    m_commands = std::move(commands);
    m_update = std::move(update);
    RefreshMenuStates();
}

void CDropWnd::Create() {
    setWindowIcon(ProgramIcon(this, m_hMainWnd.data()));
    Place();
}

void CDropWnd::Place() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect whole = screen->geometry();
        move(whole.x() + whole.width() - kFromScreenEdge,
             whole.y() + whole.height() - kFromScreenEdge);
    }
    show();
    raise();
}

void CDropWnd::ToggleMainWindow() {
    QWidget* main = m_hMainWnd.data();
    if (main == nullptr) {
        return;
    }
    if (main->isMinimized()) {
        main->showNormal();
        main->activateWindow();
        return;
    }
    const bool wasVisible = main->isVisible();
    main->showNormal();
    if (wasVisible) {
        main->hide();
    } else {
        main->raise();
        main->activateWindow();
    }
}

void CDropWnd::PopupMenu(const QPoint& globalPos) { m_menu.popup(globalPos); }

void CDropWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QIcon icon = windowIcon().isNull() ? ProgramIcon(this, m_hMainWnd.data()) : windowIcon();
    icon.paint(&painter, rect().adjusted(1, 1, -1, -1), Qt::AlignCenter);
    // The thin border of a small tool window.
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CDropWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        PopupMenu(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        m_movingByHand = false;
        m_pressPos = event->position().toPoint();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CDropWnd::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (m_movingByHand) {
        move(event->globalPosition().toPoint() - m_pressPos);
        return;
    }
    if ((event->position().toPoint() - m_pressPos).manhattanLength() <
        QApplication::startDragDistance()) {
        return;
    }
    // The window system moves the window (and draws whatever feedback it likes); where it
    // will not, the window follows the mouse itself.
    QWindow* window = windowHandle();
    if (window != nullptr && window->startSystemMove()) {
        m_pressed = false;
        return;
    }
    m_movingByHand = true;
    move(event->globalPosition().toPoint() - m_pressPos);
}

void CDropWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        m_movingByHand = false;
    }
    QWidget::mouseReleaseEvent(event);
}

void CDropWnd::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        ToggleMainWindow();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}
