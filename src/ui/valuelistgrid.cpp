#include "ui/valuelistgrid.h"

#include "profiles/parametergrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <utility>

namespace {

// Set on a drop-down editor once the user picked a choice in it.
constexpr char EditedProperty[] = "valueListEdited";

// The narrowest a column may be dragged.
constexpr int MinimumColumnWidth = 8;
// How far from the column border a press still grabs it.
constexpr int BorderGrip = 2;

const QColor ReadOnlyText(192, 192, 192);
const QColor FocusedKeyBackground(49, 106, 197);

// The names of the parameters the program's profiles have, as a person reads
// them; the profiles keep them in English.
const char *const ParameterNames[] = {
    QT_TRANSLATE_NOOP("ParameterName", "New Filename"), QT_TRANSLATE_NOOP("ParameterName", "Start Time"),
    QT_TRANSLATE_NOOP("ParameterName", "End Time"), QT_TRANSLATE_NOOP("ParameterName", "Application"),
    QT_TRANSLATE_NOOP("ParameterName", "Aspect"), QT_TRANSLATE_NOOP("ParameterName", "Audio Bitrate"),
    QT_TRANSLATE_NOOP("ParameterName", "Audio Codec"), QT_TRANSLATE_NOOP("ParameterName", "Bit Exact Algorithms"),
    QT_TRANSLATE_NOOP("ParameterName", "Bit Rate"), QT_TRANSLATE_NOOP("ParameterName", "Channels"),
    QT_TRANSLATE_NOOP("ParameterName", "Codec Tag"), QT_TRANSLATE_NOOP("ParameterName", "Compression Level"),
    QT_TRANSLATE_NOOP("ParameterName", "Deadline"), QT_TRANSLATE_NOOP("ParameterName", "Deinterlace"),
    QT_TRANSLATE_NOOP("ParameterName", "Disable Audio"), QT_TRANSLATE_NOOP("ParameterName", "Disable Video"),
    QT_TRANSLATE_NOOP("ParameterName", "Encoder Messages"), QT_TRANSLATE_NOOP("ParameterName", "Encoding Preset"),
    QT_TRANSLATE_NOOP("ParameterName", "Encoding Speed"), QT_TRANSLATE_NOOP("ParameterName", "Fast Start"),
    QT_TRANSLATE_NOOP("ParameterName", "FourCC"), QT_TRANSLATE_NOOP("ParameterName", "Frame Rate"),
    QT_TRANSLATE_NOOP("ParameterName", "GOP Size"), QT_TRANSLATE_NOOP("ParameterName", "H.264 Level"),
    QT_TRANSLATE_NOOP("ParameterName", "H.264 Profile"), QT_TRANSLATE_NOOP("ParameterName", "Loop"),
    QT_TRANSLATE_NOOP("ParameterName", "Output Format"), QT_TRANSLATE_NOOP("ParameterName", "Pixel Format"),
    QT_TRANSLATE_NOOP("ParameterName", "Quality"), QT_TRANSLATE_NOOP("ParameterName", "Row Multithreading"),
    QT_TRANSLATE_NOOP("ParameterName", "Sample Rate"), QT_TRANSLATE_NOOP("ParameterName", "Streams"),
    QT_TRANSLATE_NOOP("ParameterName", "Streams already in the target format"),
    QT_TRANSLATE_NOOP("ParameterName", "Quality: SSIM"),
    QT_TRANSLATE_NOOP("ParameterName", "Subtitle Codec"), QT_TRANSLATE_NOOP("ParameterName", "Variable Bit Rate"),
    QT_TRANSLATE_NOOP("ParameterName", "Video Codec"), QT_TRANSLATE_NOOP("ParameterName", "Video Size"),
    QT_TRANSLATE_NOOP("ParameterName", "Volumn"), QT_TRANSLATE_NOOP("ParameterName", "Width"),
};

// A parameter's name in the user's language; a name of the user's own is
// shown as it is.
QString ShownParameterName(const QString &name)
{
    for (const char *known : ParameterNames)
        if (name == QLatin1String(known))
            return QCoreApplication::translate("ParameterName", known);
    return name;
}

// The words of the values the program's profiles offer, as a person reads
// them; the profiles keep them in English, and so does the grid's model.
const char *const ParameterValues[] = {
    QT_TRANSLATE_NOOP("ParameterValue", "Yes"), QT_TRANSLATE_NOOP("ParameterValue", "No"),
    QT_TRANSLATE_NOOP("ParameterValue", "On"), QT_TRANSLATE_NOOP("ParameterValue", "Off"),
    QT_TRANSLATE_NOOP("ParameterValue", "Auto"), QT_TRANSLATE_NOOP("ParameterValue", "Copy"),
    QT_TRANSLATE_NOOP("ParameterValue", "Original"), QT_TRANSLATE_NOOP("ParameterValue", "Original Size"),
    QT_TRANSLATE_NOOP("ParameterValue", "Custom Size"), QT_TRANSLATE_NOOP("ParameterValue", "Main video and audio"),
    QT_TRANSLATE_NOOP("ParameterValue", "All streams"), QT_TRANSLATE_NOOP("ParameterValue", "Mono"),
    QT_TRANSLATE_NOOP("ParameterValue", "Stereo"), QT_TRANSLATE_NOOP("ParameterValue", "Once"),
    QT_TRANSLATE_NOOP("ParameterValue", "Forever"), QT_TRANSLATE_NOOP("ParameterValue", "Errors only"),
    QT_TRANSLATE_NOOP("ParameterValue", "Music"), QT_TRANSLATE_NOOP("ParameterValue", "Speech"),
    QT_TRANSLATE_NOOP("ParameterValue", "Realtime"), QT_TRANSLATE_NOOP("ParameterValue", "Low Delay"),
    QT_TRANSLATE_NOOP("ParameterValue", "Constant Quality"), QT_TRANSLATE_NOOP("ParameterValue", "Constrained"),
    QT_TRANSLATE_NOOP("ParameterValue", "Best"), QT_TRANSLATE_NOOP("ParameterValue", "High"),
    QT_TRANSLATE_NOOP("ParameterValue", "Good"), QT_TRANSLATE_NOOP("ParameterValue", "Medium"),
    QT_TRANSLATE_NOOP("ParameterValue", "Small"), QT_TRANSLATE_NOOP("ParameterValue", "Smallest"),
    QT_TRANSLATE_NOOP("ParameterValue", "Low"), QT_TRANSLATE_NOOP("ParameterValue", "Slowest"),
    QT_TRANSLATE_NOOP("ParameterValue", "Slow"), QT_TRANSLATE_NOOP("ParameterValue", "Fast"),
    QT_TRANSLATE_NOOP("ParameterValue", "Faster"), QT_TRANSLATE_NOOP("ParameterValue", "Fastest"),
    QT_TRANSLATE_NOOP("ParameterValue", "Quality"), QT_TRANSLATE_NOOP("ParameterValue", "Xvid compatible"),
};

QString knownValue(const QString &text)
{
    // A profile's last choice may end with the file's carriage return.
    const QString word = text.trimmed();
    for (const char *known : ParameterValues)
        if (word == QLatin1String(known))
            return QCoreApplication::translate("ParameterValue", known);
    return {};
}

} // namespace

