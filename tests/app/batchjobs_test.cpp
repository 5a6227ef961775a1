// The batch mode with several conversions at once (-j), and paused from the
// terminal with Ctrl+Z (SIGTSTP) and fg (SIGCONT).
#include "batch/batchmode.h"
#include "batch/batchview.h"
#include "batchfixture.h"
#include "conversion/conversionrun.h"
#include "profiles/preferences.h"

#include <QElapsedTimer>
#include <QRegularExpression>

namespace {

class BatchJobsTest : public BatchTest
{
protected:
    void SetUp() override
    {
        BatchTest::SetUp();
        if (MaxJobs() < 2)
            GTEST_SKIP() << "one processor core";
    }

    // Fake media of 10 s named `name` in the input folder, whose conversion
    // waits for the file go-`name` before it ends.
    QString heldClip(const QString &name)
    {
        const QString clip = work(QStringLiteral("in/") + name + QStringLiteral(".avi"));
        EXPECT_TRUE(WriteFakeMedia(clip, QStringLiteral("00:00:10")));
        folder.setScriptFor(name + QStringLiteral(".avi"),
                            QStringLiteral("print 0 a\nprint 60 b\nprint 60 time=00:00:05.00 \\r\nwait-for go-%1\nexit 0\n")
                                .arg(name));
        return clip;
    }
    void release(const QString &name) const { touchFile(folder.filePath(QStringLiteral("go-") + name)); }
    int conversions() const { return CountProcesses(folder.enginePath(), QStringLiteral("-y")); }
};

TEST_F(BatchJobsTest, TwoEnginesAtMostRowsEndOutOfOrderAndTheSummaryKeepsTheInputOrder)
{
    const QStringList clips = {heldClip(QStringLiteral("a")), heldClip(QStringLiteral("b")), heldClip(QStringLiteral("c"))};
    QProcess process;
    start(process, QStringList{"--batch", "-p", Mp4Profile, "-o", "out", "--jobs", "2"} + clips);
    int most = 0;
    const auto watch = [&](const std::function<bool()> &until) {
        return waitFor([&] {
            most = std::max(most, conversions());
            return until() || process.state() == QProcess::NotRunning;
        });
    };
    QString err;
    ASSERT_TRUE(watch([&] { return folder.callCount() == 2; }));
    EXPECT_EQ(conversions(), 2);
    // b ends first: a's engine is let go only once b's row has its result.
    release(QStringLiteral("b"));
    ASSERT_TRUE(watch([&] {
        err += QString::fromLocal8Bit(process.readAllStandardError());
        return folder.callCount() == 3 && err.contains(QStringLiteral("[2/3] Complete b.avi"));
    }));
    release(QStringLiteral("c"));
    release(QStringLiteral("a"));
    ASSERT_TRUE(process.waitForFinished(30000));
    most = std::max(most, conversions());

    EXPECT_EQ(process.exitCode(), BatchCompleted);
    EXPECT_EQ(most, 2);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    err += QString::fromLocal8Bit(process.readAllStandardError());
    // The progress lines name their file; b ended first.
    EXPECT_LT(err.indexOf(QStringLiteral("[2/3] Complete b.avi")), err.indexOf(QStringLiteral("[1/3] Complete a.avi")))
        << qPrintable(err);
    const QRegularExpression summary(QStringLiteral("Complete  .*a\\.avi -> .*a\\.mp4\\n"
                                                    "  Complete  .*b\\.avi -> .*b\\.mp4\\n"
                                                    "  Complete  .*c\\.avi -> .*c\\.mp4"));
    EXPECT_TRUE(summary.match(out).hasMatch()) << qPrintable(out);
}

TEST_F(BatchJobsTest, TheStoredNumberIsTheDefaultAndABadNumberIsAUsageError)
{
    const QStringList clips = {heldClip(QStringLiteral("a")), heldClip(QStringLiteral("b"))};
    touchFile(PreferencesPath(folder.path()), QByteArray("[Main]\r\nJobs=2\r\n"));
    QProcess process;
    start(process, QStringList{"--batch", "-p", Mp4Profile, "-o", "out"} + clips);
    ASSERT_TRUE(waitFor([&] { return folder.callCount() == 2 || process.state() == QProcess::NotRunning; }));
    EXPECT_EQ(conversions(), 2);
    release(QStringLiteral("a"));
    release(QStringLiteral("b"));
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), BatchCompleted);

    for (const QStringList &bad : {QStringList{"-j", "0"}, QStringList{"--jobs", "two"},
                                   QStringList{"-j", QString::number(MaxJobs() + 1)}, QStringList{"-j", "-1"}}) {
        const Result result = run(QStringList{"--batch", "-o", "out"} + bad + clips);
        EXPECT_EQ(result.exitCode, BatchUsage) << qPrintable(bad.join(' '));
        EXPECT_TRUE(result.err.contains(QStringLiteral("--jobs"))) << qPrintable(result.err);
    }
    EXPECT_EQ(folder.callCount(), 2);
}

// Ctrl+Z in a terminal signals the program's process group; a SIGTSTP may
// also be sent to the program alone.
class SuspendTest : public RealEngineBatchTest, public ::testing::WithParamInterface<bool>
{
};

} // namespace

