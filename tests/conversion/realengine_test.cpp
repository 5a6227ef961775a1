// Conversions and probes through the real engine (ffmpeg) on clips that the
// test makes with the engine itself.
#include "conversion/conversionrun.h"
#include "conversion/engineprocess.h"
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
    EXPECT_TRUE(tasks.index(0, 0).data(TaskListModel::EngineOutputRole).toString().contains(
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
    EXPECT_EQ(tip.section(QLatin1Char('\n'), 0, 0),
              QStringLiteral("The disk is full: free some space or choose another output folder."));
    EXPECT_TRUE(tip.section(QLatin1Char('\n'), 1, 1)
                    .startsWith(QStringLiteral("The output is damaged: the engine reported \"Error writing trailer")))
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

// The failures people meet, provoked with the real engine: the first line of
// the failed row's tip says in plain words what went wrong and what to do; the
// engine's own last line follows.
TEST_F(RealEngineTest, AFailedRowsTipFirstSaysWhyInPlainWords)
{
    const QString wmv = clipFolder + QStringLiteral("/windows.wmv");
    ASSERT_TRUE(runEngine({"-f", "lavfi", "-i", "testsrc=d=1:s=160x120", "-f", "lavfi", "-i", "sine=d=1", "-c:v",
                           "wmv2", "-c:a", "wmav2"},
                          wmv));
    const QString avi = clipFolder + QStringLiteral("/clip.avi");
    ASSERT_TRUE(makeClip(avi, 1, QStringLiteral("160x120")));
    const QString gone = clipFolder + QStringLiteral("/gone.avi");
    const QString locked = clipFolder + QStringLiteral("/locked.avi");
    const QString broken = clipFolder + QStringLiteral("/broken.avi");
    QFile junk(broken);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'z'));
    junk.close();

    // Root opens any file: its engine runs without that power for the locked case.
    const QString lockedEngine = folder.filePath(QStringLiteral("engine-without-override"));
    if (::geteuid() == 0) {
        QFile script(lockedEngine);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nexec setpriv --bounding-set -dac_override,-dac_read_search '%1' \"$@\"\n")
                         .arg(QStringLiteral(VANTORIX_FFMPEG))
                         .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    }
    const QString moveOn = QStringLiteral(": choose a converting MP4 profile or the \"MKV Copy Streams\" profile.");
    const struct
    {
        const char *name;
        QString input;
        QString params;
        QString ext;
        std::function<void(ConversionRun &)> prepare;
        QString sentence;
    } cases[] = {
        {"video copied into a container that cannot hold it", wmv, QStringLiteral(" -vcodec copy -acodec copy"),
         QStringLiteral(".mp4"), {}, QStringLiteral("WMV2 video cannot be copied into MP4") + moveOn},
        {"audio copied into a container that cannot hold it", wmv, QStringLiteral(" -vcodec mpeg4 -acodec copy"),
         QStringLiteral(".mp4"), {}, QStringLiteral("WMAV2 audio cannot be copied into MP4") + moveOn},
        {"a codec the container cannot hold", wmv, QStringLiteral(" -vcodec wmv2 -an"), QStringLiteral(".mp4"), {},
         QStringLiteral("WMV2 video cannot be stored in MP4: choose another video codec or an MKV profile.")},
        {"copied into WebM", avi, QStringLiteral(" -vcodec copy -acodec copy"), QStringLiteral(".webm"), {},
         QStringLiteral("WebM can hold only VP8 or VP9 or AV1 video and Vorbis or Opus audio and WebVTT subtitles: "
                        "choose a converting WebM profile or the \"MKV Copy Streams\" profile.")},
        {"unknown encoder", avi, QStringLiteral(" -vcodec no_such_codec"), QStringLiteral(".mp4"), {},
         QStringLiteral("The engine has no encoder \"no_such_codec\": choose another profile or another codec.")},
        {"encoder that cannot start", avi, QStringLiteral(" -vcodec libx264 -profile:v nosuch"), QStringLiteral(".mp4"),
         {},
         QStringLiteral("The encoder \"libx264\" could not start (Error setting profile nosuch): choose another "
                        "profile or change its parameters.")},
        {"output type the engine cannot write", avi, QStringLiteral(" -vcodec mpeg4"), QStringLiteral(".xyz"), {},
         QStringLiteral("The engine cannot write \".xyz\" files: choose another output extension.")},
        {"input gone", gone, QStringLiteral(" -vcodec mpeg4"), QStringLiteral(".mp4"),
         [&](ConversionRun &) { QFile::remove(gone); },
         QStringLiteral("\"%1\" does not exist: it may have been moved, renamed or deleted.").arg(gone)},
        {"input not readable", locked, QStringLiteral(" -vcodec mpeg4"), QStringLiteral(".mp4"),
         [&](ConversionRun &run) {
             QFile::setPermissions(locked, QFileDevice::Permissions());
             if (::geteuid() == 0)
                 run.setEnginePath(lockedEngine);
         },
         QStringLiteral("The engine was not allowed to open \"%1\": check the permissions of the file and its folder.")
             .arg(locked)},
        {"damaged input", broken, QStringLiteral(" -vcodec mpeg4"), QStringLiteral(".mp4"), {},
         QStringLiteral("\"%1\" is damaged or is not a video or audio file the engine can read.").arg(broken)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tasks.removeRows(0, tasks.rowCount());
        if (!QFileInfo::exists(c.input))
            QFile::copy(avi, c.input);
        view.ext = c.ext;
        convert(c.input, c.params, c.prepare);
        ASSERT_EQ(tasks.index(0, 3).data().toString(), QStringLiteral("Failed"));
        const QStringList tip = tasks.index(0, 3).data(Qt::ToolTipRole).toString().split(QLatin1Char('\n'));
        EXPECT_EQ(tip.first(), c.sentence);
        EXPECT_FALSE(tip.join('\n').contains(QStringLiteral("libavutil"))) << "the engine's banner is left out";
        const QString kept = tasks.index(0, 0).data(TaskListModel::EngineOutputRole).toString();
        EXPECT_EQ(tip.last(), TaskListModel::LastLines(kept, 1)) << tip.join('\n').toStdString();
    }
}

} // namespace

