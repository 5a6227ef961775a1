// The name/value grid widget: when it validates, what it lets the user edit,
// how a press can be refused, and the colours it paints.
#include "profiles/parametergrid.h"
#include "ui/picklisttesthelpers.h"
#include "ui/valuelistgrid.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace {

class ValueListGridTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(m_window.get());
        grid = new ValueListGrid(m_window.get());
        grid->setGrid(&model);
        grid->setColumnWidths(95, 68);
        other = new QLineEdit(m_window.get());
        layout->addWidget(grid);
        layout->addWidget(other);
        m_window->resize(240, 200);
        m_window->show();
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }

    void TearDown() override { m_window.reset(); }

    QPoint cellCenter(int row, int column) const
    {
        return grid->visualRect(model.index(row, column)).center();
    }

    void press(int row, int column, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(grid->viewport(), button, Qt::NoModifier, cellCenter(row, column));
    }

    QLineEdit *lineEditor() const { return qobject_cast<QLineEdit *>(grid->currentEditor()); }
    QComboBox *comboEditor() const { return qobject_cast<QComboBox *>(grid->currentEditor()); }

    ParameterGrid model{{QStringLiteral("New Filename"), QStringLiteral("Start Time"), QStringLiteral("End Time")}};
    ValueListGrid *grid = nullptr;
    QLineEdit *other = nullptr;

private:
    std::unique_ptr<QWidget> m_window;
};

TEST_F(ValueListGridTest, ValidatesOnceWhenAnEditedCellIsLeftByKeysOrMouse)
{
    QSignalSpy validate(grid, &ValueListGrid::validate);
    QStringList seenInModel;
    QObject::connect(grid, &ValueListGrid::validate, grid,
                     [&](int row) { seenInModel << model.valueAt(row); });

    press(0, 1);
    ASSERT_NE(lineEditor(), nullptr);
    QTest::keyClicks(lineEditor(), QStringLiteral("holiday.wmv"));
    QTest::keyClick(lineEditor(), Qt::Key_Down);
    ASSERT_EQ(validate.size(), 1);
    EXPECT_EQ(validate[0][0].toInt(), 0);
    EXPECT_EQ(grid->currentIndex(), model.index(1, 1));

    // Moving on without typing validates nothing.
    QTest::keyClick(grid->currentEditor() ? grid->currentEditor() : grid, Qt::Key_Down);
    EXPECT_EQ(validate.size(), 1);

    // Edited, then left with the mouse.
    ASSERT_NE(lineEditor(), nullptr);
    QTest::keyClicks(lineEditor(), QStringLiteral("00:01:00"));
    press(0, 1);
    ASSERT_EQ(validate.size(), 2);
    EXPECT_EQ(validate[1][0].toInt(), 2);

    // The handler already sees the typed text in the model.
    EXPECT_EQ(seenInModel, (QStringList{QStringLiteral("holiday.wmv"), QStringLiteral("00:01:00")}));
    EXPECT_EQ(model.valueAt(1), QString());
}

TEST_F(ValueListGridTest, ValidatesWhenTheFocusLeavesTheGridWithTheEditorOpen)
{
    QSignalSpy validate(grid, &ValueListGrid::validate);
    press(1, 1);
    ASSERT_NE(lineEditor(), nullptr);
    QTest::keyClicks(lineEditor(), QStringLiteral("00:00:10"));

    QTest::mouseClick(other, Qt::LeftButton);
    ASSERT_TRUE(other->hasFocus());
    ASSERT_EQ(validate.size(), 1);
    EXPECT_EQ(validate[0][0].toInt(), 1);
    EXPECT_EQ(model.valueAt(1), QStringLiteral("00:00:10"));
    EXPECT_EQ(grid->currentEditor(), nullptr);

    // Back into the grid and out again without typing: nothing more.
    press(1, 1);
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_EQ(validate.size(), 1);
}

TEST_F(ValueListGridTest, EnterStoresTheTextAndTheLaterLeaveValidatesIt)
{
    QSignalSpy validate(grid, &ValueListGrid::validate);
    press(2, 1);
    ASSERT_NE(lineEditor(), nullptr);
    QTest::keyClicks(lineEditor(), QStringLiteral("abc"));
    QTest::keyClick(lineEditor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.valueAt(2), QStringLiteral("abc"));
    EXPECT_EQ(validate.size(), 0);

    other->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(validate.size(), 1);
    EXPECT_EQ(validate[0][0].toInt(), 2);
}

