// The balloon tip.
#include "ui/shellhelpers.h"
#include "uitesthelpers.h"

#include <QCursor>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int PatienceMs = 10000;

class BalloonTipTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->setGeometry(100, 100, 300, 200);
        target = new QWidget(window.get());
        target->setGeometry(10, 10, 100, 80);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QCursor::setPos(window->mapToGlobal(QPoint(250, 150))); // away from the target
    }

    QList<QWidget *> tips() const
    {
        return target->findChildren<QWidget *>(QStringLiteral("balloonTip"), Qt::FindDirectChildrenOnly);
    }

    std::unique_ptr<QWidget> window;
    QWidget *target = nullptr;
};

TEST_F(BalloonTipTest, ShowsWhenThePointerRestsOverTheTargetAndComesBack)
{
    AttachBalloonTip(target, 1, QStringLiteral("Tip:"), QStringLiteral("Please select a file in Task List."));
    ASSERT_EQ(tips().size(), 1);
    QWidget *tip = tips().first();
    EXPECT_FALSE(tip->isVisible()); // the call itself shows nothing
    EXPECT_EQ(tip->findChild<QLabel *>(QStringLiteral("balloonTitle"))->text(), QStringLiteral("Tip:"));
    EXPECT_TRUE(tip->findChild<QLabel *>(QStringLiteral("balloonTitle"))->font().bold());
    EXPECT_EQ(tip->findChild<QLabel *>(QStringLiteral("balloonText"))->text(),
              QStringLiteral("Please select a file in Task List."));
    EXPECT_FALSE(tip->findChild<QLabel *>(QStringLiteral("balloonIcon"))->pixmap().isNull());

    QCursor::setPos(target->mapToGlobal(QPoint(50, 40)));
    EXPECT_TRUE(QTest::qWaitFor([tip] { return tip->isVisible(); }, PatienceMs));

    // A click hides it; moving and resting again brings it back.
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(50, 40));
    EXPECT_FALSE(tip->isVisible());
    QCursor::setPos(target->mapToGlobal(QPoint(60, 45)));
    EXPECT_TRUE(QTest::qWaitFor([tip] { return tip->isVisible(); }, PatienceMs));

    // Leaving hides it.
    QCursor::setPos(window->mapToGlobal(QPoint(250, 150)));
    EXPECT_TRUE(QTest::qWaitFor([tip] { return !tip->isVisible(); }, PatienceMs));
}

TEST_F(BalloonTipTest, OneBubblePerTitleAndTextThatGoesWithItsTarget)
{
    for (int i = 0; i < 3; ++i)
        AttachBalloonTip(target, 1, QStringLiteral("Tip:"), QStringLiteral("Please select a file in Task List."));
    EXPECT_EQ(tips().size(), 1);
    AttachBalloonTip(target, 1, QStringLiteral("Tip:"), QStringLiteral("Another text."));
    EXPECT_EQ(tips().size(), 2);

    QPointer<QWidget> tip = tips().first();
    delete target;
    target = nullptr;
    EXPECT_TRUE(tip.isNull());
}

} // namespace
