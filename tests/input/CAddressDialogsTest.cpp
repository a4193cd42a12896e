#include "input/CAddressDialogs.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

struct DialogCase {
    std::function<std::unique_ptr<CAddressDialog>()> make;
    int id;
    QString caption;
    QStringList labels;
    QString ok;
    std::vector<int> edits;
};

// The next widget that Tab stops at.
QWidget* NextTabStop(QWidget* from) {
    QWidget* w = from->nextInFocusChain();
    while (w != from && !(w->focusPolicy() & Qt::TabFocus)) w = w->nextInFocusChain();
    return w;
}

std::vector<DialogCase> Dialogs() {
    return {
        {[] { return std::make_unique<CAddAddressDlg>(); }, 130, "Add an IP / domain",
         {"IP address, domain or URL :"}, "Add", {IDC_ADDRESS}},
        {[] { return std::make_unique<CDeleteAddressDlg>(); }, 131, "Delete an address",
         {"IP address, domain or URL :"}, "Delete", {IDC_ADDRESS}},
        {[] { return std::make_unique<CAddGroupDlg>(); }, 132, "Add a group",
         {"Add all IP addresses between  :", "Start IP :", "End IP :"}, "Add",
         {IDC_START_IP, IDC_END_IP}},
        {[] { return std::make_unique<CDeleteGroupDlg>(); }, 133, "delete a group",
         {"Delete all addresses between :", "Start IP:", "End IP:"}, "Delete",
         {IDC_START_IP, IDC_END_IP}},
    };
}

TEST(CAddressDialogsTest, CaptionsLabelsButtonsAndTabOrder) {
    for (const DialogCase& c : Dialogs()) {
        auto dialog = c.make();
        EXPECT_EQ(dialog->DialogId(), c.id);
        EXPECT_EQ(dialog->windowTitle(), c.caption);
        EXPECT_TRUE(dialog->isModal()) << c.id;
        EXPECT_FALSE(dialog->windowFlags() & Qt::WindowContextHelpButtonHint) << c.id;
        QStringList labels;
        for (QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
        EXPECT_EQ(labels, c.labels) << c.id;
        ASSERT_EQ(dialog->findChildren<QGroupBox*>().size(), 1) << c.id;
        EXPECT_TRUE(dialog->findChildren<QGroupBox*>().front()->title().isEmpty());
        ASSERT_NE(dialog->OkButton(), nullptr);
        EXPECT_EQ(dialog->OkButton()->text(), c.ok) << c.id;
        EXPECT_TRUE(dialog->OkButton()->isDefault()) << c.id;
        EXPECT_EQ(dialog->CancelButton()->text(), "Cancel") << c.id;
        EXPECT_FALSE(dialog->CancelButton()->isDefault()) << c.id;
        // Edits first, then OK, then Cancel, each reached by Tab from the one before.
        std::vector<QWidget*> chain;
        for (int id : c.edits) {
            QLineEdit* edit = dialog->EditControl(id);
            ASSERT_NE(edit, nullptr) << id;
            EXPECT_TRUE(edit->text().isEmpty()) << id;
            chain.push_back(edit);
        }
        chain.push_back(dialog->OkButton());
        chain.push_back(dialog->CancelButton());
        for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
            EXPECT_EQ(NextTabStop(chain[i]), chain[i + 1]) << c.id << " stop " << i;
        }
    }
}

TEST(CAddressDialogsTest, OkCopiesTheTextsCancelLeavesThemEmpty) {
    {
        CAddAddressDlg dialog;
        dialog.EditControl(IDC_ADDRESS)->setText(" www.Example.com/x ");
        dialog.OkButton()->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.m_strAddress, " www.Example.com/x ");
    }
    {
        CDeleteGroupDlg dialog;
        dialog.EditControl(IDC_START_IP)->setText("10.0.0.1");
        dialog.EditControl(IDC_END_IP)->setText("10.0.0.9");
        dialog.CancelButton()->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_TRUE(dialog.m_strStartIp.isEmpty());
        EXPECT_TRUE(dialog.m_strEndIp.isEmpty());
    }
    {
        CAddGroupDlg dialog;
        dialog.EditControl(IDC_START_IP)->setText("10.0.0.1");
        dialog.EditControl(IDC_END_IP)->setText("10.0.0.9");
        dialog.OkButton()->click();
        EXPECT_EQ(dialog.m_strStartIp, "10.0.0.1");
        EXPECT_EQ(dialog.m_strEndIp, "10.0.0.9");
    }
}

// Gives the end field the focus the way the user would, and lets the notification run.
void FocusEnd(CGroupAddressDlg& dialog, Qt::FocusReason reason) {
    dialog.EditControl(IDC_START_IP)->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    dialog.EditControl(IDC_END_IP)->setFocus(reason);
    QApplication::processEvents();
}

TEST(CAddressDialogsTest, EndIpIsFilledFromStartIpWheneverItGainsTheFocus) {
    struct Case {
        QString start;
        QString endBefore;
        QString endAfter;
    };
    const Case cases[] = {
        {"192.168.1.10", "", "192.168.1."},
        {"192.168.1.10", "10.0.0.20", "192.168.1."},
        {"192.168.1.", "", "192.168.1."},
        {"", "kept", "kept"},
        {"nodots", "kept", "kept"},
    };
    for (auto make : {std::function<std::unique_ptr<CGroupAddressDlg>()>(
                          [] { return std::make_unique<CAddGroupDlg>(); }),
                      std::function<std::unique_ptr<CGroupAddressDlg>()>(
                          [] { return std::make_unique<CDeleteGroupDlg>(); })}) {
        for (const Case& c : cases) {
            for (Qt::FocusReason reason : {Qt::TabFocusReason, Qt::MouseFocusReason}) {
                auto dialog = make();
                dialog->show();
                dialog->activateWindow();
                QApplication::processEvents();
                dialog->EditControl(IDC_START_IP)->setText(c.start);
                QLineEdit* end = dialog->EditControl(IDC_END_IP);
                end->setText(c.endBefore);
                FocusEnd(*dialog, reason);
                ASSERT_TRUE(end->hasFocus()) << c.start.toStdString();
                EXPECT_EQ(end->text(), c.endAfter) << c.start.toStdString() << " reason " << reason;
                if (c.endAfter != c.endBefore || !c.endBefore.isEmpty()) {
                    if (c.endAfter == "192.168.1.") {
                        // Ready for the last number: nothing selected, caret at the end.
                        EXPECT_FALSE(end->hasSelectedText()) << reason;
                        EXPECT_EQ(end->cursorPosition(), end->text().size()) << reason;
                    }
                }
            }
        }
    }
}

TEST(CAddressDialogsTest, TypingAfterTheFillAndComingBackResetsTheEnd) {
    CAddGroupDlg dialog;
    dialog.show();
    dialog.activateWindow();
    QApplication::processEvents();
    dialog.EditControl(IDC_START_IP)->setText("192.168.1.10");
    FocusEnd(dialog, Qt::TabFocusReason);
    QLineEdit* end = dialog.EditControl(IDC_END_IP);
    end->insert("20");
    EXPECT_EQ(end->text(), "192.168.1.20");
    FocusEnd(dialog, Qt::MouseFocusReason);
    EXPECT_EQ(end->text(), "192.168.1.");
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.m_strEndIp, "192.168.1.");
}

}  // namespace
