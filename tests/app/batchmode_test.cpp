// The batch mode as a user runs it: the real program started in a temporary
// program folder, with the real engine or the scripted fake one, and no
// display. Also the pieces it is built from (grid settings, the display check,
// the progress lines).
#include "app/displaycheck.h"
#include "batch/batchmode.h"
#include "batch/batchoptions.h"
#include "conversion/outputfile.h"
#include "batch/batchview.h"
#include "conversion/engineprocess.h"
#include "fakes/processes.h"
#include "profiles/parametergrid.h"
#include "profiles/profiles.h"
#include "batchfixture.h"

#include <QDateTime>
#include <QDirIterator>
#include <QProcessEnvironment>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

TEST_F(RealEngineBatchTest, ConvertsAFolderWithAProfileASizeAndATimeRangeWithoutDisplayOrWrites)
{
    ASSERT_TRUE(makeClip(work(QStringLiteral("in/first clip.avi")), 4));
    ASSERT_TRUE(makeClip(work(QStringLiteral("in/second.avi")), 4));
    touchFile(work(QStringLiteral("in/notes.txt"))); // not a supported type: not listed from a folder

    const QString preferences = PreferencesPath(folder.path());
    touchFile(preferences, QByteArray("[Main]\r\nProfile=0\r\nOutput Path=/nowhere\r\nOverwrite=1\r\n"));
    const QString profile = ProfilePath(folder.path(), Mp4Profile);
    const QByteArray profileBefore = contentOf(profile);
    const QDateTime preferencesTime = QFileInfo(preferences).lastModified();
    const QDateTime profileTime = QFileInfo(profile).lastModified();
    QTest::qWait(20); // a rewrite would show in the times too

    const Result result = run({"--batch", "-p", Mp4Profile, "-o", "out", "--set", "Video Size=320x180",
                               "--start", "0:00:01", "--end", "0:00:03", "in"});
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.err + result.out);
    EXPECT_FALSE(result.crashed);
    EXPECT_TRUE(result.out.contains(QStringLiteral("Summary: 2 complete, 0 failed, 0 stopped"))) << qPrintable(result.out);
    EXPECT_FALSE(result.err.contains(QStringLiteral("qt.qpa"))) << qPrintable(result.err);

    for (const QString &name : {QStringLiteral("first clip.mp4"), QStringLiteral("second.mp4")}) {
        const QString output = work(QStringLiteral("out/") + name);
        ASSERT_TRUE(QFileInfo::exists(output)) << qPrintable(name);
        EXPECT_TRUE(result.out.contains(QStringLiteral(" -> ") + output)) << qPrintable(result.out);
        EXPECT_EQ(ffprobeValues(output, QStringLiteral("stream=codec_name")).split('\n'),
                  QStringList({QStringLiteral("h264"), QStringLiteral("aac")}));
        EXPECT_EQ(ffprobeValues(output, QStringLiteral("stream=width,height")).split('\n').mid(0, 2),
                  QStringList({QStringLiteral("320"), QStringLiteral("180")}));
        EXPECT_NEAR(ffprobeValues(output, QStringLiteral("format=duration")).toDouble(), 2.0, 0.2);
    }
    EXPECT_EQ(QDir(work(QStringLiteral("out"))).entryList(QDir::Files).size(), 2);

    EXPECT_EQ(contentOf(preferences), QByteArray("[Main]\r\nProfile=0\r\nOutput Path=/nowhere\r\nOverwrite=1\r\n"));
    EXPECT_EQ(QFileInfo(preferences).lastModified(), preferencesTime);
    EXPECT_EQ(contentOf(profile), profileBefore);
    EXPECT_EQ(QFileInfo(profile).lastModified(), profileTime);
}

TEST_F(RealEngineBatchTest, AFailingInputGivesStatusOneAndAFailedLineWhileTheOtherCompletes)
{
    const QString broken = work(QStringLiteral("in/broken.avi"));
    touchFile(broken, QByteArray(4096, 'z'));
    const QString clip = work(QStringLiteral("in/good.avi"));
    ASSERT_TRUE(makeClip(clip, 1));

    const Result result = run({"--batch", "-p", Mp4Profile, "-o", "out", broken, clip});
    EXPECT_EQ(result.exitCode, 1) << qPrintable(result.err + result.out);
    EXPECT_TRUE(result.out.contains(QStringLiteral("Summary: 1 complete, 1 failed, 0 stopped"))) << qPrintable(result.out);
    EXPECT_TRUE(result.out.contains(QStringLiteral("Failed  ") + broken)) << qPrintable(result.out);
    // The engine's own words on why.
    EXPECT_TRUE(result.out.contains(QStringLiteral("Invalid data found"))) << qPrintable(result.out);
    EXPECT_TRUE(result.out.contains(QStringLiteral("Complete  ") + clip)) << qPrintable(result.out);
    EXPECT_TRUE(QFileInfo(work(QStringLiteral("out/good.mp4"))).size() > 0);
    // Not a terminal: one line per status change.
    EXPECT_TRUE(result.err.contains(QStringLiteral("[1/2] Failed broken.avi"))) << qPrintable(result.err);
    EXPECT_TRUE(result.err.contains(QStringLiteral("[2/2] Complete good.avi"))) << qPrintable(result.err);
}

