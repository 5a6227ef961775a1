#include "conversion/taskrecord.h"

#include "conversion/failureexplanation.h"
#include "conversion/taskorder.h"

#include <QCoreApplication>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <cmath>
#include <limits>

namespace {

constexpr int StatusColumn = 3; // sub-item 2

QString *textField(ltvItemData &record, int subItem)
{
    switch (subItem) {
    case 0: return &record.LengthText;
    case 1: return &record.SizeText;
    case 2: return &record.StatusText;
    case 3: return &record.NewName;
    case 4: return &record.NewExt;
    case 5: return &record.OrigStartText;
    case 6: return &record.OrigEndText;
    case 7: return &record.ClipLengthText;
    case 8: return &record.StartText;
    case 9: return &record.EndText;
    default: return nullptr;
    }
}

const QString &textField(const ltvItemData &record, int subItem)
{
    return *textField(const_cast<ltvItemData &>(record), subItem);
}

// The seconds value that belongs to a sub-item, or null for 1 to 4.
double *secondsField(ltvItemData &record, int subItem)
{
    switch (subItem) {
    case 0: return &record.LengthSecs;
    case 5: return &record.OrigStartSecs;
    case 6: return &record.OrigEndSecs;
    case 7: return &record.ClipLengthSecs;
    case 8: return &record.StartSecs;
    case 9: return &record.EndSecs;
    default: return nullptr;
    }
}

// The file name of a path less its last extension (QFileInfo's complete base
// name), as a view of the path.
QStringView stemOf(const QString &path)
{
    QStringView name(path);
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

constexpr int NewNameColumn = 4; // sub-item 3
// Texts up to this length are looked up among the common values of a list;
// the list keeps up to MaxCommonTexts of them.
constexpr qsizetype CommonTextLength = 24;
constexpr qsizetype MaxCommonTexts = 4096;

// A whole number as a time part: leading blanks and a sign allowed, digits, and
// nothing after them.
bool parseWholeNumber(const QString &text, qint64 &value)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    const QByteArray rest = text.mid(i).toLatin1();
    if (rest.isEmpty())
        return false;
    const char *begin = rest.constData();
    const char *end = begin + rest.size();
    bool negative = false;
    if (*begin == '+' || *begin == '-') {
        negative = *begin == '-';
        ++begin;
    }
    if (begin == end || *begin < '0' || *begin > '9')
        return false;
    qint64 magnitude = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, magnitude);
    if (ec != std::errc() || ptr != end || magnitude > std::numeric_limits<qint32>::max())
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

} // namespace

struct TaskListModel::Rare
{
    QString engineOutput;
    QString resultNotes;
    QString temporaryOutput;

    bool isEmpty() const { return engineOutput.isNull() && resultNotes.isNull() && temporaryOutput.isNull(); }
};

struct TaskListModel::Row
{
    QString caption;
    QString texts[SubItemCount]; // the new name (3) is null while stemName holds
    QString foundUnder;
    std::unique_ptr<Rare> rare; // only while one of its texts is set
    bool stemName = false;      // the new name is the caption's stem
    bool queued = false;
};

TaskListModel::TaskListModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_headers{tr("Input File"), tr("Length"), tr("Size"), tr("Status")}
{
}

TaskListModel::~TaskListModel() = default;

QString TaskListModel::shared(const Row &row, int column, const QString &text)
{
    if (text.isEmpty())
        return text;
    // A row's length is most often its end and its clip length too.
    for (int subItem = 0; subItem < SubItemCount; ++subItem)
        if (subItem + 1 != column && !row.texts[subItem].isNull() && row.texts[subItem] == text)
            return row.texts[subItem];
    if (text.size() > CommonTextLength)
        return text;
    const auto common = m_common.constFind(text);
    if (common != m_common.cend())
        return *common;
    if (m_common.size() < MaxCommonTexts)
        m_common.insert(text);
    return text;
}

bool TaskListModel::storeText(Row &row, int column, const QString &text)
{
    if (column == 0) {
        if (row.caption == text)
            return false;
        if (row.stemName) {
            row.texts[NewNameColumn - 1] = stemOf(row.caption).toString();
            row.stemName = false;
        }
        countInput(row.caption, -1);
        row.caption = text;
        countInput(row.caption, 1);
        if (!row.caption.isEmpty() && !row.texts[NewNameColumn - 1].isEmpty()
            && row.texts[NewNameColumn - 1] == stemOf(row.caption)) {
            row.texts[NewNameColumn - 1] = QString();
            row.stemName = true;
        }
        return true;
    }
    if (column == NewNameColumn) {
        if (cellText(row, column) == text)
            return false;
        row.stemName = !row.caption.isEmpty() && !text.isEmpty() && text == stemOf(row.caption);
        row.texts[column - 1] = row.stemName ? QString() : text;
        return true;
    }
    QString &held = row.texts[column - 1];
    if (held == text)
        return false;
    held = shared(row, column, text);
    return true;
}

