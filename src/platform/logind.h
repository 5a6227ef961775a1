#pragma once

#include <QDBusMessage>
#include <QString>
#include <QVariantList>

// A call to systemd-logind's manager on the system bus, waiting at most
// timeoutMs for the answer. Never asks introspection questions first, so a
// machine without logind answers at once. The reply, or an error message.
QDBusMessage CallLoginManager(const QString &method, const QVariantList &arguments, int timeoutMs = 5000);

// The text of an error reply, or a plain one when the bus gave none.
QString LoginManagerError(const QDBusMessage &reply);
