#include "widgets/CDialogLayout.h"

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHelpEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace {

int MulDivRounded(int value, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

// Room a control needs to show its fixed text whole; 0 for controls without one.
int NeededWidth(const QWidget* control) {
    const QFontMetrics metrics(control->font());
    if (qobject_cast<const CFieldLabel*>(control) != nullptr) {
        return 0;  // a field looks after its own overflow
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text().isEmpty() ? 0 : label->sizeHint().width();
    }
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        return metrics.horizontalAdvance(button->text()) + 2 * metrics.averageCharWidth();
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(control)) {
        return box->title().isEmpty()
                   ? 0
                   : metrics.horizontalAdvance(box->title()) + 2 * metrics.height();
    }
    return 0;
}

}  // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    // The average letter width is taken over both alphabets and rounded, as the units of a
    // dialog template are defined.
    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    m_baseY = metrics.height();
}

QRect CDialogUnits::ToPixels(const QRect& units) const {
    const int left = MulDivRounded(units.x(), m_baseX, 4);
    const int top = MulDivRounded(units.y(), m_baseY, 8);
    const int right = MulDivRounded(units.x() + units.width(), m_baseX, 4);
    const int bottom = MulDivRounded(units.y() + units.height(), m_baseY, 8);
    return QRect(left, top, right - left, bottom - top);
}

QSize CDialogUnits::ToPixels(const QSize& units) const {
    return ToPixels(QRect(QPoint(0, 0), units)).size();
}

void SetGroupBoxFrame(QGroupBox* box, const QRect& pixels) {
    box->setGeometry(pixels);
    // The title is drawn over the frame's top line, which runs through its middle, the way
    // such dialogs were drawn; left to the style, the title would sit above the frame and
    // push the frame onto the controls inside it. Boxes without a title get the same frame,
    // from their top edge.
    const int lineHeight = box->fontMetrics().height();
    const int frameTop = box->title().isEmpty() ? 0 : lineHeight / 2;
    box->setStyleSheet(
        QStringLiteral("QGroupBox { margin-top: %1px; border: 1px solid palette(mid);"
                       " border-radius: 2px; }"
                       "QGroupBox::title { subcontrol-origin: margin;"
                       " subcontrol-position: top left; left: %2px;"
                       " padding: 0px 2px; background-color: palette(window); }")
            .arg(frameTop)
            .arg(lineHeight / 2));
}

double FitFixedTexts(QWidget* dialog) {
    const QList<QWidget*> controls = dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    double grow = 1.0;
    for (const QWidget* control : controls) {
        const int needed = NeededWidth(control);
        if (needed > 0 && control->width() > 0) {
            grow = std::max(grow, static_cast<double>(needed) / control->width());
        }
    }
    if (grow <= 1.0) {
        return 1.0;
    }
    const auto scaled = [grow](int v) { return static_cast<int>(std::ceil(v * grow)); };
    for (QWidget* control : controls) {
        const QRect g = control->geometry();
        control->setGeometry(scaled(g.x()), g.y(), scaled(g.width()), g.height());
    }
    dialog->setFixedWidth(scaled(dialog->width()));
    return grow;
}

namespace {

bool IsCut(const QLabel* label) {
    return label->fontMetrics().horizontalAdvance(label->text()) > label->contentsRect().width();
}

}  // namespace

void CFieldLabel::paintEvent(QPaintEvent* event) {
    if (!IsCut(this)) {
        QLabel::paintEvent(event);
        return;
    }
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    QPainter painter(this);
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), shown, foregroundRole());
}

bool CFieldLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        if (IsCut(this)) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QLabel::event(event);
}
