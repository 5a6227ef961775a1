#include "conversion/engineprocess.h"

#include "platform/logging.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

void ConfigureEngineProcess(QProcess &process)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    // The engine reads nothing of ours. Given a terminal it would switch the
    // terminal's modes for its keyboard commands (and leave them switched
    // when it is killed); in a process group of its own it may not read the
    // terminal anyway.
    process.setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_UNIX
    const pid_t program = ::getpid();
    process.setChildProcessModifier([program] {
        // A group of its own: a terminal's Ctrl+C reaches only the program,
        // which stops the engine itself, and a stop reaches everything the
        // engine started (the engine is signalled as a group).
        ::setpgid(0, 0);
        // Writing to or setting up the terminal from outside the terminal's
        // foreground group would stop the engine for good.
        ::signal(SIGTTOU, SIG_IGN);
        ::signal(SIGTTIN, SIG_IGN);
        // Stop asks with SIGTERM, also when the program was started with it
        // ignored.
        ::signal(SIGTERM, SIG_DFL);
#ifdef Q_OS_LINUX
        // The engine ends with the program, however the program ends. The
        // kernel tells the thread that started it, so engines are started from
        // the GUI thread only. Should the program have ended before this
        // request, the engine has a new parent already: end at once.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != program)
            ::_exit(127);
#endif
    });
#endif
}

EngineProcess::EngineProcess(QObject *parent)
    : QObject(parent)
    , m_decoder(QStringDecoder::Utf8)
{
    ConfigureEngineProcess(m_process);
    m_killTimer.setSingleShot(true);
    m_killTimer.setInterval(KillDelayMs);
    connect(&m_killTimer, &QTimer::timeout, this, [this] {
        qCInfo(lcEngine) << "engine" << m_process.processId() << "still running after the grace time: killed";
        signalEngine(SignalKill);
    });
    connect(&m_process, &QProcess::started, this, &EngineProcess::started);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &EngineProcess::readChunks);
    connect(&m_process, &QProcess::started, this, [this] { m_pid = m_process.processId(); });
    connect(&m_process, &QProcess::finished, this, &EngineProcess::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &EngineProcess::onError);
}

EngineProcess::~EngineProcess()
{
    // Never leave an engine behind: kill it and reap it.
    killAndWait();
}

void EngineProcess::launch(const QString &enginePath, const EngineCommand &command)
{
    if (isRunning())
        return;
    m_decoder.resetState();
    qCInfo(lcEngine).noquote() << "start" << ShellCommandLine(enginePath, command.arguments);
    m_process.start(enginePath, command.arguments, QIODevice::ReadOnly);
}

void EngineProcess::kill()
{
    if (isRunning())
        signalEngine(SignalKill);
}

void EngineProcess::suspendEngine()
{
    if (isRunning())
        signalEngine(SignalSuspend);
}

void EngineProcess::resumeEngine()
{
    if (isRunning())
        signalEngine(SignalContinue);
}

void EngineProcess::killAndWait()
{
    m_killTimer.stop();
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        qCInfo(lcEngine) << "engine" << m_process.processId() << "killed at once";
        signalEngine(SignalKill);
        m_process.waitForFinished(5000);
    }
}

void EngineProcess::TerminateEngine()
{
    if (!isRunning())
        return;
    qCInfo(lcEngine) << "engine" << m_process.processId() << "asked to end";
    signalEngine(SignalTerminate);
    m_killTimer.start();
}

void EngineProcess::signalEngine(EngineSignal signal)
{
#ifdef Q_OS_UNIX
    const auto pid = static_cast<pid_t>(m_process.processId());
    if (pid > 0) {
        const int numbers[] = {SIGTERM, SIGKILL, SIGSTOP, SIGCONT};
        const int number = numbers[signal];
        // The whole group; the engine alone while it has not made its group
        // yet (just after the start).
        if (::kill(-pid, number) != 0)
            ::kill(pid, number);
        return;
    }
#endif
    if (signal == SignalKill)
        m_process.kill();
    else if (signal == SignalTerminate)
        m_process.terminate();
}

bool EngineProcess::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

void EngineProcess::readChunks()
{
    while (m_process.bytesAvailable() > 0) {
        const QByteArray bytes = m_process.read(ChunkSize);
        if (bytes.isEmpty())
            break;
        emit chunkRead(m_decoder.decode(bytes));
    }
}

void EngineProcess::onFinished(int exitCode, QProcess::ExitStatus status)
{
    m_killTimer.stop();
    readChunks();
    if (status == QProcess::CrashExit)
        qCInfo(lcEngine) << "engine" << m_pid << "crashed";
    else
        qCInfo(lcEngine) << "engine" << m_pid << "exited with" << exitCode;
    emit ended(exitCode, status == QProcess::CrashExit);
}

void EngineProcess::onError(QProcess::ProcessError error)
{
    if (error == QProcess::FailedToStart) {
        qCWarning(lcEngine).noquote() << "engine could not start:" << m_process.errorString();
        emit failedToStart(m_process.errorString());
    }
}
