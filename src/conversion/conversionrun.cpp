#include "conversion/conversionrun.h"

#include "conversion/workfolder.h"
#include "platform/logging.h"
#include "platform/sleepinhibitor.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

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

// An engine is launched and does not run yet. One engine is launched at a
// time, so that one that cannot start ends the batch before the next one is
// launched.
template <typename Entries>
bool AnyLaunching(const Entries &entries)
{
    return std::any_of(entries.begin(), entries.end(), [](const auto &entry) { return entry->job->launching(); });
}

} // namespace

ConversionRun::ConversionRun(TaskListModel &tasks, ConversionView &view, IInteractive &interactive,
                             IShell &shell, IPowerControl &power, QObject *parent)
    : QObject(parent)
    , m_tasks(tasks)
    , m_view(view)
    , m_end(view, interactive, shell, power)
{
    m_nextTask.setSingleShot(true);
    m_nextTask.setInterval(0);
    connect(&m_nextTask, &QTimer::timeout, this, &ConversionRun::startTask);
    connect(&m_end, &BatchEnd::done, this, &ConversionRun::onEnded);
    // Rows that move or go: the first waiting row is looked for from the top.
    const auto rescan = [this] { m_scanFrom = 0; };
    connect(&m_tasks, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        if (first < m_scanFrom)
            m_scanFrom = 0;
        // A task listed during a batch may join it: no output takes its input's path.
        if (m_state == Idle)
            return;
        for (int row = first; row <= last; ++row) {
            ltvItemData task;
            ReadItemData(m_tasks, row, CaptionField, task);
            m_naming.takeInput(task.InputFile);
        }
    });
    connect(&m_tasks, &QAbstractItemModel::rowsRemoved, this, rescan);
    connect(&m_tasks, &QAbstractItemModel::rowsMoved, this, rescan);
    connect(&m_tasks, &QAbstractItemModel::layoutChanged, this, rescan);
    connect(&m_tasks, &QAbstractItemModel::modelReset, this, rescan);
}

ConversionRun::~ConversionRun()
{
    // Going away during a task: no engine outlives the run, and no partial
    // output is left behind.
    m_end.abandon();
    for (const auto &entry : m_entries)
        entry->job->abandon();
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

int ConversionRun::runningEngines() const
{
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(),
                                          [](const auto &entry) { return entry->job->engineRunning(); }));
}

int ConversionRun::heldSlots() const
{
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(),
                                          [](const auto &entry) { return entry->job->holdsEngineSlot(); }));
}

ConversionRun::Entry *ConversionRun::entryOf(const ConversionJob *job)
{
    for (const auto &entry : m_entries)
        if (entry->job == job)
            return entry.get();
    return nullptr;
}

void ConversionRun::RunConversion(const QString &params)
{
    QList<int> rows;
    for (int row = 0; row < m_tasks.rowCount(); ++row)
        rows << row;
    RunConversion(params, rows);
}

bool ConversionRun::isQueued(int row) const
{
    return m_tasks.index(row, 0).data(TaskListModel::QueuedRole).toBool();
}

void ConversionRun::setQueued(int row, bool queued)
{
    if (queued && row < m_scanFrom)
        m_scanFrom = row;
    setCaptionData(row, TaskListModel::QueuedRole, queued ? QVariant(true) : QVariant());
}

int ConversionRun::nextQueued()
{
    const int rows = m_tasks.rowCount();
    while (m_scanFrom < rows && !isQueued(m_scanFrom))
        ++m_scanFrom;
    return m_scanFrom < rows ? m_scanFrom : -1;
}

void ConversionRun::clearQueue()
{
    for (int row = nextQueued(); row >= 0; row = nextQueued())
        setQueued(row, false);
}

