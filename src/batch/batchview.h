#pragma once

#include "conversion/conversionview.h"
#include "platform/interactive.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <map>

class ConversionRun;
class TaskListModel;

// Messages of the batch mode: one line each on standard error. The end-of-batch
// messages of the run are left out (the summary says it all).
class BatchInteractive final : public IInteractive
{
public:
    explicit BatchInteractive(std::FILE *stream = stderr) : m_stream(stream) {}

    // While quiet, the run's "Complete" and "Cancel" messages are not printed.
    void setQuiet(bool quiet) { m_quiet = quiet; }

    // Printed; `closed` follows at once.
    void showMessage(MessageKind kind, const QString &caption, const QString &text,
                     std::function<void()> closed = {}) override;
    // Printed; nobody is there to answer: No, at once.
    void ask(const QString &caption, const QString &text, DefaultAnswer enter,
             std::function<void(bool)> answered) override;

private:
    void print(const QString &caption, const QString &text);

    std::FILE *m_stream;
    bool m_quiet = false;
};

// A batch opens nothing and never turns the computer off.
class NoShell final : public IShell
{
public:
    bool openPath(const QString &) override { return false; }
    bool openAddress(const QString &) override { return false; }
};

class NoPowerControl final : public IPowerControl
{
public:
    bool canPowerOff() override { return false; }
    void powerOff() override {}
};

// A stopwatch that can be held: the time while paused does not count.
class PausableClock
{
public:
    void start();
    void pause();
    void resume();
    qint64 elapsedMs() const;

private:
    QElapsedTimer m_clock;
    QElapsedTimer m_pausedSince; // valid while paused
    qint64 m_pausedMs = 0;
};

// The conversion run shown on standard error. On a terminal each task has one
// line, rewritten as it moves: its number, name, percent, elapsed and remaining
// time. With several conversions at once the line names every running task
// with its percent, and the times are the batch's; a task that ends gets its
// final line above it. Elsewhere (a log file, a pipe) each start and end of a
// task is one line of its own. Paused time counts in no elapsed or remaining
// time. The task statuses are read from the task list as the run writes them.
class BatchView final : public QObject, public ConversionView
{
    Q_OBJECT
public:
    BatchView(TaskListModel &tasks, QString outputFolder, QString outputExt, bool rename,
              bool terminal, std::FILE *stream = stderr, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(BatchView)

    // The run whose one-second timer this view drives.
    void setRun(ConversionRun *run) { m_run = run; }
    // How many conversions run at once (what the run reads from batchOptions()).
    void setJobs(int jobs) { m_jobs = jobs; }
    // How many tasks the batch will have once every file is read; the tasks
    // are numbered against it (or against the rows there, when more).
    void setExpectedTasks(int count) { m_expectedTasks = count; }
    // Where the outputs go (what the run reads from batchOptions()).
    void setOutputPlace(OutputPlace place) { m_place = place; }
    // What the batch does with its outputs and inputs besides converting them.
    void setAfterwards(const BatchOptions &options) { m_afterwards = options; }

    // Where each task's output went (or was going), by row; empty for a task
    // that never started.
    QStringList outputPaths() const { return m_outputPaths; }

    void setConvertingFile(const QString &) override {}
    void setElapsedText(const QString &) override {}
    void setRemainingText(const QString &) override {}
    void setCurrentProgress(int position, const QString &label) override;
    void setTotalProgress(int position, const QString &) override { m_totalPosition = position; }
    void showProgressPanel(bool) override {}
    void setMemoText(const QString &) override {}
    void setTimerEnabled(bool enabled) override;
    void batchEnded(const QList<int> &rows) override;
    QString outputFolder() const override { return m_outputFolder; }
    QString outputExt() const override { return m_outputExt; }
    BatchOptions batchOptions() const override;
    void closeMainWindow() override {}
    // Nobody is there to count down with: never turned off.
    void requestPowerOffConfirmation(std::function<void(bool)> answered) override { answered(false); }

    // "hh:mm:ss" left of a task at `percent` after `elapsedMs`; empty before
    // any progress.
    static QString RemainingText(qint64 elapsedMs, int percent);

private:
    // A task whose engine works.
    struct Running
    {
        PausableClock clock;
        int position = 0;
        bool paused = false;
    };

    void onStatusChanged(int row);
    void begin(int row);
    void end(int row, const QString &status);
    void tick();
    void printLine();
    void printFinalLine(int row, const QString &status, qint64 elapsedMs);
    QString taskName(int row) const;
    QString number(int row) const;

    TaskListModel &m_tasks;
    QString m_outputFolder;
    QString m_outputExt;
    bool m_rename;
    OutputPlace m_place = OutputPlace::Folder;
    BatchOptions m_afterwards;
    bool m_terminal;
    std::FILE *m_stream;
    ConversionRun *m_run = nullptr;
    int m_jobs = 1;
    int m_expectedTasks = 0;
    QTimer m_timer;
    PausableClock m_batchClock; // from the first task on
    bool m_batchStarted = false;
    QStringList m_outputPaths;
    QStringList m_statuses;
    std::map<int, Running> m_running;
    int m_position = 0; // the current bar: the task's percent with one at a time
    int m_totalPosition = 0;
};