QString ShownParameterValue(const QString &value)
{
    if (const QString shown = knownValue(value); !shown.isEmpty())
        return shown;
    // "Best (CRF 15)", "~96 kbps (Quality 2)", "MPEG-4 (Xvid compatible)":
    // the words before and inside the brackets are translated on their own.
    const qsizetype open = value.indexOf(QStringLiteral(" ("));
    if (open <= 0 || !value.endsWith(QLatin1Char(')')))
        return value;
    const QString head = value.left(open);
    QString inside = value.mid(open + 2, value.size() - open - 3);
    const QString shownHead = knownValue(head).isEmpty() ? head : knownValue(head);
    if (const QString whole = knownValue(inside); !whole.isEmpty())
        inside = whole;
    else if (inside.startsWith(QStringLiteral("Quality ")))
        inside = knownValue(QStringLiteral("Quality")) + inside.mid(7);
    return shownHead + QStringLiteral(" (") + inside + QLatin1Char(')');
}

namespace {

// The same mouse event at another place in the viewport.
QMouseEvent movedTo(const QMouseEvent &event, const QPoint &pos)
{
    const QPointF shift = QPointF(pos) - event.position();
    return QMouseEvent(event.type(), pos, event.scenePosition() + shift, event.globalPosition(), event.button(),
                       event.buttons(), event.modifiers(), event.pointingDevice());
}

// The drop-down editor of a pick-list row. Its value changes only by a pick
// from its opened list, never by the keys or the wheel on the closed box:
//
// - Up, Down, Page Up, Page Down, Home, End, Left and Right go on to the grid,
//   which moves between rows with them;
// - Alt+Down, Alt+Up and F4 open the list (as do Space and a click);
// - typed letters do nothing: they neither search the choices nor the grid;
// - the wheel goes on to whatever scrolls around the grid.
class PickListBox final : public QComboBox
{
public:
    explicit PickListBox(QWidget *parent)
        : QComboBox(parent)
    {
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool alt = event->modifiers().testFlag(Qt::AltModifier);
        switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (alt) {
                showPopup();
                return;
            }
            event->ignore();
            return;
        case Qt::Key_F4:
            if (event->modifiers() == Qt::NoModifier) {
                showPopup();
                return;
            }
            event->ignore();
            return;
        case Qt::Key_Space:
            QComboBox::keyPressEvent(event);
            return;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Enter:
        case Qt::Key_Return:
        case Qt::Key_Escape:
            event->ignore();
            return;
        default:
            // A letter is taken and dropped; other keys (function keys,
            // shortcuts) go on as they would from any closed drop-down.
            if (event->text().isEmpty() || !event->text().at(0).isPrint())
                event->ignore();
            return;
        }
    }

