#pragma once

#include <QPointer>
#include <QTableView>

class ParameterGrid;
class ValueListDelegate;

// A value of a profile's parameter as a person reads it: the words the
// program's profiles use in the user's language; anything else as it is.
QString ShownParameterValue(const QString &value);

// The name/value grid of the program: the per-task output grid and the
// parameter grids all use this widget. It shows a ParameterGrid and edits its
// value column in place, like a value-list editor:
//
// - column 0 holds the names; it is never edited and never scrolls away;
//   column 1 holds the values and fills the rest of the width; the user can
//   drag the border between the two;
// - the current cell always lies in the value column; a click (also on the
//   name of a row) or typing opens the row's editor: a line editor for a
//   free-text row unless it is read-only, a drop-down of the choices (no
//   typing) for a pick-list row, whose value changes only by a pick from
//   the opened list: the arrow, page, Home and End keys move between rows
//   (Home and End to the first and the last), the wheel scrolls what holds
//   the grid, and letters do nothing;
// - validate(row) tells that the user left a value cell whose text was
//   edited, by moving to another cell or by leaving the grid;
// - cells are painted in the grid's own colours (see the delegate).
class ValueListGrid final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ValueListGrid)

public:
    static constexpr int DefaultRowHeight = 17;

    explicit ValueListGrid(QWidget *parent = nullptr);
    ~ValueListGrid() override;

    // Shows this model; the grid does not own it. Null shows nothing.
    void setGrid(ParameterGrid *grid);
    ParameterGrid *grid() const;

    // The name column gets key pixels; the value column at least value pixels
    // and whatever width is left.
    void setColumnWidths(int key, int value);
    // Every row, present and future, is this many pixels high.
    using QTableView::setRowHeight;
    void setRowHeight(int pixels);
    int defaultRowHeight() const { return m_rowHeight; }
    // The height that shows rows rows: rows x row height + rows + 1.
    int heightForRows(int rows) const;

    // The value of the row named key, letter case ignored; empty when none.
    QString value(const QString &key) const;
    // The row named key (letter case ignored) gets value; without such a row a
    // free-text row with this key and value is appended.
    void setGridValue(const QString &key, const QString &value);

    // Called from a slot of mousePressed(): the press being handled opens no
    // editor.
    void refuseEditOnThisPress();
    // Repaints the cells and the open editor.
    void refresh();

    // True while the keyboard focus is on the grid or on its editor.
    bool hasGridFocus() const;
    // The open in-place editor, or null.
    QWidget *currentEditor() const;

    QSize sizeHint() const override;

    using QTableView::edit;

signals:
    // The user left the value cell of row after editing its text; the text is
    // in the model already.
    void validate(int row);
    // A mouse button went down on the grid; sent before the grid reacts.
    void mousePressed();
    // Rows were added or removed, or a value or row property changed.
    void valuesChanged();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    friend class ValueListDelegate;

    void noteEdited(int row);
    void forgetEdit();
    void emitValidate();
    void focusMoved(QWidget *old, QWidget *now);
    bool holds(const QWidget *widget) const;
    bool onColumnBorder(int x) const;
    int clampedKeyWidth(int width) const;
    QPoint inValueColumn(const QPoint &pos) const;

    QPointer<ParameterGrid> m_grid;
    ValueListDelegate *m_delegate = nullptr;
    int m_rowHeight = DefaultRowHeight;
    int m_valueWidth = 0;
    int m_editedRow = -1;          // row whose edited text awaits validate, or -1
    bool m_refuseEdit = false;     // set during mousePressed() for this press
    bool m_pressAnnounced = false; // mousePressed() was sent for the press being handled
    bool m_resizingColumns = false;
};