// A clip longer than the segments set in the batch options: its pieces go
// through the run's engine factory (as they would to other hosts), up to
// two at once, held all by a pause, the Engine Output shows each one's log, and the row is one Complete
// row whose output holds every frame of the clip.
TEST_F(RealEngineTest, ALongClipGoesInSegmentsThroughTheRunsEngineFactory)
{
    const QString clip = clipFolder + QStringLiteral("/long.avi");
    ASSERT_TRUE(makeClip(clip, 12));
    view.options.segmentMinutes = 0.05;
    view.options.jobs = 2;
    QStringList made;
    int mostAtOnce = 0;
    int running = 0;
    // Paused once the first segment runs: every engine of the task is held
    // and no other starts until it goes on.
    QString pausedStates;
    qsizetype madeWhenPaused = -1;
    QList<int> barsBeforeSegments;
    convert(clip, QStringLiteral(" -vcodec libx264 -preset ultrafast -acodec aac"), [&](ConversionRun &run) {
        run.setEngineFactory([&](const ltvItemData &task, const QString &, QObject *parent) -> TaskEngine * {
            made << QFileInfo(task.InputFile).fileName();
            auto *engine = new EngineProcess(parent);
            QObject::connect(engine, &TaskEngine::started, [&] {
                mostAtOnce = std::max(mostAtOnce, ++running);
                if (madeWhenPaused >= 0)
                    return;
                // Nothing converted yet: the cut's own times moved no bar.
                barsBeforeSegments = view.currentHistory;
                madeWhenPaused = made.size();
                run.pause();
                QTimer::singleShot(300, &run, [&] {
                    for (const pid_t pid : FindProcesses(folder.enginePath(), QStringLiteral("-y")))
                        pausedStates += QLatin1Char(ProcessState(pid));
                    madeWhenPaused = made.size() - madeWhenPaused;
                    run.resume();
                });
            });
            QObject::connect(engine, &TaskEngine::ended, [&] { --running; });
            return engine;
        });
    });
    EXPECT_FALSE(pausedStates.isEmpty());
    EXPECT_EQ(pausedStates, QString(pausedStates.size(), QLatin1Char('T')));
    EXPECT_EQ(madeWhenPaused, 0);
    EXPECT_FALSE(barsBeforeSegments.isEmpty());
    EXPECT_EQ(*std::max_element(barsBeforeSegments.begin(), barsBeforeSegments.end()), 0);

    EXPECT_EQ(tasks.rowCount(), 1);
    EXPECT_EQ(tasks.index(0, 3).data().toString(), QStringLiteral("Complete"));
    ASSERT_GE(made.size(), 4);
    for (int i = 0; i < made.size(); ++i) {
        EXPECT_EQ(made[i], QStringLiteral("piece%1.nut").arg(i, 5, 10, QLatin1Char('0')));
        EXPECT_TRUE(view.memoLog.contains(QStringLiteral("[%1/%2] ").arg(i + 1).arg(made.size()))) << i;
    }
    // Never more at once than the batch's jobs (the sound takes one of them too).
    EXPECT_GE(mostAtOnce, 1);
    EXPECT_LE(mostAtOnce, 2);
    const QString output = view.folder + QStringLiteral("/long.mp4");
    EXPECT_EQ(runTool(QStringLiteral(VANTORIX_FFPROBE), {"-v", "error", "-count_packets", "-select_streams", "v:0",
                                                        "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", output})
                  .trimmed(),
              QStringLiteral("300"));
    EXPECT_EQ(QDir(view.folder).entryList({QStringLiteral(".vantorix-segments-*")}, QDir::Dirs | QDir::Hidden),
              QStringList());
    EXPECT_EQ(view.totalBar, 100);
}
