#include "conversion/conversionrun.h"
#include "conversion/outputnaming.h"

#include "fakes/clips.h"
#include "fakes/processes.h"
#include "fakes/programfolder.h"
#include "fakes/recorders.h"
#include "fakeview.h"
#include "runfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

namespace {

TEST_F(ConversionRunTest, CommandLinesCarryStartAndLengthOnlyWhenChanged)
{
    addTask(QStringLiteral("first"), QStringLiteral("00:01:00"), QStringLiteral("00:00:05"),
            QStringLiteral("00:00:20.5"));
    addTask(QStringLiteral("second"));
    addTask(QStringLiteral("third"), QStringLiteral("00:00:10"), QStringLiteral("00:00:00.0"),
            QStringLiteral("00:00:08"));
    QStringList texts;
    QObject::connect(&run, &ConversionRun::engineStarted, [&](const QString &text) { texts << text; });

    runBatch(QStringLiteral(" -vcodec mpeg4 -b:v \"800 k\""));

    const QString out = view.folder + QLatin1Char('/');
    // The texts shown name each output by its own path, not the work file's.
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], QStringLiteral(" -y -i \"%1\" -vcodec mpeg4 -b:v \"800 k\" -ss 00:00:05 -t 15.5 \"%2\"")
                            .arg(folder.filePath(QStringLiteral("first.avi")), out + "first.mp4"));
    EXPECT_EQ(texts[1], QStringLiteral(" -y -i \"%1\" -vcodec mpeg4 -b:v \"800 k\" \"%2\"")
                            .arg(folder.filePath(QStringLiteral("second.avi")), out + "second.mp4"));
    EXPECT_EQ(texts[2], QStringLiteral(" -y -i \"%1\" -vcodec mpeg4 -b:v \"800 k\" -t 8 \"%2\"")
                            .arg(folder.filePath(QStringLiteral("third.avi")), out + "third.mp4"));

    ASSERT_EQ(folder.callCount(), 3);
    EXPECT_EQ(folder.arguments(1),
              QStringList({"-y", "-i", folder.filePath(QStringLiteral("first.avi")), "-vcodec", "mpeg4", "-b:v",
                           "800 k", "-ss", "00:00:05", "-t", "15.5", folder.arguments(1).last()}));
    // Each output was written in the run's own folder, checked, then took its own name.
    EXPECT_EQ(folder.checkCount(), 3);
    EXPECT_TRUE(wroteWorkFileFor(1, QStringLiteral("first.mp4"))) << folder.arguments(1).last().toStdString();
    EXPECT_TRUE(wroteWorkFileFor(2, QStringLiteral("second.mp4")));
    EXPECT_TRUE(wroteWorkFileFor(3, QStringLiteral("third.mp4")));
    EXPECT_EQ(EntriesIn(out), QStringList({"first.mp4", "second.mp4", "third.mp4"}));
    EXPECT_EQ(folder.arguments(2).size(), 8);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(status(row), QStringLiteral("Complete"));
    EXPECT_EQ(interactive.messages,
              QStringList({"information|Complete|The coversion is completed successfully."}));
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_FALSE(view.progressPanelShown);
}

TEST_F(ConversionRunTest, ProgressFollowsTheEngineChunkByChunk)
{
    addTask(QStringLiteral("a"), QStringLiteral("00:00:10"));
    addTask(QStringLiteral("b"), QStringLiteral("00:00:10"));
    // The first two chunks never count, whatever they hold. Then seconds and
    // h:m:s times; only the first "time" of a chunk counts; never backwards.
    folder.setScript(QStringLiteral("print 0 time=9.00 \n"
                                    "print 60 time=9.00 \n"
                                    "print 60 size=1 time=5.00 bitrate=1 time=6.00 \r\n"
                                    "print 60 time=4.00 \r\n"
                                    "print 60 frame=1 time=00:00:07.50 bitrate=2\r\n"
                                    "print 60 time=N/A \r\n"
                                    "exit 0\n"),
                     1);
    folder.setScript(QStringLiteral("print 0 x\nprint 60 y\nprint 60 time=00:00:25.00 \r\nexit 0\n"), 2);

    runBatch();

    // Task a: 5 s of 10 (50%), then 7.5 s (75%, halves to even: 37.5 -> 38 of the total).
    ASSERT_GE(view.currentHistory.size(), 4);
    EXPECT_EQ(view.currentHistory.mid(0, 4), QList<int>({0, 50, 75, 0}));
    EXPECT_EQ(view.totalHistory.mid(0, 3), QList<int>({0, 25, 38}));
    // Task b ran past its length: held at 100, and kept after the last task.
    EXPECT_EQ(view.currentBar, 100);
    EXPECT_EQ(view.currentLabel, QStringLiteral("100%"));
    EXPECT_EQ(view.totalBar, 100);
    EXPECT_EQ(view.totalLabel, QStringLiteral("100%"));
    EXPECT_EQ(view.convertingFile, QStringLiteral("b.avi"));
}

TEST_F(ConversionRunTest, ZeroLengthTaskMovesOnlyTheTotalBar)
{
    addTask(QStringLiteral("a"), QStringLiteral("00:00:00"));
    addTask(QStringLiteral("b"), QStringLiteral("00:00:10"));
    folder.setScript(QStringLiteral("print 0 a\nprint 60 b\nprint 60 time=5.00 \nexit 0\n"));

    runBatch();

    // Task a has no length: its progress moves nothing but the total bar (5 of 10).
    EXPECT_EQ(view.totalHistory.mid(0, 2), QList<int>({0, 50}));
    EXPECT_EQ(view.currentHistory.mid(0, 2), QList<int>({0, 50}));
}

TEST_F(ConversionRunTest, MemoShowsEachChunkAndTheTaskKeepsItsOutput)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    // "é" split over two reads is decoded whole.
    folder.setScript(QStringLiteral("print 0 caf\\xC3\nprint 80 \\xA9 done\nexit 1\n"), 1);
    folder.setScript(QStringLiteral("print 0 all well\nexit 0\n"), 2);

    runBatch();

    EXPECT_EQ(view.memo, QStringLiteral("all well"));
    EXPECT_EQ(tasks.index(0, 0).data(TaskListModel::EngineOutputRole).toString(),
              QString::fromUtf8("caf\xC3\xA9 done"));
    // A task that completed has nothing to tell: its output is not kept.
    EXPECT_EQ(status(1), QStringLiteral("Complete"));
    EXPECT_FALSE(tasks.index(1, 0).data(TaskListModel::EngineOutputRole).isValid());
}

