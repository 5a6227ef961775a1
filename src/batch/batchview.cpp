#include "batch/batchview.h"

#include "conversion/conversionrun.h"
#include "conversion/outputnaming.h"
#include "conversion/taskrecord.h"
#include "platform/filenames.h"

#include <QFileInfo>

#include <algorithm>

namespace {

// Column of sub-item 2, the status.
constexpr int StatusColumn = 3;

QByteArray local(const QString &text)
{
    return text.toLocal8Bit();
}

} // namespace

void BatchInteractive::print(const QString &caption, const QString &text)
{
    const QString line = caption.isEmpty() ? text : caption + QStringLiteral(": ") + text;
    std::fprintf(m_stream, "%s\n", local(line).constData());
    std::fflush(m_stream);
}

void BatchInteractive::showMessage(MessageKind kind, const QString &caption, const QString &text,
                                   std::function<void()> closed)
{
    const bool captioned = kind == MessageKind::Information || kind == MessageKind::Warning;
    const bool endOfRun = caption == QLatin1String("Complete")
                          || (kind == MessageKind::Information && caption == QLatin1String("Cancel"));
    if (!(m_quiet && captioned && endOfRun))
        print(captioned ? caption : QString(), text);
    if (closed)
        closed();
}

void BatchInteractive::ask(const QString &caption, const QString &text, DefaultAnswer,
                           std::function<void(bool)> answered)
{
    // Nobody is there to answer: the careful answer.
    print(caption, text);
    if (answered)
        answered(false);
}

BatchView::BatchView(TaskListModel &tasks, QString outputFolder, QString outputExt, bool rename,
                     bool terminal, std::FILE *stream, QObject *parent)
    : QObject(parent)
    , m_tasks(tasks)
    , m_outputFolder(std::move(outputFolder))
    , m_outputExt(std::move(outputExt))
    , m_rename(rename)
    , m_terminal(terminal)
    , m_stream(stream)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &BatchView::tick);
    connect(&m_tasks, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                if (topLeft.column() <= StatusColumn && bottomRight.column() >= StatusColumn)
                    for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                        onStatusChanged(row);
            });
}

BatchOptions BatchView::batchOptions() const
{
    BatchOptions options = m_afterwards;
    options.rename = m_rename;
    options.jobs = m_jobs;
    options.place = m_place;
    return options;
}

void BatchView::setTimerEnabled(bool enabled)
{
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}

void BatchView::batchEnded(const QList<int> &)
{
    m_timer.stop();
    // A task line still being rewritten (the batch was abandoned) is ended,
    // so that what follows starts on a line of its own.
    if (m_terminal && !m_running.empty()) {
        std::fprintf(m_stream, "\n");
        std::fflush(m_stream);
    }
    m_running.clear();
}

void BatchView::tick()
{
    if (m_run)
        m_run->timerTick();
    if (m_terminal && !m_running.empty())
        printLine();
}

void BatchView::setCurrentProgress(int position, const QString &)
{
    m_position = position;
    if (m_terminal && !m_running.empty())
        printLine();
}

QString BatchView::taskName(int row) const
{
    if (row < 0 || row >= m_tasks.rowCount())
        return QString();
    // One line per task whatever the name holds.
    return PrintableName(QFileInfo(m_tasks.text(row, 0)).fileName());
}

QString BatchView::number(int row) const
{
    return QStringLiteral("[%1/%2]").arg(row + 1).arg(std::max(m_expectedTasks, m_tasks.rowCount()));
}

QString BatchView::RemainingText(qint64 elapsedMs, int percent)
{
    if (percent <= 0)
        return QString();
    const double seconds = elapsedMs / 1000.0;
    return SecondsToTimeText(std::max<qint64>(0, RoundHalfEven(seconds * 100 / percent - seconds)));
}

void BatchView::onStatusChanged(int row)
{
    if (row < 0 || row >= m_tasks.rowCount())
        return;
    const QString status = m_tasks.text(row, StatusColumn);
    while (m_statuses.size() < m_tasks.rowCount())
        m_statuses << QString();
    while (m_outputPaths.size() < m_tasks.rowCount())
        m_outputPaths << QString();
    if (m_statuses[row] == status)
        return;
    m_statuses[row] = status;

    const auto running = m_running.find(row);
    if (!ConversionRun::IsRunningStatus(status)) {
        if (running != m_running.end())
            end(row, status);
        return;
    }
    if (running == m_running.end()) {
        begin(row);
        return;
    }
    // Paused, going on again, or its percent.
    Running &task = running->second;
    const bool paused = status == RowStatus::Paused;
    if (paused != task.paused) {
        task.paused = paused;
        if (paused) {
            task.clock.pause();
            m_batchClock.pause();
        } else {
            task.clock.resume();
            m_batchClock.resume();
        }
    }
    if (status.endsWith(QLatin1Char('%')))
        task.position = status.chopped(1).toInt();
    if (m_terminal)
        printLine();
}

