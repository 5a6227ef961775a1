#include "remote/worker.h"

#include "conversion/engineprocess.h"
#include "remote/slurmtask.h"
#include "remote/workerprotocol.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QSocketNotifier>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace WorkerProtocol;

namespace {

// What a worker tells its controller, read by a person there.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(Worker)
};

// What the host lacks when an engine's words say so: such a failure is the
// host's, not the task's.
const char *const HostFailures[] = {"No space left on device", "Read-only file system", "Input/output error",
                                    "Disk quota exceeded", "Permission denied"};

bool writeAll(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

QByteArray fileHash(const QString &path, qint64 *size = nullptr)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    if (size)
        *size = file.size();
    return hash.result().toHex();
}

// Removes the work folders of this machine's workers that are gone (killed
// outright: nobody else would remove them).
void tidyRuns(const QDir &runs)
{
    const QString prefix = QSysInfo::machineHostName() + QLatin1Char('-');
    for (const QString &name : runs.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!name.startsWith(prefix))
            continue;
        const pid_t pid = name.mid(prefix.size()).section(QLatin1Char('-'), 0, 0).toInt();
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QDir(runs.filePath(name)).removeRecursively();
    }
}

// One task: read the description, take the input, run the engine, send the
// result and the output back.
class Worker final : public QObject
{
public:
    Worker() : m_reader(false), m_input(STDIN_FILENO, QSocketNotifier::Read)
    {
        connect(&m_input, &QSocketNotifier::activated, this, [this] { readInput(); });
        m_silence.setSingleShot(true);
        connect(&m_silence, &QTimer::timeout, this, [this] { lost(); });
        m_silence.start(SilenceMs);
        connect(&m_engine, &TaskEngine::chunkRead, this, [this](const QString &text) { onEngineOutput(text); });
        connect(&m_engine, &TaskEngine::started, this, [this] { send(Frame("started")); });
        connect(&m_engine, &TaskEngine::ended, this, [this](int code, bool crashed) { onEngineEnded(code, crashed); });
        connect(&m_engine, &TaskEngine::failedToStart, this, [this](const QString &error) {
            finish(127, false, true, Texts::tr("the engine does not start on this host: %1").arg(error));
        });
        send(Greeting);
    }

private:
    void send(const QByteArray &bytes)
    {
        if (!writeAll(bytes))
            lost();
    }

    // The controller is gone: nothing is left to do for it.
    void lost()
    {
        m_engine.killAndWait();
        m_folder.reset();
        ::_exit(WorkerLost);
    }

    void readInput()
    {
        char buffer[64 * 1024];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            return;
        if (count <= 0) {
            m_input.setEnabled(false);
            lost();
        }
        m_silence.start(SilenceMs);
        m_reader.feed(QByteArray(buffer, static_cast<qsizetype>(count)));
        while (const std::optional<Message> message = m_reader.next())
            onMessage(*message);
        if (m_reader.damaged())
            finish(1, false, true, Texts::tr("the task came damaged: %1").arg(m_reader.damage()));
    }

    void onMessage(const Message &message)
    {
        if (message.type == "task")
            onTask(message.json());
        else if (message.type == "data")
            onData(message.payload);
        else if (message.type == "data-end")
            onDataEnd();
        else if (message.type == "pause")
            m_engine.suspendEngine();
        else if (message.type == "resume")
            m_engine.resumeEngine();
        else if (message.type == "stop")
            stop();
    }

    void stop()
    {
        m_stopped = true;
        if (!m_engine.isRunning()) {
            finish(1, true, false, QString());
            return;
        }
        m_engine.resumeEngine();
        m_engine.TerminateEngine();
    }

