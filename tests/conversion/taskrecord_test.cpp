#include "conversion/taskrecord.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

struct TimeCase
{
    const char *text;
    double seconds;
};

void PrintTo(const TimeCase &c, std::ostream *os)
{
    *os << '"' << c.text << '"';
}

class TimeTextToSecondsTest : public ::testing::TestWithParam<TimeCase>
{
};

TEST_P(TimeTextToSecondsTest, ReadsTheTextAsSeconds)
{
    EXPECT_DOUBLE_EQ(TimeTextToSeconds(QString::fromUtf8(GetParam().text)), GetParam().seconds)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    TimeTexts, TimeTextToSecondsTest,
    ::testing::Values(
        // Times, with no range check on the parts.
        TimeCase{"00:00:00.0", 0}, TimeCase{"00:01:23.45", 83.45}, TimeCase{"1:2:3", 3723},
        TimeCase{"00:90:00", 5400}, TimeCase{"-1:00:00", -3600}, TimeCase{"00: 01:02", 62},
        TimeCase{"+1:00:00", 3600}, TimeCase{"0:0:1e1", 10}, TimeCase{"0:0: 5 ", 5},
        TimeCase{"0:0:5.", 5}, TimeCase{"100:00:00", 360000},
        // Not times.
        TimeCase{"N/A", -1}, TimeCase{"00:00", -1}, TimeCase{"", -1}, TimeCase{"00:00:05:00", -1},
        TimeCase{"00:00:.5", -1}, TimeCase{"00 :00:05", -1}, TimeCase{"0x1:00:00", -1},
        TimeCase{"1.5:00:00", -1}, TimeCase{"00:00:5,5", -1}, TimeCase{"00:00:", -1},
        TimeCase{"00:00:e5", -1}, TimeCase{"00:00:5e", -1}, TimeCase{"99999999999:00:00", -1},
        TimeCase{"00:00:1e999", -1}, TimeCase{"::", -1}, TimeCase{"+-1:00:00", -1},
        TimeCase{"-+1:00:00", -1}, TimeCase{"0:--1:00", -1}, TimeCase{"0:0:+-5", -1}));

TEST(SecondsToTimeText, FormatsWithTenthsOnlyWhenNeeded)
{
    EXPECT_EQ(SecondsToTimeText(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(SecondsToTimeText(3723), QStringLiteral("01:02:03"));
    EXPECT_EQ(SecondsToTimeText(3723.5), QStringLiteral("01:02:03.5"));
    EXPECT_EQ(SecondsToTimeText(0.04), QStringLiteral("00:00:00"));
    EXPECT_EQ(SecondsToTimeText(59.96), QStringLiteral("00:01:00"));
    EXPECT_EQ(SecondsToTimeText(360000), QStringLiteral("100:00:00"));
    // Halves go to the even tenth.
    EXPECT_EQ(SecondsToTimeText(0.25), QStringLiteral("00:00:00.2"));
    EXPECT_EQ(SecondsToTimeText(0.75), QStringLiteral("00:00:00.8"));
}

TEST(SecondsToTimeText, ReadsBackToTheRoundedValue)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> seconds(0, 400000);
    for (int i = 0; i < 2000; ++i) {
        const double x = seconds(random);
        const QString text = SecondsToTimeText(x);
        EXPECT_NEAR(TimeTextToSeconds(text), static_cast<double>(RoundHalfEven(x * 10)) / 10, 1e-6)
            << x << " " << text.toStdString();
    }
}

TEST(RoundHalfEven, RoundsHalvesToEven)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.51), 3);
}

ltvItemData sampleTask()
{
    ltvItemData task;
    task.InputFile = QStringLiteral("/videos/clip.avi");
    task.LengthText = QStringLiteral("00:01:23.45");
    task.SizeText = QStringLiteral(" 320x240");
    task.StatusText = QStringLiteral("OK");
    task.NewName = QStringLiteral("clip");
    task.NewExt = QStringLiteral(".mp4");
    task.OrigStartText = QStringLiteral("00:00:00.0");
    task.OrigEndText = QStringLiteral("00:01:23.45");
    task.ClipLengthText = QStringLiteral("00:01:23.45");
    task.StartText = QStringLiteral("00:00:00.0");
    task.EndText = QStringLiteral("00:01:23.45");
    return task;
}

