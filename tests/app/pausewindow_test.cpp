// Pause and Resume in the main window, and several conversions at once: the
// menu items and their key, the real engine held and continued, and every way
// out of a paused batch.
#include "conversion/conversionrun.h"
#include "fakes/processes.h"
#include "profiles/preferences.h"
#include "windowfixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>

namespace {

class PauseWindowTest : public WindowTest
{
protected:
    explicit PauseWindowTest(TestProgramFolder::Engine engine = TestProgramFolder::Engine::Fake)
        : WindowTest(engine)
    {
    }

    // The window with `clips` listed, the profile chosen and an output folder.
    TMainForm &openWith(const QStringList &clips, const QString &profile = QStringLiteral("AVI MPEG-4 MP3"))
    {
        TMainForm &form = open();
        for (const QString &clip : clips)
            form.AddTaskFile(clip);
        EXPECT_TRUE(waitAdded());
        auto *profiles = child<QComboBox>("cmbProfile");
        profiles->setCurrentIndex(profiles->findText(profile));
        QDir().mkpath(out());
        child<QLineEdit>("edtOutputdir")->setText(out());
        return form;
    }

    QString out() const { return folder.filePath(QStringLiteral("out")); }
    QAction *action(const char *name) const { return window->findChild<QAction *>(QLatin1String(name)); }
    QString label(const char *name) const { return child<QLabel>(name)->text(); }
    QList<pid_t> engines() const { return FindProcesses(folder.enginePath(), QStringLiteral("-y")); }
    void pressCtrlP() { QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier); }
};

// The fake engine: the items, their key and the locked list's menu.
TEST_F(PauseWindowTest, PauseAndResumeAreOfferedOnlyWhileABatchRunsOneAtATime)
{
    const QString clip = folder.filePath(QStringLiteral("in/clip.avi"));
    QDir().mkpath(folder.filePath(QStringLiteral("in")));
    ASSERT_TRUE(WriteFakeMedia(clip, QStringLiteral("00:00:10")));
    folder.setScript(QStringLiteral("wait-for go\nexit 0\n"));
    TMainForm &form = openWith({clip});
    QAction *pause = action("mniPause");
    QAction *resume = action("mniResume");
    ASSERT_NE(pause, nullptr);
    ASSERT_NE(resume, nullptr);
    EXPECT_TRUE(child<QMenu>("ppmTask")->actions().contains(pause));
    EXPECT_FALSE(pause->isEnabled());
    EXPECT_FALSE(resume->isEnabled());
    pressCtrlP();
    EXPECT_FALSE(form.run().isPaused());

    form.tbtnStartClick();
    ASSERT_TRUE(waitFor([&] { return folder.callCount() == 1; }));
    EXPECT_TRUE(pause->isEnabled());
    EXPECT_FALSE(resume->isEnabled());

    // The list is locked during the batch; a right-click still opens its menu,
    // with only what may change during a batch enabled.
    auto *list = child<QTreeView>("ltvTask");
    ASSERT_FALSE(list->isEnabled());
    auto *menu = child<QMenu>("ppmTask");
    // Through the window, as the system delivers a click.
    QTest::mouseClick(form.windowHandle(), Qt::RightButton, {}, list->viewport()->mapTo(&form, QPoint(20, 10)));
    ASSERT_TRUE(waitFor([&] { return menu->isVisible(); }));
    EXPECT_TRUE(pause->isEnabled());
    EXPECT_FALSE(action("mniRemove")->isEnabled());
    EXPECT_FALSE(action("mniClear")->isEnabled());
    EXPECT_FALSE(action("mniAddFiles")->isEnabled());
    pause->trigger();
    menu->hide();
    EXPECT_TRUE(form.run().isPaused());
    EXPECT_FALSE(pause->isEnabled());
    EXPECT_TRUE(resume->isEnabled());
    EXPECT_EQ(cell(0, 3), QStringLiteral("Paused"));
    EXPECT_EQ(label("labConvertingFile"), QStringLiteral("clip.avi \u2014 paused, Ctrl+P resumes"));
    EXPECT_FALSE(sleep.held);

    pressCtrlP();
    EXPECT_FALSE(form.run().isPaused());
    EXPECT_EQ(cell(0, 3), QStringLiteral("Converting"));
    EXPECT_EQ(label("labConvertingFile"), QStringLiteral("clip.avi \u2014 Ctrl+P pauses"));
    EXPECT_TRUE(sleep.held);
    pressCtrlP();
    EXPECT_TRUE(form.run().isPaused());
    pressCtrlP();
    EXPECT_FALSE(form.run().isPaused());

    touchFile(folder.filePath(QStringLiteral("go")));
    ASSERT_TRUE(waitFor([&] { return form.RunState() == ConversionRun::Idle; }));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Complete"));
    EXPECT_FALSE(pause->isEnabled());
    EXPECT_FALSE(resume->isEnabled());
    // The list's own items are back as they were.
    EXPECT_TRUE(action("mniAddFiles")->isEnabled());
}

