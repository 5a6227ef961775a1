// The Settings window against a stand-in main window: creation, layout, the
// General tab as live options, OK, Cancel, Load Default and Save as.
#include "fakes/programfolder.h"
#include "fakes/recorders.h"
#include "fakes/recordingdialogs.h"
#include "profiles/readonlyfolder.h"
#include "profiles/profiles.h"
#include "ui/parametereditors.h"
#include "ui/picklisttesthelpers.h"
#include "ui/settingform.h"
#include "ui/valuelistgrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

// What the Settings window sees of the main window.
class FakeOwner final : public ISettingsOwner
{
public:
    QWidget *ownerWindow() override { return &window; }
    QStringList profileItems() const override { return items; }
    int profileIndex() const override { return index; }
    QString profileText() const override { return index >= 0 ? items.value(index) : QString(); }
    QString outputFolderText() const override { return folder; }
    void setOutputFolderText(const QString &text) override { folder = text; }
    void reloadProfile() override { ++reloads; }
    void insertProfileItem(int position, const QString &name) override
    {
        items.insert(position, name);
        if (index >= position)
            ++index;
    }

    QWidget window;
    QStringList items;
    int index = -1;
    QString folder;
    int reloads = 0;
};

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

class SettingFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        const QDir shipped(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/Profiles"));
        QDir().mkpath(folder.filePath(QStringLiteral("Profiles")));
        for (const QString &name : shipped.entryList({QStringLiteral("*.apf")}, QDir::Files))
            QFile::copy(shipped.filePath(name), folder.filePath(QStringLiteral("Profiles/") + name));
        owner.items = ProfileList(folder.path());
        owner.window.setGeometry(50, 50, 790, 505);
        owner.window.show();
    }

    void TearDown() override { form.reset(); }

    TSettingForm &create()
    {
        form = std::make_unique<TSettingForm>(owner, folder.path(), interactive, dialogs);
        return *form;
    }

    template <typename W>
    W *child(const char *name) const
    {
        W *widget = form->findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QString prefsPath() const { return folder.filePath(QStringLiteral("Preferences.ini")); }
    QString profilePath(const QString &name) const { return ProfilePath(folder.path(), name); }
    int indexOf(const QString &name) const { return static_cast<int>(owner.items.indexOf(name)); }
    QStringList settingItems() const
    {
        QStringList items;
        auto *combo = child<QComboBox>("cmbProfile");
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    }

    TestProgramFolder folder{TestProgramFolder::Engine::None};
    FakeOwner owner;
    RecordingInteractive interactive;
    RecordingDialogs dialogs;
    std::unique_ptr<TSettingForm> form;
};

const QString Mp4 = QStringLiteral("MP4 H.264 AAC");