QString TaskListModel::cellText(const Row &row, int column) const
{
    if (column == 0)
        return row.caption;
    if (column == NewNameColumn && row.stemName)
        return stemOf(row.caption).toString();
    return row.texts[column - 1];
}

TaskListModel::Row *TaskListModel::newRow(const ltvItemData &record)
{
    auto row = std::make_unique<Row>();
    row->caption = record.InputFile;
    for (int subItem = 0; subItem < SubItemCount; ++subItem)
        storeText(*row, subItem + 1, textField(record, subItem));
    if (!record.FoundUnder.isEmpty()) {
        const auto common = m_common.constFind(record.FoundUnder);
        row->foundUnder = common != m_common.cend() ? *common : record.FoundUnder;
        if (common == m_common.cend() && m_common.size() < MaxCommonTexts)
            m_common.insert(record.FoundUnder);
    }
    return row.release();
}

int TaskListModel::appendTask(const ltvItemData &record)
{
    return appendTasks({record});
}

int TaskListModel::appendTasks(const QList<ltvItemData> &records)
{
    const int first = rowCount();
    if (records.isEmpty())
        return first;
    // Made before the views are told, so that they are told once.
    std::vector<std::unique_ptr<Row>> rows;
    rows.reserve(static_cast<size_t>(records.size()));
    for (const ltvItemData &record : records)
        rows.emplace_back(newRow(record));
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(records.size()) - 1);
    for (const auto &row : rows)
        countInput(row->caption, 1);
    // (Room grows by half again or more, never by one block at a time.)
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
    return first;
}

bool TaskListModel::hasInput(const QString &path) const
{
    if (!m_inputsValid) {
        m_inputs.clear();
        for (const auto &row : m_rows)
            ++m_inputs[row->caption];
        m_inputsValid = true;
    }
    return m_inputs.value(path) > 0;
}

void TaskListModel::countInput(const QString &caption, int step) const
{
    if (!m_inputsValid)
        return;
    const int count = m_inputs.value(caption) + step;
    if (count > 0)
        m_inputs.insert(caption, count);
    else
        m_inputs.remove(caption);
}

QString TaskListModel::text(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= ColumnCount)
        return QString();
    return cellText(*m_rows[static_cast<size_t>(row)], column);
}

const QString *TaskListModel::rareText(const Row &row, int role) const
{
    if (!row.rare)
        return nullptr;
    switch (role) {
    case EngineOutputRole: return &row.rare->engineOutput;
    case ResultNotesRole: return &row.rare->resultNotes;
    case TemporaryOutputRole: return &row.rare->temporaryOutput;
    default: return nullptr;
    }
}

QString *TaskListModel::rareText(Row &row, int role, bool create)
{
    if (!row.rare && create)
        row.rare = std::make_unique<Rare>();
    return const_cast<QString *>(std::as_const(*this).rareText(row, role));
}

int TaskListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TaskListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TaskListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= rowCount())
        return QVariant();
    const Row &row = *m_rows[static_cast<size_t>(index.row())];
    const bool caption = index.column() == 0;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(row, index.column());
    case Qt::ToolTipRole:
        if (index.column() == StatusColumn) {
            const QString tip = statusTip(index.row());
            if (!tip.isEmpty())
                return tip;
        }
        return QVariant();
    case EngineOutputRole:
    case ResultNotesRole:
    case TemporaryOutputRole: {
        const QString *text = caption ? rareText(row, role) : nullptr;
        return text && !text->isNull() ? QVariant(*text) : QVariant();
    }
    case FoundUnderRole:
        return caption && !row.foundUnder.isNull() ? QVariant(row.foundUnder) : QVariant();
    case QueuedRole:
        return caption && row.queued ? QVariant(true) : QVariant();
    default:
        return QVariant();
    }
}

bool TaskListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.model() != this || index.row() >= rowCount())
        return false;
    Row &row = *m_rows[static_cast<size_t>(index.row())];
    const bool caption = index.column() == 0;
    QList<int> roles{role};
    bool changed = false;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        roles = {Qt::DisplayRole, Qt::EditRole};
        changed = storeText(row, index.column(), value.toString());
        break;
    case EngineOutputRole:
    case ResultNotesRole:
    case TemporaryOutputRole: {
        if (!caption)
            return false;
        const QString text = value.isValid() ? value.toString() : QString();
        QString *held = rareText(row, role, !text.isNull());
        if (!held || (held->isNull() == text.isNull() && *held == text))
            return true;
        *held = text;
        if (row.rare->isEmpty())
            row.rare.reset();
        changed = true;
        break;
    }
    case FoundUnderRole: {
        if (!caption)
            return false;
        const QString text = value.isValid() ? value.toString() : QString();
        changed = row.foundUnder.isNull() != text.isNull() || row.foundUnder != text;
        row.foundUnder = text;
        break;
    }
    case QueuedRole:
        if (!caption)
            return false;
        changed = row.queued != value.toBool();
        row.queued = value.toBool();
        break;
    default:
        return false;
    }
    if (changed)
        emit dataChanged(index, index, roles);
    return true;
}

