#include "widgets/CMessageBox.h"

#include <QEvent>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace {

MessageBoxRecorder& Recorder() {
    static MessageBoxRecorder recorder;
    return recorder;
}

QSet<QString>& OpenTexts() {
    static QSet<QString> texts;
    return texts;
}

// Window managers draw the title in a larger, often bold font, beside an icon and up to three
// buttons; a box sized for a short text alone would cut "Sondrel" short.
int MinimumBoxWidth(const QMessageBox& box) {
    QFont font = box.font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    constexpr int kTitleBarButtons = 4 * 32;
    return QFontMetrics(font).horizontalAdvance(box.windowTitle()) + kTitleBarButtons + 48;
}

QMessageBox* MakeBox(QWidget* parent, QString text) {
    // The texts keep their CR LF pairs; a box breaks lines at LF alone and would show the CR.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Sondrel"), text,
                                QMessageBox::Ok, parent);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);  // texts may carry file and host names
    // The box fixes its own size from its layout when shown, so the width goes in as a spacer.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(new QSpacerItem(MinimumBoxWidth(*box), 0, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

// Holds the boxes asked for before their window first appeared: opened earlier, they would end
// up behind it.
class FirstShowWaiter final : public QObject {
public:
    explicit FirstShowWaiter(QWidget* window) : QObject(window), m_window(window) {
        window->installEventFilter(this);
    }
    ~FirstShowWaiter() override {
        for (const QString& text : m_texts) OpenTexts().remove(text);
    }
    void Add(const QString& text) { m_texts << text; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::Show) {
            m_window->removeEventFilter(this);
            for (const QString& text : m_texts) OpenTexts().remove(text);
            // After the show has run its course: the window is placed and on the screen.
            QTimer::singleShot(0, m_window, [window = m_window, texts = m_texts] {
                for (const QString& text : texts) SondrelMessageBoxNonModal(window, text);
            });
            m_texts.clear();
            deleteLater();
        }
        return false;
    }

private:
    QWidget* m_window;
    QStringList m_texts;
};

// A window that has been neither shown nor hidden yet: one being set up.
bool NotShownYet(const QWidget* window) {
    return !window->isVisible() && !window->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

void WaitForFirstShow(QWidget* window, const QString& text) {
    FirstShowWaiter* waiter = nullptr;
    for (QObject* child : window->children()) {
        if (!waiter) waiter = dynamic_cast<FirstShowWaiter*>(child);
    }
    if (waiter == nullptr) waiter = new FirstShowWaiter(window);
    waiter->Add(text);
    OpenTexts().insert(text);
}

}  // namespace

void SetMessageBoxRecorder(MessageBoxRecorder recorder) { Recorder() = std::move(recorder); }

void SondrelMessageBox(QWidget* parent, const QString& text) {
    if (Recorder()) {
        Recorder()(text);
        return;
    }
    QMessageBox* box = MakeBox(parent, text);
    box->exec();
    delete box;
}

void SondrelMessageBoxNonModal(QWidget* parent, const QString& text) {
    if (OpenTexts().contains(text)) return;
    if (parent != nullptr && NotShownYet(parent->window())) {
        WaitForFirstShow(parent->window(), text);
        return;
    }
    if (Recorder()) {
        Recorder()(text);
        return;
    }
    QMessageBox* box = MakeBox(parent, text);
    box->setWindowModality(Qt::NonModal);
    OpenTexts().insert(text);
    // Closed by its button, or gone with its parent window: either way once.
    auto open = std::make_shared<bool>(true);
    auto closed = [open, text] {
        if (!*open) return;
        *open = false;
        OpenTexts().remove(text);
    };
    QObject::connect(box, &QDialog::finished, box, [box, closed] {
        closed();
        box->deleteLater();
    });
    QObject::connect(box, &QObject::destroyed, closed);
    box->show();
}

int OpenNonModalBoxCount() { return static_cast<int>(OpenTexts().size()); }
