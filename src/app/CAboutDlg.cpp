#include "app/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent, const std::filesystem::path& aboutFile) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Sondrel"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/sondrel-48.png")).pixmap(48, 48));
    auto* version = new QLabel(QStringLiteral("Sondrel Version 1.0"), this);
    auto* head = new QHBoxLayout;
    head->addWidget(icon);
    head->addSpacing(12);
    head->addWidget(version, 1);

    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFile file(QString::fromStdString(aboutFile.string()));
    if (file.open(QIODevice::ReadOnly)) m_text->setPlainText(QString::fromUtf8(file.readAll()));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(m_text, 1);
    layout->addWidget(buttons);
    resize(520, 380);
}
