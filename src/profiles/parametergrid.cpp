#include "profiles/parametergrid.h"

#include "profiles/framesize.h"

#include <QCoreApplication>

ParameterGrid::ParameterGrid(QObject *parent)
    : QAbstractTableModel(parent)
{
}

ParameterGrid::ParameterGrid(const QStringList &names, QObject *parent)
    : QAbstractTableModel(parent)
{
    for (const QString &name : names)
        m_rows.append(Row{name, QString(), false, false, {}});
}

int ParameterGrid::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ParameterGrid::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ParameterGrid::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !validRow(index.row()))
        return {};
    const Row &row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == NameColumn ? row.name : row.value;
    case ReadOnlyRole:
        return row.readOnly;
    case IsPickListRole:
        return row.pickList;
    case PickListRole:
        return row.choices;
    default:
        return {};
    }
}

bool ParameterGrid::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !validRow(index.row()) || index.column() != ValueColumn)
        return false;
    const Row &row = m_rows[index.row()];
    if (row.readOnly && !row.pickList)
        return false;
    setValueAt(index.row(), value.toString());
    return true;
}

Qt::ItemFlags ParameterGrid::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !validRow(index.row()))
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const Row &row = m_rows[index.row()];
    if (index.column() == ValueColumn && (!row.readOnly || row.pickList))
        result |= Qt::ItemIsEditable;
    return result;
}

void ParameterGrid::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int ParameterGrid::appendRow(const QString &name, const QString &value, bool readOnly)
{
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    m_rows.append(Row{name, value, readOnly, false, {}});
    endInsertRows();
    return row;
}

void ParameterGrid::setPickList(int row, const QStringList &choices)
{
    if (!validRow(row))
        return;
    m_rows[row].pickList = true;
    m_rows[row].choices = choices;
    rowChanged(row);
}

void ParameterGrid::setReadOnly(int row, bool readOnly)
{
    if (!validRow(row) || m_rows[row].readOnly == readOnly)
        return;
    m_rows[row].readOnly = readOnly;
    rowChanged(row);
}

void ParameterGrid::setValueAt(int row, const QString &value)
{
    if (!validRow(row) || m_rows[row].value == value)
        return;
    m_rows[row].value = value;
    const QModelIndex cell = index(row, ValueColumn);
    emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::EditRole});
}

QString ParameterGrid::nameAt(int row) const
{
    return validRow(row) ? m_rows[row].name : QString();
}

QString ParameterGrid::valueAt(int row) const
{
    return validRow(row) ? m_rows[row].value : QString();
}

bool ParameterGrid::isReadOnly(int row) const
{
    return validRow(row) && m_rows[row].readOnly;
}

bool ParameterGrid::isPickList(int row) const
{
    return validRow(row) && m_rows[row].pickList;
}

QStringList ParameterGrid::pickList(int row) const
{
    return validRow(row) ? m_rows[row].choices : QStringList();
}

QStringList ParameterGrid::names() const
{
    QStringList result;
    result.reserve(m_rows.size());
    for (const Row &row : m_rows)
        result << row.name;
    return result;
}

int ParameterGrid::findRow(const QString &name) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

QString ParameterGrid::value(const QString &name) const
{
    return valueAt(findRow(name));
}

bool ParameterGrid::setValue(const QString &name, const QString &value)
{
    const int row = findRow(name);
    if (row < 0)
        return false;
    setValueAt(row, value);
    return true;
}

void ParameterGrid::rowChanged(int row)
{
    emit dataChanged(index(row, NameColumn), index(row, ValueColumn));
}

QStringList LayoutVideoRows()
{
    return {QStringLiteral("Video Codec"), QStringLiteral("Video Size"), QStringLiteral("Bit Rate"),
            QStringLiteral("Frame Rate"),  QStringLiteral("Aspect"),     QStringLiteral("Disable Video")};
}

