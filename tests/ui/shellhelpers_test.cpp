// The folder picker and the balloon tip.
#include "ui/shellhelpers.h"
#include "uitesthelpers.h"

#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int PatienceMs = 10000;

TEST(PickFolder, IsApplicationModalWithTheTitleAndGivesTheChosenFolder)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkdir(QStringLiteral("Output")));
    const QString chosen = QDir(root.path()).filePath(QStringLiteral("Output"));

    QWidget owner;
    owner.show();
    Qt::WindowModality modality = Qt::NonModal;
    QString caption;
    QWidget *parent = nullptr;
    WhenModalShows([&](QWidget *modal) {
        modality = modal->windowModality();
        caption = modal->windowTitle();
        parent = modal->parentWidget();
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(chosen);
        static_cast<QDialog *>(dialog)->accept();
    });
    const std::optional<QString> folder = PickFolder(&owner, QStringLiteral("Select the output directory."));

    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_EQ(caption, QStringLiteral("Select the output directory."));
    EXPECT_EQ(parent, &owner);
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(QDir(*folder), QDir(chosen));
}

TEST(PickFolder, CancelGivesNothing)
{
    WhenModalShows([](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
    EXPECT_FALSE(PickFolder(nullptr, QStringLiteral("Add a directory to the Task List")).has_value());
}

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
