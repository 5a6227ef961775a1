// The media library read in-process against the engine's own report, on files
// the engine makes; and the probe queue with it: what the engine still
// probes, and probes that hang.
#include "conversion/inprocessprobe.h"
#include "conversion/mediaprobe.h"
#include "conversion/probequeue.h"

#include "fakes/clips.h"
#include "fakes/programfolder.h"
#include "probetask.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The engine's report on `path`, read the way the program reads it.
ProbeReport engineReport(const QString &path)
{
    EngineProbe probe(QStringLiteral(VANTORIX_FFMPEG), path);
    QSignalSpy done(&probe, &EngineProbe::done);
    probe.launch(60000);
    EXPECT_TRUE(done.wait(70000));
    return probe.report();
}

bool copyPrefix(const QString &from, const QString &to, qint64 bytes)
{
    QFile in(from);
    QFile out(to);
    return in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly) && out.write(in.read(bytes)) == bytes;
}

// The engine's output on its standard output, as a stream that cannot seek
// back to write its length.
bool engineToPipe(const QStringList &arguments, const QString &path)
{
    QProcess process;
    process.setStandardOutputFile(path);
    process.start(QStringLiteral(VANTORIX_FFMPEG), QStringList{"-hide_banner", "-loglevel", "error"} + arguments
                                                       + QStringList{"-"});
    return process.waitForFinished(60000) && QFileInfo(path).size() > 0;
}

// An MPEG transport stream whose video packets (PID 0x100) are taken out: its
// programme table still names the video stream, and nothing tells its size.
bool dropVideoPackets(const QString &from, const QString &to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = in.readAll();
    for (qsizetype at = 0; at + 188 <= data.size(); at += 188) {
        const int pid = ((static_cast<uchar>(data[at + 1]) & 0x1f) << 8) | static_cast<uchar>(data[at + 2]);
        if (pid != 0x100)
            out.write(data.constData() + at, 188);
    }
    return out.size() > 0;
}

struct Kind
{
    const char *name;
    std::function<bool(const QString &path, const QString &work)> make;
    bool libraryTells; // false: the library leaves it to the engine
    const char *size;  // what both must say, when known beforehand
    const char *length;
};

QStringList testPicture(const QString &size, double seconds)
{
    return {"-f", "lavfi", "-i", QStringLiteral("testsrc=size=%1:rate=25:duration=%2").arg(size).arg(seconds)};
}

const QStringList Tone = {"-f", "lavfi", "-i", "sine=frequency=440:duration=2"};

