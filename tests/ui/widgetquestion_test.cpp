// The question for a step that is hard to undo: Enter answers No.
#include "ui/widgetinteractive.h"
#include "uitesthelpers.h"

#include <QPushButton>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(WidgetQuestion, TheCautiousQuestionAnswersNoOnEnter)
{
    QWidget owner;
    WidgetInteractive interactive(&owner);
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    const auto watch = [&defaultButton] {
        WhenModalShows([&defaultButton](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            ASSERT_NE(box, nullptr);
            defaultButton = box->standardButton(box->defaultButton());
            QTest::keyClick(box, Qt::Key_Return);
        });
    };

    watch();
    EXPECT_FALSE(interactive.questionDefaultNo(QStringLiteral("Vantorix"),
                                               QStringLiteral("A conversion is running. Stop it and exit?")));
    EXPECT_EQ(defaultButton, QMessageBox::No);

    // The plain question keeps Yes as its default.
    watch();
    EXPECT_TRUE(interactive.question(QStringLiteral("Load Default"), QStringLiteral("Sure?")));
    EXPECT_EQ(defaultButton, QMessageBox::Yes);
}

} // namespace
