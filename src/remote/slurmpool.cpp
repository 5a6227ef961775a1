#include "remote/slurmpool.h"

#include "platform/logging.h"
#include "remote/slurmtask.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <csignal>
#include <unistd.h>

namespace {

QString shellQuoted(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
}

QString lastLine(const QString &text)
{
    return text.trimmed().section(QLatin1Char('\n'), -1).trimmed();
}

// Whether `folder`'s controller is gone: "alive" untouched for longer than
// an element waits, by the file server's clock (a file touched now beside it).
bool controllerGone(const QString &folder, const QString &now)
{
    const QFileInfo alive(SlurmFiles::alive(folder));
    const QFileInfo owner(folder + QStringLiteral("/owner"));
    const QDateTime last = alive.exists() ? alive.lastModified() : owner.lastModified();
    return !last.isValid() || last.secsTo(QFileInfo(now).lastModified()) > SlurmFiles::ControllerSilenceSecs;
}

} // namespace

// ---------------------------------------------------------------------------
// SlurmPool

SlurmPool::SlurmPool(Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
{
    m_clock.start();
    m_gather.setSingleShot(true);
    connect(&m_gather, &QTimer::timeout, this, &SlurmPool::flush);
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &SlurmPool::poll);
    m_settleLimit.setSingleShot(true);
    m_settleLimit.setInterval(SettleMostMs);
    connect(&m_settleLimit, &QTimer::timeout, this, [this] {
        for (const auto &submission : m_submissions)
            if (!submission->stale)
                emit notice(tr("%1 is left: Slurm did not say in time that job %2 is over; a later run removes it.")
                                .arg(submission->folder, submission->jobId));
        if (m_settled)
            std::exchange(m_settled, nullptr)();
    });
    tidyLeftovers();
}

SlurmPool::~SlurmPool()
{
    for (const auto &submission : m_submissions) {
        if (submission->sbatch) {
            // Its answer will not be read: an array it makes finds its
            // controller gone and ends.
            submission->sbatch->disconnect(this);
            submission->sbatch->kill();
            submission->sbatch->waitForFinished(2000);
        }
    }
    if (m_squeue) {
        m_squeue->disconnect(this);
        m_squeue->kill();
        m_squeue->waitForFinished(2000);
    }
}

TaskEngineFactory SlurmPool::engineFactory()
{
    return [this](const ltvItemData &, const QString &, QObject *parent) -> TaskEngine * {
        return new SlurmEngine(*this, parent);
    };
}

void SlurmPool::tidyLeftovers()
{
    const QDir base(m_settings.stateFolder);
    if (!base.exists())
        return;
    const QString now = base.filePath(QStringLiteral(".now-%1").arg(QCoreApplication::applicationPid()));
    writeFile(now, QByteArray());
    for (const QString &name : base.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString folder = base.filePath(name);
        if (!QFileInfo::exists(folder + QStringLiteral("/owner")) || !controllerGone(folder, now))
            continue;
        QFile jobId(folder + QStringLiteral("/jobid"));
        auto submission = std::make_unique<Submission>();
        submission->folder = folder;
        submission->stale = true;
        if (jobId.open(QIODevice::ReadOnly))
            submission->jobId = QString::fromLatin1(jobId.readAll()).trimmed();
        if (submission->jobId.isEmpty()) {
            // Never submitted, or its answer was lost: an element of it
            // finds its controller gone and writes nothing here.
            removeFolder(submission.get(), QStringLiteral("left unsubmitted"));
            continue;
        }
        qCInfo(lcEngine).noquote() << "slurm: folder" << folder << "of job" << submission->jobId << "was left behind";
        // Whatever of it still runs works for nobody (an array long over
        // makes scancel complain, which nobody needs to read).
        scancel({submission->jobId}, true);
        m_submissions.push_back(std::move(submission));
    }
    QFile::remove(now);
    if (!m_submissions.empty())
        m_poll.start();
}

