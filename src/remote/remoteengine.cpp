#include "remote/remoteengine.h"

#include "platform/logging.h"
#include "conversion/outputcheck.h"
#include "remote/hostpool.h"

#include <QJsonArray>

using namespace WorkerProtocol;

namespace {
// How much of the input may wait in the pipe to the worker.
constexpr qint64 SendAhead = 4 * DataChunk;
} // namespace

RemoteEngine::RemoteEngine(HostPool &pool, ltvItemData task, QString params, QObject *parent)
    : TaskEngine(parent)
    , m_pool(pool)
    , m_task(std::move(task))
    , m_params(std::move(params))
{
    m_killTimer.setSingleShot(true);
    m_killTimer.setInterval(KillDelayMs);
    connect(&m_killTimer, &QTimer::timeout, this, &RemoteEngine::kill);
    m_ticks.setInterval(TickMs);
    connect(&m_ticks, &QTimer::timeout, this, [this] { send(Frame("tick")); });
}

RemoteEngine::~RemoteEngine()
{
    killAndWait();
}

void RemoteEngine::launch(const QString &enginePath, const EngineCommand &command)
{
    if (m_running)
        return;
    m_enginePath = enginePath;
    m_command = command;
    const qsizetype input = command.arguments.indexOf(QStringLiteral("-i"));
    m_input = command.arguments.value(input + 1);
    m_output = command.arguments.value(command.arguments.size() - 1);
    m_inputHash = m_pool.inputHash(m_input, &m_inputSize);
    m_running = true;
    // The task runs from the job's point of view once a host is asked for.
    QMetaObject::invokeMethod(this, [this] { if (!m_over) emit started(); }, Qt::QueuedConnection);
    m_pool.request(this);
}

void RemoteEngine::onSlot(int host, int slot)
{
    m_host = host;
    m_slot = slot;
    m_reader = Reader(true);
    m_result = QJsonObject();
    m_errors.clear();
    qCInfo(lcEngine).noquote() << "task" << m_input << "goes to" << m_pool.hostName(host);
    m_worker = new QProcess(this);
    m_pool.prepareWorker(*m_worker, host, slot);
    connect(m_worker, &QProcess::readyReadStandardOutput, this, &RemoteEngine::onReadable);
    connect(m_worker, &QProcess::readyReadStandardError, this, [this] {
        m_errors += m_worker->readAllStandardError();
        if (m_errors.size() > 4096)
            m_errors.remove(0, m_errors.size() - 4096);
    });
    connect(m_worker, &QProcess::bytesWritten, this, &RemoteEngine::sendInput);
    connect(m_worker, &QProcess::finished, this, &RemoteEngine::onWorkerEnded);
    connect(m_worker, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            hostFailed(tr("the worker cannot be started: %1").arg(m_worker->errorString()));
    });
    m_worker->start();
    QJsonArray arguments;
    for (const QString &argument : std::as_const(m_command.arguments))
        arguments << argument;
    send(Frame("task", QJsonObject{{QStringLiteral("arguments"), arguments},
                                   {QStringLiteral("input"), m_input},
                                   {QStringLiteral("output"), m_output},
                                   {QStringLiteral("size"), m_inputSize},
                                   {QStringLiteral("sha256"), QString::fromLatin1(m_inputHash)}}));
    if (m_paused)
        send(Frame("pause"));
    m_ticks.start();
}

void RemoteEngine::onNoHost(const QString &reason)
{
    emit chunkRead(reason + QLatin1Char('\n'));
    finish(1, false);
}

void RemoteEngine::send(const QByteArray &frame)
{
    if (m_worker && m_worker->state() != QProcess::NotRunning)
        m_worker->write(frame);
}

void RemoteEngine::sendInput()
{
    if (!m_sending.isOpen() || !m_worker)
        return;
    while (m_worker->bytesToWrite() < SendAhead) {
        const QByteArray bytes = m_sending.read(DataChunk);
        if (bytes.isEmpty()) {
            const bool whole = m_sending.atEnd();
            m_sending.close();
            if (whole)
                send(Frame("data-end"));
            else
                onNoHost(tr("The input could not be read."));
            return;
        }
        send(Frame("data", bytes));
    }
}

