#include "app/imagetoolbar.h"
#include "app/picturebutton.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <memory>

namespace {

QImage stripImage(const char *resource, int index, int width, int height)
{
    return QPixmap(QString::fromLatin1(resource)).copy(index * width, 0, width, height).toImage();
}

// The toolbar's and the bottom strip's widgets under their names, laid out
// like the main window's.
class FakeWindow final : public QWidget
{
public:
    FakeWindow()
    {
        resize(790, 200);
        Toolbar1 = new QWidget(this);
        Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
        Toolbar1->setGeometry(0, 0, 580, 75);
        int x = 10;
        const char *names[] = {"ibtnAddFile", "ibtnAddDir", "ibtnRemove", "ibtnClear",
                               "ibtnSetting", "ibtnAbout",  "ibtnHelp"};
        for (int i = 0; i < 7; ++i) {
            if (i == 2 || i == 4) {
                auto *gap = new QWidget(Toolbar1);
                gap->setObjectName(QString::fromLatin1(i == 2 ? "panmargin1" : "panmarin2"));
                gap->setGeometry(x, 10, 26, 54);
                gaps << gap;
                x += 26;
            }
            auto *button = new PictureButton(QSize(54, 54), Toolbar1);
            button->setObjectName(QString::fromLatin1(names[i]));
            button->move(x, 10);
            buttons << button;
            x += 54;
        }
        panBottomRight = new QWidget(this);
        panBottomRight->setObjectName(QStringLiteral("panBottomRight"));
        panBottomRight->setGeometry(0, 100, 790, 77);
        imgStop = new PictureButton(QSize(188, 58), panBottomRight);
        imgStop->setObjectName(QStringLiteral("imgStop"));
        imgStop->move(592, 8);
        imgStart = new PictureButton(QSize(188, 58), panBottomRight);
        imgStart->setObjectName(QStringLiteral("imgStart"));
        imgStart->move(592, 8);
    }

    QWidget *Toolbar1;
    QList<PictureButton *> buttons;
    QList<QWidget *> gaps;
    QWidget *panBottomRight;
    PictureButton *imgStart;
    PictureButton *imgStop;
};

class ImageToolbarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<FakeWindow>();
        toolbar = new ImageToolbar(window->Toolbar1, window->buttons, window->gaps);
        pictures = new StartStopPictures(window->imgStart, window->imgStop, window->panBottomRight);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // The pointer as the system reports it, through the window, so that
    // mouse tracking, grabs and disabled widgets work as they do for a user.
    QPoint at(QWidget *widget, QPoint position) const { return widget->mapTo(window.get(), position); }
    void moveTo(QWidget *widget, QPoint position) { QTest::mouseMove(window->windowHandle(), at(widget, position)); }
    void press(QWidget *widget, QPoint position)
    {
        QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, at(widget, position));
    }
    void release(QWidget *widget, QPoint position)
    {
        QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, at(widget, position));
    }

    PictureButton *button(int i) const { return window->buttons[i]; }
    QImage shown(int i) const { return button(i)->picture().toImage(); }

    std::unique_ptr<FakeWindow> window;
    ImageToolbar *toolbar = nullptr;
    StartStopPictures *pictures = nullptr;
};

const QPoint Centre(27, 27);
const QPoint Corner(2, 2);

} // namespace

TEST(FaceTest, DiscOfRadius23AroundTheCentre)
{
    EXPECT_TRUE(ImageToolbar::OnFace({27, 27}));
    EXPECT_TRUE(ImageToolbar::OnFace({27, 4}));   // exactly 23 away
    EXPECT_FALSE(ImageToolbar::OnFace({27, 3}));  // 24 away
    EXPECT_TRUE(ImageToolbar::OnFace({50, 27}));
    EXPECT_FALSE(ImageToolbar::OnFace({51, 27}));
    EXPECT_TRUE(ImageToolbar::OnFace({43, 43}));  // 22.6
    EXPECT_FALSE(ImageToolbar::OnFace({44, 44})); // 24.0
    for (const QPointF corner : {QPointF(0, 0), QPointF(53, 0), QPointF(0, 53), QPointF(53, 53)})
        EXPECT_FALSE(ImageToolbar::OnFace(corner)) << corner.x() << "," << corner.y();
}

TEST_F(ImageToolbarTest, StateTextsAndTheirPictures)
{
    EXPECT_EQ(toolbar->lastState(), QString());
    EXPECT_EQ(toolbar->stateText(0, ImageToolbar::Hover), QStringLiteral("1000000"));
    EXPECT_EQ(toolbar->stateText(6, ImageToolbar::Pressed), QStringLiteral("0000002"));
    EXPECT_EQ(toolbar->stateText(-1, ImageToolbar::Normal), QStringLiteral("0000000"));

    toolbar->DrawToolbarState(QStringLiteral("0120000"));
    EXPECT_EQ(shown(0), stripImage(":/pictures/toolbar-normal.png", 0, 54, 54));
    EXPECT_EQ(shown(1), stripImage(":/pictures/toolbar-hover.png", 1, 54, 54));
    EXPECT_EQ(shown(2), stripImage(":/pictures/toolbar-pressed.png", 2, 54, 54));
    EXPECT_EQ(shown(6), stripImage(":/pictures/toolbar-normal.png", 6, 54, 54));
    EXPECT_NE(shown(1), stripImage(":/pictures/toolbar-normal.png", 1, 54, 54));
    EXPECT_EQ(toolbar->drawCount(), 1);
    toolbar->DrawToolbarState(QStringLiteral("0120000"));
    EXPECT_EQ(toolbar->drawCount(), 1);
}