    void onTask(const QJsonObject &task)
    {
        if (m_folder)
            return;
        for (const QJsonValue &value : task.value(QStringLiteral("arguments")).toArray())
            m_arguments << value.toString();
        m_theirInput = task.value(QStringLiteral("input")).toString();
        m_theirOutput = task.value(QStringLiteral("output")).toString();
        m_inputHash = task.value(QStringLiteral("sha256")).toString().toLatin1();
        const qint64 inputSize = task.value(QStringLiteral("size")).toInteger(-1);

        const QDir runs(WorkerFolder() + QStringLiteral("/runs"));
        QDir().mkpath(runs.path());
        tidyRuns(runs);
        m_folder = std::make_unique<QTemporaryDir>(runs.filePath(
            QStringLiteral("%1-%2-XXXXXX").arg(QSysInfo::machineHostName()).arg(QCoreApplication::applicationPid())));
        if (!m_folder->isValid() || !QDir(m_folder->path()).mkdir(QStringLiteral("out"))) {
            finish(1, false, true, Texts::tr("no work folder can be made in %1: %2")
                                       .arg(runs.path(), m_folder->errorString()));
            return;
        }
        m_ourOutput = m_folder->filePath(QStringLiteral("out/") + QFileInfo(m_theirOutput).fileName());
        // The input is read where it lies only when it holds the very bytes
        // the controller has.
        const QFileInfo here(m_theirInput);
        const bool inPlace = here.isFile() && here.size() == inputSize && fileHash(m_theirInput) == m_inputHash;
        send(Frame("input", QJsonObject{{QStringLiteral("inPlace"), inPlace}}));
        if (inPlace) {
            m_ourInput = m_theirInput;
            launch();
            return;
        }
        QDir(m_folder->path()).mkdir(QStringLiteral("in"));
        m_ourInput = m_folder->filePath(QStringLiteral("in/") + here.fileName());
        m_copy.setFileName(m_ourInput);
        if (!m_copy.open(QIODevice::WriteOnly))
            finish(1, false, true, Texts::tr("the input cannot be written here: %1").arg(m_copy.errorString()));
    }

    void onData(const QByteArray &bytes)
    {
        if (!m_copy.isOpen() || m_done)
            return;
        m_copyHash.addData(bytes);
        if (m_copy.write(bytes) != bytes.size())
            finish(1, false, true, Texts::tr("the input cannot be written here: %1").arg(m_copy.errorString()));
    }

    void onDataEnd()
    {
        if (!m_copy.isOpen() || m_done)
            return;
        const bool flushed = m_copy.flush();
        m_copy.close();
        if (!flushed || m_copy.error() != QFileDevice::NoError)
            finish(1, false, true, Texts::tr("the input cannot be written here: %1").arg(m_copy.errorString()));
        else if (m_copyHash.result().toHex() != m_inputHash)
            finish(1, false, true, Texts::tr("the input arrived damaged"));
        else
            launch();
    }

    void launch()
    {
        if (m_done)
            return;
        EngineCommand command;
        for (const QString &argument : std::as_const(m_arguments))
            command.arguments << (argument == m_theirInput ? m_ourInput : argument == m_theirOutput ? m_ourOutput : argument);
        m_engine.launch(QCoreApplication::applicationDirPath() + QStringLiteral("/wmaspi.dll"), command);
    }

    void onEngineOutput(QString text)
    {
        for (const char *failure : HostFailures)
            if (text.contains(QLatin1String(failure)))
                m_hostFailure = Texts::tr("the engine reported \"%1\" on this host").arg(QLatin1String(failure));
        text.replace(m_ourOutput, m_theirOutput);
        if (m_ourInput != m_theirInput)
            text.replace(m_ourInput, m_theirInput);
        send(Frame("out", text.toUtf8()));
    }

    void onEngineEnded(int exitCode, bool crashed)
    {
        const bool failed = crashed || exitCode != 0;
        finish(exitCode, crashed, failed && !m_hostFailure.isEmpty() && !m_stopped, m_hostFailure);
    }

