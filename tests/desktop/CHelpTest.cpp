#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTextDocumentFragment>
#include <map>

#include "desktop/CHelp.h"
#include "input/CAddressDialogs.h"
#include "view/CAppHarness.h"

namespace sondrel::test {
namespace {

// A name as the user reads it: no mnemonic marks, no shortcut.
QString Shown(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&|\\t.*$")));
    return text.trimmed();
}

// The names help.html marks up (class "menu", "dialog" or "button") must be the program's own:
// a renamed command would leave the page pointing at nothing.
TEST(HelpPage, NamesOnlyMenuItemsDialogsAndButtonsTheProgramHas) {
    CAppHarness h;
    ASSERT_TRUE(h.Start());
    CAddAddressDlg add(h.frame());
    CDeleteAddressDlg del(h.frame());
    CAddGroupDlg addGroup(h.frame());
    CDeleteGroupDlg delGroup(h.frame());
    std::map<QString, QSet<QString>> names;
    for (QAction* menu : h.frame()->menuBar()->actions()) {
        for (QAction* item : menu->menu()->actions())
            names["menu"] << Shown(menu->text()) + " \u2192 " + Shown(item->text());
    }
    for (QWidget* w : QApplication::allWidgets()) {
        for (QAction* a : w->actions()) names["menu"] << Shown(a->text());
        if (w->isWindow()) names["dialog"] << w->windowTitle();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) names["button"] << Shown(b->text());
    }

    QFile page(HelpPageUrl().toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
    const QString html = QString::fromUtf8(page.readAll());
    const QRegularExpression marked(QStringLiteral("class=\"(menu|dialog|button)\">([^<]*)<"));
    int count = 0;
    for (const QRegularExpressionMatch& m : marked.globalMatch(html)) {
        ++count;
        const QString name = QTextDocumentFragment::fromHtml(m.captured(2)).toPlainText();
        EXPECT_TRUE(names[m.captured(1)].contains(name.simplified()))
            << m.captured(1).toStdString() << " \"" << name.toStdString() << "\"";
    }
    EXPECT_GE(count, 10) << "the page marks the names it uses";
}

}  // namespace
}  // namespace sondrel::test