TEST_F(SettingFormTest, CreationCopiesTheProfileNamesAndLoadsTheStoredGeneralValues)
{
    writeFile(prefsPath(), "[Main]\r\nOutput Path=/videos/out/\r\nSyn Mode=7\r\nAuto Open Dir=0\r\n"
                           "Auto Exit=True\r\nOverwrite=0\r\n");
    owner.index = 2;
    create();
    EXPECT_EQ(settingItems(), owner.items);
    EXPECT_EQ(child<QComboBox>("cmbProfile")->currentIndex(), -1);
    // The grids show the layout's rows without values until a profile loads.
    EXPECT_EQ(form->grids().video.names(), LayoutVideoRows());
    EXPECT_TRUE(form->grids().video.value(QStringLiteral("Video Size")).isEmpty());

    EXPECT_EQ(child<QLineEdit>("edtOutputDir")->text(), QStringLiteral("/videos/out/"));
    EXPECT_EQ(child<QComboBox>("cmbSyn")->currentIndex(), -1); // outside the list
    EXPECT_FALSE(child<QCheckBox>("chkOpenDir")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("chkExit")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkTurnoff")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("rdbRename")->isChecked());
    EXPECT_FALSE(child<QRadioButton>("rdbOverWrite")->isChecked());

    const GeneralPreferences live = form->generalPreferences();
    EXPECT_EQ(live.outputPath, QStringLiteral("/videos/out/"));
    EXPECT_EQ(live.synMode, -1);
    EXPECT_FALSE(live.openDir);
    EXPECT_TRUE(live.exitProgram);
    EXPECT_FALSE(live.overwrite);

    // Without a file: the defaults, the output folder the program's own.
    form.reset();
    QFile::remove(prefsPath());
    create();
    EXPECT_EQ(child<QLineEdit>("edtOutputDir")->text(), folder.path());
    EXPECT_EQ(child<QComboBox>("cmbSyn")->currentText(), QStringLiteral("Auto"));
    EXPECT_TRUE(child<QCheckBox>("chkOpenDir")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("rdbOverWrite")->isChecked());
    EXPECT_TRUE(form->generalPreferences().overwrite);
}

TEST_F(SettingFormTest, LayoutAtTheDesignSize)
{
    create();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Settings"));
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->size(), QSize(391, 498));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());

    auto *pages = child<QTabWidget>("pgcSetting");
    EXPECT_EQ(pages->geometry(), QRect(0, 5, 391, 442));
    ASSERT_EQ(pages->count(), 4);
    EXPECT_EQ(pages->tabText(0), QStringLiteral("     General     "));
    EXPECT_EQ(pages->tabText(1), QStringLiteral("     Profiles     "));
    EXPECT_EQ(pages->tabText(2), QStringLiteral("  After Conversion  "));
    EXPECT_EQ(pages->tabText(3), QStringLiteral("Hosts"));
    // The After Conversion and Hosts pages' controls stand inside them, one under another.
    const struct
    {
        const char *page;
        QList<const char *> controls;
    } pageControls[] = {
        {"tbsAfter", {"chkNotBigger", "chkKeepDates", "cmbOriginal", "gpbWhenDone", "spnSplitMinutes"}},
        {"tbsHosts", {"labConvertOn", "rdbThisComputer", "rdbHosts", "edtHostsFile", "labSshConfig", "edtSshConfig",
                      "labHostsHint"}},
    };
    for (const auto &page : pageControls) {
        int below = 0;
        for (const char *name : page.controls) {
            const QRect box = child<QWidget>(name)->geometry();
            EXPECT_EQ(child<QWidget>(name)->parentWidget(), child<QWidget>(page.page)) << name;
            EXPECT_GT(box.top(), below) << name;
            EXPECT_LE(box.right(), 391 - 16) << name;
            below = box.bottom();
        }
        EXPECT_LT(below, 442 - 30) << page.page;
    }
    // Off unless chosen.
    EXPECT_EQ(child<QSpinBox>("spnSplitMinutes")->value(), 0);
    EXPECT_EQ(child<QSpinBox>("spnSplitMinutes")->text(), QStringLiteral("Off"));

    EXPECT_EQ(child<QWidget>("edtOutputDir")->geometry(), QRect(112, 16, 225, 21));
    const QRect label = child<QLabel>("labOutputDir")->geometry();
    EXPECT_EQ(child<QLabel>("labOutputDir")->text(), QStringLiteral("Default Output Path:"));
    EXPECT_EQ(label.right(), 112 - 4);
    EXPECT_GE(label.left(), 0);
    // The labels' whole texts stand before their boxes.
    for (const char *name : {"labOutputDir", "labSyn"}) {
        const QLabel *text = child<QLabel>(name);
        EXPECT_LE(text->fontMetrics().horizontalAdvance(text->text()), text->width()) << name;
    }
    EXPECT_LT(child<QLabel>("labSyn")->geometry().right(), 124);
    EXPECT_EQ(child<QWidget>("sbtnBrowse")->geometry(), QRect(344, 16, 23, 22));
    EXPECT_EQ(child<QLabel>("labSyn")->pos(), QPoint(11, 59));
    EXPECT_EQ(child<QLabel>("labSyn")->text(), QStringLiteral("Synchronization Mode:"));
    EXPECT_EQ(child<QWidget>("cmbSyn")->pos(), QPoint(124, 56));
    EXPECT_EQ(child<QWidget>("cmbSyn")->width(), 245);
    auto *syn = child<QComboBox>("cmbSyn");
    EXPECT_FALSE(syn->isEditable());
    EXPECT_EQ(syn->count(), 3);
    EXPECT_EQ(syn->itemText(2), QStringLiteral("Progressive Mode"));
    EXPECT_EQ(child<QWidget>("bvlGeneral")->geometry().topLeft(), QPoint(8, 88));
    EXPECT_EQ(child<QWidget>("bvlGeneral")->width(), 369);

    const char *checks[][2] = {{"chkOpenDir", "Open the output directory when the task is completed. "},
                               {"chkExit", "Exit the program when the task is completed."},
                               {"chkTurnoff", "Turn off the computer when the task is completed."}};
    int top = 128;
    for (const auto &[name, text] : checks) {
        EXPECT_EQ(child<QCheckBox>(name)->pos(), QPoint(24, top)) << name;
        EXPECT_EQ(child<QCheckBox>(name)->text(), QString::fromLatin1(text));
        top += 32;
    }
    auto *group = child<QGroupBox>("gpbOverwrite");
    EXPECT_EQ(group->geometry(), QRect(16, 240, 353, 105));
    EXPECT_EQ(group->title(), QStringLiteral("Output File Overwrite"));
    EXPECT_EQ(child<QRadioButton>("rdbOverWrite")->parentWidget(), group);
    EXPECT_EQ(child<QRadioButton>("rdbOverWrite")->pos(), QPoint(24, 32));
    EXPECT_EQ(child<QRadioButton>("rdbRename")->geometry(), QRect(24, 67, 305, 17));
    EXPECT_EQ(child<QRadioButton>("rdbRename")->text(), QStringLiteral("Not overwrite (Rename to <Filename> + Index"));

    EXPECT_EQ(child<QWidget>("cmbProfile")->pos(), QPoint(8, 7));
    EXPECT_EQ(child<QWidget>("cmbProfile")->width(), 283);
    EXPECT_EQ(child<QPushButton>("btnSaveAs")->geometry(), QRect(298, 4, 75, 25));
    EXPECT_EQ(child<QPushButton>("btnSaveAs")->text(), QStringLiteral("&Save as..."));
    EXPECT_EQ(child<QWidget>("scbParameters")->geometry(), QRect(8, 36, 366, 373));
    EXPECT_EQ(child<QWidget>("panVideo")->width(), 362);
    EXPECT_FALSE(child<QPlainTextEdit>("memDescription")->isVisibleTo(form.get()));

    EXPECT_EQ(child<QPushButton>("btnDefault")->geometry(), QRect(16, 461, 89, 25));
    EXPECT_EQ(child<QPushButton>("btnDefault")->text(), QStringLiteral("&Load Default"));
    EXPECT_EQ(child<QPushButton>("btnOK")->geometry(), QRect(208, 461, 75, 25));
    EXPECT_EQ(child<QPushButton>("btnCancel")->geometry(), QRect(296, 461, 75, 25));

    form->showGeneral();
    // Centred, to the pixel that an odd difference of sizes allows.
    EXPECT_LE((form->frameGeometry().center() - owner.window.frameGeometry().center()).manhattanLength(), 1);
}

