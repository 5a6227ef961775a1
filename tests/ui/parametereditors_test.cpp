// The stack of header panels and grids: its two layouts, the toggles and
// their heights, the height after a profile load, and the repaint on a press.
#include "profiles/parametergrid.h"
#include "ui/parametereditors.h"
#include "ui/picklisttesthelpers.h"
#include "ui/valuelistgrid.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace {

class ParameterEditorsTest : public ::testing::Test
{
protected:
    ParameterEditors &build(const ParameterEditors::Layout &layout)
    {
        window = std::make_unique<QWidget>();
        auto *column = new QVBoxLayout(window.get());
        editors = new ParameterEditors(layout, grids, &output, window.get());
        other = new QLineEdit(window.get());
        column->addWidget(editors);
        column->addWidget(other);
        window->resize(layout.panelWidth + 40, 600);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *editors;
    }

    template <typename W>
    W *child(const char *name) const
    {
        return editors->findChild<W *>(QString::fromLatin1(name));
    }

    // Top of a stacked widget within the stack.
    int top(const char *name) const { return child<QWidget>(name)->y(); }

    ParameterGrids grids;
    ParameterGrid output{{QStringLiteral("New Filename"), QStringLiteral("Start Time"), QStringLiteral("End Time")}};
    std::unique_ptr<QWidget> window;
    ParameterEditors *editors = nullptr;
    QLineEdit *other = nullptr;
};

TEST_F(ParameterEditorsTest, MainWindowStackStartsWithOutputAndShowsTheLayoutRows)
{
    build(ParameterEditors::MainWindowLayout());
    const char *order[] = {"panOutput", "vleOutput", "panVideo", "vleVideo",
                           "panAudio",  "vleAudio",  "panAdvanced", "vleAdvanced"};
    const int heights[] = {18, 3 * 18 + 1, 18, 109, 18, 109, 18, 2 * 18 + 1};
    // As wide as the pane, 165 at least; the values take any more width.
    const int width = child<QWidget>("panParameterStack")->width();
    EXPECT_GE(width, 165);
    int y = 0;
    for (int i = 0; i < 8; ++i) {
        const QWidget *widget = child<QWidget>(order[i]);
        ASSERT_NE(widget, nullptr) << order[i];
        EXPECT_EQ(widget->geometry(), QRect(0, y, width, heights[i])) << order[i];
        y += heights[i];
    }
    auto *video = child<ValueListGrid>("vleVideo");
    const int values = video->columnWidth(1);
    window->resize(window->width() + 100, window->height());
    ASSERT_TRUE(QTest::qWaitFor([&] { return child<QWidget>("panParameterStack")->width() == width + 100; }));
    EXPECT_EQ(video->columnWidth(0), 95);
    EXPECT_EQ(video->columnWidth(1), values + 100);

    const char *titles[][2] = {{"panOutput", "Output"}, {"panVideo", "Video"}, {"panAudio", "Audio"},
                               {"panAdvanced", "Advanced"}};
    for (const auto &[name, title] : titles) {
        const auto *panel = child<QLabel>(name);
        EXPECT_EQ(panel->text(), QStringLiteral("      ") + QString::fromLatin1(title));
        EXPECT_TRUE(panel->font().bold());
        EXPECT_EQ(panel->palette().color(QPalette::Window), panel->palette().color(QPalette::Dark));
        EXPECT_EQ(panel->palette().color(QPalette::WindowText), QColor(Qt::black));
    }
    for (QToolButton *button : {editors->btnOutput(), editors->btnVideo(), editors->btnAudio(), editors->btnAdvanced()}) {
        EXPECT_EQ(button->geometry(), QRect(5, 3, 12, 12)) << button->objectName().toStdString();
        EXPECT_EQ(button->text(), QStringLiteral("-"));
    }
    EXPECT_EQ(editors->btnVideo()->objectName(), QStringLiteral("btnVideo"));

    // The rows before any profile: names only.
    EXPECT_EQ(grids.video.names(), LayoutVideoRows());
    EXPECT_EQ(grids.audio.names(), LayoutAudioRows());
    EXPECT_EQ(editors->vleVideo()->columnWidth(0), 95);
    EXPECT_EQ(editors->vleVideo()->defaultRowHeight(), 17);
    EXPECT_EQ(editors->vleVideo()->grid(), &grids.video);
    EXPECT_EQ(editors->vleOutput()->grid(), &output);
}

TEST_F(ParameterEditorsTest, SettingsStackHasNoOutputAndWiderColumns)
{
    build(ParameterEditors::SettingsLayout());
    EXPECT_EQ(child<QWidget>("panOutput"), nullptr);
    EXPECT_EQ(editors->vleOutput(), nullptr);
    EXPECT_EQ(child<QWidget>("panVideo")->geometry(), QRect(0, 0, 362, 18));
    EXPECT_EQ(child<QWidget>("vleVideo")->geometry(), QRect(0, 18, 362, 109));
    EXPECT_EQ(top("panAudio"), 127);
    EXPECT_EQ(editors->vleAudio()->columnWidth(0), 160);
    EXPECT_GE(editors->vleAudio()->columnWidth(1), 200);
}

TEST_F(ParameterEditorsTest, TogglesCollapseToOnePixelAndReopenAtTheHeightOfTheRows)
{
    build(ParameterEditors::MainWindowLayout());
    const int audioTop = top("panAudio");
    editors->btnVideo()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(editors->vleVideo()->height(), 1);
    EXPECT_EQ(editors->btnVideo()->text(), QStringLiteral("+"));
    // Everything below moves up.
    EXPECT_EQ(top("panAudio"), audioTop - 108);

    editors->btnVideo()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(editors->vleVideo()->height(), 109);
    EXPECT_EQ(editors->btnVideo()->text(), QStringLiteral("-"));
    EXPECT_EQ(top("panAudio"), audioTop);

    // A two-row grid of 17-pixel rows reopens at 37.
    editors->btnAdvanced()->click();
    editors->btnAdvanced()->click();
    EXPECT_EQ(editors->vleAdvanced()->height(), 37);
    editors->btnOutput()->click();
    EXPECT_EQ(editors->vleOutput()->height(), 1);
}

