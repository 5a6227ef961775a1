#include "conversion/conversionjob.h"

#include "conversion/enginecommand.h"
#include "conversion/inprocessprobe.h"
#include "conversion/outputcheck.h"
#include "platform/logging.h"
#include "conversion/workfolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <optional>
#include <utility>

ConversionJob::ConversionJob(Order order, QObject *parent)
    : QObject(parent)
    , m_order(std::move(order))
    , m_workPath(workPathFor(m_order.finalPath))
{
}

ConversionJob::~ConversionJob()
{
    abandon();
}

QString ConversionJob::status() const
{
    switch (m_phase) {
    case Committed: return RowStatus::Complete;
    case Failed: return RowStatus::Failed;
    case Stopped: return RowStatus::Stop;
    case Paused: return RowStatus::Paused;
    case NotSmaller: return RowStatus::NotSmaller;
    default: return RowStatus::Converting;
    }
}

QString ConversionJob::KeptOutput(const QString &output)
{
    QString kept = TaskListModel::LastLines(output, KeptOutputLines);
    if (kept.size() > KeptOutputChars)
        kept.remove(0, kept.size() - KeptOutputChars);
    return kept;
}

void ConversionJob::setPhase(Phase phase)
{
    if (phase == m_phase)
        return;
    m_phase = phase;
    emit phaseChanged(phase);
}

void ConversionJob::start()
{
    if (m_phase != Waiting)
        return;
    setPhase(Starting);
    if (m_workPath.isEmpty()) {
        // Nowhere of the run's own to write: nothing is converted.
        end(Failed, m_order.noWorkFolder, false);
        return;
    }

    if (KeepsAllStreams(m_order.params) || CopiesFitting(m_order.params)) {
        m_streamProbe = new InProcessProbe(m_order.task.InputFile, nullptr, this);
        connect(m_streamProbe, &InProcessProbe::done, this, &ConversionJob::onStreamsRead);
        m_streamProbe->launch(MediaProbe::DefaultTimeoutMs);
        return;
    }
    launchEngine(m_order.params);
}

void ConversionJob::onStreamsRead()
{
    std::optional<QList<MediaStream>> streams;
    if (m_streamProbe->outcome() == InProcessProbe::Outcome::Read)
        streams = m_streamProbe->report().streams;
    dropStreamProbe();
    const FittingCopies copies = WithFittingCopies(m_order.params, streams);
    if (!copies.copied.isEmpty())
        m_copied = QCoreApplication::translate("ConversionJob", "Copied as it was: %1.")
                       .arg(copies.copied.join(QStringLiteral(", ")));
    // The output is held to the streams asked for, and to the copies made.
    m_checkParams = copies.params;
    QString params = copies.params;
    if (KeepsAllStreams(params)) {
        const StreamSelection selection = SelectStreams(streams, m_order.finalPath);
        m_leftOut = selection.leftOut;
        params = WithStreams(params, selection);
        if (!streams) {
            m_leftOut << QCoreApplication::translate(
                "ConversionJob", "The input's streams could not be read: its subtitles were left out.");
            // The output is held to what it was given, not to streams nobody read.
            m_checkParams = params;
        }
    }
    launchEngine(params);
    if (m_pauseWanted)
        pause();
}

void ConversionJob::dropStreamProbe()
{
    if (!m_streamProbe)
        return;
    m_streamProbe->abandon();
    std::exchange(m_streamProbe, nullptr)->deleteLater();
}

