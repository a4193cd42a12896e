#include "view/CMessageBox.h"

#include <QMessageBox>
#include <QPointer>
#include <QSet>

namespace {

MessageBoxRecorder& Recorder() {
    static MessageBoxRecorder recorder;
    return recorder;
}

QSet<QString>& OpenTexts() {
    static QSet<QString> texts;
    return texts;
}

QMessageBox* MakeBox(QWidget* parent, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Sondrel"), text, QMessageBox::Ok, parent);
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
    box->setAttribute(Qt::WA_DeleteOnClose);
    OpenTexts().insert(text);
    QObject::connect(box, &QObject::destroyed, [text] { OpenTexts().remove(text); });
    box->show();
}

int OpenNonModalBoxCount() { return static_cast<int>(OpenTexts().size()); }
