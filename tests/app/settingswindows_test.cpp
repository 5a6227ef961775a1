// The main window joined with the Settings window and the custom size
// dialog, against the scripted fake engine: what each opens, what OK and
// Cancel leave behind, and what the next batch then passes to the engine.
#include "windowfixture.h"
#include "fakessh.h"
#include "fakes/processes.h"
#include "app/tasklistcontroller.h"
#include "conversion/conversionrun.h"
#include "conversion/outputfile.h"

#include "profiles/profiles.h"
#include "ui/parametereditors.h"
#include "ui/picklisttesthelpers.h"
#include "ui/valuelistgrid.h"

#include <QCheckBox>
#include <QLabel>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace {

const QString Mp4 = QStringLiteral("MP4 H.264 AAC");
const QString VideoSize = QStringLiteral("Video Size");

class SettingsWindowsTest : public WindowTest
{
protected:
    void selectProfile(const QString &name)
    {
        auto *profiles = child<QComboBox>("cmbProfile");
        const int index = profiles->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        profiles->setCurrentIndex(index);
    }

    // A click on the value of a grid's row; the row's editor, if any.
    static QWidget *pressValue(ValueListGrid *grid, int row)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid->visualRect(grid->model()->index(row, 1)).center());
        return grid->currentEditor();
    }

    // Picks the choice after the shown one (the first when the value is none
    // of them) from the row's opened drop-down.
    static void pickNext(ValueListGrid *grid, int row)
    {
        auto *combo = qobject_cast<QComboBox *>(pressValue(grid, row));
        ASSERT_NE(combo, nullptr);
        ASSERT_TRUE(PickFromDropDown(combo, combo->itemText(combo->currentIndex() + 1)));
    }

    template <typename W>
    W *sizeChild(const char *name) const
    {
        return sizeForm->findChild<W *>(QString::fromLatin1(name));
    }
    template <typename W>
    W *settingChild(const char *name) const
    {
        return settingForm->findChild<W *>(QString::fromLatin1(name));
    }

    void addRow(const QString &name)
    {
        const QString path = folder.filePath(QStringLiteral("in/") + name);
        touchFile(path);
        window->AddTaskFile(path);
        ASSERT_TRUE(waitAdded());
    }

    // Runs a batch of the listed rows into out and returns the engine's
    // arguments of its conversions.
    QList<QStringList> runBatch(const QString &out)
    {
        const int before = folder.callCount();
        child<QLineEdit>("edtOutputdir")->setText(out);
        window->tbtnStartClick();
        EXPECT_TRUE(waitFor([this] { return window->RunState() == 0; }));
        QList<QStringList> result;
        for (int call = before + 1; call <= folder.callCount(); ++call) {
            const QStringList arguments = folder.arguments(call);
            if (arguments.value(0) == QLatin1String("-y"))
                result << arguments;
        }
        return result;
    }

    // The value after the engine switch in one conversion's arguments.
    static QString optionValue(const QStringList &arguments, const QString &option)
    {
        const qsizetype at = arguments.indexOf(option);
        return at < 0 ? QString() : arguments.value(at + 1);
    }
};