const Kind Kinds[] = {
    {"decoy.mkv",
     [](const QString &path, const QString &) {
         // The sound comes first and its title looks like a video stream; the
         // file's title like a duration.
         return runEngine(Tone + testPicture(QStringLiteral("160x120"), 2)
                              + QStringList{"-map", "0", "-map", "1", "-c:a", "mp2", "-c:v", "mpeg4", "-metadata",
                                            "title=Duration: 12:34:56.78, Video: a, b, 999x999", "-metadata:s:a:0",
                                            "title=Video: x, y, 777x777"},
                          path);
     },
     true, " 160x120", nullptr},
    {"interlaced.mpg",
     [](const QString &path, const QString &) {
         return runEngine(testPicture(QStringLiteral("320x240"), 1)
                              + QStringList{"-vf", "setfield=tff", "-flags", "+ilme+ildct", "-c:v", "mpeg2video"},
                          path);
     },
     true, " 320x240", nullptr},
    {"sound only.mp2", [](const QString &path, const QString &) { return makeSoundOnly(path, 2); }, true, "",
     nullptr},
    {"rotated.mp4",
     [](const QString &path, const QString &work) {
         const QString upright = work + QStringLiteral("/upright.mp4");
         return makeClip(upright, 1)
             && runEngine({"-i", upright, "-c", "copy", "-metadata:s:v:0", "rotate=90"}, path);
     },
     true, " 320x240", nullptr},
    {"one hour.avi",
     [](const QString &path, const QString &) {
         // One picture every ten seconds: an hour in a moment.
         return runEngine({"-f", "lavfi", "-i", "color=size=32x32:rate=1/10:duration=3600", "-c:v", "mpeg4"}, path);
     },
     true, " 32x32", "01:00:00.00"},
    {"truncated.avi",
     [](const QString &path, const QString &work) {
         const QString whole = work + QStringLiteral("/whole.avi");
         return makeClip(whole, 4, QStringLiteral("160x120")) && copyPrefix(whole, path, QFileInfo(whole).size() / 2);
     },
     true, " 160x120", nullptr},
    {"truncated.mp4",
     [](const QString &path, const QString &work) {
         // The index comes last: cut off, the file cannot be opened at all.
         const QString whole = work + QStringLiteral("/whole.mp4");
         return runEngine(testPicture(QStringLiteral("160x120"), 4) + QStringList{"-c:v", "mpeg4"}, whole)
             && copyPrefix(whole, path, QFileInfo(whole).size() / 2);
     },
     false, "", ""},
    {"clip.webm",
     [](const QString &path, const QString &) {
         return runEngine(testPicture(QStringLiteral("160x120"), 2) + Tone + QStringList{"-c:v", "libvpx", "-c:a", "libopus"},
                          path);
     },
     true, " 160x120", nullptr},
    {"streamed.mkv",
     [](const QString &path, const QString &) {
         return engineToPipe(testPicture(QStringLiteral("160x120"), 2) + QStringList{"-c:v", "mpeg4", "-f", "matroska"},
                             path);
     },
     true, " 160x120", "N/A"},
    {"a, b [c] (d).avi", [](const QString &path, const QString &) { return makeClip(path, 2, QStringLiteral("64x48")); },
     true, " 64x48", nullptr},
    {"not media.avi",
     [](const QString &path, const QString &) {
         QFile file(path);
         return file.open(QIODevice::WriteOnly) && file.write("Duration: 00:00:05.00, Video: a, b, 8x8\n") > 0;
     },
     false, "", ""},
    {"cover.mp3",
     [](const QString &path, const QString &work) {
         const QString cover = work + QStringLiteral("/cover.png");
         return runEngine(testPicture(QStringLiteral("64x64"), 0.04) + QStringList{"-frames:v", "1"}, cover)
             && runEngine(Tone + QStringList{"-i", cover, "-map", "0", "-map", "1", "-c:a", "libmp3lame", "-c:v", "png",
                                             "-disposition:v", "attached_pic"},
                          path);
     },
     true, " 64x64", nullptr},
    {"program.ts",
     [](const QString &path, const QString &) {
         return runEngine(testPicture(QStringLiteral("160x120"), 2) + Tone + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2"},
                          path);
     },
     true, " 160x120", nullptr},
    {"no pictures.ts",
     [](const QString &path, const QString &work) {
         const QString whole = work + QStringLiteral("/whole.ts");
         return runEngine(testPicture(QStringLiteral("160x120"), 2) + Tone + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2"},
                          whole)
             && dropVideoPackets(whole, path);
     },
     false, nullptr, nullptr},
    {"rounded.wav",
     [](const QString &path, const QString &) {
         // 1.2375 s of sound: the report rounds it up to 1.24.
         return runEngine({"-f", "lavfi", "-i", "sine=sample_rate=8000:duration=1.2375", "-c:a", "pcm_s16le"}, path);
     },
     true, "", "00:00:01.24"},
};

