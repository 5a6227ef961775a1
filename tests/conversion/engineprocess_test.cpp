// How the engine process is started and stopped: never left behind, never
// reached by a terminal's Ctrl+C, never reading the terminal.
#include "conversion/engineprocess.h"

#include "fakes/clips.h"
#include "fakes/processes.h"
#include "fakes/programfolder.h"

#include <QFile>

#include <csignal>
#include <gtest/gtest.h>

namespace {

// The fake engine started as a probe of /x.avi, with what it writes and how
// it ends recorded.
struct FollowedEngine
{
    FollowedEngine()
    {
        QObject::connect(&engine, &EngineProcess::chunkRead, [this](const QString &text) { output += text; });
        QObject::connect(&engine, &EngineProcess::ended, [this](int, bool) { ended = true; });
        QObject::connect(&engine, &EngineProcess::started, [this] { events << QStringLiteral("started"); });
        QObject::connect(&engine, &EngineProcess::failedToStart,
                         [this](const QString &) { events << QStringLiteral("failed"); });
    }

    // Launched without waiting: true once it runs.
    bool start(const QString &script)
    {
        folder.setScript(script);
        engine.launch(folder.enginePath(), ProbeCommand(QStringLiteral("/x.avi")));
        return waitFor([this] { return !events.isEmpty(); }) && events == QStringList{QStringLiteral("started")};
    }

    TestProgramFolder folder;
    QStringList events; // "started", "failed"
    bool ended = false;
    QString output;
    EngineProcess engine; // last, so that it goes first
};

TEST(EngineProcessStart, TheEngineHasItsOwnGroupNoInputAndDiesWithTheProgram)
{
    FollowedEngine run;
    ASSERT_TRUE(run.start(QStringLiteral("process\n")));
    ASSERT_TRUE(waitFor([&] { return run.ended; }));
    EXPECT_EQ(run.output,
              QStringLiteral("group leader\nstdin /dev/null\nparent-death %1\n").arg(SIGKILL));
}

// A stop reaches what the engine started as well: nothing of it is left.
TEST(EngineProcessStop, TerminateAndKillReachEverythingTheEngineStarted)
{
    for (const bool terminate : {true, false}) {
        FollowedEngine run;
        ASSERT_TRUE(run.start(QStringLiteral("fork-sleeper sleeper.pid\nsleep 60000\n")));
        RecordedProcess sleeper;
        ASSERT_TRUE(
            waitFor([&] { return (sleeper = ReadRecordedProcess(run.folder.filePath("sleeper.pid"))).pid > 0; }));
        ASSERT_TRUE(ProcessAlive(sleeper.pid));
        if (terminate)
            run.engine.TerminateEngine();
        else
            run.engine.kill();
        ASSERT_TRUE(waitFor([&] { return run.ended; })) << terminate;
        EXPECT_TRUE(waitFor([&] { return !ProcessAlive(sleeper.pid); })) << terminate;
        if (ProcessAlive(sleeper.pid))
            ::kill(sleeper.pid, SIGKILL);
    }
}

// An engine that is not there: the launch says it failed, and nothing ever
// runs or ends.
TEST(EngineProcessStart, AMissingEngineSaysItFailed)
{
    FollowedEngine run;
    QFile::remove(run.folder.enginePath());
    EXPECT_FALSE(run.start(QString()));
    EXPECT_EQ(run.events, QStringList{QStringLiteral("failed")});
    EXPECT_FALSE(run.engine.isRunning());
    EXPECT_FALSE(run.ended);
}

} // namespace