QStringList LayoutAudioRows()
{
    return {QStringLiteral("Audio Codec"), QStringLiteral("Audio Bitrate"), QStringLiteral("Sample Rate"),
            QStringLiteral("Channels"),    QStringLiteral("Volumn"),        QStringLiteral("Disable Audio")};
}

QStringList LayoutAdvancedRows()
{
    return {QStringLiteral("Bit Exact Algorithms"), QStringLiteral("Deinterlace")};
}

ParameterGrids::ParameterGrids()
    : video(LayoutVideoRows())
    , audio(LayoutAudioRows())
    , advanced(LayoutAdvancedRows())
{
}

ParameterGrid *ParameterGrids::bySort(int sort)
{
    switch (sort) {
    case 1:
        return &video;
    case 2:
        return &audio;
    case 3:
        return &advanced;
    default:
        return nullptr;
    }
}

const ParameterGrid *ParameterGrids::bySort(int sort) const
{
    return const_cast<ParameterGrids *>(this)->bySort(sort);
}

QVariant ParameterGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && (section == NameColumn || section == ValueColumn))
        return section == NameColumn ? tr("Parameter") : tr("Value");
    return QAbstractTableModel::headerData(section, orientation, role);
}

namespace {

const QString VideoSizeKey = QStringLiteral("Video Size");
const QString CustomSize = QStringLiteral("Custom Size");

bool isCustomSize(const QString &value)
{
    const QStringList parts = value.split(QLatin1Char('x'));
    return parts.size() == 2 && IsFrameDimension(parts[0]) && IsFrameDimension(parts[1]);
}

} // namespace

QString ApplyGridSetting(ParameterGrids &grids, const QString &setting)
{
    const qsizetype equals = setting.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return QCoreApplication::translate("BatchMode", "--set \"%1\": expected \"Parameter=Value\"").arg(setting);
    const QString name = setting.left(equals).trimmed();
    const QString value = setting.mid(equals + 1).trimmed();
    for (ParameterGrid *grid : {&grids.video, &grids.audio, &grids.advanced}) {
        const int row = grid->findRow(name);
        if (row < 0)
            continue;
        if (grid->isPickList(row)) {
            const QStringList choices = grid->pickList(row);
            for (const QString &choice : choices) {
                if (choice.compare(value, Qt::CaseInsensitive) != 0)
                    continue;
                if (choice == CustomSize)
                    return QCoreApplication::translate("BatchMode", "--set \"%1\": give the size itself, e.g. \"%2=640x480\"")
                        .arg(setting, grid->nameAt(row));
                grid->setValueAt(row, choice);
                return QString();
            }
            if (grid->nameAt(row).compare(VideoSizeKey, Qt::CaseInsensitive) == 0 && isCustomSize(value)) {
                const QStringList parts = value.split(QLatin1Char('x'));
                grid->setValueAt(row, parts[0].trimmed() + QLatin1Char('x') + parts[1].trimmed());
                return QString();
            }
            QStringList offered;
            for (const QString &choice : choices)
                if (choice != CustomSize)
                    offered << choice;
            QString reason = QCoreApplication::translate("BatchMode", "--set \"%1\": \"%2\" is not a choice of \"%3\" (%4)")
                                 .arg(setting, value, grid->nameAt(row), offered.join(QStringLiteral(", ")));
            if (grid->nameAt(row).compare(VideoSizeKey, Qt::CaseInsensitive) == 0)
                reason += QCoreApplication::translate("BatchMode", " or a size WIDTHxHEIGHT");
            return reason;
        }
        if (grid->isReadOnly(row))
            return QCoreApplication::translate("BatchMode", "--set \"%1\": \"%2\" cannot be changed").arg(setting, grid->nameAt(row));
        grid->setValueAt(row, value);
        return QString();
    }
    return QCoreApplication::translate("BatchMode", "--set \"%1\": the profile has no parameter \"%2\"").arg(setting, name);
}