TEST(ProbeInProcess, SaysWhatTheEngineReportSaysOnEveryKindOfFile)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    for (const Kind &kind : Kinds) {
        SCOPED_TRACE(kind.name);
        const QString scratch = work.filePath(QString::fromUtf8(kind.name) + QStringLiteral(" parts"));
        QDir().mkpath(scratch);
        const QString path = work.filePath(QString::fromUtf8(kind.name));
        ASSERT_TRUE(kind.make(path, scratch)) << "could not make " << kind.name;

        const ProbeReport engine = engineReport(path);
        const std::optional<ProbeReport> library = ProbeInProcess(path);
        EXPECT_EQ(library.has_value(), kind.libraryTells);
        if (library) {
            EXPECT_EQ(library->length, engine.length);
            EXPECT_EQ(library->size, engine.size);
        }
        if (kind.size) {
            EXPECT_EQ(engine.size, QString::fromUtf8(kind.size));
        }
        if (kind.length) {
            EXPECT_EQ(engine.length, QString::fromUtf8(kind.length));
        }

        // The probe the program runs: the library first, the engine for the rest.
        const ProbeReport probed = probeAndWait(QStringLiteral(VANTORIX_FFMPEG), path);
        EXPECT_EQ(probed.length, engine.length);
        EXPECT_EQ(probed.size, engine.size);
    }
}

TEST(EngineDurationText, RoundsToHundredthsAsTheReportDoes)
{
    EXPECT_EQ(EngineDurationText(std::nullopt), QStringLiteral("N/A"));
    EXPECT_EQ(EngineDurationText(0), QStringLiteral("00:00:00.00"));
    EXPECT_EQ(EngineDurationText(4'994'999), QStringLiteral("00:00:04.99"));
    EXPECT_EQ(EngineDurationText(4'995'000), QStringLiteral("00:00:05.00"));
    EXPECT_EQ(EngineDurationText(3'599'995'000), QStringLiteral("01:00:00.00"));
    EXPECT_EQ(EngineDurationText(123LL * 3600 * 1'000'000 + 61'250'000), QStringLiteral("123:01:01.25"));
    EXPECT_FALSE(EngineDurationText(INT64_MAX).isEmpty()); // no overflow on the way
}

// A named pipe: opening it for reading waits until a writer comes, as a read of
// a stalled network file waits; nothing can interrupt that wait.
class Fifo
{
public:
    explicit Fifo(const QString &path)
        : m_path(path)
    {
        m_made = ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    }
    ~Fifo()
    {
        if (m_writer >= 0)
            ::close(m_writer);
    }
    bool isMade() const { return m_made; }

    // Opens the writing end once a reader waits on the pipe.
    bool openWriter()
    {
        return waitFor([this] {
            m_writer = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_NONBLOCK);
            return m_writer >= 0;
        });
    }
    int writer() const { return m_writer; }
    // Lets a waiting reader go: a writer comes and leaves, the reader meets
    // the end of the pipe.
    bool release()
    {
        if (m_writer < 0 && !openWriter())
            return false;
        ::close(m_writer);
        m_writer = -1;
        return true;
    }

private:
    QString m_path;
    bool m_made = false;
    int m_writer = -1;
};

TEST(ProbeInProcess, AnAbortStopsTheLibraryInTheMiddleOfAFile)
{
    QTemporaryDir work;
    const QString clip = work.filePath(QStringLiteral("clip.avi"));
    ASSERT_TRUE(makeClip(clip, 1));
    EXPECT_FALSE(ProbeInProcess(clip, QDeadlineTimer(0)).has_value()) << "a deadline already passed";

    std::signal(SIGPIPE, SIG_IGN);
    const QString path = work.filePath(QStringLiteral("stream.avi"));
    Fifo fifo(path);
    ASSERT_TRUE(fifo.isMade());
    std::atomic_bool abort{false};
    auto probe = std::async(std::launch::async, [&] { return ProbeInProcess(path, QDeadlineTimer::Forever, &abort); });
    ASSERT_TRUE(fifo.openWriter());
    ASSERT_NE(::fcntl(fifo.writer(), F_SETFL, 0), -1); // blocking writes from here on
    // Four times what the pipe holds: the library is reading, looking for a
    // format in the zeros, and wants far more of them.
    const QByteArray zeros(4096, '\0');
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(::write(fifo.writer(), zeros.constData(), zeros.size()), zeros.size())
            << "the library stopped reading at block " << i << ": " << std::strerror(errno);
    abort = true;
    // One more block wakes a read that waits (it fails when the library has
    // already stopped); then the pipe stays open and quiet.
    [[maybe_unused]] const ssize_t wake = ::write(fifo.writer(), zeros.constData(), zeros.size());
    const bool stopped = probe.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    fifo.release();
    EXPECT_TRUE(stopped) << "the library read on after the abort";
    EXPECT_FALSE(probe.get().has_value());
}

class ProbeQueueInProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        queue.setEnginePath(folder.enginePath());
        QObject::connect(&queue, &ProbeQueue::taskAdded, [this](int row) { added << row; });
    }

    QString input(const QString &name) const { return folder.filePath(name); }

    ltvItemData row(int index) const
    {
        ltvItemData task;
        ReadItemData(tasks, index, WholeRowField, task);
        return task;
    }

    bool waitForIdle(int ms = 30000)
    {
        QSignalSpy idle(&queue, &ProbeQueue::idle);
        return idle.wait(ms);
    }

    TestProgramFolder folder;
    TaskListModel tasks;
    ProbeQueue queue{tasks};
    QList<int> added;
};