TEST_F(RealEngineBatchTest, ATreeOfMixedTypesKeepsItsFoldersOrGoesBesideItsInputs)
{
    const QStringList inputs{"in/f.mp4", "in/top clip.avi", "in/B/ü d.mkv", "in/B/C/e f.ts"};
    for (const QString &name : inputs)
        ASSERT_TRUE(QDir().mkpath(QFileInfo(work(name)).path()) && makeClip(work(name), 1)) << qPrintable(name);
    touchFile(work(QStringLiteral("in/B/notes.txt")));
    const QString loop = work(QStringLiteral("in/B/C/back"));
    ASSERT_EQ(::symlink("..", QFile::encodeName(loop).constData()), 0);
    const QByteArray original = contentOf(work(QStringLiteral("in/f.mp4")));
    ASSERT_TRUE(QDir().mkpath(work(QStringLiteral("flat"))) && QDir().mkpath(work(QStringLiteral("out"))));

    struct Case
    {
        const char *what;
        QStringList options;
        QStringList outputs; // in the order of the inputs
    };
    const Case cases[] = {
        {"a flat listing without -r", {"-o", "flat"}, {"flat/f.mp4", "flat/top clip.mp4"}},
        {"the tree kept", {"-r", "--tree", "-o", "out"}, {"out/f.mp4", "out/top clip.mp4", "out/B/ü d.mp4", "out/B/C/e f.mp4"}},
        {"beside each input, the MP4 input kept", {"--recursive", "--beside", "-o", "unused"},
         {"in/f_1.mp4", "in/top clip.mp4", "in/B/ü d.mp4", "in/B/C/e f.mp4"}},
    };
    for (const Case &c : cases) {
        const Result result = run(QStringList({"--batch", "-p", Mp4Profile}) + c.options + QStringList({"in"}));
        const bool recursive = c.outputs.size() == inputs.size();
        // The loop is named once and counts against the batch.
        EXPECT_EQ(result.exitCode, recursive ? 1 : 0) << c.what << qPrintable(result.err + result.out);
        EXPECT_TRUE(result.out.contains(QStringLiteral("Summary: %1 complete, 0 failed, 0 stopped%2")
                                            .arg(c.outputs.size())
                                            .arg(recursive ? QStringLiteral(", 1 skipped") : QString())))
            << c.what << qPrintable(result.out);
        EXPECT_EQ(result.out.count(loop), recursive ? 1 : 0) << c.what << qPrintable(result.out);
        for (const QString &output : c.outputs) {
            EXPECT_EQ(ffprobeValues(work(output), QStringLiteral("stream=codec_name")).split('\n'),
                      QStringList({QStringLiteral("h264"), QStringLiteral("aac")}))
                << c.what << ": " << qPrintable(output);
        }
        EXPECT_EQ(contentOf(work(QStringLiteral("in/f.mp4"))), original) << c.what;
    }
    EXPECT_FALSE(QFileInfo::exists(work(QStringLiteral("unused"))));
    // No work folder is left anywhere.
    QDirIterator it(work(QString()), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        EXPECT_FALSE(it.next().contains(QStringLiteral(".vantorix-"))) << qPrintable(it.filePath());
}

class InterruptTest : public RealEngineBatchTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(InterruptTest, StopsTheEngineAndEndsWith130)
{
    const QString clip = work(QStringLiteral("in/long.avi"));
    ASSERT_TRUE(makeClip(clip, 60));
    QProcess process;
    start(process, {"--batch", "-p", Mp4Profile, "-o", "out", "--set", "Video Size=1280x720", clip});
    QString err;
    ASSERT_TRUE(waitFor([&] {
        err += QString::fromLocal8Bit(process.readAllStandardError());
        return err.contains(QStringLiteral("Converting")) || process.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(process.state(), QProcess::Running) << qPrintable(err);
    // The engine has written part of the output in the run's work folder.
    const auto partial = [&] {
        const QString out = work(QStringLiteral("out"));
        const QStringList folders = QDir(out).entryList({QStringLiteral(".vantorix-work-*")}, QDir::Dirs | QDir::Hidden);
        return folders.isEmpty() ? QString() : out + QLatin1Char('/') + folders.first() + QStringLiteral("/long.mp4");
    };
    ASSERT_TRUE(waitFor([&] { return QFileInfo(partial()).size() > 0; }));
    ::kill(static_cast<pid_t>(process.processId()), GetParam());
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("Stop  ") + clip)) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("(interrupted)"))) << qPrintable(out);
    EXPECT_FALSE(ProcessRunsWith(clip));
    EXPECT_TRUE(EntriesIn(work(QStringLiteral("out"))).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(SigintAndSigterm, InterruptTest, ::testing::Values(SIGINT, SIGTERM));

TEST_F(BatchTest, BadUsageGivesStatusTwoAndNamesTheOption)
{
    touchFile(work(QStringLiteral("in/a.avi")));
    const struct
    {
        QStringList arguments;
        QString named;
    } cases[] = {
        {{"--frob", "in"}, "frob"},
        {{"-p"}, "-p"},
        {{"--profile", "No Such Profile", "in"}, "--profile"},
        {{"--output", "missing", "in"}, "--output"},
        {{"--set", "Colour=red", "in"}, "Colour"},
        {{"--set", "Video Size=huge", "in"}, "huge"},
        {{"--set", "Video Size=Custom Size", "in"}, "Video Size"},
        {{"--set", "just text", "in"}, "--set"},
        {{"--start", "soon", "in"}, "--start"},
        {{"--end", "1:2:3:4", "in"}, "--end"},
        {{"--start", "0:00:05", "--end", "0:00:02", "in"}, "--end"},
        {{"--start", "0:00:05", "--end", "0:00:05", "in"}, "--end"},
        {{"--start", "-0:00:01", "in"}, "--start"},
        {{"--end", "0:01:-30", "in"}, "--end"},
        {{"--overwrite", "--rename", "in"}, "--rename"},
        {{"-p", Mp4Profile}, "no files"},
        {{"in/missing.tmp"}, "missing.tmp"},
        {{"--watch", "nowhere"}, "--watch"},
        {{"--watch", "in", "in/a.avi"}, "no further paths"},
        {{"--watch", ".", "-r"}, "outside the watched folder"},
        {{"--watch", "out"}, "outside the watched folder"},
        {{"--watch", "in", "--settle", "soon"}, "--settle"},
        {{"--watch", "in", "--settle", "-1"}, "--settle"},
        {{"--settle", "1", "in"}, "--settle"},
        {{"--watch", "in", "--beside"}, "beside their inputs"},
        {{"--watch", "in", "--skip-existing"}, "--skip-existing"},
    };
    for (const auto &c : cases) {
        const Result result = run(QStringList{"--batch", "-o", "out"} + c.arguments);
        EXPECT_EQ(result.exitCode, 2) << qPrintable(c.arguments.join(' '));
        EXPECT_TRUE(result.err.contains(c.named)) << qPrintable(c.arguments.join(' ') + ": " + result.err);
        EXPECT_EQ(folder.callCount(), 0) << qPrintable(c.arguments.join(' '));
    }
}

TEST_F(BatchTest, ReadsItsDefaultsFromThePreferencesAndRenamesWhenTheyAskForIt)
{
    const QString clip = work(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    folder.setScriptFor(QStringLiteral("clip.avi"), reportScript(clip));
    const int index = static_cast<int>(ProfileList(folder.path()).indexOf(Mp4Profile));
    ASSERT_GE(index, 0);
    const QByteArray stored = QStringLiteral("[Main]\r\nProfile=%1\r\nOutput Path=%2\r\nOverwrite=0\r\n")
                                  .arg(index)
                                  .arg(work(QStringLiteral("out")))
                                  .toUtf8();
    touchFile(PreferencesPath(folder.path()), stored);
    touchFile(work(QStringLiteral("out/clip.mp4"))); // exists: not overwritten

    const Result result = run({"--batch", clip});
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.err + result.out);
    ASSERT_EQ(folder.callCount(), 2); // the probe, then the conversion
    const QStringList arguments = folder.arguments(2);
    EXPECT_TRUE(IsWorkFileFor(arguments.last(), work(QStringLiteral("out/clip_1.mp4")))) << qPrintable(arguments.last());
    EXPECT_TRUE(arguments.contains(QStringLiteral("libx264"))) << qPrintable(arguments.join(' '));
    EXPECT_EQ(contentOf(PreferencesPath(folder.path())), stored);

    // --overwrite wins over the stored choice.
    EXPECT_EQ(run({"--batch", "--overwrite", clip}).exitCode, 0);
    EXPECT_TRUE(IsWorkFileFor(folder.arguments(4).last(), work(QStringLiteral("out/clip.mp4"))));
}

TEST_F(BatchTest, TakesFilesOfAnyTypeFoldersByTheirSupportedFilesAndListFiles)
{
    for (const char *name : {"in/b.avi", "in/A.MP4", "in/skipped.txt", "named.txt", "listed.avi"}) {
        touchFile(work(name));
        folder.setScriptFor(QFileInfo(name).fileName(), reportScript(work(name)));
    }
    const Result direct = run({"--batch", "-p", Mp4Profile, "-o", "out", "in", "named.txt", "in/b.avi"});
    EXPECT_EQ(direct.exitCode, 0) << qPrintable(direct.err + direct.out);
    QStringList converted;
    for (int call = 1; call <= folder.callCount(); ++call)
        if (folder.arguments(call).contains(QStringLiteral("-y")))
            converted << QFileInfo(folder.arguments(call).value(folder.arguments(call).indexOf("-i") + 1)).fileName();
    // Sorted ignoring case, the explicit .txt file too, b.avi once.
    EXPECT_EQ(converted, QStringList({"A.MP4", "b.avi", "named.txt"}));

    touchFile(work(QStringLiteral("list.tmp")), work(QStringLiteral("listed.avi")).toUtf8() + "\nmissing.avi\n");
    const Result listed = run({"--batch", "-p", Mp4Profile, "-o", "out", "list.tmp", "ignored.avi"});
    EXPECT_EQ(listed.exitCode, 1) << "a path that is not there counts against the batch";
    EXPECT_TRUE(listed.out.contains(QStringLiteral("Complete  ") + work(QStringLiteral("listed.avi"))))
        << qPrintable(listed.out);
    EXPECT_TRUE(listed.out.contains(QStringLiteral("Not found  missing.avi"))) << qPrintable(listed.out);
    EXPECT_FALSE(listed.out.contains(QStringLiteral("ignored"))) << qPrintable(listed.out);
}

TEST_F(BatchTest, ATaskTheTimeRangeDoesNotFitIsSkippedAndTheOthersRun)
{
    const QString longClip = work(QStringLiteral("in/long.avi"));
    const QString shortClip = work(QStringLiteral("in/short.avi"));
    touchFile(longClip);
    touchFile(shortClip);
    folder.setScriptFor(QStringLiteral("long.avi"), reportScript(longClip));
    folder.setScriptFor(QStringLiteral("short.avi"),
                        reportScript(shortClip).replace(QStringLiteral("00:00:10.00"), QStringLiteral("00:00:02.00")));

    const Result result = run({"--batch", "-p", Mp4Profile, "-o", "out", "--start", "0:00:04", "--end", "0:00:06",
                               longClip, shortClip});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains(QStringLiteral("Skipped  ") + shortClip)) << qPrintable(result.out);
    EXPECT_TRUE(result.out.contains(QStringLiteral("Complete  ") + longClip)) << qPrintable(result.out);
    // Probes of both, one conversion, of the range asked for. The long clip
    // converts as soon as it is read, so the conversion may come before the
    // short clip's probe.
    ASSERT_EQ(folder.callCount(), 3);
    QStringList arguments;
    for (int call = 1; call <= 3; ++call) {
        if (folder.arguments(call).contains(QStringLiteral("-y")))
            arguments = folder.arguments(call);
    }
    EXPECT_EQ(arguments.value(arguments.indexOf(QStringLiteral("-ss")) + 1), QStringLiteral("00:00:04"));
    EXPECT_EQ(arguments.value(arguments.indexOf(QStringLiteral("-t")) + 1), QStringLiteral("2"));
}

TEST_F(BatchTest, SkipExistingLeavesOutTheFilesWhoseCheckedOutputIsThereWhereverOutputsGo)
{
    QDir().mkpath(work("in/sub"));
    for (const char *name : {"in/a.avi", "in/b.avi", "in/sub/c.avi"})
        ASSERT_TRUE(WriteFakeMedia(work(QString::fromLatin1(name)), "00:00:04"));
    const struct
    {
        const char *place;
        QStringList outputs; // of a, b and c
    } cases[] = {
        {"", {"out/a.mp4", "out/b.mp4", "out/c.mp4"}},
        {"--tree", {"out/a.mp4", "out/b.mp4", "out/sub/c.mp4"}},
        {"--beside", {"in/a.mp4", "in/b.mp4", "in/sub/c.mp4"}},
    };
    for (const auto &c : cases) {
        QStringList options{"--batch", "-p", Mp4Profile, "-o", "out", "-r", "--skip-existing"};
        if (*c.place)
            options << c.place;
        // (Outputs beside their inputs would be listed with the folder.)
        if (QByteArray(c.place) == "--beside")
            options << "in/a.avi" << "in/b.avi" << "in/sub/c.avi";
        else
            options << "in";
        Result result = run(options);
        ASSERT_EQ(result.exitCode, BatchCompleted) << c.place << qPrintable(result.out);
        // a's output is damaged, c's gone: those two convert again, b's stays.
        const int calls = folder.callCount();
        QFile damaged(work(c.outputs[0]));
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("not media");
        damaged.close();
        ASSERT_TRUE(QFile::remove(work(c.outputs[2])));
        const QByteArray kept = contentOf(work(c.outputs[1]));
        result = run(options);
        EXPECT_EQ(result.exitCode, BatchCompleted) << c.place << qPrintable(result.out);
        int conversions = 0;
        for (int call = calls + 1; call <= folder.callCount(); ++call)
            conversions += folder.arguments(call).contains("-y");
        EXPECT_EQ(conversions, 2) << c.place;
        EXPECT_EQ(result.out.count("Complete  "), 2) << c.place << qPrintable(result.out);
        EXPECT_TRUE(result.out.contains("1 converted before")) << qPrintable(result.out);
        EXPECT_TRUE(result.out.contains("Skipped  " + work("in/b.avi") + " -> " + work(c.outputs[1])))
            << qPrintable(result.out);
        for (const QString &output : c.outputs)
            EXPECT_TRUE(contentOf(work(output)).startsWith("VANTORIX-FAKE-MEDIA")) << qPrintable(output);
        EXPECT_EQ(contentOf(work(c.outputs[1])), kept);
        for (const QString &output : c.outputs)
            QFile::remove(work(output));
    }
}

// A conversion that goes on until it is stopped: the probe's report, then an
// engine that records its process and waits.
void slowConversion(const TestProgramFolder &folder, const QString &clip, const QString &before = QString())
{
    folder.setScript(reportScript(clip), 1);
    folder.setScript(before + QStringLiteral("pid engine.pid\nprint 0 frame=1 time=00:00:01.00 \\r\nsleep 60000\n"), 2);
}

TEST_F(BatchTest, ABatchKilledOutrightLeavesNoEngineAndNoTemporaryFiles)
{
    const QString clip = work(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    slowConversion(folder, clip);
    QProcess process;
    start(process, {"--batch", "-p", Mp4Profile, "-o", "out", clip}, withTemporaryFolder());
    const RecordedProcess engine = waitForEngine(QStringLiteral("engine.pid"), process);
    ASSERT_GT(engine.pid, 0) << qPrintable(process.readAllStandardError());

    process.kill();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_TRUE(waitFor([&] { return !ProcessAlive(engine.pid); })) << "the engine outlived the batch";
    EXPECT_EQ(leftInTemporaryFolder(), QStringList());
    if (ProcessAlive(engine.pid))
        ::kill(engine.pid, SIGKILL);
}

// Ctrl+C in a terminal signals the whole foreground job. The engine is not
// part of it: the batch stops it as Stop does.
TEST_F(BatchTest, CtrlCInATerminalStopsTheTaskThroughTheBatchAlone)
{
    const QString clip = work(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    slowConversion(folder, clip);
    QProcess process;
    start(process, {"--batch", "-p", Mp4Profile, "-o", "out", clip}, withTemporaryFolder(), true);
    const RecordedProcess engine = waitForEngine(QStringLiteral("engine.pid"), process);
    ASSERT_GT(engine.pid, 0) << qPrintable(process.readAllStandardError());
    const auto batch = static_cast<pid_t>(process.processId());
    ASSERT_EQ(::getpgid(batch), batch);
    EXPECT_NE(engine.group, batch);

    ::kill(-batch, SIGINT);
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), BatchInterrupted);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("0 failed, 1 stopped"))) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("  Stop  ") + clip)) << qPrintable(out);
    EXPECT_TRUE(waitFor([&] { return !ProcessAlive(engine.pid); }));
    EXPECT_EQ(leftInTemporaryFolder(), QStringList());
}

