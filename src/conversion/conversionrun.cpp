#include "conversion/conversionrun.h"

#include "platform/interactive.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"
#include "platform/sleepinhibitor.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cmath>
#include <utility>

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
    if (m_check) {
        m_check->probe->abandon();
        RemoveOutputFile(m_check->temporary);
    }
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
        afterCheck([this] { cancel(false); });
        return;
    }

    m_currentSecs = 0;
    ReadItemData(m_tasks, m_row, WholeRowField, m_task);
    m_finalPath = chooseOutputPath();
    m_temporary = TemporaryOutputPath(m_finalPath);
    setCaptionData(TaskListModel::TemporaryOutputRole, m_temporary);
    // One left by a crash goes; so does anything a link there would lead to.
    RemoveOutputFile(m_temporary);

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
    // The row turns "Converting" once the previous task's row has its result,
    // so that rows change in their order; the engine need not wait for that.
    afterCheck([this] { showTask(); });
    auto *engine = new EngineProcess(this);
    connect(engine, &EngineProcess::chunkRead, this, &ConversionRun::onChunk);
    connect(engine, &EngineProcess::ended, this, &ConversionRun::onEngineEnded);
    m_engine = engine;
    if (!engine->start(m_enginePath, command)) {
        m_output = engine->errorString();
        m_engine = nullptr;
        engine->deleteLater();
        afterCheck([this] { failToStart(QStringLiteral("Error on CreateProcess()")); });
        return;
    }
    emit engineStarted(command.text);
}

void ConversionRun::showTask()
{
    // What an earlier run said about this row no longer holds.
    setCaptionData(TaskListModel::ResultNotesRole, m_renameNote.isEmpty() ? QVariant() : QVariant(m_renameNote));
    setCaptionData(TaskListModel::EngineOutputRole, QVariant());
    writeStatus(StatusConverting);
    m_view.setConvertingFile(QFileInfo(m_task.InputFile).fileName());
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
    if (status != StatusConverting)
        setCaptionData(TaskListModel::TemporaryOutputRole, QVariant());
    m_task.StatusText = status;
    WriteItemData(m_tasks, m_row, 2, m_task);
}

void ConversionRun::setCaptionData(int role, const QVariant &value, int row)
{
    QStandardItem *caption = m_tasks.item(row < 0 ? m_row : row, 0);
    // An item stores a cleared role as an entry of its own: clear only what is there.
    if (caption && (value.isValid() || caption->data(role).isValid()))
        caption->setData(value, role);
}

QString ConversionRun::keptOutput(const QString &output)
{
    QString kept = TaskListModel::LastLines(output, KeptOutputLines);
    if (kept.size() > KeptOutputChars)
        kept.remove(0, kept.size() - KeptOutputChars);
    return kept;
}

void ConversionRun::keepOutput(bool keep)
{
    setCaptionData(TaskListModel::EngineOutputRole, keep ? QVariant(keptOutput(m_output)) : QVariant());
    m_output.clear();
}

void ConversionRun::discardTemporary()
{
    if (m_temporary.isEmpty())
        return;
    RemoveOutputFile(m_temporary);
    m_temporary.clear();
}

void ConversionRun::afterCheck(std::function<void()> step)
{
    if (!m_check && m_afterCheck.empty()) {
        step();
        return;
    }
    m_afterCheck.push_back(std::move(step));
}

void ConversionRun::runAfterCheck()
{
    while (!m_check && !m_afterCheck.empty() && m_state != Idle) {
        const std::function<void()> step = std::move(m_afterCheck.front());
        m_afterCheck.pop_front();
        step();
    }
}

void ConversionRun::onEngineEnded(int exitCode, bool crashed)
{
    if (m_engine)
        m_engine->deleteLater();
    m_engine = nullptr;
    m_writeFailure.finish();
    afterCheck([this, exitCode, crashed] { taskEnded(exitCode, crashed); });
}

void ConversionRun::taskEnded(int exitCode, bool crashed)
{
    if (m_state == StopRequested) {
        discardTemporary();
        keepOutput(true);
        cancel(true);
        return;
    }
    // A failed write comes first among the reasons: the engine's last lines
    // may not show it, and it may exit 0 after one.
    QString reason;
    if (!m_writeFailure.failureLine().isEmpty())
        reason = QStringLiteral("The output is damaged: the engine reported \"%1\".").arg(m_writeFailure.failureLine());
    if (crashed || exitCode != 0) {
        discardTemporary();
        finishTask(StatusFailed, reason);
        return;
    }

    const QFileInfo written(m_temporary);
    if (reason.isEmpty() && (!written.isFile() || written.size() <= 0))
        reason = QStringLiteral("The output file is missing or empty.");
    if (!reason.isEmpty() || (m_task.ClipLengthSecs <= 0 && !wantsVideo())) {
        // Nothing a probe could add.
        if (reason.isEmpty())
            reason = CommitOutput(m_temporary, m_finalPath);
        if (reason.isEmpty())
            m_temporary.clear();
        else
            discardTemporary();
        finishTask(reason.isEmpty() ? StatusComplete : StatusFailed, reason);
        return;
    }
    startCheck();
}

