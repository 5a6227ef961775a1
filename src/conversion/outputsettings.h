#pragma once

#include "conversion/taskrecord.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

#include <optional>

#include <functional>

class ParameterGrid;
class QItemSelectionModel;

// The three per-task output settings as the output grid shows them.
struct OutputSettings
{
    QString newFilename; // "New Filename": name and extension
    QString startTime;   // "Start Time"
    QString endTime;     // "End Time"
};

// The settings a task shows: its new name followed by the loaded profile's
// extension, and its chosen start and end.
OutputSettings OutputSettingsOf(const ltvItemData &task, const QString &outputExt);

// Why a typed "New Filename" cannot be stored, or the empty text when it can.
// The output is written into the output folder under this name, so a name
// that holds a folder ("/" or "\") or that is, or whose name before the
// extension is, "." or ".." is refused: it would write elsewhere.
QString OutputNameProblem(const QString &newFilename);

// The task with the edited settings checked and stored: the name and its
// extension unless OutputNameProblem refuses the name, and the start and end
// when they are times inside the limits (start before the input's end and
// before the end; end after 0, the start and the input's start). A value that
// is refused keeps the task's previous one. The clip length follows from the
// stored times.
ltvItemData ApplyOutputSettings(const ltvItemData &task, const OutputSettings &edited);

// A time for a range given to every task at once (the batch mode's --start
// and --end): a time text none of whose parts is negative ("-0:00:01" would
// read as one second).
bool IsRangeTime(const QString &text);

// The task with the range start..end (either may be absent: the task's own)
// stored as ApplyOutputSettings stores it, or nothing when the task cannot take
// it as given (a time past its length).
std::optional<ltvItemData> ApplyTimeRange(const ltvItemData &task, const std::optional<QString> &start,
                                          const std::optional<QString> &end);

// The selected row with the lowest number, or -1 when none is selected.
int FirstSelectedRow(const QItemSelectionModel &selection);

// Keeps the output grid on the first selected row of the task list, however
// the selection changed (the mouse, the keyboard, Select All, rows removed or
// the list cleared), and stores an edit into the row the grid shows, never
// into a row that became selected since.
class OutputSettingsView final : public QObject
{
    Q_OBJECT
public:
    // The grid holds the rows "New Filename", "Start Time" and "End Time";
    // outputExt gives the loaded profile's extension at the time of showing.
    // selection is the task list's, over tasks.
    OutputSettingsView(TaskListModel &tasks, QItemSelectionModel &selection, ParameterGrid &grid,
                       std::function<QString()> outputExt, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(OutputSettingsView)

    // Shows the first selected row, or empties the grid when none is
    // selected. A row shown already is shown again only when forced (a
    // click on the list), which drops what was typed and not stored.
    void showSelected(bool force);
    // The row the grid shows, or -1.
    int shownRow() const;

    // Checks the grid's three texts and stores them into the shown row (no
    // row shown: nothing is stored). A refused name puts the row's stored
    // name back into the grid; the result then tells the user why. Empty
    // otherwise.
    QString storeEdit();

private:
    void show(int row);

    TaskListModel &m_tasks;
    QItemSelectionModel &m_selection;
    ParameterGrid &m_grid;
    std::function<QString()> m_outputExt;
    QPersistentModelIndex m_shown;
};
