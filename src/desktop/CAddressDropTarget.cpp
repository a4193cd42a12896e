#include "desktop/CAddressDropTarget.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "desktop/DropRules.h"
#include "input/CBackgroundTask.h"
#include "input/HostEditing.h"
#include "input/UrlResolver.h"
#include "model/HostTable.h"
#include "widgets/CMessageBox.h"

namespace {

Qt::DropAction ToQt(sondrel::DropEffect effect) {
    switch (effect) {
        case sondrel::DropEffect::Copy:
            return Qt::CopyAction;
        case sondrel::DropEffect::Move:
            return Qt::MoveAction;
        case sondrel::DropEffect::None:
            break;
    }
    return Qt::IgnoreAction;
}

}  // namespace

CAddressDropTarget::CAddressDropTarget()
    : m_resolver(&sondrel::TheSystemResolver()),
      m_resolveUrlHost([](const std::string& url) { return sondrel::ResolveUrlHost(url); }) {}

CAddressDropTarget::~CAddressDropTarget() = default;

void CAddressDropTarget::SetSink(CDropSink sink) { m_sink = std::move(sink); }

void CAddressDropTarget::Register(QWidget* widget) {
    if (widget == nullptr) {
        return;
    }
    QWidget* target = widget;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
        target = area->viewport();
    }
    widget->setAcceptDrops(true);
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

void CAddressDropTarget::SetLookups(sondrel::Resolver* resolver,
                                    sondrel::UrlHostResolver resolveUrlHost) {
    m_resolver = resolver != nullptr ? resolver : &sondrel::TheSystemResolver();
    m_resolveUrlHost = std::move(resolveUrlHost);
}

// Both targets feed the same view as the address commands do: a drop that arrives while a
// lookup is pending is refused rather than stacked.
bool CAddressDropTarget::Busy() { return CInputCommands::LookupPending(); }

std::optional<std::string> CAddressDropTarget::TextOf(const QMimeData* data) {
    if (data == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> uriList;
    std::optional<std::string> plain;
    if (data->hasFormat("text/uri-list")) {
        uriList = data->data("text/uri-list").toStdString();
    }
    // Only text the source offers as such: Qt would also make text out of the uri list,
    // comment lines included.
    if (data->hasFormat("text/plain") || data->hasFormat("text/plain;charset=utf-8")) {
        plain = data->text().toStdString();
    }
    return sondrel::DroppedText(uriList, plain);
}

void CAddressDropTarget::ShowMessage(const std::string& text) {
    SondrelMessageBox(m_sink.mainWindow ? m_sink.mainWindow() : nullptr,
                      QString::fromStdString(text));
}

void CAddressDropTarget::BringMainWindowToFront() {
    QWidget* main = m_sink.mainWindow ? m_sink.mainWindow() : nullptr;
    if (main != nullptr) {
        main->raise();
        main->activateWindow();
    }
}

void CAddressDropTarget::UpdateCommands() {
    if (m_sink.updateCommands) {
        m_sink.updateCommands();
    }
}

void CAddressDropTarget::DropText(const std::string& text) {
    if (m_sink.openListFile) {
        if (auto path = sondrel::ListFileOfLink(text)) {
            m_sink.openListFile(QString::fromStdString(*path));
            return;
        }
    }
    auto pending = std::make_shared<CInputCommands::CPendingLookup>();
    UpdateCommands();
    // The boxes come once the drop has returned to its source, which must not wait for them.
    QMetaObject::invokeMethod(
        this, [this, text, pending] { LookUp(text, pending); }, Qt::QueuedConnection);
}

void CAddressDropTarget::LookUp(const std::string& text,
                                const std::shared_ptr<CInputCommands::CPendingLookup>& pending) {
    const sondrel::DropPlan plan = sondrel::PlanDrop(text);
    const QPointer<CAddressDropTarget> self(this);
    for (const std::string& notice : plan.notices) {
        ShowMessage(notice);
        if (!self) {
            return;
        }
    }
    CBackgroundTask::Run<sondrel::TypedAddress>(
        this,
        [plan, resolver = m_resolver, resolveUrlHost = m_resolveUrlHost] {
            return sondrel::LookUpDrop(plan, *resolver, resolveUrlHost);
        },
        [this, pending](sondrel::TypedAddress found) {
            const QPointer<CAddressDropTarget> self(this);
            AddFound(found);
            pending->Release();
            if (self) {
                UpdateCommands();
            }
        });
}

void CAddressDropTarget::AddFound(const sondrel::TypedAddress& found) {
    const QPointer<CAddressDropTarget> self(this);
    for (const std::string& message : found.messages) {
        ShowMessage(message);
        if (!self) {
            return;
        }
    }
    const sondrel::HostTable* hosts = m_sink.hosts ? m_sink.hosts() : nullptr;
    if (!found.ok || hosts == nullptr || !m_sink.addHost) {
        return;
    }
    if (const sondrel::HostRecord* existing = hosts->FindHost(found.address)) {
        // Already listed: the window comes forward and the box names the host's entry.
        BringMainWindowToFront();
        ShowMessage(sondrel::DuplicateHostMessage(found.address, *existing));
        return;
    }
    m_sink.addHost(found.address, found.named ? found.name : std::string(), found.named);
    if (m_sink.autoPopup && m_sink.autoPopup()) {
        if (QWidget* main = m_sink.mainWindow ? m_sink.mainWindow() : nullptr) {
            main->showNormal();
            main->raise();
            main->activateWindow();
        }
    }
}

bool CAddressDropTarget::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter: {
            auto* drag = static_cast<QDragEnterEvent*>(event);
            // The data stays the same for the whole drag; asking a source application for it
            // on every move would be a round trip each time.
            m_bDragHasText = TextOf(drag->mimeData()).has_value();
            const bool text = !Busy() && m_bDragHasText;
            const auto effect =
                sondrel::DragEnterEffect(text, drag->modifiers().testFlag(Qt::ControlModifier));
            if (effect == sondrel::DropEffect::None) {
                drag->ignore();
            } else {
                drag->setDropAction(ToQt(effect));
                drag->accept();
            }
            return true;
        }
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            const bool text = !Busy() && m_bDragHasText;
            const auto effect =
                sondrel::DragOverEffect(text, drag->modifiers().testFlag(Qt::ControlModifier));
            if (effect == sondrel::DropEffect::None) {
                drag->setDropAction(Qt::IgnoreAction);
                drag->ignore();
            } else {
                drag->setDropAction(ToQt(effect));
                drag->accept();
            }
            return true;
        }
        case QEvent::DragLeave:
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const std::optional<std::string> text =
                Busy() ? std::nullopt : TextOf(drop->mimeData());
            if (text) {
                // The lookup cannot be waited for here: the source is told of a copy, so that
                // it keeps its text whatever the lookup finds.
                drop->setDropAction(Qt::CopyAction);
                drop->accept();
                DropText(*text);
            } else {
                drop->setDropAction(Qt::IgnoreAction);
                drop->ignore();
            }
            return true;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}