bool ConversionRun::join(const QList<int> &rows)
{
    if (m_state != Running)
        return false;
    for (int row : rows) {
        if (row < 0 || row >= m_tasks.rowCount() || isQueued(row))
            continue;
        setQueued(row, true);
        m_batchRows << row;
        ++m_rowCount;
        ltvItemData task;
        ReadItemData(m_tasks, row, WholeRowField, task);
        m_totalSecs += task.ClipLengthSecs;
    }
    proceed();
    return true;
}

void ConversionRun::holdOpen(bool open)
{
    m_heldOpen = open;
    if (!open)
        proceed();
}

void ConversionRun::RunConversion(const QString &params, const QList<int> &rows, bool quiet)
{
    if (m_state != Idle)
        return;
    // Only the rows asked for wait, in list order.
    m_scanFrom = 0;
    clearQueue();
    m_batchRows.clear();
    for (int row : rows)
        if (row >= 0 && row < m_tasks.rowCount() && !isQueued(row)) {
            setQueued(row, true);
            m_batchRows << row;
        }
    m_quiet = quiet;
    m_params = params;
    // Taken once: a change in the window during the batch applies to the next.
    m_naming.begin(m_view.outputFolder(), m_view.outputExt(), m_tasks, m_view.batchOptions().place);
    for (const QString &input : std::as_const(m_reservedInputs))
        m_naming.takeInput(input);
    for (const QString &file : std::as_const(m_keptFiles))
        m_naming.keep(file);
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
    m_startFailure.clear();
    m_doneSecs = 0;
    m_totalSecs = 0;
    m_elapsedSecs = 0;
    m_remainingSecs = 0;
    m_failedCount = 0;
    m_completeCount = 0;
    m_notSmallerCount = 0;
    m_runningLabel.clear();
    m_view.setTimerEnabled(true);

    m_rowCount = static_cast<int>(m_batchRows.size());
    m_rowOutputs = QStringList();
    for (int row : std::as_const(m_batchRows)) {
        ltvItemData task;
        ReadItemData(m_tasks, row, WholeRowField, task);
        m_totalSecs += task.ClipLengthSecs;
    }

    if (m_rowCount == 0 && !m_heldOpen) {
        // Nothing to convert: back to idle without a word.
        m_view.setTimerEnabled(false);
        endBatch();
        backToIdle();
        emit finished();
        return;
    }
    // A private folder of the run's own in each folder its outputs go to:
    // the output folder's at once, others when their first task starts.
    m_workFolders.clear();
    if (m_view.batchOptions().place == OutputPlace::Folder) {
        const auto folder = m_workFolders.folderFor(m_naming.outputFolder(), QString(), nullptr);
        qCInfo(lcWorkFolder).noquote() << "work folder for" << m_naming.outputFolder() << ":"
                                       << (folder ? folder->path() : QStringLiteral("none"));
    }
    takeSleep();
    emit stateChanged();
    // Let pending events through before the first task, as before every task.
    m_nextTask.start();
}