// A failed task keeps the last characters its engine wrote, within the bound,
// however its output is cut into lines.
TEST_F(ConversionRunTest, KeptOutputIsBoundedAndKeepsTheEnd)
{
    const auto lines = [](int count, int length, const char *end) {
        QString script;
        for (int i = 0; i < count; ++i)
            script += QStringLiteral("print 0 %1%2\n").arg(QString(length, QLatin1Char(char('a' + i % 26))), QLatin1String(end));
        return script;
    };
    const struct
    {
        const char *name;
        QString script;
    } cases[] = {
        {"many lines", lines(150, 1000, "\\n")},
        {"one long line", lines(1, 20000, "")},
        {"long progress lines", lines(12, 3000, "\\r")},
    };
    for (const auto &c : cases) {
        addTask(QLatin1String(c.name));
        folder.setScriptFor(QLatin1String(c.name) + QStringLiteral(".avi"),
                            c.script + QStringLiteral("print 0 THE END OF %1\nexit 1\n").arg(QLatin1String(c.name)));
    }

    runBatch();

    for (int row = 0; row < tasks.rowCount(); ++row) {
        SCOPED_TRACE(cases[row].name);
        const QString kept = tasks.index(row, 0).data(TaskListModel::EngineOutputRole).toString();
        EXPECT_EQ(status(row), RowStatus::Failed);
        EXPECT_LE(kept.size(), ConversionRun::KeptOutputChars);
        EXPECT_GT(kept.size(), ConversionRun::KeptOutputChars / 2);
        EXPECT_TRUE(kept.endsWith(QStringLiteral("THE END OF ") + QLatin1String(cases[row].name)))
            << kept.right(40).toStdString();
    }
}

TEST_F(ConversionRunTest, FailedEnginesMarkTheirRowAndTheBatchGoesOn)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    addTask(QStringLiteral("c"));
    folder.setScript(QStringLiteral("print 0 Invalid data found\nexit 1\n"), 1);
    folder.setScript(QStringLiteral("crash\n"), 3);

    runBatch();

    EXPECT_EQ(status(0), QStringLiteral("Failed"));
    EXPECT_EQ(status(1), QStringLiteral("Complete"));
    EXPECT_EQ(status(2), QStringLiteral("Failed"));
    EXPECT_EQ(tasks.index(0, 0).data(TaskListModel::EngineOutputRole).toString(),
              QStringLiteral("Invalid data found"));
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Complete|The conversion is finished, but 2 of 3 files failed."}));
    EXPECT_EQ(view.totalBar, 100);
}

TEST_F(ConversionRunTest, ABatchOfSomeRowsConvertsAndCountsOnlyThose)
{
    addTask(QStringLiteral("a"), QStringLiteral("00:00:10"));
    addTask(QStringLiteral("b"), QStringLiteral("00:00:20"));
    addTask(QStringLiteral("c"), QStringLiteral("00:00:30"));
    tasks.setData(tasks.index(1, 0), QStringLiteral("left alone"), TaskListModel::EngineOutputRole);
    folder.setScriptFor(QStringLiteral("c.avi"), QStringLiteral("print 0 Invalid data found\n\nexit 1\n"));

    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString(), {0, 2, 7});
    ASSERT_TRUE(finished.wait(20000));

    ASSERT_EQ(folder.callCount(), 2);
    EXPECT_TRUE(folder.arguments(1).contains(tasks.text(0, 0)));
    EXPECT_TRUE(folder.arguments(2).contains(tasks.text(2, 0)));
    EXPECT_EQ(status(0), QStringLiteral("Complete"));
    EXPECT_EQ(status(1), QStringLiteral("OK"));
    EXPECT_EQ(tasks.index(1, 0).data(TaskListModel::EngineOutputRole).toString(), QStringLiteral("left alone"));
    EXPECT_EQ(status(2), QStringLiteral("Failed"));
    // The first of the two is a quarter of the batch's 40 seconds.
    EXPECT_TRUE(view.totalHistory.contains(25)) << ::testing::PrintToString(view.totalHistory);
    EXPECT_EQ(view.totalBar, 100);
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Complete|The conversion is finished, but 1 of 2 files failed."}));
    EXPECT_EQ(view.endedBatches, QList<QList<int>>({{0, 2}}));
    EXPECT_EQ(run.outputPathOf(1), QString());
}

// The queue under the run: rows join a batch while it runs, a batch held
// open waits for them, and Stop leaves what waits for the next Start.
TEST_F(ConversionRunTest, RowsJoinARunningBatchThatEndsOnlyOnceLetGoAndStopLeavesTheRestWaiting)
{
    addTask(QStringLiteral("a"), QStringLiteral("00:00:10"));
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.holdOpen(true);
    run.RunConversion(QString(), {}, true);
    EXPECT_EQ(run.RunState(), ConversionRun::Running) << "held open, a batch of no rows waits";
    EXPECT_TRUE(run.join({0}));
    ASSERT_TRUE(waitFor([&] { return status(0) == QStringLiteral("Complete"); }));
    addTask(QStringLiteral("b"), QStringLiteral("00:00:30"));
    EXPECT_TRUE(run.join({1}));
    ASSERT_TRUE(waitFor([&] { return status(1) == QStringLiteral("Complete"); }));
    EXPECT_EQ(finished.size(), 0);
    run.holdOpen(false);
    ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }));
    EXPECT_EQ(view.endedBatches, QList<QList<int>>({{0, 1}}));
    EXPECT_EQ(view.totalBar, 100);
    EXPECT_EQ(interactive.messages, QStringList()) << "a quiet batch ends without a word";
    EXPECT_FALSE(run.join({0})) << "idle";

    // Stop while the first of three converts: the others wait for a Start,
    // not for the next batch's rows.
    addTask(QStringLiteral("c"), QStringLiteral("00:00:10"));
    folder.setScriptFor(QStringLiteral("a.avi"), QStringLiteral("wait-for never\n"));
    run.RunConversion(QString(), {0, 1, 2});
    ASSERT_TRUE(waitFor([&] { return status(0) == QStringLiteral("Converting"); }));
    EXPECT_TRUE(run.isQueued(1) && run.isQueued(2));
    run.requestStop();
    EXPECT_FALSE(run.isQueued(1) || run.isQueued(2));
    ASSERT_TRUE(waitFor([&] { return finished.size() == 2; }));
    run.RunConversion(QString(), {2});
    ASSERT_TRUE(waitFor([&] { return finished.size() == 3; }));
    EXPECT_EQ(QStringList({status(0), status(1), status(2)}), QStringList({"Stop", "Complete", "Complete"}));
    EXPECT_EQ(view.endedBatches.constLast(), QList<int>({2}));
}

TEST_F(ConversionRunTest, EngineThatCannotStartEndsTheRun)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    QFile::remove(folder.enginePath());

    runBatch();

    EXPECT_EQ(status(0), QStringLiteral("Failed"));
    EXPECT_EQ(status(1), QStringLiteral("OK"));
    EXPECT_EQ(interactive.messages, QStringList({"plain||Error on CreateProcess()"}));
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_FALSE(view.progressPanelShown);
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(ConversionRunTest, StopDuringATaskCancelsTheBatch)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    folder.setScript(QStringLiteral("print 0 started\nsleep 20000\nexit 0\n"));
    view.options.openDir = true;
    QObject::connect(&run, &ConversionRun::engineStarted, &run,
                     [&] { QTimer::singleShot(200, &run, &ConversionRun::requestStop); });

    QElapsedTimer clock;
    clock.start();
    runBatch();

    EXPECT_LT(clock.elapsed(), 15000) << "the engine was not terminated";
    EXPECT_EQ(status(0), QStringLiteral("Stop"));
    EXPECT_EQ(status(1), QStringLiteral("OK"));
    EXPECT_EQ(folder.callCount(), 1);
    EXPECT_EQ(interactive.messages, QStringList({"information|Cancel|The Coversion is canceled."}));
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
}