TEST_F(SettingsWindowsTest, CustomSizeChosenInTheMainGridIsAskedForAndReachesTheEngine)
{
    TMainForm &form = openAll();
    selectProfile(Mp4);
    ValueListGrid *video = child<ValueListGrid>("vleVideo");
    const int row = form.grids().video.findRow(VideoSize);
    ASSERT_GE(row, 0);

    pickNext(video, row); // Original Size -> Custom Size
    ASSERT_TRUE(sizeForm->isVisible());
    EXPECT_FALSE(form.isEnabled());
    sizeChild<QLineEdit>("edtWidth")->setText(QStringLiteral("600"));
    sizeChild<QLineEdit>("edtHeight")->setText(QStringLiteral("400"));
    sizeChild<QPushButton>("btnOK")->click();
    EXPECT_FALSE(sizeForm->isVisible());
    EXPECT_TRUE(form.isEnabled());
    EXPECT_EQ(form.grids().video.value(VideoSize), QStringLiteral("600x400"));

    // Moving on in the grid keeps the size and asks nothing more.
    pressValue(video, 0);
    EXPECT_EQ(form.grids().video.value(VideoSize), QStringLiteral("600x400"));
    EXPECT_FALSE(sizeForm->isVisible());

    addRow(QStringLiteral("a.avi"));
    const QList<QStringList> calls = runBatch(folder.path());
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(optionValue(calls[0], QStringLiteral("-s")), QStringLiteral("600x400"));

    // Chosen again: the last texts are offered, and Cancel gives Original Size.
    pickNext(video, row); // no choice is current: the first one
    EXPECT_EQ(form.grids().video.value(VideoSize), QStringLiteral("Original Size"));
    EXPECT_FALSE(sizeForm->isVisible());
    pickNext(video, row);
    ASSERT_TRUE(sizeForm->isVisible());
    EXPECT_EQ(sizeChild<QLineEdit>("edtWidth")->text(), QStringLiteral("600"));
    EXPECT_EQ(sizeChild<QLineEdit>("edtHeight")->text(), QStringLiteral("400"));
    sizeChild<QPushButton>("btnCancel")->click();
    EXPECT_EQ(form.grids().video.value(VideoSize), QStringLiteral("Original Size"));
    EXPECT_TRUE(form.isEnabled());
    EXPECT_TRUE(interactive.messages.contains(
        QStringLiteral("information|Complete|The coversion is completed successfully.")));
}

TEST_F(SettingsWindowsTest, KeysOnTheVideoSizeRowMoveOnWithoutAskingForASize)
{
    TMainForm &form = openAll();
    selectProfile(Mp4);
    ValueListGrid *video = child<ValueListGrid>("vleVideo");
    const int row = form.grids().video.findRow(VideoSize);
    ASSERT_GE(row, 0);
    ASSERT_LT(row + 1, form.grids().video.rowCount());
    const QString below = form.grids().video.valueAt(row + 1);

    // Down on "Original Size" goes to the next row; the wheel and a letter there
    // change nothing either.
    auto *combo = qobject_cast<QComboBox *>(pressValue(video, row));
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->currentText(), QStringLiteral("Original Size"));
    TurnWheel(combo, -120);
    QTest::keyClick(combo, Qt::Key_C);
    TypeKey(Qt::Key_Down);
    EXPECT_EQ(video->currentIndex().row(), row + 1);
    TypeKey(Qt::Key_Up);
    EXPECT_EQ(video->currentIndex().row(), row);
    EXPECT_FALSE(sizeForm->isVisible());
    EXPECT_TRUE(form.isEnabled());
    EXPECT_EQ(form.grids().video.value(VideoSize), QStringLiteral("Original Size"));
    EXPECT_EQ(form.grids().video.valueAt(row + 1), below);
}

TEST_F(SettingsWindowsTest, TheSettingsGridAndOtherLetterCaseNeverAskForASize)
{
    touchFile(folder.filePath(QStringLiteral("Profiles/Lower.apf")),
              "[Main]\r\nType=mp4\r\nPara=2\r\n0=Video Codec\r\n1=video size\r\n"
              "[Video Codec]\r\nSort=1\r\nCaption=H.264,\r\nValue=libx264,\r\ncmd=-vcodec\r\n"
              "[video size]\r\nSort=1\r\nCaption=Original Size,Custom Size,\r\nValue=,,\r\ncmd=-s\r\n");
    TMainForm &form = openAll();
    selectProfile(QStringLiteral("Lower"));
    pickNext(child<ValueListGrid>("vleVideo"), 1);
    EXPECT_EQ(form.grids().video.value(VideoSize), QStringLiteral("Custom Size"));
    EXPECT_FALSE(sizeForm->isVisible());
    EXPECT_TRUE(form.isEnabled());

    selectProfile(Mp4);
    child<QPushButton>("bbtnSetting")->click();
    ASSERT_TRUE(settingForm->isVisible());
    ParameterGrids &grids = settingForm->grids();
    const int row = grids.video.findRow(VideoSize);
    pickNext(settingForm->editors()->vleVideo(), row);
    EXPECT_EQ(grids.video.value(VideoSize), QStringLiteral("Custom Size"));
    EXPECT_FALSE(sizeForm->isVisible());
    settingChild<QPushButton>("btnCancel")->click();
    EXPECT_TRUE(form.isEnabled());
}

