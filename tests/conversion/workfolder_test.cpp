// The private folder a run's engines write in: what a commit leaves at the
// final name, what it never writes through, and which folders a sweep takes.
#include "conversion/workfolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

// Writes a file as the engine does: from a process of its own, by path.
bool engineWrites(const QString &path, const QByteArray &content)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("printf %s \"$1\" > \"$2\""),
                                                    QStringLiteral("sh"), QString::fromUtf8(content), path})
           == 0;
}

struct stat lstatOf(const QString &path)
{
    struct stat info{};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        info.st_mode = 0;
    return info;
}

class WorkFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(out) && QDir().mkpath(victims));
        writeFile(victim, "victim");
        victimStat = lstatOf(victim);
    }

    // The victim is as it was: same content, same modification time, and
    // nothing new beside it.
    void expectVictimUntouched(const std::string &where)
    {
        const struct stat now = lstatOf(victim);
        EXPECT_EQ(readFile(victim), QByteArray("victim")) << where;
        EXPECT_EQ(now.st_mtim.tv_sec, victimStat.st_mtim.tv_sec) << where;
        EXPECT_EQ(now.st_mtim.tv_nsec, victimStat.st_mtim.tv_nsec) << where;
        EXPECT_EQ(QDir(victims).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("victim")})
            << where;
    }

    QString at(const QString &name) const { return out + QLatin1Char('/') + name; }

    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString victims = dir.filePath(QStringLiteral("victims"));
    const QString victim = victims + QStringLiteral("/victim");
    struct stat victimStat{};
};

TEST_F(WorkFolderTest, CommitReplacesTheFinalNameAndNeverWritesThroughALink)
{
    const QString longName = QString(250, QLatin1Char('v')) + QStringLiteral(".mp4");
    struct Case
    {
        const char *what;
        QString name;                        // the final file name
        std::function<void(const QString &final, const QString &work)> plant;
        std::optional<QByteArray> written;   // what the engine writes, if anything
        bool committed;
    };
    const auto link = [this](const QString &target) {
        return [target](const QString &final, const QString &) { QFile::link(target, final); };
    };
    const Case cases[] = {
        {"nothing at the final name", QStringLiteral("clip.mp4"), [](const QString &, const QString &) {}, "new", true},
        {"an earlier output", QStringLiteral("clip.mp4"),
         [](const QString &final, const QString &) { writeFile(final, "old"); }, "new", true},
        {"a link to a victim", QStringLiteral("clip.mp4"), link(victim), "new", true},
        {"a link to a missing file", QStringLiteral("clip.mp4"), link(victims + QStringLiteral("/missing")), "new", true},
        {"a hard link to a victim", QStringLiteral("clip.mkv"),
         [this](const QString &final, const QString &) { ::link(QFile::encodeName(victim), QFile::encodeName(final)); },
         "new", true},
        {"a 250-byte name with a link", longName, link(victim), "new", true},
        {"a folder at the final name", QStringLiteral("clip.mp4"),
         [](const QString &final, const QString &) { QDir().mkdir(final); }, "new", false},
        {"no output", QStringLiteral("clip.mp4"), [](const QString &, const QString &) {}, std::nullopt, false},
        {"an empty output", QStringLiteral("clip.mp4"), [](const QString &, const QString &) {}, "", false},
        {"a link as the output", QStringLiteral("clip.mp4"),
         [this](const QString &, const QString &work) { QFile::link(victim, work); }, std::nullopt, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        std::unique_ptr<WorkFolder> folder = WorkFolder::create(out, &error);
        ASSERT_TRUE(folder) << error.toStdString();
        const QString final = at(c.name);
        // The name an earlier version wrote to beside the output, planted as a link.
        const QString oldTemporary = at(QLatin1Char('.') + QFileInfo(c.name).completeBaseName()
                                        + QStringLiteral(".vantorix-part.") + QFileInfo(c.name).suffix());
        // (Too long for a 250-byte name: the very reason it went.)
        const bool planted = QFile::link(victim, oldTemporary);
        const QString work = folder->workPathFor(final);
        EXPECT_EQ(QFileInfo(work).fileName(), c.name);
        c.plant(final, work);
        const struct stat before = lstatOf(final);
        if (c.written) {
            ASSERT_TRUE(engineWrites(work, *c.written));
        }

        const QString reason = folder->commit(work, final);
        EXPECT_EQ(reason.isEmpty(), c.committed) << reason.toStdString();
        const struct stat after = lstatOf(final);
        if (c.committed) {
            EXPECT_TRUE(S_ISREG(after.st_mode));
            EXPECT_EQ(after.st_nlink, 1u);
            EXPECT_EQ(readFile(final), *c.written);
            EXPECT_FALSE(QFileInfo::exists(work));
        } else {
            EXPECT_TRUE(reason.endsWith(QLatin1Char('.'))) << reason.toStdString();
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_ino, before.st_ino);
            folder->discard(work);
            EXPECT_FALSE(QFileInfo(work).isSymLink() || QFileInfo::exists(work));
        }
        EXPECT_EQ(QFileInfo(oldTemporary).isSymLink(), planted);
        expectVictimUntouched(c.what);
        const QString path = folder->path();
        folder.reset();
        EXPECT_FALSE(QFileInfo::exists(path));
        QDir(final).removeRecursively();
        QFile::remove(final);
        QFile::remove(oldTemporary);
        EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                  QStringList());
    }
}

