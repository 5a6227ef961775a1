// The INI store: matching rules, line editing, conversions, and the file.
#include "profiles/newinifile.h"

#include "fakes/recorders.h"
#include "filetext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <functional>
#include <map>
#include <random>
#include <sys/resource.h>

namespace {

// ---------------------------------------------------------------- reading

struct ReadCase
{
    const char *what;
    QByteArray content;
    const char *section;
    const char *key;
    const char *expected; // nullptr: the default
};

void PrintTo(const ReadCase &c, std::ostream *os)
{
    *os << c.what;
}

class IniFileRead : public ::testing::TestWithParam<ReadCase>
{
};

TEST_P(IniFileRead, FindsTheValueByTheStoresMatchingRules)
{
    const ReadCase &c = GetParam();
    const TNewInifile ini(QStringLiteral("x.ini"), c.content);
    const QString got = ini.ReadString(QString::fromUtf8(c.section), QString::fromUtf8(c.key),
                                       QStringLiteral("<default>"));
    EXPECT_EQ(got.toStdString(), c.expected ? std::string(c.expected) : std::string("<default>")) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniFileRead,
    ::testing::Values(
        ReadCase{"key is a substring of a longer key", crlf({"[S]", "Bit Rate=128"}), "S", "Rate", "128"},
        ReadCase{"key letter case is ignored", crlf({"[S]", "Bit Rate=128"}), "S", "rate", "128"},
        ReadCase{"the first line containing key= wins", crlf({"[S]", "11=x", "1=y"}), "S", "1", "x"},
        ReadCase{"the first line containing key= wins (reversed)", crlf({"[S]", "1=y", "11=x"}), "S", "1", "y"},
        ReadCase{"header letter case is ignored", crlf({"[MAIN]", "Type=avi"}), "Main", "type", "avi"},
        ReadCase{"a value holding [S] above the real header is not a header",
                 crlf({"[A]", "x=[S]", "k=fake", "[S]", "k=real"}), "S", "k", "real"},
        ReadCase{"[ in a value is part of the value", crlf({"[S]", "A=1", "B=x[y", "C=3"}), "S", "B", "x[y"},
        ReadCase{"keys after a [ in a value stay in the section", crlf({"[S]", "A=1", "B=x[y", "C=3"}), "S", "C",
                 "3"},
        ReadCase{"a folder with brackets keeps the keys after it",
                 crlf({"[Main]", "Output Path=/videos/a[1]/", "Profile=4"}), "Main", "Profile", "4"},
        ReadCase{"blanks before a header", crlf({"[T]", "K=t", "  [S]", "K=s"}), "S", "K", "s"},
        ReadCase{"a tab before a header", crlf({"[T]", "K=t", "\t[S]", "K=s"}), "S", "K", "s"},
        ReadCase{"an indented header ends the section above", crlf({"[S]", "A=1", "  [T]", "B=2"}), "S", "B",
                 nullptr},
        ReadCase{"a header without ] ends the section above", crlf({"[S]", "A=1", "[T", "B=2"}), "S", "B",
                 nullptr},
        ReadCase{"a byte order mark before the first header", QByteArray("\xEF\xBB\xBF[S]\r\nK=v\r\n"), "S",
                 "K", "v"},
        ReadCase{"the name runs to the header's last ]", crlf({"[Size [px]]", "K=v"}), "Size [px]", "K", "v"},
        ReadCase{"the rest of a header line is not a key", crlf({"[S]K=1", "L=2"}), "S", "K", nullptr},
        ReadCase{"a header must name the whole section", crlf({"[Main Settings]", "K=v"}), "Main", "K", nullptr},
        ReadCase{"the next section is not searched", crlf({"[S]", "A=1", "[T]", "B=2"}), "S", "B", nullptr},
        ReadCase{"an earlier section is not searched", crlf({"[T]", "B=2", "[S]", "A=1"}), "S", "B", nullptr},
        ReadCase{"nothing after = is the empty text", crlf({"[S]", "K="}), "S", "K", ""},
        ReadCase{"a blank before = hides the key", crlf({"[S]", "Key = 5"}), "S", "Key", nullptr},
        ReadCase{"blanks in the value are kept", crlf({"[S]", "K= a b "}), "S", "K", " a b "},
        ReadCase{"the value runs from the first key= to the end", crlf({"[S]", "K=a=b"}), "S", "K", "a=b"},
        ReadCase{"missing section", crlf({"[S]", "K=1"}), "T", "K", nullptr},
        ReadCase{"lone CR ends a line", QByteArray("[S]\rA=1\rB=2"), "S", "B", "2"},
        ReadCase{"lone LF ends a line", QByteArray("[S]\nA=1\nB=2\n"), "S", "A", "1"},
        ReadCase{"non-ASCII bytes keep their positions", QByteArray("[Ünïcode]\r\nKÉY=välue\r\n"), "Ünïcode",
                 "KÉY", "välue"}),
    [](const auto &info) {
        std::string name;
        for (const char *c = info.param.what; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST(IniFileIntegers, ConvertOrGiveTheDefault)
{
    struct Case
    {
        const char *text;
        qint32 expected;
    };
    const Case cases[] = {{"42", 42},
                          {"-7", -7},
                          {"+5", 5},
                          {"2147483647", 2147483647},
                          {"-2147483648", std::numeric_limits<qint32>::min()},
                          {"2147483648", -99},
                          {"99999999999999999999", -99},
                          {"", -99},
                          {"   ", -99},
                          {"abc", -99},
                          {"12abc", -99},
                          {"1.5", -99},
                          {"-", -99}};
    for (const Case &c : cases) {
        const TNewInifile ini(QStringLiteral("x.ini"), "[S]\r\nK=" + QByteArray(c.text) + "\r\n");
        EXPECT_EQ(ini.ReadInteger(QStringLiteral("S"), QStringLiteral("K"), -99), c.expected) << c.text;
    }
    const TNewInifile empty(QStringLiteral("x.ini"));
    EXPECT_EQ(empty.ReadInteger(QStringLiteral("S"), QStringLiteral("K"), 17), 17);
}

TEST(IniFileBooleans, NumbersAndTrueFalseInAnyCase)
{
    struct Case
    {
        const char *text;
        std::optional<bool> expected; // nothing: the default
    };
    const Case cases[] = {{"1", true},      {"-1", true},    {"2", true},     {"True", true},   {"TRUE", true},
                          {"tRuE", true},   {"0", false},    {"False", false}, {"fALSE", false}, {"00", false},
                          {"yes", {}},      {"", {}},        {"on", {}},      {" 1", true},     {"1 x", {}}};
    for (const Case &c : cases) {
        const TNewInifile ini(QStringLiteral("x.ini"), "[S]\r\nK=" + QByteArray(c.text) + "\r\n");
        for (const bool def : {false, true}) {
            EXPECT_EQ(ini.ReadBool(QStringLiteral("S"), QStringLiteral("K"), def), c.expected.value_or(def))
                << '"' << c.text << "\" default " << def;
        }
    }
    const TNewInifile missing(QStringLiteral("x.ini"));
    EXPECT_TRUE(missing.ReadBool(QStringLiteral("S"), QStringLiteral("K"), true));
    EXPECT_FALSE(missing.ReadBool(QStringLiteral("S"), QStringLiteral("K"), false));
}

TEST(IniFileBooleans, DecimalsCountOnlyWithTheLocaleSeparator)
{
    EXPECT_EQ(TextToBool("0,5", ","), std::optional<bool>(true));
    EXPECT_EQ(TextToBool("0,0", ","), std::optional<bool>(false));
    EXPECT_EQ(TextToBool("0.5", ","), std::nullopt);
    EXPECT_EQ(TextToBool("0,5", "."), std::nullopt);
    EXPECT_EQ(TextToBool("0.5", "."), std::optional<bool>(true));

    // The store itself uses the system locale's separator.
    const QByteArray separator = SystemDecimalSeparator();
    const TNewInifile ini(QStringLiteral("x.ini"), "[S]\r\nK=0" + separator + "25\r\n");
    EXPECT_TRUE(ini.ReadBool(QStringLiteral("S"), QStringLiteral("K"), false));
    EXPECT_DOUBLE_EQ(ini.ReadFloat(QStringLiteral("S"), QStringLiteral("K"), 9.0), 0.25);
}

TEST(IniFileFloats, ConvertWithTheGivenSeparator)
{
    EXPECT_EQ(TextToFloat("1,5", ","), std::optional<double>(1.5));
    EXPECT_EQ(TextToFloat("-2,25E2", ","), std::optional<double>(-225.0));
    EXPECT_EQ(TextToFloat(",5", ","), std::optional<double>(0.5));
    EXPECT_EQ(TextToFloat("1.5", ","), std::nullopt);
    EXPECT_EQ(TextToFloat("1e", "."), std::nullopt);
    EXPECT_EQ(TextToFloat(".", "."), std::nullopt);
    EXPECT_EQ(TextToFloat("nan", "."), std::nullopt);
    EXPECT_EQ(TextToFloat("", "."), std::nullopt);

    const TNewInifile ini(QStringLiteral("x.ini"), crlf({"[S]", "A=abc", "B="}));
    EXPECT_DOUBLE_EQ(ini.ReadFloat(QStringLiteral("S"), QStringLiteral("A"), 2.5), 2.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(QStringLiteral("S"), QStringLiteral("B"), 2.5), 2.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(QStringLiteral("S"), QStringLiteral("C"), 0.1), 0.1);
}

TEST(IniFileRead, EmptyValueIsEmptyTextButDefaultInteger)
{
    const TNewInifile ini(QStringLiteral("x.ini"), crlf({"[S]", "K="}));
    EXPECT_EQ(ini.ReadString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("d")), QString());
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("S"), QStringLiteral("K"), 5), 5);
}

// ---------------------------------------------------------------- writing

TEST(IniFileWrite, KeyMissingInAnExistingSectionGoesDirectlyUnderTheHeader)
{
    TNewInifile ini(QStringLiteral("x.ini"), crlf({"[T]", "Z=0", "[S]", "A=1", "[U]"}));
    ini.WriteString(QStringLiteral("S"), QStringLiteral("B"), QStringLiteral("2"));
    ini.WriteString(QStringLiteral("s"), QStringLiteral("C"), QStringLiteral("3"));
    EXPECT_EQ(ini.Text(), crlf({"[T]", "Z=0", "[S]", "C=3", "B=2", "A=1", "[U]"}));
}

TEST(IniFileWrite, MissingSectionIsAppendedWithTheCallersLetters)
{
    TNewInifile ini(QStringLiteral("x.ini"), crlf({"[S]", "A=1"}));
    ini.WriteString(QStringLiteral("New Section"), QStringLiteral("Key"), QStringLiteral("v"));
    EXPECT_EQ(ini.Text(), crlf({"[S]", "A=1", "[New Section]", "Key=v"}));
    EXPECT_EQ(ini.ReadString(QStringLiteral("new section"), QStringLiteral("KEY"), QString()), QStringLiteral("v"));
}

TEST(IniFileWrite, ExistingKeyReplacesTheWholeLine)
{
    TNewInifile ini(QStringLiteral("x.ini"), crlf({"[S]", "A=1", "Bit Rate=128", "C=3"}));
    ini.WriteString(QStringLiteral("S"), QStringLiteral("rate"), QStringLiteral("256"));
    EXPECT_EQ(ini.Text(), crlf({"[S]", "A=1", "rate=256", "C=3"}));
    ini.WriteInteger(QStringLiteral("S"), QStringLiteral("A"), -4);
    ini.WriteBool(QStringLiteral("S"), QStringLiteral("C"), true);
    ini.WriteBool(QStringLiteral("S"), QStringLiteral("D"), false);
    EXPECT_EQ(ini.Text(), crlf({"[S]", "D=0", "A=-4", "rate=256", "C=1"}));
}

TEST(IniFileWrite, KeyAfterABracketInAValueIsReplacedInPlace)
{
    TNewInifile ini(QStringLiteral("x.ini"), crlf({"[S]", "A=1", "B=x[y", "C=3"}));
    ini.WriteString(QStringLiteral("S"), QStringLiteral("C"), QStringLiteral("4"));
    ini.WriteString(QStringLiteral("S"), QStringLiteral("B"), QStringLiteral("[z]"));
    EXPECT_EQ(ini.Text(), crlf({"[S]", "A=1", "B=[z]", "C=4"}));
    EXPECT_EQ(ini.ReadString(QStringLiteral("S"), QStringLiteral("C"), QString()), QStringLiteral("4"));
}

TEST(IniFileWrite, WritesFindSectionsByTheSameRuleAsReads)
{
    // An indented header is the section's header; a value holding its
    // header text is not.
    TNewInifile ini(QStringLiteral("x.ini"), crlf({"[A]", "x=[S]", "  [S]", "K=1", "[T]", "K=t"}));
    ini.WriteString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"));
    ini.WriteString(QStringLiteral("S"), QStringLiteral("New"), QStringLiteral("n"));
    EXPECT_EQ(ini.Text(), crlf({"[A]", "x=[S]", "  [S]", "New=n", "K=2", "[T]", "K=t"}));
    EXPECT_EQ(ini.IndexOfSection("s"), 2);
    EXPECT_EQ(ini.IndexOfKey("S", "K"), 2);
    EXPECT_EQ(ini.IndexOfKey("T", "New"), -1);
    EXPECT_EQ(ini.ReadString(QStringLiteral("A"), QStringLiteral("x"), QString()), QStringLiteral("[S]"));
}

TEST(IniFileWrite, LineBreaksInWrittenTextCannotSplitALine)
{
    TNewInifile ini(QStringLiteral("x.ini"), crlf({"[S]", "A=1", "B=2"}));
    ini.WriteString(QStringLiteral("S"), QStringLiteral("A"), QStringLiteral("one\r\ntwo"));
    ini.WriteString(QStringLiteral("S"), QStringLiteral("B"), QStringLiteral("three"));
    EXPECT_EQ(ini.Text(), crlf({"[S]", "A=one  two", "B=three"}));
}

// ---------------------------------------------------------------- the file

class IniFileDisk : public ::testing::Test
{
protected:
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
    RecordingInteractive interactive;
};

TEST_F(IniFileDisk, OnlyAChangeIsWrittenBack)
{
    // Reads alone leave no file where there was none, and a file as it was
    // (its LF line ends included).
    auto ini = TNewInifile::Create(path("new.ini"), interactive);
    ASSERT_TRUE(ini);
    EXPECT_TRUE(ini->Lines().isEmpty());
    EXPECT_EQ(ini->ReadString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_TRUE(TNewInifile::SaveAndFree(std::move(ini), interactive));
    EXPECT_FALSE(QFile::exists(path("new.ini")));

    const QByteArray lf = "[S]\nA=1\rB=2\r\n\nC=3";
    writeFile(path("lf.ini"), lf);
    ini = TNewInifile::Create(path("lf.ini"), interactive);
    ASSERT_TRUE(ini);
    EXPECT_EQ(ini->ReadString(QStringLiteral("S"), QStringLiteral("C"), QString()), QStringLiteral("3"));
    // Writing what a line already holds changes nothing either.
    ini->WriteString(QStringLiteral("S"), QStringLiteral("B"), QStringLiteral("2"));
    ini->WriteInteger(QStringLiteral("S"), QStringLiteral("A"), 1);
    EXPECT_FALSE(ini->Modified());
    EXPECT_TRUE(TNewInifile::SaveAndFree(std::move(ini), interactive));
    EXPECT_EQ(readFile(path("lf.ini")), lf);

    // A changed value, a new key and a new section each make the whole file
    // written back, with CR LF line ends.
    const auto change = [](TNewInifile &store) { store.WriteString(QStringLiteral("S"), QStringLiteral("B"), QStringLiteral("9")); };
    const auto newKey = [](TNewInifile &store) { store.WriteBool(QStringLiteral("S"), QStringLiteral("D"), true); };
    const auto newSection = [](TNewInifile &store) { store.WriteInteger(QStringLiteral("T"), QStringLiteral("A"), 1); };
    const std::function<void(TNewInifile &)> edits[] = {change, newKey, newSection};
    const QList<QByteArray> expected = {crlf({"[S]", "A=1", "B=9", "", "C=3"}), crlf({"[S]", "D=1", "A=1", "B=2", "", "C=3"}),
                                        crlf({"[S]", "A=1", "B=2", "", "C=3", "[T]", "A=1"})};
    for (int i = 0; i < 3; ++i) {
        writeFile(path("lf.ini"), lf);
        ini = TNewInifile::Create(path("lf.ini"), interactive);
        ASSERT_TRUE(ini);
        edits[i](*ini);
        EXPECT_TRUE(ini->Modified()) << i;
        EXPECT_TRUE(TNewInifile::SaveAndFree(std::move(ini), interactive));
        EXPECT_EQ(readFile(path("lf.ini")), expected[i]) << i;
    }

    // A store for a missing file that is written to makes the file.
    ini = TNewInifile::Create(path("made.ini"), interactive);
    ASSERT_TRUE(ini);
    ini->WriteString(QStringLiteral("Main"), QStringLiteral("K"), QString());
    EXPECT_TRUE(TNewInifile::SaveAndFree(std::move(ini), interactive));
    EXPECT_EQ(readFile(path("made.ini")), crlf({"[Main]", "K="}));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(IniFileDisk, NullStoreDoesNothing)
{
    EXPECT_TRUE(TNewInifile::SaveAndFree(nullptr, interactive));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(IniFileDisk, UnwritableFileIsReportedWithItsName)
{
    const QString target = path("no such folder/p.ini");
    auto ini = TNewInifile::Create(target, interactive);
    ASSERT_TRUE(ini);
    ini->WriteString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("v"));
    EXPECT_FALSE(TNewInifile::SaveAndFree(std::move(ini), interactive));
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages[0].startsWith(QStringLiteral("error||Cannot create file \"")));
    EXPECT_TRUE(interactive.messages[0].contains(QStringLiteral("p.ini")));
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(IniFileDisk, FailedSaveLeavesTheOldFileIntact)
{
    const QByteArray old = crlf({"[Main]", "Output Path=/old/", "Profile=3"});
    writeFile(path("Preferences.ini"), old);
    auto ini = TNewInifile::Create(path("Preferences.ini"), interactive);
    ASSERT_TRUE(ini);
    ini->WriteString(QStringLiteral("Main"), QStringLiteral("Output Path"), QString(200000, QLatin1Char('x')));
    bool saved = true;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        saved = TNewInifile::SaveAndFree(std::move(ini), interactive);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(readFile(path("Preferences.ini")), old);
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages[0].contains(QStringLiteral("Preferences.ini")));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Preferences.ini")});
}

TEST_F(IniFileDisk, FailedFinalReplaceIsReportedAndReplacesNothing)
{
    // The file's name turns into a folder with a file in it after the store
    // was loaded: the new content is written, but cannot take that name (a
    // rename over a folder fails for root as well).
    const QString target = path("Preferences.ini");
    writeFile(target, crlf({"[Main]", "Profile=3"}));
    auto ini = TNewInifile::Create(target, interactive);
    ASSERT_TRUE(ini);
    ini->WriteInteger(QStringLiteral("Main"), QStringLiteral("Profile"), 4);
    ASSERT_TRUE(QFile::remove(target));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Preferences.ini")));
    writeFile(target + QStringLiteral("/inside"), "kept");

    EXPECT_FALSE(TNewInifile::SaveAndFree(std::move(ini), interactive));
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages[0].startsWith(QStringLiteral("error||Cannot create file \"")))
        << interactive.messages[0].toStdString();
    EXPECT_TRUE(interactive.messages[0].contains(QStringLiteral("Preferences.ini\". ")));
    EXPECT_TRUE(QFileInfo(target).isDir());
    EXPECT_EQ(readFile(target + QStringLiteral("/inside")), QByteArray("kept"));
    // The new content is not left behind under another name.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Preferences.ini")});
}

TEST_F(IniFileDisk, ALinkKeepsPointingAtTheRewrittenFile)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("real")));
    const QString real = path("real/Preferences.ini");
    writeFile(real, crlf({"[Main]", "Profile=3"}));
    ASSERT_TRUE(QFile::link(real, path("Preferences.ini")));
    auto ini = TNewInifile::Create(path("Preferences.ini"), interactive);
    ASSERT_TRUE(ini);
    ini->WriteInteger(QStringLiteral("Main"), QStringLiteral("Profile"), 4);
    ASSERT_TRUE(TNewInifile::SaveAndFree(std::move(ini), interactive));
    EXPECT_TRUE(QFileInfo(path("Preferences.ini")).isSymLink());
    EXPECT_EQ(readFile(real), crlf({"[Main]", "Profile=4"}));
    EXPECT_EQ(QDir(path("real")).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Preferences.ini")});
}