bool ConversionRun::wantsVideo() const
{
    // An input without a picture gives none, whatever the profile.
    return WritesVideo(m_params, m_finalPath) && !m_task.SizeText.trimmed().isEmpty();
}

void ConversionRun::startCheck()
{
    // The output is probed while the next task's engine already works: the
    // probe costs the batch next to nothing. Its row waits for the result.
    auto check = std::make_unique<OutputCheck>();
    check->row = m_row;
    check->finalPath = m_finalPath;
    check->temporary = m_temporary;
    check->renameNote = m_renameNote;
    check->engineOutput = std::exchange(m_output, QString());
    check->expectedSecs = m_task.ClipLengthSecs;
    check->wantVideo = wantsVideo();
    check->probe = new EngineProbe(m_enginePath, m_temporary, this);
    connect(check->probe, &EngineProbe::done, this, &ConversionRun::onChecked);
    m_temporary.clear();
    EngineProbe *probe = check->probe;
    m_check = std::move(check);
    probe->launch(CheckTimeoutMs);

    countTaskProgress();
    if (m_row + 1 < m_rowCount) {
        ++m_row;
        m_nextTask.start();
    }
}

void ConversionRun::onChecked()
{
    if (!m_check)
        return;
    const std::unique_ptr<OutputCheck> check = std::move(m_check);
    check->probe->deleteLater();
    QString reason = CheckOutputReport(check->probe->report(), check->expectedSecs, check->wantVideo);
    if (reason.isEmpty())
        reason = CommitOutput(check->temporary, check->finalPath);
    if (!reason.isEmpty())
        RemoveOutputFile(check->temporary);
    const bool failed = !reason.isEmpty();
    settleRow(check->row, failed ? StatusFailed : StatusComplete, reason, check->renameNote,
              failed ? keptOutput(check->engineOutput) : QString());
    if (m_state == Idle)
        return; // abandoned on the news

    if (check->row + 1 >= m_rowCount)
        concludeBatch();
    else
        runAfterCheck();
}

void ConversionRun::dropCheck()
{
    if (!m_check)
        return;
    m_check->probe->abandon();
    m_check->probe->deleteLater();
    RemoveOutputFile(m_check->temporary);
    ltvItemData record;
    record.StatusText = StatusStop;
    setCaptionData(TaskListModel::EngineOutputRole, keptOutput(m_check->engineOutput), m_check->row);
    setCaptionData(TaskListModel::TemporaryOutputRole, QVariant(), m_check->row);
    WriteItemData(m_tasks, m_check->row, 2, record);
    m_check.reset();
}

void ConversionRun::countTaskProgress()
{
    m_doneSecs += m_task.ClipLengthSecs;
    if (m_row + 1 < m_rowCount)
        setCurrentPosition(0);
    // A failed task's progress still counts towards the batch.
    if (m_totalSecs != 0) {
        const int position = barPosition(m_doneSecs, m_totalSecs);
        if (position >= 0 && position > m_totalPosition)
            setTotalPosition(position);
    }
}

void ConversionRun::settleRow(int row, const QString &status, const QString &reason, const QString &renameNote,
                              const QString &engineLines)
{
    if (status == StatusFailed)
        ++m_failedCount;
    QStringList notes;
    if (!reason.isEmpty())
        notes << reason;
    if (!renameNote.isEmpty())
        notes << renameNote;
    setCaptionData(TaskListModel::ResultNotesRole, notes.isEmpty() ? QVariant() : QVariant(notes.join(QLatin1Char('\n'))),
                   row);
    setCaptionData(TaskListModel::EngineOutputRole, engineLines.isEmpty() ? QVariant() : QVariant(engineLines), row);
    setCaptionData(TaskListModel::TemporaryOutputRole, QVariant(), row);
    ltvItemData record;
    record.StatusText = status;
    WriteItemData(m_tasks, row, 2, record);
}

void ConversionRun::finishTask(const QString &status, const QString &reason)
{
    const bool failed = status == StatusFailed;
    settleRow(m_row, status, reason, m_renameNote, failed ? keptOutput(m_output) : QString());
    m_task.StatusText = status;
    m_output.clear();
    if (m_state == Idle)
        return; // abandoned on the news
    countTaskProgress();
    if (m_row + 1 >= m_rowCount) {
        concludeBatch();
        return;
    }
    if (m_state == StopRequested) {
        cancel(false);
        return;
    }
    ++m_row;
    m_nextTask.start();
}

void ConversionRun::concludeBatch()
{
    if (m_state == StopRequested) {
        // Stop came while the last output was checked: no end-of-batch choice.
        cancel(false);
        return;
    }
    endOfBatch();
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
    m_afterCheck.clear();
    // The program is going away: no engine may outlive it, and no output
    // that is not known to be good takes its name.
    dropCheck();
    if (m_engine) {
        m_engine->killAndWait();
        m_engine->deleteLater();
        m_engine = nullptr;
        discardTemporary();
        keepOutput(true);
        writeStatus(StatusStop);
    }
    discardTemporary();
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