TEST_F(SettingFormTest, CancelAndTheTitleBarKeepTheGeneralControlsInForceAndWriteNothing)
{
    create();
    const QByteArray stored = contentOf(prefsPath());
    owner.folder = QStringLiteral("/from/main/");
    form->showGeneral();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(child<QTabWidget>("pgcSetting")->currentIndex(), 0);
    EXPECT_FALSE(owner.window.isEnabled());
    EXPECT_EQ(child<QLineEdit>("edtOutputDir")->text(), QStringLiteral("/from/main/"));

    child<QRadioButton>("rdbRename")->click();
    child<QCheckBox>("chkExit")->click();
    child<QPushButton>("btnCancel")->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(owner.window.isEnabled());
    EXPECT_FALSE(form->generalPreferences().overwrite);
    EXPECT_TRUE(form->generalPreferences().exitProgram);
    EXPECT_EQ(owner.folder, QStringLiteral("/from/main/"));
    EXPECT_EQ(contentOf(prefsPath()), stored);

    form->showGeneral();
    EXPECT_FALSE(owner.window.isEnabled());
    form->close();
    EXPECT_TRUE(owner.window.isEnabled());
    EXPECT_TRUE(child<QRadioButton>("rdbRename")->isChecked());
}

TEST_F(SettingFormTest, BrowsePutsOneSeparatorAfterTheChosenFolder)
{
    create();
    form->showGeneral();
    auto *edit = child<QLineEdit>("edtOutputDir");
    edit->setText(QStringLiteral("/kept/"));
    dialogs.folders = {std::nullopt, QStringLiteral("/data/out"), QStringLiteral("/")};
    auto *browse = child<QToolButton>("sbtnBrowse");
    browse->click();
    EXPECT_EQ(edit->text(), QStringLiteral("/kept/"));
    browse->click();
    EXPECT_EQ(edit->text(), QStringLiteral("/data/out/"));
    browse->click();
    EXPECT_EQ(edit->text(), QStringLiteral("/"));
    EXPECT_EQ(dialogs.pickFolderTitles.value(0), QStringLiteral("Select the output directory."));
    EXPECT_EQ(dialogs.owners.value(0), form.get());
}

