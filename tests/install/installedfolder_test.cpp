// The profiles and preferences of an installed, read-only program folder, run
// by install_test.sh as an unprivileged user (permission bits do not stop
// root) with VANTORIX_INSTALLED_FOLDER naming the installed program folder and
// XDG_CONFIG_HOME an empty folder of that user's.
#include "profiles/parametergrid.h"
#include "profiles/preferences.h"
#include "profiles/profiles.h"
#include "profiles/userfolder.h"

#include "fakes/recorders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

QByteArray digest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

class InstalledFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        programFolder = qEnvironmentVariable("VANTORIX_INSTALLED_FOLDER");
        configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (programFolder.isEmpty() || configHome.isEmpty())
            GTEST_SKIP() << "run by install_test.sh against an installed program folder";
        ASSERT_TRUE(QFileInfo::exists(programFolder + QStringLiteral("vantorix")));
    }
    QString userFolder() const { return configHome + QStringLiteral("/Vantorix/"); }

    QString programFolder;
    QString configHome;
    RecordingInteractive interactive;
};

TEST_F(InstalledFolder, TheUsersFilesGoToTheConfigurationFolder)
{
    EXPECT_FALSE(IsProgramFolderWritable(programFolder));
    EXPECT_EQ(UserDataFolder(programFolder), userFolder());
    EXPECT_EQ(PreferencesPath(programFolder), userFolder() + QStringLiteral("Preferences.ini"));
    EXPECT_EQ(UserProfilesFolder(programFolder), userFolder() + QStringLiteral("Profiles/"));
    // Outputs must not default to the program folder nobody can write to.
    EXPECT_NE(DefaultOutputFolder(programFolder), programFolder);
    // No file was left behind by the writability test.
    EXPECT_EQ(QDir(programFolder).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("write-test")),
              QStringList());
}

TEST_F(InstalledFolder, StartUpReadsEverythingWithoutAMessageAndWritesNothing)
{
    // The window's start-up order: version, Settings window, main window.
    EXPECT_EQ(ReadVersion(programFolder, interactive), std::optional<QString>(QStringLiteral("3.0")));
    const auto general = LoadGeneralPreferences(programFolder, interactive);
    ASSERT_TRUE(general);
    EXPECT_EQ(general->outputPath, DefaultOutputFolder(programFolder));
    const QStringList profiles = ProfileList(programFolder);
    ASSERT_GE(profiles.size(), 10);
    const auto main = LoadMainPreferences(programFolder, static_cast<int>(profiles.size()), interactive);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->profileIndex, 0);

    // Every shipped profile loads and gives its engine options.
    for (const QString &name : profiles) {
        ParameterGrids grids;
        QString outputExt;
        const QString path = ProfilePath(programFolder, name);
        EXPECT_TRUE(path.startsWith(programFolder)) << path.toStdString();
        EXPECT_EQ(LoadProfile(path, grids, interactive, &outputExt), ProfileStatus::Loaded) << name.toStdString();
        EXPECT_FALSE(outputExt.isEmpty());
        EXPECT_TRUE(BuildParameterString(path, grids, interactive).has_value()) << name.toStdString();
    }
    EXPECT_EQ(interactive.messages, QStringList());
    EXPECT_FALSE(QFileInfo::exists(userFolder()));
}

TEST_F(InstalledFolder, PreferencesAndSavedProfilesLiveInTheConfigurationFolder)
{
    const QStringList shipped = ProfileList(programFolder);
    ASSERT_FALSE(shipped.isEmpty());

    // The main window's close: the file and its folder are made.
    MainPreferences main;
    main.outputPath = QStringLiteral("/videos/out/");
    main.profileIndex = 2;
    GeneralPreferences general;
    general.overwrite = false;
    ASSERT_TRUE(SaveMainPreferences(programFolder, main, general, interactive));
    EXPECT_TRUE(QFileInfo::exists(userFolder() + QStringLiteral("Preferences.ini")));
    EXPECT_FALSE(QFileInfo::exists(programFolder + QStringLiteral("Preferences.ini")));
    const auto read = LoadMainPreferences(programFolder, static_cast<int>(shipped.size()), interactive);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->outputPath, QStringLiteral("/videos/out/"));
    EXPECT_EQ(read->profileIndex, 2);
    EXPECT_FALSE(LoadGeneralPreferences(programFolder, interactive)->overwrite);

    // "Save as..." into the user's profiles folder: listed with the shipped ones.
    const QString source = ProfilePath(programFolder, shipped.first());
    const QByteArray shippedDigest = digest(source);
    ParameterGrids grids;
    ASSERT_EQ(LoadProfile(source, grids, interactive), ProfileStatus::Loaded);
    ASSERT_TRUE(QDir().mkpath(UserProfilesFolder(programFolder)));
    const QString mine = UserProfilesFolder(programFolder) + QStringLiteral("0 Mine.apf");
    ASSERT_TRUE(SaveProfileAs(source, mine, grids, interactive));
    QStringList expected = shipped;
    expected.prepend(QStringLiteral("0 Mine"));
    EXPECT_EQ(ProfileList(programFolder), expected);
    EXPECT_EQ(ProfilePath(programFolder, QStringLiteral("0 Mine")), mine);

    // OK on a shipped profile with a changed value: the user's copy of the same
    // name takes its place; the shipped file is untouched.
    // The first choice row of the profile moves to another choice.
    ParameterGrid *grid = nullptr;
    int row = -1;
    for (ParameterGrid *g : {&grids.video, &grids.audio, &grids.advanced}) {
        for (int r = 0; r < g->rowCount() && !grid; ++r) {
            if (g->pickList(r).size() >= 2) {
                grid = g;
                row = r;
            }
        }
    }
    ASSERT_NE(grid, nullptr);
    const QStringList choices = grid->pickList(row);
    const QString edited = grid->valueAt(row) == choices[0] ? choices[1] : choices[0];
    grid->setValueAt(row, edited);
    const QString writable = WritableProfilePath(programFolder, shipped.first());
    EXPECT_NE(writable, source);
    ASSERT_TRUE(SaveProfileTo(source, writable, grids, interactive));
    EXPECT_EQ(digest(source), shippedDigest);
    EXPECT_EQ(ProfilePath(programFolder, shipped.first()), writable);
    EXPECT_EQ(ProfileList(programFolder), expected); // each name once
    ParameterGrids reloaded;
    ASSERT_EQ(LoadProfile(ProfilePath(programFolder, shipped.first()), reloaded, interactive), ProfileStatus::Loaded);
    const ParameterGrid &again = grid == &grids.video ? reloaded.video
                                 : grid == &grids.audio ? reloaded.audio
                                                        : reloaded.advanced;
    EXPECT_EQ(again.valueAt(row), edited);

    EXPECT_EQ(interactive.messages, QStringList());
}

} // namespace
