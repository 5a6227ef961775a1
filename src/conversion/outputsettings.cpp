#include "conversion/outputsettings.h"

#include <algorithm>

#include "profiles/parametergrid.h"

#include <QCoreApplication>
#include <QItemSelectionModel>

namespace {

const QString NewFilenameKey = QStringLiteral("New Filename");
const QString StartTimeKey = QStringLiteral("Start Time");
const QString EndTimeKey = QStringLiteral("End Time");

// The extension of a typed name: from its last point on, when that point lies
// in the file-name part.
QString typedExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    qsizetype folderEnd = -1;
    for (const QChar separator : {QLatin1Char('\\'), QLatin1Char(':'), QLatin1Char('/')})
        folderEnd = std::max(folderEnd, name.lastIndexOf(separator));
    return dot > folderEnd ? name.mid(dot) : QString();
}

QString typedStem(const QString &name)
{
    return name.left(name.size() - typedExtension(name).size());
}

bool isDotName(const QString &name)
{
    return name == QLatin1String(".") || name == QLatin1String("..");
}

} // namespace

OutputSettings OutputSettingsOf(const ltvItemData &task, const QString &outputExt)
{
    return {task.NewName + outputExt, task.StartText, task.EndText};
}

QString OutputNameProblem(const QString &newFilename)
{
    if (newFilename.contains(QLatin1Char('/')) || newFilename.contains(QLatin1Char('\\')))
        return QCoreApplication::translate("OutputSettings",
                                           "The new file name \"%1\" contains a folder. The output is written into "
                                           "the output folder: please specify a name without \"/\" or \"\\\".")
            .arg(newFilename);
    if (isDotName(newFilename) || isDotName(typedStem(newFilename)))
        return QCoreApplication::translate("OutputSettings",
                                           "The new file name \"%1\" names a folder, not a file. Please specify another one.")
            .arg(newFilename);
    return {};
}

ltvItemData ApplyOutputSettings(const ltvItemData &task, const OutputSettings &edited)
{
    ltvItemData result = task;
    if (OutputNameProblem(edited.newFilename).isEmpty()) {
        result.NewName = typedStem(edited.newFilename);
        result.NewExt = typedExtension(edited.newFilename);
    }

    double start = TimeTextToSeconds(edited.startTime);
    double end = TimeTextToSeconds(edited.endTime);
    if (start == -1)
        start = task.StartSecs;
    if (end == -1)
        end = task.EndSecs;
    if (start < 0 || start >= end || start >= task.OrigEndSecs)
        start = task.StartSecs;
    if (end <= 0 || end <= start || end <= task.OrigStartSecs)
        end = task.EndSecs;

    // A task whose length the probe could not read has no valid times to fall
    // back on: its range stays as it was rather than becoming a negative time.
    if (start < 0 || end <= start)
        return result;

    result.StartText = SecondsToTimeText(start);
    result.EndText = SecondsToTimeText(end);
    result.ClipLengthText = SecondsToTimeText(end - start);
    result.StartSecs = start;
    result.EndSecs = end;
    result.ClipLengthSecs = end - start;
    return result;
}

bool IsRangeTime(const QString &text)
{
    if (TimeTextToSeconds(text) < 0)
        return false;
    const QStringList parts = text.split(QLatin1Char(':'));
    return std::none_of(parts.begin(), parts.end(),
                        [](const QString &part) { return part.trimmed().startsWith(QLatin1Char('-')); });
}

std::optional<ltvItemData> ApplyTimeRange(const ltvItemData &task, const std::optional<QString> &start,
                                          const std::optional<QString> &end)
{
    const OutputSettings edited{task.NewName + task.NewExt, start.value_or(task.StartText), end.value_or(task.EndText)};
    const ltvItemData stored = ApplyOutputSettings(task, edited);
    const bool startFits = !start || stored.StartSecs == TimeTextToSeconds(*start);
    const bool endFits = !end || stored.EndSecs == TimeTextToSeconds(*end);
    if (!startFits || !endFits)
        return std::nullopt;
    return stored;
}

int FirstSelectedRow(const QItemSelectionModel &selection)
{
    int first = -1;
    for (const QModelIndex &index : selection.selectedRows())
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

OutputSettingsView::OutputSettingsView(TaskListModel &tasks, QItemSelectionModel &selection, ParameterGrid &grid,
                                       std::function<QString()> outputExt, QObject *parent)
    : QObject(parent)
    , m_tasks(tasks)
    , m_selection(selection)
    , m_grid(grid)
    , m_outputExt(std::move(outputExt))
{
    const auto follow = [this] { showSelected(false); };
    connect(&m_selection, &QItemSelectionModel::selectionChanged, this, follow);
    // Removed rows leave the selection without always saying so.
    connect(&m_tasks, &QAbstractItemModel::rowsRemoved, this, follow);
    connect(&m_tasks, &QAbstractItemModel::modelReset, this, follow);
    connect(&m_tasks, &QAbstractItemModel::layoutChanged, this, follow);
}

void OutputSettingsView::showSelected(bool force)
{
    const int row = FirstSelectedRow(m_selection);
    if (!force && row >= 0 && m_shown.isValid() && m_shown.row() == row)
        return;
    show(row);
}

int OutputSettingsView::shownRow() const
{
    return m_shown.isValid() ? m_shown.row() : -1;
}

void OutputSettingsView::show(int row)
{
    OutputSettings shown;
    if (row >= 0) {
        ltvItemData task;
        ReadItemData(m_tasks, row, WholeRowField, task);
        shown = OutputSettingsOf(task, m_outputExt());
        m_shown = m_tasks.index(row, 0);
    } else {
        m_shown = QPersistentModelIndex();
    }
    m_grid.setValue(NewFilenameKey, shown.newFilename);
    m_grid.setValue(StartTimeKey, shown.startTime);
    m_grid.setValue(EndTimeKey, shown.endTime);
}

QString OutputSettingsView::storeEdit()
{
    const int row = shownRow();
    if (row < 0)
        return {};
    ltvItemData task;
    ReadItemData(m_tasks, row, WholeRowField, task);
    const OutputSettings edited{m_grid.value(NewFilenameKey), m_grid.value(StartTimeKey), m_grid.value(EndTimeKey)};
    const ltvItemData stored = ApplyOutputSettings(task, edited);
    for (int field : {3, 4, 7, 8, 9})
        WriteItemData(m_tasks, row, field, stored);
    const QString problem = OutputNameProblem(edited.newFilename);
    if (!problem.isEmpty())
        m_grid.setValue(NewFilenameKey, OutputSettingsOf(task, m_outputExt()).newFilename);
    return problem;
}
