#include "desktop/CDesktopNotice.h"

#include <cstdlib>
#include <filesystem>

#ifdef SONDREL_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#endif

namespace {

// Without a bus address the D-Bus library may try to launch a bus of its own.
bool SessionBusExpected() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    return runtime != nullptr && *runtime != '\0' &&
           std::filesystem::exists(std::filesystem::path(runtime) / "bus", ec);
}

}  // namespace

bool NotifyDesktop(const QString& summary, const QString& body) {
    if (!SessionBusExpected()) return false;
#ifdef SONDREL_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Application, replaced id, icon, summary, body, actions, hints, expiry (-1: the
    // service's default).
    call << QStringLiteral("Sondrel") << 0u << QStringLiteral("sondrel") << summary << body
         << QStringList() << QVariantMap() << -1;
    // Callers are on their way out: a stuck service must not hold them up for long.
    constexpr int kReplyTimeoutMs = 500;
    return bus.call(call, QDBus::Block, kReplyTimeoutMs).type() == QDBusMessage::ReplyMessage;
#else
    (void)summary;
    (void)body;
    return false;
#endif
}
