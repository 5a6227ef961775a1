// The custom size dialog: its layout, the checks and their order, what it
// writes into the "Video Size" row, and the owner blocked while it is open.
#include "profiles/framesize.h"
#include "fakes/recorders.h"
#include "profiles/parametergrid.h"
#include "ui/sizeform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

class SizeFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        owner = std::make_unique<QWidget>();
        owner->setGeometry(100, 100, 790, 505);
        owner->show();
        video.appendRow(QStringLiteral("Video Codec"), QStringLiteral("H.264"));
        const int row = video.appendRow(QStringLiteral("Video Size"), QStringLiteral("Custom Size"));
        video.setPickList(row, {QStringLiteral("Original Size"), QStringLiteral("Custom Size")});
        video.setReadOnly(row, true);
        form = std::make_unique<TSizeForm>(owner.get(), video, interactive);
    }

    void TearDown() override
    {
        form.reset();
        owner.reset();
    }

    template <typename W>
    W *child(const char *name) const
    {
        return form->findChild<W *>(QString::fromLatin1(name));
    }

    // Opens the dialog, types both texts and presses OK.
    void enter(const QString &width, const QString &height)
    {
        if (!form->isVisible())
            form->show();
        child<QLineEdit>("edtWidth")->setText(width);
        child<QLineEdit>("edtHeight")->setText(height);
        // As a click with the pointer: the button takes the focus first.
        child<QPushButton>("btnOK")->setFocus();
        child<QPushButton>("btnOK")->click();
    }

    QString size() const { return video.value(QStringLiteral("Video Size")); }

    ParameterGrid video;
    RecordingInteractive interactive;
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<TSizeForm> form;
};

const QString WidthMessage =
    QStringLiteral("information|Incorrect Width|Please specify a proper width for output videos.");
const QString HeightMessage =
    QStringLiteral("information|Incorrect Height|Please specify a proper height for output videos.");

TEST_F(SizeFormTest, LayoutAtTheDesignSizeCentredOnTheOwner)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Video Size of output files"));
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->size(), QSize(336, 106));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(child<QLineEdit>("edtWidth")->geometry(), QRect(56, 20, 81, 21));
    EXPECT_EQ(child<QLineEdit>("edtHeight")->geometry(), QRect(216, 20, 97, 21));
    EXPECT_EQ(child<QPushButton>("btnOK")->geometry(), QRect(160, 64, 75, 25));
    EXPECT_EQ(child<QPushButton>("btnCancel")->geometry(), QRect(248, 64, 75, 25));
    EXPECT_EQ(child<QPushButton>("btnOK")->text(), QStringLiteral("&OK"));
    EXPECT_EQ(child<QPushButton>("btnCancel")->text(), QStringLiteral("&Cancel"));
    EXPECT_EQ(child<QLabel>("labWidth")->pos(), QPoint(19, 24));
    EXPECT_EQ(child<QLabel>("labWidth")->text(), QStringLiteral("Width:"));
    EXPECT_EQ(child<QLabel>("labHeight")->pos(), QPoint(176, 24));
    EXPECT_EQ(child<QLabel>("labHeight")->text(), QStringLiteral("Height:"));
    // Each label's whole text stands before its box.
    for (const char *name : {"labWidth", "labHeight"}) {
        const QLabel *label = child<QLabel>(name);
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << name;
    }
    EXPECT_LT(child<QLabel>("labWidth")->geometry().right(), 56);
    EXPECT_LT(child<QLabel>("labHeight")->geometry().right(), 216);
    EXPECT_TRUE(child<QLineEdit>("edtWidth")->text().isEmpty());

    form->show();
    // Centred, to the pixel that an odd difference of sizes allows.
    EXPECT_LE((form->frameGeometry().center() - owner->frameGeometry().center()).manhattanLength(), 1);
}