    void inputMethodEvent(QInputMethodEvent *event) override { event->ignore(); }

#if QT_CONFIG(wheelevent)
    void wheelEvent(QWheelEvent *event) override { event->ignore(); }
#endif
};

} // namespace

// Creates the in-place editors and paints the cells in the grid's colours:
//
// - value text is black, silver for a read-only row that is not a pick list;
// - value cells are never drawn selected, the current one included: window
//   background and the text colour above;
// - the name of the current row is blue while the grid has the focus, and on
//   the window background with black text otherwise;
// - every other name cell has the button-face look.
class ValueListDelegate final : public QStyledItemDelegate
{
public:
    explicit ValueListDelegate(ValueListGrid *grid)
        : QStyledItemDelegate(grid)
        , m_grid(grid)
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        if (index.column() != ParameterGrid::ValueColumn)
            return nullptr;
        QWidget *editor = nullptr;
        if (index.data(ParameterGrid::IsPickListRole).toBool()) {
            auto *combo = new PickListBox(parent);
            combo->setEditable(false);
            combo->setFrame(false);
            // Each choice is shown in the user's language and kept as stored.
            for (const QString &choice : index.data(ParameterGrid::PickListRole).toStringList())
                combo->addItem(ShownParameterValue(choice), choice);
            // A picked choice goes into the model at once, as the value of a
            // drop-down row changes with the pick, not when the cell is left.
            // Only a pick from the opened list activates the box (see
            // PickListBox).
            auto *self = const_cast<ValueListDelegate *>(this);
            QObject::connect(combo, &QComboBox::activated, self, [self, combo] {
                combo->setProperty(EditedProperty, true);
                emit self->commitData(combo);
            });
            editor = combo;
        } else if (!index.data(ParameterGrid::ReadOnlyRole).toBool()) {
            auto *line = new QLineEdit(parent);
            line->setFrame(false);
            editor = line;
        }
        m_editor = editor;
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        const QString value = index.data(Qt::EditRole).toString();
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            const int choice = combo->findData(value, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
            combo->setCurrentIndex(choice);
            // A value outside the choices is shown, but not offered.
            combo->setPlaceholderText(choice < 0 ? ShownParameterValue(value) : QString());
        } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            if (line->text() != value)
                line->setText(value);
        }
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            if (!combo->property(EditedProperty).toBool() || combo->currentIndex() < 0)
                return;
            model->setData(index, combo->currentData().toString());
        } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            if (!line->isModified())
                return;
            model->setData(index, line->text());
        } else {
            return;
        }
        m_grid->noteEdited(index.row());
    }

    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        if (m_editor == editor)
            m_editor = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    QWidget *editor() const { return m_editor; }

    // A name cut short by its column shows whole as the cell's tool tip.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() == QEvent::ToolTip && index.column() == ParameterGrid::NameColumn) {
            const QString name = ShownParameterName(index.data().toString());
            const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
            if (option.fontMetrics.horizontalAdvance(name) + margins > option.rect.width()) {
                QToolTip::showText(event->globalPos(), name, view, option.rect);
                return true;
            }
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver);
        if (index.column() == ParameterGrid::NameColumn)
            option->text = ShownParameterName(option->text);
        else
            option->text = ShownParameterValue(option->text);

        const bool silver = index.column() == ParameterGrid::ValueColumn
                            && index.data(ParameterGrid::ReadOnlyRole).toBool()
                            && !index.data(ParameterGrid::IsPickListRole).toBool();
        const QColor valueText = silver ? ReadOnlyText : QColor(Qt::black);
        const QModelIndex current = m_grid->currentIndex();
        const bool currentRow = current.isValid() && current.row() == index.row();
        const QPalette &palette = m_grid->palette();

        QColor background;
        QColor text;
        if (index.column() == ParameterGrid::ValueColumn) {
            background = palette.color(QPalette::Base);
            text = valueText;
        } else if (currentRow && m_grid->hasGridFocus()) {
            background = FocusedKeyBackground;
            text = palette.color(QPalette::ButtonText);
        } else if (currentRow) {
            background = palette.color(QPalette::Base);
            text = Qt::black;
        } else {
            background = palette.color(QPalette::Button);
            text = palette.color(QPalette::ButtonText);
        }
        option->backgroundBrush = background;
        option->palette.setColor(QPalette::Text, text);
    }

