// Conversions and probes through the real engine (ffmpeg) on clips that the
// test makes with the engine itself.
#include "conversion/conversionrun.h"
#include "conversion/mediaprobe.h"
#include "conversion/probequeue.h"

#include "fakes/clips.h"
#include "fakes/processes.h"
#include "fakes/programfolder.h"
#include "fakes/recorders.h"
#include "fakeview.h"
#include "probetask.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <unistd.h>

namespace {

QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAll());
}

QString ffprobe(const QString &path, const QString &entries)
{
    return runTool(QStringLiteral(VANTORIX_FFPROBE),
                   {"-v", "error", "-show_entries", entries, "-of", "default=noprint_wrappers=1", path})
        .trimmed();
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

    // Probes `clip` into the task list and converts it with `params`.
    void convert(const QString &clip, const QString &params, const std::function<void(ConversionRun &)> &prepare = {})
    {
        tasks.appendTask(TaskFromProbe(clip, probeAndWait(folder.enginePath(), clip), view.ext));
        ConversionRun run(tasks, view, interactive, shell, power);
        run.setEnginePath(folder.enginePath());
        if (prepare)
            prepare(run);
        QSignalSpy finished(&run, &ConversionRun::finished);
        run.RunConversion(params);
        ASSERT_TRUE(finished.wait(60000));
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

    convert(clip, QStringLiteral(" -vcodec libx264 -preset ultrafast -s 160x120 -acodec aac"));

    ltvItemData task;
    ReadItemData(tasks, 0, WholeRowField, task);
    EXPECT_NEAR(task.LengthSecs, 3.0, 0.1) << task.LengthText.toStdString();
    EXPECT_EQ(task.SizeText, QStringLiteral(" 320x240"));
    EXPECT_EQ(task.OrigEndText, task.LengthText);

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

TEST_F(RealEngineTest, ProbeQueueAddsClipsSideBySideInTheirOrder)
{
    const QStringList sizes = {"320x240", "160x120", "64x48"};
    QStringList clips;
    for (int i = 0; i < sizes.size(); ++i) {
        clips << clipFolder + QStringLiteral("/clip %1.avi").arg(i + 1);
        ASSERT_TRUE(makeClip(clips.last(), i + 1, sizes[i]));
    }
    clips.insert(1, clipFolder + QStringLiteral("/missing.avi"));

    ProbeQueue queue(tasks);
    queue.setEnginePath(folder.enginePath());
    queue.setMaxParallel(2);
    QSignalSpy idle(&queue, &ProbeQueue::idle);
    for (const QString &clip : clips)
        ASSERT_TRUE(queue.enqueue(clip, QStringLiteral(".mkv")));
    ASSERT_TRUE(idle.wait(60000));

    ASSERT_EQ(tasks.rowCount(), 4);
    const double lengths[] = {1, -1, 2, 3};
    const QStringList expectedSizes = {" 320x240", "", " 160x120", " 64x48"};
    for (int row = 0; row < 4; ++row) {
        ltvItemData task;
        ReadItemData(tasks, row, WholeRowField, task);
        EXPECT_EQ(task.InputFile, clips[row]);
        EXPECT_NEAR(task.LengthSecs, lengths[row], 0.1) << task.LengthText.toStdString();
        EXPECT_EQ(task.SizeText, expectedSizes[row]);
        EXPECT_EQ(task.NewExt, QStringLiteral(".mkv"));
    }
}

TEST_F(RealEngineTest, AnEngineErrorIsReportedAsAFailure)
{
    const QString clip = clipFolder + QStringLiteral("/short.avi");
    ASSERT_TRUE(makeClip(clip, 1));
    convert(clip, QStringLiteral(" -vcodec no_such_codec"));

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
    // The engine is slowed to real time so that the stop lands in the middle.
    const QString marker = QStringLiteral("stop-marker-%1").arg(QCoreApplication::applicationPid());
    bool sawRunning = false;
    convert(clip, QStringLiteral(" -vf realtime -vcodec mpeg4 -metadata comment=") + marker, [&](ConversionRun &run) {
        QObject::connect(&run, &ConversionRun::engineStarted, &run, [&] {
            QTimer::singleShot(1500, &run, [&] {
                sawRunning = ProcessRunsWith(marker);
                run.requestStop();
            });
        });
    });

    EXPECT_TRUE(sawRunning);
    EXPECT_EQ(tasks.index(0, 3).data().toString(), QStringLiteral("Stop"));
    EXPECT_GT(view.currentBar, 0);
    EXPECT_LT(view.currentBar, 100);
    EXPECT_FALSE(ProcessRunsWith(marker));
}

// The disk fills up under the engine, which still ends with status 0 after
// "Error writing trailer". Needs root to mount a small file system.
TEST_F(RealEngineTest, AFullDiskFailsTheTaskAndKeepsTheEarlierOutput)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const QString disk = folder.filePath(QStringLiteral("small disk"));
    ASSERT_TRUE(QDir().mkpath(disk));
    const QString mounted = runTool(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=100k", "tmpfs", disk});
    if (!runTool(QStringLiteral("findmnt"), {"-n", disk}).contains(QStringLiteral("tmpfs")))
        GTEST_SKIP() << "no tmpfs could be mounted: " << mounted.toStdString();
    const std::unique_ptr<QString, void (*)(QString *)> unmount(new QString(disk), [](QString *path) {
        runTool(QStringLiteral("umount"), {"-l", *path});
        delete path;
    });
    const QString earlier = disk + QStringLiteral("/big.mp4");
    QFile file(earlier);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("the earlier output");
    file.close();
    const QString clip = clipFolder + QStringLiteral("/big.avi");
    ASSERT_TRUE(makeClip(clip, 4));
    view.folder = disk;

    convert(clip, QStringLiteral(" -vcodec mpeg4 -q:v 1"));

    EXPECT_EQ(tasks.index(0, 3).data().toString(), QStringLiteral("Failed"));
    const QString tip = tasks.index(0, 3).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("The output is damaged: the engine reported \"Error writing trailer")))
        << tip.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("the earlier output"));
    EXPECT_EQ(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("big.mp4")});
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Complete|The conversion is finished, but 1 of 1 files failed."}));
}