void ConversionJob::launchEngine(const QString &params)
{
    // The start and the length go to the engine only when the task narrows
    // its input.
    QString engineParams = params;
    // The engine gives an output its input's tags unless told not to.
    if (!m_order.keepDates)
        engineParams += QStringLiteral(" -map_metadata -1");
    if (m_order.notBigger) {
        // The engine ends its output once it has reached the input's size:
        // no time is spent on an output that would be discarded.
        m_inputSize = QFileInfo(m_order.task.InputFile).size();
        if (m_inputSize > 0)
            engineParams += QStringLiteral(" -fs %1").arg(m_inputSize);
    }
    const EngineCommand command = TaskCommand(m_order.task, engineParams, m_workPath);

    m_engine = new EngineProcess(this);
    connect(m_engine, &EngineProcess::chunkRead, this, &ConversionJob::onChunk);
    connect(m_engine, &EngineProcess::ended, this, &ConversionJob::onEngineEnded);
    if (!m_engine->start(m_order.enginePath, command)) {
        m_output = m_engine->errorString();
        delete std::exchange(m_engine, nullptr);
        m_startFailed = true;
        end(Failed, QString(), true);
        return;
    }
    setPhase(Converting);
    emit engineStarted(command.text);
}

void ConversionJob::onChunk(const QString &text)
{
    m_writeFailure.feed(text);
    m_output += text;
    if (m_output.size() > 2 * KeptOutputChars)
        m_output.remove(0, m_output.size() - KeptOutputChars);
    emit chunkRead(text);
    // The engine's first two reads are its banner: no progress in them.
    if (m_chunkCount++ < 2)
        return;

    // The value follows "time" and one separator character, up to a blank. A
    // read without the marker has no value: other numbers in it are not times.
    const qsizetype marker = text.indexOf(QLatin1String("time"));
    const QString rest = marker < 0 ? QString() : text.mid(marker + 5);
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    const QString value = blank < 0 ? QString() : rest.left(blank);
    // Current engines write the time as h:m:s.f; older ones as seconds.
    double seconds = TimeTextToSeconds(value);
    if ((seconds != -1 || ParseDecimal(value, seconds)) && seconds > m_currentSecs)
        m_currentSecs = seconds;
    emit progressed();
}

void ConversionJob::onEngineEnded(int exitCode, bool crashed)
{
    if (m_engine)
        m_engine->deleteLater();
    m_engine = nullptr;
    m_writeFailure.finish();
    if (m_stopRequested) {
        end(Stopped, QString(), true);
        return;
    }
    // A failed write comes first among the reasons: the engine's last lines
    // may not show it, and it may exit 0 after one.
    if (!m_writeFailure.failureLine().isEmpty())
        m_reason = QCoreApplication::translate("ConversionJob", "The output is damaged: the engine reported \"%1\".")
                       .arg(m_writeFailure.failureLine());
    if (crashed || exitCode != 0) {
        end(Failed, m_reason, true);
        return;
    }
    if (m_checkAllowed)
        beginCheck();
    else
        setPhase(Checking);
}

void ConversionJob::allowCheck()
{
    if (m_checkAllowed)
        return;
    m_checkAllowed = true;
    if (m_phase == Checking && !m_checkStarted)
        beginCheck();
}

void ConversionJob::beginCheck()
{
    // The engine slot is free before the phase is told.
    m_checkStarted = true;
    setPhase(Checking);
    const QFileInfo written(m_workPath);
    if (m_reason.isEmpty() && (!written.isFile() || written.size() <= 0))
        m_reason = QCoreApplication::translate("ConversionJob", "The output file is missing or empty.");
    if (m_reason.isEmpty() && m_inputSize > 0 && written.size() >= m_inputSize) {
        // Also an output the engine ended at the size limit: it would not have been smaller.
        end(NotSmaller, QCoreApplication::translate("ConversionJob", "The output (%1 bytes) was not smaller than "
                                                                     "the input (%2 bytes).")
                            .arg(written.size())
                            .arg(m_inputSize),
            false);
        return;
    }
    if (!m_reason.isEmpty()) {
        end(Failed, m_reason, true);
        return;
    }
    // Always read back, also when the input's length is unknown: a file
    // without a frame of what the profile writes is no output.
    launchCheck();
}

void ConversionJob::onChecked()
{
    QString reason = checkResult();
    std::exchange(m_check, nullptr)->deleteLater();
    if (!reason.isEmpty())
        qCInfo(lcRun) << "output check failed for" << m_order.task.InputFile << ":" << reason;
    if (reason.isEmpty())
        reason = commitWorkFile();
    end(reason.isEmpty() ? Committed : Failed, reason, !reason.isEmpty());
}

