#pragma once

#include "conversion/conversionview.h"
#include "conversion/engineprocess.h"
#include "conversion/mediaprobe.h"
#include "conversion/outputfile.h"
#include "conversion/taskrecord.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class IInteractive;
class IPowerControl;
class IShell;
class ISleepInhibitor;

// Converts every task of the task list, one after another, with one engine start
// per task. Runs on the GUI thread and is driven by the engine's signals: the
// window stays responsive, Stop and the timer work at any moment.
//
// The engine writes each output under a temporary name beside the final one
// (TemporaryOutputPath). When it exits 0, the output must be there, free of
// write failures in the engine's words, and a probe of it must find the length
// asked for and, when the profile writes video, a video stream; only then does
// it take its final name. A task that fails this is "Failed" with the reason
// as the first of its result notes. Stop, failure and a closed window leave
// the final name as it was. No two tasks of one batch write one path. The
// probe of one output runs while the next task's engine already works; rows
// still take their results in order.
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

    // Stop: while running, asks the engine to end; the run then cancels.
    void requestStop();

    // The window closes during a batch: the current row becomes "Stop", the
    // engine is killed and reaped, and the run ends without a message
    // (finished() is emitted). Nothing happens when idle.
    void abandon();

    // One tick of the one-second timer: elapsed time and the remaining-time
    // estimate from the total progress.
    void timerTick();

    int RunState() const { return m_state; }
    int ElapsedSecs() const { return m_elapsedSecs; }
    int RemainingSecs() const { return m_remainingSecs; }
    int totalPosition() const { return m_totalPosition; }
    int currentPosition() const { return m_currentPosition; }
    double CurrentSecs() const { return m_currentSecs; }
    // Where the current task's output goes (the last task's once the batch ended).
    QString outputPath() const { return m_finalPath; }

    // The path a task's output goes to: the folder, the new name and the output
    // extension, with an index suffix when that file must not be overwritten.
    // The indexed name takes the task's own extension, or `outputExt` when the
    // task has none. A path in `taken` (keys made by PathKey) counts as one that
    // must not be overwritten, whatever `rename` says.
    static QString OutputPathFor(const ltvItemData &task, int row, const QString &outputFolder,
                                 const QString &outputExt, bool rename, const QSet<QString> *taken = nullptr);
    // The form in which paths are compared for OutputPathFor's `taken`.
    static QString PathKey(const QString &path);

signals:
    // The argument text of each engine start, as the program writes it.
    void engineStarted(const QString &commandText);
    void finished();

private:
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
        EngineProbe *probe = nullptr;
    };

    void startTask();
    void showTask();
    void onChunk(const QString &text);
    void onEngineEnded(int exitCode, bool crashed);
    void taskEnded(int exitCode, bool crashed);
    bool wantsVideo() const;
    void startCheck();
    void onChecked();
    void dropCheck();
    // Runs `step` now, or once the output being checked has its result when
    // one is; steps keep their order.
    void afterCheck(std::function<void()> step);
    void runAfterCheck();
    void countTaskProgress();
    void settleRow(int row, const QString &status, const QString &reason, const QString &renameNote,
                   const QString &engineLines);
    void finishTask(const QString &status, const QString &reason);
    void concludeBatch();
    QString chooseOutputPath();
    void discardTemporary();
    void parseProgress(const QString &text);
    void setCurrentPosition(int position);
    void setTotalPosition(int position);
    void writeStatus(const QString &status);
    // On the caption of `row`, the current task's when negative.
    void setCaptionData(int role, const QVariant &value, int row = -1);
    static QString keptOutput(const QString &output);
    void keepOutput(bool keep);
    void cancel(bool duringTask);
    void failToStart(const QString &message);
    void endOfBatch();
    void complete();
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
    QPointer<EngineProcess> m_engine;
    std::unique_ptr<OutputCheck> m_check;          // at most one output in its probe
    std::deque<std::function<void()>> m_afterCheck; // what waits for its result
    QTimer m_nextTask; // lets pending events through before each task

    State m_state = Idle;
    QString m_params;
    QString m_outputFolder; // as typed, for the whole batch
    QString m_outputExt;
    int m_rowCount = 0;
    int m_row = 0;
    int m_failedCount = 0;
    ltvItemData m_task;
    double m_totalSecs = 0;
    double m_doneSecs = 0;
    double m_currentSecs = 0;
    int m_chunkCount = 0;
    int m_elapsedSecs = 0;
    int m_remainingSecs = 0;
    int m_currentPosition = 0;
    int m_totalPosition = 0;
    QString m_output;            // the current engine's output, its end only
    WriteFailureScanner m_writeFailure;
    QString m_finalPath;         // the current task's output
    QString m_temporary;         // where its engine writes; empty once committed or removed
    QString m_renameNote;        // why the output took another name than its own
    QSet<QString> m_taken;       // the batch's inputs in its output folder, and the outputs so far
    QSet<QString> m_batchOutputs;
};
