// What the desktop is told, as a notification server and a task bar on a
// private session bus receive it, and that without a bus nothing happens.
#include "platform/desktopnotifier.h"

#include "fakes/clips.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A notification server that records each Notify call.
class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call
    {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        calls.append({appName, replacesId, icon, summary, body, actions, hints, timeout});
        return static_cast<uint>(calls.size());
    }
};

// A task bar: records the launcher entries' Update signals.
class LauncherListener : public QObject
{
    Q_OBJECT
public:
    struct Update
    {
        QString uri;
        QVariantMap properties;
    };
    QList<Update> updates;

public slots:
    void onUpdate(const QString &uri, const QVariantMap &properties) { updates.append({uri, properties}); }
};

// A session bus of the test's own (dbus-daemon), with a notification server
// and a task bar on it.
class PrivateBusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--nopidfile", "--print-address"});
        ASSERT_TRUE(daemon.waitForStarted(10000));
        ASSERT_TRUE(waitFor([&] { return daemon.canReadLine(); }, 20000)) << daemon.readAllStandardError().data();
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());

        bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, QStringLiteral("desktop")));
        ASSERT_TRUE(bus->isConnected());
        ASSERT_TRUE(bus->registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                        QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus->registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(bus->connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                 QStringLiteral("Update"), &launcher, SLOT(onUpdate(QString,QVariantMap))));
        // A call answered by the bus: the signal match above is in force.
        ASSERT_TRUE(bus->interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")).value());
    }

    void TearDown() override
    {
        bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
        if (daemon.state() != QProcess::NotRunning) {
            daemon.terminate();
            daemon.waitForFinished(10000);
        }
    }

    QProcess daemon;
    QString address;
    std::unique_ptr<QDBusConnection> bus;
    NotificationServer server;
    LauncherListener launcher;
};

TEST_F(PrivateBusTest, TheEndOfABatchIsANotification)
{
    SessionBusNotifier notifier(address);
    notifier.notify(BatchEndMessage(3, 3));
    ASSERT_TRUE(waitFor([&] { return !server.calls.isEmpty(); }));
    EXPECT_TRUE(notifier.isConnected());
    const NotificationServer::Call &call = server.calls.first();
    EXPECT_EQ(call.appName, QStringLiteral("Vantorix"));
    EXPECT_EQ(call.summary, QStringLiteral("Vantorix"));
    EXPECT_EQ(call.body, QStringLiteral("3 files converted"));
    EXPECT_EQ(call.replacesId, 0U);
    EXPECT_EQ(call.icon, QStringLiteral("vantorix"));
    EXPECT_EQ(call.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("vantorix"));
    EXPECT_EQ(call.timeout, -1);

    notifier.notify(BatchEndMessage(1, 4));
    ASSERT_TRUE(waitFor([&] { return server.calls.size() == 2; }));
    EXPECT_EQ(server.calls[1].body, QStringLiteral("3 of 4 files failed"));
}

TEST_F(PrivateBusTest, TheLauncherEntryShowsTheProgressUntilItIsHidden)
{
    SessionBusNotifier notifier(address);
    notifier.hideProgress(); // nothing shown yet: nothing sent
    for (double fraction : {0.0, 0.251, 0.254, 0.5, 1.0})
        notifier.showProgress(fraction);
    notifier.hideProgress();
    notifier.hideProgress();
    // Sent after the updates on the same connection, so it arrives after them.
    notifier.notify(QStringLiteral("done"));
    ASSERT_TRUE(waitFor([&] { return !server.calls.isEmpty(); }));
    ASSERT_TRUE(waitFor([&] { return launcher.updates.size() >= 5; }));

    // 0.254 rounds to the 25 % already shown: not sent again.
    const QList<double> shown = {0.0, 0.251, 0.5, 1.0};
    ASSERT_EQ(launcher.updates.size(), shown.size() + 1);
    for (qsizetype i = 0; i < launcher.updates.size(); ++i) {
        const LauncherListener::Update &update = launcher.updates[i];
        EXPECT_EQ(update.uri, QStringLiteral("application://vantorix.desktop"));
        const bool visible = i < shown.size();
        EXPECT_EQ(update.properties.value(QStringLiteral("progress-visible")).toBool(), visible) << i;
        if (visible) {
            EXPECT_DOUBLE_EQ(update.properties.value(QStringLiteral("progress")).toDouble(), shown[i]) << i;
        }
    }
}

// Records the messages Qt would print while it lives.
class MessageCatcher
{
public:
    MessageCatcher() { s_previous = qInstallMessageHandler(&MessageCatcher::handle); }
    ~MessageCatcher() { qInstallMessageHandler(s_previous); }
    Q_DISABLE_COPY_MOVE(MessageCatcher)
    static inline QStringList messages;

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &text) { messages << text; }
    static inline QtMessageHandler s_previous = nullptr;
};

TEST(DesktopNotifierWithoutBus, DoesNothingAndSaysNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    MessageCatcher catcher;
    MessageCatcher::messages.clear();
    // No address at all, and the address of a bus that is not there.
    for (const QString &address : {QString(), QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("none"))}) {
        SessionBusNotifier notifier(address);
        notifier.showProgress(0.5);
        notifier.notify(QStringLiteral("2 files converted"));
        notifier.hideProgress();
        EXPECT_FALSE(notifier.isConnected()) << address.toStdString();
    }
    EXPECT_EQ(MessageCatcher::messages, QStringList());
}

// The bus is never started on demand (autolaunch can take seconds): without
// an address and without the user session's socket there is none.
TEST(DesktopNotifierWithoutBus, FindsTheBusTheEnvironmentNames)
{
    const QByteArray savedAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());

    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/user/1/bus");
    EXPECT_EQ(SessionBusNotifier::SessionBusAddress(), QStringLiteral("unix:path=/run/user/1/bus"));

    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SessionBusNotifier::SessionBusAddress(), QString());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    EXPECT_EQ(SessionBusNotifier::SessionBusAddress(), QString());

    // The user session's bus socket.
    const QString socketPath = runtime.filePath(QStringLiteral("bus"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    const QByteArray path = socketPath.toLocal8Bit();
    ASSERT_LT(static_cast<size_t>(path.size()), sizeof name.sun_path);
    std::copy(path.begin(), path.end(), name.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr *>(&name), sizeof name), 0);
    EXPECT_EQ(SessionBusNotifier::SessionBusAddress(), QStringLiteral("unix:path=") + socketPath);
    ::close(fd);

    if (savedAddress.isNull())
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        qputenv("DBUS_SESSION_BUS_ADDRESS", savedAddress);
    if (savedRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

TEST(BatchEndMessage, CountsTheFailedAmongAll)
{
    EXPECT_EQ(BatchEndMessage(5, 5), QStringLiteral("5 files converted"));
    EXPECT_EQ(BatchEndMessage(0, 2), QStringLiteral("2 of 2 files failed"));
    EXPECT_EQ(BatchEndMessage(4, 5), QStringLiteral("1 of 5 files failed"));
}

} // namespace

#include "desktopnotifier_test.moc"
