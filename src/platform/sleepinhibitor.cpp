#include "platform/sleepinhibitor.h"

#ifdef Q_OS_WIN
#include <windows.h>

void SystemSleepInhibitor::inhibit(const QString &)
{
    if (m_held)
        return;
    m_held = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
    m_lastError = m_held ? QString() : QStringLiteral("SetThreadExecutionState failed");
}

void SystemSleepInhibitor::release()
{
    if (!m_held)
        return;
    SetThreadExecutionState(ES_CONTINUOUS);
    m_held = false;
}

bool SystemSleepInhibitor::isHeld() const
{
    return m_held;
}

#else
#include "platform/logind.h"

#include <QCoreApplication>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>

void SystemSleepInhibitor::inhibit(const QString &why)
{
    if (m_fd >= 0)
        return;
    // The block lasts as long as the returned descriptor stays open.
    const QDBusMessage reply =
        CallLoginManager(QStringLiteral("Inhibit"), {QStringLiteral("sleep:idle"), QStringLiteral("Vantorix"), why,
                                                     QStringLiteral("block")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        m_lastError = LoginManagerError(reply);
        return;
    }
    const auto descriptor = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    // The reply's copy closes with the reply; ours stays open until release().
    m_fd = descriptor.isValid() ? ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0) : -1;
    m_lastError = m_fd >= 0 ? QString() : QCoreApplication::translate("SleepInhibitor", "the login manager sent no descriptor");
}

void SystemSleepInhibitor::release()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
}

bool SystemSleepInhibitor::isHeld() const
{
    return m_fd >= 0;
}
#endif

SystemSleepInhibitor::~SystemSleepInhibitor()
{
    release();
}
