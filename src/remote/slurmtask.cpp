#include "remote/slurmtask.h"

#include "conversion/engineprocess.h"
#include "platform/signalpipe.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

#include <cstdio>

namespace {

// What an element tells its controller, read by a person there.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(SlurmTask)
};

constexpr qint64 SampleBytes = 1024 * 1024;
constexpr int BeatMs = 10 * 1000;

QString nodeName()
{
    const QString node = qEnvironmentVariable("SLURMD_NODENAME");
    return node.isEmpty() ? QSysInfo::machineHostName() : node;
}

// One element: its task read, the input proved to be the controller's, the
// engine run with its output in the element's own folder, the result written.
class SlurmTask final : public QObject
{
public:
    SlurmTask(QString folder, int id) : m_folder(std::move(folder)), m_id(id)
    {
        connect(&m_engine, &TaskEngine::chunkRead, this, [this](const QString &text) {
            m_log.write(text.toUtf8());
            m_log.flush();
        });
        connect(&m_engine, &TaskEngine::ended, this,
                [this](int code, bool crashed) { finish(code, crashed, false, QString()); });
        connect(&m_engine, &TaskEngine::failedToStart, this, [this](const QString &error) {
            finish(127, false, true, Texts::tr("the engine does not start on %1: %2").arg(nodeName(), error));
        });
        connect(&m_signals, &SignalPipe::caught, this, [this] {
            // Cancelled (scancel, a time limit, a requeue): no result, Slurm
            // tells why.
            m_engine.killAndWait();
            QCoreApplication::exit(143);
        });
        m_beat.setInterval(BeatMs);
        connect(&m_beat, &QTimer::timeout, this, &SlurmTask::beat);
    }

    void start()
    {
        QFile file(SlurmFiles::task(m_folder, m_id));
        const QJsonObject task =
            file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
        if (task.isEmpty()) {
            std::fprintf(stderr, "vantorix: no task %d in %s\n", m_id, qPrintable(m_folder));
            QCoreApplication::exit(1);
            return;
        }
        m_log.setFileName(SlurmFiles::log(m_folder, m_id));
        if (!m_log.open(QIODevice::Append)) {
            finish(1, false, true, Texts::tr("%1 cannot be written on %2: %3")
                                       .arg(m_log.fileName(), nodeName(), m_log.errorString()));
            return;
        }
        // A requeued element starts afresh.
        QFile::remove(SlurmFiles::result(m_folder, m_id));
        QDir out(SlurmFiles::outFolder(m_folder, m_id));
        out.removeRecursively();
        if (!QDir().mkpath(out.path())) {
            finish(1, false, true, Texts::tr("%1 cannot be made on %2").arg(out.path(), nodeName()));
            return;
        }
        beat();
        m_beat.start();
        const QString input = task.value(QStringLiteral("input")).toString();
        const qint64 theirSize = task.value(QStringLiteral("inputSize")).toInteger(-1);
        qint64 size = -1;
        const QByteArray sample = InputSample(input, &size);
        if (sample.isEmpty() || size != theirSize
            || sample != task.value(QStringLiteral("inputSample")).toString().toLatin1()) {
            finish(1, false, true, Texts::tr("%1 on %2 is not the controller's file (%3 bytes here, %4 there, or "
                                             "other bytes): the file system is not shared")
                                       .arg(input, nodeName())
                                       .arg(size)
                                       .arg(theirSize));
            return;
        }
        EngineCommand command;
        for (const QJsonValue &argument : task.value(QStringLiteral("arguments")).toArray())
            command.arguments << argument.toString();
        m_engine.launch(task.value(QStringLiteral("engine")).toString(), command);
    }

private:
    // Keeps the element's own mark fresh; a controller whose mark stays
    // behind it for too long is gone, and the work with it.
    void beat()
    {
        QFile mark(SlurmFiles::beat(m_folder, m_id));
        const bool touched = mark.open(QIODevice::WriteOnly | QIODevice::Truncate)
                             && mark.write(QByteArray::number(QDateTime::currentSecsSinceEpoch())) > 0;
        mark.close();
        const QFileInfo ours(mark.fileName());
        const QFileInfo theirs(SlurmFiles::alive(m_folder));
        if (!touched || !theirs.exists()
            || theirs.lastModified().secsTo(ours.lastModified()) > SlurmFiles::ControllerSilenceSecs) {
            std::fprintf(stderr, "vantorix: the controller is gone; the task %d ends\n", m_id);
            m_engine.killAndWait();
            QCoreApplication::exit(3);
        }
    }

    void finish(int exitCode, bool crashed, bool nodeFailure, const QString &reason)
    {
        if (std::exchange(m_done, true))
            return;
        m_beat.stop();
        m_engine.killAndWait();
        m_log.close();
        const QJsonObject result{{QStringLiteral("exitCode"), exitCode},
                                 {QStringLiteral("crashed"), crashed},
                                 {QStringLiteral("nodeFailure"), nodeFailure},
                                 {QStringLiteral("reason"), reason},
                                 {QStringLiteral("node"), nodeName()}};
        // Whole or not at all: the controller never reads half a result.
        QSaveFile file(SlurmFiles::result(m_folder, m_id));
        file.setDirectWriteFallback(false);
        const bool written = file.open(QIODevice::WriteOnly)
                             && file.write(QJsonDocument(result).toJson(QJsonDocument::Compact)) > 0 && file.commit();
        if (!written)
            std::fprintf(stderr, "vantorix: the result cannot be written: %s\n", qPrintable(file.errorString()));
        QCoreApplication::exit(written ? 0 : 1);
    }

    QString m_folder;
    int m_id;
    EngineProcess m_engine;
    SignalPipe m_signals;
    QFile m_log;
    QTimer m_beat;
    bool m_done = false;
};

} // namespace

QByteArray InputSample(const QString &path, qint64 *size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const qint64 length = file.size();
    if (size)
        *size = length;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::number(length));
    const qint64 middle = length / 2 - SampleBytes / 2;
    for (const qint64 at : {qint64(0), middle, length - SampleBytes}) {
        if (length <= 3 * SampleBytes && at != 0)
            break;
        if (!file.seek(std::max<qint64>(0, at)))
            return QByteArray();
        const QByteArray bytes = file.read(length <= 3 * SampleBytes ? length : SampleBytes);
        if (bytes.size() != std::min(length, length <= 3 * SampleBytes ? length : SampleBytes))
            return QByteArray();
        hash.addData(bytes);
    }
    return hash.result().toHex();
}

int RunSlurmTask(const QString &folder)
{
    bool number = false;
    const int id = qEnvironmentVariable("SLURM_ARRAY_TASK_ID").toInt(&number);
    if (!number || id < 0) {
        std::fprintf(stderr, "vantorix: --slurm-task runs as an element of a Slurm job array\n");
        return 1;
    }
    SlurmTask task(folder, id);
    QTimer::singleShot(0, &task, &SlurmTask::start);
    return QCoreApplication::exec();
}
