#include "conversion/conversionrun.h"

#include "platform/interactive.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"
#include "platform/sleepinhibitor.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cmath>

namespace {

const QString StatusConverting = QStringLiteral("Converting");
const QString StatusComplete = QStringLiteral("Complete");
const QString StatusStop = QStringLiteral("Stop");
const QString StatusFailed = QStringLiteral("Failed");

QString percentText(int position)
{
    return QString::number(position) + QLatin1Char('%');
}

// A percentage for a bar: the rounded value held within 0..100; -1 when the
// computation gave no number, or one too large to round to a whole number
// (the bars then stay where they are).
int barPosition(double numerator, double denominator)
{
    constexpr double LargestRounded = 9.2e18; // just inside a 64-bit integer
    const double value = numerator / denominator * 100;
    if (!std::isfinite(value) || std::fabs(value) >= LargestRounded)
        return -1;
    if (value <= 0)
        return 0;
    if (value >= 100)
        return 100;
    return static_cast<int>(RoundHalfEven(value));
}

QString withTrailingSeparator(const QString &folder)
{
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder;
    return folder + QLatin1Char('/');
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

} // namespace

ConversionRun::ConversionRun(QStandardItemModel &tasks, ConversionView &view, IInteractive &interactive,
                             IShell &shell, IPowerControl &power, QObject *parent)
    : QObject(parent)
    , m_tasks(tasks)
    , m_view(view)
    , m_interactive(interactive)
    , m_shell(shell)
    , m_power(power)
{
    m_nextTask.setSingleShot(true);
    m_nextTask.setInterval(0);
    connect(&m_nextTask, &QTimer::timeout, this, &ConversionRun::startTask);
}

ConversionRun::~ConversionRun()
{
    // Going away during a task: no engine outlives the run, and no partial
    // output is left behind.
    if (m_engine)
        m_engine->killAndWait();
    if (m_check)
        m_check->abandon();
    discardTemporary();
}

QString ConversionRun::PathKey(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString ConversionRun::OutputPathFor(const ltvItemData &task, int row, const QString &outputFolder,
                                     const QString &outputExt, bool rename, const QSet<QString> *taken)
{
    const auto isTaken = [taken](const QString &path) { return taken && taken->contains(PathKey(path)); };
    const QString folder = withTrailingSeparator(outputFolder);
    const QString path = folder + task.NewName + outputExt;
    const bool isInput = sameFile(path, task.InputFile);
    if (!isInput && !(rename && QFileInfo::exists(path)) && !isTaken(path))
        return path;

    // Never the input itself, and never a file that must not be overwritten:
    // name_k, then name_k_2, name_k_3, ... until a free name is found. A task
    // added before any profile was loaded has no extension of its own.
    const QString ext = task.NewExt.isEmpty() ? outputExt : task.NewExt;
    const QString indexed = folder + task.NewName + QLatin1Char('_') + QString::number(row + 1);
    QString candidate = indexed + ext;
    for (int n = 2; QFileInfo::exists(candidate) || sameFile(candidate, task.InputFile) || isTaken(candidate); ++n)
        candidate = indexed + QLatin1Char('_') + QString::number(n) + ext;
    return candidate;
}

void ConversionRun::RunConversion(const QString &params)
{
    if (m_state != Idle)
        return;
    m_params = params;
    // Taken once: a change in the window during the batch applies to the next.
    m_outputFolder = m_view.outputFolder();
    m_outputExt = m_view.outputExt();

    m_view.setConvertingFile(QString());
    m_view.setElapsedText(QString());
    m_view.setRemainingText(QString());
    m_currentPosition = 0;
    m_totalPosition = 0;
    m_view.setCurrentProgress(0, percentText(0));
    m_view.setTotalProgress(0, percentText(0));
    m_view.showProgressPanel(true);

    m_state = Running;
    m_doneSecs = 0;
    m_totalSecs = 0;
    m_elapsedSecs = 0;
    m_remainingSecs = 0;
    m_failedCount = 0;
    m_view.setTimerEnabled(true);

    m_rowCount = m_tasks.rowCount();
    m_taken.clear();
    m_batchOutputs.clear();
    const QString outputFolder = QFileInfo(m_outputFolder).canonicalFilePath();
    for (int row = 0; row < m_rowCount; ++row) {
        ltvItemData task;
        ReadItemData(m_tasks, row, WholeRowField, task);
        m_totalSecs += task.ClipLengthSecs;
        // No task writes over the input of another: those in the output folder
        // are taken, under the name an output would have there.
        const QFileInfo input(task.InputFile);
        if (!outputFolder.isEmpty() && QFileInfo(input.absolutePath()).canonicalFilePath() == outputFolder)
            m_taken.insert(PathKey(withTrailingSeparator(m_outputFolder) + input.fileName()));
    }

    m_row = 0;
    if (m_rowCount == 0) {
        // Nothing to convert: back to idle without a word.
        m_view.setTimerEnabled(false);
        finish();
        return;
    }
    if (m_inhibitor) {
        m_inhibitor->inhibit(QStringLiteral("Converting videos"));
        m_inhibiting = true;
    }
    // Let pending events through before the first task, as before every task.
    m_nextTask.start();
}

void ConversionRun::startTask()
{
    if (m_state == Idle)
        return;
    if (m_state == StopRequested) {
        // Stop arrived between two tasks: start nothing more.
        cancel(false);
        return;
    }

    m_currentSecs = 0;
    ReadItemData(m_tasks, m_row, WholeRowField, m_task);
    m_finalPath = chooseOutputPath();
    m_temporary = TemporaryOutputPath(m_finalPath);
    // One left by a crash goes; so does anything a link there would lead to.
    RemoveOutputFile(m_temporary);
    // What an earlier run said about this row no longer holds.
    setCaptionData(TaskListModel::ResultNotesRole, m_renameNote.isEmpty() ? QVariant() : QVariant(m_renameNote));
    setCaptionData(TaskListModel::EngineOutputRole, QVariant());
    writeStatus(StatusConverting);
    m_view.setConvertingFile(QFileInfo(m_task.InputFile).fileName());

    std::optional<QString> start;
    if (m_task.StartSecs != m_task.OrigStartSecs)
        start = m_task.StartText;
    std::optional<QString> seconds;
    if (m_task.ClipLengthSecs != m_task.LengthSecs)
        seconds = QString::number(RoundHalfEven(m_task.ClipLengthSecs));
    const EngineCommand command = ConversionCommand(m_task.InputFile, m_params, start, seconds, m_temporary);

    m_output.clear();
    m_writeFailure.reset();
    m_chunkCount = 0;
    auto *engine = new EngineProcess(this);
    connect(engine, &EngineProcess::chunkRead, this, &ConversionRun::onChunk);
    connect(engine, &EngineProcess::ended, this, &ConversionRun::onEngineEnded);
    m_engine = engine;
    if (!engine->start(m_enginePath, command)) {
        m_output = engine->errorString();
        m_engine = nullptr;
        engine->deleteLater();
        failToStart(QStringLiteral("Error on CreateProcess()"));
        return;
    }
    emit engineStarted(command.text);
}

QString ConversionRun::chooseOutputPath()
{
    const bool rename = m_view.batchOptions().rename;
    const QString path = OutputPathFor(m_task, m_row, m_outputFolder, m_outputExt, rename, &m_taken);

    // Say so when the name is not the one the task would have had alone.
    m_renameNote.clear();
    const QString own = withTrailingSeparator(m_outputFolder) + m_task.NewName + m_outputExt;
    const QString alone = OutputPathFor(m_task, m_row, m_outputFolder, m_outputExt, rename);
    const auto why = [&](const QString &wanted) -> QString {
        const QString name = QFileInfo(wanted).fileName();
        if (m_batchOutputs.contains(PathKey(wanted)))
            return QStringLiteral("an earlier task of this batch writes ") + name;
        if (m_taken.contains(PathKey(wanted)) && !sameFile(wanted, m_task.InputFile))
            return name + QStringLiteral(" is the input of another task of this batch");
        return QString();
    };
    QString reason = path == own ? QString() : why(own);
    if (reason.isEmpty() && path != alone)
        reason = why(alone);
    if (!reason.isEmpty())
        m_renameNote = QStringLiteral("Renamed to %1: %2").arg(QFileInfo(path).fileName(), reason);
    const QString key = PathKey(path);
    m_taken.insert(key);
    m_batchOutputs.insert(key);
    return path;
}

void ConversionRun::onChunk(const QString &text)
{
    m_view.setMemoText(text);
    m_writeFailure.feed(text);
    m_output += text;
    if (m_output.size() > 2 * KeptOutputChars)
        m_output.remove(0, m_output.size() - KeptOutputChars);
    if (m_chunkCount >= 2)
        parseProgress(text);
    ++m_chunkCount;
}

void ConversionRun::parseProgress(const QString &text)
{
    // The value follows "time" and one separator character, up to a blank. A
    // chunk without the marker has no value: other numbers in it are not times.
    const qsizetype marker = text.indexOf(QLatin1String("time"));
    const QString rest = marker < 0 ? QString() : text.mid(marker + 5);
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    const QString value = blank < 0 ? QString() : rest.left(blank);

    // Current engines write the time as h:m:s.f; older ones as seconds.
    double seconds = TimeTextToSeconds(value);
    if (seconds != -1 || ParseDecimal(value, seconds)) {
        if (seconds > m_currentSecs)
            m_currentSecs = seconds;
    }

    if (m_task.ClipLengthSecs != 0) {
        const int position = barPosition(m_currentSecs, m_task.ClipLengthSecs);
        if (position < 0)
            return;
        setCurrentPosition(position);
    }
    if (m_totalSecs != 0) {
        const int position = barPosition(m_doneSecs + m_currentSecs, m_totalSecs);
        if (position < 0)
            return;
        setTotalPosition(position);
    }
}

void ConversionRun::setCurrentPosition(int position)
{
    if (position == m_currentPosition)
        return;
    m_currentPosition = position;
    m_view.setCurrentProgress(position, percentText(position));
}

void ConversionRun::setTotalPosition(int position)
{
    if (position == m_totalPosition)
        return;
    m_totalPosition = position;
    m_view.setTotalProgress(position, percentText(position));
}

void ConversionRun::writeStatus(const QString &status)
{
    m_task.StatusText = status;
    WriteItemData(m_tasks, m_row, 2, m_task);
}

void ConversionRun::setCaptionData(int role, const QVariant &value)
{
    QStandardItem *caption = m_tasks.item(m_row, 0);
    // An item stores a cleared role as an entry of its own: clear only what is there.
    if (caption && (value.isValid() || caption->data(role).isValid()))
        caption->setData(value, role);
}

void ConversionRun::keepOutput(bool keep)
{
    if (keep) {
        QString kept = TaskListModel::LastLines(m_output, KeptOutputLines);
        if (kept.size() > KeptOutputChars)
            kept.remove(0, kept.size() - KeptOutputChars);
        setCaptionData(TaskListModel::EngineOutputRole, kept);
    } else {
        setCaptionData(TaskListModel::EngineOutputRole, QVariant());
    }
    m_output.clear();
}

void ConversionRun::discardTemporary()
{
    if (m_temporary.isEmpty())
        return;
    RemoveOutputFile(m_temporary);
    m_temporary.clear();
}

void ConversionRun::onEngineEnded(int exitCode, bool crashed)
{
    if (m_engine)
        m_engine->deleteLater();
    m_engine = nullptr;
    m_writeFailure.finish();

    if (m_state == StopRequested) {
        discardTemporary();
        keepOutput(true);
        cancel(true);
        return;
    }
    if (crashed || exitCode != 0) {
        discardTemporary();
        finishTask(StatusFailed, QString());
        return;
    }

    // The engine may exit 0 over an output it could not finish.
    if (!m_writeFailure.failureLine().isEmpty()) {
        commitOrFail(QStringLiteral("The output is damaged: the engine reported \"%1\".")
                         .arg(m_writeFailure.failureLine()));
        return;
    }
    const QFileInfo written(m_temporary);
    if (!written.isFile() || written.size() <= 0) {
        commitOrFail(QStringLiteral("The output file is missing or empty."));
        return;
    }
    if (m_task.ClipLengthSecs <= 0 && !wantsVideo()) {
        commitOrFail(QString()); // nothing a probe could check
        return;
    }
    auto *probe = new EngineProbe(m_enginePath, m_temporary, this);
    connect(probe, &EngineProbe::done, this, &ConversionRun::onChecked);
    m_check = probe;
    probe->launch(CheckTimeoutMs);
}

bool ConversionRun::wantsVideo() const
{
    // An input without a picture gives none, whatever the profile.
    return WritesVideo(m_params, m_finalPath) && !m_task.SizeText.trimmed().isEmpty();
}

void ConversionRun::onChecked()
{
    EngineProbe *probe = m_check;
    m_check = nullptr;
    if (!probe)
        return;
    probe->deleteLater();
    commitOrFail(CheckOutputReport(probe->report(), m_task.ClipLengthSecs, wantsVideo()));
}

void ConversionRun::commitOrFail(QString reason)
{
    if (reason.isEmpty())
        reason = CommitOutput(m_temporary, m_finalPath);
    if (reason.isEmpty())
        m_temporary.clear();
    else
        discardTemporary();
    finishTask(reason.isEmpty() ? StatusComplete : StatusFailed, reason);
}

void ConversionRun::finishTask(const QString &status, const QString &reason)
{
    m_doneSecs += m_task.ClipLengthSecs;
    const bool failed = status == StatusFailed;
    if (failed)
        ++m_failedCount;
    QStringList notes;
    if (!reason.isEmpty())
        notes << reason;
    if (!m_renameNote.isEmpty())
        notes << m_renameNote;
    setCaptionData(TaskListModel::ResultNotesRole, notes.isEmpty() ? QVariant() : QVariant(notes.join(QLatin1Char('\n'))));
    keepOutput(failed);
    writeStatus(status);

    const bool last = m_row + 1 >= m_rowCount;
    if (!last)
        setCurrentPosition(0);
    // A failed task's progress still counts towards the batch.
    if (m_totalSecs != 0) {
        const int position = barPosition(m_doneSecs, m_totalSecs);
        if (position >= 0 && position > m_totalPosition)
            setTotalPosition(position);
    }

    if (m_state == StopRequested) {
        // Stop came while the output was checked: this task is done, no other starts.
        cancel(false);
        return;
    }
    if (last) {
        endOfBatch();
        return;
    }
    ++m_row;
    m_nextTask.start();
}

void ConversionRun::requestStop()
{
    if (m_state != Running)
        return;
    m_state = StopRequested;
    if (m_engine)
        m_engine->TerminateEngine();
}

void ConversionRun::timerTick()
{
    ++m_elapsedSecs;
    m_view.setElapsedText(SecondsToTimeText(m_elapsedSecs));
    if (m_totalPosition != 0)
        m_remainingSecs = static_cast<int>(
            RoundHalfEven(m_elapsedSecs / (m_totalPosition / 100.0) - m_elapsedSecs));
    m_view.setRemainingText(SecondsToTimeText(m_remainingSecs));
}

void ConversionRun::abandon()
{
    if (m_state == Idle)
        return;
    m_nextTask.stop();
    m_view.setTimerEnabled(false);
    if (m_engine || m_check) {
        // The program is going away: no engine may outlive it, and the
        // task's output is dropped.
        if (m_engine) {
            m_engine->killAndWait();
            m_engine->deleteLater();
            m_engine = nullptr;
        }
        if (m_check) {
            m_check->abandon();
            m_check->deleteLater();
            m_check = nullptr;
        }
        discardTemporary();
        keepOutput(true);
        writeStatus(StatusStop);
    }
    finish();
}

void ConversionRun::cancel(bool duringTask)
{
    m_view.setTimerEnabled(false);
    releaseSleep();
    if (duringTask)
        writeStatus(StatusStop);
    m_interactive.information(QStringLiteral("Cancel"), QStringLiteral("The Coversion is canceled."));
    if (m_state == Idle)
        return; // abandoned while the message was up
    finish();
}

void ConversionRun::failToStart(const QString &message)
{
    discardTemporary();
    keepOutput(true);
    writeStatus(StatusFailed);
    m_view.setTimerEnabled(false);
    releaseSleep();
    m_interactive.plainMessage(message);
    if (m_state == Idle)
        return; // abandoned while the message was up
    finish();
}

void ConversionRun::endOfBatch()
{
    m_view.setTimerEnabled(false);
    releaseSleep();
    const BatchOptions options = m_view.batchOptions();
    if (options.turnOff) {
        // A way back: the window counts down first, and a machine that cannot
        // be turned off says so instead of closing the program for nothing.
        const bool confirmed = m_view.confirmPowerOff();
        if (m_state == Idle)
            return; // abandoned during the countdown
        if (!confirmed) {
            complete();
            return;
        }
        if (!m_power.canPowerOff()) {
            m_interactive.warning(QStringLiteral("Turn off"),
                                  QStringLiteral("The computer could not be turned off: ") + m_power.lastError());
            if (m_state == Idle)
                return;
            complete();
            return;
        }
        m_power.powerOff();
        backToIdle();
        m_view.closeMainWindow();
        emit finished();
        return;
    }
    if (options.exitProgram) {
        // Idle before the window is asked to close, so that its close handler
        // sees no run; a refused close leaves a usable window.
        backToIdle();
        m_view.closeMainWindow();
        emit finished();
        return;
    }
    complete();
}

void ConversionRun::complete()
{
    if (m_failedCount == 0)
        m_interactive.information(QStringLiteral("Complete"),
                                  QStringLiteral("The coversion is completed successfully."));
    else
        m_interactive.warning(QStringLiteral("Complete"),
                              QStringLiteral("The conversion is finished, but %1 of %2 files failed.")
                                  .arg(m_failedCount)
                                  .arg(m_rowCount));
    if (m_state == Idle)
        return; // abandoned while the message was up
    // The folder this batch wrote to, made absolute against the program's
    // working folder as the engine saw it.
    if (m_view.batchOptions().openDir)
        m_shell.openPath(QDir::current().absoluteFilePath(m_outputFolder));
    finish();
}

void ConversionRun::releaseSleep()
{
    if (!m_inhibiting)
        return;
    m_inhibiting = false;
    if (m_inhibitor)
        m_inhibitor->release();
}

void ConversionRun::backToIdle()
{
    m_nextTask.stop();
    releaseSleep();
    m_view.showProgressPanel(false);
    m_state = Idle;
}

void ConversionRun::finish()
{
    backToIdle();
    emit finished();
}
