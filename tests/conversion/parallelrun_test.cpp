// Several engines at once, and pausing a batch, against the scripted fake
// engine.
#include "fakes/clips.h"
#include "fakes/processes.h"
#include "runfixture.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <algorithm>

namespace {

void touchFile(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
}

// The fake engine's script for one task: two chunks that never count, then
// the progress time `time`, then it waits for the file `release` before it
// ends (writing its pid to `name`.pid first).
QString heldScript(const QString &name, const QString &time, const QString &release, const QString &extra = {})
{
    return QStringLiteral("pid %1.pid\nprint 0 x\nprint 60 y\nprint 60 frame=1 time=%2 bitrate=1\\r\n"
                          "wait-for %3\n%4exit 0\n")
        .arg(name, time, release, extra);
}

class ParallelRunTest : public ConversionRunTest
{
protected:
    void SetUp() override
    {
        ConversionRunTest::SetUp();
        view.options.jobs = 2;
        // The most conversion engines seen alive at once, looked at whenever
        // one starts and whenever a row changes.
        const auto sample = [this] {
            mostEngines = std::max(mostEngines, CountProcesses(folder.enginePath(), QStringLiteral("-y")));
        };
        QObject::connect(&run, &ConversionRun::engineStarted, &run, sample);
        QObject::connect(&tasks, &QAbstractItemModel::dataChanged, &run, [this, sample](const QModelIndex &index) {
            sample();
            if (index.column() == 3)
                changes << QStringLiteral("%1 %2").arg(index.row()).arg(index.data().toString());
        });
    }

    void release(const QString &name) const { touchFile(folder.filePath(name)); }
    pid_t enginePid(const QString &name) const
    {
        RecordedProcess engine;
        waitFor([&] { return (engine = ReadRecordedProcess(folder.filePath(name + QStringLiteral(".pid")))).pid > 0; });
        return engine.pid;
    }
    bool enginesLeft() const { return CountProcesses(folder.enginePath(), QStringLiteral("-y")) > 0; }
    qsizetype changeAt(const QString &change) const { return changes.indexOf(change); }

    int mostEngines = 0;
    QStringList changes;
};

TEST_F(ParallelRunTest, TwoEnginesAtMostRowsFinishAsTheirEnginesDoAndTheBatchEndsOnce)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    addTask(QStringLiteral("c"));
    addTask(QStringLiteral("d"));
    folder.setScriptFor(QStringLiteral("a.avi"), heldScript(QStringLiteral("a"), QStringLiteral("00:00:05.00"),
                                                            QStringLiteral("go-a")));
    folder.setScriptFor(QStringLiteral("b.avi"), heldScript(QStringLiteral("b"), QStringLiteral("00:00:02.00"),
                                                            QStringLiteral("go-b")));
    // c's output comes out short: its row fails while the others complete.
    folder.setScriptFor(QStringLiteral("c.avi"), heldScript(QStringLiteral("c"), QStringLiteral("00:00:09.00"),
                                                            QStringLiteral("go-c"), QStringLiteral("output 00:00:01\n")));
    folder.setScriptFor(QStringLiteral("d.avi"), heldScript(QStringLiteral("d"), QStringLiteral("00:00:01.00"),
                                                            QStringLiteral("go-d")));
    view.options.openDir = true;
    QSignalSpy finished(&run, &ConversionRun::finished);
    QString labelAtSecondStart;
    QObject::connect(&run, &ConversionRun::engineStarted, &run, [&] {
        if (labelAtSecondStart.isEmpty() && run.runningEngines() == 2)
            labelAtSecondStart = view.convertingFile;
    });
    run.RunConversion(QString());

    // a at 5 of 10 s, b at 2: each row shows its percent, the current bar the
    // least advanced, the total bar both of 40 s.
    ASSERT_TRUE(waitFor([&] { return status(0) == QStringLiteral("50%") && status(1) == QStringLiteral("20%"); }));
    EXPECT_EQ(labelAtSecondStart, QStringLiteral("2 files"));
    EXPECT_EQ(view.convertingFile, QStringLiteral("2 files"));
    EXPECT_EQ(view.currentBar, 20);
    EXPECT_EQ(view.totalBar, 18); // 7 of 40 s
    EXPECT_EQ(status(2), QStringLiteral("OK"));
    // The estimate follows the whole batch's pace, not one task's: 18% in
    // 36 s leaves 164 s.
    for (int tick = 0; tick < 36; ++tick)
        run.timerTick();
    EXPECT_EQ(view.remaining, QStringLiteral("00:02:44"));

