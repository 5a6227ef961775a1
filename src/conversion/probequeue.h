#pragma once

#include "conversion/inprocessprobe.h"
#include "conversion/mediaprobe.h"
#include "conversion/taskrecord.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <atomic>
#include <deque>
#include <memory>
#include <vector>

class QThreadPool;

// Adds files to the task list with what the engine's report says of each. Each file is
// read in-process by the media library on a worker thread of the queue's own pool; a
// file the library cannot tell about is probed by the engine, a process of its own
// driven by its signals. Up to maxParallel probes run at once, and the caller's thread
// never waits for one. Rows are appended in the order the files were queued, each once
// its own probe and every earlier one is done: at once, or, when rows came less than
// AppendIntervalMs before, together with the others that finish meanwhile, so that a
// view of the list is laid out and painted once for many small files, not once for each.
class ProbeQueue final : public QObject
{
    Q_OBJECT
public:
    explicit ProbeQueue(TaskListModel &tasks, QObject *parent = nullptr);
    ~ProbeQueue() override;
    Q_DISABLE_COPY_MOVE(ProbeQueue)

    // How long the destructor waits for told workers to return.
    static constexpr int StopWaitMs = 2000;
    static constexpr int AppendIntervalMs = 50;

    void setEnginePath(const QString &path);
    void setMaxParallel(int count);        // default QThread::idealThreadCount() (at least 1)
    // A probe still running after this is given up (its engine killed, its worker told to
    // stop) and its row keeps what it learnt (default MediaProbe::DefaultTimeoutMs).
    void setTimeoutMs(int ms);
    // Queues a file. False (nothing queued) when a row's caption or a queued path equals it
    // exactly (letter case counts). outputExt becomes the new row's NewExt (TaskFromProbe),
    // foundUnder the folder the row's input was found under.
    bool enqueue(const QString &path, const QString &outputExt, const QString &foundUnder = QString());
    // A file a row already has may be queued again (another row for it): a
    // watched file that came back, or was written again, converts once more.
    void setAllowListed(bool allow) { m_allowListed = allow; }
    bool isBusy() const;                   // files queued or probing
    int total() const;                     // files queued since the queue was last idle
    int done() const;                      // of those, how many are handled (row added or dropped)
    // Drops the files not yet probed, stops the running probes (no engine process left
    // behind, reaped; a worker's late result is dropped), and adds the rows whose probe
    // had completed, in queue order.
    void cancel();

    int maxParallel() const { return m_maxParallel; }
    int running() const { return m_running; } // probes under way now
    // Workers of probes given up that have not returned yet (a read stuck in the kernel).
    int lingering() const { return m_lingering->load(); }

signals:
    void taskAdded(int row);               // a row was appended
    void progress(int done, int total);
    void idle();                           // every queued file is handled (also after cancel)

private:
    struct Entry
    {
        QString path;
        QString outputExt;
        QString foundUnder;
        FileProbe *probe = nullptr; // while it runs
        bool finished = false;
        ProbeReport report;
    };

    void scheduleStart();
    void startMore();
    void onProbeDone(Entry *entry);
    void scheduleAppend();
    void appendNow();
    static void stop(Entry &entry);
    void appendFinished();
    // Appends the rows of finished entries as one block.
    void appendRows(const std::vector<std::unique_ptr<Entry>> &entries);
    void scheduleIdle();

    TaskListModel &m_tasks;
    QString m_enginePath;
    int m_maxParallel;
    int m_timeoutMs = MediaProbe::DefaultTimeoutMs;
    QThreadPool *m_pool; // owned; see the destructor
    std::shared_ptr<std::atomic_int> m_lingering;

    // Queue order. Probes start in this order, so the started entries are
    // always the first m_started ones.
    std::deque<std::unique_ptr<Entry>> m_entries;
    QSet<QString> m_queuedPaths;
    bool m_allowListed = false;
    qsizetype m_started = 0;
    int m_running = 0;
    int m_total = 0;
    int m_done = 0;
    bool m_startScheduled = false;
    bool m_idleScheduled = false;
    bool m_countsEnded = true; // total and done belong to a finished run
    QTimer m_appendTimer;
    QElapsedTimer m_sinceAppend;
};
