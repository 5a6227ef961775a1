#include "fakes/recorders.h"
#include "ui/aboutform.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

class AboutFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        owner = std::make_unique<QWidget>();
        owner->setObjectName(QStringLiteral("TMainForm"));
        owner->setGeometry(100, 100, 790, 505);
        ownerButton = new QPushButton(QStringLiteral("Start"), owner.get());
        ownerButton->setGeometry(10, 10, 75, 25);
        owner->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.get()));
        about = std::make_unique<TAboutForm>(DefaultAboutInfo(QStringLiteral("3.1")), shell, owner.get());
    }
    void TearDown() override
    {
        about.reset();
        owner.reset();
    }

    template <typename W>
    W *child(const char *name) const
    {
        W *widget = about->findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Whether a click on the owner's button gets through.
    bool ownerTakesClicks()
    {
        QSignalSpy clicks(ownerButton, &QPushButton::clicked);
        QTest::mouseClick(ownerButton, Qt::LeftButton);
        return clicks.count() == 1;
    }

    void open()
    {
        about->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(about.get()));
    }

    RecordingShell shell;
    std::unique_ptr<QWidget> owner;
    QPushButton *ownerButton = nullptr;
    std::unique_ptr<TAboutForm> about;
};

} // namespace

TEST_F(AboutFormTest, LayoutAndTexts)
{
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(about->size(), QSize(503, 290));
    EXPECT_EQ(about->minimumSize(), about->maximumSize());
    EXPECT_TRUE(about->isWindow());
    EXPECT_EQ(about->parentWidget(), nullptr);

    const struct
    {
        const char *name;
        QPoint place;
        QString text;
    } labels[] = {
        {"labProgramName", {136, 14}, QStringLiteral("Vantorix")},
        {"labVersion", {136, 32}, QStringLiteral("Version 3.1")},
        {"labVisitWebsite", {136, 123}, QStringLiteral("Visit our website")},
        {"labWebsite", {136, 139}, QStringLiteral("https://www.quellmark.example/")},
        {"Label7", {16, 8}, QStringLiteral("More video converting softwares")},
    };
    for (const auto &label : labels) {
        auto *widget = child<QLabel>(label.name);
        EXPECT_EQ(widget->pos(), label.place) << label.name;
        EXPECT_EQ(widget->text(), label.text) << label.name;
    }
    // "(More)" stands at 184 unless the heading before it is wider.
    auto *more = child<QLabel>("labMore");
    EXPECT_EQ(more->text(), QStringLiteral("(More)"));
    EXPECT_EQ(more->y(), 8);
    EXPECT_EQ(more->x(), std::max(184, child<QLabel>("Label7")->geometry().right() + 5));
    EXPECT_EQ(child<QWidget>("panTop")->geometry(), QRect(0, 0, 503, 167));
    EXPECT_EQ(child<QWidget>("panBottom")->geometry(), QRect(0, 167, 503, 123));
    EXPECT_EQ(child<QLabel>("imgSide")->geometry(), QRect(0, 0, 117, 167));
    EXPECT_FALSE(child<QLabel>("imgSide")->pixmap().isNull());
    EXPECT_FALSE(child<QLabel>("imgBackground")->pixmap().isNull());
    EXPECT_EQ(child<QLabel>("labCopyright")->pos(), QPoint(136, 76));
    EXPECT_TRUE(child<QLabel>("labCopyright")->text().contains(QStringLiteral("Quellmark")));
    EXPECT_TRUE(child<QLabel>("labCopyright")->text().contains(QStringLiteral("2009")));
    EXPECT_EQ(child<QLabel>("labRights")->pos(), QPoint(136, 92));

    auto *website = child<QLabel>("labWebsite");
    EXPECT_TRUE(website->font().underline());
    EXPECT_EQ(website->cursor().shape(), Qt::PointingHandCursor);
    int y = 27;
    for (const char *name : {"Label8", "Label9", "Label10"}) {
        auto *label = child<QLabel>(name);
        EXPECT_EQ(label->pos(), QPoint(16, y)) << name;
        EXPECT_FALSE(label->text().isEmpty()) << name;
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor) << name;
        y += 16;
    }
    const struct
    {
        const char *name;
        int x;
        QString text;
    } buttons[] = {{"btnTech", 16, QStringLiteral("Tech Support")},
                   {"btnSales", 104, QStringLiteral("Sales Support")},
                   {"btnOK", 408, QStringLiteral("&OK")}};
    for (const auto &button : buttons) {
        auto *widget = child<QPushButton>(button.name);
        EXPECT_EQ(widget->geometry(), QRect(button.x, 88, 75, 25)) << button.name;
        EXPECT_EQ(widget->text(), button.text) << button.name;
    }
}

TEST_F(AboutFormTest, OwnerTakesNoInputWhileOpenAndAgainAfterOk)
{
    EXPECT_TRUE(ownerTakesClicks());
    open();
    EXPECT_FALSE(owner->isEnabled());
    EXPECT_FALSE(ownerTakesClicks());
    // The About window itself still works.
    EXPECT_TRUE(about->isEnabled());

    QTest::mouseClick(child<QPushButton>("btnOK"), Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(owner->isEnabled());
    EXPECT_TRUE(ownerTakesClicks());

    // Shown again: the same once more.
    open();
    EXPECT_FALSE(owner->isEnabled());
    QTest::mouseClick(child<QPushButton>("btnOK"), Qt::LeftButton);
    EXPECT_TRUE(owner->isEnabled());
}

TEST_F(AboutFormTest, TitleBarCloseEnablesTheOwnerLikeOk)
{
    open();
    ASSERT_FALSE(owner->isEnabled());
    // What the window system sends for the title-bar button.
    QCloseEvent close;
    QCoreApplication::sendEvent(about->windowHandle(), &close);
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(owner->isEnabled());
    EXPECT_TRUE(ownerTakesClicks());
    // A second close of a closed window does not enable an owner that
    // something else has disabled since.
    owner->setEnabled(false);
    about->close();
    EXPECT_FALSE(owner->isEnabled());
}

TEST_F(AboutFormTest, LinksOpenTheirAddresses)
{
    open();
    const AboutInfo info = DefaultAboutInfo(QStringLiteral("3.1"));
    auto *website = child<QLabel>("labWebsite");
    QTest::mouseClick(website, Qt::LeftButton, {}, QPoint(3, website->height() / 2));
    QTest::mouseClick(child<QLabel>("labMore"), Qt::LeftButton, {}, QPoint(3, 3));
    for (const char *name : {"Label8", "Label9", "Label10"})
        QTest::mouseClick(child<QLabel>(name), Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseClick(child<QPushButton>("btnTech"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("btnSales"), Qt::LeftButton);

    ASSERT_EQ(shell.opened.size(), 7) << shell.opened.join(QLatin1Char(' ')).toStdString();
    // The website label opens exactly the text it shows.
    EXPECT_EQ(shell.opened[0], website->text());
    EXPECT_EQ(shell.opened[1], info.website);
    EXPECT_EQ(shell.opened[2], info.products[0].page);
    EXPECT_EQ(shell.opened[3], info.products[1].page);
    EXPECT_EQ(shell.opened[4], info.products[2].page);
    EXPECT_EQ(shell.opened[5], QStringLiteral("mailto:support@quellmark.example"));
    EXPECT_EQ(shell.opened[6], QStringLiteral("mailto:sales@quellmark.example"));
    // Nothing real is named.
    for (const QString &address : shell.opened)
        EXPECT_TRUE(address.contains(QStringLiteral(".example"))) << address.toStdString();
    // A link does not close the window.
    EXPECT_TRUE(about->isVisible());
}
