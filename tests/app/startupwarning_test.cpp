// Messages and questions that come while the main window is made wait for it
// and are then handed on one at a time, each when the one before is closed.
#include "app/startupwarning.h"

#include "fakes/recorders.h"

#include <gtest/gtest.h>

namespace {

TEST(StartupWarningTest, HeldRequestsGoOnOneByOneOnceOpenAndLaterOnesGoStraightThrough)
{
    const QStringList held{QStringLiteral("warning|Profile|bad type"), QStringLiteral("error||cannot read"),
                           QStringLiteral("question|Restore Task List|restore?"),
                           QStringLiteral("information|Recovery|restored"), QStringLiteral("plain||note")};
    // Closed by its OK, or by a signal to end while the first is up: then
    // the rest are dropped.
    for (const bool discarded : {false, true}) {
        SCOPED_TRACE(discarded);
        RecordingInteractive boxes;
        boxes.holdMessages = true;
        boxes.holdQuestions = true;
        StartupWarning warning(boxes);
        QList<bool> answers;
        warning.warning(QStringLiteral("Profile"), QStringLiteral("bad type"));
        warning.error(QStringLiteral("cannot read"));
        warning.ask(QStringLiteral("Restore Task List"), QStringLiteral("restore?"), IInteractive::DefaultAnswer::Yes,
                    [&answers](bool yes) { answers << yes; });
        warning.information(QStringLiteral("Recovery"), QStringLiteral("restored"));
        warning.plainMessage(QStringLiteral("note"));
        // Nothing is shown before the window is up.
        EXPECT_TRUE(boxes.messages.isEmpty());
        EXPECT_EQ(warning.pending(), 5);

        warning.open();
        for (qsizetype i = 0; i < held.size(); ++i) {
            ASSERT_EQ(boxes.messages, held.mid(0, i + 1)) << " box " << i;
            if (discarded) {
                warning.discard();
                EXPECT_EQ(warning.pending(), 1);
            }
            if (held[i].startsWith(QStringLiteral("question")))
                boxes.answerQuestions(false);
            else
                boxes.closeMessages();
            if (discarded)
                break;
        }
        EXPECT_EQ(warning.pending(), 0);
        EXPECT_EQ(answers, discarded ? QList<bool>() : QList<bool>{false});

        // From now on every request is the boxes' own, at once.
        warning.warning(QStringLiteral("Later"), QStringLiteral("at once"));
        EXPECT_EQ(boxes.messages.last(), QStringLiteral("warning|Later|at once"));
        warning.ask(QStringLiteral("Vantorix"), QStringLiteral("stop?"), IInteractive::DefaultAnswer::No, {});
        EXPECT_EQ(boxes.messages.last(), QStringLiteral("question-no|Vantorix|stop?"));
    }
}

} // namespace
