#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

// The rows of one parameter grid: a two-column name/value list in which every
// row carries a read-only flag and, for list parameters, a pick list. Profile
// loading, the parameter string and profile saving work on this model; the
// grid widget only shows it.
//
// Column 0 is the name and is never editable. Column 1 is the value: a
// pick-list row is read-only for typing but takes any choice through setData
// (the drop-down editor), a free-text row is editable unless it is read-only.
// Lookups by name ignore letter case; the first matching row wins.
class ParameterGrid final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn = 0, ValueColumn = 1 };
    enum Role {
        ReadOnlyRole = Qt::UserRole + 1, // bool: the row's read-only flag
        IsPickListRole,                  // bool: the row offers a drop-down of choices
        PickListRole,                    // QStringList: the choices
    };

    explicit ParameterGrid(QObject *parent = nullptr);
    // A grid holding rows with these names and empty values.
    explicit ParameterGrid(const QStringList &names, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // The columns' titles: the grids hide their header, a screen reader reads them.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Deletes every row.
    void clear();
    // Appends a free-text row and returns its number.
    int appendRow(const QString &name, const QString &value = QString(), bool readOnly = false);
    // Makes the row a pick-list row offering choices in this order.
    void setPickList(int row, const QStringList &choices);
    void setReadOnly(int row, bool readOnly);
    void setValueAt(int row, const QString &value);

    QString nameAt(int row) const;
    QString valueAt(int row) const;
    bool isReadOnly(int row) const;
    bool isPickList(int row) const;
    QStringList pickList(int row) const;
    QStringList names() const;

    // The first row whose name equals name, ignoring letter case; -1 if none.
    int findRow(const QString &name) const;
    // The value of the row named name; the empty text when there is none.
    QString value(const QString &name) const;
    // Sets the value of the row named name; false when there is none.
    bool setValue(const QString &name, const QString &value);

private:
    struct Row
    {
        QString name;
        QString value;
        bool readOnly = false;
        bool pickList = false;
        QStringList choices;
    };

    bool validRow(int row) const { return row >= 0 && row < m_rows.size(); }
    void rowChanged(int row);

    QList<Row> m_rows;
};

// The three parameter grids of one window. A new set holds the rows of the
// window layout with empty values, as shown before any profile is loaded.
class ParameterGrids final
{
public:
    ParameterGrids();

    // The grid a profile's "Sort" value names: 1 Video, 2 Audio, 3 Advanced;
    // null for any other value.
    ParameterGrid *bySort(int sort);
    const ParameterGrid *bySort(int sort) const;

    ParameterGrid video;
    ParameterGrid audio;
    ParameterGrid advanced;
};

// The grid rows of the window layout, before any profile is loaded.
QStringList LayoutVideoRows();
QStringList LayoutAudioRows();
QStringList LayoutAdvancedRows();

// Sets one grid value from a "Parameter=Value" text as a person could in the
// parameter grids: a list parameter takes one of its choices (letter case
// ignored) and "Video Size" also a custom WIDTHxHEIGHT; a read-only parameter
// takes nothing. Returns the reason when it cannot be set, else the empty text.
QString ApplyGridSetting(ParameterGrids &grids, const QString &setting);