    // b ends: c takes its place; a goes on.
    release(QStringLiteral("go-b"));
    // b's output is checked while c already works.
    ASSERT_TRUE(waitFor([&] { return status(2) == QStringLiteral("90%") && status(1) == QStringLiteral("Complete"); }));
    EXPECT_EQ(view.currentBar, 50);
    EXPECT_EQ(view.totalBar, 60); // 10 + 5 + 9 of 40 s
    release(QStringLiteral("go-c"));
    ASSERT_TRUE(waitFor([&] { return status(2) == QStringLiteral("Failed") && status(3) == QStringLiteral("10%"); }));
    EXPECT_EQ(status(0), QStringLiteral("50%"));
    EXPECT_EQ(view.convertingFile, QStringLiteral("2 files"));
    EXPECT_EQ(view.currentBar, 10);
    // a alone: the label names it.
    release(QStringLiteral("go-d"));
    ASSERT_TRUE(waitFor([&] { return status(3) == QStringLiteral("Complete"); }));
    EXPECT_EQ(view.convertingFile, QStringLiteral("a.avi"));
    EXPECT_EQ(view.currentBar, 50);
    release(QStringLiteral("go-a"));
    ASSERT_TRUE(finished.wait(20000));

    EXPECT_EQ(mostEngines, 2);
    EXPECT_LT(changeAt(QStringLiteral("1 Complete")), changeAt(QStringLiteral("2 Failed")));
    EXPECT_LT(changeAt(QStringLiteral("2 Failed")), changeAt(QStringLiteral("3 Complete")));
    EXPECT_LT(changeAt(QStringLiteral("3 Complete")), changeAt(QStringLiteral("0 Complete")));
    EXPECT_EQ(status(0), QStringLiteral("Complete"));
    EXPECT_EQ(status(1), QStringLiteral("Complete"));
    EXPECT_EQ(tip(2).section(QLatin1Char('\n'), 0, 0), QStringLiteral("The output lasts 1.00 s instead of 10.00 s."));
    EXPECT_EQ(status(3), QStringLiteral("Complete"));
    EXPECT_EQ(folder.checkCount(), 4);
    for (const char *name : {"a.mp4", "b.mp4", "d.mp4"})
        EXPECT_TRUE(QFileInfo::exists(view.folder + QLatin1Char('/') + QLatin1String(name))) << name;
    EXPECT_EQ(EntriesIn(view.folder).size(), 3);
    // The end of the batch comes once, after the last engine.
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Complete|The conversion is finished, but 1 of 4 files failed."}));
    EXPECT_EQ(shell.opened.size(), 1);
    EXPECT_EQ(view.totalBar, 100);
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
}

TEST_F(ParallelRunTest, TasksRunningAtOnceNeverShareAnOutput)
{
    addTask(QStringLiteral("same"));
    addTask(QStringLiteral("same"));
    folder.setScript(QStringLiteral("wait-for go\nexit 0\n"));
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    ASSERT_TRUE(waitFor([&] { return folder.callCount() == 2; }));
    release(QStringLiteral("go"));
    ASSERT_TRUE(finished.wait(20000));

    EXPECT_EQ(mostEngines, 2);
    // The two engines number their calls as they come up, in either order.
    QStringList written({QFileInfo(folder.arguments(1).last()).fileName(), QFileInfo(folder.arguments(2).last()).fileName()});
    written.sort();
    EXPECT_EQ(written, QStringList({"same.mp4", "same_2.mp4"}));
    for (int call : {1, 2})
        EXPECT_TRUE(wroteWorkFileFor(call, QFileInfo(folder.arguments(call).last()).fileName()));
    EXPECT_EQ(run.outputPathOf(1), view.folder + QStringLiteral("/same_2.mp4"));
    EXPECT_EQ(tip(1), QStringLiteral("Renamed to same_2.mp4: an earlier task of this batch writes same.mp4"));
    EXPECT_EQ(EntriesIn(view.folder),
              QStringList({QStringLiteral("same.mp4"), QStringLiteral("same_2.mp4")}));
}

TEST_F(ParallelRunTest, StopEndsEveryEngineAndCancelsOnce)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    addTask(QStringLiteral("c"));
    folder.setScript(QStringLiteral("print 0 started\nsleep 20000\nexit 0\n"));
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    ASSERT_TRUE(waitFor([&] { return folder.callCount() == 2; }));

    run.requestStop();
    ASSERT_TRUE(finished.wait(20000));

    EXPECT_EQ(status(0), QStringLiteral("Stop"));
    EXPECT_EQ(status(1), QStringLiteral("Stop"));
    EXPECT_EQ(status(2), QStringLiteral("OK"));
    EXPECT_EQ(folder.callCount(), 2);
    EXPECT_FALSE(enginesLeft());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(interactive.messages, QStringList({"information|Cancel|The Coversion is canceled."}));
    EXPECT_TRUE(EntriesIn(view.folder).isEmpty());
}