TEST_F(ValueListGridTest, TypingOnACellEditsItAndTabLeavesTheGrid)
{
    QSignalSpy validate(grid, &ValueListGrid::validate);
    model.setValueAt(1, QStringLiteral("00:00:05"));
    press(1, 1);
    QTest::keyClick(lineEditor(), Qt::Key_Escape);
    ASSERT_EQ(grid->currentEditor(), nullptr);
    ASSERT_TRUE(grid->hasFocus());

    // The first key opens the editor and replaces the shown value.
    QTest::keyClick(grid, Qt::Key_0);
    ASSERT_NE(lineEditor(), nullptr);
    ASSERT_TRUE(lineEditor()->hasFocus());
    QTest::keyClicks(lineEditor(), QStringLiteral("0:00:30"));
    QTest::keyClick(lineEditor(), Qt::Key_Tab);
    EXPECT_TRUE(other->hasFocus());
    ASSERT_EQ(validate.size(), 1);
    EXPECT_EQ(validate[0][0].toInt(), 1);
    EXPECT_EQ(model.valueAt(1), QStringLiteral("00:00:30"));
}

TEST_F(ValueListGridTest, EscapeAndProgrammaticValuesAreNoEdits)
{
    QSignalSpy validate(grid, &ValueListGrid::validate);
    QSignalSpy changed(grid, &ValueListGrid::valuesChanged);
    press(0, 1);
    ASSERT_NE(lineEditor(), nullptr);
    QTest::keyClicks(lineEditor(), QStringLiteral("typed"));
    QTest::keyClick(lineEditor(), Qt::Key_Escape);
    EXPECT_EQ(model.valueAt(0), QString());

    model.setValue(QStringLiteral("Start Time"), QStringLiteral("00:00:05"));
    grid->setGridValue(QStringLiteral("end time"), QStringLiteral("00:00:09"));
    press(2, 1);
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_EQ(validate.size(), 0);
    EXPECT_EQ(changed.size(), 2);
}

TEST_F(ValueListGridTest, PickListRowsOfferOnlyTheirChoices)
{
    const QStringList choices{QStringLiteral("Original Size"), QStringLiteral("Custom Size"),
                              QStringLiteral("640x480")};
    const int row = model.appendRow(QStringLiteral("Video Size"), QStringLiteral("Original Size"));
    model.setPickList(row, choices);
    model.setReadOnly(row, true);
    QSignalSpy validate(grid, &ValueListGrid::validate);
    QSignalSpy changed(grid, &ValueListGrid::valuesChanged);

    press(row, 1);
    QComboBox *combo = comboEditor();
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->isEditable());
    QStringList offered;
    for (int i = 0; i < combo->count(); ++i)
        offered << combo->itemText(i);
    EXPECT_EQ(offered, choices);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Original Size"));

    // Letters change nothing; a pick from the list reaches the model at once.
    QTest::keyClicks(combo, QStringLiteral("czq"));
    EXPECT_EQ(model.valueAt(row), QStringLiteral("Original Size"));
    EXPECT_TRUE(PickFromDropDown(combo, QStringLiteral("Custom Size")));
    EXPECT_EQ(model.valueAt(row), QStringLiteral("Custom Size"));
    EXPECT_GE(changed.size(), 1);
    EXPECT_EQ(validate.size(), 0);

    press(0, 1);
    ASSERT_EQ(validate.size(), 1);
    EXPECT_EQ(validate[0][0].toInt(), row);
}

TEST_F(ValueListGridTest, ReadOnlyFreeTextRowsAndNamesNeverEdit)
{
    const int row = model.appendRow(QStringLiteral("Pixel Format"), QStringLiteral("yuv420p"), true);
    press(row, 1);
    EXPECT_EQ(grid->currentEditor(), nullptr);
    QTest::keyClicks(grid, QStringLiteral("rgb"));
    EXPECT_EQ(grid->currentEditor(), nullptr);
    EXPECT_EQ(model.valueAt(row), QStringLiteral("yuv420p"));

    // A press on a name makes its value current; the name stays as it is.
    press(1, 0);
    EXPECT_EQ(grid->currentIndex(), model.index(1, 1));
    ASSERT_NE(lineEditor(), nullptr);
    QTest::keyClicks(lineEditor(), QStringLiteral("x"));
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_EQ(model.nameAt(1), QStringLiteral("Start Time"));
    EXPECT_EQ(model.valueAt(1), QStringLiteral("x"));
}

