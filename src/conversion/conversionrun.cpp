#include "conversion/conversionrun.h"

#include "platform/interactive.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"
#include "platform/sleepinhibitor.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

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
    for (const JobPtr &job : m_jobs) {
        if (job->engine)
            job->engine->killAndWait();
        discardTemporary(*job);
    }
    for (const auto &check : m_checks) {
        check->probe->abandon();
        RemoveOutputFile(check->temporary);
    }
}

QString ConversionRun::PathKey(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool ConversionRun::IsRunningStatus(const QString &status)
{
    if (status == RowStatus::Converting || status == RowStatus::Paused)
        return true;
    if (!status.endsWith(QLatin1Char('%')))
        return false;
    bool number = false;
    status.chopped(1).toInt(&number);
    return number;
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

int ConversionRun::runningEngines() const
{
    return static_cast<int>(std::count_if(m_jobs.begin(), m_jobs.end(), [](const JobPtr &job) { return job->engine; }));
}

void ConversionRun::RunConversion(const QString &params)
{
    if (m_state != Idle)
        return;
    m_params = params;
    // Taken once: a change in the window during the batch applies to the next.
    m_outputFolder = m_view.outputFolder();
    m_outputExt = m_view.outputExt();
    m_jobLimit = std::max(1, m_view.batchOptions().jobs);

    m_view.setConvertingFile(QString());
    m_view.setElapsedText(QString());
    m_view.setRemainingText(QString());
    m_currentPosition = 0;
    m_totalPosition = 0;
    m_view.setCurrentProgress(0, percentText(0));
    m_view.setTotalProgress(0, percentText(0));
    m_view.showProgressPanel(true);

    m_state = Running;
    m_paused = false;
    m_concluding = false;
    m_startFailure.clear();
    m_doneSecs = 0;
    m_totalSecs = 0;
    m_elapsedSecs = 0;
    m_remainingSecs = 0;
    m_failedCount = 0;
    m_runningLabel.clear();
    m_view.setTimerEnabled(true);

    m_rowCount = m_tasks.rowCount();
    m_rowOutputs = QStringList();
    m_taken.clear();
    m_batchOutputs.clear();
    const QString outputFolder = QFileInfo(m_outputFolder).canonicalFilePath();
    for (int row = 0; row < m_rowCount; ++row) {
        ltvItemData task;
        ReadItemData(m_tasks, row, WholeRowField, task);
        m_totalSecs += task.ClipLengthSecs;
        m_rowOutputs << QString();
        // No task writes over the input of another: those in the output folder
        // are taken, under the name an output would have there.
        const QFileInfo input(task.InputFile);
        if (!outputFolder.isEmpty() && QFileInfo(input.absolutePath()).canonicalFilePath() == outputFolder)
            m_taken.insert(PathKey(withTrailingSeparator(m_outputFolder) + input.fileName()));
    }

    m_nextRow = 0;
    if (m_rowCount == 0) {
        // Nothing to convert: back to idle without a word.
        m_view.setTimerEnabled(false);
        finish();
        return;
    }
    takeSleep();
    emit stateChanged();
    // Let pending events through before the first task, as before every task.
    m_nextTask.start();
}

void ConversionRun::startTask()
{
    if (m_state == Idle || m_concluding)
        return;
    if (m_state == StopRequested || m_paused || m_nextRow >= m_rowCount
        || static_cast<int>(m_jobs.size()) >= m_jobLimit) {
        // Stop arrived between two tasks: start nothing more.
        proceed();
        return;
    }

    const auto job = std::make_shared<Job>();
    job->row = m_nextRow++;
    ReadItemData(m_tasks, job->row, WholeRowField, job->task);
    job->finalPath = chooseOutputPath(*job);
    job->temporary = TemporaryOutputPath(job->finalPath);
    m_lastOutputPath = job->finalPath;
    m_rowOutputs[job->row] = job->finalPath;
    setCaptionData(job->row, TaskListModel::TemporaryOutputRole, job->temporary);
    // One left by a crash goes; so does anything a link there would lead to.
    RemoveOutputFile(job->temporary);

    const ltvItemData &task = job->task;
    std::optional<QString> start;
    if (task.StartSecs != task.OrigStartSecs)
        start = task.StartText;
    std::optional<QString> seconds;
    if (task.ClipLengthSecs != task.LengthSecs)
        seconds = QString::number(RoundHalfEven(task.ClipLengthSecs));
    const EngineCommand command = ConversionCommand(task.InputFile, m_params, start, seconds, job->temporary);

    m_jobs.push_back(job);
    // With one engine at a time the row turns "Converting" once the previous
    // task's row has its result, so that rows change in their order; the
    // engine need not wait for that.
    afterCheck([this, job] { showTask(*job); });
    auto *engine = new EngineProcess(this);
    connect(engine, &EngineProcess::chunkRead, this, [this, job](const QString &text) { onChunk(*job, text); });
    connect(engine, &EngineProcess::ended, this,
            [this, job](int exitCode, bool crashed) { onEngineEnded(job, exitCode, crashed); });
    job->engine = engine;
    if (!engine->start(m_enginePath, command)) {
        job->output = engine->errorString();
        job->engine = nullptr;
        engine->deleteLater();
        afterCheck([this, job] { startFailed(job, QStringLiteral("Error on CreateProcess()")); });
        return;
    }
    emit engineStarted(command.text);
    proceed();
}

void ConversionRun::showTask(Job &job)
{
    job.shown = true;
    // What an earlier run said about this row no longer holds.
    setCaptionData(job.row, TaskListModel::ResultNotesRole,
                   job.renameNote.isEmpty() ? QVariant() : QVariant(job.renameNote));
    setCaptionData(job.row, TaskListModel::EngineOutputRole, QVariant());
    writeStatus(job, m_paused ? RowStatus::Paused : runningStatus(job));
    showRunningFiles();
}

QString ConversionRun::runningStatus(const Job &job) const
{
    return job.counted ? percentText(job.position) : RowStatus::Converting;
}

void ConversionRun::showRunningFiles()
{
    QStringList names;
    for (const JobPtr &job : m_jobs)
        if (job->shown)
            names << QFileInfo(job->task.InputFile).fileName();
    if (names.isEmpty())
        return; // the last one stays named until the next begins
    m_runningLabel = names.size() == 1 ? names.first() : QStringLiteral("%1 files").arg(names.size());
    if (!m_paused)
        m_view.setConvertingFile(m_runningLabel);
}

QString ConversionRun::chooseOutputPath(Job &job)
{
    const ltvItemData &task = job.task;
    const bool rename = m_view.batchOptions().rename;
    const QString path = OutputPathFor(task, job.row, m_outputFolder, m_outputExt, rename, &m_taken);

    // Say so when the name is not the one the task would have had alone.
    job.renameNote.clear();
    const QString own = withTrailingSeparator(m_outputFolder) + task.NewName + m_outputExt;
    const QString alone = OutputPathFor(task, job.row, m_outputFolder, m_outputExt, rename);
    const auto why = [&](const QString &wanted) -> QString {
        const QString name = QFileInfo(wanted).fileName();
        if (m_batchOutputs.contains(PathKey(wanted)))
            return QStringLiteral("an earlier task of this batch writes ") + name;
        if (m_taken.contains(PathKey(wanted)) && !sameFile(wanted, task.InputFile))
            return name + QStringLiteral(" is the input of another task of this batch");
        return QString();
    };
    QString reason = path == own ? QString() : why(own);
    if (reason.isEmpty() && path != alone)
        reason = why(alone);
    if (!reason.isEmpty())
        job.renameNote = QStringLiteral("Renamed to %1: %2").arg(QFileInfo(path).fileName(), reason);
    const QString key = PathKey(path);
    m_taken.insert(key);
    m_batchOutputs.insert(key);
    return path;
}

void ConversionRun::onChunk(Job &job, const QString &text)
{
    m_view.setMemoText(text);
    job.writeFailure.feed(text);
    job.output += text;
    if (job.output.size() > 2 * KeptOutputChars)
        job.output.remove(0, job.output.size() - KeptOutputChars);
    if (job.chunkCount >= 2)
        parseProgress(job, text);
    ++job.chunkCount;
}

void ConversionRun::parseProgress(Job &job, const QString &text)
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
        if (seconds > job.currentSecs)
            job.currentSecs = seconds;
    }

    if (job.task.ClipLengthSecs != 0) {
        const int position = barPosition(job.currentSecs, job.task.ClipLengthSecs);
        if (position < 0)
            return;
        const bool moved = position != job.position || !job.counted;
        job.position = position;
        setCurrentPosition(leastPosition());
        // Several rows run at once: each shows how far it got.
        if (m_jobLimit > 1 && moved) {
            job.counted = true;
            if (job.shown && !m_paused)
                writeStatus(job, runningStatus(job));
        }
    }
    if (m_totalSecs != 0) {
        const int position = barPosition(m_doneSecs + runningSecs(), m_totalSecs);
        if (position < 0)
            return;
        setTotalPosition(position);
    }
}

