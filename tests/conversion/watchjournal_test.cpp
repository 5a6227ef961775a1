// The journal of a watched folder and the look for writers in /proc.
#include "conversion/watchfolder.h"

#include "otheruser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(WatchJournalTest, KeepsWhatWasRecordedAcrossOpeningsAndIgnoresALineCutShort)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(WatchJournal::FileName);
    const QList<WatchedFile> files = {{"/in/plain.avi", 1000, 1700000000123},
                                      {"/in/tab\tand\nnew line.avi", 5, 6},
                                      {"/in/100% é.mkv", 7, 8}};
    {
        WatchJournal journal(path);
        for (const WatchedFile &file : files)
            ASSERT_TRUE(journal.append(file, QStringLiteral("complete")));
    }
    QFile cut(path);
    ASSERT_TRUE(cut.open(QIODevice::Append));
    cut.write("12\t34\tcomplete\t/in/cut.avi"); // no line break: a write cut short
    cut.close();
    WatchJournal reopened(path);
    for (const WatchedFile &file : files)
        EXPECT_TRUE(reopened.contains(file)) << qPrintable(file.path);
    EXPECT_FALSE(reopened.contains({"/in/cut.avi", 12, 34}));
    EXPECT_FALSE(reopened.contains({"/in/plain.avi", 1001, 1700000000123})) << "written again: another file";
    ASSERT_TRUE(reopened.append({"/in/after.avi", 1, 2}, QStringLiteral("failed")));
    const WatchJournal last(path);
    EXPECT_TRUE(last.contains({"/in/after.avi", 1, 2}));
    EXPECT_FALSE(last.contains({"/in/cut.avi", 12, 34}));
    EXPECT_EQ(last.size(), 4);
}

TEST(WatchJournalTest, AFileCountsAsBeingWrittenWhileADescriptorWithWriteAccessIsOpen)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("clip.avi"));
    QFile made(path);
    ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    made.close();
    const struct
    {
        int flags;
        bool held;
    } cases[] = {{O_RDONLY, false}, {O_WRONLY, true}, {O_RDWR, true}, {O_WRONLY | O_APPEND, true}};
    for (const auto &c : cases) {
        const int fd = ::open(QFile::encodeName(path).constData(), c.flags);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(FilesOpenForWriting({path}).contains(path), c.held) << c.flags;
        ::close(fd);
        EXPECT_TRUE(FilesOpenForWriting({path}).isEmpty()) << c.flags;
    }
}

// In an output folder others may write, what stands under the journal's name
// before the journal is read, or takes its place after it was opened: only a
// regular file of ours with one name is read or appended to.
TEST(WatchJournalTest, NeverReadsOrWritesThroughWhatAnotherUserPlantsUnderItsName)
{
    QTemporaryDir temp;
    ASSERT_EQ(::chmod(QFile::encodeName(temp.path()).constData(), 0755), 0);
    const QString folder = temp.filePath(QStringLiteral("shared"));
    const QString victim = temp.filePath(QStringLiteral("victim.rc"));
    const QString path = folder + QLatin1Char('/') + WatchJournal::FileName;
    const QByteArray name = QFile::encodeName(path);
    const WatchedFile file{"/in/a.avi", 1, 2};
    // A journal line naming the file: a planted journal must not make it count as done.
    const QByteArray line = "1\t2\tcomplete\t/in/a.avi\n";
    const auto writeTo = [](const QString &target, const QByteArray &content) {
        QFile out(target);
        return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(content) == content.size();
    };
    const auto link = [&] { return ::symlink(QFile::encodeName(victim).constData(), name.constData()) == 0; };
    const auto ownFile = [&] {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        return fd >= 0 && ::write(fd, line.constData(), size_t(line.size())) == line.size() && ::close(fd) == 0;
    };
    struct Case
    {
        const char *what;
        mode_t folderMode;
        std::function<bool()> plant;
        bool byOther;          // planted by the other user
        bool afterOpening;     // planted once the journal was read and written
        const char *said;
    };
    const Case cases[] = {
        {"a link to the victim's file", 0777, link, true, false, "is a link"},
        {"a link in a sticky folder", 01777, link, true, false, "is a link"},
        {"a link put in the journal's place after it was opened", 0777,
         [&] { return ::unlink(name.constData()) == 0 && link(); }, true, true, "is a link"},
        {"another user's file", 01777, ownFile, true, false, "belongs to another user"},
        {"a hard link to the victim's file", 0777,
         [&] { return ::link(QFile::encodeName(victim).constData(), name.constData()) == 0; }, false, false,
         "has a second name"},
        {"a pipe", 0777, [&] { return ::mkfifo(name.constData(), 0666) == 0; }, false, false, "is not a regular file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), c.folderMode), 0);
        ASSERT_TRUE(writeTo(victim, line));
        const auto plant = [&] {
            const std::optional<bool> other = c.byOther ? AsOtherUser(c.plant) : std::nullopt;
            return other ? *other : c.plant();
        };
        if (c.byOther && !CanBeOtherUser() && QByteArray(c.said) == "belongs to another user") {
            std::printf("note: not root, so no other user plants a file of their own\n");
            continue;
        }
        std::optional<WatchJournal> journal;
        if (c.afterOpening) {
            journal.emplace(path);
            ASSERT_TRUE(journal->append({"/in/first.avi", 3, 4}, QStringLiteral("complete")));
            ASSERT_TRUE(plant());
        } else {
            ASSERT_TRUE(plant());
            journal.emplace(path);
            EXPECT_TRUE(journal->error().contains(QLatin1String(c.said))) << qPrintable(journal->error());
            EXPECT_FALSE(journal->contains(file));
        }
        QString error;
        EXPECT_FALSE(journal->append(file, QStringLiteral("failed"), &error));
        EXPECT_TRUE(error.contains(QLatin1String(c.said))) << qPrintable(error);
        EXPECT_TRUE(error.contains(path)) << qPrintable(error);
        QFile read(victim);
        ASSERT_TRUE(read.open(QIODevice::ReadOnly));
        EXPECT_EQ(read.readAll(), line);
    }
}
