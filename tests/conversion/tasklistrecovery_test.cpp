// The task list file kept against a crash: what is refused as damaged, and
// what restoring it may touch on disk.
#include "conversion/tasklistrecovery.h"

#include "conversion/workfolder.h"
#include "killedrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

ltvItemData task(const QString &path, const QString &status)
{
    ltvItemData record;
    record.InputFile = path;
    record.LengthText = QStringLiteral("00:00:10.00");
    record.SizeText = QStringLiteral("320x240");
    record.StatusText = status;
    record.NewName = QStringLiteral("holiday");
    record.NewExt = QStringLiteral(".mkv");
    record.OrigStartText = QStringLiteral("00:00:00");
    record.OrigEndText = QStringLiteral("00:00:10");
    record.ClipLengthText = QStringLiteral("00:00:06");
    record.StartText = QStringLiteral("00:00:02");
    record.EndText = QStringLiteral("00:00:08");
    return record;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

TEST(TaskListFile, DamagedTextIsRefusedWithAReason)
{
    TaskListModel model;
    model.appendTask(task(QStringLiteral("/v/a.avi"), QStringLiteral("OK")));
    const QByteArray good = TaskListText(model, {});
    const QByteArray cases[] = {
        good.left(good.size() / 2),                      // cut off by a full disk
        QByteArray(),                                    // empty
        QByteArray("[1, 2]"),                            // no object
        QByteArray(good).replace("Vantorix task list", "something else"),
        QByteArray(good).replace("\"version\":2", "\"version\":7"),
        QByteArray(good).replace("\"input\":\"/v/a.avi\"", "\"input\":\"\""),
        QByteArray(good).replace("\"00:00:06\",", ""),   // nine fields
        QByteArray(good).replace("\"00:00:06\"", "6"),   // a field that is no text
        QByteArray(good).replace("\"tasks\"", "\"rows\""),
        good + "{\"something\":1}\n",                     // a change of no known kind
        good + "not a change\n" + TaskListBatchText({}),    // a whole line that cannot be read
        good + TaskListRowText(model, 0).replace("/v/a.avi", ""), // a changed row without its path
        good + TaskListRowText(model, 0).replace("\"at\":0", "\"at\":2"), // a row beyond the next
        good + TaskListRowText(model, 0).replace("\"at\":0,", ""),        // a row with no place
    };
    for (const QByteArray &text : cases) {
        QString error;
        EXPECT_FALSE(ParseTaskListText(text, &error)) << text.toStdString();
        EXPECT_FALSE(error.isEmpty()) << text.toStdString();
    }
}

// The list written whole, then changes appended as lines: what reading it
// gives, a change cut short by a stop in the middle of its write included.
TEST(TaskListFile, AppendedChangesReplaceTheirRowsAndACutShortLastLineIsLeftOut)
{
    TaskListModel model;
    model.appendTask(task(QStringLiteral("/v/a.avi"), QString()));
    ltvItemData found = task(QStringLiteral("/v/b.avi"), QString());
    found.FoundUnder = QStringLiteral("/v"); // added with its folder: the tree it keeps
    model.appendTask(found);
    const QByteArray whole = TaskListText(model, {QStringLiteral("MP4"), QStringLiteral("/out/")});
    WriteItemData(model, 0, 2, task({}, QStringLiteral("Complete")));
    const QByteArray aDone = TaskListRowText(model, 0);
    model.appendTask(task(QStringLiteral("/v/c.avi"), QStringLiteral("Failed")));
    const QByteArray cAdded = TaskListRowText(model, 2);
    const QByteArray otherBatch = TaskListBatchText({QStringLiteral("MKV"), QStringLiteral("/else/")});

    const struct
    {
        QByteArray text;
        QStringList rows; // path, status and the folder it was found under of each row
        QString profile;
    } cases[] = {
        {whole, {"/v/a.avi||", "/v/b.avi||/v"}, "MP4"},
        {whole + aDone, {"/v/a.avi|Complete|", "/v/b.avi||/v"}, "MP4"},
        {whole + aDone + cAdded + otherBatch, {"/v/a.avi|Complete|", "/v/b.avi||/v", "/v/c.avi|Failed|"}, "MKV"},
        // Stopped while appending: the last line has no end.
        {whole + aDone + cAdded.left(cAdded.size() / 2), {"/v/a.avi|Complete|", "/v/b.avi||/v"}, "MP4"},
        {whole + aDone + cAdded.chopped(1), {"/v/a.avi|Complete|", "/v/b.avi||/v"}, "MP4"},
        {whole + otherBatch.left(5), {"/v/a.avi||", "/v/b.avi||/v"}, "MP4"},
        // An earlier version's file: the list alone, indented, nothing found under a folder.
        {QJsonDocument::fromJson(QByteArray(whole).replace(",\"foundUnder\":\"/v\"", ""))
             .toJson(QJsonDocument::Indented)
             .replace("\"version\": 2", "\"version\": 1"),
         {"/v/a.avi||", "/v/b.avi||"}, "MP4"},
    };
    for (const auto &c : cases) {
        QString error;
        const std::optional<SavedTaskList> list = ParseTaskListText(c.text, &error);
        ASSERT_TRUE(list) << c.text.toStdString() << error.toStdString();
        // Read back from the rows restored, as the run reads them.
        TaskListModel restored;
        RestoreTasks(restored, *list);
        QStringList rows;
        for (int row = 0; row < restored.rowCount(); ++row) {
            ltvItemData record;
            ReadItemData(restored, row, WholeRowField, record);
            rows << record.InputFile + QLatin1Char('|') + (record.StatusText == QLatin1String("OK") ? QString() : record.StatusText)
                        + QLatin1Char('|') + record.FoundUnder;
        }
        EXPECT_EQ(rows, c.rows) << c.text.toStdString();
        EXPECT_EQ(list->batch.profile, c.profile) << c.text.toStdString();
    }
}

// The kept file grows by a line where a row changed in place or came last, and
// is written whole when rows go; read back, it always is the list shown.
TEST(TaskListFile, TheKeptFileAppendsChangesAndIsWrittenWholeWhenRowsGo)
{
    QTemporaryDir dir;
    TaskListModel model;
    SavedBatch batch{QStringLiteral("MP4"), QStringLiteral("/out/")};
    TaskListRecovery recovery(model, dir.path(), [&] { return batch; });
    ASSERT_TRUE(recovery.isKeeping());
    const auto fileText = [&] {
        QFile file(recovery.filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto keptRows = [&] {
        QStringList rows;
        if (const std::optional<SavedTaskList> list = ParseTaskListText(fileText()))
            for (const SavedTask &saved : list->tasks)
                rows << saved.record.InputFile + QLatin1Char('|') + saved.record.StatusText;
        return rows;
    };
    const auto shownRows = [&] {
        QStringList rows;
        for (int row = 0; row < model.rowCount(); ++row)
            rows << model.index(row, 0).data().toString() + QLatin1Char('|') + model.index(row, 3).data().toString();
        return rows;
    };

    const struct
    {
        const char *what;
        std::function<void()> change;
        qsizetype lines; // in the file afterwards
    } steps[] = {
        {"two rows added", [&] {
             model.appendTask(task(QStringLiteral("/v/a.avi"), QString()));
             model.appendTask(task(QStringLiteral("/v/b.avi"), QString()));
         }, 1},
        {"a status changes", [&] { WriteItemData(model, 1, 2, task({}, QStringLiteral("42%"))); }, 2},
        {"a row comes last", [&] { model.appendTask(task(QStringLiteral("/v/c.avi"), QString())); }, 3},
        {"the output folder changes", [&] {
             batch.outputFolder = QStringLiteral("/else/");
             recovery.batchChanged();
         }, 4},
        {"a row goes", [&] { model.removeRow(0); }, 1},
        {"a caption changes", [&] {
             model.appendTask(task(QStringLiteral("/v/d.avi"), QString()));
             WriteItemData(model, 0, CaptionField, task(QStringLiteral("/v/e.avi"), {}));
         }, 1},
    };
    for (const auto &step : steps) {
        const QByteArray before = fileText();
        step.change();
        ASSERT_TRUE(QTest::qWaitFor([&] { return fileText() != before && keptRows() == shownRows(); }, 5000))
            << step.what << "\n" << fileText().toStdString();
        EXPECT_EQ(fileText().count('\n'), step.lines) << step.what;
        EXPECT_TRUE(fileText().endsWith('\n')) << step.what;
    }
    EXPECT_EQ(ParseTaskListText(fileText())->batch.outputFolder, QStringLiteral("/else/"));
}

TEST(TaskListFile, RestoringRemovesOnlyAnUnfinishedOutputOfAConvertingRow)
{
    QTemporaryDir dir;
    const QString partial = dir.filePath(QStringLiteral(".b.vantorix-part.mkv"));
    const QString userFile = dir.filePath(QStringLiteral("movie.mkv"));
    const QString otherPartial = dir.filePath(QStringLiteral(".c.vantorix-part.mkv"));
    const QString pausedPartial = dir.filePath(QStringLiteral(".e.vantorix-part.mkv"));
    const QString percentPartial = dir.filePath(QStringLiteral(".f.vantorix-part.mkv"));
    for (const QString &path : {partial, userFile, otherPartial, pausedPartial, percentPartial})
        writeFile(path, "data");

    SavedTaskList list;
    list.tasks.append({task(QStringLiteral("/v/b.avi"), QStringLiteral("Converting")), {}, {}, partial});
    // A file that names a user's file as unfinished output is not believed.
    list.tasks.append({task(QStringLiteral("/v/d.avi"), QStringLiteral("Converting")), {}, {}, userFile});
    // Only a converting row's output is unfinished.
    list.tasks.append({task(QStringLiteral("/v/c.avi"), QStringLiteral("Complete")), {}, {}, otherPartial});
    // Rows of several engines at once show a percent, and a paused run says so.
    list.tasks.append({task(QStringLiteral("/v/e.avi"), QStringLiteral("Paused")), {}, {}, pausedPartial});
    list.tasks.append({task(QStringLiteral("/v/f.avi"), QStringLiteral("37%")), {}, {}, percentPartial});

    // A run's own folder goes once the run is gone, never while it lives.
    const QString deadOut = dir.filePath(QStringLiteral("dead")), liveOut = dir.filePath(QStringLiteral("live"));
    ASSERT_TRUE(QDir().mkpath(deadOut) && QDir().mkpath(liveOut));
    const QString deadWork = KilledRunsFolder(deadOut).folder;
    ASSERT_TRUE(QFileInfo(deadWork).isDir());
    const std::unique_ptr<WorkFolder> live = WorkFolder::create(liveOut);
    ASSERT_TRUE(live);
    const QString liveWork = live->workPathFor(liveOut + QStringLiteral("/h.mkv"));
    writeFile(liveWork, "data");
    list.tasks.append({task(QStringLiteral("/v/g.avi"), QStringLiteral("Converting")), {}, {}, deadWork});
    list.tasks.append({task(QStringLiteral("/v/h.avi"), QStringLiteral("Converting")), {}, {}, live->path()});

    EXPECT_EQ(RemoveUnfinishedOutputs(list), 4);
    EXPECT_FALSE(QFileInfo::exists(deadWork));
    EXPECT_TRUE(QFile::exists(liveWork));
    TaskListModel model;
    ASSERT_EQ(RestoreTasks(model, list), 7);
    EXPECT_FALSE(QFile::exists(pausedPartial));
    EXPECT_FALSE(QFile::exists(percentPartial));
    EXPECT_EQ(model.index(3, 3).data().toString(), QStringLiteral("OK"));
    EXPECT_EQ(model.index(4, 3).data().toString(), QStringLiteral("OK"));
    EXPECT_FALSE(QFile::exists(partial));
    EXPECT_TRUE(QFile::exists(userFile));
    EXPECT_TRUE(QFile::exists(otherPartial));
    EXPECT_EQ(model.index(0, 3).data().toString(), QStringLiteral("OK"));
    EXPECT_EQ(model.index(1, 3).data().toString(), QStringLiteral("OK"));
    EXPECT_EQ(model.index(2, 3).data().toString(), QStringLiteral("Complete"));
    // Restoring the same list again adds no second row for a path.
    EXPECT_EQ(RestoreTasks(model, list), 0);
    EXPECT_EQ(model.rowCount(), 7);
}

} // namespace
