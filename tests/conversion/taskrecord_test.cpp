#include "conversion/taskrecord.h"
#include "conversion/taskorder.h"

#include <QItemSelectionModel>
#include <QMap>
#include <QPersistentModelIndex>

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
    model.setData(model.index(0, 0), output, TaskListModel::EngineOutputRole);
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
    model.setData(model.index(0, 0), QStringLiteral("one\ntwo\n"), TaskListModel::EngineOutputRole);
    model.setData(model.index(0, 0), QStringLiteral("The output file is missing or empty.\nRenamed to a_2.mp4: why"),
                              TaskListModel::ResultNotesRole);
    EXPECT_EQ(model.index(0, 3).data(Qt::ToolTipRole).toString(),
              QStringLiteral("The output file is missing or empty.\nRenamed to a_2.mp4: why\none\ntwo"));
    // A completed task tells its notes, never the engine's words.
    task.StatusText = QStringLiteral("Complete");
    WriteItemData(model, 0, 2, task);
    model.setData(model.index(0, 0), QStringLiteral("Renamed to a_2.mp4: why"), TaskListModel::ResultNotesRole);
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

namespace {

// Everything a row holds, as one text: its cells, the seconds read from them
// and the roles of its caption.
QString rowPrint(const TaskListModel &model, int row)
{
    ltvItemData read;
    ReadItemData(model, row, WholeRowField, read);
    QStringList parts;
    for (int column = 0; column < TaskListModel::ColumnCount; ++column)
        parts << model.index(row, column).data().toString();
    for (double seconds : {read.LengthSecs, read.OrigStartSecs, read.OrigEndSecs, read.ClipLengthSecs,
                           read.StartSecs, read.EndSecs})
        parts << QString::number(seconds);
    const QModelIndex caption = model.index(row, 0);
    for (int role : {TaskListModel::EngineOutputRole, TaskListModel::ResultNotesRole,
                     TaskListModel::TemporaryOutputRole, TaskListModel::FoundUnderRole, TaskListModel::QueuedRole})
        parts << (caption.data(role).isValid() ? caption.data(role).toString() : QStringLiteral("<none>"));
    parts << read.FoundUnder << model.index(row, 3).data(Qt::ToolTipRole).toString();
    return parts.join(QLatin1Char('|'));
}

QStringList captions(const TaskListModel &model)
{
    QStringList list;
    for (int row = 0; row < model.rowCount(); ++row)
        list << model.text(row, 0);
    return list;
}

} // namespace

