#include "conversion/taskorder.h"

#include "conversion/taskrecord.h"

#include <QCollator>

#include <algorithm>
#include <vector>

namespace {

// "640x480" as its area; anything else as 0.
qint64 frameArea(const QString &size)
{
    const QStringList parts = size.trimmed().split(QLatin1Char('x'));
    bool wide = false;
    bool high = false;
    const qint64 area = parts.size() == 2 ? qint64(parts[0].toInt(&wide)) * parts[1].toInt(&high) : 0;
    return wide && high ? area : 0;
}

} // namespace

void SortTasks(TaskListModel &tasks, int column, Qt::SortOrder order)
{
    struct Row
    {
        ltvItemData task;
        QList<QStandardItem *> items;
    };
    std::vector<Row> rows;
    rows.reserve(static_cast<size_t>(tasks.rowCount()));
    for (int row = 0; row < tasks.rowCount(); ++row) {
        Row entry;
        ReadItemData(tasks, row, WholeRowField, entry.task);
        rows.push_back(std::move(entry));
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    auto less = [&](const Row &a, const Row &b) {
        switch (column) {
        case 1:
            return a.task.LengthSecs < b.task.LengthSecs;
        case 2:
            return frameArea(a.task.SizeText) < frameArea(b.task.SizeText);
        case 3:
            return collator.compare(a.task.StatusText, b.task.StatusText) < 0;
        default:
            return collator.compare(a.task.InputFile, b.task.InputFile) < 0;
        }
    };
    // Taken out whole, so that every role of every cell goes with its row.
    for (Row &entry : rows)
        entry.items = tasks.takeRow(0);
    if (order == Qt::AscendingOrder)
        std::stable_sort(rows.begin(), rows.end(), less);
    else
        std::stable_sort(rows.begin(), rows.end(), [&](const Row &a, const Row &b) { return less(b, a); });
    for (Row &entry : rows)
        tasks.appendRow(entry.items);
}

QList<int> MoveTasks(TaskListModel &tasks, QList<int> rows, int step)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty() || (step < 0 && rows.first() == 0) || (step > 0 && rows.last() >= tasks.rowCount() - 1))
        return rows;
    // The row next to the block goes to its other side.
    if (step < 0) {
        for (int &row : rows) {
            tasks.insertRow(row - 1, tasks.takeRow(row));
            --row;
        }
    } else {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            tasks.insertRow(*it + 1, tasks.takeRow(*it));
            ++*it;
        }
    }
    return rows;
}

QList<int> MoveTasksTo(TaskListModel &tasks, QList<int> rows, int before)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (before < 0 || before > tasks.rowCount())
        before = tasks.rowCount();
    std::vector<QList<QStandardItem *>> taken;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        taken.insert(taken.begin(), tasks.takeRow(*it));
        if (*it < before)
            --before;
    }
    QList<int> moved;
    for (auto &items : taken) {
        moved << before;
        tasks.insertRow(before++, items);
    }
    return moved;
}

QList<int> RowsWithStatus(const TaskListModel &tasks, const QStringList &statuses)
{
    QList<int> rows;
    for (int row = 0; row < tasks.rowCount(); ++row) {
        ltvItemData task;
        ReadItemData(tasks, row, 2, task);
        if (statuses.contains(task.StatusText))
            rows << row;
    }
    return rows;
}
