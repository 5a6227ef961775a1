// Messages that come while the main window is made wait for it and then open
// one at a time, without blocking; questions are asked at once.
#include "app/startupwarning.h"

#include "fakes/recorders.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// The start-up message boxes over owner that are up, as "<icon>|<caption>|<text>".
QStringList shownBoxes(const QWidget &owner)
{
    QStringList shown;
    for (const QMessageBox *box : owner.findChildren<QMessageBox *>())
        if (box->isVisible())
            shown << QStringLiteral("%1|%2|%3").arg(int(box->icon())).arg(box->windowTitle(), box->text());
    return shown;
}

void clickOk(const QWidget &owner)
{
    for (QMessageBox *box : owner.findChildren<QMessageBox *>())
        if (box->isVisible())
            box->button(QMessageBox::Ok)->click();
}

TEST(StartupWarningTest, HeldMessagesOpenOneByOneOverTheWindowAndLaterOnesGoStraightThrough)
{
    const QString program = QGuiApplication::applicationDisplayName();
    const QStringList held{QStringLiteral("%1|Profile|bad type").arg(int(QMessageBox::Warning)),
                           QStringLiteral("%1|%2|cannot read").arg(int(QMessageBox::Critical)).arg(program),
                           QStringLiteral("%1|Recovery|restored").arg(int(QMessageBox::Information)),
                           QStringLiteral("%1|%2|note").arg(int(QMessageBox::NoIcon)).arg(program)};
    // Closed by its OK, or by a signal to end while the first is up: then
    // the rest are dropped.
    for (const bool discarded : {false, true}) {
        RecordingInteractive boxes;
        StartupWarning warning(boxes);
        QWidget owner;
        warning.warning(QStringLiteral("Profile"), QStringLiteral("bad type"));
        warning.error(QStringLiteral("cannot read"));
        EXPECT_TRUE(warning.question(QStringLiteral("Recovery"), QStringLiteral("restore?")));
        warning.information(QStringLiteral("Recovery"), QStringLiteral("restored"));
        warning.plainMessage(QStringLiteral("note"));
        // Only the question was asked, at once.
        EXPECT_EQ(boxes.messages, QStringList{QStringLiteral("question|Recovery|restore?")});
        EXPECT_EQ(warning.pending(), 4);

        owner.show();
        warning.open(&owner);
        for (qsizetype i = 0; i < held.size(); ++i) {
            ASSERT_EQ(shownBoxes(owner), QStringList{held[i]}) << discarded << " box " << i;
            if (discarded) {
                warning.discard();
                EXPECT_EQ(warning.pending(), 1);
            }
            clickOk(owner);
            QCoreApplication::processEvents(); // boxes closed are deleted
            if (discarded)
                break;
        }
        EXPECT_EQ(shownBoxes(owner), QStringList()) << discarded;
        EXPECT_EQ(warning.pending(), 0) << discarded;

        // From now on every message is the boxes' own.
        warning.warning(QStringLiteral("Later"), QStringLiteral("at once"));
        EXPECT_EQ(boxes.messages.last(), QStringLiteral("warning|Later|at once"));
        EXPECT_EQ(shownBoxes(owner), QStringList());
    }
}

} // namespace