// An output much shorter than the clip asked for (here the profile's own -t).
TEST_F(RealEngineTest, AnOutputShorterThanAskedForFails)
{
    const QString clip = clipFolder + QStringLiteral("/three.avi");
    ASSERT_TRUE(makeClip(clip, 3));
    convert(clip, QStringLiteral(" -vcodec mpeg4 -t 0.2"));

    EXPECT_EQ(tasks.index(0, 3).data().toString(), QStringLiteral("Failed"));
    const QString reason = tasks.index(0, 3).data(Qt::ToolTipRole).toString().section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(reason.startsWith(QStringLiteral("The output lasts 0.2"))) << reason.toStdString();
    EXPECT_TRUE(reason.endsWith(QStringLiteral(" s instead of 3.00 s."))) << reason.toStdString();
    EXPECT_TRUE(EntriesIn(view.folder).isEmpty());
}

} // namespace

namespace {

// The engine runs only to convert: the input and the finished output are read
// in this process. An engine that logs each start and then converts shows it.
TEST_F(RealEngineTest, TheEngineRunsOnlyToConvertAndTheOutputIsCheckedInProcess)
{
    const QString clip = clipFolder + QStringLiteral("/counted.avi");
    ASSERT_TRUE(makeClip(clip, 2));
    const QString log = folder.filePath(QStringLiteral("starts.log"));
    const QString wrapper = folder.filePath(QStringLiteral("counting-engine"));
    QFile script(wrapper);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho start >> '%1'\nexec '%2' \"$@\"\n")
                     .arg(log, QStringLiteral(VANTORIX_FFMPEG))
                     .toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);

    tasks.appendTask(TaskFromProbe(clip, probeAndWait(wrapper, clip), view.ext));
    ConversionRun run(tasks, view, interactive, shell, power);
    run.setEnginePath(wrapper);
    QSignalSpy finished(&run, &ConversionRun::finished);
    run.RunConversion(QStringLiteral(" -vcodec mpeg4 -acodec aac"));
    ASSERT_TRUE(finished.wait(60000));

    EXPECT_EQ(tasks.index(0, 3).data().toString(), QStringLiteral("Complete"));
    QFile starts(log);
    ASSERT_TRUE(starts.open(QIODevice::ReadOnly));
    EXPECT_EQ(starts.readAll(), QByteArray("start\n"));
}

} // namespace