TEST_F(ProbeQueueInProcessTest, MediaIsReadWithoutTheEngineAndWhatTheLibraryRefusesGoesToIt)
{
    const QString clip = input(QStringLiteral("clip.avi"));
    ASSERT_TRUE(makeClip(clip, 2, QStringLiteral("160x120")));
    const QString notMedia = input(QStringLiteral("notes.avi"));
    QFile notes(notMedia);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly) && notes.write("Some notes, not a video.\n") > 0);
    notes.close();
    // The engine, if asked, says other things than the file holds.
    for (const QString &name : {QStringLiteral("clip.avi"), QStringLiteral("notes.avi")})
        folder.setScriptFor(name, QStringLiteral("stderr 0 Input #0, avi, from '%1':\\n  Duration: 00:09:09.00, "
                                                 "start: 0.0\\n  Stream #0:0: Video: mpeg4, yuv420p, 99x99\\n\nexit 1\n")
                                      .arg(input(name)));

    ASSERT_TRUE(queue.enqueue(notMedia, QStringLiteral(".mp4")));
    ASSERT_TRUE(queue.enqueue(clip, QStringLiteral(".mp4")));
    ASSERT_TRUE(waitForIdle());

    ASSERT_EQ(tasks.rowCount(), 2);
    EXPECT_EQ(row(0).InputFile, notMedia);
    EXPECT_EQ(row(0).LengthText, QStringLiteral("00:09:09.00"));
    EXPECT_EQ(row(0).SizeText, QStringLiteral(" 99x99"));
    EXPECT_EQ(row(1).LengthText, engineReport(clip).length);
    EXPECT_EQ(row(1).SizeText, QStringLiteral(" 160x120"));
    EXPECT_EQ(row(1).EndText, row(1).LengthText);
    EXPECT_EQ(folder.callCount(), 1);
    EXPECT_EQ(folder.arguments(1), QStringList({"-i", notMedia}));
}