TEST_F(SizeFormTest, TheWidthIsCheckedFirstAndTheFocusGoesToTheWrongText)
{
    enter(QStringLiteral("abc"), QStringLiteral("xyz"));
    EXPECT_EQ(interactive.messages, QStringList({WidthMessage}));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(size(), QStringLiteral("Custom Size"));
    EXPECT_EQ(form->focusWidget(), child<QLineEdit>("edtWidth"));

    enter(QStringLiteral("640"), QStringLiteral("4.5"));
    EXPECT_EQ(interactive.messages, QStringList({WidthMessage, HeightMessage}));
    EXPECT_EQ(form->focusWidget(), child<QLineEdit>("edtHeight"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(owner->isEnabled());
}

TEST_F(SizeFormTest, SizesTheEngineCannotUseAreRefusedLikeText)
{
    form->show();
    enter(QStringLiteral("0"), QStringLiteral("480"));
    enter(QStringLiteral("-640"), QStringLiteral("480"));
    enter(QStringLiteral("3000000000"), QStringLiteral("480")); // beyond 32 bits
    enter(QStringLiteral("640"), QStringLiteral("-5"));
    enter(QStringLiteral("640"), QString());
    EXPECT_EQ(interactive.messages,
              QStringList({WidthMessage, WidthMessage, WidthMessage, HeightMessage, HeightMessage}));
    EXPECT_EQ(size(), QStringLiteral("Custom Size"));
    EXPECT_TRUE(form->isVisible());

    EXPECT_TRUE(IsFrameDimension(QStringLiteral("1")));
    EXPECT_TRUE(IsFrameDimension(QStringLiteral("2147483647")));
    EXPECT_FALSE(IsFrameDimension(QStringLiteral("0x10")));
    EXPECT_FALSE(IsFrameDimension(QStringLiteral("6 40")));
}

TEST_F(SizeFormTest, OkWritesWidthByHeightClosesAndFreesTheOwner)
{
    form->show();
    EXPECT_FALSE(owner->isEnabled());
    enter(QStringLiteral("640"), QStringLiteral("480"));
    EXPECT_TRUE(interactive.messages.isEmpty());
    EXPECT_EQ(size(), QStringLiteral("640x480"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(owner->isEnabled());

    // Blanks around the numbers stay out of the value.
    enter(QStringLiteral(" 320"), QStringLiteral("180 "));
    EXPECT_EQ(size(), QStringLiteral("320x180"));

    // Enter in a text box is OK.
    form->show();
    child<QLineEdit>("edtWidth")->setText(QStringLiteral("720"));
    child<QLineEdit>("edtHeight")->setText(QStringLiteral("576"));
    QTest::keyClick(child<QLineEdit>("edtHeight"), Qt::Key_Return);
    EXPECT_EQ(size(), QStringLiteral("720x576"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(owner->isEnabled());
}

TEST_F(SizeFormTest, CancelAndTheTitleBarButtonReturnToOriginalSizeAndKeepTheTexts)
{
    form->show();
    child<QLineEdit>("edtWidth")->setText(QStringLiteral("720"));
    child<QPushButton>("btnCancel")->click();
    EXPECT_EQ(size(), QStringLiteral("Original Size"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(owner->isEnabled());

    // Opened again: the texts of the first opening.
    video.setValue(QStringLiteral("Video Size"), QStringLiteral("Custom Size"));
    form->show();
    EXPECT_EQ(child<QLineEdit>("edtWidth")->text(), QStringLiteral("720"));
    EXPECT_FALSE(owner->isEnabled());
    form->close(); // as the title-bar button does
    EXPECT_EQ(size(), QStringLiteral("Original Size"));
    EXPECT_TRUE(owner->isEnabled());

    // Escape leaves like the title-bar button.
    video.setValue(QStringLiteral("Video Size"), QStringLiteral("Custom Size"));
    form->show();
    QTest::keyClick(child<QLineEdit>("edtWidth"), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(size(), QStringLiteral("Original Size"));
    EXPECT_TRUE(owner->isEnabled());

    // A size written before stays when the dialog is left without one.
    video.setValue(QStringLiteral("Video Size"), QStringLiteral("640x480"));
    form->show();
    form->close();
    EXPECT_EQ(size(), QStringLiteral("640x480"));
}

TEST_F(SizeFormTest, OnlyAnOpenDialogTouchesTheRowAndTheOwner)
{
    // Closing a dialog that was never opened changes nothing.
    owner->setEnabled(false);
    form->close();
    EXPECT_EQ(size(), QStringLiteral("Custom Size"));
    EXPECT_FALSE(owner->isEnabled());
    owner->setEnabled(true);

    // Two windows blocking the same owner: it takes input again after both.
    ParameterGrid other;
    TSizeForm second(owner.get(), other, interactive);
    form->show();
    second.show();
    form->close();
    EXPECT_FALSE(owner->isEnabled());
    second.close();
    EXPECT_TRUE(owner->isEnabled());
}

} // namespace
