// The journal of a watched folder and the look for writers in /proc.
#include "conversion/watchfolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
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
