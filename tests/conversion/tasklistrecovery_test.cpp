// The task list file kept against a crash: what is refused as damaged, and
// what restoring it may touch on disk.
#include "conversion/tasklistrecovery.h"

#include "conversion/workfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
        QByteArray(good).replace("\"version\": 1", "\"version\": 7"),
        QByteArray(good).replace("\"input\": \"/v/a.avi\"", "\"input\": \"\""),
        QByteArray(good).replace("\"00:00:06\",", ""),   // nine fields
        QByteArray(good).replace("\"00:00:06\"", "6"),   // a field that is no text
        QByteArray(good).replace("\"tasks\"", "\"rows\""),
    };
    for (const QByteArray &text : cases) {
        QString error;
        EXPECT_FALSE(ParseTaskListText(text, &error)) << text.toStdString();
        EXPECT_FALSE(error.isEmpty()) << text.toStdString();
    }
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
    const QString deadWork = deadOut + QStringLiteral("/.vantorix-work-dead01");
    ASSERT_TRUE(QDir().mkpath(deadWork) && QDir().mkpath(liveOut));
    writeFile(deadWork + QStringLiteral("/.lock"), "");
    writeFile(deadWork + QStringLiteral("/g.mkv"), "data");
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
