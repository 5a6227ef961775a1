// What the mouse does in the main window: files dropped anywhere become
// tasks, and only a left double-click on the list previews.
#include "windowfixture.h"

#include "preview/previewpanel.h"

#include <QLineEdit>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

namespace {

using WindowHabitsTest = WindowTest;

TEST_F(WindowHabitsTest, AFileDroppedOnTheOutputBoxIsATaskNotText)
{
    TMainForm &form = open();
    const QString clip = folder.filePath(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    QLineEdit *box = child<QLineEdit>("edtOutputdir");
    const QString before = box->text();

    // File managers offer a dropped file's path as text too.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(clip)});
    data.setText(clip);
    const QPoint where = box->rect().center();
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &move);
    QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &drop);
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), QStringList({clip}));
    EXPECT_EQ(box->text(), before);

    // Plain text still goes into the box.
    QMimeData text;
    text.setText(QStringLiteral("/typed/elsewhere/"));
    QDragEnterEvent textEnter(where, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &textEnter);
    QDropEvent textDrop(where, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &textDrop);
    EXPECT_TRUE(box->text().contains(QStringLiteral("/typed/elsewhere/")));
    EXPECT_EQ(form.tasks().rowCount(), 1);

    // During a run the list is disabled: a drop on the box adds nothing.
    child<QTreeView>("ltvTask")->setEnabled(false);
    const QString other = folder.filePath(QStringLiteral("in/other.avi"));
    touchFile(other);
    data.setUrls({QUrl::fromLocalFile(other)});
    data.setText(other);
    QDragEnterEvent refused(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &refused);
    EXPECT_FALSE(refused.isAccepted());
    QDropEvent ignored(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &ignored);
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(form.tasks().rowCount(), 1);
}

TEST_F(WindowHabitsTest, OnlyALeftDoubleClickPreviews)
{
    TMainForm &form = open();
    const QString clip = folder.filePath(QStringLiteral("in/clip.avi"));
    QDir().mkpath(folder.filePath(QStringLiteral("in")));
    ASSERT_TRUE(makeClip(clip, 2));
    form.AddTaskFile(clip);
    ASSERT_TRUE(waitAdded());
    QTreeView *list = child<QTreeView>("ltvTask");
    list->selectionModel()->select(form.tasks().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QPoint onRow = list->visualRect(list->model()->index(0, 0)).center();
    auto *preview = child<PreviewPanel>("panPreview");
    const auto doubleClick = [&](Qt::MouseButton button) {
        QMouseEvent event(QEvent::MouseButtonDblClick, onRow, list->viewport()->mapToGlobal(onRow), button, button,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &event);
    };

    doubleClick(Qt::RightButton);
    doubleClick(Qt::MiddleButton);
    QCoreApplication::processEvents();
    EXPECT_TRUE(preview->player().source().isEmpty());
    EXPECT_EQ(preview->state(), PreviewPlayer::State::Uninitialised);

    doubleClick(Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return preview->player().source() == clip; }));
    preview->stop();
}

} // namespace
