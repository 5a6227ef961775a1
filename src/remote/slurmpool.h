#pragma once

#include "conversion/taskengine.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <functional>

class QProcess;
class SlurmEngine;

// The tasks of a batch as Slurm job arrays on a cluster whose nodes see the
// inputs, the output folder and this program at the same paths. Engines
// launched close together (GatherQuietMs apart, at most GatherMostMs after
// the first) go to the cluster as one array, each an element running
// "vantorix --worker --slurm-task FOLDER" (slurmtask.h) with its files in a
// folder of the submission under the state folder. The pool follows the
// elements: their files every PollMs, squeue every SqueueMs. A submission's
// folder is removed only on a definite answer: squeue ended with status 0,
// said nothing on standard error and listed none of the array's elements,
// and every element's end was taken. When squeue cannot get an answer
// (slurmctld cannot be reached) nothing is removed and nothing is counted as
// gone; the pool waits and says so. Folders that earlier runs left are
// removed the same way once their controller is gone and so is their array.
class SlurmPool final : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString program;           // this program, at the same path on every node
        QString stateFolder;       // on the shared file system
        QStringList sbatchOptions; // passed on as they are, after the pool's own
        int cap = 0;               // at most this many elements at once (the array's %N); 0: no cap
    };
    // Tasks handed out at once: Slurm takes arrays up to 1001 elements by default.
    static constexpr int Slots = 1000;
    static constexpr int GatherQuietMs = 500;
    static constexpr int GatherMostMs = 5000;
    static constexpr int PollMs = 1000;
    static constexpr int SqueueMs = 5000;
    static constexpr int SqueueMostMs = 60000;
    // An element squeue no longer lists may still have a result on its way
    // through the shared file system: it fails without one after so long.
    static constexpr int GoneGraceMs = 15000;
    // How long the end of a batch waits for its folders to be removed.
    static constexpr int SettleMostMs = 60000;

    explicit SlurmPool(Settings settings, QObject *parent = nullptr);
    ~SlurmPool() override;
    Q_DISABLE_COPY_MOVE(SlurmPool)

    TaskEngineFactory engineFactory();
    // Calls `done` once every folder of this pool's arrays is removed, or
    // left with a notice when no definite answer came in SettleMostMs.
    void whenSettled(std::function<void()> done);

    // For SlurmEngine.
    void submit(SlurmEngine *engine);
    // Cancels the engine's element (scancel), never waiting for it.
    void cancel(SlurmEngine *engine, bool detached = false);
    // The engine has its end: its element is no longer followed for it.
    void forget(SlurmEngine *engine);

signals:
    // A line for the person running the batch.
    void notice(const QString &line);

private:
    struct Element
    {
        QPointer<SlurmEngine> engine; // null once its end was taken
        qint64 goneSinceMs = -1;      // squeue stopped listing it then
        bool cancelWanted = false;
        bool running = false;
    };
    struct Submission
    {
        QString folder;
        QString jobId;
        QList<Element> elements;
        QProcess *sbatch = nullptr;
        bool stale = false; // left by a run that is gone
    };

    void flush();
    void startSubmission(QList<SlurmEngine *> engines);
    void onSubmitted(Submission *submission, int exitCode, const QString &out, const QString &err);
    void poll();
    void askQueue();
    void onQueue(int exitCode, const QByteArray &out, const QByteArray &err);
    void tidyLeftovers();
    void removeFolder(Submission *submission, const QString &why);
    void scancel(const QStringList &ids, bool detached);
    void checkSettled();
    Submission *submissionOf(const SlurmEngine *engine, int *id = nullptr);

    Settings m_settings;
    QList<SlurmEngine *> m_gathered;
    QElapsedTimer m_gatheredSince;
    QTimer m_gather;
    QTimer m_poll;
    QElapsedTimer m_clock;
    qint64 m_lastQueueMs = -1;
    QProcess *m_squeue = nullptr;
    bool m_unreachable = false;
    std::vector<std::unique_ptr<Submission>> m_submissions;
    std::function<void()> m_settled;
    QTimer m_settleLimit;
};

// The engine of one task, run by an element of a Slurm job array: its output
// is written on the node into the submission's folder, its engine's output
// is followed there, and once the element's result says it succeeded the
// output is moved to the command's output path here; the controller checks
// and commits it as it does a local task's. A node whose input is not the
// controller's file (by size and sample hash, also checked here once more)
// converts nothing. An element that leaves the queue without a result
// (cancelled, out of time, its node lost without a requeue) fails the task
// with what Slurm wrote for it.
class SlurmEngine final : public TaskEngine
{
    Q_OBJECT
public:
    // How long a stopped element may take to leave the queue before the task
    // ends anyway (its folder stays until the queue says it is gone).
    static constexpr int StopWaitMs = 20000;

    SlurmEngine(SlurmPool &pool, QObject *parent = nullptr);
    ~SlurmEngine() override;
    Q_DISABLE_COPY_MOVE(SlurmEngine)

    void launch(const QString &enginePath, const EngineCommand &command) override;
    void TerminateEngine() override;
    void kill() override;
    void suspendEngine() override {}
    void resumeEngine() override {}
    void killAndWait() override;
    bool isRunning() const override { return m_running; }

    // From the pool.
    QJsonObject taskFor(const QString &folder, int id) const;
    void onSubmitted(const QString &folder, int id, const QString &jobId);
    void onRefused(const QString &reason);
    // Reads what the element wrote since; takes its result when it is there.
    void poll();
    // Squeue no longer lists the element and no result came.
    void onGone();
    bool stopping() const { return m_stopping; }
    QString elementName() const { return m_jobId + QLatin1Char('_') + QString::number(m_id); }

private:
    void takeResult(const QJsonObject &result);
    void finish(int exitCode, bool crashed, const QString &reason = QString());
    QString staged() const;

    SlurmPool &m_pool;
    QString m_enginePath;
    EngineCommand m_command;
    QString m_input, m_output;
    qint64 m_inputSize = -1;
    QByteArray m_inputSample;
    QString m_folder;
    int m_id = -1;
    QString m_jobId;
    qint64 m_logRead = 0;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QTimer m_stopTimer;
    bool m_running = false;
    bool m_stopping = false;
    bool m_over = false;
};
