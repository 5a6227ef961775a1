// How the engine process is started and stopped: never left behind, never
// reached by a terminal's Ctrl+C, never reading the terminal.
#include "conversion/engineprocess.h"

#include "fakes/clips.h"
#include "fakes/processes.h"
#include "fakes/programfolder.h"

#include <csignal>
#include <gtest/gtest.h>

namespace {

struct Ended
{
    bool ended = false;
    bool crashed = false;
    QString output;
};

void follow(EngineProcess &engine, Ended &result)
{
    QObject::connect(&engine, &EngineProcess::chunkRead, [&result](const QString &text) { result.output += text; });
    QObject::connect(&engine, &EngineProcess::ended, [&result](int, bool crashed) {
        result.ended = true;
        result.crashed = crashed;
    });
}

TEST(EngineProcessStart, TheEngineHasItsOwnGroupNoInputAndDiesWithTheProgram)
{
    TestProgramFolder folder;
    folder.setScript(QStringLiteral("process\n"));
    EngineProcess engine;
    Ended result;
    follow(engine, result);
    ASSERT_TRUE(engine.start(folder.enginePath(), ProbeCommand(QStringLiteral("/x.avi"))));
    ASSERT_TRUE(waitFor([&] { return result.ended; }));
    EXPECT_EQ(result.output,
              QStringLiteral("group leader\nstdin /dev/null\nparent-death %1\n").arg(SIGKILL));
}

// A stop reaches what the engine started as well: nothing of it is left.
TEST(EngineProcessStop, TerminateAndKillReachEverythingTheEngineStarted)
{
    for (const bool terminate : {true, false}) {
        TestProgramFolder folder;
        folder.setScript(QStringLiteral("fork-sleeper sleeper.pid\nsleep 60000\n"));
        EngineProcess engine;
        Ended result;
        follow(engine, result);
        ASSERT_TRUE(engine.start(folder.enginePath(), ProbeCommand(QStringLiteral("/x.avi"))));
        RecordedProcess sleeper;
        ASSERT_TRUE(waitFor([&] { return (sleeper = ReadRecordedProcess(folder.filePath("sleeper.pid"))).pid > 0; }));
        ASSERT_TRUE(ProcessAlive(sleeper.pid));
        if (terminate)
            engine.TerminateEngine();
        else
            engine.kill();
        ASSERT_TRUE(waitFor([&] { return result.ended; })) << terminate;
        EXPECT_TRUE(waitFor([&] { return !ProcessAlive(sleeper.pid); })) << terminate;
        if (ProcessAlive(sleeper.pid))
            ::kill(sleeper.pid, SIGKILL);
    }
}

} // namespace
