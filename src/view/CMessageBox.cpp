#include "view/CMessageBox.h"

#include <QMessageBox>
#include <QPointer>
#include <QSet>
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

QMessageBox* MakeBox(QWidget* parent, QString text) {
    // The texts keep their CR LF pairs; a box breaks lines at LF alone and would show the CR.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Sondrel"), text,
                                QMessageBox::Ok, parent);
    box->setIcon(QMessageBox::Warning);
    return box;
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