// "Simultaneous conversions" in the Settings window is what the next batch
// takes, and what Preferences.ini keeps.
TEST_F(PauseWindowTest, SimultaneousConversionsComeFromTheSettingsWindow)
{
    TMainForm &form = openAll();
    auto *jobs = settingForm->findChild<QSpinBox *>(QStringLiteral("spnJobs"));
    ASSERT_NE(jobs, nullptr);
    EXPECT_EQ(jobs->minimum(), 1);
    EXPECT_EQ(jobs->maximum(), MaxJobs());
    EXPECT_EQ(jobs->value(), 1);
    EXPECT_EQ(form.batchOptions().jobs, 1);
    if (MaxJobs() < 2)
        GTEST_SKIP() << "one processor core";
    jobs->setValue(2);
    EXPECT_EQ(form.batchOptions().jobs, 2);
    settingForm->btnOKClick();
    EXPECT_EQ(LoadGeneralPreferences(folder.path(), interactive)->jobs, 2);
}

// The After Conversion page is what the next batch does after each file,
// and what Preferences.ini keeps.
TEST_F(PauseWindowTest, TheAfterConversionPageIsWhatTheNextBatchDoes)
{
    TMainForm &form = openAll();
    const auto find = [this](const char *name) {
        QWidget *widget = settingForm->findChild<QWidget *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    };
    auto *notBigger = qobject_cast<QCheckBox *>(find("chkNotBigger"));
    auto *keepDates = qobject_cast<QCheckBox *>(find("chkKeepDates"));
    auto *original = qobject_cast<QComboBox *>(find("cmbOriginal"));
    auto *whenDone = qobject_cast<QLineEdit *>(find("edtWhenDone"));
    auto *whenBatchDone = qobject_cast<QLineEdit *>(find("edtWhenBatchDone"));
    ASSERT_TRUE(notBigger && keepDates && original && whenDone && whenBatchDone);
    // The defaults: nothing but the conversion, the dates kept.
    BatchOptions options = form.batchOptions();
    EXPECT_FALSE(options.notBigger);
    EXPECT_TRUE(options.keepDates);
    EXPECT_EQ(options.original, OriginalAction::Keep);
    EXPECT_TRUE(options.doneCommand.isEmpty() && options.batchDoneCommand.isEmpty());
    EXPECT_EQ(original->currentText(), QStringLiteral("Keep the original"));

    notBigger->setChecked(true);
    keepDates->setChecked(false);
    original->setCurrentIndex(1);
    whenDone->setText(QStringLiteral(" notify-send done "));
    whenBatchDone->setText(QStringLiteral("/usr/bin/true --all"));
    options = form.batchOptions();
    EXPECT_TRUE(options.notBigger);
    EXPECT_FALSE(options.keepDates);
    EXPECT_EQ(options.original, OriginalAction::Trash);
    EXPECT_EQ(options.doneCommand, QStringLiteral("notify-send done"));
    EXPECT_EQ(options.batchDoneCommand, QStringLiteral("/usr/bin/true --all"));
    original->setCurrentIndex(2);
    EXPECT_EQ(form.batchOptions().original, OriginalAction::Delete);

    settingForm->btnOKClick();
    const std::optional<GeneralPreferences> stored = LoadGeneralPreferences(folder.path(), interactive);
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(stored->notBigger);
    EXPECT_FALSE(stored->keepDates);
    EXPECT_EQ(stored->original, 2);
    EXPECT_EQ(stored->doneCommand, QStringLiteral("notify-send done"));
    EXPECT_EQ(stored->batchDoneCommand, QStringLiteral("/usr/bin/true --all"));
}

