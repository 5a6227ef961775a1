#pragma once

#include <QList>
#include <Qt>

class TaskListModel;

// The order of the task list is the order of conversion; these change it and
// keep every row whole (its texts and what it keeps besides them).

// Sorts the rows by a visible column: Input File by name (letter case
// ignored), Length by its seconds, Size by its frame area, Status by its text.
// Rows that compare equal keep their order.
void SortTasks(TaskListModel &tasks, int column, Qt::SortOrder order);

// Moves each of the rows one place up (step -1) or down (step 1), keeping their
// own order; nothing moves when one of them is at that end already.
// Returns the rows' new numbers.
QList<int> MoveTasks(TaskListModel &tasks, QList<int> rows, int step);

// Moves the rows, in their order, to before the row `before` (-1 or past the
// end: to the end), as a block. Returns the rows' new numbers.
QList<int> MoveTasksTo(TaskListModel &tasks, QList<int> rows, int before);

// The rows whose Status is one of `statuses`, in order.
// Removes the rows (given in any order, each once or more): each run of
// neighbouring rows goes in one removal.
void RemoveTasks(TaskListModel &tasks, QList<int> rows);

QList<int> RowsWithStatus(const TaskListModel &tasks, const QStringList &statuses);