TEST_F(SettingsWindowsTest, AStoredCustomSizeAsksOnLoadingOnlyUnderTheCursor)
{
    QFile shipped(folder.filePath(QStringLiteral("Profiles/") + Mp4 + QStringLiteral(".apf")));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    QByteArray custom = shipped.readAll();
    custom.replace("Value=,,320x240,480x360,640x360,640x480,720x480,720x576,854x480,1280x720,1920x1080,\r\nIndex=0",
                   "Value=,,320x240,480x360,640x360,640x480,720x480,720x576,854x480,1280x720,1920x1080,\r\nIndex=1");
    ASSERT_TRUE(custom.contains("Index=1"));
    touchFile(folder.filePath(QStringLiteral("Profiles/Stored Custom.apf")), custom);

    TMainForm &form = openAll();
    selectProfile(Mp4);
    ValueListGrid *video = child<ValueListGrid>("vleVideo");
    const int row = form.grids().video.findRow(VideoSize);
    pressValue(video, 0); // the cursor on another row
    selectProfile(QStringLiteral("Stored Custom"));
    EXPECT_EQ(form.grids().video.value(VideoSize), QStringLiteral("Custom Size"));
    EXPECT_FALSE(sizeForm->isVisible());

    selectProfile(Mp4);
    pressValue(video, row);
    selectProfile(QStringLiteral("Stored Custom"));
    ASSERT_TRUE(sizeForm->isVisible());
    // The cursor stayed on its row; the profile list kept the focus.
    EXPECT_EQ(video->currentIndex().row(), row);
    sizeForm->close();
    EXPECT_EQ(form.grids().video.value(VideoSize), QStringLiteral("Original Size"));
    EXPECT_TRUE(form.isEnabled());
}

TEST_F(SettingsWindowsTest, ACollapsedMainGridOpensOnAProfileChangeWithItsButtonStillPlus)
{
    TMainForm &form = openAll();
    ValueListGrid *video = child<ValueListGrid>("vleVideo");
    QToolButton *button = child<QToolButton>("btnVideo");
    button->click();
    ASSERT_EQ(video->height(), 1);
    selectProfile(QStringLiteral("WAV Audio"));
    const int rows = form.grids().video.rowCount();
    ASSERT_GT(rows, 0);
    EXPECT_EQ(video->height(), 18 * rows);
    EXPECT_EQ(button->text(), QStringLiteral("+"));
    button->click();
    EXPECT_EQ(video->height(), 18 * rows + 1);
    EXPECT_EQ(button->text(), QStringLiteral("-"));
}

TEST_F(SettingsWindowsTest, OkReloadsTheMainGridsOnlyForTheSameProfileAndTheBatchUsesTheSavedValues)
{
    TMainForm &form = openAll();
    selectProfile(Mp4);
    form.grids().video.setValue(QStringLiteral("Bit Rate"), QStringLiteral("1000 kbps"));

    child<QPushButton>("bbtnSetting")->click();
    ASSERT_TRUE(settingForm->isVisible());
    EXPECT_FALSE(form.isEnabled());
    EXPECT_EQ(settingChild<QTabWidget>("pgcSetting")->currentIndex(), TSettingForm::ProfilesPage);
    EXPECT_EQ(settingChild<QComboBox>("cmbProfile")->currentText(), Mp4);
    EXPECT_EQ(settingForm->grids().video.value(QStringLiteral("Bit Rate")), QStringLiteral("Auto"));
    settingForm->grids().advanced.setValue(QStringLiteral("Encoding Preset"), QStringLiteral("fast"));
    settingChild<QPushButton>("btnOK")->click();
    EXPECT_FALSE(settingForm->isVisible());
    EXPECT_TRUE(form.isEnabled());
    // The main window's unsaved edit gives way to the stored values.
    EXPECT_EQ(form.grids().video.value(QStringLiteral("Bit Rate")), QStringLiteral("Auto"));
    EXPECT_EQ(form.grids().advanced.value(QStringLiteral("Encoding Preset")), QStringLiteral("fast"));

    addRow(QStringLiteral("a.avi"));
    QList<QStringList> calls = runBatch(folder.path());
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(optionValue(calls[0], QStringLiteral("-preset")), QStringLiteral("fast"));
    EXPECT_FALSE(calls[0].contains(QStringLiteral("-b:v")));

    // Another profile chosen in the Settings window: the main edits stay.
    form.grids().video.setValue(QStringLiteral("Bit Rate"), QStringLiteral("1000 kbps"));
    child<QPushButton>("bbtnSetting")->click();
    auto *settingProfiles = settingChild<QComboBox>("cmbProfile");
    settingProfiles->setCurrentIndex(settingProfiles->findText(QStringLiteral("MKV H.264")));
    settingChild<QPushButton>("btnOK")->click();
    EXPECT_EQ(form.grids().video.value(QStringLiteral("Bit Rate")), QStringLiteral("1000 kbps"));
    calls = runBatch(folder.path());
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(optionValue(calls[0], QStringLiteral("-b:v")), QStringLiteral("1000k"));

    // The Settings picture opens the General tab; the Profiles tab keeps the
    // profile of the last opening.
    QTest::mouseClick(child<QWidget>("ibtnSetting"), Qt::LeftButton);
    ASSERT_TRUE(settingForm->isVisible());
    EXPECT_EQ(settingChild<QTabWidget>("pgcSetting")->currentIndex(), TSettingForm::GeneralPage);
    EXPECT_EQ(settingProfiles->currentText(), QStringLiteral("MKV H.264"));
    settingForm->close(); // the title-bar button
    EXPECT_TRUE(form.isEnabled());
}