TEST_F(ConversionRunTest, StopBetweenTasksStartsNoFurtherEngine)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    addTask(QStringLiteral("c"));
    // Stop as soon as the first task has its result. The second task's engine
    // may already work (it starts while the first output is checked): it is
    // ended, and nothing after it starts.
    QObject::connect(&tasks, &QAbstractItemModel::dataChanged, &run, [&](const QModelIndex &index) {
        if (index.row() == 0 && index.column() == 3 && index.data().toString() == QStringLiteral("Complete"))
            run.requestStop();
    });

    runBatch();

    EXPECT_LE(folder.callCount(), 2);
    EXPECT_EQ(status(0), QStringLiteral("Complete"));
    EXPECT_NE(status(1), QStringLiteral("Complete"));
    EXPECT_EQ(status(2), QStringLiteral("OK"));
    EXPECT_EQ(interactive.messages, QStringList({"information|Cancel|The Coversion is canceled."}));
    EXPECT_EQ(EntriesIn(view.folder), QStringList{QStringLiteral("a.mp4")});
    EXPECT_FALSE(ProcessRunsWith(folder.enginePath()));
}

TEST_F(ConversionRunTest, EndOfBatchChoices)
{
    addTask(QStringLiteral("a"));

    // Power off wins over exit, and nothing else happens; the window that is
    // asked to close sees an idle run.
    view.options = {false, true, true, true};
    int stateAtClose = -1;
    view.onClose = [&] { stateAtClose = run.RunState(); };
    runBatch();
    EXPECT_EQ(view.powerOffQuestions, 1);
    EXPECT_EQ(power.questions, 1);
    EXPECT_EQ(power.requests, 1);
    EXPECT_EQ(view.closeRequests, 1);
    EXPECT_EQ(stateAtClose, ConversionRun::Idle);
    EXPECT_TRUE(interactive.messages.isEmpty());
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(ConversionRunTest, PowerOffCancelledOrRefusedEndsAsANormalCompletion)
{
    addTask(QStringLiteral("a"));
    view.options = {false, true, true, true};

    // Cancel in the countdown: the completion message and the folder, no exit.
    view.powerOffConfirmed = false;
    runBatch();
    EXPECT_EQ(power.questions, 0);
    EXPECT_EQ(power.requests, 0);
    EXPECT_EQ(view.closeRequests, 0);
    EXPECT_EQ(interactive.messages,
              QStringList({"information|Complete|The coversion is completed successfully."}));
    EXPECT_EQ(shell.opened, QStringList({view.folder}));
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
    EXPECT_FALSE(view.progressPanelShown);

    // The countdown ran out, but the system will not let the user turn it off.
    view.powerOffConfirmed = true;
    power.allowed = false;
    interactive.messages.clear();
    shell.opened.clear();
    runBatch();
    EXPECT_EQ(power.questions, 1);
    EXPECT_EQ(power.requests, 0);
    EXPECT_EQ(view.closeRequests, 0);
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Turn off|The computer could not be turned off: the login manager answers \"no\"",
                           "information|Complete|The coversion is completed successfully."}));
    EXPECT_EQ(shell.opened, QStringList({view.folder}));
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
    EXPECT_EQ(folder.callCount(), 2);
}

TEST_F(ConversionRunTest, EndOfBatchExitAndOpenFolder)
{
    addTask(QStringLiteral("a"));
    view.options = {false, true, true, false};
    int stateAtClose = -1;
    view.onClose = [&] { stateAtClose = run.RunState(); };
    runBatch();
    EXPECT_EQ(view.closeRequests, 1);
    EXPECT_EQ(stateAtClose, ConversionRun::Idle);
    EXPECT_EQ(power.requests, 0);
    EXPECT_EQ(view.powerOffQuestions, 0);
    EXPECT_TRUE(interactive.messages.isEmpty());

    // The window refused to close: the run is idle and converts again.
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
    EXPECT_FALSE(view.progressPanelShown);
    runBatch();
    EXPECT_EQ(folder.callCount(), 2);
    EXPECT_EQ(view.closeRequests, 2);

    ConversionRun second(tasks, view, interactive, shell, power);
    second.setEnginePath(folder.enginePath());
    view.options = {false, true, false, false};
    view.folder = folder.path(); // opened as typed
    QSignalSpy finished(&second, &ConversionRun::finished);
    second.RunConversion(QString());
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(shell.opened, QStringList({folder.path()}));
    EXPECT_EQ(interactive.messages.size(), 1);
    EXPECT_EQ(second.RunState(), ConversionRun::Idle);
}

TEST_F(ConversionRunTest, TimerEstimatesTheRemainingTime)
{
    addTask(QStringLiteral("a"));
    folder.setScript(QStringLiteral("print 0 a\nprint 60 b\nprint 60 time=2.50 \nsleep 300\nexit 0\n"));
    int ticks = 0;
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    EXPECT_EQ(view.remaining, QString()); // cleared when the run begins
    run.timerTick();
    ++ticks;
    EXPECT_EQ(view.remaining, QStringLiteral("00:00:00")); // no progress yet: no estimate
    // Wait until the engine's progress put the total at 25%.
    for (int i = 0; i < 100 && run.totalPosition() != 25; ++i)
        QTest::qWait(20);
    ASSERT_EQ(run.totalPosition(), 25);
    for (; ticks < 90; ++ticks)
        run.timerTick();
    EXPECT_EQ(view.elapsed, QStringLiteral("00:01:30"));
    EXPECT_EQ(view.remaining, QStringLiteral("00:04:30"));
    ASSERT_TRUE(finished.wait(10000));
}

TEST_F(ConversionRunTest, OpensTheFolderAsAnAbsolutePath)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    addTask(QStringLiteral("a"));
    view.options.openDir = true;
    view.folder = QStringLiteral("out");
    runBatch();
    QDir::setCurrent(previous);

    EXPECT_EQ(QFileInfo(folder.arguments(1).last()).fileName(), QStringLiteral("a.mp4"));
    EXPECT_EQ(EntriesIn(folder.filePath(QStringLiteral("out"))), QStringList{QStringLiteral("a.mp4")});
    ASSERT_EQ(shell.opened.size(), 1);
    EXPECT_TRUE(QDir::isAbsolutePath(shell.opened[0])) << shell.opened[0].toStdString();
    EXPECT_EQ(QDir(shell.opened[0]).canonicalPath(), QDir(folder.filePath(QStringLiteral("out"))).canonicalPath());
}

TEST_F(ConversionRunTest, FolderAndExtensionAreTakenAtTheStartOfTheBatch)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    const QString first = view.folder;
    const QString second = folder.filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(second);
    view.options.openDir = true;
    // Changed in the window while the first task converts.
    QObject::connect(&run, &ConversionRun::engineStarted, [&] {
        view.folder = second;
        view.ext = QStringLiteral(".mkv");
    });
    runBatch();

    EXPECT_EQ(EntriesIn(first), QStringList({"a.mp4", "b.mp4"}));
    EXPECT_TRUE(EntriesIn(second).isEmpty());
    EXPECT_EQ(shell.opened, QStringList({first}));

    // The next batch takes the new ones.
    runBatch();
    EXPECT_TRUE(IsWorkFileFor(folder.arguments(3).last(), second + QStringLiteral("/a.mkv")));
    EXPECT_EQ(EntriesIn(second), QStringList({"a.mkv", "b.mkv"}));
}

