// Preferences.ini: defaults, key orders, "Load Default", failures.
#include "profiles/preferences.h"

#include "fakes/recorders.h"
#include "filetext.h"
#include "readonlyfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

class PreferencesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        programFolder = dir.path() + QLatin1Char('/');
    }
    QByteArray fileContent() const { return readFile(PreferencesPath(programFolder)); }
    void setFile(const QStringList &lines) { writeFile(PreferencesPath(programFolder), crlf(lines)); }

    QTemporaryDir dir;
    QString programFolder;
    RecordingInteractive interactive;
};

TEST_F(PreferencesTest, FirstRunWithoutAFile)
{
    // Start-up: the version, the Settings window's values, the main window's.
    EXPECT_EQ(ReadVersion(programFolder, interactive), std::optional<QString>(QStringLiteral("3.0")));
    EXPECT_EQ(fileContent(), QByteArray("<missing>")); // reading writes nothing
    const auto general = LoadGeneralPreferences(programFolder, interactive);
    ASSERT_TRUE(general);
    EXPECT_EQ(general->outputPath, programFolder);
    EXPECT_EQ(general->synMode, 0);
    EXPECT_TRUE(general->openDir);
    EXPECT_FALSE(general->exitProgram);
    EXPECT_FALSE(general->turnOff);
    EXPECT_TRUE(general->overwrite);
    const auto main = LoadMainPreferences(programFolder, 3, interactive);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->outputPath, programFolder);
    EXPECT_EQ(main->profileIndex, 0);

    // Close: every key is new, so each goes directly under the header.
    ASSERT_TRUE(SaveMainPreferences(programFolder, *main, *general, interactive));
    EXPECT_EQ(fileContent(), crlf({"[Main]", "Overwrite=1", "Auto Turn Off=0", "Auto Exit=0", "Auto Open Dir=1",
                                   "Syn Mode=0", "Output Path=" + programFolder, "Profile=0"}));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(PreferencesTest, OutputFolderWithBracketsSurvivesCloseAndStart)
{
    // The close after a first run, then the next start, then another close.
    GeneralPreferences general;
    general.exitProgram = true;
    general.overwrite = false;
    const MainPreferences main{QStringLiteral("/videos/a[1]/"), 2};
    ASSERT_TRUE(SaveMainPreferences(programFolder, main, general, interactive));

    const auto loadedGeneral = LoadGeneralPreferences(programFolder, interactive);
    ASSERT_TRUE(loadedGeneral);
    EXPECT_EQ(loadedGeneral->outputPath, QStringLiteral("/videos/a[1]/"));
    EXPECT_TRUE(loadedGeneral->exitProgram);
    EXPECT_FALSE(loadedGeneral->overwrite);
    const auto loadedMain = LoadMainPreferences(programFolder, 3, interactive);
    ASSERT_TRUE(loadedMain);
    EXPECT_EQ(loadedMain->outputPath, QStringLiteral("/videos/a[1]/"));
    EXPECT_EQ(loadedMain->profileIndex, 2);

    const QByteArray first = fileContent();
    ASSERT_TRUE(SaveMainPreferences(programFolder, *loadedMain, *loadedGeneral, interactive));
    EXPECT_EQ(fileContent(), first); // every key found again in place, none doubled
    EXPECT_EQ(fileContent().count("Output Path="), 1);
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(PreferencesTest, WithoutProfilesTheProfileIsNotReadAndMinusOneIsWritten)
{
    setFile({"[Main]", "Profile=2"});
    const auto main = LoadMainPreferences(programFolder, 0, interactive);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->profileIndex, -1);
    ASSERT_TRUE(SaveMainPreferences(programFolder, *main, GeneralPreferences{}, interactive));
    EXPECT_TRUE(fileContent().contains("\r\nProfile=-1\r\n"));
}

TEST_F(PreferencesTest, StoredProfileOutsideTheListFallsBackToTheFirst)
{
    // 3 profiles: positions 0 to 2; 3, the count itself, is outside as well.
    for (const char *stored : {"5", "-1", "junk", "3", "2"}) {
        setFile({"[Main]", QStringLiteral("Profile=") + QLatin1String(stored)});
        const auto main = LoadMainPreferences(programFolder, 3, interactive);
        ASSERT_TRUE(main);
        EXPECT_EQ(main->profileIndex, QByteArray(stored) == "2" ? 2 : 0) << stored;
    }
}