TEST_F(SettingsWindowsTest, CancelKeepsTheGeneralChoicesForTheNextBatchAndTheClose)
{
    TMainForm &form = openAll();
    QTest::mouseClick(child<QWidget>("ibtnSetting"), Qt::LeftButton);
    ASSERT_TRUE(settingForm->isVisible());
    EXPECT_EQ(settingChild<QLineEdit>("edtOutputDir")->text(), child<QLineEdit>("edtOutputdir")->text());
    settingChild<QRadioButton>("rdbRename")->click();
    settingChild<QCheckBox>("chkOpenDir")->click();
    settingChild<QPushButton>("btnCancel")->click();
    EXPECT_TRUE(form.isEnabled());

    addRow(QStringLiteral("a.avi"));
    const QString out = folder.filePath(QStringLiteral("out/"));
    QDir().mkpath(out);
    touchFile(out + QStringLiteral("a") + form.OutputExt());
    const QList<QStringList> calls = runBatch(out);
    ASSERT_EQ(calls.size(), 1);
    EXPECT_TRUE(IsWorkFileFor(calls[0].last(), out + QStringLiteral("a_1") + form.OutputExt()));
    EXPECT_TRUE(shell.opened.isEmpty());

    form.close();
    QFile prefs(folder.filePath(QStringLiteral("Preferences.ini")));
    ASSERT_TRUE(prefs.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(prefs.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Overwrite=0"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Auto Open Dir=0"))) << text.toStdString();
}

TEST_F(SettingsWindowsTest, TheOutputPlaceChosenIsKeptAndEachPlaceReachesTheEngine)
{
    TMainForm &form = openAll();
    const QString in = folder.filePath(QStringLiteral("in"));
    touchFile(in + QStringLiteral("/top.avi"));
    touchFile(in + QStringLiteral("/B c/é.avi"));
    window->findChild<TaskListController *>()->setIncludeSubfolders(true);
    form.AddTaskFolder(in);
    ASSERT_TRUE(waitAdded());
    const QString out = folder.filePath(QStringLiteral("out/"));
    QDir().mkpath(out);
    const QString ext = form.OutputExt();

    const struct
    {
        const char *item;
        QStringList outputs; // of top.avi, then of é.avi
    } cases[] = {
        {"Into the output folder", {out + "top" + ext, out + "é" + ext}},
        {"Keep the folder tree", {out + "top" + ext, out + "B c/é" + ext}},
        {"Beside each input", {in + "/top" + ext, in + "/B c/é" + ext}},
    };
    for (const auto &c : cases) {
        QTest::mouseClick(child<QWidget>("ibtnSetting"), Qt::LeftButton);
        auto *place = settingChild<QComboBox>("cmbOutputPlace");
        place->setCurrentIndex(place->findText(QString::fromUtf8(c.item)));
        ASSERT_GE(place->currentIndex(), 0) << c.item;
        settingChild<QPushButton>("btnOK")->click();
        const QList<QStringList> calls = runBatch(out);
        ASSERT_EQ(calls.size(), 2) << c.item;
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(IsWorkFileFor(calls[i].last(), c.outputs[i])) << c.item << ": " << qPrintable(calls[i].last());
            EXPECT_EQ(form.run().outputPathOf(i), c.outputs[i]) << c.item;
            EXPECT_TRUE(QFileInfo(c.outputs[i]).size() > 0) << c.item << ": " << qPrintable(c.outputs[i]);
        }
    }
    form.close();
    QFile prefs(folder.filePath(QStringLiteral("Preferences.ini")));
    ASSERT_TRUE(prefs.open(QIODevice::ReadOnly));
    EXPECT_TRUE(prefs.readAll().contains("Output Place=2"));
}

