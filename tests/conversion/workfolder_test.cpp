// The private folder a run's engines write in: what a commit leaves at the
// final name, what it never writes through, and which folders a sweep takes.
#include "conversion/workfolder.h"

#include "killedrun.h"
#include "otheruser.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
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
        const HeldWorkFolder held = StartHolder(holder, out);
        ASSERT_FALSE(held.workFile.isEmpty()) << holder.readAllStandardError().toStdString();

        // While it runs, neither a sweep nor the next run takes its folder.
        EXPECT_EQ(WorkFolder::SweepAbandoned(out), 0);
        EXPECT_TRUE(WorkFolder::create(out));
        EXPECT_EQ(readFile(held.workFile), QByteArray("held"));

        if (end == End::Killed) {
            ::kill(pid_t(holder.processId()), SIGKILL);
            ASSERT_TRUE(holder.waitForFinished(30000));
            EXPECT_TRUE(QFileInfo(held.folder).isDir());
            EXPECT_EQ(WorkFolder::SweepAbandoned(out), 1);
        } else {
            holder.closeWriteChannel();
            ASSERT_TRUE(holder.waitForFinished(30000));
            EXPECT_EQ(holder.exitCode(), 0);
            EXPECT_EQ(WorkFolder::SweepAbandoned(out), 0);
        }
        EXPECT_FALSE(QFileInfo::exists(held.folder));
        EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                  QStringList());
    }
}

