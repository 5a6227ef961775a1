// A watched folder as a user runs it: the real program with the real engine
// watching a folder while files are written, moved in and the watch is ended
// and started again.
#include "batch/batchmode.h"
#include "batchfixture.h"
#include "conversion/watchfolder.h"
#include "otheruser.h"

#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>

class WatchTest : public BatchTest
{
protected:
    explicit WatchTest(TestProgramFolder::Engine engine = TestProgramFolder::Engine::Real) : BatchTest(engine) {}

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

// The same with the scripted engine: its conversions wait or fail on cue.
class ScriptedWatchTest : public WatchTest
{
protected:
    ScriptedWatchTest() : WatchTest(TestProgramFolder::Engine::Fake) {}
};

// Files that settled wait while an earlier file converts; one is moved out
// of the watched folder, one renamed in it. Their conversions fail as they
// would without their input, and neither gets a line in the journal: the
// renamed one converts under its new name, the moved one once it is back.
// A link another user planted is never converted.
TEST_F(ScriptedWatchTest, AFileGoneAtItsTurnGetsNoJournalLineAndConvertsWhenItIsBack)
{
    for (const char *name : {"0first.avi", "a.avi", "b.avi"})
        ASSERT_TRUE(WriteFakeMedia(work(QStringLiteral("in/") + QLatin1String(name)), QStringLiteral("00:00:02")));
    // And another user, in a folder all may write, links a file of this user's in.
    ASSERT_TRUE(WriteFakeMedia(work(QStringLiteral("private.avi")), QStringLiteral("00:00:02")));
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(work(QString())).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(work(QStringLiteral("in"))).constData(), 0777), 0);
    const QByteArray privateFile = QFile::encodeName(work(QStringLiteral("private.avi")));
    const QByteArray planted = QFile::encodeName(work(QStringLiteral("in/0link.avi")));
    if (!AsOtherUser([&] { return ::symlink(privateFile.constData(), planted.constData()) == 0; }).value_or(true))
        ADD_FAILURE() << "the other user could not plant a link";
    folder.setScriptFor(QStringLiteral("0first.avi"), QStringLiteral("touch started\nwait-for go\nexit 0\n"));
    folder.setScriptFor(QStringLiteral("a.avi"), QStringLiteral("exit 1\n"));
    folder.setScriptFor(QStringLiteral("b.avi"), QStringLiteral("exit 1\n"));
    QProcess watch;
    startWatch(watch, {"--jobs", "1"});
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(folder.filePath(QStringLiteral("started"))); }))
        << qPrintable(watch.readAllStandardError());
    const QString away = work(QStringLiteral("a.avi"));
    ASSERT_TRUE(QFile::rename(work(QStringLiteral("in/a.avi")), away));
    ASSERT_TRUE(QFile::rename(work(QStringLiteral("in/b.avi")), work(QStringLiteral("in/c.avi"))));
    touchFile(folder.filePath(QStringLiteral("go")));

    ASSERT_TRUE(journalHas(QStringLiteral("c.avi"))) << qPrintable(watch.readAllStandardError());
    EXPECT_EQ(journalOf(QStringLiteral("c.avi")).value(0).value(2), QStringLiteral("complete"));
    EXPECT_TRUE(journalOf(QStringLiteral("a.avi")).isEmpty());
    EXPECT_TRUE(journalOf(QStringLiteral("b.avi")).isEmpty());

    // Back with its size and time: converted, once.
    QFile::remove(folder.filePath(QStringLiteral("fake-engine-for-a.avi.txt")));
    ASSERT_TRUE(QFile::rename(away, work(QStringLiteral("in/a.avi"))));
    ASSERT_TRUE(journalHas(QStringLiteral("a.avi"))) << qPrintable(watch.readAllStandardError());
    endWatch(watch);
    EXPECT_EQ(journalOf(QStringLiteral("a.avi")).size(), 1);
    EXPECT_EQ(journalOf(QStringLiteral("a.avi")).value(0).value(2), QStringLiteral("complete"));
    EXPECT_TRUE(journalOf(QStringLiteral("b.avi")).isEmpty());
    EXPECT_TRUE(journalOf(QStringLiteral("0link.avi")).isEmpty());
    EXPECT_EQ(outputs(), QStringList({WatchJournal::FileName, QStringLiteral("0first.mp4"), QStringLiteral("a.mp4"),
                                      QStringLiteral("c.mp4")}));
}

// Another user of a shared output folder (0777, or 1777 with the sticky bit)
// links the journal's name to a file of this user's before the watch starts:
// the watch refuses to start, says why, and writes nothing through it. (The
// journal's table has the other things that may stand there.)
TEST_F(ScriptedWatchTest, AJournalNameTakenByALinkIsRefused)
{
    const QString victim = work(QStringLiteral("victim.rc"));
    touchFile(victim, "export PATH\n");
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(work(QString())).constData(), 0755), 0);
    ASSERT_TRUE(WriteFakeMedia(work(QStringLiteral("in/a.avi")), QStringLiteral("00:00:02")));
    const QByteArray journalName = QFile::encodeName(journal());
    const auto plant = [&] { return ::symlink(QFile::encodeName(victim).constData(), journalName.constData()) == 0; };
    for (const mode_t mode : {mode_t(0777), mode_t(01777)}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(QFile::encodeName(work(QStringLiteral("out"))).constData(), mode), 0);
        const std::optional<bool> planted = AsOtherUser(plant);
        ASSERT_TRUE(planted ? *planted : plant());
        const Result result = run({"--batch", "-p", Mp4Profile, "-o", "out", "--watch", "in", "--settle", "0"}, 60000);
        EXPECT_EQ(result.exitCode, BatchFailed) << qPrintable(result.err);
        EXPECT_TRUE(result.err.contains(QStringLiteral("is a link"))) << qPrintable(result.err);
        EXPECT_EQ(contentOf(victim), QByteArray("export PATH\n"));
        EXPECT_FALSE(QFileInfo::exists(work(QStringLiteral("out/a.mp4"))));
        ASSERT_EQ(::unlink(journalName.constData()), 0);
    }
}