TEST_F(ImageToolbarTest, HoverFollowsTheFaceAndRepeatedMovesDrawOnce)
{
    moveTo(button(2), Centre);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0010000"));
    EXPECT_EQ(shown(2), stripImage(":/pictures/toolbar-hover.png", 2, 54, 54));
    const int draws = toolbar->drawCount();
    moveTo(button(2), Centre + QPoint(5, 0));
    moveTo(button(2), Centre + QPoint(-8, 6));
    moveTo(button(2), Centre + QPoint(0, -20));
    EXPECT_EQ(toolbar->drawCount(), draws);

    // Onto a corner of the same button: the whole row is normal again.
    moveTo(button(2), Corner);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000000"));
    EXPECT_EQ(shown(2), stripImage(":/pictures/toolbar-normal.png", 2, 54, 54));
    EXPECT_EQ(toolbar->drawCount(), draws + 1);

    // From one face straight onto the next.
    moveTo(button(5), Centre);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000010"));
    moveTo(button(6), Centre);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000001"));
}

TEST_F(ImageToolbarTest, BackgroundAndGapsTurnTheRowNormal)
{
    for (QWidget *place : {window->gaps[0], window->gaps[1], window->Toolbar1}) {
        moveTo(button(0), Centre);
        ASSERT_EQ(toolbar->lastState(), QStringLiteral("1000000"));
        const QPoint inside = place == window->Toolbar1 ? QPoint(300, 3) : QPoint(13, 27);
        moveTo(place, inside);
        EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000000")) << place->objectName().toStdString();
    }
}

TEST_F(ImageToolbarTest, PressOnTheFaceShowsPressedAndReleaseAwayShowsHover)
{
    QSignalSpy clicks(button(3), &PictureButton::clicked);
    moveTo(button(3), Centre);
    press(button(3), Centre);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0002000"));
    EXPECT_EQ(shown(3), stripImage(":/pictures/toolbar-pressed.png", 3, 54, 54));

    // Dragged off the button and released over the background.
    moveTo(window->Toolbar1, QPoint(400, 5));
    release(window->Toolbar1, QPoint(400, 5));
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0001000"));
    EXPECT_EQ(clicks.count(), 0);
    // The next move elsewhere restores the normal pictures.
    moveTo(window->Toolbar1, QPoint(410, 5));
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000000"));

    // A press and release on the face is a click.
    moveTo(button(3), Centre);
    press(button(3), Centre);
    release(button(3), Centre);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0001000"));
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(ImageToolbarTest, PressOnACornerKeepsThePicturesButStillClicks)
{
    QSignalSpy clicks(button(4), &PictureButton::clicked);
    moveTo(button(4), Corner);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000000"));
    const int draws = toolbar->drawCount();
    press(button(4), Corner);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000000"));
    EXPECT_EQ(toolbar->drawCount(), draws);
    release(button(4), Corner);
    EXPECT_EQ(clicks.count(), 1);
    // The release after a press shows the hover picture, as for the face.
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000100"));
}

TEST_F(ImageToolbarTest, DisabledButtonsAreDrawnButInert)
{
    button(1)->setEnabled(false);
    QSignalSpy clicks(button(1), &PictureButton::clicked);
    moveTo(button(0), Centre);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("1000000"));
    // Over a disabled button the pointer is over the background.
    moveTo(button(1), Centre);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000000"));
    press(button(1), Centre);
    release(button(1), Centre);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000000"));
    EXPECT_EQ(clicks.count(), 0);
    // The row is drawn as a whole, the disabled button included.
    toolbar->DrawToolbarState(QStringLiteral("0200000"));
    EXPECT_EQ(shown(1), stripImage(":/pictures/toolbar-pressed.png", 1, 54, 54));
}