void RemoteEngine::onReadable()
{
    if (!m_worker)
        return;
    m_reader.feed(m_worker->readAllStandardOutput());
    while (m_worker) {
        const std::optional<Message> message = m_reader.next();
        if (!message)
            break;
        onMessage(*message);
    }
    if (m_worker && m_reader.damaged())
        hostFailed(tr("its answer came damaged (%1)").arg(m_reader.damage()));
}

void RemoteEngine::onMessage(const Message &message)
{
    if (message.type == "input") {
        const bool inPlace = message.json().value(QStringLiteral("inPlace")).toBool();
        qCInfo(lcEngine).noquote() << "input" << (inPlace ? "read in place on" : "sent to") << m_pool.hostName(m_host);
        if (!inPlace) {
            m_sending.setFileName(m_input);
            if (!m_sending.open(QIODevice::ReadOnly)) {
                emit chunkRead(tr("The input could not be read: %1\n").arg(m_sending.errorString()));
                finish(1, false);
                return;
            }
            sendInput();
        }
    } else if (message.type == "out") {
        emit chunkRead(QString::fromUtf8(message.payload));
    } else if (message.type == "result") {
        m_result = message.json();
        if (m_result.value(QStringLiteral("hostFailure")).toBool()) {
            hostFailed(m_result.value(QStringLiteral("reason")).toString());
        } else if (m_result.value(QStringLiteral("size")).toInteger(-1) >= 0) {
            m_receiving.setFileName(m_output);
            m_receivedHash.reset();
            if (!m_receiving.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                emit chunkRead(tr("The output cannot be written here: %1\n").arg(m_receiving.errorString()));
                finish(1, false);
            }
        } else {
            finish(m_result.value(QStringLiteral("exitCode")).toInt(1), m_result.value(QStringLiteral("crashed")).toBool());
        }
    } else if (message.type == "data" && m_receiving.isOpen()) {
        m_receivedHash.addData(message.payload);
        if (m_receiving.write(message.payload) != message.payload.size()) {
            emit chunkRead(tr("The output cannot be written here: %1\n").arg(m_receiving.errorString()));
            m_receiving.remove();
            finish(1, false);
        }
    } else if (message.type == "data-end" && m_receiving.isOpen()) {
        m_receiving.close();
        if (m_receiving.error() != QFileDevice::NoError) {
            emit chunkRead(tr("The output cannot be written here: %1\n").arg(m_receiving.errorString()));
            m_receiving.remove();
            finish(1, false);
        } else if (m_receiving.size() != m_result.value(QStringLiteral("size")).toInteger()
                   || m_receivedHash.result().toHex() != m_result.value(QStringLiteral("sha256")).toString().toLatin1()) {
            m_receiving.remove();
            hostFailed(tr("its output came back damaged"), true);
        } else {
            verify();
        }
    }
}

void RemoteEngine::verify()
{
    if (m_result.value(QStringLiteral("exitCode")).toInt(1) != 0 || !m_pool.hasOtherHost(this, m_host)) {
        onVerified(QString());
        return;
    }
    m_check = new OutputCheck(m_enginePath, m_task, m_params, m_output, this);
    connect(m_check, &OutputCheck::done, this, &RemoteEngine::onVerified);
    m_check->start();
}

void RemoteEngine::onVerified(const QString &reason)
{
    if (m_check)
        std::exchange(m_check, nullptr)->deleteLater();
    if (!reason.isEmpty() && m_suspect < 0) {
        m_suspect = m_host;
        hostFailed(tr("its output failed the check: %1").arg(reason));
        return;
    }
    if (reason.isEmpty() && m_suspect >= 0)
        m_pool.leaveOut(m_suspect, tr("its output of \"%1\" failed the check where %2's passed")
                                       .arg(m_input, m_pool.hostName(m_host)));
    finish(m_result.value(QStringLiteral("exitCode")).toInt(1), m_result.value(QStringLiteral("crashed")).toBool());
}

