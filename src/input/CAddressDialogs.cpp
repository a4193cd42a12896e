#include "input/CAddressDialogs.h"

#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "input/AddressGroups.h"
#include "widgets/CDialogLayout.h"

namespace {

using Control = CAddressDialog::Control;

// An edit that reports gaining the focus after it has taken it, as the edit control's
// notification does; QLineEdit's own Tab handling (select all) has run by then.
class CNotifyingEdit : public QLineEdit {
public:
    CNotifyingEdit(QWidget* parent, std::function<void()> onFocus)
        : QLineEdit(parent), m_onFocus(std::move(onFocus)) {}

protected:
    void focusInEvent(QFocusEvent* e) override {
        QLineEdit::focusInEvent(e);
        if (m_onFocus) m_onFocus();
    }

private:
    std::function<void()> m_onFocus;
};

QString IdName(int id) {
    if (id == QDialog::Accepted) return QStringLiteral("IDOK");
    if (id == QDialog::Rejected) return QStringLiteral("IDCANCEL");
    return QString::number(id);
}

}  // namespace

CAddressDialog::CAddressDialog(const Layout& layout, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_nDialogId(layout.dialogId) {
    setWindowTitle(QString::fromLatin1(layout.caption));
    setModal(true);
    setFont(QFont(QStringLiteral("Times New Roman"), 9));
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(layout.size));

    // Created in the order of the resource, which is also the tab order.
    for (const Control& c : layout.controls) {
        const QRect rect = units.ToPixels(c.rect);
        QWidget* widget = nullptr;
        const QString text = QString::fromLatin1(c.text);
        switch (c.kind) {
            case Control::GroupBox: {
                auto* box = new QGroupBox(text, this);
                SetGroupBoxFrame(box, rect);
                widget = box;
                break;
            }
            case Control::Label:
                widget = new QLabel(text, this);
                break;
            case Control::Edit: {
                const int id = c.id;
                widget = new CNotifyingEdit(this, [this, id] { OnEditFocus(id); });
                break;
            }
            case Control::DefaultButton:
            case Control::Button: {
                auto* button = new QPushButton(text, this);
                const bool ok = c.kind == Control::DefaultButton;
                button->setDefault(ok);
                button->setAutoDefault(ok);
                connect(button, &QPushButton::clicked, this,
                        ok ? &QDialog::accept : &QDialog::reject);
                (ok ? m_ok : m_cancel) = button;
                widget = button;
                break;
            }
        }
        if (c.id != 0) widget->setObjectName(IdName(c.id));
        widget->setGeometry(rect);
    }
    // The face the desktop puts in place of the named one is often wider.
    FitFixedTexts(this);
}

QLineEdit* CAddressDialog::EditControl(int id) const {
    return findChild<QLineEdit*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CAddressDialog::accept() {
    DoDataExchange(true);
    QDialog::accept();
}

void CSingleAddressDlg::DoDataExchange(bool saveAndValidate) {
    QLineEdit* edit = EditControl(IDC_ADDRESS);
    if (saveAndValidate) {
        m_strAddress = edit->text();
    } else {
        edit->setText(m_strAddress);
    }
}

void CGroupAddressDlg::DoDataExchange(bool saveAndValidate) {
    QLineEdit* start = EditControl(IDC_START_IP);
    QLineEdit* end = EditControl(IDC_END_IP);
    if (saveAndValidate) {
        m_strStartIp = start->text();
        m_strEndIp = end->text();
    } else {
        start->setText(m_strStartIp);
        end->setText(m_strEndIp);
    }
}

void CGroupAddressDlg::OnEditFocus(int id) {
    if (id == IDC_END_IP) OnSetfocusEndIp();
}

void CGroupAddressDlg::OnSetfocusEndIp() {
    const std::string prefill =
        sondrel::EndFieldPrefill(EditControl(IDC_START_IP)->text().toStdString());
    if (prefill.empty()) return;
    QLineEdit* end = EditControl(IDC_END_IP);
    end->setText(QString::fromStdString(prefill));
    end->deselect();
    end->end(false);
}

CAddAddressDlg::CAddAddressDlg(QWidget* parent)
    : CSingleAddressDlg({130,
                         "Add an IP / domain",
                         {175, 69},
                         {{Control::GroupBox, 0, "", {7, 0, 161, 40}},
                          {Control::Label, 0, "IP address, domain or URL :", {15, 11, 80, 8}},
                          {Control::Edit, IDC_ADDRESS, "", {15, 22, 145, 14}},
                          {Control::DefaultButton, QDialog::Accepted, "Add", {51, 45, 28, 14}},
                          {Control::Button, QDialog::Rejected, "Cancel", {95, 45, 29, 14}}}},
                        parent) {}

CDeleteAddressDlg::CDeleteAddressDlg(QWidget* parent)
    : CSingleAddressDlg({131,
                         "Delete an address",
                         {183, 68},
                         {{Control::GroupBox, 0, "", {7, 2, 169, 40}},
                          {Control::Label, 0, "IP address, domain or URL :", {12, 13, 82, 8}},
                          {Control::Edit, IDC_ADDRESS, "", {15, 24, 154, 14}},
                          {Control::DefaultButton, QDialog::Accepted, "Delete", {53, 45, 32, 14}},
                          {Control::Button, QDialog::Rejected, "Cancel", {104, 45, 34, 14}}}},
                        parent) {}

CAddGroupDlg::CAddGroupDlg(QWidget* parent)
    : CGroupAddressDlg({132,
                        "Add a group",
                        {149, 100},
                        {{Control::GroupBox, 0, "", {5, 5, 135, 70}},
                         {Control::Label, 0, "Add all IP addresses between  :", {15, 13, 103, 8}},
                         {Control::Label, 0, "Start IP :", {15, 31, 29, 8}},
                         {Control::Edit, IDC_START_IP, "", {50, 28, 84, 14}},
                         {Control::Label, 0, "End IP :", {15, 55, 23, 8}},
                         {Control::Edit, IDC_END_IP, "", {50, 52, 84, 14}},
                         {Control::DefaultButton, QDialog::Accepted, "Add", {37, 79, 31, 14}},
                         {Control::Button, QDialog::Rejected, "Cancel", {89, 79, 31, 14}}}},
                       parent) {}

CDeleteGroupDlg::CDeleteGroupDlg(QWidget* parent)
    : CGroupAddressDlg({133,
                        "delete a group",
                        {155, 100},
                        {{Control::GroupBox, 0, "", {5, 5, 140, 70}},
                         {Control::Label, 0, "Delete all addresses between :", {15, 14, 91, 8}},
                         {Control::Label, 0, "Start IP:", {15, 34, 26, 8}},
                         {Control::Edit, IDC_START_IP, "", {55, 33, 84, 14}},
                         {Control::Label, 0, "End IP:", {15, 54, 25, 8}},
                         {Control::Edit, IDC_END_IP, "", {55, 53, 84, 14}},
                         {Control::DefaultButton, QDialog::Accepted, "Delete", {35, 79, 34, 14}},
                         {Control::Button, QDialog::Rejected, "Cancel", {89, 79, 33, 14}}}},
                       parent) {}
