#include "fakes/recorders.h"
#include "preview/previewpanel.h"
#include "preview/seekbar.h"
#include "fakes/clips.h"

#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>
#include <gtest/gtest.h>

#include <memory>

using State = PreviewPlayer::State;

class PreviewTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        ASSERT_TRUE(makeClip(s_dir->filePath(QStringLiteral("clip.avi")), 3));
        ASSERT_TRUE(makeSoundOnly(s_dir->filePath(QStringLiteral("tone.avi")), 3));
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    static QString file(const char *name) { return s_dir->filePath(QString::fromLatin1(name)); }

    void SetUp() override
    {
        panel = std::make_unique<PreviewPanel>(interactive);
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    }
    void TearDown() override { panel.reset(); }

    template <typename W>
    W *child(const char *name) const
    {
        W *widget = panel->findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    bool waitPlaying() { return waitFor([this] { return panel->state() == State::Playing; }); }

    // A preview, counting the pictures that reach the video surface, which
    // the first preview makes.
    void preview(const char *name)
    {
        panel->previewFile(file(name));
        if (countingFrames || !panel->videoWindow())
            return;
        countingFrames = true;
        QObject::connect(panel->videoWindow()->videoSink(), &QVideoSink::videoFrameChanged, panel.get(),
                         [this](const QVideoFrame &frame) {
                    if (frame.isValid())
                        ++frames;
                });
    }

    static QTemporaryDir *s_dir;
    RecordingInteractive interactive;
    std::unique_ptr<PreviewPanel> panel;
    int frames = 0;
    bool countingFrames = false;
};

QTemporaryDir *PreviewTest::s_dir = nullptr;

// The height of the middle of the bar's channel, below the tick marks.
int grooveCentre(QSlider *bar)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.tickPosition = bar->tickPosition();
    option.tickInterval = bar->tickInterval();
    return bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, bar).center().y();
}

TEST(PlayRowTest, EmptyListNoSelectionAndFirstSelected)
{
    EXPECT_EQ(PlayRow(0, {}), -1);
    EXPECT_EQ(PlayRow(0, {0}), -1);
    EXPECT_EQ(PlayRow(3, {}), 0);
    EXPECT_EQ(PlayRow(5, {3, 1, 4}), 1);
    EXPECT_EQ(PlayRow(5, {4}), 4);
}

TEST(SeekBarTest, SeekLandsOnAFractionOfTheEndAndNeverWithoutLength)
{
    // 10.9 seconds: the bar counts 10 whole seconds; the thumb at 5 is half
    // of the file's end, not second 5.
    EXPECT_EQ(SeekBar::SeekTarget(10900, 5, 10), std::optional<qint64>(5450));
    EXPECT_EQ(SeekBar::SeekTarget(10900, 10, 10), std::optional<qint64>(10900));
    EXPECT_EQ(SeekBar::SeekTarget(10900, 0, 10), std::optional<qint64>(0));
    EXPECT_EQ(SeekBar::SeekTarget(900, 0, 0), std::nullopt);
    // Long files do not overflow.
    EXPECT_EQ(SeekBar::SeekTarget(qint64(4000) * 3600 * 1000, 1, 2), std::optional<qint64>(qint64(2000) * 3600 * 1000));
}

