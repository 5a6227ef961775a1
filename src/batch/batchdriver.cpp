#include "batch/batchdriver.h"

#include "batch/batchmode.h"
#include "conversion/outputcheck.h"
#include "conversion/outputsettings.h"
#include "conversion/tasklistops.h"
#include "platform/filenames.h"
#include "platform/logging.h"
#include "platform/signalpipe.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace {

// The texts a person reads, translated in the batch mode's own context.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(BatchMode)
};

bool isEnded(const QString &status)
{
    return status == RowStatus::Complete || status == RowStatus::Failed || status == RowStatus::Stop
           || status == RowStatus::NotSmaller;
}

} // namespace

void BatchDriver::useHosts(const QString &enginePath)
{
    HostPool::Settings settings;
    settings.programFolder = QFileInfo(enginePath).absolutePath();
    settings.sshConfig = m_request.sshConfig;
    settings.defaultSlots = m_request.jobs;
    m_hosts = std::make_unique<HostPool>(m_request.hosts, settings);
    connect(m_hosts.get(), &HostPool::notice, this,
            [](const QString &line) { PrintLine(stderr, Texts::tr("vantorix --batch: %1").arg(line)); });
    m_run.setEngineFactory(m_hosts->engineFactory());
    m_view.setJobs(m_hosts->totalSlots());
}

BatchDriver::BatchDriver(BatchRequest request, QString params, QString outputExt, const QString &enginePath,
                         BatchInteractive &interactive, SignalPipe &signalPipe)
    : m_request(std::move(request))
    , m_params(std::move(params))
    , m_outputExt(std::move(outputExt))
    , m_interactive(interactive)
    , m_signalPipe(signalPipe)
    , m_probes(m_tasks)
    , m_view(m_tasks, m_request.outputFolder, m_outputExt, m_request.rename, ::isatty(STDERR_FILENO) == 1)
    , m_run(m_tasks, m_view, interactive, m_shell, m_power)
    , m_queue(m_tasks, m_run)
{
    m_probes.setEnginePath(enginePath);
    m_run.setEnginePath(enginePath);
    m_view.setRun(&m_run);
    m_view.setJobs(m_request.jobs);
    if (!m_request.hosts.isEmpty())
        useHosts(enginePath);
    m_view.setOutputPlace(m_request.place);
    m_view.setAfterwards(m_request.afterwards);
    // Once the batch is ending nothing more begins.
    m_queue.setPrepare([this](ConversionQueue::Asker) {
        return m_interrupted || m_finished ? std::nullopt : std::optional<QString>(m_params);
    });
    // No output takes the path of a file still to be read.
    m_run.reserveInputs(m_request.files);
    m_interactive.setQuiet(true);

    connect(&m_probes, &ProbeQueue::taskAdded, this, &BatchDriver::onTaskAdded);
    connect(&m_probes, &ProbeQueue::idle, this, &BatchDriver::onListed);
    connect(&m_tasks, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &from, const QModelIndex &to) {
        for (int row = from.row(); row <= to.row(); ++row)
            onRowChanged(row);
    });
    connect(&m_run, &ConversionRun::finished, this, &BatchDriver::onRunFinished, Qt::QueuedConnection);
    connect(&signalPipe, &SignalPipe::caught, this, &BatchDriver::onSignal);
    // Ctrl+Z holds the engines, then the program itself; fg goes on with both.
    signalPipe.handleJobControl();
    connect(&signalPipe, &SignalPipe::suspendRequested, this, &BatchDriver::onSuspend);
    connect(&signalPipe, &SignalPipe::continued, &m_run, &ConversionRun::resume);

    for (const QString &path : std::as_const(m_request.unnamable))
        m_skipped << Skipped{path, Texts::tr("the name is not valid UTF-8")};
    m_skipped << m_request.skippedFolders;

    if (!m_request.watchFolder.isEmpty()) {
        m_journal = std::make_unique<WatchJournal>(m_request.outputFolder + WatchJournal::FileName);
        m_watch = std::make_unique<WatchFolder>(m_request.watchFolder, m_request.recursive, InputExts());
        m_watch->setSettleMs(m_request.settleMs);
        m_watch->setJournal(m_journal.get());
        // A file that went at its turn and came back is read again.
        m_probes.setAllowListed(true);
        connect(m_watch.get(), &WatchFolder::settled, this, &BatchDriver::onSettled);
    }
}

BatchDriver::~BatchDriver() = default;