// An engine deaf to the request to end: a second Ctrl+C or SIGTERM ends the
// batch at once instead of after the engine's grace time. The engine's log
// tells which of the two ended it.
TEST_F(BatchTest, ASecondSignalEndsTheBatchAtOnce)
{
    const QString clip = work(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    for (const int signal : {SIGINT, SIGTERM}) {
        QFile::remove(folder.filePath(QStringLiteral("term-received")));
        QFile::remove(folder.filePath(QStringLiteral("engine.pid")));
        slowConversion(folder, clip, QStringLiteral("ignore-term\n"));
        for (int call = folder.callCount(); call > 0; --call)
            QFile::remove(folder.filePath(QStringLiteral("call-%1.args").arg(call)));
        QProcess process;
        QProcessEnvironment env = headless();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vantorix.engine.info=true"));
        start(process, {"--batch", "--overwrite", "-p", Mp4Profile, "-o", "out", clip}, env);
        const RecordedProcess engine = waitForEngine(QStringLiteral("engine.pid"), process);
        ASSERT_GT(engine.pid, 0) << qPrintable(process.readAllStandardError());
        const auto batch = static_cast<pid_t>(process.processId());

        ::kill(batch, signal);
        ASSERT_TRUE(waitFor([&] { return QFile::exists(folder.filePath(QStringLiteral("term-received"))); }));
        ::kill(batch, signal);
        ASSERT_TRUE(process.waitForFinished(30000)) << signal;
        EXPECT_EQ(process.exitCode(), BatchInterrupted) << signal;
        EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardOutput()).contains(QStringLiteral("  Stop  ") + clip))
            << signal;
        EXPECT_FALSE(ProcessAlive(engine.pid)) << signal;
        const QString log = QString::fromLocal8Bit(process.readAllStandardError());
        const QString engineLine = QStringLiteral("vantorix.engine: engine %1 ").arg(engine.pid);
        EXPECT_TRUE(log.contains(engineLine + QStringLiteral("asked to end"))) << signal << qPrintable(log);
        EXPECT_TRUE(log.contains(engineLine + QStringLiteral("killed at once"))) << signal << qPrintable(log);
        EXPECT_FALSE(log.contains(QStringLiteral("after the grace time"))) << signal << qPrintable(log);
    }
}

