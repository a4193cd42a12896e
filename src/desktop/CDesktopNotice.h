#pragma once
// Tells the user something when no window can: through the desktop's notification service
// (org.freedesktop.Notifications on the session bus), where there is one.
#include <QString>

// Sends one notification and waits briefly for the service to take it. False when there is
// no session bus or no service, or the program was built without the toolkit's D-Bus module.
bool NotifyDesktop(const QString& summary, const QString& body);
