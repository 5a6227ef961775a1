// The main window at other sizes than its design: the Start/Stop pictures
// keep their distance from the right edge, nothing lies under them, the
// window cannot be made so small that something is clipped, and the splitter
// bar keeps the right pane wide enough for the pictures.
#include "windowfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

class WindowLayoutTest : public WindowTest
{
protected:
    QRect inWindow(const QWidget *widget) const
    {
        return QRect(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
    }

    // The part of a widget that its parents let show.
    QRect shownPart(const QWidget *widget) const
    {
        QRect part = inWindow(widget);
        for (const QWidget *parent = widget->parentWidget(); parent && parent != window.get();
             parent = parent->parentWidget())
            part &= inWindow(parent);
        return part;
    }

    // The visible widgets that overlap a shown Start or Stop picture, apart
    // from the panels that hold the pictures and the other picture.
    QStringList underThePictures() const
    {
        QStringList found;
        const QList<QWidget *> pictures = {child<QWidget>("imgStart"), child<QWidget>("imgStop")};
        for (const QWidget *picture : pictures) {
            if (!picture->isVisible())
                continue;
            const QRect place = inWindow(picture);
            for (QWidget *widget : window->findChildren<QWidget *>()) {
                if (pictures.contains(widget) || widget->isWindow() || !widget->isVisible()
                    || widget->isAncestorOf(picture))
                    continue;
                if (shownPart(widget).intersects(place))
                    found << picture->objectName() + QStringLiteral(" covers ") + widget->objectName()
                                 + QLatin1Char(':') + QString::fromLatin1(widget->metaObject()->className());
            }
        }
        return found;
    }

    // The checks that hold at every size, with the idle rows and with the
    // progress panel of a run.
    void checkPictures(const char *where)
    {
        SCOPED_TRACE(where);
        const QWidget *bottom = child<QWidget>("panBottom");
        const int width = window->width();
        for (const char *name : {"imgStart", "imgStop"}) {
            const QWidget *picture = child<QWidget>(name);
            EXPECT_EQ(picture->mapTo(bottom, QPoint(0, 0)), QPoint(width - 198, 8)) << name;
            EXPECT_EQ(picture->size(), QSize(188, 58)) << name;
            EXPECT_TRUE(window->rect().contains(inWindow(picture))) << name;
        }
        // Under the right pane.
        EXPECT_LE(inWindow(child<QWidget>("panProfile")).left(), inWindow(child<QWidget>("imgStart")).left());
        EXPECT_EQ(underThePictures(), QStringList());
        // The controls of the idle rows are whole and can be clicked.
        for (const char *name : {"cmbProfile", "bbtnSetting", "edtOutputdir", "bbtnBrowser", "bbtnOpen"}) {
            const QWidget *control = child<QWidget>(name);
            EXPECT_TRUE(control->parentWidget()->rect().contains(control->geometry())) << name;
            EXPECT_GT(control->width(), 50) << name;
            const QPoint centre = inWindow(control).center();
            EXPECT_EQ(window->childAt(centre), control) << name;
        }
        // The picture toolbar is whole.
        EXPECT_TRUE(child<QWidget>("Toolbar1")->rect().contains(child<QWidget>("ibtnHelp")->geometry()));
        // The preview's time box keeps the pictures' margin from the right edge.
        for (const char *name : {"imgPreviewTime", "labPreviewTime"}) {
            const QRect box = inWindow(child<QWidget>(name));
            EXPECT_TRUE(window->rect().adjusted(0, 0, -10, 0).contains(box)) << name << " at " << box.x();
        }

        window->showProgressPanel(true);
        EXPECT_EQ(underThePictures(), QStringList());
        EXPECT_GT(child<QWidget>("pgbTotal")->width(), 50);
        window->showProgressPanel(false);
    }
};

TEST_F(WindowLayoutTest, PicturesKeepTheirPlaceFromTheRightEdgeAndCoverNothing)
{
    TMainForm &form = open();
    checkPictures("design size");
    // At the design size the place is the one the window was drawn with.
    EXPECT_EQ(child<QWidget>("imgStart")->mapTo(child<QWidget>("panBottom"), QPoint(0, 0)), QPoint(592, 8));

    form.resize(1000, 600);
    ASSERT_EQ(form.size(), QSize(1000, 600));
    checkPictures("1000 x 600");
    EXPECT_EQ(child<QWidget>("bbtnSetting")->x(), 700);

    form.resize(1600, 900);
    checkPictures("1600 x 900");
}

TEST_F(WindowLayoutTest, TheWindowCannotBeMadeSmallerThanItsDesign)
{
    TMainForm &form = open();
    form.resize(500, 300);
    EXPECT_EQ(form.size(), QSize(790, 505));
    EXPECT_EQ(form.minimumSize(), QSize(790, 505));
    checkPictures("minimum");
}

TEST_F(WindowLayoutTest, TheSplitterKeepsTheRightPaneWideEnoughForThePictures)
{
    TMainForm &form = open();
    QWidget *bar = child<QWidget>("panSplitter");
    QWidget *pane = child<QWidget>("panProfile");
    const auto drag = [bar](int x) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 100), bar->mapToGlobal(QPointF(x, 100)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(bar, &move);
    };

    // Dragged far to the right: the pane keeps what the pictures need.
    drag(150);
    EXPECT_EQ(pane->width(), 198);
    EXPECT_EQ(child<QWidget>("panMain")->width(), 790 - 198 - 10);
    checkPictures("narrowed right pane");

    form.resize(1000, 600);
    drag(150);
    EXPECT_EQ(pane->width(), 198);
    checkPictures("narrowed right pane, 1000 x 600");

    // Dragged far to the left: the task area keeps its toolbar whole.
    drag(-2000);
    EXPECT_EQ(child<QWidget>("panMain")->width(), 440);
    checkPictures("widened right pane");
    // A narrower window narrows the pane with it, and gives it back when it
    // grows again.
    const int wide = pane->width();
    form.resize(800, 600);
    EXPECT_EQ(child<QWidget>("panMain")->width(), 440);
    checkPictures("widened right pane, narrower window");
    form.resize(1000, 600);
    EXPECT_EQ(pane->width(), wide);
}

TEST_F(WindowLayoutTest, TheConvertingLabelFollowsTheBottomPanel)
{
    TMainForm &form = open();
    const QWidget *panel = child<QWidget>("panBottomLeft");
    const QWidget *label = child<QWidget>("labConvertingFile");
    EXPECT_EQ(label->width(), 450);
    EXPECT_EQ(label->width(), panel->width() - 130);
    form.resize(890, 505);
    EXPECT_EQ(label->width(), 550);
    EXPECT_EQ(label->width(), panel->width() - 130);
}

} // namespace
