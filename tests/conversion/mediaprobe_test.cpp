#include "conversion/mediaprobe.h"

#include "fakes/programfolder.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

const QString Path = QStringLiteral("/videos/my clip.wmv");

TEST(ExtractProbeReport, FindsDurationAndSizeAfterThePath)
{
    const struct
    {
        QString output;
        QString length;
        QString size;
    } cases[] = {
        // The classic report.
        {QStringLiteral("Input #0, asf, from '/videos/my clip.wmv':\r\n  Duration: 00:01:23.45, start: 0.000000, "
                        "bitrate: 1 kb/s\r\n    Stream #0.0: Video: wmv3, yuv420p, 320x240, 25 tbr\r\n"),
         QStringLiteral("00:01:23.45"), QStringLiteral(" 320x240")},
        // Today's report: commas inside parentheses and brackets.
        {QStringLiteral("Input #0, mov, from '/videos/my clip.wmv':\n  Metadata:\n    encoder : Lavf\n"
                        "  Duration: 00:00:03.00, start: 0.000000, bitrate: 47 kb/s\n"
                        "  Stream #0:0[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p(tv, bt709, "
                        "progressive), 1920x1080 [SAR 1:1 DAR 16:9], 42 kb/s, 25 fps\n"),
         QStringLiteral("00:00:03.00"), QStringLiteral(" 1920x1080")},
        // A "Duration" before the path is not the file's.
        {QStringLiteral("Duration: 99:99:99.99, x\nInput #0, from '/videos/my clip.wmv':\n"
                        "  Duration: 00:00:02.00, start: 0\n  Stream #0:0: Video: mpeg4, yuv420p, 640x480\n"),
         QStringLiteral("00:00:02.00"), QStringLiteral(" 640x480")},
        // Audio only: a length and no size, even when a video stream's word shows up elsewhere.
        {QStringLiteral("from '/videos/my clip.wmv':\n  Duration: 00:00:04.50, start: 0.0, bitrate: 128 kb/s\n"
                        "  Stream #0:0: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\n"),
         QStringLiteral("00:00:04.50"), QString()},
        // Unknown duration is kept as written.
        {QStringLiteral("'/videos/my clip.wmv':\n  Duration: N/A, bitrate: N/A\n  Stream #0:0: Video: h264, "
                        "yuv420p, 352x288, 25 fps\n"),
         QStringLiteral("N/A"), QStringLiteral(" 352x288")},
        // A size that ends its line.
        {QStringLiteral("'/videos/my clip.wmv':\n  Duration: 00:00:01.00, start: 0\n"
                        "  Stream #0:0: Video: rawvideo, rgb24, 64x48\n  Stream #0:1: Audio: pcm, 8000 Hz, mono\n"),
         QStringLiteral("00:00:01.00"), QStringLiteral(" 64x48")},
        // The path is missing: nothing is learnt.
        {QStringLiteral("/videos/other.wmv: No such file or directory\n  Duration: 00:00:01.00, start: 0\n"),
         QString(), QString()},
        // No duration line, a video stream all the same.
        {QStringLiteral("'/videos/my clip.wmv':\n  Stream #0:0: Video: png, rgb24(pc), 100x50, 25 tbr\n"),
         QString(), QStringLiteral(" 100x50")},
        // A malformed Duration line gives no length, never text from further on.
        {QStringLiteral("'/videos/my clip.wmv':\n  Duration:, 00:00:03.00, start: 0\n"
                        "  Stream #0:0: Video: h264, yuv420p, 352x288, 25 fps\n"),
         QString(), QStringLiteral(" 352x288")},
        {QStringLiteral("'/videos/my clip.wmv':\n  Duration:,00:00:03.00\n"
                        "  Stream #0:0: Video: h264, yuv420p, 352x288, 25 fps\n"),
         QString(), QStringLiteral(" 352x288")},
        // A Duration line without a comma: no length, and still the size.
        {QStringLiteral("'/videos/my clip.wmv':\n  Duration: 00:00:03.00\n"
                        "  Stream #0:0: Video: h264, yuv420p, 176x144, 25 fps\n"),
         QString(), QStringLiteral(" 176x144")},
        {QStringLiteral("'/videos/my clip.wmv':\r\n  Duration: 00:00:03.00\r\n"
                        "  Stream #0:0: Video: h264, yuv420p, 176x144, 25 fps\r\n"),
         QString(), QStringLiteral(" 176x144")},
        // A Duration line without a colon.
        {QStringLiteral("'/videos/my clip.wmv':\n  Duration 00, x\n  Stream #0:0: Video: h264, yuv420p, 8x8\n"),
         QString(), QStringLiteral(" 8x8")},
        // Titles quote anything: a file's title that looks like the duration
        // line, a sound stream's title that looks like a video stream.
        {QStringLiteral("Input #0, matroska,webm, from '/videos/my clip.wmv':\n  Metadata:\n"
                        "    title           : Duration: 12:34:56.78, Video: a, b, 999x999\n"
                        "  Duration: 00:00:02.01, start: 0.000000, bitrate: 605 kb/s\n"
                        "  Stream #0:0: Audio: mp2, 44100 Hz, mono, s16p, 384 kb/s\n    Metadata:\n"
                        "      title           : Video: x, y, 777x777\n"
                        "  Stream #0:1: Video: mpeg4 (Simple Profile), yuv420p(tv, progressive), 160x120 [SAR 1:1 "
                        "DAR 4:3], 25 fps\n"),
         QStringLiteral("00:00:02.01"), QStringLiteral(" 160x120")},
        // A video line with too few fields.
        {QStringLiteral("'/videos/my clip.wmv':\n  Duration: 00:00:01.00, start: 0\n  Stream #0:0: Video: h264\n"),
         QStringLiteral("00:00:01.00"), QString()},
        // Matroska tells where it ends: its first time comes off; not so elsewhere.
        {QStringLiteral("Input #0, matroska,webm, from '/videos/my clip.wmv':\n  Duration: 00:00:33.00, start: "
                        "29.989000, bitrate: 55 kb/s\n"),
         QStringLiteral("00:00:03.01"), QString()},
        {QStringLiteral("Input #0, mpegts, from '/videos/my clip.wmv':\n  Duration: 00:00:33.00, start: "
                        "29.989000, bitrate: 55 kb/s\n"),
         QStringLiteral("00:00:33.00"), QString()},
    };
    for (const auto &c : cases) {
        const ProbeReport report = ExtractProbeReport(c.output, Path);
        EXPECT_EQ(report.length, c.length) << c.output.toStdString();
        EXPECT_EQ(report.size, c.size) << c.output.toStdString();
    }
}