TEST_F(ConversionRunTest, ATaskWithoutItsOwnExtensionIsRenamedWithTheBatchExtension)
{
    addTask(QStringLiteral("a"));
    ltvItemData task;
    ReadItemData(tasks, 0, WholeRowField, task);
    task.NewExt.clear(); // added before any profile was loaded
    WriteItemData(tasks, 0, 4, task);
    QFile existing(view.folder + QStringLiteral("/a.mp4"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    view.options.rename = true;

    runBatch();

    EXPECT_TRUE(wroteWorkFileFor(1, QStringLiteral("a_1.mp4"))) << folder.arguments(1).last().toStdString();
}

TEST_F(ConversionRunTest, ProgressTooLargeToComputeLeavesTheBars)
{
    addTask(QStringLiteral("a"));
    folder.setScript(QStringLiteral("print 0 x\nprint 60 y\nprint 60 time=2.50 \r\n"
                                    "print 60 time=1e300 \r\nprint 60 time=1e308 \r\nexit 0\n"));
    runBatch();
    // 2.5 of 10: 25%; the huge times move neither bar; the end of the (only)
    // task completes the total.
    EXPECT_EQ(view.currentHistory, QList<int>({0, 25}));
    EXPECT_EQ(view.totalHistory, QList<int>({0, 25, 100}));
    EXPECT_EQ(status(0), QStringLiteral("Complete"));
}

TEST_F(ConversionRunTest, ChunksWithoutTimeMoveNothing)
{
    addTask(QStringLiteral("a"));
    // Numbers where a time would stand if "time" were there.
    folder.setScript(QStringLiteral("print 0 x\nprint 60 y\nprint 60 1234567.5 frames\r\n"
                                    "print 60 abc\r\nprint 60 xxxx5.00 \r\nprint 60 time=5.00 \r\nexit 0\n"));
    runBatch();
    EXPECT_EQ(view.currentHistory, QList<int>({0, 50}));
    EXPECT_EQ(view.totalHistory, QList<int>({0, 50, 100}));
}

TEST_F(ConversionRunTest, TotalBarNeverDropsWhenATaskRanPastItsLength)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    folder.setScript(QStringLiteral("print 0 x\nprint 60 y\nprint 60 time=15.00 \r\nexit 0\n"), 1);
    runBatch();
    // 15 s of a 10 s task: 75% of the batch; its end (10 of 20 s done) keeps 75.
    EXPECT_EQ(view.totalHistory, QList<int>({0, 75, 100}));
    EXPECT_EQ(view.currentHistory, QList<int>({0, 100, 0}));
}

TEST_F(ConversionRunTest, AbandonKillsTheEngineAndEndsQuietly)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    folder.setScript(QStringLiteral("print 0 started\nsleep 60000\nexit 0\n"));
    QSignalSpy finished(&run, &ConversionRun::finished);

    run.abandon(); // idle: nothing
    EXPECT_EQ(finished.count(), 0);

    run.RunConversion(QString());
    QSignalSpy started(&run, &ConversionRun::engineStarted);
    ASSERT_TRUE(started.wait(10000));
    // Wait for the engine's first words, so that it surely runs.
    for (int i = 0; i < 500 && view.memo.isEmpty(); ++i)
        QTest::qWait(10);
    ASSERT_TRUE(ProcessRunsWith(folder.enginePath()));

    run.abandon();

    EXPECT_FALSE(ProcessRunsWith(folder.enginePath())) << "the engine outlived the run";
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
    EXPECT_EQ(status(0), QStringLiteral("Stop"));
    EXPECT_EQ(status(1), QStringLiteral("OK"));
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_FALSE(view.progressPanelShown);
    EXPECT_TRUE(interactive.messages.isEmpty());
    QTest::qWait(100);
    EXPECT_EQ(folder.callCount(), 1);
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(ConversionRunTest, AbandonBetweenTasksStartsNothingMore)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    addTask(QStringLiteral("c"));
    QSignalSpy finished(&run, &ConversionRun::finished);
    QObject::connect(&tasks, &QAbstractItemModel::dataChanged, &run, [&](const QModelIndex &index) {
        if (index.row() == 0 && index.column() == 3 && index.data().toString() == QStringLiteral("Complete"))
            run.abandon();
    });
    run.RunConversion(QString());
    ASSERT_TRUE(finished.wait(10000));
    QTest::qWait(100);
    EXPECT_EQ(finished.count(), 1);
    // The second engine may have started while the first output was checked;
    // it is gone, and nothing after it started.
    EXPECT_LE(folder.callCount(), 2);
    EXPECT_FALSE(ProcessRunsWith(folder.enginePath()));
    EXPECT_EQ(status(0), QStringLiteral("Complete"));
    EXPECT_NE(status(1), QStringLiteral("Complete"));
    EXPECT_EQ(status(2), QStringLiteral("OK"));
    EXPECT_EQ(EntriesIn(view.folder), QStringList{QStringLiteral("a.mp4")});
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(ConversionRunTest, AbandonDuringThePowerOffCountdownTurnsNothingOff)
{
    addTask(QStringLiteral("a"));
    view.options = {false, false, false, true};
    view.onConfirm = [&] { run.abandon(); };
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    ASSERT_TRUE(finished.wait(10000));
    QTest::qWait(50);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(power.questions, 0);
    EXPECT_EQ(power.requests, 0);
    EXPECT_EQ(view.closeRequests, 0);
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(ConversionRunTest, TheFailureCountStartsAgainWithEachBatch)
{
    addTask(QStringLiteral("a"));
    folder.setScript(QStringLiteral("exit 1\n"), 1);
    runBatch();
    runBatch();
    EXPECT_EQ(status(0), QStringLiteral("Complete"));
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Complete|The conversion is finished, but 1 of 1 files failed.",
                           "information|Complete|The coversion is completed successfully."}));
}

TEST_F(ConversionRunTest, TheRemainingTimeFollowsTheWholeBatch)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    folder.setScriptFor(QStringLiteral("b.avi"),
                        QStringLiteral("print 0 x\nprint 60 y\nprint 60 time=5.00 \nsleep 20000\nexit 0\n"));
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    // a done, b half done: 75% of the batch after 90 s leaves 30 s.
    ASSERT_TRUE(waitFor([&] { return run.totalPosition() == 75; }));
    EXPECT_EQ(run.currentPosition(), 50);
    for (int tick = 0; tick < 90; ++tick)
        run.timerTick();
    EXPECT_EQ(view.remaining, QStringLiteral("00:00:30"));
    run.requestStop();
    ASSERT_TRUE(finished.wait(20000));
}

TEST_F(ConversionRunTest, AbandonedWhileTheCompleteMessageIsUpOpensNothing)
{
    addTask(QStringLiteral("a"));
    view.options.openDir = true;
    interactive.onMessage = [&] { run.abandon(); };
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    // The message, the folder and the end all follow from the one check
    // result: a second end would be signalled before this wait returns.
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
}

TEST_F(ConversionRunTest, AnEngineThatCannotStartLeavesItsErrorWithTheRow)
{
    addTask(QStringLiteral("a"));
    QFile::remove(folder.enginePath());
    runBatch();
    const QString kept = tasks.index(0, 0).data(TaskListModel::EngineOutputRole).toString();
    EXPECT_TRUE(kept.contains(QStringLiteral("No such file"))) << kept.toStdString();
    EXPECT_EQ(tip(0), QStringLiteral("The engine could not be started: No such file or directory.\n") + kept);
}