void SlurmPool::submit(SlurmEngine *engine)
{
    if (m_gathered.isEmpty())
        m_gatheredSince.start();
    m_gathered << engine;
    const qint64 left = GatherMostMs - m_gatheredSince.elapsed();
    m_gather.start(int(std::clamp<qint64>(left, 0, GatherQuietMs)));
}

void SlurmPool::flush()
{
    QList<SlurmEngine *> engines = std::exchange(m_gathered, {});
    while (!engines.isEmpty()) {
        startSubmission(engines.mid(0, Slots));
        engines.remove(0, std::min<qsizetype>(Slots, engines.size()));
    }
}

void SlurmPool::startSubmission(QList<SlurmEngine *> engines)
{
    auto owned = std::make_unique<Submission>();
    Submission *submission = owned.get();
    QDir().mkpath(m_settings.stateFolder);
    QTemporaryDir folder(m_settings.stateFolder + QStringLiteral("/XXXXXX"));
    folder.setAutoRemove(false);
    submission->folder = folder.path();
    const QString program = m_settings.program;
    const QByteArray script = "#!/bin/sh\nexec " + shellQuoted(program).toUtf8() + " --worker --slurm-task "
                              + shellQuoted(submission->folder).toUtf8() + "\n";
    bool written = folder.isValid()
                   && writeFile(submission->folder + QStringLiteral("/owner"),
                                QStringLiteral("%1 %2\n").arg(QSysInfo::machineHostName()).arg(::getpid()).toUtf8())
                   && writeFile(SlurmFiles::alive(submission->folder), QByteArray())
                   && writeFile(submission->folder + QStringLiteral("/job.sh"), script);
    for (int id = 0; written && id < engines.size(); ++id)
        written = writeFile(SlurmFiles::task(submission->folder, id),
                            QJsonDocument(engines[id]->taskFor(submission->folder, id)).toJson());
    if (!written) {
        const QString reason = tr("The tasks cannot be written in %1: %2")
                                   .arg(m_settings.stateFolder, folder.isValid() ? tr("a write failed") : folder.errorString());
        if (folder.isValid())
            QDir(submission->folder).removeRecursively();
        for (SlurmEngine *engine : std::as_const(engines))
            engine->onRefused(reason);
        return;
    }
    for (SlurmEngine *engine : std::as_const(engines))
        submission->elements << Element{engine};
    QString array = QStringLiteral("0-%1").arg(engines.size() - 1);
    if (m_settings.cap > 0)
        array += QStringLiteral("%%1").arg(m_settings.cap);
    const QStringList arguments = QStringList{QStringLiteral("--parsable"),
                                              QStringLiteral("--job-name=vantorix"),
                                              QStringLiteral("--array=") + array,
                                              QStringLiteral("--requeue"),
                                              QStringLiteral("--open-mode=append"),
                                              QStringLiteral("--output=") + submission->folder + QStringLiteral("/%a.slurm")}
                                  + m_settings.sbatchOptions + QStringList{submission->folder + QStringLiteral("/job.sh")};
    qCInfo(lcEngine).noquote() << "slurm: sbatch" << arguments.join(QLatin1Char(' '));
    submission->sbatch = new QProcess(this);
    connect(submission->sbatch, &QProcess::finished, this, [this, submission](int exitCode, QProcess::ExitStatus status) {
        QProcess *process = std::exchange(submission->sbatch, nullptr);
        process->deleteLater();
        onSubmitted(submission, status == QProcess::NormalExit ? exitCode : -1,
                    QString::fromLocal8Bit(process->readAllStandardOutput()),
                    QString::fromLocal8Bit(process->readAllStandardError()));
    });
    connect(submission->sbatch, &QProcess::errorOccurred, this, [this, submission](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        QProcess *process = std::exchange(submission->sbatch, nullptr);
        process->deleteLater();
        onSubmitted(submission, -1, QString(), tr("sbatch cannot be run: %1").arg(process->errorString()));
    });
    submission->sbatch->start(QStringLiteral("sbatch"), arguments);
    m_submissions.push_back(std::move(owned));
    m_poll.start();
}