int BatchDriver::run()
{
    for (const QString &path : std::as_const(m_request.missing))
        PrintLine(stderr, Texts::tr("Not found: %1").arg(path));
    for (const Skipped &skipped : std::as_const(m_skipped))
        PrintLine(stderr, Texts::tr("Skipped %1: %2").arg(skipped.path, skipped.reason));
    if (watching()) {
        if (!m_journal->error().isEmpty()) {
            PrintLine(stderr, m_journal->error());
            return BatchFailed;
        }
        PrintLine(stderr, Texts::tr("Watching %1 (a file is converted once it has not changed for %2 s); "
                                  "Ctrl+C ends.")
                            .arg(PrintableName(m_watch->folder()))
                            .arg(m_request.settleMs / 1000.0));
        qCInfo(lcWatch).noquote() << "watching" << m_watch->folder() << "settle ms" << m_request.settleMs;
        m_watch->start();
        return QCoreApplication::exec();
    }
    // The batch stays open while files are being read: each converts as soon
    // as its row is there.
    m_run.holdOpen(true);
    for (const QString &path : std::as_const(m_request.files))
        if (m_probes.enqueue(path, m_outputExt, m_request.foundUnder.value(path)))
            ++m_expected;
    m_request.foundUnder = {}; // each queued file has its folder now
    m_view.setExpectedTasks(m_expected);
    if (!m_probes.isBusy()) {
        if (m_request.files.isEmpty() && m_request.missing.isEmpty() && m_skipped.isEmpty())
            PrintLine(stderr, Texts::tr("No files to convert."));
        return summary();
    }
    return QCoreApplication::exec();
}

void BatchDriver::onTaskAdded(int row)
{
    if (m_interrupted || m_finished)
        return;
    ltvItemData task;
    ReadItemData(m_tasks, row, WholeRowField, task);
    if (m_request.start || m_request.end) {
        const std::optional<ltvItemData> ranged = ApplyTimeRange(task, m_request.start, m_request.end);
        if (!ranged) {
            // Left out: its row goes (it is the last), and the summary says why.
            const QString length = task.LengthText.isEmpty() ? QStringLiteral("unknown") : task.LengthText;
            const Skipped skipped{PrintableName(task.InputFile),
                                  Texts::tr("the time range does not fit its length %1").arg(length)};
            PrintLine(stderr, Texts::tr("Skipped %1: %2").arg(skipped.path, skipped.reason));
            m_skipped << skipped;
            if (watching())
                record(task.InputFile, QStringLiteral("skipped"));
            m_arrivals.remove(task.InputFile);
            m_tasks.removeRow(row);
            m_view.setExpectedTasks(--m_expected);
            return;
        }
        for (int field : {3, 4, 7, 8, 9})
            WriteItemData(m_tasks, row, field, *ranged);
        task = *ranged;
    }
    if (m_request.skipExisting)
        checkExisting(row, task);
    else
        m_queue.arrive(row);
}

void BatchDriver::checkExisting(int row, const ltvItemData &task)
{
    const QString output = QDir(OutputNaming::SpotFor(task, m_request.outputFolder, m_request.place).folder())
                               .filePath(task.NewName + m_outputExt);
    if (!QFileInfo(output).isFile() || QFileInfo(output) == QFileInfo(task.InputFile)) {
        m_queue.arrive(row);
        return;
    }
    ++m_checking;
    auto *check = new OutputCheck(m_run.enginePath(), task, m_params, output, this);
    connect(check, &OutputCheck::done, this,
            [this, check, output, index = QPersistentModelIndex(m_tasks.index(row, 0))](const QString &reason) {
                check->deleteLater();
                --m_checking;
                if (!index.isValid() || m_interrupted || m_finished) {
                    finishWhenDone();
                    return;
                }
                if (!reason.isEmpty()) {
                    qCInfo(lcRun).noquote() << "converted again:" << output << reason;
                    m_queue.arrive(index.row());
                    return;
                }
                m_present.insert(index, output);
                m_view.setExpectedTasks(--m_expected);
                finishWhenDone();
            });
    check->start();
}

void BatchDriver::finishWhenDone()
{
    if (m_run.RunState() == ConversionRun::Idle && (m_interrupted || (m_checking == 0 && (m_listed || m_runOver))))
        finish();
}

void BatchDriver::onListed()
{
    if (watching())
        return;
    m_listed = true;
    // Every file is read: the batch ends once its last task is over.
    m_run.holdOpen(false);
    finishWhenDone();
}

void BatchDriver::onSettled(const WatchedFile &file)
{
    if (m_interrupted)
        return;
    qCInfo(lcWatch).noquote() << "settled" << file.path << "size" << file.size;
    m_arrivals.insert(file.path, file);
    m_probes.enqueue(file.path, m_outputExt, m_watch->folder());
}

// A row that has its result is printed and, unless stopped, journalled at
// once: a watch ended in the middle of a batch keeps what it did so far.
void BatchDriver::onRowChanged(int row)
{
    if (!watching() || row >= m_tasks.rowCount())
        return;
    while (m_told.size() < m_tasks.rowCount())
        m_told << false;
    ltvItemData task;
    ReadItemData(m_tasks, row, WholeRowField, task);
    if (!isEnded(task.StatusText) || m_told[row])
        return;
    m_told[row] = true;
    if (task.StatusText != RowStatus::Stop)
        record(task.InputFile, task.StatusText.toLower());
    PrintLine(stdout, QStringLiteral("  %1  %2 -> %3")
                        .arg(task.StatusText, PrintableName(task.InputFile), PrintableName(m_run.outputPathOf(row))));
}

