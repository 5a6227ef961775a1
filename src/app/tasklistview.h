#pragma once

#include <QIdentityProxyModel>
#include <QItemSelectionModel>

class TaskListModel;
class QTreeView;

// The task list as its view shows it: the four columns a person sees (Input
// File, Length, Size, Status) of the model's eleven, so that the view, its
// header and what a screen reader reads all have these four and no more.
// The rows are the model's own: row n here is row n of the model. A screen
// reader reads the Status in the user's language and, for a failed task, why
// it failed as the row's description.
class ShownTaskColumns final : public QIdentityProxyModel
{
    Q_OBJECT
public:
    explicit ShownTaskColumns(TaskListModel &tasks, QObject *parent = nullptr);

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // A selection of the model's own cells as the same rows here.
    QItemSelection shownSelection(const QItemSelection &selection) const;
    // A cell of the model (or of this one) as the cell shown here; a hidden
    // column becomes the last shown one.
    QModelIndex shownIndex(const QModelIndex &index) const;

private:
    TaskListModel &m_tasks;
};

// The view's selection: it takes cells of the task list model as well as
// its own, so that code that knows only the model selects rows with them.
class TaskListSelection final : public QItemSelectionModel
{
    Q_OBJECT
public:
    explicit TaskListSelection(ShownTaskColumns &shown, QObject *parent = nullptr);

    void setCurrentIndex(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command) override;

private:
    ShownTaskColumns &m_shown;
};

// Shows `tasks` in `view` through ShownTaskColumns and TaskListSelection.
void ShowTasksIn(QTreeView &view, TaskListModel &tasks);