private:
    ValueListGrid *m_grid;
    mutable QPointer<QWidget> m_editor;
};

ValueListGrid::ValueListGrid(QWidget *parent)
    : QTableView(parent)
    , m_delegate(new ValueListDelegate(this))
{
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::AnyKeyPressed
                    | QAbstractItemView::EditKeyPressed);
    // Tab leaves the grid, as in any form, instead of walking its cells.
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);

    horizontalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(MinimumColumnWidth);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(m_rowHeight);

    // The names never scroll out of sight: the grid has no horizontal scrolling.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int offset) {
        if (offset != 0)
            horizontalScrollBar()->setValue(0);
    });

    viewport()->setMouseTracking(true);
    connect(qApp, &QApplication::focusChanged, this, &ValueListGrid::focusMoved);
}

ValueListGrid::~ValueListGrid()
{
    // Tearing down the view moves the focus and ends an open editor; by then
    // this part of the object is gone, so nothing may call back into it.
    disconnect(qApp, nullptr, this, nullptr);
    if (m_grid)
        disconnect(m_grid, nullptr, this, nullptr);
    if (QAbstractItemDelegate *delegate = itemDelegate())
        delegate->disconnect(this);
}

void ValueListGrid::setGrid(ParameterGrid *grid)
{
    if (m_grid == grid)
        return;
    if (m_grid)
        disconnect(m_grid, nullptr, this, nullptr);
    forgetEdit();
    m_grid = grid;

    QItemSelectionModel *oldSelection = selectionModel();
    setModel(grid);
    if (oldSelection && oldSelection->parent() == this && oldSelection != selectionModel())
        delete oldSelection;
    if (!grid)
        return;

    connect(grid, &QAbstractItemModel::dataChanged, this, &ValueListGrid::valuesChanged);
    connect(grid, &QAbstractItemModel::rowsInserted, this, &ValueListGrid::valuesChanged);
    connect(grid, &QAbstractItemModel::rowsRemoved, this, &ValueListGrid::valuesChanged);
    connect(grid, &QAbstractItemModel::modelReset, this, &ValueListGrid::valuesChanged);
    connect(grid, &QAbstractItemModel::layoutChanged, this, &ValueListGrid::valuesChanged);
    // Row numbers of an edit do not survive the rows changing under it.
    connect(grid, &QAbstractItemModel::modelAboutToBeReset, this, &ValueListGrid::forgetEdit);
    connect(grid, &QAbstractItemModel::rowsAboutToBeRemoved, this, &ValueListGrid::forgetEdit);
}

