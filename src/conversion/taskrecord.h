#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// One task as held in its task-list row: the caption (the input path), ten
// sub-item texts and six seconds values derived from the time texts. A record is
// a copy: changing it changes nothing in the list until it is written back.
struct ltvItemData
{
    QString InputFile;      // caption
    QString LengthText;     // sub-item 0
    QString SizeText;       // sub-item 1
    QString StatusText;     // sub-item 2
    QString NewName;        // sub-item 3
    QString NewExt;         // sub-item 4
    QString OrigStartText;  // sub-item 5
    QString OrigEndText;    // sub-item 6
    QString ClipLengthText; // sub-item 7
    QString StartText;      // sub-item 8
    QString EndText;        // sub-item 9
    double LengthSecs = 0;
    double OrigStartSecs = 0;
    double OrigEndSecs = 0;
    double ClipLengthSecs = 0;
    double StartSecs = 0;
    double EndSecs = 0;
    // The folder the input was found under when a folder was added (kept on
    // the caption item); empty for a file added on its own. An output that
    // keeps the folder tree goes to the input's place below this folder.
    QString FoundUnder;
};

// Field numbers for ReadItemData and WriteItemData besides the sub-items 0..9.
constexpr int CaptionField = -1;
constexpr int WholeRowField = -2;

// The Status texts a conversion gives a row (a row running among several
// shows its percent instead of Converting).
namespace RowStatus {
inline const QString Converting = QStringLiteral("Converting");
inline const QString Complete = QStringLiteral("Complete");
inline const QString Failed = QStringLiteral("Failed");
inline const QString Stop = QStringLiteral("Stop");
inline const QString Paused = QStringLiteral("Paused");
// The output was not smaller than its input and was discarded: a skipped
// task, not a failed one.
inline const QString NotSmaller = QStringLiteral("Not smaller: kept the original");
} // namespace RowStatus

// A Status value as a person reads it, in the user's language; the stored
// value stays as it is ("45%" and unknown values are shown as stored).
QString ShownStatus(const QString &stored);

// The task list: one row per task, column 0 the caption, columns 1..10 the ten
// sub-items. The view shows the first four columns.
//
// The rows are kept as plain structs, one per task (TaskListModel::Row), some
// 400 bytes each with the input's path: texts that rows or cells have in
// common (a status, an extension, a frame size, "00:00:00.0", a row's length
// repeated as its end) are kept once and shared, a new name that is the input's
// own stem is not kept at all, and what only some rows have (engine output,
// result notes, a temporary output) hangs off the row only when set.
class TaskListModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int SubItemCount = 10;
    static constexpr int ColumnCount = SubItemCount + 1;
    static constexpr int VisibleColumnCount = 4;
    // Where a task keeps the end of its engine's output (on the caption item).
    static constexpr int EngineOutputRole = Qt::UserRole + 1;
    // What the run found worth saying about a task's result, one line each (on
    // the caption item): why it failed, why its output took another name.
    static constexpr int ResultNotesRole = Qt::UserRole + 2;
    // Where the engine of a task writes its unfinished output (on the caption
    // item), from the engine's start until the task has its result.
    static constexpr int TemporaryOutputRole = Qt::UserRole + 3;
    // The folder a task's input was found under (ltvItemData::FoundUnder).
    static constexpr int FoundUnderRole = Qt::UserRole + 4;
    // Set (true) while a task waits in the conversion queue for its turn: asked
    // to run by Start, Retry or a watched arrival, and not begun yet.
    static constexpr int QueuedRole = Qt::UserRole + 5;
    // How many lines of that output the Status cell of a failed task shows.
    static constexpr int FailureTipLines = 10;

    explicit TaskListModel(QObject *parent = nullptr);
    ~TaskListModel() override;

    // Appends a row with the record's caption, sub-items and the folder it was
    // found under; returns its index.
    int appendTask(const ltvItemData &record);
    // Appends a row for each record, in order, as one insertion; returns the
    // index of the first (the row count when there are none).
    int appendTasks(const QList<ltvItemData> &records);

    // Whether a row's caption is `path` exactly (letter case counts). Answered
    // from an index of the captions, kept as rows come and go and built again
    // only after a caption changed.
    bool hasInput(const QString &path) const;

    // The text of a cell (column 0 the caption); empty outside the list.
    QString text(int row, int column) const;

    // Puts the rows in a new order: row n becomes the row that was `from[n]`
    // (`from` holds every row once). Views, selections and persistent indexes
    // follow their rows (one layout change).
    void reorder(const std::vector<int> &from);
    // Removes every row.
    void clear();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // A cell's text for the display and edit roles; the roles above on the
    // caption cell (not set: nothing); the Status cell has statusTip() as its
    // tool tip.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // A cell's text (display or edit role) or a role above on the caption cell.
    // A value equal to the one held changes nothing and tells nothing.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    Qt::DropActions supportedDropActions() const override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    // Moves rows within the list (one move for the views).
    bool moveRows(const QModelIndex &sourceParent, int sourceRow, int count, const QModelIndex &destinationParent,
                  int destinationChild) override;
    // SortTasks.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // What the Status cell of a row tells on hovering: its result notes. For a
    // "Failed" task, a plain sentence on why comes first (ExplainFailure), then
    // the notes it does not repeat, then the last lines of its engine's output,
    // its banner left out.
    QString statusTip(int row) const;

    // The last `count` non-empty lines of an engine's output, one per line.
    // Lines end with a newline or a carriage return (progress lines).
    static QString LastLines(const QString &output, int count);

private:
    struct Row;
    struct Rare;

    Row *newRow(const ltvItemData &record);
    QString cellText(const Row &row, int column) const;
    // Stores `text` as the cell's text; false when it was that already.
    bool storeText(Row &row, int column, const QString &text);
    // A copy of `text` that shares its characters with an equal text already
    // kept (in the row, or among the common values of the list).
    QString shared(const Row &row, int column, const QString &text);
    QString *rareText(Row &row, int role, bool create);
    const QString *rareText(const Row &row, int role) const;
    void countInput(const QString &caption, int step) const;

    std::vector<std::unique_ptr<Row>> m_rows;
    QSet<QString> m_common; // short texts that many rows have
    QStringList m_headers;
    mutable QHash<QString, int> m_inputs; // caption -> how many rows have it
    mutable bool m_inputsValid = false;
};

// Copies from row `row` into `record`: a sub-item (0..9, with its seconds value
// for 0, 5, 6, 7, 8 and 9), the caption (-1) or everything (-2); the caption
// comes with the folder the input was found under. Other fields of
// the record keep what they held; any other field number does nothing.
void ReadItemData(const TaskListModel &model, int row, int field, ltvItemData &record);

// Copies from `record` into row `row`: one sub-item (0..9), the caption (-1) or
// the caption and all sub-items (-2). Seconds values are never written, nor is
// the folder an input was found under: a row keeps the one it was added with.
void WriteItemData(TaskListModel &model, int row, int field, const ltvItemData &record);

// Seconds of a time text "h:m:s[.f]"; -1 when the text is not one.
double TimeTextToSeconds(const QString &text);

// "hh:mm:ss", or "hh:mm:ss.t" when the tenths are not 0, for seconds >= 0.
QString SecondsToTimeText(double seconds);

// Reads a decimal number with a point: optional sign, digits with an optional
// point and fraction, an optional exponent, blanks around allowed.
bool ParseDecimal(const QString &text, double &value);

// Nearest whole number, halves to even.
qint64 RoundHalfEven(double value);