TEST_F(WorkFolderTest, TheFolderIsPrivateAndTheEngineReachesItEvenWhenItsNameIsSwapped)
{
    const std::unique_ptr<WorkFolder> folder = WorkFolder::create(out);
    ASSERT_TRUE(folder);
    const QString path = folder->path();
    const struct stat info = lstatOf(path);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(info.st_uid, ::geteuid());
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(out).absoluteFilePath());
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QLatin1Char('.')));
    EXPECT_TRUE(WorkFolder::IsWorkPath(path));
    EXPECT_EQ(WorkFolder::OutputFolderOf(path + QStringLiteral("/clip.mp4")), QFileInfo(out).absoluteFilePath());
    EXPECT_FALSE(WorkFolder::IsWorkPath(at(QStringLiteral(".clip.vantorix-part.mp4"))));

    // Someone with a say in the output folder moves the folder away and
    // leaves a link to a folder of theirs under its name.
    const QString moved = at(QStringLiteral("moved"));
    ASSERT_TRUE(QDir().rename(path, moved));
    ASSERT_TRUE(QFile::link(victims, path));
    const QString final = at(QStringLiteral("clip.mp4"));
    const QString work = folder->workPathFor(final);
    ASSERT_TRUE(engineWrites(work, "new"));
    EXPECT_EQ(folder->commit(work, final), QString());
    EXPECT_EQ(readFile(final), QByteArray("new"));
    expectVictimUntouched("after the commit");
    EXPECT_EQ(readFile(work), QByteArray("<missing>"));
    EXPECT_EQ(folder->commit(work, final), QStringLiteral("The output was not written in this run's work folder."));
    EXPECT_FALSE(folder->commit(folder->workPathFor(final), at(QStringLiteral("../clip.mp4"))).isEmpty());
}

TEST_F(WorkFolderTest, TwoRunsInOneFolderNeverShareOrRemoveEachOthersFiles)
{
    std::unique_ptr<WorkFolder> first = WorkFolder::create(out);
    const std::unique_ptr<WorkFolder> second = WorkFolder::create(out);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->path(), second->path());
    const QString final = at(QStringLiteral("clip.mp4"));
    // Two jobs of one run with one final name (the run keeps that from
    // happening; the folder keeps them apart all the same).
    const QStringList works = {first->workPathFor(final), first->workPathFor(final), second->workPathFor(final)};
    EXPECT_EQ(QStringList(works).size(), QSet<QString>(works.begin(), works.end()).size());
    for (qsizetype i = 0; i < works.size(); ++i) {
        EXPECT_EQ(QFileInfo(works[i]).fileName(), QStringLiteral("clip.mp4"));
        ASSERT_TRUE(engineWrites(works[i], QByteArray::number(i + 1)));
    }
    first->discard(works[1]);
    EXPECT_EQ(readFile(works[0]), QByteArray("1"));
    EXPECT_EQ(readFile(works[1]), QByteArray("<missing>"));
    // A third run sweeps the folder: both live runs keep their work.
    EXPECT_EQ(WorkFolder::SweepAbandoned(out), 0);
    EXPECT_TRUE(WorkFolder::create(out));
    first.reset();
    EXPECT_EQ(readFile(works[2]), QByteArray("3"));
    EXPECT_EQ(second->commit(works[2], final), QString());
    EXPECT_EQ(readFile(final), QByteArray("3"));
}

