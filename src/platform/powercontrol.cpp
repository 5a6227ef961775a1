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

bool SystemPowerControl::canPowerOff()
{
    m_lastError.clear();
    return true;
}

void SystemPowerControl::powerOff()
{
    EnableShutdownPrivilege();
    m_lastError = ExitWindowsEx(EWX_POWEROFF, 0) ? QString() : QStringLiteral("ExitWindowsEx failed");
}

#else
#include "platform/logind.h"

#include <QCoreApplication>

bool SystemPowerControl::canPowerOff()
{
    // "yes"; or "challenge" when a password would be asked, "no", "na".
    const QDBusMessage reply = CallLoginManager(QStringLiteral("CanPowerOff"), {});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        m_lastError = LoginManagerError(reply);
        return false;
    }
    const QString answer = reply.arguments().constFirst().toString();
    if (answer != QStringLiteral("yes")) {
        m_lastError = QCoreApplication::translate("PowerControl", "the login manager answers \"%1\"").arg(answer);
        return false;
    }
    m_lastError.clear();
    return true;
}

void SystemPowerControl::powerOff()
{
    // logind asks for authorisation when needed (interactive = true), so a
    // logged-in user powers off without root.
    const QDBusMessage reply = CallLoginManager(QStringLiteral("PowerOff"), {true});
    m_lastError = reply.type() == QDBusMessage::ReplyMessage ? QString() : LoginManagerError(reply);
}
#endif
