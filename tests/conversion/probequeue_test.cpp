// Adding files through the probe queue, against the scripted fake engine.
#include "conversion/probequeue.h"

#include "fakes/processes.h"
#include "fakes/programfolder.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ProbeQueueTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        queue.setEnginePath(folder.enginePath());
    }

    QString input(const QString &name) const { return folder.filePath(name); }

    // The engine's report on `name`: a length and a frame size, then `tail`
    // (further script lines).
    void report(const QString &name, const QString &length, const QString &size, const QString &tail = {})
    {
        folder.setScriptFor(name, QStringLiteral("stderr 0 Input #0, avi, from '%1':\\n  Duration: %2, start: 0.0\\n"
                                                 "  Stream #0:0: Video: mpeg4, yuv420p, %3, 25 fps\\n\n")
                                          .arg(input(name), length, size)
                                      + tail + QStringLiteral("exit 1\n"));
    }

    // Until the engine has been started `calls` times and `running` probes run.
    bool waitForProbes(int calls, int running)
    {
        const auto reached = [&] { return folder.callCount() == calls && queue.running() == running; };
        for (int i = 0; i < 1000 && !reached(); ++i)
            QTest::qWait(10);
        return reached();
    }

    bool waitForIdle()
    {
        QSignalSpy idle(&queue, &ProbeQueue::idle);
        return idle.wait(30000);
    }

    QStringList captions() const
    {
        QStringList result;
        for (int row = 0; row < tasks.rowCount(); ++row)
            result << tasks.index(row, 0).data().toString();
        return result;
    }

    ltvItemData row(int index) const
    {
        ltvItemData task;
        ReadItemData(tasks, index, WholeRowField, task);
        return task;
    }

    TestProgramFolder folder;
    TaskListModel tasks;
    ProbeQueue queue{tasks};
};

TEST_F(ProbeQueueTest, RowsKeepTheQueueOrderWhenLaterProbesFinishFirst)
{
    // The first probe can only end after the third has run: it waits for the
    // mark the third one leaves, so the probes really run side by side.
    report(QStringLiteral("a.avi"), QStringLiteral("00:00:01.00"), QStringLiteral("320x240"),
           QStringLiteral("wait-for c-ran\n"));
    report(QStringLiteral("b.avi"), QStringLiteral("00:00:02.00"), QStringLiteral("640x480"));
    report(QStringLiteral("c.avi"), QStringLiteral("00:00:03.00"), QStringLiteral("160x120"),
           QStringLiteral("touch c-ran\n"));
    report(QStringLiteral("d.avi"), QStringLiteral("00:00:04.00"), QStringLiteral("80x60"));
    queue.setMaxParallel(3);
    QList<int> added;
    QList<int> runningSeen;
    QObject::connect(&queue, &ProbeQueue::taskAdded, [&](int index) { added << index; });
    QObject::connect(&queue, &ProbeQueue::progress, [&] { runningSeen << queue.running(); });

    for (const char *name : {"a.avi", "b.avi", "c.avi", "d.avi"})
        ASSERT_TRUE(queue.enqueue(input(QString::fromLatin1(name)), QStringLiteral(".mp4")));
    EXPECT_TRUE(queue.isBusy());
    EXPECT_EQ(tasks.rowCount(), 0); // nothing happens inside enqueue
    EXPECT_EQ(queue.total(), 4);
    EXPECT_EQ(queue.done(), 0);
    ASSERT_TRUE(waitForIdle());

    EXPECT_EQ(captions(), QStringList({input("a.avi"), input("b.avi"), input("c.avi"), input("d.avi")}));
    EXPECT_EQ(added, QList<int>({0, 1, 2, 3}));
    const ltvItemData c = row(2);
    EXPECT_EQ(c.LengthText, QStringLiteral("00:00:03.00"));
    EXPECT_EQ(c.SizeText, QStringLiteral(" 160x120"));
    EXPECT_EQ(c.StatusText, QStringLiteral("OK"));
    EXPECT_EQ(c.NewName, QStringLiteral("c"));
    EXPECT_EQ(c.NewExt, QStringLiteral(".mp4"));
    EXPECT_EQ(c.OrigStartText, QStringLiteral("00:00:00.0"));
    EXPECT_EQ(c.EndText, QStringLiteral("00:00:03.00"));
    EXPECT_EQ(c.ClipLengthSecs, 3.0);
    EXPECT_EQ(row(3).SizeText, QStringLiteral(" 80x60"));
    EXPECT_FALSE(queue.isBusy());
    EXPECT_EQ(queue.done(), 4);
    EXPECT_EQ(queue.total(), 4);
    for (int running : runningSeen)
        EXPECT_LE(running, 3);
    EXPECT_EQ(folder.arguments(1).mid(0, 1), QStringList({"-i"}));
}

