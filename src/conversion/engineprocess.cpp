#include "conversion/engineprocess.h"

#ifdef Q_OS_UNIX
#include <csignal>
#endif

void ConfigureEngineProcess(QProcess &process)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
#ifdef Q_OS_UNIX
    // The engine shares the program's terminal input. When the program runs in
    // the background of a terminal, the engine's terminal set-up would stop it
    // for good (SIGTTOU/SIGTTIN); ignoring those lets it go on.
    process.setChildProcessModifier([] {
        ::signal(SIGTTOU, SIG_IGN);
        ::signal(SIGTTIN, SIG_IGN);
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
    connect(&m_killTimer, &QTimer::timeout, &m_process, &QProcess::kill);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &EngineProcess::readChunks);
    connect(&m_process, &QProcess::finished, this, &EngineProcess::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &EngineProcess::onError);
}

EngineProcess::~EngineProcess()
{
    // Never leave an engine behind: kill it and reap it.
    killAndWait();
}

bool EngineProcess::start(const QString &enginePath, const EngineCommand &command)
{
    if (isRunning())
        return false;
    m_decoder.resetState();
    m_process.start(enginePath, command.arguments, QIODevice::ReadOnly);
    return m_process.waitForStarted(-1);
}

void EngineProcess::launch(const QString &enginePath, const EngineCommand &command)
{
    if (isRunning())
        return;
    m_decoder.resetState();
    m_process.start(enginePath, command.arguments, QIODevice::ReadOnly);
}

bool EngineProcess::waitForEnded(int ms)
{
    if (!isRunning())
        return true;
    return m_process.waitForFinished(ms);
}

void EngineProcess::kill()
{
    if (isRunning())
        m_process.kill();
}

void EngineProcess::killAndWait()
{
    m_killTimer.stop();
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void EngineProcess::TerminateEngine()
{
    if (!isRunning())
        return;
    m_process.terminate();
    m_killTimer.start();
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
    emit ended(exitCode, status == QProcess::CrashExit);
}

void EngineProcess::onError(QProcess::ProcessError error)
{
    if (error == QProcess::FailedToStart)
        emit failedToStart(m_process.errorString());
}