// Rows arrive as one block and are sorted, moved and removed: every row keeps
// each of its texts and roles, and a persistent index and the selection stay
// with the row they were on.
TEST(TaskRecord, RowsKeepEverythingThroughBlockAppendSortMoveAndRemove)
{
    TaskListModel model;
    QList<ltvItemData> records;
    const char *const names[] = {"/v/b.avi", "/v/d.mkv", "/v/a.avi", "/v/e.avi", "/v/c"};
    const char *const lengths[] = {"00:00:05.00", "0:1:2.50", "", "00:00:05.00", "N/A"};
    const char *const statuses[] = {"OK", "", "Failed", "Complete", "45%"};
    for (int i = 0; i < 5; ++i) {
        ltvItemData record = sampleTask();
        record.InputFile = QString::fromLatin1(names[i]);
        record.LengthText = record.EndText = QString::fromLatin1(lengths[i]);
        record.StatusText = QString::fromLatin1(statuses[i]);
        // The stem, a name of its own, the file name, none.
        record.NewName = QStringList{QStringLiteral("b"), QStringLiteral("own"), QStringLiteral("a.avi"),
                                     QStringLiteral("e"), QString()}[i];
        record.SizeText = i % 2 ? QStringLiteral(" 640x360") : QString();
        record.FoundUnder = i < 2 ? QStringLiteral("/v") : QString();
        records << record;
    }
    int insertions = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex &, int first, int last) {
        ++insertions;
        EXPECT_EQ(first, 0);
        EXPECT_EQ(last, 4);
    });
    EXPECT_EQ(model.appendTasks(records), 0);
    EXPECT_EQ(insertions, 1);
    model.setData(model.index(2, 0), QStringLiteral("frame=1\nConversion failed!\n"), TaskListModel::EngineOutputRole);
    model.setData(model.index(2, 0), QStringLiteral("The disk is full."), TaskListModel::ResultNotesRole);
    model.setData(model.index(3, 0), QStringLiteral("/out/.work/e.mp4"), TaskListModel::TemporaryOutputRole);
    model.setData(model.index(4, 0), true, TaskListModel::QueuedRole);

    QMap<QString, QString> prints;
    for (int row = 0; row < model.rowCount(); ++row) {
        prints.insert(model.text(row, 0), rowPrint(model, row));
        ltvItemData read;
        ReadItemData(model, row, WholeRowField, read);
        EXPECT_EQ(read.NewName, records[row].NewName) << row;
        EXPECT_EQ(read.LengthText, records[row].LengthText) << row;
    }
    EXPECT_TRUE(prints.value(QStringLiteral("/v/a.avi")).contains(QStringLiteral("Conversion failed!")));
    const QPersistentModelIndex followed(model.index(1, 2)); // d.mkv
    QItemSelectionModel selection(&model);
    selection.select(model.index(3, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows); // e.avi

    const struct
    {
        const char *what;
        std::function<void()> change;
        QStringList order;
    } steps[] = {
        {"sorted by name", [&] { model.sort(0); }, {"/v/a.avi", "/v/b.avi", "/v/c", "/v/d.mkv", "/v/e.avi"}},
        {"sorted by length, longest first", [&] { SortTasks(model, 1, Qt::DescendingOrder); },
         {"/v/d.mkv", "/v/b.avi", "/v/e.avi", "/v/a.avi", "/v/c"}},
        {"sorted by status", [&] { SortTasks(model, 3, Qt::AscendingOrder); },
         {"/v/d.mkv", "/v/c", "/v/e.avi", "/v/a.avi", "/v/b.avi"}},
        {"two rows up", [&] { EXPECT_EQ(MoveTasks(model, {4, 2}, -1), (QList<int>{1, 3})); },
         {"/v/d.mkv", "/v/e.avi", "/v/c", "/v/b.avi", "/v/a.avi"}},
        {"a row down", [&] { EXPECT_EQ(MoveTasks(model, {0}, 1), QList<int>{1}); },
         {"/v/e.avi", "/v/d.mkv", "/v/c", "/v/b.avi", "/v/a.avi"}},
        {"two rows to the end", [&] { EXPECT_EQ(MoveTasksTo(model, {3, 0}, -1), (QList<int>{3, 4})); },
         {"/v/d.mkv", "/v/c", "/v/a.avi", "/v/e.avi", "/v/b.avi"}},
        {"two rows before the second", [&] { EXPECT_EQ(MoveTasksTo(model, {4, 2}, 1), (QList<int>{1, 2})); },
         {"/v/d.mkv", "/v/a.avi", "/v/b.avi", "/v/c", "/v/e.avi"}},
        {"two rows removed", [&] { RemoveTasks(model, {3, 1, 3}); }, {"/v/d.mkv", "/v/b.avi", "/v/e.avi"}},
    };
    for (const auto &step : steps) {
        step.change();
        EXPECT_EQ(captions(model), step.order) << step.what;
        for (int row = 0; row < model.rowCount(); ++row)
            EXPECT_EQ(rowPrint(model, row), prints.value(model.text(row, 0))) << step.what << " row " << row;
        ASSERT_TRUE(followed.isValid()) << step.what;
        EXPECT_EQ(model.text(followed.row(), 0), QStringLiteral("/v/d.mkv")) << step.what;
        EXPECT_EQ(followed.column(), 2) << step.what;
        const QModelIndexList selected = selection.selectedRows();
        ASSERT_EQ(selected.size(), 1) << step.what;
        EXPECT_EQ(model.text(selected.first().row(), 0), QStringLiteral("/v/e.avi")) << step.what;
    }
}

// What is written is read back as written, whether or not it is the usual
// form of its value, and a new name stays as it was when the input changes.
TEST(TaskRecord, TextsComeBackAsWritten)
{
    TaskListModel model;
    model.appendTask(sampleTask());
    const struct
    {
        const char *time;
        const char *name;
    } cases[] = {
        {"0:1:2.50", "clip"}, {"00:00:00", "clip "}, {"00:00:00.0", "clip.avi"}, {"", ""},
        {"N/A", "CLIP"},      {"-1:00:00", ".clip"}, {"01:02:03.4", "other"},
    };
    int changes = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++changes; });
    for (const auto &c : cases) {
        ltvItemData written = sampleTask();
        for (QString *text : {&written.LengthText, &written.OrigStartText, &written.OrigEndText,
                              &written.ClipLengthText, &written.StartText, &written.EndText})
            *text = QString::fromLatin1(c.time);
        written.NewName = QString::fromLatin1(c.name);
        WriteItemData(model, 0, WholeRowField, written);
        const int changed = changes;
        WriteItemData(model, 0, WholeRowField, written); // the same again: nothing changes
        EXPECT_EQ(changes, changed) << c.time;

        ltvItemData read;
        ReadItemData(model, 0, WholeRowField, read);
        const double seconds = TimeTextToSeconds(QString::fromLatin1(c.time));
        EXPECT_EQ(read.StartText, QString::fromLatin1(c.time));
        EXPECT_EQ(read.EndText, QString::fromLatin1(c.time));
        EXPECT_DOUBLE_EQ(read.StartSecs, seconds) << c.time;
        EXPECT_DOUBLE_EQ(read.LengthSecs, seconds) << c.time;
        EXPECT_EQ(read.NewName, QString::fromLatin1(c.name));

        written.InputFile = QStringLiteral("/elsewhere/moved.mkv");
        WriteItemData(model, 0, CaptionField, written);
        ReadItemData(model, 0, 3, read);
        EXPECT_EQ(read.NewName, QString::fromLatin1(c.name)) << "after the input changed";
        WriteItemData(model, 0, CaptionField, sampleTask());
    }
}
