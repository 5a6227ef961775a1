// A watched folder as a user runs it: the real program with the real engine
// watching a folder while files are written, moved in and the watch is ended
// and started again.
#include "batchfixture.h"
#include "conversion/watchfolder.h"

#include <csignal>

class WatchTest : public RealEngineBatchTest
{
protected:
    void startWatch(QProcess &process, const QStringList &extra = {})
    {
        start(process, QStringList{"--batch", "-p", Mp4Profile, "-o", "out", "--rename", "--watch", "in",
                                   "--settle", "1"}
                           + extra);
    }

    QString journal() const { return work(QStringLiteral("out/") + WatchJournal::FileName); }

    // The journal's lines about in/NAME, each split into its fields.
    QList<QStringList> journalOf(const QString &name) const
    {
        QList<QStringList> lines;
        for (const QString &line : QString::fromUtf8(contentOf(journal())).split(QLatin1Char('\n')))
            if (line.endsWith(QLatin1Char('\t') + work(QStringLiteral("in/") + name)))
                lines << line.split(QLatin1Char('\t'));
        return lines;
    }

    bool journalHas(const QString &name) const
    {
        return waitFor([&] { return !journalOf(name).isEmpty(); }, 120000);
    }

    // SIGTERM, as a service manager ends the watch; what it printed.
    QString endWatch(QProcess &process)
    {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 130);
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

    QStringList outputs() const { return EntriesIn(work(QStringLiteral("out"))); }
};

TEST_F(WatchTest, AFileHeldOpenForWritingWaitsForItsWriterAndAFileMovedInConvertsOnce)
{
    const QString full = work(QStringLiteral("full.avi"));
    ASSERT_TRUE(makeClip(full, 4));
    const QByteArray clip = contentOf(full);
    touchFile(work(QStringLiteral("part1")), clip.left(clip.size() / 2));
    touchFile(work(QStringLiteral("part2")), clip.mid(clip.size() / 2));

    // A writer that has written half the clip and keeps the file open until told.
    QProcess writer;
    writer.start(QStringLiteral("sh"), {"-c", "exec 3>>\"$1\"; cat \"$2\" >&3; read go; cat \"$3\" >&3", "sh",
                                        work(QStringLiteral("in/slow.avi")), work(QStringLiteral("part1")),
                                        work(QStringLiteral("part2"))});
    ASSERT_TRUE(waitFor([&] { return QFileInfo(work(QStringLiteral("in/slow.avi"))).size() == clip.size() / 2; }));

    // Watched with its subfolders; a folder made after the start is watched too.
    QProcess watch;
    startWatch(watch, {"-r"});
    ASSERT_TRUE(makeClip(work(QStringLiteral("moved.avi")), 1));
    ASSERT_TRUE(QDir().mkpath(work(QStringLiteral("in/sub dir"))));
    ASSERT_TRUE(QFile::rename(work(QStringLiteral("moved.avi")), work(QStringLiteral("in/sub dir/moved.avi"))));
    // Moved in after the writer's last write, and settled: the half-written
    // file has not changed for longer, and only its writer holds it back.
    ASSERT_TRUE(journalHas(QStringLiteral("sub dir/moved.avi"))) << qPrintable(watch.readAllStandardError());
    // Once its round is over (its work folder gone).
    EXPECT_TRUE(waitFor([&] { return outputs() == QStringList({WatchJournal::FileName, QStringLiteral("moved.mp4")}); }))
        << qPrintable(outputs().join(' '));
    EXPECT_TRUE(journalOf(QStringLiteral("slow.avi")).isEmpty());

    writer.write("go\n");
    writer.closeWriteChannel();
    ASSERT_TRUE(writer.waitForFinished());
    ASSERT_TRUE(journalHas(QStringLiteral("slow.avi"))) << qPrintable(watch.readAllStandardError());
    const QString out = endWatch(watch);
    EXPECT_TRUE(out.contains(QStringLiteral("Summary: 2 complete, 0 failed, 0 stopped (interrupted)"))) << qPrintable(out);
    EXPECT_EQ(journalOf(QStringLiteral("slow.avi")).value(0).value(2), QStringLiteral("complete"));
    EXPECT_EQ(journalOf(QStringLiteral("slow.avi")).value(0).value(0), QString::number(clip.size()));
    EXPECT_NEAR(ffprobeValues(work(QStringLiteral("out/slow.mp4")), QStringLiteral("format=duration")).toDouble(), 4.0,
                0.3);
    // Converted once: no second line, no second output under another name.
    EXPECT_EQ(journalOf(QStringLiteral("sub dir/moved.avi")).size(), 1);
    EXPECT_EQ(outputs(), QStringList({WatchJournal::FileName, QStringLiteral("moved.mp4"), QStringLiteral("slow.mp4")}));
}

