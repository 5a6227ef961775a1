#pragma once

#include <QString>

class QDBusMessage;

// Tells the desktop how a batch goes: a notification when it has ended, and
// its total progress on the program's launcher entry (the task bar or dock).
// Injected, so that tests record what was told.
class IDesktopNotifier
{
public:
    virtual ~IDesktopNotifier() = default;
    // A notification with the program's name as its summary and this body.
    virtual void notify(const QString &body) = 0;
    // The launcher entry shows this share of the work (0 to 1) as done.
    virtual void showProgress(double fraction) = 0;
    // The launcher entry shows no progress.
    virtual void hideProgress() = 0;
};

// The body of the notification at the end of a batch of `total` files of
// which `converted` were converted: "N files converted" or "N of M files
// failed".
QString BatchEndMessage(int converted, int total);

// The desktop's own services on the D-Bus session bus: the notification
// server (org.freedesktop.Notifications) and the launcher entry's progress
// (the com.canonical.Unity.LauncherEntry signal that task bars and docks
// listen to).
//
// Nothing here waits for the desktop: messages are sent without waiting for a
// reply. Without a session bus every call does nothing; the bus is looked for
// once, at the first call, and never started (no autolaunch).
class SessionBusNotifier final : public IDesktopNotifier
{
public:
    // The launcher entry is that of the installed desktop file of this name.
    static constexpr char DesktopFileName[] = "vantorix.desktop";

    // address: the session bus's (SessionBusAddress() by default); empty: no bus.
    explicit SessionBusNotifier(const QString &address = SessionBusAddress());
    ~SessionBusNotifier() override;
    Q_DISABLE_COPY_MOVE(SessionBusNotifier)

    void notify(const QString &body) override;
    // Sent only when the whole percentage changes or the progress was hidden.
    void showProgress(double fraction) override;
    // Sent only when progress is shown.
    void hideProgress() override;

    // Whether the bus was reached (false before the first call).
    bool isConnected() const { return m_link == Link::Up; }

    // The session bus the environment names: DBUS_SESSION_BUS_ADDRESS, else
    // the socket "bus" in XDG_RUNTIME_DIR when there is one; else empty.
    static QString SessionBusAddress();

private:
    enum class Link { NotTried, Up, Down };
    bool reachBus();
    void sendProgress(bool visible, double fraction);
    // Sends on the bus; a message that cannot be sent is logged.
    void send(const QDBusMessage &message);

    QString m_address;
    QString m_connectionName;
    Link m_link = Link::NotTried;
    int m_shownPercent = -1; // -1: no progress shown
};