void ConversionRun::startTask()
{
    if (m_state != Running && m_state != StopRequested)
        return;
    if (m_state == StopRequested || m_paused || nextQueued() < 0 || heldSlots() >= m_jobLimit
        || AnyLaunching(m_entries)) {
        // Stop arrived between two tasks: start nothing more.
        proceed();
        return;
    }

    auto entry = std::make_unique<Entry>();
    ConversionJob::Order order;
    order.row = nextQueued();
    setQueued(order.row, false);
    ReadItemData(m_tasks, order.row, WholeRowField, order.task);
    order.params = m_params;
    order.finalPath = m_naming.reserve(order.task, order.row, m_view.batchOptions().rename, &entry->renameNote);
    order.enginePath = m_enginePath;
    const BatchOptions options = m_view.batchOptions();
    order.notBigger = options.notBigger;
    order.keepDates = options.keepDates;
    entry->original = OriginalFile::Read(order.task.InputFile);
    order.stallMs = m_stallMs;
    order.makeEngine = m_engineFactory;
    order.segmentSecs = options.segmentMinutes * 60;
    order.segmentSlots = m_jobLimit;
    const OutputSpot spot = m_naming.spotFor(order.task);
    order.workFolder = m_workFolders.folderFor(spot.base, spot.sub, &order.noWorkFolder);
    auto *job = new ConversionJob(order, this);
    entry->job = job;
    m_lastOutputPath = order.finalPath;
    while (m_rowOutputs.size() <= order.row)
        m_rowOutputs << QString();
    m_rowOutputs[order.row] = order.finalPath;
    // Where a crash would leave its unfinished output.
    if (order.workFolder) {
        qCDebug(lcWorkFolder).noquote() << "task" << order.row << "works in" << order.workFolder->path();
        setCaptionData(order.row, TaskListModel::TemporaryOutputRole, order.workFolder->path());
    }

    connect(job, &ConversionJob::engineStarted, this, &ConversionRun::engineStarted);
    connect(job, &ConversionJob::chunkRead, this, [this](const QString &text) { m_view.setMemoText(text); });
    connect(job, &ConversionJob::progressed, this, [this, job] { onProgress(job); });
    connect(job, &ConversionJob::phaseChanged, this,
            [this, job](ConversionJob::Phase phase) { onPhaseChanged(job, phase); });
    connect(job, &ConversionJob::finished, this, &ConversionRun::advance);
    m_entries.push_back(std::move(entry));

    // With one engine at a time the row turns "Converting" once the previous
    // task's row has its result, so that rows change in their order; the
    // engine need not wait for that.
    advance();
    job->start();
    // An engine that cannot start ends the batch once its row has its result.
    if (!job->startFailed())
        proceed();
}

void ConversionRun::onPhaseChanged(ConversionJob *job, ConversionJob::Phase phase)
{
    emit jobPhaseChanged(job->row(), phase);
    Entry *entry = entryOf(job);
    // The engine is done: its clip counts as done, whatever the check finds.
    if (entry && !entry->counted && (phase == ConversionJob::Checking || phase == ConversionJob::Failed))
        countTaskProgress(*entry);
    // The output is checked while the next task's engine already works; an
    // engine that runs lets the next one launch.
    if (phase == ConversionJob::Checking || phase == ConversionJob::Converting)
        proceed();
}

void ConversionRun::onProgress(ConversionJob *job)
{
    Entry *entry = entryOf(job);
    if (!entry || entry->counted)
        return;
    const double clip = job->task().ClipLengthSecs;
    if (clip != 0) {
        const int position = barPosition(job->currentSecs(), clip);
        if (position < 0)
            return;
        const bool moved = position != entry->position || !entry->percentShown;
        entry->position = position;
        setCurrentPosition(leastPosition());
        // Several rows run at once: each shows how far it got.
        if (m_jobLimit > 1 && moved) {
            entry->percentShown = true;
            if (entry->shown && !m_paused)
                writeStatus(*entry, runningStatus(*entry));
        }
    }
    if (m_totalSecs != 0) {
        const int position = barPosition(m_doneSecs + runningSecs(), m_totalSecs);
        if (position >= 0)
            setTotalPosition(position);
    }
}

void ConversionRun::advance()
{
    // A job may end while its turn is given (or a row is written): that
    // comes round again here rather than from within.
    if (m_advancing) {
        m_advanceAgain = true;
        return;
    }
    m_advancing = true;
    do {
        m_advanceAgain = false;
        for (std::size_t i = 0; i < m_entries.size() && m_state != Idle;) {
            if (m_jobLimit == 1 && i > 0)
                break;
            Entry &entry = *m_entries[i];
            if (!entry.shown)
                showTask(entry);
            entry.job->allowCheck();
            if (!entry.job->isOver()) {
                ++i;
                continue;
            }
            const std::unique_ptr<Entry> over = std::move(m_entries[i]);
            m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
            over->job->deleteLater();
            settle(*over);
        }
    } while (m_advanceAgain && m_state != Idle);
    m_advancing = false;
    proceed();
}

