// The stream-copy profiles as a user runs them: the built program in its batch
// mode with the real engine, on clips the engine makes.
#include "fakes/clips.h"
#include "fakes/programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

class CopyStreamsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/vantorix"), folder.filePath("vantorix")));
        const QDir shipped(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/Profiles"));
        QDir().mkpath(folder.filePath(QStringLiteral("Profiles")));
        for (const QString &name : shipped.entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(shipped.filePath(name), folder.filePath(QStringLiteral("Profiles/") + name)));
        out = folder.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
    }

    struct Result
    {
        int exitCode = -1;
        QString out;
    };

    Result convert(const QString &profile, const QString &input, const QStringList &more = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(folder.filePath(QStringLiteral("vantorix")),
                      QStringList{"--batch", "--profile", profile, "--output", out} + more + QStringList{input});
        // A guard against a stuck program, not a measure of speed.
        if (!process.waitForFinished(120000))
            process.kill();
        process.waitForFinished();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAll())};
    }

    TestProgramFolder folder{TestProgramFolder::Engine::Real};
    QString out;
};

TEST_F(CopyStreamsTest, TheInputsStreamsArriveAsTheyWereAndATrimStillApplies)
{
    // H.264 with a key frame every second, and AAC: what a camera or a phone writes.
    const QString clip = folder.filePath(QStringLiteral("camera clip.mp4"));
    ASSERT_TRUE(runEngine({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
                           "sine=frequency=440", "-t", "6", "-c:v", "libx264", "-preset", "ultrafast", "-g", "25",
                           "-c:a", "aac"},
                          clip));

    Result r = convert(QStringLiteral("MKV Copy Streams"), clip, {"--start", "0:00:01", "--end", "0:00:04"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    const QString mkv = out + QStringLiteral("/camera clip.mkv");
    EXPECT_EQ(ffprobeValues(mkv, QStringLiteral("stream=codec_name")), QStringLiteral("h264\naac"));
    EXPECT_NEAR(ffprobeValues(mkv, QStringLiteral("format=duration")).toDouble(), 3.0, 0.5);

    r = convert(QStringLiteral("MP4 Copy Streams"), clip);
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    const QString mp4 = out + QStringLiteral("/camera clip.mp4");
    EXPECT_EQ(ffprobeValues(mp4, QStringLiteral("stream=codec_name")), QStringLiteral("h264\naac"));
    EXPECT_NEAR(ffprobeValues(mp4, QStringLiteral("format=duration")).toDouble(), 6.0, 0.5);
}

TEST_F(CopyStreamsTest, AStreamTheContainerCannotHoldFailsWithTheEnginesReason)
{
    // PCM sound, which MP4 cannot hold without re-encoding it.
    const QString clip = folder.filePath(QStringLiteral("pcm.avi"));
    ASSERT_TRUE(runEngine({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-f", "lavfi", "-i",
                           "sine=frequency=440", "-t", "2", "-c:v", "mpeg4", "-c:a", "pcm_s16le"},
                          clip));

    const Result r = convert(QStringLiteral("MP4 Copy Streams"), clip);
    EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
    // The summary shows the row's Status and, under it, its tip.
    EXPECT_TRUE(r.out.contains(QStringLiteral("  Failed  "))) << r.out.toStdString();
    const QStringList tip = r.out.split(QLatin1Char('\n')).filter(QStringLiteral("      | "));
    EXPECT_FALSE(tip.filter(QStringLiteral("codec not currently supported in container")).isEmpty())
        << r.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/pcm.mp4")));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList());
}

} // namespace