TEST_F(PreviewTest, LayoutNamesHintsAndStartingValues)
{
    EXPECT_EQ(panel->objectName(), QStringLiteral("panPreview"));
    EXPECT_EQ(panel->size(), QSize(200, 177));
    EXPECT_EQ(child<QWidget>("VideoWindow1")->geometry(), QRect(0, 0, 190, 123));
    EXPECT_EQ(child<QWidget>("panRight1")->geometry(), QRect(190, 0, 10, 123));
    EXPECT_EQ(child<QWidget>("panPreviewButton")->geometry(), QRect(0, 123, 200, 54));
    auto *bar = child<SeekBar>("TrackBar");
    EXPECT_EQ(bar->geometry(), QRect(0, 0, 200, 21));
    EXPECT_EQ(bar->tickPosition(), QSlider::TicksAbove);
    EXPECT_EQ(bar->tickInterval(), 1);
    EXPECT_EQ(bar->singleStep(), 1);
    EXPECT_EQ(bar->pageStep(), 2);
    EXPECT_EQ(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), 0);

    const struct
    {
        const char *name;
        int x;
        const char *hint;
    } buttons[] = {{"sbtnPlay", 4, "Play"}, {"sbtnPause", 47, "Pause / Resume"}, {"sbtnStop", 90, "Stop"}};
    for (const auto &b : buttons) {
        auto *button = child<QToolButton>(b.name);
        EXPECT_EQ(button->geometry(), QRect(b.x, 26, 38, 22)) << b.name;
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(b.hint)) << b.name;
        EXPECT_FALSE(button->icon().isNull()) << b.name;
    }
    EXPECT_EQ(child<QLabel>("imgPreviewTime")->geometry(), QRect(132, 28, 58, 18));
    EXPECT_FALSE(child<QLabel>("imgPreviewTime")->pixmap().isNull());
    auto *time = child<QLabel>("labPreviewTime");
    EXPECT_EQ(time->geometry(), QRect(132, 28, 58, 18));
    EXPECT_EQ(time->text(), QStringLiteral("00:00:00"));
    EXPECT_GE(time->width(), time->fontMetrics().horizontalAdvance(time->text()));

    // The video area follows the panel; the strip keeps its height; the time
    // box keeps the right margin, and gives way only to the Stop button.
    const struct
    {
        QSize size;
        QRect video, strip, timeBox;
    } sizes[] = {{{260, 240}, {0, 0, 250, 186}, {0, 186, 260, 54}, {192, 28, 58, 18}},
                 {{198, 177}, {0, 0, 188, 123}, {0, 123, 198, 54}, {130, 28, 58, 18}},
                 {{150, 177}, {0, 0, 140, 123}, {0, 123, 150, 54}, {130, 28, 58, 18}}};
    for (const auto &s : sizes) {
        panel->resize(s.size);
        EXPECT_EQ(child<QWidget>("VideoWindow1")->geometry(), s.video) << s.size.width();
        EXPECT_EQ(child<QWidget>("panPreviewButton")->geometry(), s.strip) << s.size.width();
        EXPECT_EQ(child<QLabel>("imgPreviewTime")->geometry(), s.timeBox) << s.size.width();
        EXPECT_EQ(time->geometry(), s.timeBox) << s.size.width();
    }
}

