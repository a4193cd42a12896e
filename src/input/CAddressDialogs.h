#pragma once
// The four small modal dialogs of the address commands: one text for adding or deleting a
// single host, a start and an end text for a group. Each command makes a fresh dialog, so
// each opens with empty fields; the members hold the texts once it closes with OK.
#include <QDialog>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

class QLineEdit;
class QPushButton;

// Control ids of the dialogs; the controls carry them as object names ("1004", "IDOK").
inline constexpr int IDC_ADDRESS = 1004;
inline constexpr int IDC_START_IP = 1005;
inline constexpr int IDC_END_IP = 1006;

// A dialog laid out in dialog units of its font, the way the resource describes it.
class CAddressDialog : public QDialog {
    Q_OBJECT

public:
    struct Control {
        enum Kind { GroupBox, Label, Edit, DefaultButton, Button } kind;
        int id;  // 0 for static controls; QDialog::Accepted / Rejected for the buttons
        const char* text;
        QRect rect;  // dialog units
    };
    struct Layout {
        int dialogId;
        const char* caption;
        QSize size;  // dialog units
        std::vector<Control> controls;
    };

    int DialogId() const { return m_nDialogId; }
    QLineEdit* EditControl(int id) const;
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    void accept() override;

protected:
    CAddressDialog(const Layout& layout, QWidget* parent);
    // Copies the controls' texts into the members (true) or the members into the controls.
    virtual void DoDataExchange(bool saveAndValidate) = 0;
    // Called after an edit has gained the focus, the way the edit's notification arrives.
    virtual void OnEditFocus(int id) { (void)id; }

private:
    int m_nDialogId;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Adding or deleting one host: one text, shared by both dialogs.
class CSingleAddressDlg : public CAddressDialog {
    Q_OBJECT

public:
    QString m_strAddress;

protected:
    using CAddressDialog::CAddressDialog;
    void DoDataExchange(bool saveAndValidate) override;
};

// Adding or deleting a range: a start and an end text; End IP is filled from Start IP
// whenever it gains the focus.
class CGroupAddressDlg : public CAddressDialog {
    Q_OBJECT

public:
    QString m_strStartIp;
    QString m_strEndIp;

    // Fills End IP with the start text up to and including its last "." and leaves the
    // caret after it with nothing selected; does nothing when Start IP has no ".".
    void OnSetfocusEndIp();

protected:
    using CAddressDialog::CAddressDialog;
    void DoDataExchange(bool saveAndValidate) override;
    void OnEditFocus(int id) override;
};

class CAddAddressDlg : public CSingleAddressDlg {
    Q_OBJECT

public:
    explicit CAddAddressDlg(QWidget* parent = nullptr);
};

class CDeleteAddressDlg : public CSingleAddressDlg {
    Q_OBJECT

public:
    explicit CDeleteAddressDlg(QWidget* parent = nullptr);
};

class CAddGroupDlg : public CGroupAddressDlg {
    Q_OBJECT

public:
    explicit CAddGroupDlg(QWidget* parent = nullptr);
};

class CDeleteGroupDlg : public CGroupAddressDlg {
    Q_OBJECT

public:
    explicit CDeleteGroupDlg(QWidget* parent = nullptr);
};