TEST_F(PreferencesTest, ExistingKeysAreReadAndRewrittenInPlace)
{
    setFile({"[Main]", "Version=3.1 beta", "Profile=1", "Output Path=/videos/out/", "Syn Mode=2",
             "Auto Open Dir=0", "Auto Exit=True", "Auto Turn Off=false", "Overwrite=0"});
    EXPECT_EQ(ReadVersion(programFolder, interactive), std::optional<QString>(QStringLiteral("3.1 beta")));
    const auto general = LoadGeneralPreferences(programFolder, interactive);
    ASSERT_TRUE(general);
    EXPECT_EQ(general->outputPath, QStringLiteral("/videos/out/"));
    EXPECT_EQ(general->synMode, 2);
    EXPECT_FALSE(general->openDir);
    EXPECT_TRUE(general->exitProgram);
    EXPECT_FALSE(general->turnOff);
    EXPECT_FALSE(general->overwrite);
    const auto main = LoadMainPreferences(programFolder, 2, interactive);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->profileIndex, 1);

    // The Settings window's OK: no "Profile"; the Settings window's own path.
    GeneralPreferences changed = *general;
    changed.outputPath = QStringLiteral("/elsewhere/");
    changed.turnOff = true;
    ASSERT_TRUE(SaveGeneralPreferences(programFolder, changed, interactive));
    EXPECT_EQ(fileContent(), crlf({"[Main]", "Version=3.1 beta", "Profile=1", "Output Path=/elsewhere/",
                                   "Syn Mode=2", "Auto Open Dir=0", "Auto Exit=1", "Auto Turn Off=1",
                                   "Overwrite=0"}));

    // The main window's close writes its own output folder.
    ASSERT_TRUE(SaveMainPreferences(programFolder, MainPreferences{QStringLiteral("/main/"), 0}, changed,
                                    interactive));
    EXPECT_EQ(fileContent(), crlf({"[Main]", "Version=3.1 beta", "Profile=0", "Output Path=/main/", "Syn Mode=2",
                                   "Auto Open Dir=0", "Auto Exit=1", "Auto Turn Off=1", "Overwrite=0"}));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(PreferencesTest, LoadDefaultReadsItsOwnSectionAndWritesNothing)
{
    setFile({"[Main]", "Auto Open Dir=1", "Output Path=/main/"});
    auto defaults = LoadDefaultPreferences(programFolder, interactive);
    ASSERT_TRUE(defaults);
    // Unlike "Main", "Auto Open Dir" defaults to false here.
    EXPECT_FALSE(defaults->openDir);
    EXPECT_EQ(defaults->outputPath, programFolder);
    EXPECT_TRUE(defaults->overwrite);
    EXPECT_FALSE(defaults->exitProgram);

    setFile({"[Main]", "Auto Open Dir=0", "[Default]", "Output Path=/default/", "Syn Mode=1", "Auto Open Dir=1",
             "Auto Exit=1", "Auto Turn Off=1", "Overwrite=0"});
    const QByteArray before = fileContent();
    defaults = LoadDefaultPreferences(programFolder, interactive);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->outputPath, QStringLiteral("/default/"));
    EXPECT_EQ(defaults->synMode, 1);
    EXPECT_TRUE(defaults->openDir);
    EXPECT_TRUE(defaults->exitProgram);
    EXPECT_TRUE(defaults->turnOff);
    EXPECT_FALSE(defaults->overwrite);
    EXPECT_EQ(fileContent(), before);
}

TEST_F(PreferencesTest, AFailedWriteLosesNoValueReadAndIsReportedOnce)
{
    const QByteArray stored = crlf({"[Main]", "Profile=2", "Output Path=/videos/", "Syn Mode=1", "Auto Open Dir=0",
                                    "Auto Exit=1", "Auto Turn Off=0", "Overwrite=0"});
    writeFile(PreferencesPath(programFolder), stored);
    FileSizeLimit limit(16); // no file can be written from here on
    ASSERT_TRUE(limit.active());

    const auto general = LoadGeneralPreferences(programFolder, interactive);
    ASSERT_TRUE(general);
    EXPECT_EQ(general->outputPath, QStringLiteral("/videos/"));
    EXPECT_EQ(general->synMode, 1);
    EXPECT_TRUE(general->exitProgram);
    EXPECT_FALSE(general->overwrite);
    const auto main = LoadMainPreferences(programFolder, 3, interactive);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->profileIndex, 2);
    EXPECT_EQ(main->outputPath, QStringLiteral("/videos/"));
    EXPECT_EQ(ReadVersion(programFolder, interactive), std::optional<QString>(QStringLiteral("3.0")));
    EXPECT_TRUE(interactive.messages.isEmpty());

    // Saving the same values writes nothing; a change fails, once, by name.
    EXPECT_TRUE(SaveMainPreferences(programFolder, *main, *general, interactive));
    EXPECT_TRUE(interactive.messages.isEmpty());
    MainPreferences changed = *main;
    changed.profileIndex = 0;
    EXPECT_FALSE(SaveMainPreferences(programFolder, changed, *general, interactive));
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages[0].contains(QStringLiteral("Preferences.ini")));
    EXPECT_EQ(fileContent(), stored);
}

