// Profiles: the list, loading into the grids, the parameter string, saving.
#include "profiles/profiles.h"

#include "fakes/recorders.h"
#include "filetext.h"
#include "readonlyfolder.h"
#include "profiles/newinifile.h"
#include "profiles/parametergrid.h"
#include "profiles/preferences.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <random>

namespace {

// A profile of six parameters in three grids: Video Size (list, Video),
// Quality (free text, Audio), Pixel Format (free text, read-only), Bit Exact
// (switch alone), Note (no switch), Aspect (list, Video after Advanced).
const QStringList SampleProfile = {
    "[Main]", "Type=avi", "Para=6",
    "0=Video Size", "1=Quality", "2=Pixel Format", "3=Bit Exact", "4=Note", "5=Aspect",
    "[Video Size]", "Sort=1", "List=1", "Caption=Original Size,Custom Size,320x240,640x480,",
    "Value=,,320x240,640x480,", "Index=2", "cmd=-s",
    "[Quality]", "Sort=2", "List=0", "Caption=5", "Value=5", "cmd=-q:a",
    "[Pixel Format]", "Sort=3", "ReadOnly=1", "List=0", "Caption=shown", "Value=yuv420p", "cmd=-pix_fmt",
    "[Bit Exact]", "Sort=3", "Caption=No,Yes,", "Value=,\\,", "Index=1", "cmd=-bitexact",
    "[Note]", "Sort=3", "List=0", "Caption=anything",
    "[Aspect]", "Sort=1", "Caption=Original,16:9,", "Value=,16:9,", "Index=1", "cmd=-aspect",
};

class ProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        programFolder = dir.path() + QLatin1Char('/');
        ASSERT_TRUE(QDir().mkpath(ProfilesFolder(programFolder)));
    }

    QString writeProfile(const QString &name, const QStringList &lines)
    {
        const QString path = ProfilePath(programFolder, name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(crlf(lines));
        return path;
    }

    QString build(const QString &path)
    {
        const auto params = BuildParameterString(path, grids, interactive);
        EXPECT_TRUE(params.has_value()) << interactive.messages.join(QLatin1Char('\n')).toStdString();
        return params.value_or(QStringLiteral("<failed>"));
    }

    QTemporaryDir dir;
    QString programFolder;
    ParameterGrids grids;
    RecordingInteractive interactive;
};

TEST(SplitList, ItemsAreFollowedByACommaAndNotTrimmed)
{
    const std::pair<const char *, QStringList> cases[] = {
        {"a,b,c,", {"a", "b", "c"}},
        {"a,b,c", {"a", "b"}},
        {"abc", {}},
        {"", {}},
        {",,", {"", ""}},
        {",\\,", {"", "\\"}},
        {" a , b,", {" a ", " b"}},
    };
    for (const auto &[text, items] : cases)
        EXPECT_EQ(SplitList(QString::fromLatin1(text)), items) << text;
}