TEST(TaskRecord, WholeRowRoundTripDerivesTheSeconds)
{
    TaskListModel model;
    const int row = model.appendTask(sampleTask());
    ASSERT_EQ(model.columnCount(), 11);

    ltvItemData read;
    ReadItemData(model, row, WholeRowField, read);
    EXPECT_EQ(read.InputFile, QStringLiteral("/videos/clip.avi"));
    EXPECT_EQ(read.SizeText, QStringLiteral(" 320x240"));
    EXPECT_EQ(read.EndText, QStringLiteral("00:01:23.45"));
    EXPECT_DOUBLE_EQ(read.LengthSecs, 83.45);
    EXPECT_DOUBLE_EQ(read.OrigStartSecs, 0);
    EXPECT_DOUBLE_EQ(read.ClipLengthSecs, 83.45);
    EXPECT_DOUBLE_EQ(read.EndSecs, 83.45);
    // The visible columns: caption, length, size, status.
    EXPECT_EQ(model.index(row, 3).data().toString(), QStringLiteral("OK"));
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Status"));
}

TEST(TaskRecord, SingleFieldsTouchOnlyTheirOwnText)
{
    TaskListModel model;
    model.appendTask(sampleTask());

    ltvItemData record;
    record.SizeText = QStringLiteral("keep");
    record.LengthSecs = 42;
    ReadItemData(model, 0, CaptionField, record);
    EXPECT_EQ(record.InputFile, QStringLiteral("/videos/clip.avi"));
    EXPECT_EQ(record.SizeText, QStringLiteral("keep"));

    record.InputFile = QStringLiteral("keep");
    ReadItemData(model, 0, 1, record); // the size has no seconds value
    EXPECT_EQ(record.SizeText, QStringLiteral(" 320x240"));
    EXPECT_EQ(record.InputFile, QStringLiteral("keep"));
    EXPECT_DOUBLE_EQ(record.LengthSecs, 42);

    ReadItemData(model, 0, 9, record);
    EXPECT_DOUBLE_EQ(record.EndSecs, 83.45);
    ReadItemData(model, 0, 10, record); // no such field: nothing
    ReadItemData(model, 0, -3, record);
    EXPECT_EQ(record.InputFile, QStringLiteral("keep"));

    // Writing one field leaves every other cell alone.
    ltvItemData change = sampleTask();
    change.StartText = QStringLiteral("00:00:10");
    change.NewName = QStringLiteral("changed");
    WriteItemData(model, 0, 8, change);
    ltvItemData after;
    ReadItemData(model, 0, WholeRowField, after);
    EXPECT_DOUBLE_EQ(after.StartSecs, 10);
    EXPECT_EQ(after.NewName, QStringLiteral("clip"));

    change.InputFile = QStringLiteral("/other.avi");
    WriteItemData(model, 0, 11, change);
    WriteItemData(model, 0, CaptionField, change);
    ReadItemData(model, 0, WholeRowField, after);
    EXPECT_EQ(after.InputFile, QStringLiteral("/other.avi"));
    EXPECT_EQ(after.NewName, QStringLiteral("clip"));
}

TEST(TaskRecord, TextsThatAreNotTimesGiveMinusOne)
{
    TaskListModel model;
    ltvItemData task = sampleTask();
    task.LengthText = QStringLiteral("N/A");
    model.appendTask(task);
    ltvItemData read;
    ReadItemData(model, 0, WholeRowField, read);
    EXPECT_DOUBLE_EQ(read.LengthSecs, -1);
}