TEST_F(WatchTest, EndedWhileAnEngineRunsItLeavesNoEngineNorPartialOutputAndARestartConvertsOnlyWhatIsLeft)
{
    ASSERT_TRUE(makeClip(work(QStringLiteral("in/a.avi")), 1));
    const QString longClip = work(QStringLiteral("in/long.avi"));
    ASSERT_TRUE(makeClip(longClip, 20));
    const QStringList slow{"--set", "Video Size=1280x720"};

    QProcess first;
    startWatch(first, slow);
    ASSERT_TRUE(journalHas(QStringLiteral("a.avi"))) << qPrintable(first.readAllStandardError());
    const auto partial = [&] {
        const QString out = work(QStringLiteral("out"));
        const QStringList folders = QDir(out).entryList({QStringLiteral(".vantorix-work-*")}, QDir::Dirs | QDir::Hidden);
        return folders.isEmpty() ? QString() : out + QLatin1Char('/') + folders.first() + QStringLiteral("/long.mp4");
    };
    ASSERT_TRUE(waitFor([&] { return QFileInfo(partial()).size() > 0; }, 60000));
    const QString firstOut = endWatch(first);
    EXPECT_TRUE(firstOut.contains(QStringLiteral("Stop  ") + longClip)) << qPrintable(firstOut);
    EXPECT_FALSE(ProcessRunsWith(longClip));
    EXPECT_EQ(outputs(), QStringList({WatchJournal::FileName, QStringLiteral("a.mp4")}));
    EXPECT_TRUE(journalOf(QStringLiteral("long.avi")).isEmpty());

    // A line cut short, as by a crash while writing it; and a new file.
    QFile cut(journal());
    ASSERT_TRUE(cut.open(QIODevice::Append));
    cut.write("4096\t17");
    cut.close();
    ASSERT_TRUE(makeClip(work(QStringLiteral("in/c.avi")), 1));

    QProcess second;
    startWatch(second, slow);
    ASSERT_TRUE(journalHas(QStringLiteral("c.avi"))) << qPrintable(second.readAllStandardError());
    ASSERT_TRUE(journalHas(QStringLiteral("long.avi"))) << qPrintable(second.readAllStandardError());
    const QString secondOut = endWatch(second);
    EXPECT_TRUE(secondOut.contains(QStringLiteral("Summary: 2 complete, 0 failed, 0 stopped"))) << qPrintable(secondOut);
    EXPECT_FALSE(secondOut.contains(QStringLiteral("a.avi"))) << qPrintable(secondOut);
    // a.avi converted once (with --rename a second time would be a_1.mp4).
    EXPECT_EQ(outputs(), QStringList({WatchJournal::FileName, QStringLiteral("a.mp4"), QStringLiteral("c.mp4"),
                                      QStringLiteral("long.mp4")}));
    for (const QString &name : {QStringLiteral("a.avi"), QStringLiteral("c.avi"), QStringLiteral("long.avi")}) {
        const QList<QStringList> lines = journalOf(name);
        ASSERT_EQ(lines.size(), 1) << qPrintable(name);
        EXPECT_EQ(lines[0].size(), 4) << qPrintable(name);
        EXPECT_EQ(lines[0].value(2), QStringLiteral("complete")) << qPrintable(name);
    }
}