TEST_F(RealEngineBatchTest, FourClipsTwoAtATimeAreAllValid)
{
    if (MaxJobs() < 2)
        GTEST_SKIP() << "one processor core";
    QStringList clips;
    for (int i = 1; i <= 4; ++i) {
        clips << work(QStringLiteral("in/clip %1.avi").arg(i));
        ASSERT_TRUE(makeClip(clips.last(), 1 + i % 2));
    }
    const Result result = run(QStringList{"--batch", "-p", QStringLiteral("AVI MPEG-4 MP3"), "-o", "out", "-j", "2"} + clips);
    EXPECT_EQ(result.exitCode, BatchCompleted) << qPrintable(result.err + result.out);
    for (int i = 1; i <= 4; ++i) {
        const QString output = work(QStringLiteral("out/clip %1.avi").arg(i));
        EXPECT_EQ(ffprobeValues(output, QStringLiteral("stream=codec_name")).split('\n'),
                  QStringList({QStringLiteral("mpeg4"), QStringLiteral("mp3")}))
            << qPrintable(output);
        EXPECT_NEAR(ffprobeValues(output, QStringLiteral("format=duration")).toDouble(), 1 + i % 2, 0.2);
    }
    EXPECT_EQ(QDir(work(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

// Ctrl+Z reaches the program's process group only: the engine, in a group of
// its own, is held by the program before it stops itself; fg continues both,
// and a second Ctrl+Z holds them again.
TEST_P(SuspendTest, HoldsTheEngineAndTheProgramAndContinuingFinishesTheBatch)
{
    const bool group = GetParam();
    const QString clip = work(QStringLiteral("in/long.avi"));
    ASSERT_TRUE(makeClip(clip, 20, QStringLiteral("640x360")));
    QProcess process;
    start(process, {"--batch", "-p", Mp4Profile, "-o", "out", clip}, headless(), true);
    QList<pid_t> engines;
    ASSERT_TRUE(waitFor([&] {
        engines = FindProcesses(folder.enginePath(), QStringLiteral("-y"));
        return !engines.isEmpty() || process.state() == QProcess::NotRunning;
    }, 60000));
    ASSERT_EQ(engines.size(), 1) << qPrintable(process.readAllStandardError());
    const auto batch = static_cast<pid_t>(process.processId());
    QElapsedTimer wall;
    wall.start();

    // Ctrl+Z, fg, and again: each suspend holds the engine as the first did.
    qint64 heldMs = 0;
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(ProcessAlive(engines[0])) << "the engine ended before suspend " << round;
        ::kill(group ? -batch : batch, SIGTSTP);
        ASSERT_TRUE(waitFor([&] { return ProcessState(batch) == 'T' && ProcessState(engines[0]) == 'T'; }))
            << "suspend " << round;
        // Held for a while, which no elapsed time may count.
        QElapsedTimer held;
        held.start();
        ASSERT_TRUE(waitFor([&] { return held.elapsed() >= 1500; }));
        EXPECT_EQ(ProcessState(engines[0]), 'T') << "suspend " << round;
        heldMs += held.elapsed();

        ::kill(group ? -batch : batch, SIGCONT);
        ASSERT_TRUE(waitFor([&] { return ProcessState(engines[0]) != 'T'; })) << "continue " << round;
    }
    ASSERT_TRUE(process.waitForFinished(120000));
    const qint64 wallMs = wall.elapsed();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), BatchCompleted);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    const QRegularExpressionMatch done =
        QRegularExpression(QStringLiteral("\\[1/1\\] Complete long\\.avi \\((\\d+):(\\d+):(\\d+)\\)")).match(err);
    ASSERT_TRUE(done.hasMatch()) << qPrintable(err);
    const int elapsed = done.captured(1).toInt() * 3600 + done.captured(2).toInt() * 60 + done.captured(3).toInt();
    EXPECT_LE(elapsed * 1000, wallMs - heldMs + 1000) << qPrintable(err);
    EXPECT_NEAR(ffprobeValues(work(QStringLiteral("out/long.mp4")), QStringLiteral("format=duration")).toDouble(),
                20.0, 0.3);
}

INSTANTIATE_TEST_SUITE_P(GroupOrProgram, SuspendTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "ItsGroup" : "TheProgramAlone");
                         });

TEST(BatchViewJobsTest, SeveralTasksShareOneLineAndEachEndGetsItsOwn)
{
    TaskListModel tasks;
    for (const char *name : {"a", "b"})
        tasks.appendTask(clipTask(QLatin1String(name)));
    ViewStream out;
    ASSERT_TRUE(out.open());
    const auto status = [&](int row, const char *text) {
        ltvItemData task;
        task.StatusText = QLatin1String(text);
        WriteItemData(tasks, row, 2, task);
    };
    {
        BatchView view(tasks, QStringLiteral("/out/"), QStringLiteral(".mp4"), false, true, out.stream);
        view.setJobs(2);
        EXPECT_EQ(view.batchOptions().jobs, 2);
        status(0, "Converting");
        status(1, "Converting");
        status(0, "37%");
        status(1, "12%");
        view.setTotalProgress(25, QStringLiteral("25%"));
        status(0, "Paused");
        status(1, "Paused");
        status(0, "37%");
        status(1, "12%");
        status(1, "Complete");
        status(0, "Failed");
    }
    const QString text = out.text();
    EXPECT_TRUE(text.contains(QStringLiteral("\r[1/2] a.avi 37%  [2/2] b.avi 12%  elapsed 00:00:00"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("\r[1/2] a.avi Paused  [2/2] b.avi Paused"))) << qPrintable(text);
    // b's end on a line of its own, then a alone on the live line.
    EXPECT_TRUE(text.contains(QStringLiteral("\r[2/2] b.avi  Complete  elapsed 00:00:00\033[K\n\r[1/2] a.avi 37%")))
        << qPrintable(text);
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r[1/2] a.avi  Failed  elapsed 00:00:00\033[K\n"))) << qPrintable(text);
    EXPECT_EQ(text.count(QLatin1Char('\n')), 2);
}