// The words a POSIX shell reads from line.
QStringList shellWords(const QString &line)
{
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {"-c", "eval \"set -- $1\"; printf '%s\\0' \"$@\"", "sh", line});
    shell.waitForFinished();
    QStringList words;
    for (const QByteArray &word : shell.readAllStandardOutput().split('\0'))
        words << QString::fromUtf8(word);
    words.removeLast(); // after the last terminator
    return words;
}

// Every engine start is logged when asked, as a command line that a shell
// reads back as the very arguments the engine got; nothing is logged unasked.
TEST_F(BatchTest, EachEngineCommandLineIsLoggedWhenAskedAsAShellReadsIt)
{
    for (const bool asked : {false, true}) {
        for (const char *name : {"plain.avi", "a b'c$d`e.avi", "\u00fcn\u00ef \"q\"\\.avi"}) {
            const QString clip = work(QStringLiteral("in/") + QString::fromUtf8(name));
            touchFile(clip);
            folder.setScriptFor(QFileInfo(clip).fileName(), reportScript(clip));
            const int before = folder.callCount();
            const int checksBefore = folder.checkCount();
            QProcessEnvironment env = headless();
            if (asked)
                env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vantorix.engine.info=true"));
            QProcess process;
            start(process, {"--batch", "--overwrite", "-p", Mp4Profile, "-o", "out", clip}, env);
            ASSERT_TRUE(process.waitForFinished(60000)) << name;
            QStringList logged;
            int exits = 0; // each engine's end is logged too, with its status
            for (const QString &line : QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'))) {
                if (line.contains(QStringLiteral(" exited with ")))
                    ++exits;
                else if (line.startsWith(QStringLiteral("vantorix.")))
                    logged << line;
            }
            EXPECT_EQ(exits, logged.size()) << name;
            // The probe and the conversion, then the check of the output,
            // which the fake engine counts apart.
            const int calls = folder.callCount() - before;
            ASSERT_GE(calls, 2) << name;
            ASSERT_EQ(logged.size(), asked ? calls + folder.checkCount() - checksBefore : 0)
                << name << qPrintable(logged.join('\n'));
            int call = before;
            for (const QString &line : std::as_const(logged)) {
                const QString prefix = QStringLiteral("vantorix.engine: start ");
                ASSERT_TRUE(line.startsWith(prefix)) << qPrintable(line);
                const QStringList words = shellWords(line.mid(prefix.size()));
                // The conversion and the probe read the clip; a check reads the output in progress.
                const bool check = words.value(words.indexOf(QStringLiteral("-i")) + 1) != clip;
                EXPECT_EQ(words, QStringList{folder.enginePath()} + (check ? words.mid(1) : folder.arguments(++call)))
                    << name;
            }
            EXPECT_EQ(call, before + (asked ? calls : 0)) << name;
        }
    }
}

