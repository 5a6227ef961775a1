// Stop, Pause and a closed window in every phase of a job and of the end of a
// batch, and how a stop ends an engine, against the scripted fake engine.
#include "fakes/clips.h"
#include "fakes/processes.h"
#include "runfixture.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <thread>

namespace {

// Where the one task of the batch is when the action comes.
// Launching: the engine is launched and does not run yet.
enum class Phase { Launching, Converting, Paused, Checking, Message, Countdown };
enum class Action { Stop, Pause, Close };

struct PhaseCase
{
    const char *name;
    Phase phase;
    Action action;
    QString status;       // the row's status at the end
    QStringList messages; // every message shown
    int powerOffs;        // the computer was told to turn off
};

const QString Done = QStringLiteral("information|Complete|The coversion is completed successfully.");
const QString Cancelled = QStringLiteral("information|Cancel|The Coversion is canceled.");

const PhaseCase PhaseCases[] = {
    // Acted on once it runs: stopped, or paused.
    {"LaunchingStop", Phase::Launching, Action::Stop, RowStatus::Stop, {Cancelled}, 0},
    {"LaunchingPause", Phase::Launching, Action::Pause, RowStatus::Complete, {Done}, 0},
    {"LaunchingClose", Phase::Launching, Action::Close, RowStatus::Stop, {}, 0},
    {"ConvertingStop", Phase::Converting, Action::Stop, RowStatus::Stop, {Cancelled}, 0},
    {"ConvertingPause", Phase::Converting, Action::Pause, RowStatus::Complete, {Done}, 0},
    {"ConvertingClose", Phase::Converting, Action::Close, RowStatus::Stop, {}, 0},
    {"PausedStop", Phase::Paused, Action::Stop, RowStatus::Stop, {Cancelled}, 0},
    {"PausedPause", Phase::Paused, Action::Pause, RowStatus::Complete, {Done}, 0},
    {"PausedClose", Phase::Paused, Action::Close, RowStatus::Stop, {}, 0},
    // A check that has begun finishes: a good output is kept, and the row
    // ends stopped like the batch.
    {"CheckingStop", Phase::Checking, Action::Stop, RowStatus::Stop, {Cancelled}, 0},
    {"CheckingPause", Phase::Checking, Action::Pause, RowStatus::Complete, {Done}, 0},
    {"CheckingClose", Phase::Checking, Action::Close, RowStatus::Stop, {}, 0},
    // The batch is over: Stop and Pause have nothing left to act on.
    {"MessageStop", Phase::Message, Action::Stop, RowStatus::Complete, {Done}, 0},
    {"MessagePause", Phase::Message, Action::Pause, RowStatus::Complete, {Done}, 0},
    {"MessageClose", Phase::Message, Action::Close, RowStatus::Complete, {Done}, 0},
    {"CountdownStop", Phase::Countdown, Action::Stop, RowStatus::Complete, {}, 1},
    {"CountdownPause", Phase::Countdown, Action::Pause, RowStatus::Complete, {}, 1},
    {"CountdownClose", Phase::Countdown, Action::Close, RowStatus::Complete, {}, 0},
};

class RunPhaseTest : public ConversionRunTest, public ::testing::WithParamInterface<PhaseCase>
{
};

TEST_P(RunPhaseTest, EachActionIsHandledOnceAndNothingIsLeftRunning)
{
    const PhaseCase &c = GetParam();
    addTask(QStringLiteral("a"));
    folder.setScript(QStringLiteral("pid a.pid\nprint 0 started\nwait-for go\nexit 0\n"));
    folder.holdChecksUntil(QStringLiteral("checked"));
    view.options.openDir = true;
    view.options.turnOff = c.phase == Phase::Countdown;
    view.holdPowerOff = true;
    interactive.holdMessages = true;
    const auto act = [&] {
        switch (c.action) {
        case Action::Stop: run.requestStop(); break;
        case Action::Pause: run.pause(); break;
        case Action::Close: run.abandon(); break;
        }
    };
    QList<ConversionJob::Phase> phases;
    bool acted = false;
    QObject::connect(&run, &ConversionRun::jobPhaseChanged, &run, [&](int, ConversionJob::Phase phase) {
        phases << phase;
        // From the loop, once the start that launched the engine returned;
        // before the loop hears that the engine runs.
        if (c.phase == Phase::Launching && phase == ConversionJob::Starting)
            QMetaObject::invokeMethod(&run, [&] {
                EXPECT_EQ(phases.last(), ConversionJob::Starting);
                act();
                acted = true;
            }, Qt::QueuedConnection);
    });
    QSignalSpy finished(&run, &ConversionRun::finished);
    const auto release = [&](const char *name) { QFile(folder.filePath(QLatin1String(name))).open(QIODevice::WriteOnly); };

    run.RunConversion(QString());
    pid_t engine = 0;
    const auto engineRecorded = [&] {
        return (engine = ReadRecordedProcess(folder.filePath(QStringLiteral("a.pid"))).pid) > 0;
    };
    if (c.phase == Phase::Launching) {
        ASSERT_TRUE(waitFor([&] { return acted; }));
        if (c.action == Action::Pause) {
            // Held once it runs (perhaps before it wrote anything).
            ASSERT_TRUE(waitFor([&] { return phases.contains(ConversionJob::Paused); }));
        }
    } else {
        ASSERT_TRUE(waitFor(engineRecorded));
    }
    if (c.phase == Phase::Paused) {
        run.pause();
        ASSERT_TRUE(waitFor([&] { return ProcessState(engine) == 'T'; }));
    }
    if (c.phase >= Phase::Checking) {
        release("go");
        ASSERT_TRUE(waitFor([&] { return folder.checkCount() == 1; }));
        EXPECT_EQ(phases.last(), ConversionJob::Checking);
    }
    if (c.phase >= Phase::Message) {
        release("checked");
        ASSERT_TRUE(waitFor([&] { return !interactive.open.isEmpty() || view.pendingPowerOff; }));
        EXPECT_EQ(run.RunState(), ConversionRun::Ending);
        EXPECT_EQ(phases.last(), ConversionJob::Committed);
        // Nothing of the run's own is left while the end is told.
        EXPECT_EQ(EntriesIn(view.folder), QStringList{QStringLiteral("a.mp4")});
    }

    if (!acted)
        act();
    // Whatever still waits is let go; a message or countdown that is up is
    // answered (after a close it must do nothing).
    interactive.holdMessages = false;
    view.holdPowerOff = false;
    run.resume();
    release("go");
    release("checked");
    interactive.closeMessages();
    view.answerPowerOff(true);
    ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
    // Answered again: nothing more happens.
    interactive.closeMessages();
    view.answerPowerOff(true);
    QCoreApplication::processEvents();

    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(run.RunState(), ConversionRun::Idle);
    if (engine > 0 || engineRecorded()) {
        EXPECT_FALSE(ProcessAlive(engine));
    }
    EXPECT_EQ(CountProcesses(folder.enginePath(), QStringLiteral("-y")), 0);
    EXPECT_EQ(status(0), c.status);
    EXPECT_EQ(interactive.messages, c.messages);
    EXPECT_EQ(power.requests, c.powerOffs);
    EXPECT_EQ(view.closeRequests, c.powerOffs);
    EXPECT_EQ(shell.opened, c.messages == QStringList{Done} && c.action != Action::Close ? QStringList{view.folder}
                                                                                          : QStringList{});
    // An output checked good is kept, also when the stop came during its check.
    const bool kept = c.status == RowStatus::Complete || (c.phase == Phase::Checking && c.action == Action::Stop);
    EXPECT_EQ(EntriesIn(view.folder), kept ? QStringList{QStringLiteral("a.mp4")} : QStringList{});
    EXPECT_FALSE(view.timerEnabled);
}

INSTANTIATE_TEST_SUITE_P(Phases, RunPhaseTest, ::testing::ValuesIn(PhaseCases),
                         [](const ::testing::TestParamInfo<PhaseCase> &info) { return std::string(info.param.name); });

// A pause that comes as one task's engine ends, when the next task is due:
// nothing starts while paused, and Resume starts the next task.
TEST_F(ConversionRunTest, PauseAsATaskEndsHoldsTheNextUntilResumed)
{
    addTask(QStringLiteral("a"));
    addTask(QStringLiteral("b"));
    QObject::connect(&run, &ConversionRun::jobPhaseChanged, &run, [&](int row, ConversionJob::Phase phase) {
        if (row == 0 && phase == ConversionJob::Checking)
            run.pause();
    });
    QSignalSpy started(&run, &ConversionRun::engineStarted);
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QString());
    ASSERT_TRUE(waitFor([&] { return status(0) == RowStatus::Complete; }));
    EXPECT_TRUE(run.isPaused());
    QCoreApplication::processEvents();
    EXPECT_EQ(started.count(), 1) << "a task started while paused";

