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
        int row = 0;
    };
    std::vector<Row> rows(static_cast<size_t>(tasks.rowCount()));
    for (int row = 0; row < tasks.rowCount(); ++row) {
        Row &entry = rows[static_cast<size_t>(row)];
        entry.row = row;
        ReadItemData(tasks, row, column >= 1 && column <= 3 ? column - 1 : CaptionField, entry.task);
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
    if (order == Qt::AscendingOrder)
        std::stable_sort(rows.begin(), rows.end(), less);
    else
        std::stable_sort(rows.begin(), rows.end(), [&](const Row &a, const Row &b) { return less(b, a); });
    // Every field and role of a row goes with it, and so do the selection
    // and the persistent indexes of its cells.
    std::vector<int> from;
    from.reserve(rows.size());
    for (const Row &entry : rows)
        from.push_back(entry.row);
    tasks.reorder(from);
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
            tasks.moveRow(QModelIndex(), row, QModelIndex(), row - 1);
            --row;
        }
    } else {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            tasks.moveRow(QModelIndex(), *it, QModelIndex(), *it + 2);
            ++*it;
        }
    }
    return rows;
}

QList<int> MoveTasksTo(TaskListModel &tasks, QList<int> rows, int before)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([&](int row) { return row < 0 || row >= tasks.rowCount(); });
    if (before < 0 || before > tasks.rowCount())
        before = tasks.rowCount();
    // The rows left, with the moved ones put in before `before`.
    std::vector<int> from;
    from.reserve(static_cast<size_t>(tasks.rowCount()));
    int at = 0;
    qsizetype next = 0;
    for (int row = 0; row <= tasks.rowCount(); ++row) {
        if (row == before)
            at = static_cast<int>(from.size());
        if (row == tasks.rowCount())
            break;
        if (next < rows.size() && rows[next] == row)
            ++next;
        else
            from.push_back(row);
    }
    from.insert(from.begin() + at, rows.begin(), rows.end());
    tasks.reorder(from);
    QList<int> moved;
    for (qsizetype i = 0; i < rows.size(); ++i)
        moved << at + static_cast<int>(i);
    return moved;
}

void RemoveTasks(TaskListModel &tasks, QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, so that the rows above keep their numbers.
    qsizetype last = rows.size() - 1;
    while (last >= 0) {
        qsizetype first = last;
        while (first > 0 && rows[first - 1] == rows[first] - 1)
            --first;
        tasks.removeRows(rows[first], rows[last] - rows[first] + 1);
        last = first - 1;
    }
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