QVariant TaskListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::EditRole) && section >= 0
        && section < m_headers.size())
        return m_headers[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TaskListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsDragEnabled
           | Qt::ItemIsDropEnabled | Qt::ItemNeverHasChildren;
}

Qt::DropActions TaskListModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

bool TaskListModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    const auto first = m_rows.begin() + row;
    for (auto it = first; it != first + count; ++it)
        countInput((*it)->caption, -1);
    m_rows.erase(first, first + count);
    endRemoveRows();
    return true;
}

bool TaskListModel::moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                             const QModelIndex &destinationParent, int destinationChild)
{
    if (sourceParent.isValid() || destinationParent.isValid() || sourceRow < 0 || count <= 0
        || sourceRow + count > rowCount() || destinationChild < 0 || destinationChild > rowCount()
        || (destinationChild >= sourceRow && destinationChild <= sourceRow + count))
        return false;
    if (!beginMoveRows(QModelIndex(), sourceRow, sourceRow + count - 1, QModelIndex(), destinationChild))
        return false;
    const auto begin = m_rows.begin();
    if (destinationChild > sourceRow)
        std::rotate(begin + sourceRow, begin + sourceRow + count, begin + destinationChild);
    else
        std::rotate(begin + destinationChild, begin + sourceRow, begin + sourceRow + count);
    endMoveRows();
    return true;
}