TEST_F(ValueListGridTest, APressCanBeRefusedBeforeTheGridReacts)
{
    QModelIndex currentAtPress;
    bool refuse = true;
    QObject::connect(grid, &ValueListGrid::mousePressed, grid, [&] {
        currentAtPress = grid->currentIndex();
        if (refuse)
            grid->refuseEditOnThisPress();
    });
    QSignalSpy pressed(grid, &ValueListGrid::mousePressed);
    const QModelIndex before = grid->currentIndex();
    ASSERT_NE(before, model.index(1, 1));

    press(1, 1);
    EXPECT_EQ(pressed.size(), 1);
    EXPECT_EQ(currentAtPress, before);
    EXPECT_EQ(grid->currentIndex(), model.index(1, 1));
    EXPECT_EQ(grid->currentEditor(), nullptr);

    press(2, 1, Qt::RightButton);
    EXPECT_EQ(pressed.size(), 2);
    EXPECT_EQ(currentAtPress, model.index(1, 1));
    EXPECT_EQ(grid->currentEditor(), nullptr);

    // Once the slot stops refusing, the next press edits again, also on the
    // cell that is current already.
    refuse = false;
    press(2, 1);
    EXPECT_EQ(pressed.size(), 3);
    EXPECT_NE(lineEditor(), nullptr);
}

TEST_F(ValueListGridTest, SetGridValueFindsKeysIgnoringCaseOrAppends)
{
    QSignalSpy changed(grid, &ValueListGrid::valuesChanged);
    grid->setGridValue(QStringLiteral("NEW FILENAME"), QStringLiteral("clip.avi"));
    grid->setGridValue(QStringLiteral("Volumn"), QStringLiteral("256"));
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.valueAt(0), QStringLiteral("clip.avi"));
    EXPECT_EQ(model.nameAt(3), QStringLiteral("Volumn"));
    EXPECT_FALSE(model.isReadOnly(3));
    EXPECT_FALSE(model.isPickList(3));
    EXPECT_EQ(grid->value(QStringLiteral("volumn")), QStringLiteral("256"));
    EXPECT_EQ(grid->value(QStringLiteral("Missing")), QString());
    EXPECT_EQ(changed.size(), 2);

    // A profile load empties the grid and fills it again: every step counts.
    changed.clear();
    model.clear();
    model.appendRow(QStringLiteral("Video Codec"), QStringLiteral("xvid"));
    EXPECT_EQ(changed.size(), 2);
}

TEST_F(ValueListGridTest, RowsAreTheSetHeightAndHeightForRowsCountsTheLines)
{
    EXPECT_EQ(grid->heightForRows(6), 109);
    EXPECT_EQ(grid->heightForRows(2), 37);
    for (int row = 0; row < model.rowCount(); ++row)
        EXPECT_EQ(grid->rowHeight(row), 17) << row;

    grid->setRowHeight(18);
    model.appendRow(QStringLiteral("Later"));
    for (int row = 0; row < model.rowCount(); ++row)
        EXPECT_EQ(grid->rowHeight(row), 18) << row;
    EXPECT_EQ(grid->heightForRows(6), 6 * 18 + 7);
}

TEST_F(ValueListGridTest, TheColumnBorderCanBeDragged)
{
    QSignalSpy pressed(grid, &ValueListGrid::mousePressed);
    ASSERT_EQ(grid->columnWidth(0), 95);
    const int y = cellCenter(1, 0).y();
    const int border = grid->columnViewportPosition(1);
    QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(border, y));
    QMouseEvent move(QEvent::MouseMove, QPointF(border + 20, y), grid->viewport()->mapToGlobal(QPointF(border + 20, y)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(border + 20, y));

    EXPECT_EQ(pressed.size(), 1);
    EXPECT_EQ(grid->columnWidth(0), border + 20);
    EXPECT_EQ(grid->currentEditor(), nullptr); // a drag edits nothing
}

// A grid of drop-down rows, as a profile fills the Video grid: their values
// change only by a pick from the opened list.
class ValueListGridPickLists : public ValueListGridTest
{
protected:
    void SetUp() override
    {
        ValueListGridTest::SetUp();
        model.clear();
        addList(QStringLiteral("Video Codec"), {QStringLiteral("XviD"), QStringLiteral("H.264"), QStringLiteral("MPEG-4")},
                QStringLiteral("H.264"));
        addList(QStringLiteral("Video Size"),
                {QStringLiteral("Original Size"), QStringLiteral("Custom Size"), QStringLiteral("640x480")},
                QStringLiteral("Original Size"));
        model.appendRow(QStringLiteral("Bit Rate"), QStringLiteral("800"));
        addList(QStringLiteral("Frame Rate"), {QStringLiteral("Original"), QStringLiteral("25"), QStringLiteral("30")},
                QStringLiteral("25"));
        addList(QStringLiteral("Aspect"), {QStringLiteral("Original"), QStringLiteral("4:3"), QStringLiteral("16:9")},
                QStringLiteral("Original"));
        before = values();
    }