TEST_F(ParallelRunTest, AnEngineThatCannotStartStopsTheOthersAndSaysSoOnce)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    addTask(QStringLiteral("c"));
    folder.setScriptFor(QStringLiteral("a.avi"), QStringLiteral("print 0 started\nsleep 20000\nexit 0\n"));
    // The engine goes away once the first one runs: the second cannot start.
    QObject::connect(&run, &ConversionRun::engineStarted, &run, [&] { QFile::remove(folder.enginePath()); });
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    ASSERT_TRUE(finished.wait(20000));

    EXPECT_EQ(status(0), QStringLiteral("Stop"));
    EXPECT_EQ(status(1), QStringLiteral("Failed"));
    EXPECT_EQ(status(2), QStringLiteral("OK"));
    EXPECT_EQ(interactive.messages, QStringList({"plain||Error on CreateProcess()"}));
    EXPECT_EQ(finished.count(), 1);
}

// Two engines paused at once: both process groups are held, nothing new
// starts, the clock stands still; Stop while paused ends both.
TEST_F(ParallelRunTest, PauseHoldsEveryEngineAndStopWhilePausedEndsThem)
{
    RecordingSleepInhibitor inhibitor;
    run.setSleepInhibitor(&inhibitor);
    for (const char *name : {"a", "b", "c"}) {
        addTask(QLatin1String(name));
        folder.setScriptFor(QLatin1String(name) + QStringLiteral(".avi"),
                            heldScript(QLatin1String(name), QStringLiteral("00:00:05.00"), QStringLiteral("go")));
    }
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    const pid_t a = enginePid(QStringLiteral("a"));
    const pid_t b = enginePid(QStringLiteral("b"));
    ASSERT_TRUE(waitFor([&] { return status(0) == QStringLiteral("50%") && status(1) == QStringLiteral("50%"); }));
    run.timerTick();
    run.pause();
    ASSERT_TRUE(waitFor([&] { return ProcessState(a) == 'T' && ProcessState(b) == 'T'; }));
    EXPECT_EQ(status(0), QStringLiteral("Paused"));
    EXPECT_EQ(status(1), QStringLiteral("Paused"));
    EXPECT_EQ(view.convertingFile, QStringLiteral("Paused"));
    EXPECT_FALSE(inhibitor.held);
    for (int tick = 0; tick < 30; ++tick)
        run.timerTick();
    EXPECT_EQ(run.ElapsedSecs(), 1);
    release(QStringLiteral("go"));
    QCoreApplication::processEvents();
    EXPECT_EQ(folder.callCount(), 2);

    // Resumed and paused again, then stopped: continued and asked to end.
    run.resume();
    EXPECT_EQ(status(0), QStringLiteral("50%"));
    EXPECT_EQ(view.convertingFile, QStringLiteral("2 files"));
    EXPECT_TRUE(inhibitor.held);
    run.pause();
    run.requestStop();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_FALSE(ProcessAlive(a));
    EXPECT_FALSE(ProcessAlive(b));
    EXPECT_FALSE(enginesLeft());
    EXPECT_EQ(inhibitor.inhibits, inhibitor.releases);
    EXPECT_FALSE(run.isPaused());
}

// One engine at a time: the next engine works while an output is checked. A
// pause that comes with the check's result holds that engine, and its row
// turns "Paused", not "Converting".
TEST_F(ConversionRunTest, PausedWhileTheNextEngineWorksHoldsItUntilResumed)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    folder.setCheckDelay(400);
    folder.setScriptFor(QStringLiteral("b.avi"), QStringLiteral("pid b.pid\nwait-for go\nexit 0\n"));
    QObject::connect(&tasks, &QAbstractItemModel::dataChanged, &run, [&](const QModelIndex &index) {
        if (index.row() == 0 && index.column() == 3 && index.data().toString() == QStringLiteral("Complete"))
            run.pause();
    });
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    ASSERT_TRUE(waitFor([&] { return run.isPaused(); }));
    pid_t b = 0;
    ASSERT_TRUE(waitFor([&] { return (b = ReadRecordedProcess(folder.filePath(QStringLiteral("b.pid"))).pid) > 0; }));
    EXPECT_TRUE(waitFor([&] { return ProcessState(b) == 'T'; }));
    EXPECT_EQ(status(1), QStringLiteral("Paused"));
    EXPECT_EQ(view.convertingFile, QStringLiteral("Paused"));

    run.resume();
    EXPECT_EQ(status(1), QStringLiteral("Converting"));
    EXPECT_EQ(view.convertingFile, QStringLiteral("b.avi"));
    touchFile(folder.filePath(QStringLiteral("go")));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(status(1), QStringLiteral("Complete"));
    EXPECT_EQ(run.jobLimit(), 1);
}

} // namespace