TEST(TaskRecord, AFailedTaskTellsWhyInItsStatusTip)
{
    TaskListModel model;
    ltvItemData task = sampleTask();
    task.StatusText = QStringLiteral("Failed");
    model.appendTask(task);
    const QModelIndex statusCell = model.index(0, 3);
    // No output kept: no tip.
    EXPECT_FALSE(statusCell.data(Qt::ToolTipRole).isValid());

    // Progress lines end with a carriage return; empty lines do not count.
    QString output;
    for (int i = 1; i <= 12; ++i)
        output += QStringLiteral("line %1\n").arg(i);
    output += QStringLiteral("frame=1 time=00:00:01.00 \rframe=2 time=00:00:02.00 \r\n  \n\r\n"
                             "Conversion failed!\n\n");
    model.item(0, 0)->setData(output, TaskListModel::EngineOutputRole);
    EXPECT_EQ(statusCell.data(Qt::ToolTipRole).toString(),
              QStringLiteral("The engine ended with an error without saying why.\n"
                             "line 6\nline 7\nline 8\nline 9\nline 10\nline 11\nline 12\n"
                             "frame=1 time=00:00:01.00 \nframe=2 time=00:00:02.00 \nConversion failed!"));
    // Only the Status cell, and only of a failed task.
    EXPECT_FALSE(model.index(0, 2).data(Qt::ToolTipRole).isValid());
    EXPECT_FALSE(model.index(0, 0).data(Qt::ToolTipRole).isValid());
    task.StatusText = QStringLiteral("Complete");
    WriteItemData(model, 0, 2, task);
    EXPECT_FALSE(statusCell.data(Qt::ToolTipRole).isValid());

    EXPECT_EQ(TaskListModel::LastLines(QStringLiteral("a\r\nb"), 10), QStringLiteral("a\nb"));
    EXPECT_EQ(TaskListModel::LastLines(QStringLiteral("a\nb\nc"), 2), QStringLiteral("b\nc"));
    EXPECT_EQ(TaskListModel::LastLines(QStringLiteral("\n\r\n"), 10), QString());
}

TEST(TaskRecord, TheResultNotesComeFirstInTheStatusTip)
{
    TaskListModel model;
    ltvItemData task = sampleTask();
    task.StatusText = QStringLiteral("Failed");
    model.appendTask(task);
    model.item(0, 0)->setData(QStringLiteral("one\ntwo\n"), TaskListModel::EngineOutputRole);
    model.item(0, 0)->setData(QStringLiteral("The output file is missing or empty.\nRenamed to a_2.mp4: why"),
                              TaskListModel::ResultNotesRole);
    EXPECT_EQ(model.index(0, 3).data(Qt::ToolTipRole).toString(),
              QStringLiteral("The output file is missing or empty.\nRenamed to a_2.mp4: why\none\ntwo"));
    // A completed task tells its notes, never the engine's words.
    task.StatusText = QStringLiteral("Complete");
    WriteItemData(model, 0, 2, task);
    model.item(0, 0)->setData(QStringLiteral("Renamed to a_2.mp4: why"), TaskListModel::ResultNotesRole);
    EXPECT_EQ(model.statusTip(0), QStringLiteral("Renamed to a_2.mp4: why"));
}

} // namespace

// hasInput() answers from an index of the captions: it follows rows added,
// removed, moved and sorted, captions written in place and a clear.
TEST(TaskRecord, HasInputFollowsEveryChangeOfTheCaptions)
{
    TaskListModel model;
    const auto add = [&](const char *path) {
        ltvItemData record;
        record.InputFile = QString::fromLatin1(path);
        model.appendTask(record);
    };
    const struct
    {
        const char *what;
        std::function<void()> change;
        QStringList listed;
        QStringList notListed;
    } steps[] = {
        {"rows added", [&] { add("/v/a.avi"); add("/v/b.avi"); add("/v/A.avi"); }, {"/v/a.avi", "/v/b.avi", "/v/A.avi"}, {"/v/c.avi", ""}},
        {"a row removed", [&] { model.removeRow(0); }, {"/v/b.avi", "/v/A.avi"}, {"/v/a.avi"}},
        {"a caption written", [&] {
             ltvItemData record;
             record.InputFile = QStringLiteral("/v/c.avi");
             WriteItemData(model, 0, CaptionField, record);
         }, {"/v/c.avi", "/v/A.avi"}, {"/v/b.avi"}},
        {"a second row of one path, then one of them removed", [&] { add("/v/c.avi"); model.removeRow(0); }, {"/v/c.avi"}, {"/v/b.avi"}},
        {"sorted and moved", [&] {
             add("/v/0.avi");
             model.sort(0);
             model.moveRow({}, 0, {}, model.rowCount());
         }, {"/v/0.avi", "/v/c.avi", "/v/A.avi"}, {}},
        {"cleared", [&] { model.removeRows(0, model.rowCount()); }, {}, {"/v/0.avi", "/v/c.avi"}},
        {"added after a reset", [&] { model.clear(); add("/v/d.avi"); }, {"/v/d.avi"}, {"/v/A.avi"}},
    };
    for (const auto &step : steps) {
        step.change();
        for (const QString &path : step.listed)
            EXPECT_TRUE(model.hasInput(path)) << step.what << ": " << qPrintable(path);
        for (const QString &path : step.notListed)
            EXPECT_FALSE(model.hasInput(path)) << step.what << ": " << qPrintable(path);
    }
}