    void addList(const QString &name, const QStringList &choices, const QString &value)
    {
        const int row = model.appendRow(name, value);
        model.setPickList(row, choices);
        model.setReadOnly(row, true);
    }

    QStringList values() const
    {
        QStringList result;
        for (int row = 0; row < model.rowCount(); ++row)
            result << model.valueAt(row);
        return result;
    }

    int currentRow() const { return grid->currentIndex().row(); }

    // The row's drop-down, opened with a click as a user opens it.
    QComboBox *openList(int row)
    {
        press(row, 1);
        QComboBox *combo = comboEditor();
        EXPECT_NE(combo, nullptr);
        EXPECT_TRUE(combo && combo->hasFocus());
        return combo;
    }

    QStringList before;
};

TEST_F(ValueListGridPickLists, NavigationKeysMoveBetweenRowsAndNeverChangeAValue)
{
    QSignalSpy changed(grid, &ValueListGrid::valuesChanged);
    QSignalSpy validate(grid, &ValueListGrid::validate);
    openList(0);

    // Down the whole grid and back, each list row's drop-down open in turn.
    for (int row = 1; row < model.rowCount(); ++row) {
        TypeKey(Qt::Key_Down);
        EXPECT_EQ(currentRow(), row);
    }
    for (int row = model.rowCount() - 2; row >= 0; --row) {
        TypeKey(Qt::Key_Up);
        EXPECT_EQ(currentRow(), row);
        EXPECT_NE(grid->currentEditor(), nullptr);
    }
    TypeKey(Qt::Key_End);
    EXPECT_EQ(currentRow(), 4);
    TypeKey(Qt::Key_Home);
    EXPECT_EQ(currentRow(), 0);
    TypeKey(Qt::Key_PageDown);
    EXPECT_GT(currentRow(), 0);
    TypeKey(Qt::Key_PageUp);
    EXPECT_EQ(currentRow(), 0);
    TypeKey(Qt::Key_Left);
    TypeKey(Qt::Key_Right);
    EXPECT_EQ(grid->currentIndex(), model.index(0, 1));

    // The wheel over an open drop-down turns no choice either.
    for (const int delta : {-120, -120, 120})
        TurnWheel(comboEditor(), delta);

    EXPECT_EQ(values(), before);
    EXPECT_EQ(changed.size(), 0);
    EXPECT_EQ(validate.size(), 0);
}

TEST_F(ValueListGridPickLists, TypedLettersChangeNothing)
{
    QSignalSpy changed(grid, &ValueListGrid::valuesChanged);
    QComboBox *combo = openList(0);
    ASSERT_NE(combo, nullptr);
    // "M" and "X" start other choices of this row, "B" another row's name.
    QTest::keyClicks(combo, QStringLiteral("mxb4"));
    EXPECT_EQ(combo->currentText(), QStringLiteral("H.264"));
    EXPECT_EQ(currentRow(), 0);
    EXPECT_FALSE(combo->view()->isVisible());

    // Nor with the grid itself focused and no editor open.
    QTest::keyClick(combo, Qt::Key_Escape);
    ASSERT_EQ(grid->currentEditor(), nullptr);
    QTest::keyClicks(grid, QStringLiteral("xm"));
    EXPECT_EQ(currentRow(), 0);

    EXPECT_EQ(values(), before);
    EXPECT_EQ(changed.size(), 0);
}

TEST_F(ValueListGridPickLists, APickFromTheOpenedListChangesTheValue)
{
    QSignalSpy changed(grid, &ValueListGrid::valuesChanged);
    QSignalSpy validate(grid, &ValueListGrid::validate);

    EXPECT_TRUE(PickFromDropDown(openList(1), QStringLiteral("Custom Size"))); // Alt+Down
    EXPECT_EQ(model.valueAt(1), QStringLiteral("Custom Size"));
    EXPECT_EQ(changed.size(), 1);

    EXPECT_TRUE(PickFromDropDown(comboEditor(), QStringLiteral("640x480"), QKeyCombination(Qt::Key_F4)));
    EXPECT_EQ(model.valueAt(1), QStringLiteral("640x480"));

    // Escape closes the list and keeps the value.
    QComboBox *combo = comboEditor();
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo, Qt::Key_F4);
    ASSERT_TRUE(combo->view()->isVisible());
    QTest::keyClick(combo->view(), Qt::Key_Up);
    QTest::keyClick(combo->view(), Qt::Key_Escape);
    EXPECT_FALSE(combo->view()->isVisible());
    EXPECT_EQ(model.valueAt(1), QStringLiteral("640x480"));

    // A click on a choice of the list picks it too.
    QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
    QAbstractItemView *list = combo->view();
    ASSERT_TRUE(list->isVisible());
    const QPoint first = list->visualRect(list->model()->index(0, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, first);
    EXPECT_EQ(model.valueAt(1), QStringLiteral("Original Size"));

    // Leaving the row validates the picked value once.
    EXPECT_EQ(validate.size(), 0);
    TypeKey(Qt::Key_Down);
    ASSERT_EQ(validate.size(), 1);
    EXPECT_EQ(validate[0][0].toInt(), 1);
    const QStringList others = values().mid(2);
    EXPECT_EQ(others, before.mid(2));
}