void RemoteEngine::onWorkerEnded(int exitCode, QProcess::ExitStatus status)
{
    if (!m_worker || m_over || m_check)
        return;
    onReadable();
    // (Its output may be under the check now: the worker's part is done.)
    if (!m_worker || m_over || m_check)
        return;
    if (m_stopping) {
        finish(1, true);
        return;
    }
    const QString said = QString::fromLocal8Bit(m_errors).trimmed().section(QLatin1Char('\n'), -1);
    const QString noise = QString::fromLocal8Bit(m_reader.noise()).trimmed().section(QLatin1Char('\n'), -1);
    QString reason = status == QProcess::CrashExit || exitCode == 255
                         ? tr("the connection was lost")
                         : tr("the worker ended with status %1").arg(exitCode);
    if (!said.isEmpty() || !noise.isEmpty())
        reason += QStringLiteral(": ") + (said.isEmpty() ? noise : said);
    hostFailed(reason);
}

void RemoteEngine::hostFailed(const QString &reason, bool leaveOut)
{
    if (m_over)
        return;
    if (m_stopping) {
        finish(1, true);
        return;
    }
    const int host = m_host;
    emit chunkRead(tr("%1: %2; the task goes to another host.\n").arg(m_pool.hostName(host), reason));
    m_failedOn << host;
    if (leaveOut)
        m_pool.leaveOut(host, reason);
    else
        m_pool.reportFailure(host, reason);
    if (m_receiving.isOpen() || m_receiving.exists())
        m_receiving.remove();
    dropWorker();
    m_pool.request(this);
}

void RemoteEngine::dropWorker(bool graceful)
{
    if (m_check) {
        m_check->abandon();
        std::exchange(m_check, nullptr)->deleteLater();
    }
    m_sending.close();
    if (m_receiving.isOpen())
        m_receiving.close();
    m_ticks.stop();
    if (m_worker) {
        m_worker->disconnect(this);
        if (m_worker->state() == QProcess::NotRunning) {
            m_worker->deleteLater();
        } else if (!graceful) {
            m_worker->kill();
            m_worker->waitForFinished(5000);
            m_worker->deleteLater();
        } else {
            // The end of its input ends the worker, which removes its work
            // folder; one that does not end in time is killed.
            QProcess *worker = m_worker;
            worker->setParent(&m_pool);
            connect(worker, &QProcess::finished, worker, &QObject::deleteLater);
            QTimer::singleShot(KillDelayMs, worker, [worker] { worker->kill(); });
            worker->closeWriteChannel();
        }
        m_worker = nullptr;
    }
    if (m_host >= 0) {
        const int host = std::exchange(m_host, -1);
        m_pool.release(host, std::exchange(m_slot, -1));
    }
}

void RemoteEngine::finish(int exitCode, bool crashed)
{
    if (m_over)
        return;
    m_over = true;
    m_running = false;
    m_killTimer.stop();
    m_pool.cancel(this);
    dropWorker();
    emit ended(exitCode, crashed);
}

void RemoteEngine::TerminateEngine()
{
    if (m_over)
        return;
    m_stopping = true;
    if (!m_worker) {
        m_pool.cancel(this);
        QMetaObject::invokeMethod(this, [this] { finish(1, true); }, Qt::QueuedConnection);
        return;
    }
    send(Frame("stop"));
    m_killTimer.start();
}

void RemoteEngine::kill()
{
    if (m_over)
        return;
    m_stopping = true;
    if (m_worker)
        m_worker->kill();
    else
        TerminateEngine();
}

void RemoteEngine::suspendEngine()
{
    m_paused = true;
    send(Frame("pause"));
}

void RemoteEngine::resumeEngine()
{
    if (!m_paused)
        return;
    m_paused = false;
    send(Frame("resume"));
}

void RemoteEngine::killAndWait()
{
    m_killTimer.stop();
    if (m_over)
        return;
    m_over = true;
    m_running = false;
    m_pool.cancel(this);
    dropWorker(false);
}
