#include "app/batchview.h"

#include "conversion/conversionrun.h"
#include "conversion/taskrecord.h"
#include "platform/filenames.h"

#include <QFileInfo>
#include <QStandardItemModel>

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

void BatchInteractive::information(const QString &caption, const QString &text)
{
    if (m_quiet && (caption == QLatin1String("Complete") || caption == QLatin1String("Cancel")))
        return;
    print(caption, text);
}

void BatchInteractive::warning(const QString &caption, const QString &text)
{
    if (m_quiet && caption == QLatin1String("Complete"))
        return;
    print(caption, text);
}

void BatchInteractive::plainMessage(const QString &text)
{
    print(QString(), text);
}

bool BatchInteractive::question(const QString &caption, const QString &text)
{
    // Nobody is there to answer: the careful answer.
    print(caption, text);
    return false;
}

void BatchInteractive::error(const QString &text)
{
    print(QString(), text);
}

BatchView::BatchView(QStandardItemModel &tasks, QString outputFolder, QString outputExt, bool rename,
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
    connect(&m_tasks, &QStandardItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                if (topLeft.column() <= StatusColumn && bottomRight.column() >= StatusColumn)
                    for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                        onStatusChanged(row);
            });
}

BatchOptions BatchView::batchOptions() const
{
    BatchOptions options;
    options.rename = m_rename;
    return options;
}

void BatchView::setTimerEnabled(bool enabled)
{
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}

void BatchView::tick()
{
    if (m_run)
        m_run->timerTick();
    if (m_terminal && m_lineOpen)
        printLine(false);
}

void BatchView::setCurrentProgress(int position, const QString &)
{
    m_position = position;
    if (m_terminal && m_lineOpen)
        printLine(false);
}

QString BatchView::taskName(int row) const
{
    const QStandardItem *caption = m_tasks.item(row, 0);
    // One line per task whatever the name holds.
    return caption ? PrintableName(QFileInfo(caption->text()).fileName()) : QString();
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
    const QStandardItem *item = m_tasks.item(row, StatusColumn);
    if (!item)
        return;
    const QString status = item->text();
    while (m_statuses.size() < m_tasks.rowCount())
        m_statuses << QString();
    while (m_outputPaths.size() < m_tasks.rowCount())
        m_outputPaths << QString();
    if (m_statuses[row] == status)
        return;
    m_statuses[row] = status;

    const QString number = QStringLiteral("[%1/%2]").arg(row + 1).arg(m_tasks.rowCount());
    if (status == QLatin1String("Converting")) {
        // Written just before the engine starts, after the run chose the name
        // the output will take.
        ltvItemData task;
        ReadItemData(m_tasks, row, WholeRowField, task);
        m_outputPaths[row] = m_run ? m_run->outputPath()
                                   : ConversionRun::OutputPathFor(task, row, m_outputFolder, m_outputExt, m_rename);
        m_row = row;
        m_position = 0;
        m_taskClock.start();
        if (m_terminal) {
            m_lineOpen = true;
            printLine(false);
        } else {
            std::fprintf(m_stream, "%s Converting %s -> %s\n", local(number).constData(),
                         local(PrintableName(task.InputFile)).constData(),
                         local(PrintableName(m_outputPaths[row])).constData());
            std::fflush(m_stream);
        }
        return;
    }
    if (row != m_row)
        return;
    if (m_terminal) {
        printLine(true);
        m_lineOpen = false;
    } else {
        std::fprintf(m_stream, "%s %s %s (%s)\n", local(number).constData(), local(status).constData(),
                     local(taskName(row)).constData(),
                     local(SecondsToTimeText(m_taskClock.elapsed() / 1000)).constData());
        std::fflush(m_stream);
    }
}

void BatchView::printLine(bool final)
{
    if (m_row < 0)
        return;
    const qint64 elapsedMs = m_taskClock.elapsed();
    QString line = QStringLiteral("[%1/%2] %3  ").arg(m_row + 1).arg(m_tasks.rowCount()).arg(taskName(m_row));
    if (final) {
        line += m_statuses.value(m_row) + QStringLiteral("  elapsed ") + SecondsToTimeText(elapsedMs / 1000);
    } else {
        line += QStringLiteral("%1%  elapsed %2").arg(m_position).arg(SecondsToTimeText(elapsedMs / 1000));
        const QString remaining = RemainingText(elapsedMs, m_position);
        if (!remaining.isEmpty())
            line += QStringLiteral("  remaining ") + remaining;
        if (m_tasks.rowCount() > 1)
            line += QStringLiteral("  (batch %1%)").arg(m_totalPosition);
    }
    // Back to the line's start, the text, and the rest of the old line erased.
    std::fprintf(m_stream, "\r%s\033[K%s", local(line).constData(), final ? "\n" : "");
    std::fflush(m_stream);
}