TEST_F(SettingFormTest, TheProfilesTabLoadsTheOwnersProfileAndKeepsItForTheNextOpening)
{
    create();
    form->showProfiles(indexOf(Mp4));
    EXPECT_EQ(child<QTabWidget>("pgcSetting")->currentIndex(), 1);
    EXPECT_EQ(child<QComboBox>("cmbProfile")->currentText(), Mp4);
    EXPECT_EQ(form->grids().video.value(QStringLiteral("Video Codec")), QStringLiteral("H.264"));
    EXPECT_EQ(form->grids().advanced.value(QStringLiteral("Encoding Preset")), QStringLiteral("medium"));
    EXPECT_EQ(form->editors()->vleVideo()->height(), 18 * form->grids().video.rowCount());
    EXPECT_EQ(owner.reloads, 0);
    form->close();

    // The General tab shows last time's profile, whatever the owner chose since.
    owner.index = 0;
    form->showGeneral();
    EXPECT_EQ(child<QComboBox>("cmbProfile")->currentText(), Mp4);

    // Picking another profile in the list loads it.
    child<QComboBox>("cmbProfile")->setCurrentIndex(indexOf(QStringLiteral("WAV Audio")));
    ParameterGrids wav;
    LoadProfile(profilePath(QStringLiteral("WAV Audio")), wav, interactive);
    EXPECT_EQ(form->grids().video.names(), wav.video.names());
    EXPECT_EQ(form->grids().audio.names(), wav.audio.names());
    EXPECT_FALSE(form->grids().audio.value(QStringLiteral("Audio Codec")).isEmpty());
}

TEST_F(SettingFormTest, ReadOnlyTextIsSilverAndAPickedChoiceIsAValueOfTheList)
{
    create();
    form->showProfiles(indexOf(Mp4));
    ValueListGrid *advanced = form->editors()->vleAdvanced();
    QFont font = advanced->font();
    font.setStyleStrategy(QFont::NoAntialias);
    advanced->setFont(font);
    const auto darkest = [advanced](int row) {
        const QImage image = advanced->viewport()->grab().toImage();
        const QRect cell = advanced->visualRect(advanced->model()->index(row, 1)).adjusted(1, 1, -2, -2);
        QColor result = Qt::white;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                if (qGray(image.pixel(x, y)) < qGray(result.rgb()))
                    result = image.pixelColor(x, y);
            }
        }
        return result;
    };
    const ParameterGrid &grid = form->grids().advanced;
    EXPECT_EQ(darkest(grid.findRow(QStringLiteral("Pixel Format"))), QColor(192, 192, 192));
    EXPECT_EQ(darkest(grid.findRow(QStringLiteral("Encoding Preset"))), QColor(Qt::black));

    // A choice row edits through its list only.
    const int preset = grid.findRow(QStringLiteral("Encoding Preset"));
    QTest::mouseClick(advanced->viewport(), Qt::LeftButton, Qt::NoModifier,
                      advanced->visualRect(advanced->model()->index(preset, 1)).center());
    auto *combo = qobject_cast<QComboBox *>(advanced->currentEditor());
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->isEditable());
    ASSERT_TRUE(PickFromDropDown(combo, QStringLiteral("fast")));
    EXPECT_EQ(grid.valueAt(preset), QStringLiteral("fast"));
    // The read-only text row opens no editor.
    QTest::mouseClick(advanced->viewport(), Qt::LeftButton, Qt::NoModifier,
                      advanced->visualRect(advanced->model()->index(grid.findRow(QStringLiteral("Pixel Format")), 1))
                          .center());
    EXPECT_EQ(advanced->currentEditor(), nullptr);
}