TEST_F(PreferencesTest, MissingFolderReadsDefaultsAndReportsTheWrite)
{
    // Taken as writable, but gone: writing really fails there.
    const QString missing = programFolder + QStringLiteral("gone/");
    SetFolderWritableTest([](const QString &) { return true; });
    EXPECT_EQ(ReadVersion(missing, interactive), std::optional<QString>(QStringLiteral("3.0")));
    const auto general = LoadGeneralPreferences(missing, interactive);
    ASSERT_TRUE(general);
    EXPECT_EQ(general->outputPath, missing);
    EXPECT_TRUE(interactive.messages.isEmpty());
    EXPECT_FALSE(SaveGeneralPreferences(missing, *general, interactive));
    SetFolderWritableTest({});
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages[0].contains(QStringLiteral("Preferences.ini")));
}

TEST_F(PreferencesTest, ReadOnlyProgramFolderKeepsThemInTheConfigurationFolder)
{
    // A Preferences.ini shipped in the program folder starts every user's own.
    const QString shippedPath = programFolder + QStringLiteral("Preferences.ini");
    const QByteArray shipped =
        crlf({"[Main]", "Version=3.2", "Auto Exit=1", "[Default]", "Output Path=/shared/videos/", "Overwrite=0"});
    writeFile(shippedPath, shipped);
    ReadOnlyProgramFolder readOnly(programFolder);
    const QString own = readOnly.userFolder() + QStringLiteral("Preferences.ini");
    EXPECT_EQ(PreferencesPath(programFolder), own);

    EXPECT_EQ(ReadVersion(programFolder, interactive), std::optional<QString>(QStringLiteral("3.2")));
    const auto general = LoadGeneralPreferences(programFolder, interactive);
    ASSERT_TRUE(general);
    EXPECT_TRUE(general->exitProgram);
    // No writable default output folder is the program folder.
    EXPECT_EQ(general->outputPath, DefaultOutputFolder(programFolder));
    EXPECT_NE(general->outputPath, programFolder);
    EXPECT_EQ(LoadDefaultPreferences(programFolder, interactive)->outputPath, QStringLiteral("/shared/videos/"));
    EXPECT_FALSE(QFile::exists(own)); // read, not written

    // The first write makes the folder and the user's file, seeded from the
    // shipped one; the shipped file stays as it was.
    MainPreferences main;
    main.outputPath = QStringLiteral("/mine/");
    main.profileIndex = 1;
    ASSERT_TRUE(SaveMainPreferences(programFolder, main, *general, interactive));
    EXPECT_EQ(readFile(shippedPath), shipped);
    const QByteArray written = readFile(own);
    EXPECT_TRUE(written.contains("Version=3.2\r\n")) << written.constData();
    EXPECT_TRUE(written.contains("Output Path=/shared/videos/\r\n")) << written.constData();
    EXPECT_TRUE(written.contains("Output Path=/mine/\r\n")) << written.constData();

    // From then on the user's file is the one read.
    writeFile(shippedPath, crlf({"[Main]", "Output Path=/changed/shipped/"}));
    EXPECT_EQ(LoadMainPreferences(programFolder, 3, interactive)->outputPath, QStringLiteral("/mine/"));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

// Points HOME at a folder of its own while it lives.
class TemporaryHome final
{
public:
    TemporaryHome()
        : m_old(qgetenv("HOME"))
        , m_had(qEnvironmentVariableIsSet("HOME"))
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
    }
    ~TemporaryHome()
    {
        if (m_had)
            qputenv("HOME", m_old);
        else
            qunsetenv("HOME");
    }
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;
    QString path() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
    QByteArray m_old;
    bool m_had;
};

