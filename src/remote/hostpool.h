#pragma once

#include "conversion/taskengine.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QProcess;
class RemoteEngine;

// One line of a hosts file: "[N/][user@]host", ":" for this machine, N slotCount.
struct HostLine
{
    QString login;
    int slotCount = 0; // 0: as many as the batch's --jobs
    bool local() const { return login == QLatin1String(":"); }
};

// The hosts of a hosts file (blank lines and "#" comments left out; a host
// listed twice is one host, with the larger number of slotCount), or why the
// file cannot be used.
struct HostList
{
    QList<HostLine> hosts;
    QString error;
};
HostList ParseHostList(const QString &text);

// The hosts a batch converts on and their slotCount. A host is made ready once,
// on the first task that needs it: its master connection opened, the
// program sent unless that version is there already, and checked
// (vantorix --worker --check). A task is given a slot on a ready host that
// it has not failed on for a reason of the host; when such a failure comes
// the host is checked again and left out when it fails the check. A task no
// host is left for is told so. Every SSH connection goes through a master
// connection per host (one per eight slotCount: a server takes ten sessions on a
// connection by default) whose socket lies in a private folder, removed with
// the pool.
class HostPool final : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString programFolder; // where this program and its engine are
        QString sshConfig;     // ssh -F, when given
        int defaultSlots = 1;  // for a host without N/
        QString ssh = QStringLiteral("ssh");
    };

    HostPool(QList<HostLine> hosts, Settings settings, QObject *parent = nullptr);
    ~HostPool() override;
    Q_DISABLE_COPY_MOVE(HostPool)

    int totalSlots() const;
    // Makes the engines of tasks that run on the hosts.
    TaskEngineFactory engineFactory();

    // For RemoteEngine: a slot is asked for, given (RemoteEngine::onSlot) or
    // refused (RemoteEngine::onNoHost) later, released when the task is done.
    void request(RemoteEngine *engine);
    void cancel(RemoteEngine *engine);
    void release(int host, int slot);
    // The task on `host` failed for a reason of the host.
    void reportFailure(int host, const QString &reason);
    // Whether a host other than `host` is left for the engine.
    bool hasOtherHost(const RemoteEngine *engine, int host) const;
    // The host damages what it makes: no task goes there any more.
    void leaveOut(int host, const QString &reason);
    // Sets up `process` to run the worker on `host` in `slot`.
    void prepareWorker(QProcess &process, int host, int slot) const;
    QString hostName(int host) const { return m_hosts.at(host).line.login; }
    // The input's size and SHA-256 (kept while the file is unchanged).
    QByteArray inputHash(const QString &path, qint64 *size);

signals:
    // A line for the person running the batch ("leaving out w1: ...").
    void notice(const QString &line);

private:
    enum class State { Unknown, Checking, Ready, Down };
    struct Host
    {
        HostLine line;
        State state = State::Unknown;
        QList<bool> busy;
        QProcess *setup = nullptr;
        bool sent = false;
    };
    struct Hashed
    {
        qint64 size = -1;
        qint64 modified = 0;
        QByteArray sha256;
    };

    // The program folder as it goes to a host, and its version.
    void packProgram();
    void check(int host, bool send);
    void onChecked(int host, bool sent);
    void setDown(int host, const QString &reason);
    void grant();
    QStringList sshArguments(int host, int slot) const;
    QString remoteShell(const QString &command) const;

    Settings m_settings;
    QList<Host> m_hosts;
    QList<RemoteEngine *> m_waiting;
    QTemporaryDir m_control; // the master connections' sockets
    QByteArray m_program;    // this program's folder as a tar archive
    QString m_version;       // names the program on a host
    QHash<QString, Hashed> m_hashes;
};