void ConversionRun::settle(const Entry &entry)
{
    const ConversionJob &job = *entry.job;
    // Every check's outcome, passed or not (a stopped or unstarted task has none).
    if (job.status() == RowStatus::Complete)
        qCInfo(lcCheck).noquote() << "passed:" << m_rowOutputs.value(job.row());
    else if (job.status() == RowStatus::Failed)
        qCInfo(lcCheck).noquote() << "failed:" << job.task().InputFile << "-" << job.reason();
    const QString after = afterTask(entry);
    QString reason = job.reason();
    if (!after.isEmpty())
        reason += (reason.isEmpty() ? QString() : QStringLiteral("\n")) + after;
    settleRow(job.row(), job.status(), reason, entry.renameNote, job.keptOutput());
    if (job.startFailed() && m_state != Idle) {
        // The remaining rows are not converted; jobs that work are stopped.
        m_startFailure = QStringLiteral("Error on CreateProcess()");
        stopJobs();
    }
}

QString ConversionRun::afterTask(const Entry &entry)
{
    const ConversionJob &job = *entry.job;
    const BatchOptions options = m_view.batchOptions();
    QStringList notes;
    QString original = QStringLiteral("kept");
    // Only an output that was checked and took its name lets the original go.
    if (job.phase() == ConversionJob::Committed && options.original != OriginalAction::Keep) {
        const QString kept = entry.original
            ? DisposeOriginal(options.original, *entry.original, job.finalPath(), options.homeTrash)
            : QCoreApplication::translate("ConversionRun", "The original was kept: it could not be read when its "
                                                           "conversion began.");
        if (kept.isEmpty()) {
            notes << DisposedNote(options.original);
            original = options.original == OriginalAction::Trash ? QStringLiteral("trashed") : QStringLiteral("deleted");
        } else {
            notes << kept;
        }
    }
    if (!options.doneCommand.isEmpty()) {
        const QString failure = RunDoneCommand(
            options.doneCommand, TaskDoneEnvironment(job.task().InputFile, job.finalPath(), job.status(), original));
        if (!failure.isEmpty())
            notes << failure;
    }
    return notes.join(QLatin1Char('\n'));
}

void ConversionRun::runBatchDoneCommand(bool stopped)
{
    const QString command = m_view.batchOptions().batchDoneCommand;
    if (command.isEmpty())
        return;
    QProcessEnvironment environment;
    const QString status = stopped ? QStringLiteral("stopped")
        : m_failedCount > 0 || !m_startFailure.isEmpty() ? QStringLiteral("failed")
                                                         : QStringLiteral("complete");
    environment.insert(QStringLiteral("VANTORIX_STATUS"), status);
    environment.insert(QStringLiteral("VANTORIX_OUTPUT_FOLDER"), m_naming.outputFolder());
    environment.insert(QStringLiteral("VANTORIX_TOTAL"), QString::number(m_rowCount));
    environment.insert(QStringLiteral("VANTORIX_COMPLETE"), QString::number(m_completeCount));
    environment.insert(QStringLiteral("VANTORIX_FAILED"), QString::number(m_failedCount));
    environment.insert(QStringLiteral("VANTORIX_NOT_SMALLER"), QString::number(m_notSmallerCount));
    const QString failure = RunDoneCommand(command, environment);
    if (!failure.isEmpty())
        qCWarning(lcRun) << failure;
}

void ConversionRun::proceed()
{
    if (m_state != Running && m_state != StopRequested)
        return;
    if (m_state == Running && nextQueued() >= 0) {
        if (!m_paused && heldSlots() < m_jobLimit && !AnyLaunching(m_entries))
            m_nextTask.start();
        return;
    }
    // Nothing more starts: the batch ends once every job is over, unless
    // more rows are about to join.
    if (m_entries.empty() && !(m_state == Running && m_heldOpen))
        conclude();
}