// Outputs the engine ends with status 0 and that are not what was asked for.
TEST_F(ConversionRunTest, ABadOutputFailsItsTaskWithTheReasonFirst)
{
    const QString trailer = QStringLiteral("[mp4 @ 0x5581] Error writing trailer of x.mp4: No space left on device");
    const QString diskFull = QStringLiteral("The disk is full: free some space or choose another output folder.");
    const struct
    {
        const char *name;
        QString script;
        QString reason;
        QString first = QString(); // the tip's first line, when not the reason
    } cases[] = {
        // Half a file, and the engine's complaint split over two reads.
        {"damaged",
         QStringLiteral("damaged 5000\nprint 0 frame=10 time=00:00:04.00 \\r\nprint 60 ") + trailer.left(25)
             + QStringLiteral("\nprint 60 ") + trailer.mid(25) + QStringLiteral("\\n\nexit 0\n"),
         QStringLiteral("The output is damaged: the engine reported \"%1\".").arg(trailer), diskFull},
        {"missing", QStringLiteral("no-output\nexit 0\n"), QStringLiteral("The output file is missing or empty.")},
        {"empty", QStringLiteral("damaged 0\nexit 0\n"), QStringLiteral("The output file is missing or empty.")},
        {"short", QStringLiteral("output 00:00:00.14\nexit 0\n"),
         QStringLiteral("The output lasts 0.14 s instead of 8.00 s.")},
        {"sound only", QStringLiteral("output 00:00:08.00 audio\nexit 0\n"),
         QStringLiteral("The output has no video stream.")},
        {"not media", QStringLiteral("damaged 3000\nexit 0\n"),
         QStringLiteral("The output could not be read.")},
        // The engine's last words name the failed write, with no line end after them.
        {"unended",
         QStringLiteral("print 0 frame=10 time=00:00:04.00 \\r\nprint 60 ") + trailer + QStringLiteral("\nexit 0\n"),
         QStringLiteral("The output is damaged: the engine reported \"%1\".").arg(trailer), diskFull},
        // A failure status too: the write failure is named before the engine's last words.
        {"full",
         QStringLiteral("print 0 av_interleaved_write_frame(): No space left on device\\n\nprint 0 Conversion failed!\n"
                        "exit 1\n"),
         QStringLiteral("The output is damaged: the engine reported "
                        "\"av_interleaved_write_frame(): No space left on device\"."),
         diskFull},
        // The reason comes first whatever the engine wrote after it, and
        // names the output by its own path.
        {"long",
         QStringLiteral("print 0 Output #0, mp4, to '{output}':\\n  Metadata:\\n    encoder         : Lavf59\\n\n"
                        "print 0 {output}: File name too long\\n\nexit 1\n"),
         QStringLiteral("The name \"long.mp4\" is too long for its file system: choose a shorter output name or folder.")},
        {"unknown codec",
         QStringLiteral("print 0 Decoder (codec none) not found for input stream #0:0\\n[aac @ 0x55] Qavg: 105.9\\n"
                        "  Metadata:\\n\nexit 1\n"),
         QStringLiteral("The engine does not know the codec of the input's video or audio stream: it cannot be "
                        "converted or copied.")},
        {"unexplained", QStringLiteral("print 0 [mp4 @ 0x55] Invalid packet size 7\\n[libx264 @ 0x55] kb/s:92.02\\n"
                                       "  Metadata:\\n\nexit 1\n"),
         QStringLiteral("The engine reported: Invalid packet size 7")},
        {"silent", QStringLiteral("print 0   Metadata:\\n\nexit 1\n"),
         QStringLiteral("The engine ended with an error without saying why.")},
    };
    for (const auto &c : cases) {
        addTask(QLatin1String(c.name), QStringLiteral("00:00:08"));
        folder.setScriptFor(QLatin1String(c.name) + QStringLiteral(".avi"), c.script);
    }
    addTask(QStringLiteral("good"), QStringLiteral("00:00:08"));

    runBatch();

    int row = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(status(row), QStringLiteral("Failed"));
        const QStringList lines = tip(row).split(QLatin1Char('\n'));
        EXPECT_EQ(lines.first(), c.first.isEmpty() ? c.reason : c.first);
        EXPECT_TRUE(lines.contains(c.reason)) << tip(row).toStdString();
        EXPECT_FALSE(QFileInfo::exists(view.folder + QLatin1Char('/') + QLatin1String(c.name) + ".mp4"));
        EXPECT_FALSE(tip(row).contains(QLatin1String("/proc/")) || tip(row).contains(WorkFolder::NamePrefix))
            << tip(row).toStdString();
        ++row;
    }
    EXPECT_TRUE(tip(8).contains(view.folder + QStringLiteral("/long.mp4: File name too long"))) << tip(8).toStdString();
    // The engine's own lines follow the reason.
    EXPECT_TRUE(tip(0).endsWith(trailer)) << tip(0).toStdString();
    EXPECT_EQ(status(row), QStringLiteral("Complete"));
    EXPECT_TRUE(tip(row).isEmpty());
    EXPECT_EQ(EntriesIn(view.folder), QStringList{QStringLiteral("good.mp4")});
    EXPECT_EQ(interactive.messages,
              QStringList({QStringLiteral("warning|Complete|The conversion is finished, but 12 of 13 files failed.")}));
}

// An engine whose output time runs far past its task's length, or stands
// still, is stopped and its task fails with that reason; one that moves on
// in time is let finish, and what it said of its input is told.
TEST_F(ConversionRunTest, TheWatchdogStopsARunawayOrStalledEngine)
{
    const QString banner = QStringLiteral("print 0 banner\nprint 60 more banner\n");
    const struct
    {
        const char *name;
        QString script;
        QString status;
        QString reason; // the tip's first line
    } cases[] = {
        {"runaway",
         banner + "print 60 frame=1 time=00:00:05.00 \\r\nprint 60 frame=9 time=00:01:15.50 \\r\nsleep 30000\nexit 0\n",
         RowStatus::Failed,
         "The engine was stopped: its output had reached 75.5 s, far beyond the 10.0 s of its input, whose times may "
         "be damaged."},
        {"stalled", banner + "print 60 frame=1 time=00:00:01.00 \\r\nsleep 30000\nexit 0\n", RowStatus::Failed,
         "The engine was stopped: its work made no progress for 2 s."},
        {"within", banner + "print 60 frame=1 time=00:00:09.00 \\r\nprint 60 frame=2 time=00:01:14.00 \\r\nexit 0\n",
         RowStatus::Complete, ""},
        // An input cut short is no plain success: the output is kept, and the
        // row says what it holds.
        {"cut short", banner + "print 60 [matroska,webm @ 0x55] File ended prematurely\\n\nexit 0\n",
         RowStatus::Complete, "The engine found that the input ends early: the output holds all it could read."},
    };
    for (const auto &c : cases) {
        addTask(QLatin1String(c.name));
        folder.setScriptFor(QLatin1String(c.name) + QStringLiteral(".avi"), QString(c.script));
    }
    run.setStallMs(2000);
    runBatch(QString(), 60000);

    for (int row = 0; row < int(std::size(cases)); ++row) {
        SCOPED_TRACE(cases[row].name);
        EXPECT_EQ(status(row), cases[row].status);
        EXPECT_EQ(tip(row).section(QLatin1Char('\n'), 0, 0), cases[row].reason);
    }
    EXPECT_EQ(EntriesIn(view.folder), QStringList({QStringLiteral("cut short.mp4"), QStringLiteral("within.mp4")}));
    EXPECT_TRUE(waitFor([&] { return CountProcesses(folder.enginePath(), QStringLiteral("-y")) == 0; }))
        << "an engine was left running";
}

