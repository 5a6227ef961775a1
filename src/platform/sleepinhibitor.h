#pragma once

#include <QString>

// Keeps the machine from suspending while the program does long work. Injected,
// so that tests record the requests.
class ISleepInhibitor
{
public:
    virtual ~ISleepInhibitor() = default;
    // From now on the machine must not sleep; `why` is shown to the user where
    // the system lists what holds it awake.
    virtual void inhibit(const QString &why) = 0;
    // The machine may sleep again.
    virtual void release() = 0;
};

// The system's own: systemd-logind's sleep and idle block on Linux (held by a
// file descriptor until release), the thread execution state on Windows.
// Failures are silent: a machine that cannot be kept awake still converts.
class SystemSleepInhibitor final : public ISleepInhibitor
{
public:
    SystemSleepInhibitor() = default;
    ~SystemSleepInhibitor() override;
    Q_DISABLE_COPY_MOVE(SystemSleepInhibitor)

    // A second inhibit while one is held changes nothing.
    void inhibit(const QString &why) override;
    void release() override;

    // Whether the system granted the block that is in force now.
    bool isHeld() const;
    // Why the last inhibit was not granted; empty when it was.
    QString lastError() const { return m_lastError; }

private:
#ifdef Q_OS_WIN
    bool m_held = false;
#else
    int m_fd = -1;
#endif
    QString m_lastError;
};