void ConversionRun::conclude()
{
    const bool stopped = m_state == StopRequested;
    m_state = Ending;
    // Every job is over: the work folder goes before the end is told.
    m_workFolders.clear();
    m_paused = false;
    m_nextTask.stop();
    m_view.setTimerEnabled(false);
    releaseSleep();
    // Before the message that says how it ended.
    endBatch();
    runBatchDoneCommand(stopped);
    emit stateChanged();
    BatchOutcome outcome;
    outcome.startFailure = m_startFailure;
    outcome.stopped = stopped;
    outcome.failed = m_failedCount;
    outcome.total = m_rowCount;
    outcome.outputFolder = m_naming.outputFolder();
    // A quiet batch ends without a word, unless an engine could not start.
    if (m_quiet && outcome.startFailure.isEmpty())
        onEnded(false);
    else
        m_end.begin(outcome);
}

void ConversionRun::endBatch()
{
    m_view.batchEnded(m_batchRows);
}

void ConversionRun::onEnded(bool closeWindow)
{
    // Idle before the window is asked to close, so that its close handler
    // sees no run; a refused close leaves a usable window.
    backToIdle();
    if (closeWindow)
        m_view.closeMainWindow();
    emit finished();
}

void ConversionRun::stopJobs()
{
    m_state = StopRequested;
    // What waits is left waiting for the next Start.
    clearQueue();
    const bool wasPaused = std::exchange(m_paused, false);
    std::vector<QPointer<ConversionJob>> jobs;
    for (const auto &entry : m_entries)
        jobs.emplace_back(entry->job);
    for (const QPointer<ConversionJob> &job : jobs)
        if (job)
            job->stop();
    if (wasPaused)
        emit stateChanged();
}

void ConversionRun::requestStop()
{
    if (m_state != Running)
        return;
    stopJobs();
    // Nothing left to end: the batch ends from the event loop.
    if (m_entries.empty())
        m_nextTask.start();
}

void ConversionRun::pause()
{
    if (m_state != Running || m_paused)
        return;
    m_paused = true;
    m_nextTask.stop();
    for (const auto &entry : m_entries) {
        entry->job->pause();
        if (entry->shown && !entry->counted)
            writeStatus(*entry, RowStatus::Paused);
    }
    m_view.setConvertingFile(RowStatus::Paused);
    releaseSleep();
    emit stateChanged();
}

void ConversionRun::resume()
{
    if (!m_paused || m_state != Running)
        return;
    m_paused = false;
    takeSleep();
    for (const auto &entry : m_entries) {
        entry->job->resume();
        if (entry->shown && !entry->counted)
            writeStatus(*entry, runningStatus(*entry));
    }
    m_view.setConvertingFile(m_runningLabel);
    emit stateChanged();
    proceed();
}

