#pragma once

#include "conversion/conversionview.h"
#include "conversion/engineprocess.h"
#include "conversion/taskrecord.h"

#include <QObject>
#include <QPointer>

class IInteractive;
class IPowerControl;
class IShell;

// Converts every task of the task list, one after another, with one engine start
// per task. Runs on the GUI thread and is driven by the engine's signals: the
// window stays responsive, Stop and the timer work at any moment.
class ConversionRun final : public QObject
{
    Q_OBJECT
public:
    enum State { Idle = 0, Running = 1, StopRequested = 2 };

    // Bounded share of each task's engine output kept with the task.
    static constexpr qsizetype KeptOutputChars = 64 * 1024;

    ConversionRun(QStandardItemModel &tasks, ConversionView &view, IInteractive &interactive,
                  IShell &shell, IPowerControl &power, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ConversionRun)

    void setEnginePath(const QString &path) { m_enginePath = path; }
    QString enginePath() const { return m_enginePath; }

    // Begins the batch with the parameter string `params` and returns at once;
    // finished() is emitted when the batch has ended, was cancelled or failed.
    // Ignored while a batch runs.
    void RunConversion(const QString &params);

    // Stop: while running, asks the engine to end; the run then cancels.
    void requestStop();

    // One tick of the one-second timer: elapsed time and the remaining-time
    // estimate from the total progress.
    void timerTick();

    int RunState() const { return m_state; }
    int ElapsedSecs() const { return m_elapsedSecs; }
    int RemainingSecs() const { return m_remainingSecs; }
    int totalPosition() const { return m_totalPosition; }
    int currentPosition() const { return m_currentPosition; }
    double CurrentSecs() const { return m_currentSecs; }

    // The path a task's output goes to: the folder, the new name and the output
    // extension, with an index suffix when that file must not be overwritten.
    static QString OutputPathFor(const ltvItemData &task, int row, const QString &outputFolder,
                                 const QString &outputExt, bool rename);

signals:
    // The argument text of each engine start, as the program writes it.
    void engineStarted(const QString &commandText);
    void finished();

private:
    void startTask();
    void onChunk(const QString &text);
    void onEngineEnded(int exitCode, bool crashed);
    void parseProgress(const QString &text);
    void setCurrentPosition(int position);
    void setTotalPosition(int position);
    void writeStatus(const QString &status);
    void keepOutput();
    void cancel(bool duringTask);
    void failToStart(const QString &message);
    void endOfBatch();
    void finish();

    QStandardItemModel &m_tasks;
    ConversionView &m_view;
    IInteractive &m_interactive;
    IShell &m_shell;
    IPowerControl &m_power;
    QString m_enginePath;
    QPointer<EngineProcess> m_engine;

    State m_state = Idle;
    QString m_params;
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
    QString m_output;
};