void ConversionJob::end(Phase phase, const QString &reason, bool keepOutput)
{
    dropStreamProbe();
    discardWorkFile();
    m_reason = reason;
    // What a kept output lacks is said with it.
    if (phase == Committed) {
        QStringList notes = m_leftOut;
        if (!m_copied.isEmpty())
            notes << m_copied;
        if (!notes.isEmpty())
            m_reason = notes.join(QLatin1Char('\n'));
    }
    m_kept = keepOutput ? KeptOutput(m_output) : QString();
    m_output.clear();
    setPhase(phase);
    emit finished(status(), m_reason, m_kept);
}

void ConversionJob::pause()
{
    if (m_phase == Starting && m_streamProbe)
        m_pauseWanted = true;
    if (m_phase != Converting || !m_engine)
        return;
    m_engine->suspendEngine();
    setPhase(Paused);
}

void ConversionJob::resume()
{
    m_pauseWanted = false;
    if (m_phase != Paused)
        return;
    if (m_engine)
        m_engine->resumeEngine();
    setPhase(Converting);
}

void ConversionJob::stop()
{
    switch (m_phase) {
    case Waiting:
    case Starting:
        end(Stopped, QString(), true);
        return;
    case Paused:
    case Converting:
        m_stopRequested = true;
        if (m_engine) {
            // A suspended engine could not act on the request.
            m_engine->resumeEngine();
            m_engine->TerminateEngine();
        }
        setPhase(Converting);
        return;
    case Checking:
        if (!m_checkStarted)
            end(Stopped, QString(), true);
        return;
    default:
        return;
    }
}

void ConversionJob::abandon()
{
    dropStreamProbe();
    if (m_engine) {
        // Killed and reaped here; it emits nothing more.
        m_engine->killAndWait();
        std::exchange(m_engine, nullptr)->deleteLater();
    }
    dropCheck();
    discardWorkFile();
    if (isOver())
        return;
    m_phase = Stopped;
    m_reason.clear();
    m_kept = KeptOutput(m_output);
    m_output.clear();
}

// ---------------------------------------------------------------------------
// The work file

QString ConversionJob::workPathFor(const QString &finalPath) const
{
    return m_order.workFolder ? m_order.workFolder->workPathFor(finalPath) : QString();
}

QString ConversionJob::commitWorkFile()
{
    std::optional<struct timespec> modified;
    struct stat input{};
    if (m_order.keepDates && ::stat(QFile::encodeName(m_order.task.InputFile).constData(), &input) == 0)
        modified = input.st_mtim;
    const QString failure = m_order.workFolder->commit(m_workPath, m_order.finalPath, modified);
    if (failure.isEmpty()) {
        m_workPath.clear();
        m_order.workFolder.reset();
    }
    return failure;
}

void ConversionJob::discardWorkFile()
{
    // The job's part of the folder goes with its file: the batch lets the
    // folder go once no job needs it.
    if (!m_workPath.isEmpty() && m_order.workFolder)
        m_order.workFolder->discard(m_workPath);
    m_workPath.clear();
    m_order.workFolder.reset();
}

// ---------------------------------------------------------------------------
// The output check

void ConversionJob::launchCheck()
{
    m_check = new OutputCheck(m_order.enginePath, m_order.task,
                              m_checkParams.isEmpty() ? m_order.params : m_checkParams, m_workPath, this);
    connect(m_check, &OutputCheck::done, this, &ConversionJob::onChecked);
    m_check->setTimeoutMs(CheckTimeoutMs);
    m_check->start();
}

QString ConversionJob::checkResult() const
{
    return m_check->reason();
}

void ConversionJob::dropCheck()
{
    if (!m_check)
        return;
    m_check->abandon();
    std::exchange(m_check, nullptr)->deleteLater();
}
