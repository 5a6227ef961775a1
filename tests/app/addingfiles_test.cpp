// Every way into the task list reads media files in-process: the engine is
// started only for a file the media library cannot tell about.
#include "windowfixture.h"

#include <QMimeData>
#include <QUrl>

namespace {

using AddingFilesTest = WindowTest;

TEST_F(AddingFilesTest, EveryWayInReadsMediaWithoutTheEngine)
{
    const QString fromCommandLine = folder.filePath(QStringLiteral("command line.avi"));
    const QString inFolder = folder.filePath(QStringLiteral("folder/in folder.avi"));
    const QString notes = folder.filePath(QStringLiteral("folder/notes.avi"));
    const QString picked = folder.filePath(QStringLiteral("picked.avi"));
    const QString dropped = folder.filePath(QStringLiteral("dropped.avi"));
    QDir().mkpath(folder.filePath(QStringLiteral("folder")));
    for (const QString &clip : {fromCommandLine, inFolder, picked, dropped})
        ASSERT_TRUE(makeClip(clip, 1, QStringLiteral("64x48")));
    touchFile(notes, "Not a video.\n");
    folder.setScriptFor(QStringLiteral("notes.avi"),
                        QStringLiteral("print 0 Input #0, avi, from '%1':\\n  Duration: 00:00:30.00, start: 0\\n"
                                       "  Stream #0:0: Video: mpeg4, yuv420p, 99x99, 25 fps\\n")
                            .arg(notes));

    TMainForm &form = open({fromCommandLine});
    ASSERT_TRUE(waitAdded());
    form.AddTaskFolder(folder.filePath(QStringLiteral("folder")));
    ASSERT_TRUE(waitAdded());
    form.AddTaskFile(picked);
    ASSERT_TRUE(waitAdded());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dropped)});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &enter);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drop);
    ASSERT_TRUE(waitAdded());

    ASSERT_EQ(captions(), QStringList({fromCommandLine, inFolder, notes, picked, dropped}));
    for (int row = 0; row < 5; ++row) {
        ltvItemData task;
        ReadItemData(form.tasks(), row, WholeRowField, task);
        EXPECT_EQ(task.SizeText, row == 2 ? QStringLiteral(" 99x99") : QStringLiteral(" 64x48")) << row;
        EXPECT_NEAR(task.LengthSecs, row == 2 ? 30.0 : 1.0, 0.1) << row;
    }
    EXPECT_EQ(folder.callCount(), 1);
    EXPECT_EQ(folder.arguments(1), QStringList({"-i", notes}));
}

} // namespace
