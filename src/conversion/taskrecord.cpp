#include "conversion/taskrecord.h"

#include "conversion/failureexplanation.h"

#include <QCoreApplication>

#include <charconv>
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

QString cellText(const QStandardItemModel &model, int row, int column)
{
    return model.index(row, column).data(Qt::DisplayRole).toString();
}

void setCellText(QStandardItemModel &model, int row, int column, const QString &text)
{
    if (QStandardItem *item = model.item(row, column))
        item->setText(text);
    else
        model.setItem(row, column, new QStandardItem(text));
}

void readSubItem(const QStandardItemModel &model, int row, int subItem, ltvItemData &record)
{
    QString &text = *textField(record, subItem);
    text = cellText(model, row, subItem + 1);
    if (double *seconds = secondsField(record, subItem))
        *seconds = TimeTextToSeconds(text);
}

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

TaskListModel::TaskListModel(QObject *parent)
    : QStandardItemModel(0, ColumnCount, parent)
{
    setHorizontalHeaderLabels({tr("Input File"), tr("Length"),
                               tr("Size"), tr("Status")});
    // The caption index follows rows added and removed; a caption written in
    // place, or a reset, leaves it to be built again when next asked.
    connect(this, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &parent, int first, int last) {
                if (!parent.isValid())
                    countInputs(first, last, 1);
            });
    connect(this, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                if (!parent.isValid())
                    countInputs(first, last, -1);
            });
    connect(this, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &, const QList<int> &roles) {
                if (topLeft.column() == 0
                    && (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::EditRole)))
                    m_inputsValid = false;
            });
    connect(this, &QAbstractItemModel::modelReset, this, [this] { m_inputsValid = false; });
}

int TaskListModel::appendTask(const ltvItemData &record)
{
    // The whole row at once: one insertion for the views, none of them told
    // of eleven cells changing after it.
    QList<QStandardItem *> items;
    items.reserve(ColumnCount);
    items << new QStandardItem(record.InputFile);
    if (!record.FoundUnder.isEmpty())
        items.first()->setData(record.FoundUnder, FoundUnderRole);
    for (int subItem = 0; subItem < SubItemCount; ++subItem)
        items << new QStandardItem(textField(record, subItem));
    appendRow(items);
    return rowCount() - 1;
}

bool TaskListModel::hasInput(const QString &path) const
{
    if (!m_inputsValid) {
        m_inputs.clear();
        for (int row = 0; row < rowCount(); ++row)
            ++m_inputs[cellText(*this, row, 0)];
        m_inputsValid = true;
    }
    return m_inputs.value(path) > 0;
}

void TaskListModel::countInputs(int first, int last, int step)
{
    if (!m_inputsValid)
        return;
    for (int row = first; row <= last; ++row) {
        const QString caption = cellText(*this, row, 0);
        const int count = m_inputs.value(caption) + step;
        if (count > 0)
            m_inputs.insert(caption, count);
        else
            m_inputs.remove(caption);
    }
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

QVariant TaskListModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::ToolTipRole && index.isValid() && index.column() == StatusColumn) {
        const QString tip = statusTip(index.row());
        if (!tip.isEmpty())
            return tip;
    }
    return QStandardItemModel::data(index, role);
}

QString TaskListModel::statusTip(int row) const
{
    const QModelIndex caption = index(row, 0);
    const QString notes = QStandardItemModel::data(caption, ResultNotesRole).toString();
    if (QStandardItemModel::data(index(row, StatusColumn), Qt::DisplayRole).toString() != RowStatus::Failed)
        return notes;
    const QString output = QStandardItemModel::data(caption, EngineOutputRole).toString();
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

void ReadItemData(const QStandardItemModel &model, int row, int field, ltvItemData &record)
{
    if (field >= 0 && field < TaskListModel::SubItemCount) {
        readSubItem(model, row, field, record);
    } else if (field == CaptionField) {
        record.InputFile = cellText(model, row, 0);
        record.FoundUnder = model.index(row, 0).data(TaskListModel::FoundUnderRole).toString();
    } else if (field == WholeRowField) {
        record.InputFile = cellText(model, row, 0);
        record.FoundUnder = model.index(row, 0).data(TaskListModel::FoundUnderRole).toString();
        for (int subItem = 0; subItem < TaskListModel::SubItemCount; ++subItem)
            readSubItem(model, row, subItem, record);
    }
}

void WriteItemData(QStandardItemModel &model, int row, int field, const ltvItemData &record)
{
    if (field >= 0 && field < TaskListModel::SubItemCount) {
        setCellText(model, row, field + 1, textField(record, field));
    } else if (field == CaptionField) {
        setCellText(model, row, 0, record.InputFile);
    } else if (field == WholeRowField) {
        setCellText(model, row, 0, record.InputFile);
        for (int subItem = 0; subItem < TaskListModel::SubItemCount; ++subItem)
            setCellText(model, row, subItem + 1, textField(record, subItem));
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
