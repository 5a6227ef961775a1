// Folders with their subfolders: which files a tree yields and in what order,
// the folders a listing skips, where each output of a tree goes, and the
// folders made for it.
#include "conversion/outputnaming.h"
#include "conversion/tasklistops.h"
#include "conversion/taskrecord.h"
#include "conversion/workfolder.h"
#include "otheruser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
}

QStringList reasons(const ListingProblems &problems)
{
    QStringList lines;
    for (const ListingProblems::SkippedFolder &folder : problems.folders)
        lines << folder.path + QStringLiteral(": ") + folder.reason;
    return lines;
}

class FolderTreeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        // Readable by anybody, so a listing by another user sees the same tree.
        ::chmod(QFile::encodeName(temp.path()).constData(), 0755);
        root = temp.filePath(QStringLiteral("A"));
    }
    QString at(const QString &name) const { return root + QLatin1Char('/') + name; }

    QTemporaryDir temp;
    QString root;
};

TEST_F(FolderTreeTest, ATreeListsEachFolderSortedThenItsSubfoldersAndSkipsLoopsAndUnreadableFolders)
{
    // Every supported type, letter case ignored, over three levels; names
    // with blanks and beyond ASCII; what is hidden or of another type stays out.
    const QStringList exts = InputExts();
    ASSERT_EQ(exts.size(), 18);
    QStringList top, middle, deepest;
    for (qsizetype i = 0; i < exts.size(); ++i) {
        const QString name = QStringLiteral("clip %1").arg(i, 2, 10, QLatin1Char('0'))
                             + (i % 2 ? exts[i].toUpper() : exts[i]);
        QStringList &level = i % 3 == 0 ? top : i % 3 == 1 ? middle : deepest;
        const QString folder = i % 3 == 0 ? QString() : i % 3 == 1 ? QStringLiteral("Été/") : QStringLiteral("Été/sub b/");
        level << at(folder + name);
        touch(level.last());
    }
    for (const char *name : {"notes.txt", ".hidden.avi", ".hid/in.avi", "Été/readme", "zz/.x.mkv"})
        touch(at(QString::fromUtf8(name)));
    // A link to a file is listed as a file; a link back up is a loop.
    ASSERT_EQ(::symlink("clip 00.avi", QFile::encodeName(at(QStringLiteral("a link.avi"))).constData()), 0);
    ASSERT_EQ(::symlink("..", QFile::encodeName(at(QStringLiteral("Été/sub b/up"))).constData()), 0);
    top.insert(0, at(QStringLiteral("a link.avi")));

    ListingProblems problems;
    EXPECT_EQ(ListFolder(root, false, &problems), top);
    EXPECT_TRUE(problems.folders.isEmpty());
    EXPECT_EQ(ListFolder(root, true, &problems), top + middle + deepest);
    EXPECT_EQ(reasons(problems),
              QStringList({at(QStringLiteral("Été/sub b/up: a link back into a folder that holds it"))}));
    EXPECT_TRUE(problems.message().contains(QDir::toNativeSeparators(at(QStringLiteral("Été/sub b/up")))));

    // A folder that cannot be read is named once, and the rest is listed.
    touch(at(QStringLiteral("locked/inner.avi")));
    ASSERT_EQ(::chmod(QFile::encodeName(at(QStringLiteral("locked"))).constData(), 0), 0);
    const auto listsLockedAsUnreadable = [&] {
        ListingProblems seen;
        const QStringList files = ListFolder(root, true, &seen);
        return files == top + middle + deepest && seen.folders.size() == 2
               && seen.folders[0].path == at(QStringLiteral("locked"))
               && seen.folders[0].reason.startsWith(QStringLiteral("it cannot be read"));
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(listsLockedAsUnreadable());
        return;
    }
    // Root reads every folder: the listing runs as nobody.
    EXPECT_EQ(AsOtherUser(listsLockedAsUnreadable), std::optional<bool>(true));
}

TEST_F(FolderTreeTest, EachPlaceGivesItsFolderAndNoOutputReplacesAnInput)
{
    const QString out = temp.filePath(QStringLiteral("OUT"));
    ASSERT_TRUE(QDir().mkpath(out));
    const auto task = [&](const QString &input, const QString &foundUnder) {
        ltvItemData record;
        record.InputFile = at(input);
        record.NewName = QFileInfo(input).completeBaseName();
        record.NewExt = QStringLiteral(".mp4");
        record.FoundUnder = foundUnder.isNull() ? QString() : at(foundUnder);
        touch(record.InputFile);
        return record;
    };
    struct Case
    {
        const char *what;
        OutputPlace place;
        QList<ltvItemData> tasks;
        QStringList outputs; // below temp
    };
    const QString tree = QStringLiteral(".");
    const Case cases[] = {
        {"into the folder: one name, the second renamed", OutputPlace::Folder,
         {task("B/c.avi", tree), task("B/C/c.avi", tree)}, {"OUT/c.mp4", "OUT/c_2.mp4"}},
        {"the tree kept: each below its folder; a file added alone at the top", OutputPlace::Tree,
         {task("B/c.avi", tree), task("B/C/c.avi", tree), task("d.avi", QString()), task("B/e.avi", "B")},
         {"OUT/B/c.mp4", "OUT/B/C/c.mp4", "OUT/d.mp4", "OUT/e.mp4"}},
        {"beside: in the input's folder, an MP4 input not replaced", OutputPlace::Beside,
         {task("B/c.avi", tree), task("B/f.mp4", tree)}, {"A/B/c.mp4", "A/B/f_2.mp4"}},
    };
    for (const Case &c : cases) {
        TaskListModel model;
        for (const ltvItemData &record : c.tasks)
            model.appendTask(record);
        OutputNaming naming;
        naming.begin(out, QStringLiteral(".mp4"), model, c.place);
        QStringList outputs;
        for (int row = 0; row < model.rowCount(); ++row) {
            ltvItemData record;
            ReadItemData(model, row, WholeRowField, record);
            outputs << QDir(temp.path()).relativeFilePath(naming.reserve(record, row, false, nullptr));
        }
        EXPECT_EQ(outputs, c.outputs) << c.what;
    }
}

TEST_F(FolderTreeTest, AKeptTreeIsMadeBelowTheOutputFolderAndNeverThroughALink)
{
    const QString out = temp.filePath(QStringLiteral("OUT"));
    const QString elsewhere = temp.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(out) && QDir().mkpath(elsewhere));

    QString error;
    const std::unique_ptr<WorkFolder> made = WorkFolder::create(out, QStringLiteral("B/Ç d"), &error);
    ASSERT_NE(made, nullptr) << qPrintable(error);
    const QString final = out + QStringLiteral("/B/Ç d/c.mp4");
    const QString work = made->workPathFor(final);
    {
        QFile file(work);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("data");
    }
    EXPECT_EQ(made->commit(work, final), QString());
    EXPECT_EQ(QFile(final).size(), 4);

    // A link planted where a folder of the tree goes leads nowhere.
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(out + "/L").constData()), 0);
    WorkFolders folders;
    EXPECT_EQ(folders.folderFor(out, QStringLiteral("L/C"), &error), nullptr);
    EXPECT_TRUE(error.contains(QStringLiteral("is a link or a file"))) << qPrintable(error);
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    // One folder for each place, made once.
    const std::shared_ptr<WorkFolder> first = folders.folderFor(out, QStringLiteral("B"), &error);
    EXPECT_EQ(folders.folderFor(out, QStringLiteral("B"), &error), first);
    EXPECT_NE(folders.folderFor(out, QString(), &error), first);
    EXPECT_EQ(folders.count(), 3);
}

} // namespace
