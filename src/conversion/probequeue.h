#pragma once

#include "conversion/mediaprobe.h"
#include "conversion/taskrecord.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <memory>

// Adds files to the task list with the engine's report on each. Probes run as separate
// engine processes, up to maxParallel at once, each driven by its process's signals on the
// caller's thread (nothing waits). Rows are appended in the order the files were queued,
// each as soon as its own probe and every earlier one is done.
class ProbeQueue final : public QObject
{
    Q_OBJECT
public:
    explicit ProbeQueue(TaskListModel &tasks, QObject *parent = nullptr);
    ~ProbeQueue() override;
    Q_DISABLE_COPY_MOVE(ProbeQueue)

    void setEnginePath(const QString &path);
    void setMaxParallel(int count);        // default QThread::idealThreadCount() (at least 1)
    void setTimeoutMs(int ms);             // a probe still running after this is killed (default MediaProbe::DefaultTimeoutMs)
    // Queues a file. False (nothing queued) when a row's caption or a queued path equals it
    // exactly (letter case counts). outputExt becomes the new row's NewExt (TaskFromProbe).
    bool enqueue(const QString &path, const QString &outputExt);
    bool isBusy() const;                   // files queued or probing
    int total() const;                     // files queued since the queue was last idle
    int done() const;                      // of those, how many are handled (row added or dropped)
    // Drops the files not yet probed, kills the running probes (no engine process left
    // behind, reaped), and adds the rows whose probe had completed, in queue order.
    void cancel();

    int maxParallel() const { return m_maxParallel; }
    int running() const { return m_running; } // probes whose engine runs now

signals:
    void taskAdded(int row);               // a row was appended
    void progress(int done, int total);
    void idle();                           // every queued file is handled (also after cancel)

private:
    struct Entry
    {
        QString path;
        QString outputExt;
        EngineProbe *probe = nullptr; // while its engine runs
        bool finished = false;
        ProbeReport report;
    };

    bool hasRow(const QString &path) const;
    void scheduleStart();
    void startMore();
    void onProbeDone(Entry *entry);
    void appendFinished();
    void appendRow(const Entry &entry);
    void scheduleIdle();

    TaskListModel &m_tasks;
    QString m_enginePath;
    int m_maxParallel;
    int m_timeoutMs = MediaProbe::DefaultTimeoutMs;

    // Queue order. Probes start in this order, so the started entries are
    // always the first m_started ones.
    std::deque<std::unique_ptr<Entry>> m_entries;
    QSet<QString> m_queuedPaths;
    qsizetype m_started = 0;
    int m_running = 0;
    int m_total = 0;
    int m_done = 0;
    bool m_startScheduled = false;
    bool m_idleScheduled = false;
    bool m_countsEnded = true; // total and done belong to a finished run
};