// The signals a process ignores or catches, from its status in /proc.
std::pair<quint64, quint64> ignoredAndCaught(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    quint64 ignored = 0, caught = 0;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("SigIgn:"))
                ignored = line.mid(7).trimmed().toULongLong(nullptr, 16);
            else if (line.startsWith("SigCgt:"))
                caught = line.mid(7).trimmed().toULongLong(nullptr, 16);
        }
    }
    return {ignored, caught};
}

// Started with nohup, a batch outlives the terminal it was started from.
TEST_F(BatchTest, ASignalIgnoredAtStartStaysIgnored)
{
    const QString clip = work(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    slowConversion(folder, clip);
    QProcess process;
    process.setProgram(QStringLiteral("/usr/bin/nohup"));
    process.setArguments({program(), "--batch", "-p", Mp4Profile, "-o", "out", clip});
    process.setProcessEnvironment(headless());
    process.setWorkingDirectory(work(QString()));
    process.start();
    const RecordedProcess engine = waitForEngine(QStringLiteral("engine.pid"), process);
    ASSERT_GT(engine.pid, 0) << qPrintable(process.readAllStandardError());
    const auto [ignored, caught] = ignoredAndCaught(process.processId());
    const auto bit = [](int signal) { return quint64(1) << (signal - 1); };
    EXPECT_TRUE(ignored & bit(SIGHUP));
    EXPECT_TRUE(caught & bit(SIGTERM));
    process.kill();
    process.waitForFinished();
}

TEST_F(BatchTest, AStoredProfileNumberPastTheLastProfileMeansTheFirst)
{
    const QString clip = work(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    folder.setScriptFor(QStringLiteral("clip.avi"), reportScript(clip));
    const QStringList profiles = ProfileList(folder.path());
    ASSERT_GE(profiles.size(), 2);
    touchFile(PreferencesPath(folder.path()), QStringLiteral("[Main]\r\nProfile=%1\r\nOutput Path=%2\r\n")
                                                  .arg(profiles.size())
                                                  .arg(work(QStringLiteral("out")))
                                                  .toUtf8());

    const Result stored = run({"--batch", clip});
    ASSERT_EQ(stored.exitCode, 0) << qPrintable(stored.err + stored.out);
    ASSERT_EQ(run({"--batch", "-p", profiles.first(), clip}).exitCode, 0);
    ASSERT_EQ(run({"--batch", "-p", profiles.last(), clip}).exitCode, 0);
    ASSERT_EQ(folder.callCount(), 6);
    // The output's own name, in each run's work folder.
    const auto command = [&](int call) {
        QStringList arguments = folder.arguments(call);
        if (!arguments.isEmpty())
            arguments.last() = QFileInfo(arguments.last()).fileName();
        return arguments;
    };
    EXPECT_EQ(command(2), command(4));
    EXPECT_NE(command(2), command(6));
}

TEST_F(BatchTest, BlankLinesOfAListFileNameNothing)
{
    const QString clip = work(QStringLiteral("listed.avi"));
    touchFile(clip);
    folder.setScriptFor(QStringLiteral("listed.avi"), reportScript(clip));
    touchFile(work(QStringLiteral("list.tmp")), "\n" + clip.toUtf8() + "\r\n\r\n   \n\t\n");
    const Result result = run({"--batch", "-p", Mp4Profile, "-o", "out", "list.tmp"});
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.err + result.out);
    EXPECT_TRUE(result.out.startsWith(QStringLiteral("Summary: 1 complete, 0 failed, 0 stopped\n"))) << qPrintable(result.out);
    EXPECT_FALSE(result.err.contains(QStringLiteral("Not found"))) << qPrintable(result.err);
}

// A file name that is not UTF-8 cannot be handed to the engine; the batch
// says so by the name's bytes, whether the file was named or found in a folder.
TEST_F(BatchTest, ANameThatIsNotUtf8IsSkippedAndNamedByItsBytes)
{
    const QByteArray in = QFile::encodeName(work(QStringLiteral("in")));
    ASSERT_GE(::close(::open((in + "/\xff.avi").constData(), O_WRONLY | O_CREAT, 0644)), 0);
    const QString good = work(QStringLiteral("in/good.avi"));
    touchFile(good);
    folder.setScriptFor(QStringLiteral("good.avi"), reportScript(good));
    const QString skipped = QStringLiteral("the name is not valid UTF-8");

    const Result fromFolder = run({"--batch", "-p", Mp4Profile, "-o", "out", "in"});
    EXPECT_EQ(fromFolder.exitCode, 1) << qPrintable(fromFolder.err + fromFolder.out);
    const QString escaped = work(QStringLiteral("in/\\xff.avi"));
    EXPECT_TRUE(fromFolder.out.contains(QStringLiteral("  Skipped  %1 (%2)").arg(escaped, skipped))) << qPrintable(fromFolder.out);
    EXPECT_TRUE(fromFolder.err.contains(QStringLiteral("Skipped %1: %2").arg(escaped, skipped))) << qPrintable(fromFolder.err);
    EXPECT_TRUE(fromFolder.out.contains(QStringLiteral("  Complete  ") + good)) << qPrintable(fromFolder.out);

    // Named directly: the bytes reach the program only through a shell.
    QProcess shell;
    shell.setProcessEnvironment(headless());
    shell.setWorkingDirectory(work(QString()));
    shell.start(QStringLiteral("/bin/sh"),
                {"-c", R"sh(exec "$0" --batch -p "$1" -o out "$(printf 'in/\377.avi')" "$(printf 'in/\376.avi')")sh",
                 program(), Mp4Profile});
    ASSERT_TRUE(shell.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(shell.readAllStandardOutput());
    EXPECT_EQ(shell.exitCode(), 1);
    EXPECT_TRUE(out.contains(QStringLiteral("  Skipped  in/\\xff.avi (%1)").arg(skipped))) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("  Not found  in/\\xfe.avi"))) << qPrintable(out);
    EXPECT_FALSE(out.contains(QStringLiteral("Not found  in/\\xff"))) << qPrintable(out);
}

