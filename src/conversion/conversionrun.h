#pragma once

#include "conversion/batchend.h"
#include "conversion/conversionjob.h"
#include "conversion/conversionview.h"
#include "conversion/outputnaming.h"
#include "conversion/taskrecord.h"
#include "conversion/workfolder.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class IInteractive;
class IPowerControl;
class IShell;
class ISleepInhibitor;

// Converts the tasks of the task list that wait in its queue, one
// ConversionJob per task, by default one after another; with
// BatchOptions::jobs above 1, up to that many engines work at once, the next
// waiting row in list order starting as one ends. A row waits while its
// caption item carries TaskListModel::QueuedRole: a batch begins with the rows
// asked for, and rows can join it while it runs (join()); nothing else decides
// what runs. Runs on the GUI thread and is driven by the jobs' signals: the
// window stays responsive, Stop, Pause and the timer work at any moment, and
// nothing here waits.
//
// The run starts jobs, sums their progress and time, and writes their rows;
// each job converts, checks and commits its own output (see ConversionJob),
// OutputNaming gives each its path and BatchEnd carries out the end. The
// output of one task is checked while the next task's engine already works;
// with one engine at a time rows still take their results in order, with
// several each running row shows its percent and rows finish as their jobs do.
class ConversionRun final : public QObject
{
    Q_OBJECT
public:
    // Ending: the batch is over and its end (a message, the power-off
    // countdown) is being carried out.
    enum State { Idle = 0, Running = 1, StopRequested = 2, Ending = 3 };

    static constexpr int KeptOutputLines = ConversionJob::KeptOutputLines;
    static constexpr qsizetype KeptOutputChars = ConversionJob::KeptOutputChars;

    ConversionRun(TaskListModel &tasks, ConversionView &view, IInteractive &interactive,
                  IShell &shell, IPowerControl &power, QObject *parent = nullptr);
    ~ConversionRun() override;
    Q_DISABLE_COPY_MOVE(ConversionRun)

    void setEnginePath(const QString &path) { m_enginePath = path; }
    QString enginePath() const { return m_enginePath; }
    // How long an engine's work may stand still before it is stopped
    // (ConversionJob::Order::stallMs).
    void setStallMs(int ms) { m_stallMs = ms; }
    // Where the tasks' engines run (ConversionJob::Order::makeEngine).
    void setEngineFactory(TaskEngineFactory factory) { m_engineFactory = std::move(factory); }

    // Keeps the machine from suspending while a batch runs (may be null).
    void setSleepInhibitor(ISleepInhibitor *inhibitor) { m_inhibitor = inhibitor; }

    // Begins the batch with the parameter string `params` and returns at once;
    // finished() is emitted when the batch has ended, was cancelled or failed.
    // The output folder and the output extension are read here, once, and
    // serve the whole batch. Ignored unless idle.
    void RunConversion(const QString &params);
    // The same for the rows `rows` only (row numbers; they wait in list
    // order): the other rows keep what they show, and the bars, the end
    // message and ConversionView::batchEnded() count only the rows of the
    // batch. A quiet batch ends without the end of a batch (no message, no
    // end-of-batch choice): a batch nobody started by hand.
    void RunConversion(const QString &params, const QList<int> &rows, bool quiet = false);
    // Rows that join the running batch: they wait behind the rows waiting
    // now and count in its bars and its end. False (nothing changes) unless
    // running and not stopping.
    bool join(const QList<int> &rows);
    // While held open, a batch whose rows are all over does not end: more
    // rows are about to join. Letting go ends it once nothing runs.
    void holdOpen(bool open);
    bool isHeldOpen() const { return m_heldOpen; }
    // Inputs about to be listed: from the next batch on, no output takes
    // their paths (rows that join a running batch are taken as they come).
    void reserveInputs(const QStringList &inputs) { m_reservedInputs = inputs; }
    // A file no output of this batch may replace (an output kept from an
    // earlier run), until it is let go again.
    void keepFile(const QString &path)
    {
        m_keptFiles << path;
        m_naming.keep(path);
    }
    void letGoOfFile(const QString &path)
    {
        m_keptFiles.removeOne(path);
        m_naming.letGo(path);
    }
    // Whether the row waits in the queue.
    bool isQueued(int row) const;

    // Stop: while running, every job is stopped (a paused engine is
    // continued first); the run then cancels. Nothing to stop once the batch
    // is ending.
    void requestStop();

    // Pause: every running engine's process group is suspended, the running
    // rows and the current file say "Paused", the elapsed time stands still
    // and the machine may sleep again; no further engine starts. Resume
    // continues them. Each does nothing when it does not apply (pause when not
    // running or already paused, resume when not paused).
    void pause();
    void resume();
    bool isPaused() const { return m_paused; }

    // The window closes during a batch: every row whose job is not over
    // becomes "Stop", the engines are killed and reaped (paused ones too),
    // a message or countdown of the end no longer acts, and the run ends
    // without a word (finished() is emitted). Nothing happens when idle.
    void abandon();

    // One tick of the one-second timer: elapsed time and the remaining-time
    // estimate from the total progress of the batch. Ticks while paused count
    // nothing.
    void timerTick();

