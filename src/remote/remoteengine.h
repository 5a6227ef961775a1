#pragma once

#include "conversion/taskengine.h"
#include "remote/workerprotocol.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTimer>

class HostPool;
class OutputCheck;

// The engine of one task, run by a worker on a host of the pool: the input
// goes there unless the worker proves it reads the same bytes in place, the
// engine's output comes back as it is written, and the output file comes
// back to the command's output path here, its bytes checked against the
// worker's hash. A failure of the host (it cannot be reached, the engine or
// room is missing there, the connection is lost, the output came back
// damaged) is no failure of the task: the pool is told, and the task starts
// again on another host; only when none is left does the task fail. An
// output that comes back whole but fails the output check is tried once on
// another host: when that host's output passes, the first host is left out
// (it damages what it makes); when it fails too, the failure is the task's.
class RemoteEngine final : public TaskEngine
{
    Q_OBJECT
public:
    // How long a stopped worker may take before its connection is cut.
    static constexpr int KillDelayMs = 5000;

    RemoteEngine(HostPool &pool, ltvItemData task, QString params, QObject *parent = nullptr);
    ~RemoteEngine() override;
    Q_DISABLE_COPY_MOVE(RemoteEngine)

    void launch(const QString &enginePath, const EngineCommand &command) override;
    void TerminateEngine() override;
    void kill() override;
    void suspendEngine() override;
    void resumeEngine() override;
    void killAndWait() override;
    bool isRunning() const override { return m_running; }

    // From the pool.
    bool avoids(int host) const { return m_failedOn.contains(host); }
    void onSlot(int host, int slot);
    void onNoHost(const QString &reason);

private:
    void onReadable();
    void onMessage(const WorkerProtocol::Message &message);
    void sendInput();
    void onWorkerEnded(int exitCode, QProcess::ExitStatus status);
    // The host failed this task: it goes to another one.
    // A host that damaged what it sent back is left out at once.
    void hostFailed(const QString &reason, bool leaveOut = false);
    void finish(int exitCode, bool crashed);
    // The output came back whole: is it good?
    void verify();
    void onVerified(const QString &reason);
    // Lets the worker go: asked to end (its input closed), or killed at once.
    void dropWorker(bool graceful = true);
    void send(const QByteArray &frame);

    HostPool &m_pool;
    ltvItemData m_task;
    QString m_params;
    QString m_enginePath;
    OutputCheck *m_check = nullptr;
    int m_suspect = -1; // the host whose output failed the check
    EngineCommand m_command;
    QString m_input, m_output;
    QByteArray m_inputHash;
    qint64 m_inputSize = -1;
    QSet<int> m_failedOn;
    int m_host = -1;
    int m_slot = -1;
    QProcess *m_worker = nullptr;
    WorkerProtocol::Reader m_reader{true};
    QFile m_sending;      // the input, while it goes to the worker
    QFile m_receiving;    // the output, while it comes back
    QCryptographicHash m_receivedHash{QCryptographicHash::Sha256};
    QJsonObject m_result;
    QByteArray m_errors;  // what ssh and the worker said on standard error
    QTimer m_killTimer;
    QTimer m_ticks; // tells the worker that the controller is there
    bool m_running = false;
    bool m_stopping = false;
    bool m_paused = false;
    bool m_over = false;
};
