#include "desktop/CAddressDropTarget.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QDropEvent>
#include <QEventLoop>
#include <QMimeData>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>

#include "app/CMainFrame.h"
#include "desktop/DropRules.h"
#include "input/HostEditing.h"
#include "input/UrlResolver.h"
#include "model/HostTable.h"
#include "view/CCorvelView.h"
#include "view/CMessageBox.h"

namespace {

// Drops in progress over all targets: both targets feed the same view, and a drop that
// arrives while another is being looked up is refused rather than stacked.
int g_dropsInProgress = 0;

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

void CAddressDropTarget::SetView(CCorvelView* view) {
    QPointer<CCorvelView> guarded(view);
    CDropSink sink;
    sink.hosts = [guarded]() -> const sondrel::HostTable* {
        return guarded ? &guarded->Hosts() : nullptr;
    };
    sink.addHost = [guarded](std::uint32_t address, const std::string& name, bool named) {
        if (guarded) {
            guarded->AddHost(address, name, named);
        }
    };
    sink.mainWindow = [guarded]() -> QWidget* { return guarded ? guarded->Frame() : nullptr; };
    sink.autoPopup = [] { return g_bAutoPopup; };
    sink.openListFile = [guarded](const QString& path) {
        CMainFrame* frame = guarded ? guarded->Frame() : nullptr;
        if (frame != nullptr && frame->onOpenFile) {
            // Opened once the drop has ended, so that a box cannot stall the drag source.
            QTimer::singleShot(0, frame, [frame, path] {
                if (frame->onOpenFile) {
                    frame->onOpenFile(path);
                }
            });
        }
    };
    SetSink(std::move(sink));
}

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

bool CAddressDropTarget::Busy() { return g_dropsInProgress > 0; }

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

sondrel::TypedAddress CAddressDropTarget::LookUpOffThread(const sondrel::DropPlan& plan) {
    // The lookup's state outlives this call only if the thread does, which join rules out.
    struct Job {
        sondrel::TypedAddress result;
        std::atomic<bool> done{false};
    };
    auto job = std::make_shared<Job>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    sondrel::Resolver* resolver = m_resolver;
    sondrel::UrlHostResolver resolveUrlHost = m_resolveUrlHost;
    std::thread worker([job, plan, resolver, resolveUrlHost, waiting] {
        job->result = sondrel::LookUpDrop(plan, *resolver, resolveUrlHost);
        job->done.store(true);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [waiting] {
                if (waiting) {
                    waiting->quit();
                }
            },
            Qt::QueuedConnection);
    });
    if (!job->done.load()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    worker.join();
    return job->result;
}

bool CAddressDropTarget::DropText(const std::string& text) {
    if (m_sink.openListFile) {
        if (auto path = sondrel::ListFileOfLink(text)) {
            m_sink.openListFile(QString::fromStdString(*path));
            return true;
        }
    }
    const sondrel::DropPlan plan = sondrel::PlanDrop(text);
    for (const std::string& notice : plan.notices) {
        ShowMessage(notice);
    }
    QPointer<CAddressDropTarget> self(this);
    ++g_dropsInProgress;
    const sondrel::TypedAddress found = LookUpOffThread(plan);
    --g_dropsInProgress;
    if (!self) {
        return false;
    }
    for (const std::string& message : found.messages) {
        ShowMessage(message);
    }
    const sondrel::HostTable* hosts = m_sink.hosts ? m_sink.hosts() : nullptr;
    if (!found.ok || hosts == nullptr || !m_sink.addHost) {
        return false;
    }
    if (const sondrel::HostRecord* existing = hosts->FindHost(found.address)) {
        // Already listed: the window comes forward and the box names the host's entry.
        BringMainWindowToFront();
        ShowMessage(sondrel::DuplicateHostMessage(found.address, *existing));
        return false;
    }
    m_sink.addHost(found.address, found.named ? found.name : std::string(), found.named);
    if (m_sink.autoPopup && m_sink.autoPopup()) {
        if (QWidget* main = m_sink.mainWindow ? m_sink.mainWindow() : nullptr) {
            main->showNormal();
            main->raise();
            main->activateWindow();
        }
    }
    return true;
}

bool CAddressDropTarget::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter: {
            auto* drag = static_cast<QDragEnterEvent*>(event);
            const bool text = !Busy() && TextOf(drag->mimeData()).has_value();
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
            const bool text = !Busy() && TextOf(drag->mimeData()).has_value();
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
            QPointer<QObject> alive(watched);
            const bool listFile = text && sondrel::ListFileOfLink(*text).has_value();
            const bool added = text && DropText(*text);
            if (!alive) {
                return true;
            }
            if (added) {
                // A list file is only read: its source must keep it.
                drop->setDropAction(listFile ? Qt::CopyAction : Qt::MoveAction);
                drop->accept();
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