void BatchView::begin(int row)
{
    // Written just before the engine starts, after the run chose the name the
    // output will take.
    ltvItemData record;
    ReadItemData(m_tasks, row, WholeRowField, record);
    m_outputPaths[row] = m_run ? m_run->outputPathOf(row)
                               : OutputNaming::PathFor(record, row,
                                                       OutputNaming::SpotFor(record, m_outputFolder, m_place).folder(),
                                                       m_outputExt, m_rename);
    Running &task = m_running[row];
    task.clock.start();
    task.paused = m_statuses[row] == RowStatus::Paused;
    if (task.paused)
        task.clock.pause();
    if (!m_batchStarted) {
        m_batchStarted = true;
        m_batchClock.start();
    }
    if (m_jobs <= 1)
        m_position = 0;
    if (m_terminal) {
        printLine();
        return;
    }
    const QString line = tr("%1 Converting %2 -> %3")
                             .arg(number(row), PrintableName(record.InputFile), PrintableName(m_outputPaths[row]));
    std::fprintf(m_stream, "%s\n", local(line).constData());
    std::fflush(m_stream);
}

void BatchView::end(int row, const QString &status)
{
    const qint64 elapsedMs = m_running[row].clock.elapsedMs();
    m_running.erase(row);
    if (m_terminal) {
        printFinalLine(row, status, elapsedMs);
        if (!m_running.empty())
            printLine();
        return;
    }
    std::fprintf(m_stream, "%s %s %s (%s)\n", local(number(row)).constData(), local(ShownStatus(status)).constData(),
                 local(taskName(row)).constData(), local(SecondsToTimeText(elapsedMs / 1000)).constData());
    std::fflush(m_stream);
}

void BatchView::printFinalLine(int row, const QString &status, qint64 elapsedMs)
{
    const QString line = tr("%1 %2  %3  elapsed %4")
                             .arg(number(row), taskName(row), ShownStatus(status), SecondsToTimeText(elapsedMs / 1000));
    // Back to the line's start, the text, and the rest of the old line erased.
    std::fprintf(m_stream, "\r%s\033[K\n", local(line).constData());
    std::fflush(m_stream);
}

void BatchView::printLine()
{
    QString line;
    qint64 elapsedMs = 0;
    int percent = 0;
    if (m_jobs <= 1) {
        // One task at a time: its own percent and times.
        const auto &[row, task] = *m_running.begin();
        elapsedMs = task.clock.elapsedMs();
        percent = m_position;
        line = QStringLiteral("%1 %2  ").arg(number(row), taskName(row));
        line += task.paused ? ShownStatus(RowStatus::Paused) : QStringLiteral("%1%").arg(m_position);
    } else {
        // Several at once: each with its percent; the times are the batch's.
        QStringList tasks;
        for (const auto &[row, task] : m_running)
            tasks << QStringLiteral("%1 %2 %3").arg(number(row), taskName(row),
                                                    task.paused ? ShownStatus(RowStatus::Paused)
                                                                : QStringLiteral("%1%").arg(task.position));
        line = tasks.join(QStringLiteral("  "));
        elapsedMs = m_batchClock.elapsedMs();
        percent = m_totalPosition;
    }
    line += tr("  elapsed %1").arg(SecondsToTimeText(elapsedMs / 1000));
    const QString remaining = RemainingText(elapsedMs, percent);
    if (!remaining.isEmpty())
        line += tr("  remaining %1").arg(remaining);
    if (m_tasks.rowCount() > 1)
        line += tr("  (batch %1%)").arg(m_totalPosition);
    std::fprintf(m_stream, "\r%s\033[K", local(line).constData());
    std::fflush(m_stream);
}

void PausableClock::start()
{
    m_clock.start();
    m_pausedSince.invalidate();
    m_pausedMs = 0;
}

void PausableClock::pause()
{
    if (!m_pausedSince.isValid())
        m_pausedSince.start();
}

void PausableClock::resume()
{
    if (!m_pausedSince.isValid())
        return;
    m_pausedMs += m_pausedSince.elapsed();
    m_pausedSince.invalidate();
}

qint64 PausableClock::elapsedMs() const
{
    if (!m_clock.isValid())
        return 0;
    const qint64 paused = m_pausedMs + (m_pausedSince.isValid() ? m_pausedSince.elapsed() : 0);
    return m_clock.elapsed() - paused;
}