void ConversionRun::abandon()
{
    if (m_state == Idle)
        return;
    const bool endTold = m_state == Ending;
    // Idle at once: a row written here that leads to another abandon finds
    // nothing more to do.
    m_state = Idle;
    m_nextTask.stop();
    m_view.setTimerEnabled(false);
    m_end.abandon();
    clearQueue();
    // The program is going away: no engine may outlive it, and no output
    // that is not known to be good takes its name.
    const std::vector<std::unique_ptr<Entry>> entries = std::exchange(m_entries, {});
    for (const auto &entry : entries) {
        entry->job->abandon();
        entry->job->deleteLater();
    }
    for (const auto &entry : entries)
        settleRow(entry->job->row(), entry->job->status(), entry->job->reason(), entry->renameNote,
                  entry->job->keptOutput());
    // A batch abandoned while its end was being told has told it already.
    if (!endTold)
        endBatch();
    backToIdle();
    emit finished();
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

// ---------------------------------------------------------------------------
// Rows and bars

void ConversionRun::showTask(Entry &entry)
{
    entry.shown = true;
    // What an earlier run said about this row no longer holds.
    const int row = entry.job->row();
    setCaptionData(row, TaskListModel::ResultNotesRole,
                   entry.renameNote.isEmpty() ? QVariant() : QVariant(entry.renameNote));
    setCaptionData(row, TaskListModel::EngineOutputRole, QVariant());
    writeStatus(entry, m_paused ? RowStatus::Paused : runningStatus(entry));
    showRunningFiles(&entry);
}

QString ConversionRun::runningStatus(const Entry &entry) const
{
    return entry.percentShown ? percentText(entry.position) : RowStatus::Converting;
}

void ConversionRun::showRunningFiles(const Entry *shownNow)
{
    QStringList names;
    for (const auto &entry : m_entries)
        if (entry->shown && !entry->counted)
            names << QFileInfo(entry->job->task().InputFile).fileName();
    // A task shown only after its engine has ended (its turn came late) is
    // named all the same; the last one stays named until the next begins.
    if (names.isEmpty() && shownNow)
        names << QFileInfo(shownNow->job->task().InputFile).fileName();
    if (names.isEmpty())
        return;
    m_runningLabel = names.size() == 1 ? names.first() : QCoreApplication::translate("ConversionRun", "%1 files").arg(names.size());
    if (!m_paused)
        m_view.setConvertingFile(m_runningLabel);
}

void ConversionRun::countTaskProgress(Entry &entry)
{
    entry.counted = true;
    m_doneSecs += entry.job->task().ClipLengthSecs;
    const bool othersRun = std::any_of(m_entries.begin(), m_entries.end(),
                                       [](const auto &other) { return !other->counted; });
    if (othersRun)
        setCurrentPosition(leastPosition());
    else if (m_state == Running && nextQueued() >= 0)
        setCurrentPosition(0);
    // A failed task's progress still counts towards the batch.
    if (m_totalSecs != 0) {
        const int position = barPosition(m_doneSecs + runningSecs(), m_totalSecs);
        if (position >= 0 && position > m_totalPosition)
            setTotalPosition(position);
    }
    showRunningFiles();
}

int ConversionRun::leastPosition() const
{
    int least = -1;
    for (const auto &entry : m_entries)
        if (!entry->counted && entry->job->task().ClipLengthSecs != 0 && (least < 0 || entry->position < least))
            least = entry->position;
    return least;
}

double ConversionRun::runningSecs() const
{
    double secs = 0;
    for (const auto &entry : m_entries)
        if (!entry->counted)
            secs += entry->job->currentSecs();
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

void ConversionRun::writeStatus(const Entry &entry, const QString &status)
{
    if (!IsRunningStatus(status))
        setCaptionData(entry.job->row(), TaskListModel::TemporaryOutputRole, QVariant());
    ltvItemData record;
    record.StatusText = status;
    WriteItemData(m_tasks, entry.job->row(), 2, record);
}

void ConversionRun::settleRow(int row, const QString &status, const QString &reason, const QString &renameNote,
                              const QString &engineLines)
{
    if (status == RowStatus::Failed)
        ++m_failedCount;
    else if (status == RowStatus::Complete)
        ++m_completeCount;
    else if (status == RowStatus::NotSmaller)
        ++m_notSmallerCount;
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

void ConversionRun::setCaptionData(int row, int role, const QVariant &value)
{
    m_tasks.setData(m_tasks.index(row, 0), value, role);
}

void ConversionRun::takeSleep()
{
    if (!m_inhibitor || m_inhibiting)
        return;
    m_inhibitor->inhibit(QCoreApplication::translate("ConversionRun", "Converting videos"));
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
    // The work folder goes once the last job has let it go.
    m_workFolders.clear();
    releaseSleep();
    m_view.showProgressPanel(false);
    m_state = Idle;
    m_paused = false;
    emit stateChanged();
}
