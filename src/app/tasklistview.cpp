#include "app/tasklistview.h"

#include "conversion/taskrecord.h"

#include <QTreeView>

#include <algorithm>

namespace {

constexpr int StatusColumn = 3; // sub-item 2

} // namespace

ShownTaskColumns::ShownTaskColumns(TaskListModel &tasks, QObject *parent)
    : QIdentityProxyModel(parent)
    , m_tasks(tasks)
{
    setSourceModel(&tasks);
}

int ShownTaskColumns::columnCount(const QModelIndex &parent) const
{
    return std::min(TaskListModel::VisibleColumnCount, QIdentityProxyModel::columnCount(parent));
}

QModelIndex ShownTaskColumns::index(int row, int column, const QModelIndex &parent) const
{
    if (column >= TaskListModel::VisibleColumnCount)
        return {};
    return QIdentityProxyModel::index(row, column, parent);
}

QModelIndex ShownTaskColumns::mapFromSource(const QModelIndex &sourceIndex) const
{
    // A change of a hidden cell is nothing the view has to show.
    if (sourceIndex.column() >= TaskListModel::VisibleColumnCount)
        return {};
    return QIdentityProxyModel::mapFromSource(sourceIndex);
}

QVariant ShownTaskColumns::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::AccessibleTextRole && index.column() == StatusColumn)
        return ShownStatus(QIdentityProxyModel::data(index, Qt::DisplayRole).toString());
    if (role == Qt::AccessibleDescriptionRole) {
        // Why a task failed, read with any of its cells.
        const QString status = m_tasks.text(index.row(), StatusColumn);
        if (status == RowStatus::Failed)
            return m_tasks.statusTip(index.row());
        return {};
    }
    return QIdentityProxyModel::data(index, role);
}

QModelIndex ShownTaskColumns::shownIndex(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != &m_tasks)
        return index;
    return this->index(index.row(), std::min(index.column(), TaskListModel::VisibleColumnCount - 1));
}

QItemSelection ShownTaskColumns::shownSelection(const QItemSelection &selection) const
{
    if (selection.isEmpty() || selection.first().model() != &m_tasks)
        return selection;
    QItemSelection shown;
    for (const QItemSelectionRange &range : selection)
        shown.append(QItemSelectionRange(shownIndex(range.topLeft()), shownIndex(range.bottomRight())));
    return shown;
}

TaskListSelection::TaskListSelection(ShownTaskColumns &shown, QObject *parent)
    : QItemSelectionModel(&shown, parent)
    , m_shown(shown)
{
}

void TaskListSelection::setCurrentIndex(const QModelIndex &index, QItemSelectionModel::SelectionFlags command)
{
    QItemSelectionModel::setCurrentIndex(m_shown.shownIndex(index), command);
}

void TaskListSelection::select(const QModelIndex &index, QItemSelectionModel::SelectionFlags command)
{
    QItemSelectionModel::select(m_shown.shownIndex(index), command);
}

void TaskListSelection::select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command)
{
    QItemSelectionModel::select(m_shown.shownSelection(selection), command);
}

void ShowTasksIn(QTreeView &view, TaskListModel &tasks)
{
    auto *shown = new ShownTaskColumns(tasks, &view);
    view.setModel(shown);
    QItemSelectionModel *first = view.selectionModel();
    view.setSelectionModel(new TaskListSelection(*shown, &view));
    delete first;
}
