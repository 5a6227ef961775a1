// What the main window tells the desktop about a batch: the total progress on
// the launcher entry while it runs, and a notification at its end when the
// user is in another window.
#include "windowfixture.h"

#include <QApplication>
#include <QLineEdit>

#include <algorithm>

namespace {

class DesktopNoticeTest : public WindowTest
{
protected:
    // Rows for the listed names: fake media of 10 seconds each.
    void addRows(TMainForm &form, const QStringList &names)
    {
        for (const QString &name : names) {
            const QString path = folder.filePath(QStringLiteral("in/") + name);
            QDir().mkpath(QFileInfo(path).path());
            ASSERT_TRUE(WriteFakeMedia(path, QStringLiteral("00:00:10.00")));
            form.AddTaskFile(path);
        }
        ASSERT_TRUE(waitAdded());
        child<QLineEdit>("edtOutputdir")->setText(folder.path());
    }

    // Another window takes the focus: the user works elsewhere.
    void lookElsewhere()
    {
        other.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
        QApplication::setActiveWindow(&other);
        ASSERT_TRUE(waitFor([&] { return !window->isActiveWindow(); }));
    }

    bool runAndWait(TMainForm &form)
    {
        form.tbtnStartClick();
        return waitFor([&] { return form.RunState() == 0 && !interactive.messages.isEmpty(); });
    }

    RecordingDesktopNotifier &desktop = recorded.desktop;
    QWidget other;
};

TEST_F(DesktopNoticeTest, ABatchThatEndsWhileTheUserIsElsewhereIsANotification)
{
    TMainForm &form = open();
    addRows(form, {QStringLiteral("a.avi"), QStringLiteral("b.avi")});
    lookElsewhere();
    ASSERT_TRUE(runAndWait(form));

    EXPECT_EQ(desktop.notifications, QStringList{QStringLiteral("2 files converted")});
    // The launcher showed the total from 0 through a half (the first of two
    // files) to the whole, then nothing.
    ASSERT_GE(desktop.progress.size(), 3);
    EXPECT_EQ(desktop.progress.first(), 0);
    EXPECT_TRUE(desktop.progress.contains(50)) << ::testing::PrintToString(desktop.progress);
    EXPECT_EQ(desktop.progress.last(), -1);
    EXPECT_EQ(desktop.progress.count(-1), 1);
    const QList<int> shown = desktop.progress.mid(0, desktop.progress.size() - 1);
    EXPECT_EQ(shown.last(), 100);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << ::testing::PrintToString(desktop.progress);
}

TEST_F(DesktopNoticeTest, FailuresAreCountedInTheNotification)
{
    TMainForm &form = open();
    addRows(form, {QStringLiteral("a.avi"), QStringLiteral("b.avi"), QStringLiteral("c.avi")});
    folder.setScriptFor(QStringLiteral("b.avi"), QStringLiteral("print 0 Conversion failed!\\n\nexit 1\n"));
    lookElsewhere();
    ASSERT_TRUE(runAndWait(form));
    ASSERT_EQ(cell(1, 3), QStringLiteral("Failed"));
    EXPECT_EQ(desktop.notifications, QStringList{QStringLiteral("1 of 3 files failed")});
    EXPECT_EQ(desktop.progress.last(), -1);
}

TEST_F(DesktopNoticeTest, TheUserWatchingTheWindowGetsNoNotification)
{
    TMainForm &form = open();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(waitFor([&] { return form.isActiveWindow(); }));
    addRows(form, {QStringLiteral("a.avi")});
    ASSERT_TRUE(runAndWait(form));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Complete"));
    EXPECT_EQ(desktop.notifications, QStringList());
    // The progress is shown all the same, and hidden at the end.
    EXPECT_EQ(desktop.progress.first(), 0);
    EXPECT_EQ(desktop.progress.last(), -1);
}

TEST_F(DesktopNoticeTest, AStoppedBatchGetsNoNotification)
{
    TMainForm &form = open();
    addRows(form, {QStringLiteral("a.avi"), QStringLiteral("b.avi")});
    folder.setScriptFor(QStringLiteral("a.avi"), QStringLiteral("print 0 one\\r\nsleep 20000\n"));
    lookElsewhere();
    form.tbtnStartClick();
    ASSERT_TRUE(waitFor([&] { return cell(0, 3) == QLatin1String("Converting"); }));
    form.tbtnStopClick();
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }));
    EXPECT_EQ(desktop.notifications, QStringList());
    EXPECT_EQ(desktop.progress.last(), -1);
}

} // namespace
