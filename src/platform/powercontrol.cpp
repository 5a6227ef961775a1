#include "platform/powercontrol.h"

#ifdef Q_OS_WIN
#include <windows.h>

namespace {

// Gives the process the right to shut the system down. Nothing is checked: the
// power-off request is made whatever happens here.
void EnableShutdownPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges{};
    LookupPrivilegeValueA("", "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous{};
    DWORD previousSize = sizeof(previous);
    AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(previous), &previous, &previousSize);
    CloseHandle(token);
}

} // namespace

void SystemPowerControl::powerOff()
{
    EnableShutdownPrivilege();
    m_lastError = ExitWindowsEx(EWX_POWEROFF, 0) ? QString() : QStringLiteral("ExitWindowsEx failed");
}

#else
#include <QDBusInterface>
#include <QDBusReply>

void SystemPowerControl::powerOff()
{
    // logind asks for authorisation when needed (interactive = true), so a
    // logged-in user powers off without root.
    QDBusInterface manager(QStringLiteral("org.freedesktop.login1"),
                           QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"),
                           QDBusConnection::systemBus());
    if (!manager.isValid()) {
        m_lastError = manager.lastError().message();
        return;
    }
    const QDBusReply<void> reply = manager.call(QStringLiteral("PowerOff"), true);
    m_lastError = reply.isValid() ? QString() : reply.error().message();
}
#endif
