#pragma once
// The about box: the program's icon, "Sondrel Version 1.0" and the text of about.txt in a
// read-only, scrollable field.
#include <QDialog>
#include <filesystem>

class QPlainTextEdit;

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    // aboutFile: the text to show; a missing or unreadable file leaves the field empty.
    explicit CAboutDlg(QWidget* parent, const std::filesystem::path& aboutFile);
    QPlainTextEdit* TextField() const { return m_text; }

private:
    QPlainTextEdit* m_text = nullptr;
};
