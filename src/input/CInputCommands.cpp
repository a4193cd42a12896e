#include "input/CInputCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QStatusBar>
#include <atomic>
#include <memory>
#include <thread>

#include "app/CMainFrame.h"
#include "input/CAddressDialogs.h"
#include "input/HostEditing.h"
#include "input/UrlResolver.h"
#include "view/CCorvelView.h"
#include "view/CHostListModel.h"
#include "view/CMessageBox.h"
#include "view/CViewMessage.h"
#include "view/Messages.h"

namespace {

// Shows a fresh dialog modally and hands back its members when it closed with OK. The
// dialog lives on the heap and is gone before any lookup starts: a child of the view must
// never sit on the stack while the view might be destroyed under it.
template <typename Dialog, typename Read>
bool AskFor(const CInputContext& ctx, Read read) {
    QPointer<Dialog> dialog(new Dialog(ctx.parent));
    const int result = ctx.execDialog ? ctx.execDialog(*dialog) : dialog->exec();
    if (!dialog) return false;
    const bool accepted = result == QDialog::Accepted;
    if (accepted) read(*dialog);
    delete dialog.data();
    return accepted;
}

// The texts keep their CR LF pairs; a box breaks lines at LF alone.
void Show(const CInputContext& ctx, const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    SondrelMessageBox(ctx.parent, shown);
}

void Apply(const CInputContext& ctx, const sondrel::EditOutcome& outcome, bool adding) {
    for (const uint32_t address : outcome.addresses) {
        (adding ? ctx.postAdded : ctx.postRemoved)(address);
    }
    for (const std::string& message : outcome.messages) {
        Show(ctx, message);
    }
}

sondrel::Resolver& ResolverOf(const CInputContext& ctx) {
    return ctx.resolver != nullptr ? *ctx.resolver : sondrel::TheSystemResolver();
}

sondrel::UrlHostResolver UrlResolutionOf(const CInputContext& ctx) {
    if (ctx.resolveUrlHost) return ctx.resolveUrlHost;
    return [](const std::string& url) { return sondrel::ResolveUrlHost(url); };
}

QString LookingUp(const QString& text) { return QStringLiteral("Looking up %1 ...").arg(text); }

}  // namespace

namespace CInputCommands {

bool RunWhileBusy(const CInputContext& ctx, const QString& status,
                  const std::function<void()>& work) {
    QPointer<QWidget> parent(ctx.parent);
    const bool hadParent = ctx.parent != nullptr;
    if (ctx.setStatus) ctx.setStatus(status);
    QApplication::setOverrideCursor(Qt::BusyCursor);

    auto done = std::make_shared<std::atomic<bool>>(false);
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    std::thread worker([&work, done, waiting] {
        work();
        done->store(true);
        // Wakes the loop below; a loop that has already gone ignores it.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [waiting] {
                if (waiting) waiting->quit();
            },
            Qt::QueuedConnection);
    });
    if (!done->load()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    worker.join();

    QApplication::restoreOverrideCursor();
    if (hadParent && !parent) return false;
    if (ctx.setStatus) ctx.setStatus(QString());
    return true;
}

void AddAddress(const CInputContext& ctx) {
    QString typed;
    if (!AskFor<CAddAddressDlg>(ctx, [&](CAddAddressDlg& d) { typed = d.m_strAddress; }) ||
        typed.isEmpty()) {
        return;
    }
    const std::string text = typed.toStdString();
    sondrel::Resolver& resolver = ResolverOf(ctx);
    const sondrel::UrlHostResolver resolveUrlHost = UrlResolutionOf(ctx);
    sondrel::TypedAddress parsed;
    const bool alive = RunWhileBusy(ctx, LookingUp(typed), [&] {
        parsed = sondrel::ParseTypedAddress(text, resolver, resolveUrlHost);
    });
    if (!alive) return;
    // The duplicate rule is judged now, on the window thread, against the table as it is.
    Apply(ctx, sondrel::AddTypedHost(*ctx.hosts, parsed), true);
}

