#include "conversion/conversionqueue.h"

#include "conversion/conversionrun.h"
#include "conversion/taskorder.h"
#include "conversion/taskrecord.h"
#include "platform/logging.h"

#include <algorithm>
#include <QTimer>

ConversionQueue::ConversionQueue(TaskListModel &tasks, ConversionRun &run, QObject *parent)
    : QObject(parent)
    , m_tasks(tasks)
    , m_run(run)
{
    // What arrived while a batch was ending begins once it has ended, from
    // the event loop, after everyone else has heard of the end.
    connect(&m_run, &ConversionRun::finished, this, [this] {
        if (!m_arrived.isEmpty())
            QTimer::singleShot(0, this, &ConversionQueue::startArrived);
    });
}

bool ConversionQueue::runRows(const QList<int> &rows, Asker asker)
{
    if (m_run.RunState() != ConversionRun::Idle || rows.isEmpty())
        return false;
    const std::optional<QString> params = m_prepare ? m_prepare(asker) : std::optional<QString>(QString());
    if (!params) {
        qCInfo(lcRun) << "batch refused:" << rows.size() << "rows keep waiting for Start";
        return false;
    }
    m_run.RunConversion(*params, rows, asker == Asker::Arrival);
    return true;
}

bool ConversionQueue::start()
{
    QList<int> rows;
    for (int row = 0; row < m_tasks.rowCount(); ++row)
        rows << row;
    return runRows(rows, Asker::User);
}

QList<int> ConversionQueue::rowsToRetry() const
{
    return RowsWithStatus(m_tasks, {RowStatus::Failed, RowStatus::Stop});
}

bool ConversionQueue::retryFailed()
{
    return runRows(rowsToRetry(), Asker::User);
}

void ConversionQueue::arrive(int row)
{
    if (m_run.join({row})) {
        qCDebug(lcRun) << "row" << row << "joins the running batch";
        return;
    }
    m_arrived << QPersistentModelIndex(m_tasks.index(row, 0));
    if (m_run.RunState() == ConversionRun::Idle)
        startArrived();
}

void ConversionQueue::startArrived()
{
    if (m_run.RunState() != ConversionRun::Idle)
        return;
    QList<int> rows;
    for (const QPersistentModelIndex &index : std::exchange(m_arrived, {}))
        if (index.isValid())
            rows << index.row();
    std::sort(rows.begin(), rows.end());
    runRows(rows, Asker::Arrival);
}

void ConversionQueue::stop()
{
    m_run.requestStop();
}
