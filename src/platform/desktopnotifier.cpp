#include "platform/desktopnotifier.h"

#include "platform/logging.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QFileInfo>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace {

const QString AppName = QStringLiteral("Vantorix");

} // namespace

QString BatchEndMessage(int converted, int total)
{
    if (converted >= total)
        return QCoreApplication::translate("DesktopNotifier", "%1 files converted").arg(converted);
    return QCoreApplication::translate("DesktopNotifier", "%1 of %2 files failed").arg(total - converted).arg(total);
}

SessionBusNotifier::SessionBusNotifier(const QString &address)
    : m_address(address)
    , m_connectionName(QStringLiteral("vantorix-desktop-%1").arg(reinterpret_cast<quintptr>(this), 0, 16))
{
}

SessionBusNotifier::~SessionBusNotifier()
{
    if (m_link != Link::NotTried)
        QDBusConnection::disconnectFromBus(m_connectionName);
}

QString SessionBusNotifier::SessionBusAddress()
{
    const QString named = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!named.isEmpty())
        return named;
    // Where systemd's user session puts the bus; without it there is none to
    // use, and none is started.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return QString();
    const QString socket = runtime + QStringLiteral("/bus");
    const QFileInfo info(socket);
    if (!info.exists() || info.isFile() || info.isDir())
        return QString();
    return QStringLiteral("unix:path=") + socket;
}

bool SessionBusNotifier::reachBus()
{
    if (m_link == Link::NotTried) {
        // One try: a bus that is not there is not looked for again.
        m_link = Link::Down;
        if (m_address.isEmpty()) {
            qCInfo(lcDesktop) << "no session bus: no desktop notices";
        } else {
            const QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connectionName);
            if (bus.isConnected())
                m_link = Link::Up;
            else
                qCInfo(lcDesktop) << "session bus" << m_address << "not reached:" << bus.lastError().message();
        }
    }
    return m_link == Link::Up;
}

void SessionBusNotifier::notify(const QString &body)
{
    if (!reachBus())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("vantorix"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call.setArguments({AppName, 0U, QStringLiteral("vantorix"), AppName, body, QStringList(), hints, -1});
    // The reply (the notification's number) is not needed: no waiting for it.
    send(call);
}

void SessionBusNotifier::showProgress(double fraction)
{
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    const int percent = static_cast<int>(std::lround(clamped * 100));
    if (percent == m_shownPercent || !reachBus())
        return;
    m_shownPercent = percent;
    sendProgress(true, clamped);
}

void SessionBusNotifier::hideProgress()
{
    if (m_shownPercent < 0 || !reachBus())
        return;
    m_shownPercent = -1;
    sendProgress(false, 0.0);
}

void SessionBusNotifier::sendProgress(bool visible, double fraction)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/vantorix"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), fraction);
    properties.insert(QStringLiteral("progress-visible"), visible);
    signal.setArguments({QStringLiteral("application://") + QLatin1String(DesktopFileName), properties});
    send(signal);
}

void SessionBusNotifier::send(const QDBusMessage &message)
{
    QDBusConnection bus(m_connectionName);
    if (!bus.send(message))
        qCInfo(lcDesktop) << "desktop notice not sent:" << message.member() << bus.lastError().message();
}