void TaskListModel::reorder(const std::vector<int> &from)
{
    if (from.size() != m_rows.size())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> to(from.size());
    std::vector<std::unique_ptr<Row>> rows(m_rows.size());
    for (size_t row = 0; row < from.size(); ++row) {
        const auto old = static_cast<size_t>(from[row]);
        rows[row] = std::move(m_rows[old]);
        to[old] = static_cast<int>(row);
    }
    m_rows.swap(rows);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after << this->index(to[static_cast<size_t>(index.row())], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TaskListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_common.clear();
    m_inputs.clear();
    m_inputsValid = false;
    endResetModel();
}

void TaskListModel::sort(int column, Qt::SortOrder order)
{
    SortTasks(*this, column, order);
}

QString ShownStatus(const QString &stored)
{
    static const char *const Shown[] = {QT_TRANSLATE_NOOP("RowStatus", "OK"), QT_TRANSLATE_NOOP("RowStatus", "Converting"),
                                        QT_TRANSLATE_NOOP("RowStatus", "Complete"), QT_TRANSLATE_NOOP("RowStatus", "Failed"),
                                        QT_TRANSLATE_NOOP("RowStatus", "Stop"), QT_TRANSLATE_NOOP("RowStatus", "Paused"),
                                        QT_TRANSLATE_NOOP("RowStatus", "Not smaller: kept the original")};
    for (const char *text : Shown)
        if (stored == QLatin1String(text))
            return QCoreApplication::translate("RowStatus", text);
    return stored;
}

QString TaskListModel::statusTip(int row) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    const Row &task = *m_rows[static_cast<size_t>(row)];
    const QString *notesText = rareText(task, ResultNotesRole);
    const QString notes = notesText ? *notesText : QString();
    if (task.texts[StatusColumn - 1] != RowStatus::Failed)
        return notes;
    const QString *outputText = rareText(task, EngineOutputRole);
    const QString output = outputText ? *outputText : QString();
    // Nothing known of the failure (a row read back from a saved list): no tip.
    if (output.trimmed().isEmpty() && notes.isEmpty())
        return QString();
    const QString sentence = FailureHeadline(output, notes);
    QStringList parts;
    parts << sentence;
    for (const QString &note : notes.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (note != sentence)
            parts << note;
    // The engine's banner says nothing about the failure: its lines are left out.
    QStringList engineLines = output.split(QLatin1Char('\n'));
    engineLines.removeIf([](const QString &line) { return IsEngineBannerLine(line); });
    const QString last = LastLines(engineLines.join(QLatin1Char('\n')), FailureTipLines);
    if (!last.isEmpty())
        parts << last;
    return parts.join(QLatin1Char('\n'));
}

QString TaskListModel::LastLines(const QString &output, int count)
{
    QStringList lines;
    qsizetype end = output.size();
    while (end > 0 && lines.size() < count) {
        qsizetype begin = end;
        while (begin > 0 && output[begin - 1] != QLatin1Char('\n') && output[begin - 1] != QLatin1Char('\r'))
            --begin;
        const QString line = output.mid(begin, end - begin);
        if (!line.trimmed().isEmpty())
            lines.prepend(line);
        end = begin - 1;
    }
    return lines.join(QLatin1Char('\n'));
}

void ReadItemData(const TaskListModel &model, int row, int field, ltvItemData &record)
{
    const auto readSubItem = [&](int subItem) {
        QString &text = *textField(record, subItem);
        text = model.text(row, subItem + 1);
        if (double *seconds = secondsField(record, subItem))
            *seconds = TimeTextToSeconds(text);
    };
    if (field >= 0 && field < TaskListModel::SubItemCount) {
        readSubItem(field);
    } else if (field == CaptionField || field == WholeRowField) {
        record.InputFile = model.text(row, 0);
        record.FoundUnder = model.index(row, 0).data(TaskListModel::FoundUnderRole).toString();
        if (field == WholeRowField)
            for (int subItem = 0; subItem < TaskListModel::SubItemCount; ++subItem)
                readSubItem(subItem);
    }
}

void WriteItemData(TaskListModel &model, int row, int field, const ltvItemData &record)
{
    const auto write = [&](int column, const QString &text) {
        model.setData(model.index(row, column), text, Qt::DisplayRole);
    };
    if (field >= 0 && field < TaskListModel::SubItemCount) {
        write(field + 1, textField(record, field));
    } else if (field == CaptionField) {
        write(0, record.InputFile);
    } else if (field == WholeRowField) {
        write(0, record.InputFile);
        for (int subItem = 0; subItem < TaskListModel::SubItemCount; ++subItem)
            write(subItem + 1, textField(record, subItem));
    }
}

bool ParseDecimal(const QString &text, double &value)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    if (begin == end)
        return false;
    QByteArray number;
    number.reserve(end - begin);
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0x7f)
            return false;
        number += static_cast<char>(c);
    }

    // Shape check: [sign] (digits [. digits] | . digits) [e [sign] digits]
    const char *p = number.constData();
    const char *const stop = p + number.size();
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const char *const mantissa = p;
    int digits = 0;
    while (p < stop && *p >= '0' && *p <= '9') {
        ++p;
        ++digits;
    }
    if (p < stop && *p == '.') {
        ++p;
        while (p < stop && *p >= '0' && *p <= '9') {
            ++p;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (p < stop && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < stop && (*p == '+' || *p == '-'))
            ++p;
        const char *const exponent = p;
        while (p < stop && *p >= '0' && *p <= '9')
            ++p;
        if (p == exponent)
            return false;
    }
    if (p != stop)
        return false;

    double magnitude = 0;
    const auto [ptr, ec] = std::from_chars(mantissa, stop, magnitude, std::chars_format::general);
    if (ec != std::errc() || ptr != stop || !std::isfinite(magnitude))
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

double TimeTextToSeconds(const QString &text)
{
    const qsizetype first = text.indexOf(QLatin1Char(':'));
    if (first < 0)
        return -1;
    const QString rest = text.mid(first + 1);
    const qsizetype second = rest.indexOf(QLatin1Char(':'));
    if (second < 0)
        return -1;
    const QString secondsPart = rest.mid(second + 1);

    qint64 hours = 0;
    qint64 minutes = 0;
    double seconds = 0;
    if (!parseWholeNumber(text.left(first), hours) || !parseWholeNumber(rest.left(second), minutes))
        return -1;
    if (secondsPart.startsWith(QLatin1Char('.')) || !ParseDecimal(secondsPart, seconds))
        return -1;
    return static_cast<double>(hours * 3600 + minutes * 60) + seconds;
}

qint64 RoundHalfEven(double value)
{
    // The default floating-point rounding mode rounds halves to even.
    return static_cast<qint64>(std::nearbyint(value));
}

QString SecondsToTimeText(double seconds)
{
    const qint64 tenthsTotal = RoundHalfEven(seconds * 10);
    const qint64 whole = tenthsTotal / 10;
    const qint64 tenths = tenthsTotal % 10;
    const qint64 h = whole / 3600;
    const qint64 m = (whole - 3600 * h) / 60;
    const qint64 s = whole - 3600 * h - 60 * m;
    QString text = QStringLiteral("%1:%2:%3")
                       .arg(h, 2, 10, QLatin1Char('0'))
                       .arg(m, 2, 10, QLatin1Char('0'))
                       .arg(s, 2, 10, QLatin1Char('0'));
    if (tenths != 0)
        text += QLatin1Char('.') + QString::number(tenths);
    return text;
}
