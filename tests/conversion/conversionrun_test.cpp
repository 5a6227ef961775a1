#include "conversion/conversionrun.h"

#include "fakes/programfolder.h"
#include "fakes/recorders.h"
#include "fakeview.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A batch against the fake engine, with every window service recorded.
class ConversionRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        view.folder = folder.filePath(QStringLiteral("out"));
        QDir().mkpath(view.folder);
        run.setEnginePath(folder.enginePath());
    }

    // A task of `length` seconds whose range may be narrowed to start..end.
    void addTask(const QString &name, const QString &length = QStringLiteral("00:00:10"),
                 const QString &start = QStringLiteral("00:00:00.0"), const QString &end = QString())
    {
        ltvItemData task;
        task.InputFile = folder.filePath(name + QStringLiteral(".avi"));
        task.LengthText = length;
        task.SizeText = QStringLiteral(" 320x240");
        task.StatusText = QStringLiteral("OK");
        task.NewName = name;
        task.NewExt = QStringLiteral(".mp4");
        task.OrigStartText = QStringLiteral("00:00:00.0");
        task.OrigEndText = length;
        task.StartText = start;
        task.EndText = end.isEmpty() ? length : end;
        const double clip = TimeTextToSeconds(task.EndText) - TimeTextToSeconds(start);
        task.ClipLengthText = end.isEmpty() && start == task.OrigStartText ? length : SecondsToTimeText(clip);
        tasks.appendTask(task);
    }

    // Runs the batch and waits for its end.
    void runBatch(const QString &params = QString(), int timeoutMs = 20000)
    {
        QSignalSpy finished(&run, &ConversionRun::finished);
        run.RunConversion(params);
        ASSERT_TRUE(finished.count() == 1 || finished.wait(timeoutMs)) << "the batch did not end";
    }

    QString status(int row) const { return tasks.index(row, 3).data().toString(); }

    TestProgramFolder folder;
    TaskListModel tasks;
    FakeView view;
    RecordingInteractive interactive;
    RecordingShell shell;
    RecordingPowerControl power;
    ConversionRun run{tasks, view, interactive, shell, power};
};

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
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], QStringLiteral(" -y -i \"%1\" -vcodec mpeg4 -b:v \"800 k\" -ss 00:00:05 -t 16 \"%2\"")
                            .arg(folder.filePath(QStringLiteral("first.avi")), out + QStringLiteral("first.mp4")));
    EXPECT_EQ(texts[1], QStringLiteral(" -y -i \"%1\" -vcodec mpeg4 -b:v \"800 k\" \"%2\"")
                            .arg(folder.filePath(QStringLiteral("second.avi")), out + QStringLiteral("second.mp4")));
    EXPECT_EQ(texts[2], QStringLiteral(" -y -i \"%1\" -vcodec mpeg4 -b:v \"800 k\" -t 8 \"%2\"")
                            .arg(folder.filePath(QStringLiteral("third.avi")), out + QStringLiteral("third.mp4")));

    ASSERT_EQ(folder.callCount(), 3);
    EXPECT_EQ(folder.arguments(1),
              QStringList({"-y", "-i", folder.filePath(QStringLiteral("first.avi")), "-vcodec", "mpeg4", "-b:v",
                           "800 k", "-ss", "00:00:05", "-t", "16", out + QStringLiteral("first.mp4")}));
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
    // "é" split over two reads is decoded whole.
    folder.setScript(QStringLiteral("print 0 caf\\xC3\nprint 80 \\xA9 done\nexit 0\n"));

    runBatch();

    EXPECT_EQ(view.memo, QString::fromUtf8("\xC3\xA9 done"));
    EXPECT_EQ(tasks.item(0, 0)->data(TaskListModel::EngineOutputRole).toString(),
              QString::fromUtf8("caf\xC3\xA9 done"));
}

