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

class ConversionRun;
class QStandardItemModel;

// Messages of the batch mode: one line each on standard error. The end-of-batch
// messages of the run are left out (the summary says it all).
class BatchInteractive final : public IInteractive
{
public:
    explicit BatchInteractive(std::FILE *stream = stderr) : m_stream(stream) {}

    // While quiet, the run's "Complete" and "Cancel" messages are not printed.
    void setQuiet(bool quiet) { m_quiet = quiet; }

    void information(const QString &caption, const QString &text) override;
    void warning(const QString &caption, const QString &text) override;
    void plainMessage(const QString &text) override;
    bool question(const QString &caption, const QString &text) override;
    void error(const QString &text) override;

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

// The conversion run shown on standard error. On a terminal each task has one
// line, rewritten as it moves: its number, name, percent, elapsed and remaining
// time. Elsewhere (a log file, a pipe) each change of a task's status is one
// line of its own. The task statuses are read from the task list as the run
// writes them.
class BatchView final : public QObject, public ConversionView
{
    Q_OBJECT
public:
    BatchView(QStandardItemModel &tasks, QString outputFolder, QString outputExt, bool rename,
              bool terminal, std::FILE *stream = stderr, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(BatchView)

    // The run whose one-second timer this view drives.
    void setRun(ConversionRun *run) { m_run = run; }

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
    QString outputFolder() const override { return m_outputFolder; }
    QString outputExt() const override { return m_outputExt; }
    BatchOptions batchOptions() const override;
    void closeMainWindow() override {}
    bool confirmPowerOff() override { return false; }

    // "hh:mm:ss" left of a task at `percent` after `elapsedMs`; empty before
    // any progress.
    static QString RemainingText(qint64 elapsedMs, int percent);

private:
    void onStatusChanged(int row);
    void tick();
    void printLine(bool final);
    QString taskName(int row) const;

    QStandardItemModel &m_tasks;
    QString m_outputFolder;
    QString m_outputExt;
    bool m_rename;
    bool m_terminal;
    std::FILE *m_stream;
    ConversionRun *m_run = nullptr;
    QTimer m_timer;
    QElapsedTimer m_taskClock;
    QStringList m_outputPaths;
    QStringList m_statuses;
    int m_row = -1;
    int m_position = 0;
    int m_totalPosition = 0;
    bool m_lineOpen = false;
};