TEST_F(ProfileTest, ProfileListIsSortedIgnoringCaseAndHoldsOnlyProfiles)
{
    for (const char *name : {"b.apf", "A.apf", "c.APF", "a.b.apf", "notes.txt", "apf", "Z.apf.bak"})
        QFile(ProfilesFolder(programFolder) + QString::fromLatin1(name)).open(QIODevice::WriteOnly);
    QDir().mkpath(ProfilesFolder(programFolder) + QStringLiteral("folder.apf"));
    EXPECT_EQ(ProfileList(programFolder),
              (QStringList{QStringLiteral("A"), QStringLiteral("a.b"), QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_EQ(ProfileList(dir.filePath(QStringLiteral("nowhere/"))), QStringList());
}

// Preferences.ini keeps the position of the chosen profile: profiles that a
// later version ships are listed after the earlier ones instead of among them.
TEST_F(ProfileTest, ProfilesListedLastFollowTheOthersInTheirOwnOrder)
{
    for (const char *name : {"b.apf", "A.apf", "New Two.apf", "Mine.apf", "new one.apf"})
        QFile(ProfilesFolder(programFolder) + QString::fromLatin1(name)).open(QIODevice::WriteOnly);
    const QStringList sorted{"A", "b", "Mine", "new one", "New Two"};
    EXPECT_EQ(ProfileList(programFolder), sorted); // no list file: all sorted

    QFile list(ProfilesFolder(programFolder) + QLatin1String(ListedLastFileName));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("# shipped later\n\nNew Two\r\n  new one  \nGone\n");
    list.close();
    EXPECT_EQ(ListedLastProfiles(programFolder), (QStringList{"New Two", "new one", "Gone"}));
    // A name listed there that has no file is not listed.
    EXPECT_EQ(ProfileList(programFolder), (QStringList{"A", "b", "Mine", "New Two", "new one"}));
}

TEST_F(ProfileTest, PathsJoinUnderTheProgramFolder)
{
    EXPECT_EQ(ProfilePath(QStringLiteral("/opt/v/"), QStringLiteral("MP4")), QStringLiteral("/opt/v/Profiles/MP4.apf"));
    EXPECT_EQ(ProfilePath(QStringLiteral("/opt/v"), QStringLiteral("MP4")), QStringLiteral("/opt/v/Profiles/MP4.apf"));
    EXPECT_EQ(ProfileName(QStringLiteral("/x/MP4 for Phones.apf")), QStringLiteral("MP4 for Phones"));
    EXPECT_EQ(ProfileName(QStringLiteral("/x/clip.part1.apf")), QStringLiteral("clip.part1"));
}

TEST_F(ProfileTest, LoadFillsTheGridsAndTheOutputExtension)
{
    const QString path = writeProfile(QStringLiteral("Sample"), SampleProfile);
    const QByteArray before = readFile(path);
    QString outputExt;
    EXPECT_EQ(LoadProfile(path, grids, interactive, &outputExt), ProfileStatus::Loaded);
    EXPECT_EQ(outputExt, QStringLiteral(".avi"));
    EXPECT_TRUE(interactive.messages.isEmpty());

    EXPECT_EQ(grids.video.names(), (QStringList{QStringLiteral("Video Size"), QStringLiteral("Aspect")}));
    EXPECT_EQ(grids.audio.names(), QStringList{QStringLiteral("Quality")});
    EXPECT_EQ(grids.advanced.names(),
              (QStringList{QStringLiteral("Pixel Format"), QStringLiteral("Bit Exact"), QStringLiteral("Note")}));

    EXPECT_EQ(grids.video.valueAt(0), QStringLiteral("320x240"));
    EXPECT_TRUE(grids.video.isPickList(0));
    EXPECT_TRUE(grids.video.isReadOnly(0)); // a list row changes only by picking
    EXPECT_EQ(grids.video.pickList(0).size(), 4);
    EXPECT_EQ(grids.audio.valueAt(0), QStringLiteral("5"));
    EXPECT_FALSE(grids.audio.isReadOnly(0));
    EXPECT_FALSE(grids.audio.isPickList(0));
    EXPECT_EQ(grids.advanced.valueAt(0), QStringLiteral("shown"));
    EXPECT_TRUE(grids.advanced.isReadOnly(0));
    EXPECT_EQ(grids.advanced.valueAt(1), QStringLiteral("Yes"));

    // Loading changes nothing in the file (it is rewritten as it was).
    EXPECT_EQ(readFile(path), before);

    // The Settings window's load leaves the output extension alone.
    ParameterGrids settings;
    EXPECT_EQ(LoadProfile(path, settings, interactive), ProfileStatus::Loaded);
    EXPECT_EQ(settings.video.valueAt(0), QStringLiteral("320x240"));
}

TEST_F(ProfileTest, MissingFileChangesNothing)
{
    QString outputExt = QStringLiteral(".keep");
    grids.video.setValue(QStringLiteral("Video Codec"), QStringLiteral("kept"));
    const QString path = ProfilePath(programFolder, QStringLiteral("Gone"));
    EXPECT_EQ(LoadProfile(path, grids, interactive, &outputExt), ProfileStatus::Missing);
    EXPECT_EQ(outputExt, QStringLiteral(".keep"));
    EXPECT_EQ(grids.video.value(QStringLiteral("Video Codec")), QStringLiteral("kept"));
    EXPECT_EQ(BuildParameterString(path, grids, interactive), std::optional<QString>(QString()));
    EXPECT_TRUE(SaveProfileAs(path, ProfilePath(programFolder, QStringLiteral("Copy")), grids, interactive));
    EXPECT_FALSE(QFile::exists(ProfilePath(programFolder, QStringLiteral("Copy"))));
    EXPECT_TRUE(SaveProfile(path, grids, interactive));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

// What [Main] gives or leaves out: a file that leaves something out takes its
// default and converts; only a Type that would put the output elsewhere, or
// positions that name no parameter, are problems.
struct MainCase
{
    const char *what;
    QStringList lines; // the file's lines before the parameter's own section
    const char *fault; // the problem reported, or none
    const char *outputExt;
    const char *params;
};

void PrintTo(const MainCase &c, std::ostream *os)
{
    *os << c.what;
}

class MainSection : public ProfileTest, public ::testing::WithParamInterface<MainCase>
{
};

TEST_P(MainSection, TakesDefaultsAndRefusesOnlyWhatIsUnsafe)
{
    const MainCase &c = GetParam();
    const QString path = writeProfile(QStringLiteral("Bad"), c.lines + QStringList{"[Codec]", "Sort=1",
                                                                                  "Caption=H.264,", "Value=libx264,",
                                                                                  "cmd=-vcodec"});
    const QStringList message =
        c.fault ? QStringList{QStringLiteral("warning|Malformed profile|The profile \"Bad\" is malformed.\n")
                              + QString::fromUtf8(c.fault)}
                : QStringList{};

    QString outputExt = QStringLiteral(".keep");
    EXPECT_EQ(LoadProfile(path, grids, interactive, &outputExt),
              c.fault ? ProfileStatus::Malformed : ProfileStatus::Loaded);
    EXPECT_EQ(interactive.messages, message);
    // No file name ever gets an extension that leads out of its folder.
    EXPECT_EQ(outputExt, QString::fromUtf8(c.outputExt));

    interactive.messages.clear();
    const std::optional<QString> params = BuildParameterString(path, grids, interactive);
    EXPECT_EQ(params, c.fault ? std::nullopt : std::optional<QString>(QString::fromUtf8(c.params)));
    EXPECT_EQ(interactive.messages, message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainSection,
    ::testing::Values(
        MainCase{"no Main", {"[Other]", "Type=avi", "0=Codec"}, nullptr, ".mp4", ""},
        MainCase{"Para 0", {"[Main]", "Type=mkv", "Para=0", "0=Codec"}, nullptr, ".mkv", ""},
        MainCase{"Para -3", {"[Main]", "Type=mkv", "Para=-3", "0=Codec"}, nullptr, ".mkv", ""},
        MainCase{"Para not a number", {"[Main]", "Type=mkv", "Para=one", "0=Codec"}, nullptr, ".mkv", ""},
        MainCase{"Para missing", {"[Main]", "Type=mkv", "0=Codec"}, nullptr, ".mkv", ""},
        MainCase{"Type missing", {"[Main]", "Para=1", "0=Codec"}, nullptr, ".mp4", " -vcodec libx264"},
        MainCase{"Type with blanks around", {"[Main]", "Type= mkv ", "Para=1", "0=Codec"}, nullptr, ".mkv",
                 " -vcodec libx264"},
        MainCase{"Type with a dot", {"[Main]", "Type=tar.gz", "Para=1", "0=Codec"}, nullptr, ".tar.gz",
                 " -vcodec libx264"},
        MainCase{"Type empty", {"[Main]", "Type=", "Para=1", "0=Codec"}, "\"Type\" is empty.", ".keep", ""},
        MainCase{"Type blank", {"[Main]", "Type=  ", "Para=1", "0=Codec"}, "\"Type\" is empty.", ".keep", ""},
        MainCase{"Type with a slash", {"[Main]", "Type=../x", "Para=1", "0=Codec"},
                 "\"Type\" cannot be a file extension: \"../x\".", ".keep", ""},
        MainCase{"Type of two dots", {"[Main]", "Type=..", "Para=1", "0=Codec"},
                 "\"Type\" cannot be a file extension: \"..\".", ".keep", ""},
        MainCase{"Type with a backslash", {"[Main]", "Type=a\\b", "Para=1", "0=Codec"},
                 "\"Type\" cannot be a file extension: \"a\\b\".", ".keep", ""},
        MainCase{"Para past the names", {"[Main]", "Type=mkv", "Para=2", "0=Codec"},
                 "Parameter 1 has no name in [Main].", ".mkv", ""}),
    [](const auto &info) {
        std::string name;
        for (const char *c = info.param.what; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST_F(ProfileTest, RandomBytesAreAProfileOfDefaults)
{
    std::mt19937 rng(31337);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i)
        bytes += char(byte(rng));
    const QString path = ProfilePath(programFolder, QStringLiteral("Noise"));
    writeFile(path, bytes);

    QString outputExt;
    EXPECT_EQ(LoadProfile(path, grids, interactive, &outputExt), ProfileStatus::Loaded);
    EXPECT_EQ(outputExt, QStringLiteral(".mp4"));
    EXPECT_EQ(grids.video.rowCount() + grids.audio.rowCount() + grids.advanced.rowCount(), 0);
    EXPECT_EQ(BuildParameterString(path, grids, interactive), std::optional<QString>(QString()));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(ProfileTest, BracketsInValuesAndNamesAreKept)
{
    const QString path = writeProfile(
        QStringLiteral("Brackets"),
        {"[Main]", "Type=mp4", "Para=3", "0=Crop", "1=Size [px]", "2=Map",
         "[Crop]", "Sort=1", "Caption=None,Crop [4:3],", "Value=,crop=ih*4/3:ih,", "Index=1", "cmd=-vf",
         "[Size [px]]", "Sort=1", "List=0", "Caption=[640]", "cmd=-s",
         "[Map]", "Sort=3", "ReadOnly=1", "List=0", "Caption=first video", "Value=[0:v]", "cmd=-map"});
    EXPECT_EQ(LoadProfile(path, grids, interactive), ProfileStatus::Loaded);
    EXPECT_EQ(grids.video.names(), (QStringList{QStringLiteral("Crop"), QStringLiteral("Size [px]")}));
    EXPECT_EQ(grids.video.value(QStringLiteral("Crop")), QStringLiteral("Crop [4:3]"));
    EXPECT_EQ(grids.video.value(QStringLiteral("Size [px]")), QStringLiteral("[640]"));
    EXPECT_EQ(grids.advanced.names(), QStringList{QStringLiteral("Map")});
    EXPECT_EQ(build(path), QStringLiteral(" -vf crop=ih*4/3:ih -s [640] -map [0:v]"));

    // Saved and loaded again, nothing is lost or doubled.
    grids.video.setValue(QStringLiteral("Size [px]"), QStringLiteral("[320]"));
    ASSERT_TRUE(SaveProfile(path, grids, interactive));
    EXPECT_EQ(readFile(path).count("Caption="), 3);
    ParameterGrids again;
    EXPECT_EQ(LoadProfile(path, again, interactive), ProfileStatus::Loaded);
    EXPECT_EQ(again.video.value(QStringLiteral("Size [px]")), QStringLiteral("[320]"));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(ProfileTest, ParameterStringFollowsTheProfileOrderAcrossGrids)
{
    const QString path = writeProfile(QStringLiteral("Sample"), SampleProfile);
    LoadProfile(path, grids, interactive);
    // Read-only free text passes its Value, not the shown Caption; "\" passes
    // the switch alone; a parameter without a switch passes nothing.
    EXPECT_EQ(build(path), QStringLiteral(" -s 320x240 -q:a 5 -pix_fmt yuv420p -bitexact  -aspect 16:9"));

    grids.video.setValue(QStringLiteral("video size"), QStringLiteral("Original Size"));
    grids.advanced.setValue(QStringLiteral("Bit Exact"), QStringLiteral("No"));
    grids.audio.setValue(QStringLiteral("Quality"), QStringLiteral("2"));
    grids.advanced.setValue(QStringLiteral("Pixel Format"), QStringLiteral("typed over"));
    EXPECT_EQ(build(path), QStringLiteral(" -q:a 2 -pix_fmt yuv420p -aspect 16:9"));

    // A value that is not a choice (a custom size) is passed as it stands;
    // choices match ignoring letter case.
    grids.video.setValue(QStringLiteral("Video Size"), QStringLiteral("640x-5"));
    grids.advanced.setValue(QStringLiteral("Bit Exact"), QStringLiteral("yes"));
    grids.audio.setValue(QStringLiteral("Quality"), QString());
    EXPECT_EQ(build(path), QStringLiteral(" -s 640x-5 -pix_fmt yuv420p -bitexact  -aspect 16:9"));
}

TEST_F(ProfileTest, SortOutsideTheGridsFollowsThePreviousParameter)
{
    const QString path = writeProfile(
        QStringLiteral("Sorts"),
        {"[Main]", "Type=mp4", "Para=4", "0=First", "1=Second", "2=Third", "3=Fourth", "[First]", "Sort=0", "List=0",
         "Caption=1", "[Second]", "Sort=9", "List=0", "Caption=2", "cmd=-two", "[Third]", "Sort=2", "List=0",
         "Caption=3", "[Fourth]", "List=0", "Caption=4", "cmd=-four"});
    EXPECT_EQ(LoadProfile(path, grids, interactive), ProfileStatus::Loaded);
    EXPECT_EQ(grids.advanced.names(), (QStringList{QStringLiteral("First"), QStringLiteral("Second")}));
    EXPECT_EQ(grids.audio.names(), (QStringList{QStringLiteral("Third"), QStringLiteral("Fourth")}));
    EXPECT_EQ(grids.video.rowCount(), 0);
    // The parameter string looks each value up in the same grid.
    grids.advanced.setValue(QStringLiteral("Second"), QStringLiteral("b"));
    grids.audio.setValue(QStringLiteral("Fourth"), QStringLiteral("d"));
    EXPECT_EQ(build(path), QStringLiteral(" -two b -four d"));
}

struct MalformedCase
{
    const char *what;
    QStringList parameter; // the lines of section [Size]
    bool loadReports;
    const char *loadedValue;
    const char *fault;
};

void PrintTo(const MalformedCase &c, std::ostream *os)
{
    *os << c.what;
}

class MalformedProfile : public ProfileTest, public ::testing::WithParamInterface<MalformedCase>
{
};

TEST_P(MalformedProfile, IsReportedOnceAndNeverHalfUsed)
{
    const MalformedCase &c = GetParam();
    QStringList lines = {"[Main]", "Type=mkv", "Para=3", "0=Codec", "1=Size", "2=Rate",
                         "[Codec]", "Sort=1", "Caption=H.264,", "Value=libx264,", "cmd=-vcodec",
                         "[Rate]", "Sort=2", "Caption=Low,High,", "Value=64k,192k,", "Index=1", "cmd=-b:a",
                         "[Size]"};
    lines += c.parameter;
    const QString path = writeProfile(QStringLiteral("Broken One"), lines);
    const QString message = QStringLiteral("warning|Malformed profile|The profile \"Broken One\" is malformed.\n"
                                           "Parameter \"Size\": List index out of bounds (%1)")
                                .arg(QString::fromLatin1(c.fault));

    QString outputExt;
    const ProfileStatus status = LoadProfile(path, grids, interactive, &outputExt);
    EXPECT_EQ(status, c.loadReports ? ProfileStatus::Malformed : ProfileStatus::Loaded) << c.what;
    EXPECT_EQ(interactive.messages, c.loadReports ? QStringList{message} : QStringList()) << c.what;
    // Everything else is loaded.
    EXPECT_EQ(outputExt, QStringLiteral(".mkv"));
    EXPECT_EQ(grids.video.names(), (QStringList{QStringLiteral("Codec"), QStringLiteral("Size")}));
    EXPECT_EQ(grids.video.value(QStringLiteral("Size")), QString::fromLatin1(c.loadedValue));
    EXPECT_EQ(grids.audio.value(QStringLiteral("Rate")), QStringLiteral("High"));

    // Start must not go ahead with it.
    interactive.messages.clear();
    EXPECT_EQ(BuildParameterString(path, grids, interactive), std::nullopt) << c.what;
    EXPECT_EQ(interactive.messages, QStringList{message}) << c.what;

    // Once the user has picked a choice that has an engine value, it builds.
    interactive.messages.clear();
    grids.video.setValue(QStringLiteral("Size"), QStringLiteral("Small"));
    EXPECT_EQ(build(path), QStringLiteral(" -vcodec libx264 -s 320x240 -b:a 192k")) << c.what;
    EXPECT_TRUE(interactive.messages.isEmpty());
}

std::string caseName(const char *what)
{
    std::string name;
    for (const char *c = what; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedProfile,
    ::testing::Values(
        MalformedCase{"Index beyond the choices",
                      {"Sort=1", "Caption=Small,Large,", "Value=320x240,", "Index=7", "cmd=-s"}, true, "", "7"},
        MalformedCase{"negative Index",
                      {"Sort=1", "Caption=Small,Large,", "Value=320x240,", "Index=-1", "cmd=-s"}, true, "", "-1"},
        MalformedCase{"chosen position without an engine value",
                      {"Sort=1", "Caption=Small,Large,", "Value=320x240,", "Index=1", "cmd=-s"}, true, "Large",
                      "1"},
        MalformedCase{"choices written without their final comma",
                      {"Sort=1", "Caption=Small,Large", "Value=320x240,", "Index=1", "cmd=-s"}, true, "", "1"}),
    [](const auto &info) { return caseName(info.param.what); });

TEST_F(ProfileTest, AbsurdParameterCountDoesNotStallAndItsMessageFitsOnTheScreen)
{
    for (const qint64 para : {qint64(100000), qint64(2147483647)}) {
        const QString path = writeProfile(
            QStringLiteral("Huge"),
            {"[Main]", "Type=mp4", QStringLiteral("Para=%1").arg(para), "0=A", "[A]", "Sort=1", "List=0", "Caption=x"});
        interactive.messages.clear();
        EXPECT_EQ(LoadProfile(path, grids, interactive), ProfileStatus::Malformed);
        EXPECT_EQ(grids.video.names(), QStringList{QStringLiteral("A")});
        EXPECT_EQ(grids.video.value(QStringLiteral("A")), QStringLiteral("x"));

        // Ten problems, then how many more: every position from 1 on lacks
        // its name.
        QString expected = QStringLiteral("warning|Malformed profile|The profile \"Huge\" is malformed.");
        for (int i = 1; i <= 10; ++i)
            expected += QStringLiteral("\nParameter %1 has no name in [Main].").arg(i);
        expected += QStringLiteral("\n\u2026 and %1 more").arg(para - 11);
        EXPECT_EQ(interactive.messages, QStringList{expected});

        interactive.messages.clear();
        EXPECT_EQ(BuildParameterString(path, grids, interactive), std::nullopt);
        EXPECT_EQ(interactive.messages, QStringList{expected});
    }
}

// A message lists the first ten problems in the order the file gives them,
// then how many more there are; the count covers every kind of problem.
TEST_F(ProfileTest, TenProblemsAreListedThenHowManyMore)
{
    struct Case
    {
        int badIndexes; // parameters whose Index has no choice
        int nameless;   // positions after them that name nothing
    };
    for (const Case c : {Case{10, 0}, Case{11, 0}, Case{13, 0}, Case{4, 9}, Case{0, 12}, Case{3, 3}}) {
        QStringList lines{"[Main]", "Type=mp4", QStringLiteral("Para=%1").arg(c.badIndexes + c.nameless)};
        QStringList problems;
        for (int i = 0; i < c.badIndexes; ++i)
            lines << QStringLiteral("%1=P%1").arg(i);
        for (int i = c.badIndexes; i < c.badIndexes + c.nameless; ++i)
            problems << QStringLiteral("Parameter %1 has no name in [Main].").arg(i);
        for (int i = 0; i < c.badIndexes; ++i) {
            lines << QStringLiteral("[P%1]").arg(i) << "Caption=a," << "Value=x," << "Index=5" << "cmd=-x";
            problems << QStringLiteral("Parameter \"P%1\": List index out of bounds (5)").arg(i);
        }
        const QString path = writeProfile(QStringLiteral("Many"), lines);
        QString expected = QStringLiteral("warning|Malformed profile|The profile \"Many\" is malformed.\n")
                           + problems.mid(0, 10).join(QLatin1Char('\n'));
        if (problems.size() > 10)
            expected += QStringLiteral("\n\u2026 and %1 more").arg(problems.size() - 10);
        const std::string what = "bad " + std::to_string(c.badIndexes) + ", nameless " + std::to_string(c.nameless);

        interactive.messages.clear();
        EXPECT_EQ(LoadProfile(path, grids, interactive), ProfileStatus::Malformed) << what;
        EXPECT_EQ(interactive.messages, QStringList{expected}) << what;
        interactive.messages.clear();
        EXPECT_EQ(BuildParameterString(path, grids, interactive), std::nullopt) << what;
        EXPECT_EQ(interactive.messages, QStringList{expected}) << what;
    }
}

TEST_F(ProfileTest, LongNamesAreCutInTheMessage)
{
    const QString name = QString(5000, QLatin1Char('n'));
    const QString path = writeProfile(QStringLiteral("Long"), {"[Main]", "Type=mp4", "Para=1", "0=" + name,
                                                               "[" + name + "]", "Caption=a,", "Index=3"});
    EXPECT_EQ(LoadProfile(path, grids, interactive), ProfileStatus::Malformed);
    EXPECT_EQ(interactive.messages,
              QStringList{QStringLiteral("warning|Malformed profile|The profile \"Long\" is malformed.\n"
                                         "Parameter \"%1\u2026\": List index out of bounds (3)")
                              .arg(QString(40, QLatin1Char('n')))});
}

TEST_F(ProfileTest, SaveWritesIndexForListsAndCaptionValueForFreeText)
{
    const QString path = writeProfile(QStringLiteral("Sample"), SampleProfile);
    LoadProfile(path, grids, interactive);
    grids.video.setValue(QStringLiteral("Video Size"), QStringLiteral("640X480")); // case ignored
    grids.video.setValue(QStringLiteral("Aspect"), QStringLiteral("800x600"));    // not a choice
    grids.audio.setValue(QStringLiteral("Quality"), QStringLiteral("7"));
    grids.advanced.setValue(QStringLiteral("Pixel Format"), QStringLiteral("never written"));
    grids.advanced.setValue(QStringLiteral("Note"), QStringLiteral("new note"));
    ASSERT_TRUE(SaveProfile(path, grids, interactive));

    // Only the values change; a key a section lacked goes directly under its
    // header; read-only parameters are not written.
    const QStringList expected = {
        "[Main]", "Type=avi", "Para=6",
        "0=Video Size", "1=Quality", "2=Pixel Format", "3=Bit Exact", "4=Note", "5=Aspect",
        "[Video Size]", "Sort=1", "List=1", "Caption=Original Size,Custom Size,320x240,640x480,",
        "Value=,,320x240,640x480,", "Index=3", "cmd=-s",
        "[Quality]", "Sort=2", "List=0", "Caption=7", "Value=7", "cmd=-q:a",
        "[Pixel Format]", "Sort=3", "ReadOnly=1", "List=0", "Caption=shown", "Value=yuv420p", "cmd=-pix_fmt",
        "[Bit Exact]", "Sort=3", "Caption=No,Yes,", "Value=,\\,", "Index=1", "cmd=-bitexact",
        "[Note]", "Value=new note", "Sort=3", "List=0", "Caption=new note",
        "[Aspect]", "Sort=1", "Caption=Original,16:9,", "Value=,16:9,", "Index=-1", "cmd=-aspect",
    };
    EXPECT_EQ(QString::fromUtf8(readFile(path)), QString::fromUtf8(crlf(expected)));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(ProfileTest, SaveGoesOnPastAReadOnlyParameter)
{
    // A read-only parameter between two edited ones, in one grid: the one
    // after it is saved as well, a list by its position and a free text by
    // its value.
    const QString path = writeProfile(
        QStringLiteral("Locked"),
        {"[Main]", "Type=mp4", "Para=4", "0=First", "1=Locked", "2=Third", "3=Fourth",
         "[First]", "Sort=1", "List=0", "Caption=a", "Value=a", "cmd=-first",
         "[Locked]", "Sort=1", "ReadOnly=1", "List=0", "Caption=fixed", "Value=fixed", "cmd=-locked",
         "[Third]", "Sort=1", "List=0", "Caption=c", "Value=c", "cmd=-third",
         "[Fourth]", "Sort=1", "List=1", "Caption=x,y,", "Value=1,2,", "Index=0", "cmd=-fourth"});
    ASSERT_EQ(LoadProfile(path, grids, interactive), ProfileStatus::Loaded);
    ASSERT_TRUE(grids.video.setValue(QStringLiteral("First"), QStringLiteral("edited first")));
    ASSERT_TRUE(grids.video.setValue(QStringLiteral("Third"), QStringLiteral("edited third")));
    ASSERT_TRUE(grids.video.setValue(QStringLiteral("Fourth"), QStringLiteral("y")));
    ASSERT_TRUE(SaveProfile(path, grids, interactive));

    ParameterGrids again;
    ASSERT_EQ(LoadProfile(path, again, interactive), ProfileStatus::Loaded);
    EXPECT_EQ(again.video.value(QStringLiteral("First")), QStringLiteral("edited first"));
    EXPECT_EQ(again.video.value(QStringLiteral("Locked")), QStringLiteral("fixed"));
    EXPECT_EQ(again.video.value(QStringLiteral("Third")), QStringLiteral("edited third"));
    EXPECT_EQ(again.video.value(QStringLiteral("Fourth")), QStringLiteral("y"));
    EXPECT_TRUE(readFile(path).contains("\r\n[Third]\r\nSort=1\r\nList=0\r\nCaption=edited third\r\n"
                                        "Value=edited third\r\n"));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(ProfileTest, SaveLeavesParametersWithoutARowAlone)
{
    const QString path = writeProfile(QStringLiteral("Sample"), SampleProfile);
    const QByteArray before = readFile(path);
    grids.video.clear();
    grids.audio.clear();
    grids.advanced.clear();
    ASSERT_TRUE(SaveProfile(path, grids, interactive));
    EXPECT_EQ(readFile(path), before);
}

TEST_F(ProfileTest, SaveAsOntoItsOwnSourceKeepsTheEdits)
{
    const QString path = writeProfile(QStringLiteral("Sample"), SampleProfile);
    LoadProfile(path, grids, interactive);
    grids.video.setValue(QStringLiteral("Video Size"), QStringLiteral("Original Size"));
    ASSERT_TRUE(SaveProfileAs(path, path, grids, interactive));
    ParameterGrids again;
    LoadProfile(path, again, interactive);
    EXPECT_EQ(again.video.value(QStringLiteral("Video Size")), QStringLiteral("Original Size"));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(ProfileTest, SaveAsReplacesTheTargetAndLeavesTheSource)
{
    const QString source = writeProfile(QStringLiteral("Sample"), SampleProfile);
    const QByteArray before = readFile(source);
    const QString target = writeProfile(QStringLiteral("Other"), {"[Main]", "Type=wav", "Para=0"});
    LoadProfile(source, grids, interactive);
    grids.audio.setValue(QStringLiteral("Quality"), QStringLiteral("9"));
    ASSERT_TRUE(SaveProfileAs(source, target, grids, interactive));
    EXPECT_EQ(readFile(source), before);

    ParameterGrids copy;
    QString outputExt;
    LoadProfile(target, copy, interactive, &outputExt);
    EXPECT_EQ(outputExt, QStringLiteral(".avi"));
    EXPECT_EQ(copy.audio.value(QStringLiteral("Quality")), QStringLiteral("9"));
    EXPECT_EQ(copy.video.value(QStringLiteral("Video Size")), QStringLiteral("320x240"));
}

TEST_F(ProfileTest, SaveAsIntoAMissingFolderIsReported)
{
    const QString source = writeProfile(QStringLiteral("Sample"), SampleProfile);
    const QString target = dir.filePath(QStringLiteral("missing/Copy.apf"));
    EXPECT_FALSE(SaveProfileAs(source, target, grids, interactive));
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages[0].startsWith(QStringLiteral("error||Cannot create file")));
    EXPECT_TRUE(interactive.messages[0].contains(QStringLiteral("Copy.apf")));
}

TEST_F(ProfileTest, ReadOnlyProgramFolderListsTheShippedAndTheUsersProfilesTogether)
{
    const QStringList parameter = {"Para=1", "0=Note", "[Note]", "List=0", "Caption=x"};
    for (const char *name : {"b", "Same", "A"})
        writeProfile(QString::fromLatin1(name), QStringList{"[Main]", "Type=shipped"} + parameter);
    ReadOnlyProgramFolder readOnly(programFolder);
    const QString own = readOnly.userFolder() + QStringLiteral("Profiles/");
    EXPECT_EQ(UserProfilesFolder(programFolder), own);
    EXPECT_EQ(ProfileList(programFolder), (QStringList{"A", "b", "Same"})); // no user folder yet

    ASSERT_TRUE(QDir().mkpath(own));
    for (const char *name : {"Same.apf", "a.apf", "c.apf", "notes.txt"})
        writeFile(own + QString::fromLatin1(name), crlf(QStringList{"[Main]", "Type=own"} + parameter));
    EXPECT_EQ(ProfileList(programFolder), (QStringList{"A", "a", "b", "c", "Same"}));

    // A user's profile stands in for the shipped one of the same name.
    EXPECT_EQ(ProfilePath(programFolder, QStringLiteral("Same")), own + QStringLiteral("Same.apf"));
    EXPECT_EQ(ProfilePath(programFolder, QStringLiteral("A")), ProfilesFolder(programFolder) + QStringLiteral("A.apf"));
    EXPECT_EQ(ProfilePath(programFolder, QStringLiteral("c")), own + QStringLiteral("c.apf"));
    EXPECT_EQ(WritableProfilePath(programFolder, QStringLiteral("A")), own + QStringLiteral("A.apf"));
    QString outputExt;
    ASSERT_EQ(LoadProfile(ProfilePath(programFolder, QStringLiteral("Same")), grids, interactive, &outputExt),
              ProfileStatus::Loaded);
    EXPECT_EQ(outputExt, QStringLiteral(".own"));
}

TEST_F(ProfileTest, WritableProgramFolderKeepsEverythingInItsProfilesFolder)
{
    writeProfile(QStringLiteral("A"), {"[Main]"});
    EXPECT_EQ(UserProfilesFolder(programFolder), ProfilesFolder(programFolder));
    EXPECT_EQ(WritableProfilePath(programFolder, QStringLiteral("A")), ProfilePath(programFolder, QStringLiteral("A")));
    EXPECT_EQ(ProfileList(programFolder), QStringList{QStringLiteral("A")});
}

TEST_F(ProfileTest, ProfilesLoadWhereNothingCanBeWritten)
{
    const QString path = writeProfile(QStringLiteral("Sample"), SampleProfile);
    ASSERT_EQ(LoadProfile(path, grids, interactive), ProfileStatus::Loaded);
    ASSERT_TRUE(SaveProfile(path, grids, interactive)); // every key the window writes is there now
    const QByteArray before = readFile(path);
    FileSizeLimit limit(16);
    ASSERT_TRUE(limit.active());
    QString outputExt;
    EXPECT_EQ(LoadProfile(path, grids, interactive, &outputExt), ProfileStatus::Loaded);
    EXPECT_EQ(build(path), QStringLiteral(" -s 320x240 -q:a 5 -pix_fmt yuv420p -bitexact  -aspect 16:9"));
    // OK without a change writes nothing either.
    EXPECT_TRUE(SaveProfile(path, grids, interactive));
    EXPECT_TRUE(interactive.messages.isEmpty());
    EXPECT_EQ(readFile(path), before);
}

TEST_F(ProfileTest, SaveToAnotherPathWritesOnlyAChangedProfile)
{
    const QString source = writeProfile(QStringLiteral("Sample"), SampleProfile);
    const QString target = dir.filePath(QStringLiteral("user/Profiles/Sample.apf"));
    ASSERT_EQ(LoadProfile(source, grids, interactive), ProfileStatus::Loaded);
    ASSERT_TRUE(SaveProfile(source, grids, interactive)); // every key the window writes is there now
    const QByteArray before = readFile(source);
    EXPECT_TRUE(SaveProfileTo(source, target, grids, interactive));
    EXPECT_FALSE(QFile::exists(target)); // nothing changed

    grids.audio.setValue(QStringLiteral("Quality"), QStringLiteral("9"));
    EXPECT_TRUE(SaveProfileTo(source, target, grids, interactive));
    EXPECT_EQ(readFile(source), before);
    ParameterGrids copy;
    ASSERT_EQ(LoadProfile(target, copy, interactive), ProfileStatus::Loaded);
    EXPECT_EQ(copy.audio.value(QStringLiteral("Quality")), QStringLiteral("9"));
    EXPECT_EQ(copy.video.value(QStringLiteral("Video Size")), QStringLiteral("320x240"));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

} // namespace

namespace {

// A save whose last step, replacing the file, fails: the user is told, and
// what stood at the name before is left as it was, with nothing beside it.
TEST_F(ProfileTest, ASaveThatFailsAtItsLastStepIsReportedAndKeepsTheEarlierFile)
{
    const QString sample = writeProfile(QStringLiteral("Sample"), SampleProfile);
    const QString copy = writeProfile(QStringLiteral("Copy"), {"[Main]", "Type=wav"});
    const QString preferences = PreferencesPath(programFolder);
    writeFile(preferences, crlf({"[Main]", "Profile=3", "Output Path=/earlier/"}));
    ASSERT_EQ(LoadProfile(sample, grids, interactive), ProfileStatus::Loaded);
    grids.audio.setValue(QStringLiteral("Quality"), QStringLiteral("9"));

    struct Save
    {
        const char *what;
        QString target;
        std::function<bool()> save;
    };
    GeneralPreferences general;
    general.outputPath = QStringLiteral("/later/");
    const Save saves[] = {
        {"profile", sample, [&] { return SaveProfile(sample, grids, interactive); }},
        {"profile as", copy, [&] { return SaveProfileAs(sample, copy, grids, interactive); }},
        {"main preferences", preferences,
         [&] { return SaveMainPreferences(programFolder, MainPreferences{QStringLiteral("/later/"), 1}, general,
                                          interactive); }},
        {"general preferences", preferences, [&] { return SaveGeneralPreferences(programFolder, general, interactive); }},
    };
    // How the last step is made to fail: the file replaced by a folder, or
    // its folder gone (a disk taken away), to come back after the save.
    enum class Failure { FolderAtTheName, FolderGone };
    for (const Failure failure : {Failure::FolderAtTheName, Failure::FolderGone}) {
        for (const Save &save : saves) {
            const std::string what = std::string(save.what) + (failure == Failure::FolderAtTheName ? ", folder" : ", gone");
            const QString folder = QFileInfo(save.target).absolutePath();
            const QString away = folder + QStringLiteral(".away");
            const QByteArray earlier = readFile(save.target);
            const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            SetBeforeReplacingFile([&](const QString &fileName) {
                ASSERT_EQ(fileName, save.target);
                if (failure == Failure::FolderAtTheName) {
                    ASSERT_TRUE(QFile::remove(fileName));
                    ASSERT_TRUE(QDir().mkpath(fileName + QStringLiteral("/inside")));
                } else {
                    ASSERT_TRUE(QDir().rename(folder, away));
                }
            });
            interactive.messages.clear();
            EXPECT_FALSE(save.save()) << what;
            SetBeforeReplacingFile({});
            if (failure == Failure::FolderGone) {
                ASSERT_TRUE(QDir().rename(away, folder)) << what;
            }

            ASSERT_EQ(interactive.messages.size(), 1) << what;
            EXPECT_TRUE(interactive.messages[0].startsWith(
                QStringLiteral("error||Cannot create file \"%1\".").arg(QDir::toNativeSeparators(save.target))))
                << what << qPrintable(interactive.messages[0]);
            EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entries) << what;
            if (failure == Failure::FolderAtTheName) {
                EXPECT_TRUE(QFileInfo::exists(save.target + QStringLiteral("/inside"))) << what;
                ASSERT_TRUE(QDir(save.target).removeRecursively());
                writeFile(save.target, earlier);
            } else {
                EXPECT_EQ(readFile(save.target), earlier) << what;
            }
        }
    }
}

} // namespace