void AddGroup(const CInputContext& ctx) {
    std::string start, end;
    if (!AskFor<CAddGroupDlg>(ctx, [&](CAddGroupDlg& d) {
            start = d.m_strStartIp.toStdString();
            end = d.m_strEndIp.toStdString();
        })) {
        return;
    }
    Apply(ctx, sondrel::AddGroup(*ctx.hosts, start, end), true);
}

void DeleteAddress(const CInputContext& ctx) {
    QString typed;
    if (!AskFor<CDeleteAddressDlg>(ctx, [&](CDeleteAddressDlg& d) { typed = d.m_strAddress; }) ||
        typed.isEmpty()) {
        return;
    }
    const std::string text = typed.toStdString();
    sondrel::Resolver& resolver = ResolverOf(ctx);
    std::optional<uint32_t> converted;
    const bool alive = RunWhileBusy(
        ctx, LookingUp(typed), [&] { converted = sondrel::ConvertDeleteText(text, resolver); });
    if (!alive) return;
    Apply(ctx, sondrel::DeleteTypedHost(*ctx.hosts, converted), false);
}

void DeleteGroup(const CInputContext& ctx) {
    std::string start, end;
    if (!AskFor<CDeleteGroupDlg>(ctx, [&](CDeleteGroupDlg& d) {
            start = d.m_strStartIp.toStdString();
            end = d.m_strEndIp.toStdString();
        })) {
        return;
    }
    Apply(ctx, sondrel::DeleteGroup(*ctx.hosts, start, end), false);
}

void DeleteSelected(const CInputContext& ctx) {
    const std::vector<std::string> rows = ctx.selectedRowTexts();
    for (const uint32_t address : sondrel::HostsForSelectedRows(*ctx.hosts, rows)) {
        ctx.postRemoved(address);
    }
}

void ClearAll(const CInputContext& ctx) { ctx.clearAll(); }

void ImportFromFile(const CInputContext& ctx) {
    const QString path = ctx.chooseImportFile
                             ? ctx.chooseImportFile()
                             : QFileDialog::getOpenFileName(ctx.parent, QString(), QString(),
                                                            QString::fromLatin1(kListFileFilter));
    if (path.isEmpty()) return;
    Apply(ctx, sondrel::ImportHosts(*ctx.hosts, path.toStdString()), true);
}

void CopyAddress(const CInputContext& ctx) {
    const std::vector<std::string> rows = ctx.selectedRowTexts();
    if (rows.empty()) return;
    const std::optional<std::string> text = sondrel::ClipboardTextForRow(*ctx.hosts, rows.front());
    if (!text) return;
    QGuiApplication::clipboard()->setText(QString::fromStdString(*text));
}

bool IsDeleteSelectedKey(int qtKey, std::size_t selectedRows) {
    return qtKey == Qt::Key_Delete && selectedRows > 0;
}

void FillPopupMenu(QMenu& menu, const std::vector<sondrel::MenuItem>& items,
                   const std::function<void(int)>& onCommand) {
    menu.clear();
    for (const sondrel::MenuItem& item : items) {
        if (item.IsSeparator()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromLatin1(item.text));
        action->setEnabled(item.enabled);
        action->setData(item.id);
        const int id = item.id;
        QObject::connect(action, &QAction::triggered, &menu, [onCommand, id] { onCommand(id); });
    }
}

}  // namespace CInputCommands

CInputContext InputContextOf(CCorvelView& view) {
    CInputContext ctx;
    ctx.parent = &view;
    ctx.hosts = &view.Hosts();
    ctx.postAdded = [&view](uint32_t address) {
        PostViewMessage(&view, sondrel::WM_LIST_ADDED, address);
    };
    ctx.postRemoved = [&view](uint32_t address) { view.RemoveHost(address); };
    ctx.selectedRowTexts = [&view] {
        std::vector<std::string> texts;
        for (const int row : view.SelectedRows()) texts.push_back(view.Rows()->Text(row, 0));
        return texts;
    };
    ctx.clearAll = [&view] { view.ClearAllHosts(); };
    ctx.setStatus = [&view](const QString& text) {
        CMainFrame* frame = view.Frame();
        if (frame == nullptr) return;
        if (text.isEmpty()) {
            frame->statusBar()->clearMessage();
        } else {
            frame->statusBar()->showMessage(text);
        }
    };
    return ctx;
}
