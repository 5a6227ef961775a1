// The preview inside the main window: which row Play, a double-click and
// "Open" play, the stop at the start of a batch, and the About window that
// blocks the main window. Real clips, the real playback service.
#include "windowfixture.h"

#include "preview/previewpanel.h"
#include "preview/seekbar.h"
#include "ui/aboutform.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QVideoWidget>

namespace {

using State = PreviewPlayer::State;

class PreviewWindowTest : public WindowTest
{
protected:
    PreviewWindowTest()
        : WindowTest(TestProgramFolder::Engine::Real)
    {
    }

    // Two clips in the list, nothing selected.
    void addClips(TMainForm &form)
    {
        QDir().mkpath(folder.filePath(QStringLiteral("in")));
        for (const char *name : {"first.avi", "second.avi"}) {
            const QString path = folder.filePath(QStringLiteral("in/") + QString::fromLatin1(name));
            ASSERT_TRUE(makeClip(path, 3));
            form.AddTaskFile(path);
        }
        ASSERT_TRUE(waitAdded());
        ASSERT_EQ(form.tasks().rowCount(), 2);
    }

    void select(int row)
    {
        child<QTreeView>("ltvTask")->selectionModel()->select(window->tasks().index(row, 0),
                                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    PreviewPanel *preview() const { return child<PreviewPanel>("panPreview"); }
    QString playing() const { return preview()->player().source(); }
    bool waitPlaying() { return waitFor([this] { return preview()->state() == State::Playing; }); }
};

TEST_F(PreviewWindowTest, PlayTakesTheFirstSelectedRowOrSelectsTheFirst)
{
    TMainForm &form = open();
    // An empty list: Play does nothing.
    child<QToolButton>("sbtnPlay")->click();
    QCoreApplication::processEvents();
    // A file to play would be set at once.
    EXPECT_TRUE(playing().isEmpty());
    EXPECT_EQ(preview()->state(), State::Uninitialised);

    addClips(form);
    child<QToolButton>("sbtnPlay")->click();
    ASSERT_TRUE(waitPlaying());
    EXPECT_EQ(child<QTreeView>("ltvTask")->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(child<QTreeView>("ltvTask")->selectionModel()->isRowSelected(0, QModelIndex()));
    EXPECT_TRUE(playing().endsWith(QStringLiteral("first.avi"))) << playing().toStdString();

    child<QTreeView>("ltvTask")->clearSelection();
    select(1);
    child<QToolButton>("sbtnPlay")->click();
    ASSERT_TRUE(waitFor([this] { return playing().endsWith(QStringLiteral("second.avi")); }));
    ASSERT_TRUE(waitPlaying());
    // Of several selected rows, the first plays.
    select(0);
    form.ltvTaskDblClick();
    ASSERT_TRUE(waitFor([this] { return playing().endsWith(QStringLiteral("first.avi")); }));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(PreviewWindowTest, EachUnplayableFileIsReportedInTurn)
{
    TMainForm &form = open();
    for (const char *name : {"first.avi", "second.avi"}) {
        const QString path = folder.filePath(QStringLiteral("in/") + QString::fromLatin1(name));
        touchFile(path, "Not a video at all.\n");
        ltvItemData record;
        record.InputFile = path;
        form.tasks().appendTask(record);
    }
    for (int row = 0; row < 2; ++row) {
        child<QTreeView>("ltvTask")->clearSelection();
        select(row);
        form.PreviewSelectedTask();
        ASSERT_TRUE(waitFor([&] { return interactive.messages.size() == row + 1; })) << row;
        EXPECT_TRUE(interactive.messages.last().startsWith(QStringLiteral("error|"))) << row;
    }
}

TEST_F(PreviewWindowTest, TheIdleWindowMakesNoVideoSurfaceUntilTheFirstPreview)
{
    TMainForm &form = open();
    addClips(form);
    // Shown, with files, nothing played: a black stand-in, no playback.
    EXPECT_EQ(form.findChild<QVideoWidget *>(), nullptr);
    EXPECT_NE(child<QWidget>("VideoWindow1"), nullptr);
    EXPECT_FALSE(preview()->player().isActive());

    select(0);
    form.PreviewSelectedTask();
    auto *video = form.findChild<QVideoWidget *>(QStringLiteral("VideoWindow1"));
    ASSERT_NE(video, nullptr);
    EXPECT_TRUE(video->isVisible());
    ASSERT_TRUE(waitPlaying());
}

TEST_F(PreviewWindowTest, DoubleClickAndOpenNeedASelection)
{
    TMainForm &form = open();
    addClips(form);
    form.ltvTaskDblClick();
    QCoreApplication::processEvents();
    EXPECT_TRUE(playing().isEmpty());
    EXPECT_EQ(preview()->state(), State::Uninitialised);

    select(1);
    QAction *open = child<QMenu>("ppmTask")->findChild<QAction *>(QStringLiteral("mniOpen"));
    ASSERT_NE(open, nullptr);
    open->trigger();
    ASSERT_TRUE(waitPlaying());
    EXPECT_TRUE(playing().endsWith(QStringLiteral("second.avi")));
}

TEST_F(PreviewWindowTest, StartingABatchStopsThePreviewAndTheThumbStays)
{
    TMainForm &form = open();
    addClips(form);
    select(0);
    form.PreviewSelectedTask();
    SeekBar *bar = child<SeekBar>("TrackBar");
    ASSERT_TRUE(waitFor([&] { return preview()->state() == State::Playing && bar->value() >= 1; }));
    child<QLineEdit>("edtOutputdir")->setText(folder.path());
    form.tbtnStartClick();
    const int thumb = bar->value();
    const QString time = preview()->timeText();
    EXPECT_EQ(preview()->state(), State::Stopped);
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }, 60000));
    EXPECT_EQ(bar->value(), thumb);
    EXPECT_EQ(preview()->timeText(), time);
    // The preview stays usable during and after a batch.
    EXPECT_TRUE(child<QWidget>("sbtnPlay")->isEnabled());
}

TEST_F(PreviewWindowTest, TheAboutWindowBlocksTheMainWindowUntilItCloses)
{
    TMainForm &form = open();
    TAboutForm about(DefaultAboutInfo(form.VersionText()), shell, &form);
    form.setAboutForm(&about);
    form.tbtnAboutClick();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_FALSE(form.isEnabled());
    about.btnOKClick();
    EXPECT_TRUE(waitFor([&] { return form.isEnabled() && !about.isVisible(); }));

    QTest::mouseClick(child<QWidget>("ibtnAbout"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return about.isVisible(); }));
    EXPECT_FALSE(form.isEnabled());
    about.close();
    EXPECT_TRUE(waitFor([&] { return form.isEnabled(); }));
}

} // namespace