TEST_F(WorkFolderTest, ALockTellsARunningProcessFromAKilledOne)
{
    enum class End { Killed, Closed };
    for (const End end : {End::Killed, End::Closed}) {
        SCOPED_TRACE(end == End::Killed ? "killed" : "closed");
        QProcess holder;
        holder.start(QStringLiteral(VANTORIX_WORKFOLDER_HOLDER), {out});
        QStringList lines;
        const QDeadlineTimer deadline(30000);
        while (lines.size() < 2 && (holder.canReadLine() || holder.waitForReadyRead(int(deadline.remainingTime())))) {
            while (holder.canReadLine())
                lines << QString::fromLocal8Bit(holder.readLine()).trimmed();
        }
        ASSERT_EQ(lines.size(), 2) << holder.readAllStandardError().toStdString();
        const QString held = lines[0];

        // While it runs, neither a sweep nor the next run takes its folder.
        EXPECT_EQ(WorkFolder::SweepAbandoned(out), 0);
        EXPECT_TRUE(WorkFolder::create(out));
        EXPECT_EQ(readFile(lines[1]), QByteArray("held"));

        if (end == End::Killed) {
            ::kill(pid_t(holder.processId()), SIGKILL);
            ASSERT_TRUE(holder.waitForFinished(30000));
            EXPECT_TRUE(QFileInfo(held).isDir());
            EXPECT_EQ(WorkFolder::SweepAbandoned(out), 1);
        } else {
            holder.closeWriteChannel();
            ASSERT_TRUE(holder.waitForFinished(30000));
            EXPECT_EQ(holder.exitCode(), 0);
            EXPECT_EQ(WorkFolder::SweepAbandoned(out), 0);
        }
        EXPECT_FALSE(QFileInfo::exists(held));
        EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                  QStringList());
    }
}

TEST_F(WorkFolderTest, ASweepTakesOnlyFoldersOfRunsThatAreGone)
{
    const auto folderWith = [this](const QString &name, const std::function<void(const QString &)> &fill) {
        ASSERT_TRUE(QDir().mkpath(at(name)));
        fill(at(name));
    };
    // A killed run's folder, with its free lock and an unfinished output.
    folderWith(QStringLiteral(".vantorix-work-dead01"), [](const QString &path) {
        writeFile(path + QStringLiteral("/.lock"), "");
        writeFile(path + QStringLiteral("/clip.mp4"), "half");
        QDir().mkdir(path + QStringLiteral("/1"));
        writeFile(path + QStringLiteral("/1/clip.mp4"), "half");
    });
    // One killed while it was being made.
    folderWith(QStringLiteral(".vantorix-make-dead02"), [](const QString &) {});
    // Links inside a dead folder go as links.
    folderWith(QStringLiteral(".vantorix-work-dead03"), [this](const QString &path) {
        QFile::link(victim, path + QStringLiteral("/.lock"));
        QFile::link(victim, path + QStringLiteral("/clip.mp4"));
        QFile::link(victims, path + QStringLiteral("/1"));
    });
    // What is not a folder of a run stays: a link under the name, a file, a
    // user's folder, an earlier version's temporary.
    QFile::link(victims, at(QStringLiteral(".vantorix-work-link04")));
    writeFile(at(QStringLiteral(".vantorix-work-file05")), "file");
    folderWith(QStringLiteral("vantorix-work-06"), [](const QString &) {});
    writeFile(at(QStringLiteral(".clip.vantorix-part.mp4")), "half");
    const std::unique_ptr<WorkFolder> live = WorkFolder::create(out);
    ASSERT_TRUE(live);
    const QString liveWork = live->workPathFor(at(QStringLiteral("clip.mp4")));
    writeFile(liveWork, "live");

    EXPECT_EQ(WorkFolder::SweepAbandoned(out), 0); // create() swept already
    QStringList left = QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QStringList expected({QStringLiteral(".clip.vantorix-part.mp4"), QStringLiteral(".vantorix-work-file05"),
                                 QStringLiteral(".vantorix-work-link04"), QFileInfo(live->path()).fileName(),
                                 QStringLiteral("vantorix-work-06")});
    left.sort();
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_EQ(readFile(liveWork), QByteArray("live"));
    expectVictimUntouched("after the sweep");
    EXPECT_EQ(WorkFolder::SweepAbandoned(dir.filePath(QStringLiteral("nowhere"))), 0);
}

} // namespace