// Rows whose probes are done together arrive as one block; a handler that
// removes its row (as the batch mode does with a file out of its time range)
// has the rows after it told at their places then.
TEST_F(ProbeQueueTest, ABlockOfRowsIsToldRowByRowWhileOneOfThemGoes)
{
    report(QStringLiteral("a.avi"), QStringLiteral("00:00:01.00"), QStringLiteral("320x240"),
           QStringLiteral("wait-for c-ran\n"));
    report(QStringLiteral("b.avi"), QStringLiteral("00:00:02.00"), QStringLiteral("640x480"));
    report(QStringLiteral("c.avi"), QStringLiteral("00:00:03.00"), QStringLiteral("160x120"),
           QStringLiteral("touch c-ran\n"));
    queue.setMaxParallel(3);
    QList<std::pair<int, int>> inserted;
    QObject::connect(&tasks, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int first, int last) { inserted << std::pair(first, last); });
    QStringList told;
    QObject::connect(&queue, &ProbeQueue::taskAdded, [&](int index) {
        told << QFileInfo(tasks.text(index, 0)).fileName();
        if (told.last() == QLatin1String("b.avi"))
            tasks.removeRow(index);
    });
    for (const char *name : {"a.avi", "b.avi", "c.avi"})
        ASSERT_TRUE(queue.enqueue(input(QString::fromLatin1(name)), QStringLiteral(".mp4")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(inserted, (QList<std::pair<int, int>>{{0, 2}}));
    EXPECT_EQ(told, QStringList({"a.avi", "b.avi", "c.avi"}));
    EXPECT_EQ(captions(), QStringList({input("a.avi"), input("c.avi")}));
    EXPECT_EQ(row(1).LengthText, QStringLiteral("00:00:03.00"));
    EXPECT_EQ(queue.done(), 3);
}

TEST_F(ProbeQueueTest, DuplicatesAreRefused)
{
    report(QStringLiteral("a.avi"), QStringLiteral("00:00:01.00"), QStringLiteral("320x240"));
    QSignalSpy progress(&queue, &ProbeQueue::progress);
    EXPECT_TRUE(queue.enqueue(input("a.avi"), QStringLiteral(".mp4")));
    EXPECT_FALSE(queue.enqueue(input("a.avi"), QStringLiteral(".avi"))); // queued already
    EXPECT_TRUE(queue.enqueue(input("A.avi"), QStringLiteral(".mp4")));  // letter case counts
    EXPECT_EQ(queue.total(), 2);
    EXPECT_EQ(progress.count(), 2);
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(captions(), QStringList({input("a.avi"), input("A.avi")}));
    EXPECT_EQ(row(0).NewExt, QStringLiteral(".mp4"));

    // Now a row's caption; the counts start again after the idle queue.
    EXPECT_FALSE(queue.enqueue(input("a.avi"), QStringLiteral(".mp4")));
    EXPECT_FALSE(queue.isBusy());
    EXPECT_TRUE(queue.enqueue(input("b.avi"), QStringLiteral(".mp4")));
    EXPECT_EQ(queue.total(), 1);
    EXPECT_EQ(queue.done(), 0);
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(tasks.rowCount(), 3);
    EXPECT_EQ(folder.callCount(), 3);
}

TEST_F(ProbeQueueTest, CancelKillsTheProbesAndKeepsTheCompletedRows)
{
    // Two at a time: a ends at once, b never does, c (started when a ends)
    // ends at once, d (started when c ends) never does, e never gets a place.
    report(QStringLiteral("a.avi"), QStringLiteral("00:00:01.00"), QStringLiteral("320x240"));
    report(QStringLiteral("b.avi"), QStringLiteral("00:00:02.00"), QStringLiteral("320x240"),
           QStringLiteral("sleep 60000\n"));
    report(QStringLiteral("c.avi"), QStringLiteral("00:00:03.00"), QStringLiteral("320x240"));
    folder.setScriptFor(QStringLiteral("d.avi"), QStringLiteral("sleep 60000\n"));
    queue.setMaxParallel(2);
    QSignalSpy idle(&queue, &ProbeQueue::idle);
    for (const char *name : {"a.avi", "b.avi", "c.avi", "d.avi", "e.avi"})
        ASSERT_TRUE(queue.enqueue(input(QString::fromLatin1(name)), QStringLiteral(".mp4")));

    // d runs only once c has ended.
    for (int i = 0; i < 1000 && folder.callCount() < 4; ++i)
        QTest::qWait(10);
    ASSERT_EQ(folder.callCount(), 4);
    EXPECT_EQ(queue.done(), 1);
    EXPECT_EQ(queue.running(), 2);
    ASSERT_TRUE(ProcessRunsWith(folder.enginePath()));

    queue.cancel();

    EXPECT_FALSE(ProcessRunsWith(folder.enginePath())) << "a probe outlived the cancel";
    EXPECT_EQ(captions(), QStringList({input("a.avi"), input("c.avi")}));
    EXPECT_EQ(row(1).LengthText, QStringLiteral("00:00:03.00"));
    EXPECT_FALSE(queue.isBusy());
    EXPECT_EQ(queue.done(), 5);
    EXPECT_EQ(queue.total(), 5);
    EXPECT_EQ(folder.callCount(), 4); // e never started
    EXPECT_EQ(idle.count(), 0);       // not from inside cancel()
    ASSERT_TRUE(idle.wait(10000));
    EXPECT_EQ(idle.count(), 1);

    // A cancelled file may be queued again.
    EXPECT_TRUE(queue.enqueue(input("b.avi"), QStringLiteral(".mp4")));
    queue.cancel();
}

TEST_F(ProbeQueueTest, AProbeThatRunsTooLongIsKilledAndItsRowKeepsWhatItSaid)
{
    report(QStringLiteral("slow.avi"), QStringLiteral("00:00:09.00"), QStringLiteral("320x240"),
           QStringLiteral("sleep 60000\n"));
    queue.setTimeoutMs(300);
    ASSERT_TRUE(queue.enqueue(input("slow.avi"), QStringLiteral(".mp4")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_FALSE(ProcessRunsWith(folder.enginePath()));
    ASSERT_EQ(tasks.rowCount(), 1);
    EXPECT_EQ(row(0).LengthText, QStringLiteral("00:00:09.00"));
    EXPECT_EQ(row(0).SizeText, QStringLiteral(" 320x240"));
}

TEST_F(ProbeQueueTest, AnEngineThatCannotStartGivesEmptyValues)
{
    queue.setEnginePath(folder.filePath(QStringLiteral("missing.exe")));
    ASSERT_TRUE(queue.enqueue(input("a.avi"), QString()));
    ASSERT_TRUE(queue.enqueue(input("b.avi"), QString()));
    ASSERT_TRUE(waitForIdle());
    ASSERT_EQ(tasks.rowCount(), 2);
    for (int index = 0; index < 2; ++index) {
        const ltvItemData task = row(index);
        EXPECT_EQ(task.LengthText, QString());
        EXPECT_EQ(task.SizeText, QString());
        EXPECT_EQ(task.StatusText, QStringLiteral("OK"));
        EXPECT_EQ(task.LengthSecs, -1);
    }
}

TEST_F(ProbeQueueTest, AHandlerMayQueueOrCancelWhileRowsAreAdded)
{
    report(QStringLiteral("a.avi"), QStringLiteral("00:00:01.00"), QStringLiteral("320x240"));
    report(QStringLiteral("b.avi"), QStringLiteral("00:00:02.00"), QStringLiteral("320x240"));
    folder.setScriptFor(QStringLiteral("c.avi"), QStringLiteral("sleep 60000\n"));
    // The first row queues b and c; b's row cancels the rest.
    QObject::connect(&queue, &ProbeQueue::taskAdded, [&](int index) {
        if (index == 0) {
            queue.enqueue(input("b.avi"), QStringLiteral(".mp4"));
            queue.enqueue(input("c.avi"), QStringLiteral(".mp4"));
        } else if (index == 1) {
            queue.cancel();
        }
    });
    QSignalSpy idle(&queue, &ProbeQueue::idle);
    queue.setMaxParallel(1);
    ASSERT_TRUE(queue.enqueue(input("a.avi"), QStringLiteral(".mp4")));
    ASSERT_TRUE(idle.wait(30000));
    EXPECT_EQ(captions(), QStringList({input("a.avi"), input("b.avi")}));
    EXPECT_FALSE(queue.isBusy());
    EXPECT_EQ(queue.done(), queue.total());
    EXPECT_EQ(queue.total(), 3);
    QTest::qWait(50);
    EXPECT_EQ(idle.count(), 1);
}

TEST_F(ProbeQueueTest, CancelEndsEveryProbeBeforeAnnouncingTheFinishedRows)
{
    // a runs on; b, queued after it, has finished and waits for a's row.
    folder.setScriptFor(QStringLiteral("a.avi"), QStringLiteral("sleep 60000\n"));
    report(QStringLiteral("b.avi"), QStringLiteral("00:00:02.00"), QStringLiteral("320x240"));
    queue.setMaxParallel(2);
    ASSERT_TRUE(queue.enqueue(input("a.avi"), QStringLiteral(".mp4")));
    ASSERT_TRUE(queue.enqueue(input("b.avi"), QStringLiteral(".mp4")));
    ASSERT_TRUE(waitForProbes(2, 1));
    ASSERT_EQ(tasks.rowCount(), 0);

    QStringList announced;
    QList<bool> engineRan;
    QObject::connect(&queue, &ProbeQueue::taskAdded, [&](int index) {
        announced << tasks.index(index, 0).data().toString();
        engineRan << ProcessRunsWith(folder.enginePath());
    });
    queue.cancel();
    EXPECT_EQ(announced, QStringList({input("b.avi")}));
    EXPECT_EQ(engineRan, QList<bool>({false}));
    EXPECT_EQ(row(0).LengthText, QStringLiteral("00:00:02.00"));
    ASSERT_TRUE(waitForIdle());
}

TEST_F(ProbeQueueTest, AFileQueuedWhileARowIsAnnouncedHoldsBackIdleUntilItsOwnRow)
{
    report(QStringLiteral("a.avi"), QStringLiteral("00:00:01.00"), QStringLiteral("320x240"));
    // b's probe takes a while: an early idle() would come first.
    report(QStringLiteral("b.avi"), QStringLiteral("00:00:02.00"), QStringLiteral("320x240"),
           QStringLiteral("sleep 300\n"));
    report(QStringLiteral("c.avi"), QStringLiteral("00:00:03.00"), QStringLiteral("320x240"),
           QStringLiteral("sleep 300\n"));
    QObject::connect(&queue, &ProbeQueue::taskAdded, [&](int index) {
        const QString caption = tasks.index(index, 0).data().toString();
        if (caption == input("a.avi"))
            queue.enqueue(input("b.avi"), QStringLiteral(".mp4"));
        else if (caption == input("x.avi"))
            queue.enqueue(input("c.avi"), QStringLiteral(".mp4"));
    });
    QList<int> rowsAtIdle;
    QObject::connect(&queue, &ProbeQueue::idle, [&] { rowsAtIdle << tasks.rowCount(); });

    // A row announced as the last probe ends.
    ASSERT_TRUE(queue.enqueue(input("a.avi"), QStringLiteral(".mp4")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(captions(), QStringList({input("a.avi"), input("b.avi")}));
    EXPECT_EQ(rowsAtIdle, QList<int>({2}));
    EXPECT_EQ(queue.done(), queue.total());

    // A row announced by cancel(): x finished before cancel, y still runs.
    rowsAtIdle.clear();
    tasks.removeRows(0, tasks.rowCount());
    report(QStringLiteral("x.avi"), QStringLiteral("00:00:04.00"), QStringLiteral("320x240"));
    folder.setScriptFor(QStringLiteral("y.avi"), QStringLiteral("sleep 60000\n"));
    queue.setMaxParallel(2);
    ASSERT_TRUE(queue.enqueue(input("y.avi"), QStringLiteral(".mp4")));
    ASSERT_TRUE(queue.enqueue(input("x.avi"), QStringLiteral(".mp4")));
    ASSERT_TRUE(waitForProbes(4, 1));
    queue.cancel();
    EXPECT_TRUE(queue.isBusy()); // c, queued by x's row
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(captions(), QStringList({input("x.avi"), input("c.avi")}));
    EXPECT_EQ(rowsAtIdle, QList<int>({2}));
    EXPECT_FALSE(ProcessRunsWith(folder.enginePath()));
}

} // namespace