int ConversionRun::leastPosition() const
{
    int least = -1;
    for (const JobPtr &job : m_jobs)
        if (job->task.ClipLengthSecs != 0 && (least < 0 || job->position < least))
            least = job->position;
    return least;
}

double ConversionRun::runningSecs() const
{
    double secs = 0;
    for (const JobPtr &job : m_jobs)
        secs += job->currentSecs;
    return secs;
}

void ConversionRun::setCurrentPosition(int position)
{
    if (position < 0 || position == m_currentPosition)
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

void ConversionRun::writeStatus(Job &job, const QString &status)
{
    if (!IsRunningStatus(status))
        setCaptionData(job.row, TaskListModel::TemporaryOutputRole, QVariant());
    job.task.StatusText = status;
    WriteItemData(m_tasks, job.row, 2, job.task);
}

void ConversionRun::setCaptionData(int row, int role, const QVariant &value)
{
    QStandardItem *caption = m_tasks.item(row, 0);
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

void ConversionRun::keepOutput(Job &job, bool keep)
{
    setCaptionData(job.row, TaskListModel::EngineOutputRole, keep ? QVariant(keptOutput(job.output)) : QVariant());
    job.output.clear();
}

void ConversionRun::discardTemporary(Job &job)
{
    if (job.temporary.isEmpty())
        return;
    RemoveOutputFile(job.temporary);
    job.temporary.clear();
}

void ConversionRun::afterCheck(std::function<void()> step)
{
    if (m_jobLimit > 1 || (m_checks.empty() && m_afterCheck.empty())) {
        step();
        return;
    }
    m_afterCheck.push_back(std::move(step));
}

void ConversionRun::runAfterCheck()
{
    while (m_checks.empty() && !m_afterCheck.empty() && m_state != Idle) {
        const std::function<void()> step = std::move(m_afterCheck.front());
        m_afterCheck.pop_front();
        step();
    }
}

void ConversionRun::proceed()
{
    if (m_state == Idle || m_concluding)
        return;
    if (m_state == Running && m_nextRow < m_rowCount) {
        if (!m_paused && static_cast<int>(m_jobs.size()) < m_jobLimit)
            m_nextTask.start();
        return;
    }
    // Nothing more starts: the batch ends once every engine and check is done.
    if (m_jobs.empty() && m_checks.empty() && m_afterCheck.empty())
        conclude();
}

void ConversionRun::onEngineEnded(const JobPtr &job, int exitCode, bool crashed)
{
    if (job->engine)
        job->engine->deleteLater();
    job->engine = nullptr;
    job->writeFailure.finish();
    afterCheck([this, job, exitCode, crashed] { taskEnded(job, exitCode, crashed); });
}

void ConversionRun::taskEnded(const JobPtr &job, int exitCode, bool crashed)
{
    if (m_state == StopRequested) {
        discardTemporary(*job);
        keepOutput(*job, true);
        writeStatus(*job, RowStatus::Stop);
        removeJob(*job);
        proceed();
        return;
    }
    // A failed write comes first among the reasons: the engine's last lines
    // may not show it, and it may exit 0 after one.
    QString reason;
    if (!job->writeFailure.failureLine().isEmpty())
        reason = QStringLiteral("The output is damaged: the engine reported \"%1\".").arg(job->writeFailure.failureLine());
    if (crashed || exitCode != 0) {
        discardTemporary(*job);
        finishTask(job, RowStatus::Failed, reason);
        return;
    }

    const QFileInfo written(job->temporary);
    if (reason.isEmpty() && (!written.isFile() || written.size() <= 0))
        reason = QStringLiteral("The output file is missing or empty.");
    if (!reason.isEmpty() || (job->task.ClipLengthSecs <= 0 && !wantsVideo(*job))) {
        // Nothing a probe could add.
        if (reason.isEmpty())
            reason = CommitOutput(job->temporary, job->finalPath);
        if (reason.isEmpty())
            job->temporary.clear();
        else
            discardTemporary(*job);
        finishTask(job, reason.isEmpty() ? RowStatus::Complete : RowStatus::Failed, reason);
        return;
    }
    startCheck(job);
}

bool ConversionRun::wantsVideo(const Job &job) const
{
    // An input without a picture gives none, whatever the profile.
    return WritesVideo(m_params, job.finalPath) && !job.task.SizeText.trimmed().isEmpty();
}

void ConversionRun::startCheck(const JobPtr &job)
{
    // The output is probed while the next task's engine already works: the
    // probe costs the batch next to nothing. Its row waits for the result.
    auto check = std::make_unique<OutputCheck>();
    check->row = job->row;
    check->finalPath = job->finalPath;
    check->temporary = std::exchange(job->temporary, QString());
    check->renameNote = job->renameNote;
    check->engineOutput = std::exchange(job->output, QString());
    check->expectedSecs = job->task.ClipLengthSecs;
    check->wantVideo = wantsVideo(*job);
    check->probe = new FileProbe(m_enginePath, check->temporary, nullptr, this);
    FileProbe *probe = check->probe;
    connect(probe, &FileProbe::done, this, [this, probe] { onChecked(probe); });
    m_checks.push_back(std::move(check));
    probe->launch(CheckTimeoutMs);

    countTaskProgress(*job);
    proceed();
}

void ConversionRun::onChecked(FileProbe *probe)
{
    const auto found = std::find_if(m_checks.begin(), m_checks.end(),
                                    [probe](const auto &check) { return check->probe == probe; });
    if (found == m_checks.end())
        return;
    const std::unique_ptr<OutputCheck> check = std::move(*found);
    m_checks.erase(found);
    check->probe->deleteLater();
    QString reason = CheckOutputReport(check->probe->report(), check->expectedSecs, check->wantVideo);
    if (reason.isEmpty())
        reason = CommitOutput(check->temporary, check->finalPath);
    if (!reason.isEmpty())
        RemoveOutputFile(check->temporary);
    const bool failed = !reason.isEmpty();
    settleRow(check->row, failed ? RowStatus::Failed : RowStatus::Complete, reason, check->renameNote,
              failed ? keptOutput(check->engineOutput) : QString());
    if (m_state == Idle)
        return; // abandoned on the news
    runAfterCheck();
    proceed();
}

void ConversionRun::dropChecks()
{
    const std::vector<std::unique_ptr<OutputCheck>> checks = std::exchange(m_checks, {});
    for (const auto &check : checks) {
        check->probe->abandon();
        check->probe->deleteLater();
        RemoveOutputFile(check->temporary);
        settleRow(check->row, RowStatus::Stop, QString(), check->renameNote, keptOutput(check->engineOutput));
    }
}

void ConversionRun::removeJob(const Job &job)
{
    const auto found = std::find_if(m_jobs.begin(), m_jobs.end(), [&job](const JobPtr &p) { return p.get() == &job; });
    if (found != m_jobs.end())
        m_jobs.erase(found);
}

void ConversionRun::countTaskProgress(const Job &job)
{
    m_doneSecs += job.task.ClipLengthSecs;
    removeJob(job);
    if (!m_jobs.empty())
        setCurrentPosition(leastPosition());
    else if (m_nextRow < m_rowCount)
        setCurrentPosition(0);
    // A failed task's progress still counts towards the batch.
    if (m_totalSecs != 0) {
        const int position = barPosition(m_doneSecs + runningSecs(), m_totalSecs);
        if (position >= 0 && position > m_totalPosition)
            setTotalPosition(position);
    }
    showRunningFiles();
}

void ConversionRun::settleRow(int row, const QString &status, const QString &reason, const QString &renameNote,
                              const QString &engineLines)
{
    if (status == RowStatus::Failed)
        ++m_failedCount;
    QStringList notes;
    if (!reason.isEmpty())
        notes << reason;
    if (!renameNote.isEmpty())
        notes << renameNote;
    setCaptionData(row, TaskListModel::ResultNotesRole,
                   notes.isEmpty() ? QVariant() : QVariant(notes.join(QLatin1Char('\n'))));
    setCaptionData(row, TaskListModel::EngineOutputRole, engineLines.isEmpty() ? QVariant() : QVariant(engineLines));
    setCaptionData(row, TaskListModel::TemporaryOutputRole, QVariant());
    ltvItemData record;
    record.StatusText = status;
    WriteItemData(m_tasks, row, 2, record);
}

void ConversionRun::finishTask(const JobPtr &job, const QString &status, const QString &reason)
{
    const bool failed = status == RowStatus::Failed;
    settleRow(job->row, status, reason, job->renameNote, failed ? keptOutput(job->output) : QString());
    job->task.StatusText = status;
    job->output.clear();
    if (m_state == Idle)
        return; // abandoned on the news
    countTaskProgress(*job);
    proceed();
}

void ConversionRun::conclude()
{
    m_concluding = true;
    if (!m_startFailure.isEmpty()) {
        m_view.setTimerEnabled(false);
        releaseSleep();
        m_interactive.plainMessage(m_startFailure);
        if (m_state == Idle)
            return; // abandoned while the message was up
        finish();
        return;
    }
    if (m_state == StopRequested) {
        // No end-of-batch choice after a stop, also when it came while the
        // last output was checked.
        m_view.setTimerEnabled(false);
        releaseSleep();
        m_interactive.information(QStringLiteral("Cancel"), QStringLiteral("The Coversion is canceled."));
        if (m_state == Idle)
            return; // abandoned while the message was up
        finish();
        return;
    }
    endOfBatch();
}

void ConversionRun::requestStop()
{
    if (m_state != Running || m_concluding)
        return;
    m_state = StopRequested;
    const bool wasPaused = std::exchange(m_paused, false);
    for (const JobPtr &job : m_jobs) {
        if (!job->engine)
            continue;
        // A suspended engine could not act on the request.
        if (wasPaused)
            job->engine->resumeEngine();
        job->engine->TerminateEngine();
    }
    if (wasPaused)
        emit stateChanged();
    // Nothing left to end: the batch ends from the event loop.
    if (m_jobs.empty() && m_checks.empty())
        m_nextTask.start();
}

void ConversionRun::pause()
{
    if (m_state != Running || m_paused || m_concluding)
        return;
    m_paused = true;
    m_nextTask.stop();
    for (const JobPtr &job : m_jobs) {
        if (job->engine)
            job->engine->suspendEngine();
        if (job->shown)
            writeStatus(*job, RowStatus::Paused);
    }
    m_view.setConvertingFile(RowStatus::Paused);
    releaseSleep();
    emit stateChanged();
}

void ConversionRun::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    takeSleep();
    for (const JobPtr &job : m_jobs) {
        if (job->engine)
            job->engine->resumeEngine();
        if (job->shown)
            writeStatus(*job, runningStatus(*job));
    }
    m_view.setConvertingFile(m_runningLabel);
    emit stateChanged();
    proceed();
}

void ConversionRun::timerTick()
{
    // A pause stops the clock: the estimate after it counts working time only.
    if (m_paused)
        return;
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
    dropChecks();
    const std::vector<JobPtr> jobs = std::exchange(m_jobs, {});
    for (const JobPtr &job : jobs) {
        if (job->engine) {
            job->engine->killAndWait();
            job->engine->deleteLater();
            job->engine = nullptr;
            discardTemporary(*job);
            keepOutput(*job, true);
            writeStatus(*job, RowStatus::Stop);
        }
        discardTemporary(*job);
    }
    finish();
}

void ConversionRun::startFailed(const JobPtr &job, const QString &message)
{
    discardTemporary(*job);
    keepOutput(*job, true);
    writeStatus(*job, RowStatus::Failed);
    removeJob(*job);
    if (m_state == Idle)
        return;
    // The remaining rows are not converted; engines that work are stopped.
    m_startFailure = message;
    m_state = StopRequested;
    m_paused = false;
    for (const JobPtr &other : m_jobs)
        if (other->engine) {
            other->engine->resumeEngine();
            other->engine->TerminateEngine();
        }
    proceed();
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

void ConversionRun::takeSleep()
{
    if (!m_inhibitor || m_inhibiting)
        return;
    m_inhibitor->inhibit(QStringLiteral("Converting videos"));
    m_inhibiting = true;
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
    m_paused = false;
    m_concluding = false;
    emit stateChanged();
}

void ConversionRun::finish()
{
    backToIdle();
    emit finished();
}