// The output of one task is probed while the next task's engine works; the
// rows still change one after another.
TEST_F(ConversionRunTest, TheNextEngineWorksWhileAnOutputIsChecked)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    addTask(QStringLiteral("c"));
    folder.setCheckDelay(400);
    QStringList changes;
    int enginesWhenFirstDone = 0;
    QObject::connect(&tasks, &QAbstractItemModel::dataChanged, &run, [&](const QModelIndex &index) {
        if (index.column() != 3)
            return;
        changes << QStringLiteral("%1 %2").arg(index.row()).arg(index.data().toString());
        if (index.row() == 0 && index.data().toString() == QStringLiteral("Complete"))
            enginesWhenFirstDone = folder.callCount();
    });

    runBatch();

    EXPECT_EQ(enginesWhenFirstDone, 2);
    EXPECT_EQ(changes, QStringList({"0 Converting", "0 Complete", "1 Converting", "1 Complete", "2 Converting",
                                    "2 Complete"}));
    EXPECT_EQ(folder.checkCount(), 3);
    EXPECT_EQ(interactive.messages, QStringList({"information|Complete|The coversion is completed successfully."}));
}

// Stop or a closed window while the last output is checked.
TEST_F(ConversionRunTest, StopWhileTheLastOutputIsCheckedCancelsTheEndOfBatch)
{
    addTask(QStringLiteral("a"));
    view.options.turnOff = true;
    folder.setCheckDelay(400);
    QObject::connect(&run, &ConversionRun::engineStarted, &run,
                     [&] { QTimer::singleShot(200, &run, &ConversionRun::requestStop); });
    runBatch();
    // The output was good: it is kept, and the row tells so; like the batch,
    // it ends as stopped.
    EXPECT_EQ(status(0), QStringLiteral("Stop"));
    EXPECT_EQ(tip(0), QStringLiteral("Stopped while its output was checked: the output was found good and kept as \"%1\".")
                          .arg(view.folder + QStringLiteral("/a.mp4")));
    EXPECT_TRUE(QFileInfo::exists(view.folder + QStringLiteral("/a.mp4")));
    EXPECT_EQ(interactive.messages, QStringList({"information|Cancel|The Coversion is canceled."}));
    EXPECT_EQ(view.powerOffQuestions, 0);
    EXPECT_EQ(power.requests, 0);
}

TEST_F(ConversionRunTest, AbandonWhileAnOutputIsCheckedKeepsNothingOfIt)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    folder.setCheckDelay(20000);
    folder.setScriptFor(QStringLiteral("b.avi"), QStringLiteral("sleep 20000\nexit 0\n"));
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    ASSERT_TRUE(waitFor([&] { return folder.checkCount() == 1 && folder.callCount() == 2; }));

    run.abandon();

    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(ProcessRunsWith(folder.enginePath()));
    EXPECT_EQ(status(0), QStringLiteral("Stop"));
    EXPECT_EQ(status(1), QStringLiteral("Stop"));
    EXPECT_TRUE(EntriesIn(view.folder).isEmpty());
    EXPECT_TRUE(interactive.messages.isEmpty());
}

// Overwriting chosen, an earlier output under the final name: whatever ends the
// task before its output is good leaves that file as it was, and no temporary.
class EarlierOutputTest : public ConversionRunTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(EarlierOutputTest, SurvivesAnyEndButSuccess)
{
    addTask(QStringLiteral("a"));
    const QString final = view.folder + QStringLiteral("/a.mp4");
    QFile earlier(final);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("the user's earlier output");
    earlier.close();
    const std::string way = GetParam();
    // The engine has written part of the output when it is stopped or fails.
    if (way == "stop" || way == "abandon") {
        folder.setScript(QStringLiteral("damaged 4000\nprint 0 started\nsleep 20000\nexit 0\n"));
        QObject::connect(&run, &ConversionRun::engineStarted, &run, [&, way] {
            QTimer::singleShot(300, &run, [&, way] {
                if (way == "stop")
                    run.requestStop();
                else
                    run.abandon();
            });
        });
    } else if (way == "failure") {
        folder.setScript(QStringLiteral("damaged 4000\nprint 0 Conversion failed!\nexit 1\n"));
    } else if (way == "crash") {
        folder.setScript(QStringLiteral("damaged 4000\ncrash\n"));
    } else {
        ASSERT_EQ(way, "damaged");
        folder.setScript(QStringLiteral("damaged 4000\nprint 0 Error closing file x.mp4: Input/output error\nexit 0\n"));
    }

    runBatch();

    EXPECT_NE(status(0), QStringLiteral("Complete"));
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), QByteArray("the user's earlier output"));
    EXPECT_EQ(EntriesIn(view.folder), QStringList{QStringLiteral("a.mp4")});
}

INSTANTIATE_TEST_SUITE_P(Ways, EarlierOutputTest,
                         ::testing::Values("stop", "abandon", "failure", "crash", "damaged"));