TEST_F(SettingsWindowsTest, OutputsBesideTheirInputsNeedNoOutputFolderAndTheWindowSaysWhereTheyGo)
{
    TMainForm &form = openAll();
    addRow(QStringLiteral("a.avi"));
    const struct
    {
        const char *place;
        bool beside;
    } cases[] = {{"Beside each input", true}, {"Into the output folder", false}};
    for (const auto &c : cases) {
        QTest::mouseClick(child<QWidget>("ibtnSetting"), Qt::LeftButton);
        auto *place = settingChild<QComboBox>("cmbOutputPlace");
        place->setCurrentIndex(place->findText(QString::fromLatin1(c.place)));
        settingChild<QPushButton>("btnOK")->click();
        EXPECT_EQ(child<QLabel>("labOutputBeside")->isVisible(), c.beside) << c.place;
        EXPECT_EQ(child<QLabel>("labOutputBeside")->text(), QStringLiteral("Beside each input file"));
        for (const char *control : {"edtOutputdir", "bbtnBrowser", "bbtnOpen"})
            EXPECT_EQ(child<QWidget>(control)->isEnabled(), !c.beside) << c.place << " " << control;

        interactive.messages.clear();
        const QList<QStringList> calls = runBatch(folder.filePath(QStringLiteral("no such folder")));
        EXPECT_EQ(calls.size(), c.beside ? 1 : 0) << c.place;
        EXPECT_EQ(interactive.messages.filter(QStringLiteral("The output path does not exist")).size(),
                  c.beside ? 0 : 1)
            << c.place;
    }
    EXPECT_TRUE(QFileInfo::exists(folder.filePath(QStringLiteral("in/a") + form.OutputExt())));
}

TEST_F(SettingsWindowsTest, TheProfilesPageShowsTheMainWindowsProfileHoweverTheWindowOpens)
{
    const struct
    {
        const char *opener;
        bool thenProfilesTab; // the gear opens the General page
    } cases[] = {{"ibtnSetting", true}, {"bbtnSetting", false}};
    for (const auto &c : cases) {
        openAll();
        selectProfile(Mp4);
        QTest::mouseClick(child<QWidget>(c.opener), Qt::LeftButton);
        auto *pages = settingChild<QTabWidget>("pgcSetting");
        EXPECT_EQ(pages->currentIndex(), c.thenProfilesTab ? 0 : 1) << c.opener;
        if (c.thenProfilesTab)
            pages->setCurrentIndex(1);
        EXPECT_EQ(settingChild<QComboBox>("cmbProfile")->currentText(), Mp4) << c.opener;
        EXPECT_EQ(settingForm->grids().video.value(VideoSize), window->grids().video.value(VideoSize)) << c.opener;
        EXPECT_GT(settingChild<ValueListGrid>("vleVideo")->model()->rowCount(), 3) << c.opener;
        settingChild<QPushButton>("btnCancel")->click();
        TearDown();
    }
}

