#include "platform/logind.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>

QDBusMessage CallLoginManager(const QString &method, const QVariantList &arguments, int timeoutMs)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), method);
    call.setArguments(arguments);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return call.createErrorReply(QDBusError::Disconnected, bus.lastError().message());
    return bus.call(call, QDBus::Block, timeoutMs);
}

QString LoginManagerError(const QDBusMessage &reply)
{
    if (!reply.errorMessage().isEmpty())
        return reply.errorMessage();
    if (!reply.errorName().isEmpty())
        return reply.errorName();
    return QCoreApplication::translate("LoginManager", "the login manager cannot be reached");
}
