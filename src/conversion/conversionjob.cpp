#include "conversion/conversionjob.h"

#include "conversion/enginecommand.h"
#include "conversion/inprocessprobe.h"
#include "conversion/outputcheck.h"
#include "platform/logging.h"
#include "conversion/qualitysearch.h"
#include "conversion/segmentedjob.h"
#include "conversion/workfolder.h"

#include <QCoreApplication>
#include <QDir>
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
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        watch(tr("The engine was stopped: its work made no progress for %1 s.").arg(m_order.stallMs / 1000.0));
    });
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

    // The input's streams decide the options of a profile that keeps all of
    // them, of a copy into Matroska (its mov_text subtitles), and which
    // streams already fit.
    if (KeepsAllStreams(m_order.params) || CopiesFitting(m_order.params)
        || CopiesIntoMatroska(m_order.params, m_order.finalPath)) {
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
    } else if (streams) {
        // (Keeping all streams, SelectStreams chose each subtitle's codec.)
        params = WithMatroskaSubtitles(params, *streams, m_order.finalPath);
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

void ConversionJob::searchQuality(const QString &params, double target)
{
    // The samples come from the part of the input the task converts.
    const ltvItemData &task = m_order.task;
    QualitySearch::Request request;
    request.enginePath = m_order.enginePath;
    request.input = task.InputFile;
    request.spans = SampleSpans(task.StartSecs, task.ClipLengthSecs > 0 ? task.ClipLengthSecs : task.LengthSecs);
    request.params = params;
    request.target = target;
    m_search = new QualitySearch(std::move(request), this);
    connect(m_search, &QualitySearch::finished, this, [this, params] {
        QString chosen = WithoutTargetSsim(params);
        if (m_search->failure().isEmpty()) {
            m_quality = QCoreApplication::translate("ConversionJob", "Quality: CRF %1 chosen for SSIM %2 or more "
                                                                     "(predicted %3; probes: %4).")
                            .arg(QString::number(m_search->chosen(), 'g', 4))
                            .arg(QString::number(*TargetSsim(params), 'g', 4))
                            .arg(QString::number(m_search->predicted(), 'f', 4))
                            .arg(m_search->probes());
            chosen = WithCrf(chosen, m_search->chosen());
        } else {
            m_quality = QCoreApplication::translate("ConversionJob", "The quality could not be picked (%1): the "
                                                                     "profile's own settings were used.")
                            .arg(m_search->failure());
        }
        dropSearch();
        launchEngine(chosen);
    });
    m_search->start();
}

void ConversionJob::dropSearch()
{
    if (!m_search)
        return;
    m_search->abandon();
    m_search->disconnect(this);
    std::exchange(m_search, nullptr)->deleteLater();
}

void ConversionJob::launchEngine(const QString &params)
{
    // A quality asked for is sought first (without a video to encode, there
    // is nothing to seek).
    if (const std::optional<double> target = TargetSsim(params)) {
        if (!CopiesVideo(params) && !SplitCommandLine(params).contains(QStringLiteral("-vn"))) {
            searchQuality(params, *target);
            return;
        }
    }
    // The start and the length go to the engine only when the task narrows
    // its input.
    QString engineParams = WithoutTargetSsim(params);
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

    // Launched without waiting: the job is Starting until the engine runs.
    if (m_order.workFolder
        && ConvertsInSegments(m_order.task, engineParams, m_order.finalPath, m_order.segmentSecs)) {
        m_segmentFolder = QDir(m_order.workFolder->outputFolder())
                              .filePath(SegmentFolderName(m_order.task.InputFile, m_order.finalPath));
        m_engine = new SegmentedEngine({m_order.task, engineParams, m_segmentFolder, m_order.segmentSecs,
                                        m_order.segmentSlots, m_order.makeEngine},
                                       this);
    } else {
        m_engine = m_order.makeEngine ? m_order.makeEngine(m_order.task, params, this) : new EngineProcess(this);
    }
    connect(m_engine, &TaskEngine::chunkRead, this, &ConversionJob::onChunk);
    connect(m_engine, &TaskEngine::ended, this, &ConversionJob::onEngineEnded);
    m_engineOutputPath = m_workPath;
    m_listedSecs = ListedOutputSecs(m_order.task, params);
    connect(m_engine, &TaskEngine::started, this, [this, text = command.text] {
        if (m_order.stallMs > 0)
            m_stallTimer.start(m_order.stallMs);
        setPhase(Converting);
        emit engineStarted(withOutputPath(text));
        if (m_stopRequested)
            m_engine->TerminateEngine();
        else if (m_pauseWanted)
            pause();
    });
    // Queued: a start that fails at once must not end the job inside start().
    connect(m_engine, &TaskEngine::failedToStart, this, &ConversionJob::onEngineFailedToStart,
            Qt::QueuedConnection);
    m_engine->launch(m_order.enginePath, command);
}

void ConversionJob::onEngineFailedToStart(const QString &error)
{
    if (!m_engine || m_phase != Starting)
        return;
    m_output = error;
    std::exchange(m_engine, nullptr)->deleteLater();
    m_startFailed = !m_stopRequested;
    end(m_stopRequested ? Stopped : Failed, QString(), true);
}

void ConversionJob::watch(const QString &failure)
{
    if (!m_engine || m_stopRequested || !m_watchdogReason.isEmpty())
        return;
    qCInfo(lcRun) << "watchdog stops the engine for" << m_order.task.InputFile << ":" << failure;
    m_watchdogReason = failure;
    m_stallTimer.stop();
    m_engine->resumeEngine();
    m_engine->TerminateEngine();
}

QString ConversionJob::withOutputPath(QString text) const
{
    if (!m_engineOutputPath.isEmpty() && m_engineOutputPath != m_order.finalPath)
        text.replace(m_engineOutputPath, m_order.finalPath);
    return text;
}

void ConversionJob::onChunk(const QString &text)
{
    m_writeFailure.feed(text);
    if (text.contains(QLatin1String("File ended prematurely")))
        m_inputEndedEarly = true;
    m_output += text;
    if (m_output.size() > 2 * KeptOutputChars)
        m_output.remove(0, m_output.size() - KeptOutputChars);
    emit chunkRead(withOutputPath(text));
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
    if ((seconds != -1 || ParseDecimal(value, seconds)) && seconds > m_currentSecs) {
        m_currentSecs = seconds;
        if (m_stallTimer.isActive())
            m_stallTimer.start(m_order.stallMs);
    }
    emit progressed();
    // A time beyond any the engine could reach (1e300) is no progress to judge.
    if (m_listedSecs && m_currentSecs > OverrunFactor * *m_listedSecs + OverrunSecs && m_currentSecs < 1e9) {
        watch(tr("The engine was stopped: its output had reached %1 s, far beyond the %2 s of its input, "
                 "whose times may be damaged.")
                  .arg(QString::number(m_currentSecs, 'f', 1), QString::number(*m_listedSecs, 'f', 1)));
    }
}

void ConversionJob::onEngineEnded(int exitCode, bool crashed)
{
    QString engineReason;
    if (m_engine) {
        engineReason = m_engine->failureReason();
        if (!m_engine->note().isEmpty())
            m_leftOut << m_engine->note();
        m_engine->deleteLater();
    }
    m_engine = nullptr;
    m_stallTimer.stop();
    m_writeFailure.finish();
    if (m_stopRequested) {
        end(Stopped, QString(), true);
        return;
    }
    if (!m_watchdogReason.isEmpty()) {
        end(Failed, m_watchdogReason, true);
        return;
    }
    // A failed write comes first among the reasons: the engine's last lines
    // may not show it, and it may exit 0 after one.
    if (!m_writeFailure.failureLine().isEmpty())
        m_reason = QCoreApplication::translate("ConversionJob", "The output is damaged: the engine reported \"%1\".")
                       .arg(m_writeFailure.failureLine());
    if (m_reason.isEmpty())
        m_reason = engineReason;
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
    QString note = m_check->note();
    // The engine's word that the input ends early counts where the input's
    // facts could not be read: they tell whether the task reached that end.
    const bool engineNote = m_inputEndedEarly && !m_check->knewInput();
    std::exchange(m_check, nullptr)->deleteLater();
    if (!reason.isEmpty())
        qCInfo(lcRun) << "output check failed for" << m_order.task.InputFile << ":" << reason;
    if (reason.isEmpty())
        reason = commitWorkFile();
    // The segments are no longer needed once the output has its name.
    if (reason.isEmpty() && !m_segmentFolder.isEmpty())
        SegmentedEngine::RemoveFolder(m_segmentFolder);
    if (note.isEmpty() && engineNote)
        note = tr("The engine found that the input ends early: the output holds all it could read.");
    if (reason.isEmpty() && !note.isEmpty())
        m_leftOut.prepend(note);
    if (m_stoppedInCheck) {
        // The row tells what the stop found: the batch was stopped, but the
        // output had been made.
        const QString kept = reason.isEmpty()
                                 ? tr("Stopped while its output was checked: the output was found good and kept as \"%1\".")
                                       .arg(m_order.finalPath)
                                 : tr("Stopped while its output was checked: the output was found faulty and removed. %1")
                                       .arg(reason);
        m_leftOut.prepend(kept);
        end(Stopped, QString(), !reason.isEmpty());
        return;
    }
    end(reason.isEmpty() ? Committed : Failed, reason, !reason.isEmpty());
}

void ConversionJob::end(Phase phase, const QString &reason, bool keepOutput)
{
    dropStreamProbe();
    dropSearch();
    discardWorkFile();
    m_stallTimer.stop();
    m_reason = withOutputPath(reason);
    // What a kept output lacks is said with it.
    if (phase == Committed || (phase == Stopped && m_stoppedInCheck)) {
        QStringList notes = m_leftOut;
        if (phase == Committed && !m_copied.isEmpty())
            notes << m_copied;
        if (phase == Committed && !m_quality.isEmpty())
            notes << m_quality;
        if (!notes.isEmpty())
            m_reason = notes.join(QLatin1Char('\n'));
    }
    m_kept = keepOutput ? KeptOutput(withOutputPath(m_output)) : QString();
    m_output.clear();
    setPhase(phase);
    emit finished(status(), m_reason, m_kept);
}

void ConversionJob::pause()
{
    // Paused once its engine runs. A launched engine is held at once: the
    // program may stop itself before it hears that the engine runs.
    if (m_phase == Starting) {
        m_pauseWanted = true;
        if (m_engine)
            m_engine->suspendEngine();
        if (m_search)
            m_search->suspend();
    }
    if (m_phase != Converting || !m_engine)
        return;
    m_engine->suspendEngine();
    m_stallTimer.stop();
    setPhase(Paused);
}

void ConversionJob::resume()
{
    m_pauseWanted = false;
    if (launching())
        m_engine->resumeEngine();
    if (m_search)
        m_search->resume();
    if (m_phase != Paused)
        return;
    if (m_engine) {
        m_engine->resumeEngine();
        if (m_order.stallMs > 0 && m_watchdogReason.isEmpty() && !m_stopRequested)
            m_stallTimer.start(m_order.stallMs);
    }
    setPhase(Converting);
}

void ConversionJob::stop()
{
    switch (m_phase) {
    case Starting:
        if (m_engine) {
            // Launched: stopped once it runs (or fails to).
            m_stopRequested = true;
            return;
        }
        end(Stopped, QString(), true);
        return;
    case Waiting:
        end(Stopped, QString(), true);
        return;
    case Paused:
    case Converting:
        m_stopRequested = true;
        m_stallTimer.stop();
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
        else
            m_stoppedInCheck = true;
        return;
    default:
        return;
    }
}

void ConversionJob::abandon()
{
    dropStreamProbe();
    dropSearch();
    if (m_engine) {
        // Killed and reaped here; it emits nothing more.
        m_engine->killAndWait();
        std::exchange(m_engine, nullptr)->deleteLater();
    }
    m_stallTimer.stop();
    dropCheck();
    discardWorkFile();
    if (isOver())
        return;
    m_phase = Stopped;
    m_reason.clear();
    m_kept = KeptOutput(withOutputPath(m_output));
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
