#pragma once

#include "conversion/enginecommand.h"

#include <QObject>
#include <QProcess>
#include <QStringDecoder>
#include <QTimer>

// Prepares a process the way the engine is always run: standard output and
// standard error merged into one stream, no standard input, a process group
// of its own, and (on Linux) killed by the kernel when the program ends,
// however it ends. Start such a process from the GUI thread only: the kernel
// ties the engine's life to the thread that started it.
void ConfigureEngineProcess(QProcess &process);

// The engine started for one conversion task. Its output arrives as chunks of at
// most ChunkSize bytes, one per read, decoded as UTF-8 (a character split over
// two reads is kept whole). Everything is driven by the process's signals on the
// caller's thread: nothing here ever blocks on a read.
class EngineProcess final : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 ChunkSize = 4095;
    // How long a terminated engine may take to end before it is killed.
    static constexpr int KillDelayMs = 3000;

    explicit EngineProcess(QObject *parent = nullptr);
    ~EngineProcess() override;
    Q_DISABLE_COPY_MOVE(EngineProcess)

    // Starts the engine without waiting for it: started() and later ended()
    // follow, or failedToStart() when it could not be started (perhaps before
    // this returns). Only one engine runs at a time: a running one is refused
    // (nothing is emitted then).
    void launch(const QString &enginePath, const EngineCommand &command);

    // Stops the engine started last: asks it to end, and kills it when it has
    // not ended after KillDelayMs. Nothing happens when none is running. Stop
    // and kill reach the engine's whole process group.
    void TerminateEngine();

    // Kills the engine at once; ended() follows with what it wrote until then.
    void kill();

    // Suspends the engine's process group (SIGSTOP) and continues it
    // (SIGCONT); nothing happens when none is running. A suspended engine
    // neither writes nor ends until it is continued; a pending stop keeps its
    // grace time running, so continue it first.
    void suspendEngine();
    void resumeEngine();

    // Kills the engine and waits until it is gone, without emitting anything
    // more: for a caller that drops the engine's work. The wait is a reap of a
    // killed process (no event loop runs, nothing else is delivered).
    void killAndWait();

    bool isRunning() const;
    QString errorString() const { return m_process.errorString(); }

signals:
    // The engine launched runs.
    void started();
    // One read of the engine's output.
    void chunkRead(const QString &text);
    // The output has ended and the engine has exited; crashed when it died
    // from a signal (also when it was terminated).
    void ended(int exitCode, bool crashed);
    // launch() could not start the engine.
    void failedToStart(const QString &error);

private:
    enum EngineSignal { SignalTerminate, SignalKill, SignalSuspend, SignalContinue };
    void signalEngine(EngineSignal signal);
    void readChunks();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onError(QProcess::ProcessError error);

    QProcess m_process;
    qint64 m_pid = 0; // of the engine started last, for the log
    QStringDecoder m_decoder;
    QTimer m_killTimer;
};