TEST_F(SettingFormTest, OkWritesThePreferencesAndTheProfileAndReloadsOnlyTheSameProfile)
{
    owner.index = indexOf(Mp4);
    owner.folder = QStringLiteral("/old/");
    create();
    form->showProfiles(owner.index);
    child<QLineEdit>("edtOutputDir")->setText(QStringLiteral("/new/out/"));
    child<QComboBox>("cmbSyn")->setCurrentIndex(2);
    child<QRadioButton>("rdbRename")->click();
    form->grids().advanced.setValue(QStringLiteral("Encoding Preset"), QStringLiteral("fast"));
    form->grids().advanced.setValue(QStringLiteral("Pixel Format"), QStringLiteral("rgb24")); // read-only: kept

    child<QPushButton>("btnOK")->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(owner.window.isEnabled());
    EXPECT_EQ(owner.folder, QStringLiteral("/new/out/"));
    EXPECT_EQ(owner.reloads, 1);
    const QString prefs = QString::fromUtf8(contentOf(prefsPath()));
    for (const char *line : {"Output Path=/new/out/", "Syn Mode=2", "Auto Open Dir=1", "Auto Exit=0",
                             "Auto Turn Off=0", "Overwrite=0"})
        EXPECT_TRUE(prefs.contains(QString::fromLatin1(line))) << line;
    EXPECT_FALSE(prefs.contains(QStringLiteral("Profile=")));
    ParameterGrids reread;
    ASSERT_EQ(LoadProfile(profilePath(Mp4), reread, interactive), ProfileStatus::Loaded);
    EXPECT_EQ(reread.advanced.value(QStringLiteral("Encoding Preset")), QStringLiteral("fast"));
    EXPECT_EQ(reread.advanced.value(QStringLiteral("Pixel Format")), QStringLiteral("yuv420p"));

    // Another profile than the owner's: saved, and the owner loads nothing.
    form->showProfiles(indexOf(QStringLiteral("MKV H.264")));
    child<QPushButton>("btnOK")->click();
    EXPECT_EQ(owner.reloads, 1);
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(SettingFormTest, OkWithoutAProfileWritesOnlyThePreferences)
{
    create();
    QList<QByteArray> profiles;
    for (const QString &name : owner.items)
        profiles << contentOf(profilePath(name));
    form->showGeneral();
    child<QCheckBox>("chkTurnoff")->click();
    child<QPushButton>("btnOK")->click();
    EXPECT_TRUE(QString::fromUtf8(contentOf(prefsPath())).contains(QStringLiteral("Auto Turn Off=1")));
    for (qsizetype i = 0; i < owner.items.size(); ++i)
        EXPECT_EQ(contentOf(profilePath(owner.items[i])), profiles[i]) << owner.items[i].toStdString();
    // Both lists without a selection count as the same profile.
    EXPECT_EQ(owner.reloads, 1);
}

TEST_F(SettingFormTest, LoadDefaultAsksFirstAndWritesNothing)
{
    writeFile(prefsPath(), "[Main]\r\nOutput Path=/main/\r\nAuto Open Dir=1\r\nAuto Exit=1\r\nOverwrite=0\r\n");
    create();
    const QByteArray stored = contentOf(prefsPath());
    interactive.answer = false;
    child<QPushButton>("btnDefault")->click();
    EXPECT_EQ(interactive.messages,
              QStringList({"question|Load Default|Are you sure to load the default preferences?"}));
    EXPECT_EQ(child<QLineEdit>("edtOutputDir")->text(), QStringLiteral("/main/"));
    EXPECT_TRUE(child<QCheckBox>("chkExit")->isChecked());

    // No "Default" section: its own defaults, which leave the folder unopened.
    interactive.answer = true;
    child<QPushButton>("btnDefault")->click();
    EXPECT_EQ(child<QLineEdit>("edtOutputDir")->text(), folder.path());
    EXPECT_FALSE(child<QCheckBox>("chkOpenDir")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkExit")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("rdbOverWrite")->isChecked());
    EXPECT_EQ(contentOf(prefsPath()), stored);

    writeFile(prefsPath(), "[Main]\r\nOutput Path=/main/\r\n[Default]\r\nOutput Path=/default/\r\nSyn Mode=1\r\n"
                           "Auto Turn Off=1\r\nOverwrite=0\r\n");
    child<QPushButton>("btnDefault")->click();
    EXPECT_EQ(child<QLineEdit>("edtOutputDir")->text(), QStringLiteral("/default/"));
    EXPECT_EQ(child<QComboBox>("cmbSyn")->currentIndex(), 1);
    EXPECT_TRUE(child<QCheckBox>("chkTurnoff")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("rdbRename")->isChecked());
}

TEST_F(SettingFormTest, SaveAsOntoItsOwnSourceKeepsTheEditsThere)
{
    create();
    form->showProfiles(indexOf(Mp4));
    form->grids().video.setValue(QStringLiteral("Bit Rate"), QStringLiteral("2000 kbps"));
    dialogs.saveNames = {std::nullopt, profilePath(Mp4)};
    auto *saveAs = child<QPushButton>("btnSaveAs");
    const QByteArray before = contentOf(profilePath(Mp4));
    saveAs->click(); // cancelled
    EXPECT_EQ(contentOf(profilePath(Mp4)), before);
    EXPECT_EQ(dialogs.calls.value(0), QStringLiteral("saveFile|.apf|Profiles (*.apf)"));
    EXPECT_EQ(QDir(dialogs.saveFolders.value(0)), QDir(folder.filePath(QStringLiteral("Profiles"))));
    EXPECT_EQ(dialogs.owners.value(0), form.get());

    saveAs->click();
    ParameterGrids reread;
    LoadProfile(profilePath(Mp4), reread, interactive);
    EXPECT_EQ(reread.video.value(QStringLiteral("Bit Rate")), QStringLiteral("2000 kbps"));
    EXPECT_EQ(settingItems(), owner.items);
    EXPECT_EQ(owner.items, ProfileList(folder.path()));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(SettingFormTest, SaveAsIntoTheProfilesFolderListsTheNewProfileInBothListsAtOnce)
{
    owner.index = indexOf(Mp4);
    create();
    form->showProfiles(owner.index);
    form->grids().audio.setValue(QStringLiteral("Channels"), QStringLiteral("Mono"));
    const QByteArray source = contentOf(profilePath(Mp4));

    dialogs.saveNames = {folder.filePath(QStringLiteral("Profiles/mp4 mono.apf")),
                         folder.filePath(QStringLiteral("Profiles/A first.APF")),
                         folder.filePath(QStringLiteral("elsewhere.apf"))};
    for (int i = 0; i < 3; ++i)
        child<QPushButton>("btnSaveAs")->click();
    EXPECT_TRUE(interactive.messages.isEmpty());

    // Sorted as a new start would list them; the selections stay put.
    EXPECT_EQ(owner.items, ProfileList(folder.path()));
    EXPECT_TRUE(owner.items.contains(QStringLiteral("mp4 mono")));
    EXPECT_TRUE(owner.items.contains(QStringLiteral("A first")));
    EXPECT_FALSE(owner.items.contains(QStringLiteral("elsewhere")));
    EXPECT_EQ(settingItems(), owner.items);
    EXPECT_EQ(owner.profileText(), Mp4);
    EXPECT_EQ(child<QComboBox>("cmbProfile")->currentText(), Mp4);
    EXPECT_EQ(owner.reloads, 0);
    // The edits stay in the grids, and the source is unchanged.
    EXPECT_EQ(form->grids().audio.value(QStringLiteral("Channels")), QStringLiteral("Mono"));
    EXPECT_EQ(contentOf(profilePath(Mp4)), source);

    ParameterGrids copy;
    LoadProfile(profilePath(QStringLiteral("mp4 mono")), copy, interactive);
    EXPECT_EQ(copy.audio.value(QStringLiteral("Channels")), QStringLiteral("Mono"));
    EXPECT_TRUE(QFileInfo::exists(folder.filePath(QStringLiteral("elsewhere.apf"))));
}

TEST_F(SettingFormTest, ASaveAsThatCannotWriteReportsWhyAndChangesNothing)
{
    create();
    form->showProfiles(indexOf(Mp4));
    const QString blocked = folder.filePath(QStringLiteral("Profiles/Blocked.apf"));
    QDir().mkpath(blocked); // a folder stands where the file would go
    dialogs.saveNames = {folder.filePath(QStringLiteral("Profiles/missing/New.apf")), blocked};
    child<QPushButton>("btnSaveAs")->click();
    child<QPushButton>("btnSaveAs")->click();
    ASSERT_EQ(interactive.messages.size(), 2);
    EXPECT_TRUE(interactive.messages[0].startsWith(QStringLiteral("error||Cannot create file")));
    EXPECT_TRUE(interactive.messages[0].contains(QStringLiteral("New.apf")));
    EXPECT_TRUE(interactive.messages[1].contains(QStringLiteral("Blocked.apf")));
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("Profiles/missing"))));
    EXPECT_TRUE(QFileInfo(blocked).isDir());
    EXPECT_EQ(owner.items, settingItems());
    EXPECT_FALSE(owner.items.contains(QStringLiteral("Blocked")));
}