TEST_F(SettingsWindowsTest, OkPassesTheOutputFolderToTheMainWindow)
{
    TMainForm &form = openAll();
    const QString out = folder.filePath(QStringLiteral("chosen"));
    QDir().mkpath(out);
    QTest::mouseClick(child<QWidget>("ibtnSetting"), Qt::LeftButton);
    dialogs.folders.append(out);
    settingChild<QToolButton>("sbtnBrowse")->click();
    settingChild<QPushButton>("btnOK")->click();
    EXPECT_EQ(child<QLineEdit>("edtOutputdir")->text(), out + QLatin1Char('/'));
    EXPECT_EQ(form.outputFolder(), out + QLatin1Char('/'));
}

TEST_F(SettingsWindowsTest, SaveAsIntoTheProfilesFolderListsTheProfileInTheMainWindowAtOnce)
{
    TMainForm &form = openAll();
    selectProfile(Mp4);
    auto *profiles = child<QComboBox>("cmbProfile");
    const int selected = profiles->currentIndex();
    form.grids().video.setValue(QStringLiteral("Bit Rate"), QStringLiteral("1000 kbps"));

    child<QPushButton>("bbtnSetting")->click();
    settingForm->grids().audio.setValue(QStringLiteral("Channels"), QStringLiteral("Mono"));
    dialogs.saveNames = {folder.filePath(QStringLiteral("Profiles/A mono.apf"))};
    settingChild<QPushButton>("btnSaveAs")->click();
    settingChild<QPushButton>("btnCancel")->click();

    QStringList items;
    for (int i = 0; i < profiles->count(); ++i)
        items << profiles->itemText(i);
    EXPECT_EQ(items, ProfileList(folder.path()));
    EXPECT_TRUE(items.contains(QStringLiteral("A mono")));
    // Still the same profile, not loaded again: the edit stays.
    EXPECT_EQ(profiles->currentText(), Mp4);
    EXPECT_EQ(profiles->currentIndex(), selected + 1);
    EXPECT_EQ(form.grids().video.value(QStringLiteral("Bit Rate")), QStringLiteral("1000 kbps"));

    selectProfile(QStringLiteral("A mono"));
    EXPECT_EQ(form.grids().audio.value(QStringLiteral("Channels")), QStringLiteral("Mono"));
    EXPECT_EQ(form.OutputExt(), QStringLiteral(".mp4"));
}

} // namespace

