// A size typed in the custom size dialog, converted by the real engine.
#include "windowfixture.h"

#include "ui/picklisttesthelpers.h"
#include "ui/valuelistgrid.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

class CustomSizeRealEngineTest : public WindowTest
{
protected:
    CustomSizeRealEngineTest()
        : WindowTest(TestProgramFolder::Engine::Real)
    {
    }
};

TEST_F(CustomSizeRealEngineTest, TheOutputHasTheTypedSize)
{
    const QString clip = folder.filePath(QStringLiteral("in/clip.avi"));
    QDir().mkpath(folder.filePath(QStringLiteral("in")));
    ASSERT_TRUE(makeClip(clip, 2));
    const QString out = folder.filePath(QStringLiteral("out"));
    QDir().mkpath(out);

    TMainForm &form = openAll({clip});
    ASSERT_TRUE(waitAdded());
    auto *profiles = child<QComboBox>("cmbProfile");
    profiles->setCurrentIndex(profiles->findText(QStringLiteral("MP4 H.264 AAC")));
    child<QLineEdit>("edtOutputdir")->setText(out);

    // "Custom Size", the choice after "Original Size", picked in the Video
    // grid's drop-down.
    ValueListGrid *video = child<ValueListGrid>("vleVideo");
    const int row = form.grids().video.findRow(QStringLiteral("Video Size"));
    QTest::mouseClick(video->viewport(), Qt::LeftButton, Qt::NoModifier,
                      video->visualRect(video->model()->index(row, 1)).center());
    auto *choices = qobject_cast<QComboBox *>(video->currentEditor());
    ASSERT_NE(choices, nullptr);
    ASSERT_EQ(choices->currentText(), QStringLiteral("Original Size"));
    ASSERT_TRUE(PickFromDropDown(choices, QStringLiteral("Custom Size")));
    ASSERT_TRUE(sizeForm->isVisible());
    sizeForm->findChild<QLineEdit *>(QStringLiteral("edtWidth"))->setText(QStringLiteral("320"));
    sizeForm->findChild<QLineEdit *>(QStringLiteral("edtHeight"))->setText(QStringLiteral("180"));
    sizeForm->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    ASSERT_EQ(form.grids().video.value(QStringLiteral("Video Size")), QStringLiteral("320x180"));

    QTest::mouseClick(child<QWidget>("imgStart"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }, 60000));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Complete"));
    const QString output = out + QStringLiteral("/clip.mp4");
    ASSERT_TRUE(QFileInfo::exists(output));

    QProcess ffprobe;
    ffprobe.start(QStringLiteral(VANTORIX_FFPROBE), {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                                     "stream=width,height", "-of", "csv=s=x:p=0", output});
    ASSERT_TRUE(ffprobe.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed(), QStringLiteral("320x180"));
}

} // namespace
