#pragma once

#include "conversion/conversionview.h"
#include "conversion/engineprocess.h"
#include "conversion/inprocessprobe.h"
#include "conversion/mediaprobe.h"
#include "conversion/outputfile.h"
#include "conversion/taskrecord.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class IInteractive;
class IPowerControl;
class IShell;
class ISleepInhibitor;

// Converts every task of the task list with one engine start per task, by
// default one after another; with BatchOptions::jobs above 1, up to that many
// engines work at once, the next row in list order starting as one ends. Runs
// on the GUI thread and is driven by the engines' signals: the window stays
// responsive, Stop, Pause and the timer work at any moment.
//
// The engine writes each output under a temporary name beside the final one
// (TemporaryOutputPath). When it exits 0, the output must be there, free of
// write failures in the engine's words, and a probe of it must find the length
// asked for and, when the profile writes video, a video stream; only then does
// it take its final name. A task that fails this is "Failed" with the reason
// as the first of its result notes. Stop, failure and a closed window leave
// the final name as it was. No two tasks of one batch write one path. The
// probe of one output runs while the next task's engine already works. With
// one engine at a time, rows still take their results in order; with several,
// each running row shows its percent and rows finish as their engines do.
class ConversionRun final : public QObject
{
    Q_OBJECT
public:
    enum State { Idle = 0, Running = 1, StopRequested = 2 };

    // What a failed or stopped task keeps of its engine's output: its last
    // lines, within a bound; a completed task keeps none.
    static constexpr int KeptOutputLines = 2 * TaskListModel::FailureTipLines;
    static constexpr qsizetype KeptOutputChars = 4096;
    // How long the probe of an output may take.
    static constexpr int CheckTimeoutMs = MediaProbe::DefaultTimeoutMs;

    ConversionRun(QStandardItemModel &tasks, ConversionView &view, IInteractive &interactive,
                  IShell &shell, IPowerControl &power, QObject *parent = nullptr);
    ~ConversionRun() override;
    Q_DISABLE_COPY_MOVE(ConversionRun)

    void setEnginePath(const QString &path) { m_enginePath = path; }
    QString enginePath() const { return m_enginePath; }

    // Keeps the machine from suspending while a batch runs (may be null).
    void setSleepInhibitor(ISleepInhibitor *inhibitor) { m_inhibitor = inhibitor; }

    // Begins the batch with the parameter string `params` and returns at once;
    // finished() is emitted when the batch has ended, was cancelled or failed.
    // The output folder and the output extension are read here, once, and
    // serve the whole batch. Ignored while a batch runs.
    void RunConversion(const QString &params);

    // Stop: while running, asks every engine to end (a paused one is
    // continued first); the run then cancels.
    void requestStop();

    // Pause: every running engine's process group is suspended, the running
    // rows and the current file say "Paused", the elapsed time stands still
    // and the machine may sleep again; no further engine starts. Resume
    // continues them. Each does nothing when it does not apply (pause when not
    // running or already paused, resume when not paused).
    void pause();
    void resume();
    bool isPaused() const { return m_paused; }

    // The window closes during a batch: every row whose engine works becomes
    // "Stop", the engines are killed and reaped (paused ones too), and the run
    // ends without a message (finished() is emitted). Nothing happens when idle.
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

    // The path a task's output goes to: the folder, the new name and the output
    // extension, with an index suffix when that file must not be overwritten.
    // The indexed name takes the task's own extension, or `outputExt` when the
    // task has none. A path in `taken` (keys made by PathKey) counts as one that
    // must not be overwritten, whatever `rename` says.
    static QString OutputPathFor(const ltvItemData &task, int row, const QString &outputFolder,
                                 const QString &outputExt, bool rename, const QSet<QString> *taken = nullptr);
    // The form in which paths are compared for OutputPathFor's `taken`.
    static QString PathKey(const QString &path);
    // True for the statuses of a row whose engine works: "Converting",
    // "Paused", or its percent ("37%") when several engines run.
    static bool IsRunningStatus(const QString &status);

signals:
    // The argument text of each engine start, as the program writes it.
    void engineStarted(const QString &commandText);
    // The batch began, was paused or resumed, or ended.
    void stateChanged();
    void finished();

private:
    // One task whose engine was started: what it writes, what it said, how far
    // it got.
    struct Job
    {
        int row = 0;
        ltvItemData task;
        EngineProcess *engine = nullptr; // null once it has ended
        QString finalPath;
        QString temporary;  // where its engine writes; empty once committed or removed
        QString renameNote; // why the output took another name than its own
        QString output;     // its engine's output, its end only
        WriteFailureScanner writeFailure;
        int chunkCount = 0;
        double currentSecs = 0;
        int position = 0;     // percent of its clip
        bool shown = false;   // its row shows it running
        bool counted = false; // its percent has been shown in its row
    };
    using JobPtr = std::shared_ptr<Job>;