void SlurmPool::onSubmitted(Submission *submission, int exitCode, const QString &out, const QString &err)
{
    const QRegularExpressionMatch id = QRegularExpression(QStringLiteral("^\\s*(\\d+)")).match(out);
    if (exitCode != 0 || !id.hasMatch()) {
        // Nothing was submitted: nothing of it runs anywhere.
        const QString reason = tr("sbatch refused the job array: %1").arg(lastLine(err + QLatin1Char('\n') + out));
        for (const Element &element : std::as_const(submission->elements))
            if (element.engine)
                element.engine->onRefused(reason);
        removeFolder(submission, QStringLiteral("refused"));
        std::erase_if(m_submissions, [submission](const auto &owned) { return owned.get() == submission; });
        checkSettled();
        return;
    }
    submission->jobId = id.captured(1);
    writeFile(submission->folder + QStringLiteral("/jobid"), submission->jobId.toLatin1() + '\n');
    emit notice(tr("Slurm job array %1: tasks 0-%2, files in %3")
                    .arg(submission->jobId)
                    .arg(submission->elements.size() - 1)
                    .arg(submission->folder));
    QStringList cancelled;
    for (int id = 0; id < submission->elements.size(); ++id) {
        Element &element = submission->elements[id];
        if (element.engine)
            element.engine->onSubmitted(submission->folder, id, submission->jobId);
        if (element.cancelWanted)
            cancelled << QStringLiteral("%1_%2").arg(submission->jobId).arg(id);
    }
    if (!cancelled.isEmpty())
        scancel(cancelled, false);
}

SlurmPool::Submission *SlurmPool::submissionOf(const SlurmEngine *engine, int *id)
{
    for (const auto &submission : m_submissions)
        for (int i = 0; i < submission->elements.size(); ++i)
            if (submission->elements[i].engine == engine) {
                if (id)
                    *id = i;
                return submission.get();
            }
    return nullptr;
}

void SlurmPool::cancel(SlurmEngine *engine, bool detached)
{
    if (m_gathered.removeAll(engine) > 0)
        return;
    int id = -1;
    Submission *submission = submissionOf(engine, &id);
    if (!submission)
        return;
    submission->elements[id].cancelWanted = true;
    if (!submission->jobId.isEmpty())
        scancel({QStringLiteral("%1_%2").arg(submission->jobId).arg(id)}, detached);
}

void SlurmPool::forget(SlurmEngine *engine)
{
    m_gathered.removeAll(engine);
    int id = -1;
    if (Submission *submission = submissionOf(engine, &id))
        submission->elements[id].engine = nullptr;
}

void SlurmPool::scancel(const QStringList &ids, bool detached)
{
    qCInfo(lcEngine).noquote() << "slurm: scancel" << ids.join(QLatin1Char(' '));
    if (detached) {
        QProcess process;
        process.setProgram(QStringLiteral("scancel"));
        process.setArguments(ids);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.startDetached();
        return;
    }
    auto *process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::finished, this, [this, process, ids](int exitCode) {
        process->deleteLater();
        if (exitCode != 0)
            emit notice(tr("scancel %1 failed: %2")
                            .arg(ids.join(QLatin1Char(' ')), lastLine(QString::fromLocal8Bit(process->readAll()))));
    });
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(QStringLiteral("scancel"), ids);
}

void SlurmPool::poll()
{
    for (const auto &submission : m_submissions) {
        if (submission->stale)
            continue;
        // The elements tell a controller gone by this file's age.
        writeFile(SlurmFiles::alive(submission->folder), QByteArray::number(QDateTime::currentSecsSinceEpoch()));
        for (const Element &element : submission->elements)
            if (element.engine && !submission->jobId.isEmpty())
                element.engine->poll();
    }
    if (m_lastQueueMs < 0 || m_clock.elapsed() - m_lastQueueMs >= SqueueMs)
        askQueue();
    if (m_submissions.empty() && m_gathered.isEmpty())
        m_poll.stop();
}

