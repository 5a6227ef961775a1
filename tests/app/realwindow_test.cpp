// The main window with the real engine: files probed as they are added, a
// trimmed task converted into a playable file, a failed task explained.
#include "windowfixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTreeView>

namespace {

class RealWindowTest : public WindowTest
{
protected:
    RealWindowTest()
        : WindowTest(TestProgramFolder::Engine::Real)
    {
    }
};

TEST_F(RealWindowTest, ATrimmedTaskConvertsIntoAPlayableFile)
{
    const QString clip = folder.filePath(QStringLiteral("in/clip one.avi"));
    QDir().mkpath(folder.filePath(QStringLiteral("in")));
    ASSERT_TRUE(makeClip(clip, 3));
    const QString out = folder.filePath(QStringLiteral("out"));
    QDir().mkpath(out);

    TMainForm &form = open({clip});
    ASSERT_TRUE(waitAdded());
    ASSERT_EQ(captions(), QStringList({clip}));
    EXPECT_EQ(cell(0, 1), QStringLiteral("00:00:03.00"));
    EXPECT_EQ(cell(0, 2), QStringLiteral(" 320x240"));
    EXPECT_EQ(cell(0, 3), QStringLiteral("OK"));

    auto *profiles = child<QComboBox>("cmbProfile");
    profiles->setCurrentIndex(profiles->findText(QStringLiteral("MP4 H.264 AAC")));
    ASSERT_EQ(form.OutputExt(), QStringLiteral(".mp4"));
    child<QLineEdit>("edtOutputdir")->setText(out);

    // Trim to 00:00:01 .. 00:00:03 and rename, through the output grid.
    child<QTreeView>("ltvTask")->selectionModel()->select(form.tasks().index(0, 0),
                                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.ltvTaskClick();
    EXPECT_EQ(form.outputGrid().value(QStringLiteral("New Filename")), QStringLiteral("clip one.mp4"));
    form.outputGrid().setValue(QStringLiteral("New Filename"), QStringLiteral("trimmed"));
    form.outputGrid().setValue(QStringLiteral("Start Time"), QStringLiteral("00:00:01"));
    form.vleOutputValidate();

    QTest::mouseClick(child<QWidget>("imgStart"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }, 60000));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Complete"));
    EXPECT_TRUE(interactive.messages.contains(
        QStringLiteral("information|Complete|The coversion is completed successfully.")));
    // The folder the batch wrote to is opened (the default choice).
    EXPECT_EQ(shell.opened, QStringList({out}));
    const QString output = out + QStringLiteral("/trimmed.mp4");
    ASSERT_TRUE(QFileInfo::exists(output));
    EXPECT_EQ(ffprobeValues(output, QStringLiteral("stream=codec_name")).split('\n'),
              QStringList({QStringLiteral("h264"), QStringLiteral("aac")}));
    const double seconds = ffprobeValues(output, QStringLiteral("format=duration")).toDouble();
    EXPECT_NEAR(seconds, 2.0, 0.2);
    EXPECT_EQ(child<QWidget>("pgbTotal")->property("value").toInt(), 100);
}

TEST_F(RealWindowTest, AFailedTaskShowsTheEngineOutputAsItsStatusTip)
{
    const QString broken = folder.filePath(QStringLiteral("in/broken.avi"));
    touchFile(broken, QByteArray(4096, 'z'));
    const QString clip = folder.filePath(QStringLiteral("in/good.avi"));
    ASSERT_TRUE(makeClip(clip, 1));
    TMainForm &form = open();
    form.AddTaskFile(broken);
    form.AddTaskFile(clip);
    ASSERT_TRUE(waitAdded());
    child<QLineEdit>("edtOutputdir")->setText(folder.path());
    form.tbtnStartClick();
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }, 60000));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Failed"));
    EXPECT_EQ(cell(1, 3), QStringLiteral("Complete"));
    const QString tip = form.tasks().index(0, 3).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(QStringLiteral("broken.avi"))) << tip.toStdString();
    EXPECT_TRUE(form.tasks().index(1, 3).data(Qt::ToolTipRole).toString().isEmpty());
    EXPECT_TRUE(form.isVisible());
}

} // namespace