    run.resume();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(started.count(), 2);
    EXPECT_EQ(status(1), RowStatus::Complete);
    EXPECT_EQ(interactive.messages, QStringList{Done});
}

// Stop ends an engine politely; a suspended one is continued first, so that it
// ends at once, and one that ignores the request is killed after the grace time.
TEST_F(ConversionRunTest, StopEndsEveryEngineWhateverItDoes)
{
    const struct
    {
        const char *name;
        QString script;
        bool paused;
        bool ignoresTheRequest;
    } cases[] = {
        {"paused", QStringLiteral("pid e.pid\nprint 0 started\nsleep 20000\nexit 0\n"), true, false},
        {"deaf", QStringLiteral("pid e.pid\nignore-term\nprint 0 started\nsleep 20000\nexit 0\n"), false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tasks.removeRows(0, tasks.rowCount());
        QFile::remove(folder.filePath(QStringLiteral("e.pid")));
        QFile::remove(folder.filePath(QStringLiteral("term-received")));
        interactive.messages.clear();
        addTask(QStringLiteral("a"));
        folder.setScript(c.script);
        QSignalSpy finished(&run, &ConversionRun::finished);
        run.RunConversion(QString());
        pid_t engine = 0;
        ASSERT_TRUE(waitFor([&] {
            return (engine = ReadRecordedProcess(folder.filePath(QStringLiteral("e.pid"))).pid) > 0
                   && view.memo == QStringLiteral("started");
        }));
        if (c.paused) {
            run.pause();
            ASSERT_TRUE(waitFor([&] { return ProcessState(engine) == 'T'; }));
        }

        run.requestStop();
        if (c.paused) {
            // No event is handled here, so the forced kill, a timer of the
            // event loop, cannot come: the polite request alone ends it.
            for (int i = 0; i < 1000 && ProcessAlive(engine); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_FALSE(ProcessAlive(engine)) << "the paused engine did not end on the request";
        }
        ASSERT_TRUE(finished.wait(20000));
        EXPECT_FALSE(ProcessAlive(engine));
        EXPECT_EQ(QFileInfo::exists(folder.filePath(QStringLiteral("term-received"))), c.ignoresTheRequest);
        EXPECT_EQ(status(0), RowStatus::Stop);
        EXPECT_EQ(interactive.messages, QStringList{Cancelled});
        EXPECT_TRUE(EntriesIn(view.folder).isEmpty());
    }
}

} // namespace