ParameterGrid *ValueListGrid::grid() const
{
    return m_grid;
}

void ValueListGrid::setColumnWidths(int key, int value)
{
    m_valueWidth = value;
    setColumnWidth(ParameterGrid::NameColumn, key);
    setColumnWidth(ParameterGrid::ValueColumn, value);
    updateGeometry();
}

void ValueListGrid::setRowHeight(int pixels)
{
    m_rowHeight = pixels;
    verticalHeader()->setDefaultSectionSize(pixels);
    updateGeometry();
}

int ValueListGrid::heightForRows(int rows) const
{
    return rows * m_rowHeight + rows + 1;
}

QString ValueListGrid::value(const QString &key) const
{
    return m_grid ? m_grid->value(key) : QString();
}

void ValueListGrid::setGridValue(const QString &key, const QString &value)
{
    if (!m_grid)
        return;
    const int row = m_grid->findRow(key);
    if (row >= 0)
        m_grid->setValueAt(row, value);
    else
        m_grid->appendRow(key, value);
}

void ValueListGrid::refuseEditOnThisPress()
{
    m_refuseEdit = true;
}

void ValueListGrid::refresh()
{
    viewport()->update();
    if (QWidget *editor = currentEditor())
        editor->update();
}

bool ValueListGrid::hasGridFocus() const
{
    return holds(QApplication::focusWidget());
}

QWidget *ValueListGrid::currentEditor() const
{
    return m_delegate->editor();
}

QSize ValueListGrid::sizeHint() const
{
    const int frame = 2 * frameWidth();
    const int rows = model() ? model()->rowCount() : 0;
    return {columnWidth(ParameterGrid::NameColumn) + m_valueWidth + frame, heightForRows(rows) + frame};
}

void ValueListGrid::mousePressEvent(QMouseEvent *event)
{
    // A double click on a cell that was not pressed first comes back here as
    // a press; it was announced already.
    if (!m_pressAnnounced) {
        m_refuseEdit = false;
        emit mousePressed();
    }
    const bool refused = m_refuseEdit;

    if (event->button() == Qt::LeftButton && onColumnBorder(event->position().toPoint().x())) {
        m_refuseEdit = false;
        m_resizingColumns = true;
        event->accept();
        return;
    }

    // A press on a name acts on the value of its row: the current cell never
    // lies in the name column.
    const QPoint pos = inValueColumn(event->position().toPoint());
    QMouseEvent moved = movedTo(*event, pos);
    QTableView::mousePressEvent(&moved);
    event->setAccepted(moved.isAccepted());

    // A click on the cell that is already current opens its editor too.
    const QModelIndex pressed = QTableView::indexAt(pos);
    if (!refused && event->button() == Qt::LeftButton && pressed.isValid() && pressed == currentIndex()
        && state() != QAbstractItemView::EditingState)
        edit(pressed, QAbstractItemView::AllEditTriggers, nullptr);
    m_refuseEdit = false;
}

void ValueListGrid::mouseMoveEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    if (m_resizingColumns) {
        setColumnWidth(ParameterGrid::NameColumn, clampedKeyWidth(x));
        event->accept();
        return;
    }
    if (event->buttons() == Qt::NoButton) {
        if (onColumnBorder(x))
            viewport()->setCursor(Qt::SplitHCursor);
        else
            viewport()->unsetCursor();
    }
    QTableView::mouseMoveEvent(event);
}

void ValueListGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_resizingColumns) {
        m_resizingColumns = false;
        event->accept();
        return;
    }
    const QPoint pos = inValueColumn(event->position().toPoint());
    QMouseEvent moved = movedTo(*event, pos);
    QTableView::mouseReleaseEvent(&moved);
    event->setAccepted(moved.isAccepted());
}

void ValueListGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click is a press as well.
    m_refuseEdit = false;
    emit mousePressed();
    if (!onColumnBorder(event->position().toPoint().x())) {
        const QPoint pos = inValueColumn(event->position().toPoint());
        QMouseEvent moved = movedTo(*event, pos);
        m_pressAnnounced = true;
        QTableView::mouseDoubleClickEvent(&moved);
        m_pressAnnounced = false;
    }
    m_refuseEdit = false;
    event->accept();
}

bool ValueListGrid::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Leave && !m_resizingColumns)
        viewport()->unsetCursor();
    return QTableView::viewportEvent(event);
}

bool ValueListGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (m_refuseEdit)
        return false;
    return QTableView::edit(index, trigger, event);
}

void ValueListGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    // The base class commits and closes the editor of the cell being left.
    QTableView::currentChanged(current, previous);
    viewport()->update();
    if (current != previous && m_editedRow >= 0)
        emitValidate();
}

void ValueListGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem) {
        // Tab and Backtab in an editor leave the grid like they do elsewhere.
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
        focusNextPrevChild(hint == QAbstractItemDelegate::EditNextItem);
        return;
    }
    QTableView::closeEditor(editor, hint);
}

QModelIndex ValueListGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    // The value column is the only one the cursor stands in, so Home and End
    // go to the first and the last row, as in a list.
    if ((cursorAction == MoveHome || cursorAction == MoveEnd) && model() && model()->rowCount() > 0) {
        const int row = cursorAction == MoveHome ? 0 : model()->rowCount() - 1;
        return model()->index(row, ParameterGrid::ValueColumn);
    }
    const QModelIndex next = QTableView::moveCursor(cursorAction, modifiers);
    if (next.isValid() && next.column() != ParameterGrid::ValueColumn)
        return next.siblingAtColumn(ParameterGrid::ValueColumn);
    return next;
}

void ValueListGrid::noteEdited(int row)
{
    m_editedRow = row;
}

void ValueListGrid::forgetEdit()
{
    m_editedRow = -1;
}

void ValueListGrid::emitValidate()
{
    emit validate(std::exchange(m_editedRow, -1));
}

void ValueListGrid::focusMoved(QWidget *old, QWidget *now)
{
    const bool wasInside = holds(old);
    const bool isInside = holds(now);
    if (wasInside == isInside)
        return;
    // Only the focused grid marks its current name: repaint on every change.
    viewport()->update();
    // Focus going nowhere (another program became active) is not leaving the
    // grid; the edit is validated when the user really leaves.
    if (wasInside && now && m_editedRow >= 0)
        emitValidate();
}

bool ValueListGrid::holds(const QWidget *widget) const
{
    // Walks across windows too, so that a drop-down's list counts as ours.
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (w == this)
            return true;
    }
    return false;
}

bool ValueListGrid::onColumnBorder(int x) const
{
    if (!model() || model()->columnCount() < 2)
        return false;
    const int border = columnViewportPosition(ParameterGrid::ValueColumn);
    return x >= border - 1 - BorderGrip && x <= border + BorderGrip;
}

int ValueListGrid::clampedKeyWidth(int width) const
{
    return qBound(MinimumColumnWidth, width, qMax(MinimumColumnWidth, viewport()->width() - MinimumColumnWidth));
}

QPoint ValueListGrid::inValueColumn(const QPoint &pos) const
{
    const QModelIndex index = QTableView::indexAt(pos);
    if (!index.isValid() || index.column() == ParameterGrid::ValueColumn)
        return pos;
    return {columnViewportPosition(ParameterGrid::ValueColumn) + 1, pos.y()};
}