    // The result, and the output's bytes after it when the engine succeeded.
    void finish(int exitCode, bool crashed, bool hostFailure, const QString &reason)
    {
        if (m_done)
            return;
        m_done = true;
        m_engine.killAndWait();
        qint64 size = -1;
        const bool good = !crashed && exitCode == 0 && !hostFailure;
        const QByteArray hash = good ? fileHash(m_ourOutput, &size) : QByteArray();
        send(Frame("result", QJsonObject{{QStringLiteral("exitCode"), exitCode},
                                         {QStringLiteral("crashed"), crashed},
                                         {QStringLiteral("hostFailure"), hostFailure},
                                         {QStringLiteral("reason"), reason},
                                         {QStringLiteral("size"), size},
                                         {QStringLiteral("sha256"), QString::fromLatin1(hash)}}));
        if (size >= 0) {
            QFile output(m_ourOutput);
            if (output.open(QIODevice::ReadOnly)) {
                while (!output.atEnd())
                    send(Frame("data", output.read(DataChunk)));
            }
            send(Frame("data-end"));
        }
        m_folder.reset();
        QCoreApplication::exit(WorkerDone);
    }

    Reader m_reader;
    QSocketNotifier m_input;
    QTimer m_silence; // the controller has not been heard of for so long: it is gone
    EngineProcess m_engine;
    std::unique_ptr<QTemporaryDir> m_folder;
    QStringList m_arguments;
    QString m_theirInput, m_theirOutput, m_ourInput, m_ourOutput;
    QByteArray m_inputHash;
    QFile m_copy;
    QCryptographicHash m_copyHash{QCryptographicHash::Sha256};
    QString m_hostFailure;
    bool m_stopped = false;
    bool m_done = false;
};

// Whether this machine can convert: the engine runs and the work folder takes files.
int check()
{
    const auto unfit = [](const QString &reason) {
        std::printf("vantorix-unfit %s\n", reason.simplified().toLocal8Bit().constData());
        return WorkerUnfit;
    };
    QProcess engine;
    engine.setProcessChannelMode(QProcess::MergedChannels);
    engine.start(QCoreApplication::applicationDirPath() + QStringLiteral("/wmaspi.dll"), {QStringLiteral("-version")});
    if (!engine.waitForFinished(30000) || engine.exitStatus() != QProcess::NormalExit || engine.exitCode() != 0)
        return unfit(Texts::tr("the engine does not run: %1 %2")
                         .arg(engine.errorString(), QString::fromLocal8Bit(engine.readAll().left(200))));
    const QString runs = WorkerFolder() + QStringLiteral("/runs");
    QDir().mkpath(runs);
    QFile probe(runs + QStringLiteral("/.check-") + QString::number(QCoreApplication::applicationPid()));
    const bool writable = probe.open(QIODevice::WriteOnly) && probe.write(QByteArray(64 * 1024, 'v')) == 64 * 1024
                          && probe.flush();
    probe.remove();
    if (!writable)
        return unfit(Texts::tr("nothing can be written in %1: %2").arg(runs, probe.errorString()));
    const QStorageInfo storage(runs);
    if (storage.isReadOnly() || storage.bytesAvailable() < 64 * 1024 * 1024)
        return unfit(Texts::tr("%1 has no room (%2 MiB free)").arg(runs).arg(storage.bytesAvailable() >> 20));
    std::printf("vantorix-ok %d\n", QThread::idealThreadCount());
    return WorkerDone;
}

} // namespace

QString WorkerFolder()
{
    const QString given = qEnvironmentVariable("VANTORIX_FARM_CACHE");
    if (!given.isEmpty())
        return given;
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/vantorix-farm");
}

bool WantsWorker(int argc, char **argv)
{
    return argc >= 2 && qstrcmp(argv[1], "--worker") == 0;
}

int RunWorker(int argc, char **argv)
{
    // A controller gone while the output is sent ends the write, not the worker.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    if (argc >= 3 && qstrcmp(argv[2], "--check") == 0)
        return check();
    if (argc >= 4 && qstrcmp(argv[2], "--slurm-task") == 0)
        return RunSlurmTask(QFile::decodeName(argv[3]));
    Worker worker;
    return QCoreApplication::exec();
}
