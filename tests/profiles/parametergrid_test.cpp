// The parameter grid model: what a grid widget may edit, and lookups by name.
#include "profiles/parametergrid.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(ParameterGrid, EditingFollowsTheRowKind)
{
    ParameterGrid grid;
    const int list = grid.appendRow(QStringLiteral("Video Size"));
    grid.setPickList(list, {QStringLiteral("Original Size"), QStringLiteral("Custom Size")});
    grid.setReadOnly(list, true);
    const int locked = grid.appendRow(QStringLiteral("Pixel Format"), QStringLiteral("yuv420p"), true);
    const int free = grid.appendRow(QStringLiteral("Title"), QStringLiteral("a"));

    for (int row : {list, locked, free})
        EXPECT_FALSE(grid.flags(grid.index(row, ParameterGrid::NameColumn)) & Qt::ItemIsEditable) << row;
    EXPECT_TRUE(grid.flags(grid.index(list, ParameterGrid::ValueColumn)) & Qt::ItemIsEditable);
    EXPECT_FALSE(grid.flags(grid.index(locked, ParameterGrid::ValueColumn)) & Qt::ItemIsEditable);
    EXPECT_TRUE(grid.flags(grid.index(free, ParameterGrid::ValueColumn)) & Qt::ItemIsEditable);

    EXPECT_TRUE(grid.setData(grid.index(list, 1), QStringLiteral("Custom Size")));
    EXPECT_FALSE(grid.setData(grid.index(locked, 1), QStringLiteral("rgb24")));
    EXPECT_FALSE(grid.setData(grid.index(free, 0), QStringLiteral("Renamed")));
    EXPECT_TRUE(grid.setData(grid.index(free, 1), QStringLiteral("b")));
    EXPECT_EQ(grid.valueAt(list), QStringLiteral("Custom Size"));
    EXPECT_EQ(grid.valueAt(locked), QStringLiteral("yuv420p"));
    EXPECT_EQ(grid.nameAt(free), QStringLiteral("Title"));
    EXPECT_EQ(grid.valueAt(free), QStringLiteral("b"));

    EXPECT_TRUE(grid.data(grid.index(list, 1), ParameterGrid::IsPickListRole).toBool());
    EXPECT_TRUE(grid.data(grid.index(locked, 1), ParameterGrid::ReadOnlyRole).toBool());
    EXPECT_EQ(grid.data(grid.index(list, 1), ParameterGrid::PickListRole).toStringList(),
              (QStringList{QStringLiteral("Original Size"), QStringLiteral("Custom Size")}));
}

TEST(ParameterGrid, LookupsIgnoreLetterCaseAndTakeTheFirstRow)
{
    ParameterGrid grid({QStringLiteral("Bit Rate"), QStringLiteral("BIT RATE"), QStringLiteral("Aspect")});
    EXPECT_EQ(grid.findRow(QStringLiteral("bit rate")), 0);
    EXPECT_EQ(grid.findRow(QStringLiteral("Rate")), -1); // whole names only
    EXPECT_TRUE(grid.setValue(QStringLiteral("aspect"), QStringLiteral("16:9")));
    EXPECT_TRUE(grid.setValue(QStringLiteral("BiT rAtE"), QStringLiteral("1000k")));
    EXPECT_EQ(grid.valueAt(0), QStringLiteral("1000k"));
    EXPECT_EQ(grid.valueAt(1), QString());
    EXPECT_EQ(grid.value(QStringLiteral("ASPECT")), QStringLiteral("16:9"));
    EXPECT_FALSE(grid.setValue(QStringLiteral("Missing"), QStringLiteral("x")));
    EXPECT_EQ(grid.value(QStringLiteral("Missing")), QString());
}

TEST(ParameterGrid, ValueChangesAreSignalledForTheView)
{
    ParameterGrid grid({QStringLiteral("Video Size")});
    QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
    grid.setValue(QStringLiteral("Video Size"), QStringLiteral("640x480"));
    grid.setValue(QStringLiteral("Video Size"), QStringLiteral("640x480")); // unchanged: no signal
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), grid.index(0, ParameterGrid::ValueColumn));

    QSignalSpy reset(&grid, &QAbstractItemModel::modelReset);
    grid.clear();
    EXPECT_EQ(reset.size(), 1);
    EXPECT_EQ(grid.rowCount(), 0);
}

TEST(ParameterGrids, StartWithTheLayoutRowsAndPickBySort)
{
    ParameterGrids grids;
    EXPECT_EQ(grids.video.names(), LayoutVideoRows());
    EXPECT_EQ(grids.audio.names(), LayoutAudioRows());
    EXPECT_EQ(grids.advanced.names(), LayoutAdvancedRows());
    EXPECT_EQ(grids.audio.nameAt(4), QStringLiteral("Volumn"));
    EXPECT_EQ(grids.bySort(1), &grids.video);
    EXPECT_EQ(grids.bySort(2), &grids.audio);
    EXPECT_EQ(grids.bySort(3), &grids.advanced);
    EXPECT_EQ(grids.bySort(0), nullptr);
    EXPECT_EQ(grids.bySort(-1), nullptr);
}

} // namespace