class RealPauseWindowTest : public PauseWindowTest
{
protected:
    RealPauseWindowTest()
        : PauseWindowTest(TestProgramFolder::Engine::Real)
    {
    }

    // A batch of one clip long enough to be paused while its engine works,
    // paused as soon as the engine runs. The engine's pid, or 0.
    pid_t startPaused(TMainForm &form)
    {
        form.tbtnStartClick();
        QList<pid_t> found;
        if (!waitFor([&] { return !(found = engines()).isEmpty() || form.RunState() == ConversionRun::Idle; }, 60000)
            || found.isEmpty())
            return 0;
        pressCtrlP();
        return found.first();
    }

    QString makeLongClip()
    {
        const QString clip = folder.filePath(QStringLiteral("in/long.avi"));
        QDir().mkpath(folder.filePath(QStringLiteral("in")));
        EXPECT_TRUE(makeClip(clip, 20, QStringLiteral("640x360")));
        return clip;
    }
};

TEST_F(RealPauseWindowTest, APausedEngineIsHeldTheClockStandsStillAndResumeFinishesTheFile)
{
    const QString clip = makeLongClip();
    TMainForm &form = openWith({clip}, QStringLiteral("MP4 H.264 AAC"));
    const pid_t engine = startPaused(form);
    ASSERT_GT(engine, 0);
    ASSERT_TRUE(form.run().isPaused());
    EXPECT_TRUE(waitFor([&] { return ProcessState(engine) == 'T'; }));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Paused"));

    // Two ticks of the window's timer while paused count nothing.
    const int elapsed = form.run().ElapsedSecs();
    const QString remaining = label("labRemaining");
    QSignalSpy ticks(child<QTimer>("timerTime"), &QTimer::timeout);
    ASSERT_TRUE(ticks.wait(5000));
    ASSERT_TRUE(ticks.wait(5000));
    EXPECT_EQ(form.run().ElapsedSecs(), elapsed);
    EXPECT_EQ(label("labRemaining"), remaining);
    EXPECT_EQ(ProcessState(engine), 'T');

    action("mniResume")->trigger();
    EXPECT_NE(ProcessState(engine), 'T');
    form.timerTimeTimer();
    EXPECT_EQ(form.run().ElapsedSecs(), elapsed + 1);
    ASSERT_TRUE(waitFor([&] { return form.RunState() == ConversionRun::Idle; }, 120000));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Complete"));
    const QString output = out() + QStringLiteral("/long.mp4");
    EXPECT_NEAR(ffprobeValues(output, QStringLiteral("format=duration")).toDouble(), 20.0, 0.3);
    EXPECT_EQ(sleep.inhibits, 2);
    EXPECT_FALSE(sleep.held);
}

TEST_F(RealPauseWindowTest, StopWhilePausedLeavesNoEngineAndNoFile)
{
    const QString clip = makeLongClip();
    TMainForm &form = openWith({clip}, QStringLiteral("MP4 H.264 AAC"));
    const pid_t engine = startPaused(form);
    ASSERT_GT(engine, 0);
    ASSERT_TRUE(waitFor([&] { return ProcessState(engine) == 'T'; }));

    form.imgStopClick();
    ASSERT_TRUE(waitFor([&] { return form.RunState() == ConversionRun::Idle; }));
    EXPECT_FALSE(ProcessAlive(engine));
    EXPECT_TRUE(engines().isEmpty());
    EXPECT_EQ(cell(0, 3), QStringLiteral("Stop"));
    EXPECT_TRUE(interactive.messages.contains(QStringLiteral("information|Cancel|The Coversion is canceled.")));
    EXPECT_TRUE(QDir(out()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(RealPauseWindowTest, ClosingTheWindowWhilePausedLeavesNoEngine)
{
    const QString clip = makeLongClip();
    TMainForm &form = openWith({clip}, QStringLiteral("MP4 H.264 AAC"));
    const pid_t engine = startPaused(form);
    ASSERT_GT(engine, 0);
    ASSERT_TRUE(waitFor([&] { return ProcessState(engine) == 'T'; }));

    form.close(); // the question before stopping a run is answered Yes
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }));
    EXPECT_FALSE(ProcessAlive(engine));
    EXPECT_TRUE(engines().isEmpty());
    EXPECT_EQ(form.RunState(), ConversionRun::Idle);
    EXPECT_TRUE(QDir(out()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

} // namespace