void BatchDriver::record(const QString &input, const QString &status)
{
    const WatchedFile file = m_arrivals.take(input);
    QString error;
    if (!m_watch->finish(file.path.isEmpty() ? WatchedFile{input, -1, 0} : file, status, &error))
        PrintLine(stderr, Texts::tr("The journal could not be written: %1").arg(error));
}

// A plain batch ends with its run: every file was read and converted, or an
// engine could not start and the rest is not converted. A watch goes on.
void BatchDriver::onRunFinished()
{
    if (!watching()) {
        m_runOver = true;
        finishWhenDone();
    } else if (m_run.RunState() == ConversionRun::Idle && m_interrupted) {
        finish();
    }
}

void BatchDriver::onSignal()
{
    const bool again = m_interrupted;
    m_interrupted = true;
    if (m_watch)
        m_watch->stop();
    // Nothing more is read; what runs is stopped, the second time killed.
    if (m_probes.isBusy())
        m_probes.cancel();
    m_run.holdOpen(false);
    if (m_run.RunState() == ConversionRun::Idle) {
        finish();
        return;
    }
    if (again)
        m_run.abandon();
    else
        m_queue.stop();
}

// The engines are in process groups of their own: a stopped job would leave
// them working. They are suspended first; then the program stops as the shell
// expects, and when continued it continues them.
void BatchDriver::onSuspend()
{
    m_run.pause();
    m_signalPipe.stopProgram();
    m_run.resume();
}

void BatchDriver::finish()
{
    if (std::exchange(m_finished, true))
        return;
    if (m_probes.isBusy())
        m_probes.cancel();
    QCoreApplication::exit(summary());
}

int BatchDriver::summary()
{
    const QStringList outputs = m_view.outputPaths();
    int complete = 0, failed = 0, stopped = 0, notRun = 0, notSmaller = 0, present = 0;
    QStringList lines;
    for (int row = 0; row < m_tasks.rowCount(); ++row) {
        ltvItemData task;
        ReadItemData(m_tasks, row, WholeRowField, task);
        const QString status = task.StatusText;
        if (const auto kept = m_present.constFind(m_tasks.index(row, 0)); kept != m_present.cend()) {
            ++present;
            lines << Texts::tr("  Skipped  %1 -> %2 (converted before)")
                         .arg(PrintableName(task.InputFile), PrintableName(*kept));
            continue;
        }
        if (status == RowStatus::Complete) {
            ++complete;
        } else if (status == RowStatus::Failed) {
            ++failed;
        } else if (status == RowStatus::Stop) {
            ++stopped;
        } else if (status == RowStatus::NotSmaller) {
            ++notSmaller; // done as asked: the original stays
        } else {
            ++notRun;
            lines << Texts::tr("  Not converted  %1").arg(PrintableName(task.InputFile));
            continue;
        }
        lines << QStringLiteral("  %1  %2 -> %3").arg(status, PrintableName(task.InputFile),
                                                    PrintableName(outputs.value(row)));
        // What the Status cell's tip says: why it failed, why it was renamed, the engine's last lines.
        for (const QString &line : m_tasks.statusTip(row).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            lines << QStringLiteral("      | ") + line;
    }
    for (const Skipped &skipped : std::as_const(m_skipped))
        lines << Texts::tr("  Skipped  %1 (%2)").arg(skipped.path, skipped.reason);
    for (const QString &path : std::as_const(m_request.missing))
        lines << Texts::tr("  Not found  %1").arg(path);

    QString head = Texts::tr("Summary: %1 complete, %2 failed, %3 stopped").arg(complete).arg(failed).arg(stopped);
    if (!m_skipped.isEmpty())
        head += Texts::tr(", %1 skipped").arg(m_skipped.size());
    if (present > 0)
        head += Texts::tr(", %1 converted before").arg(present);
    if (notSmaller > 0)
        head += Texts::tr(", %1 not smaller (originals kept)").arg(notSmaller);
    if (!m_request.missing.isEmpty())
        head += Texts::tr(", %1 not found").arg(m_request.missing.size());
    if (notRun > 0)
        head += Texts::tr(", %1 not converted").arg(notRun);
    if (m_interrupted)
        head += Texts::tr(" (interrupted)");
    PrintLine(stdout, head);
    for (const QString &line : std::as_const(lines))
        PrintLine(stdout, line);

    if (m_interrupted)
        return BatchInterrupted;
    const bool allDone = complete + notSmaller + present == m_tasks.rowCount() && m_skipped.isEmpty() && m_request.missing.isEmpty();
    return allDone ? BatchCompleted : BatchFailed;
}