TEST_F(BatchTest, ANameWithControlCharactersKeepsToOneLine)
{
    const QString clip = work(QStringLiteral("in/two\nlines\x1b[1m.avi"));
    touchFile(clip);
    const Result result = run({"--batch", "-p", Mp4Profile, "-o", "out", "in"});
    const QString escaped = QStringLiteral("two\\nlines\\x1b[1m");
    const QStringList taskLines = result.out.split(QLatin1Char('\n')).filter(QStringLiteral(".avi -> "));
    ASSERT_EQ(taskLines.size(), 1) << qPrintable(result.out);
    EXPECT_TRUE(taskLines.first().contains(QStringLiteral("in/") + escaped + QStringLiteral(".avi -> ")))
        << qPrintable(result.out);
    EXPECT_TRUE(taskLines.first().contains(QStringLiteral("out/") + escaped + QStringLiteral(".mp4")))
        << qPrintable(result.out);
    const QStringList errLines = result.err.split(QLatin1Char('\n')).filter(QStringLiteral("lines"));
    EXPECT_EQ(errLines.size(), 2) << qPrintable(result.err); // converting, then its end
    for (const QString &line : errLines)
        EXPECT_TRUE(line.contains(escaped)) << qPrintable(result.err);
    // What a line break in the name would have started.
    for (const QString &text : {result.out, result.err})
        EXPECT_FALSE(text.contains(QStringLiteral("\nlines"))) << qPrintable(text);
    EXPECT_FALSE(result.out.contains(QChar(0x1b)) || result.err.contains(QChar(0x1b))) << qPrintable(result.err);
}

// The window, shown on no screen: files named on its command line are probed
// at once, which is an engine running.
class WindowProcessTest : public BatchTest
{
protected:
    QProcessEnvironment offscreen() const
    {
        QProcessEnvironment env = headless();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The task list a killed window leaves stays with the test.
        env.insert(QStringLiteral("XDG_DATA_HOME"), work(QStringLiteral("data")));
        return env;
    }

    // Starts the window with one file whose probe never ends by itself.
    RecordedProcess startWithEngine(QProcess &process, const QProcessEnvironment &environment)
    {
        const QString clip = work(QStringLiteral("in/clip.avi"));
        touchFile(clip);
        folder.setScript(QStringLiteral("pid engine.pid\nsleep 60000\n"));
        start(process, {clip}, environment);
        return waitForEngine(QStringLiteral("engine.pid"), process);
    }
};

TEST_F(WindowProcessTest, AWindowKilledOutrightLeavesNoEngine)
{
    QProcess process;
    const RecordedProcess engine = startWithEngine(process, offscreen());
    ASSERT_GT(engine.pid, 0) << qPrintable(process.readAllStandardError());
    process.kill();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_TRUE(waitFor([&] { return !ProcessAlive(engine.pid); })) << "the engine outlived the window";
    if (ProcessAlive(engine.pid))
        ::kill(engine.pid, SIGKILL);
}

// A signal to end is a close, whenever it comes: also while the warning
// about the profile loaded at the start is up, which then closes and the
// program ends instead of going on.
TEST_F(WindowProcessTest, ASignalToEndClosesTheWindowAsACloseDoes)
{
    const QString broken = folder.filePath(QStringLiteral("Profiles/0 Broken.apf"));
    for (const bool warningUp : {false, true}) {
        // Listed first, the broken profile is the one loaded at the start.
        if (warningUp)
            touchFile(broken, "[Main]\r\nType=../x\r\n");
        for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
            const std::string what = std::string(warningUp ? "warning up, " : "") + strsignal(signal);
            QFile::remove(PreferencesPath(folder.path()));
            for (int call = folder.callCount(); call > 0; --call)
                QFile::remove(folder.filePath(QStringLiteral("call-%1.args").arg(call)));
            QFile::remove(folder.filePath(QStringLiteral("engine.pid")));

            QProcess process;
            QProcessEnvironment env = offscreen();
            env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vantorix.start.info=true"));
            const RecordedProcess engine = startWithEngine(process, env);
            ASSERT_GT(engine.pid, 0) << what << qPrintable(process.readAllStandardError());
            QByteArray log;
            const QByteArray opened = "vantorix.start: message opened: \"Malformed profile\"";
            if (warningUp) {
                ASSERT_TRUE(waitFor([&] {
                    log += process.readAllStandardError();
                    return log.contains(opened);
                })) << what;
            }
            ::kill(static_cast<pid_t>(process.processId()), signal);
            ASSERT_TRUE(process.waitForFinished(30000)) << what;
            EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << what;
            EXPECT_EQ(process.exitCode(), 0) << what;
            EXPECT_FALSE(ProcessAlive(engine.pid)) << what;
            // Saved as a close saves them.
            EXPECT_TRUE(contentOf(PreferencesPath(folder.path())).contains("Profile=")) << what;
            log += process.readAllStandardError();
            EXPECT_EQ(log.count(opened), warningUp ? 1 : 0) << what << log.toStdString();
        }
    }
}