    int RunState() const { return m_state; }
    // How many engines the batch runs at once (taken when it began).
    int jobLimit() const { return m_jobLimit; }
    // How many engines run now.
    int runningEngines() const;
    int ElapsedSecs() const { return m_elapsedSecs; }
    int RemainingSecs() const { return m_remainingSecs; }
    int totalPosition() const { return m_totalPosition; }
    int currentPosition() const { return m_currentPosition; }
    // Where the task started last writes its output (the last task's once the batch ended).
    QString outputPath() const { return m_lastOutputPath; }
    // Where the task of `row` writes its output; empty for a row not started in this batch.
    QString outputPathOf(int row) const { return m_rowOutputs.value(row); }
    // The output paths of the last batch's rows (empty for a row not started).
    const QStringList &outputPaths() const { return m_rowOutputs; }

    // True for the statuses of a row whose engine works: "Converting",
    // "Paused", or its percent ("37%") when several engines run.
    static bool IsRunningStatus(const QString &status);

signals:
    // The argument text of each engine start, as the program writes it.
    void engineStarted(const QString &commandText);
    // A job of the batch (the task of `row`) changed its phase.
    void jobPhaseChanged(int row, ConversionJob::Phase phase);
    // The batch began, was paused or resumed, began to end, or ended.
    void stateChanged();
    void finished();

private:
    // A job of the batch and what its row has been shown of it.
    struct Entry
    {
        ConversionJob *job = nullptr; // a child of the run
        QString renameNote;           // why the output took another name than its own
        int position = 0;             // percent of its clip
        bool shown = false;           // its row shows it running
        bool percentShown = false;    // its row has shown its percent
        bool counted = false;         // its clip counts as done in the total
        std::optional<OriginalFile> original; // its input as it was when it began
    };

    void startTask();
    // The first waiting row in list order, or -1.
    int nextQueued();
    void setQueued(int row, bool queued);
    // No row waits any more: what waited is left for the next Start.
    void clearQueue();
    Entry *entryOf(const ConversionJob *job);
    void onPhaseChanged(ConversionJob *job, ConversionJob::Phase phase);
    void onProgress(ConversionJob *job);
    // Gives each job its turn: with one engine at a time, a job's row shows
    // it and its output is checked only once every earlier job's row has its
    // result; with several, at once. Settles the rows of the jobs that are over.
    void advance();
    void settle(const Entry &entry);
    // What comes next: more jobs while there is room, or the end of the
    // batch once no job is left.
    void proceed();
    void conclude();
    // Tells the view, once per batch, that the batch is over.
    void endBatch();
    void onEnded(bool closeWindow);
    void stopJobs();
    int heldSlots() const;
    void showTask(Entry &entry);
    void countTaskProgress(Entry &entry);
    void settleRow(int row, const QString &status, const QString &reason, const QString &renameNote,
                   const QString &engineLines);
    // What follows a task's end: its original kept, moved to the trash or
    // deleted (after a committed output only), then its done-command. A note
    // for the row's tip when there is one.
    QString afterTask(const Entry &entry);
    void runBatchDoneCommand(bool stopped);
    int leastPosition() const;
    double runningSecs() const;
    void setCurrentPosition(int position);
    void setTotalPosition(int position);
    void writeStatus(const Entry &entry, const QString &status);
    QString runningStatus(const Entry &entry) const;
    void showRunningFiles(const Entry *shownNow = nullptr);
    void setCaptionData(int row, int role, const QVariant &value);
    void takeSleep();
    void releaseSleep();
    void backToIdle();

    TaskListModel &m_tasks;
    ConversionView &m_view;
    ISleepInhibitor *m_inhibitor = nullptr;
    bool m_inhibiting = false;
    QString m_enginePath;
    int m_stallMs = ConversionJob::DefaultStallMs;
    TaskEngineFactory m_engineFactory;
    OutputNaming m_naming;
    WorkFolders m_workFolders; // where the batch's engines write
    BatchEnd m_end;
    std::vector<std::unique_ptr<Entry>> m_entries; // in the order their jobs started
    QTimer m_nextTask;            // lets pending events through before each task
    bool m_advancing = false;
    bool m_advanceAgain = false;

    State m_state = Idle;
    bool m_paused = false;
    QString m_startFailure; // the message of an engine that could not start
    int m_jobLimit = 1;
    QString m_params;
    QList<int> m_batchRows; // the rows asked to run in this batch, as they were asked
    int m_rowCount = 0;     // how many of them
    int m_scanFrom = 0;     // no row before this one waits
    bool m_heldOpen = false;
    QStringList m_reservedInputs;
    QStringList m_keptFiles;
    bool m_quiet = false;
    int m_failedCount = 0;
    int m_completeCount = 0;
    int m_notSmallerCount = 0;
    double m_totalSecs = 0;
    double m_doneSecs = 0;
    int m_elapsedSecs = 0;
    int m_remainingSecs = 0;
    int m_currentPosition = 0;
    int m_totalPosition = 0;
    QString m_runningLabel; // what the current file label says while not paused
    QString m_lastOutputPath;
    QStringList m_rowOutputs;
};