void SlurmPool::askQueue()
{
    if (m_squeue)
        return;
    bool asking = false;
    for (const auto &submission : m_submissions)
        asking = asking || !submission->jobId.isEmpty();
    if (!asking)
        return;
    m_lastQueueMs = m_clock.elapsed();
    m_squeue = new QProcess(this);
    connect(m_squeue, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        QProcess *process = std::exchange(m_squeue, nullptr);
        process->deleteLater();
        onQueue(status == QProcess::NormalExit ? exitCode : -1, process->readAllStandardOutput(),
                process->readAllStandardError());
    });
    connect(m_squeue, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        QProcess *process = std::exchange(m_squeue, nullptr);
        process->deleteLater();
        onQueue(-1, QByteArray(), process->errorString().toLocal8Bit());
    });
    // A squeue that hangs is no answer either.
    QTimer::singleShot(SqueueMostMs, m_squeue, [process = m_squeue] { process->kill(); });
    m_squeue->start(QStringLiteral("squeue"), {QStringLiteral("--noheader"), QStringLiteral("--array"),
                                               QStringLiteral("--me"), QStringLiteral("--format=%F %K %T %N")});
}

void SlurmPool::onQueue(int exitCode, const QByteArray &out, const QByteArray &err)
{
    // Only a clean answer counts: every line "JOB INDEX STATE [NODES]".
    static const QRegularExpression line(QStringLiteral("^(\\d+) (\\S+) ([A-Z_]+)(?: (\\S*))?$"));
    QHash<QString, QString> listed; // "JOB_INDEX" (or "JOB" for a job without elements) -> state
    QSet<QString> jobs;
    bool clean = exitCode == 0 && err.trimmed().isEmpty();
    for (const QString &text : QString::fromLocal8Bit(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(text.trimmed());
        if (!match.hasMatch()) {
            clean = false;
            break;
        }
        jobs << match.captured(1);
        listed.insert(match.captured(1) + QLatin1Char('_') + match.captured(2), match.captured(3));
    }
    if (!clean) {
        const QString why = lastLine(QString::fromLocal8Bit(err + '\n' + out));
        if (!m_unreachable)
            emit notice(tr("Slurm gives no answer (squeue: %1); waiting for it, nothing is removed.")
                            .arg(why.isEmpty() ? tr("status %1").arg(exitCode) : why));
        qCInfo(lcEngine).noquote() << "slurm: squeue status" << exitCode << why;
        m_unreachable = true;
        return;
    }
    if (std::exchange(m_unreachable, false))
        emit notice(tr("Slurm answers again."));

    const qint64 now = m_clock.elapsed();
    for (std::size_t i = 0; i < m_submissions.size();) {
        Submission *submission = m_submissions[i].get();
        if (submission->jobId.isEmpty()) {
            ++i;
            continue;
        }
        bool anyListed = false;
        bool anyFollowed = false;
        for (int id = 0; id < submission->elements.size(); ++id) {
            Element &element = submission->elements[id];
            const QString state = listed.value(QStringLiteral("%1_%2").arg(submission->jobId).arg(id));
            anyListed = anyListed || !state.isEmpty();
            if (!element.engine)
                continue;
            anyFollowed = true;
            if (!state.isEmpty()) {
                element.goneSinceMs = -1;
                if (state == QLatin1String("RUNNING") && !std::exchange(element.running, true))
                    qCInfo(lcEngine).noquote() << "slurm: element" << element.engine->elementName() << "runs";
                continue;
            }
            element.engine->poll();
            if (!element.engine)
                continue;
            if (element.goneSinceMs < 0)
                element.goneSinceMs = now;
            // Stopped on purpose, it needs no grace: its end is known.
            if (element.engine->stopping() || now - element.goneSinceMs >= GoneGraceMs)
                element.engine->onGone();
        }
        // A pending array is one line until its elements are split off.
        anyListed = anyListed || jobs.contains(submission->jobId);
        if (!anyListed && !anyFollowed && !submission->sbatch) {
            removeFolder(submission, QStringLiteral("over"));
            m_submissions.erase(m_submissions.begin() + std::ptrdiff_t(i));
            continue;
        }
        ++i;
    }
    checkSettled();
}

void SlurmPool::removeFolder(Submission *submission, const QString &why)
{
    qCInfo(lcEngine).noquote() << "slurm: removing" << submission->folder << "(" << why << ")";
    QDir(submission->folder).removeRecursively();
    QDir().rmdir(m_settings.stateFolder);
}

void SlurmPool::whenSettled(std::function<void()> done)
{
    m_settled = std::move(done);
    // Stopped elements may end before the queue was asked again.
    m_lastQueueMs = -1;
    m_poll.start();
    m_settleLimit.start();
    checkSettled();
}

void SlurmPool::checkSettled()
{
    if (!m_settled)
        return;
    for (const auto &submission : m_submissions)
        if (!submission->stale)
            return;
    m_settleLimit.stop();
    std::exchange(m_settled, nullptr)();
}

// ---------------------------------------------------------------------------
// SlurmEngine

SlurmEngine::SlurmEngine(SlurmPool &pool, QObject *parent)
    : TaskEngine(parent)
    , m_pool(pool)
{
    m_stopTimer.setSingleShot(true);
    m_stopTimer.setInterval(StopWaitMs);
    connect(&m_stopTimer, &QTimer::timeout, this, &SlurmEngine::kill);
}

SlurmEngine::~SlurmEngine()
{
    killAndWait();
}

void SlurmEngine::launch(const QString &enginePath, const EngineCommand &command)
{
    if (m_running || m_over)
        return;
    m_enginePath = enginePath;
    m_command = command;
    const qsizetype input = command.arguments.indexOf(QStringLiteral("-i"));
    m_input = command.arguments.value(input + 1);
    m_output = command.arguments.value(command.arguments.size() - 1);
    m_inputSample = InputSample(m_input, &m_inputSize);
    m_running = true;
    // The task runs from the job's point of view once it is handed to Slurm.
    QMetaObject::invokeMethod(this, [this] { if (!m_over) emit started(); }, Qt::QueuedConnection);
    m_pool.submit(this);
}

QString SlurmEngine::staged() const
{
    return SlurmFiles::outFolder(m_folder, m_id) + QLatin1Char('/') + QFileInfo(m_output).fileName();
}

QJsonObject SlurmEngine::taskFor(const QString &folder, int id) const
{
    const QString output = SlurmFiles::outFolder(folder, id) + QLatin1Char('/') + QFileInfo(m_output).fileName();
    QJsonArray arguments;
    for (qsizetype i = 0; i < m_command.arguments.size(); ++i)
        arguments << (i == m_command.arguments.size() - 1 ? output : m_command.arguments[i]);
    return QJsonObject{{QStringLiteral("engine"), m_enginePath},
                       {QStringLiteral("arguments"), arguments},
                       {QStringLiteral("input"), m_input},
                       {QStringLiteral("inputSize"), m_inputSize},
                       {QStringLiteral("inputSample"), QString::fromLatin1(m_inputSample)}};
}

void SlurmEngine::onSubmitted(const QString &folder, int id, const QString &jobId)
{
    m_folder = folder;
    m_id = id;
    m_jobId = jobId;
    qCInfo(lcEngine).noquote() << "task" << m_input << "is Slurm job" << elementName();
}

void SlurmEngine::onRefused(const QString &reason)
{
    finish(1, false, reason);
}

void SlurmEngine::poll()
{
    if (m_over || m_folder.isEmpty())
        return;
    // The result first: the element writes it after the last of its log,
    // which is then read whole.
    QFile result(SlurmFiles::result(m_folder, m_id));
    const bool ended = result.open(QIODevice::ReadOnly);
    QFile log(SlurmFiles::log(m_folder, m_id));
    if (log.open(QIODevice::ReadOnly) && log.size() > m_logRead && log.seek(m_logRead)) {
        const QByteArray bytes = log.readAll();
        m_logRead += bytes.size();
        QString text = m_decoder.decode(bytes);
        if (!text.isEmpty())
            emit chunkRead(text.replace(staged(), m_output));
    }
    if (!ended || m_over)
        return;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(result.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        finish(1, false, tr("Slurm job %1 left a damaged result.").arg(elementName()));
    else
        takeResult(document.object());
}

void SlurmEngine::takeResult(const QJsonObject &result)
{
    const QString node = result.value(QStringLiteral("node")).toString();
    const QString reason = result.value(QStringLiteral("reason")).toString();
    const int exitCode = result.value(QStringLiteral("exitCode")).toInt(1);
    const bool crashed = result.value(QStringLiteral("crashed")).toBool();
    if (m_stopping || exitCode != 0 || crashed || result.value(QStringLiteral("nodeFailure")).toBool()) {
        finish(exitCode == 0 ? 1 : exitCode, crashed,
               reason.isEmpty() ? QString() : tr("Slurm job %1 on %2: %3").arg(elementName(), node, reason));
        return;
    }
    // The input is still the file the node was told of.
    qint64 size = -1;
    if (InputSample(m_input, &size) != m_inputSample || size != m_inputSize) {
        finish(1, false, tr("The input changed while Slurm job %1 converted it.").arg(elementName()));
        return;
    }
    QFile::remove(m_output);
    QFile output(staged());
    if (!output.exists()) {
        finish(1, false, tr("Slurm job %1 on %2 ended without an output.").arg(elementName(), node));
        return;
    }
    if (!output.rename(m_output)) {
        finish(1, false, tr("The output of Slurm job %1 cannot be taken: %2").arg(elementName(), output.errorString()));
        return;
    }
    qCInfo(lcEngine).noquote() << "task" << m_input << "converted by" << elementName() << "on" << node;
    finish(0, false);
}

void SlurmEngine::onGone()
{
    if (m_over)
        return;
    if (m_stopping) {
        finish(1, true);
        return;
    }
    QFile log(SlurmFiles::slurmLog(m_folder, m_id));
    const QString said = log.open(QIODevice::ReadOnly) ? lastLine(QString::fromLocal8Bit(log.readAll())) : QString();
    finish(1, false, said.isEmpty() ? tr("Slurm job %1 ended without a result.").arg(elementName())
                                    : tr("Slurm job %1 ended without a result: %2").arg(elementName(), said));
}

void SlurmEngine::finish(int exitCode, bool crashed, const QString &reason)
{
    if (m_over)
        return;
    m_over = true;
    m_running = false;
    m_stopTimer.stop();
    m_pool.forget(this);
    if (!reason.isEmpty())
        emit chunkRead(reason + QLatin1Char('\n'));
    emit ended(exitCode, crashed);
}

void SlurmEngine::TerminateEngine()
{
    if (m_over || m_stopping)
        return;
    m_stopping = true;
    m_pool.cancel(this);
    if (m_folder.isEmpty() && m_jobId.isEmpty()) {
        // Not handed out yet, or its submission still on its way (the pool
        // cancels it once it is known).
        QMetaObject::invokeMethod(this, [this] { finish(1, true); }, Qt::QueuedConnection);
        return;
    }
    m_stopTimer.start();
}

void SlurmEngine::kill()
{
    if (m_over)
        return;
    if (!m_stopping) {
        m_stopping = true;
        m_pool.cancel(this);
    }
    finish(1, true);
}

void SlurmEngine::killAndWait()
{
    m_stopTimer.stop();
    if (m_over)
        return;
    m_over = true;
    m_running = false;
    m_stopping = true;
    m_pool.cancel(this, true);
    m_pool.forget(this);
}