// ---------------------------------------------------------------- round trip

// Random sections, keys and values (no '=' or line breaks, no '[' or ']' in
// keys; no key the end of another key of its section, ignoring ASCII case,
// since the store matches keys as substrings): what is written reads back,
// before and after the file round trip, also after overwriting some values.
TEST_F(IniFileDisk, RoundTripProperty)
{
    const QString keyAlphabet = QStringLiteral("abcXYZ 019_-.,;:!/\\éÄß");
    const QString alphabet = keyAlphabet + QStringLiteral("[]");
    auto lowerAscii = [](const QString &s) { return AsciiLower(s.toUtf8()); };

    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        auto randomText = [&](int minLength, int maxLength, const QString &letters) {
            std::uniform_int_distribution<int> length(minLength, maxLength);
            std::uniform_int_distribution<int> pick(0, static_cast<int>(letters.size()) - 1);
            QString s;
            for (int n = length(rng); n > 0; --n)
                s += letters[pick(rng)];
            return s;
        };

        std::map<QByteArray, std::pair<QString, std::map<QString, QString>>> model; // lower section -> data
        const QString file = path("round.ini");
        QFile::remove(file);
        TNewInifile ini(file);
        std::uniform_int_distribution<int> count(1, 6);
        for (int s = count(rng); s > 0; --s) {
            const QString section = randomText(1, 8, alphabet);
            auto &entry = model[lowerAscii(section)];
            if (entry.first.isEmpty())
                entry.first = section;
            for (int k = count(rng); k > 0; --k) {
                const QString key = randomText(1, 6, keyAlphabet);
                const QByteArray lk = lowerAscii(key);
                bool clash = false;
                for (const auto &[other, value] : entry.second) {
                    const QByteArray lo = lowerAscii(other);
                    clash = clash || (lo != lk && (lo.endsWith(lk) || lk.endsWith(lo)));
                }
                if (clash)
                    continue;
                QString existing;
                for (const auto &[other, value] : entry.second) {
                    if (lowerAscii(other) == lk)
                        existing = other;
                }
                const QString value = randomText(0, 12, alphabet);
                ini.WriteString(section, key, value);
                if (!existing.isEmpty())
                    entry.second.erase(existing);
                entry.second[key] = value;
            }
        }

        auto check = [&](const TNewInifile &store, const char *when) {
            for (const auto &[lower, data] : model) {
                for (const auto &[key, value] : data.second) {
                    EXPECT_EQ(store.ReadString(data.first, key, QStringLiteral("<missing>")), value)
                        << when << " seed " << seed << " [" << data.first.toStdString() << "] "
                        << key.toStdString();
                }
            }
        };
        check(ini, "in memory");
        QString error;
        ASSERT_TRUE(ini.Save(&error)) << error.toStdString();
        auto reloaded = TNewInifile::Create(file, interactive);
        ASSERT_TRUE(reloaded);
        EXPECT_EQ(reloaded->Lines(), ini.Lines());
        check(*reloaded, "reloaded");
    }
    EXPECT_TRUE(interactive.messages.isEmpty());
}

} // namespace
