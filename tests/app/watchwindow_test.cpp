// The task list's "Watch Folder..." with the real engine: what arrives in the
// folder is listed and converted, joining a batch that runs, without a
// message, and nothing once the watch is stopped.
#include "app/tasklistcontroller.h"
#include "app/watchcontroller.h"
#include "conversion/conversionrun.h"
#include "windowfixture.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

namespace {

class WatchWindowTest : public WindowTest
{
protected:
    WatchWindowTest() : WindowTest(TestProgramFolder::Engine::Real) {}

    QString path(const QString &name) const { return folder.filePath(name); }

    // A clip made outside and moved in, as a finished download arrives.
    bool moveIn(const QString &name, double seconds) const
    {
        const QString made = path(QStringLiteral("made/") + QFileInfo(name).fileName());
        QDir().mkpath(path(QStringLiteral("made")));
        return makeClip(made, seconds) && QFile::rename(made, path(name));
    }

    // The list ends with the row of name, converted.
    bool converted(const QString &name) const
    {
        return waitFor([&] { return window->RunState() == 0 && !captions().isEmpty()
                                    && captions().constLast() == path(name)
                                    && cell(captions().size() - 1, 3) == QStringLiteral("Complete"); },
                       120000);
    }
};

TEST_F(WatchWindowTest, ListsAndConvertsWhatArrivesJoiningARunningBatchUntilStopped)
{
    QDir().mkpath(path(QStringLiteral("watched")));
    QDir().mkpath(path(QStringLiteral("other")));
    QDir().mkpath(path(QStringLiteral("out")));
    ASSERT_TRUE(makeClip(path(QStringLiteral("watched/long.avi")), 10, QStringLiteral("1280x720")));
    TMainForm &form = open();
    auto *profiles = child<QComboBox>("cmbProfile");
    profiles->setCurrentIndex(profiles->findText(QStringLiteral("MP4 H.264 AAC")));
    child<QLineEdit>("edtOutputdir")->setText(path(QStringLiteral("out")));
    auto *watching = form.findChild<WatchController *>();
    ASSERT_NE(watching, nullptr);
    watching->setSettleMs(1000);
    form.ppmTaskPopup();
    QAction *item = child<QAction>("mniWatchFolder");
    ASSERT_TRUE(child<QMenu>("ppmTask")->actions().contains(item));
    child<QMenu>("ppmTask")->close();

    // A file already there is listed and its batch starts by itself.
    dialogs.folders << path(QStringLiteral("watched"));
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    ASSERT_TRUE(waitFor([&] { return form.RunState() != 0; }, 60000));
    EXPECT_EQ(captions(), QStringList({path(QStringLiteral("watched/long.avi"))}));

    // A file that settles while the batch is held is listed and waits in it.
    form.run().pause();
    ASSERT_TRUE(moveIn(QStringLiteral("watched/second.avi"), 1));
    ASSERT_TRUE(waitFor([&] { return captions().size() == 2; }, 60000));
    EXPECT_EQ(cell(1, 3), QStringLiteral("OK"));
    form.run().resume();
    // It converts in the same batch, which ends without a message.
    ASSERT_TRUE(converted(QStringLiteral("watched/second.avi")));
    EXPECT_EQ(interactive.messages, QStringList());
    EXPECT_EQ(captions(), QStringList({path(QStringLiteral("watched/long.avi")), path(QStringLiteral("watched/second.avi"))}));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Complete"));
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("out/long.mp4"))));
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("out/second.mp4"))));

    // Stopped, the folder is no longer watched; another one is.
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(watching->watch(), nullptr);
    ASSERT_TRUE(moveIn(QStringLiteral("watched/third.avi"), 1));
    dialogs.folders << path(QStringLiteral("other"));
    item->trigger();
    ASSERT_TRUE(moveIn(QStringLiteral("other/fourth.avi"), 1));
    ASSERT_TRUE(converted(QStringLiteral("other/fourth.avi")));
    EXPECT_EQ(EntriesIn(path(QStringLiteral("out"))),
              QStringList({QStringLiteral("fourth.mp4"), QStringLiteral("long.mp4"), QStringLiteral("second.mp4")}));
}

TEST_F(WatchWindowTest, AnOutputWrittenBesideItsInputIsNotConvertedAgain)
{
    QDir().mkpath(path(QStringLiteral("watched")));
    ASSERT_TRUE(makeClip(path(QStringLiteral("watched/clip.avi")), 1));
    TMainForm &form = openAll();
    auto *profiles = child<QComboBox>("cmbProfile");
    profiles->setCurrentIndex(profiles->findText(QStringLiteral("MP4 H.264 AAC")));
    child<QLineEdit>("edtOutputdir")->setText(path(QString()));
    QTest::mouseClick(child<QWidget>("ibtnSetting"), Qt::LeftButton);
    auto *place = settingForm->findChild<QComboBox *>(QStringLiteral("cmbOutputPlace"));
    ASSERT_NE(place, nullptr);
    place->setCurrentIndex(place->findText(QStringLiteral("Beside each input")));
    settingForm->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    auto *watching = form.findChild<WatchController *>();
    watching->setSettleMs(500);
    dialogs.folders << path(QStringLiteral("watched"));
    child<QAction>("mniWatchFolder")->trigger();
    QSignalSpy settled(watching->watch(), &WatchFolder::settled);
    ASSERT_TRUE(converted(QStringLiteral("watched/clip.avi")));

    // The output settles in the watched folder like any new file; the
    // window leaves it alone.
    const QString output = path(QStringLiteral("watched/clip.mp4"));
    ASSERT_TRUE(waitFor([&] {
        for (const QList<QVariant> &signal : std::as_const(settled))
            if (signal.constFirst().value<WatchedFile>().path == output)
                return true;
        return false;
    }, 60000));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.findChild<TaskListController *>()->isAdding());
    EXPECT_EQ(form.RunState(), 0);
    EXPECT_EQ(captions(), QStringList({path(QStringLiteral("watched/clip.avi"))}));
}

} // namespace
