#pragma once

#include <QString>

// Turns the computer off at the end of a batch. Injected everywhere, so that no
// test can reach the real one.
class IPowerControl
{
public:
    virtual ~IPowerControl() = default;
    // Asks the system to shut down and power off. Failures are not reported to
    // the caller: the program closes its main window either way.
    virtual void powerOff() = 0;
};

// The system's power off: systemd-logind over D-Bus on Linux, the shutdown
// privilege and ExitWindowsEx on Windows.
class SystemPowerControl final : public IPowerControl
{
public:
    void powerOff() override;
    // What the last request answered; empty when it was accepted.
    QString lastError() const { return m_lastError; }

private:
    QString m_lastError;
};
