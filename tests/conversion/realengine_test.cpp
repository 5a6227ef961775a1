// Conversions and probes through the real engine (ffmpeg) on clips that the
// test makes with the engine itself.
#include "conversion/conversionrun.h"
#include "conversion/mediaprobe.h"

#include "fakes/programfolder.h"
#include "fakes/recorders.h"
#include "fakeview.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAll());
}

// A clip of `seconds` seconds: test picture and sine tone.
bool makeClip(const QString &path, int seconds)
{
    runTool(QStringLiteral(VANTORIX_FFMPEG),
            {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
             "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i", "sine=frequency=440", "-t",
             QString::number(seconds), "-c:v", "mpeg4", "-c:a", "mp2", path});
    return QFileInfo(path).size() > 0;
}

QString ffprobe(const QString &path, const QString &entries)
{
    return runTool(QStringLiteral(VANTORIX_FFPROBE),
                   {"-v", "error", "-show_entries", entries, "-of", "default=noprint_wrappers=1", path})
        .trimmed();
}

bool engineStillRunning(const QString &marker)
{
    // Any process whose command line holds the marker.
    const QString listing = runTool(QStringLiteral("ps"), {"-eo", "args"});
    return listing.contains(marker);
}

class RealEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        clipFolder = folder.filePath(QStringLiteral("clips ü"));
        QDir().mkpath(clipFolder);
        view.folder = folder.filePath(QStringLiteral("out put"));
        QDir().mkpath(view.folder);
    }

    void addProbedTask(MediaProbe &probe, const QString &path)
    {
        probe.ProbeFile(path);
        ltvItemData task;
        task.InputFile = path;
        task.LengthText = probe.ProbeLength;
        task.SizeText = probe.ProbeSize;
        task.StatusText = QStringLiteral("OK");
        task.NewName = QFileInfo(path).completeBaseName();
        task.NewExt = view.ext;
        task.OrigStartText = probe.ProbeStart;
        task.OrigEndText = probe.ProbeEnd;
        task.ClipLengthText = probe.ProbeLength;
        task.StartText = probe.ProbeStart;
        task.EndText = probe.ProbeEnd;
        tasks.appendTask(task);
    }

    TestProgramFolder folder{TestProgramFolder::Engine::Real};
    QString clipFolder;
    TaskListModel tasks;
    FakeView view;
    RecordingInteractive interactive;
    RecordingShell shell;
    RecordingPowerControl power;
};

TEST_F(RealEngineTest, ProbesAndConvertsAGeneratedClip)
{
    const QString clip = clipFolder + QStringLiteral("/it's a \"clip\".avi");
    ASSERT_TRUE(makeClip(clip, 3));

    MediaProbe probe(folder.enginePath());
    addProbedTask(probe, clip);
    EXPECT_NEAR(TimeTextToSeconds(probe.ProbeLength), 3.0, 0.1) << probe.ProbeLength.toStdString();
    EXPECT_EQ(probe.ProbeSize, QStringLiteral(" 320x240"));

    ConversionRun run(tasks, view, interactive, shell, power);
    run.setEnginePath(folder.enginePath());
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QStringLiteral(" -vcodec libx264 -preset ultrafast -s 160x120 -acodec aac"));
    ASSERT_TRUE(finished.wait(60000));

    EXPECT_EQ(tasks.index(0, 3).data().toString(), QStringLiteral("Complete"));
    EXPECT_EQ(interactive.messages,
              QStringList({"information|Complete|The coversion is completed successfully."}));
    const QString output = view.folder + QStringLiteral("/it's a \"clip\".mp4");
    ASSERT_TRUE(QFileInfo::exists(output));
    EXPECT_EQ(ffprobe(output, QStringLiteral("stream=codec_name,width,height")),
              QStringLiteral("codec_name=h264\nwidth=160\nheight=120\ncodec_name=aac"));
    EXPECT_NEAR(ffprobe(output, QStringLiteral("format=duration")).mid(9).toDouble(), 3.0, 0.2);
    EXPECT_EQ(view.totalBar, 100);
}

TEST_F(RealEngineTest, AnEngineErrorIsReportedAsAFailure)
{
    const QString clip = clipFolder + QStringLiteral("/short.avi");
    ASSERT_TRUE(makeClip(clip, 1));
    MediaProbe probe(folder.enginePath());
    addProbedTask(probe, clip);

    ConversionRun run(tasks, view, interactive, shell, power);
    run.setEnginePath(folder.enginePath());
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QStringLiteral(" -vcodec no_such_codec"));
    ASSERT_TRUE(finished.wait(60000));

    EXPECT_EQ(tasks.index(0, 3).data().toString(), QStringLiteral("Failed"));
    EXPECT_TRUE(tasks.item(0, 0)->data(TaskListModel::EngineOutputRole).toString().contains(
        QStringLiteral("no_such_codec")));
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Complete|The conversion is finished, but 1 of 1 files failed."}));
}

TEST_F(RealEngineTest, StopLeavesNoEngineBehind)
{
    const QString clip = clipFolder + QStringLiteral("/long.avi");
    ASSERT_TRUE(makeClip(clip, 20));
    MediaProbe probe(folder.enginePath());
    addProbedTask(probe, clip);

    ConversionRun run(tasks, view, interactive, shell, power);
    run.setEnginePath(folder.enginePath());
    // Slow the engine to real time so the stop lands in the middle.
    const QString marker = QStringLiteral("stop-marker-%1").arg(QCoreApplication::applicationPid());
    bool sawRunning = false;
    QObject::connect(&run, &ConversionRun::engineStarted, &run, [&] {
        QTimer::singleShot(1500, &run, [&] {
            sawRunning = engineStillRunning(marker);
            run.requestStop();
        });
    });
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QStringLiteral(" -vf realtime -vcodec mpeg4 -metadata comment=") + marker);
    ASSERT_TRUE(finished.wait(60000));

    EXPECT_TRUE(sawRunning);
    EXPECT_EQ(tasks.index(0, 3).data().toString(), QStringLiteral("Stop"));
    EXPECT_GT(view.currentBar, 0);
    EXPECT_LT(view.currentBar, 100);
    EXPECT_FALSE(engineStillRunning(marker));
}

} // namespace