TEST_F(ProbeQueueInProcessTest, AHungProbeIsGivenUpWhileTheOthersCompleteAndTheThreadStaysFree)
{
    const QString hung = input(QStringLiteral("stalled.avi"));
    Fifo fifo(hung);
    ASSERT_TRUE(fifo.isMade());
    QStringList clips;
    for (const char *name : {"a.avi", "b.avi", "c.avi"}) {
        clips << input(QString::fromLatin1(name));
        ASSERT_TRUE(makeClip(clips.last(), 1, QStringLiteral("64x48")));
    }
    queue.setMaxParallel(2);
    queue.setTimeoutMs(3000);
    ASSERT_TRUE(queue.enqueue(hung, QStringLiteral(".mp4")));
    for (const QString &clip : clips)
        ASSERT_TRUE(queue.enqueue(clip, QStringLiteral(".mp4")));

    // The three clips are read on the other worker while the pipe holds the
    // first; their rows wait for the pipe's, which comes first. The timer
    // ticks all along: this thread never waits for a worker.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(1);
    ASSERT_TRUE(waitFor([&] { return queue.running() == 1 && queue.isBusy(); }));
    ASSERT_TRUE(waitFor([&] { return ticks >= 3; }));
    EXPECT_EQ(tasks.rowCount(), 0);
    EXPECT_EQ(queue.running(), 1) << "the hung probe was given up too early to tell";

    ASSERT_TRUE(waitForIdle());
    ASSERT_EQ(tasks.rowCount(), 4);
    EXPECT_EQ(row(0).InputFile, hung);
    EXPECT_EQ(row(0).LengthText, QString());
    EXPECT_EQ(row(0).SizeText, QString());
    for (int index = 1; index < 4; ++index) {
        EXPECT_EQ(row(index).InputFile, clips[index - 1]);
        EXPECT_EQ(row(index).SizeText, QStringLiteral(" 64x48"));
    }
    EXPECT_EQ(folder.callCount(), 0) << "a stalled file stalls the engine too: it is not asked";

    // The worker still waits in the kernel; let it go. Its late answer
    // changes nothing.
    EXPECT_EQ(queue.lingering(), 1);
    ASSERT_TRUE(fifo.release());
    ASSERT_TRUE(waitFor([&] { return queue.lingering() == 0; }));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(tasks.rowCount(), 4);
    EXPECT_EQ(row(0).LengthText, QString());
    EXPECT_EQ(added, QList<int>({0, 1, 2, 3}));
}

TEST_F(ProbeQueueInProcessTest, CancelKeepsTheReadRowsAndDropsTheLateAnswerOfAHungOne)
{
    const QString clip = input(QStringLiteral("a.avi"));
    ASSERT_TRUE(makeClip(clip, 1, QStringLiteral("64x48")));
    const QString hung = input(QStringLiteral("stalled.avi"));
    Fifo fifo(hung);
    ASSERT_TRUE(fifo.isMade());
    const QString later = input(QStringLiteral("later.avi"));
    ASSERT_TRUE(makeClip(later, 1, QStringLiteral("64x48")));
    queue.setMaxParallel(1);
    for (const QString &path : {clip, hung, later})
        ASSERT_TRUE(queue.enqueue(path, QStringLiteral(".mp4")));
    ASSERT_TRUE(waitFor([&] { return tasks.rowCount() == 1 && queue.running() == 1; }));
    ASSERT_TRUE(fifo.openWriter()); // the worker is in the library, waiting for data

    queue.cancel();
    EXPECT_FALSE(queue.isBusy());
    ASSERT_EQ(tasks.rowCount(), 1);
    EXPECT_EQ(row(0).InputFile, clip);
    ASSERT_TRUE(waitForIdle());

    // The pipe's worker ends after the cancel, its probe already deleted:
    // nothing of it reaches the list.
    ASSERT_TRUE(fifo.release());
    ASSERT_TRUE(waitFor([&] { return queue.lingering() == 0; }));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(tasks.rowCount(), 1);
    EXPECT_EQ(added, QList<int>({0}));
    EXPECT_EQ(folder.callCount(), 0);
}

// Given up once, by the library: a file that stalls it would stall the
// engine too, so the engine is not asked for a second time limit.
TEST(FileProbe, AProbeOfAStalledFileIsGivenUpAfterTheTimeLimit)
{
    TestProgramFolder folder;
    const QString path = folder.filePath(QStringLiteral("stalled.avi"));
    Fifo fifo(path);
    ASSERT_TRUE(fifo.isMade());
    FileProbe probe(folder.enginePath(), path);
    QSignalSpy done(&probe, &FileProbe::done);
    probe.launch(500);
    ASSERT_TRUE(done.wait(30000));
    EXPECT_FALSE(probe.askedTheEngine());
    EXPECT_EQ(probe.report().length, QString());
    EXPECT_EQ(probe.report().size, QString());
    EXPECT_EQ(folder.callCount(), 0);
    EXPECT_TRUE(fifo.release());
}

} // namespace