// Colours, read from the rendered grid.
class ValueListGridColours : public ValueListGridTest
{
protected:
    void SetUp() override
    {
        ValueListGridTest::SetUp();
        model.clear();
        model.appendRow(QStringLiteral("A"), QStringLiteral("HHH"));
        model.appendRow(QStringLiteral("B"), QStringLiteral("HHH"), true);
        const int list = model.appendRow(QStringLiteral("C"), QStringLiteral("HHH"));
        model.setPickList(list, {QStringLiteral("HHH")});
        model.setReadOnly(list, true);
        model.appendRow(QStringLiteral("D"), QStringLiteral("HHH"));
        // Whole pixels of the text colour, without blending.
        QFont font = grid->font();
        font.setStyleStrategy(QFont::NoAntialias);
        grid->setFont(font);
    }

    QImage render() const { return grid->viewport()->grab().toImage(); }

    // The cell's inside, without its grid lines.
    QRect inside(int row, int column) const
    {
        return grid->visualRect(model.index(row, column)).adjusted(1, 1, -2, -2);
    }

    // A point of plain background: the right end of the cell, past its text.
    QColor background(const QImage &image, int row, int column) const
    {
        const QRect cell = inside(row, column);
        return image.pixelColor(cell.right() - 1, cell.center().y());
    }

    // The darkest pixel of the cell: the full colour of its text.
    QColor darkest(const QImage &image, int row, int column) const
    {
        QColor result = Qt::white;
        const QRect cell = inside(row, column);
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (qGray(c.rgb()) < qGray(result.rgb()))
                    result = c;
            }
        }
        return result;
    }
};

TEST_F(ValueListGridColours, ReadOnlyFreeTextIsSilverAndEverythingElseBlack)
{
    const QImage image = render();
    EXPECT_EQ(darkest(image, 1, 1), QColor(192, 192, 192));
    EXPECT_EQ(darkest(image, 0, 1), QColor(Qt::black));
    EXPECT_EQ(darkest(image, 2, 1), QColor(Qt::black)); // read-only, but a pick list
}

TEST_F(ValueListGridColours, OnlyTheFocusedGridMarksItsCurrentNameInBlue)
{
    const QPalette palette = grid->palette();
    press(1, 1); // read-only row: no editor covers the current cell
    ASSERT_EQ(grid->currentEditor(), nullptr);
    ASSERT_TRUE(grid->hasFocus());

    QImage image = render();
    EXPECT_EQ(background(image, 1, 0), QColor(49, 106, 197));
    EXPECT_EQ(background(image, 1, 1), palette.color(QPalette::Base)); // current, not highlighted
    EXPECT_EQ(darkest(image, 1, 1), QColor(192, 192, 192));
    EXPECT_EQ(background(image, 0, 0), palette.color(QPalette::Button));
    EXPECT_EQ(background(image, 3, 0), palette.color(QPalette::Button));

    QTest::mouseClick(other, Qt::LeftButton);
    ASSERT_FALSE(grid->hasGridFocus());
    image = render();
    EXPECT_EQ(background(image, 1, 0), palette.color(QPalette::Base));
    EXPECT_EQ(darkest(image, 1, 0), QColor(Qt::black));
    EXPECT_EQ(background(image, 0, 0), palette.color(QPalette::Button));
}

TEST_F(ValueListGridColours, TheNameStaysBlueWhileItsEditorHasTheFocus)
{
    press(0, 1);
    ASSERT_NE(lineEditor(), nullptr);
    ASSERT_TRUE(lineEditor()->hasFocus());
    const QImage image = render();
    EXPECT_EQ(background(image, 0, 0), QColor(49, 106, 197));
    QTest::keyClick(lineEditor(), Qt::Key_Escape);
    EXPECT_EQ(background(render(), 0, 1), grid->palette().color(QPalette::Base));
}

} // namespace