TEST_F(ConversionRunTest, KeptOutputIsBounded)
{
    addTask(QStringLiteral("a"));
    QString script;
    const QString line = QString(1000, QLatin1Char('x')) + QStringLiteral("\\n");
    for (int i = 0; i < 150; ++i)
        script += QStringLiteral("print 0 ") + line + QLatin1Char('\n');
    script += QStringLiteral("print 0 THE END\nexit 0\n");
    folder.setScript(script);

    runBatch();

    const QString kept = tasks.item(0, 0)->data(TaskListModel::EngineOutputRole).toString();
    EXPECT_LE(kept.size(), ConversionRun::KeptOutputChars);
    EXPECT_GT(kept.size(), ConversionRun::KeptOutputChars / 2);
    EXPECT_TRUE(kept.endsWith(QStringLiteral("THE END")));
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
    EXPECT_EQ(tasks.item(0, 0)->data(TaskListModel::EngineOutputRole).toString(),
              QStringLiteral("Invalid data found"));
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Complete|The conversion is finished, but 2 of 3 files failed."}));
    EXPECT_EQ(view.totalBar, 100);
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
    // Stop as soon as the first task has ended, before the next one starts.
    QObject::connect(&tasks, &QStandardItemModel::dataChanged, &run, [&](const QModelIndex &index) {
        if (index.row() == 0 && index.column() == 3 && index.data().toString() == QStringLiteral("Complete"))
            run.requestStop();
    });

    runBatch();

    EXPECT_EQ(folder.callCount(), 1);
    EXPECT_EQ(status(0), QStringLiteral("Complete"));
    EXPECT_EQ(status(1), QStringLiteral("OK"));
    EXPECT_EQ(interactive.messages, QStringList({"information|Cancel|The Coversion is canceled."}));
}

TEST_F(ConversionRunTest, EndOfBatchChoices)
{
    addTask(QStringLiteral("a"));

    // Power off wins over exit, and nothing else happens.
    view.options = {false, true, true, true};
    runBatch();
    EXPECT_EQ(power.requests, 1);
    EXPECT_EQ(view.closeRequests, 1);
    EXPECT_TRUE(interactive.messages.isEmpty());
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(ConversionRunTest, EndOfBatchExitAndOpenFolder)
{
    addTask(QStringLiteral("a"));
    view.options = {false, true, true, false};
    runBatch();
    EXPECT_EQ(view.closeRequests, 1);
    EXPECT_EQ(power.requests, 0);
    EXPECT_TRUE(interactive.messages.isEmpty());

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
    EXPECT_EQ(ConversionRun::OutputPathFor(task, 0, dir, QStringLiteral(".mp4"), true), dir + "clip.mp4");
    // The input itself: indexed, whatever the overwrite choice; the row number counts from 1.
    EXPECT_EQ(ConversionRun::OutputPathFor(task, 2, dir, QStringLiteral(".avi"), false), dir + "clip_3.avi");
    EXPECT_EQ(ConversionRun::OutputPathFor(task, 2, dir.chopped(1), QStringLiteral(".avi"), true),
              dir + "clip_3.avi");
    // Overwriting chosen: an existing output is overwritten.
    touch(QStringLiteral("clip.mp4"));
    EXPECT_EQ(ConversionRun::OutputPathFor(task, 0, dir, QStringLiteral(".mp4"), false), dir + "clip.mp4");
    // Renaming chosen: indexed, counting on past names that exist too.
    task.NewExt = QStringLiteral(".mp4");
    EXPECT_EQ(ConversionRun::OutputPathFor(task, 2, dir, QStringLiteral(".mp4"), true), dir + "clip_3.mp4");
    touch(QStringLiteral("clip_3.mp4"));
    touch(QStringLiteral("clip_3_2.mp4"));
    EXPECT_EQ(ConversionRun::OutputPathFor(task, 2, dir, QStringLiteral(".mp4"), true), dir + "clip_3_3.mp4");
    // An input that happens to carry the indexed name is skipped as well.
    ltvItemData indexed = task;
    indexed.InputFile = dir + QStringLiteral("clip_1.mp4");
    touch(QStringLiteral("clip_1.mp4"));
    EXPECT_EQ(ConversionRun::OutputPathFor(indexed, 0, dir, QStringLiteral(".mp4"), false), dir + "clip.mp4");
    indexed.NewName = QStringLiteral("clip_1");
    EXPECT_EQ(ConversionRun::OutputPathFor(indexed, 0, dir, QStringLiteral(".mp4"), false),
              dir + "clip_1_1.mp4");
}

} // namespace
