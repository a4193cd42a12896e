#include "input/CInputCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QStatusBar>
#include <memory>

#include "input/CAddressDialogs.h"
#include "input/CBackgroundTask.h"
#include "input/HostEditing.h"
#include "input/UrlResolver.h"
#include "model/ListFile.h"
#include "widgets/CMessageBox.h"

namespace {

int g_pendingLookups = 0;  // window thread only

using Pending = std::shared_ptr<CInputCommands::CPendingLookup>;

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

// A box may run a loop in which the parent is destroyed; the boxes after it are dropped.
bool Alive(const CInputContext& ctx, const QPointer<QWidget>& parent) {
    return ctx.parent == nullptr || parent;
}

// The texts keep their CR LF pairs; a box breaks lines at LF alone.
bool Show(const CInputContext& ctx, const std::vector<std::string>& texts) {
    const QPointer<QWidget> parent(ctx.parent);
    for (const std::string& text : texts) {
        if (!Alive(ctx, parent)) return false;
        QString shown = QString::fromStdString(text);
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        SondrelMessageBox(ctx.parent, shown);
    }
    return Alive(ctx, parent);
}

void Apply(const CInputContext& ctx, const sondrel::EditOutcome& outcome, bool adding) {
    for (const uint32_t address : outcome.addresses) {
        (adding ? ctx.postAdded : ctx.postRemoved)(address);
    }
    Show(ctx, outcome.messages);
}

sondrel::Resolver& ResolverOf(const CInputContext& ctx) {
    return ctx.resolver != nullptr ? *ctx.resolver : sondrel::TheSystemResolver();
}

sondrel::UrlHostResolver UrlResolutionOf(const CInputContext& ctx) {
    if (ctx.resolveUrlHost) return ctx.resolveUrlHost;
    return [](const std::string& url) { return sondrel::ResolveUrlHost(url); };
}

QString LookingUp(const QString& text) { return QStringLiteral("Looking up %1 ...").arg(text); }

Pending BeginLookup(const CInputContext& ctx, const QString& typed) {
    auto pending = std::make_shared<CInputCommands::CPendingLookup>();
    if (ctx.setStatus) ctx.setStatus(LookingUp(typed));
    if (ctx.updateCommands) ctx.updateCommands();
    return pending;
}

// The result of a lookup reaches the list; the window is idle again once it has.
void Conclude(const CInputContext& ctx, const Pending& pending,
              const std::function<void()>& apply) {
    const QPointer<QWidget> parent(ctx.parent);
    if (ctx.setStatus) ctx.setStatus(QString());
    apply();
    pending->Release();
    if (Alive(ctx, parent) && ctx.updateCommands) ctx.updateCommands();
}

void AddParsed(const CInputContext& ctx, const Pending& pending,
               const sondrel::TypedAddress& parsed) {
    // The duplicate rule is judged now, on the window thread, against the table as it is.
    Conclude(ctx, pending, [&] { Apply(ctx, sondrel::AddTypedHost(*ctx.hosts, parsed), true); });
}

// The download notices come before the web address is resolved, so before the host is listed.
void ResolveAndAdd(const CInputContext& ctx, const Pending& pending, sondrel::TypedPlan plan) {
    if (plan.decided) {
        AddParsed(ctx, pending, *plan.decided);
        return;
    }
    if (!Show(ctx, plan.notices)) return;
    sondrel::Resolver* resolver = &ResolverOf(ctx);
    CBackgroundTask::Run<sondrel::TypedAddress>(
        ctx.parent,
        [plan = std::move(plan), resolver, resolveUrlHost = UrlResolutionOf(ctx)] {
            return sondrel::ResolveTypedPlan(plan, *resolver, resolveUrlHost);
        },
        [ctx, pending](sondrel::TypedAddress parsed) { AddParsed(ctx, pending, parsed); });
}

}  // namespace

namespace CInputCommands {

bool LookupPending() { return g_pendingLookups > 0; }

CPendingLookup::CPendingLookup() {
    ++g_pendingLookups;
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

CPendingLookup::~CPendingLookup() { Release(); }

void CPendingLookup::Release() {
    if (!std::exchange(m_pending, false)) return;
    --g_pendingLookups;
    QApplication::restoreOverrideCursor();
}

void AddAddress(const CInputContext& ctx) {
    QString typed;
    if (LookupPending() ||
        !AskFor<CAddAddressDlg>(ctx, [&](CAddAddressDlg& d) { typed = d.m_strAddress; }) ||
        typed.isEmpty()) {
        return;
    }
    const Pending pending = BeginLookup(ctx, typed);
    sondrel::Resolver* resolver = &ResolverOf(ctx);
    CBackgroundTask::Run<sondrel::TypedPlan>(
        ctx.parent,
        [text = typed.toStdString(), resolver] {
            return sondrel::PlanTypedAddress(text, *resolver);
        },
        [ctx, pending](sondrel::TypedPlan plan) { ResolveAndAdd(ctx, pending, std::move(plan)); });
}

void AddGroup(const CInputContext& ctx) {
    std::string start, end;
    if (LookupPending() || !AskFor<CAddGroupDlg>(ctx, [&](CAddGroupDlg& d) {
            start = d.m_strStartIp.toStdString();
            end = d.m_strEndIp.toStdString();
        })) {
        return;
    }
    Apply(ctx, sondrel::AddGroup(*ctx.hosts, start, end), true);
}

void DeleteAddress(const CInputContext& ctx) {
    QString typed;
    if (LookupPending() ||
        !AskFor<CDeleteAddressDlg>(ctx, [&](CDeleteAddressDlg& d) { typed = d.m_strAddress; }) ||
        typed.isEmpty()) {
        return;
    }
    const Pending pending = BeginLookup(ctx, typed);
    sondrel::Resolver* resolver = &ResolverOf(ctx);
    CBackgroundTask::Run<std::optional<uint32_t>>(
        ctx.parent,
        [text = typed.toStdString(), resolver] {
            return sondrel::ConvertDeleteText(text, *resolver);
        },
        [ctx, pending](std::optional<uint32_t> converted) {
            Conclude(ctx, pending,
                     [&] { Apply(ctx, sondrel::DeleteTypedHost(*ctx.hosts, converted), false); });
        });
}

void DeleteGroup(const CInputContext& ctx) {
    std::string start, end;
    if (LookupPending() || !AskFor<CDeleteGroupDlg>(ctx, [&](CDeleteGroupDlg& d) {
            start = d.m_strStartIp.toStdString();
            end = d.m_strEndIp.toStdString();
        })) {
        return;
    }
    Apply(ctx, sondrel::DeleteGroup(*ctx.hosts, start, end), false);
}

void DeleteSelected(const CInputContext& ctx) {
    if (LookupPending()) return;
    const std::vector<std::string> rows = ctx.selectedRowTexts();
    for (const uint32_t address : sondrel::HostsForSelectedRows(*ctx.hosts, rows)) {
        ctx.postRemoved(address);
    }
}

void ClearAll(const CInputContext& ctx) {
    if (!LookupPending()) ctx.clearAll();
}

void ImportFromFile(const CInputContext& ctx) {
    if (LookupPending()) return;
    const QString path =
        ctx.chooseImportFile
            ? ctx.chooseImportFile()
            : QFileDialog::getOpenFileName(ctx.parent, QString(), QString(),
                                           QString::fromLatin1(sondrel::kImportFileFilter));
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

}  // namespace CInputCommands