// The output folder is one every user may write (0777): another user renames
// folders, plants links; a sweep removes a folder only when it proves to be a
// killed run's of ours, and in it only what that run made.
TEST_F(WorkFolderTest, ASweepRemovesOnlyAFolderThatProvesOursAndOnlyWhatItMade)
{
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(out).constData(), 0777), 0);
    if (!CanBeOtherUser())
        std::printf("note: not root, so the steps of another user are taken by this one, and a folder given to "
                    "another user is left out\n");
    const auto dead = [this] {
        const HeldWorkFolder held = KilledRunsFolder(out);
        EXPECT_TRUE(QFileInfo(held.workFile).isFile());
        return held;
    };
    // As the other user where there is one.
    const auto byOther = [](const std::function<bool()> &step) {
        const std::optional<bool> other = AsOtherUser(step);
        return other ? *other : step();
    };
    struct Case
    {
        const char *what;
        std::function<QStringList()> plant; // what must stay
        int removed = 0;
    };
    QStringList gone;
    const Case cases[] = {
        {"a killed run's folder", [&] { gone << dead().folder; return QStringList(); }, 1},
        {"a killed run's folder with a file it did not make",
         [&] {
             const HeldWorkFolder held = dead();
             writeFile(held.folder + QStringLiteral("/notes.txt"), "mine");
             gone << held.workFile << held.folder + QStringLiteral("/.token");
             return QStringList{held.folder + QStringLiteral("/notes.txt")};
         }},
        {"a killed run's folder of mode 0755",
         [&] {
             const HeldWorkFolder held = dead();
             ::chmod(QFile::encodeName(held.folder).constData(), 0755);
             return QStringList{held.workFile};
         }},
        {"a killed run's folder without its token",
         [&] {
             const HeldWorkFolder held = dead();
             QFile::remove(held.folder + QStringLiteral("/.token"));
             return QStringList{held.workFile, held.folder + QStringLiteral("/.lock")};
         }},
        {"a killed run's folder with a token made for another folder",
         [&] {
             const HeldWorkFolder held = dead();
             const QString token = held.folder + QStringLiteral("/.token");
             QByteArray content = readFile(token);
             content.replace(content.indexOf(' ', 14), content.indexOf('\n') - content.indexOf(' ', 14), " 1 1");
             QFile::remove(token);
             writeFile(token, content);
             ::chmod(QFile::encodeName(token).constData(), 0600);
             return QStringList{held.workFile};
         }},
        {"a killed run's folder given to another user",
         [&] {
             if (!CanBeOtherUser())
                 return QStringList();
             const HeldWorkFolder held = dead();
             for (const QString &path : {held.folder, held.workFile, held.folder + QStringLiteral("/.token"),
                                         held.folder + QStringLiteral("/.lock")})
                 EXPECT_EQ(::lchown(QFile::encodeName(path).constData(), OtherUserId, OtherGroupId), 0);
             return QStringList{held.workFile};
         }},
        {"a folder whose run was killed while making it",
         [&] {
             EXPECT_TRUE(QDir().mkdir(at(QStringLiteral(".vantorix-make-dead02"))));
             return QStringList{at(QStringLiteral(".vantorix-make-dead02"))};
         }},
        {"a user's folder renamed to a work folder's name by another user",
         [&] {
             const QString project = at(QStringLiteral("project"));
             EXPECT_TRUE(QDir().mkpath(project + QStringLiteral("/sub")));
             ::chmod(QFile::encodeName(project).constData(), 0700);
             writeFile(project + QStringLiteral("/report.txt"), "report");
             writeFile(project + QStringLiteral("/.lock"), "");
             writeFile(project + QStringLiteral("/sub/deep.txt"), "deep");
             const QString renamed = at(QStringLiteral(".vantorix-work-aaaaaa"));
             EXPECT_TRUE(byOther([&] { return ::rename(QFile::encodeName(project).constData(),
                                                       QFile::encodeName(renamed).constData()) == 0; }));
             return QStringList{renamed + QStringLiteral("/report.txt"), renamed + QStringLiteral("/.lock"),
                                renamed + QStringLiteral("/sub/deep.txt")};
         }},
        {"a link under a work folder's name",
         [&] {
             const QString link = at(QStringLiteral(".vantorix-work-link04"));
             EXPECT_TRUE(byOther([&] { return ::symlink(QFile::encodeName(victims).constData(),
                                                        QFile::encodeName(link).constData()) == 0; }));
             return QStringList{link};
         }},
        {"a file under a work folder's name, an earlier version's temporary",
         [&] {
             writeFile(at(QStringLiteral(".vantorix-work-file05")), "file");
             writeFile(at(QStringLiteral(".clip.vantorix-part.mp4")), "half");
             return QStringList{at(QStringLiteral(".vantorix-work-file05")), at(QStringLiteral(".clip.vantorix-part.mp4"))};
         }},
    };
    QList<QPair<QString, QByteArray>> kept;
    int removed = 0;
    for (const Case &c : cases) {
        for (const QString &path : c.plant())
            kept.append({path, QFileInfo(path).isSymLink() ? QByteArray("<link>") : readFile(path)});
        removed += c.removed;
    }
    const std::unique_ptr<WorkFolder> live = WorkFolder::create(out);
    ASSERT_TRUE(live);
    const QString liveWork = live->workPathFor(at(QStringLiteral("clip.mp4")));
    writeFile(liveWork, "live");
    kept.append({liveWork, "live"});

    EXPECT_EQ(WorkFolder::SweepAbandoned(out), 0); // create() swept already
    for (const auto &[path, content] : std::as_const(kept))
        EXPECT_EQ(QFileInfo(path).isSymLink() ? QByteArray("<link>") : readFile(path), content) << qPrintable(path);
    for (const QString &path : std::as_const(gone))
        EXPECT_FALSE(QFileInfo::exists(path)) << qPrintable(path);
    // Each case left one entry in the output folder, save those removed; and the live run's.
    const QStringList left = QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    EXPECT_EQ(left.size(), int(std::size(cases)) + 1 + 1 - removed - (CanBeOtherUser() ? 0 : 1)) << qPrintable(left.join(' '));
    expectVictimUntouched("after the sweep");
    EXPECT_EQ(WorkFolder::SweepAbandoned(dir.filePath(QStringLiteral("nowhere"))), 0);
}

} // namespace