TEST_F(PreviewTest, ButtonsBeforeTheFirstPreviewDoNothing)
{
    QSignalSpy play(panel.get(), &PreviewPanel::playClicked);
    QTest::mouseClick(child<QToolButton>("sbtnPause"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>("sbtnStop"), Qt::LeftButton);
    EXPECT_EQ(panel->state(), State::Uninitialised);
    EXPECT_FALSE(panel->player().isActive());
    QTest::mouseClick(child<QToolButton>("sbtnPlay"), Qt::LeftButton);
    // Which row plays is the window's choice: Play only asks.
    EXPECT_EQ(play.count(), 1);
    EXPECT_EQ(panel->state(), State::Uninitialised);
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(PreviewTest, PlaysThePictureAndFollowsItOnTheSeekBarAndLabel)
{
    auto *bar = child<SeekBar>("TrackBar");
    QSignalSpy ticks(bar, &SeekBar::timer);
    preview("clip.avi");
    ASSERT_TRUE(waitPlaying());
    EXPECT_TRUE(panel->player().hasVideo());
    // The picture arrives also on a machine without a sound device.
    ASSERT_TRUE(waitFor([this] { return frames >= 10; }));
    ASSERT_TRUE(waitFor([&] { return panel->timeText() != QStringLiteral("00:00:00"); }));
    EXPECT_EQ(bar->maximum(), 3);
    EXPECT_GE(bar->value(), 1);
    EXPECT_EQ(panel->timeText(), QStringLiteral("00:00:0%1").arg(bar->value()));
    ASSERT_FALSE(ticks.isEmpty());
    EXPECT_GE(ticks.last().at(1).toUInt(), 3000u);
    EXPECT_TRUE(interactive.messages.isEmpty()) << interactive.messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(PreviewTest, PauseAndResumeToggleOnlyBetweenPlayingAndPaused)
{
    auto *pause = child<QToolButton>("sbtnPause");
    auto *bar = child<SeekBar>("TrackBar");
    panel->previewFile(file("clip.avi"));
    ASSERT_TRUE(waitPlaying());
    EXPECT_TRUE(bar->isTimerRunning());

    QTest::mouseClick(pause, Qt::LeftButton);
    ASSERT_TRUE(waitFor([this] { return panel->state() == State::Paused; }));
    EXPECT_FALSE(bar->isTimerRunning());

    QTest::mouseClick(pause, Qt::LeftButton);
    ASSERT_TRUE(waitPlaying());
    EXPECT_TRUE(bar->isTimerRunning());

    QTest::mouseClick(child<QToolButton>("sbtnStop"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([this] { return panel->state() == State::Stopped; }));
    // After Stop only a new preview plays again.
    QTest::mouseClick(pause, Qt::LeftButton);
    QTest::qWait(300);
    EXPECT_EQ(panel->state(), State::Stopped);
    EXPECT_FALSE(bar->isTimerRunning());
}

TEST_F(PreviewTest, StopKeepsTheThumbAndTheTime)
{
    // What the start of a batch does to a running preview.
    auto *bar = child<SeekBar>("TrackBar");
    panel->previewFile(file("clip.avi"));
    ASSERT_TRUE(waitPlaying());
    ASSERT_TRUE(waitFor([&] { return bar->value() >= 1; }));
    panel->stop();
    EXPECT_EQ(panel->state(), State::Stopped);
    EXPECT_FALSE(bar->isTimerRunning());
    const int thumb = bar->value();
    const QString time = panel->timeText();
    QTest::qWait(1500);
    EXPECT_EQ(bar->value(), thumb);
    EXPECT_EQ(panel->timeText(), time);
    EXPECT_EQ(panel->state(), State::Stopped);
}

TEST_F(PreviewTest, StopWhileTheFileLoadsPlaysNothing)
{
    panel->previewFile(file("clip.avi"));
    EXPECT_TRUE(panel->isStarting());
    panel->stop();
    EXPECT_FALSE(panel->isStarting());
    QTest::qWait(1000);
    EXPECT_NE(panel->state(), State::Playing);
}

TEST_F(PreviewTest, PlayWhilePlayingStartsTheFileAgain)
{
    panel->previewFile(file("clip.avi"));
    ASSERT_TRUE(waitPlaying());
    ASSERT_TRUE(waitFor([this] { return panel->player().position() >= 1500; }));
    panel->previewFile(file("clip.avi"));
    ASSERT_TRUE(waitPlaying());
    EXPECT_LT(panel->player().position(), 1000);
}

TEST_F(PreviewTest, ASoundOnlyFilePlaysOnABlackArea)
{
    preview("clip.avi");
    ASSERT_TRUE(waitPlaying());
    ASSERT_TRUE(waitFor([this] { return frames > 0; }));
    panel->previewFile(file("tone.avi"));
    ASSERT_TRUE(waitPlaying());
    EXPECT_FALSE(panel->player().hasVideo());
    EXPECT_TRUE(panel->player().hasAudio());
    // No picture of the previous file is left on the video area.
    EXPECT_FALSE(panel->videoWindow()->videoSink()->videoFrame().isValid());
    ASSERT_TRUE(waitFor([this] { return panel->timeText() == QStringLiteral("00:00:01"); }));
    EXPECT_TRUE(interactive.messages.isEmpty()) << interactive.messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(PreviewTest, AFileThatCannotBePlayedIsReportedOnceAndPlaysNothing)
{
    const QString garbage = s_dir->filePath(QStringLiteral("garbage.avi"));
    {
        QFile out(garbage);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(4096, 'x'));
    }
    const QRegularExpression message(QStringLiteral(R"(^error\|\|.+ \(\$[0-9a-f]+\)\.$)"));
    for (const QString &path : {garbage, s_dir->filePath(QStringLiteral("missing.avi"))}) {
        interactive.messages.clear();
        panel->previewFile(path);
        ASSERT_TRUE(waitFor([this] { return !interactive.messages.isEmpty(); })) << path.toStdString();
        QTest::qWait(500);
        ASSERT_EQ(interactive.messages.size(), 1) << interactive.messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(message.match(interactive.messages.first()).hasMatch())
            << interactive.messages.first().toStdString();
        EXPECT_NE(panel->state(), State::Playing) << path.toStdString();
        EXPECT_FALSE(panel->isStarting());
    }
    // The next preview plays as usual.
    interactive.messages.clear();
    panel->previewFile(file("clip.avi"));
    ASSERT_TRUE(waitPlaying());
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(PreviewTest, ReleasingTheThumbSeeksButKeysOnlyMoveIt)
{
    auto *bar = child<SeekBar>("TrackBar");
    panel->previewFile(file("clip.avi"));
    ASSERT_TRUE(waitPlaying());
    ASSERT_TRUE(waitFor([&] { return bar->value() >= 1 && bar->maximum() == 3; }));
    panel->pauseOrResume();
    ASSERT_TRUE(waitFor([this] { return panel->state() == State::Paused; }));

    // Keys move the thumb and leave the playback where it is.
    const qint64 before = panel->player().position();
    const int thumb = bar->value();
    bar->setFocus();
    QTest::keyClick(bar, thumb > 0 ? Qt::Key_Left : Qt::Key_Right);
    EXPECT_NE(bar->value(), thumb);
    QTest::qWait(200);
    EXPECT_EQ(panel->player().position(), before);

    // Click on the channel at its start: the thumb steps back and the
    // release seeks to that fraction of the end.
    bar->setValue(3);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(3, grooveCentre(bar)));
    EXPECT_FALSE(bar->isDragging());
    const int landed = bar->value();
    EXPECT_LT(landed, 3);
    const qint64 expected = panel->player().duration() * landed / bar->maximum();
    ASSERT_TRUE(waitFor([&] { return qAbs(panel->player().position() - expected) < 100; }, 5000))
        << panel->player().position() << " expected " << expected;
    // Paused, the label waits for playback to run again.
    EXPECT_EQ(panel->state(), State::Paused);
}

TEST_F(PreviewTest, TheVideoSurfaceIsMadeByTheFirstPreview)
{
    // Idle, the video area is a black stand-in at the same place.
    EXPECT_EQ(panel->findChild<QVideoWidget *>(), nullptr);
    EXPECT_EQ(panel->videoWindow(), nullptr);
    auto *standIn = child<QWidget>("VideoWindow1");
    EXPECT_EQ(standIn->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_TRUE(standIn->isVisible());

    preview("clip.avi");
    auto *video = panel->findChild<QVideoWidget *>(QStringLiteral("VideoWindow1"));
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video, panel->videoWindow());
    EXPECT_EQ(panel->findChildren<QWidget *>(QStringLiteral("VideoWindow1")).size(), 1);
    EXPECT_EQ(video->geometry(), QRect(0, 0, 190, 123));
    EXPECT_TRUE(video->isVisible());
    ASSERT_TRUE(waitPlaying());
    // It follows the panel like the stand-in did, and stays for the next file.
    panel->resize(260, 240);
    EXPECT_EQ(video->geometry(), QRect(0, 0, 250, 186));
    preview("clip.avi");
    EXPECT_EQ(panel->videoWindow(), video);
}

TEST_F(PreviewTest, AtTheEndOfTheFileItStaysPlayingAndPauseAndSeekStillWork)
{
    auto *bar = child<SeekBar>("TrackBar");
    EXPECT_FALSE(bar->isTimerRunning());
    preview("clip.avi");
    ASSERT_TRUE(waitPlaying());
    EXPECT_TRUE(bar->isTimerRunning());

    // The end: the thumb and the time at the end, no timer, still playing.
    ASSERT_TRUE(waitFor([&] { return panel->player().isAtEnd(); }));
    EXPECT_EQ(panel->state(), State::Playing);
    EXPECT_EQ(bar->maximum(), 3);
    EXPECT_EQ(bar->value(), 3);
    EXPECT_EQ(panel->timeText(), QStringLiteral("00:00:03"));
    EXPECT_FALSE(bar->isTimerRunning());
    QTest::qWait(300);
    EXPECT_EQ(panel->state(), State::Playing);

    // Pause / Resume goes on toggling there, without a timer.
    panel->pauseOrResume();
    EXPECT_EQ(panel->state(), State::Paused);
    panel->pauseOrResume();
    EXPECT_EQ(panel->state(), State::Playing);
    EXPECT_FALSE(bar->isTimerRunning());

    // A seek plays on from there, to the end again.
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(3, grooveCentre(bar)));
    ASSERT_EQ(bar->value(), 1);
    ASSERT_TRUE(waitFor([&] { return !panel->player().isAtEnd() && panel->player().position() > 1000; }));
    EXPECT_EQ(panel->state(), State::Playing);
    EXPECT_TRUE(bar->isTimerRunning());
    ASSERT_TRUE(waitFor([&] { return panel->player().isAtEnd(); }));

    // Paused at the end, a seek moves the position and stays paused.
    panel->pauseOrResume();
    bar->setValue(3);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(3, grooveCentre(bar)));
    ASSERT_EQ(bar->value(), 1);
    ASSERT_TRUE(waitFor([&] { return qAbs(panel->player().position() - 1000) < 100; }));
    QTest::qWait(300);
    EXPECT_EQ(panel->state(), State::Paused);
    EXPECT_FALSE(bar->isTimerRunning());
    EXPECT_LT(panel->player().position(), 1100);
    panel->pauseOrResume();
    ASSERT_TRUE(waitFor([&] { return panel->player().position() > 1500; }));
    EXPECT_EQ(panel->state(), State::Playing);
    EXPECT_TRUE(bar->isTimerRunning());

    // Stop at the end stops.
    ASSERT_TRUE(waitFor([&] { return panel->player().isAtEnd(); }));
    panel->stop();
    EXPECT_EQ(panel->state(), State::Stopped);
    EXPECT_FALSE(panel->player().isAtEnd());
    EXPECT_FALSE(bar->isTimerRunning());
}