TEST_F(PreferencesTest, ReadOnlyProgramFolderWithoutAVideosFolderOutputsToTheHomeFolder)
{
    ReadOnlyProgramFolder readOnly(programFolder); // also hides the user's own folder settings
    TemporaryHome home;
    const QString homeFolder = QDir::toNativeSeparators(home.path()) + QLatin1Char('/');
    EXPECT_EQ(DefaultOutputFolder(programFolder), homeFolder);
    const auto main = LoadMainPreferences(programFolder, 1, interactive);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->outputPath, homeFolder);
    EXPECT_EQ(LoadGeneralPreferences(programFolder, interactive)->outputPath, homeFolder);

    // Once there is a Videos folder, that is the one.
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("Videos")));
    EXPECT_EQ(DefaultOutputFolder(programFolder),
              QDir::toNativeSeparators(home.path() + QStringLiteral("/Videos/")));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

} // namespace

namespace {

// "Jobs": how many conversions at once, held within 1 to the number of cores,
// and written only once it was ever other than 1.
TEST_F(PreferencesTest, SimultaneousConversionsFallBackIntoRangeAndAreKeptOnceChosen)
{
    const struct
    {
        const char *stored;
        int read;
    } cases[] = {{"Jobs=2", std::min(2, MaxJobs())}, {"Jobs=0", 1}, {"Jobs=-3", 1}, {"Jobs=two", 1},
                 {"Jobs=100000", MaxJobs()}, {"Jobs=", 1}};
    for (const auto &c : cases) {
        setFile({"[Main]", QLatin1String(c.stored)});
        EXPECT_EQ(LoadGeneralPreferences(programFolder, interactive)->jobs, c.read) << c.stored;
    }

    // Never chosen: the file keeps the keys it always had.
    setFile({"[Main]", "Overwrite=1"});
    GeneralPreferences general;
    ASSERT_TRUE(SaveGeneralPreferences(programFolder, general, interactive));
    EXPECT_FALSE(fileContent().contains("Jobs"));
    if (MaxJobs() < 2)
        return; // one core: nothing else to choose
    // Chosen, then back to one: the one is kept too.
    general.jobs = MaxJobs();
    ASSERT_TRUE(SaveMainPreferences(programFolder, MainPreferences{}, general, interactive));
    EXPECT_TRUE(fileContent().contains(QStringLiteral("\r\nJobs=%1\r\n").arg(MaxJobs()).toUtf8()));
    general.jobs = 1;
    ASSERT_TRUE(SaveGeneralPreferences(programFolder, general, interactive));
    EXPECT_TRUE(fileContent().contains("\r\nJobs=1\r\n"));
    EXPECT_EQ(LoadGeneralPreferences(programFolder, interactive)->jobs, 1);
    EXPECT_TRUE(interactive.messages.isEmpty());
}

} // namespace

namespace {

// "Split Minutes": the length past which a file converts in segments, 0 (off)
// unless chosen, held within 0 to a day, and written only once chosen.
TEST_F(PreferencesTest, SplitMinutesAreOffUnlessChosenAndKeptOnceChosen)
{
    const struct
    {
        const char *stored;
        int read;
    } cases[] = {{"Split Minutes=30", 30}, {"Split Minutes=-1", 0}, {"Split Minutes=x", 0},
                 {"Split Minutes=99999", MaxSplitMinutes}, {"Overwrite=1", 0}};
    for (const auto &c : cases) {
        setFile({"[Main]", QLatin1String(c.stored)});
        EXPECT_EQ(LoadGeneralPreferences(programFolder, interactive)->splitMinutes, c.read) << c.stored;
    }
    setFile({"[Main]", "Overwrite=1"});
    GeneralPreferences general;
    ASSERT_TRUE(SaveGeneralPreferences(programFolder, general, interactive));
    EXPECT_FALSE(fileContent().contains("Split"));
    general.splitMinutes = 45;
    ASSERT_TRUE(SaveGeneralPreferences(programFolder, general, interactive));
    EXPECT_TRUE(fileContent().contains("\r\nSplit Minutes=45\r\n"));
    general.splitMinutes = 0;
    ASSERT_TRUE(SaveGeneralPreferences(programFolder, general, interactive));
    EXPECT_TRUE(fileContent().contains("\r\nSplit Minutes=0\r\n"));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

} // namespace
