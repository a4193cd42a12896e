#pragma once
// Dialogs drawn in dialog units of a named face and shown with whatever face the desktop
// substitutes for it. The units come from the face actually used, and where a fixed text
// still would not fit, the layout grows rather than cut the text.
#include <QLabel>
#include <QRect>

class QFont;
class QGroupBox;
class QWidget;

// Dialog units of one font: a quarter of its average letter width across, an eighth of its
// line height down.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    // Each edge is mapped on its own and rounded, so neighbouring controls stay flush.
    QRect ToPixels(const QRect& units) const;
    QSize ToPixels(const QSize& units) const;

private:
    int m_baseX;
    int m_baseY;
};

// A group box whose title sits on the top line of its frame, the frame filling the given
// rectangle from half a title height down.
void SetGroupBoxFrame(QGroupBox* box, const QRect& pixels);

// Where a fixed text (a label holding text now, a button, a group box title) would be cut,
// grows every horizontal measure of the dialog's own controls and the dialog's fixed width
// in one proportion, so the layout keeps its shape. Returns the proportion (1 when all fit).
double FitFixedTexts(QWidget* dialog);

// A field whose text may outgrow its place: it stays whole in text(), is drawn cut with an
// ellipsis and is shown whole as its tooltip.
class CFieldLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
