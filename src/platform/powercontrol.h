#pragma once

#include <QString>

// Turns the computer off at the end of a batch. Injected everywhere, so that no
// test can reach the real one.
class IPowerControl
{
public:
    virtual ~IPowerControl() = default;
    // Whether the system will let this user power off now; when not,
    // lastError() says why.
    virtual bool canPowerOff() = 0;
    // Asks the system to shut down and power off. Failures are not reported to
    // the caller: the program closes its main window either way.
    virtual void powerOff() = 0;
    // Why the last request was refused; empty when it was accepted.
    virtual QString lastError() const { return {}; }
};

// The system's power off: systemd-logind over D-Bus on Linux, the shutdown
// privilege and ExitWindowsEx on Windows.
class SystemPowerControl final : public IPowerControl
{
public:
    bool canPowerOff() override;
    void powerOff() override;
    QString lastError() const override { return m_lastError; }

private:
    QString m_lastError;
};