    // An output probed while the next task's engine works, and what its row
    // gets when the probe is done.
    struct OutputCheck
    {
        int row = 0;
        QString finalPath;
        QString temporary;
        QString renameNote;
        QString engineOutput; // its end, kept should the output fail
        double expectedSecs = 0;
        bool wantVideo = false;
        FileProbe *probe = nullptr;
    };

    void startTask();
    void showTask(Job &job);
    void onChunk(Job &job, const QString &text);
    void onEngineEnded(const JobPtr &job, int exitCode, bool crashed);
    void taskEnded(const JobPtr &job, int exitCode, bool crashed);
    bool wantsVideo(const Job &job) const;
    void startCheck(const JobPtr &job);
    void onChecked(FileProbe *probe);
    void dropChecks();
    // With one engine at a time: runs `step` now, or once the output being
    // checked has its result when one is; steps keep their order. With
    // several, at once.
    void afterCheck(std::function<void()> step);
    void runAfterCheck();
    // What comes next: more engines while there is room, or the end of the
    // batch once nothing runs and nothing is checked.
    void proceed();
    void conclude();
    void countTaskProgress(const Job &job);
    void removeJob(const Job &job);
    void settleRow(int row, const QString &status, const QString &reason, const QString &renameNote,
                   const QString &engineLines);
    void finishTask(const JobPtr &job, const QString &status, const QString &reason);
    QString chooseOutputPath(Job &job);
    void discardTemporary(Job &job);
    void parseProgress(Job &job, const QString &text);
    int leastPosition() const;
    double runningSecs() const;
    void setCurrentPosition(int position);
    void setTotalPosition(int position);
    void writeStatus(Job &job, const QString &status);
    QString runningStatus(const Job &job) const;
    void showRunningFiles();
    void setCaptionData(int row, int role, const QVariant &value);
    static QString keptOutput(const QString &output);
    void keepOutput(Job &job, bool keep);
    void startFailed(const JobPtr &job, const QString &message);
    void endOfBatch();
    void complete();
    void takeSleep();
    void releaseSleep();
    void backToIdle();
    void finish();

    QStandardItemModel &m_tasks;
    ConversionView &m_view;
    IInteractive &m_interactive;
    IShell &m_shell;
    IPowerControl &m_power;
    ISleepInhibitor *m_inhibitor = nullptr;
    bool m_inhibiting = false;
    QString m_enginePath;
    std::vector<JobPtr> m_jobs;                      // in the order they started
    std::vector<std::unique_ptr<OutputCheck>> m_checks;
    std::deque<std::function<void()>> m_afterCheck; // what waits for a check's result
    QTimer m_nextTask; // lets pending events through before each task

    State m_state = Idle;
    bool m_paused = false;
    bool m_concluding = false; // the end of the batch is being carried out
    QString m_startFailure;    // the message of an engine that could not start
    int m_jobLimit = 1;
    QString m_params;
    QString m_outputFolder; // as typed, for the whole batch
    QString m_outputExt;
    int m_rowCount = 0;
    int m_nextRow = 0;
    int m_failedCount = 0;
    double m_totalSecs = 0;
    double m_doneSecs = 0;
    int m_elapsedSecs = 0;
    int m_remainingSecs = 0;
    int m_currentPosition = 0;
    int m_totalPosition = 0;
    QString m_runningLabel;   // what the current file label says while not paused
    QString m_lastOutputPath;
    QStringList m_rowOutputs;
    QSet<QString> m_taken;       // the batch's inputs in its output folder, and the outputs so far
    QSet<QString> m_batchOutputs;
};