TEST_F(SettingFormTest, SaveAsWithoutAProfileCopiesAndReportsNothing)
{
    create();
    form->showGeneral();
    dialogs.saveNames = {folder.filePath(QStringLiteral("Profiles/Nothing.apf"))};
    child<QPushButton>("btnSaveAs")->click();
    EXPECT_EQ(dialogs.calls.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("Profiles/Nothing.apf"))));
    EXPECT_TRUE(interactive.messages.isEmpty());
    EXPECT_EQ(settingItems(), owner.items);
}

TEST_F(SettingFormTest, AReadOnlyProgramFolderKeepsTheUsersProfilesAndPreferencesInTheConfigurationFolder)
{
    ReadOnlyProgramFolder readOnly(folder.path());
    const QString own = readOnly.userFolder() + QStringLiteral("Profiles/");
    const QString shippedMp4 = folder.filePath(QStringLiteral("Profiles/") + Mp4 + QStringLiteral(".apf"));
    const QByteArray shipped = contentOf(shippedMp4);
    owner.index = indexOf(Mp4);
    create();
    form->showProfiles(owner.index);
    form->grids().advanced.setValue(QStringLiteral("Encoding Preset"), QStringLiteral("fast"));

    // "Save as..." offers the user's profiles folder, made for it, and lists
    // what is saved there.
    dialogs.saveNames = {own + QStringLiteral("Mine.apf")};
    child<QPushButton>("btnSaveAs")->click();
    EXPECT_EQ(QDir(dialogs.saveFolders.value(0)), QDir(own));
    EXPECT_TRUE(QFileInfo(own + QStringLiteral("Mine.apf")).isFile());
    EXPECT_TRUE(owner.items.contains(QStringLiteral("Mine")));
    EXPECT_EQ(owner.items, ProfileList(folder.path()));
    EXPECT_EQ(settingItems(), owner.items);

    // OK: the shipped profile stays as shipped; the user's copy of the same
    // name holds the edit and is the one loaded from now on.
    child<QPushButton>("btnOK")->click();
    EXPECT_EQ(contentOf(shippedMp4), shipped);
    EXPECT_EQ(profilePath(Mp4), own + Mp4 + QStringLiteral(".apf"));
    ParameterGrids reread;
    ASSERT_EQ(LoadProfile(profilePath(Mp4), reread, interactive), ProfileStatus::Loaded);
    EXPECT_EQ(reread.advanced.value(QStringLiteral("Encoding Preset")), QStringLiteral("fast"));
    EXPECT_EQ(owner.reloads, 1);
    EXPECT_EQ(ProfileList(folder.path()).count(Mp4), 1);
    EXPECT_TRUE(QFileInfo(readOnly.userFolder() + QStringLiteral("Preferences.ini")).isFile());
    EXPECT_FALSE(QFileInfo::exists(prefsPath()));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST(ProfileInsertPosition, KeepsTheProfileListOrder)
{
    const QStringList names{QStringLiteral("3GP"), QStringLiteral("avi"), QStringLiteral("MKV"),
                            QStringLiteral("mkv")};
    EXPECT_EQ(ProfileInsertPosition(names, QStringLiteral("AAC")), 1);
    EXPECT_EQ(ProfileInsertPosition(names, QStringLiteral("Avi2")), 2);
    EXPECT_EQ(ProfileInsertPosition(names, QStringLiteral("Mkv")), 3);
    EXPECT_EQ(ProfileInsertPosition(names, QStringLiteral("zz")), 4);
    EXPECT_EQ(ProfileInsertPosition({}, QStringLiteral("a")), 0);
    // A new profile goes among the sorted ones, before those listed last.
    const QStringList listedLast{QStringLiteral("GIF"), QStringLiteral("Copy")};
    const QStringList withLast = names + listedLast;
    EXPECT_EQ(ProfileInsertPosition(withLast, QStringLiteral("zz"), listedLast), 4);
    EXPECT_EQ(ProfileInsertPosition(withLast, QStringLiteral("Avi2"), listedLast), 2);
}

} // namespace
