#pragma once

#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

#include <functional>
#include <optional>

class ConversionRun;
class TaskListModel;

// The one queue of conversion tasks, as long-lived as the task list it works
// on. Tasks are appended to the list (Add, drops, the command line, restore,
// a watched folder, the batch mode's listing) and each waits, runs and ends;
// what runs is decided by the waiting marks the run keeps on the rows, never
// by a copy of the list taken when a batch began:
//
// - start(): every row waits, and the batch runs (Start in the window);
// - retryFailed(): the rows that failed or were stopped wait again and run;
// - arrive(row): a task that arrived by itself waits and runs: it joins the
//   running batch, or begins a quiet batch of its own that takes only what
//   arrived (never rows another batch left waiting);
// - stop(): the running tasks are stopped and nothing waits any more; the
//   rows that were waiting keep their status and wait for the next Start.
//
// A batch that cannot begin (the preparation refuses: no output folder, a
// malformed profile) changes nothing.
class ConversionQueue final : public QObject
{
    Q_OBJECT
public:
    // Who asks for a batch: a person (Start, Retry Failed) or an arrival.
    enum class Asker { User, Arrival };
    // Makes ready for a batch and gives its parameter string, or nothing when
    // the batch cannot begin (a person is told why; an arrival is not).
    using Prepare = std::function<std::optional<QString>(Asker)>;

    ConversionQueue(TaskListModel &tasks, ConversionRun &run, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ConversionQueue)

    void setPrepare(Prepare prepare) { m_prepare = std::move(prepare); }
    ConversionRun &run() const { return m_run; }

    // Each returns false when nothing began (busy, nothing to do, refused).
    bool start();
    bool retryFailed();
    // The rows Retry Failed takes: those that failed or were stopped.
    QList<int> rowsToRetry() const;
    void arrive(int row);
    void stop();
    // Arrivals waiting for the batch that is ending now.
    int arrivalsWaiting() const { return static_cast<int>(m_arrived.size()); }

private:
    bool runRows(const QList<int> &rows, Asker asker);
    void startArrived();

    TaskListModel &m_tasks;
    ConversionRun &m_run;
    Prepare m_prepare;
    QList<QPersistentModelIndex> m_arrived; // arrived while a batch stopped or ended
};