TEST_F(ConversionRunTest, ALinkAtTheOutputPathIsReplacedNotWrittenThrough)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    // An input with something of its own after the media lines, and a file of the user's.
    const QString input = folder.filePath(QStringLiteral("a.avi"));
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("the input's own bytes\n");
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const QString other = folder.filePath(QStringLiteral("other.txt"));
    QFile otherFile(other);
    ASSERT_TRUE(otherFile.open(QIODevice::WriteOnly));
    otherFile.write("keep me");
    otherFile.close();
    // A hard link to the input and a symbolic one to the other file stand under the output names.
    ASSERT_EQ(::link(QFile::encodeName(input).constData(),
                     QFile::encodeName(view.folder + QStringLiteral("/a.mp4")).constData()),
              0);
    ASSERT_TRUE(QFile::link(other, view.folder + QStringLiteral("/b.mp4")));

    runBatch();

    EXPECT_EQ(status(0), QStringLiteral("Complete"));
    EXPECT_EQ(status(1), QStringLiteral("Complete"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before) << "the input was written through a link";
    ASSERT_TRUE(otherFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(otherFile.readAll(), QByteArray("keep me"));
    for (const char *name : {"a.mp4", "b.mp4"}) {
        const QFileInfo output(view.folder + QLatin1Char('/') + QLatin1String(name));
        EXPECT_FALSE(output.isSymLink()) << name;
        EXPECT_GT(output.size(), 0) << name;
    }
}

TEST_F(ConversionRunTest, TasksOfOneBatchNeverShareAnOutput)
{
    for (const bool rename : {false, true}) {
        SCOPED_TRACE(rename ? "rename" : "overwrite");
        QDir(view.folder).removeRecursively();
        QDir().mkpath(view.folder);
        tasks.removeRows(0, tasks.rowCount());
        view.options.rename = rename;
        addTask(QStringLiteral("same"));
        addTask(QStringLiteral("other"));
        // One base name, another input type.
        ltvItemData mov;
        ReadItemData(tasks, 0, WholeRowField, mov);
        mov.InputFile = folder.filePath(QStringLiteral("same.mov"));
        ASSERT_TRUE(WriteFakeMedia(mov.InputFile, QStringLiteral("00:00:10")));
        tasks.appendTask(mov);
        // A task whose output would be the input of another task of the batch.
        ltvItemData into = mov;
        into.InputFile = folder.filePath(QStringLiteral("into.avi"));
        into.NewName = QStringLiteral("input");
        ASSERT_TRUE(WriteFakeMedia(into.InputFile, QStringLiteral("00:00:10")));
        tasks.appendTask(into);
        ltvItemData input = mov;
        input.InputFile = view.folder + QStringLiteral("/input.mp4");
        input.NewName = QStringLiteral("converted");
        ASSERT_TRUE(WriteFakeMedia(input.InputFile, QStringLiteral("00:00:10")));
        tasks.appendTask(input);

        runBatch();

        for (int row = 0; row < tasks.rowCount(); ++row)
            EXPECT_EQ(status(row), QStringLiteral("Complete")) << row;
        EXPECT_TRUE(tip(0).isEmpty());
        EXPECT_EQ(tip(2), QStringLiteral("Renamed to same_3.mp4: an earlier task of this batch writes same.mp4"));
        EXPECT_EQ(tip(3), QStringLiteral("Renamed to input_4.mp4: input.mp4 is the input of another task of this batch"));
        EXPECT_EQ(run.outputPath(), view.folder + QStringLiteral("/converted.mp4"));
        for (const char *name : {"same.mp4", "same_3.mp4", "input_4.mp4", "converted.mp4"})
            EXPECT_TRUE(QFileInfo::exists(view.folder + QLatin1Char('/') + QLatin1String(name))) << name;
        // The input that another task would have written over is the one converted.
        EXPECT_EQ(folder.arguments(folder.callCount()).value(2), input.InputFile);
    }
}

// Names a crash of an earlier version left beside the outputs are not the
// run's: never written through, and left for the task-list recovery.
TEST_F(ConversionRunTest, AStaleTemporaryIsNotWrittenThrough)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    folder.setScriptFor(QStringLiteral("b.avi"), QStringLiteral("no-output\nexit 1\n"));
    // Left by a crash: hard links to a file that is no output.
    const QString precious = folder.filePath(QStringLiteral("precious.txt"));
    QFile file(precious);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    for (const char *name : {"a.mp4", "b.mp4"})
        ASSERT_EQ(::link(QFile::encodeName(precious).constData(), QFile::encodeName(view.folder + QLatin1Char('/') + TemporaryOutputPath(QLatin1String(name))).constData()),
                  0);

    runBatch();

    EXPECT_EQ(status(0), QStringLiteral("Complete"));
    EXPECT_EQ(status(1), QStringLiteral("Failed"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("keep me"));
    EXPECT_EQ(EntriesIn(view.folder),
              QStringList({".a.vantorix-part.mp4", ".b.vantorix-part.mp4", "a.mp4"}));
}

TEST(OutputCheck, LengthWithinASecondOrTwoPercentAndAPictureWhenOneIsWritten)
{
    const auto report = [](const char *length, bool video) {
        return ProbeReport{QLatin1String(length), video ? QStringLiteral(" 320x240") : QString(), {}};
    };
    EXPECT_EQ(CheckOutputReport(report("00:00:10.90", true), 10, true), QString());
    EXPECT_FALSE(CheckOutputReport(report("00:00:11.10", true), 10, true).isEmpty());
    EXPECT_FALSE(CheckOutputReport(report("00:00:08.90", true), 10, true).isEmpty());
    EXPECT_EQ(CheckOutputReport(report("00:01:41.90", true), 100, true), QString());
    EXPECT_EQ(CheckOutputReport(report("00:01:38.10", true), 100, true), QString());
    EXPECT_FALSE(CheckOutputReport(report("00:01:42.10", true), 100, true).isEmpty());
    // Unknown length asked for: only the picture counts.
    EXPECT_EQ(CheckOutputReport(report("N/A", true), -1, true), QString());
    EXPECT_EQ(CheckOutputReport(report("00:00:10.00", false), 10, false), QString());
    EXPECT_EQ(CheckOutputReport(report("00:00:10.00", false), 10, true), QStringLiteral("The output has no video stream."));

    EXPECT_TRUE(WritesVideo(QStringLiteral(" -vcodec libx264"), QStringLiteral("/o/a.mp4")));
    EXPECT_FALSE(WritesVideo(QStringLiteral(" -vn -acodec aac"), QStringLiteral("/o/a.mp4")));
    EXPECT_FALSE(WritesVideo(QStringLiteral(" -vcodec copy"), QStringLiteral("/o/a.MP3")));
    EXPECT_FALSE(WritesVideo(QString(), QStringLiteral("/o/a.flac")));
    EXPECT_TRUE(WritesVideo(QStringLiteral(" -metadata title=-vnx"), QStringLiteral("/o/a.mkv")));
}

// Every way a batch ends gives the machine back its sleep, once, and tells the
// window once that it is over, with the timer stopped and before any message.
class SleepInhibitionTest : public ConversionRunTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(SleepInhibitionTest, EveryWayOutReleasesOnce)
{
    RecordingSleepInhibitor inhibitor;
    run.setSleepInhibitor(&inhibitor);
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    bool heldWhileConverting = true;
    QObject::connect(&run, &ConversionRun::engineStarted, [&] { heldWhileConverting &= inhibitor.held; });
    QList<qsizetype> messagesAtEnd;
    bool timerAtEnd = false;
    view.onBatchEnded = [&] {
        messagesAtEnd << interactive.messages.size();
        timerAtEnd |= view.timerEnabled;
    };
    const std::string way = GetParam();
    if (way == "stop") {
        folder.setScript(QStringLiteral("print 0 started\nsleep 20000\nexit 0\n"));
        QObject::connect(&run, &ConversionRun::engineStarted, &run,
                         [&] { QTimer::singleShot(100, &run, &ConversionRun::requestStop); });
    } else if (way == "start failure") {
        QFile::remove(folder.enginePath());
    } else if (way == "abandon") {
        folder.setScript(QStringLiteral("print 0 started\nsleep 20000\nexit 0\n"));
        QObject::connect(&run, &ConversionRun::engineStarted, &run,
                         [&] { QTimer::singleShot(100, &run, &ConversionRun::abandon); });
    } else if (way == "exit") {
        view.options.exitProgram = true;
    } else if (way == "power off") {
        view.options.turnOff = true;
    } else if (way == "power off cancelled") {
        view.options.turnOff = true;
        view.powerOffConfirmed = false;
    } else if (way == "power off refused") {
        view.options.turnOff = true;
        power.allowed = false;
    } else {
        ASSERT_EQ(way, "complete");
    }

    runBatch();

    EXPECT_EQ(inhibitor.inhibits, 1);
    EXPECT_EQ(inhibitor.releases, 1);
    EXPECT_FALSE(inhibitor.held);
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
    if (way != "start failure") {
        EXPECT_TRUE(heldWhileConverting);
    }
    ASSERT_EQ(inhibitor.reasons.size(), 1);
    EXPECT_FALSE(inhibitor.reasons[0].isEmpty());
    EXPECT_EQ(view.endedBatches, QList<QList<int>>({{0, 1}}));
    EXPECT_EQ(messagesAtEnd, QList<qsizetype>({0}));
    EXPECT_FALSE(timerAtEnd);

    // No batch without tasks: nothing held, and an end with no rows.
    tasks.removeRows(0, tasks.rowCount());
    runBatch();
    EXPECT_EQ(inhibitor.inhibits, 1);
    EXPECT_EQ(inhibitor.releases, 1);
    EXPECT_EQ(view.endedBatches, QList<QList<int>>({{0, 1}, {}}));
}

INSTANTIATE_TEST_SUITE_P(WaysOut, SleepInhibitionTest,
                         ::testing::Values("complete", "stop", "start failure", "abandon", "exit", "power off",
                                           "power off cancelled", "power off refused"),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

TEST(OutputPath, RenameRuleNeverOverwritesWhenToldNotTo)
{
    TestProgramFolder folder(TestProgramFolder::Engine::None);
    const QString dir = folder.path();
    auto touch = [&](const QString &name) {
        QFile file(dir + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    ltvItemData task;
    task.InputFile = dir + QStringLiteral("clip.avi");
    task.NewName = QStringLiteral("clip");
    task.NewExt = QStringLiteral(".avi");
    touch(QStringLiteral("clip.avi"));

    // Nothing in the way.
    EXPECT_EQ(OutputNaming::PathFor(task, 0, dir, QStringLiteral(".mp4"), true), dir + "clip.mp4");
    // The input itself: indexed, whatever the overwrite choice; the row number counts from 1.
    EXPECT_EQ(OutputNaming::PathFor(task, 2, dir, QStringLiteral(".avi"), false), dir + "clip_3.avi");
    EXPECT_EQ(OutputNaming::PathFor(task, 2, dir.chopped(1), QStringLiteral(".avi"), true),
              dir + "clip_3.avi");
    // Overwriting chosen: an existing output is overwritten.
    touch(QStringLiteral("clip.mp4"));
    EXPECT_EQ(OutputNaming::PathFor(task, 0, dir, QStringLiteral(".mp4"), false), dir + "clip.mp4");
    // Renaming chosen: indexed, counting on past names that exist too.
    task.NewExt = QStringLiteral(".mp4");
    EXPECT_EQ(OutputNaming::PathFor(task, 2, dir, QStringLiteral(".mp4"), true), dir + "clip_3.mp4");
    touch(QStringLiteral("clip_3.mp4"));
    touch(QStringLiteral("clip_3_2.mp4"));
    EXPECT_EQ(OutputNaming::PathFor(task, 2, dir, QStringLiteral(".mp4"), true), dir + "clip_3_3.mp4");
    // An input that happens to carry the indexed name is skipped as well.
    ltvItemData indexed = task;
    indexed.InputFile = dir + QStringLiteral("clip_1.mp4");
    touch(QStringLiteral("clip_1.mp4"));
    EXPECT_EQ(OutputNaming::PathFor(indexed, 0, dir, QStringLiteral(".mp4"), false), dir + "clip.mp4");
    indexed.NewName = QStringLiteral("clip_1");
    EXPECT_EQ(OutputNaming::PathFor(indexed, 0, dir, QStringLiteral(".mp4"), false),
              dir + "clip_1_1.mp4");
    // A task without an extension of its own takes the batch's.
    ltvItemData bare = task;
    bare.NewExt.clear();
    EXPECT_EQ(OutputNaming::PathFor(bare, 2, dir, QStringLiteral(".mp4"), true), dir + "clip_3_3.mp4");
    bare.InputFile = dir + QStringLiteral("clip.avi");
    EXPECT_EQ(OutputNaming::PathFor(bare, 4, dir, QStringLiteral(".avi"), false), dir + "clip_5.avi");
}

} // namespace

namespace {

// "Quality: SSIM": the search's engines (the samples cut, each probe encoded
// and measured) run before the conversion, one after another; a stop ends a
// running one, and a search that learns nothing leaves the profile's settings.
TEST_F(ConversionRunTest, TheQualitySearchRunsItsEnginesBeforeTheConversionAndAStopEndsThem)
{
    const QString params = QStringLiteral(" -vcodec libx264 -b:v 800k -target_ssim 0.98 -acodec aac");
    addTask(QStringLiteral("a"), QStringLiteral("00:01:40"));
    // Stopped while the samples are cut.
    folder.setScript(QStringLiteral("pid cutter\nwait-for never\n"), 1);
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(params);
    ASSERT_TRUE(waitFor([&] { return ReadRecordedProcess(folder.filePath(QStringLiteral("cutter"))).pid > 0; }));
    const pid_t cutter = ReadRecordedProcess(folder.filePath(QStringLiteral("cutter"))).pid;
    EXPECT_EQ(status(0), QStringLiteral("Converting"));
    // A pause holds the search's engine too.
    run.pause();
    EXPECT_TRUE(waitFor([&] { return ProcessState(cutter) == 'T'; })) << ProcessState(cutter);
    run.resume();
    EXPECT_TRUE(waitFor([&] { return ProcessState(cutter) != 'T'; })) << ProcessState(cutter);
    run.requestStop();
    ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
    EXPECT_EQ(status(0), QStringLiteral("Stop"));
    EXPECT_TRUE(waitFor([&] { return !ProcessAlive(cutter); })) << "the search's engine outlived the stop";
    EXPECT_EQ(folder.callCount(), 1);
    // Four samples spread over the 100 seconds, in one lossless file.
    const QStringList cut = folder.arguments(1);
    EXPECT_EQ(cut.count(QStringLiteral("-ss")), 4);
    EXPECT_EQ(cut.mid(cut.indexOf(QStringLiteral("-ss")), 4), QStringList({"-ss", "11.900", "-t", "1.200"}));
    EXPECT_TRUE(cut.contains(QStringLiteral("ffv1"))
                && cut.contains(QStringLiteral("[0:v:0][1:v:0][2:v:0][3:v:0]concat=n=4:v=1:a=0[v]")));

    // The fake engine cannot measure: after one probe the file is converted
    // as the profile says, and the tip tells why.
    folder.setScript(QString(), 1);
    runBatch(params);
    EXPECT_EQ(status(0), QStringLiteral("Complete"));
    EXPECT_TRUE(tip(0).startsWith(QStringLiteral("The quality could not be picked (A sample could not be converted: "))
                && tip(0).contains(QStringLiteral("): the profile's own settings were used.")))
        << tip(0).toStdString();
    ASSERT_EQ(folder.callCount(), 4);
    const QStringList probe = folder.arguments(3);
    EXPECT_EQ(probe.mid(probe.indexOf(QStringLiteral("-vcodec"))),
              QStringList({"-vcodec", "libx264", "-crf", "23", "-an", "-f", "matroska", probe.constLast()}));
    const QStringList conversion = folder.arguments(4);
    EXPECT_TRUE(conversion.contains(QStringLiteral("800k")));
    EXPECT_FALSE(conversion.contains(QStringLiteral("-target_ssim")) || conversion.contains(QStringLiteral("-crf")));
}

} // namespace