TEST_F(ParameterEditorsTest, HeadersToggleOnADoubleClickOnlyInTheMainWindow)
{
    build(ParameterEditors::MainWindowLayout());
    QTest::mouseDClick(child<QWidget>("panAudio"), Qt::LeftButton, Qt::NoModifier, QPoint(80, 9));
    EXPECT_EQ(editors->vleAudio()->height(), 1);
    EXPECT_EQ(editors->btnAudio()->text(), QStringLiteral("+"));
    QTest::mouseDClick(child<QWidget>("panOutput"), Qt::LeftButton, Qt::NoModifier, QPoint(80, 9));
    EXPECT_EQ(editors->vleOutput()->height(), 1);

    build(ParameterEditors::SettingsLayout());
    QTest::mouseDClick(child<QWidget>("panAudio"), Qt::LeftButton, Qt::NoModifier, QPoint(80, 9));
    EXPECT_EQ(editors->vleAudio()->height(), 109);
    EXPECT_EQ(editors->btnAudio()->text(), QStringLiteral("-"));
}

TEST_F(ParameterEditorsTest, ALoadOpensACollapsedGridWhileItsButtonStillShowsPlus)
{
    build(ParameterEditors::SettingsLayout());
    editors->btnVideo()->click();
    ASSERT_EQ(editors->vleVideo()->height(), 1);

    // A profile with two video rows and no audio rows.
    grids.video.clear();
    grids.video.appendRow(QStringLiteral("Video Codec"), QStringLiteral("H.264"));
    grids.video.appendRow(QStringLiteral("Video Size"), QStringLiteral("Original Size"));
    grids.audio.clear();
    editors->profileLoaded();
    EXPECT_EQ(editors->vleVideo()->height(), 36);
    EXPECT_EQ(editors->vleAudio()->height(), 0);
    EXPECT_EQ(editors->vleAdvanced()->height(), 2 * 18);
    EXPECT_EQ(editors->btnVideo()->text(), QStringLiteral("+"));

    // The next press opens it to the computed height.
    editors->btnVideo()->click();
    EXPECT_EQ(editors->vleVideo()->height(), 37);
    EXPECT_EQ(editors->btnVideo()->text(), QStringLiteral("-"));
}

TEST_F(ParameterEditorsTest, APressInAnotherGridTakesTheBlueMarkFromTheFirst)
{
    build(ParameterEditors::MainWindowLayout());
    for (ParameterGrid *grid : {&grids.video, &grids.audio}) {
        for (int row = 0; row < grid->rowCount(); ++row)
            grid->setReadOnly(row, true); // no editor covers the cells
    }
    ValueListGrid *video = editors->vleVideo();
    ValueListGrid *audio = editors->vleAudio();
    const auto nameBackground = [](ValueListGrid *grid, int row) {
        const QRect cell = grid->visualRect(grid->model()->index(row, 0)).adjusted(1, 1, -2, -2);
        return grid->viewport()->grab().toImage().pixelColor(cell.right() - 1, cell.center().y());
    };
    const auto press = [](ValueListGrid *grid, int row) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid->visualRect(grid->model()->index(row, 1)).center());
    };

    press(video, 1);
    ASSERT_TRUE(video->hasGridFocus());
    EXPECT_EQ(nameBackground(video, 1), QColor(49, 106, 197));
    press(audio, 2);
    ASSERT_TRUE(audio->hasGridFocus());
    EXPECT_EQ(nameBackground(audio, 2), QColor(49, 106, 197));
    EXPECT_EQ(nameBackground(video, 1), video->palette().color(QPalette::Base));
}

TEST_F(ParameterEditorsTest, TheWheelOverAnOpenDropDownScrollsTheBoxAndKeepsTheValue)
{
    const int row = grids.video.findRow(QStringLiteral("Video Size"));
    grids.video.setPickList(row, {QStringLiteral("Original Size"), QStringLiteral("Custom Size"),
                                  QStringLiteral("640x480")});
    grids.video.setReadOnly(row, true);
    grids.video.setValueAt(row, QStringLiteral("Original Size"));
    build(ParameterEditors::SettingsLayout());
    window->resize(window->width(), 200); // the grids no longer fit the box
    QCoreApplication::processEvents();
    QScrollBar *box = editors->verticalScrollBar();
    ASSERT_GT(box->maximum(), 0);
    ASSERT_EQ(box->value(), 0);

    ValueListGrid *video = editors->vleVideo();
    QTest::mouseClick(video->viewport(), Qt::LeftButton, Qt::NoModifier,
                      video->visualRect(grids.video.index(row, 1)).center());
    auto *combo = qobject_cast<QComboBox *>(video->currentEditor());
    ASSERT_NE(combo, nullptr);

    TurnWheel(combo, -120);
    EXPECT_GT(box->value(), 0);
    EXPECT_EQ(grids.video.valueAt(row), QStringLiteral("Original Size"));
    EXPECT_EQ(combo->currentText(), QStringLiteral("Original Size"));

    // And back up: the choice before is not taken either.
    grids.video.setValueAt(row, QStringLiteral("Custom Size"));
    const int scrolled = box->value();
    TurnWheel(combo, 120);
    EXPECT_LT(box->value(), scrolled);
    EXPECT_EQ(grids.video.valueAt(row), QStringLiteral("Custom Size"));
}

} // namespace