TEST_F(ImageToolbarTest, StartAndStopKeepTheirLooksInTheirTags)
{
    PictureButton *start = window->imgStart;
    PictureButton *stop = window->imgStop;
    EXPECT_EQ(pictures->tag(start), 0);
    EXPECT_EQ(pictures->tag(stop), 0);

    moveTo(start, QPoint(90, 30));
    EXPECT_EQ(pictures->tag(start), 1);
    EXPECT_EQ(start->picture().toImage(), stripImage(":/pictures/start.png", 1, 188, 58));
    const int draws = pictures->drawCount();
    moveTo(start, QPoint(20, 5)); // no face test: the whole rectangle counts
    moveTo(start, QPoint(187, 57));
    EXPECT_EQ(pictures->drawCount(), draws);

    // Pressed stays pressed through moves until the release, which hovers.
    press(start, QPoint(90, 30));
    EXPECT_EQ(pictures->tag(start), 2);
    EXPECT_EQ(start->picture().toImage(), stripImage(":/pictures/start.png", 2, 188, 58));
    moveTo(start, QPoint(100, 30));
    EXPECT_EQ(pictures->tag(start), 2);
    release(start, QPoint(100, 30));
    EXPECT_EQ(pictures->tag(start), 1);

    // The hover picture stays until the pointer reaches the bottom panel.
    moveTo(window->panBottomRight, QPoint(400, 70));
    EXPECT_EQ(pictures->tag(start), 0);
    EXPECT_EQ(start->picture().toImage(), stripImage(":/pictures/start.png", 0, 188, 58));

    // Only a shown picture is reset there.
    start->hide();
    moveTo(stop, QPoint(90, 30));
    EXPECT_EQ(pictures->tag(stop), 1);
    EXPECT_EQ(stop->picture().toImage(), stripImage(":/pictures/stop.png", 1, 188, 58));
    stop->hide();
    start->show();
    moveTo(start, QPoint(50, 30));
    EXPECT_EQ(pictures->tag(start), 1);
    moveTo(window->panBottomRight, QPoint(300, 70));
    EXPECT_EQ(pictures->tag(start), 0);
    EXPECT_EQ(pictures->tag(stop), 1);
}

namespace {

// A click on the shown one of Start and Stop shows the other, as a batch's
// start and end do in the main window.
void swapOnClick(PictureButton *from, PictureButton *to)
{
    QObject::connect(from, &PictureButton::clicked, from, [from, to] {
        from->hide();
        to->show();
    });
}

} // namespace

TEST_F(ImageToolbarTest, ADoubleClickOnStartStartsAndDoesNotStopAtOnce)
{
    PictureButton *start = window->imgStart;
    PictureButton *stop = window->imgStop;
    swapOnClick(start, stop);
    swapOnClick(stop, start);
    QSignalSpy starts(start, &PictureButton::clicked);
    QSignalSpy stops(stop, &PictureButton::clicked);

    // The second press lands on Stop, which has just replaced Start.
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, at(start, QPoint(90, 30)));
    EXPECT_EQ(starts.count(), 1);
    EXPECT_EQ(stops.count(), 0);
    EXPECT_TRUE(stop->isVisible());

    // A click after the double-click interval is a click again.
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at(stop, QPoint(90, 30)));
    EXPECT_EQ(stops.count(), 1);
    EXPECT_TRUE(start->isVisible());
}

TEST_F(ImageToolbarTest, ADoubleClickOnAToolbarButtonRunsItsCommandOnce)
{
    QSignalSpy help(button(6), &PictureButton::clicked);
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, at(button(6), Centre));
    EXPECT_EQ(help.count(), 1);

    // The double-click event on its own, as a platform may send it in place
    // of the second press.
    QSignalSpy about(button(5), &PictureButton::clicked);
    QTest::mouseClick(button(5), Qt::LeftButton, {}, Centre);
    QTest::mouseDClick(button(5), Qt::LeftButton, {}, Centre);
    QTest::mouseRelease(button(5), Qt::LeftButton, {}, Centre);
    EXPECT_EQ(about.count(), 1);
    // The next click, later, is a click.
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at(button(5), Centre));
    EXPECT_EQ(about.count(), 2);
}

TEST_F(ImageToolbarTest, OnlyTheLeftButtonClicks)
{
    for (PictureButton *picture : {button(3), window->imgStart}) {
        QSignalSpy clicks(picture, &PictureButton::clicked);
        for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton})
            QTest::mouseClick(window->windowHandle(), other, {}, at(picture, Centre));
        EXPECT_EQ(clicks.count(), 0) << picture->objectName().toStdString();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at(picture, Centre));
        EXPECT_EQ(clicks.count(), 1) << picture->objectName().toStdString();
    }
    // A left press ended by another button's release is no click either.
    QSignalSpy clicks(button(2), &PictureButton::clicked);
    QTest::mousePress(button(2), Qt::LeftButton, {}, Centre);
    QTest::mouseRelease(button(2), Qt::RightButton, {}, Centre);
    EXPECT_EQ(clicks.count(), 0);
    QTest::mouseRelease(button(2), Qt::LeftButton, {}, Centre);
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(ImageToolbarTest, PointerEventsOfOtherWatchedObjectsAreBackground)
{
    // Something that is not a picture button under the toolbar's watch: its
    // events count as the toolbar's background and nothing else happens.
    QObject stranger;
    stranger.installEventFilter(toolbar);
    auto *label = new QWidget(window->Toolbar1);
    label->setGeometry(500, 5, 40, 40);
    label->setMouseTracking(true);
    label->installEventFilter(toolbar);
    label->show();
    moveTo(button(1), Centre);
    ASSERT_EQ(toolbar->lastState(), QStringLiteral("0100000"));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(27, 27), QPointF(27, 27), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&stranger, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(27, 27), QPointF(27, 27), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&stranger, &release);
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0100000"));
    moveTo(label, QPoint(20, 20));
    EXPECT_EQ(toolbar->lastState(), QStringLiteral("0000000"));
}