TEST_F(BatchTest, WithoutBatchAndWithoutDisplayOneLineNamesBatch)
{
    const Result result = run({work(QStringLiteral("in"))}, 30000);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(result.crashed) << "the toolkit aborted: " << qPrintable(result.err);
    EXPECT_EQ(result.err.trimmed().count(QLatin1Char('\n')), 0) << qPrintable(result.err);
    EXPECT_TRUE(result.err.contains(QStringLiteral("--batch"))) << qPrintable(result.err);
}

TEST_F(BatchTest, ListsProfilesAndTellsItsVersionAndOptions)
{
    const Result profiles = run({"--batch", "--list-profiles"});
    EXPECT_EQ(profiles.exitCode, 0);
    EXPECT_EQ(profiles.out.trimmed().split('\n'), ProfileList(folder.path()));
    const Result version = run({"--batch", "--version"});
    EXPECT_EQ(version.out.trimmed(), QStringLiteral("Vantorix 3.0"));
    const Result help = run({"--batch", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *option : {"--profile", "--output", "--overwrite", "--rename", "--set", "--start", "--end",
                               "--list-profiles"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
}

// The command line read alone: what each form of it asks for, or the usage
// error it is, with the stored choices (rename, 3 at once, a folder) as defaults.
TEST(BatchCommandLineTest, EachCommandLineGivesItsOptionsOrItsUsageError)
{
    StoredChoices stored;
    stored.outputPath = QStringLiteral("/stored");
    stored.overwrite = false;
    stored.jobs = 3;
    // What a parse shows: the options that differ from a plain "--batch in".
    const auto shown = [](const BatchCommandLine &o) {
        QStringList parts;
        if (o.action != BatchCommandLine::Action::Convert)
            parts << QStringLiteral("action=%1").arg(static_cast<int>(o.action));
        if (!o.profile.isEmpty())
            parts << QStringLiteral("profile=") + o.profile;
        parts << QStringLiteral("output=%1%2").arg(o.output, o.outputGiven ? QStringLiteral("!") : QString());
        parts << QStringLiteral("rename=%1 jobs=%2").arg(o.rename).arg(o.jobs);
        if (o.start || o.end)
            parts << QStringLiteral("range=%1..%2").arg(o.start.value_or(QString()), o.end.value_or(QString()));
        if (o.recursive)
            parts << QStringLiteral("recursive");
        if (o.place != OutputPlace::Folder)
            parts << QStringLiteral("place=%1").arg(static_cast<int>(o.place));
        if (!o.settings.isEmpty())
            parts << QStringLiteral("set=") + o.settings.join(QLatin1Char('|'));
        if (!o.watch.isEmpty())
            parts << QStringLiteral("watch=%1 settle=%2").arg(o.watch).arg(o.settleMs);
        const BatchOptions &after = o.afterwards;
        if (after.notBigger)
            parts << QStringLiteral("not-bigger");
        if (!after.keepDates)
            parts << QStringLiteral("no-dates");
        if (after.original != OriginalAction::Keep)
            parts << QStringLiteral("original=") + OriginalActionName(after.original);
        if (!after.doneCommand.isEmpty() || !after.batchDoneCommand.isEmpty())
            parts << QStringLiteral("done=%1 batch-done=%2").arg(after.doneCommand, after.batchDoneCommand);
        parts << QStringLiteral("paths=") + o.paths.join(QLatin1Char('|'));
        return parts.join(QLatin1Char(' '));
    };
    const struct
    {
        QStringList arguments; // after "vantorix --batch"
        QString options;       // shown(), or empty for a usage error
        QString error;         // part of the usage error
    } cases[] = {
        {{"in"}, "output=/stored rename=1 jobs=3 paths=in", ""},
        {{"-p", "MP4", "-o", "out", "--overwrite", "-j", "2", "a", "b"}, "profile=MP4 output=out! rename=0 jobs=2 paths=a|b", ""},
        {{"--rename", "--start", " 0:00:01 ", "--end", "0:00:03.5", "-r", "--tree", "in"},
         "output=/stored rename=1 jobs=3 range=0:00:01..0:00:03.5 recursive place=1 paths=in", ""},
        {{"--beside", "--set", "Video Size=640x480", "--set", "Audio Bitrate=96k", "in"},
         "output=/stored rename=1 jobs=3 place=2 set=Video Size=640x480|Audio Bitrate=96k paths=in", ""},
        {{"--watch", "w", "--settle", "2.5", "-r"}, "output=/stored rename=1 jobs=3 recursive watch=w settle=2500 paths=", ""},
        {{"--watch", "w"}, "output=/stored rename=1 jobs=3 watch=w settle=10000 paths=", ""},
        {{"--help"}, "action=1 output= rename=0 jobs=1 paths=", ""},
        {{"--list-profiles", "--frob-not-read"}, "", "frob-not-read"},
        {{"--list-profiles"}, "action=3 output= rename=0 jobs=1 paths=", ""},
        {{"--frob", "in"}, "", "frob"},
        {{"--overwrite", "--rename", "in"}, "", "--overwrite and --rename"},
        {{"--tree", "--beside", "in"}, "", "--tree and --beside"},
        {{"-j", "0", "in"}, "", "--jobs \"0\""},
        {{"-j", "two", "in"}, "", "--jobs \"two\""},
        {{"--start", "-0:00:01", "in"}, "", "--start \"-0:00:01\""},
        {{"--end", "soon", "in"}, "", "--end \"soon\""},
        {{"--start", "0:00:05", "--end", "0:00:05", "in"}, "", "--end must come after --start"},
        {{"--settle", "1", "in"}, "", "--settle goes with --watch"},
        {{"--watch", "w", "--settle", "-1"}, "", "--settle \"-1\""},
        {{"--watch", "w", "in"}, "", "no further paths"},
        {{"--watch", "w", "--beside"}, "", "beside their inputs"},
        {{"-o", "out"}, "", "no files or folders"},
        {{"--copy-fitting", "--target-ssim", " 0.985", "--not-bigger", "--no-keep-dates", "--original", "trash",
          "--when-done", "notify 'a b'", "--when-batch-done", "end", "in"},
         "output=/stored rename=1 jobs=3 set=Quality: SSIM=0.985|Streams already in the target format=Copy not-bigger "
         "no-dates original=trash done=notify 'a b' batch-done=end paths=in",
         ""},
        {{"--original", "delete", "in"}, "output=/stored rename=1 jobs=3 original=delete paths=in", ""},
        {{"--original", "shred", "in"}, "", "--original \"shred\""},
    };
    for (const auto &c : cases) {
        const ParsedCommandLine parsed =
            ParseBatchCommandLine(QStringList{"/opt/vantorix/vantorix", "--batch"} + c.arguments, stored);
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        EXPECT_EQ(parsed.ok() ? shown(parsed.options) : QString(), c.options);
        EXPECT_TRUE(parsed.usageError.contains(c.error) && parsed.ok() == c.error.isEmpty())
            << qPrintable(parsed.usageError);
    }
    // The help names the command a person types.
    const ParsedCommandLine help = ParseBatchCommandLine({"/opt/vantorix/vantorix", "--batch", "--help"}, stored);
    EXPECT_TRUE(help.options.helpText.contains(QStringLiteral("vantorix --batch [options]")))
        << qPrintable(help.options.helpText);
}

TEST(GridSettingTest, SetsChoicesCustomSizesAndFreeTextAsTheGridsWould)
{
    ParameterGrids grids;
    grids.video.clear();
    const int size = grids.video.appendRow(QStringLiteral("Video Size"));
    grids.video.setPickList(size, {"Original Size", "Custom Size", "640x480"});
    grids.video.setReadOnly(size, true);
    const int bitrate = grids.video.appendRow(QStringLiteral("Video Bitrate"));
    grids.audio.clear();
    const int fixed = grids.audio.appendRow(QStringLiteral("Audio Codec"), QStringLiteral("aac"), true);

    EXPECT_EQ(ApplyGridSetting(grids, QStringLiteral("video size=640X480")), QString());
    EXPECT_EQ(grids.video.valueAt(size), QStringLiteral("640x480"));
    EXPECT_EQ(ApplyGridSetting(grids, QStringLiteral("Video Size= 200 x 100 ")), QString());
    EXPECT_EQ(grids.video.valueAt(size), QStringLiteral("200x100"));
    EXPECT_EQ(ApplyGridSetting(grids, QStringLiteral("Video Bitrate=800k")), QString());
    EXPECT_EQ(grids.video.valueAt(bitrate), QStringLiteral("800k"));

    for (const char *bad : {"Video Size=0x100", "Video Size=Custom Size", "Video Size=big", "Audio Codec=mp3",
                              "Colour=red", "=1", "Video Size"})
        EXPECT_NE(ApplyGridSetting(grids, bad), QString()) << qPrintable(bad);
    EXPECT_EQ(grids.video.valueAt(size), QStringLiteral("200x100"));
    EXPECT_EQ(grids.audio.valueAt(fixed), QStringLiteral("aac"));
}

TEST(DisplayCheckTest, PlatformsWithoutADisplayServerAreUsableAndAbsentServersAreNot)
{
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    EXPECT_TRUE(DisplayAvailable({"vantorix"}));
    EXPECT_FALSE(DisplayAvailable({"vantorix", "-platform", "xcb"}));
    qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    EXPECT_FALSE(DisplayAvailable({"vantorix"}));
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_TRUE(DisplayAvailable({"vantorix"}));
    qunsetenv("QT_QPA_PLATFORM");
    EXPECT_TRUE(DisplayAvailable({"vantorix"}));
    qunsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(DisplayAvailable({"vantorix"}));

    qputenv("DISPLAY", display);
    qputenv("WAYLAND_DISPLAY", wayland);
    qputenv("QT_QPA_PLATFORM", platform);
    if (display.isEmpty())
        qunsetenv("DISPLAY");
    if (wayland.isEmpty())
        qunsetenv("WAYLAND_DISPLAY");
}

TEST(BatchViewTest, ATerminalGetsOneRewrittenLinePerTaskAndALogOneLinePerStatus)
{
    for (const bool terminal : {true, false}) {
        TaskListModel tasks;
        ltvItemData task = clipTask(QStringLiteral("clip"));
        tasks.appendTask(task);
        ViewStream out;
        ASSERT_TRUE(out.open());
        {
            BatchView view(tasks, QStringLiteral("/out/"), QStringLiteral(".mp4"), false, terminal, out.stream);
            task.StatusText = QStringLiteral("Converting");
            WriteItemData(tasks, 0, 2, task);
            view.setCurrentProgress(40, QStringLiteral("40%"));
            view.setCurrentProgress(80, QStringLiteral("80%"));
            task.StatusText = QStringLiteral("Complete");
            WriteItemData(tasks, 0, 2, task);
            EXPECT_EQ(view.outputPaths(), QStringList{QStringLiteral("/out/clip.mp4")});
        }
        const QString text = out.text();
        if (terminal) {
            EXPECT_EQ(text.count(QLatin1Char('\n')), 1) << qPrintable(text);
            EXPECT_TRUE(text.contains(QStringLiteral("\r[1/1] clip.avi  40%"))) << qPrintable(text);
            EXPECT_TRUE(text.contains(QStringLiteral("\r[1/1] clip.avi  80%"))) << qPrintable(text);
            EXPECT_TRUE(text.endsWith(QStringLiteral("Complete  elapsed 00:00:00\033[K\n"))) << qPrintable(text);
        } else {
            EXPECT_EQ(text, QStringLiteral("[1/1] Converting /in/clip.avi -> /out/clip.mp4\n"
                                           "[1/1] Complete clip.avi (00:00:00)\n"));
        }
    }
    EXPECT_EQ(BatchView::RemainingText(10000, 25), QStringLiteral("00:00:30"));
    EXPECT_EQ(BatchView::RemainingText(10000, 0), QString());
}

TEST_F(BatchTest, AMediaFileIsReadInProcessAndTheEngineOnlyConvertsIt)
{
    const QString clip = work(QStringLiteral("in/clip.avi"));
    ASSERT_TRUE(makeClip(clip, 1));
    const Result result = run({"--batch", "-p", Mp4Profile, "-o", "out", clip});
    EXPECT_FALSE(result.crashed) << qPrintable(result.err + result.out);
    ASSERT_GE(folder.callCount(), 1) << qPrintable(result.err + result.out);
    for (int call = 1; call <= folder.callCount(); ++call)
        EXPECT_TRUE(folder.arguments(call).contains(QStringLiteral("-y"))) << qPrintable(folder.arguments(call).join(' '));
}