// The window converting on hosts (Settings, Convert On): the program folder
// holds the built program, and ssh is the stand-in that plays hosts on this
// machine.
class HostsWindowTest : public SettingsWindowsTest
{
protected:
    void SetUp() override
    {
        SettingsWindowsTest::SetUp();
        ASSERT_TRUE(QFile::copy(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/vantorix"), folder.filePath("vantorix")));
        ASSERT_TRUE(WriteFakeSsh(folder.filePath("bin")));
        QDir().mkpath(folder.filePath("in"));
        m_path = qgetenv("PATH");
        qputenv("PATH", folder.filePath("bin").toLocal8Bit() + ':' + m_path);
        qputenv("FAKE_SSH_ROOT", folder.filePath("hosts.d").toLocal8Bit());
    }
    void TearDown() override
    {
        SettingsWindowsTest::TearDown();
        qputenv("PATH", m_path);
        qunsetenv("FAKE_SSH_ROOT");
    }

    // Chooses "these hosts:" with the hosts file picked through its browse button.
    void chooseHosts(const QString &hostsFile)
    {
        QTest::mouseClick(child<QWidget>("ibtnSetting"), Qt::LeftButton);
        settingChild<QRadioButton>("rdbHosts")->click();
        dialogs.fileLists << QStringList{hostsFile};
        settingChild<QToolButton>("sbtnHostsFile")->click();
        settingChild<QPushButton>("btnOK")->click();
    }

    QByteArray m_path;
};

TEST_F(HostsWindowTest, TheChosenHostsConvertTheListAndABadHostsFileStartsNothing)
{
    TMainForm &form = openAll();
    for (const char *name : {"a.avi", "b.avi"})
        ASSERT_TRUE(WriteFakeMedia(folder.filePath(QStringLiteral("in/") + name), "00:00:04"));
    for (const char *name : {"a.avi", "b.avi"})
        form.AddTaskFile(folder.filePath(QStringLiteral("in/") + name));
    ASSERT_TRUE(waitAdded());
    // The engine of this computer's worker (":") tells its progress; b.avi then fails.
    const QString progress = QStringLiteral("print 0 banner\\n\nprint 100 Duration: 00:00:04.00, start: 0\\n\n"
                                            "print 200 frame=  50 time=00:00:02.00 speed=1x\\r\n");
    folder.setScriptFor("a.avi", progress + "print 200 frame= 100 time=00:00:04.00 speed=1x\\r\n");
    folder.setScriptFor("b.avi", progress + "print 100 Conversion failed: fake trouble\\n\nexit 1\n");
    QStringList statuses[2];
    int totalMost = 0;
    QObject::connect(&form.tasks(), &QAbstractItemModel::dataChanged, &form,
                     [&](const QModelIndex &from, const QModelIndex &to) {
                         for (int row = from.row(); row <= to.row() && row < 2; ++row)
                             statuses[row] << cell(row, 3);
                     });
    QObject::connect(child<QProgressBar>("pgbTotal"), &QProgressBar::valueChanged, &form,
                     [&](int value) { totalMost = std::max(totalMost, value); });

    const struct
    {
        const char *name;
        const char *hosts;   // nullptr: no such file
        QString status[2];   // of the rows; empty: nothing starts
        const char *said[2]; // in the rows' kept engine output (converted) or the message (not started)
    } cases[] = {
        {"two slots on a host", "2/w1\n", {RowStatus::Complete, RowStatus::Complete}, {"", ""}},
        {"this computer's worker", "2/:\n", {RowStatus::Complete, RowStatus::Failed}, {"", "fake trouble"}},
        {"no host can be reached", "dead1\n", {RowStatus::Failed, RowStatus::Failed},
         {"no host is left", "no host is left"}},
        {"no such file", nullptr, {}, {"cannot be read"}},
        {"a line that is no host", "w1\n0/w2\n", {}, {"line 2 \"0/w2\""}},
    };
    const QString out = folder.filePath(QStringLiteral("out/"));
    const QString ext = form.OutputExt();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        const QString hostsFile = folder.filePath(QStringLiteral("hosts-%1").arg(&c - cases));
        if (c.hosts)
            touchFile(hostsFile, c.hosts);
        chooseHosts(hostsFile);
        EXPECT_EQ(settingChild<QLineEdit>("edtHostsFile")->text(), hostsFile);
        for (QStringList &seen : statuses)
            seen.clear();
        totalMost = 0;
        interactive.messages.clear();
        const int calls = folder.callCount();
        runBatch(out);
        if (c.status[0].isEmpty()) {
            // Told why; nothing ran and the rows are as they were.
            ASSERT_EQ(interactive.messages.size(), 1);
            EXPECT_TRUE(interactive.messages[0].contains(QString::fromUtf8(c.said[0])))
                << qPrintable(interactive.messages[0]);
            EXPECT_TRUE(interactive.messages[0].contains(hostsFile));
            EXPECT_EQ(folder.callCount(), calls);
            EXPECT_TRUE(statuses[0].isEmpty() && statuses[1].isEmpty());
            EXPECT_TRUE(child<QWidget>("imgStart")->isVisible());
            EXPECT_TRUE(child<QWidget>("cmbProfile")->isEnabled());
            continue;
        }
        for (int row = 0; row < 2; ++row) {
            EXPECT_EQ(cell(row, 3), c.status[row]) << row;
            const QString output = out + QStringLiteral("ab").mid(row, 1) + ext;
            EXPECT_EQ(QFileInfo::exists(output), c.status[row] == RowStatus::Complete) << qPrintable(output);
            // A failed task keeps its engine's output and tells why, as a local one does.
            const QString said = window->tasks().index(row, 0).data(TaskListModel::EngineOutputRole).toString();
            EXPECT_TRUE(said.contains(QString::fromUtf8(c.said[row]))) << qPrintable(said);
            if (c.status[row] == RowStatus::Failed) {
                EXPECT_TRUE(window->tasks().statusTip(row).contains(QString::fromUtf8(c.said[row])));
            }
        }
        if (c.status[0] == RowStatus::Complete) {
            EXPECT_EQ(totalMost, 100);
        }
        if (QByteArray(c.hosts) == "2/:\n") {
            // Each row showed its engine's progress, as a local task's does.
            EXPECT_TRUE(statuses[0].contains("50%") && statuses[1].contains("50%")) << qPrintable(statuses[0].join(' '));
        }
        if (QByteArray(c.hosts) == "2/w1\n") { // the program went to the host
            EXPECT_FALSE(EntriesIn(folder.filePath("hosts.d/w1")).isEmpty());
        }
        // A host left out is told once the batch is over.
        EXPECT_EQ(interactive.messages.filter("leaving out dead1").size(), QByteArray(c.hosts) == "dead1\n" ? 1 : 0)
            << qPrintable(interactive.messages.join('\n'));
    }
}

TEST_F(HostsWindowTest, TheChoiceIsKeptAndPauseStopAndClosingTheWindowReachTheWorkers)
{
    TMainForm &form = openAll();
    ASSERT_TRUE(WriteFakeMedia(folder.filePath("in/a.avi"), "00:00:04"));
    form.AddTaskFile(folder.filePath("in/a.avi"));
    ASSERT_TRUE(waitAdded());
    const QString hostsFile = folder.filePath("hosts");
    touchFile(hostsFile, ":\n");
    chooseHosts(hostsFile);
    QTest::mouseClick(child<QWidget>("ibtnSetting"), Qt::LeftButton);
    // In the window's font every tab shows at once: none is scrolled out of sight.
    const QTabBar *tabs = settingChild<QTabWidget>("pgcSetting")->tabBar();
    EXPECT_LE(tabs->tabRect(tabs->count() - 1).right(), TSettingForm::ClientWidth);
    settingChild<QLineEdit>("edtSshConfig")->setText(folder.filePath("ssh_config"));
    settingChild<QPushButton>("btnOK")->click();

    // The engine on the worker takes its time: it is paused, resumed and
    // stopped as a local one is; the next batch's is running when the window closes.
    folder.setScript(QStringLiteral("print 0 Duration: 00:00:04.00, start: 0\\n\npid engine.pid\nsleep 60000\n"));
    const QString out = folder.filePath(QStringLiteral("out/"));
    QDir().mkpath(out);
    child<QLineEdit>("edtOutputdir")->setText(out);
    const auto startEngine = [&] {
        QFile::remove(folder.filePath("engine.pid"));
        window->tbtnStartClick();
        RecordedProcess engine;
        EXPECT_TRUE(waitFor([&] { return (engine = ReadRecordedProcess(folder.filePath("engine.pid"))).pid > 0; }));
        return engine.pid;
    };
    pid_t engine = startEngine();
    ASSERT_GT(engine, 0);
    form.run().pause();
    EXPECT_TRUE(waitFor([&] { return ProcessState(engine) == 'T'; })) << ProcessState(engine);
    form.run().resume();
    EXPECT_TRUE(waitFor([&] { return ProcessState(engine) != 'T'; }));
    form.tbtnStopClick();
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }));
    EXPECT_EQ(cell(0, 3), RowStatus::Stop);
    EXPECT_TRUE(waitFor([&] { return !ProcessAlive(engine); }));

    engine = startEngine();
    ASSERT_GT(engine, 0);
    form.closeWithoutAsking();
    EXPECT_TRUE(waitFor([&] { return !ProcessAlive(engine); }));
    EXPECT_FALSE(ProcessRunsWith(folder.filePath("vantorix")));
    EXPECT_FALSE(QFileInfo::exists(out + "a" + form.OutputExt()));

    QFile prefs(folder.filePath(QStringLiteral("Preferences.ini")));
    ASSERT_TRUE(prefs.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(prefs.readAll());
    EXPECT_TRUE(text.contains("Convert On Hosts=1")) << qPrintable(text);
    EXPECT_TRUE(text.contains("Hosts File=" + hostsFile)) << qPrintable(text);
    // Read back by the next Settings window.
    TSettingForm again(form, form.ProgramFolder(), interactive, dialogs);
    EXPECT_TRUE(again.findChild<QRadioButton *>("rdbHosts")->isChecked());
    EXPECT_EQ(again.findChild<QLineEdit *>("edtHostsFile")->text(), hostsFile);
    EXPECT_EQ(again.findChild<QLineEdit *>("edtSshConfig")->text(), folder.filePath("ssh_config"));
    EXPECT_TRUE(again.generalPreferences().onHosts);
}