// The engine's report on Path as EngineProbe reads it, with the pieces of
// output as they came.
ProbeReport engineProbe(const QString &enginePath, int timeoutMs, QStringList *memo = nullptr)
{
    EngineProbe probe(enginePath, Path);
    if (memo)
        QObject::connect(&probe, &EngineProbe::chunkRead, [memo](const QString &text) { *memo << text; });
    QSignalSpy done(&probe, &EngineProbe::done);
    probe.launch(timeoutMs);
    EXPECT_TRUE(done.wait(60000));
    return probe.report();
}

TEST(EngineProbe, ReadsTheReportAndGivesNothingWithoutOne)
{
    TestProgramFolder folder;
    folder.setScript(QStringLiteral("stderr 0 Input #0, from '%1':\\n  Duration: 00:00:07.20, start: 0.0\\n"
                                    "  Stream #0:0: Video: mpeg4, yuv420p, 320x240, 25 fps\\n\nexit 1\n")
                         .arg(Path));
    QStringList memo;
    const ProbeReport report = engineProbe(folder.enginePath(), 30000, &memo);
    EXPECT_EQ(report.length, QStringLiteral("00:00:07.20"));
    EXPECT_EQ(report.size, QStringLiteral(" 320x240"));
    EXPECT_EQ(folder.arguments(1), QStringList({"-i", Path}));
    EXPECT_TRUE(memo.join(QString()).contains(QStringLiteral("Duration")));

    // An engine that cannot be started: an empty report.
    const ProbeReport none = engineProbe(folder.filePath(QStringLiteral("missing.exe")), 30000);
    EXPECT_EQ(none.length, QString());
    EXPECT_EQ(none.size, QString());
}

TEST(EngineProbe, AnEngineThatNeverEndsIsTerminated)
{
    TestProgramFolder folder;
    folder.setScript(QStringLiteral("print 0 Input #0, from '%1':\\n  Duration: 00:00:09.00, start: 0\\n\n"
                                    "sleep 60000\n")
                         .arg(Path));
    // What the output gave before the engine was stopped still counts.
    const ProbeReport report = engineProbe(folder.enginePath(), 500);
    EXPECT_EQ(report.length, QStringLiteral("00:00:09.00"));
    EXPECT_EQ(report.size, QString());
}

} // namespace

namespace {

// A program run in the background of a terminal must not have its engine
// stopped by the terminal: the engine ignores the terminal's stop signals.
TEST(EngineProcess, EngineIgnoresTerminalStopSignals)
{
    TestProgramFolder folder;
    folder.setScript(QStringLiteral("signals\n"));
    QStringList memo;
    engineProbe(folder.enginePath(), 30000, &memo);
    EXPECT_EQ(memo.join(QString()), QStringLiteral("SIGTTOU ignored\nSIGTTIN ignored\n"));
}

} // namespace
